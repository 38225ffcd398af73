#include "match/mail_match.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "charset/char_code_conv.hpp"
#include "mailbox/dbx_parser.hpp"
#include "message/mail.hpp"
#include "message/parsed_mailbox.hpp"
#include "platform/ansi_text.hpp"
#include "platform/core_messages.hpp"
#include "platform/exception.hpp"
#include "platform/iconv_converter.hpp"
#include "platform/sjis.hpp"
#include "platform/text_encoding.hpp"
#include "regexp/awk_str.hpp"
#include "regexp/re_types.hpp"
#include "support/dbx_builder.hpp"
#include "support/temp_dir.hpp"

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

// Long texts are upper-cased and searched a stretch (64 KB) at a time, and the whole message as
// header, joint and body apart: the answers must be those of one search of the joined,
// upper-cased text. The needles are cut from the message around the stretch ends and the joint,
// starting on single, lead and trail bytes alike; the text is made of double-byte characters
// whose trail bytes are letters, and a run of lead-capable bytes lies across a stretch end.
TEST(MailMatch, LongTextsAnswerAsOneSearchOfTheJoinedText) {
    std::uint64_t state = 11;
    const auto random_text = [&](std::size_t size) {
        // Ｂ is 0x82 0x61 (a trail byte a); 0x82 0x42 a trail byte B; both bytes of 日 (0x93
        // 0xFA) can lead.
        const std::string tokens[] = {"a", "b", "\x82\x61", "\x82\x42", "\x93\xFA", "\r\n"};
        std::string text;
        while (text.size() < size) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            text += tokens[(state >> 33) % 6];
        }
        return text;
    };
    std::string lead_run;
    for (int i = 0; i < 100; ++i) {
        lead_run += "\x93\xFA";
    }
    const std::string body = random_text(65500) + lead_run + random_text(4000);
    for (const std::string& header_end : {std::string("\r\n"), std::string("\x82")}) {
        // Characters of two lead-capable bytes before the end, so that needles ending past the
        // header begin on lead and on trail bytes there, which only a walk from a character
        // boundary tells apart.
        std::string header = random_text(70000);
        for (int i = 0; i < 8; ++i) {
            header += "\x93\xFA";
        }
        header += header_end;
        const FakeMail mail(header, body);
        const std::string whole = header + "\n\n" + body;
        const std::string texts[] = {whole, body, header};  // by scope
        const std::string upper_texts[] = {AnsiUpperCase(whole), AnsiUpperCase(body),
                                           AnsiUpperCase(header)};
        const std::size_t cuts[] = {header.size(), 65536, header.size() + 2 + 65536};
        int found = 0;
        int missed = 0;
        for (const std::size_t cut : cuts) {
            for (std::size_t at = cut - 10; at < cut + 3; ++at) {
                std::string needle = whole.substr(at, 14);
                for (const bool swap_case : {false, true}) {
                    for (char& c : needle) {
                        if (swap_case && std::isalpha(static_cast<unsigned char>(c))) {
                            c = static_cast<char>(c ^ 0x20);
                        }
                    }
                    for (const std::uint8_t scope : {kFindPosAll, kFindPosBody, kFindPosHeader}) {
                        for (const bool fold : {false, true}) {
                            const bool expected =
                                fold ? AnsiFind(upper_texts[scope], AnsiUpperCase(needle)) !=
                                           std::string::npos
                                     : AnsiFind(texts[scope], needle) != std::string::npos;
                            (expected ? found : missed) += 1;
                            EXPECT_EQ(Matches({Literal(needle, scope, fold)}, mail), expected)
                                << "at " << at << " scope " << int(scope) << " fold " << fold;
                        }
                    }
                }
            }
        }
        // Both answers come up often enough for the comparison to mean something.
        EXPECT_GT(found, 50);
        EXPECT_GT(missed, 50);
    }
}

TEST(MailMatch, RegularExpressionsSearchTheEscapeProcessedText) {
    const FakeMail mail("", "path c:\\temp here\r\n");
    EXPECT_TRUE(Matches({Regexp("c:\\temp", kFindPosBody)}, mail));
    EXPECT_FALSE(Matches({Regexp("c:\\\\temp", kFindPosBody)}, mail));
    EXPECT_TRUE(Matches({Literal("c:\\temp", kFindPosBody)}, mail));
}

