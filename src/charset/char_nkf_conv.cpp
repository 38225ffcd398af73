#include "charset/char_nkf_conv.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "charset/jis_pair_lanes.hpp"
#include "platform/core_messages.hpp"
#include "platform/exception.hpp"
#include "platform/iconv_converter.hpp"
#include "platform/sjis.hpp"
#include "platform/text_encoding.hpp"

namespace brindle {

namespace {

constexpr std::string_view kMissingCharacter = "?";

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string AsciiUpperCopy(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = AsciiUpper(c);
    }
    return out;
}

// iconv_open is far dearer than converting one header value, so each thread keeps one
// descriptor per conversion; ConvertLenient resets the shift state before and after use.
template <const char* kTo, const char* kFrom>
IconvConverter& Converter() {
    try {
        thread_local IconvConverter converter(kTo, kFrom);
        return converter;
    } catch (const Exception&) {
        throw Exception(Msg(CoreMsg::ConversionCannotOpen, {{"from", kFrom}, {"to", kTo}}));
    }
}

constexpr char kCp932[] = "CP932";
constexpr char kUtf8[] = "UTF-8";
constexpr char kUtf7[] = "UTF-7";
constexpr char kEucJpMs[] = "EUC-JP-MS";

bool IsUtf7Base64(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

// UTF-7 to UTF-8, each Base64 run ("+" ... up to the first non-Base64 byte, a "-" there
// absorbed) through iconv with a fresh state. glibc keeps a lone surrogate pending across the
// end of its run, so stepping over the offending byte alone made it eat or garble the text
// after it; here a broken run costs one '?' and nothing beyond it. Outside runs, ASCII is text
// ('~' and '\\' too, which glibc refuses as direct characters) and an 8-bit byte is one '?'.
std::string Utf7ToUtf8(std::string_view text) {
    IconvConverter& converter = Converter<kUtf8, kUtf7>();
    std::string out;
    out.reserve(text.size() * 2);
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] != '+') {
            const char c = text[pos++];
            out.append(static_cast<unsigned char>(c) < 0x80 ? std::string_view(&c, 1)
                                                            : kMissingCharacter);
            continue;
        }
        std::size_t end = pos + 1;
        while (end < text.size() && IsUtf7Base64(text[end])) {
            ++end;
        }
        std::string run(text.substr(pos, end - pos));
        run.push_back('-');  // closes the run, so that a pending lone surrogate is reported
        if (end < text.size() && text[end] == '-') {
            ++end;
        }
        out += converter.ConvertLenient(run, kMissingCharacter,
                                        [](std::string_view rest) { return rest.size(); });
        pos = end;
    }
    return out;
}

// True when UTF-7 text ends inside a Base64 run, which the end of an encoded word closes but
// the next word, joined to it, would continue.
bool EndsInOpenUtf7Run(std::string_view text) {
    bool open = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (open) {
            open = IsUtf7Base64(text[i]);
        } else if (text[i] == '+') {
            if (i + 1 < text.size() && text[i + 1] == '-') {
                ++i;  // "+-" is a literal '+'
            } else {
                open = true;
            }
        }
    }
    return open;
}

// A long UTF-8 or EUC-JP text converted a piece of about a megabyte at a time, each piece
// ending after a line feed, into one string: converted whole, its output would reserve half as
// much again as the input, which CP932 never needs. A line feed is never part of a character in
// either encoding and the conversion keeps no state past it, so the pieces give what the whole
// gives; a text without line feeds is one piece.
template <typename Convert>
std::string ConvertInPieces(std::string_view text, Convert convert) {
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    if (text.size() <= kPiece) {
        return convert(text);
    }
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.size();
        if (text.size() - pos > kPiece) {
            const std::size_t lf = text.find('\n', pos + kPiece);
            end = lf == std::string_view::npos ? text.size() : lf + 1;
        }
        out += convert(text.substr(pos, end - pos));
        pos = end;
    }
    return out;
}

// The characters of the two stateless encodings that bodies arrive in besides Shift_JIS and
// JIS: Read answers a character's key in the table and its length, or false for a sequence the
// table does not serve.
struct Utf8Characters {
    static constexpr const char* kFrom = kUtf8;
    static constexpr IconvConverter::SkipRule kSkip = &IconvConverter::SkipUtf8Character;
    static constexpr bool kJisPairs = false;

    static bool IsTail(unsigned char c) { return (c & 0xC0) == 0x80; }

