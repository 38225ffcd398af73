#include "convert/conversion_run.hpp"

#include <exception>
#include <filesystem>
#include <utility>

#include "mailbox/dbx_parser.hpp"
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

}  // namespace

TConvertRun::TConvertRun(TConvertJob job, TConvertEvents events)
    : job_(std::move(job)), events_(std::move(events)) {
    opener_ = [salvage = job_.salvage](const std::string& path) {
        return std::make_unique<TDBXParser>(std::filesystem::path(path), salvage);
    };
    job_.destination = WithTrailingSlash(std::move(job_.destination));
    job_.naming.param_text = PrepareParamText(job_.naming.param_text, job_.naming.pos);
}

TConvertSummary TConvertRun::Run() {
    if (ran_) {
        return summary_;
    }
    ran_ = true;
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

std::string TConvertRun::OutputFolder(const std::string& path) {
    if (!job_.create_dir) {
        return job_.destination;
    }
    naming_state_.running_number = 0;
    std::string stem = std::filesystem::path(path).stem().string();
    // A leading dot would hide the folder, and "..dbx" or "...dbx" would leave the stems "."
    // and "..": the destination itself or its parent. The file names' rule keeps it visible.
    if (!stem.empty() && stem.front() == '.') {
        stem.replace(0, 1, "．");
    }
    return WithTrailingSlash(job_.destination + stem);
}

bool TConvertRun::ConvertFile(std::size_t index, const std::string& path) {
    Notify(events_.file_started, index, path);
    Notify(events_.yield);
    const std::string folder = OutputFolder(path);
    std::unique_ptr<TBasicMailParser> mailbox;
    std::int32_t count = 0;
    try {
        if (job_.create_dir && !CreateDirectories(folder)) {
            throw Exception("フォルダ " + folder + " を作成できません");
        }
        mailbox = opener_(path);
        count = mailbox->GetMailCount();
        if (const auto* dbx = dynamic_cast<const TDBXParser*>(mailbox.get())) {
            // A damaged index is said once, in words, with what it cost; a header count that
            // merely disagrees with a sound walk is said as such.
            if (!dbx->ReadWarning().empty()) {
                Warn(path, -1, dbx->ReadWarning());
            } else if (dbx->HeaderMessageCount() != count) {
                std::string warning = "ヘッダのメール数 ";
                warning += std::to_string(dbx->HeaderMessageCount());
                warning += " は見つかったメール数 ";
                warning += std::to_string(count);
                warning += " と異なります。見つかったメールをすべて変換します。";
                Warn(path, -1, warning);
            }
        }
    } catch (const std::exception& e) {
        ++summary_.files_failed;
        Notify(events_.file_failed, path, std::string(e.what()));
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
            Notify(events_.file_failed, path, std::string(e.what()));
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
    if (events_.file_warning) {
        events_.file_warning(path, text);
        return;
    }
    RaiseWarning("(" + std::filesystem::path(path).filename().string() + "):" + text);
}

void TConvertRun::ConvertMessage(TBasicMailParser& mailbox, const std::string& path,
                                 std::int32_t index, const std::string& folder) {
    try {
        const std::unique_ptr<TBasicMail> mail = mailbox.GetMail(index);
        ++summary_.messages_read;
        if (auto* dbx = dynamic_cast<TDBXParser*>(&mailbox);
            dbx != nullptr && dbx->EmptyAgainstItsRecord(index)) {
            Warn(path, index,
                 "記録には本文の位置があるのに、本文は空として読まれました。空のメールとして扱いま"
                 "す。");
        }
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
        Notify(events_.message_failed, path, index, std::string(e.what()));
    }
}

}  // namespace brindle
