#include "cli/convert_command.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.hpp"
#include "cli_runner.hpp"
#include "platform/file_system.hpp"
#include "support/dbx_builder.hpp"
#include "support/temp_dir.hpp"

namespace brindle::cli {
namespace {

namespace fs = std::filesystem;
using test::DbxBuilder;
using test::TempDir;

using Outcome = test::CliOutcome;

Outcome Convert(std::vector<std::string> args, bool terminal = false) {
    args.insert(args.begin(), "convert");
    return test::RunCliWith(args, terminal);
}

// Kana and kanji (and their punctuation) in UTF-8: lead bytes E3 to E9.
bool HasJapanese(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0xE3 && byte <= 0xE9;
    });
}

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (e.is_regular_file()) {
            names.insert(fs::relative(e.path(), folder).string());
        }
    }
    return names;
}

class ConvertCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directory(out_);
        DbxBuilder()
            .AddMessage(
                "Subject: =?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=\r\nX-Id: k1\r\n\r\n"
                "\x92\x8D\x95\xB6: 77\r\n")  // 注文: 77
            .AddMessage("Subject: two\r\nX-Id: k2\r\n\r\nnext\r\n")
            .WriteTo(inbox_);
        DbxBuilder()
            .AddMessage("Subject: a\r\n\r\n1\r\n")
            .AddMessage("Subject: b\r\n\r\n" + std::string(3000, 'x'), {512})
            .AddMessage("Subject: c\r\n\r\n3\r\n")
            .NextBlockPastEnd(1, 2)
            .WriteTo(damaged_);
    }

    TempDir dir_;
    const fs::path out_ = dir_ / "out";
    const std::string inbox_ = (dir_ / "inbox.dbx").string();
    const std::string damaged_ = (dir_ / "damaged.dbx").string();
};

TEST_F(ConvertCommand, AFullDiskEndsTheRunAndItsSummaryCountsWhatWasNotWritten) {
    DbxBuilder().AddMessages(50).WriteTo(dir_ / "big.dbx");
    const ScopedWriteFunction full(DiskFullAfter(3 * 30 + 10));
    const Outcome o = Convert({"-o", out_.string(), (dir_ / "big.dbx").string(), inbox_});
    EXPECT_EQ(o.status, kExitFailures);
    EXPECT_EQ(o.out,
              "読んだメール 4 通、書いたメール 3 通、失敗 0 通、失われたメール 47 "
              "通。失敗したファイル 1 個、未処理のファイル 1 個。\n");
    EXPECT_EQ(Names(out_).size(), 3u);
}

// Everything printed is in the chosen language: no Japanese character reaches an English
// user, and the errors still name what failed and where.
TEST_F(ConvertCommand, SpeaksTheChosenLanguage) {
    DbxBuilder().AddMessages(1).WriteTo(dir_ / "one.dbx");
    const std::string missing = (dir_ / "nowhere").string();
    const struct {
        std::vector<std::string> args;
        std::string out;
        std::string err_has;
    } cases[] = {
        {{"--lang", "en", "convert", "-o", out_.string(), (dir_ / "one.dbx").string()},
         "1 message read, 1 written, 0 failed; 0 files failed\n",
         ""},
        {{"convert", "--lang=en", "-o", missing, inbox_}, "", missing},
        {{"--lang", "en", "list", (dir_ / "absent.dbx").string()}, "", "absent.dbx"},
        {{"--lang", "en", "list", (dir_ / "one.dbx").string()},
         "one.dbx: 1 message\n0\t30\tmessage 0\n",
         ""},
    };
    for (const auto& c : cases) {
        const Outcome o = test::RunCliWith(c.args);
        if (!c.out.empty()) {
            EXPECT_EQ(o.out, c.out);
        }
        EXPECT_NE(o.err.find(c.err_has), std::string::npos) << o.err;
        EXPECT_EQ(o.err.rfind("brindle-cli: ", 0), o.err.empty() ? std::string::npos : 0u);
        EXPECT_FALSE(HasJapanese(o.out + o.err)) << o.out << o.err;
    }
    EXPECT_EQ(test::RunCliWith({"--lang", "fr", "list", inbox_}).status, kExitUsage);
}

