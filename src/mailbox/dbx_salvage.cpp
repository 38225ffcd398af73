#include "mailbox/dbx_salvage.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_set>

#include "mailbox/dbx_layout.hpp"

namespace brindle::dbx {
namespace {

// The scan reads the file in pieces of this size.
constexpr std::size_t kScanChunk = 1 << 20;
// How far into a found text a header field's colon may stand.
constexpr std::size_t kMaxFieldName = 1000;

// The shapes a block header can have. A block whose marker names another offset was moved there
// as part of a whole chain (a compacted file leaves such copies behind); it is taken only in
// Outlook Express's own shapes and aligned, and its chain is followed at the same distance.
struct Shape {
    bool found;
    bool deleted;
    std::int64_t extent;  // bytes from the block's start that belong to it
};

Shape ShapeAt(const TDBXFile& file, std::int64_t p, const unsigned char* at) {
    const std::int64_t marker = LeInt32(at + kSelfOffset);
    const std::int64_t room = LeInt32(at + kBlockRoom);
    const std::int64_t length = LeInt32(at + kBlockLength);
    const std::int64_t next = LeInt32(at + kBlockNext);
    const bool in_place = marker == p;
    const bool aligned = marker > 0 && p % 4 == 0 && marker % 4 == 0 && next % 4 == 0;
    if (next < 0 || (!in_place && !aligned)) {
        return {};
    }
    if (room == kFreeBlockRoom && length == kFreeBlockLength) {
        return {true, true, std::min(kBlockText + kOutlookBlockRoom, file.Size() - p)};
    }
    const bool sound = room > 0 && room <= kBlockCapacity && length >= 0 && length <= room &&
                       file.Holds(p + kBlockText, length);
    if (sound && (in_place || (room == kOutlookBlockRoom && length > 0))) {
        return {true, false, kBlockText + length};
    }
    // A block in place, in Outlook Express's shape, whose length alone is damaged: the reader
    // cuts it to the room it has, so its chain still holds together.
    if (in_place && room == kOutlookBlockRoom) {
        return {true, false, std::min(kBlockText + room, file.Size() - p)};
    }
    return {};
}

bool IsFieldStart(std::string_view text) {
    for (std::size_t i = 0; i < text.size() && i < kMaxFieldName; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == ':') {
            return i > 0;
        }
        if (c <= ' ' || c >= 0x7F) {
            return false;
        }
    }
    return false;
}

}  // namespace

std::vector<TRegion> FindUsedBlocks(const TDBXFile& file,
                                    std::span<const std::int64_t> first_blocks) {
    std::vector<TRegion> used;
    std::unordered_set<std::int64_t> seen;
    std::array<unsigned char, kBlockText> fields{};
    for (std::int64_t block : first_blocks) {
        // A hostile chain costs at most one step per marker in the file: each block once.
        while (block > 0 && file.Holds(block, kBlockText) && seen.insert(block).second) {
            file.Read(block, fields.data(), fields.size());
            if (Le32(fields.data() + kSelfOffset) != static_cast<std::uint32_t>(block)) {
                break;
            }
            const std::int64_t claimed = LeInt32(fields.data() + kBlockLength);
            const std::int64_t length = claimed >= 0 && claimed <= kBlockCapacity ? claimed : 0;
            used.push_back(TRegion{block, block + kBlockText + length});
            block = LeInt32(fields.data() + kBlockNext);
        }
    }
    std::sort(used.begin(), used.end(),
              [](const TRegion& a, const TRegion& b) { return a.begin < b.begin; });
    return used;
}

std::vector<TScannedBlock> ScanBlocks(const TDBXFile& file, std::span<const TRegion> used) {
    std::vector<TScannedBlock> blocks;
    const std::int64_t size = file.Size();
    std::vector<unsigned char> chunk(kScanChunk + kBlockText);
    std::size_t region = 0;
    std::int64_t p = kHeaderFieldsEnd;
    while (p + kBlockText <= size) {
        const std::int64_t base = p;
        const std::size_t got = file.Read(base, chunk.data(), chunk.size());
        const std::int64_t chunk_end =
            std::min<std::int64_t>(base + static_cast<std::int64_t>(kScanChunk), size);
        for (; p < chunk_end; ++p) {
            while (region < used.size() && used[region].end <= p) {
                ++region;
            }
            if (region < used.size() && used[region].begin <= p) {
                p = used[region].end - 1;
                continue;
            }
            const auto from = static_cast<std::size_t>(p - base);
            if (from + kBlockText > got) {
                p = size;  // the last bytes are too few for a block header
                break;
            }
            const unsigned char* at = chunk.data() + from;
            const Shape shape = ShapeAt(file, p, at);
            if (!shape.found) {
                continue;
            }
            const std::int64_t shift = p - LeInt32(at + kSelfOffset);
            const std::int64_t next = LeInt32(at + kBlockNext);
            const std::int64_t next_at = next == 0 ? 0 : next + shift;
            if (next != 0 && (next_at <= 0 || !file.Holds(next_at, kBlockText))) {
                continue;
            }
            blocks.push_back(TScannedBlock{p, shift, next_at, shape.deleted});
            p += shape.extent - 1;  // a block's text holds no other block
        }
    }
    return blocks;
}

std::vector<TFoundChain> AssembleChains(std::span<const TScannedBlock> blocks) {
    std::vector<std::int64_t> named;
    for (const TScannedBlock& block : blocks) {
        if (block.next_at != 0) {
            named.push_back(block.next_at);
        }
    }
    std::sort(named.begin(), named.end());
    std::vector<bool> taken(blocks.size(), false);
    const auto find = [&](std::int64_t offset) -> std::optional<std::size_t> {
        const auto it =
            std::lower_bound(blocks.begin(), blocks.end(), offset,
                             [](const TScannedBlock& b, std::int64_t o) { return b.at < o; });
        if (it == blocks.end() || it->at != offset) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(it - blocks.begin());
    };
    std::vector<TFoundChain> chains;
    for (std::size_t head = 0; head < blocks.size(); ++head) {
        if (taken[head] || std::binary_search(named.begin(), named.end(), blocks[head].at)) {
            continue;
        }
        const TScannedBlock& first = blocks[head];
        bool whole = true;
        std::optional<std::size_t> current = head;
        while (current) {
            const TScannedBlock& block = blocks[*current];
            if (taken[*current] || block.shift != first.shift || block.deleted != first.deleted) {
                whole = false;
                break;
            }
            taken[*current] = true;
            if (block.next_at == 0) {
                break;
            }
            current = find(block.next_at);
            whole = current.has_value();
        }
        if (whole || first.deleted) {
            chains.push_back(TFoundChain{first.at, first.shift, first.deleted});
        }
    }
    return chains;
}

bool LooksLikeMail(std::string_view text, bool deleted) {
    if (!deleted) {
        return IsFieldStart(text);
    }
    const std::string_view rest =
        text.substr(std::min<std::size_t>(text.size(), kFreeBlockClobbered));
    if (IsFieldStart(rest)) {
        return true;
    }
    const std::size_t line_end = rest.find('\n');
    return line_end != std::string_view::npos && IsFieldStart(rest.substr(line_end + 1));
}

}  // namespace brindle::dbx
