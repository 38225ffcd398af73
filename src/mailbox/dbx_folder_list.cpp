#include "mailbox/dbx_folder_list.hpp"

#include "mailbox/dbx_parser.hpp"
#include "platform/exception.hpp"

namespace brindle {
namespace {

// The attributes of a folder record.
constexpr std::uint8_t kFolderId = 0x00;
constexpr std::uint8_t kParentId = 0x01;
constexpr std::uint8_t kDisplayName = 0x02;
constexpr std::uint8_t kFileName = 0x03;

}  // namespace

std::vector<TStoreFolderRecord> ReadFolderList(const std::filesystem::path& path) {
    TDBXParser list(path, false, TDbxKind::FolderList);
    const std::int32_t count = list.GetMailCount();
    std::vector<TStoreFolderRecord> folders;
    for (std::int32_t i = 0; i < count; ++i) {
        std::vector<TRecordField> fields;
        try {
            fields = list.ReadRecordFields(i);
        } catch (const MailboxError&) {
            throw;
        } catch (const Exception&) {
            continue;
        }
        TStoreFolderRecord folder;
        for (TRecordField& field : fields) {
            switch (field.id) {
                case kFolderId:
                    folder.id = field.value;
                    break;
                case kParentId:
                    folder.parent = field.value;
                    break;
                case kDisplayName:
                    folder.name = std::move(field.data);
                    break;
                case kFileName:
                    folder.file = std::move(field.data);
                    break;
                default:
                    break;
            }
        }
        folders.push_back(std::move(folder));
    }
    return folders;
}

}  // namespace brindle
