// brindle-cli run JOB.xml: loads a settings file and runs its job as the main window's convert
// command does: the same checks in the same order with the same messages, then the same run
// that brindle-cli convert performs.
#pragma once

#include "cli/cli_context.hpp"
#include "convert/conversion_job.hpp"
#include "settings/setting_file.hpp"

namespace brindle::cli {

void AddRunCommand(CLI::App& app, CliContext& context);

// The conversion that the job describes, with its conditions as the filter.
TConvertJob ConvertJobFromSettings(const TSettingFile& settings);

}  // namespace brindle::cli
