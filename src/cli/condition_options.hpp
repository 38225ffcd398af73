// The condition options of brindle-cli convert (--where, --ignore-case, --regexp, --all-words)
// and --save-job, kept apart from the conversion options so that convert only has to add them
// and apply them to the job it has built.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_context.hpp"
#include "match/find_type.hpp"
#include "settings/job_xml.hpp"

namespace brindle::cli {

struct ConditionOptions {
    std::vector<std::string> where;  // "[header:|body:|all:]TEXT", UTF-8
    bool ignore_case = false;
    bool regexp = false;
    bool all_words = false;
    std::string save_job;  // job file to write, empty for none
};

void AddConditionOptions(CLI::App& command, ConditionOptions& options);

// The conditions that the --where texts describe, in order. Answers kExitOk, or kExitUsage
// after printing why (a text with no Shift_JIS form, an empty text, an invalid expression).
int BuildConditions(const ConditionOptions& options, std::vector<TFindType>& conditions,
                    CliContext& context);

// Sets the job's conditions from the --where options and writes the job file that --save-job
// asks for. Answers kExitOk, kExitUsage (bad condition text) or kExitFailures (the job file
// could not be written); only kExitOk lets the conversion go on.
int ApplyConditionOptions(const ConditionOptions& options, TJobData& job, CliContext& context);

}  // namespace brindle::cli
