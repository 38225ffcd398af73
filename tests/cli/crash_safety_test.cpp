// Real brindle-cli convert processes, stopped or killed at random moments (seeded, a bounded
// number of rounds): every .eml under its name must be the whole message, whatever ended the
// run, and the stop signals of a closed terminal (SIGHUP) and of Ctrl-\ (SIGQUIT) must end the
// run like SIGTERM, after the message being written. The rounds run once with unnamed files and
// once as on a file system without them (BRINDLE_NO_TMPFILE=1), where the files are written
// under hidden temporary names that the next run into the folder removes. The mbox and Maildir
// forms are killed and stopped the same way: an mbox file is under its name only whole, a
// Maildir's cur/ holds only whole messages, and a run with --update after a kill completes both.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/dbx_builder.hpp"
#include "support/temp_dir.hpp"

extern char** environ;

namespace brindle {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// How many names the folder holds, and whether one of them holds less than its message: the
// moment a run that names its files before they are complete is most exposed.
struct FolderState {
    std::size_t names = 0;
    bool partial_visible = false;
};

FolderState Look(const fs::path& folder, const std::vector<std::string>& expected) {
    FolderState state;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with('.')) {
            continue;  // a temporary, not a message's name
        }
        ++state.names;
        const int index = std::atoi(name.c_str());
        const auto size = fs::file_size(it->path(), error);
        if (!error && index >= 0 && static_cast<std::size_t>(index) < expected.size() &&
            size < expected[static_cast<std::size_t>(index)].size()) {
            state.partial_visible = true;
        }
        error.clear();
    }
    return state;
}

// Starts brindle-cli with its output streams on /dev/null (standard output on out_fd when
// given) and without core dumps (SIGQUIT's default would write one if it came before the run
// set its handlers), with extra_env ("NAME=value") added to this process's environment.
pid_t StartCli(const std::vector<std::string>& args, int out_fd = -1,
               const std::vector<std::string>& extra_env = {}) {
    std::vector<char*> argv;
    std::string program = BRINDLE_CLI_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out_fd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const rlimit no_core{0, 0};
    rlimit previous{};
    ::getrlimit(RLIMIT_CORE, &previous);
    ::setrlimit(RLIMIT_CORE, &no_core);  // inherited by the child
    std::vector<std::string> env_copies = extra_env;
    std::vector<char*> env;
    for (char** var = environ; *var != nullptr; ++var) {
        env.push_back(*var);
    }
    for (std::string& var : env_copies) {
        env.push_back(var.data());
    }
    env.push_back(nullptr);
    pid_t pid = -1;
    const int result =
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), env.data());
    ::setrlimit(RLIMIT_CORE, &previous);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

// Whole messages under their names, temporaries left: what a folder holds after a run.
struct Outcome {
    std::size_t whole = 0;
    std::string partial;  // names showing less (or other) than their message, and their sizes
    std::size_t temporaries = 0;  // hidden names
};

// by_index: N.eml must hold message N, byte for byte; otherwise (a second run into the folder
// numbers on from the names it finds taken) every .eml must hold one of the messages.
Outcome Check(const fs::path& folder, const std::vector<std::string>& expected, bool by_index) {
    const std::set<std::string> any(expected.begin(), expected.end());
    Outcome outcome;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".brindle-") && name.ends_with(".tmp")) {
            ++outcome.temporaries;
            continue;
        }
        const std::string text = ReadAll(entry.path());
        const int index = std::atoi(name.c_str());
        bool whole = name == std::to_string(index) + ".eml";
        if (whole && by_index) {
            whole = index < static_cast<int>(expected.size()) &&
                    text == expected[static_cast<std::size_t>(index)];
        } else if (whole) {
            whole = any.contains(text);
        }
        if (whole) {
            ++outcome.whole;
        } else {
            outcome.partial += name + " (" + std::to_string(text.size()) + " bytes) ";
        }
    }
    return outcome;
}

