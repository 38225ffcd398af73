#include "charset/char_code_conv.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <tmmintrin.h>
#endif
#if defined(__SSE2__) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define BRINDLE_JIS_AVX2 1
#endif

#include "charset/auto_sjis_conv.hpp"
#include "charset/jis_pair_lanes.hpp"
#include "platform/cpu_features.hpp"
#include "platform/sjis.hpp"

namespace brindle {

const std::array<std::array<unsigned char, 2>, 63> CODE_TABLE = {{
    {0x81, 0x42}, {0x81, 0x75}, {0x81, 0x76}, {0x81, 0x41}, {0x81, 0x45}, {0x83, 0x92},
    {0x83, 0x40}, {0x83, 0x42}, {0x83, 0x44}, {0x83, 0x46}, {0x83, 0x48}, {0x83, 0x83},
    {0x83, 0x85}, {0x83, 0x87}, {0x83, 0x62}, {0x81, 0x5B}, {0x83, 0x41}, {0x83, 0x43},
    {0x83, 0x45}, {0x83, 0x47}, {0x83, 0x49}, {0x83, 0x4A}, {0x83, 0x4C}, {0x83, 0x4E},
    {0x83, 0x50}, {0x83, 0x52}, {0x83, 0x54}, {0x83, 0x56}, {0x83, 0x58}, {0x83, 0x5A},
    {0x83, 0x5C}, {0x83, 0x5E}, {0x83, 0x60}, {0x83, 0x63}, {0x83, 0x65}, {0x83, 0x67},
    {0x83, 0x69}, {0x83, 0x6A}, {0x83, 0x6B}, {0x83, 0x6C}, {0x83, 0x6D}, {0x83, 0x6E},
    {0x83, 0x71}, {0x83, 0x74}, {0x83, 0x77}, {0x83, 0x7A}, {0x83, 0x7D}, {0x83, 0x7E},
    {0x83, 0x80}, {0x83, 0x81}, {0x83, 0x82}, {0x83, 0x84}, {0x83, 0x86}, {0x83, 0x88},
    {0x83, 0x89}, {0x83, 0x8A}, {0x83, 0x8B}, {0x83, 0x8C}, {0x83, 0x8D}, {0x83, 0x8F},
    {0x83, 0x93}, {0x81, 0x4A}, {0x81, 0x4B},
}};

namespace {

constexpr char kEsc = 0x1B;
constexpr char kShiftOut = 0x0E;
constexpr char kShiftIn = 0x0F;
constexpr std::string_view kKanjiIn = "\x1B$B";
constexpr std::string_view kAsciiIn = "\x1B(B";
constexpr std::string_view kRomanIn = "\x1B(J";
constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr unsigned char U(char c) {
    return static_cast<unsigned char>(c);
}

constexpr char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Case-insensitive (ASCII letters) test that text holds head at pos.
bool HasAsciiNoCase(std::string_view text, std::size_t pos, std::string_view head) {
    if (pos > text.size() || text.size() - pos < head.size()) {
        return false;
    }
    for (std::size_t i = 0; i < head.size(); ++i) {
        if (AsciiUpper(text[pos + i]) != AsciiUpper(head[i])) {
            return false;
        }
    }
    return true;
}

bool ContainsAsciiNoCase(std::string_view text, std::string_view marker) {
    if (marker.size() > text.size()) {
        return false;
    }
    for (std::size_t pos = 0; pos + marker.size() <= text.size(); ++pos) {
        if (HasAsciiNoCase(text, pos, marker)) {
            return true;
        }
    }
    return false;
}

// Base64 values, 64 for bytes outside the alphabet.
struct Base64Table {
    std::array<unsigned char, 256> value{};
    constexpr Base64Table() {
        for (auto& v : value) {
            v = 64;
        }
        for (unsigned char i = 0; i < 64; ++i) {
            value[U(kBase64Alphabet[i])] = i;
        }
    }
};
constexpr Base64Table kBase64;

// Values of hex digits, -1 for every other byte. Quoted-printable should use upper case only,
// but mailers that write "=e3=81=82" exist, and reading their lower-case digits as 0 (as
// '=3d' -> '0') would turn the text into wrong bytes.
struct HexTable {
    std::array<signed char, 256> value{};
    constexpr HexTable() {
        for (auto& v : value) {
            v = -1;
        }
        for (signed char i = 0; i < 16; ++i) {
            value[U(kUpperHex[i])] = i;
            value[U(kLowerHex[i])] = i;
        }
    }
};
constexpr HexTable kHexValue;

// Writes the Shift_JIS form of a JIS pair, or "[XXXX]" for a pair outside 0x21-0x7F;
// returns the position after what it wrote.
constexpr char* WriteJisPair(char* out, unsigned char j1, unsigned char j2) {
    if (j1 < 0x21 || j1 > 0x7F || j2 < 0x21 || j2 > 0x7F) {
        out[0] = '[';
        out[1] = kUpperHex[j1 >> 4];
        out[2] = kUpperHex[j1 & 0x0F];
        out[3] = kUpperHex[j2 >> 4];
        out[4] = kUpperHex[j2 & 0x0F];
        out[5] = ']';
        return out + 6;
    }
    const auto s1 = static_cast<unsigned char>(((j1 - 0x21) >> 1) + (j1 <= 0x5E ? 0x81 : 0xC1));
    unsigned char s2 = 0;
    if ((j1 & 1) == 0) {
        s2 = static_cast<unsigned char>(j2 + 0x7E);
    } else {
        s2 = static_cast<unsigned char>(j2 + (j2 < 0x60 ? 0x1F : 0x20));
    }
    out[0] = static_cast<char>(s1);
    out[1] = static_cast<char>(s2);
    return out + 2;
}

// The Shift_JIS form of every JIS pair WriteJisPair converts (both bytes 0x21-0x7F), looked
// up rather than computed: the parity of the first byte and the range of the second made two
// branches per kanji that no predictor guesses.
struct JisPairTable {
    static constexpr int kFirst = 0x21;
    static constexpr int kCount = 0x7F - 0x21 + 1;
    char pair[kCount * kCount][2] = {};

