// The run with messages that decode only what is asked for, against the same run with every
// message decoded completely as soon as it is read (the lines handed over as a list, the header
// map, header text and body fetched at once): every file's name, bytes and modification time
// must be the same, under every naming rule, on a mailbox with every kind of body, and on the
// real mailboxes of the corpus.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "convert/conversion_run.hpp"
#include "mailbox/dbx_parser.hpp"
#include "message/mail.hpp"
#include "platform/exception.hpp"
#include "support/dbx_builder.hpp"
#include "support/temp_dir.hpp"

namespace brindle {
namespace {

namespace fs = std::filesystem;

// Counts the body conversions, and fails them on request.
class CountingConverter : public TMailConverter {
  public:
    CountingConverter(int& calls, bool fail) : calls_(calls), fail_(fail) {}
    std::string CodePageToSJis(std::string_view text, int code_page) const override {
        ++calls_;
        if (fail_) {
            throw Exception("IEコンポーネントの初期化に失敗しました。(1)");
        }
        return TMailConverter::CodePageToSJis(text, code_page);
    }

  private:
    int& calls_;
    bool fail_;
};

// The reader's messages, built from the stored text (as the run builds them) with a counting
// converter, or built from the line list and decoded completely at once.
class TestMailbox : public TBasicMailParser {
  public:
    TestMailbox(const std::string& path, bool eager, int& body_calls, bool fail_body)
        : parser_(path), eager_(eager), body_calls_(body_calls), fail_body_(fail_body) {}
    std::int32_t GetMailCount() override { return parser_.GetMailCount(); }
    std::unique_ptr<TBasicMail> GetMail(std::int32_t index) override {
        auto converter = std::make_unique<CountingConverter>(body_calls_, fail_body_);
        if (!eager_) {
            return TMail::FromStoredText(parser_.ReadMailText(index), std::move(converter));
        }
        auto mail = std::make_unique<TMail>(parser_.ReadMailLines(index), std::move(converter));
        static_cast<void>(mail->GetHeaders());
        static_cast<void>(mail->GetHeaderText());
        static_cast<void>(mail->GetBodyLines());
        static_cast<void>(mail->GetBodyText());
        return mail;
    }

