#include "convert/mailbox_writer.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <exception>
#include <limits>
#include <set>
#include <unordered_map>

#include "convert/mail_date.hpp"
#include "platform/core_messages.hpp"
#include "platform/exception.hpp"
#include "platform/file_system.hpp"

namespace brindle {
namespace {

constexpr std::string_view kMboxExtension = ".mbox";
// Messages converted from a mailbox file have been read in Outlook Express or were never
// meant to be new again: they are marked seen.
constexpr std::string_view kMaildirInfo = ":2,S";
constexpr std::string_view kNoSender = "MAILER-DAEMON";

// A 64-bit hash of the bytes, eight at a time: it only picks the messages worth comparing, and
// the comparison decides.
std::uint64_t HashBytes(std::string_view bytes) {
    constexpr std::uint64_t kMultiplier = 0xFF51AFD7ED558CCDull;
    std::uint64_t hash = 0x9E3779B97F4A7C15ull ^ bytes.size();
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + i, 8);
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 32;
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, bytes.data() + i, bytes.size() - i);
    hash = (hash ^ tail) * kMultiplier;
    hash ^= hash >> 33;
    hash *= 0xC4CEB9FE1A85EC53ull;
    return hash ^ (hash >> 33);
}

std::string Hex(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4) {
        text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    }
    return text;
}

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// The line at pos without its line end, and where the next one begins.
std::pair<std::string_view, std::size_t> LineAt(std::string_view text, std::size_t pos) {
    const std::size_t lf = text.find('\n', pos);
    const std::size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
    std::size_t end = lf == std::string_view::npos ? text.size() : lf;
    if (end > pos && lf != std::string_view::npos && text[end - 1] == '\r') {
        --end;
    }
    return {text.substr(pos, end - pos), next};
}

// The first value of a header field as stored, unfolded; nothing when the header has none.
std::optional<std::string> RawField(std::string_view text, std::string_view name) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto [line, next] = LineAt(text, pos);
        if (line.empty()) {
            return std::nullopt;  // the end of the header
        }
        if (line.size() > name.size() && line[name.size()] == ':' &&
            SameLetters(line.substr(0, name.size()), name)) {
            std::string value(line.substr(name.size() + 1));
            while (next < text.size() && (text[next] == ' ' || text[next] == '\t')) {
                const auto [more, after] = LineAt(text, next);
                value += more;
                next = after;
            }
            return value;
        }
        pos = next;
    }
    return std::nullopt;
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The address as the "From " line can carry it: one word of printable ASCII.
std::string Usable(std::string_view address) {
    address = Trimmed(address);
    for (const char c : address) {
        if (c <= 0x20 || c >= 0x7F) {
            return std::string(kNoSender);
        }
    }
    return address.empty() ? std::string(kNoSender) : std::string(address);
}

// The addr-spec of the first mailbox of a From: value: the part in angle brackets, or else the
// word holding '@' once comments are gone.
std::string SenderAddress(std::string_view value) {
    std::string bare;
    int depth = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (quoted || depth > 0) {
            if (c == '\\') {
                ++i;
            } else if (quoted && c == '"') {
                quoted = false;
            } else if (!quoted && c == '(') {
                ++depth;
            } else if (!quoted && c == ')') {
                --depth;
            }
            continue;
        }
        if (c == '<') {
            const std::size_t end = value.find('>', i);
            return Usable(value.substr(i + 1, end == std::string_view::npos ? end : end - i - 1));
        }
        if (c == ',') {
            break;
        }
        if (c == '(') {
            depth = 1;
            bare += ' ';
        } else if (c == '"') {
            quoted = true;
            bare += ' ';
        } else {
            bare += c;
        }
    }
    std::string_view rest = bare;
    while (!(rest = Trimmed(rest)).empty()) {
        const std::size_t blank = rest.find_first_of(" \t");
        const std::string_view word = rest.substr(0, blank);
        if (word.find('@') != std::string_view::npos) {
            return Usable(word);
        }
        if (blank == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(blank);
    }
    return std::string(kNoSender);
}

