#include "cli/convert_command.hpp"

#include <signal.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <utility>

#include "cli/arguments.hpp"
#include "cli/condition_options.hpp"
#include "job/job_setup.hpp"
#include "mailbox/store_folder.hpp"
#include "platform/exception.hpp"
#include "platform/file_system.hpp"
#include "platform/text_encoding.hpp"

namespace brindle::cli {
namespace {

// The run that SIGINT, SIGTERM, SIGHUP (a closed terminal or SSH session) and SIGQUIT stop. The
// handler sets the run's own flag, so a signal that comes while a mailbox is opened or a message
// written is seen at the very next check point.
std::atomic<TConvertRun*> g_signalled_run{nullptr};
static_assert(std::atomic<TConvertRun*>::is_always_lock_free);

extern "C" void OnStopSignal(int /*signal*/) {
    if (TConvertRun* run = g_signalled_run.load()) {
        run->RequestStop();
    }
}

// Routes the stop signals to the run's stop flag for its lifetime, then puts back what was
// there.
class StopSignalScope {
  public:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

    explicit StopSignalScope(TConvertRun& run) {
        g_signalled_run.store(&run);
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        // Reads and writes in progress go on; the stop is taken at the run's next check.
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kSignals); ++i) {
            sigaction(kSignals[i], &action, &previous_[i]);
        }
    }
    ~StopSignalScope() {
        for (std::size_t i = 0; i < std::size(kSignals); ++i) {
            sigaction(kSignals[i], &previous_[i], nullptr);
        }
        g_signalled_run.store(nullptr);
    }
    StopSignalScope(const StopSignalScope&) = delete;
    StopSignalScope& operator=(const StopSignalScope&) = delete;

  private:
    struct sigaction previous_[std::size(kSignals)]{};
};

std::string AbsolutePath(const std::string& path) {
    if (path.empty()) {
        return path;
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

std::string FileName(const std::string& path) {
    return SourceFileName(path);
}

}  // namespace

std::vector<std::string> ExpandFolders(const std::vector<std::string>& paths, CliContext& context) {
    std::vector<std::string> files;
    for (const std::string& given : paths) {
        const std::string path = AbsolutePath(given);
        if (!DirectoryExists(path)) {
            files.push_back(path);
            continue;
        }
        try {
            const TStoreFolder store = ScanStoreFolder(path);
            files.insert(files.end(), store.mailboxes.begin(), store.mailboxes.end());
            for (const TStoreFolder::Skipped& skipped : store.skipped) {
                context.Error() << Say(CliMsg::NotAMailboxSkipped,
                                       {{"name", SanitizeUtf8(FileName(skipped.path))},
                                        {"why", skipped.what}})
                                << "\n";
            }
        } catch (const Exception& e) {
            // Left in the list, the folder fails as the file it is not, with the reason.
            context.Error() << e.what() << " " << e.Reason() << "\n";
            files.push_back(path);
        }
    }
    return files;
}

namespace {

std::string SummaryText(const TConvertSummary& summary) {
    const std::string separator = Say(CliMsg::SummaryClauseSeparator);
    std::string messages =
        Say(CliMsg::SummaryMessages, {{"read", std::to_string(summary.messages_read)},
                                      {"written", std::to_string(summary.messages_written)},
                                      {"failed", std::to_string(summary.messages_failed)}});
    if (summary.messages_skipped > 0) {
        messages += separator + Say(CliMsg::SummarySkipped,
                                    {{"skipped", std::to_string(summary.messages_skipped)}});
    }
    if (summary.messages_lost > 0) {
        messages +=
            separator + Say(CliMsg::SummaryLost, {{"lost", std::to_string(summary.messages_lost)}});
    }
    std::string files =
        Say(CliMsg::SummaryFiles, {{"files", std::to_string(summary.files_failed)}});
    if (summary.files_skipped > 0) {
        // Never begun: an error of the output folder ended the run.
        files += separator + Say(CliMsg::SummaryFilesSkipped,
                                 {{"files", std::to_string(summary.files_skipped)}});
    }
    return Say(CliMsg::SummaryLine, {{"messages", messages}, {"files", files}});
}

// Shows progress as one line on standard error, redrawn in place. Nothing is drawn unless
// standard error is a terminal.
class ProgressLine {
  public:
    explicit ProgressLine(CliContext& context) : context_(context) {}

    void File(std::size_t index, std::size_t count, const std::string& path) {
        file_text_ = "[" + std::to_string(index + 1) + "/" + std::to_string(count) + "] " +
                     SanitizeUtf8(FileName(path));
        messages_ = 0;
        done_ = 0;
        Draw(true);
    }
    void Messages(std::int32_t count) {
        messages_ = count;
        Draw(true);
    }
    void Done(std::int32_t index) {
        done_ = index + 1;
        Draw(done_ == messages_);
    }
    // Clears the line so that a message can be printed; the next update draws it again.
    void Clear() {
        if (context_.err_is_terminal && shown_) {
            context_.err << "\r\x1b[K";
            shown_ = false;
        }
    }

  private:
    static constexpr int kBarWidth = 30;

    void Draw(bool force) {
        if (!context_.err_is_terminal) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - last_draw_ < std::chrono::milliseconds(100)) {
            return;
        }
        last_draw_ = now;
        const int filled =
            messages_ > 0 ? static_cast<int>(static_cast<long long>(done_) * kBarWidth / messages_)
                          : 0;
        context_.err << "\r\x1b[K" << file_text_ << " [" << std::string(filled, '#')
                     << std::string(kBarWidth - filled, '-') << "] " << done_ << "/" << messages_
                     << std::flush;
        shown_ = true;
    }

    CliContext& context_;
    std::string file_text_;
    std::int32_t messages_ = 0;
    std::int32_t done_ = 0;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_draw_{};
};

template <typename F, typename... Args>
void Forward(const F& f, Args&&... args) {
    if (f) {
        f(std::forward<Args>(args)...);
    }
}

}  // namespace

