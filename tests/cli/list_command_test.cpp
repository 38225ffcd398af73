#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.hpp"
#include "cli/cli_context.hpp"
#include "cli_runner.hpp"
#include "mailbox/dbx_file.hpp"
#include "platform/exception.hpp"
#include "support/dbx_builder.hpp"
#include "support/temp_dir.hpp"

namespace brindle::cli {
namespace {

using test::DbxBuilder;
using test::TempDir;

using Result = test::CliOutcome;

Result RunList(const std::vector<std::string>& args) {
    return test::RunCliWith(args);
}

class ListCommandTest : public ::testing::Test {
  protected:
    std::string Write(const std::string& name, const DbxBuilder& builder) {
        const std::filesystem::path path = dir_ / name;
        builder.WriteTo(path);
        return path.string();
    }

    TempDir dir_;
};

TEST_F(ListCommandTest, ListsCountsSizesAndDecodedSubjects) {
    const std::string japanese =
        "Subject: =?ISO-2022-JP?B?GyRCRnxLXDhsJE4lPyUkJUglaxsoQg==?=\r\n\r\nhonbun\r\n";
    // A decoded Q word can carry CR and LF into the subject.
    const std::string folded = "Subject: tab\there =?ISO-2022-JP?Q?cr=0Dlf=0Aend?=\r\n\r\n";
    const std::string first = Write(
        "first.dbx",
        DbxBuilder().AddMessage(japanese).AddMessage("no header line at all").AddMessage(folded));
    const std::string second = Write("second.dbx", DbxBuilder().AddMessages(2).HeaderCount(5));
    const Result result = RunList({"list", first, second});
    EXPECT_EQ(result.status, kExitOk) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              "first.dbx: 3 通\n"
              "0\t" +
                  std::to_string(japanese.size()) +
                  "\t日本語のタイトル\n"
                  "1\t21\t\n"
                  "2\t" +
                  std::to_string(folded.size()) +
                  "\ttab here cr lf end\n"
                  "second.dbx: 2 通 （ヘッダでは 5 通）\n"
                  "0\t30\tmessage 0\n"
                  "1\t30\tmessage 1\n");
}

TEST_F(ListCommandTest, ControlBytesOfASubjectNeverReachTheTerminal) {
    // A hostile subject must not drive the terminal: escape sequences (clear screen, set the
    // window title), BEL and NUL are shown as blanks like TAB, CR and LF.
    const std::string hostile =
        "Subject: a\x1B[2J\x1B]0;title\x07" + std::string("b\0c", 3) + "\x7F\r\n\r\n";
    const std::string encoded = "Subject: =?ISO-2022-JP?Q?x=1B[2Jy=07z?=\r\n\r\n";
    const std::string path =
        Write("hostile.dbx", DbxBuilder().AddMessage(hostile).AddMessage(encoded));
    const Result result = RunList({"list", path});
    EXPECT_EQ(result.status, kExitOk) << result.err;
    EXPECT_EQ(result.out,
              "hostile.dbx: 2 通\n"
              "0\t" +
                  std::to_string(hostile.size()) +
                  "\ta [2J ]0;title b c \n"
                  "1\t" +
                  std::to_string(encoded.size()) + "\tx [2Jy z\n");
}

TEST_F(ListCommandTest, ControlBytesOfAFileNameAreBlankedToo) {
    const std::string path = Write("in\x1B]0;t\x07\tbox.dbx", DbxBuilder().AddMessages(1));
    const Result result = RunList({"list", path});
    EXPECT_EQ(result.status, kExitOk) << result.err;
    EXPECT_EQ(result.out.rfind("in ]0;t  box.dbx: 1 通\n", 0), 0u) << result.out;
}

TEST_F(ListCommandTest, FailuresArePrintedAndTheListingGoesOn) {
    const std::string damaged = Write("damaged.dbx", DbxBuilder()
                                                         .AddMessages(1)
                                                         .AddMessage(std::string(700, 'x'))
                                                         .AddMessages(1)
                                                         .LoopBlockChainAt(1, 0));
    const std::string broken = (dir_ / "broken.dbx").string();
    std::ofstream(broken) << "From: a@example.jp\r\nSubject: an mbox file\r\n\r\nbody\r\n";
    const std::string sound = Write("sound.dbx", DbxBuilder().AddMessages(1));
    const std::string rootless = Write("rootless.dbx", DbxBuilder().AddMessages(2).RootPastEnd());
    const Result result =
        RunList({"list", damaged, (dir_ / "missing.dbx").string(), broken, sound, rootless});
    EXPECT_EQ(result.status, kExitFailures);
    EXPECT_EQ(result.out,
              "damaged.dbx: 3 通\n"
              "0\t30\tmessage 0\n"
              "2\t30\tmessage 2\n"
              "sound.dbx: 1 通\n"
              "0\t30\tmessage 0\n"
              "rootless.dbx: 2 通\n"
              "0\t30\tmessage 0\n"
              "1\t30\tmessage 1\n");
    EXPECT_EQ(
        result.err.substr(0, result.err.rfind("(rootless.dbx)")),
        "brindle-cli: (damaged.dbx):[1] ファイルの読み取りに失敗しました。\n"
        "brindle-cli: (missing.dbx):ファイルが開けません。 (" +
            ErrnoText(ENOENT) +
            ")\n"
            "brindle-cli: (broken.dbx):Outlook Express のメールフォルダ（.dbx）ではありません。\n"
            "brindle-cli: ");
    // The damaged index is said once, with what it cost and what the scan brought back.
    const std::string warning = result.err.substr(result.err.rfind("(rootless.dbx)"));
    EXPECT_EQ(warning.rfind("(rootless.dbx):警告: メールの索引が壊れています", 0), 0u) << warning;
    EXPECT_NE(warning.find("索引にないメール 2 通"), std::string::npos) << warning;
    EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1);
}