// The bytes the process has written so far (to any file): how far a run into one mbox file,
// named only at its end, has come.
std::uint64_t BytesWritten(pid_t pid) {
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value && key != "wchar:") {
    }
    return key == "wchar:" ? value : 0;
}

// Whether the process has a handler of its own for signal: /proc's SigCgt mask. A catchable
// signal sent before the run sets its handlers ends the process by the default action, which
// is not what this tests (and a slow start, under a sanitizer, makes that moment long).
bool CatchesSignal(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("SigCgt:")) {
            const std::uint64_t mask = std::stoull(line.substr(7), nullptr, 16);
            return ((mask >> (signal - 1)) & 1u) != 0;
        }
    }
    return false;
}

std::string Lf(const std::string& text) {
    std::string lf;
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (text.compare(pos, 2, "\r\n") != 0) {
            lf += text[pos];
        }
    }
    return lf;
}

// What an mbox file or a Maildir holds after a run: how many whole messages, and anything else.
struct Container {
    bool present = false;
    std::size_t whole = 0;
    std::string malformed;
    std::size_t temporaries = 0;  // hidden names beside the mbox file or in cur/
};

Container CheckContainer(const std::string& format, const fs::path& out,
                         const std::vector<std::string>& expected) {
    Container c;
    const bool mbox = format == "mbox";
    const fs::path folder = mbox ? out : out / "inbox" / "cur";
    std::set<std::string> any;
    for (const std::string& text : expected) {
        any.insert(Lf(text));
    }
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(".brindle-") && name.ends_with(".tmp")) {
            ++c.temporaries;
        } else if (mbox && name != "inbox.mbox" && name != "inbox.dbx") {
            c.malformed += name + " ";
        } else if (!mbox) {
            c.present = true;
            const bool named = name.size() == 20 && name.ends_with(":2,S") &&
                               name.find_first_not_of("0123456789abcdef") == 16;
            if (named && any.contains(ReadAll(it->path()))) {
                ++c.whole;
            } else {
                c.malformed += name + " ";
            }
        }
    }
    if (!mbox) {
        for (const char* sub : {"new", "tmp"}) {
            // A kill while the Maildir is being made may leave some of its folders unmade.
            const fs::path path = out / "inbox" / sub;
            if (fs::exists(path, error) && !fs::is_empty(path, error)) {
                c.malformed += std::string(sub) + "/ ";
            }
        }
        return c;
    }
    // Messages are appended in mailbox order: the file is the first few of them, each a
    // "From " line, its LF bytes and an empty line.
    const std::string text = ReadAll(out / "inbox.mbox");
    c.present = fs::exists(out / "inbox.mbox");
    for (std::size_t pos = 0; pos < text.size(); ++c.whole) {
        const std::size_t body = text.find('\n', pos) + 1;
        const std::string entry =
            c.whole < expected.size() ? Lf(expected[c.whole]) + "\n" : std::string();
        if (entry.empty() || text.compare(pos, 5, "From ") != 0 || body == 0 ||
            text.compare(body, entry.size(), entry) != 0) {
            c.malformed += "inbox.mbox after " + std::to_string(c.whole) + " messages";
            break;
        }
        pos = body + entry.size();
    }
    return c;
}

