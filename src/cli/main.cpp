#include <unistd.h>

#include <iostream>

#include "cli/cli_app.hpp"

int main(int argc, char** argv) {
    return brindle::cli::RunCli(argc, argv, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
