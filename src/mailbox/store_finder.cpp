#include "mailbox/store_finder.hpp"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <system_error>

#include "mailbox/store_folder.hpp"
#include "platform/ansi_text.hpp"
#include "platform/wine_registry.hpp"

namespace brindle {
namespace {

namespace fs = std::filesystem;

// Where Windows XP and Windows Vista and later put a user's Outlook Express store, below the
// root of the disk ("*" is any one name; names compare without regard to ASCII case).
constexpr std::string_view kXpStore =
    "Documents and Settings/*/Local Settings/Application Data/Identities/*/Microsoft/"
    "Outlook Express";
constexpr std::string_view kVistaStore =
    "Users/*/AppData/Local/Identities/*/Microsoft/Outlook Express";
// Inside a Wine prefix the users live below drive_c/users.
constexpr std::string_view kWineXpStore =
    "drive_c/users/*/Local Settings/Application Data/Identities/*/Microsoft/Outlook Express";
constexpr std::string_view kWineVistaStore =
    "drive_c/users/*/AppData/Local/Identities/*/Microsoft/Outlook Express";

std::vector<fs::path> Subfolders(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code kind_error;
        if (it->is_directory(kind_error)) {
            found.push_back(it->path());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// The folders below root that match the pattern's components, one by one.
void Match(const fs::path& root, std::string_view pattern, std::vector<fs::path>& found) {
    const std::size_t slash = pattern.find('/');
    const std::string_view part = pattern.substr(0, slash);
    const std::string_view rest =
        slash == std::string_view::npos ? std::string_view() : pattern.substr(slash + 1);
    for (const fs::path& sub : Subfolders(root)) {
        if (part != "*" && !EqualsIgnoringAsciiCase(sub.filename().string(), part)) {
            continue;
        }
        if (rest.empty()) {
            found.push_back(sub);
        } else {
            Match(sub, rest, found);
        }
    }
}

void Add(const fs::path& folder, std::vector<TFoundStore>& stores) {
    std::error_code error;
    const fs::path canonical = fs::canonical(folder, error);
    if (error) {
        return;
    }
    if (std::any_of(stores.begin(), stores.end(),
                    [&](const TFoundStore& store) { return store.folder == canonical; })) {
        return;
    }
    TFoundStore store{canonical, 0, 0};
    try {
        for (const std::string& mailbox : ScanStoreFolder(canonical.string()).mailboxes) {
            ++store.mailboxes;
            store.bytes += fs::file_size(mailbox, error);
        }
    } catch (const std::exception&) {
        return;
    }
    stores.push_back(std::move(store));
}

std::optional<fs::path> EnvironmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return fs::path(value);
}

}  // namespace

TStoreSearch TStoreSearch::Defaults() {
    TStoreSearch search;
    if (const auto prefix = EnvironmentPath("WINEPREFIX")) {
        search.wine_prefixes.push_back(*prefix);
    }
    if (const auto home = EnvironmentPath("HOME")) {
        search.wine_prefixes.push_back(*home / ".wine");
        for (const fs::path& prefix : Subfolders(*home / ".local/share/wineprefixes")) {
            search.wine_prefixes.push_back(prefix);
        }
    }
    for (const fs::path& user : Subfolders("/media")) {
        for (const fs::path& disk : Subfolders(user)) {
            search.disks.push_back(disk);
        }
    }
    for (const fs::path& disk : Subfolders("/mnt")) {
        search.disks.push_back(disk);
    }
    for (const fs::path& user : Subfolders("/run/media")) {
        for (const fs::path& disk : Subfolders(user)) {
            search.disks.push_back(disk);
        }
    }
    return search;
}

std::vector<TFoundStore> FindStores(const TStoreSearch& search) {
    std::vector<TFoundStore> stores;
    for (const fs::path& prefix : search.wine_prefixes) {
        if (const auto named = OutlookExpressStoreFolder(prefix)) {
            Add(*named, stores);
        }
        std::vector<fs::path> shaped;
        Match(prefix, kWineXpStore, shaped);
        Match(prefix, kWineVistaStore, shaped);
        for (const fs::path& folder : shaped) {
            Add(folder, stores);
        }
    }
    for (const fs::path& disk : search.disks) {
        std::vector<fs::path> shaped;
        Match(disk, kXpStore, shaped);
        Match(disk, kVistaStore, shaped);
        for (const fs::path& folder : shaped) {
            Add(folder, stores);
        }
    }
    return stores;
}

}  // namespace brindle