    constexpr JisPairTable() {
        for (int j1 = 0; j1 < kCount; ++j1) {
            for (int j2 = 0; j2 < kCount; ++j2) {
                char out[6] = {};
                WriteJisPair(out, static_cast<unsigned char>(j1 + kFirst),
                             static_cast<unsigned char>(j2 + kFirst));
                pair[j1 * kCount + j2][0] = out[0];
                pair[j1 * kCount + j2][1] = out[1];
            }
        }
    }
};
constexpr JisPairTable kJisPairs;

inline void AppendSJisJis(std::string& out, unsigned char c1, unsigned char c2) {
    const unsigned char j1 =
        static_cast<unsigned char>(2 * (c1 - (c1 <= 0x9F ? 0x70 : 0xB0)) - (c2 < 0x9F ? 1 : 0));
    unsigned char j2 = 0;
    if (c2 < 0x7F) {
        j2 = static_cast<unsigned char>(c2 - 0x1F);
    } else if (c2 < 0x9F) {
        j2 = static_cast<unsigned char>(c2 - 0x20);
    } else {
        j2 = static_cast<unsigned char>(c2 - 0x7E);
    }
    out.push_back(static_cast<char>(j1));
    out.push_back(static_cast<char>(j2));
}

void AppendKana(std::string& out, unsigned char c) {
    const auto& z = CODE_TABLE[c - 0xA1];
    out.push_back(static_cast<char>(z[0]));
    out.push_back(static_cast<char>(z[1]));
}

// The size a text that is written ahead of its size grows to so that `needed` bytes fit: by
// half again at least, and within the room reserved as long as that suffices.
std::size_t GrownSize(const std::string& text, std::size_t needed) {
    std::size_t size = std::max(needed, text.size() + text.size() / 2);
    if (needed <= text.capacity()) {
        size = std::min(size, text.capacity());
    }
    return size;
}

// The text cut at `at`, without much unused room behind it: a long text shrinks by a copy.
std::string FinishedText(std::string& text, const char* at) {
    text.resize(static_cast<std::size_t>(at - text.data()));
    if (text.capacity() - text.size() > text.size() / 8 + 4096) {
        text.shrink_to_fit();
    }
    return std::move(text);
}

// Output of the bulk decoders. Writing through a pointer is what makes them fast, but sizing
// the string for the worst case up front would zero-fill (and fault in) far more memory than
// the text needs; the string is therefore grown geometrically just ahead of the writing, so a
// short line costs a short buffer and a long text a logarithmic number of resizes. The growth
// stays within the room reserved for the expected size as long as that suffices: beyond it the
// string doubles, and a long text would end up holding twice its size.
class OutputBuffer {
  public:
    explicit OutputBuffer(std::size_t expected) { text_.reserve(expected); }

    // A pointer at which at least n bytes may be written.
    char* Room(char* at, std::size_t n) {
        const auto used = static_cast<std::size_t>(at - text_.data());
        if (text_.size() - used < n) {
            text_.resize(GrownSize(text_, used + n));
        }
        return text_.data() + used;
    }
    char* Begin() { return text_.data(); }
    std::string Finish(char* at) { return FinishedText(text_, at); }

  private:
    std::string text_;
};

// The same interface appending to a text that goes on growing (a body converted line by line):
// the string is sized just to what is being written, and its own growth keeps that amortized.
class AppendBuffer {
  public:
    explicit AppendBuffer(std::string& text) : text_(text), start_(text.size()) {}

    char* Room(char* at, std::size_t n) {
        const auto used = static_cast<std::size_t>(at - text_.data());
        if (text_.size() - used < n) {
            text_.resize(used + n);
        }
        return text_.data() + used;
    }
    char* Begin() { return text_.data() + start_; }
    void Finish(char* at) { text_.resize(static_cast<std::size_t>(at - text_.data())); }

  private:
    std::string& text_;
    std::size_t start_;
};

// The same interface for a text that takes a whole body at once, written into a small buffer of
// its own and appended a stretch at a time: resizing the string just ahead of the writing would
// fill its reserved room with zeros only to write over them, and the room asked for the worst
// case of the last chunk would outgrow the reserve and reallocate the text. The stretches stay
// short enough that appending them is a plain vector copy.
class StagedAppendBuffer {
  public:
    static constexpr std::size_t kSize = 4096;

    explicit StagedAppendBuffer(std::string& text) : text_(text) {}

    // n is at most kSize.
    char* Room(char* at, std::size_t n) {
        if (static_cast<std::size_t>(staged_ + kSize - at) < n) {
            text_.append(staged_, static_cast<std::size_t>(at - staged_));
            return staged_;
        }
        return at;
    }
    char* Begin() { return staged_; }
    void Finish(char* at) { text_.append(staged_, static_cast<std::size_t>(at - staged_)); }