// A body condition after the header was fetched may search the tail of the whole message
// processed once; it still sees the body alone, from its first byte, in any order of scopes.
TEST(MailMatch, BodyConditionsSeeTheBodyAloneAfterWholeMessageConditions) {
    const FakeMail mail("Subject: plan\r\n", "path c:\\temp here\r\n");
    const struct {
        std::vector<TFindType> conditions;
        bool expected;
    } cases[] = {
        {{Regexp("plan"), Regexp("\\n\\n", kFindPosBody)}, false},
        {{Regexp("plan", kFindPosHeader), Regexp("Subject", kFindPosBody)}, false},
        {{Regexp("plan"), Regexp("^path c:\temp", kFindPosBody)}, true},
        {{Regexp("here", kFindPosBody), Regexp("plan"), Regexp("\\n\\n", kFindPosBody)}, false},
        {{Regexp("plan"), Regexp("here", kFindPosBody), Regexp("c:\temp")}, true},
        {{Regexp("plan"), Regexp("here", kFindPosBody), Regexp("c:\\\\temp")}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Matches(c.conditions, mail), c.expected) << c.conditions.back().Condition;
    }
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

// The escape processing as it was first written: character by character over the whole text.
// The matcher's answers (match, no match, error) must be those of searching this text.
std::string ReferenceEscapes(std::string_view in) {
    std::string out;
    for (std::size_t pos = 0; pos < in.size();) {
        if (sjis::IsLeadByte(in[pos])) {
            if (pos + 1 >= in.size()) {
                throw ERegExpParser(Msg(CoreMsg::RegexBadDoubleByte), static_cast<int>(pos + 1));
            }
            out.append(in.substr(pos, 2));
            pos += 2;
        } else if (in[pos] != '\\') {
            out += in[pos++];
        } else {
            int index = 1;
            try {
                out += WCharToStr(GetQuotedWChar(in.substr(pos + 1, 16), index));
            } catch (const ERegExpParser& e) {
                throw ERegExpParser(e.Message(), static_cast<int>(pos) + e.Position() + 1);
            }
            pos += static_cast<std::size_t>(index);
        }
    }
    return out;
}

enum class Answer { kNo, kYes, kError };

// One search of the scope's text for each condition in turn, nothing kept between them.
Answer ReferenceAnswer(const std::vector<TFindType>& conditions, const std::string& header,
                       const std::string& body) {
    for (const TFindType& c : conditions) {
        const std::string text = c.FindPos == kFindPosHeader ? header
                                 : c.FindPos == kFindPosBody ? body
                                                             : header + "\n\n" + body;
        bool found = false;
        if (!c.Regexp) {
            found = c.Capital ? AnsiFind(AnsiUpperCase(text), AnsiUpperCase(c.Condition)) !=
                                    std::string::npos
                              : AnsiFind(text, c.Condition) != std::string::npos;
        } else {
            std::string processed;
            try {
                processed = ReferenceEscapes(text);
            } catch (const ERegExpParser&) {
                return Answer::kError;
            }
            TAWKStr awk;
            awk.SetRegExp(c.Condition);
            found = awk.Match(processed) != 0;
        }
        if (!found) {
            return Answer::kNo;
        }
    }
    return Answer::kYes;
}

// Generated Shift_JIS texts full of what the escape processing must tell apart: trail bytes
// 0x5C (表 ソ 十 ―), real backslashes (Windows paths, "\" as a yen sign), valid and invalid
// escapes, full-width yen signs, runs of lead-capable bytes, and texts that end in a backslash
// or in half a character. Every condition kind (literal or regular expression, each scope, with
// and without the case flag), alone and in lists that go from scope to scope, answers as the
// reference does; the escape processing itself gives the reference's text or its error.
TEST(MailMatch, AnswersAreThoseOfProcessingEachTextCharacterByCharacter) {
    const std::string pieces[] = {
        Sjis("表示"),
        Sjis("ソフト"),
        Sjis("十分"),
        "\x81\x5C",
        Sjis("会議"),
        Sjis("見積"),
        Sjis("０１２"),
        Sjis("よろしく"),
        Sjis("￥"),
        "\\",
        "\\n",
        "\\t",
        "\\x41",
        "\\x82a0",
        "\\101",
        "\\q",
        "\\\\",
        "C:\\Users\\abc",
        "\\1,200",
        "\\xyz",
        "\\777777",
        "\x93\xFA\x93\xFA",
        "\x93\xFA\x93\xFA\x93\xFA\x93\xFA\x93\xFA\x93",
        "\xB1",
        "abc",
        "ABC",
        "Subject: ",
        "\r\n",
        " ",
    };
    const std::string endings[] = {"", "\r\n", "\\", "\x82", Sjis("ソ"), "\x93\xFA\x93"};
    const std::vector<TFindType> conditions = {
        Literal("\\", kFindPosBody),
        Literal(Sjis("表"), kFindPosAll),
        Literal("abc", kFindPosHeader, true),
        Literal("C:\\U", kFindPosAll, true),
        Literal(Sjis("ソ\\"), kFindPosBody),
        Regexp(Sjis("会議")),
        Regexp(Sjis("見積"), kFindPosBody),
        Regexp("^Subject:", kFindPosHeader),
        Regexp(Sjis("[０-９]+")),
        Regexp(Sjis("(よろしく|お願い)"), kFindPosBody),
        Regexp("\\\\", kFindPosBody),
        Regexp("C:Users", kFindPosAll, true),
        Regexp("A", kFindPosHeader),
        Regexp(Sjis("あ")),
        Regexp("\x01,200", kFindPosBody),
        Regexp(Sjis("表示$"), kFindPosHeader),
    };
    std::uint64_t state = 5;
    const auto next = [&](std::size_t n) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::size_t>(state >> 33) % n;
    };
    const auto random_text = [&] {
        std::string text;
        // Half the texts run over several blocks of 64 bytes, which are scanned as blocks.
        for (std::size_t k = next(2) == 0 ? next(12) : next(80); k > 0; --k) {
            text += pieces[next(std::size(pieces))];
        }
        return text + endings[next(std::size(endings))];
    };
    int answers[3] = {0, 0, 0};
    // First, texts that put a character split by a block end (a trail 0x5C, a lead-capable
    // run, a half character at the end) at every offset around the first two block ends.
    const auto shifted = [&](int round, const std::string& tail) {
        std::string text(static_cast<std::size_t>(round % 70), 'a');
        for (int k = round / 70; k > 0; --k) {
            text += "\x93\xFA";
        }
        return text + tail;
    };
    for (int round = 0; round < 900; ++round) {
        const bool crafted = round < 420;
        const std::string header =
            crafted ? shifted(round, Sjis("表") + "n" + Sjis("ソ") + "\\t") : random_text();
        const std::string body =
            crafted ? shifted(round, round % 2 == 0 ? "\x82" : "\x93") : random_text();
        for (const std::string& text : {header, body, header + "\n\n" + body}) {
            std::string expected;
            std::string error;
            try {
                expected = ReferenceEscapes(text);
            } catch (const ERegExpParser& e) {
                error = std::string(e.what()) + " at " + std::to_string(e.Position());
            }
            try {
                EXPECT_EQ(TAWKStr::ProcessEscSeq(text), expected) << text;
                EXPECT_EQ(error, "") << text;
            } catch (const ERegExpParser& e) {
                EXPECT_EQ(std::string(e.what()) + " at " + std::to_string(e.Position()), error)
                    << text;
            }
        }
        const FakeMail mail(header, body);
        TMailMatch matcher;
        std::vector<std::vector<TFindType>> lists;
        for (const TFindType& condition : conditions) {
            lists.push_back({condition});
        }
        for (int k = 0; k < 4; ++k) {
            lists.push_back({conditions[next(conditions.size())],
                             conditions[next(conditions.size())],
                             conditions[next(conditions.size())]});
        }
        for (const auto& list : lists) {
            const Answer expected = ReferenceAnswer(list, header, body);
            ++answers[static_cast<int>(expected)];
            matcher.SetFindTypes(list);
            Answer got = Answer::kError;
            try {
                got = matcher.MatchMail(mail) ? Answer::kYes : Answer::kNo;
            } catch (const Exception& e) {
                EXPECT_STREQ(e.what(), kProcessingError);
            }
            EXPECT_EQ(got, expected) << "header " << header << "\nbody " << body
                                     << "\nfirst condition " << list[0].Condition;
        }
    }
    // Each answer comes up often enough for the comparison to mean something.
    for (const int count : answers) {
        EXPECT_GT(count, 500);
    }
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

namespace brindle {
namespace {

// Quoted-printable as mailers write it: every byte outside printable ASCII escaped, soft line
// breaks before column 76.
std::string QuotedPrintable(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    std::size_t column = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (text.substr(i, 2) == "\r\n") {
            out += "\r\n";
            column = 0;
            ++i;
            continue;
        }
        const bool plain = c >= 0x20 && c < 0x7F && c != '=';
        if (column + (plain ? 1 : 3) > 75) {
            out += "=\r\n";
            column = 0;
        }
        out += plain ? std::string(1, static_cast<char>(c))
                     : std::string{'=', kHex[c >> 4], kHex[c & 15]};
        column += plain ? 1 : 3;
    }
    return out;
}

std::string Base64Lines(std::string_view text) {
    const std::string encoded = TCharCodeConv::B64Encode(text);
    std::string out;
    for (std::size_t i = 0; i < encoded.size(); i += 76) {
        out += encoded.substr(i, 76) + "\r\n";
    }
    return out;
}

// Each line on its own, so that each returns to ASCII as mailers write it.
std::string Encoded(const char* charset, const std::string& crlf_text) {
    IconvConverter to(charset, "UTF-8");
    std::string out;
    for (const std::string& line : SplitLines(crlf_text)) {
        out += to.ConvertStrict(line).value() + "\r\n";
    }
    return out;
}

// A mailbox of messages in every charset and transfer encoding that Japanese mail comes in,
// single-part and as the text part of a multipart message, with texts of every length up to a
// few blocks of the wide decoders: each body read from it decodes to the Shift_JIS form of its
// text, and every condition kind selects as searching that text does.
TEST(MailMatch, DecodedBodiesOfEveryEncodingAnswerAsTheirTexts) {
    const std::string lines[] = {
        "本日の会議の議事録をお送りします。",
        "お見積りの件、よろしくお願いいたします。",
        "ソフトウェアの十分な検証を予定しています。",
        "価格：￥３，５００円、数量：１２個",
        "資料は C:\\Users\\tanaka\\見積書.xlsx に置きました。",
        "正規表現 \\d+ と \\t",
        "Please find the attached file.",
        "ご検討のほど、表示を。",
    };
    const std::vector<TFindType> conditions = {
        Regexp(Sjis("会議")),
        Regexp(Sjis("見積"), kFindPosBody),
        Regexp(Sjis("[０-９]+")),
        Regexp(Sjis("(よろしく|お願い)"), kFindPosBody),
        Regexp("Users.tanaka", kFindPosBody),
        Literal("C:\\Users", kFindPosBody),
        Literal("PLEASE", kFindPosAll, true),
        Literal(Sjis("表示"), kFindPosBody),
    };
    struct Encoding {
        const char* content_type;
        const char* transfer;
        std::string (*encode)(const std::string&);
    };
    const Encoding encodings[] = {
        {"text/plain; charset=ISO-2022-JP", "7bit",
         [](const std::string& t) { return Encoded("ISO-2022-JP", t); }},
        {"text/plain; charset=UTF-8", "base64",
         [](const std::string& t) { return Base64Lines(t); }},
        {"text/plain; charset=UTF-8", "quoted-printable",
         [](const std::string& t) { return QuotedPrintable(t); }},
        {"text/plain; charset=UTF-8", "8bit", [](const std::string& t) { return t; }},
        {"text/plain; charset=Shift_JIS", "8bit",
         [](const std::string& t) { return Encoded("CP932", t); }},
        {"text/plain; charset=EUC-JP", "8bit",
         [](const std::string& t) { return Encoded("EUC-JP", t); }},
    };
    std::uint64_t state = 11;
    const auto next = [&](std::size_t n) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::size_t>(state >> 33) % n;
    };
    constexpr int kMessages = 120;
    test::DbxBuilder builder;
    std::vector<std::string> texts;
    for (int round = 0; round < kMessages; ++round) {
        std::string text;
        for (std::size_t k = 1 + next(12); k > 0; --k) {
            text += std::string(next(3), ' ') + lines[next(std::size(lines))] + "\r\n";
        }
        const Encoding& encoding = encodings[round % std::size(encodings)];
        const std::string part = std::string("Content-Type: ") + encoding.content_type +
                                 "\r\nContent-Transfer-Encoding: " + encoding.transfer +
                                 "\r\n\r\n" + encoding.encode(text);
        std::string stored = "From: a@example.jp\r\nSubject: round " + std::to_string(round) +
                             "\r\nMIME-Version: 1.0\r\n";
        if (round % 3 == 2) {
            stored += "Content-Type: multipart/alternative; boundary=\"b\"\r\n\r\n--b\r\n" + part +
                      "--b\r\nContent-Type: text/html\r\n\r\n<p>" + Sjis("会議") +
                      "</p>\r\n--b--\r\n";
        } else {
            stored += part;
        }
        builder.AddMessage(stored);
        texts.push_back(text);
    }
    const test::TempDir dir;
    builder.WriteTo(dir / "box.dbx");
    TParsedMailbox mailbox(std::make_unique<TDBXParser>(dir / "box.dbx"));
    ASSERT_EQ(mailbox.GetMailCount(), kMessages);
    int selected = 0;
    for (int index = 0; index < kMessages; ++index) {
        const auto mail = mailbox.GetMail(index);
        const std::string& text = texts[static_cast<std::size_t>(index)];
        const std::string expected_body = Sjis(text);
        ASSERT_EQ(mail->GetBodyText(), expected_body) << index << " " << text;
        for (std::size_t first = 0; first < conditions.size(); ++first) {
            const std::vector<TFindType> list = {conditions[first],
                                                 conditions[next(conditions.size())]};
            const Answer expected = ReferenceAnswer(list, mail->GetHeaderText(), expected_body);
            TMailMatch matcher;
            matcher.SetFindTypes(list);
            const Answer got = matcher.MatchMail(*mail) ? Answer::kYes : Answer::kNo;
            EXPECT_EQ(got, expected) << list[0].Condition << " " << text;
            selected += got == Answer::kYes;
        }
    }
    EXPECT_GT(selected, 100);
}

}  // namespace
}  // namespace brindle
