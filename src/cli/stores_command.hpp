// brindle-cli stores: the Outlook Express stores found on this machine, one line each:
// "<folder>\t<n> mailboxes\t<size>".
#pragma once

#include "cli/cli_context.hpp"

namespace brindle::cli {

void AddStoresCommand(CLI::App& app, CliContext& context);

}  // namespace brindle::cli
