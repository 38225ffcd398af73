// Runs brindle-cli in-process, the way the command-line tests drive it, and keeps what it
// printed on each stream.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.hpp"

namespace brindle::test {

struct CliOutcome {
    int status = -1;
    std::string out;
    std::string err;
};

// args come after the program name; terminal turns the progress bar on.
inline CliOutcome RunCliWith(const std::vector<std::string>& args, bool terminal = false) {
    std::vector<const char*> argv{"brindle-cli"};
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    std::ostringstream out;
    std::ostringstream err;
    CliOutcome outcome;
    outcome.status = cli::RunCli(static_cast<int>(argv.size()), argv.data(), out, err, terminal);
    outcome.out = out.str();
    outcome.err = err.str();
    return outcome;
}

}  // namespace brindle::test