    // The Basic Multilingual Plane, well-formed (no overlong form, no surrogate).
    static bool Read(const unsigned char* data, std::size_t pos, std::size_t size,
                     std::uint32_t& key, std::size_t& length) {
        const unsigned char b0 = data[pos];
        if (b0 < 0x80) {
            key = b0;
            length = 1;
            return true;
        }
        // Three bytes (kana and kanji) before two.
        if ((b0 & 0xF0) == 0xE0) {
            if (size - pos < 3 || !IsTail(data[pos + 1]) || !IsTail(data[pos + 2])) {
                return false;
            }
            key = (std::uint32_t{b0} & 0x0F) << 12 | (data[pos + 1] & 0x3Fu) << 6 |
                  (data[pos + 2] & 0x3Fu);
            length = 3;
            return key >= 0x800 && (key < 0xD800 || key > 0xDFFF);
        }
        if (b0 >= 0xC2 && b0 <= 0xDF && pos + 1 < size && IsTail(data[pos + 1])) {
            key = (std::uint32_t{b0} & 0x1F) << 6 | (data[pos + 1] & 0x3Fu);
            length = 2;
            return true;
        }
        return false;
    }
};

struct EucJpCharacters {
    static constexpr const char* kFrom = kEucJpMs;
    static constexpr IconvConverter::SkipRule kSkip = &IconvConverter::SkipEucJpCharacter;
    // Its two-byte characters are JIS pairs with bit 7 set on both bytes.
    static constexpr bool kJisPairs = true;

    // ASCII, the two-byte characters and the half-width katakana (0x8E and its byte); the
    // three-byte characters of JIS X 0212 are left to iconv.
    static bool Read(const unsigned char* data, std::size_t pos, std::size_t size,
                     std::uint32_t& key, std::size_t& length) {
        const unsigned char b0 = data[pos];
        if (b0 < 0x80) {
            key = b0;
            length = 1;
            return true;
        }
        if (pos + 1 >= size) {
            return false;
        }
        const unsigned char b1 = data[pos + 1];
        const bool pair = b0 >= 0xA1 && b0 <= 0xFE && b1 >= 0xA1 && b1 <= 0xFE;
        const bool kana = b0 == 0x8E && b1 >= 0xA1 && b1 <= 0xDF;
        key = std::uint32_t{b0} << 8 | b1;
        length = 2;
        return pair || kana;
    }
};

template <typename Encoding>
std::string ToCp932ThroughIconv(std::string_view text) {
    return ConvertInPieces(text, [](std::string_view piece) {
        return Converter<kCp932, Encoding::kFrom>().ConvertLenient(piece, kMissingCharacter,
                                                                   Encoding::kSkip);
    });
}

// UTF-8 and EUC-JP to CP932 a character at a time through a table of what iconv gives for each
// character, asked of iconv the first time the character is met (neither encoding nor CP932
// keeps any state, so a text converts as its characters do one by one). From the first sequence
// that Read does not serve, or a character iconv does not give in at most as many bytes, the
// rest of the text goes through iconv as before: the result is iconv's throughout. iconv's
// per-call work and its detour through UCS-4 had been a fifth of a conversion with body
// conditions.
template <typename Encoding>
class Cp932Table {
  public:
    std::string Convert(std::string_view text) {
        std::string out;
        out.reserve(text.size());  // no character takes more bytes (see Learn)
        Append(text, out);
        return out;
    }

    void Append(std::string_view text, std::string& out) {
        std::size_t line_start = 0;
        const std::size_t pos = AppendServed<false>(text, out, line_start);
        if (pos < text.size()) {
            out += ToCp932ThroughIconv<Encoding>(text.substr(pos));
        }
    }

    // Stored lines (each ended by a CR and the byte after it, the last perhaps by the end of the
    // text) appended as Append converts each line on its own, each followed by CR LF: a
    // character never spans a CR, as no tail byte of either encoding is one. False, with nothing
    // appended, when a character is one the table does not serve (Append leaves the rest of its
    // line to iconv, whose output is not known to stay within the line), a character gives CR or
    // LF or a line holds a lone LF: such text is converted line by line as before.
    bool AppendLines(std::string_view lines, std::string& out) {
        const std::size_t start = out.size();
        std::size_t line_start = 0;
        if (AppendServed<true>(lines, out, line_start) < lines.size()) {
            out.resize(start);
            return false;
        }
        if (line_start < lines.size()) {
            out += "\r\n";
        }
        return true;
    }

  private:
    static constexpr std::uint32_t kUnknown = 0;
    static constexpr std::uint32_t kOneByte = 0x10000;
    static constexpr std::uint32_t kTwoBytes = 0x20000;
    static constexpr std::uint32_t kThroughIconv = 0x40000;
    static constexpr std::uint32_t kGivesLineEnd = 0x80000;  // a CR or LF among its bytes

