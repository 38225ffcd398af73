#include "regexp/awk_str.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__SSE2__) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#endif

#include "platform/cpu_features.hpp"
#include "platform/sjis.hpp"
#include "regexp/re_types.hpp"

namespace brindle {
namespace {

// An escape reads at most x and four hexadecimal digits, or six octal digits, and looks at one
// character more; a window of this many bytes after the backslash holds all of it.
constexpr std::size_t kEscapeWindow = 16;

int PositionOf(std::size_t offset) {
    return offset >= INT_MAX ? INT_MAX : static_cast<int>(offset + 1);
}

}  // namespace

TAWKStr::TAWKStr() {
    GetListOfFuzzyCharDic().push_back(&RE_FuzzyCharDic());
}

void TAWKStr::ExpressionChanged() {
    TMatchCORE::ExpressionChanged();
    use_ex_ = GetHasLHead() || GetHasLTail();
}

std::size_t TAWKStr::Match(std::string_view text, std::size_t& start, std::size_t& length) const {
    const auto m = RunMatch(text);
    if (!m) {
        start = 0;
        length = 0;
        return 0;
    }
    start = m->Start + 1;
    length = m->End - m->Start;
    return start;
}

std::size_t TAWKStr::Match(std::string_view text) const {
    std::size_t start;
    std::size_t length;
    return Match(text, start, length);
}

bool TAWKStr::Sub(const std::string& replacement, std::string& text) const {
    const auto m = RunMatch(text);
    if (!m) {
        return false;
    }
    const std::string inserted = Substitute_MatchStr_For_ANDChar(
        replacement, std::string_view(text).substr(m->Start, m->End - m->Start));
    text.replace(m->Start, m->End - m->Start, inserted);
    return true;
}

std::size_t TAWKStr::GSub(const std::string& replacement, std::string& text) const {
    auto m = RunMatch(text);
    if (!m) {
        return 0;
    }
    if (text.empty()) {
        text = Substitute_MatchStr_For_ANDChar(replacement, std::string_view());
        return 1;
    }
    std::string out;
    std::string_view rest(text);
    std::size_t count = 0;
    while (m) {
        out.append(rest.substr(0, m->Start));
        out +=
            Substitute_MatchStr_For_ANDChar(replacement, rest.substr(m->Start, m->End - m->Start));
        std::size_t after = m->End;
        if (m->Start == m->End && after < rest.size()) {
            // An empty match moves the search on by one character. CR LF is stepped over as one
            // line end, but only when the LF is really there: stepping two bytes after a lone
            // CR could cut the following double-byte character in half.
            std::size_t step = sjis::CharLength(rest, after);
            if (LineSeparator() == mcls_CRLF && rest[after] == '\r' && after + 1 < rest.size() &&
                rest[after + 1] == '\n') {
                step = 2;
            }
            out.append(rest.substr(after, step));
            after += step;
        }
        ++count;
        const bool after_line_feed = after > 0 && rest[after - 1] == '\n';
        rest.remove_prefix(after);
        if (rest.empty()) {
            break;
        }
        m = (after_line_feed || !use_ex_) ? RunMatch(rest) : MatchEX_Inside(rest);
    }
    out.append(rest);
    text = std::move(out);
    return count;
}

std::size_t TAWKStr::Split(std::string_view text, std::vector<std::string>& list) const {
    list.clear();
    std::string pending;
    std::string_view rest = text;
    while (!rest.empty()) {
        const auto m = RunMatch(rest);
        if (!m) {
            list.push_back(pending + std::string(rest));
            pending.clear();
            rest = {};
            break;
        }
        if (m->Start != 0 || m->End != m->Start) {
            list.push_back(pending + std::string(rest.substr(0, m->Start)));
            pending.clear();
            rest.remove_prefix(m->End);
            if (rest.empty()) {
                list.emplace_back();
                break;
            }
        } else {
            const std::size_t len = sjis::CharLength(rest, 0);
            pending.append(rest.substr(0, len));
            rest.remove_prefix(len);
        }
    }
    if (!pending.empty()) {
        list.push_back(pending);
    }
    return list.size();
}

std::string TAWKStr::ProcessEscSeq(std::string_view text) {
    std::string out(text);
    ProcessEscSeqInPlace(out);
    return out;
}

std::size_t TAWKStr::FirstEscape(std::string_view text) {
    return NextEscape(text, 0);
}

void TAWKStr::ProcessEscSeqInPlace(std::string& text) {
    ProcessEscSeqInPlace(text, FirstEscape(text));
}

namespace {

#if defined(__SSE2__)
// The trail bytes of a block of 64 bytes, from the mask of its lead-capable bytes and whether
// its first byte is the trail byte of a character begun before it (`carry`, updated for the next
// block). A run of lead-capable bytes that starts a character alternates lead, trail, lead...;
// the run's bits are paired off with one subtraction, as JSON scanners pair off backslashes.
std::uint64_t TrailBytes(std::uint64_t lead, std::uint64_t& carry) {
    constexpr std::uint64_t kOddBits = 0xAAAAAAAAAAAAAAAAull;
    const std::uint64_t leads_at_start = lead & ~carry;
    const std::uint64_t pairs = (((leads_at_start << 1) | kOddBits) - leads_at_start) ^ kOddBits;
    const std::uint64_t trail = pairs ^ (lead | carry);
    carry = (pairs & lead) >> 63;
    return trail;
}

// The lead bytes 0x81-0x9F and 0xE0-0xFC, once bit 5 is flipped, are the one range 0xA1-0xDC
// (flipping it is a bijection that swaps 0x80-0x9F with 0xA0-0xBF and 0xC0-0xDF with
// 0xE0-0xFF); less 0x21 that range is 0x80-0xBB, the signed bytes below -68.
constexpr char kLeadFlip = 0x20;
constexpr char kLeadShift = -0x21;
constexpr char kLeadBelow = -68;

// Sixteen bytes' mask of lead bytes.
unsigned LeadMask(__m128i bytes) {
    const __m128i shifted =
        _mm_add_epi8(_mm_xor_si128(bytes, _mm_set1_epi8(kLeadFlip)), _mm_set1_epi8(kLeadShift));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpgt_epi8(_mm_set1_epi8(kLeadBelow), shifted)));
}