  private:
    std::string& text_;
    char staged_[kSize];
};

}  // namespace

bool TCharCodeConv::IsHanKana(unsigned char c) {
    return c >= 0xA1 && c <= 0xDF;
}

bool TCharCodeConv::IsDakuten(unsigned char c) {
    return (c >= 0xB6 && c <= 0xC4) || (c >= 0xCA && c <= 0xCE) || c == 0xB3;
}

bool TCharCodeConv::IsHanDakuten(unsigned char c) {
    return c >= 0xCA && c <= 0xCE;
}

bool TCharCodeConv::IsEuc(unsigned char c) {
    return c >= 0xA1 && c <= 0xFE;
}

int TCharCodeConv::Hex2Int(unsigned char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 0;
}

std::string TCharCodeConv::Int2Hex(unsigned char b) {
    return {kLowerHex[b >> 4], kLowerHex[b & 0x0F]};
}

int TCharCodeConv::B642Int(unsigned char c) {
    return kBase64.value[c];
}

char TCharCodeConv::Int2B64(unsigned char v) {
    return v < 64 ? kBase64Alphabet[v] : '=';
}

std::string TCharCodeConv::SJis_Jis(unsigned char c1, unsigned char c2) {
    std::string out;
    AppendSJisJis(out, c1, c2);
    return out;
}

std::string TCharCodeConv::j2sj1(std::string_view s) {
    const unsigned char j1 = s.empty() ? 0 : U(s[0]);
    const unsigned char j2 = s.size() < 2 ? 0 : U(s[1]);
    char buffer[6];
    const char* end = WriteJisPair(buffer, j1, j2);
    return std::string(buffer, static_cast<std::size_t>(end - buffer));
}

std::string TCharCodeConv::KanaConv(std::string_view s) {
    if (s.empty() || !IsHanKana(U(s[0]))) {
        return {};
    }
    std::string out;
    AppendKana(out, U(s[0]));
    return out;
}

std::string TCharCodeConv::HanToZen(std::string_view s) {
    std::string out;
    out.reserve(s.size() * 2);
    std::size_t pos = 0;
    while (pos < s.size()) {
        const unsigned char c = U(s[pos]);
        if (sjis::IsLeadByte(c)) {
            // The trail byte may look like half-width katakana; it is never converted.
            const std::size_t length = sjis::CharLength(s, pos);
            out.append(s.substr(pos, length));
            pos += length;
            continue;
        }
        if (!IsHanKana(c)) {
            out.push_back(static_cast<char>(c));
            ++pos;
            continue;
        }
        const unsigned char n = pos + 1 < s.size() ? U(s[pos + 1]) : 0;
        unsigned char z1 = CODE_TABLE[c - 0xA1][0];
        unsigned char z2 = CODE_TABLE[c - 0xA1][1];
        bool mark_used = false;
        if (n == 0xDE && IsDakuten(c)) {
            if ((z2 >= 0x4A && z2 <= 0x67) || (z2 >= 0x6E && z2 <= 0x7A)) {
                z2 = static_cast<unsigned char>(z2 + 1);
                mark_used = true;
            } else if (z1 == 0x83 && z2 == 0x45) {
                z2 = 0x94;
                mark_used = true;
            }
        } else if (n == 0xDF && IsHanDakuten(c)) {
            if (z2 >= 0x6E && z2 <= 0x7A) {
                z2 = static_cast<unsigned char>(z2 + 2);
                mark_used = true;
            }
        }
        out.push_back(static_cast<char>(z1));
        out.push_back(static_cast<char>(z2));
        pos += mark_used ? 2 : 1;
    }
    return out;
}

std::string TCharCodeConv::HanToZen2(std::string_view s) {
    std::string out;
    out.reserve(s.size() * 2);
    std::size_t pos = 0;
    while (pos < s.size()) {
        const unsigned char c = U(s[pos]);
        if (sjis::IsLeadByte(c)) {
            const std::size_t length = sjis::CharLength(s, pos);
            out.append(s.substr(pos, length));
            pos += length;
        } else if (IsHanKana(c)) {
            AppendKana(out, c);
            ++pos;
        } else {
            out.push_back(static_cast<char>(c));
            ++pos;
        }
    }
    return out;
}

std::string TCharCodeConv::SJisToJis(std::string_view s) const {
    std::string converted;
    std::string_view t = s;
    if (jis_kana_conv_type_ == TJisKanaConvType::ktZenWithDaku) {
        converted = HanToZen(s);
        t = converted;
    } else if (jis_kana_conv_type_ == TJisKanaConvType::ktZenSepaDaku) {
        converted = HanToZen2(s);
        t = converted;
    }
    const std::string_view ending =
        jis_byte_code_type_ == TJisByteCodeType::btRoman ? kRomanIn : kAsciiIn;
    std::string out;
    out.reserve(t.size() + t.size() / 4 + 8);
    bool in_kanji = false;
    std::size_t pos = 0;
    while (pos < t.size()) {
        const unsigned char c = U(t[pos]);
        // A lead byte as the last byte has no character to encode; it goes out as a single byte.
        if (sjis::IsLeadByte(c) && pos + 1 < t.size()) {
            if (!in_kanji) {
                out.append(kKanjiIn);
                in_kanji = true;
            }
            AppendSJisJis(out, c, U(t[pos + 1]));
            pos += 2;
        } else {
            if (in_kanji) {
                out.append(ending);
                in_kanji = false;
            }
            out.push_back(static_cast<char>(c));
            ++pos;
        }
    }
    if (in_kanji) {
        out.append(ending);
    }
    return out;
}

namespace {

// Typical JIS text shrinks (escapes vanish, pairs stay pairs); the worst case, a kanji pair that
// becomes the six bytes of "[XXXX]", is covered by making room per chunk of input.
constexpr std::ptrdiff_t kJisChunk = 4096;
// Lines take short chunks: the room for the worst case of one stays within what the body's text
// has reserved, and within StagedAppendBuffer.
constexpr std::ptrdiff_t kJisLineChunk = 1024;
static_assert(3 * kJisLineChunk + 8 <= static_cast<std::ptrdiff_t>(StagedAppendBuffer::kSize));

#if defined(__SSE2__)
using namespace jis_lanes;  // NOLINT: the lane names

// Converts the pairs at p whose bytes are all 0x21-0x7F, 16 bytes at a time while 16 bytes
// remain before limit, writing 16 bytes at w each time (those past the pairs converted are
// garbage, written over later); answers how many bytes it converted, an even number: the pairs
// before the first byte outside the range, which a block holds whole. Kanji runs are most of a
// Japanese body, and the table took a load and a store per pair.
inline std::ptrdiff_t ConvertJisPairs(const char* p, const char* limit, char* w) {
    const std::ptrdiff_t last = (limit - p) - 16;
    std::ptrdiff_t done = 0;
    for (; done <= last; done += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + done));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w + done), SJisOfJisPairs(x, kJisLanes));
        if (const unsigned in_range = JisPairBytes(x, kJisLanes); in_range != 0xFFFF) {
            return done + (__builtin_ctz(~in_range) & ~1);
        }
    }
    return done;
}

#if defined(BRINDLE_JIS_AVX2)
// The same 32 bytes at a time (a kanji line is one or two blocks), then 16 if 16 remain; the
// lanes compute what SJisOfJisPairs computes, for 16 pairs. The constants are read through a
// pointer the compiler cannot see through: it would otherwise build each of them in registers,
// at every call, from immediates.
__attribute__((target("avx2"))) inline __m256i Lane256(JisLanes k, JisLane row) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(k[row]));
}

__attribute__((target("avx2"))) std::ptrdiff_t ConvertJisPairsAvx2(const char* p, const char* limit,
                                                                   char* w) {
    JisLanes k = kJisLanes;
    __asm__("" : "+r"(k));
    const std::ptrdiff_t size = limit - p;
    std::ptrdiff_t done = 0;
    for (; done <= size - 32; done += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + done));
        const __m256i above = _mm256_cmpgt_epi8(x, Lane256(k, kAbove));
        const __m256i s1 = _mm256_add_epi16(
            _mm256_avg_epu16(_mm256_and_si256(x, Lane256(k, kLowByte)), Lane256(k, kAverage)),
            _mm256_and_si256(above, Lane256(k, kAboveAdd)));
        const __m256i odd = _mm256_srai_epi16(_mm256_slli_epi16(x, 15), 15);
        const __m256i high_add = _mm256_add_epi16(
            Lane256(k, kEvenAdd),
            _mm256_and_si256(odd,
                             _mm256_sub_epi16(Lane256(k, kOddAdd),
                                              _mm256_and_si256(above, Lane256(k, kHighByte)))));
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(w + done),
            _mm256_add_epi16(_mm256_add_epi16(_mm256_and_si256(x, Lane256(k, kHighByte)), high_add),
                             s1));
        const auto in_range =
            static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpgt_epi8(x, Lane256(k, kSpace))));
        if (in_range != 0xFFFFFFFF) {
            return done + (__builtin_ctz(~in_range) & ~1);
        }
    }
    if (done <= size - 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + done));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w + done), SJisOfJisPairs(x, k));
        const unsigned in_range = JisPairBytes(x, k);
        return done + (in_range != 0xFFFF ? (__builtin_ctz(~in_range) & ~1) : 16);
    }
    return done;
}
#endif

