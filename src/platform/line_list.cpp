#include "platform/line_list.hpp"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brindle {

Lines SplitLines(std::string_view text) {
    Lines lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.emplace_back(text.substr(start, i - start));
        i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < text.size()) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

std::string JoinLines(const Lines& lines) {
    std::size_t size = 0;
    for (const auto& line : lines) {
        size += line.size() + 2;
    }
    std::string text;
    text.reserve(size);
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

namespace {

// The line-end rule as a walk over bytes: every LF follows a CR, and every CR is followed by an
// LF. `after_cr` carries over from the bytes before.
bool CrLfPairedBytes(const char* data, std::size_t size, bool& after_cr) {
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (after_cr != (c == '\n')) {
            return false;  // a CR alone, or an LF without its CR
        }
        after_cr = c == '\r';
    }
    return true;
}

#if defined(__SSE2__)
// Bit i set where byte i of the 64 equals c.
std::uint64_t ByteMask64(const char* data, char c) {
    const __m128i wanted = _mm_set1_epi8(c);
    std::uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * k));
        const auto bits =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
        mask |= static_cast<std::uint64_t>(bits) << (16 * k);
    }
    return mask;
}
#endif

}  // namespace

bool IsCrLfText(std::string_view text) {
    const char* const data = text.data();
    const std::size_t size = text.size();
    if (size == 0) {
        return true;
    }
    if (size < 2 || data[size - 2] != '\r' || data[size - 1] != '\n') {
        return false;
    }
    bool after_cr = false;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixty-four bytes at a time: the text is in form exactly when the LFs sit one place after
    // the CRs, the last CR of a stretch pairing with the first byte of the next.
    for (; i + 64 <= size; i += 64) {
        const std::uint64_t cr = ByteMask64(data + i, '\r');
        const std::uint64_t lf = ByteMask64(data + i, '\n');
        if (lf != ((cr << 1) | static_cast<std::uint64_t>(after_cr))) {
            return false;
        }
        after_cr = (cr >> 63) != 0;
    }
#endif
    return CrLfPairedBytes(data + i, size - i, after_cr) && !after_cr;
}

std::string NormalizeLineEnds(std::string text) {
    if (IsCrLfText(text)) {
        return text;
    }
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            out += c;
            ++i;
            continue;
        }
        out += "\r\n";
        i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    }
    if (!out.empty() && out.back() != '\n') {
        out += "\r\n";
    }
    return out;
}

}  // namespace brindle