std::optional<std::time_t> MessageTime(std::string_view text) {
    const auto date = RawField(text, "Date");
    return date ? ParseMailDate(*date) : std::nullopt;
}

[[noreturn]] void RaiseFolder(const std::string& folder, int error) {
    TMessage message = Msg(CoreMsg::FolderCannotCreate, {{"path", folder}});
    // As for a mailbox's own folder: one the destination cannot hold says that it holds none.
    if (error == EACCES || error == EPERM || error == EROFS || error == ENOSPC || error == EDQUOT) {
        throw FolderError(message, ErrnoText(error));
    }
    throw Exception(message, ErrnoText(error));
}

void MakeFolder(const std::string& folder) {
    if (!CreateDirectories(folder)) {
        RaiseFolder(folder, errno);
    }
}

std::string WithoutSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

// Owns a descriptor.
struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    explicit Descriptor(int f) : fd(f) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

}  // namespace

std::string MboxFromLine(std::string_view text) {
    const auto from = RawField(text, "From");
    const std::time_t when = MessageTime(text).value_or(0);
    std::tm utc{};
    char date[64] = "Thu Jan  1 00:00:00 1970";
    if (::gmtime_r(&when, &utc) != nullptr) {
        std::strftime(date, sizeof date, "%a %b %e %H:%M:%S %Y", &utc);
    }
    return "From " + (from ? SenderAddress(*from) : std::string(kNoSender)) + " " + date + "\n";
}

void AppendMboxBody(std::string_view text, std::string& out) {
    out.reserve(out.size() + text.size() + 64);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto [line, next] = LineAt(text, pos);
        const std::size_t first = line.find_first_not_of('>');
        if (first != std::string_view::npos && line.substr(first).starts_with("From ")) {
            out += '>';
        }
        out += line;
        out += '\n';
        pos = next;
    }
}

struct TMailboxOutput::RunState {
    std::set<std::string> named_mboxes;  // mbox files this run has written
    // Per Maildir folder: per hash of a message's bytes, the next "-n" this run has not tried.
    std::unordered_map<std::string, std::unordered_map<std::uint64_t, std::uint32_t>> claims;
};

class TMailboxOutput::Container {
  public:
    virtual ~Container() = default;
    virtual std::string Add(std::string_view text, bool* already_there) = 0;
    virtual std::int64_t Unnamed() const { return 0; }
    virtual void Finish() {}
};

namespace {

bool NeedsQuoting(std::string_view line) {
    const std::size_t first = line.find_first_not_of('>');
    return first != std::string_view::npos && line.substr(first).starts_with("From ");
}

// The size of what AppendMboxBody makes of text.
std::size_t MboxBodySize(std::string_view text) {
    std::size_t size = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const auto [line, next] = LineAt(text, pos);
        size += line.size() + 1 + (NeedsQuoting(line) ? 1 : 0);
        pos = next;
    }
    return size;
}

constexpr std::size_t kDiffers = std::numeric_limits<std::size_t>::max();
constexpr std::size_t kCutShort = kDiffers - 1;

// How many bytes at the start of stored are what AppendMboxBody makes of text, compared
// without making it; kDiffers when they differ, kCutShort when stored ends first.
std::size_t MatchMboxBody(std::string_view text, std::string_view stored) {
    std::size_t at = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const auto [line, next] = LineAt(text, pos);
        const bool quoted = NeedsQuoting(line);
        if (stored.size() - at < line.size() + (quoted ? 2 : 1)) {
            return kCutShort;
        }
        if (quoted && stored[at++] != '>') {
            return kDiffers;
        }
        if (stored.substr(at, line.size()) != line || stored[at + line.size()] != '\n') {
            return kDiffers;
        }
        at += line.size() + 1;
        pos = next;
    }
    return at;
}

