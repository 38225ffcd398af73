#include <signal.h>
#include <unistd.h>

#include <iostream>

#include "cli/cli_app.hpp"

int main(int argc, char** argv) {
    // A closed pipe is an output error that the command reports, not a silent death.
    ::signal(SIGPIPE, SIG_IGN);
    return brindle::cli::RunCli(argc, argv, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
