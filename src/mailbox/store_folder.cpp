#include "mailbox/store_folder.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "mailbox/dbx_parser.hpp"
#include "platform/core_messages.hpp"
#include "platform/exception.hpp"

namespace brindle {

TStoreFolder ScanStoreFolder(const std::string& folder) {
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code kind_error;
        if (it->is_regular_file(kind_error)) {
            files.push_back(it->path());
        }
    }
    if (error) {
        throw Exception(Msg(CoreMsg::FolderCannotRead, {{"path", folder}}),
                        ErrnoText(error.value()));
    }
    std::sort(files.begin(), files.end(),
              [](const auto& a, const auto& b) { return a.filename() < b.filename(); });
    TStoreFolder store;
    for (const std::filesystem::path& file : files) {
        if (auto why = TDBXParser::WhyNoMailbox(file)) {
            store.skipped.push_back({file.string(), std::move(*why)});
        } else {
            store.mailboxes.push_back(file.string());
        }
    }
    return store;
}

}  // namespace brindle
