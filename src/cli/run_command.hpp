// brindle-cli run JOB.xml: loads a settings file and runs its job as the main window's convert
// command does: the same checks in the same order with the same messages, then the same run
// that brindle-cli convert performs.
#pragma once

#include "cli/cli_context.hpp"

namespace brindle::cli {

void AddRunCommand(CLI::App& app, CliContext& context);

}  // namespace brindle::cli