    // Converted from the start of text while the table serves the characters, written a stretch
    // at a time into a small buffer and appended: reserved room that CP932's shorter forms leave
    // unused is never touched, so it takes no memory. With kLines a CR and the byte after it are
    // a line end, given as CR LF (line_start: where the last line began), and a lone LF or a
    // character that gives CR or LF stops it too. Answers where it stopped, the size when all
    // was served. The loop was most of a UTF-8 body's conversion: the table and the stretch's
    // end are kept in locals (the writes through char pointers would make them reloaded) and a
    // character is written without a branch.
    template <bool kLines>
    std::size_t AppendServed(std::string_view text, std::string& out, std::size_t& line_start) {
        constexpr std::uint32_t kStop = kLines ? (kThroughIconv | kGivesLineEnd) : kThroughIconv;
        char buffer[4096];
        const auto* const data = reinterpret_cast<const unsigned char*>(text.data());
        const std::size_t size = text.size();
        const std::uint32_t* const table = entries_.data();
#if defined(__SSE2__)
        // A decoded UTF-8 body (not stored lines, whose CRs the shortcuts would pass over) takes
        // the shortcuts of Utf8Shortcut.
        constexpr bool kUtf8Shortcuts = !kLines && std::is_same_v<Encoding, Utf8Characters>;
        [[maybe_unused]] bool ascii_copies = false;
        if constexpr (kUtf8Shortcuts) {
            ascii_copies = size >= 16 && AsciiCopies();
        }
#endif
        std::size_t pos = 0;
        [[maybe_unused]] std::size_t wide_from = 0;  // where pairs are next taken 16 bytes at once
        while (pos < size) {
            // A character takes at least one byte and gives at most two (a line end two for
            // one or two), so a stretch of half the buffer's bytes fits; the second byte is
            // written even for a one-byte character.
            const std::size_t stretch_end = std::min(size, pos + sizeof(buffer) / 2);
            char* w = buffer;
            bool stopped = false;
            while (pos < stretch_end) {
#if defined(__SSE2__)
                if constexpr (Encoding::kJisPairs) {
                    if (pos >= wide_from && stretch_end - pos >= 16) {
                        std::size_t next_pair = 0;
                        const std::size_t converted = AppendWidePairs(data + pos, w, next_pair);
                        pos += converted;
                        w += converted;
                        // The character that stopped the block goes the usual way; where it
                        // stopped at once, so do those up to the next pair byte (ASCII, say).
                        wide_from =
                            pos + (converted == 0 ? std::max<std::size_t>(next_pair, 1) : 1);
                        continue;
                    }
                }
                if constexpr (kUtf8Shortcuts) {
                    if (stretch_end - pos >= 16 &&
                        Utf8Shortcut(data, table, ascii_copies, pos, w)) {
                        continue;
                    }
                }
#endif
                if constexpr (kLines) {
                    if (data[pos] == '\r') {
                        w[0] = '\r';
                        w[1] = '\n';
                        w += 2;
                        pos = std::min(pos + 2, size);
                        line_start = pos;
                        continue;
                    }
                    if (data[pos] == '\n') {
                        stopped = true;
                        break;
                    }
                }
                if (!Step<Encoding>(text, table, kStop, pos, w)) {
                    stopped = true;
                    break;
                }
            }
            out.append(buffer, static_cast<std::size_t>(w - buffer));
            if (stopped) {
                break;
            }
        }
        return pos;
    }

#if defined(__SSE2__)
    // EUC-JP pairs at block converted 16 bytes at a time, as long as every byte is 0xA1-0xFE
    // (pairs, from a character's start) and every pair is one whose entry is known to be the JIS
    // arithmetic (arithmetic_), writing 16 bytes at w (those past the pairs converted are
    // garbage, written over later); answers how many bytes it converted. What it writes is
    // then exactly what the table holds, that is what iconv gives: a pair not yet met, or one
    // iconv gives otherwise (unassigned, the NEC row 13 characters CP932 also has in row 2,
    // the IBM extensions), stops it and goes the usual way. 16 bytes must remain at block and w.
    // next_pair: the offset of the block's first byte 0xA1-0xFE, 16 if none.
    std::size_t AppendWidePairs(const unsigned char* block, char* w, std::size_t& next_pair) const {
        using namespace jis_lanes;
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
        const __m128i offset = _mm_sub_epi8(x, _mm_set1_epi8(static_cast<char>(0xA1)));
        const auto pair_bytes = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(0xFE - 0xA1)), offset)));
        next_pair = pair_bytes == 0 ? 16 : static_cast<std::size_t>(__builtin_ctz(pair_bytes));
        std::size_t bytes = pair_bytes == 0xFFFF ? 16 : (__builtin_ctz(~pair_bytes) & ~1u);
        const std::uint8_t* const arithmetic = arithmetic_.data();
        for (std::size_t i = 0; i < bytes; i += 2) {
            std::uint16_t pair = 0;
            std::memcpy(&pair, block + i, 2);
            if (arithmetic[pair] == 0) {
                bytes = i;
                break;
            }
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w),
                         SJisOfJisPairs(_mm_and_si128(x, _mm_set1_epi8(0x7F)), kJisLanes));
        return bytes;
    }
