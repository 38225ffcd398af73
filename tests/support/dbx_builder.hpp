// DbxBuilder: builds Outlook Express mailbox files (.dbx) in memory for tests, sound or damaged
// on purpose. It writes only what the reader looks at (header count and index root, index nodes,
// message info records, block chains) plus the file signature, so a test states exactly the
// layout it needs:
//
//   const std::string bytes = DbxBuilder()
//                                 .AddMessage("Subject: a\r\n\r\nbody\r\n", {8, 100})
//                                 .AddMessage("Subject: b\r\n\r\n")
//                                 .LoopBlockChainAt(0, 0)
//                                 .Build();
//
// Layout of the built file: a 0x200-byte header, the index nodes, then for each message its
// info record followed by its blocks (in chain order unless ScatterBlocks is set). Damage
// switches are named after the defect they put into the file; message and block numbers are
// 0-based positions in the order of AddMessage and of the message's chain.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace brindle::test {

struct DbxIndexEntry;

// One node of the message index as a test shapes it. The in-order walk visits the left child
// (if its count is > 0), then each entry's message followed by that entry's child.
struct DbxIndexNode {
    std::vector<DbxIndexNode> left;  // empty, or exactly one node
    std::vector<DbxIndexEntry> entries;
    // The "messages below the left child" field; by default the true number.
    std::optional<std::int32_t> left_count;
};

struct DbxIndexEntry {
    int message = 0;                  // which AddMessage, 0-based
    std::vector<DbxIndexNode> child;  // empty, or exactly one node
    std::optional<std::int32_t> child_count;
};

// A node holding the given messages as entries without children.
DbxIndexNode DbxLeaf(const std::vector<int>& messages);

// Where a message info record keeps the address of the message's first block.
enum class DbxAddressStorage {
    kDirect,    // attribute entry 3 has id 0x84 and holds the address in its 24-bit value
                // (an address above 24 bits goes to the data area all the same)
    kDataArea,  // attribute entry 3 has id 0x04 and holds an offset into the record's data area
};

// The built bytes together with where things landed, for tests that patch a byte themselves.
struct DbxLayout {
    std::string bytes;
    std::int32_t root = 0;
    std::vector<std::int32_t> nodes;                // root first, every child after its parent
    std::vector<std::int32_t> records;              // per message
    std::vector<std::vector<std::int32_t>> blocks;  // per message, in chain order
};

// One folder of a store's folder list (Folders.dbx).
struct DbxFolder {
    std::uint32_t id = 0;
    std::uint32_t parent = 0;
    std::string name;  // display name, CP932
    std::string file;  // mailbox file name; empty for a folder without mail
};

// A folder list as Outlook Express keeps it: the folder list's signature, the count and index
// root in the header, one index node listing one record per folder, each record with the
// attributes id (0x80), parent id (0x81), display name (0x02) and file name (0x03, left out
// when empty) in its data area.
std::string BuildFolderList(const std::vector<DbxFolder>& folders);

class DbxBuilder {
  public:
    // Default block size of Outlook Express.
    static constexpr int kDefaultBlockSize = 512;
    static constexpr std::int32_t kHeaderSize = 0x200;

    // A message whose text is stored in blocks of the given sizes, in order; text left over after
    // the listed sizes is stored in blocks of the last listed size (512 when none is listed). A
    // size of 0 stores an empty block. Sizes above 1024 are allowed (they make a damaged block).
    DbxBuilder& AddMessage(std::string text, std::vector<int> block_sizes = {});
    // n messages "Subject: message <i>" with a short body, for counting and ordering tests.
    DbxBuilder& AddMessages(int n);

