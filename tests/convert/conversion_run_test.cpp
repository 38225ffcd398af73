#include "convert/conversion_run.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "convert/fake_mail.hpp"
#include "platform/exception.hpp"
#include "platform/file_system.hpp"
#include "platform/report.hpp"
#include "support/temp_dir.hpp"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::FakeMail;
using test::FakeMailbox;
using test::SubjectMail;

std::vector<FakeMail> Subjects(std::initializer_list<const char*> subjects) {
    std::vector<FakeMail> mails;
    for (const char* s : subjects) {
        mails.push_back(SubjectMail(s));
    }
    return mails;
}

// Runs a job over fake mailboxes keyed by source path, recording every notification.
class RunFixture : public ::testing::Test {
  protected:
    TConvertJob Job(std::vector<std::string> sources, TNamingType type = TNamingType::Subject) {
        TConvertJob job;
        job.sources = std::move(sources);
        job.destination = dir_.path().string();
        job.naming.type = type;
        return job;
    }

    static std::string Reason(const std::string& reason) {
        return reason.empty() ? std::string() : " [" + reason + "]";
    }

    TConvertEvents Recording() {
        TConvertEvents e;
        e.file_count_known = [this](std::size_t n) { Log("files " + std::to_string(n)); };
        e.file_started = [this](std::size_t i, const std::string& p) {
            Log("start " + std::to_string(i) + " " + p);
        };
        e.message_count_known = [this](std::int32_t m) { Log("count " + std::to_string(m)); };
        e.message_done = [this](std::int32_t j) { Log("done " + std::to_string(j)); };
        e.message_written = [this](const std::string& p) {
            written_.push_back(fs::relative(p, dir_.path()).string());
        };
        e.message_failed = [this](const std::string& p, std::int32_t j, const std::string& m,
                                  const std::string& r) {
            Log("message failed " + p + " " + std::to_string(j) + " " + m + Reason(r));
        };
        e.file_failed = [this](const std::string& p, const std::string& m, const std::string& r) {
            Log("file failed " + p + " " + m + Reason(r));
        };
        e.message_warning = [this](const std::string& p, std::int32_t j, const std::string& w) {
            Log("message warning " + p + " " + std::to_string(j) + " " + w);
        };
        e.file_warning = [this](const std::string& p, const std::string& w) {
            Log("file warning " + p + " " + w);
        };
        e.completed = [this] { Log("completed"); };
        e.yield = [this] {
            ++yields_;
            if (stop_at_yield_ == yields_ && run_ != nullptr) {
                run_->RequestStop();
            }
        };
        return e;
    }

    TConvertSummary Run(TConvertJob job) {
        TConvertRun run(std::move(job), Recording());
        run.SetMailboxOpener([this](const std::string& path) -> std::unique_ptr<TBasicMailParser> {
            const auto it = boxes_.find(path);
            if (it == boxes_.end()) {
                throw std::runtime_error("no such mailbox");
            }
            return std::make_unique<FakeMailbox>(it->second);
        });
        run_ = &run;
        const TConvertSummary summary = run.Run();
        EXPECT_TRUE(run.StopRequested());  // set by completion or by the stop itself
        run_ = nullptr;
        return summary;
    }

    void Log(std::string line) { log_.push_back(std::move(line)); }

    test::TempDir dir_;
    std::map<std::string, FakeMailbox> boxes_;
    std::vector<std::string> log_;
    std::vector<std::string> written_;
    int yields_ = 0;
    int stop_at_yield_ = -1;
    TConvertRun* run_ = nullptr;
};

