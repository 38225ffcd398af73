#include "support/dbx_builder.hpp"

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace brindle::test {
namespace {

// Offsets of the layout, as the reader expects them.
constexpr std::int32_t kMessageCountOffset = 0xC4;
constexpr std::int32_t kRootOffset = 0xE4;
constexpr std::int32_t kNodeLeftChild = 0x08;
constexpr std::int32_t kNodeEntryCount = 0x11;
constexpr std::int32_t kNodeLeftCount = 0x14;
constexpr std::int32_t kNodeEntries = 0x18;
constexpr std::int32_t kEntrySize = 12;
constexpr std::int32_t kRecordAttributeCount = 0x0A;
constexpr std::int32_t kRecordAttributes = 0x0C;
constexpr std::int32_t kBlockLength = 0x08;
constexpr std::int32_t kBlockNext = 0x0C;
constexpr std::int32_t kBlockText = 0x10;
constexpr std::int32_t kMaxEntries = 255;
constexpr std::int32_t kMaxDirectAddress = 0xFFFFFF;

// The signature of an Outlook Express message folder, so that the files also open in other
// tools; the reader itself does not check it.
constexpr unsigned char kSignature[] = {0xCF, 0xAD, 0x12, 0xFE, 0xC5, 0xFD, 0x74, 0x6F, 0x66, 0xE3,
                                        0xD1, 0x11, 0x9A, 0x4E, 0x00, 0xC0, 0x4F, 0xA3, 0x09, 0xD4};

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    if (bytes.size() < at + 4) {
        bytes.resize(at + 4, '\0');
    }
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void Put8(std::string& bytes, std::size_t at, std::uint8_t value) {
    if (bytes.size() < at + 1) {
        bytes.resize(at + 1, '\0');
    }
    bytes[at] = static_cast<char>(value);
}

struct FlatEntry {
    int message = 0;
    int child = -1;
    std::optional<std::int32_t> child_count;
};

struct FlatNode {
    int left = -1;
    std::optional<std::int32_t> left_count;
    std::vector<FlatEntry> entries;
};

// Flattens an explicit tree in pre-order, so that every child comes after its parent. Explicit
// trees are small; the deep shapes are built flat directly.
int Flatten(const DbxIndexNode& node, std::vector<FlatNode>& flat) {
    const int index = static_cast<int>(flat.size());
    flat.emplace_back();
    flat[index].left_count = node.left_count;
    if (!node.left.empty()) {
        const int left = Flatten(node.left.front(), flat);
        flat[index].left = left;
    }
    for (const DbxIndexEntry& entry : node.entries) {
        FlatEntry flat_entry{entry.message, -1, entry.child_count};
        if (!entry.child.empty()) {
            flat_entry.child = Flatten(entry.child.front(), flat);
        }
        flat[index].entries.push_back(flat_entry);
    }
    return index;
}

// Messages ids[first] .. ids[first+count-1], at most 255 entries per node, depth
// log255(count).
int DefaultTree(const std::vector<int>& ids, int first, int count, std::vector<FlatNode>& flat) {
    const int index = static_cast<int>(flat.size());
    flat.emplace_back();
    const auto id = [&](int i) { return ids[static_cast<std::size_t>(i)]; };
    if (count <= kMaxEntries) {
        for (int i = 0; i < count; ++i) {
            flat[index].entries.push_back({id(first + i), -1, std::nullopt});
        }
        return index;
    }
    const int group = (count + kMaxEntries - 1) / kMaxEntries;
    for (int start = 0; start < count; start += group) {
        const int size = std::min(group, count - start);
        FlatEntry entry{id(first + start), -1, std::nullopt};
        if (size > 1) {
            entry.child = DefaultTree(ids, first + start + 1, size - 1, flat);
        }
        flat[index].entries.push_back(entry);
    }
    return index;
}

}  // namespace

std::string BuildFolderList(const std::vector<DbxFolder>& folders) {
    if (folders.size() > static_cast<std::size_t>(kMaxEntries)) {
        throw std::logic_error("DbxBuilder: one node holds at most 255 folders");
    }
    std::string out(static_cast<std::size_t>(DbxBuilder::kHeaderSize), '\0');
    std::copy(std::begin(kSignature), std::end(kSignature), out.begin());
    Put32(out, 4, 0x6F74FDC6u);  // the folder list's file type
    const auto root = static_cast<std::uint32_t>(out.size());
    out.resize(out.size() + kNodeEntries + kEntrySize * folders.size(), '\0');
    Put32(out, root, root);
    Put8(out, root + kNodeEntryCount, static_cast<std::uint8_t>(folders.size()));
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const DbxFolder& folder = folders[i];
        const std::uint32_t count = folder.file.empty() ? 3 : 4;
        std::string data = folder.name + '\0';
        const std::size_t file_at = data.size();
        data += folder.file + '\0';
        const auto record = static_cast<std::uint32_t>(out.size());
        out.resize(
            out.size() + static_cast<std::size_t>(kRecordAttributes) + 4 * count + data.size(),
            '\0');
        Put32(out, record, record);
        Put32(out, record + 4, static_cast<std::uint32_t>(4 * count + data.size()));
        Put8(out, record + kRecordAttributeCount, static_cast<std::uint8_t>(count));
        const std::size_t entries = record + kRecordAttributes;
        Put32(out, entries, 0x80u | (folder.id << 8));
        Put32(out, entries + 4, 0x81u | (folder.parent << 8));
        Put32(out, entries + 8, 0x02u);  // the name at data-area offset 0
        if (count == 4) {
            Put32(out, entries + 12, 0x03u | (static_cast<std::uint32_t>(file_at) << 8));
        }
        std::copy(data.begin(), data.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(entries + 4 * count));
        Put32(out, root + kNodeEntries + kEntrySize * i, record);
    }
    Put32(out, kMessageCountOffset, static_cast<std::uint32_t>(folders.size()));
    Put32(out, kRootOffset, root);
    return out;
}

