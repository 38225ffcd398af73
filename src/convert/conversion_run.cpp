#include "convert/conversion_run.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "mailbox/dbx_parser.hpp"
#include "message/parsed_mailbox.hpp"
#include "platform/core_messages.hpp"
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

// Where a mailbox's recovered (deleted) messages go, inside its output folder.
constexpr const char* kRecoveredFolder = "recovered/";

std::string ReasonOf(const std::exception& e) {
    const auto* error = dynamic_cast<const Exception*>(&e);
    return error != nullptr ? error->Reason() : std::string();
}

// A source's folder that cannot be made in the destination for one of these reasons, or
// because the destination is no folder (CreateDirectories makes it when it can), says that the
// destination holds no folder at all. A file in the way of this one folder is its source's alone.
bool IsDestinationError(int error, const std::string& destination) {
    return error == EACCES || error == EPERM || error == EROFS || error == ENOSPC ||
           error == EDQUOT || !DirectoryExists(destination);
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

// One message as the reading stage hands it to the writing stage.
struct TConvertRun::ReadMessage {
    std::unique_ptr<TBasicMail> mail;  // kept only when the filter accepted it
    // Its file, waiting to be written and named; declared after the mail, whose text it
    // refers to, so that it goes first.
    std::unique_ptr<TPreparedMail> prepared;
    bool read = false;       // delivered by the mailbox
    bool recovered = false;  // rebuilt from a deleted message's blocks
    bool accepted = false;
    // Read but not filtered: the writing stage filters it with a filter of its own.
    bool filter_pending = false;
    std::exception_ptr failure;           // of reading, filtering or preparing: its error
    std::vector<Report> read_reports;     // raised while it was read
    std::vector<Report> filter_reports;   // raised while it was filtered
    std::vector<Report> prepare_reports;  // raised while its file was prepared
    std::size_t bytes = 0;                // of its text, for the bound of the queue
};

// Reads, parses and filters message j and prepares its file (opening it with open_file),
// keeping what it raises for the run to pass on. With leave_filter, the message is only read:
// the writing stage filters and prepares it.
TConvertRun::ReadMessage TConvertRun::ReadOne(TBasicMailParser& mailbox, const TMailFilter& filter,
                                              const TNamingRule& rule, const std::string& folder,
                                              std::int32_t j, bool open_file, bool leave_filter) {
    ReadMessage message;
    try {
        {
            const ScopedReportCapture capture(message.read_reports);
            message.recovered = mailbox.GetOrigin(j) == TMessageOrigin::Recovered;
            message.mail = mailbox.GetMail(j);
        }
        message.read = true;
        if (leave_filter) {
            message.filter_pending = true;
            message.bytes = message.mail->GetText().size();
            return message;
        }
        {
            const ScopedReportCapture capture(message.filter_reports);
            message.accepted = !filter || filter(*message.mail);
        }
        if (message.accepted) {
            const ScopedReportCapture capture(message.prepare_reports);
            message.prepared = std::make_unique<TPreparedMail>(
                rule, *message.mail, message.recovered ? folder + kRecoveredFolder : folder,
                open_file);
        }
    } catch (...) {
        message.failure = std::current_exception();
    }
    if (!message.accepted) {
        message.mail.reset();
    }
    message.bytes = message.mail ? message.mail->GetText().size() : 0;
    return message;
}

// The reading stage: reads, parses and filters the messages of one mailbox in index order on a
// thread of its own, a few messages ahead of the writing stage, and prepares their files (the
// unnamed file opened while the writing stage has work waiting), which the writing stage then
// writes and names. Reading and parsing are the program's own work, creating files is the
// kernel's: on two cores the two overlap, and the file system's share is split between them.
// The queue holds at most kMaxQueued messages and kMaxQueuedBytes of text (a longer message
// still passes, alone), and the writing stage takes it whole, so memory stays bounded whatever
// the mailbox. The mailbox and the filter are used by this thread only while it runs. A stop
// request is read by this stage before each message: what it read before is handed over whole
// and written, nothing after is read. The destructor stops it and waits for it (when the writing
// stage ends early, files opened ahead vanish unnamed).
class TConvertRun::ReadAhead {
  public:
    // open_files: whether the reading stage may open the messages' files ahead (not when most
    // messages are expected to be found already written). share_filtering: whether the writing
    // stage has a filter of its own, so that this stage leaves it every third message.
    ReadAhead(TBasicMailParser& mailbox, const TMailFilter& filter, const TNamingRule& rule,
              const std::string& folder, std::int32_t count, const std::atomic<bool>& stop,
              bool open_files, bool share_filtering)
        : mailbox_(mailbox),
          filter_(filter),
          rule_(rule),
          folder_(folder),
          stop_(stop),
          open_files_(open_files),
          share_filtering_(share_filtering),
          thread_([this, count] { Work(count); }) {}
    ~ReadAhead() {
        {
            const std::lock_guard lock(mutex_);
            cancelled_ = true;
        }
        drained_.notify_one();
        thread_.join();
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next message in index order; waits for it. `remaining` counts it and those after it.
    // Nothing once the reading has stopped and every message it read has been taken.
    std::optional<ReadMessage> Next(std::int32_t remaining) {
        if (taken_.empty()) {
            // Everything queued is taken at once, under one lock: the two stages then rarely
            // contend for it.
            std::unique_lock lock(mutex_);
            if (queue_.empty()) {
                // Woken for a few messages at a time rather than for each one: every wake-up
                // is a system call on each side.
                wanted_ = std::min<std::size_t>(kBatch, static_cast<std::size_t>(remaining));
                consumer_waiting_ = true;
                filled_.wait(lock, [this] {
                    return stopped_ || queue_.size() >= wanted_ ||
                           (!queue_.empty() && producer_waiting_);
                });
                consumer_waiting_ = false;
                if (queue_.empty()) {
                    return std::nullopt;  // stopped
                }
            }
            taken_.swap(queue_);
            queued_bytes_ = 0;
            for (ReadMessage& done : done_) {
                to_free_.push_back(std::move(done));
            }
            done_.clear();
            const bool wake = producer_waiting_;
            lock.unlock();
            if (wake) {
                drained_.notify_one();
            }
        }
        ReadMessage message = std::move(taken_.front());
        taken_.pop_front();
        return message;
    }

    // Takes back a message the writing stage is done with. Its memory came from the reading
    // thread's allocator, and freeing it there is much cheaper than from this thread (glibc
    // then locks that thread's arena against it): it goes back with the next hand-over. A long
    // message is freed here at once, so that it never lives on beside the next one.
    void Recycle(ReadMessage message) {
        if (message.bytes < kMaxRecycledBytes) {
            done_.push_back(std::move(message));
        }
    }

  private:
    // The writing stage holds what it took besides: at most twice these, and one message more.
    static constexpr std::size_t kMaxQueued = 8;
    static constexpr std::size_t kBatch = 4;
    static constexpr std::size_t kMaxQueuedBytes = std::size_t{8} << 20;
    static constexpr std::size_t kMaxRecycledBytes = std::size_t{1} << 20;

    bool Fits(std::size_t bytes) const {
        return queue_.empty() ||
               (queue_.size() < kMaxQueued && queued_bytes_ + bytes <= kMaxQueuedBytes);
    }

    void Work(std::int32_t count) {
        for (std::int32_t j = 0; j < count; ++j) {
            bool writer_idle = false;
            {
                std::unique_lock lock(mutex_);
                if (cancelled_) {
                    return;
                }
                if (stop_.load(std::memory_order_relaxed)) {
                    stopped_ = true;
                    const bool wake = consumer_waiting_;
                    lock.unlock();
                    if (wake) {
                        filled_.notify_one();
                    }
                    return;
                }
                writer_idle = consumer_waiting_;
            }
            // Opening the file is work either stage can do: this one does it unless the writing
            // stage is waiting for it (conditions that decode every body make reading the
            // slower stage).
            // Conditions that decode every body make reading the slower stage by far; the
            // writing stage, whose own work is about half again of what reading and parsing
            // cost, takes a third of the filtering so that both finish together.
            ReadMessage message =
                ReadOne(mailbox_, filter_, rule_, folder_, j, open_files_ && !writer_idle,
                        share_filtering_ && j % 3 == 2);
            std::unique_lock lock(mutex_);
            if (!cancelled_ && !Fits(message.bytes)) {
                // Full: the writing stage is woken to take what there is, and this one waits
                // until it has.
                producer_waiting_ = true;
                if (consumer_waiting_) {
                    filled_.notify_one();
                }
                drained_.wait(lock, [&] { return cancelled_ || Fits(message.bytes); });
                producer_waiting_ = false;
            }
            freeing_.swap(to_free_);
            if (cancelled_) {
                return;
            }
            queued_bytes_ += message.bytes;
            queue_.push_back(std::move(message));
            const bool wake = consumer_waiting_ && queue_.size() >= wanted_;
            lock.unlock();
            if (wake) {
                filled_.notify_one();
            }
            freeing_.clear();
        }
    }

    TBasicMailParser& mailbox_;
    const TMailFilter& filter_;
    const TNamingRule& rule_;
    const std::string& folder_;
    const std::atomic<bool>& stop_;
    const bool open_files_;
    const bool share_filtering_;
    std::mutex mutex_;
    std::condition_variable filled_;   // the writing stage waits here for messages
    std::condition_variable drained_;  // the reading stage waits here for room
    std::deque<ReadMessage> queue_;
    std::size_t queued_bytes_ = 0;
    std::deque<ReadMessage> taken_;     // the writing stage's own: no lock
    std::vector<ReadMessage> done_;     // the writing stage's own: no lock
    std::vector<ReadMessage> to_free_;  // handed back, for the reading thread to free
    std::vector<ReadMessage> freeing_;  // the reading stage's own: no lock
    std::size_t wanted_ = 1;
    bool consumer_waiting_ = false;
    bool producer_waiting_ = false;
    bool cancelled_ = false;
    bool stopped_ = false;  // the reading ended on a stop request
    std::thread thread_;    // last: it starts once everything it uses exists
};

TConvertRun::TConvertRun(TConvertJob job, TConvertEvents events)
    : job_(std::move(job)), events_(std::move(events)) {
    opener_ = [salvage = job_.salvage](const std::string& path) {
        return std::make_unique<TParsedMailbox>(
            std::make_unique<TDBXParser>(std::filesystem::path(path), salvage));
    };
    job_.destination = WithTrailingSlash(std::move(job_.destination));
    job_.naming.param_text = PrepareParamText(job_.naming.param_text, job_.naming.pos);
    if (job_.format != TOutputFormat::Eml) {
        job_.naming = TNamingRule();  // messages in an mbox file or a Maildir have no names
        outputs_ = std::make_unique<TMailboxOutput>(job_.format, job_.update);
    }
}

TConvertSummary TConvertRun::Run() {
    if (ran_) {
        return summary_;
    }
    ran_ = true;
    if (read_ahead_ && job_.filter && job_.make_filter) {
        writer_filter_ = job_.make_filter();
    }
    const ScopedThreadReportSink sink(
        [this](const Report& report) { ForwardReport(report.message); });
    Notify(events_.file_count_known, job_.sources.size());
    for (std::size_t i = 0; i < job_.sources.size(); ++i) {
        if (StopRequested()) {
            summary_.stopped = true;
            return summary_;
        }
        if (!ConvertFile(i, job_.sources[i])) {
            if (folder_failed_) {
                summary_.files_skipped = static_cast<std::int64_t>(job_.sources.size() - i - 1);
                RequestStop();
            } else {
                summary_.stopped = true;
            }
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
    if (!job_.create_dir && !outputs_) {
        return job_.destination;
    }
    naming_state_.running_number = 0;
    // A mailbox of a store folder goes where the store's folder list showed it.
    const std::string store = std::filesystem::path(path).parent_path().string();
    auto tree = store_trees_.find(store);
    if (tree == store_trees_.end()) {
        std::string problem;
        tree = store_trees_.emplace(store, TStoreTree::ForMailbox(path, &problem)).first;
        if (!problem.empty()) {
            Warn(path, -1, Msg(CoreMsg::RunFolderListUnreadable, {{"problem", problem}}).Render());
        }
    }
    if (const auto folder = tree->second.FolderOf(SourceFileName(path))) {
        return WithTrailingSlash(job_.destination + *folder);
    }
    std::string stem = std::filesystem::path(SourceFileName(path)).stem().string();
    // A leading dot would hide the folder, and "..dbx" or "...dbx" would leave the stems "."
    // and "..": the destination itself or its parent. The file names' rule keeps it visible.
    if (!stem.empty() && stem.front() == '.') {
        stem.replace(0, 1, "．");
    }
    return WithTrailingSlash(job_.destination + stem);
}

bool TConvertRun::SeenBefore(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;  // opening it says why
    }
    const auto [it, first] = seen_files_.try_emplace(
        {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)}, path);
    if (first) {
        return false;
    }
    Warn(path, -1, Msg(CoreMsg::RunAlreadyConverted, {{"path", it->second}}).Render());
    return true;
}

bool TConvertRun::ConvertFile(std::size_t index, const std::string& path) {
    current_path_ = &path;
    current_index_ = -1;
    Notify(events_.file_started, index, path);
    Notify(events_.yield);
    if (SeenBefore(path)) {
        Notify(events_.message_count_known, 0);
        return true;
    }
    const std::string folder = OutputFolder(path);
    std::unique_ptr<TBasicMailParser> mailbox;
    std::int32_t count = 0;
    std::int32_t recovered = 0;
    try {
        if (job_.create_dir && !outputs_ && !CreateDirectories(folder)) {
            const int error = errno;
            TMessage message = Msg(CoreMsg::FolderCannotCreate, {{"path", folder}});
            // Every source's folder is made in the destination: one it cannot hold, none.
            if (IsDestinationError(error, job_.destination)) {
                throw FolderError(std::move(message), ErrnoText(error));
            }
            throw Exception(std::move(message), ErrnoText(error));
        }
        mailbox = opener_(path);
        count = mailbox->GetMailCount();
        for (const std::string& warning : mailbox->GetWarnings()) {
            Warn(path, -1, warning);
        }
        // Recovered messages come after the others.
        while (recovered < count &&
               mailbox->GetOrigin(count - 1 - recovered) == TMessageOrigin::Recovered) {
            ++recovered;
        }
        if (outputs_) {
            std::vector<std::string> folders{folder};
            if (recovered > 0) {
                folders.push_back(folder + kRecoveredFolder);
            }
            outputs_->Open(folders);
        } else if (recovered > 0 && !CreateDirectories(folder + kRecoveredFolder)) {
            const int error = errno;
            throw Exception(Msg(CoreMsg::FolderCannotCreate, {{"path", folder + kRecoveredFolder}}),
                            ErrnoText(error));
        }
    } catch (const FolderError& e) {
        ++summary_.files_failed;
        folder_failed_ = true;
        summary_.folder_error = e.Reason().empty() ? std::string(e.what()) : e.Reason();
        Notify(events_.file_failed, path, std::string(e.what()), e.Reason());
        return false;
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
    const MessagesEnd end = ConvertMessages(*mailbox, path, folder, count);
    if (outputs_ && !FinishOutputs(path, end)) {
        return false;
    }
    switch (end) {
        case MessagesEnd::Stopped:
        case MessagesEnd::FolderFailed:
            return false;
        case MessagesEnd::FileFailed:
            return true;
        case MessagesEnd::Done:
            break;
    }
    if (const std::int32_t missing = mailbox->GetMissingCount(); missing > 0) {
        const std::int32_t found = count - recovered;
        ++summary_.files_failed;
        summary_.messages_lost += missing;
        Notify(events_.file_failed, path,
               Msg(CoreMsg::RunMessagesLost, {{"expected", std::to_string(found + missing)},
                                              {"found", std::to_string(found)},
                                              {"missing", std::to_string(missing)}})
                   .Render(),
               std::string());
    }
    return true;
}

TConvertRun::MessagesEnd TConvertRun::ConvertMessages(TBasicMailParser& mailbox,
                                                      const std::string& path,
                                                      const std::string& folder,
                                                      std::int32_t count) {
    if (count == 0) {
        return MessagesEnd::Done;
    }
    // Destroyed (stopped and joined) before the mailbox it reads.
    std::optional<ReadAhead> reader;
    if (read_ahead_) {
        reader.emplace(mailbox, job_.filter, job_.naming, folder, count, stop_, OpenFilesAhead(),
                       job_.filter && writer_filter_);
    }
    for (std::int32_t j = 0; j < count; ++j) {
        // Reading ahead, the reading stage honours the stop; every message it read before is
        // still written here.
        std::optional<ReadMessage> next;
        if (reader) {
            next = reader->Next(count - j);
        } else if (!StopRequested()) {
            next = ReadOne(mailbox, job_.filter, job_.naming, folder, j, OpenFilesAhead());
        }
        if (!next) {
            return MessagesEnd::Stopped;
        }
        ReadMessage& message = *next;
        try {
            ConvertMessage(message, path, j, folder);
        } catch (const FolderError& e) {
            // The folder is full, read-only or gone: every later message would fail alike, and
            // so would every later source, whose folder is this one or lies beside it in the
            // destination; the run ends here with one report.
            // This message and the rest of the file are never written: they count as lost, as
            // the rest of a file whose reading failed does.
            ++summary_.files_failed;
            summary_.messages_lost += count - j;
            summary_.messages_unwritten += count - j;
            folder_failed_ = true;
            summary_.folder_error = e.Reason().empty() ? std::string(e.what()) : e.Reason();
            Notify(events_.file_failed, path, std::string(e.what()), e.Reason());
            return MessagesEnd::FolderFailed;
        } catch (const MailboxError& e) {
            // The file itself failed or changed: nothing it delivers now can be trusted, and
            // this message and the rest of the file are not converted.
            ++summary_.files_failed;
            summary_.messages_lost += count - j;
            Notify(events_.file_failed, path, std::string(e.what()), e.Reason());
            return MessagesEnd::FileFailed;
        }
        // The message is gone (or handed back to be freed) before the front end hears it is done.
        if (reader) {
            reader->Recycle(std::move(message));
        } else {
            message = ReadMessage();
        }
        Notify(events_.message_done, j);
        Notify(events_.yield);
    }
    return MessagesEnd::Done;
}

bool TConvertRun::OpenFilesAhead() const {
    // An update expects most files to be there already; mbox files and Maildirs are written
    // by the writing stage alone.
    return !job_.update && !outputs_;
}

bool TConvertRun::FinishOutputs(const std::string& path, MessagesEnd end) {
    const std::int64_t unnamed = outputs_->Unnamed();
    try {
        outputs_->Finish();
        return true;
    } catch (const std::exception& e) {
        // The messages of a file that never got its name are not on disk.
        summary_.messages_written -= unnamed;
        summary_.messages_lost += unnamed;
        if (end == MessagesEnd::Done || end == MessagesEnd::Stopped) {
            ++summary_.files_failed;  // not yet counted for this mailbox
        }
        Notify(events_.file_failed, path, std::string(e.what()), ReasonOf(e));
        const auto* folder_error = dynamic_cast<const FolderError*>(&e);
        if (folder_error == nullptr) {
            return true;
        }
        summary_.messages_unwritten += unnamed;
        if (!folder_failed_) {
            folder_failed_ = true;
            summary_.folder_error =
                folder_error->Reason().empty() ? std::string(e.what()) : folder_error->Reason();
        }
        return false;
    }
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

void TConvertRun::ConvertMessage(ReadMessage& message, const std::string& path, std::int32_t index,
                                 const std::string& folder) {
    // Reports raised while the message was read and filtered come where reading and filtering
    // it used to raise them: as this message's warnings.
    current_index_ = index;
    struct BetweenMessages {
        std::int32_t& index;
        ~BetweenMessages() { index = -1; }
    } between{current_index_};
    for (const Report& report : message.read_reports) {
        RaiseReport(report);
    }
    try {
        if (message.read) {
            ++summary_.messages_read;
        }
        if (message.filter_pending) {
            // Filtered and prepared here, its reports raised as they come: in the order the
            // reading stage would have kept them.
            message.accepted = writer_filter_(*message.mail);
            if (message.accepted) {
                message.prepared = std::make_unique<TPreparedMail>(
                    job_.naming, *message.mail,
                    message.recovered ? folder + kRecoveredFolder : folder, OpenFilesAhead());
            }
        }
        for (const Report& report : message.filter_reports) {
            RaiseReport(report);
        }
        for (const Report& report : message.prepare_reports) {
            RaiseReport(report);
        }
        if (message.failure) {
            std::rethrow_exception(message.failure);
        }
        if (!message.accepted) {
            return;
        }
        bool already_there = false;
        const std::string target = message.recovered ? folder + kRecoveredFolder : folder;
        const std::string written =
            outputs_ ? outputs_->Add(target, message.prepared->Text(), &already_there)
                     : NameMail(naming_state_, job_.naming, *message.prepared, target,
                                job_.update ? &already_there : nullptr);
        if (already_there) {
            ++summary_.messages_skipped;
            return;
        }
        ++summary_.messages_written;
        Notify(events_.message_written, written);
    } catch (const FolderError&) {
        throw;
    } catch (const MailboxError&) {
        throw;
    } catch (const std::exception& e) {
        ++summary_.messages_failed;
        Notify(events_.message_failed, path, index, std::string(e.what()), ReasonOf(e));
    }
}

}  // namespace brindle