TEST_F(RunFixture, NotifiesInOrderAndWritesEveryAcceptedMessage) {
    boxes_.emplace("a.dbx", FakeMailbox(Subjects({"x", "y"})));
    boxes_.emplace("b.dbx", FakeMailbox(Subjects({"x"})));
    const auto summary = Run(Job({"a.dbx", "b.dbx"}));
    EXPECT_EQ(log_,
              (std::vector<std::string>{"files 2", "start 0 a.dbx", "count 2", "done 0", "done 1",
                                        "start 1 b.dbx", "count 1", "done 0", "completed"}));
    // One yield after each file start, each message and the completion.
    EXPECT_EQ(yields_, 2 + 3 + 1);
    EXPECT_EQ(written_, (std::vector<std::string>{"x.eml", "y.eml", "x(0).eml"}));
    EXPECT_EQ(summary.messages_read, 3);
    EXPECT_EQ(summary.messages_written, 3);
    EXPECT_EQ(summary.messages_failed, 0);
    EXPECT_EQ(summary.files_failed, 0);
    EXPECT_FALSE(summary.stopped);
}

TEST_F(RunFixture, FilterDecidesWhichMessagesAreWritten) {
    boxes_.emplace("a.dbx", FakeMailbox(Subjects({"keep", "drop", "keep"})));
    auto job = Job({"a.dbx"});
    job.filter = [](const TBasicMail& mail) {
        return mail.GetHeaders().Values("SUBJECT:").front() == "keep";
    };
    const auto summary = Run(std::move(job));
    EXPECT_EQ(written_, (std::vector<std::string>{"keep.eml", "keep(0).eml"}));
    EXPECT_EQ(summary.messages_read, 3);
    EXPECT_EQ(summary.messages_written, 2);
}

// Without reading ahead, a stop is honoured before each source file and each message.
TEST_F(RunFixture, StopIsHonouredOnlyAtTheCheckPoints) {
    struct Case {
        int stop_at_yield;
        std::vector<std::string> written;
        std::string last_log;
    };
    // Yields: 1 after "start 0", 2 and 3 after its two messages, 4 after "start 1", 5 after
    // its message.
    const std::vector<Case> cases{
        {1, {}, "count 2"},
        {2, {"0.eml"}, "done 0"},
        {3, {"0.eml", "1.eml"}, "done 1"},
        {4, {"0.eml", "1.eml"}, "count 1"},
        {5, {"0.eml", "1.eml", "2.eml"}, "completed"},  // the stop comes after the last check
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("stop at yield " + std::to_string(c.stop_at_yield));
        test::TempDir fresh;
        boxes_.clear();
        log_.clear();
        written_.clear();
        yields_ = 0;
        boxes_.emplace("a.dbx", FakeMailbox(Subjects({"x", "y"})));
        boxes_.emplace("b.dbx", FakeMailbox(Subjects({"z"})));
        stop_at_yield_ = c.stop_at_yield;
        auto job = Job({"a.dbx", "b.dbx"}, TNamingType::Number);
        job.destination = fresh.path().string();
        TConvertRun run(std::move(job), Recording());
        // One message after the other, so that each stop point is known exactly.
        run.SetReadAhead(false);
        run.SetMailboxOpener([this](const std::string& path) {
            return std::make_unique<FakeMailbox>(boxes_.at(path));
        });
        run_ = &run;
        const auto summary = run.Run();
        run_ = nullptr;
        std::vector<std::string> names;
        for (const auto& w : written_) {
            names.push_back(fs::path(w).filename().string());
        }
        EXPECT_EQ(names, c.written);
        EXPECT_EQ(log_.back(), c.last_log);
        EXPECT_EQ(summary.stopped, c.last_log != "completed");
    }
}

TEST_F(RunFixture, StopBeforeTheRunWritesNothing) {
    boxes_.emplace("a.dbx", FakeMailbox(Subjects({"x"})));
    TConvertRun run(Job({"a.dbx"}), Recording());
    run.SetMailboxOpener(
        [this](const std::string& p) { return std::make_unique<FakeMailbox>(boxes_.at(p)); });
    run.RequestStop();
    EXPECT_TRUE(run.Run().stopped);
    EXPECT_EQ(log_, (std::vector<std::string>{"files 1"}));
    EXPECT_TRUE(fs::is_empty(dir_.path()));
}