// A message's bytes as an mbox file holds them, whose last line is an empty one: mail readers
// take that line for the separator in front of the next "From " line, not for the message's.
bool EndsWithEmptyLine(std::string_view body) {
    return body == "\n" || body.ends_with("\n\n");
}

// An existing file read front to back through a buffer of bounded size (a megabyte, or one
// message when that is longer), so that a file of any size is read once and never held whole.
class ReadWindow {
  public:
    ReadWindow(int fd, std::uint64_t size, const std::string& path)
        : fd_(fd), size_(size), path_(path) {}

    std::uint64_t FileSize() const { return size_; }

    // The bytes at offset, length of them or fewer where the file ends. A range that begins
    // inside the buffer or right after it reads ahead; one elsewhere reads only itself.
    std::string_view View(std::uint64_t offset, std::size_t length) {
        if (offset >= size_) {
            return {};
        }
        length = static_cast<std::size_t>(std::min<std::uint64_t>(length, size_ - offset));
        const std::uint64_t end = start_ + buffer_.size();
        if (offset >= start_ && offset + length <= end) {
            return std::string_view(buffer_).substr(static_cast<std::size_t>(offset - start_),
                                                    length);
        }
        std::size_t kept = 0;
        std::size_t wanted = length;
        if (offset >= start_ && offset <= end) {
            kept = static_cast<std::size_t>(end - offset);
            std::memmove(buffer_.data(), buffer_.data() + (offset - start_), kept);
            wanted = static_cast<std::size_t>(
                std::min<std::uint64_t>(std::max(length, kAhead), size_ - offset));
        }
        buffer_.resize(wanted);
        start_ = offset;
        while (kept < wanted) {
            const ssize_t n = ::pread(fd_, buffer_.data() + kept, wanted - kept,
                                      static_cast<off_t>(offset + kept));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                buffer_.clear();
                throw Exception(Msg(CoreMsg::FileCannotRead, {{"path", path_}}), ErrnoText(errno));
            }
            if (n == 0) {
                break;  // shorter than it was: the rest is not there
            }
            kept += static_cast<std::size_t>(n);
        }
        buffer_.resize(kept);
        return std::string_view(buffer_).substr(0, std::min(length, kept));
    }

    // What the buffer holds from offset on, read ahead when that is fewer than least bytes
    // (fewer only where the file ends).
    std::string_view Ahead(std::uint64_t offset, std::size_t least) {
        if (offset >= start_ && offset + least <= start_ + buffer_.size()) {
            return std::string_view(buffer_).substr(static_cast<std::size_t>(offset - start_));
        }
        return View(offset, std::max(least, kAhead));
    }

    // The offset of the first line at or after offset (which begins a line) that begins with
    // "From ", or the file's size.
    std::uint64_t NextFromLine(std::uint64_t offset) {
        if (View(offset, 5) == "From ") {
            return offset;
        }
        constexpr std::string_view kAfterLineEnd = "\nFrom ";
        for (std::uint64_t at = offset;;) {
            const std::string_view piece = Ahead(at, kAfterLineEnd.size());
            const std::size_t found = piece.find(kAfterLineEnd);
            if (found != std::string_view::npos) {
                return at + found + 1;
            }
            if (at + piece.size() >= size_) {
                return size_;
            }
            at += piece.size() - (kAfterLineEnd.size() - 1);
        }
    }

    // The offset after the line that begins at offset, or the file's size.
    std::uint64_t NextLine(std::uint64_t offset) {
        for (std::uint64_t at = offset;;) {
            const std::string_view piece = Ahead(at, 1);
            const std::size_t lf = piece.find('\n');
            if (lf != std::string_view::npos) {
                return at + lf + 1;
            }
            if (at + piece.size() >= size_) {
                return size_;
            }
            at += piece.size();
        }
    }

  private:
    static constexpr std::size_t kAhead = std::size_t{1} << 20;
    int fd_;
    std::uint64_t size_;
    const std::string& path_;
    std::uint64_t start_ = 0;  // the file offset of the buffer's first byte
    std::string buffer_;
};