// Copies bytes from p to w up to the first ESC, SO or (with kLines) CR, 16 bytes at a time while
// 16 bytes remain before limit, writing 16 bytes at w each time; answers how many it copied. Those
// three are the bytes that stop a run of single bytes.
template <bool kLines>
std::ptrdiff_t CopySingleBytes(const char* p, const char* limit, char* w) {
    std::ptrdiff_t done = 0;
    while (limit - (p + done) >= 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + done));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w + done), x);
        __m128i stop = _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(kEsc)),
                                    _mm_cmpeq_epi8(x, _mm_set1_epi8(kShiftOut)));
        if constexpr (kLines) {
            stop = _mm_or_si128(stop, _mm_cmpeq_epi8(x, _mm_set1_epi8('\r')));
        }
        if (const int found = _mm_movemask_epi8(stop); found != 0) {
            return done + __builtin_ctz(static_cast<unsigned>(found));
        }
        done += 16;
    }
    return done;
}
#endif

// Writes the Shift_JIS form of s through out (an OutputBuffer, an AppendBuffer or a
// StagedAppendBuffer); returns the end of what it wrote. With kLines, s is lines ended by CR LF
// (the last perhaps by the end of s) and each is converted as on its own, followed by CR LF: a CR
// and the byte after it end the line and start the next in ASCII, and the byte before a CR has no
// partner.
template <bool kLines = false, typename Buffer>
char* ConvertJis(std::string_view s, Buffer& out) {
    enum class Mode { kSingle, kKanji, kKana };
    constexpr std::ptrdiff_t kChunk = kLines ? kJisLineChunk : kJisChunk;
#if defined(__SSE2__)
    constexpr bool kWide = true;
#else
    constexpr bool kWide = false;
#endif
    char* w = out.Begin();
    const char* p = s.data();
    const char* const end = p + s.size();
    Mode mode = Mode::kSingle;
    Mode saved = Mode::kSingle;
#if defined(BRINDLE_JIS_AVX2)
    const bool avx2 = HaveAvx2();
#endif
    // Room is made a chunk of input at a time: no byte gives more than 3 bytes (a pair that ends
    // just past chunk_end, a CR that ends the text, stay within the 8 to spare), so that at any p
    // before chunk_end there is room for 3 * (chunk_end - p) + 8 bytes, and the 16-byte stores
    // below, made while 16 bytes remain before chunk_end, stay within it.
    const char* chunk_end = p;
    // A CR at p, before chunk_end, and the byte after it end the line.
    const auto end_line = [&] {
        *w++ = '\r';
        *w++ = '\n';
        p += std::min<std::ptrdiff_t>(2, end - p);
        mode = Mode::kSingle;
        saved = Mode::kSingle;
    };
    while (p < end) {
        if (p >= chunk_end) {
            chunk_end = p + std::min(kChunk, end - p);
            w = out.Room(w, 3 * static_cast<std::size_t>(chunk_end - p) + 8);
        }
        const char c = *p;
        // CR, ESC, SO and SI are all below 0x1C: one test passes every other byte to its mode.
        if (U(c) <= 0x1B) {
            if (kLines && c == '\r') {
                end_line();
                continue;
            }
            // Within a line: the bytes of an escape sequence are no CR.
            if (c == kEsc && end - p >= 3) {
                const char a = p[1];
                const char b = p[2];
                const bool kanji = a == '$' && (b == 'B' || b == '@');
                const bool single = a == '(' && (b == 'B' || b == 'J');
                if (kanji || single || (a == '(' && b == 'I')) {
                    mode = kanji ? Mode::kKanji : (single ? Mode::kSingle : Mode::kKana);
                    p += 3;
                    // The byte after the escape goes straight to its mode when it needs no
                    // test (above 0x1B) and room was made for it (before chunk_end).
                    if (p >= chunk_end || U(*p) <= 0x1B) {
                        continue;
                    }
                }
            } else if (c == kShiftOut && mode != Mode::kKana) {
                saved = mode;
                mode = Mode::kKana;
                ++p;
                continue;
            } else if (c == kShiftIn && mode == Mode::kKana) {
                mode = saved;
                ++p;
                continue;
            }
        }
        // The byte at p has passed the mode tests; the loops below stop before the next byte
        // that could change the mode (ESC, SO) so that the tests above see it.
        switch (mode) {
            case Mode::kSingle: {
                *w++ = *p++;
#if defined(__SSE2__)
                {
                    const std::ptrdiff_t copied = CopySingleBytes<kLines>(p, chunk_end, w);
                    p += copied;
                    w += copied;
                    if (chunk_end - p >= 16) {
                        break;  // the wide copy stopped at a byte that stops the run
                    }
                }
#endif
                const char* q = p;
                // ESC, SO and CR are the only bytes up to 0x1B that stop the run.
                while (q < chunk_end && (U(*q) > 0x1B || (*q != kEsc && *q != kShiftOut &&
                                                          (!kLines || *q != '\r')))) {
                    ++q;
                }
                std::memcpy(w, p, static_cast<std::size_t>(q - p));
                w += q - p;
                p = q;
                break;
            }
            case Mode::kKanji:
                for (;;) {
                    // Pairs of bytes 0x21-0x7F within the chunk: neither byte is ESC, SO or CR,
                    // so the tests around them pass, and they convert through the table. The first
                    // pair is converted whatever it is: the byte at p passed the mode tests.
#if defined(__SSE2__)
#if defined(BRINDLE_JIS_AVX2)
                    const std::ptrdiff_t converted = avx2 ? ConvertJisPairsAvx2(p, chunk_end, w)
                                                          : ConvertJisPairs(p, chunk_end, w);
#else
                    const std::ptrdiff_t converted = ConvertJisPairs(p, chunk_end, w);
#endif
                    if (converted != 0) {
                        p += converted;
                        w += converted;
                    } else
#endif
                    {
                        if (end - p < 2 || (kLines && p[1] == '\r')) {
                            *w++ = *p++;  // a lone last byte has no partner
                            break;
                        }
                        const auto j1 = static_cast<unsigned>(U(p[0]) - JisPairTable::kFirst);
                        const auto j2 = static_cast<unsigned>(U(p[1]) - JisPairTable::kFirst);
                        if (j1 < JisPairTable::kCount && j2 < JisPairTable::kCount) {
                            std::memcpy(w, kJisPairs.pair[j1 * JisPairTable::kCount + j2], 2);
                            w += 2;
                        } else {
                            w = WriteJisPair(w, U(p[0]), U(p[1]));
                        }
                        p += 2;
                    }
                    // With 16 bytes left the wide code has stopped at a pair outside the range.
                    while (chunk_end - p >= 2 && (!kWide || chunk_end - p < 16)) {
                        const auto k1 = static_cast<unsigned>(U(p[0]) - JisPairTable::kFirst);
                        const auto k2 = static_cast<unsigned>(U(p[1]) - JisPairTable::kFirst);
                        if (k1 >= JisPairTable::kCount || k2 >= JisPairTable::kCount) {
                            break;
                        }
                        std::memcpy(w, kJisPairs.pair[k1 * JisPairTable::kCount + k2], 2);
                        w += 2;
                        p += 2;
                    }
                    if (p >= chunk_end) {
                        break;
                    }
                    if (*p == kEsc) {
                        // Most runs end with the return to ASCII and the line, taken here without
                        // the loop's tests (an escape writes nothing: it needs no room).
                        if (end - p >= 3 && p[1] == '(' && p[2] == 'B') {
                            mode = Mode::kSingle;
                            p += 3;
                            if (kLines && p < chunk_end && *p == '\r') {
                                end_line();
                            }
                        }
                        break;
                    }
                    if (*p == kShiftOut || (kLines && *p == '\r')) {
                        break;
                    }
                }
                break;
            case Mode::kKana: {
                const unsigned char k = U(*p);
                if (k >= 0x21 && k <= 0x5F) {
                    const auto& z = CODE_TABLE[k + 0x80 - 0xA1];
                    *w++ = static_cast<char>(z[0]);
                    *w++ = static_cast<char>(z[1]);
                } else {
                    *w++ = *p;
                }
                ++p;
                break;
            }
        }
    }
    return w;
}

}  // namespace