TEST_F(RunFixture, DamagedMessageCostsOnlyItself) {
    boxes_.emplace("a.dbx", FakeMailbox(Subjects({"a", "b", "c"})).FailAt(1));
    const auto summary = Run(Job({"a.dbx"}));
    EXPECT_EQ(written_, (std::vector<std::string>{"a.eml", "c.eml"}));
    EXPECT_EQ(log_[4], "message failed a.dbx 1 メールの読み取りに失敗しました。(3)");
    EXPECT_EQ(log_.back(), "completed");
    EXPECT_EQ(summary.messages_read, 2);
    EXPECT_EQ(summary.messages_failed, 1);
    EXPECT_EQ(summary.files_failed, 0);
}

TEST_F(RunFixture, AnyStandardErrorOfAMessageIsCaught) {
    boxes_.emplace("a.dbx", FakeMailbox(Subjects({"a", "boom", "oom", "c"})));
    auto job = Job({"a.dbx"});
    job.filter = [](const TBasicMail& mail) {
        const std::string s = mail.GetHeaders().Values("SUBJECT:").front();
        if (s == "boom") {
            throw std::logic_error("matcher failed");
        }
        if (s == "oom") {
            throw std::bad_alloc();
        }
        return true;
    };
    const auto summary = Run(std::move(job));
    EXPECT_EQ(written_, (std::vector<std::string>{"a.eml", "c.eml"}));
    EXPECT_EQ(summary.messages_failed, 2);
}

TEST_F(RunFixture, UnreadableMailboxCostsThatFileOnly) {
    boxes_.emplace("a.dbx", FakeMailbox(Subjects({"a"})));
    boxes_.emplace("bad.dbx", FakeMailbox(Subjects({"never"})).FailCount());
    boxes_.emplace("c.dbx", FakeMailbox(Subjects({"a"})));
    const auto summary = Run(Job({"a.dbx", "bad.dbx", "missing.dbx", "c.dbx"}));
    EXPECT_EQ(written_, (std::vector<std::string>{"a.eml", "a(0).eml"}));
    EXPECT_NE(std::find(log_.begin(), log_.end(), "file failed bad.dbx ファイルが開けません。"),
              log_.end());
    EXPECT_NE(std::find(log_.begin(), log_.end(), "file failed missing.dbx no such mailbox"),
              log_.end());
    EXPECT_EQ(log_.back(), "completed");
    EXPECT_EQ(summary.files_failed, 2);
    EXPECT_EQ(summary.messages_written, 2);
}

TEST_F(RunFixture, EmptyAndNegativeCountsConvertNothing) {
    boxes_.emplace("empty.dbx", FakeMailbox({}));
    boxes_.emplace("neg.dbx", FakeMailbox(Subjects({"x"})).Count(-5));
    const auto summary = Run(Job({"empty.dbx", "neg.dbx"}));
    EXPECT_EQ(log_, (std::vector<std::string>{"files 2", "start 0 empty.dbx", "count 0",
                                              "start 1 neg.dbx", "count 0", "completed"}));
    EXPECT_TRUE(fs::is_empty(dir_.path()));
    EXPECT_EQ(summary.messages_read, 0);
}

TEST_F(RunFixture, OneFolderPerSourceRestartsNumbering) {
    boxes_.emplace("/x/in.box.dbx", FakeMailbox(Subjects({"a", "b"})));
    boxes_.emplace("/y/sent.dbx", FakeMailbox(Subjects({"c"})));
    auto job = Job({"/x/in.box.dbx", "/y/sent.dbx"}, TNamingType::Number);
    job.create_dir = true;
    Run(std::move(job));
    EXPECT_EQ(written_, (std::vector<std::string>{"in.box/0.eml", "in.box/1.eml", "sent/0.eml"}));
}