int BuildConvertJob(const ConvertOptions& options, TJobData& job, CliContext& context) {
    for (const std::string& path : ExpandFolders(options.mailboxes, context)) {
        if (std::find(job.InportPath.begin(), job.InportPath.end(), path) == job.InportPath.end()) {
            job.InportPath.push_back(path);
        }
    }
    job.ExportPath = AbsolutePath(options.output);
    job.CreateDir = options.per_mailbox_folder;
    job.NamingType = options.naming == "subject" ? TNamingType::Subject
                     : options.naming == "param" ? TNamingType::Parameter
                                                 : TNamingType::Number;
    TFindParam& param = job.NamingTypeParameter;
    param.NamingPos = options.param_place == "header" ? TNamingPos::Header : TNamingPos::Body;
    param.NamingLine = options.param_line == "next" ? TNamingLine::NextLine : TNamingLine::SameLine;
    const auto text = Utf8ToCp932(options.param);
    if (!text) {
        context.Error() << Say(CliMsg::NotShiftJis,
                               {{"option", "--param"}, {"text", SanitizeUtf8(options.param)}})
                        << "\n";
        return kExitUsage;
    }
    param.ParamText = *text;
    return kExitOk;
}

int RunJob(const TJobData& job, CliContext& context, bool salvage, bool update,
           TOutputFormat format) {
    if (const auto problem = CheckJob(job)) {
        context.Error() << problem->message;
        if (!problem->detail.empty()) {
            context.err << " " << problem->detail;
        }
        context.err << "\n";
        return kExitUsage;
    }
    TConvertJob run = MakeConvertJob(job);
    run.salvage = salvage;
    run.update = update;
    run.format = format;
    return RunConvertJob(std::move(run), context);
}

int RunConvertJob(TConvertJob job, CliContext& context, const TConvertEvents& observer) {
    ProgressLine progress(context);
    const std::size_t file_count = job.sources.size();
    TConvertEvents events;
    events.file_count_known = [&](std::size_t n) { Forward(observer.file_count_known, n); };
    events.file_started = [&](std::size_t i, const std::string& path) {
        progress.File(i, file_count, path);
        Forward(observer.file_started, i, path);
    };
    events.message_count_known = [&](std::int32_t m) {
        progress.Messages(m);
        Forward(observer.message_count_known, m);
    };
    events.message_done = [&](std::int32_t j) {
        progress.Done(j);
        Forward(observer.message_done, j);
    };
    events.message_written = [&](const std::string& path) {
        Forward(observer.message_written, path);
    };
    events.message_failed = [&](const std::string& path, std::int32_t j, const std::string& e,
                                const std::string& reason) {
        progress.Clear();
        context.Error() << "(" << SanitizeUtf8(FileName(path)) << "):[" << j << "] " << e;
        if (!reason.empty()) {
            context.err << " (" << reason << ")";
        }
        context.err << "\n";
        Forward(observer.message_failed, path, j, e, reason);
    };
    // The program's text first, as the conversion dialog shows it; then the whole path and the
    // system's reason, which a window has no room for.
    events.file_failed = [&](const std::string& path, const std::string& e,
                             const std::string& reason) {
        progress.Clear();
        context.Error() << "(" << SanitizeUtf8(FileName(path)) << "):" << e << " "
                        << SanitizeUtf8(path);
        if (!reason.empty()) {
            context.err << ": " << reason;
        }
        context.err << "\n";
        Forward(observer.file_failed, path, e, reason);
    };
    events.file_warning = [&](const std::string& path, const std::string& w) {
        progress.Clear();
        context.Error() << Say(CliMsg::FileWarning,
                               {{"name", SanitizeUtf8(FileName(path))}, {"warning", w}})
                        << "\n";
        Forward(observer.file_warning, path, w);
    };
    events.message_warning = [&](const std::string& path, std::int32_t j, const std::string& w) {
        progress.Clear();
        context.Error() << Say(CliMsg::MessageWarning, {{"name", SanitizeUtf8(FileName(path))},
                                                        {"index", std::to_string(j)},
                                                        {"warning", w}})
                        << "\n";
        Forward(observer.message_warning, path, j, w);
    };
    events.completed = [&] { Forward(observer.completed); };
    events.yield = [&] { Forward(observer.yield); };

    TConvertSummary summary;
    // Reading and parsing overlap the creation of the files (the run reads ahead by default);
    // the observer's events still come on this thread, in order.
    TConvertRun run(std::move(job), std::move(events));
    {
        const StopSignalScope signals(run);
        summary = run.Run();
    }
    progress.Clear();
    if (summary.stopped) {
        context.Error() << Say(CliMsg::Aborted) << "\n";
    }
    context.out << SummaryText(summary) << "\n";
    if (summary.stopped) {
        return kExitStopped;
    }
    return summary.messages_failed > 0 || summary.files_failed > 0 || summary.messages_lost > 0
               ? kExitFailures
               : kExitOk;
}