TEST(ConvertProcess, KilledOrStoppedAtAnyMomentLeavesOnlyWholeFiles) {
    test::TempDir dir;
    std::mt19937 random(20261208);
    // Messages of 32 KB to 512 KB, so that much of a run is spent writing files.
    constexpr int kMessages = 24;
    std::vector<std::string> expected;
    test::DbxBuilder builder;
    for (int i = 0; i < kMessages; ++i) {
        std::string text = "Subject: message " + std::to_string(i) + "\r\n\r\n";
        const std::size_t size = (32u << 10) + random() % (480u << 10);
        while (text.size() < size) {
            text += std::string(76, static_cast<char>('a' + (i + text.size()) % 26)) + "\r\n";
        }
        builder.AddMessage(text);
        expected.push_back(std::move(text));
    }
    const std::string mailbox = (dir / "inbox.dbx").string();
    builder.WriteTo(mailbox);

    std::uint64_t total = 0;
    for (const std::string& text : expected) {
        total += text.size();
    }

    struct Case {
        const char* name;
        std::vector<std::string> env;
        std::string format;
    };
    const Case cases[] = {
        {"unnamed files", {}, "eml"},
        {"no unnamed files", {"BRINDLE_NO_TMPFILE=1"}, "eml"},
        {"mbox", {}, "mbox"},
        {"mbox without unnamed files", {"BRINDLE_NO_TMPFILE=1"}, "mbox"},
        {"Maildir", {}, "maildir"},
        {"Maildir without unnamed files", {"BRINDLE_NO_TMPFILE=1"}, "maildir"},
    };
    const int signals[] = {SIGKILL, SIGHUP, SIGKILL, SIGQUIT, SIGKILL, SIGTERM, SIGKILL, SIGINT};
    constexpr int kRounds = 12;
    for (const Case& c : cases) {
        std::size_t temporaries_left = 0;
        for (int round = 0; round < kRounds; ++round) {
            const int signal = signals[round % std::size(signals)];
            SCOPED_TRACE(std::string(c.name) + ", round " + std::to_string(round) + ", signal " +
                         std::to_string(signal));
            const fs::path out = dir / (c.name + std::to_string(round));
            fs::create_directories(out);
            const bool eml = c.format == "eml";
            std::vector<std::string> args = {"convert", "-o", out.string(), mailbox};
            if (!eml) {
                args.insert(args.begin() + 1, {"--format", c.format});
            }
            const pid_t pid = StartCli(args, -1, c.env);
            ASSERT_GT(pid, 0);

            // The moment: after a random number of files (at least one for the catchable
            // signals, so that the run has set its handlers) and a random few microseconds
            // more; or at once when a name shows a file shorter than its message.
            // A catchable signal is sent while at least half the messages are still to come:
            // one that comes after the run's last message meets the handlers already put back
            // (the run is over) and ends the process by its default action, which is not what
            // this tests. An mbox file shows nothing before its end: there the moment is a
            // number of bytes the run has written.
            const std::size_t files =
                signal == SIGKILL ? random() % (kMessages - 1) : 1 + random() % (kMessages / 2 - 1);
            const std::uint64_t bytes =
                signal == SIGKILL ? random() % total : 1 + random() % (total / 2);
            int status = 0;
            bool exited = false;
            bool at_once = false;
            for (;;) {
                if (signal != SIGKILL && !CatchesSignal(pid, signal)) {
                    // not yet: the run has not set its handlers
                } else if (!eml) {
                    if (BytesWritten(pid) >= bytes) {
                        break;
                    }
                } else {
                    const FolderState state = Look(out, expected);
                    at_once = state.partial_visible && state.names >= 1;
                    if (state.names >= files || at_once) {
                        break;
                    }
                }
                if (::waitpid(pid, &status, WNOHANG) == pid) {
                    exited = true;
                    break;
                }
                ::usleep(100);
            }
            if (!exited) {
                if (!at_once) {
                    ::usleep(random() % 3000);
                }
                ::kill(pid, signal);
                ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            }

            if (signal == SIGKILL) {
                EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0));
            } else if (WIFSIGNALED(status)) {
                // The run's handlers are put back when the run is over: a signal that comes
                // after its last message (reading ahead, the second half can take less than
                // the wait above) ends the process by its default action, with every message
                // already whole.
                EXPECT_EQ(WTERMSIG(status), signal);
                EXPECT_EQ(eml ? Check(out, expected, true).whole
                              : CheckContainer(c.format, out, expected).whole,
                          expected.size());
            } else {
                // Stopped by the user (130), or done before the signal came (0).
                EXPECT_TRUE(WEXITSTATUS(status) == 130 || WEXITSTATUS(status) == 0)
                    << WEXITSTATUS(status);
            }
            if (!eml) {
                // A kill leaves the mbox file whole or not at all; a stop names it with the
                // messages written; a Maildir holds whole messages, however many.
                const Container killed = CheckContainer(c.format, out, expected);
                EXPECT_TRUE(killed.malformed.empty()) << killed.malformed;
                if (signal == SIGKILL && c.format == "mbox" && killed.present) {
                    EXPECT_EQ(killed.whole, expected.size());
                }
                if (signal != SIGKILL) {
                    // A stop names the mbox whatever it holds; a Maildir stopped before its
                    // first message holds none.
                    EXPECT_TRUE(killed.present || c.format == "maildir");
                    EXPECT_EQ(killed.temporaries, 0u);
                }
                if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
                    EXPECT_EQ(killed.whole, expected.size());
                }
                temporaries_left += killed.temporaries;
                if (signal != SIGKILL) {
                    continue;
                }
                // An update after the kill completes the output and clears what it left.
                std::vector<std::string> update = args;
                update.insert(update.begin() + 1, "--update");
                const pid_t again = StartCli(update, -1, c.env);
                ASSERT_GT(again, 0);
                ASSERT_EQ(::waitpid(again, &status, 0), again);
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
                const Container updated = CheckContainer(c.format, out, expected);
                EXPECT_TRUE(updated.malformed.empty()) << updated.malformed;
                EXPECT_EQ(updated.whole, expected.size());
                EXPECT_EQ(updated.temporaries, 0u);
                continue;
            }
            // Every name holds a whole message: N.eml is message N, byte for byte. Only a kill
            // may leave temporaries behind.
            const Outcome killed = Check(out, expected, true);
            EXPECT_TRUE(killed.partial.empty()) << killed.partial;
            if (signal != SIGKILL) {
                EXPECT_EQ(killed.temporaries, 0u);
            }
            temporaries_left += killed.temporaries;
            if (signal != SIGKILL || c.env.empty()) {
                continue;
            }
            // The next run into the folder removes what the killed one left, and writes every
            // message once more beside the files already there.
            const pid_t again = StartCli({"convert", "-o", out.string(), mailbox}, -1, c.env);
            ASSERT_GT(again, 0);
            ASSERT_EQ(::waitpid(again, &status, 0), again);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            const Outcome rerun = Check(out, expected, false);
            EXPECT_TRUE(rerun.partial.empty()) << rerun.partial;
            EXPECT_EQ(rerun.temporaries, 0u);
            EXPECT_EQ(rerun.whole, killed.whole + kMessages);
        }
        // Whether a kill met a temporary depends on timing (slow under ThreadSanitizer): the
        // removal of one a dead process left is checked for certain by the file system's tests.
        RecordProperty(std::string(c.name) + " temporaries", static_cast<int>(temporaries_left));
    }
}

TEST(ConvertProcess, OutputNobodyCanReadEndsWithStatusOne) {
    test::TempDir dir;
    const std::string mailbox = (dir / "inbox.dbx").string();
    test::DbxBuilder().AddMessages(50).WriteTo(mailbox);
    const auto status_of = [](pid_t pid) {
        int status = 0;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    };

    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    EXPECT_EQ(status_of(StartCli({"list", mailbox}, full)), 1);
    fs::create_directories(dir / "out");
    EXPECT_EQ(status_of(StartCli({"convert", "-o", (dir / "out").string(), mailbox}, full)), 1);
    ::close(full);

    // A pipe whose reader has gone: the listing fails with status 1, not with SIGPIPE.
    int pipe_fds[2];
    ASSERT_EQ(::pipe2(pipe_fds, O_CLOEXEC), 0);
    ::close(pipe_fds[0]);
    EXPECT_EQ(status_of(StartCli({"list", mailbox}, pipe_fds[1])), 1);
    ::close(pipe_fds[1]);
}

}  // namespace
}  // namespace brindle