TEST_F(RunFixture, SubfoldersStayInsideTheDestinationAndVisible) {
    // "...dbx" less its extension is "..": taken literally it names the destination's parent.
    boxes_.emplace("/x/...dbx", FakeMailbox(Subjects({"a"})));
    boxes_.emplace("/x/..dbx", FakeMailbox(Subjects({"b"})));
    boxes_.emplace("/x/.inbox.dbx", FakeMailbox(Subjects({"c"})));
    const fs::path destination = dir_ / "dest";
    fs::create_directory(destination);
    auto job = Job({"/x/...dbx", "/x/..dbx", "/x/.inbox.dbx"});
    job.destination = destination.string();
    job.create_dir = true;
    const auto summary = Run(std::move(job));
    EXPECT_EQ(summary.messages_written, 3);
    EXPECT_EQ(written_,
              (std::vector<std::string>{"dest/．./a.eml", "dest/．/b.eml", "dest/．inbox/c.eml"}));
}

TEST_F(RunFixture, WithoutFolderPerSourceNumberingContinues) {
    boxes_.emplace("/x/in.dbx", FakeMailbox(Subjects({"a", "b"})));
    boxes_.emplace("/y/sent.dbx", FakeMailbox(Subjects({"c"})));
    Run(Job({"/x/in.dbx", "/y/sent.dbx"}, TNamingType::Number));
    EXPECT_EQ(written_, (std::vector<std::string>{"0.eml", "1.eml", "2.eml"}));
}

TEST_F(RunFixture, SubfolderThatCannotBeMadeFailsItsFile) {
    std::ofstream(dir_ / "in") << "a file where the folder should go";
    boxes_.emplace("in.dbx", FakeMailbox(Subjects({"a"})));
    boxes_.emplace("out.dbx", FakeMailbox(Subjects({"b"})));
    auto job = Job({"in.dbx", "out.dbx"});
    job.create_dir = true;
    const auto summary = Run(std::move(job));
    EXPECT_EQ(written_, (std::vector<std::string>{"out/b.eml"}));
    EXPECT_EQ(summary.files_failed, 1);
    EXPECT_EQ(log_[2].rfind("file failed in.dbx フォルダ ", 0), 0u) << log_[2];
}

TEST_F(RunFixture, WriteErrorFailsTheMessageAndLeavesNothingPartial) {
    std::vector<FakeMail> mails = Subjects({"small"});
    mails.push_back(SubjectMail("big").Text(std::string(1 << 20, 'b') + "\r\n"));
    mails.push_back(SubjectMail("after"));
    boxes_.emplace("a.dbx", FakeMailbox(std::move(mails)));
    // Every write of more than 64 KiB meets an I/O error: that message's error, not the
    // folder's (a full disk ends the mailbox instead, see ConvertDbx).
    ScopedWriteFunction disk([](int fd, const char* data, std::size_t size) -> long {
        if (size > 65536) {
            errno = EIO;
            return -1;
        }
        return static_cast<long>(::write(fd, data, size));
    });
    const auto summary = Run(Job({"a.dbx"}));
    EXPECT_EQ(written_, (std::vector<std::string>{"small.eml", "after.eml"}));
    EXPECT_FALSE(fs::exists(dir_ / "big.eml"));
    EXPECT_EQ(summary.messages_failed, 1);
    EXPECT_EQ(summary.messages_written, 2);
}

TEST_F(RunFixture, WarningsOnAWorkerThreadTravelThroughTheRunsEvents) {
    boxes_.emplace("a.dbx", FakeMailbox(Subjects({"x", "y"})).WarnAt(1, "w1"));
    std::vector<Report> heard_here;
    const ScopedReportSink sink([&](const Report& r) { heard_here.push_back(r); });
    TConvertSummary summary;
    std::thread worker([&] { summary = Run(Job({"a.dbx"})); });
    worker.join();
    EXPECT_EQ(summary.messages_written, 2);
    EXPECT_EQ(std::count(log_.begin(), log_.end(), "message warning a.dbx 1 w1"), 1);
    EXPECT_TRUE(heard_here.empty());
    // Raised outside any run, a warning still reaches this thread's sink.
    RaiseWarning("outside");
    EXPECT_EQ(heard_here.size(), 1u);
}