std::string TCharCodeConv::JisToSJis(std::string_view s) {
    // The room asked for ahead of a chunk is kept beyond the input's size, so that text that
    // keeps its length never outgrows the reserve at its end. A chunk is never longer than the
    // input: a short text asks for a few hundred bytes, not 12 KB.
    OutputBuffer out(s.size() + 3 * std::min<std::size_t>(kJisChunk, s.size()) + 8);
    return out.Finish(ConvertJis(s, out));
}

void TCharCodeConv::AppendJisToSJis(std::string_view s, std::string& out) {
    AppendBuffer buffer(out);
    buffer.Finish(ConvertJis(s, buffer));
}

void TCharCodeConv::AppendJisLinesToSJis(std::string_view lines, std::string& out) {
    StagedAppendBuffer buffer(out);
    char* w = ConvertJis<true>(lines, buffer);
    // The last line ends with the text, unless a CR ended it (the byte after a CR goes with it).
    const std::size_t size = lines.size();
    if (size != 0 && lines[size - 1] != '\r' && (size < 2 || lines[size - 2] != '\r')) {
        w = buffer.Room(w, 2);
        *w++ = '\r';
        *w++ = '\n';
    }
    buffer.Finish(w);
}

std::string TCharCodeConv::ToSJis(std::string_view s) {
    return TAutoSjisConv().ToSjis(s);
}

std::string TCharCodeConv::MimeToJis(std::string_view s) {
    std::string text(s);
    if (ContainsAsciiNoCase(text, "=?ISO-2022-JP?")) {
        text = MimeCharsetDecode(text, "iso-2022-jp");
    }
    if (ContainsAsciiNoCase(text, "=?EUC-JP?")) {
        text = EucToJis(MimeCharsetDecode(text, "euc-jp"));
    }
    if (ContainsAsciiNoCase(text, "=?SHIFT_JIS?")) {
        text = MimeCharsetDecode(text, "shift_jis");
    }
    return text;
}

std::string TCharCodeConv::B64Encode(std::string_view s) {
    std::string out;
    out.reserve((s.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= s.size(); i += 3) {
        const unsigned char b1 = U(s[i]);
        const unsigned char b2 = U(s[i + 1]);
        const unsigned char b3 = U(s[i + 2]);
        out.push_back(kBase64Alphabet[b1 >> 2]);
        out.push_back(kBase64Alphabet[((b1 & 3) << 4) | (b2 >> 4)]);
        out.push_back(kBase64Alphabet[((b2 & 0x0F) << 2) | (b3 >> 6)]);
        out.push_back(kBase64Alphabet[b3 & 0x3F]);
    }
    if (s.size() - i == 1) {
        const unsigned char b1 = U(s[i]);
        out.push_back(kBase64Alphabet[b1 >> 2]);
        out.push_back(kBase64Alphabet[(b1 & 3) << 4]);
        out.append("==");
    } else if (s.size() - i == 2) {
        const unsigned char b1 = U(s[i]);
        const unsigned char b2 = U(s[i + 1]);
        out.push_back(kBase64Alphabet[b1 >> 2]);
        out.push_back(kBase64Alphabet[((b1 & 3) << 4) | (b2 >> 4)]);
        out.push_back(kBase64Alphabet[(b2 & 0x0F) << 2]);
        out.push_back('=');
    }
    return out;
}

namespace {

// Every byte takes a place in a group of four, so a line break or any other byte outside the
// alphabet shifts the grouping and counts as zero bits. A zero second or third byte is dropped
// only when the character that completes it is padding or junk: a zero byte of the data (its
// character is in the alphabet) is kept, so that text after it is not shifted or lost.
inline char* DecodeBase64Groups(const unsigned char* p, const unsigned char* end, char* w) {
    for (; p < end; p += 4) {
        const std::uint32_t group = (std::uint32_t{kBase64.value[p[0]] & 0x3Fu} << 18) |
                                    (std::uint32_t{kBase64.value[p[1]] & 0x3Fu} << 12) |
                                    (std::uint32_t{kBase64.value[p[2]] & 0x3Fu} << 6) |
                                    std::uint32_t{kBase64.value[p[3]] & 0x3Fu};
        const auto x = static_cast<unsigned char>(group >> 16);
        const auto y = static_cast<unsigned char>(group >> 8);
        const auto z = static_cast<unsigned char>(group);
        w[0] = static_cast<char>(x);
        w[1] = static_cast<char>(y);
        w += 1 + (y != 0 || kBase64.value[p[2]] < 64);
        w[0] = static_cast<char>(z);
        w += (z != 0 || kBase64.value[p[3]] < 64);
    }
    return w;
}

#if defined(__SSE2__)
// Sixteen characters that are all in the alphabet are four groups in which no byte is dropped:
// they decode to twelve bytes with no case of their own. A block holding any other byte
// (padding, junk, a line end) goes to the groups above up to the group of its first such byte,
// so that every rule is theirs. The twelve bytes are stored as eight and four: a block near the
// end of the room has no more than twelve bytes' room behind it.
inline void StoreBase64Block(__m128i bytes, char* w) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(w), bytes);
    const int last = _mm_cvtsi128_si32(_mm_srli_si128(bytes, 8));
    std::memcpy(w + 8, &last, 4);
}

