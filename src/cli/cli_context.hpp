// What every command of brindle-cli shares: its output streams and the exit status it sets.
#pragma once

#include <ostream>

namespace CLI {
class App;
}

namespace brindle::cli {

// Exit statuses of brindle-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailures = 1;  // some file or message failed
inline constexpr int kExitUsage = 2;     // wrong usage, text without a Shift_JIS form, bad job
inline constexpr int kExitStopped = 130;

// The exit statuses as every command's help lists them.
inline constexpr const char* kExitStatusHelp =
    "Exit status: 0 everything done; 1 some file or message failed; 2 wrong usage, text without "
    "a Shift_JIS form, or a job that fails its checks or cannot be loaded; 130 stopped by "
    "SIGINT, SIGTERM, SIGHUP or SIGQUIT.\n";

struct CliContext {
    std::ostream& out;
    std::ostream& err;
    bool err_is_terminal = false;  // progress bars only on a terminal
    int status = kExitOk;
};

}  // namespace brindle::cli
