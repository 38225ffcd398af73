#include "cli/convert_command.hpp"

#include <gtest/gtest.h>

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

TEST_F(ConvertCommand, ConvertsEveryMessageAndSummarises) {
    const Outcome o = Convert({"-o", out_.string(), inbox_});
    EXPECT_EQ(o.status, kExitOk) << o.err;
    EXPECT_EQ(o.out, "2 messages read, 2 written, 0 failed; 0 files failed\n");
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
    EXPECT_NE(o.err.find("(missing.dbx):ファイルが開けません。\n"), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "4 messages read, 4 written, 1 failed; 1 files failed\n");
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

TEST_F(ConvertCommand, SignalStopsAfterTheMessageBeingWritten) {
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
        EXPECT_EQ(Names(out_), (std::set<std::string>{"0.eml"}));
        EXPECT_EQ(out.str(), "1 messages read, 1 written, 0 failed; 0 files failed\n");
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
        EXPECT_EQ(out.str(), "0 messages read, 0 written, 0 failed; 0 files failed\n");
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
