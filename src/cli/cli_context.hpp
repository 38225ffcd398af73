// What every command of brindle-cli shares: its output streams and the exit status it sets.
#pragma once

#include <ostream>
#include <string>

#include "cli/cli_messages.hpp"

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
inline std::string ExitStatusHelp() {
    return Msg(CliMsg::ExitStatusHelp).Render() + "\n";
}

// A text of the command line's table in the chosen language.
inline std::string Say(CliMsg id, std::vector<TMessageArg> args = {}) {
    return Msg(id, std::move(args)).Render();
}

struct CliContext {
    std::ostream& out;
    std::ostream& err;
    bool err_is_terminal = false;  // progress bars only on a terminal
    int status = kExitOk;

    // Starts a message on standard error: each one begins with the program's name, so that a
    // script's log tells whose it is.
    std::ostream& Error() { return err << "brindle-cli: "; }
};

}  // namespace brindle::cli