DbxIndexNode DbxLeaf(const std::vector<int>& messages) {
    DbxIndexNode node;
    for (const int message : messages) {
        node.entries.push_back(DbxIndexEntry{message, {}, std::nullopt});
    }
    return node;
}

DbxBuilder& DbxBuilder::AddMessage(std::string text, std::vector<int> block_sizes) {
    Message message;
    message.text = std::move(text);
    message.sizes = std::move(block_sizes);
    messages_.push_back(std::move(message));
    return *this;
}

DbxBuilder& DbxBuilder::AddMessages(int n) {
    for (int i = 0; i < n; ++i) {
        const std::string number = std::to_string(messages_.size());
        AddMessage("Subject: message " + number + "\r\n\r\nbody " + number + "\r\n");
    }
    return *this;
}

DbxBuilder::Message& DbxBuilder::At(int message) {
    if (message < 0 || message >= static_cast<int>(messages_.size())) {
        throw std::logic_error("DbxBuilder: no message " + std::to_string(message));
    }
    return messages_[static_cast<std::size_t>(message)];
}

DbxBuilder::BlockDamage& DbxBuilder::DamageAt(int message, int block) {
    Message& m = At(message);
    for (BlockDamage& damage : m.damage) {
        if (damage.block == block) {
            return damage;
        }
    }
    m.damage.push_back(BlockDamage{block, NextDamage::kNone, 0, std::nullopt});
    return m.damage.back();
}

DbxBuilder& DbxBuilder::AddressInDataArea(int message, int data_offset) {
    if (data_offset < 0 || data_offset > 0xFF) {
        throw std::logic_error("DbxBuilder: data-area offset must fit one byte");
    }
    At(message).storage = DbxAddressStorage::kDataArea;
    At(message).data_offset = data_offset;
    return *this;
}

DbxBuilder& DbxBuilder::AttributeCount(int message, int count) {
    if (count < 5 || count > 0xFF) {
        throw std::logic_error("DbxBuilder: attribute count must be 5..255");
    }
    At(message).attribute_count = count;
    return *this;
}

DbxBuilder& DbxBuilder::AttributeIds(int message, std::uint8_t entry3_id, std::uint8_t entry4_id) {
    At(message).entry3_id = entry3_id;
    At(message).entry4_id = entry4_id;
    return *this;
}

DbxBuilder& DbxBuilder::MessageAddress(int message, std::int32_t address) {
    At(message).address = address;
    return *this;
}

DbxBuilder& DbxBuilder::FirstBlockAt(int message, std::int32_t offset) {
    At(message).first_block_at = offset;
    return *this;
}

