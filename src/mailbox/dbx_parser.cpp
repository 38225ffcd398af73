#include "mailbox/dbx_parser.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <unordered_set>
#include <utility>

#include "platform/exception.hpp"
#include "platform/report.hpp"

namespace brindle {
namespace {

// The DBX layout as far as the reader uses it. All integers are little-endian; all offsets are
// absolute file offsets held as signed 32-bit values.
// File header:
constexpr std::int64_t kMessageCountOffset = 0xC4;
constexpr std::int64_t kRootNodeOffset = 0xE4;
constexpr std::int64_t kHeaderFieldsEnd = kRootNodeOffset + 4;
// Index tree node at N:
constexpr std::int64_t kNodeLeftChild = 0x08;   // 4: offset of the left child node
constexpr std::int64_t kNodeEntryCount = 0x11;  // 1: number of entries (0..255)
constexpr std::int64_t kNodeLeftCount = 0x14;   // 4: messages below the left child (signed)
constexpr std::int64_t kNodeEntries = 0x18;     // entry i at kNodeEntries + kEntrySize * i
constexpr std::int64_t kEntrySize = 12;         // record offset, child offset, child count
constexpr std::int64_t kMaxEntries = 255;
// Message info record at M:
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
constexpr std::int64_t kBlockLength = 0x08;  // 4: text bytes in this block (signed)
constexpr std::int64_t kBlockNext = 0x0C;    // 4: offset of the next block, 0 ends the chain
constexpr std::int64_t kBlockText = 0x10;
constexpr std::int64_t kBlockCapacity = 1024;  // a longer block is damaged data

// The file's signature: a magic number, then the kind of store file. Only a message folder holds
// mail; the others sit beside it in the store folder and are picked up with it.
constexpr std::uint32_t kMagic = 0xFE12ADCF;
constexpr std::uint32_t kMessageFolder = 0x6F74FDC5;
constexpr std::uint32_t kFolderList = 0x6F74FDC6;              // Folders.dbx
constexpr std::uint32_t kPop3Record = 0x6F74FDC7;              // Pop3uidl.dbx
constexpr std::uint32_t kOfflineRecord = 0x26FE9D30;           // Offline.dbx
constexpr unsigned char kOe4Mailbox[] = {'J', 'M', 'F', '6'};  // Outlook Express 4 (.mbx)
// A block's second field is the room it has for text; Outlook Express writes 0x200.
constexpr std::int64_t kBlockRoom = 0x04;
constexpr std::int64_t kOutlookBlockRoom = 0x200;
// The salvage scan reads the file in pieces of this size.
constexpr std::size_t kScanChunk = 1 << 20;

constexpr const char* kEmptyFile = "ファイルが空です。メールフォルダ（.dbx）ではありません。";
constexpr const char* kNotMailbox = "Outlook Express のメールフォルダ（.dbx）ではありません。";
constexpr const char* kIsFolderList =
    "Outlook Express のフォルダ一覧（Folders.dbx）です。メールは入っていません。";
constexpr const char* kIsPop3Record =
    "Outlook Express の POP3 受信記録（Pop3uidl.dbx）です。メールは入っていません。";
constexpr const char* kIsOfflineRecord =
    "Outlook Express のオフライン操作の記録（Offline.dbx）です。メールは入っていません。";
constexpr const char* kIsOtherDbx =
    "Outlook Express の .dbx ファイルですが、メールフォルダではありません。";
constexpr const char* kIsOe4Mailbox =
    "Outlook Express 4 のメールボックス（.mbx）です。この形式は読めません。";
constexpr const char* kCutHeader =
    "ファイルのヘッダが途中で切れています。メールフォルダとして読めません。";

constexpr const char* kOpenFailed = "ファイルが開けません。";
constexpr const char* kWalkFailed[] = {
    "メールの解析に失敗しました。(1)",
    "メールの解析に失敗しました。(2)",
    "メールの解析に失敗しました。(3)",
    "メールの解析に失敗しました。(4)",
};
constexpr const char* kReadFailed[] = {
    "メールの読み取りに失敗しました。(1)",
    "メールの読み取りに失敗しました。(2)",
    "メールの読み取りに失敗しました。(3)",
    "メールの読み取りに失敗しました。(4)",
};
constexpr const char* kBlockFailed = "ファイルの読み取りに失敗しました。";

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::int32_t LeInt32(const unsigned char* p) {
    return static_cast<std::int32_t>(Le32(p));
}

// Regions of the file already taken by one structure (the index nodes, or one message's
// blocks). A region that overlaps one taken before means the structure points back into
// itself; refusing overlaps (not only equal offsets) also bounds the work and the memory of a
// walk by the file's size, since a hostile file cannot make many structures of a few bytes.
class RegionSet {
  public:
    // False when [begin, end) overlaps a region added before.
    bool Add(std::int64_t begin, std::int64_t end) {
        auto next = regions_.lower_bound(begin);
        if (next != regions_.end() && next->first < end) {
            return false;
        }
        if (next != regions_.begin()) {
            const auto previous = std::prev(next);
            if (previous->second > begin) {
                return false;
            }
            // A chain's full blocks usually lie end to end: one entry grows instead of one
            // node per block.
            if (previous->second == begin) {
                previous->second = end;
                return true;
            }
        }
        regions_.emplace_hint(next, begin, end);
        return true;
    }

