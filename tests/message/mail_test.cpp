// The header stage of TMail: separating header from body, the header map and its keys, the
// subject, decoded values, the header text the matcher searches and the stored text.
#include "message/mail.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "message/japanese_samples.hpp"
#include "platform/exception.hpp"
#include "platform/report.hpp"

namespace brindle {
namespace {

using Values = std::vector<std::string>;
using namespace samples;

std::vector<std::string> Keys(const THeaderMap& map) {
    std::vector<std::string> keys;
    for (const auto& [key, values] : map.Fields()) {
        keys.push_back(key);
    }
    return keys;
}

TEST(MailHeader, SplitsAtFirstExactlyEmptyLine) {
    const TMail mail({"From: a@example.jp", "   ", "X-After-Blanks: yes", "", "body 1", "",
                      "Subject: not a header"});
    // A line of blanks continues the header; only a zero-length line ends it.
    EXPECT_EQ(mail.GetHeaders().Values("X-AFTER-BLANKS:"), Values{"yes"});
    EXPECT_EQ(mail.GetBodyLines(), (Lines{"body 1", "", "Subject: not a header"}));
    EXPECT_FALSE(mail.GetHeaders().Contains("SUBJECT:"));
}

TEST(MailHeader, MessagesWithoutHeaderOrBody) {
    const TMail body_only({"", "Subject: x", "text"});
    EXPECT_TRUE(body_only.GetHeaders().Fields().empty());
    EXPECT_EQ(body_only.GetBodyLines(), (Lines{"Subject: x", "text"}));
    EXPECT_EQ(body_only.GetHeaderText(), "");

    const TMail header_only({"Subject: x", "From: y"});
    EXPECT_EQ(header_only.GetHeaders().Values("SUBJECT:"), Values{"x"});
    EXPECT_TRUE(header_only.GetBodyLines().empty());
    EXPECT_EQ(header_only.GetBodyText(), "");

    const TMail empty(Lines{});
    EXPECT_TRUE(empty.GetHeaders().Fields().empty());
    EXPECT_TRUE(empty.GetBodyLines().empty());
    EXPECT_EQ(empty.GetText(), "");
    EXPECT_EQ(empty.GetHeaderText(), "");
    EXPECT_EQ(empty.GetBoundary(), "");
}

TEST(MailHeader, KeysAreUpperCasedNamesWithColon) {
    const TMail mail({"subject: one", "Content-type: text/plain", "Subject : spaced", "X-Note",
                      "Empty:",
                      "X-\x82"
                      "a: kana"});
    EXPECT_EQ(Keys(mail.GetHeaders()), (Values{"", "CONTENT-TYPE:", "SUBJECT :", "SUBJECT:",
                                               "X-\x82"
                                               "a:"}));
    EXPECT_EQ(mail.GetHeaders().Values(""), Values{"X-Note"});
    EXPECT_EQ(mail.GetHeaders().Values("SUBJECT :"), Values{"spaced"});
    // A field with nothing after its colon creates no key.
    EXPECT_FALSE(mail.GetHeaders().Contains("EMPTY:"));
    EXPECT_TRUE(mail.GetHeaders().Values("ABSENT:").empty());
}

TEST(MailHeader, FoldedAndRepeatedFields) {
    const TMail mail({"Received: from a", "To: a,", " b", "\tc", "Received: from b",
                      "Subject: first", " second", "subject: third"});
    EXPECT_EQ(mail.GetHeaders().Values("RECEIVED:"), (Values{"from a", "from b"}));
    // A folded field is one value, unfolded: the line breaks go, the white space stays.
    EXPECT_EQ(mail.GetHeaders().Values("TO:"), (Values{"a, b\tc"}));
    // A repeated subject is joined onto the first value without a separator.
    EXPECT_EQ(mail.GetHeaders().Values("SUBJECT:"), Values{"first secondthird"});
}

TEST(MailHeader, ValuesAreTrimmedOfControlBytes) {
    const TMail mail({"Subject:\t \x01 text \x1F\x7F \t", "X-Tab:\tvalue\r"});
    // 0x7F is above the trimmed range and stays.
    EXPECT_EQ(mail.GetHeaders().Values("SUBJECT:"), Values{"text \x1F\x7F"});
    EXPECT_EQ(mail.GetHeaders().Values("X-TAB:"), Values{"value"});
}

TEST(MailHeader, DecodesEncodedSubjectsInEveryCharset) {
    struct Case {
        const char* name;
        std::string raw;
        std::string decoded;
    };
    const std::vector<Case> cases = {
        {"jis B", "=?ISO-2022-JP?B?GyRCJDMkcyRLJEEkTxsoQg==?=", kKonnichiwa},
        {"jis b lower", "=?iso-2022-jp?b?GyRCJDMkcyRLJEEkTxsoQg==?=", kKonnichiwa},
        {"jis Q", "=?ISO-2022-JP?Q?=1B$B$3$s$K$A$O=1B(B?=", kKonnichiwa},
        {"raw jis", kKonnichiwaJis, kKonnichiwa},
        {"shift_jis B", "=?Shift_JIS?B?grGC8YLJgr+CzQ==?=", kKonnichiwa},
        {"raw shift_jis", kKonnichiwa, kKonnichiwa},
        {"euc-jp B", "=?EUC-JP?B?pLOk86TLpMGkzw==?=", kKonnichiwa},
        {"utf-8 B", "=?UTF-8?B?44GT44KT44Gr44Gh44Gv?=", kKonnichiwa},
        {"utf-8 Q", "=?utf-8?Q?=E3=81=93=E3=82=93=E3=81=AB=E3=81=A1=E3=81=AF?=", kKonnichiwa},
        {"utf-7 B", "=?UTF-7?B?K01GTXdrekJyTUdFd2J3LQ==?=", kKonnichiwa},
        {"text around", "Re: =?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?= mail", "Re: " + kNihongo + " mail"},
    };
    for (const auto& c : cases) {
        const TMail mail({"Subject: " + c.raw, "", "body"});
        EXPECT_EQ(mail.GetHeaders().Values("SUBJECT:"), Values{c.decoded}) << c.name;
    }
}

TEST(MailHeader, FoldedEncodedSubjectIsOneWord) {
    const TMail mail({"Subject: =?ISO-2022-JP?B?GyRCJDMkcxsoQg==?=",
                      " =?ISO-2022-JP?B?GyRCJEskQSRPGyhC?=", "", "body"});
    EXPECT_EQ(mail.GetHeaders().Values("SUBJECT:"), Values{kKonnichiwa});
}

TEST(MailHeaderText, FieldsInStoredOrderWithDecodedUnfoldedValues) {
    const TMail mail(
        {"Subject: =?ISO-2022-JP?B?GyRCJDMkcxsoQg==?=", "\t=?ISO-2022-JP?B?GyRCJEskQSRPGyhC?=",
         "From: =?UTF-8?B?6YCB5L+h6ICF?=", " <sender@example.jp>", "To: a,", "  b", "X-Note",
         "Empty:", "Received: one", "", "body"});
    EXPECT_EQ(mail.GetHeaderText(),
              "Subject: " + kKonnichiwa + "\r\n" +                       //
                  "From: " + kSoushinsha + " <sender@example.jp>\r\n" +  //
                  "To: a,  b\r\n"
                  "X-Note\r\n"
                  "Empty:\r\n"
                  "Received: one\r\n");
}

TEST(MailHeaderText, DecodedLineBreaksDoNotSplitAField) {
    // Q words can carry CR and LF; the map keeps them, but in the header text each field
    // stays one line, so that line-anchored conditions see the whole field.
    const TMail mail({"Subject: =?ISO-2022-JP?Q?cr=0Dlf=0Aboth=0D=0Aend?=",
                      "X-Folded: =?ISO-2022-JP?Q?a=0Az?=", " b", "To: c", ""});
    EXPECT_EQ(mail.GetHeaders().Values("SUBJECT:"), Values{"cr\rlf\nboth\r\nend"});
    EXPECT_EQ(mail.GetHeaderText(), "Subject: cr lf both end\r\nX-Folded: a z b\r\nTo: c\r\n");
}

TEST(MailHeaderText, LeadingContinuationLineIsKept) {
    const TMail mail({" orphan", "Subject: s", ""});
    EXPECT_EQ(mail.GetHeaderText(), "orphan\r\nSubject: s\r\n");
    EXPECT_EQ(mail.GetHeaders().Values(""), Values{"orphan"});
}

TEST(MailText, IsTheStoredLinesUndecoded) {
    const Lines lines = {"Subject: =?ISO-2022-JP?B?GyRCJDMkcxsoQg==?=",
                         "Content-Transfer-Encoding: base64",
                         "",
                         "grGC8YLJgr+CzQ==",
                         std::string("zero\0byte", 9),
                         ""};
    const TMail mail(lines);
    EXPECT_EQ(mail.GetText(),
              "Subject: =?ISO-2022-JP?B?GyRCJDMkcxsoQg==?=\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "\r\n"
              "grGC8YLJgr+CzQ==\r\n" +
                  std::string("zero\0byte\r\n", 11) + "\r\n");
}

// Counts the header fields it decodes; it cannot fail, so a message built with it reads its
// fields on request, as one built with the stock converter does.
class CountingConverter : public TMailConverter {
  public:
    explicit CountingConverter(int& fields) : fields_(fields) {}
    std::string DecodeHeader(std::string_view value) const override {
        ++fields_;
        return TMailConverter::DecodeHeader(value);
    }

