#include "cli/condition_options.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <string_view>

#include "cli/arguments.hpp"
#include "job/job_setup.hpp"
#include "platform/file_system.hpp"
#include "platform/report.hpp"
#include "platform/text_encoding.hpp"
#include "settings/condition_entry.hpp"
#include "settings/setting_file.hpp"

namespace brindle::cli {
namespace {

struct ScopePrefix {
    std::string_view prefix;
    std::uint8_t find_pos;
};

constexpr ScopePrefix kScopePrefixes[] = {
    {"header:", kFindPosHeader},
    {"body:", kFindPosBody},
    {"all:", kFindPosAll},
};

}  // namespace

void AddConditionOptions(CLI::App& command, ConditionOptions& options) {
    // One value per use: a mailbox after --where TEXT is a mailbox, never a second condition.
    Verbatim(command.add_option("--where", options.where, Say(CliMsg::WhereOption)))
        ->type_name("[header:|body:|all:]TEXT")
        ->expected(1)
        ->allow_extra_args(false)
        ->take_all();
    command.add_flag("--ignore-case", options.ignore_case, Say(CliMsg::IgnoreCaseOption));
    command.add_flag("--regexp", options.regexp, Say(CliMsg::RegexpOption));
    command.add_flag("--all-words", options.all_words, Say(CliMsg::AllWordsOption));
    Verbatim(command.add_option("--save-job", options.save_job, Say(CliMsg::SaveJobOption)))
        ->type_name("JOB.xml");
}

int BuildConditions(const ConditionOptions& options, std::vector<TFindType>& conditions,
                    CliContext& context) {
    for (const std::string& where : options.where) {
        std::string_view text = where;
        std::uint8_t find_pos = kFindPosAll;
        for (const ScopePrefix& scope : kScopePrefixes) {
            if (text.starts_with(scope.prefix)) {
                text.remove_prefix(scope.prefix.size());
                find_pos = scope.find_pos;
                break;
            }
        }
        const auto sjis = Utf8ToCp932(text);
        if (!sjis) {
            context.Error() << Say(CliMsg::NotShiftJis,
                                   {{"option", "--where"}, {"text", SanitizeUtf8(where)}})
                            << "\n";
            return kExitUsage;
        }
        std::vector<TFindType> made =
            MakeFindTypes(*sjis, options.all_words, find_pos, options.ignore_case, options.regexp);
        if (made.empty()) {
            context.Error() << Say(CliMsg::WhereEmpty, {{"text", SanitizeUtf8(where)}}) << "\n";
            return kExitUsage;
        }
        // Equal conditions are kept once, as the condition dialog keeps them.
        for (TFindType& condition : made) {
            if (std::find(conditions.begin(), conditions.end(), condition) == conditions.end()) {
                conditions.push_back(std::move(condition));
            }
        }
    }
    // An invalid expression would fail every message of the run; refuse it up front.
    if (const auto problem = CheckConditions(conditions)) {
        context.Error() << "--where: " << problem->message << " " << problem->detail << "\n";
        return kExitUsage;
    }
    return kExitOk;
}

int ApplyConditionOptions(const ConditionOptions& options, TJobData& job, CliContext& context) {
    if (const int status = BuildConditions(options, job.ConditionList, context);
        status != kExitOk) {
        return status;
    }
    if (options.save_job.empty()) {
        return kExitOk;
    }
    // The option names a file to write, not one to pick: a typo or a swapped argument must not
    // turn a mailbox or any other file into a job file.
    if (const auto refusal = TSettingFile::ReplaceRefusal(options.save_job)) {
        context.Error() << "--save-job: " << refusal->Render() << "\n";
        return kExitUsage;
    }
    TSettingFile settings;
    StoreJob(settings, job);
    const ScopedReportSink sink(
        [&context](const Report& report) { context.Error() << report.message << "\n"; });
    return settings.Save(options.save_job) ? kExitOk : kExitFailures;
}

}  // namespace brindle::cli
