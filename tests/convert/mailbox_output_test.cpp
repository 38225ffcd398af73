// mbox files and Maildirs as other programs read them: Python's mailbox module reads what the
// run wrote, and every message must be the bytes of its .eml form with LF line ends.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "convert/conversion_run.hpp"
#include "convert/mailbox_writer.hpp"
#include "support/dbx_builder.hpp"
#include "support/file_contents.hpp"
#include "support/temp_dir.hpp"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::DbxBuilder;
using test::ReadFile;

std::string Lf(std::string text) {
    return std::regex_replace(text, std::regex("\r\n"), "\n");
}

// Every message of the containers as Python's mailbox module gives its bytes, sorted; nothing
// when python3 is missing.
std::optional<std::vector<std::string>> ReadByPython(TOutputFormat format,
                                                     const std::vector<fs::path>& containers) {
    if (std::system("python3 -c 'import mailbox' >/dev/null 2>&1") != 0) {
        return std::nullopt;
    }
    std::string command = std::string("python3 -c '") +
                          "import mailbox, sys\n"
                          "for p in sys.argv[1:]:\n"
                          "    box = mailbox." +
                          (format == TOutputFormat::Mbox ? "mbox(p)" : "Maildir(p, factory=None)") +
                          "\n"
                          "    for k in box.keys():\n"
                          "        b = box.get_bytes(k)\n"
                          "        sys.stdout.buffer.write(b\"%d\\n\" % len(b) + b)\n'";
    for (const fs::path& container : containers) {
        command += " '" + container.string() + "'";
    }
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) {
        output.append(buffer, n);
    }
    std::vector<std::string> messages;
    for (std::size_t pos = 0; pos < output.size();) {
        const std::size_t lf = output.find('\n', pos);
        const std::size_t length = std::stoul(output.substr(pos, lf - pos));
        messages.push_back(output.substr(lf + 1, length));
        pos = lf + 1 + length;
    }
    std::sort(messages.begin(), messages.end());
    return messages;
}

TConvertSummary Convert(const fs::path& dbx, const fs::path& out, TOutputFormat format,
                        bool update = false, int stop_after = -1) {
    TConvertJob job;
    job.sources = {dbx.string()};
    job.destination = out.string();
    fs::create_directories(out);
    job.format = format;
    job.update = update;
    job.salvage = true;
    job.filter = [](const TBasicMail& mail) {
        const auto subject = mail.FieldValues("SUBJECT:");
        return subject.empty() || subject.front() != "skip";
    };
    TConvertEvents events;
    TConvertRun* self = nullptr;
    events.message_done = [&](std::int32_t j) {
        if (j + 1 == stop_after) {
            self->RequestStop();
        }
    };
    TConvertRun run(std::move(job), std::move(events));
    self = &run;
    run.SetReadAhead(stop_after < 0);  // a stop then comes exactly after that message
    return run.Run();
}

class MailboxOutput : public ::testing::TestWithParam<TOutputFormat> {
  protected:
    // The containers of box.dbx under out: the mailbox's and its recovered messages'.
    std::vector<fs::path> Containers(const fs::path& out) const {
        if (GetParam() == TOutputFormat::Mbox) {
            return {out / "box.mbox", out / "box" / "recovered.mbox"};
        }
        return {out / "box", out / "box" / "recovered"};
    }
    // Everything written under out, by path.
    static std::map<std::string, std::string> Files(const fs::path& out) {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(out)) {
            if (e.is_regular_file()) {
                files[fs::relative(e.path(), out).string()] = ReadFile(e.path());
            }
        }
        return files;
    }

    test::TempDir dir_;
};

