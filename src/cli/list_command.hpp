// brindle-cli list: what each mailbox holds, without writing anything.
#pragma once

#include "cli/cli_context.hpp"

namespace brindle::cli {

void AddListCommand(CLI::App& app, CliContext& context);

}  // namespace brindle::cli