#endif

    // Notes an EUC-JP pair whose entry is kTwoBytes and the Shift_JIS form that JIS arithmetic
    // gives the pair without bit 7 (TCharCodeConv::j2sj1, which AppendWidePairs computes), under
    // the pair's two bytes as they lie in memory.
    void NoteArithmetic(std::string_view character, std::uint32_t entry) {
        if constexpr (Encoding::kJisPairs) {
            if (character.size() != 2) {
                return;
            }
            const auto lead = static_cast<unsigned char>(character[0]);
            const auto trail = static_cast<unsigned char>(character[1]);
            if (lead < 0xA1 || lead > 0xFE || trail < 0xA1 || trail > 0xFE) {
                return;
            }
            const char pair[2] = {static_cast<char>(lead & 0x7F), static_cast<char>(trail & 0x7F)};
            const std::string sjis = TCharCodeConv::j2sj1(std::string_view(pair, 2));
            if (entry == (kTwoBytes | std::uint32_t{static_cast<unsigned char>(sjis[0])} << 8 |
                          static_cast<unsigned char>(sjis[1]))) {
                std::uint16_t in_memory = 0;
                std::memcpy(&in_memory, character.data(), 2);
                arithmetic_[in_memory] = 1;
            }
        }
    }

#if defined(__SSE2__)
    // Two shortcuts through UTF-8 at pos, with 16 bytes to spare there, that give what the steps
    // give; false when neither applies. A run of ASCII is copied 16 bytes at a time once every
    // ASCII character is known to give its own byte (ascii_copies: what CP932 does; the entries
    // are learned once, as the steps would learn each when they met it). The three-byte
    // characters (kana, kanji) that a block of 16 bytes starts with are checked together, and
    // each whose entry gives two bytes is written with no other test.
    [[gnu::always_inline]] bool Utf8Shortcut(const unsigned char* data, const std::uint32_t* table,
                                             bool ascii_copies, std::size_t& pos, char*& w) {
        const unsigned char b0 = data[pos];
        if (b0 < 0x80 && ascii_copies) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(w), block);
            const int high = _mm_movemask_epi8(block);
            const int run = high == 0 ? 16 : __builtin_ctz(static_cast<unsigned>(high));
            w += run;
            pos += static_cast<std::size_t>(run);
            return true;
        }
        if ((b0 & 0xF0) != 0xE0) {
            return false;
        }
        // The three-byte characters the block starts with (at most five): a lead E1-EC or EE-EF
        // (E0 may be overlong, ED a surrogate: those are left to Read) and two tails each, so that
        // each is well-formed as Read has it.
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
        const __m128i lead = _mm_andnot_si128(
            _mm_or_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8(static_cast<char>(0xE0))),
                         _mm_cmpeq_epi8(c, _mm_set1_epi8(static_cast<char>(0xED)))),
            _mm_cmpeq_epi8(_mm_and_si128(c, _mm_set1_epi8(static_cast<char>(0xF0))),
                           _mm_set1_epi8(static_cast<char>(0xE0))));
        const __m128i tail =
            _mm_cmpeq_epi8(_mm_and_si128(c, _mm_set1_epi8(static_cast<char>(0xC0))),
                           _mm_set1_epi8(static_cast<char>(0x80)));
        const __m128i lead_at = _mm_setr_epi8(-1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, 0);
        const int fits = _mm_movemask_epi8(
            _mm_or_si128(_mm_and_si128(lead, lead_at), _mm_andnot_si128(lead_at, tail)));
        int characters = __builtin_ctz(static_cast<unsigned>(~(fits | 0x8000))) / 3;
        const std::size_t block_start = pos;
        for (; characters > 0; --characters) {
            const std::uint32_t key =
                (data[pos] & 0x0Fu) << 12 | (data[pos + 1] & 0x3Fu) << 6 | (data[pos + 2] & 0x3Fu);
            const std::uint32_t entry = table[key];
            if ((entry & kTwoBytes) == 0) {
                break;  // unknown, one byte or through iconv: the steps
            }
            w[0] = static_cast<char>(entry >> 8);
            w[1] = static_cast<char>(entry);
            w += 2;
            pos += 3;
        }
        return pos != block_start;
    }