  private:
    std::map<std::int64_t, std::int64_t> regions_;  // begin -> end
};

// The records that the list holds more than once, sorted; none at once for a list in file
// order, as a sound index usually is.
std::vector<std::uint32_t> RepeatedRecords(const std::vector<std::uint32_t>& records) {
    if (std::adjacent_find(records.begin(), records.end(), std::greater_equal<>()) ==
        records.end()) {
        return {};
    }
    std::vector<std::uint32_t> sorted(records);
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::uint32_t> repeated;
    for (auto it = std::adjacent_find(sorted.begin(), sorted.end()); it != sorted.end();
         it = std::adjacent_find(it, sorted.end())) {
        repeated.push_back(*it);
        it = std::upper_bound(it, sorted.end(), *it);
    }
    return repeated;
}

}  // namespace

// The open mailbox file: a read-only descriptor holding an exclusive lock, read with pread so
// that no read depends on a shared file position.
class TDBXParser::File {
  public:
    explicit File(const std::filesystem::path& path) {
        // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are accepted.
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd_ < 0) {
            open_error_ = ErrnoText(errno);
            return;
        }
        struct stat info {};
        if (::fstat(fd_, &info) != 0) {
            open_error_ = ErrnoText(errno);
            Close();
            return;
        }
        if (!S_ISREG(info.st_mode)) {
            open_error_ = S_ISDIR(info.st_mode) ? ErrnoText(EISDIR) : "not a regular file";
            Close();
            return;
        }
        // The lock keeps two runs of this program off the same file. Only another holder
        // (EWOULDBLOCK) makes the open fail; file systems that refuse locks are read unlocked.
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            open_error_ = "locked by another program";
            Close();
            return;
        }
        size_ = static_cast<std::int64_t>(info.st_size);
    }
    ~File() { Close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Why the file is not open: the system's reason, or the program's for a lock or a file that
    // is not a regular file.
    const std::string& OpenError() const { return open_error_; }
    std::int64_t Size() const { return size_; }

    // Whether [offset, offset + length) lies inside the file.
    bool Holds(std::int64_t offset, std::int64_t length) const {
        return offset >= 0 && length >= 0 && offset <= size_ && length <= size_ - offset;
    }

    // Reads up to length bytes; fewer only at the end of the file. Raises `failure` on an I/O
    // error, since a read error is not a short file. Small reads are served from a read-ahead
    // window: a message's blocks and the index nodes mostly follow each other in the file, so
    // one system call covers many of them.
    std::size_t Read(std::int64_t offset, void* buffer, std::size_t length,
                     const char* failure) const {
        if (length > kWindowSize / 4) {
            return ReadDirect(offset, buffer, length, failure);
        }
        const std::string_view bytes = View(offset, length, failure);
        std::copy_n(bytes.data(), bytes.size(), static_cast<char*>(buffer));
        return bytes.size();
    }

    // The same bytes as Read, left in the read-ahead window: valid until the next call. At most
    // a quarter of the window is asked for at once.
    std::string_view View(std::int64_t offset, std::size_t length, const char* failure) const {
        const auto window_end = window_offset_ + static_cast<std::int64_t>(window_.size());
        if (offset < window_offset_ || offset + static_cast<std::int64_t>(length) > window_end) {
            // A read that would not fill the window entirely means the window reaches the end.
            window_.resize(kWindowSize);
            window_.resize(ReadDirect(offset, window_.data(), window_.size(), failure));
            window_offset_ = offset;
        }
        const auto from = static_cast<std::size_t>(offset - window_offset_);
        const std::size_t available = from < window_.size() ? window_.size() - from : 0;
        return {window_.data() + from, std::min(length, available)};
    }

  private:
    static constexpr std::size_t kWindowSize = 256 * 1024;

    std::size_t ReadDirect(std::int64_t offset, void* buffer, std::size_t length,
                           const char* failure) const {
        auto* out = static_cast<char*>(buffer);
        std::size_t done = 0;
        while (done < length) {
            const ssize_t n = ::pread(fd_, out + done, length - done,
                                      static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throw Exception(failure, ErrnoText(errno));
            }
            if (n == 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

    void Close() {
        if (fd_ >= 0) {
            ::close(fd_);  // closing also releases the lock
            fd_ = -1;
        }
    }

    int fd_ = -1;
    std::int64_t size_ = 0;
    std::string open_error_;
    mutable std::vector<char> window_;
    mutable std::int64_t window_offset_ = 0;
};

TDBXParser::TDBXParser(const std::filesystem::path& path, bool salvage)
    : file_(std::make_unique<File>(path)), salvage_requested_(salvage) {}

TDBXParser::~TDBXParser() = default;

std::int32_t TDBXParser::GetMailCount() {
    if (!file_->IsOpen()) {
        throw Exception(kOpenFailed, file_->OpenError());
    }
    if (!walked_) {
        BuildMessageList();
    }
    return static_cast<std::int32_t>(records_.size() + salvaged_.size());
}

std::size_t TDBXParser::MessageListBytes() const {
    return records_.capacity() * sizeof(std::uint32_t) + salvaged_.capacity() * sizeof(Salvaged);
}

void TDBXParser::CheckSignature(std::int64_t size, const unsigned char* header) {
    if (size == 0) {
        throw Exception(kEmptyFile);
    }
    const std::uint32_t magic = Le32(header);
    if (size >= 8 && magic == kMagic) {
        switch (Le32(header + 4)) {
            case kMessageFolder:
                break;
            case kFolderList:
                throw Exception(kIsFolderList);
            case kPop3Record:
                throw Exception(kIsPop3Record);
            case kOfflineRecord:
                throw Exception(kIsOfflineRecord);
            default:
                throw Exception(kIsOtherDbx);
        }
        if (size < kHeaderFieldsEnd) {
            throw Exception(kCutHeader);
        }
        return;
    }
    if (size >= 4 && std::equal(std::begin(kOe4Mailbox), std::end(kOe4Mailbox), header)) {
        throw Exception(kIsOe4Mailbox);
    }
    // The first bytes of the magic number and nothing after them: a copy cut short.
    const auto magic_bytes = std::min<std::int64_t>(size, 4);
    const std::uint32_t mask =
        magic_bytes >= 4 ? 0xFFFFFFFFu : (1u << (8 * static_cast<unsigned>(magic_bytes))) - 1;
    if (size < 8 && (magic & mask) == (kMagic & mask)) {
        throw Exception(kCutHeader);
    }
    // A file whose first sector was overwritten may still hold its messages; only a scan that
    // the user asked for looks for them.
    if (!salvage_requested_ || size < kHeaderFieldsEnd) {
        throw Exception(kNotMailbox);
    }
    damage_ = "ファイルの先頭がメールフォルダの形をしていません。";
}

void TDBXParser::BuildMessageList() {
    std::array<unsigned char, kHeaderFieldsEnd> header{};
    file_->Read(0, header.data(), header.size(), kOpenFailed);
    records_.clear();
    salvaged_.clear();
    CheckSignature(file_->Size(), header.data());
    const bool header_sound = !damage_;
    header_count_ = header_sound ? LeInt32(header.data() + kMessageCountOffset) : 0;
    const std::int32_t root = header_sound ? LeInt32(header.data() + kRootNodeOffset) : 0;

    if (root != 0) {
        if (header_count_ != 0) {
            ListIndex(root);
        } else if (file_->Holds(root, kNodeEntries)) {
            // A header that says empty over an index inside the file is walked all the same; but
            // if that index is damaged the file is taken at its word, as an empty mailbox.
            ListIndex(root);
            if (damage_) {
                records_ = {};
                damage_.reset();
            }
        }
    }
    indexed_count_ = static_cast<std::int32_t>(records_.size());
    if (damage_ || salvage_requested_) {
        Salvage();
    }
    const auto salvaged = static_cast<std::int32_t>(salvaged_.size());
    if (damage_) {
        warning_ = *damage_ + "索引から読めたメール " + std::to_string(indexed_count_) +
                   " 通を変換します。";
    }
    if (salvaged > 0) {
        warning_ += "索引にないメール " + std::to_string(salvaged) +
                    " 通をファイルから拾い出しました（索引のメールの後に続きます）。";
    }
    walked_ = true;
}

void TDBXParser::NoteDamage(std::int64_t at, const char* what) {
    // The first damage is the one worth naming; the rest usually follow from it.
    if (!damage_) {
        damage_ = "メールの索引が壊れています（位置 " + std::to_string(at) + ": " + what + "）。";
    }
}

void TDBXParser::ListIndex(std::int32_t root) {
    // The list is the reader's only memory per message, 4 bytes each: a sound header's count
    // sizes it exactly. A header may overstate (a hostile one by far): the room is bounded by
    // the entries the file can hold, and what the walk left unused is given back.
    if (header_count_ > 0) {
        records_.reserve(static_cast<std::size_t>(
            std::min<std::int64_t>(header_count_, file_->Size() / kEntrySize)));
    }
    // A record that the index lists twice is damage, but remembering every record as it is
    // listed would cost far more than the list. The walk lists repeats too; only when the
    // list then holds one (a damaged index, rare) is the index walked again, watching just
    // the repeated records, so that the same entries are dropped and the same damage is
    // named first as if every record had been watched from the start.
    const std::optional<std::string> damage_before = damage_;
    WalkIndex(root, nullptr);
    const std::vector<std::uint32_t> repeated = RepeatedRecords(records_);
    if (!repeated.empty()) {
        records_.clear();
        damage_ = damage_before;
        WalkIndex(root, &repeated);
    }
    if (records_.capacity() > records_.size() + records_.size() / 8) {
        records_.shrink_to_fit();
    }
}

void TDBXParser::WalkIndex(std::int32_t root, const std::vector<std::uint32_t>* repeated) {
    // In-order walk with an explicit stack: a hostile file can make the tree as deep as it has
    // nodes. A frame holds only the node's offset, entry count and the next entry to take;
    // entries are read again when the walk comes back to the node. A bad node or entry is
    // skipped and the walk goes on with the rest of the tree.
    struct Frame {
        std::int64_t node;
        int entries;
        int next;
    };
    std::vector<Frame> stack;
    RegionSet taken;
    std::vector<bool> listed(repeated != nullptr ? repeated->size() : 0, false);
    // False for a record listed before; only repeated ones can be.
    auto first_listing = [&](std::uint32_t record) {
        if (repeated == nullptr) {
            return true;
        }
        const auto it = std::lower_bound(repeated->begin(), repeated->end(), record);
        if (it == repeated->end() || *it != record) {
            return true;
        }
        const auto k = static_cast<std::size_t>(it - repeated->begin());
        const bool first = !listed[k];
        listed[k] = true;
        return first;
    };

    // Enters a node and then its chain of left children, each left child before its parent.
    auto descend = [&](std::int64_t node) {
        for (;;) {
            if (node < kHeaderFieldsEnd || !file_->Holds(node, kNodeEntries)) {
                NoteDamage(node, "ファイルの外を指す索引");
                return;
            }
            std::array<unsigned char, kNodeEntries> fields{};
            file_->Read(node, fields.data(), fields.size(), kWalkFailed[0]);
            const int entries = fields[kNodeEntryCount];
            // A node that overlaps one already entered: the tree points back into itself.
            if (!taken.Add(node, node + kNodeEntries + kEntrySize * entries)) {
                NoteDamage(node, "自分自身に戻る索引");
                return;
            }
            stack.push_back(Frame{node, entries, 0});
            if (LeInt32(fields.data() + kNodeLeftCount) <= 0) {
                return;
            }
            node = LeInt32(fields.data() + kNodeLeftChild);
        }
    };

    descend(root);
    std::array<unsigned char, kEntrySize * kMaxEntries> buffer{};
    while (!stack.empty()) {
        const Frame frame = stack.back();
        if (frame.next >= frame.entries) {
            stack.pop_back();
            continue;
        }
        const std::int64_t first = frame.node + kNodeEntries + kEntrySize * frame.next;
        const int wanted = frame.entries - frame.next;
        const std::size_t got = file_->Read(
            first, buffer.data(), static_cast<std::size_t>(kEntrySize * wanted), kWalkFailed[3]);
        int next = frame.next;
        std::int64_t child = 0;
        bool has_child = false;
        while (next < frame.entries && !has_child) {
            const std::size_t at = static_cast<std::size_t>(kEntrySize * (next - frame.next));
            if (at + kEntrySize > got) {
                NoteDamage(first + static_cast<std::int64_t>(at), "途中で切れた索引");
                next = frame.entries;
                break;
            }
            // An entry whose record lies outside the file, or that repeats one listed before,
            // lists no message of its own; salvage finds the text if it is still there.
            const std::int64_t record = LeInt32(buffer.data() + at);
            if (record < kHeaderFieldsEnd || !file_->Holds(record, kRecordFieldsEnd)) {
                NoteDamage(first + static_cast<std::int64_t>(at), "ファイルの外を指すメール記録");
            } else if (!first_listing(static_cast<std::uint32_t>(record))) {
                NoteDamage(first + static_cast<std::int64_t>(at), "二度現れるメール記録");
            } else {
                records_.push_back(static_cast<std::uint32_t>(record));
            }
            has_child = LeInt32(buffer.data() + at + 8) > 0;
            child = LeInt32(buffer.data() + at + 4);
            ++next;
        }
        stack.back().next = next;
        if (has_child) {
            descend(child);
        }
    }
}

void TDBXParser::Salvage() {
    // Every block that the listed messages reach, even past a damaged block of theirs, is
    // theirs: none of it may come back as a message of its own. Following a chain stops at a
    // position that holds no block marker, so a hostile chain costs at most one step per
    // marker in the file. Their texts are remembered too, so that an old copy of a listed
    // message (a compacted file keeps them in its free space) is not delivered a second time.
    struct Region {
        std::int64_t begin;
        std::int64_t end;
    };
    std::vector<Region> used;
    std::unordered_set<std::int64_t> seen;
    std::unordered_set<std::size_t> texts;
    std::array<unsigned char, kBlockText> fields{};
    for (std::int32_t i = 0; i < indexed_count_; ++i) {
        std::int64_t block = 0;
        try {
            const std::int64_t record = records_[static_cast<std::size_t>(i)];
            block = LocateFirstBlock(record);
            // A record delivered empty by the file's rules still owns the text it names.
            const std::int64_t named = block == 0 ? RecordAddress(record) : block;
            texts.insert(
                std::hash<std::string>{}(block == 0 ? std::string() : ReadBlockChain(block, 0)));
            block = named;
        } catch (const Exception&) {
        }
        while (block > 0 && file_->Holds(block, kBlockText) && seen.insert(block).second) {
            file_->Read(block, fields.data(), fields.size(), kBlockFailed);
            if (Le32(fields.data()) != static_cast<std::uint32_t>(block)) {
                break;
            }
            // A damaged length claims only the block's header: a made-up length could hide
            // the blocks that lie after it.
            const std::int64_t claimed = LeInt32(fields.data() + kBlockLength);
            const std::int64_t length = claimed >= 0 && claimed <= kBlockCapacity ? claimed : 0;
            used.push_back(Region{block, block + kBlockText + length});
            block = LeInt32(fields.data() + kBlockNext);
        }
    }
    std::sort(used.begin(), used.end(),
              [](const Region& a, const Region& b) { return a.begin < b.begin; });

    // The scan, outside the listed messages. A block starts with the offset it was written at
    // (a marker Outlook Express puts at the start of every block), the room it has, its
    // length and the offset of its next block. A block whose marker names another offset was
    // moved there as part of a whole chain (a compacted file leaves such copies behind); it is
    // taken only in Outlook Express's own shape (aligned, 0x200 bytes of room), and its chain
    // is followed at the same distance.
    struct Block {
        std::int64_t at;
        std::int64_t shift;    // where it lies minus where its marker says it was written
        std::int64_t next_at;  // where its next block lies now; 0: the chain ends
        std::int64_t length;
    };
    std::vector<Block> blocks;
    const std::int64_t size = file_->Size();
    std::vector<unsigned char> chunk(kScanChunk + kBlockText);
    std::size_t region = 0;
    std::int64_t p = kHeaderFieldsEnd;
    while (p + kBlockText <= size) {
        const std::int64_t base = p;
        const std::size_t got = file_->Read(base, chunk.data(), chunk.size(), kBlockFailed);
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
            const std::int64_t marker = LeInt32(at);
            const std::int64_t room = LeInt32(at + kBlockRoom);
            const std::int64_t length = LeInt32(at + kBlockLength);
            const std::int64_t next = LeInt32(at + kBlockNext);
            const bool in_place = marker == p;
            const bool moved = !in_place && marker > 0 && p % 4 == 0 && marker % 4 == 0 &&
                               next % 4 == 0 && room == kOutlookBlockRoom && length > 0;
            if ((!in_place && !moved) || room <= 0 || room > kBlockCapacity || length < 0 ||
                length > room || !file_->Holds(p + kBlockText, length) || next < 0) {
                continue;
            }
            const std::int64_t shift = p - marker;
            const std::int64_t next_at = next == 0 ? 0 : next + shift;
            if (next != 0 && (next_at <= 0 || !file_->Holds(next_at, kBlockText))) {
                continue;
            }
            blocks.push_back(Block{p, shift, next_at, length});
            p += kBlockText + length - 1;  // a block's text holds no other block
        }
    }

    // A chain starts at a block that no other block names as its next; it is delivered when it
    // is well formed to its end (every next a found block at the same distance, no loop,
    // nothing shared with another chain) and holds some text that no message before it has.
    std::vector<std::int64_t> named;
    for (const Block& block : blocks) {
        if (block.next_at != 0) {
            named.push_back(block.next_at);
        }
    }
    std::sort(named.begin(), named.end());
    std::vector<bool> taken(blocks.size(), false);
    const auto find = [&](std::int64_t offset) -> std::optional<std::size_t> {
        const auto it = std::lower_bound(blocks.begin(), blocks.end(), offset,
                                         [](const Block& b, std::int64_t o) { return b.at < o; });
        if (it == blocks.end() || it->at != offset) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(it - blocks.begin());
    };
    for (std::size_t head = 0; head < blocks.size(); ++head) {
        if (taken[head] || std::binary_search(named.begin(), named.end(), blocks[head].at)) {
            continue;
        }
        bool sound = true;
        std::int64_t text = 0;
        std::optional<std::size_t> current = head;
        while (current) {
            if (taken[*current] || blocks[*current].shift != blocks[head].shift) {
                sound = false;
                break;
            }
            taken[*current] = true;
            text += blocks[*current].length;
            if (blocks[*current].next_at == 0) {
                break;
            }
            current = find(blocks[*current].next_at);
            sound = current.has_value();
        }
        if (!sound || text == 0 ||
            records_.size() + salvaged_.size() >= static_cast<std::size_t>(INT32_MAX)) {
            continue;
        }
        try {
            if (texts
                    .insert(std::hash<std::string>{}(
                        ReadBlockChain(blocks[head].at, blocks[head].shift)))
                    .second) {
                salvaged_.push_back(Salvaged{blocks[head].at, blocks[head].shift});
            }
        } catch (const Exception&) {
        }
    }
}

std::vector<std::string> TDBXParser::GetWarnings() const {
    if (!walked_) {
        return {};
    }
    // A damaged index is said once, in words, with what it cost; a header count that merely
    // disagrees with a sound walk is said as such.
    if (!warning_.empty()) {
        return {warning_};
    }
    const std::size_t found = records_.size() + salvaged_.size();
    if (header_count_ == static_cast<std::int32_t>(found)) {
        return {};
    }
    return {"ヘッダのメール数 " + std::to_string(header_count_) + " は見つかったメール数 " +
            std::to_string(found) + " と異なります。見つかったメールをすべて変換します。"};
}

Lines TDBXParser::ReadMailLines(std::int32_t index) {
    return SplitLines(ReadMailText(index));
}

TDBXParser::Message TDBXParser::At(std::int32_t index) {
    const std::int32_t count = GetMailCount();
    if (index < 0 || index >= count) {
        throw std::out_of_range("TDBXParser: message index " + std::to_string(index) +
                                " outside 0.." + std::to_string(count));
    }
    if (index < indexed_count_) {
        return Message{records_[static_cast<std::size_t>(index)], 0, false};
    }
    const Salvaged& salvaged = salvaged_[static_cast<std::size_t>(index - indexed_count_)];
    return Message{salvaged.first_block, salvaged.shift, true};
}

std::string TDBXParser::ReadMailText(std::int32_t index) {
    const Message message = At(index);
    if (message.salvaged) {
        return ReadBlockChain(message.offset, message.shift);
    }
    const std::int64_t first = LocateFirstBlock(message.offset);
    if (first != 0) {
        return ReadBlockChain(first, 0);
    }
    // Whoever reads the message hears of it: during a run as that message's warning.
    if (RecordAddress(message.offset) != 0) {
        RaiseWarning(
            "記録には本文の位置があるのに、本文は空として読まれました。空のメールとして扱います。");
    }
    return std::string();
}

bool TDBXParser::EmptyAgainstItsRecord(std::int32_t index) {
    const Message message = At(index);
    if (message.salvaged) {
        return false;
    }
    try {
        return LocateFirstBlock(message.offset) == 0 && RecordAddress(message.offset) != 0;
    } catch (const Exception&) {
        return false;  // a record that cannot be read is that message's error already
    }
}

std::int64_t TDBXParser::RecordAddress(std::int64_t record) const {
    // The first attribute entry whose id is exactly the message address, wherever it stands.
    std::array<unsigned char, kRecordAttributes + 4 * 255> fields{};
    const std::size_t got = file_->Read(record, fields.data(), fields.size(), kReadFailed[0]);
    if (got <= static_cast<std::size_t>(kRecordAttributeCount)) {
        return 0;
    }
    const std::int64_t count = fields[kRecordAttributeCount];
    for (std::int64_t k = 0; k < count; ++k) {
        const auto at = static_cast<std::size_t>(kRecordAttributes + 4 * k);
        if (at + 4 > got) {
            return 0;
        }
        if ((fields[at] & ~kDirectValueBit) != kMessageAddressId) {
            continue;
        }
        const std::uint32_t value = Le32(fields.data() + at) >> 8;
        if ((fields[at] & kDirectValueBit) != 0) {
            return value;
        }
        const std::int64_t slot = record + kRecordAttributes + 4 * count + value;
        std::array<unsigned char, 4> address{};
        if (!file_->Holds(slot, 4) ||
            file_->Read(slot, address.data(), address.size(), kReadFailed[3]) != 4) {
            return 0;
        }
        return std::max<std::int64_t>(LeInt32(address.data()), 0);
    }
    return 0;
}

std::int64_t TDBXParser::LocateFirstBlock(std::int64_t record) const {
    // Entries 3 and 4 are looked at whatever the record's attribute count says, as the format
    // puts the message address there in practice.
    if (!file_->Holds(record, kRecordFieldsEnd)) {
        throw Exception(kReadFailed[0]);
    }
    std::array<unsigned char, kRecordFieldsEnd> fields{};
    file_->Read(record, fields.data(), fields.size(), kReadFailed[0]);
    const unsigned id3 = fields[kAttribute3];
    const unsigned id4 = fields[kAttribute4];
    if ((id4 & kAttributeIdMask) == kMessageAddressId) {
        return 0;  // entry 4 holding the address means the text was never stored
    }
    if ((id3 & kAttributeIdMask) != kMessageAddressId) {
        return 0;
    }
    if ((id3 & kDirectValueBit) != 0) {
        return Le32(fields.data() + kAttribute3Value) & kDirectValueMask;
    }
    // Only the low byte of the entry's value is the data-area offset.
    const std::int64_t data_offset = fields[kAttribute3Value];
    const std::int64_t attribute_count = fields[kRecordAttributeCount];
    const std::int64_t at = record + kRecordAttributes + 4 * attribute_count + data_offset;
    if (!file_->Holds(at, 4)) {
        throw Exception(kReadFailed[3]);
    }
    std::array<unsigned char, 4> address{};
    file_->Read(at, address.data(), address.size(), kReadFailed[3]);
    const std::int32_t first = LeInt32(address.data());
    if (first < 0) {
        throw Exception(kBlockFailed);
    }
    return first;
}

std::string TDBXParser::ReadBlockChain(std::int64_t first_block, std::int64_t shift) const {
    // The chain's length is known only at its end. A long text is gathered in pieces of a fixed
    // size and joined once: growing one string by doubling would hold up to three times the
    // text while it moves.
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    std::vector<std::string> pieces;
    std::string text;
    // Most messages fit: growing block by block from nothing moved a typical text ten times.
    text.reserve(std::size_t{16} << 10);
    RegionSet taken;
    std::int64_t block = first_block;
    while (block != 0) {
        if (!file_->Holds(block, kBlockText)) {
            throw Exception(kBlockFailed);
        }
        // Straight from the read-ahead window into the text, without a copy in between.
        const std::string_view view = file_->View(
            block + kBlockLength, kBlockText - kBlockLength + kBlockCapacity, kBlockFailed);
        const auto* buffer = reinterpret_cast<const unsigned char*>(view.data());
        const std::size_t got = view.size();
        if (got < static_cast<std::size_t>(kBlockText - kBlockLength)) {
            throw Exception(kBlockFailed);  // the file shrank under us
        }
        const std::int32_t length = LeInt32(buffer);
        const std::int32_t next = LeInt32(buffer + (kBlockNext - kBlockLength));
        if (length < 0 || length > kBlockCapacity || !file_->Holds(block + kBlockText, length) ||
            got < static_cast<std::size_t>(kBlockText - kBlockLength + length)) {
            throw Exception(kBlockFailed);
        }
        // Blocks of one chain never share bytes; one that does closes a loop.
        if (!taken.Add(block, block + kBlockText + length)) {
            throw Exception(kBlockFailed);
        }
        if (text.size() + static_cast<std::size_t>(length) > kPiece) {
            pieces.push_back(std::move(text));
            text = std::string();
            text.reserve(kPiece);
        }
        text.append(view.data() + (kBlockText - kBlockLength), static_cast<std::size_t>(length));
        block = next == 0 ? 0 : next + shift;
    }
    if (pieces.empty()) {
        return text;
    }
    std::size_t size = text.size();
    for (const auto& piece : pieces) {
        size += piece.size();
    }
    std::string whole;
    whole.reserve(size);
    for (auto& piece : pieces) {
        whole += piece;
        piece = std::string();
    }
    whole += text;
    return whole;
}

}  // namespace brindle