// How many characters from p on the groups must take: those up to the end of the group of the
// first byte outside the alphabet (valid: one bit per character of the block).
inline std::ptrdiff_t ScalarBase64Stretch(int valid) {
    const int first_bad = __builtin_ctz(static_cast<unsigned>(~valid));
    return (first_bad / 4 + 1) * 4;
}

// Baseline SSE2: the alphabet's four ranges compared, the 6-bit values packed by shifts and a
// multiply-add, the bytes put in order by shifts.
char* DecodeBase64Sse2(const unsigned char* p, const unsigned char* end, char* w) {
    const auto in = [](__m128i c, char lo, char hi) {
        // Signed compares: bytes from 0x80 on are negative and fall outside every range.
        return _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8(static_cast<char>(lo - 1))),
                             _mm_cmplt_epi8(c, _mm_set1_epi8(static_cast<char>(hi + 1))));
    };
    while (end - p >= 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i upper = in(c, 'A', 'Z');
        const __m128i lower = in(c, 'a', 'z');
        const __m128i digit = in(c, '0', '9');
        const __m128i plus = _mm_cmpeq_epi8(c, _mm_set1_epi8('+'));
        const __m128i slash = _mm_cmpeq_epi8(c, _mm_set1_epi8('/'));
        const int valid = _mm_movemask_epi8(_mm_or_si128(
            _mm_or_si128(_mm_or_si128(upper, lower), digit), _mm_or_si128(plus, slash)));
        if (valid != 0xFFFF) {
            const std::ptrdiff_t n = ScalarBase64Stretch(valid);
            w = DecodeBase64Groups(p, p + n, w);
            p += n;
            continue;
        }
        const __m128i shift = _mm_or_si128(
            _mm_or_si128(_mm_and_si128(upper, _mm_set1_epi8(-'A')),
                         _mm_and_si128(lower, _mm_set1_epi8(static_cast<char>(26 - 'a')))),
            _mm_or_si128(_mm_and_si128(digit, _mm_set1_epi8(52 - '0')),
                         _mm_or_si128(_mm_and_si128(plus, _mm_set1_epi8(62 - '+')),
                                      _mm_and_si128(slash, _mm_set1_epi8(63 - '/')))));
        const __m128i v = _mm_add_epi8(c, shift);
        // Pairs of values (first in the low byte) to 12 bits, pairs of those to 24-bit groups
        // whose first byte is the most significant.
        const __m128i pairs = _mm_or_si128(
            _mm_slli_epi16(_mm_and_si128(v, _mm_set1_epi16(0xFF)), 6), _mm_srli_epi16(v, 8));
        const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
        // Bytes 0 and 2 of each group swapped: each 32-bit lane holds the group's three bytes in
        // their order, then a zero.
        const __m128i ordered = _mm_or_si128(
            _mm_or_si128(_mm_srli_epi32(groups, 16), _mm_and_si128(groups, _mm_set1_epi32(0xFF00))),
            _mm_and_si128(_mm_slli_epi32(groups, 16), _mm_set1_epi32(0xFF0000)));
        // The zeros squeezed out: six bytes in each half, then the halves side by side.
        const __m128i halves = _mm_or_si128(_mm_and_si128(ordered, _mm_set_epi32(0, -1, 0, -1)),
                                            _mm_slli_epi64(_mm_srli_epi64(ordered, 32), 24));
        const __m128i packed =
            _mm_or_si128(_mm_move_epi64(halves), _mm_slli_si128(_mm_srli_si128(halves, 8), 6));
        StoreBase64Block(packed, w);
        w += 12;
        p += 16;
    }
    return DecodeBase64Groups(p, end, w);
}

// The same with SSSE3: the values looked up by nibble, packed by multiply-adds and a shuffle.
__attribute__((target("ssse3"))) char* DecodeBase64Ssse3(const unsigned char* p,
                                                         const unsigned char* end, char* w) {
    // By low nibble and by high nibble, bits that no byte of the alphabet has in both.
    const __m128i lut_lo = _mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                         0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
    const __m128i lut_hi = _mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10,
                                         0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
    // What to add by high nibble ('/' counts as one above its own, 2).
    const __m128i lut_roll =
        _mm_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const __m128i nibble = _mm_set1_epi8(0x0F);
    while (end - p >= 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hi = _mm_and_si128(_mm_srli_epi32(c, 4), nibble);
        const __m128i lo = _mm_and_si128(c, nibble);
        const __m128i clash =
            _mm_and_si128(_mm_shuffle_epi8(lut_lo, lo), _mm_shuffle_epi8(lut_hi, hi));
        const int valid = _mm_movemask_epi8(_mm_cmpeq_epi8(clash, _mm_setzero_si128()));
        if (valid != 0xFFFF) {
            const std::ptrdiff_t n = ScalarBase64Stretch(valid);
            w = DecodeBase64Groups(p, p + n, w);
            p += n;
            continue;
        }
        const __m128i slash = _mm_cmpeq_epi8(c, _mm_set1_epi8('/'));
        const __m128i v = _mm_add_epi8(c, _mm_shuffle_epi8(lut_roll, _mm_add_epi8(slash, hi)));
        const __m128i pairs = _mm_maddubs_epi16(v, _mm_set1_epi32(0x01400140));
        const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
        StoreBase64Block(_mm_shuffle_epi8(groups, order), w);
        w += 12;
        p += 16;
    }
    return DecodeBase64Groups(p, end, w);
}
#endif

}  // namespace