  private:
    int& fields_;
};

// Every way of writing a field that the header walk treats apart.
const Lines kAwkwardHeader = {
    " orphan",   // a continuation line opening the header
    "Subject:",  // empty: no value, and the next subject does not join onto it
    "Subject: =?ISO-2022-JP?B?GyRCJDMkcxsoQg==?=",
    " =?ISO-2022-JP?B?GyRCJEskQSRPGyhC?=",
    "X-Note",  // no colon
    "\tcontinued",
    "dAtE: Tue, 8 Dec 2026 14:00:00 +0900",
    "Empty: \t",
    "To: a,",
    " b",
    "X-\x82"
    "a: kana",  // the a is a trail byte: never upper-cased
    "Received: one",
    "subject:\t \x01 re \x1F",
    "Received: two",
    "",
    "body"};

TEST(MailFieldValues, AnswerAsTheMapDecodingOnlyTheFieldsAskedFor) {
    const TMail eager(kAwkwardHeader);
    const THeaderMap& map = eager.GetHeaders();
    Values keys = Keys(map);
    ASSERT_EQ(keys, (Values{"", "DATE:", "RECEIVED:", "SUBJECT:", "TO:",
                            "X-\x82"
                            "a:"}));
    EXPECT_EQ(map.Values("SUBJECT:"), Values{kKonnichiwa + "re"});
    EXPECT_EQ(map.Values(""), (Values{"orphan", "X-Note\tcontinued"}));

    int decoded = 0;
    const TMail lazy(kAwkwardHeader, std::make_unique<CountingConverter>(decoded));
    // What naming by subject reads: the three subject fields and the date, nothing else.
    EXPECT_EQ(lazy.FieldValues("SUBJECT:"), map.Values("SUBJECT:"));
    EXPECT_EQ(lazy.FieldValues("DATE:"), map.Values("DATE:"));
    EXPECT_EQ(decoded, 4);

    // Names whose every value is empty, names spelled nearly like present ones.
    keys.insert(keys.end(), {"EMPTY:", "ABSENT:", "SUBJECT", "Subject:", "SUBJECT :",
                             "X-\x82"
                             "A:"});
    for (const auto& key : keys) {
        EXPECT_EQ(lazy.FieldValues(key), map.Values(key)) << key;
    }
    // The header text decodes every field once and makes no map; the map, once made, answers.
    decoded = 0;
    EXPECT_EQ(lazy.GetHeaderText(), eager.GetHeaderText());
    EXPECT_EQ(decoded, 11);
    static_cast<void>(lazy.GetHeaders());
    decoded = 0;
    EXPECT_EQ(lazy.FieldValues("TO:"), map.Values("TO:"));
    EXPECT_EQ(decoded, 0);
    EXPECT_FALSE(lazy.BodyDecoded());
}

// Converts like the real converter, except that header values holding "FAIL" and body text
// holding "BROKEN" raise the error the system converter raises when it is unavailable.
class FailingConverter : public TMailConverter {
  public:
    std::string DecodeHeader(std::string_view value) const override {
        if (value.find("FAIL") != std::string_view::npos) {
            throw Exception("IEコンポーネントによる変換に失敗しました。");
        }
        return TMailConverter::DecodeHeader(value);
    }
    bool HeaderDecodingCanFail() const override { return true; }
    std::string CodePageToSJis(std::string_view text, int code_page) const override {
        if (text.find("BROKEN") != std::string_view::npos) {
            throw Exception("IEコンポーネントの初期化に失敗しました。(1)");
        }
        return TMailConverter::CodePageToSJis(text, code_page);
    }
};

TEST(MailFailure, HeaderValueThatFailsToDecodeEndsTheHeaderWithAWarning) {
    std::vector<Report> reports;
    const ScopedReportSink sink([&](const Report& r) { reports.push_back(r); });
    const TMail mail({"Subject: kept", "X-Bad: FAIL", "From: lost@example.jp", "", "body"},
                     std::make_unique<FailingConverter>());

    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].kind, ReportKind::Warning);
    EXPECT_EQ(reports[0].message, "IEコンポーネントによる変換に失敗しました。");
    // A field of another name fails, and still the asked-for one after it is lost.
    EXPECT_TRUE(mail.FieldValues("FROM:").empty());
    EXPECT_EQ(mail.FieldValues("SUBJECT:"), Values{"kept"});
    EXPECT_EQ(Keys(mail.GetHeaders()), Values{"SUBJECT:"});
    // The body stage still runs, and the unparsed lines stay searchable as stored.
    EXPECT_EQ(mail.GetBodyLines(), Lines{"body"});
    EXPECT_EQ(mail.GetHeaderText(), "Subject: kept\r\nX-Bad: FAIL\r\nFrom: lost@example.jp\r\n");