#endif

    // Whether every ASCII character gives its own byte, learned once.
    bool AsciiCopies() {
        if (ascii_copies_ == AsciiCopying::kUnknown) {
            bool copies = true;
            for (unsigned c = 0; c < 0x80; ++c) {
                std::uint32_t entry = entries_[c];
                if (entry == kUnknown) {
                    const char character = static_cast<char>(c);
                    entry = Learn(c, std::string_view(&character, 1));
                }
                copies = copies && (entry & ~kGivesLineEnd) == (kOneByte | c);
            }
            ascii_copies_ = copies ? AsciiCopying::kYes : AsciiCopying::kNo;
        }
        return ascii_copies_ == AsciiCopying::kYes;
    }

    // One character at pos through the table: written at w (the second byte even for a
    // one-byte character), or false where the table does not serve it (Read refuses the
    // sequence, or its entry has a flag of `stop`). The table comes as a local of the caller:
    // read through the member, it would be read again after every write through w.
    template <typename Characters>
    [[gnu::always_inline]] bool Step(std::string_view text, const std::uint32_t* table,
                                     std::uint32_t stop, std::size_t& pos, char*& w) {
        std::uint32_t key = 0;
        std::size_t length = 0;
        if (!Characters::Read(reinterpret_cast<const unsigned char*>(text.data()), pos, text.size(),
                              key, length)) {
            return false;
        }
        std::uint32_t entry = table[key];
        if (entry == kUnknown) {
            entry = Learn(key, text.substr(pos, length));
        }
        if (entry & stop) {
            return false;
        }
        const bool two = (entry & kTwoBytes) != 0;
        w[0] = static_cast<char>(two ? entry >> 8 : entry);
        w[1] = static_cast<char>(entry);
        w += 1 + static_cast<int>(two);
        pos += length;
        return true;
    }

    // The entry of a character met for the first time, asked of iconv and kept.
    [[gnu::noinline]] std::uint32_t Learn(std::uint32_t key, std::string_view character) {
        std::uint32_t& entry = entries_[key];
        const auto converted = Converter<kCp932, Encoding::kFrom>().ConvertStrict(character);
        if (!converted || converted->empty() || converted->size() > 2 ||
            converted->size() > character.size()) {
            entry = kThroughIconv;
        } else if (converted->size() == 1) {
            entry = kOneByte | static_cast<unsigned char>((*converted)[0]);
        } else {
            entry = kTwoBytes | std::uint32_t{static_cast<unsigned char>((*converted)[0])} << 8 |
                    static_cast<unsigned char>((*converted)[1]);
        }
        if (entry != kThroughIconv && converted->find_first_of("\r\n") != std::string::npos) {
            entry |= kGivesLineEnd;
        }
        NoteArithmetic(character, entry);
        return entry;
    }

    std::vector<std::uint32_t> entries_ = std::vector<std::uint32_t>(0x10000, kUnknown);
    // 1 for an EUC-JP pair that NoteArithmetic has noted, indexed by its bytes as they lie in
    // memory; empty for UTF-8.
    std::vector<std::uint8_t> arithmetic_ =
        std::vector<std::uint8_t>(Encoding::kJisPairs ? 0x10000 : 0, 0);
    enum class AsciiCopying { kUnknown, kYes, kNo };
    AsciiCopying ascii_copies_ = AsciiCopying::kUnknown;
};

template <typename Encoding>
Cp932Table<Encoding>& TableOf() {
    thread_local Cp932Table<Encoding> table;
    return table;
}

template <typename Encoding>
std::string ToCp932(std::string_view text) {
    return TableOf<Encoding>().Convert(text);
}

bool IsLinearWhiteSpace(std::string_view text) {
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            return false;
        }
    }
    return true;
}

// Bytes looked at or converted while decoding header values on this thread.
thread_local std::uint64_t header_decode_steps = 0;

// One encoded word of a header value, "=?charset?X?text?=", as it stands in the value.
struct EncodedWord {
    std::size_t begin = 0;  // first byte of "=?"
    std::size_t end = 0;    // one past "?=" (or the end of the value)
    std::string_view charset;
    char letter = 'B';  // upper case
    std::string_view text;
};

bool IsCharsetByte(char c) {
    // Token characters of RFC 2047 (no blank, no control, no "?"); "*" starts an RFC 2231
    // language tag.
    return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F && c != '?';
}

// The first encoded word that starts at or after pos, wherever it stands (mailers glue words to
// text and to each other). Its text runs to the first "?=" after "?X?"; a word without one runs
// to the end of the value, so that a subject cut short still reads. The charset of a candidate
// holds no "?", so the charsets scanned over a whole value never overlap: the work is linear.
std::optional<EncodedWord> FindEncodedWord(std::string_view value, std::size_t pos) {
    while ((pos = value.find("=?", pos)) != std::string_view::npos) {
        const std::size_t charset_begin = pos + 2;
        std::size_t charset_end = charset_begin;
        while (charset_end < value.size() && IsCharsetByte(value[charset_end])) {
            ++charset_end;
        }
        header_decode_steps += charset_end - pos;
        const char letter = charset_end + 2 < value.size() ? AsciiUpper(value[charset_end + 1]) : 0;
        if (charset_end == charset_begin || charset_end + 2 >= value.size() ||
            value[charset_end] != '?' || value[charset_end + 2] != '?' ||
            (letter != 'B' && letter != 'Q')) {
            // The next candidate may start inside this one's charset ("=?=?utf-8?..."); it can
            // only start at its last byte, so no byte is scanned twice.
            ++pos;
            continue;
        }
        EncodedWord word;
        word.begin = pos;
        word.charset = value.substr(charset_begin, charset_end - charset_begin);
        word.letter = letter;
        const std::size_t text_begin = charset_end + 3;
        const std::size_t text_end = value.find("?=", text_begin);
        if (text_end == std::string_view::npos) {
            word.text = value.substr(text_begin);
            word.end = value.size();
        } else {
            word.text = value.substr(text_begin, text_end - text_begin);
            word.end = text_end + 2;
        }
        header_decode_steps += word.end - text_begin;
        return word;
    }
    return std::nullopt;
}

