#include "convert/conversion_run.hpp"

#include <cctype>
#include <exception>
#include <filesystem>
#include <utility>

#include "mailbox/dbx_parser.hpp"
#include "message/parsed_mailbox.hpp"
#include "platform/exception.hpp"
#include "platform/file_system.hpp"
#include "platform/report.hpp"

namespace brindle {
namespace {

template <typename F, typename... Args>
void Notify(const F& f, Args&&... args) {
    if (f) {
        f(std::forward<Args>(args)...);
    }
}

std::string WithTrailingSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

std::string ReasonOf(const std::exception& e) {
    const auto* error = dynamic_cast<const Exception*>(&e);
    return error != nullptr ? error->Reason() : std::string();
}

bool IsWindowsPath(std::string_view path) {
    const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                       path[1] == ':' && path[2] == '\\';
    return drive || path.starts_with("\\\\");
}

}  // namespace

std::string SourceFileName(std::string_view path) {
    const std::size_t folder_end =
        IsWindowsPath(path) ? path.find_last_of("\\/") : path.find_last_of('/');
    return std::string(folder_end == std::string_view::npos ? path : path.substr(folder_end + 1));
}

TConvertRun::TConvertRun(TConvertJob job, TConvertEvents events)
    : job_(std::move(job)), events_(std::move(events)) {
    opener_ = [salvage = job_.salvage](const std::string& path) {
        return std::make_unique<TParsedMailbox>(
            std::make_unique<TDBXParser>(std::filesystem::path(path), salvage));
    };
    job_.destination = WithTrailingSlash(std::move(job_.destination));
    job_.naming.param_text = PrepareParamText(job_.naming.param_text, job_.naming.pos);
}

TConvertSummary TConvertRun::Run() {
    if (ran_) {
        return summary_;
    }
    ran_ = true;
    const ScopedThreadReportSink sink(
        [this](const Report& report) { ForwardReport(report.message); });
    Notify(events_.file_count_known, job_.sources.size());
    for (std::size_t i = 0; i < job_.sources.size(); ++i) {
        if (StopRequested()) {
            summary_.stopped = true;
            return summary_;
        }
        if (!ConvertFile(i, job_.sources[i])) {
            summary_.stopped = true;
            return summary_;
        }
    }
    Notify(events_.completed);
    Notify(events_.yield);
    RequestStop();
    return summary_;
}

void TConvertRun::ForwardReport(const std::string& text) {
    if (current_path_ == nullptr) {
        return;
    }
    Warn(*current_path_, current_index_, text);
}

std::string TConvertRun::OutputFolder(const std::string& path) {
    if (!job_.create_dir) {
        return job_.destination;
    }
    naming_state_.running_number = 0;
    std::string stem = std::filesystem::path(SourceFileName(path)).stem().string();
    // A leading dot would hide the folder, and "..dbx" or "...dbx" would leave the stems "."
    // and "..": the destination itself or its parent. The file names' rule keeps it visible.
    if (!stem.empty() && stem.front() == '.') {
        stem.replace(0, 1, "．");
    }
    return WithTrailingSlash(job_.destination + stem);
}

bool TConvertRun::ConvertFile(std::size_t index, const std::string& path) {
    current_path_ = &path;
    current_index_ = -1;
    Notify(events_.file_started, index, path);
    Notify(events_.yield);
    const std::string folder = OutputFolder(path);
    std::unique_ptr<TBasicMailParser> mailbox;
    std::int32_t count = 0;
    try {
        if (job_.create_dir && !CreateDirectories(folder)) {
            throw Exception("フォルダ " + folder + " を作成できません", ErrnoText(errno));
        }
        mailbox = opener_(path);
        count = mailbox->GetMailCount();
        for (const std::string& warning : mailbox->GetWarnings()) {
            Warn(path, -1, warning);
        }
    } catch (const std::exception& e) {
        ++summary_.files_failed;
        Notify(events_.file_failed, path, std::string(e.what()), ReasonOf(e));
        return true;
    }
    // A count below zero would be damaged data; the reader answers what its walk found.
    if (count < 0) {
        count = 0;
    }
    Notify(events_.message_count_known, count);
    for (std::int32_t j = 0; j < count; ++j) {
        if (StopRequested()) {
            return false;
        }
        try {
            ConvertMessage(*mailbox, path, j, folder);
        } catch (const FolderError& e) {
            // The folder is full, read-only or gone: every later message would fail alike, so
            // the file ends here with one report.
            ++summary_.files_failed;
            Notify(events_.file_failed, path, std::string(e.what()), e.Reason());
            return true;
        }
        Notify(events_.message_done, j);
        Notify(events_.yield);
    }
    return true;
}

void TConvertRun::Warn(const std::string& path, std::int32_t index, const std::string& warning) {
    if (index >= 0 && events_.message_warning) {
        events_.message_warning(path, index, warning);
        return;
    }
    const std::string text =
        index >= 0 ? "[" + std::to_string(index) + "] " + warning : std::string(warning);
    // Left unheard by the view, it is dropped: the front end's own sink is not the run's.
    Notify(events_.file_warning, path, text);
}

void TConvertRun::ConvertMessage(TBasicMailParser& mailbox, const std::string& path,
                                 std::int32_t index, const std::string& folder) {
    current_index_ = index;
    struct BetweenMessages {
        std::int32_t& index;
        ~BetweenMessages() { index = -1; }
    } between{current_index_};
    try {
        const std::unique_ptr<TBasicMail> mail = mailbox.GetMail(index);
        ++summary_.messages_read;
        if (job_.filter && !job_.filter(*mail)) {
            return;
        }
        const std::string written = WriteMail(naming_state_, job_.naming, *mail, folder);
        ++summary_.messages_written;
        Notify(events_.message_written, written);
    } catch (const FolderError&) {
        throw;
    } catch (const std::exception& e) {
        ++summary_.messages_failed;
        Notify(events_.message_failed, path, index, std::string(e.what()), ReasonOf(e));
    }
}

}  // namespace brindle
