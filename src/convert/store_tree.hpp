// The tree a store showed its folders in, for the output: with one folder per mailbox, a
// mailbox of a store folder that holds a folder list (Folders.dbx) gets the folder the store
// showed it in, nested under its parents, named by their display names (made safe as file
// names are; siblings that come out alike get "(n)" as duplicate files do). A mailbox the list
// does not know, or a folder without a list, keeps the rule of one folder named after the file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mailbox/dbx_folder_list.hpp"

namespace brindle {

class TStoreTree {
  public:
    // The tree of the store folder that holds the mailbox at mailbox_path (its Folders.dbx);
    // empty when there is none. problem receives why a list that is there cannot be read.
    static TStoreTree ForMailbox(const std::string& mailbox_path, std::string* problem = nullptr);
    static TStoreTree FromRecords(const std::vector<TStoreFolderRecord>& folders);

    // The mailbox's folder below the destination, '/'-separated ("ローカル フォルダ/受信トレイ"),
    // by its file name (compared without regard to ASCII case, as Windows names files); nothing
    // when the list does not know it.
    std::optional<std::string> FolderOf(std::string_view mailbox_file_name) const;
    bool Empty() const { return folders_.empty(); }

  private:
    std::vector<std::pair<std::string, std::string>> folders_;  // file name, folder
};

}  // namespace brindle
