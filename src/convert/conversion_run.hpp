// One conversion run: every message of every source mailbox that the filter accepts is named
// and written. The run knows no window: it tells its view what happens through TConvertEvents
// (the dialog moves its progress bars, the command line prints) and is stopped through
// RequestStop, which any thread or a signal handler may call. The stop is honoured only before
// a source file and before a message is read: every message read before the stop (and accepted)
// is written whole and counted, no message after it is read, and a message whose reading or
// writing has begun is always finished.
//
// Threads: a run belongs to the thread that calls Run; every notification is called on that
// thread, in the order given below, and returns before the run goes on (a front end with a
// window posts them on to its own thread). RequestStop and StopRequested are the only members
// that another thread (or a signal handler) may call while Run is in progress. For as long as
// Run lasts, the run installs a thread reporting sink (platform/report.hpp) on its thread:
// every warning the core raises there during the run arrives as file_warning or
// message_warning, never at the process sink that the front end installed; a warning whose
// notification is left empty is dropped.
//
// By default (SetReadAhead) each mailbox is read, parsed and filtered a few messages ahead on a
// second thread, which also opens their unnamed files, while this one writes and names them; the
// events, the reports and the names are those of doing one message after the other. That thread
// reads the stop request before each message: a stop then costs the writing of up to 17
// messages already read. The filter is called on that thread, one message at a time; with a
// job that can make a second filter (make_filter), this thread filters every third message with
// it. The mailbox opener's readers are used by the reading thread only.
//
// Failures cost as little as possible: a message that cannot be read, parsed, matched, named
// or written is reported with its index and the run goes on with the next message; a mailbox
// that cannot be opened or is no mail folder is reported and the run goes on with the next
// mailbox. Both guards catch Exception and any std::exception. An error of the output folder
// itself (full, over quota, read-only, not writable, gone; with a folder per source, also a
// destination that cannot hold the source's folder) ends the whole run with one report instead
// of one per remaining message and source: every output folder is the destination or lies in
// it, so every later source would meet the same error; the sources never begun are counted
// (files_skipped). An error of the mailbox file itself (a read error of the disk, a file that
// changes while it is read: MailboxError) ends that mailbox with one report, its remaining
// messages counted as lost, and the run goes on. A mailbox whose header promises more messages than
// its reading delivered is reported after its messages, the difference counted as lost. Messages
// that a mailbox recovered from deleted blocks go to the subfolder "recovered" of its output
// folder. A mailbox given twice (the same file under another path or link) is converted once.
// With one folder per mailbox, a mailbox of a store folder that has a folder list goes into the
// folder the store showed it in, nested as there (convert/store_tree.hpp).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "convert/conversion_job.hpp"
#include "convert/mail_writer.hpp"
#include "convert/mailbox_writer.hpp"
#include "convert/store_tree.hpp"
#include "model/basic_mail.hpp"

namespace brindle {

// Notifications of the run, in the order they come. Any of them may be left empty.
struct TConvertEvents {
    std::function<void(std::size_t file_count)> file_count_known;
    std::function<void(std::size_t index, const std::string& path)> file_started;
    std::function<void(std::int32_t message_count)> message_count_known;
    std::function<void(std::int32_t index)> message_done;
    std::function<void(const std::string& written_path)> message_written;
    // error is the program's text, as a message box shows it; reason, often empty, what the
    // system said (strerror's text, "locked by another program"), for a view with room for it.
    std::function<void(const std::string& path, std::int32_t index, const std::string& error,
                       const std::string& reason)>
        message_failed;
    std::function<void(const std::string& path, const std::string& error,
                       const std::string& reason)>
        file_failed;
    // Something odd but harmless about a mailbox, such as a header count the walk contradicts,
    // or a warning raised while it was opened.
    std::function<void(const std::string& path, const std::string& warning)> file_warning;
    // A warning raised while one message was read, parsed, matched or written (a header value
    // that fails to decode, a text the file's rules read as empty against its record); the
    // message itself goes on. Left empty, it goes to file_warning with "[index] " in front.
    std::function<void(const std::string& path, std::int32_t index, const std::string& warning)>
        message_warning;
    std::function<void()> completed;
    // Let the front end process pending input; a stop requested here is honoured at once.
    std::function<void()> yield;
};

struct TConvertSummary {
    std::int64_t messages_read = 0;     // delivered by their mailbox
    std::int64_t messages_written = 0;  // complete on disk
    std::int64_t messages_skipped = 0;  // already on disk, byte for byte (an update)
    std::int64_t messages_failed = 0;   // reading, parsing, matching, naming or writing failed
    std::int64_t files_failed = 0;      // mailboxes that could not be opened or walked
    // Never read: the rest of a mailbox that failed or changed while it was read, and the
    // messages a mailbox's header promised that no reading found.
    std::int64_t messages_lost = 0;
    // Of messages_lost: read or still to be read, but never written because the output folder
    // failed (full, read-only, gone); folder_error says why.
    std::int64_t messages_unwritten = 0;
    std::string folder_error;
    // Sources never begun: the run ended on an error of the output folder, which every later
    // source would have met too.
    std::int64_t files_skipped = 0;
    bool stopped = false;  // ended by a stop request
};

// The file name of a source mailbox as the run uses it for a per-mailbox folder and as messages
// show it. A job saved on Windows names its mailboxes "C:\\dir\\Inbox.dbx"; such a path
// (drive letter and colon, or two backslashes, before a backslash) ends its folder part at its
// last backslash or slash. Any other path is native: the folder part ends at the last slash,
// and a backslash is part of a name.
std::string SourceFileName(std::string_view path);

// Opens a mailbox for the run; the default opens a TDBXParser.
using TMailboxOpener = std::function<std::unique_ptr<TBasicMailParser>(const std::string& path)>;

class TConvertRun {
  public:
    explicit TConvertRun(TConvertJob job, TConvertEvents events = {});