TEST_F(ConvertCommand, ConvertsEveryMessageAndSummarises) {
    const Outcome o = Convert({"-o", out_.string(), inbox_});
    EXPECT_EQ(o.status, kExitOk) << o.err;
    EXPECT_EQ(o.out, "読んだメール 2 通、書いたメール 2 通、失敗 0 通。失敗したファイル 0 個。\n");
    EXPECT_EQ(o.err, "");  // no progress bar when standard error is not a terminal
    EXPECT_EQ(Names(out_), (std::set<std::string>{"0.eml", "1.eml"}));
}

TEST_F(ConvertCommand, NamingOptions) {
    struct Case {
        std::vector<std::string> options;
        std::set<std::string> names;
    };
    const std::vector<Case> cases{
        {{"--naming", "subject"}, {"日本語.eml", "two.eml"}},
        {{"--naming", "param", "--param", "注文:"}, {" 77.eml", "無題.eml"}},
        {{"--naming", "param", "--param", "注文:", "--param-line", "next"},
         {"無題.eml", "無題(0).eml"}},
        {{"--naming", "param", "--param", "x-id", "--param-place", "header"}, {"k1.eml", "k2.eml"}},
        {{"--naming", "subject", "--per-mailbox-folder"}, {"inbox/日本語.eml", "inbox/two.eml"}},
        {{"--format", "mbox"}, {"inbox.mbox"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.front() + " " + c.options[1]);
        fs::remove_all(out_);
        fs::create_directory(out_);
        std::vector<std::string> args{"-o", out_.string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(inbox_);
        const Outcome o = Convert(args);
        EXPECT_EQ(o.status, kExitOk) << o.err;
        EXPECT_EQ(Names(out_), c.names);
    }
}

TEST_F(ConvertCommand, FailuresArePrintedAndTheRunGoesOn) {
    const std::string missing = (dir_ / "missing.dbx").string();
    const Outcome o =
        Convert({"-o", out_.string(), "--naming", "subject", damaged_, missing, inbox_});
    EXPECT_EQ(o.status, kExitFailures);
    EXPECT_NE(o.err.find("(damaged.dbx):[1] "), std::string::npos) << o.err;
    // The dialog's text, then the whole path and the system's reason.
    EXPECT_NE(o.err.find("(missing.dbx):ファイルが開けません。 " + missing +
                         ": No such file or directory\n"),
              std::string::npos)
        << o.err;
    EXPECT_EQ(o.out, "読んだメール 4 通、書いたメール 4 通、失敗 1 通。失敗したファイル 1 個。\n");
    EXPECT_EQ(Names(out_), (std::set<std::string>{"a.eml", "c.eml", "日本語.eml", "two.eml"}));
}

TEST_F(ConvertCommand, UsageErrorsRunNothing) {
    struct Case {
        std::vector<std::string> args;
        std::string message;  // on standard error; empty when CLI11 words it
    };
    const std::string none = (dir_ / "none").string();
    const std::vector<Case> cases{
        {{inbox_}, ""},
        {{"-o", out_.string()}, ""},
        {{"-o", out_.string(), "--naming", "date", inbox_}, ""},
        {{"-o", out_.string(), "--param-place", "footer", inbox_}, ""},
        {{"-o", out_.string(), "--format", "mbx", inbox_}, ""},
        {{"-o", none, inbox_}, "変換先のディレクトリが見つかりません。 " + none + "\n"},
        {{"-o", out_.string(), "--naming", "param", inbox_},
         "パラメータ文字が指定されていません。\n"},
        // An emoji has no Shift_JIS form: refused, never altered.
        {{"-o", out_.string(), "--naming", "param", "--param", "id\xF0\x9F\x98\x80", inbox_},
         "--param"},
    };
    for (const auto& c : cases) {
        const Outcome o = Convert(c.args);
        EXPECT_EQ(o.status, kExitUsage) << o.err;
        if (!c.message.empty()) {
            EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
        }
        EXPECT_TRUE(fs::is_empty(out_));
    }
}

TEST_F(ConvertCommand, EachWhereTakesOneValueAndNoValueIsSplit) {
    const std::string other = (dir_ / "other.dbx").string();
    DbxBuilder().AddMessage("Subject: other\r\n\r\nx\r\n").WriteTo(other);
    // The mailbox after --where TEXT is a mailbox, not a second condition.
    Outcome o = Convert({"-o", out_.string(), "--where", "Subject", inbox_, other});
    EXPECT_EQ(o.status, kExitOk) << o.err;
    EXPECT_EQ(o.out, "読んだメール 3 通、書いたメール 3 通、失敗 0 通。失敗したファイル 0 個。\n");

    // Bracketed values stay whole: one bracket class, one condition, one mailbox.
    const std::string job = (dir_ / "job.xml").string();
    fs::remove_all(out_);
    fs::create_directory(out_);
    DbxBuilder()
        .AddMessage("Subject: \x8F\x64\x97\x76 abc\r\n\r\n1\r\n")  // 重要 abc
        .WriteTo(dir_ / "[a.dbx,b.dbx]");
    const fs::path before = fs::current_path();
    fs::current_path(dir_.path());
    o = Convert({"-o", out_.string(), "--regexp", "--where", "[a-z]", "--where=[重要]", "--where",
                 "[a,b]", "--save-job", job, "[a.dbx,b.dbx]"});
    const Outcome listed = test::RunCliWith({"list", "[a.dbx,b.dbx]"});
    fs::current_path(before);
    EXPECT_EQ(o.status, kExitOk) << o.err;
    EXPECT_EQ(o.out, "読んだメール 1 通、書いたメール 1 通、失敗 0 通。失敗したファイル 0 個。\n");
    std::ifstream in(job, std::ios::binary);
    const std::string saved(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(saved.find(">[a-z]</Condition>"), std::string::npos) << saved;
    EXPECT_NE(saved.find(">[\x8F\x64\x97\x76]</Condition>"), std::string::npos) << saved;
    EXPECT_NE(saved.find(">[a,b]</Condition>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[a.dbx,b.dbx]</Path>"), std::string::npos) << saved;
    EXPECT_EQ(listed.out.rfind("[a.dbx,b.dbx]: 1 通\n", 0), 0u) << listed.out;
}

TEST_F(ConvertCommand, SameMailboxTwiceIsConvertedOnce) {
    const Outcome o = Convert({"-o", out_.string(), inbox_, (dir_ / "." / "inbox.dbx").string()});
    EXPECT_EQ(o.status, kExitOk) << o.err;
    EXPECT_EQ(o.out, "読んだメール 2 通、書いたメール 2 通、失敗 0 通。失敗したファイル 0 個。\n");
}

TEST_F(ConvertCommand, MailboxThatDeliversLessThanItPromisesFails) {
    // The header promises 7; the index node and every record are gone.
    const test::DbxLayout layout = DbxBuilder().AddMessages(7).BuildWithLayout();
    std::string lost = layout.bytes;
    std::fill(lost.begin() + layout.root, lost.end(), '\0');
    struct Case {
        const char* name;
        std::string bytes;
        std::string says;  // in the summary or the errors
    };
    const Case cases[] = {
        {"index cut short", lost, "失われたメール 7 通"},
        {"random bytes", std::string(4000, '\x5A'), "ではありません"},
        {"renamed .eml", "From: a@example.jp\r\nSubject: x\r\n\r\n" + std::string(300, 'b'),
         "ではありません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path box = dir_ / (std::string(c.name) + ".dbx");
        std::ofstream(box, std::ios::binary) << c.bytes;
        const Outcome o = Convert({"--salvage", "-o", out_.string(), box.string()});
        EXPECT_EQ(o.status, kExitFailures) << o.out << o.err;
        EXPECT_NE((o.out + o.err).find(c.says), std::string::npos) << o.out << o.err;
    }
}

TEST_F(ConvertCommand, FolderGivesEveryMailboxInItAndSkipsTheStoresOtherFiles) {
    const fs::path store = dir_ / "store";
    fs::create_directories(store / "sub");
    DbxBuilder().AddMessage("Subject: b\r\n\r\n").WriteTo(store / "b.dbx");
    DbxBuilder().AddMessage("Subject: a\r\n\r\n").WriteTo(store / "a.dbx");
    DbxBuilder().AddMessage("Subject: inner\r\n\r\n").WriteTo(store / "sub" / "c.dbx");
    std::ofstream(store / "Folders.dbx", std::ios::binary)
        << test::BuildFolderList({{1, 0, "Local Folders", ""}, {2, 1, "Inbox", "a.dbx"}});
    std::ofstream(store / "Cleanup.log") << "log\n";

    const Outcome o = Convert({"--naming", "subject", "-o", out_.string(), store.string()});
    EXPECT_EQ(o.status, kExitOk) << o.err;
    EXPECT_EQ(o.out, "読んだメール 2 通、書いたメール 2 通、失敗 0 通。失敗したファイル 0 個。\n");
    EXPECT_EQ(Names(out_), (std::set<std::string>{"a.eml", "b.eml"}));
    EXPECT_NE(o.err.find("(Folders.dbx):"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("(Cleanup.log):"), std::string::npos) << o.err;

    // One folder per mailbox: nested as the store showed it, or by file name when the list
    // does not know the mailbox.
    const fs::path nested = dir_ / "nested";
    fs::create_directory(nested);
    const Outcome tree = Convert(
        {"--naming", "subject", "--per-mailbox-folder", "-o", nested.string(), store.string()});
    EXPECT_EQ(tree.status, kExitOk) << tree.err;
    EXPECT_EQ(Names(nested), (std::set<std::string>{"Local Folders/Inbox/a.eml", "b/b.eml"}));

    const Outcome listed = test::RunCliWith({"list", store.string()}, false);
    EXPECT_EQ(listed.out.rfind("a.dbx [Local Folders/Inbox]: 1 通\n", 0), 0u) << listed.out;
}

TEST_F(ConvertCommand, OptionsThatDoNothingTogetherAreRefused) {
    struct Case {
        std::vector<std::string> options;
        std::string named;  // what the reason must name
    };
    const std::vector<Case> useless = {
        {{"--param", "ID:"}, "--param "},
        {{"--naming", "subject", "--param-place", "header"}, "--param-place"},
        {{"--param-line", "next"}, "--param-line"},
        {{"--ignore-case"}, "--ignore-case"},
        {{"--regexp"}, "--regexp"},
        {{"--all-words"}, "--all-words"},
        {{"--where", "x", "--ignore-case", "--regexp"}, "--ignore-case と --regexp"},
        {{"--format", "mbox", "--naming", "subject"}, "--naming "},
        {{"--format", "maildir", "--per-mailbox-folder"}, "--per-mailbox-folder "},
    };
    for (const Case& c : useless) {
        std::vector<std::string> args = {"-o", out_.string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(inbox_);
        const Outcome o = Convert(args);
        EXPECT_EQ(o.status, kExitUsage) << c.named;
        EXPECT_NE(o.err.find(c.named), std::string::npos) << o.err;
        EXPECT_TRUE(o.out.empty());
        EXPECT_TRUE(fs::is_empty(out_));
    }
    // With their partners they are taken.
    EXPECT_EQ(Convert({"-o", out_.string(), "--naming", "param", "--param", "X-Id", "--param-place",
                       "header", inbox_})
                  .status,
              kExitOk);
}

// The manual pages installed with the program, English and Japanese, describe every option the
// parser knows.
TEST(CliHelp, ManualPagesDescribeEveryOption) {
    const std::string help = test::RunCliWith({"convert", "--help"}).out;
    for (const char* file : {"brindle-cli.1", "ja/brindle-cli.1"}) {
        SCOPED_TRACE(file);
        std::ifstream in(fs::path(BRINDLE_TEST_SOURCE_DIR) / "../../docs/man" / file);
        ASSERT_TRUE(in) << "the page is missing";
        const std::string page(std::istreambuf_iterator<char>(in), {});
        int options = 0;
        for (std::size_t at = help.find("--"); at != std::string::npos;
             at = help.find("--", at + 2)) {
            const std::size_t end = help.find_first_of(" =,:)\n", at);
            std::string name = help.substr(at, end - at);
            if (name == "--help") {
                continue;
            }
            // In troff source a hyphen of an option is written \-.
            std::string troff;
            for (const char c : name) {
                troff += c == '-' ? std::string("\\-") : std::string(1, c);
            }
            EXPECT_NE(page.find(troff), std::string::npos) << name;
            ++options;
        }
        EXPECT_GE(options, 11);
    }
}

TEST(CliHelp, NamesMailboxesJobsAndExitStatuses) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                                 {"convert", "--help"},
                                                 {"list", "--help"},
                                                 {"run", "--help"}}) {
        const Outcome o = test::RunCliWith(args);
        EXPECT_EQ(o.status, kExitOk);
        EXPECT_NE(o.out.find("終了コード: 0 "), std::string::npos) << o.out;
        EXPECT_NE(o.out.find(args.front() == "run" ? "JOB.xml" : "MAILBOX.dbx"), std::string::npos)
            << o.out;
        EXPECT_EQ(o.out.find("(.dbx)"), std::string::npos) << o.out;
        EXPECT_EQ(o.out.find("window"), std::string::npos) << o.out;
    }
}

TEST_F(ConvertCommand, SignalStopsAfterTheMessagesAlreadyRead) {
    for (const int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig);
        fs::remove_all(out_);
        fs::create_directory(out_);
        TConvertJob job;
        job.sources = {inbox_, damaged_};
        job.destination = out_.string();
        TConvertEvents observer;
        observer.message_written = [sig](const std::string&) { std::raise(sig); };
        std::ostringstream out;
        std::ostringstream err;
        CliContext context{out, err, false};
        EXPECT_EQ(RunConvertJob(job, context, observer), kExitStopped);
        // Both messages of the first mailbox were read when the first was written (the writing
        // stage waits for them together): both are written, the second mailbox is not begun.
        EXPECT_EQ(Names(out_), (std::set<std::string>{"0.eml", "1.eml"}));
        EXPECT_EQ(out.str(),
                  "読んだメール 2 通、書いたメール 2 通、失敗 0 通。失敗したファイル 0 個。\n");
    }
    // A signal while the mailbox is being opened and walked is honoured before its first
    // message, not one message later.
    {
        fs::remove_all(out_);
        fs::create_directory(out_);
        TConvertJob job;
        job.sources = {inbox_};
        job.destination = out_.string();
        TConvertEvents observer;
        observer.message_count_known = [](std::int32_t) { std::raise(SIGINT); };
        std::ostringstream out;
        std::ostringstream err;
        CliContext context{out, err, false};
        EXPECT_EQ(RunConvertJob(job, context, observer), kExitStopped);
        EXPECT_TRUE(fs::is_empty(out_));
        EXPECT_EQ(out.str(),
                  "読んだメール 0 通、書いたメール 0 通、失敗 0 通。失敗したファイル 0 個。\n");
    }
    // The handlers are put back: the default action of SIGINT is in force again.
    struct sigaction now {};
    sigaction(SIGINT, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST_F(ConvertCommand, ProgressOnATerminal) {
    const Outcome o = Convert({"-o", out_.string(), inbox_}, true);
    EXPECT_EQ(o.status, kExitOk);
    EXPECT_NE(o.err.find("[1/1] inbox.dbx ["), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("2/2"), std::string::npos) << o.err;
    // The line is cleared before the summary so that nothing is left half drawn.
    EXPECT_EQ(o.err.substr(o.err.size() - 4), "\r\x1b[K");
}

}  // namespace
}  // namespace brindle::cli
