#include "match/mail_match.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/exception.hpp"
#include "platform/text_encoding.hpp"
#include "regexp/re_types.hpp"

namespace brindle {
namespace {

constexpr const char* kProcessingError = "正規表現の処理でエラーが発生しました。";

std::string Sjis(const std::string& utf8) {
    return Utf8ToCp932(utf8).value();
}

// A message as the matcher sees it: a header text and a body text, counting how often each
// is asked for.
class FakeMail : public TBasicMail {
  public:
    FakeMail(std::string header, std::string body)
        : header_(std::move(header)),
          body_(std::move(body)),
          body_lines_(SplitLines(body_)),
          text_(header_ + "\r\n" + body_) {}

    const THeaderMap& GetHeaders() const override { return headers_; }
    const Lines& GetBodyLines() const override { return body_lines_; }
    std::string GetBoundary() const override { return {}; }
    const std::string& GetText() const override { return text_; }
    const std::string& GetHeaderText() const override {
        ++header_calls;
        return header_;
    }
    const std::string& GetBodyText() const override {
        ++body_calls;
        return body_;
    }

    mutable int header_calls = 0;
    mutable int body_calls = 0;

  private:
    std::string header_;
    std::string body_;
    THeaderMap headers_;
    Lines body_lines_;
    std::string text_;
};

TFindType Literal(std::string text, std::uint8_t scope = kFindPosAll, bool capital = false) {
    return TFindType{scope, std::move(text), capital, false};
}

TFindType Regexp(std::string text, std::uint8_t scope = kFindPosAll, bool capital = false) {
    return TFindType{scope, std::move(text), capital, true};
}

bool Matches(const std::vector<TFindType>& conditions, const TBasicMail& mail) {
    TMailMatch matcher;
    matcher.SetFindTypes(conditions);
    return matcher.MatchMail(mail);
}

const FakeMail kMail("Subject: Hello World\r\nFrom: abc@example.jp\r\n",
                     "first line\r\nsecond Line\r\n");

TEST(MailMatch, EmptyListAcceptsEverything) {
    EXPECT_TRUE(Matches({}, kMail));
    EXPECT_TRUE(Matches({}, FakeMail("", "")));
}

TEST(MailMatch, ScopeDecidesWhatIsSearched) {
    struct Case {
        TFindType condition;
        bool expected;
    };
    const std::vector<Case> cases = {
        {Literal("Hello", kFindPosAll), true},
        {Literal("Hello", kFindPosBody), false},
        {Literal("Hello", kFindPosHeader), true},
        {Literal("second", kFindPosAll), true},
        {Literal("second", kFindPosBody), true},
        {Literal("second", kFindPosHeader), false},
        // Header and body are joined by two line feeds, only in the whole-message scope.
        {Literal("example.jp\r\n\n\nfirst", kFindPosAll), true},
        {Literal("example.jp\r\n\n\nfirst", kFindPosBody), false},
        {Regexp("jp\r\n\n\nfirst", kFindPosAll), true},
        {Regexp("jp\r\n\n\nfirst", kFindPosHeader), false},
        // ^ holds at the start of the body after the joining line feeds, $ before a CR.
        {Regexp("^first", kFindPosAll), true},
        {Regexp("^first", kFindPosHeader), false},
        {Regexp("Line$", kFindPosBody), true},
        {Regexp("^From: abc", kFindPosHeader), true},
        // A scope outside 0..2 searches an empty text.
        {Literal("Hello", 3), false},
        {Regexp("Hello", 7), false},
        {Regexp("", 7), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Matches({c.condition}, kMail), c.expected)
            << "condition " << c.condition.Condition << " scope " << int(c.condition.FindPos)
            << (c.condition.Regexp ? " regexp" : " literal");
    }
}

TEST(MailMatch, CaseFoldingOnlyForLiterals) {
    const FakeMail mail("Subject: x\r\n", "ABC aBc\r\n");
    EXPECT_TRUE(Matches({Literal("abc", kFindPosBody, true)}, mail));
    EXPECT_TRUE(Matches({Literal("aBC", kFindPosBody, true)}, mail));
    EXPECT_FALSE(Matches({Literal("abc", kFindPosBody, false)}, mail));
    EXPECT_TRUE(Matches({Literal("aBc", kFindPosBody, false)}, mail));
    EXPECT_FALSE(Matches({Regexp("abc", kFindPosBody, true)}, mail));
    EXPECT_TRUE(Matches({Regexp("ABC", kFindPosBody, true)}, mail));
    // Folding leaves double-byte characters alone: full-width ａ is not Ａ, and the trail byte
    // 0x61 of 0x82 0x61 (Ｂ) is not the letter a.
    const FakeMail wide("", Sjis("ＡＢ") + "\r\n");
    EXPECT_FALSE(Matches({Literal(Sjis("ａ"), kFindPosBody, true)}, wide));
    EXPECT_FALSE(Matches({Literal("A", kFindPosBody, true)}, wide));
}

TEST(MailMatch, LiteralSearchNeverStartsOnATrailByte) {
    // ソ is 0x83 0x5C: its second byte is the backslash.
    const FakeMail so("", Sjis("ソフト") + "\r\n");
    EXPECT_FALSE(Matches({Literal("\\", kFindPosBody)}, so));
    EXPECT_TRUE(Matches({Literal(Sjis("ソ"), kFindPosBody)}, so));
    const FakeMail both("", Sjis("ソ") + "\\\r\n");
    EXPECT_TRUE(Matches({Literal("\\", kFindPosBody)}, both));
}

TEST(MailMatch, RegularExpressionsSearchTheEscapeProcessedText) {
    const FakeMail mail("", "path c:\\temp here\r\n");
    EXPECT_TRUE(Matches({Regexp("c:\\temp", kFindPosBody)}, mail));
    EXPECT_FALSE(Matches({Regexp("c:\\\\temp", kFindPosBody)}, mail));
    EXPECT_TRUE(Matches({Literal("c:\\temp", kFindPosBody)}, mail));
}

TEST(MailMatch, EscapeErrorsInTheTextCostOnlyThatMessage) {
    TMailMatch matcher;
    matcher.SetFindTypes(std::vector<TFindType>{Regexp("x", kFindPosBody)});
    const FakeMail lone_backslash("", "ends in \\");
    const FakeMail bad_hex("", "bad \\xZZ\r\n");
    // No backslash at all, but a lead byte without its trail byte at the very end.
    const FakeMail lone_lead("", "ends in half a character \x82");
    const FakeMail good("", "x\r\n");
    for (const FakeMail* bad : {&lone_backslash, &bad_hex, &lone_lead}) {
        try {
            matcher.MatchMail(*bad);
            ADD_FAILURE() << "no error";
        } catch (const ERegExpParser&) {
            ADD_FAILURE() << "the parser error of the text must be replaced";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), kProcessingError);
        }
        // The matcher stays usable for the next message.
        EXPECT_TRUE(matcher.MatchMail(good));
    }
    // A literal condition does not escape-process anything.
    EXPECT_TRUE(Matches({Literal("\\", kFindPosBody)}, lone_backslash));
}

