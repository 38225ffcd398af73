// The layout of an Outlook Express mailbox (.dbx) as far as the reader and the salvage scan use
// it. All integers are little-endian; all offsets are absolute file offsets, held in the file
// as signed 32-bit values.
//
// Every structure the reader follows (an index node, a message info record, a message block)
// begins with the offset it was written at. A pointer into the file is trusted only when the
// structure it lands on names that same offset: a pointer that is off by a few bytes, or that
// lands inside another structure, is found out before anything behind it is read.
#pragma once

#include <cstdint>

namespace brindle::dbx {

// File header:
constexpr std::int64_t kMessageCountOffset = 0xC4;
constexpr std::int64_t kRootNodeOffset = 0xE4;
constexpr std::int64_t kHeaderFieldsEnd = kRootNodeOffset + 4;

// The offset a structure was written at, in its first four bytes.
constexpr std::int64_t kSelfOffset = 0x00;

// Index tree node at N:
constexpr std::int64_t kNodeLeftChild = 0x08;   // 4: offset of the left child node
constexpr std::int64_t kNodeEntryCount = 0x11;  // 1: number of entries (0..255)
constexpr std::int64_t kNodeLeftCount = 0x14;   // 4: messages below the left child (signed)
constexpr std::int64_t kNodeEntries = 0x18;     // entry i at kNodeEntries + kEntrySize * i
constexpr std::int64_t kEntrySize = 12;         // record offset, child offset, child count
constexpr std::int64_t kMaxEntries = 255;

// Message info record at M:
constexpr std::int64_t kRecordLength = 0x04;          // 4: bytes after the 12-byte head
constexpr std::int64_t kRecordAttributeCount = 0x0A;  // 1: number of attribute entries
constexpr std::int64_t kRecordAttributes = 0x0C;      // attribute k at kRecordAttributes + 4 * k
constexpr std::int64_t kAttribute3 = 0x18;            // id byte of attribute entry 3
constexpr std::int64_t kAttribute3Value = 0x19;       // its three value bytes
constexpr std::int64_t kAttribute4 = 0x1C;            // id byte of attribute entry 4
constexpr std::int64_t kRecordFieldsEnd = kAttribute4 + 1;
constexpr unsigned kAttributeIdMask = 0x0F;
constexpr unsigned kMessageAddressId = 0x04;  // attribute holding the first block's address
constexpr unsigned kDirectValueBit = 0x80;    // value in the entry itself, not the data area
constexpr std::uint32_t kDirectValueMask = 0xFFFFFF;

// Message block at B:
constexpr std::int64_t kBlockRoom = 0x04;    // 4: room for text; Outlook Express writes 0x200
constexpr std::int64_t kBlockLength = 0x08;  // 4: text bytes in this block (signed)
constexpr std::int64_t kBlockNext = 0x0C;    // 4: offset of the next block, 0 ends the chain
constexpr std::int64_t kBlockText = 0x10;
constexpr std::int64_t kBlockCapacity = 1024;  // a longer block is damaged data
constexpr std::int64_t kOutlookBlockRoom = 0x200;

// A block of a deleted message: Outlook Express puts the chain on its free list by rewriting
// each block's header as (offset, 0x1FC, 0x210, next) and the first four bytes of its text with
// the offset of the block before it. The text behind them stays until the space is reused; how
// much of the block's room the text filled is lost.
constexpr std::int64_t kFreeBlockRoom = 0x1FC;
constexpr std::int64_t kFreeBlockLength = 0x210;
constexpr std::int64_t kFreeBlockClobbered = 4;  // text bytes that hold the previous block

// The file's signature: a magic number, then the kind of store file. Only a message folder holds
// mail; the others sit beside it in the store folder and are picked up with it.
constexpr std::uint32_t kMagic = 0xFE12ADCF;
constexpr std::uint32_t kMessageFolder = 0x6F74FDC5;
constexpr std::uint32_t kFolderList = 0x6F74FDC6;     // Folders.dbx
constexpr std::uint32_t kPop3Record = 0x6F74FDC7;     // Pop3uidl.dbx
constexpr std::uint32_t kOfflineRecord = 0x26FE9D30;  // Offline.dbx

inline std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::int32_t LeInt32(const unsigned char* p) {
    return static_cast<std::int32_t>(Le32(p));
}

}  // namespace brindle::dbx
