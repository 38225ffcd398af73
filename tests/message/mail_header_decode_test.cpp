// Header values as a mail reader reads them: unfolded, every encoded word decoded wherever it
// stands, blanks between words dropped and all other text kept; compared with Python's email
// package on generated subjects, and zero bytes and hostile subjects beside them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "charset/char_nkf_conv.hpp"
#include "message/japanese_samples.hpp"
#include "message/mail.hpp"

namespace brindle {
namespace {

using Values = std::vector<std::string>;
using namespace samples;

std::string Subject(const Lines& field) {
    Lines lines = field;
    lines.front() = "Subject: " + lines.front();
    lines.insert(lines.end(), {"", "body"});
    const auto values = TMail(lines).GetHeaders().Values("SUBJECT:");
    return values.empty() ? std::string() : values.front();
}

struct PythonCase {
    const char* name;
    Lines field;
    std::string expected;
};

TEST(MailHeaderDecode, ReadsGeneratedSubjectsAsPythonsEmailPackage) {
    const std::vector<PythonCase> cases = {
#include "message/header_cases.inc"
    };
    ASSERT_GT(cases.size(), 100u);
    for (const auto& c : cases) {
        EXPECT_EQ(Subject(c.field), c.expected) << c.name;
    }
}

TEST(MailHeaderDecode, FoldsKeepTheirBlankAndWordsTheirText) {
    EXPECT_EQ(Subject({"Hello", " World"}), "Hello World");
    EXPECT_EQ(Subject({"past the", "\tseventy-eight"}), "past the\tseventy-eight");
    // A blank at the end of an encoded word survives the fold, in every charset.
    EXPECT_EQ(Subject({"=?utf-8?Q?Hello_?=", " =?utf-8?Q?World?="}), "Hello World");
    EXPECT_EQ(
        Subject({"=?ISO-2022-JP?B?GyRCN29MPhsoQiA=?=", " =?ISO-2022-JP?B?GyRCJEckORsoQg==?="}),
        "\x8C\x8F\x96\xBC \x82\xC5\x82\xB7");  // 件名 です
    // Blanks between adjacent words go for every charset alike.
    EXPECT_EQ(Subject({"=?Shift_JIS?B?gqA=?= =?EUC-JP?B?pKI=?=  =?ISO-2022-JP?B?GyRCJCIbKEI=?="}),
              "\x82\xA0\x82\xA0\x82\xA0");
    // Words glued to text or to each other are decoded all the same, nothing inserted.
    EXPECT_EQ(Subject({"Inscri=?iso-8859-1?Q?=E7=F5es?=", " Programa"}),
              "Inscri?"
              "?es Programa");
    EXPECT_EQ(Subject({"(=?UTF-8?B?44GC?=)=?UTF-8?B?44GE?="}), "(\x82\xA0)\x82\xA2");
}

TEST(MailHeaderDecode, IsoQWordsKeepWhatFollowsThem) {
    const std::string gen = "=?ISO-2022-JP?Q?=1B$B8@=1B(B?=";  // 言
    EXPECT_EQ(Subject({"head " + gen + " tail"}), "head \x8C\xBE tail");
    EXPECT_EQ(Subject({"=?ISO-2022-JP?Q?abc?= =?ISO-2022-JP?Q?def?="}), "abcdef");
    EXPECT_EQ(Subject({"=?ISO-2022-JP?B?"
                       "GyRCN29MPhsoQg==?=",
                       " " + gen}),
              "\x8C\x8F\x96\xBC\x8C\xBE");
    // "_" is a blank in a Q word, and only there.
    EXPECT_EQ(Subject({"a_b =?ISO-2022-JP?Q?=1B$B8@=1B(B_x?="}), "a_b \x8C\xBE x");
}

TEST(MailHeaderDecode, EveryFieldReadsTheSameWay) {
    // A Q word in name= must not swallow the parameters after it.
    const TMail mail({"Content-Type: multipart/mixed; name=\"=?ISO-2022-JP?Q?=1B$B8@=1B(B?=\";",
                      " boundary=\"sep\"", "", "--sep",
                      "Content-Type: text/plain; name=\"=?ISO-2022-JP?Q?=1B$B8@=1B(B?=\";",
                      " charset=\"UTF-8\"", "", "\xE3\x81\x82", "--sep",
                      "Content-Type: application/octet-stream", "", "attachment", "--sep--"});
    EXPECT_EQ(mail.GetBoundary(), "sep");
    EXPECT_EQ(mail.GetCodePage(), kCodePageUtf8);
    EXPECT_EQ(mail.GetBodyLines(), Lines{"\x82\xA0"});
    EXPECT_EQ(mail.GetHeaders().Values("CONTENT-TYPE:"),
              Values{"multipart/mixed; name=\"\x8C\xBE\"; boundary=\"sep\""});
    // A second Subject field is still joined onto the first.
    EXPECT_EQ(
        TMail({"Subject: =?UTF-8?B?44GC?=", "Subject: b", ""}).GetHeaders().Values("SUBJECT:"),
        Values{"\x82\xA0"
               "b"});
}

TEST(MailHeaderDecode, ZeroBytesDoNotEndTheText) {
    const TMail header({"Subject: =?UTF-8?Q?a=00b?= =?ISO-2022-JP?Q?c=00d?= e", ""});
    EXPECT_EQ(header.GetHeaders().Values("SUBJECT:"), Values{std::string("a\0bc\0d e", 8)});
    EXPECT_NE(header.GetHeaderText().find(std::string("c\0d e", 5)), std::string::npos);

    const TMail qp({"Content-Type: text/plain; charset=\"UTF-8\"",
                    "Content-Transfer-Encoding: quoted-printable", "", "before=00after", "x = a"});
    EXPECT_EQ(qp.GetBodyLines(), (Lines{std::string("before\0after", 12), "x = a"}));
    const TMail raw({"Content-Type: text/plain; charset=\"UTF-8\"", "",
                     std::string("\xE3\x81\x82\0\xE3\x81\x84", 7)});
    EXPECT_EQ(raw.GetBodyLines(), Lines{std::string("\x82\xA0\0\x82\xA2", 5)});
    const TMail base64({"Content-Type: text/plain; charset=\"UTF-8\"",
                        "Content-Transfer-Encoding: base64", "", "YQBiAGM="});
    EXPECT_EQ(base64.GetBodyLines(), Lines{std::string("a\0b\0c", 5)});
}

// Header decoding work for a subject of n UTF-7 words, each ending inside its Base64 run,
// folded one word per line.
std::uint64_t Utf7SubjectWork(std::size_t n) {
    Lines lines = {"Subject: =?UTF-7?Q?+MEI?="};
    for (std::size_t i = 1; i < n; ++i) {
        lines.emplace_back(" =?UTF-7?Q?+MEI?=");
    }
    lines.emplace_back("");
    const std::uint64_t before = TCharNkfConv::HeaderDecodeSteps();
    const TMail mail(lines);
    // The header is decoded on its first request.
    EXPECT_EQ(mail.GetHeaders().Values("SUBJECT:").front().size(), 2 * n);  // n times あ
    return TCharNkfConv::HeaderDecodeSteps() - before;
}

TEST(MailHeaderDecode, ManyUtf7WordsTakeLinearWork) {
    const std::uint64_t small = Utf7SubjectWork(2'000);
    const std::uint64_t large = Utf7SubjectWork(8'000);
    ASSERT_GT(small, 2'000u);
    // Four times the words, four times the work (quadratic work would be sixteen times).
    EXPECT_LT(large, small * 5);
}

}  // namespace
}  // namespace brindle
