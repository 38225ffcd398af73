// brindle-cli run JOB.xml: loads a settings file and runs its job with the checks and the run
// that every front end uses (job/job_setup.hpp), as brindle-cli convert does. Numbers in the
// file outside their range are refused rather than replaced.
#pragma once

#include "cli/cli_context.hpp"

namespace brindle::cli {

void AddRunCommand(CLI::App& app, CliContext& context);

}  // namespace brindle::cli
