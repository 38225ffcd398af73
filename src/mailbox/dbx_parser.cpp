#include "mailbox/dbx_parser.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <map>
#include <stdexcept>
#include <utility>

#include "message/mail.hpp"
#include "platform/exception.hpp"

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
        if (next != regions_.begin() && std::prev(next)->second > begin) {
            return false;
        }
        regions_.emplace_hint(next, begin, end);
        return true;
    }

  private:
    std::map<std::int64_t, std::int64_t> regions_;  // begin -> end
};

}  // namespace

// The open mailbox file: a read-only descriptor holding an exclusive lock, read with pread so
// that no read depends on a shared file position.
class TDBXParser::File {
  public:
    explicit File(const std::filesystem::path& path) {
        // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are accepted.
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd_ < 0) {
            return;
        }
        struct stat info {};
        if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
            Close();
            return;
        }
        // The lock keeps two runs of this program off the same file. Only another holder
        // (EWOULDBLOCK) makes the open fail; file systems that refuse locks are read unlocked.
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            Close();
            return;
        }
        size_ = static_cast<std::int64_t>(info.st_size);
    }
    ~File() { Close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
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
                throw Exception(failure);
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
    mutable std::vector<char> window_;
    mutable std::int64_t window_offset_ = 0;
};

TDBXParser::TDBXParser(const std::filesystem::path& path) : file_(std::make_unique<File>(path)) {}

TDBXParser::~TDBXParser() = default;

std::int32_t TDBXParser::GetMailCount() {
    if (!file_->IsOpen()) {
        throw Exception(kOpenFailed);
    }
    if (!walked_) {
        BuildMessageList();
    }
    return static_cast<std::int32_t>(messages_.size());
}

void TDBXParser::BuildMessageList() {
    // A file too short for the header reads as zeros there: no count, no index.
    std::array<unsigned char, kHeaderFieldsEnd> header{};
    file_->Read(0, header.data(), header.size(), kOpenFailed);
    header_count_ = LeInt32(header.data() + kMessageCountOffset);
    const std::int32_t root = LeInt32(header.data() + kRootNodeOffset);

    messages_.clear();
    if (root != 0) {
        if (header_count_ != 0) {
            WalkIndex(root);
        } else if (file_->Holds(root, kNodeEntries)) {
            // A header that says empty over an index inside the file is walked all the same; but
            // if that index is unreadable the file is taken at its word, as an empty mailbox.
            try {
                WalkIndex(root);
            } catch (const Exception&) {
                messages_.clear();
            }
        }
    }
    walked_ = true;
}

void TDBXParser::WalkIndex(std::int32_t root) {
    // In-order walk with an explicit stack: a hostile file can make the tree as deep as it has
    // nodes. A frame holds only the node's offset, entry count and the next entry to take;
    // entries are read again when the walk comes back to the node.
    struct Frame {
        std::int64_t node;
        int entries;
        int next;
    };
    std::vector<Frame> stack;
    RegionSet taken;

    // Enters a node and then its chain of left children, each left child before its parent.
    auto descend = [&](std::int64_t node) {
        for (;;) {
            if (!file_->Holds(node, kNodeLeftChild + 4)) {
                throw Exception(kWalkFailed[0]);
            }
            if (!file_->Holds(node, kNodeEntryCount + 1)) {
                throw Exception(kWalkFailed[1]);
            }
            if (!file_->Holds(node, kNodeLeftCount + 4)) {
                throw Exception(kWalkFailed[2]);
            }
            std::array<unsigned char, kNodeEntries> fields{};
            file_->Read(node, fields.data(), fields.size(), kWalkFailed[0]);
            const int entries = fields[kNodeEntryCount];
            // A node that overlaps one already entered: the tree points back into itself.
            if (!taken.Add(node, node + kNodeEntries + kEntrySize * entries)) {
                throw Exception(kWalkFailed[0]);
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
                throw Exception(kWalkFailed[3]);
            }
            // Every entry read is a message, whatever its record offset: a bad offset is that
            // message's error when it is read, not the index's.
            messages_.push_back(LeInt32(buffer.data() + at));
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

std::unique_ptr<TBasicMail> TDBXParser::GetMail(std::int32_t index) {
    return TMail::FromStoredText(ReadMailText(index));
}

Lines TDBXParser::ReadMailLines(std::int32_t index) {
    return SplitLines(ReadMailText(index));
}

std::string TDBXParser::ReadMailText(std::int32_t index) {
    const std::int32_t count = GetMailCount();
    if (index < 0 || index >= count) {
        throw std::out_of_range("TDBXParser: message index " + std::to_string(index) +
                                " outside 0.." + std::to_string(count));
    }
    const std::int64_t first = LocateFirstBlock(messages_[static_cast<std::size_t>(index)]);
    return first == 0 ? std::string() : ReadBlockChain(first);
}

std::int64_t TDBXParser::LocateFirstBlock(std::int32_t record) const {
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

std::string TDBXParser::ReadBlockChain(std::int64_t first_block) const {
    // The chain's length is known only at its end. A long text is gathered in pieces of a fixed
    // size and joined once: growing one string by doubling would hold up to three times the
    // text while it moves.
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    std::vector<std::string> pieces;
    std::string text;
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
        block = next;
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