// The word's bytes in its charset. In a Q word "_" is a blank and "=" with two hex digits (either
// case) a byte; any other "=" stays.
std::string TransferDecode(const EncodedWord& word) {
    if (word.letter == 'B') {
        return MimeBDecode(word.text);
    }
    std::string text(word.text);
    for (char& c : text) {
        if (c == '_') {
            c = ' ';
        }
    }
    return MimeQDecode(text);
}

// Charsets beyond the Japanese and Unicode ones that iconv converts to CP932. Only these names
// reach iconv_open: the charset of a word is outside input.
struct OtherCharset {
    std::string_view label;
    const char* iconv_name;
    bool double_byte;  // a character that cannot be converted may be two bytes long
};
constexpr OtherCharset kOtherCharsets[] = {
    {"ISO-8859-1", "ISO-8859-1", false},
    {"ISO-8859-2", "ISO-8859-2", false},
    {"ISO-8859-5", "ISO-8859-5", false},
    {"ISO-8859-7", "ISO-8859-7", false},
    {"ISO-8859-9", "ISO-8859-9", false},
    {"ISO-8859-15", "ISO-8859-15", false},
    {"LATIN1", "ISO-8859-1", false},
    {"WINDOWS-1250", "WINDOWS-1250", false},
    {"WINDOWS-1251", "WINDOWS-1251", false},
    {"WINDOWS-1252", "WINDOWS-1252", false},
    {"KOI8-R", "KOI8-R", false},
    {"KOI8-U", "KOI8-U", false},
    {"GB2312", "GBK", true},
    {"GBK", "GBK", true},
    {"GB18030", "GB18030", true},
    {"BIG5", "BIG5", true},
    {"EUC-KR", "EUC-KR", true},
    {"KS_C_5601-1987", "CP949", true},
};

// How the bytes of a word's charset become Shift_JIS.
struct WordCharset {
    enum class Kind { Jis, ShiftJis, CodePage, Iconv, Unknown };
    Kind kind = Kind::Unknown;
    std::string key;  // upper case, without a language tag: words of one key are joined
    int code_page = 0;
    const OtherCharset* other = nullptr;
};

WordCharset ParseWordCharset(std::string_view name) {
    WordCharset charset;
    charset.key = AsciiUpperCopy(name.substr(0, name.find('*')));
    const std::string& key = charset.key;
    if (key.starts_with("ISO-2022-JP") || key == "CSISO2022JP" || key == "CP50220" ||
        key == "CP50221" || key == "CP50222") {
        charset.kind = WordCharset::Kind::Jis;
    } else if (key == "SHIFT_JIS" || key == "SHIFT-JIS" || key == "SJIS" || key == "X-SJIS" ||
               key == "CP932" || key == "WINDOWS-31J" || key == "MS_KANJI" || key == "CSSHIFTJIS" ||
               key == "US-ASCII" || key == "ASCII") {
        charset.kind = WordCharset::Kind::ShiftJis;
    } else if (key == "EUC-JP" || key == "X-EUC-JP" || key == "EUCJP" || key == "EUC-JP-MS" ||
               key == "CP51932") {
        charset.kind = WordCharset::Kind::CodePage;
        charset.code_page = kCodePageEucJp;
    } else if (key == "UTF-8" || key == "UTF8") {
        charset.kind = WordCharset::Kind::CodePage;
        charset.code_page = kCodePageUtf8;
    } else if (key == "UTF-7") {
        charset.kind = WordCharset::Kind::CodePage;
        charset.code_page = kCodePageUtf7;
    } else {
        for (const auto& other : kOtherCharsets) {
            if (key == other.label) {
                charset.kind = WordCharset::Kind::Iconv;
                charset.other = &other;
            }
        }
    }
    return charset;
}

// One descriptor per thread, target and charset of the table above, opened on first use.
template <const char* kTo>
std::string ConvertOtherCharset(std::string_view bytes, const OtherCharset& charset) {
    thread_local std::map<std::string_view, IconvConverter> converters;
    auto found = converters.find(charset.iconv_name);
    if (found == converters.end()) {
        found =
            converters.emplace(charset.iconv_name, IconvConverter(kTo, charset.iconv_name)).first;
    }
    // A lead byte and the byte after it are one character in the double-byte charsets named
    // here, as in CP932.
    const IconvConverter::SkipRule skip = charset.double_byte
                                              ? &IconvConverter::SkipCp932Character
                                              : [](std::string_view) -> std::size_t { return 1; };
    return found->second.ConvertLenient(bytes, kMissingCharacter, skip);
}

