#include "support/dbx_damage.hpp"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>

#include "support/dbx_builder.hpp"

namespace brindle::test {
namespace {

using Random = std::mt19937;

int Uniform(Random& random, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
}

// A tree over the messages ids, in order: a left leaf, then entries whose children hold the
// messages after them.
DbxIndexNode RandomTree(Random& random, const std::vector<int>& ids, int depth) {
    if (ids.size() <= 3 || depth > 4) {
        return DbxLeaf(ids);
    }
    DbxIndexNode node;
    std::size_t at = static_cast<std::size_t>(Uniform(random, 0, static_cast<int>(ids.size()) / 3));
    if (at > 0) {
        node.left.push_back(RandomTree(random, {ids.begin(), ids.begin() + at}, depth + 1));
    }
    while (at < ids.size()) {
        const int entry = ids[at++];
        const auto child =
            std::min(ids.size() - at, static_cast<std::size_t>(Uniform(random, 0, 12)));
        DbxIndexEntry e{entry, {}, std::nullopt};
        if (child > 0) {
            const std::vector<int> below(ids.begin() + static_cast<std::ptrdiff_t>(at),
                                         ids.begin() + static_cast<std::ptrdiff_t>(at + child));
            e.child.push_back(RandomTree(random, below, depth + 1));
            at += child;
        }
        node.entries.push_back(std::move(e));
    }
    return node;
}

std::string RandomText(Random& random, std::uint32_t seed, int i) {
    std::string text =
        "Subject: seed " + std::to_string(seed) + " message " + std::to_string(i) + "\r\n\r\n";
    const int length = Uniform(random, 0, 3000);
    for (int k = 0; k < length; ++k) {
        text.push_back(k % 70 == 69 ? '\n' : static_cast<char>(Uniform(random, 0x20, 0x7E)));
    }
    return text;
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    if (at + 4 <= bytes.size()) {
        std::memcpy(bytes.data() + at, &value, 4);
    }
}

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    if (at + 4 <= bytes.size()) {
        std::memcpy(&value, bytes.data() + at, 4);
    }
    return value;
}

}  // namespace

DamagedMailbox MakeDamagedMailbox(std::uint32_t seed) {
    Random random(seed);
    DbxBuilder builder;
    const int count = Uniform(random, 3, 60);
    std::vector<bool> deleted(static_cast<std::size_t>(count));
    std::vector<int> listed;
    std::vector<std::string> all_texts;
    for (int i = 0; i < count; ++i) {
        all_texts.push_back(RandomText(random, seed, i));
        std::vector<int> sizes;
        if (Uniform(random, 0, 2) == 0) {
            sizes.push_back(Uniform(random, 1, 512));
        }
        builder.AddMessage(all_texts.back(), sizes);
        deleted[static_cast<std::size_t>(i)] = Uniform(random, 0, 9) == 0;
        if (deleted[static_cast<std::size_t>(i)]) {
            builder.DeleteMessage(i);
        } else {
            listed.push_back(i);
        }
    }
    builder.HeaderCount(static_cast<std::int32_t>(listed.size()));
    if (!listed.empty() && Uniform(random, 0, 1) == 0) {
        builder.IndexTree(RandomTree(random, listed, 0));
    }
    if (Uniform(random, 0, 3) == 0) {
        builder.ScatterBlocks();
    }
    if (Uniform(random, 0, 1) == 0) {
        builder.FullBlocks();
    }
    const DbxLayout layout = builder.BuildWithLayout();
    DamagedMailbox result;
    result.bytes = layout.bytes;

    // Each message owns the bytes from its record to the next record (its blocks lie there).
    std::vector<std::pair<std::size_t, std::size_t>> owned;
    for (int i = 0; i < count; ++i) {
        const auto begin = static_cast<std::size_t>(layout.records[static_cast<std::size_t>(i)]);
        const std::size_t end =
            i + 1 < count
                ? static_cast<std::size_t>(layout.records[static_cast<std::size_t>(i + 1)])
                : layout.bytes.size();
        owned.emplace_back(begin, end);
    }
    std::vector<bool> touched(static_cast<std::size_t>(count), false);
    const auto touch = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = 0; i < owned.size(); ++i) {
            if (begin < owned[i].second && owned[i].first < end) {
                touched[i] = true;
            }
        }
    };

    const int damages = Uniform(random, 1, 3);
    for (int d = 0; d < damages; ++d) {
        std::string& bytes = result.bytes;
        switch (Uniform(random, 0, 3)) {
            case 0: {  // flipped bytes anywhere
                const int n = Uniform(random, 1, 8);
                for (int k = 0; k < n; ++k) {
                    const auto at = static_cast<std::size_t>(
                        Uniform(random, 0, static_cast<int>(bytes.size()) - 1));
                    bytes[at] = static_cast<char>(bytes[at] ^ (1 << Uniform(random, 0, 7)));
                    touch(at, at + 1);
                    result.damage += "flip@" + std::to_string(at) + " ";
                }
                break;
            }
            case 1: {  // an index pointer moved a few bytes, into a node or a record
                if (layout.nodes.empty()) {
                    break;
                }
                const auto node = static_cast<std::size_t>(layout.nodes[static_cast<std::size_t>(
                    Uniform(random, 0, static_cast<int>(layout.nodes.size()) - 1))]);
                const auto entries =
                    static_cast<int>(static_cast<unsigned char>(bytes[node + 0x11]));
                const int field = Uniform(random, -1, 2 * entries - 1);
                const std::size_t at = field < 0 ? node + 0x08
                                                 : node + 0x18 +
                                                       12 * static_cast<std::size_t>(field / 2) +
                                                       4 * static_cast<std::size_t>(field % 2);
                int delta = Uniform(random, -0x60, 0x60);
                delta = delta == 0 ? 0x24 : delta;
                Put32(bytes, at, Get32(bytes, at) + static_cast<std::uint32_t>(delta));
                result.damage += "move@" + std::to_string(at) + "+" + std::to_string(delta) + " ";
                break;
            }
            case 2: {  // a block length out of range
                const int m = Uniform(random, 0, count - 1);
                const auto& blocks = layout.blocks[static_cast<std::size_t>(m)];
                if (blocks.empty()) {
                    break;
                }
                const auto block = static_cast<std::size_t>(blocks[static_cast<std::size_t>(
                    Uniform(random, 0, static_cast<int>(blocks.size()) - 1))]);
                const std::uint32_t lengths[] = {1025, 0x10000, 0x7FFFFFFF, 0xFFFFFFFF};
                Put32(bytes, block + 8, lengths[Uniform(random, 0, 3)]);
                touch(block, block + 16);
                result.damage += "length@" + std::to_string(block) + " ";
                break;
            }
            default: {  // the file cut short
                const auto cut = static_cast<std::size_t>(Uniform(
                    random, static_cast<int>(bytes.size() / 2), static_cast<int>(bytes.size())));
                touch(cut, bytes.size());
                bytes.resize(cut);
                result.damage += "cut@" + std::to_string(cut) + " ";
                break;
            }
        }
    }
    for (int i = 0; i < count; ++i) {
        if (!deleted[static_cast<std::size_t>(i)]) {
            result.texts.push_back(all_texts[static_cast<std::size_t>(i)]);
            result.untouched.push_back(!touched[static_cast<std::size_t>(i)]);
        }
    }
    return result;
}

}  // namespace brindle::test