TEST(SourceFileName, WindowsPathsEndTheirFolderAtTheLastBackslash) {
    EXPECT_EQ(SourceFileName("C:\\Documents and Settings\\a\\Inbox.dbx"), "Inbox.dbx");
    EXPECT_EQ(SourceFileName("d:\\mail/Sent.dbx"), "Sent.dbx");
    EXPECT_EQ(SourceFileName("\\\\server\\share\\Outbox.dbx"), "Outbox.dbx");
    // A native path: a backslash is part of a name.
    EXPECT_EQ(SourceFileName("/home/u/a\\b.dbx"), "a\\b.dbx");
    EXPECT_EQ(SourceFileName("C:x\\y.dbx"), "C:x\\y.dbx");
    EXPECT_EQ(SourceFileName("plain.dbx"), "plain.dbx");
}

TEST_F(RunFixture, RunsOnlyOnce) {
    boxes_.emplace("a.dbx", FakeMailbox(Subjects({"x"})));
    TConvertRun run(Job({"a.dbx"}), Recording());
    run.SetMailboxOpener(
        [this](const std::string& p) { return std::make_unique<FakeMailbox>(boxes_.at(p)); });
    EXPECT_EQ(run.Run().messages_written, 1);
    EXPECT_EQ(run.Run().messages_written, 1);
    EXPECT_TRUE(fs::exists(dir_ / "x.eml"));
    EXPECT_FALSE(fs::exists(dir_ / "x(0).eml"));
}

// A mailbox that warns while it reads a message (as a header value that fails to decode does),
// fails the messages listed in `bad`, and counts the messages it was asked for.
class CountingMailbox : public TBasicMailParser {
  public:
    CountingMailbox(std::int32_t count, std::set<std::int32_t> bad, std::atomic<int>& reads)
        : count_(count), bad_(std::move(bad)), reads_(reads) {}
    std::int32_t GetMailCount() override { return count_; }
    std::unique_ptr<TBasicMail> GetMail(std::int32_t index) override {
        ++reads_;
        RaiseWarning("read " + std::to_string(index));
        if (bad_.count(index) != 0) {
            throw Exception("bad " + std::to_string(index));
        }
        return std::make_unique<FakeMail>(SubjectMail("m" + std::to_string(index)));
    }

  private:
    std::int32_t count_;
    std::set<std::int32_t> bad_;
    std::atomic<int>& reads_;
};

// Messages are read ahead on another thread: the warnings of reading each message, its
// failure or its file, and its "done" still come in the order of one message after the other,
// and the filter sees every message once.
TEST_F(RunFixture, ReadingAheadKeepsEveryReportInMessageOrder) {
    std::atomic<int> reads{0};
    std::vector<std::string> filtered;
    auto job = Job({"a.dbx"});
    job.filter = [&filtered](const TBasicMail& mail) {
        const std::string subject = mail.GetHeaders().Values("SUBJECT:").front();
        filtered.push_back(subject);
        return subject != "m3";
    };
    TConvertEvents events = Recording();
    events.message_written = [this](const std::string& p) {
        Log("written " + fs::path(p).filename().string());
    };
    TConvertRun run(std::move(job), std::move(events));
    run.SetReadAhead(true);
    run.SetMailboxOpener([&reads](const std::string&) {
        return std::make_unique<CountingMailbox>(60, std::set<std::int32_t>{1, 40}, reads);
    });
    // The reports of the reading thread arrive as the run's message warnings, in their place.
    const TConvertSummary summary = run.Run();

    std::vector<std::string> expected{"files 1", "start 0 a.dbx", "count 60"};
    for (int j = 0; j < 60; ++j) {
        const std::string n = std::to_string(j);
        expected.push_back("message warning a.dbx " + n + " read " + n);
        if (j == 1 || j == 40) {
            expected.push_back("message failed a.dbx " + n + " bad " + n);
        } else if (j != 3) {
            expected.push_back("written m" + n + ".eml");
        }
        expected.push_back("done " + n);
    }
    expected.push_back("completed");
    EXPECT_EQ(log_, expected);
    EXPECT_EQ(filtered.size(), 58u);
    EXPECT_EQ(reads.load(), 60);
    EXPECT_EQ(summary.messages_read, 58);
    EXPECT_EQ(summary.messages_written, 57);
    EXPECT_EQ(summary.messages_failed, 2);
}