std::uint64_t Mask64(unsigned m0, unsigned m1, unsigned m2, unsigned m3) {
    return std::uint64_t{m0} | std::uint64_t{m1} << 16 | std::uint64_t{m2} << 32 |
           std::uint64_t{m3} << 48;
}

// Where the walk over 64-byte blocks stands. Blocks without a backslash are passed over without
// their lead bytes; the carry into the next block that has one is then found by the walk back
// from it (TrailAt), which ends at the first byte that is no lead byte and never goes back past
// `known`, so each byte is walked at most once.
struct BlockWalk {
    std::size_t pos;
    std::uint64_t carry = 0;
    bool carry_known = true;
    std::size_t known = 0;  // a character start at or before pos, once carry is not known
};

// Whether the byte at `at` is the trail byte of a character (known is a character start).
std::uint64_t TrailAt(const char* data, std::size_t at, std::size_t known) {
    return sjis::IsTrailByteAfter(data, known, at) ? 1 : 0;
}

// The escapes of the block at walk.pos, given its backslashes and (read only for a block that
// has one) its lead bytes.
template <typename Leads>
std::uint64_t BlockEscapes(const char* data, BlockWalk& walk, std::uint64_t backslashes,
                           Leads leads) {
    if (backslashes == 0) {
        if (walk.carry_known) {
            walk.known = walk.pos + walk.carry;
            walk.carry_known = false;
        }
        return 0;
    }
    if (!walk.carry_known) {
        walk.carry = TrailAt(data, walk.pos, walk.known);
        walk.carry_known = true;
    }
    return backslashes & ~TrailBytes(leads(), walk.carry);
}