  private:
    TDBXParser parser_;
    bool eager_;
    int& body_calls_;
    bool fail_body_;
};

struct Written {
    std::string bytes;
    std::int64_t mtime = 0;
    bool operator==(const Written&) const = default;
};

struct RunResult {
    std::map<std::string, Written> files;  // relative path -> content and time
    std::vector<std::string> failures;
    TConvertSummary summary;
    int body_conversions = 0;
    // A file without a usable Date keeps the time it was written: some time in this window.
    std::int64_t started = 0;
    std::int64_t ended = 0;
    bool WrittenDuring(std::int64_t mtime) const { return mtime >= started && mtime <= ended; }
};

RunResult RunJob(TConvertJob job, const fs::path& out, bool eager, bool fail_body = false) {
    RunResult result;
    fs::create_directories(out);
    job.destination = out.string();
    TConvertEvents events;
    events.message_failed = [&](const std::string&, std::int32_t j, const std::string& e,
                                const std::string&) {
        result.failures.push_back(std::to_string(j) + ":" + e);
    };
    TConvertRun run(std::move(job), std::move(events));
    // The lazy messages are read ahead on a second thread, as brindle-cli runs them; the eager
    // ones one after the other.
    run.SetReadAhead(!eager);
    run.SetMailboxOpener([&](const std::string& path) {
        return std::make_unique<TestMailbox>(path, eager, result.body_conversions, fail_body);
    });
    result.started = static_cast<std::int64_t>(std::time(nullptr));
    result.summary = run.Run();
    result.ended = static_cast<std::int64_t>(std::time(nullptr));
    for (const auto& entry : fs::recursive_directory_iterator(out)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        Written file{{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}, 0};
        struct stat info {};
        ::stat(entry.path().c_str(), &info);
        file.mtime = static_cast<std::int64_t>(info.st_mtime);
        result.files[fs::relative(entry.path(), out).string()] = std::move(file);
    }
    return result;
}

void ExpectSameRun(const RunResult& lazy, const RunResult& eager) {
    ASSERT_EQ(lazy.files.size(), eager.files.size());
    for (const auto& [name, file] : eager.files) {
        const auto it = lazy.files.find(name);
        ASSERT_NE(it, lazy.files.end()) << "missing " << name;
        EXPECT_EQ(it->second.bytes, file.bytes) << name;
        if (eager.WrittenDuring(file.mtime)) {
            EXPECT_TRUE(lazy.WrittenDuring(it->second.mtime)) << name;
        } else {
            EXPECT_EQ(it->second.mtime, file.mtime) << name;
        }
    }
    EXPECT_EQ(lazy.failures, eager.failures);
    EXPECT_EQ(lazy.summary.messages_written, eager.summary.messages_written);
    EXPECT_EQ(lazy.summary.messages_read, eager.summary.messages_read);
}

std::string EveryBodyKind() {
    const std::string date = "Date: Tue, 3 Mar 2009 10:20:30 +0900\r\n";
    return test::DbxBuilder()
        .AddMessage("Subject: =?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=\r\n" + date +
                    "Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n"
                    "Order: \x1b$BF|K\\\x1b(B-1\r\n\x1b$B8l\x1b(B\r\n")
        .AddMessage(
            "Subject: \x95\x5C\x8E\xA6\r\nDate: 1 Jan 99 00:00 GMT\r\n"
            "Content-Type: text/plain; charset=SJIS\r\n\r\nOrder: \x95\x5C\r\nnext\r\n")
        .AddMessage(
            "Subject: =?EUC-JP?B?xvzL3Ljs?=\r\nContent-Type: text/plain; charset=EUC-JP\r\n"
            "X-Order-ID: e-1\r\n\r\n\xc6\xfc\xcb\xdc\r\n")
        .AddMessage(
            "Subject: =?UTF-8?B?5pel5pys6Kqe?=\r\nDate: not a date\r\n"
            "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64"
            "\r\n\r\nT3JkZXI6IOaXpeacrAp0YWls\r\n")
        .AddMessage(
            "Subject: qp\r\nContent-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n\r\nOrder: =E6=97=A5=\r\n"
            "=E6=9C=AC\r\n")
        .AddMessage(
            "Subject: =?UTF-7?Q?+ZeVnLIqe-?=\r\nContent-Type: text/plain; charset=UTF-7\r\n"
            "\r\nOrder: +ZeVnLA-\r\n")
        .AddMessage(
            "Subject: multi\r\n" + date +
            "Content-Type: multipart/alternative; boundary=\"b1\"\r\n\r\npre\r\n--b1\r\n"
            "Content-Type: text/html\r\n\r\n<p>Order: html</p>\r\n--b1\r\n"
            "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\nT3JkZXI6IHBhcnQ=\r\n--b1--\r\nepi\r\n")
        .AddMessage(
            "Subject: nested\r\nContent-Type: multipart/mixed; boundary=outer\r\n\r\n"
            "--outer\r\nContent-Type: multipart/alternative; boundary=\"in\"\r\n\r\n--in\r\n"
            "Content-Type: text/plain\r\n\r\nOrder: hidden\r\n--in--\r\n--outer--\r\n")
        .AddMessage(
            "Subject: attachment\r\nContent-Type: multipart/mixed; boundary=\"m\"\r\n\r\n"
            "--m\r\nContent-Type: application/octet-stream\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\nAAEC\r\n--m--\r\n")
        .AddMessage("Subject: multi\nX-Order-ID: lf\n\nOrder: bare LF\nlast line")
        .AddMessage("Subject: cr\rDate: Mon, 2 Feb 2004 01:02:03 -0500\r\rOrder: \rcr lines\r")
        .AddMessage(std::string("Subject: zero\r\n\r\nOrder: a\0b\r\n", 27))
        .AddMessage("Subject: no body\r\nX-Order-ID: h-1\r\n")
        .AddMessage("")
        .AddMessage("\r\nOrder: only a body\r\n")
        .AddMessage("Subject: a/b: c?\r\n Re: folded\r\nSubject: second\r\n\r\nOrder:\r\n")
        .Build();
}

std::vector<TNamingRule> EveryNamingRule() {
    return {
        TNamingRule{TNamingType::Number, "", TNamingPos::Body, TNamingLine::SameLine},
        TNamingRule{TNamingType::Subject, "", TNamingPos::Body, TNamingLine::SameLine},
        TNamingRule{TNamingType::Parameter, "Order:", TNamingPos::Body, TNamingLine::SameLine},
        TNamingRule{TNamingType::Parameter, "Order:", TNamingPos::Body, TNamingLine::NextLine},
        TNamingRule{TNamingType::Parameter, "x-order-id", TNamingPos::Header,
                    TNamingLine::SameLine},
    };
}

TEST(LazyDecoding, EveryNamingRuleWritesWhatFullDecodingWrites) {
    test::TempDir dir;
    const fs::path box = dir / "kinds.dbx";
    std::ofstream(box, std::ios::binary) << EveryBodyKind();
    // The same mailbox again, as a copy: the same file twice is converted once.
    fs::create_directory(dir / "copy");
    fs::copy_file(box, dir / "copy" / "kinds.dbx");
    int round = 0;
    for (const TNamingRule& rule : EveryNamingRule()) {
        for (const bool per_folder : {false, true}) {
            SCOPED_TRACE("rule " + std::to_string(static_cast<int>(rule.type)) + "/" +
                         std::to_string(static_cast<int>(rule.pos)) + "/" +
                         std::to_string(static_cast<int>(rule.line)));
            TConvertJob job;
            // The second time, every name is taken.
            job.sources = {box.string(), (dir / "copy" / "kinds.dbx").string()};
            job.naming = rule;
            job.create_dir = per_folder;
            const std::string n = std::to_string(round++);
            const RunResult eager = RunJob(job, dir / ("eager" + n), true);
            const RunResult lazy = RunJob(job, dir / ("lazy" + n), false);
            ExpectSameRun(lazy, eager);
            EXPECT_EQ(lazy.files.size(), 32u);
            // Only a body parameter needs the body.
            const bool body_needed =
                rule.type == TNamingType::Parameter && rule.pos == TNamingPos::Body;
            EXPECT_EQ(lazy.body_conversions > 0, body_needed) << lazy.body_conversions;
            EXPECT_GT(eager.body_conversions, 0);
        }
    }
}

TEST(LazyDecoding, ConditionsOnTheBodyDecodeItOnceAndSelectTheSame) {
    test::TempDir dir;
    const fs::path box = dir / "kinds.dbx";
    std::ofstream(box, std::ios::binary) << EveryBodyKind();
    // The same mailbox again, as a copy: the same file twice is converted once.
    fs::create_directory(dir / "copy");
    fs::copy_file(box, dir / "copy" / "kinds.dbx");
    TConvertJob job;
    job.sources = {box.string()};
    job.naming.type = TNamingType::Parameter;
    job.naming.param_text = "Order:";
    // Every message that holds "r" anywhere in its decoded header or body.
    job.filter = [](const TBasicMail& mail) {
        return mail.GetBodyText().find('r') != std::string::npos ||
               mail.GetHeaderText().find('r') != std::string::npos;
    };
    const RunResult eager = RunJob(job, dir / "eager", true);
    const RunResult lazy = RunJob(job, dir / "lazy", false);
    ExpectSameRun(lazy, eager);
    EXPECT_GT(lazy.files.size(), 5u);
    EXPECT_LT(lazy.files.size(), 16u);
    // Matched and then named from the body: each body is converted once, as at full decoding.
    EXPECT_EQ(lazy.body_conversions, eager.body_conversions);
}

TEST(LazyDecoding, BodyThatCannotBeConvertedIsWrittenWhenNothingNeedsIt) {
    test::TempDir dir;
    const fs::path box = dir / "box.dbx";
    std::ofstream(box, std::ios::binary)
        << test::DbxBuilder().AddMessage("Subject: s\r\n\r\nOrder: x\r\n").AddMessages(2).Build();
    TConvertJob job;
    job.sources = {box.string()};
    job.naming.type = TNamingType::Subject;
    const RunResult by_subject = RunJob(job, dir / "subject", false, true);
    EXPECT_EQ(by_subject.files.size(), 3u);
    EXPECT_TRUE(by_subject.failures.empty());
    EXPECT_EQ(by_subject.body_conversions, 0);

    job.naming.type = TNamingType::Parameter;
    job.naming.param_text = "Order:";
    const RunResult by_body = RunJob(job, dir / "param", false, true);
    EXPECT_TRUE(by_body.files.empty());
    ASSERT_EQ(by_body.failures.size(), 3u);
    EXPECT_EQ(by_body.failures[0], "0:IEコンポーネントの初期化に失敗しました。(1)");
    EXPECT_EQ(by_body.summary.messages_failed, 3);
}

TEST(LazyDecoding, CorpusMailboxesWriteWhatFullDecodingWrites) {
    const fs::path corpus = BRINDLE_CORPUS_DIR;
    test::TempDir dir;
    // Copies: the reader locks the files it reads, and other tests read the corpus meanwhile.
    std::vector<std::string> sources;
    if (fs::is_directory(corpus)) {
        for (const auto& entry : fs::directory_iterator(corpus)) {
            if (entry.path().extension() == ".dbx") {
                const fs::path copy = dir / entry.path().filename().string();
                fs::copy_file(entry.path(), copy);
                sources.push_back(copy.string());
            }
        }
    }
    if (sources.empty()) {
        GTEST_SKIP() << "real mailboxes not found in " << corpus;
    }
    int round = 0;
    for (const TNamingRule& rule : EveryNamingRule()) {
        TConvertJob job;
        job.sources = sources;
        job.naming = rule;
        job.create_dir = true;
        const std::string n = std::to_string(round++);
        const RunResult eager = RunJob(job, dir / ("eager" + n), true);
        const RunResult lazy = RunJob(job, dir / ("lazy" + n), false);
        ExpectSameRun(lazy, eager);
        EXPECT_FALSE(lazy.files.empty());
    }
}

}  // namespace
}  // namespace brindle