std::string PlainToSJis(std::string_view text) {
    // Raw JIS in a header (old Japanese mailers) is decoded; Shift_JIS and ASCII pass through.
    if (text.find('\x1B') == std::string_view::npos &&
        text.find('\x0E') == std::string_view::npos) {
        return std::string(text);
    }
    return TCharCodeConv::JisToSJis(text);
}

std::string ConvertWordBytes(const TCharNkfConv& conv, std::string_view bytes,
                             const WordCharset& charset) {
    header_decode_steps += bytes.size();
    try {
        switch (charset.kind) {
            case WordCharset::Kind::Jis:
                return TCharCodeConv::JisToSJis(bytes);
            case WordCharset::Kind::CodePage:
                return conv.CodePageToSJis(bytes, charset.code_page);
            case WordCharset::Kind::Iconv:
                return ConvertOtherCharset<kCp932>(bytes, *charset.other);
            case WordCharset::Kind::ShiftJis:
            case WordCharset::Kind::Unknown:
                break;
        }
    } catch (const std::exception&) {
        // iconv cannot serve the charset on this machine: the bytes stay as they are, as for a
        // charset the program does not know.
    }
    return std::string(bytes);
}

// The same into UTF-8: a word whose charset holds characters that Shift_JIS lacks (UTF-8,
// UTF-7, the charsets of other languages) keeps them; every other word is what Shift_JIS
// decoding gives, in UTF-8.
std::string ConvertWordBytesUtf8(const TCharNkfConv& conv, std::string_view bytes,
                                 const WordCharset& charset) {
    try {
        if (charset.kind == WordCharset::Kind::CodePage && charset.code_page == kCodePageUtf8) {
            header_decode_steps += bytes.size();
            return SanitizeUtf8(bytes);
        }
        if (charset.kind == WordCharset::Kind::CodePage && charset.code_page == kCodePageUtf7) {
            header_decode_steps += bytes.size();
            return SanitizeUtf8(Utf7ToUtf8(bytes));
        }
        if (charset.kind == WordCharset::Kind::Iconv) {
            header_decode_steps += bytes.size();
            return ConvertOtherCharset<kUtf8>(bytes, *charset.other);
        }
    } catch (const std::exception&) {
        // As in Shift_JIS decoding: a charset iconv cannot serve leaves the bytes as they are.
    }
    return Cp932ToUtf8(ConvertWordBytes(conv, bytes, charset));
}

std::string PlainToUtf8(std::string_view text) {
    return Cp932ToUtf8(PlainToSJis(text));
}

// Decodes the encoded words of value whose charset `wanted` accepts; other words stay as
// written, and so does the text between words, except white space between two decoded words.
// Words are converted by convert_word, the text between them by convert_plain.
template <typename Wanted, auto convert_word = ConvertWordBytes, auto convert_plain = PlainToSJis>
std::string DecodeWords(const TCharNkfConv& conv, std::string_view value, Wanted wanted) {
    std::string out;
    out.reserve(value.size());
    // Adjacent words of one charset are gathered and converted together, so that a character
    // split over two words (a UTF-8 sequence, a JIS kanji run) survives.
    // (A plain flag rather than std::optional: GCC 12 warns falsely about the latter here.)
    std::string run_bytes;
    WordCharset run_charset;
    bool in_run = false;
    bool run_open_utf7 = false;
    const auto flush = [&] {
        if (in_run) {
            out += convert_word(conv, run_bytes, run_charset);
            run_bytes.clear();
            in_run = false;
        }
    };
    std::size_t copied = 0;  // end of the value already handled
    bool after_word = false;
    std::size_t pos = 0;
    while (const auto word = FindEncodedWord(value, pos)) {
        pos = word->end;
        WordCharset charset = ParseWordCharset(word->charset);
        if (!wanted(charset)) {
            continue;
        }
        const std::string_view between = value.substr(copied, word->begin - copied);
        header_decode_steps += between.size();
        // RFC 2047: white space between two encoded words is not part of the text.
        if (!(after_word && IsLinearWhiteSpace(between))) {
            flush();
            out += convert_plain(between);
        }
        std::string bytes = TransferDecode(*word);
        if (in_run && run_charset.key == charset.key) {
            // A UTF-7 word ends its own Base64 run, which the next word, joined to it, would
            // continue. Only the last word can leave a run open, so only its bytes are looked at:
            // looking at the whole run each time made a long subject quadratic.
            if (run_open_utf7) {
                run_bytes.push_back('-');
            }
        } else {
            flush();
            run_charset = std::move(charset);
            in_run = true;
        }
        run_open_utf7 = run_charset.code_page == kCodePageUtf7 && EndsInOpenUtf7Run(bytes);
        header_decode_steps += bytes.size();
        run_bytes += bytes;
        copied = word->end;
        after_word = true;
    }
    flush();
    out += convert_plain(value.substr(copied));
    return out;
}

}  // namespace

