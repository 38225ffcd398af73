// Real brindle-cli convert processes, stopped or killed at random moments (seeded, a bounded
// number of rounds): every .eml under its name must be the whole message, whatever ended the
// run, and the stop signals of a closed terminal (SIGHUP) and of Ctrl-\ (SIGQUIT) must end the
// run like SIGTERM, after the message being written.
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
        ++state.names;
        const std::string name = it->path().filename().string();
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
// set its handlers).
pid_t StartCli(const std::vector<std::string>& args, int out_fd = -1) {
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
    pid_t pid = -1;
    const int result =
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    ::setrlimit(RLIMIT_CORE, &previous);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
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

    const int signals[] = {SIGKILL, SIGHUP, SIGKILL, SIGQUIT, SIGKILL, SIGTERM, SIGKILL, SIGINT};
    constexpr int kRounds = 12;
    for (int round = 0; round < kRounds; ++round) {
        const int signal = signals[round % std::size(signals)];
        SCOPED_TRACE("round " + std::to_string(round) + ", signal " + std::to_string(signal));
        const fs::path out = dir / ("out" + std::to_string(round));
        fs::create_directories(out);
        const pid_t pid = StartCli({"convert", "-o", out.string(), mailbox});
        ASSERT_GT(pid, 0);

        // The moment: after a random number of files (at least one for the catchable signals,
        // so that the run has set its handlers) and a random few microseconds more; or at once
        // when a name shows a file shorter than its message.
        // A catchable signal is sent while at least half the messages are still to come: one
        // that comes after the run's last message meets the handlers already put back (the run
        // is over) and ends the process by its default action, which is not what this tests.
        const std::size_t files =
            signal == SIGKILL ? random() % (kMessages - 1) : 1 + random() % (kMessages / 2 - 1);
        int status = 0;
        bool exited = false;
        bool at_once = false;
        for (;;) {
            const FolderState state = Look(out, expected);
            at_once = state.partial_visible && state.names >= 1;
            if (state.names >= files || at_once) {
                break;
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
        } else {
            // Stopped by the user (130), or done before the signal came (0); never killed.
            EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
            EXPECT_TRUE(!WIFEXITED(status) || WEXITSTATUS(status) == 130 ||
                        WEXITSTATUS(status) == 0)
                << WEXITSTATUS(status);
        }
        // Every name holds a whole message: N.eml is message N, byte for byte.
        for (const auto& entry : fs::directory_iterator(out)) {
            const std::string name = entry.path().filename().string();
            ASSERT_EQ(name.substr(name.size() < 4 ? 0 : name.size() - 4), ".eml") << name;
            const int index = std::stoi(name);
            ASSERT_GE(index, 0);
            ASSERT_LT(index, kMessages);
            EXPECT_EQ(ReadAll(entry.path()), expected[static_cast<std::size_t>(index)]) << name;
        }
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
