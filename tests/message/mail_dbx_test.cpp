// Messages read from .dbx mailboxes through TParsedMailbox over TDBXParser: built files whose
// stored text is split across blocks, a damaged message beside a sound one, and the real mailboxes.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "mailbox/dbx_parser.hpp"
#include "message/japanese_samples.hpp"
#include "message/mail.hpp"
#include "message/parsed_mailbox.hpp"
#include "platform/exception.hpp"
#include "support/dbx_builder.hpp"
#include "support/temp_dir.hpp"

namespace brindle {
namespace {

using namespace samples;

// 件名テスト, 日本語のメール, ２行目
const std::string kKenmeiTest =
    "\x8C\x8F\x96\xBC\x83"
    "e\x83X\x83g";
const std::string kNihongoNoMail = "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x81\x81\x5B\x83\x8B";
const std::string kNigyoume = "\x82\x51\x8D\x73\x96\xDA";

const std::string kJisMail =
    "Subject: =?ISO-2022-JP?B?GyRCN29MPiVGJTklSBsoQg==?=\r\n"
    "From: sender@example.jp\r\n"
    "Content-Type: text/plain; charset=\"iso-2022-jp\"\r\n"
    "\r\n" +
    kKonnichiwaJis + "\r\n" + "line two\n";

const std::string kMultipartMail =
    "Subject: =?UTF-8?B?44GT44KT44Gr44Gh44Gv?=\r\n"
    "Content-Type: multipart/alternative;\r\n"
    "\tboundary=\"----=_NextPart_000_0000_01C2\"\r\n"
    "\r\n"
    "------=_NextPart_000_0000_01C2\r\n"
    "Content-Type: text/plain;\r\n"
    "\tcharset=\"utf-8\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "5pel5pys6Kqe44Gu44Oh44O844Or\r\n"
    "DQrvvJLooYznm64NCg==\r\n"
    "\r\n"
    "------=_NextPart_000_0000_01C2\r\n"
    "Content-Type: text/html; charset=\"utf-8\"\r\n"
    "\r\n"
    "<p>html</p>\r\n"
    "------=_NextPart_000_0000_01C2--\r\n";

std::string SubjectOf(const TBasicMail& mail) {
    const THeaderMap headers = mail.GetHeaders();
    const auto& values = headers.Values("SUBJECT:");
    return values.empty() ? std::string() : values.front();
}

TEST(MailFromDbx, JapaneseMessagesSplitAcrossBlocks) {
    test::TempDir dir;
    // Small blocks cut lines, escape sequences and the CR LF pairs across block ends.
    test::DbxBuilder()
        .AddMessage(kJisMail, {7, 13, 1, 64})
        .AddMessage(kMultipartMail, {33})
        .WriteTo(dir / "box.dbx");

    TParsedMailbox parser(std::make_unique<TDBXParser>(dir / "box.dbx"));
    ASSERT_EQ(parser.GetMailCount(), 2);

    const std::unique_ptr<TBasicMail> jis = parser.GetMail(0);
    EXPECT_EQ(SubjectOf(*jis), kKenmeiTest);
    EXPECT_EQ(jis->GetBodyLines(), (Lines{kKonnichiwa, "line two"}));
    // The stored text is kept undecoded, every line end made CR LF.
    EXPECT_EQ(jis->GetText(), kJisMail.substr(0, kJisMail.size() - 1) + "\r\n");
    EXPECT_NE(jis->GetHeaderText().find("Subject: " + kKenmeiTest + "\r\n"), std::string::npos);

    const std::unique_ptr<TBasicMail> multipart = parser.GetMail(1);
    EXPECT_EQ(SubjectOf(*multipart), kKonnichiwa);
    EXPECT_EQ(multipart->GetBoundary(), "----=_NextPart_000_0000_01C2");
    EXPECT_EQ(multipart->GetBodyLines(), (Lines{kNihongoNoMail, kNigyoume}));
    EXPECT_EQ(multipart->GetText(), kMultipartMail);
}

TEST(MailFromDbx, DamagedMessageFailsAloneAsException) {
    test::TempDir dir;
    test::DbxBuilder()
        .AddMessage(kJisMail, {16})
        .AddMessage(kJisMail, {16})
        .LoopBlockChainAt(0, 1)
        .WriteTo(dir / "box.dbx");

    TParsedMailbox parser(std::make_unique<TDBXParser>(dir / "box.dbx"));
    ASSERT_EQ(parser.GetMailCount(), 2);
    EXPECT_THROW(parser.GetMail(0), Exception);
    EXPECT_EQ(SubjectOf(*parser.GetMail(1)), kKenmeiTest);
}

TEST(MailFromDbx, ParsesTheStoredLinesAndPassesTheReadersWarnings) {
    test::TempDir dir;
    test::DbxBuilder()
        .AddMessage("Subject: parsed\r\nX-A: 1\r\n\r\nline\r\n")
        .HeaderCount(0)
        .WriteTo(dir / "box.dbx");
    TParsedMailbox parser(std::make_unique<TDBXParser>(dir / "box.dbx"));
    ASSERT_EQ(parser.GetMailCount(), 1);
    const std::unique_ptr<TBasicMail> mail = parser.GetMail(0);
    EXPECT_EQ(mail->GetHeaders().Values("SUBJECT:"), (std::vector<std::string>{"parsed"}));
    EXPECT_EQ(mail->GetText(), "Subject: parsed\r\nX-A: 1\r\n\r\nline\r\n");
    ASSERT_EQ(parser.GetWarnings().size(), 1u);
    EXPECT_NE(parser.GetWarnings()[0].find("ヘッダのメール数 0 "), std::string::npos);
}

TEST(MailFromDbx, RealMailboxes) {
    const std::filesystem::path corpus = BRINDLE_CORPUS_DIR;
    if (!std::filesystem::is_directory(corpus)) {
        GTEST_SKIP() << "real mailboxes not found in " << corpus;
    }
    const struct {
        const char* file;
        const char* subject;
    } boxes[] = {
        {"perl_test.dbx", "Please read you won't be sorry........"},
        {"perl_test1.dbx", "[fmII] centericq 4.7.5 released (Default branch)"},
    };
    for (const auto& box : boxes) {
        Lines stored;
        {
            TDBXParser reader(corpus / box.file);
            ASSERT_EQ(reader.GetMailCount(), 1) << box.file;
            stored = reader.ReadMailLines(0);
        }
        TParsedMailbox parser(std::make_unique<TDBXParser>(corpus / box.file));
        ASSERT_EQ(parser.GetMailCount(), 1) << box.file;
        const std::unique_ptr<TBasicMail> mail = parser.GetMail(0);
        EXPECT_EQ(SubjectOf(*mail), box.subject) << box.file;
        EXPECT_FALSE(mail->GetBodyLines().empty()) << box.file;
        EXPECT_EQ(mail->GetText(), JoinLines(stored)) << box.file;
    }
}

}  // namespace
}  // namespace brindle