    // The record of this message stores its first block's address in the data area, at this
    // offset from the data area's start (only the low byte reaches the reader).
    DbxBuilder& AddressInDataArea(int message, int data_offset = 8);
    // The number of attribute entries written in the record (the data area starts after them).
    DbxBuilder& AttributeCount(int message, int count);
    // Replaces the ids of attribute entries 3 and 4 (their value bytes stay).
    DbxBuilder& AttributeIds(int message, std::uint8_t entry3_id, std::uint8_t entry4_id);
    // Writes this first block address into the record instead of the real one (0, past the end,
    // negative in the data area...). A direct address keeps only its low 24 bits.
    DbxBuilder& MessageAddress(int message, std::int32_t address);
    // Puts the message's first block at this absolute offset (zero padding in front of it);
    // it must lie after everything placed before it.
    DbxBuilder& FirstBlockAt(int message, std::int32_t offset);
    // Writes the message's record and blocks but leaves it out of the default index, as a
    // message that the index lost (or that was deleted while its blocks stayed) is.
    DbxBuilder& LeaveOutOfIndex(int message);
    // Deletes the message as Outlook Express does: it leaves the index, its blocks take their
    // full room (512 bytes, zero padded) and go on the free list, each header rewritten as
    // (offset, 0x1FC, 0x210, next) and the first four text bytes holding the previous block's
    // offset. Its text is stored in 512-byte blocks whatever sizes were given.
    DbxBuilder& DeleteMessage(int message);
    // Gives every block its whole room in the file, 512 bytes (or its length when longer),
    // zero padded, as Outlook Express lays blocks out; by default a block takes only its text.
    DbxBuilder& FullBlocks();
    // Lays each message's blocks out in reverse file order, so that chain order differs from
    // file order.
    DbxBuilder& ScatterBlocks();

    // The message count written in the header (by default the number of messages).
    DbxBuilder& HeaderCount(std::int32_t count);
    // The index tree (by default one node per 255 messages, all of them in index order).
    DbxBuilder& IndexTree(DbxIndexNode root);
    // Each message in a node of its own, each node the left child of the one before: an index as
    // deep as there are messages, still walked in message order.
    DbxBuilder& IndexAsLeftChain();
    // The same depth through entry children instead of left children.
    DbxBuilder& IndexAsEntryChain();
    // Writes this root offset into the header instead of the real one.
    DbxBuilder& RootOffset(std::int32_t offset);
    // Cuts the built file to this many bytes (a truncated copy).
    DbxBuilder& TruncateTo(std::size_t size);

    // Damage switches.
    DbxBuilder& LoopBlockChainAt(int message, int block);      // last block's next → block
    DbxBuilder& BlockLengthAbove1024(int message, int block);  // length field 1500
    DbxBuilder& NegativeBlockLength(int message, int block);   // length field -1
    DbxBuilder& BlockLength(int message, int block, std::int32_t length);
    DbxBuilder& NextBlockPastEnd(int message, int block);   // next address → past the end
    DbxBuilder& NegativeNextBlock(int message, int block);  // next address → 0xFFFFFF00
    DbxBuilder& IndexPointsBackToRoot();      // the root's last entry gets the root as its child
    DbxBuilder& LeftChildPointsBackToRoot();  // the root's left child is the root itself
    DbxBuilder& RootPastEnd();
    DbxBuilder& NegativeRootOffset();
    DbxBuilder& RecordPastEnd(int message);         // the index entry points past the end
    DbxBuilder& NegativeRecordOffset(int message);  // the index entry holds 0xFFFFFFF0

    std::string Build() const;
    DbxLayout BuildWithLayout() const;
    // Builds and writes the file; throws std::runtime_error when writing fails.
    void WriteTo(const std::filesystem::path& path) const;

  private:
    enum class NextDamage { kNone, kLoop, kPastEnd, kNegative };
    struct BlockDamage {
        int block = 0;
        NextDamage next = NextDamage::kNone;
        int loop_target = 0;
        std::optional<std::int32_t> length;
    };
    struct Message {
        std::string text;
        std::vector<int> sizes;
        DbxAddressStorage storage = DbxAddressStorage::kDirect;
        int data_offset = 8;
        int attribute_count = 5;
        std::optional<std::uint8_t> entry3_id;
        std::optional<std::uint8_t> entry4_id;
        std::optional<std::int32_t> address;
        std::optional<std::int32_t> first_block_at;
        std::vector<BlockDamage> damage;
        bool unlisted = false;
        bool deleted = false;
        enum class RecordDamage { kNone, kPastEnd, kNegative } record = RecordDamage::kNone;
    };
    enum class IndexShape { kDefault, kTree, kLeftChain, kEntryChain };
    enum class RootDamage { kNone, kPastEnd, kNegative };

    Message& At(int message);
    BlockDamage& DamageAt(int message, int block);

    std::vector<Message> messages_;
    std::optional<std::int32_t> header_count_;
    IndexShape shape_ = IndexShape::kDefault;
    std::vector<DbxIndexNode> tree_;  // the explicit tree, when shape_ is kTree
    std::optional<std::int32_t> root_offset_;
    RootDamage root_damage_ = RootDamage::kNone;
    bool entry_loop_ = false;
    bool left_loop_ = false;
    bool scatter_ = false;
    bool full_blocks_ = false;
    std::optional<std::size_t> truncate_;
};

}  // namespace brindle::test