    void SetMailboxOpener(TMailboxOpener opener) { opener_ = std::move(opener); }
    // Reads, parses and filters each mailbox a few messages ahead on a second thread (the
    // default). Off, every message is read when its turn comes, on this thread; tests that stop
    // at one exact message turn it off.
    void SetReadAhead(bool on) { read_ahead_ = on; }

    // Async-signal-safe: sets a lock-free atomic flag.
    void RequestStop() { stop_.store(true, std::memory_order_relaxed); }
    bool StopRequested() const { return stop_.load(std::memory_order_relaxed); }

    // Runs the job once. Later calls do nothing and answer the first summary.
    TConvertSummary Run();

    const TNamingState& NamingState() const { return naming_state_; }

  private:
    struct ReadMessage;
    class ReadAhead;

    static ReadMessage ReadOne(TBasicMailParser& mailbox, const TMailFilter& filter,
                               const TNamingRule& rule, const std::string& folder, std::int32_t j,
                               bool open_file, bool leave_filter = false);

    void ForwardReport(const std::string& text);
    // Answers false when the run must end (stop requested, or the output folder failed).
    bool ConvertFile(std::size_t index, const std::string& path);
    enum class MessagesEnd { Done, Stopped, FileFailed, FolderFailed };
    // Converts the mailbox's messages, reporting an error that ends the file.
    MessagesEnd ConvertMessages(TBasicMailParser& mailbox, const std::string& path,
                                const std::string& folder, std::int32_t count);
    // True, with a warning, when the file was converted before under another path.
    bool SeenBefore(const std::string& path);
    // Names the mailbox's mbox files; false when the output folder failed, which ends the run.
    bool FinishOutputs(const std::string& path, MessagesEnd end);
    // Whether the reading stage may open messages' files ahead.
    bool OpenFilesAhead() const;
    void ConvertMessage(ReadMessage& message, const std::string& path, std::int32_t index,
                        const std::string& folder);
    std::string OutputFolder(const std::string& path);
    // index -1: the file's warning.
    void Warn(const std::string& path, std::int32_t index, const std::string& warning);

    TConvertJob job_;
    TConvertEvents events_;
    TMailboxOpener opener_;
    TNamingState naming_state_;
    TConvertSummary summary_;
    std::atomic<bool> stop_{false};
    bool ran_ = false;
    // Where a warning raised now belongs: the file being processed, the message being handled
    // (-1 between messages).
    const std::string* current_path_ = nullptr;
    std::int32_t current_index_ = -1;
    bool read_ahead_ = true;
    // The writing stage's own filter (TConvertJob::make_filter), when reading ahead shares the
    // filtering between the two stages.
    TMailFilter writer_filter_;
    bool folder_failed_ = false;  // an error of the output folder ended the run
    // The files converted so far, by device and inode, with the path they were first given as.
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::string> seen_files_;
    // The folder lists of the store folders met so far, by folder.
    std::map<std::string, TStoreTree> store_trees_;
    // The mbox files or Maildirs being written; none for .eml.
    std::unique_ptr<TMailboxOutput> outputs_;

    static_assert(std::atomic<bool>::is_always_lock_free);
};

}  // namespace brindle