char* TCharCodeConv::B64DecodeTo(std::string_view s, char* out) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* const end = p + s.size() / 4 * 4;
#if defined(__SSE2__)
    return HaveSsse3() ? DecodeBase64Ssse3(p, end, out) : DecodeBase64Sse2(p, end, out);
#else
    return DecodeBase64Groups(p, end, out);
#endif
}

std::string TCharCodeConv::B64Decode(std::string_view s) {
    std::string out;
    out.resize(s.size() / 4 * 3);
    out.resize(static_cast<std::size_t>(B64DecodeTo(s, out.data()) - out.data()));
    return out;
}

namespace {

// Quoted-printable text decoded into a string that keeps kSlack bytes of room beyond the limit
// the decoding checks once per step: no step writes more than that, so a plain run is stored 16
// bytes at a time and the bytes beyond it are written over by what comes next.
class QpOutput {
  public:
    static constexpr std::size_t kSlack = 16;

    // Escapes make the text much shorter than its input: the room reserved is filled (with
    // zeros) only as far as the decoding goes.
    explicit QpOutput(std::size_t expected) {
        text_.reserve(expected + kSlack);
        text_.resize(std::min<std::size_t>(expected, 4096) + kSlack);
    }
    char* Begin() { return text_.data(); }
    char* Limit() { return text_.data() + (text_.size() - kSlack); }
    // Room again past the limit, within the reserve as long as that suffices (only a text of
    // many bare line ends outgrows its input).
    char* Grow(char* at) {
        const auto used = static_cast<std::size_t>(at - text_.data());
        text_.resize(GrownSize(text_, used + 2 * kSlack));
        return text_.data() + used;
    }
    std::string Finish(char* at) { return FinishedText(text_, at); }

  private:
    std::string text_;
};

// One step of the decoding at p (end - p >= 1): an escape, an "=" that stays, a soft line break
// (an "=" that ends its line: the "=" and the line end give nothing), a line end (CR LF, a lone
// CR or a lone LF: CR LF), or a byte of text. The rules read a line's bytes only: the two digits
// of an escape are never a line end, and an "=" that ends its line is never followed by them.
inline void QpStep(const char*& p, const char* end, char*& w) {
    const char c = *p;
    if (c == '=') {
        if (end - p > 2) {
            const int hi = kHexValue.value[U(p[1])];
            const int lo = kHexValue.value[U(p[2])];
            if ((hi | lo) >= 0) {
                *w++ = static_cast<char>(16 * hi + lo);
                p += 3;
                return;
            }
        }
        if (end - p == 1) {
            ++p;  // The text's last line ends in a soft break.
            return;
        }
        if (p[1] == '\r' || p[1] == '\n') {
            p += (p[1] == '\r' && end - p > 2 && p[2] == '\n') ? 3 : 2;
            return;
        }
        *w++ = '=';
        ++p;
        return;
    }
    if (c == '\r' || c == '\n') {
        p += (c == '\r' && end - p > 1 && p[1] == '\n') ? 2 : 1;
        w[0] = '\r';
        w[1] = '\n';
        w += 2;
        return;
    }
    *w++ = c;
    ++p;
}

}  // namespace

// "=" and two hex digits (either case) are one byte, "=00" included; any other "=" stays as
// written and the bytes after it are read as text. Reading a lone digit as an escape (as "=a "
// once was) swallowed text such as "if x = a then y". Zero bytes are data, not the end.
// Lines end at CR LF, a lone CR or a lone LF, and each comes out ended by CR LF, the last one
// too, unless an "=" ends it.
std::string TCharCodeConv::QPDecode(std::string_view s) {
    QpOutput out(s.size() + 2);
    char* w = out.Begin();
    char* limit = out.Limit();
    const char* p = s.data();
    const char* const end = p + s.size();
#if defined(__SSE2__)
    // Sixteen bytes at a time: a run of text up to the next "=", CR or LF is copied whole, and
    // five escapes in a row ("=E3=81=82" is one character of UTF-8) are decoded together: the
    // bytes checked are those the escapes' own rule reads, so the result is that of the steps.
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i lead = _mm_setr_epi8(-1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, 0);
    while (end - p >= 16) {
        if (w > limit) {
            w = out.Grow(w);
            limit = out.Limit();
        }
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i eq = _mm_cmpeq_epi8(c, equals);
        const int special = _mm_movemask_epi8(
            _mm_or_si128(eq, _mm_or_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8('\r')),
                                          _mm_cmpeq_epi8(c, _mm_set1_epi8('\n')))));
        if ((special & 1) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(w), c);
            const int run = special == 0 ? 16 : __builtin_ctz(static_cast<unsigned>(special));
            p += run;
            w += run;
            continue;
        }
        if (*p == '=') {
            // Digit values by byte (0 where the byte is none), and which bytes are digits.
            const __m128i d = _mm_sub_epi8(c, _mm_set1_epi8('0'));
            const __m128i is_digit = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d);
            const __m128i x =
                _mm_sub_epi8(_mm_or_si128(c, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
            const __m128i is_letter = _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(5)), x);
            const __m128i value =
                _mm_or_si128(_mm_and_si128(is_digit, d),
                             _mm_and_si128(is_letter, _mm_add_epi8(x, _mm_set1_epi8(10))));
            const int fits = _mm_movemask_epi8(
                _mm_or_si128(_mm_and_si128(eq, lead),
                             _mm_andnot_si128(lead, _mm_or_si128(is_digit, is_letter))));
            // Five escapes in a row decode together and advance by a fixed step (a step that
            // hung on the bytes read would make every block wait for the one before it).
            if ((fits & 0x7FFF) == 0x7FFF) {
                // Byte i: its digit's value times 16 plus the next byte's.
                alignas(16) unsigned char pairs[16];
                _mm_store_si128(reinterpret_cast<__m128i*>(pairs),
                                _mm_or_si128(_mm_slli_epi16(value, 4), _mm_srli_si128(value, 1)));
                w[0] = static_cast<char>(pairs[1]);
                w[1] = static_cast<char>(pairs[4]);
                w[2] = static_cast<char>(pairs[7]);
                w[3] = static_cast<char>(pairs[10]);
                w[4] = static_cast<char>(pairs[13]);
                p += 15;
                w += 5;
                continue;
            }
            // Fewer: one at a time, within the block (at most five bytes written).
            const char* const stop = p + 15;
            const char* const first = p;
            while (p < stop && *p == '=') {
                const int hi = kHexValue.value[U(p[1])];
                const int lo = kHexValue.value[U(p[2])];
                if ((hi | lo) < 0) {
                    break;
                }
                *w++ = static_cast<char>(16 * hi + lo);
                p += 3;
            }
            if (p != first) {
                continue;
            }
        }
        QpStep(p, end, w);
    }
