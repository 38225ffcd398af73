// brindle-cli convert: options → a TConvertJob → the run, with progress on a terminal, errors as
// the conversion dialog shows them, a summary line, and Ctrl-C / SIGTERM as a stop request.
// RunConvertJob is the part that other commands (a saved job run from a file) share, so that
// a job runs the same way however it was described.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_context.hpp"
#include "cli/condition_options.hpp"
#include "convert/conversion_job.hpp"
#include "convert/conversion_run.hpp"
#include "settings/job_xml.hpp"

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
    bool update = false;
    std::string format = "eml";  // eml | mbox | maildir
    std::vector<std::string> mailboxes;
    // Whether the naming options were given at all (they have defaults).
    bool naming_given = false;
    bool param_given = false;
    bool param_place_given = false;
    bool param_line_given = false;
};

void AddConvertCommand(CLI::App& app, CliContext& context);

// Why an option given does nothing together with the others (a --param without --naming
// param, a condition flag without --where, --ignore-case with --regexp, naming or a folder per
// mailbox with --format mbox or maildir), or nothing.
std::optional<std::string> UselessOption(const ConvertOptions& options,
                                         const ConditionOptions& conditions);

// The paths made absolute, each folder among them replaced by the mailboxes it holds (sorted by
// name); the folder's other files are skipped with one note each on standard error.
std::vector<std::string> ExpandFolders(const std::vector<std::string>& paths, CliContext& context);

// Fills job from options, paths made absolute (the form a saved job holds, so that it runs
// the same from any folder) and a mailbox given twice listed once. Answers kExitOk, or
// kExitUsage after printing why (a parameter text with no Shift_JIS form).
int BuildConvertJob(const ConvertOptions& options, TJobData& job, CliContext& context);

// Checks the job as every front end does (job/job_setup.hpp) and runs it: kExitUsage after
// printing the first problem (nothing is run), otherwise what RunConvertJob answers. With
// salvage each mailbox is also scanned for messages that its index does not list; with update
// the messages already in the destination are not written again. The output format is no
// part of a saved job (a job file stays one that every version of the program reads).
int RunJob(const TJobData& job, CliContext& context, bool salvage = false, bool update = false,
           TOutputFormat format = TOutputFormat::Eml);

// Runs a checked job and answers the exit status: kExitStopped after a stop request,
// kExitFailures when any file or message failed, kExitOk otherwise. observer, when given,
// hears every notification after the command does.
int RunConvertJob(TConvertJob job, CliContext& context, const TConvertEvents& observer = {});

}  // namespace brindle::cli