// One mbox file, written unnamed and named at the mailbox's end.
class MboxFile final : public TMailboxOutput::Container {
  public:
    MboxFile(const std::string& folder, bool update, TMailboxOutput::RunState& run)
        : stem_(WithoutSlash(folder)), run_(run) {
        const std::size_t slash = stem_.rfind('/');
        if (slash != std::string::npos && slash > 0) {
            MakeFolder(stem_.substr(0, slash));
        }
        for (;; ++next_name_) {
            path_ = Name(next_name_);
            if (run_.named_mboxes.count(path_) != 0) {
                continue;  // another mailbox's file of this run
            }
            struct stat info {};
            if (::lstat(path_.c_str(), &info) != 0) {
                if (errno != ENOENT) {
                    RaiseFolder(path_, errno);
                }
                break;
            }
            if (update && S_ISREG(info.st_mode)) {
                OpenExisting();
                break;
            }
        }
        ++next_name_;
        if (!existing_) {
            file_.emplace(path_);
        }
    }

    std::string Add(std::string_view text, bool* already_there) override {
        if (existing_) {
            if (FindStored(text)) {
                *already_there = true;
                return path_;
            }
            if (!file_) {
                // Something new: the file becomes a copy of the existing one with the new
                // messages after it, put in its place once complete.
                file_.emplace(path_);
                try {
                    file_->AppendFileContents(path_);
                    file_->Append(existing_end_);
                } catch (...) {
                    file_.reset();
                    throw;
                }
            }
        }
        out_ = MboxFromLine(text);
        AppendMboxBody(text, out_);
        out_ += '\n';
        file_->Append(out_);
        ++unnamed_;
        return path_;
    }

    std::int64_t Unnamed() const override { return unnamed_; }

    void Finish() override {
        if (!file_) {
            return;  // an update that found every message there
        }
        if (existing_) {
            file_->ReplaceAs(path_);
        } else {
            // The name was free when the mailbox began; something may have taken it since.
            while (!file_->LinkAs(path_)) {
                do {
                    path_ = Name(next_name_++);
                } while (run_.named_mboxes.count(path_) != 0);
            }
        }
        run_.named_mboxes.insert(path_);
        file_.reset();
        unnamed_ = 0;
    }

  private:
    struct Stored {
        std::uint64_t offset = 0;
        std::size_t length = 0;
        bool matched = false;  // by a message of this run
    };
    // The stored messages of one length not yet matched in this run.
    struct Bucket {
        std::vector<std::size_t> unkeyed;
        std::unordered_multimap<std::uint64_t, std::size_t> keyed;  // by EndsKey
    };

    std::string Name(int n) const {
        if (n == std::numeric_limits<int>::max()) {
            RaiseFolder(stem_ + std::string(kMboxExtension), EEXIST);
        }
        return stem_ + (n < 0 ? std::string() : "(" + std::to_string(n) + ")") +
               std::string(kMboxExtension);
    }