TEST_P(MailboxOutput, PythonReadsEveryMessageAsItsEmlFormWithLfLineEnds) {
    DbxBuilder()
        .AddMessage(
            "From: \"Taro, Y\" (home) <taro@example.jp>\r\nDate: Mon, 2 Jan 2006 15:04:05 "
            "+0900\r\nSubject: a\r\n\r\nFrom here on\r\n>From there\r\n>>From x\r\nFrom\r\n")
        .AddMessage("Subject: no sender and no date\r\n\r\nbody\r\n\r\n\r\n")
        .AddMessage("Subject: skip\r\n\r\nleft out by the condition\r\n")
        .AddMessage("From: jiro@example.jp (Jiro)\r\nSubject: b\r\n\r\nlast line without end")
        .AddMessage("Received: x\r\nSubject: gone\r\n\r\nFrom the deleted\r\n")
        .DeleteMessage(4)
        .HeaderCount(4)
        .WriteTo(dir_ / "box.dbx");
    const TConvertSummary eml = Convert(dir_ / "box.dbx", dir_ / "eml", TOutputFormat::Eml);
    const TConvertSummary summary = Convert(dir_ / "box.dbx", dir_ / "out", GetParam());
    EXPECT_EQ(summary.messages_written, 4);
    EXPECT_EQ(summary.messages_written, eml.messages_written);

    std::vector<std::string> expected;
    for (const auto& [path, bytes] : Files(dir_ / "eml")) {
        expected.push_back(Lf(bytes));
    }
    std::sort(expected.begin(), expected.end());
    const auto read = ReadByPython(GetParam(), Containers(dir_ / "out"));
    if (!read) {
        GTEST_SKIP() << "python3 with its mailbox module is not installed";
    }
    std::vector<std::string> messages = *read;
    if (GetParam() == TOutputFormat::Mbox) {
        for (std::string& m : messages) {
            m = std::regex_replace(m, std::regex("(^|\n)>(>*From )"), "$1$2");
        }
        std::sort(messages.begin(), messages.end());
        const std::string mbox = ReadFile(dir_ / "out" / "box.mbox");
        EXPECT_EQ(mbox.find("From taro@example.jp Mon Jan  2 06:04:05 2006\n"), 0u) << mbox;
        EXPECT_NE(mbox.find("\n\nFrom MAILER-DAEMON Thu Jan  1 00:00:00 1970\n"), mbox.npos);
        EXPECT_NE(mbox.find("\n\nFrom jiro@example.jp "), mbox.npos);
        EXPECT_NE(mbox.find("\n>From here on\n>>From there\n>>>From x\nFrom\n\n"), mbox.npos);
    } else {
        // The file of the dated message carries its date.
        int dated = 0;
        for (const auto& e : fs::directory_iterator(dir_ / "out" / "box" / "cur")) {
            if (ReadFile(e.path()).starts_with("From: \"Taro")) {
                struct stat info {};
                ASSERT_EQ(::stat(e.path().c_str(), &info), 0);
                EXPECT_EQ(info.st_mtime, 1136181845);
                ++dated;
            }
        }
        EXPECT_EQ(dated, 1);
    }
    EXPECT_EQ(messages, expected);
}

TEST_P(MailboxOutput, UpdateAddsOnlyWhatIsNewAndAResumedRunEqualsOneRun) {
    DbxBuilder builder;
    for (int i = 0; i < 30; ++i) {
        // The last five repeat the first five: a message given twice is kept twice.
        const int k = i % 25;
        builder.AddMessage("From: a" + std::to_string(k % 3) + "@example.jp\r\nSubject: s" +
                           std::to_string(k % 4) + "\r\n\r\nFrom " + std::to_string(k) + "\r\n");
    }
    builder.WriteTo(dir_ / "box.dbx");
    const TConvertSummary whole = Convert(dir_ / "box.dbx", dir_ / "whole", GetParam());
    EXPECT_EQ(whole.messages_written, 30);

    const TConvertSummary stopped =
        Convert(dir_ / "box.dbx", dir_ / "resumed", GetParam(), false, 11);
    EXPECT_EQ(stopped.messages_written, 11);
    const TConvertSummary resumed = Convert(dir_ / "box.dbx", dir_ / "resumed", GetParam(), true);
    EXPECT_EQ(resumed.messages_skipped, stopped.messages_written);
    EXPECT_EQ(resumed.messages_written, 30 - stopped.messages_written);
    EXPECT_EQ(Files(dir_ / "resumed"), Files(dir_ / "whole"));

    // Nothing new: nothing written, the mbox file not even replaced.
    struct stat before {};
    ::stat(Containers(dir_ / "whole").front().c_str(), &before);
    const TConvertSummary again = Convert(dir_ / "box.dbx", dir_ / "whole", GetParam(), true);
    EXPECT_EQ(again.messages_skipped, 30);
    EXPECT_EQ(again.messages_written, 0);
    EXPECT_EQ(Files(dir_ / "whole"), Files(dir_ / "resumed"));
    struct stat after {};
    ::stat(Containers(dir_ / "whole").front().c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);

    // Without --update nothing is replaced: a second mbox file, or more files in the Maildir.
    const TConvertSummary twice = Convert(dir_ / "box.dbx", dir_ / "whole", GetParam());
    EXPECT_EQ(twice.messages_written, 30);
    const auto files = Files(dir_ / "whole");
    if (GetParam() == TOutputFormat::Mbox) {
        EXPECT_EQ(files.at("box(0).mbox"), files.at("box.mbox"));
    } else {
        EXPECT_EQ(files.size(), 60u);
    }
}

