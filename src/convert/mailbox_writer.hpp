// Writing the messages of a mailbox into one mbox file or one Maildir instead of one .eml file
// each. A source mailbox's container is named as its folder of the .eml form would be (the
// store's tree, else the file name), and its recovered messages get a container of their own
// named as a subfolder "recovered" of it:
//
//   .eml     DEST/Local Folders/Inbox/0.eml        DEST/Local Folders/Inbox/recovered/0.eml
//   mbox     DEST/Local Folders/Inbox.mbox         DEST/Local Folders/Inbox/recovered.mbox
//   Maildir  DEST/Local Folders/Inbox/cur/…        DEST/Local Folders/Inbox/recovered/cur/…
//
// Every message is the bytes of its .eml form with LF line ends. mbox is mboxrd: a "From "
// line with the address of the From: field (MAILER-DAEMON without one) and the Date: field's
// time in UTC (the epoch when it has none that parses), a line of the message matching
// ^>*From quoted with one more '>', an empty line after each message. An mbox file is written
// unnamed (or as a hidden temporary) and named when its mailbox ends; it never replaces a file:
// a name that is taken gives "Inbox(0).mbox", "Inbox(1).mbox"… With update, the existing file
// is kept when no message is new, and otherwise replaced in one rename by a copy with the new
// messages appended. A Maildir message goes into cur/ as "<hash of its bytes>[-n]:2,S", written
// unnamed and named when complete (as .eml files are), its time set from its Date:.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brindle {

enum class TOutputFormat { Eml, Mbox, Maildir };

// The "From " line that opens the message in an mbox file, with its line end; text is the
// message's header (the rest is not looked at).
std::string MboxFromLine(std::string_view text);

// Appends the message (any line ends) with LF line ends and mboxrd quoting, its last line
// ended.
void AppendMboxBody(std::string_view text, std::string& out);

// The mbox files and Maildirs of a run (not used for .eml). Containers are opened for a
// mailbox, filled and finished before the next mailbox is opened. What the run made is
// remembered for the rest of it, so that two mailboxes that come out under one name (two
// stores' Inbox.dbx) are kept apart with --update exactly as without it.
class TMailboxOutput {
  public:
    // update: a message whose bytes are already in its container is not written again.
    TMailboxOutput(TOutputFormat format, bool update);
    ~TMailboxOutput();
    TMailboxOutput(const TMailboxOutput&) = delete;
    TMailboxOutput& operator=(const TMailboxOutput&) = delete;

    // Opens the containers for a mailbox's folders (the .eml form's folders, ending with '/'),
    // making the folders they need: all of them, or none and raises the mailbox's error
    // (FolderError when the destination cannot hold them, Exception otherwise).
    void Open(const std::vector<std::string>& folders);
    // Adds the message (its text as the .eml file holds it) to folder's container, opened
    // before, and answers the path it went to. *already_there says, with update, that it was
    // found there and nothing was written. Raises as writing an .eml file does; a message that
    // fails leaves nothing of itself.
    std::string Add(const std::string& folder, std::string_view text, bool* already_there);
    // Messages added to mbox files that have no name yet.
    std::int64_t Unnamed() const;
    // Names the open mbox files and closes every container, also when naming one fails (then
    // raised: that file's messages are not on disk).
    void Finish();

    class Container;
    struct RunState;

  private:
    TOutputFormat format_;
    bool update_;
    std::unique_ptr<RunState> state_;
    std::vector<std::pair<std::string, std::unique_ptr<Container>>> containers_;
};

}  // namespace brindle
