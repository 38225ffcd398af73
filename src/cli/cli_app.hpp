// The command-line front end: parses the arguments and runs one command.
#pragma once

#include <ostream>

namespace brindle::cli {

// Runs brindle-cli with the given arguments (argv[0] is the program name) and returns its exit
// status. err_is_terminal turns on the progress bar.
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           bool err_is_terminal = false);

}  // namespace brindle::cli
