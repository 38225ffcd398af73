// Finds the Outlook Express stores on this machine: the folders where Outlook Express kept its
// mailboxes, inside Wine prefixes (named by the prefix's registry, or found by the shape of the
// folders Windows gives them) and on mounted Windows disks (an old disk under /media, /mnt or
// /run/media). A rescue starts here when the user does not know where the mail was.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace brindle {

// Where to look. Defaults() reads $WINEPREFIX and $HOME; tests give their own.
struct TStoreSearch {
    std::vector<std::filesystem::path> wine_prefixes;  // each a prefix (holding drive_c)
    std::vector<std::filesystem::path> disks;          // each the root of a Windows disk

    // $WINEPREFIX, ~/.wine, ~/.local/share/wineprefixes/*, and the disks mounted under
    // /media/*/*, /mnt/* and /run/media/*/*.
    static TStoreSearch Defaults();
};

struct TFoundStore {
    std::filesystem::path folder;
    std::size_t mailboxes = 0;  // files with a mail folder's signature
    std::uintmax_t bytes = 0;   // of those mailboxes
};

// Every store found, each once, in the order searched: the prefixes (their registry's store
// first), then the disks. Folders that cannot be read are passed over in silence.
std::vector<TFoundStore> FindStores(const TStoreSearch& search);

}  // namespace brindle