    // The existing file is read as the messages come: a run over the same mailbox gives them
    // in the order they are stored, so each is compared with the stored message after the
    // last one found, and the file is read once. A message ends before the empty line in
    // front of the next "From " line (or the end), as mail readers split an mbox file.
    void OpenExisting() {
        existing_.emplace(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        struct stat info {};
        if (existing_->fd < 0 || ::fstat(existing_->fd, &info) != 0) {
            throw Exception(Msg(CoreMsg::FileCannotRead, {{"path", path_}}), ErrnoText(errno));
        }
        window_.emplace(existing_->fd, static_cast<std::uint64_t>(info.st_size), path_);
        const std::uint64_t size = window_->FileSize();
        const std::string_view tail = window_->View(size - std::min<std::uint64_t>(size, 2), 2);
        // What the copy needs after it so that the next "From " line opens a message.
        existing_end_ = size == 0 || tail == "\n\n" ? "" : tail.ends_with("\n") ? "\n" : "\n\n";
        const std::uint64_t first = window_->NextFromLine(0);
        if (first < size) {
            scan_ = window_->NextLine(first);
        } else {
            all_indexed_ = true;
        }
    }

    // A stored message of the bytes AppendMboxBody makes of text, not matched before in this
    // run; it is used up.
    bool FindStored(std::string_view text) {
        if (next_ < stored_.size()) {
            Stored& expected = stored_[next_];
            if (!expected.matched &&
                MatchMboxBody(text, window_->View(expected.offset, expected.length)) ==
                    expected.length) {
                expected.matched = true;
                ++next_;
                return true;
            }
        } else if (!all_indexed_ && TakeAtScan(text)) {
            next_ = stored_.size();
            return true;
        }
        IndexRest();
        return FindByLength(text, MboxBodySize(text));
    }

    // Whether the message the reading has come to holds text; if so it is indexed, and the
    // reading goes on after it. Its end is checked as IndexRest finds it. The bytes are
    // compared as the mbox form is worked out: room for a few quoted lines is read, and only a
    // message that needs more has its size worked out first.
    bool TakeAtScan(std::string_view text) {
        std::size_t room = text.size() + text.size() / 8 + 64;
        std::string_view stored = window_->View(scan_, room);
        std::size_t length = MatchMboxBody(text, stored);
        if (length == kCutShort && stored.size() == room) {
            room = MboxBodySize(text);
            stored = window_->View(scan_, room);
            length = MatchMboxBody(text, stored);
        }
        if (length == kCutShort || length == kDiffers) {
            return false;
        }
        const bool empty_line = EndsWithEmptyLine(stored.substr(0, length));
        const std::string_view after = window_->View(scan_ + length, 6);
        std::uint64_t from_line = 0;
        if (after.empty() || after == "\n") {
            if (after.empty() && empty_line) {
                return false;
            }
            all_indexed_ = true;
        } else if (after.starts_with("\nFrom ")) {
            from_line = scan_ + length + 1;
        } else if (after.starts_with("From ") && !empty_line) {
            from_line = scan_ + length;
        } else {
            return false;
        }
        stored_.push_back({scan_, length, true});
        if (!all_indexed_) {
            scan_ = window_->NextLine(from_line);
        }
        return true;
    }

    // Indexes the stored messages from the reading's place to the end of the file.
    void IndexRest() {
        while (!all_indexed_) {
            const std::uint64_t end = window_->NextFromLine(scan_);
            const std::size_t size = static_cast<std::size_t>(end - scan_);
            const std::size_t tail = std::min<std::size_t>(size, 2);
            const bool empty_line = EndsWithEmptyLine(window_->View(end - tail, tail));
            stored_.push_back({scan_, size - (empty_line ? 1 : 0)});
            if (end < window_->FileSize()) {
                scan_ = window_->NextLine(end);
            } else {
                all_indexed_ = true;
            }
        }
        if (!by_length_ready_) {
            by_length_ready_ = true;
            for (std::size_t i = 0; i < stored_.size(); ++i) {
                if (!stored_[i].matched) {
                    by_length_[stored_[i].length].unkeyed.push_back(i);
                }
            }
        }
    }

    // A length that several stored messages share is told apart by a hash of each one's first
    // and last bytes, read once, so that many messages of one length cost no comparison of
    // each with each.
    bool FindByLength(std::string_view text, std::size_t length) {
        const auto bucket = by_length_.find(length);
        if (bucket == by_length_.end()) {
            return false;
        }
        Bucket& b = bucket->second;
        std::erase_if(b.unkeyed, [&](std::size_t index) { return stored_[index].matched; });
        if (b.unkeyed.size() == 1 && b.keyed.empty()) {
            if (!TryMatch(b.unkeyed.front(), text, length)) {
                return false;
            }
            b.unkeyed.clear();
            return true;
        }
        for (const std::size_t index : b.unkeyed) {
            b.keyed.emplace(StoredKey(stored_[index]), index);
        }
        b.unkeyed.clear();
        body_.clear();
        AppendMboxBody(text, body_);
        const auto [first, last] = b.keyed.equal_range(EndsKey(body_));
        for (auto it = first; it != last; ++it) {
            if (stored_[it->second].matched) {
                continue;
            }
            if (TryMatch(it->second, text, length)) {
                b.keyed.erase(it);
                return true;
            }
        }
        return false;
    }

    bool TryMatch(std::size_t index, std::string_view text, std::size_t length) {
        Stored& stored = stored_[index];
        if (MatchMboxBody(text, window_->View(stored.offset, length)) != length) {
            return false;
        }
        stored.matched = true;
        next_ = index + 1;
        return true;
    }

    static constexpr std::size_t kKeyBytes = 256;

    static std::uint64_t EndsKey(std::string_view bytes) {
        const std::size_t n = std::min(kKeyBytes, bytes.size());
        return HashBytes(std::string(bytes.substr(0, n)) +
                         std::string(bytes.substr(bytes.size() - n)));
    }

    std::uint64_t StoredKey(const Stored& stored) {
        const std::size_t n = std::min(kKeyBytes, stored.length);
        const std::string ends = std::string(window_->View(stored.offset, n)) +
                                 std::string(window_->View(stored.offset + stored.length - n, n));
        return ends.size() == 2 * n ? HashBytes(ends) : 0;  // cut short: compared, and different
    }

    std::string stem_;
    TMailboxOutput::RunState& run_;
    std::string path_;
    int next_name_ = -1;  // -1: the name without "(n)"
    std::optional<GrowingFile> file_;
    std::int64_t unnamed_ = 0;
    std::string out_;   // the message being added, kept for its room
    std::string body_;  // a message's mbox form, when it is looked up by length
    // With update: the existing file, its messages as far as they are indexed, and what must
    // follow a copy of it.
    std::optional<Descriptor> existing_;
    std::optional<ReadWindow> window_;
    std::vector<Stored> stored_;
    std::size_t next_ = 0;      // the stored message expected next
    std::uint64_t scan_ = 0;    // where the next stored message not indexed begins
    bool all_indexed_ = false;  // every stored message is in stored_
    std::unordered_map<std::size_t, Bucket> by_length_;  // once every message is indexed
    bool by_length_ready_ = false;
    std::string existing_end_;
};

// One Maildir: each message a file of its own in cur/.
class Maildir final : public TMailboxOutput::Container {
  public:
    Maildir(const std::string& folder, bool update, TMailboxOutput::RunState& run)
        : folder_(folder), update_(update), claims_(run.claims[folder]) {
        for (const char* sub : {"cur", "new", "tmp"}) {
            MakeFolder(folder_ + sub);
        }
        if (update_) {
            folder_fd_.fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (folder_fd_.fd < 0) {
                RaiseFolder(folder_, errno);
            }
        }
        // A message is known by the part of its name before the colon; its flags change as
        // it is read.
        for (const char* sub : {"cur", "new"}) {
            const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir((folder_ + sub).c_str()),
                                                          ::closedir);
            if (!dir) {
                RaiseFolder(folder_ + sub, errno);
            }
            while (const dirent* entry = ::readdir(dir.get())) {
                const std::string_view name = entry->d_name;
                if (!name.starts_with('.')) {
                    existing_.emplace(name.substr(0, name.find(':')),
                                      std::string(sub) + "/" + std::string(name));
                }
            }
        }
    }