std::string TCharNkfConv::CodePageToSJis(std::string_view text, int code_page) const {
    switch (code_page) {
        case kCodePageIso2022Jp:
            return JisToSJis(text);
        case kCodePageEucJp:
        case kCodePageUtf7:
        case kCodePageUtf8:
            return SystemCodePageToSJis(text, code_page);
        case kCodePageQuotedPrintable:
            return QPDecode(text);
        case kCodePageBase64:
            return B64Decode(text);
        default:
            return std::string(text);  // 932, 1252 and anything unknown
    }
}

void TCharNkfConv::AppendCodePageToSJis(std::string_view text, int code_page,
                                        std::string& out) const {
    switch (code_page) {
        case kCodePageIso2022Jp:
            AppendJisToSJis(text, out);
            return;
        case kCodePageEucJp:
            TableOf<EucJpCharacters>().Append(text, out);
            return;
        case kCodePageUtf8:
            TableOf<Utf8Characters>().Append(text, out);
            return;
        case kCodePageUtf7:
        case kCodePageQuotedPrintable:
        case kCodePageBase64:
            out += CodePageToSJis(text, code_page);
            return;
        default:
            out += text;  // 932, 1252 and anything unknown
            return;
    }
}

bool TCharNkfConv::AppendLinesToSJis(std::string_view lines, int code_page,
                                     std::string& out) const {
    switch (code_page) {
        case kCodePageIso2022Jp:
            AppendJisLinesToSJis(lines, out);
            return true;
        case kCodePageEucJp:
            return TableOf<EucJpCharacters>().AppendLines(lines, out);
        case kCodePageUtf8:
            return TableOf<Utf8Characters>().AppendLines(lines, out);
        case kCodePageUtf7:
        case kCodePageQuotedPrintable:
        case kCodePageBase64:
            return false;
        default:
            // Unconverted, each line followed by CR LF is the text itself, once its last line
            // has its line end.
            out += lines;
            if (!lines.empty() && !lines.ends_with("\r\n")) {
                out += "\r\n";
            }
            return true;
    }
}

std::string TCharNkfConv::SystemCodePageToSJis(std::string_view text, int code_page) const {
    // Zero bytes are converted like any other character: cutting the text at the first one
    // made everything after it unsearchable.
    switch (code_page) {
        case kCodePageUtf8:
            return ToCp932<Utf8Characters>(text);
        case kCodePageEucJp:
            // glibc's EUC-JP-MS carries NEC and IBM extensions as CP932 has them.
            return ToCp932<EucJpCharacters>(text);
        case kCodePageUtf7: {
            // UTF-7 is stateful: an unconvertible character inside a Base64 run cannot be
            // stepped over byte by byte, so decode to UTF-8 first (always representable) and
            // leave the characters CP932 lacks to the second step.
            return Converter<kCp932, kUtf8>().ConvertLenient(Utf7ToUtf8(text), kMissingCharacter,
                                                             &IconvConverter::SkipUtf8Character);
        }
        default:
            throw Exception(Msg(CoreMsg::ConversionCodePageUnknown,
                                {{"code_page", std::to_string(code_page)}}));
    }
}

std::string TCharNkfConv::DecodeHeader(std::string_view value) const {
    // Most fields (addresses, dates, identifiers) hold neither a word nor raw JIS: they are
    // their own decoding, without the strings a decoding makes on the way.
    if (value.find("=?") == std::string_view::npos &&
        value.find('\x1B') == std::string_view::npos &&
        value.find('\x0E') == std::string_view::npos) {
        return std::string(value);
    }
    return DecodeWords(*this, value, [](const WordCharset&) { return true; });
}

std::string TCharNkfConv::DecodeHeaderUtf8(std::string_view value) const {
    return DecodeWords<bool (*)(const WordCharset&), ConvertWordBytesUtf8, PlainToUtf8>(
        *this, value, [](const WordCharset&) { return true; });
}

std::string TCharNkfConv::DecodeUnicodeWord(std::string_view value, std::string_view prefix) const {
    if (AsciiUpperCopy(value).find(AsciiUpperCopy(prefix)) == std::string::npos) {
        return std::string(value);
    }
    return DecodeWords(*this, value, [](const WordCharset& charset) {
        return charset.code_page == kCodePageUtf7 || charset.code_page == kCodePageUtf8;
    });
}

std::uint64_t TCharNkfConv::HeaderDecodeSteps() {
    return header_decode_steps;
}

}  // namespace brindle
