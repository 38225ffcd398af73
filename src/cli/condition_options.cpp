#include "cli/condition_options.hpp"

#include <CLI/CLI.hpp>
#include <string_view>

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
    command
        .add_option("--where", options.where,
                    "Convert only messages containing TEXT; prefix header:, body: or all: "
                    "(the default) chooses where it is looked for. Repeatable: every "
                    "condition must hold")
        ->type_name("[header:|body:|all:]TEXT");
    command.add_flag("--ignore-case", options.ignore_case,
                     "Literal conditions ignore the case of ASCII letters");
    command.add_flag("--regexp", options.regexp, "Conditions are regular expressions");
    command.add_flag("--all-words", options.all_words,
                     "Split each condition at spaces: every word must occur (\"quoted words\" "
                     "may hold spaces)");
    command
        .add_option("--save-job", options.save_job,
                    "Also save the job these options describe as a settings file")
        ->type_name("FILE");
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
            context.err << "--where: Shift_JISにない文字を含むため使えません: "
                        << SanitizeUtf8(where) << "\n";
            return kExitUsage;
        }
        std::vector<TFindType> made =
            MakeFindTypes(*sjis, options.all_words, find_pos, options.ignore_case, options.regexp);
        if (made.empty()) {
            context.err << "--where: 条件の文字列が空です: " << SanitizeUtf8(where) << "\n";
            return kExitUsage;
        }
        conditions.insert(conditions.end(), made.begin(), made.end());
    }
    // An invalid expression would fail every message of the run; refuse it up front.
    if (const auto problem = CheckConditions(conditions)) {
        context.err << "--where: " << problem->message << " " << problem->detail << "\n";
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
    if (PathExists(options.save_job) && !TSettingFile::IsJobFile(options.save_job)) {
        context.err << "--save-job: " << SanitizeUtf8(options.save_job)
                    << " はこのプログラムの設定ファイルではないため、上書きしません。\n";
        return kExitUsage;
    }
    TSettingFile settings;
    StoreJob(settings, job);
    const ScopedReportSink sink(
        [&context](const Report& report) { context.err << report.message << "\n"; });
    return settings.Save(options.save_job) ? kExitOk : kExitFailures;
}

}  // namespace brindle::cli