    std::string Add(std::string_view text, bool* already_there) override {
        lf_.clear();
        lf_.reserve(text.size());
        for (std::size_t pos = 0; pos < text.size();) {
            const std::size_t crlf = text.find("\r\n", pos);
            const std::size_t end = crlf == std::string_view::npos ? text.size() : crlf;
            lf_.append(text.substr(pos, end - pos));
            if (crlf == std::string_view::npos) {
                break;
            }
            lf_ += '\n';
            pos = crlf + 2;
        }
        const std::uint64_t hash = HashBytes(lf_);
        const std::string base = Hex(hash);
        std::optional<UnnamedFile> file;
        // Names this run gave out (or found holding a message of its own) are taken, so that
        // a message given twice gets a second file, as it would have in one whole run.
        std::uint32_t& n = claims_[hash];
        for (;; ++n) {
            const std::string unique = n == 0 ? base : base + "-" + std::to_string(n);
            if (const auto known = existing_.find(unique); known != existing_.end()) {
                if (update_ && Holds(known->second, lf_)) {
                    ++n;
                    *already_there = true;
                    return folder_ + known->second;
                }
                continue;
            }
            const std::string path = folder_ + "cur/" + unique + std::string(kMaildirInfo);
            if (!file) {
                file.emplace(UnnamedFile::Deferred{}, folder_ + "cur/", lf_, false);
                if (const auto when = MessageTime(text)) {
                    file->SetModificationTime(*when);
                }
            }
            if (file->LinkAs(path)) {
                ++n;
                return path;
            }
        }
    }