// A message whose body warns when it is read, or cannot be converted.
class BodyMail : public FakeMail {
  public:
    BodyMail(std::string warning, bool fails) : warning_(std::move(warning)), fails_(fails) {
        Body({"Order: " + warning_});
    }
    const Lines& GetBodyLines() const override {
        RaiseWarning("body " + warning_);
        if (fails_) {
            throw Exception("no body " + warning_);
        }
        return FakeMail::GetBodyLines();
    }

  private:
    std::string warning_;
    bool fails_;
};

// Read ahead and named by a body parameter, each file is prepared on the reading thread: what
// reading the body for the name raises (a warning, a failure) still comes in the message's
// place, and the files get the names of naming one message after the other.
TEST_F(RunFixture, FilesPreparedAheadReportAndAreNamedInMessageOrder) {
    class BodyMailbox : public TBasicMailParser {
      public:
        std::int32_t GetMailCount() override { return 30; }
        std::unique_ptr<TBasicMail> GetMail(std::int32_t j) override {
            return std::make_unique<BodyMail>(j % 3 == 0 ? "same" : std::to_string(j),
                                              j == 7 || j == 20);
        }
    };
    auto job = Job({"a.dbx"}, TNamingType::Parameter);
    job.naming.param_text = "Order: ";
    TConvertEvents events = Recording();
    events.message_written = [this](const std::string& p) {
        Log("written " + fs::path(p).filename().string());
    };
    TConvertRun run(std::move(job), std::move(events));
    run.SetReadAhead(true);
    run.SetMailboxOpener([](const std::string&) { return std::make_unique<BodyMailbox>(); });
    const TConvertSummary summary = run.Run();

    std::vector<std::string> expected{"files 1", "start 0 a.dbx", "count 30"};
    int same = 0;
    for (int j = 0; j < 30; ++j) {
        const std::string name = j % 3 == 0 ? "same" : std::to_string(j);
        expected.push_back("message warning a.dbx " + std::to_string(j) + " body " + name);
        if (j == 7 || j == 20) {
            expected.push_back("message failed a.dbx " + std::to_string(j) + " no body " + name);
        } else if (j % 3 != 0) {
            expected.push_back("written " + name + ".eml");
        } else {
            expected.push_back(same == 0 ? "written same.eml"
                                         : "written same(" + std::to_string(same - 1) + ").eml");
            ++same;
        }
        expected.push_back("done " + std::to_string(j));
    }
    expected.push_back("completed");
    EXPECT_EQ(log_, expected);
    EXPECT_EQ(summary.messages_written, 28);
    EXPECT_EQ(summary.messages_failed, 2);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 28);
}

// Read ahead, a stop ends the reading: every message read before it is written, reported and
// counted, and none after it is read. What is read past the stop's check point is at most what
// the writing stage took (8), the queue refilled (8) and the one being read.
TEST_F(RunFixture, StopWritesEveryMessageReadBeforeItAndReadsNoMore) {
    std::atomic<int> reads{0};
    TConvertRun run(Job({"a.dbx"}, TNamingType::Number), Recording());
    run.SetReadAhead(true);
    run.SetMailboxOpener([&reads](const std::string&) {
        return std::make_unique<CountingMailbox>(1000, std::set<std::int32_t>{}, reads);
    });
    stop_at_yield_ = 3;  // after "start 0" and the first two messages
    run_ = &run;
    const TConvertSummary summary = run.Run();
    run_ = nullptr;
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(summary.messages_read, reads.load());
    EXPECT_EQ(summary.messages_written, reads.load());
    EXPECT_EQ(
        std::count_if(log_.begin(), log_.end(),
                      [](const std::string& line) { return line.starts_with("message warning"); }),
        reads.load());
    EXPECT_EQ(log_.back(), "done " + std::to_string(reads.load() - 1));
    EXPECT_GE(reads.load(), 2);
    EXPECT_LE(reads.load(), 2 + 17);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()),
              reads.load());
}

}  // namespace
}  // namespace brindle