// Walks the 64-byte blocks from walk.pos; answers whether one holds an escape, walk.pos then its
// position, else walk.pos is where fewer than 64 bytes remain.
bool WalkBlocks(const char* data, std::size_t size, BlockWalk& walk) {
    const __m128i backslash = _mm_set1_epi8('\\');
    for (; walk.pos + 64 <= size; walk.pos += 64) {
        const char* const block = data + walk.pos;
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
        const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16));
        const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 32));
        const __m128i b3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 48));
        const auto is = [&](__m128i b) {
            return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(b, backslash)));
        };
        const std::uint64_t escapes = BlockEscapes(
            data, walk, Mask64(is(b0), is(b1), is(b2), is(b3)),
            [&] { return Mask64(LeadMask(b0), LeadMask(b1), LeadMask(b2), LeadMask(b3)); });
        if (escapes != 0) {
            walk.pos += static_cast<std::size_t>(__builtin_ctzll(escapes));
            return true;
        }
    }
    return false;
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define BRINDLE_ESCAPE_AVX2 1
// The same walk, a block being two vectors of 32 bytes. (A lambda would not take the function's
// target: the masks are written out.)
__attribute__((target("avx2"))) bool WalkBlocksAvx2(const char* data, std::size_t size,
                                                    BlockWalk& walk) {
    const __m256i backslash = _mm256_set1_epi8('\\');
    const __m256i flip = _mm256_set1_epi8(kLeadFlip);
    const __m256i shift = _mm256_set1_epi8(kLeadShift);
    const __m256i below = _mm256_set1_epi8(kLeadBelow);
    for (; walk.pos + 64 <= size; walk.pos += 64) {
        const char* const block = data + walk.pos;
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32));
        const std::uint64_t backslashes =
            std::uint64_t{static_cast<std::uint32_t>(
                _mm256_movemask_epi8(_mm256_cmpeq_epi8(low, backslash)))} |
            std::uint64_t{static_cast<std::uint32_t>(
                _mm256_movemask_epi8(_mm256_cmpeq_epi8(high, backslash)))}
                << 32;
        std::uint64_t escapes = 0;
        if (backslashes == 0) {
            escapes = BlockEscapes(data, walk, 0, [] { return std::uint64_t{0}; });
        } else {
            const std::uint64_t leads =
                std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpgt_epi8(
                    below, _mm256_add_epi8(_mm256_xor_si256(low, flip), shift))))} |
                std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpgt_epi8(
                    below, _mm256_add_epi8(_mm256_xor_si256(high, flip), shift))))}
                    << 32;
            escapes = BlockEscapes(data, walk, backslashes, [leads] { return leads; });
        }
        if (escapes != 0) {
            walk.pos += static_cast<std::size_t>(__builtin_ctzll(escapes));
            return true;
        }
    }
    return false;
}

#endif
#endif

}  // namespace

// Japanese text holds a trail byte 0x5C every few dozen bytes, so backslashes and lead bytes
// are taken 64 bytes at a time and the trail bytes among them found without a walk. The rest
// (under 64 bytes) is walked back from each backslash: a byte that is no lead byte ends a
// character (it is one, or a trail byte), so a backslash is a character of its own exactly when
// the lead bytes just before it, back to such a byte or to a known character start, are even in
// number.
std::size_t TAWKStr::NextEscape(std::string_view text, std::size_t from) {
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t pos = from;
    std::size_t boundary = from;  // a known character start
#if defined(__SSE2__)
    BlockWalk walk{from};
    walk.known = from;
#if defined(BRINDLE_ESCAPE_AVX2)
    const bool found = HaveAvx2() ? WalkBlocksAvx2(data, size, walk) : WalkBlocks(data, size, walk);
#else
    const bool found = WalkBlocks(data, size, walk);
#endif
    pos = walk.pos;
    if (found) {
        return pos;
    }
    std::uint64_t carry = walk.carry;
    if (!walk.carry_known) {
        carry = TrailAt(data, pos, walk.known);
    }
    if (carry != 0) {
        // The last block ends in a lead byte that starts a character.
        if (pos == size) {
            return size - 1;
        }
        ++pos;  // its trail byte
    }
    boundary = pos;
#endif
    for (; pos < size; ++pos) {
        const void* hit = std::memchr(data + pos, '\\', size - pos);
        if (hit == nullptr) {
            break;
        }
        pos = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
        if (!sjis::IsTrailByteAfter(data, boundary, pos)) {
            return pos;
        }
        boundary = pos + 1;  // a trail byte: the character ends with it
    }
    // No escape from `from` on; a lead byte that starts a character at the very end is one
    // too (an error).
    return sjis::IsTrailByteAfter(data, boundary, size) ? size - 1 : std::string_view::npos;
}

