// Salvage: finds the messages of a mailbox that its index does not reach, by scanning the file
// for block chains. Used when the index is damaged, or when the user asks for it (a sound index
// does not list deleted messages, nor the old copies that compacting leaves in free space).
//
// Three steps, each a function: the blocks that the valid listed messages use are set aside
// (FindUsedBlocks); the rest of the file is scanned for block headers (ScanBlocks); the headers
// are linked into chains, each starting at a block that no other block names as its next
// (AssembleChains). The reader then reads each chain's text and keeps it when it is mail.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "mailbox/dbx_file.hpp"

namespace brindle::dbx {

// [begin, end) of the file.
struct TRegion {
    std::int64_t begin;
    std::int64_t end;
};

// A block header that the scan found.
struct TScannedBlock {
    std::int64_t at;
    std::int64_t shift;    // where it lies minus where its marker says it was written
    std::int64_t next_at;  // where its next block lies now; 0: the chain ends
    bool deleted;          // on the free list: its message was deleted
};

// A chain of blocks that is worth reading as a message.
struct TFoundChain {
    std::int64_t first_block;
    std::int64_t shift;
    bool deleted;
};

// The regions that the chains starting at these blocks occupy, sorted by their start. Following
// a chain stops at a position that holds no block marker, so a chain that points into the wild
// claims nothing there; a damaged length claims only the block's header.
std::vector<TRegion> FindUsedBlocks(const TDBXFile& file,
                                    std::span<const std::int64_t> first_blocks);

// Every block header of the file outside the used regions, in file order. Raises MailboxError
// when the file cannot be read; damage only means that fewer headers are found.
std::vector<TScannedBlock> ScanBlocks(const TDBXFile& file, std::span<const TRegion> used);

// The chains of the scanned blocks, in file order of their first blocks. A chain of intact
// blocks is taken only when it is whole: every next a found block at the same distance, no loop,
// nothing shared with another chain. A deleted chain is taken as far as it goes, since the free
// list may have handed its later blocks to other messages.
std::vector<TFoundChain> AssembleChains(std::span<const TScannedBlock> blocks);

// Whether a text found by the scan begins as stored mail does, with a header field (a name of
// printable ASCII, then a colon). The tail of a message whose link to it broke begins in the
// middle of a text, and is no message of its own. A deleted message lost its first bytes: its
// first or second line must be a field.
bool LooksLikeMail(std::string_view text, bool deleted);

}  // namespace brindle::dbx