// The bytes this process has read from files so far (read and pread alike).
std::uint64_t BytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value && key != "rchar:") {
    }
    return value;
}

// Writes the messages into dir/box.mbox, with update, and answers for each whether it was
// found there ('.') or written ('+').
std::string UpdateMbox(const fs::path& dir, const std::vector<std::string>& messages) {
    TMailboxOutput output(TOutputFormat::Mbox, true);
    const std::string folder = (dir / "box/").string();
    output.Open({folder});
    std::string outcome;
    for (const std::string& text : messages) {
        bool already_there = false;
        output.Add(folder, text, &already_there);
        outcome += already_there ? '.' : '+';
    }
    output.Finish();
    return outcome;
}

TEST(MboxUpdate, SkipsExactlyTheMessagesStoredInAnyOrder) {
    // b, c and e have one length, so that they are told apart by their bytes; b and c end
    // with an empty line of their own, and d has none at its end.
    const std::string a = "Subject: a\r\n\r\nFrom here\r\n>From there\r\n";
    const std::string b = "Subject: b\r\n\r\nbody\r\n\r\n";
    const std::string c = "Subject: c\r\n\r\nbody\r\n\r\n";
    const std::string d = "Subject: d\r\n\r\nlast line";
    const std::string e = "Subject: e\r\n\r\nbody\r\n\r\n";
    // Quoting makes f an eighth longer and more.
    std::string f = "Subject: f\n\n";
    while (f.size() < 8000) {
        f += "From x\n";
    }
    struct Case {
        const char* name;
        std::vector<std::string> stored, given;
        const char* outcome;
    };
    const Case cases[] = {
        {"same order", {a, b, c, d}, {a, b, c, d}, "...."},
        {"reversed", {a, b, c, d}, {d, c, b, a}, "...."},
        {"one left out", {a, b, c, d}, {a, c, d}, "..."},
        {"one inserted", {a, b, c, d}, {a, e, b, c, d}, ".+..."},
        {"given twice", {a, b, c}, {a, b, b, c, c}, "..+.+"},
        {"new at the end", {a, b}, {a, b, d, c}, "..++"},
        {"moved to the end", {a, b, c, d}, {b, c, d, a}, "...."},
        {"many quoted lines", {f, a, f}, {f, a, f, f}, "...+"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        UpdateMbox(dir.path(), c.stored);
        const fs::path mbox = dir / "box.mbox";
        const std::string before = ReadFile(mbox);
        struct stat old_info {};
        ASSERT_EQ(::stat(mbox.c_str(), &old_info), 0);

        EXPECT_EQ(UpdateMbox(dir.path(), c.given), c.outcome);
        std::string added;
        for (std::size_t i = 0; i < c.given.size(); ++i) {
            if (c.outcome[i] == '+') {
                added += MboxFromLine(c.given[i]);
                AppendMboxBody(c.given[i], added);
                added += '\n';
            }
        }
        EXPECT_EQ(ReadFile(mbox), before + added);
        struct stat info {};
        ASSERT_EQ(::stat(mbox.c_str(), &info), 0);
        EXPECT_EQ(info.st_ino == old_info.st_ino, added.empty());
    }
}

TEST(MboxUpdate, NothingNewReadsTheStoredFileOnce) {
    test::TempDir dir;
    std::vector<std::string> messages;
    for (int i = 0; i < 600; ++i) {
        std::string text = "Subject: " + std::to_string(i) + "\r\n\r\n";
        while (text.size() < 4000) {
            text += (i % 5 == 0 ? "From a line to quote " : "a line ") + std::to_string(i) + "\r\n";
        }
        messages.push_back(std::move(text));
    }
    UpdateMbox(dir.path(), messages);
    const auto size = fs::file_size(dir / "box.mbox");
    ASSERT_GT(size, 2'000'000u);  // more than the reading's buffer holds

    const std::uint64_t before = BytesRead();
    EXPECT_EQ(UpdateMbox(dir.path(), messages), std::string(messages.size(), '.'));
    const std::uint64_t read = BytesRead() - before;
    EXPECT_GE(read, size);
    EXPECT_LE(read, size + size / 16);
}

INSTANTIATE_TEST_SUITE_P(Formats, MailboxOutput,
                         ::testing::Values(TOutputFormat::Mbox, TOutputFormat::Maildir),
                         [](const auto& info) {
                             return info.param == TOutputFormat::Mbox ? "Mbox" : "Maildir";
                         });

}  // namespace
}  // namespace brindle