void TAWKStr::ProcessEscSeqInPlace(std::string& text, std::size_t first) {
    // Every step writes at most as many bytes as it reads, and reads them before it writes, so
    // the output never overtakes the input: a run of characters takes its own bytes, an escape
    // (two to seven bytes) one byte or, for a code of a double-byte character, two. The runs
    // between escapes are moved whole; the text before the first escape stays where it is.
    if (first >= text.size()) {
        return;
    }
    const std::string_view in(text);
    char* const out = text.data();
    std::size_t written = first;
    std::size_t pos = first;
    while (pos < in.size()) {
        if (in[pos] != '\\') {
            // NextEscape stopped at a lead byte ending the text: the walk meets it alone.
            throw ERegExpParser(Msg(CoreMsg::RegexBadDoubleByte), PositionOf(pos));
        }
        // The escape is read from a small window so that positions stay within int whatever
        // the text's length; an error's position is moved back to the whole text's.
        const std::string_view window = in.substr(pos + 1, kEscapeWindow);
        int index = 1;
        WChar_t decoded = 0;
        try {
            decoded = GetQuotedWChar(window, index);
        } catch (const ERegExpParser& e) {
            throw ERegExpParser(e.Message(),
                                PositionOf(pos + static_cast<std::size_t>(e.Position())));
        }
        pos += 1 + static_cast<std::size_t>(index - 1);
        const auto high = static_cast<unsigned char>(decoded >> 8);
        if (sjis::IsLeadByte(high)) {
            out[written++] = static_cast<char>(high);
        }
        out[written++] = static_cast<char>(decoded & 0xFF);
        const std::size_t next = std::min(NextEscape(in, pos), in.size());
        std::memmove(out + written, in.data() + pos, next - pos);
        written += next - pos;
        pos = next;
    }
    text.resize(written);
}

std::string TAWKStr::Substitute_MatchStr_For_ANDChar(std::string_view replacement,
                                                     std::string_view matched) {
    // 1. A backslash before & gets a second one, so that the escape step leaves "\&" behind.
    std::string doubled;
    doubled.reserve(replacement.size() + 4);
    for (std::size_t pos = 0; pos < replacement.size();) {
        const std::size_t len = sjis::CharLength(replacement, pos);
        doubled.append(replacement.substr(pos, len));
        if (len == 1 && replacement[pos] == '\\' && pos + 1 < replacement.size() &&
            replacement[pos + 1] == '&') {
            doubled.push_back('\\');
        }
        pos += len;
    }
    // 2. The ordinary escapes.
    const std::string escaped = ProcessEscSeq(doubled);
    // 3. & is the match, \& a literal ampersand.
    std::string out;
    for (std::size_t pos = 0; pos < escaped.size();) {
        const std::size_t len = sjis::CharLength(escaped, pos);
        const char c = escaped[pos];
        if (len == 1 && c == '&') {
            out.append(matched);
        } else if (len == 1 && c == '\\' && pos + 1 < escaped.size() && escaped[pos + 1] == '&') {
            out.push_back('&');
            pos += 2;
            continue;
        } else {
            out.append(escaped.substr(pos, len));
        }
        pos += len;
    }
    return out;
}

}  // namespace brindle