  private:
    // Whether the regular file at name (under the folder) holds exactly data; one that cannot
    // be read counts as another. Opened from the folder's descriptor, checked by the open
    // file's size, and read into one buffer kept for the run: checking every message of a
    // large Maildir costs little more than reading it.
    bool Holds(const std::string& name, std::string_view data) {
        const Descriptor file(
            ::openat(folder_fd_.fd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        struct stat info {};
        if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) ||
            static_cast<std::uint64_t>(info.st_size) != data.size()) {
            return false;
        }
        held_.resize(std::min<std::size_t>(data.size(), 64 * 1024));
        for (std::size_t done = 0; done < data.size();) {
            const ssize_t n =
                ::read(file.fd, held_.data(), std::min(held_.size(), data.size() - done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0 || data.substr(done, static_cast<std::size_t>(n)) !=
                              std::string_view(held_.data(), static_cast<std::size_t>(n))) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    std::string folder_;
    bool update_;
    Descriptor folder_fd_;  // with update
    std::string held_;      // a stored message being compared
    std::unordered_map<std::uint64_t, std::uint32_t>& claims_;
    std::unordered_map<std::string, std::string> existing_;  // unique part → "cur/name"
    std::string lf_;
};

}  // namespace

TMailboxOutput::TMailboxOutput(TOutputFormat format, bool update)
    : format_(format), update_(update), state_(std::make_unique<RunState>()) {}

TMailboxOutput::~TMailboxOutput() = default;

void TMailboxOutput::Open(const std::vector<std::string>& folders) {
    std::vector<std::pair<std::string, std::unique_ptr<Container>>> opened;
    for (const std::string& folder : folders) {
        std::unique_ptr<Container> container;
        if (format_ == TOutputFormat::Mbox) {
            container = std::make_unique<MboxFile>(folder, update_, *state_);
        } else {
            container = std::make_unique<Maildir>(folder, update_, *state_);
        }
        opened.emplace_back(folder, std::move(container));
    }
    containers_ = std::move(opened);
}

std::string TMailboxOutput::Add(const std::string& folder, std::string_view text,
                                bool* already_there) {
    *already_there = false;
    for (auto& [name, container] : containers_) {
        if (name == folder) {
            return container->Add(text, already_there);
        }
    }
    throw Exception(Msg(CoreMsg::FolderCannotCreate, {{"path", folder}}));
}

std::int64_t TMailboxOutput::Unnamed() const {
    std::int64_t unnamed = 0;
    for (const auto& entry : containers_) {
        unnamed += entry.second->Unnamed();
    }
    return unnamed;
}

void TMailboxOutput::Finish() {
    std::exception_ptr failure;
    for (auto& entry : containers_) {
        try {
            entry.second->Finish();
        } catch (...) {
            failure = failure ? failure : std::current_exception();
        }
    }
    containers_.clear();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

}  // namespace brindle