TEST_F(ListCommandTest, ReadErrorOfTheDiskEndsThatMailboxWithOneLine) {
    DbxBuilder builder;
    for (int i = 0; i < 300; ++i) {
        builder.AddMessage("Subject: m\r\n\r\n" + std::string(1000, 'x'));
    }
    const std::string box = Write("box.dbx", builder);
    const ScopedPreadFunction failing([](int fd, void* buffer, std::size_t size, off_t offset) {
        if (offset >= 200000) {
            errno = EIO;
            return ssize_t{-1};
        }
        return ::pread(fd, buffer, size, offset);
    });
    const Result result = RunList({"list", box});
    EXPECT_EQ(result.status, kExitFailures);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_NE(result.err.find(ErrnoText(EIO)), std::string::npos) << result.err;
}

TEST_F(ListCommandTest, SalvageListsWhatTheIndexLostAfterTheRest) {
    const std::string box = Write("deleted.dbx", DbxBuilder().AddMessages(3).LeaveOutOfIndex(1));
    const Result plain = RunList({"list", box});
    EXPECT_EQ(plain.status, kExitOk);
    EXPECT_EQ(plain.out,
              "deleted.dbx: 2 通 （ヘッダでは 3 通）\n0\t30\tmessage 0\n1\t30\tmessage 2\n");
    const Result salvaged = RunList({"list", "--salvage", box});
    EXPECT_EQ(salvaged.status, kExitOk);
    EXPECT_EQ(salvaged.out,
              "deleted.dbx: 3 通\n0\t30\tmessage 0\n1\t30\tmessage 2\n2\t30\tmessage 1\n");
    EXPECT_NE(salvaged.err.find("索引にないメール 1 通"), std::string::npos) << salvaged.err;
}

TEST_F(ListCommandTest, WithoutMailboxesIsAUsageError) {
    const Result result = RunList({"list"});
    EXPECT_EQ(result.status, kExitUsage);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err, "");
}

TEST_F(ListCommandTest, ListsTheRealMailboxes) {
    const std::filesystem::path corpus(BRINDLE_CORPUS_DIR);
    if (!std::filesystem::exists(corpus / "perl_test1.dbx")) {
        GTEST_SKIP() << "real mailboxes are absent from " << corpus;
    }
    const Result result = RunList({"list", (corpus / "perl_test1.dbx").string()});
    EXPECT_EQ(result.status, kExitOk) << result.err;
    EXPECT_EQ(result.out,
              "perl_test1.dbx: 1 通\n"
              "0\t2710\t[fmII] centericq 4.7.5 released (Default branch)\n");
}

}  // namespace
}  // namespace brindle::cli
