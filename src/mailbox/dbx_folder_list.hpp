// The store's folder list (Folders.dbx): one record per folder the store showed, with its id,
// its parent's id, its display name and, for a folder that holds mail, the name of its mailbox
// file. A store folder's tree and names come from here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace brindle {

struct TStoreFolderRecord {
    std::uint32_t id = 0;
    std::uint32_t parent = 0;
    std::string name;  // the display name, as stored (the system's ANSI code page, CP932)
    std::string file;  // the mailbox file's name, empty for a folder without one
};

// The folder list's records in index order; a record that cannot be read is left out. Raises
// Exception when the file cannot be read as a folder list.
std::vector<TStoreFolderRecord> ReadFolderList(const std::filesystem::path& path);

}  // namespace brindle