    // A field is decoded whole: failing on its continuation line loses the whole field.
    const TMail folded({"To: a,", " FAIL", "Subject: lost", ""},
                       std::make_unique<FailingConverter>());
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_FALSE(folded.GetHeaders().Contains("TO:"));
    EXPECT_FALSE(folded.GetHeaders().Contains("SUBJECT:"));
    EXPECT_EQ(folded.GetHeaderText(), "To: a,\r\n FAIL\r\nSubject: lost\r\n");
}

TEST(MailFailure, PartHeaderThatFailsToDecodeIsWarnedAndPartRejected) {
    std::vector<Report> reports;
    const ScopedReportSink sink([&](const Report& r) { reports.push_back(r); });
    const TMail mail({"Content-Type: multipart/mixed; boundary=\"b\"", "", "--b", "X-Bad: FAIL",
                      "Content-Type: text/plain", "", "lost", "--b", "Content-Type: text/plain", "",
                      "found", "--b--"},
                     std::make_unique<FailingConverter>());
    // Part headers are read with the body, when something first asks for it.
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(mail.GetBodyLines(), Lines{"found"});
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(mail.GetBodyText(), "found\r\n");
    EXPECT_EQ(reports.size(), 1u);  // decoded once
}

TEST(MailFailure, BodyConversionErrorReachesTheCaller) {
    std::vector<Report> reports;
    const ScopedReportSink sink([&](const Report& r) { reports.push_back(r); });
    // The message is built and can be written and named by its header; the body's error
    // reaches whoever asks for the body, every time.
    const TMail mail({"Subject: s", "", "fine", "BROKEN"}, std::make_unique<FailingConverter>());
    EXPECT_EQ(mail.GetText(), "Subject: s\r\n\r\nfine\r\nBROKEN\r\n");
    EXPECT_EQ(mail.GetHeaders().Values("SUBJECT:"), std::vector<std::string>{"s"});
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            static_cast<void>(mail.GetBodyText());
            FAIL() << "the conversion error was swallowed";
        } catch (const Exception& error) {
            EXPECT_STREQ(error.what(), "IEコンポーネントの初期化に失敗しました。(1)");
        }
    }
    EXPECT_THROW(static_cast<void>(mail.GetBodyLines()), Exception);
    EXPECT_FALSE(mail.BodyDecoded());
    EXPECT_TRUE(reports.empty());
}

}  // namespace
}  // namespace brindle
