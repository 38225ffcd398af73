#include "mailbox/dbx_parser.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <unordered_set>
#include <utility>

#include "mailbox/dbx_layout.hpp"
#include "mailbox/dbx_salvage.hpp"
#include "platform/exception.hpp"
#include "platform/report.hpp"

namespace brindle {

using namespace dbx;

namespace {

constexpr unsigned char kOe4Mailbox[] = {'J', 'M', 'F', '6'};  // Outlook Express 4 (.mbx)

// A folder record's attributes are a few numbers and names: a longer record is damaged.
constexpr std::int64_t kMaxFolderRecord = 64 * 1024;

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

// Adds a sentence to a text of sentences: Japanese runs them together, English puts a space
// between them.
void AppendSentence(std::string& text, const TMessage& sentence) {
    if (!text.empty() && CurrentLanguage() == Language::English) {
        text += ' ';
    }
    text += sentence.Render();
}

// Whether the 12 bytes at `record` are a message info record's head: it names its own offset,
// has attributes, and a length after its head that holds them and lies in the file. An index
// node also names its own offset, but not the rest.
bool IsRecordHead(const unsigned char* head, std::int64_t record, const TDBXFile& file) {
    const std::int64_t length = LeInt32(head + kRecordLength);
    const unsigned attributes = head[kRecordAttributeCount];
    return Le32(head + kSelfOffset) == static_cast<std::uint32_t>(record) && attributes > 0 &&
           length >= 4 * static_cast<std::int64_t>(attributes) &&
           file.Holds(record, kRecordAttributes + length);
}

// What the file's first bytes say it is, when it is no message folder; nothing for one.
std::optional<CoreMsg> SignatureProblem(std::int64_t size, const unsigned char* header) {
    if (size == 0) {
        return CoreMsg::DbxEmptyFile;
    }
    const std::uint32_t magic = Le32(header);
    if (size >= 8 && magic == kMagic) {
        switch (Le32(header + 4)) {
            case kMessageFolder:
                if (size < kHeaderFieldsEnd) {
                    return CoreMsg::DbxCutHeader;
                }
                return std::nullopt;
            case kFolderList:
                return CoreMsg::DbxIsFolderList;
            case kPop3Record:
                return CoreMsg::DbxIsPop3Record;
            case kOfflineRecord:
                return CoreMsg::DbxIsOfflineRecord;
            default:
                return CoreMsg::DbxIsOtherDbx;
        }
    }
    if (size >= 4 && std::equal(std::begin(kOe4Mailbox), std::end(kOe4Mailbox), header)) {
        return CoreMsg::DbxIsOe4Mailbox;
    }
    // The first bytes of the magic number and nothing after them: a copy cut short.
    const auto magic_bytes = std::min<std::int64_t>(size, 4);
    const std::uint32_t mask =
        magic_bytes >= 4 ? 0xFFFFFFFFu : (1u << (8 * static_cast<unsigned>(magic_bytes))) - 1;
    if (size < 8 && (magic & mask) == (kMagic & mask)) {
        return CoreMsg::DbxCutHeader;
    }
    return CoreMsg::DbxNotMailbox;
}

}  // namespace

TDBXParser::TDBXParser(const std::filesystem::path& path, bool salvage, TDbxKind kind)
    : file_(std::make_unique<TDBXFile>(path)),
      salvage_requested_(salvage && kind == TDbxKind::MessageFolder),
      kind_(kind) {}

TDBXParser::~TDBXParser() = default;

std::int32_t TDBXParser::GetMailCount() {
    if (!file_->IsOpen()) {
        throw Exception(Msg(CoreMsg::DbxOpenFailed), file_->OpenError());
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
    if (kind_ == TDbxKind::FolderList) {
        if (size < kHeaderFieldsEnd || Le32(header) != kMagic || Le32(header + 4) != kFolderList) {
            throw Exception(Msg(CoreMsg::DbxNoFolderList));
        }
        return;
    }
    const std::optional<CoreMsg> problem = SignatureProblem(size, header);
    if (!problem) {
        return;
    }
    // A file whose first sector was overwritten may still hold its messages; only a scan that
    // the user asked for looks for them.
    if (*problem != CoreMsg::DbxNotMailbox || !salvage_requested_ || size < kHeaderFieldsEnd) {
        throw Exception(Msg(*problem));
    }
    damage_ = Msg(CoreMsg::DbxHeadNotMailbox).Render();
}

std::optional<std::string> TDBXParser::WhyNoMailbox(const std::filesystem::path& path) {
    const TDBXFile file(path);
    if (!file.IsOpen()) {
        return Msg(CoreMsg::DbxOpenFailedBecause, {{"reason", file.OpenError()}}).Render();
    }
    std::array<unsigned char, kHeaderFieldsEnd> header{};
    file.Read(0, header.data(), header.size());
    if (const auto problem = SignatureProblem(file.Size(), header.data())) {
        return Msg(*problem).Render();
    }
    return std::nullopt;
}

void TDBXParser::BuildMessageList() {
    std::array<unsigned char, kHeaderFieldsEnd> header{};
    file_->Read(0, header.data(), header.size());
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
    // A scan is only as good as what it knows is taken: before it, every listed record is
    // checked. Without a scan, a record is checked when its message is read; a folder list's
    // few records are checked at once, and hold no block chains to scan for.
    const bool scan = (damage_ || salvage_requested_) && kind_ == TDbxKind::MessageFolder;
    if (scan || kind_ == TDbxKind::FolderList) {
        DropForeignRecords();
    }
    indexed_count_ = static_cast<std::int32_t>(records_.size());
    if (scan) {
        Salvage();
    }
    // A file that is no mail folder from its first bytes is one only if the scan found mail.
    if (!header_sound && salvaged_.empty()) {
        throw Exception(Msg(CoreMsg::DbxNotMailbox));
    }
    const auto salvaged = static_cast<std::int32_t>(salvaged_.size()) - deleted_count_;
    if (damage_) {
        warning_ = *damage_;
        AppendSentence(warning_,
                       Msg(CoreMsg::DbxIndexedCount, {{"count", std::to_string(indexed_count_)}}));
    }
    if (salvaged > 0) {
        AppendSentence(warning_,
                       Msg(CoreMsg::DbxSalvagedCount, {{"count", std::to_string(salvaged)}}));
    }
    if (deleted_count_ > 0) {
        AppendSentence(
            warning_, Msg(CoreMsg::DbxRecoveredCount, {{"count", std::to_string(deleted_count_)}}));
    }
    file_->CheckUnchanged();
    walked_ = true;
}

void TDBXParser::DropForeignRecords() {
    // Records are checked in file order, so that the reads follow the file; the list is only
    // touched when a record is foreign, which a sound index never has.
    if (records_.empty()) {
        return;
    }
    std::vector<std::uint32_t> sorted(records_);
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::uint32_t> foreign;
    // Records lie far apart in a large file: each is read on its own, a page at a time, not
    // through the read-ahead window, which would read most of the file to check a few bytes each.
    constexpr std::int64_t kPage = 4096;
    std::array<unsigned char, kPage> page{};
    std::int64_t page_at = -1;
    std::int64_t page_size = 0;
    for (const std::uint32_t record : sorted) {
        if (page_at < 0 || record < page_at || record + kRecordAttributes > page_at + page_size) {
            page_at = record;
            page_size =
                static_cast<std::int64_t>(file_->ReadUncached(record, page.data(), page.size()));
        }
        const auto at = static_cast<std::size_t>(record - page_at);
        if (at + kRecordAttributes > static_cast<std::size_t>(page_size) ||
            !IsRecordHead(page.data() + at, record, *file_)) {
            foreign.push_back(record);
        }
    }
    if (foreign.empty()) {
        return;
    }
    std::vector<std::uint32_t>().swap(sorted);
    NoteDamage(foreign.front(), CoreMsg::DbxDamageForeignRecord);
    std::erase_if(records_, [&](std::uint32_t record) {
        return std::binary_search(foreign.begin(), foreign.end(), record);
    });
}

void TDBXParser::NoteDamage(std::int64_t at, CoreMsg what) {
    // The first damage is the one worth naming; the rest usually follow from it.
    if (!damage_) {
        damage_ = Msg(CoreMsg::DbxIndexDamaged,
                      {{"offset", std::to_string(at)}, {"what", Msg(what).Render()}})
                      .Render();
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
                NoteDamage(node, CoreMsg::DbxDamageNodeOutside);
                return;
            }
            std::array<unsigned char, kNodeEntries> fields{};
            file_->Read(node, fields.data(), fields.size());
            // A pointer off by some bytes, or into a record or another node's entries, lands
            // on bytes that do not name the node's own offset.
            if (Le32(fields.data() + kSelfOffset) != static_cast<std::uint32_t>(node)) {
                NoteDamage(node, CoreMsg::DbxDamageNotNode);
                return;
            }
            const int entries = fields[kNodeEntryCount];
            // A node that overlaps one already entered: the tree points back into itself.
            if (!taken.Add(node, node + kNodeEntries + kEntrySize * entries)) {
                NoteDamage(node, CoreMsg::DbxDamageLoop);
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
        const std::size_t got =
            file_->Read(first, buffer.data(), static_cast<std::size_t>(kEntrySize * wanted));
        int next = frame.next;
        std::int64_t child = 0;
        bool has_child = false;
        while (next < frame.entries && !has_child) {
            const std::size_t at = static_cast<std::size_t>(kEntrySize * (next - frame.next));
            if (at + kEntrySize > got) {
                NoteDamage(first + static_cast<std::int64_t>(at), CoreMsg::DbxDamageCut);
                next = frame.entries;
                break;
            }
            // An entry whose record lies outside the file, or that repeats one listed before,
            // lists no message of its own; salvage finds the text if it is still there.
            const std::int64_t record = LeInt32(buffer.data() + at);
            if (record < kHeaderFieldsEnd || !file_->Holds(record, kRecordFieldsEnd)) {
                NoteDamage(first + static_cast<std::int64_t>(at), CoreMsg::DbxDamageRecordOutside);
            } else if (!first_listing(static_cast<std::uint32_t>(record))) {
                NoteDamage(first + static_cast<std::int64_t>(at), CoreMsg::DbxDamageRecordTwice);
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
    // theirs: none of it may come back as a message of its own. Their texts are remembered
    // too, so that an old copy of a listed message (a compacted file keeps them in its free
    // space) is not delivered a second time. Damage in a listed message is its own error, for
    // when it is read; a read error of the system is the file's.
    std::vector<std::int64_t> first_blocks;
    std::unordered_set<std::size_t> texts;
    for (std::int32_t i = 0; i < indexed_count_; ++i) {
        const std::int64_t record = records_[static_cast<std::size_t>(i)];
        try {
            const std::int64_t block = FirstBlockOf(record);
            first_blocks.push_back(block);
            texts.insert(std::hash<std::string>{}(block == 0 ? std::string()
                                                             : ReadBlockChain(block, 0, nullptr)));
        } catch (const MailboxError&) {
            throw;
        } catch (const Exception&) {
        }
    }
    const std::vector<TRegion> used = FindUsedBlocks(*file_, first_blocks);
    std::vector<std::int64_t>().swap(first_blocks);
    const std::vector<TScannedBlock> blocks = ScanBlocks(*file_, used);

    // A chain is delivered when it holds some text, reads as mail, and no message before it
    // has the same text.
    for (const TFoundChain& chain : AssembleChains(blocks)) {
        if (records_.size() + salvaged_.size() >= static_cast<std::size_t>(INT32_MAX)) {
            break;
        }
        try {
            const std::string text = chain.deleted
                                         ? ReadDeletedChain(chain.first_block, chain.shift)
                                         : ReadBlockChain(chain.first_block, chain.shift, nullptr);
            if (text.empty() || !LooksLikeMail(text, chain.deleted) ||
                !texts.insert(std::hash<std::string>{}(text)).second) {
                continue;
            }
        } catch (const MailboxError&) {
            throw;
        } catch (const Exception&) {
            continue;
        }
        salvaged_.push_back(Salvaged{chain.first_block, chain.shift, chain.deleted});
        deleted_count_ += chain.deleted ? 1 : 0;
    }
    // Recovered messages come last, so that a run meets them after every whole one.
    std::stable_partition(salvaged_.begin(), salvaged_.end(),
                          [](const Salvaged& s) { return !s.deleted; });
}

std::vector<std::string> TDBXParser::GetWarnings() const {
    if (!walked_) {
        return {};
    }
    // A damaged index is said once, in words, with what it cost; a header count that merely
    // disagrees with a sound walk is said as such. A count above what was found is the run's
    // to report, as messages lost (GetMissingCount).
    if (!warning_.empty()) {
        return {warning_};
    }
    const std::size_t found = records_.size() + salvaged_.size();
    if (header_count_ >= static_cast<std::int32_t>(found)) {
        return {};
    }
    return {Msg(CoreMsg::DbxHeaderCountDiffers,
                {{"header", std::to_string(header_count_)}, {"found", std::to_string(found)}})
                .Render()};
}

std::int32_t TDBXParser::GetMissingCount() const {
    if (!walked_) {
        return 0;
    }
    const auto found =
        static_cast<std::int64_t>(records_.size() + salvaged_.size()) - deleted_count_;
    return static_cast<std::int32_t>(std::max<std::int64_t>(0, header_count_ - found));
}

TMessageOrigin TDBXParser::GetOrigin(std::int32_t index) {
    return At(index).deleted ? TMessageOrigin::Recovered : TMessageOrigin::Listed;
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
        return Message{records_[static_cast<std::size_t>(index)], 0, false, false};
    }
    const Salvaged& salvaged = salvaged_[static_cast<std::size_t>(index - indexed_count_)];
    return Message{salvaged.first_block, salvaged.shift, true, salvaged.deleted};
}

std::string TDBXParser::ReadMailText(std::int32_t index) {
    const Message message = At(index);
    std::string text;
    std::optional<TMessage> damage;
    if (message.deleted) {
        text = ReadDeletedChain(message.offset, message.shift);
    } else if (message.salvaged) {
        text = ReadBlockChain(message.offset, message.shift, &damage);
    } else if (const std::int64_t first = FirstBlockOf(message.offset); first != 0) {
        text = ReadBlockChain(first, 0, &damage);
    } else if (RecordAddress(message.offset) != 0) {
        // Whoever reads the message hears of it: during a run as that message's warning.
        damage = Msg(CoreMsg::DbxNoText);
    }
    // Read whole before any change, or not delivered at all.
    file_->CheckUnchanged();
    if (damage) {
        RaiseWarning(std::move(*damage));
    }
    return text;
}

std::vector<TRecordField> TDBXParser::ReadRecordFields(std::int32_t index) {
    const Message message = At(index);
    if (message.salvaged) {
        return {};
    }
    const std::int64_t record = message.offset;
    std::array<unsigned char, kRecordAttributes> head{};
    if (file_->Read(record, head.data(), head.size()) != head.size() ||
        !IsRecordHead(head.data(), record, *file_)) {
        throw Exception(Msg(CoreMsg::DbxNotRecord));
    }
    const std::int64_t length =
        std::min<std::int64_t>(LeInt32(head.data() + kRecordLength), kMaxFolderRecord);
    std::string body(static_cast<std::size_t>(length), '\0');
    body.resize(file_->Read(record + kRecordAttributes, body.data(), body.size()));
    const std::size_t count = head[kRecordAttributeCount];
    const std::size_t data_area = 4 * count;
    std::vector<TRecordField> fields;
    for (std::size_t k = 0; k < count && 4 * k + 4 <= body.size(); ++k) {
        const auto* entry = reinterpret_cast<const unsigned char*>(body.data() + 4 * k);
        TRecordField field;
        field.id = static_cast<std::uint8_t>(entry[0] & ~kDirectValueBit);
        field.value = Le32(entry) >> 8;
        if ((entry[0] & kDirectValueBit) == 0) {
            const std::size_t at = data_area + field.value;
            field.value = 0;
            if (at < body.size()) {
                if (at + 4 <= body.size()) {
                    field.value = Le32(reinterpret_cast<const unsigned char*>(body.data() + at));
                }
                const std::size_t end = body.find('\0', at);
                field.data = body.substr(at, end == std::string::npos ? end : end - at);
            }
        }
        fields.push_back(std::move(field));
    }
    return fields;
}

std::int64_t TDBXParser::FirstBlockOf(std::int64_t record) const {
    if (const std::int64_t first = LocateFirstBlock(record); first != 0) {
        return first;
    }
    // The rule that an address in entry 4 means no text stored would lose a message whose
    // record keeps its address there: wherever the record names the address, a block there is
    // read.
    const std::int64_t named = RecordAddress(record);
    std::array<unsigned char, 4> self{};
    if (named == 0 || !file_->Holds(named, kBlockText) ||
        file_->Read(named, self.data(), self.size()) != self.size() ||
        Le32(self.data()) != static_cast<std::uint32_t>(named)) {
        return 0;
    }
    return named;
}

std::int64_t TDBXParser::RecordAddress(std::int64_t record) const {
    // The first attribute entry whose id is exactly the message address, wherever it stands.
    std::array<unsigned char, kRecordAttributes + 4 * 255> fields{};
    const std::size_t got = file_->Read(record, fields.data(), fields.size());
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
        if (!file_->Holds(slot, 4) || file_->Read(slot, address.data(), address.size()) != 4) {
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
        throw Exception(Msg(CoreMsg::DbxRecordOutsideFile));
    }
    std::array<unsigned char, kRecordFieldsEnd> fields{};
    file_->Read(record, fields.data(), fields.size());
    if (!IsRecordHead(fields.data(), record, *file_)) {
        throw Exception(Msg(CoreMsg::DbxNotRecord));
    }
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
        throw Exception(Msg(CoreMsg::DbxAddressOutsideFile));
    }
    std::array<unsigned char, 4> address{};
    file_->Read(at, address.data(), address.size());
    const std::int32_t first = LeInt32(address.data());
    if (first < 0) {
        throw Exception(Msg(CoreMsg::DbxBlockFailed));
    }
    return first;
}

std::string TDBXParser::ReadBlockChain(std::int64_t first_block, std::int64_t shift,
                                       std::optional<TMessage>* damage) const {
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
            throw Exception(Msg(CoreMsg::DbxBlockFailed));
        }
        // Straight from the read-ahead window into the text, without a copy in between.
        const std::string_view view = file_->View(block, kBlockText + kBlockCapacity);
        const auto* fields = reinterpret_cast<const unsigned char*>(view.data());
        // A block that does not name where it was written is not the block the chain meant.
        if (LeInt32(fields + kSelfOffset) != block - shift) {
            throw Exception(Msg(CoreMsg::DbxBlockFailed));
        }
        const std::int64_t room = LeInt32(fields + kBlockRoom);
        std::int64_t length = LeInt32(fields + kBlockLength);
        const std::int32_t next = LeInt32(fields + kBlockNext);
        const bool room_sound = room > 0 && room <= kBlockCapacity;
        const std::int64_t in_file = static_cast<std::int64_t>(view.size()) - kBlockText;
        const bool length_sound =
            length >= 0 && length <= kBlockCapacity && (!room_sound || length <= room);
        if (length_sound && length > in_file) {
            throw Exception(
                Msg(CoreMsg::DbxBlockFailed));  // the file ends inside the text: a copy cut short
        }
        if (!length_sound) {
            // The block's text is read as far as the block's room goes: its own bytes, whatever
            // its length says. The message is delivered and said to be damaged.
            const std::int64_t cut =
                std::min(room_sound ? room : kOutlookBlockRoom, std::max<std::int64_t>(in_file, 0));
            if (damage != nullptr && !*damage) {
                *damage = Msg(CoreMsg::DbxBadBlockLength, {{"offset", std::to_string(block)},
                                                           {"length", std::to_string(length)},
                                                           {"read", std::to_string(cut)}});
            }
            length = cut;
        }
        // Blocks of one chain never share bytes; one that does closes a loop.
        if (!taken.Add(block, block + kBlockText + length)) {
            throw Exception(Msg(CoreMsg::DbxBlockFailed));
        }
        if (text.size() + static_cast<std::size_t>(length) > kPiece) {
            pieces.push_back(std::move(text));
            text = std::string();
            text.reserve(kPiece);
        }
        text.append(view.data() + kBlockText, static_cast<std::size_t>(length));
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

std::string TDBXParser::ReadDeletedChain(std::int64_t first_block, std::int64_t shift) const {
    // Each block gives its whole room: how much of it the text filled is lost with the length,
    // and the first bytes, which now hold the previous block's offset, become blanks. The chain
    // is read as far as its blocks are free blocks; what follows the text in the last block is
    // the zero fill of a block never written to, or stale bytes of an older text.
    std::string text;
    RegionSet taken;
    std::int64_t block = first_block;
    while (block != 0 && file_->Holds(block, kBlockText)) {
        const std::string_view view = file_->View(block, kBlockText + kOutlookBlockRoom);
        const auto* fields = reinterpret_cast<const unsigned char*>(view.data());
        const auto room = static_cast<std::int64_t>(view.size()) - kBlockText;
        if (LeInt32(fields + kSelfOffset) != block - shift ||
            LeInt32(fields + kBlockRoom) != kFreeBlockRoom ||
            LeInt32(fields + kBlockLength) != kFreeBlockLength ||
            !taken.Add(block, block + kBlockText + room)) {
            break;
        }
        const std::size_t lost =
            std::min<std::size_t>(kFreeBlockClobbered, static_cast<std::size_t>(room));
        text.append(lost, ' ');
        text.append(view.data() + kBlockText + lost, static_cast<std::size_t>(room) - lost);
        const std::int32_t next = LeInt32(fields + kBlockNext);
        block = next <= 0 ? 0 : next + shift;
    }
    text.erase(text.find_last_not_of('\0') + 1);
    return text;
}

}  // namespace brindle