#endif
    while (p < end) {
        if (w > limit) {
            w = out.Grow(w);
            limit = out.Limit();
        }
        QpStep(p, end, w);
    }
    if (!s.empty() && s.back() != '\r' && s.back() != '\n' && s.back() != '=') {
        if (w > limit) {
            w = out.Grow(w);
        }
        w[0] = '\r';
        w[1] = '\n';
        w += 2;
    }
    return out.Finish(w);
}

std::string TCharCodeConv::MIMEHeaderEncode(std::string_view s) const {
    bool has_lead = false;
    for (const char c : s) {
        if (sjis::IsLeadByte(c)) {
            has_lead = true;
            break;
        }
    }
    if (!has_lead) {
        return std::string(s);
    }
    return "=?ISO-2022-JP?B?" + B64Encode(SJisToJis(s)) + "?=";
}

std::string TCharCodeConv::MIMEHeaderDecode(std::string_view s) {
    constexpr std::string_view kHead = "=?ISO-2022-JP?B?";
    std::string out;
    std::string buffer;
    bool in_word = false;
    std::size_t i = 0;
    while (i < s.size()) {
        if (HasAsciiNoCase(s, i, kHead)) {
            in_word = true;
            i += kHead.size();
            continue;
        }
        if (s[i] == '?' && i + 1 < s.size() && s[i + 1] == '=') {
            in_word = false;
            i += 2;
        } else if (in_word) {
            buffer.push_back(s[i]);
            ++i;
            continue;
        }
        if (!buffer.empty()) {
            out.append(JisToSJis(B64Decode(buffer)));
            buffer.clear();
        }
        if (i < s.size()) {
            out.push_back(s[i]);
        }
        ++i;
    }
    return out;
}

std::string TCharCodeConv::WebEncode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (const char c : s) {
        if (U(c) >= 0x80) {
            out.push_back('%');
            out.append(Int2Hex(U(c)));
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string TCharCodeConv::WebDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (c == '%') {
            const int hi = i + 1 < s.size() ? Hex2Int(U(s[i + 1])) : 0;
            const int lo = i + 2 < s.size() ? Hex2Int(U(s[i + 2])) : 0;
            c = static_cast<char>(16 * hi + lo);
            i += 3;
        } else {
            ++i;
        }
        out.push_back(c == '+' ? ' ' : c);
    }
    return out;
}

std::string MimeCharsetDecode(std::string_view s, std::string_view name) {
    std::string head = "=?";
    for (const char c : name) {
        head.push_back(AsciiUpper(c));
    }
    head.push_back('?');
    std::string out;
    std::string buffer;
    std::optional<char> encoding;  // the letter of the word being read; none outside words
    std::size_t i = 0;
    while (i < s.size()) {
        if (HasAsciiNoCase(s, i, head) && i + head.size() + 1 < s.size() &&
            s[i + head.size() + 1] == '?') {
            encoding = s[i + head.size()];
            buffer.clear();  // an unfinished word before it is lost
            i += head.size() + 2;
        } else if (encoding && s[i] == '?' && i + 1 < s.size() && s[i + 1] == '=') {
            if (!buffer.empty()) {
                out.append(MimeWordDecode(*encoding, buffer));
                buffer.clear();
            }
            encoding.reset();
            i += 2;
        } else {
            (encoding ? buffer : out).push_back(s[i]);
            ++i;
        }
    }
    if (encoding && !buffer.empty()) {
        out.append(MimeWordDecode(*encoding, buffer));
    }
    return out;
}

std::string MimeWordDecode(char letter, std::string_view text) {
    if (letter == 'B' || letter == 'b') {
        return MimeBDecode(text);
    }
    if (letter == 'Q' || letter == 'q') {
        return MimeQDecode(text);
    }
    return std::string(text);
}

std::string MimeBDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    unsigned group = 0;
    int pending = 0;
    for (const char c : text) {
        const unsigned value = kBase64.value[U(c)];
        if (value >= 64) {
            continue;
        }
        group = (group << 6) | value;
        if (++pending == 4) {
            out.push_back(static_cast<char>((group >> 16) & 0xFF));
            out.push_back(static_cast<char>((group >> 8) & 0xFF));
            out.push_back(static_cast<char>(group & 0xFF));
            group = 0;
            pending = 0;
        }
    }
    if (pending == 2) {
        out.push_back(static_cast<char>((group >> 4) & 0xFF));
    } else if (pending == 3) {
        out.push_back(static_cast<char>((group >> 10) & 0xFF));
        out.push_back(static_cast<char>((group >> 2) & 0xFF));
    }
    return out;
}

std::string MimeQDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '=' && i + 2 < text.size() && kHexValue.value[U(text[i + 1])] >= 0 &&
            kHexValue.value[U(text[i + 2])] >= 0) {
            out.push_back(static_cast<char>(16 * kHexValue.value[U(text[i + 1])] +
                                            kHexValue.value[U(text[i + 2])]));
            i += 3;
        } else {
            out.push_back(text[i]);
            ++i;
        }
    }
    return out;
}

std::string EucToJis(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 8);
    bool in_kanji = false;
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = U(s[i]);
        const unsigned char next = i + 1 < s.size() ? U(s[i + 1]) : ' ';
        if (c > 0x80 && next > 0x80) {
            if (!in_kanji) {
                out.append(kKanjiIn);
                in_kanji = true;
            }
            out.push_back(static_cast<char>(c - 0x80));
            out.push_back(static_cast<char>(next - 0x80));
            i += 2;
        } else if (c < 0x80) {
            if (in_kanji) {
                out.append(kRomanIn);
                in_kanji = false;
            }
            out.push_back(static_cast<char>(c));
            ++i;
        } else {
            ++i;  // a lone 8-bit byte has no JIS form
        }
    }
    if (in_kanji) {
        out.append(kRomanIn);
    }
    return out;
}

}  // namespace brindle
