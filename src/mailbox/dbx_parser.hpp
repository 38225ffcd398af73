// TDBXParser: the reader of Outlook Express mailboxes (.dbx). It walks the file's message index
// (a tree of nodes whose entries point at message info records) into a list of record offsets,
// and reads a message's stored text by following the chain of blocks that its record points at.
//
// The file is outside data, often damaged, and its index is a hint rather than the truth: every
// offset, count and length read from it is checked against the file's size before use, a node,
// record or block is followed only when it names its own offset (dbx_layout.hpp), the index walk
// and the block chains keep a set of visited offsets, and the walk uses its own stack, so a
// hostile file can neither crash, hang nor exhaust memory beyond what its size allows.
//
// What damage costs: a bad node or entry is skipped and said once (ReadWarning), and the
// messages it hid are salvaged by scanning the file for block chains that no valid listed
// message uses (dbx_salvage.hpp); a block whose length is out of range is read as far as its
// room goes and said as that message's warning; a broken chain is that message's error
// (ReadMailText throws, other messages still read). A file that cannot be opened, or that is no
// mail folder at all (another kind of file, the store's folder list, an empty or cut file), is
// the file's error: GetMailCount throws, saying what the file is. A read error of the system, or
// a file that changes while it is read, raises MailboxError: not damage, and the end of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mailbox/dbx_file.hpp"
#include "model/basic_mail.hpp"
#include "platform/core_messages.hpp"
#include "platform/line_list.hpp"

namespace brindle {

// The kinds of store file the reader walks: a message folder, or the store's folder list
// (Folders.dbx), whose index lists one record per folder and no messages.
enum class TDbxKind { MessageFolder, FolderList };

// One attribute of a record: its id (without the bit that says where the value is) and its
// value: the entry's own 24 bits, or, kept in the record's data area, the four bytes there
// (as value) and the zero-terminated bytes there (as data).
struct TRecordField {
    std::uint8_t id = 0;
    std::uint32_t value = 0;
    std::string data;
};

class TDBXParser : public TBasicMailReader {
  public:
    // Opens the file read-only and takes an exclusive non-blocking lock; reports nothing. A file
    // that fails to open (or that another run holds) fails at the first GetMailCount.
    // With salvage, the file is also scanned for messages that its index does not list, even
    // when the index is sound (a deleted message whose blocks are still in place).
    explicit TDBXParser(const std::filesystem::path& path, bool salvage = false,
                        TDbxKind kind = TDbxKind::MessageFolder);
    ~TDBXParser() override;
    TDBXParser(const TDBXParser&) = delete;
    TDBXParser& operator=(const TDBXParser&) = delete;

    // Why the file is no Outlook Express mail folder, by its first bytes (the store's folder
    // list, another file, an empty one...), or nothing for a mail folder. Reads the first bytes
    // only; a file that cannot be opened says so.
    static std::optional<std::string> WhyNoMailbox(const std::filesystem::path& path);

    // The attributes of the record at the index, in their order (a folder list's folders are
    // read this way). Raises Exception when it is no record.
    std::vector<TRecordField> ReadRecordFields(std::int32_t index);

    // The number of messages that the index walk finds, whatever the header's count says. The
    // first call walks the index; later calls return the cached result.
    std::int32_t GetMailCount() override;
    Lines ReadMailLines(std::int32_t index) override;
    // What ReadWarning says, or else a header count below the messages found.
    std::vector<std::string> GetWarnings() const override;
    // The header's count beyond the listed and salvaged messages (deleted ones not counted).
    std::int32_t GetMissingCount() const override;
    // Recovered for the deleted messages that salvage rebuilt.
    TMessageOrigin GetOrigin(std::int32_t index) override;
    // The same text before splitting, exactly as the block chain holds it. Raises MailboxError
    // when the file changed since it was opened.
    std::string ReadMailText(std::int32_t index) override;

    // The message count written in the file's header (valid after GetMailCount); it may differ
    // from GetMailCount on damaged files, and callers warn when it does.
    std::int32_t HeaderMessageCount() const { return header_count_; }

    // How many of the messages the index lists (valid after GetMailCount); the ones after them
    // were salvaged from the file, in file order: first the whole ones, then the deleted ones.
    std::int32_t IndexedMessageCount() const { return indexed_count_; }

    // What the reader found odd about the file as a whole (a damaged index, salvaged messages),
    // in one text for the user; empty when nothing was. Valid after GetMailCount.
    const std::string& ReadWarning() const { return warning_; }

    // The bytes that the message list holds (its capacity), valid after GetMailCount: 4 per
    // indexed message and 24 per salvaged one, whatever the header claims.
    std::size_t MessageListBytes() const;

  private:
    // One message of the list: its info record (from the index), or, for a salvaged message,
    // the first block of its chain and how far the chain was moved from where its offsets
    // point (0 unless it is an old copy left behind by compacting).
    struct Message {
        std::int64_t offset;
        std::int64_t shift;
        bool salvaged;
        bool deleted;
    };
    struct Salvaged {
        std::int64_t first_block;
        std::int64_t shift;
        bool deleted;
    };

    void BuildMessageList();
    void CheckSignature(std::int64_t size, const unsigned char* header);
    void ListIndex(std::int32_t root);
    // Walks the index into records_. With `repeated` (sorted), an entry whose record is among
    // them and was listed before is dropped as damage; without it, nothing is dropped for
    // repeating.
    void WalkIndex(std::int32_t root, const std::vector<std::uint32_t>* repeated);
    // Drops the listed records that are no records (IsRecordHead): an entry pointing a few
    // bytes off, or into another structure.
    void DropForeignRecords();
    void Salvage();
    void NoteDamage(std::int64_t at, CoreMsg what);
    Message At(std::int32_t index);
    std::int64_t LocateFirstBlock(std::int64_t record) const;
    // LocateFirstBlock, or where the record names the address when that rule reads nothing and
    // a block is there; 0 for a message with no text.
    std::int64_t FirstBlockOf(std::int64_t record) const;
    // The first block's address that any attribute of the record names; 0 for none.
    std::int64_t RecordAddress(std::int64_t record) const;
    // damage, when given and empty, receives what was wrong with a block that was read all
    // the same.
    std::string ReadBlockChain(std::int64_t first_block, std::int64_t shift,
                               std::optional<TMessage>* damage) const;
    std::string ReadDeletedChain(std::int64_t first_block, std::int64_t shift) const;

    std::unique_ptr<TDBXFile> file_;
    bool salvage_requested_ = false;
    TDbxKind kind_ = TDbxKind::MessageFolder;
    bool walked_ = false;
    std::int32_t header_count_ = 0;
    std::int32_t indexed_count_ = 0;
    std::int32_t deleted_count_ = 0;
    std::optional<std::string> damage_;  // the first damage the walk met
    std::string warning_;
    // The messages are the indexed ones (their records, which the file holds as 32-bit
    // offsets), then the salvaged ones: index i >= indexed_count_ is salvaged_[i - indexed_count_].
    std::vector<std::uint32_t> records_;  // index order
    std::vector<Salvaged> salvaged_;      // file order
};

}  // namespace brindle