DbxBuilder& DbxBuilder::LeaveOutOfIndex(int message) {
    At(message).unlisted = true;
    return *this;
}

DbxBuilder& DbxBuilder::DeleteMessage(int message) {
    At(message).unlisted = true;
    At(message).deleted = true;
    At(message).sizes.clear();
    return *this;
}

DbxBuilder& DbxBuilder::FullBlocks() {
    full_blocks_ = true;
    return *this;
}

DbxBuilder& DbxBuilder::ScatterBlocks() {
    scatter_ = true;
    return *this;
}

DbxBuilder& DbxBuilder::HeaderCount(std::int32_t count) {
    header_count_ = count;
    return *this;
}

DbxBuilder& DbxBuilder::IndexTree(DbxIndexNode root) {
    tree_.clear();
    tree_.push_back(std::move(root));
    shape_ = IndexShape::kTree;
    return *this;
}

DbxBuilder& DbxBuilder::IndexAsLeftChain() {
    shape_ = IndexShape::kLeftChain;
    return *this;
}

DbxBuilder& DbxBuilder::IndexAsEntryChain() {
    shape_ = IndexShape::kEntryChain;
    return *this;
}

DbxBuilder& DbxBuilder::RootOffset(std::int32_t offset) {
    root_offset_ = offset;
    return *this;
}

DbxBuilder& DbxBuilder::TruncateTo(std::size_t size) {
    truncate_ = size;
    return *this;
}

DbxBuilder& DbxBuilder::LoopBlockChainAt(int message, int block) {
    // The loop is made at the chain's last block; the target is remembered on that message.
    BlockDamage& damage = DamageAt(message, -1);
    damage.next = NextDamage::kLoop;
    damage.loop_target = block;
    return *this;
}

DbxBuilder& DbxBuilder::BlockLengthAbove1024(int message, int block) {
    DamageAt(message, block).length = 1500;
    return *this;
}

DbxBuilder& DbxBuilder::NegativeBlockLength(int message, int block) {
    DamageAt(message, block).length = -1;
    return *this;
}

DbxBuilder& DbxBuilder::BlockLength(int message, int block, std::int32_t length) {
    DamageAt(message, block).length = length;
    return *this;
}

DbxBuilder& DbxBuilder::NextBlockPastEnd(int message, int block) {
    DamageAt(message, block).next = NextDamage::kPastEnd;
    return *this;
}

DbxBuilder& DbxBuilder::NegativeNextBlock(int message, int block) {
    DamageAt(message, block).next = NextDamage::kNegative;
    return *this;
}

DbxBuilder& DbxBuilder::IndexPointsBackToRoot() {
    entry_loop_ = true;
    return *this;
}

DbxBuilder& DbxBuilder::LeftChildPointsBackToRoot() {
    left_loop_ = true;
    return *this;
}

DbxBuilder& DbxBuilder::RootPastEnd() {
    root_damage_ = RootDamage::kPastEnd;
    return *this;
}

DbxBuilder& DbxBuilder::NegativeRootOffset() {
    root_damage_ = RootDamage::kNegative;
    return *this;
}

DbxBuilder& DbxBuilder::RecordPastEnd(int message) {
    At(message).record = Message::RecordDamage::kPastEnd;
    return *this;
}

DbxBuilder& DbxBuilder::NegativeRecordOffset(int message) {
    At(message).record = Message::RecordDamage::kNegative;
    return *this;
}

std::string DbxBuilder::Build() const {
    return BuildWithLayout().bytes;
}

