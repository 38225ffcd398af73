#include "convert/store_tree.hpp"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <unordered_map>

#include "convert/safe_file_name.hpp"
#include "platform/ansi_text.hpp"
#include "platform/exception.hpp"
#include "platform/text_encoding.hpp"

namespace brindle {
namespace {

constexpr std::string_view kFolderListName = "Folders.dbx";

// The folder list beside a mailbox, found without regard to case as Windows wrote it.
std::optional<std::filesystem::path> FolderListBeside(const std::string& mailbox_path) {
    const std::filesystem::path folder = std::filesystem::path(mailbox_path).parent_path();
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, error), end;
         !error && it != end; it.increment(error)) {
        if (EqualsIgnoringAsciiCase(it->path().filename().string(), kFolderListName)) {
            return it->path();
        }
    }
    return std::nullopt;
}

}  // namespace

TStoreTree TStoreTree::ForMailbox(const std::string& mailbox_path, std::string* problem) {
    const auto list = FolderListBeside(mailbox_path);
    if (!list) {
        return {};
    }
    try {
        return FromRecords(ReadFolderList(*list));
    } catch (const Exception& e) {
        if (problem != nullptr) {
            *problem = std::string(e.what());
        }
        return {};
    }
}

TStoreTree TStoreTree::FromRecords(const std::vector<TStoreFolderRecord>& folders) {
    // Each folder's name on its level, made safe, with "(n)" for a sibling that came out alike,
    // in the list's order.
    std::unordered_map<std::uint32_t, const TStoreFolderRecord*> by_id;
    for (const TStoreFolderRecord& folder : folders) {
        by_id.try_emplace(folder.id, &folder);
    }
    std::unordered_map<std::uint32_t, std::string> level_name;
    std::map<std::pair<std::uint32_t, std::string>, int> taken;
    for (const TStoreFolderRecord& folder : folders) {
        if (folder.name.empty() || level_name.count(folder.id) != 0) {
            continue;  // an unnamed folder (the store's root) adds no level
        }
        const std::string base = MakeUnicodeBaseName(Cp932ToUtf8(folder.name));
        int& alike_before = taken[{folder.parent, base}];
        level_name.emplace(folder.id, alike_before == 0
                                          ? base
                                          : base + "(" + std::to_string(alike_before - 1) + ")");
        ++alike_before;
    }
    TStoreTree tree;
    for (const TStoreFolderRecord& folder : folders) {
        if (folder.file.empty()) {
            continue;
        }
        // Up to the root, or to a parent the list does not hold; a list that loops is cut
        // where a folder comes again.
        std::vector<std::string> levels;
        std::set<std::uint32_t> seen;
        const TStoreFolderRecord* at = &folder;
        while (at != nullptr && seen.insert(at->id).second) {
            if (const auto name = level_name.find(at->id); name != level_name.end()) {
                levels.push_back(name->second);
            }
            const auto parent = by_id.find(at->parent);
            at = parent == by_id.end() || parent->second->id == at->id ? nullptr : parent->second;
        }
        if (levels.empty()) {
            continue;
        }
        std::string path;
        for (auto it = levels.rbegin(); it != levels.rend(); ++it) {
            path += (path.empty() ? "" : "/") + *it;
        }
        tree.folders_.emplace_back(Cp932ToUtf8(folder.file), std::move(path));
    }
    return tree;
}

std::optional<std::string> TStoreTree::FolderOf(std::string_view mailbox_file_name) const {
    // The first the list names, as a map would keep it; a list holds a few dozen folders.
    const auto found = std::find_if(folders_.begin(), folders_.end(), [&](const auto& folder) {
        return EqualsIgnoringAsciiCase(folder.first, mailbox_file_name);
    });
    if (found == folders_.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace brindle
