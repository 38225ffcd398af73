// brindle-cli convert: options → a TConvertJob → the run, with progress on a terminal, errors as
// the conversion dialog shows them, a summary line, and Ctrl-C / SIGTERM as a stop request.
// RunConvertJob is the part that other commands (a saved job run from a file) share, so that
// a job runs the same way however it was described.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_context.hpp"
#include "convert/conversion_job.hpp"
#include "convert/conversion_run.hpp"

namespace brindle::cli {

// The options of convert as given on the command line (texts in UTF-8).
struct ConvertOptions {
    std::string output;
    std::string naming = "number";  // number | subject | param
    std::string param;
    std::string param_place = "body";  // body | header
    std::string param_line = "same";   // same | next
    bool per_mailbox_folder = false;
    bool salvage = false;
    std::vector<std::string> mailboxes;
};

void AddConvertCommand(CLI::App& app, CliContext& context);

// Fills job from options; answers kExitOk, or kExitUsage after printing why (a parameter text
// with no Shift_JIS form).
int BuildConvertJob(const ConvertOptions& options, TConvertJob& job, CliContext& context);

// Checks and runs the job and answers the exit status: kExitUsage when a check fails (nothing
// is run), kExitStopped after a stop request, kExitFailures when any file or message failed,
// kExitOk otherwise. observer, when given, hears every notification after the command does.
int RunConvertJob(TConvertJob job, CliContext& context, const TConvertEvents& observer = {});

}  // namespace brindle::cli