DbxLayout DbxBuilder::BuildWithLayout() const {
    DbxLayout layout;
    std::string& out = layout.bytes;
    out.assign(static_cast<std::size_t>(kHeaderSize), '\0');
    std::copy(std::begin(kSignature), std::end(kSignature), out.begin());
    const int message_count = static_cast<int>(messages_.size());

    // The index, flat, children after their parents.
    std::vector<FlatNode> flat;
    switch (shape_) {
        case IndexShape::kDefault: {
            std::vector<int> listed;
            for (int m = 0; m < message_count; ++m) {
                if (!messages_[static_cast<std::size_t>(m)].unlisted) {
                    listed.push_back(m);
                }
            }
            if (!listed.empty()) {
                DefaultTree(listed, 0, static_cast<int>(listed.size()), flat);
            }
            break;
        }
        case IndexShape::kTree:
            Flatten(tree_.front(), flat);
            break;
        case IndexShape::kLeftChain:
            // Node k holds message n-1-k; its left child (node k+1) holds all earlier messages.
            for (int k = 0; k < message_count; ++k) {
                FlatNode node;
                node.entries.push_back({message_count - 1 - k, -1, std::nullopt});
                node.left = k + 1 < message_count ? k + 1 : -1;
                flat.push_back(std::move(node));
            }
            break;
        case IndexShape::kEntryChain:
            for (int k = 0; k < message_count; ++k) {
                FlatNode node;
                node.entries.push_back({k, k + 1 < message_count ? k + 1 : -1, std::nullopt});
                flat.push_back(std::move(node));
            }
            break;
    }
    // Messages below each node; children have higher numbers, so one backward pass suffices.
    std::vector<std::int64_t> below(flat.size(), 0);
    for (std::size_t i = flat.size(); i-- > 0;) {
        std::int64_t sum = static_cast<std::int64_t>(flat[i].entries.size());
        if (flat[i].left >= 0) {
            sum += below[static_cast<std::size_t>(flat[i].left)];
        }
        for (const FlatEntry& entry : flat[i].entries) {
            if (entry.child >= 0) {
                sum += below[static_cast<std::size_t>(entry.child)];
            }
        }
        below[i] = sum;
    }

    // Node offsets, then records and blocks.
    std::int64_t position = kHeaderSize;
    layout.nodes.reserve(flat.size());
    for (const FlatNode& node : flat) {
        if (node.entries.size() > static_cast<std::size_t>(kMaxEntries)) {
            throw std::logic_error("DbxBuilder: a node holds at most 255 entries");
        }
        layout.nodes.push_back(static_cast<std::int32_t>(position));
        position += kNodeEntries + kEntrySize * static_cast<std::int64_t>(node.entries.size());
    }
    out.resize(static_cast<std::size_t>(position), '\0');

    // Positions patched once the final size is known: (position, which damage).
    std::vector<std::size_t> past_end_patches;

    for (int m = 0; m < message_count; ++m) {
        const Message& message = messages_[static_cast<std::size_t>(m)];
        const std::int32_t record = static_cast<std::int32_t>(out.size());
        layout.records.push_back(record);
        const std::int32_t data_area = kRecordAttributes + 4 * message.attribute_count;
        const std::int32_t data_size = std::max(12, message.data_offset + 4);
        out.resize(static_cast<std::size_t>(record + data_area + data_size), '\0');

        // Split the text into blocks.
        std::vector<std::pair<std::size_t, std::size_t>> pieces;  // (start, length)
        std::size_t taken = 0;
        std::size_t listed = 0;
        int last = DbxBuilder::kDefaultBlockSize;
        while (listed < message.sizes.size() || taken < message.text.size()) {
            int size = last;
            if (listed < message.sizes.size()) {
                size = message.sizes[listed++];
                last = size;
            } else if (size <= 0) {
                size = DbxBuilder::kDefaultBlockSize;
            }
            const std::size_t length =
                std::min(static_cast<std::size_t>(std::max(size, 0)), message.text.size() - taken);
            pieces.emplace_back(taken, length);
            taken += length;
        }

        if (message.first_block_at) {
            if (*message.first_block_at < static_cast<std::int64_t>(out.size())) {
                throw std::logic_error("DbxBuilder: FirstBlockAt lies before free space");
            }
            out.resize(static_cast<std::size_t>(*message.first_block_at), '\0');
        }
        std::vector<std::int32_t> addresses(pieces.size(), 0);
        std::vector<std::size_t> order(pieces.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = scatter_ ? order.size() - 1 - i : i;
        }
        for (const std::size_t i : order) {
            addresses[i] = static_cast<std::int32_t>(out.size());
            const std::size_t room =
                message.deleted || full_blocks_
                    ? std::max(static_cast<std::size_t>(kDefaultBlockSize), pieces[i].second)
                    : pieces[i].second;
            out.resize(out.size() + kBlockText + room, '\0');
        }
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            const auto at = static_cast<std::size_t>(addresses[i]);
            Put32(out, at, static_cast<std::uint32_t>(addresses[i]));
            // The room for text, as Outlook Express writes it: 0x200, or more for a longer block.
            Put32(out, at + 4,
                  static_cast<std::uint32_t>(std::max<std::size_t>(0x200, pieces[i].second)));
            Put32(out, at + kBlockLength, static_cast<std::uint32_t>(pieces[i].second));
            Put32(out, at + kBlockNext,
                  i + 1 < pieces.size() ? static_cast<std::uint32_t>(addresses[i + 1]) : 0);
            std::copy_n(message.text.begin() + static_cast<std::ptrdiff_t>(pieces[i].first),
                        pieces[i].second,
                        out.begin() + static_cast<std::ptrdiff_t>(at + kBlockText));
        }
        for (const BlockDamage& damage : message.damage) {
            const int block = damage.block < 0 ? static_cast<int>(pieces.size()) - 1 : damage.block;
            if (block < 0 || block >= static_cast<int>(pieces.size())) {
                throw std::logic_error("DbxBuilder: message " + std::to_string(m) +
                                       " has no block " + std::to_string(damage.block));
            }
            const auto at = static_cast<std::size_t>(addresses[static_cast<std::size_t>(block)]);
            if (damage.length) {
                Put32(out, at + kBlockLength, static_cast<std::uint32_t>(*damage.length));
            }
            switch (damage.next) {
                case NextDamage::kNone:
                    break;
                case NextDamage::kLoop:
                    if (damage.loop_target < 0 || damage.loop_target > block) {
                        throw std::logic_error("DbxBuilder: loop target is not in the chain");
                    }
                    Put32(out, at + kBlockNext,
                          static_cast<std::uint32_t>(
                              addresses[static_cast<std::size_t>(damage.loop_target)]));
                    break;
                case NextDamage::kPastEnd:
                    past_end_patches.push_back(at + kBlockNext);
                    break;
                case NextDamage::kNegative:
                    Put32(out, at + kBlockNext, 0xFFFFFF00u);
                    break;
            }
        }
        if (message.deleted) {
            for (std::size_t i = 0; i < pieces.size(); ++i) {
                const auto at = static_cast<std::size_t>(addresses[i]);
                Put32(out, at + 4, 0x1FC);
                Put32(out, at + kBlockLength, 0x210);
                Put32(out, at + kBlockText,
                      i == 0 ? 0u : static_cast<std::uint32_t>(addresses[i - 1]));
            }
        }
        layout.blocks.push_back(addresses);

        // The record.
        const std::int32_t first = message.address.value_or(addresses.empty() ? 0 : addresses[0]);
        const auto r = static_cast<std::size_t>(record);
        Put32(out, r, static_cast<std::uint32_t>(record));
        // The record's length after its 12-byte head: the attribute entries and the data area.
        Put32(out, r + 4, static_cast<std::uint32_t>(data_area - kRecordAttributes + data_size));
        Put8(out, r + kRecordAttributeCount, static_cast<std::uint8_t>(message.attribute_count));
        const std::size_t entries = r + kRecordAttributes;
        Put32(out, entries + 0, 0x80u | (static_cast<std::uint32_t>(m) << 8));  // message id
        Put32(out, entries + 4, 0x81u);                                         // flags
        Put32(out, entries + 8, 0x02u);  // a time, at data-area offset 0
        // A first block beyond the reach of 24 bits moves to the data area, as it must.
        const bool direct = message.storage == DbxAddressStorage::kDirect &&
                            (message.address || first <= kMaxDirectAddress);
        if (direct) {
            Put32(out, entries + 12,
                  0x84u | ((static_cast<std::uint32_t>(first) & 0xFFFFFFu) << 8));
        } else {
            Put32(out, entries + 12,
                  0x04u | (static_cast<std::uint32_t>(message.data_offset) << 8));
            Put32(out, r + static_cast<std::size_t>(data_area + message.data_offset),
                  static_cast<std::uint32_t>(first));
        }
        Put32(out, entries + 16, 0x05u);  // a field whose id is not the address
        if (message.entry3_id) {
            Put8(out, entries + 12, *message.entry3_id);
        }
        if (message.entry4_id) {
            Put8(out, entries + 16, *message.entry4_id);
        }
    }

    // The nodes, now that the records are placed.
    for (std::size_t i = 0; i < flat.size(); ++i) {
        const FlatNode& node = flat[i];
        const auto at = static_cast<std::size_t>(layout.nodes[i]);
        Put32(out, at, static_cast<std::uint32_t>(layout.nodes[i]));
        const bool left_loop = left_loop_ && i == 0;
        if (left_loop) {
            Put32(out, at + kNodeLeftChild, static_cast<std::uint32_t>(layout.nodes[0]));
            Put32(out, at + kNodeLeftCount, 1);
        } else if (node.left >= 0) {
            Put32(out, at + kNodeLeftChild,
                  static_cast<std::uint32_t>(layout.nodes[static_cast<std::size_t>(node.left)]));
            Put32(out, at + kNodeLeftCount,
                  static_cast<std::uint32_t>(node.left_count.value_or(
                      static_cast<std::int32_t>(below[static_cast<std::size_t>(node.left)]))));
        } else if (node.left_count) {
            Put32(out, at + kNodeLeftCount, static_cast<std::uint32_t>(*node.left_count));
        }
        Put8(out, at + kNodeEntryCount, static_cast<std::uint8_t>(node.entries.size()));
        for (std::size_t e = 0; e < node.entries.size(); ++e) {
            const FlatEntry& entry = node.entries[e];
            const std::size_t field = at + kNodeEntries + kEntrySize * e;
            if (entry.message < 0 || entry.message >= message_count) {
                throw std::logic_error("DbxBuilder: index entry for a missing message");
            }
            const Message& message = messages_[static_cast<std::size_t>(entry.message)];
            switch (message.record) {
                case Message::RecordDamage::kNone:
                    Put32(out, field,
                          static_cast<std::uint32_t>(
                              layout.records[static_cast<std::size_t>(entry.message)]));
                    break;
                case Message::RecordDamage::kPastEnd:
                    past_end_patches.push_back(field);
                    break;
                case Message::RecordDamage::kNegative:
                    Put32(out, field, 0xFFFFFFF0u);
                    break;
            }
            const bool entry_loop = entry_loop_ && i == 0 && e + 1 == node.entries.size();
            if (entry_loop) {
                Put32(out, field + 4, static_cast<std::uint32_t>(layout.nodes[0]));
                Put32(out, field + 8, 1);
            } else if (entry.child >= 0) {
                Put32(out, field + 4,
                      static_cast<std::uint32_t>(
                          layout.nodes[static_cast<std::size_t>(entry.child)]));
                Put32(
                    out, field + 8,
                    static_cast<std::uint32_t>(entry.child_count.value_or(
                        static_cast<std::int32_t>(below[static_cast<std::size_t>(entry.child)]))));
            } else if (entry.child_count) {
                Put32(out, field + 8, static_cast<std::uint32_t>(*entry.child_count));
            }
        }
    }
    if ((entry_loop_ || left_loop_) && flat.empty()) {
        throw std::logic_error("DbxBuilder: a looping index needs a root node");
    }

    // The header.
    layout.root = flat.empty() ? 0 : layout.nodes[0];
    if (root_offset_) {
        layout.root = *root_offset_;
    }
    Put32(out, kMessageCountOffset,
          static_cast<std::uint32_t>(header_count_.value_or(message_count)));
    if (root_damage_ == RootDamage::kNegative) {
        layout.root = -16;
    }
    Put32(out, kRootOffset, static_cast<std::uint32_t>(layout.root));
    if (root_damage_ == RootDamage::kPastEnd) {
        past_end_patches.push_back(kRootOffset);
    }

    if (truncate_ && *truncate_ < out.size()) {
        out.resize(*truncate_);
    }
    const auto past_end = static_cast<std::uint32_t>(out.size() + 0x100);
    for (const std::size_t at : past_end_patches) {
        if (at + 4 <= out.size()) {
            Put32(out, at, past_end);
        }
    }
    if (root_damage_ == RootDamage::kPastEnd) {
        layout.root = static_cast<std::int32_t>(past_end);
    }
    return layout;
}

void DbxBuilder::WriteTo(const std::filesystem::path& path) const {
    const std::string bytes = Build();
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        throw std::runtime_error("DbxBuilder: cannot write " + path.string());
    }
}

}  // namespace brindle::test
