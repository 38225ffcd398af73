// The mailboxes of a folder, such as an Outlook Express store folder: every file in it whose
// first bytes are a mail folder's signature, sorted by name. The store's other files
// (Folders.dbx, Offline.dbx, Pop3uidl.dbx, Cleanup.log, anything else) are listed apart with
// what they are, for one note each: they are no failure of a conversion. Subfolders are not
// entered.
#pragma once

#include <string>
#include <vector>

namespace brindle {

struct TStoreFolder {
    struct Skipped {
        std::string path;
        std::string what;  // why it is no mailbox, as TDBXParser::WhyNoMailbox says it
    };
    std::vector<std::string> mailboxes;  // paths in the folder, sorted by file name
    std::vector<Skipped> skipped;        // in the same order
};

// Raises Exception with the system's reason when the folder cannot be read.
TStoreFolder ScanStoreFolder(const std::string& folder);

}  // namespace brindle