TEST(MailMatch, InvalidExpressionPassesOutUnchanged) {
    TMailMatch matcher;
    matcher.SetFindTypes(std::vector<TFindType>{Regexp("[abc", kFindPosBody)});
    EXPECT_THROW(matcher.MatchMail(kMail), ERegExpParser);
    matcher.SetFindTypes(std::vector<TFindType>{Regexp("first", kFindPosBody)});
    EXPECT_TRUE(matcher.MatchMail(kMail));
}

TEST(MailMatch, EmptyConditionText) {
    EXPECT_FALSE(Matches({Literal("")}, kMail));
    EXPECT_TRUE(Matches({Regexp("")}, kMail));
    EXPECT_TRUE(Matches({Regexp("", kFindPosBody)}, FakeMail("", "")));
    EXPECT_FALSE(Matches({Literal("a")}, FakeMail("", "")));
}

TEST(MailMatch, EveryConditionMustHoldAndTheFirstFailureStops) {
    EXPECT_TRUE(
        Matches({Literal("Hello"), Literal("second", kFindPosBody), Regexp("W.rld")}, kMail));
    EXPECT_FALSE(Matches({Literal("Hello"), Literal("absent"), Regexp("W.rld")}, kMail));
    // An erroneous expression after a failing condition is never reached.
    EXPECT_FALSE(Matches({Literal("absent"), Regexp("[abc")}, kMail));
    const FakeMail lone_backslash("", "\\");
    EXPECT_FALSE(Matches({Literal("absent"), Regexp("x", kFindPosBody)}, lone_backslash));
}

TEST(MailMatch, AllWordsConditionsDemandEveryWord) {
    const std::vector<TFindType> words = {Literal("foo"), Literal("bar"), Literal("baz")};
    EXPECT_TRUE(Matches(words, FakeMail("Subject: foo\r\n", "baz bar\r\n")));
    EXPECT_FALSE(Matches(words, FakeMail("Subject: foo\r\n", "baz\r\n")));
}

TEST(MailMatch, TextsAreFetchedOncePerMessage) {
    const FakeMail mail("Subject: a\r\n", "b\r\n");
    EXPECT_TRUE(Matches({Literal("a"), Literal("b", kFindPosBody), Regexp("a", kFindPosHeader),
                         Literal("B", kFindPosAll, true), Regexp("b")},
                        mail));
    EXPECT_EQ(mail.header_calls, 1);
    EXPECT_EQ(mail.body_calls, 1);
}

TEST(MailMatch, FilterForTheConversionRun) {
    EXPECT_FALSE(static_cast<bool>(MakeMailFilter({})));
    const auto filter = MakeMailFilter({Literal("Hello", kFindPosHeader)});
    ASSERT_TRUE(static_cast<bool>(filter));
    const auto copy = filter;
    EXPECT_TRUE(copy(kMail));
    EXPECT_FALSE(filter(FakeMail("Subject: Bye\r\n", "")));
}

}  // namespace
}  // namespace brindle