std::optional<std::string> UselessOption(const ConvertOptions& options,
                                         const ConditionOptions& conditions) {
    if (options.format != "eml") {
        for (const auto& [given, name] :
             {std::pair{options.naming_given, "--naming"},
              std::pair{options.per_mailbox_folder, "--per-mailbox-folder"}}) {
            if (given) {
                return Say(CliMsg::OptionOnlyWithEml, {{"option", name}});
            }
        }
    }
    if (options.naming != "param") {
        for (const auto& [given, name] : {std::pair{options.param_given, "--param"},
                                          std::pair{options.param_place_given, "--param-place"},
                                          std::pair{options.param_line_given, "--param-line"}}) {
            if (given) {
                return Say(CliMsg::ParamOptionOnlyWithParam, {{"option", name}});
            }
        }
    }
    if (conditions.where.empty()) {
        for (const auto& [given, name] : {std::pair{conditions.ignore_case, "--ignore-case"},
                                          std::pair{conditions.regexp, "--regexp"},
                                          std::pair{conditions.all_words, "--all-words"}}) {
            if (given) {
                return Say(CliMsg::ConditionFlagWithoutWhere, {{"option", name}});
            }
        }
    }
    if (conditions.ignore_case && conditions.regexp) {
        return Say(CliMsg::IgnoreCaseWithRegexp);
    }
    return std::nullopt;
}

void AddConvertCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* sub = app.add_subcommand("convert", Say(CliMsg::ConvertDescription));
    sub->footer(ExitStatusHelp());
    Verbatim(sub->add_option("-o,--output", options->output, Say(CliMsg::OutputOption)))
        ->type_name("DIR")
        ->required();
    CLI::Option* naming =
        Verbatim(sub->add_option("--naming", options->naming, Say(CliMsg::NamingOption)));
    naming->check(CLI::IsMember({"number", "subject", "param"}))->capture_default_str();
    CLI::Option* param =
        Verbatim(sub->add_option("--param", options->param, Say(CliMsg::ParamOption)));
    param->type_name("TEXT");
    CLI::Option* place = Verbatim(
        sub->add_option("--param-place", options->param_place, Say(CliMsg::ParamPlaceOption)));
    place->check(CLI::IsMember({"body", "header"}))->capture_default_str();
    CLI::Option* line = Verbatim(
        sub->add_option("--param-line", options->param_line, Say(CliMsg::ParamLineOption)));
    line->check(CLI::IsMember({"same", "next"}))->capture_default_str();
    sub->add_flag("--per-mailbox-folder", options->per_mailbox_folder,
                  Say(CliMsg::PerMailboxFolderOption));
    sub->add_flag("--update", options->update, Say(CliMsg::UpdateOption));
    Verbatim(sub->add_option("--format", options->format, Say(CliMsg::FormatOption)))
        ->check(CLI::IsMember({"eml", "mbox", "maildir"}))
        ->capture_default_str();
    sub->add_flag("--salvage", options->salvage, Say(CliMsg::SalvageOption));
    Verbatim(
        sub->add_option("mailboxes", options->mailboxes, Say(CliMsg::ConvertMailboxesArgument)))
        ->type_name("MAILBOX.dbx")
        ->required();
    auto conditions = std::make_shared<ConditionOptions>();
    AddConditionOptions(*sub, *conditions);
    sub->callback([options, conditions, naming, param, place, line, &context] {
        options->naming_given = naming->count() > 0;
        options->param_given = param->count() > 0;
        options->param_place_given = place->count() > 0;
        options->param_line_given = line->count() > 0;
        if (const auto useless = UselessOption(*options, *conditions)) {
            context.Error() << *useless << "\n";
            context.status = kExitUsage;
            return;
        }
        TJobData job;
        context.status = BuildConvertJob(*options, job, context);
        if (context.status == kExitOk) {
            context.status = ApplyConditionOptions(*conditions, job, context);
        }
        if (context.status == kExitOk) {
            const TOutputFormat format = options->format == "mbox"      ? TOutputFormat::Mbox
                                         : options->format == "maildir" ? TOutputFormat::Maildir
                                                                        : TOutputFormat::Eml;
            context.status = RunJob(job, context, options->salvage, options->update, format);
        }
    });
}

}  // namespace brindle::cli
