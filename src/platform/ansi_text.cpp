#include "platform/ansi_text.hpp"

#include <algorithm>

#include "platform/sjis.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brindle {

std::string AnsiUpperCase(std::string_view text) {
    std::string out(text);
    char* const data = out.data();
    const std::size_t size = out.size();
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time. A lower-case letter right after a byte that is no lead byte
    // starts a character (that byte ends one); those are upper-cased at once, and only a
    // letter after a lead byte, a possible trail byte, is looked at on its own. A letter ends
    // every run of lead bytes, so looking back from the letters visits each byte at most once.
    const auto in_range = [](__m128i bytes, char low, char high) {
        const __m128i offset = _mm_sub_epi8(bytes, _mm_set1_epi8(low));
        return _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(static_cast<char>(high - low))),
                              offset);
    };
    __m128i lead_before_first = _mm_setzero_si128();  // lane 0: the byte before is a lead byte
    for (; i + 16 <= size; i += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const __m128i lower = in_range(bytes, 'a', 'z');
        if (_mm_movemask_epi8(lower) != 0) {
            const __m128i lead =
                _mm_or_si128(in_range(bytes, '\x81', '\x9F'), in_range(bytes, '\xE0', '\xFC'));
            const __m128i after_lead = _mm_or_si128(_mm_slli_si128(lead, 1), lead_before_first);
            const __m128i sure = _mm_andnot_si128(after_lead, lower);
            bytes = _mm_sub_epi8(bytes, _mm_and_si128(sure, _mm_set1_epi8('a' - 'A')));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(data + i), bytes);
            auto unsure =
                static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(after_lead, lower)));
            while (unsure != 0) {
                const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(unsure));
                if (sjis::IsCharBoundary(out, at)) {
                    data[at] = static_cast<char>(data[at] - 'a' + 'A');
                }
                unsure &= unsure - 1;
            }
        }
        lead_before_first =
            sjis::IsLeadByte(data[i + 15]) ? _mm_cvtsi32_si128(0xFF) : _mm_setzero_si128();
    }
#endif
    for (; i < size; ++i) {
        if (data[i] >= 'a' && data[i] <= 'z' && sjis::IsCharBoundary(out, i)) {
            data[i] = static_cast<char>(data[i] - 'a' + 'A');
        }
    }
    return out;
}

std::string_view TrimControls(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20) {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::size_t AnsiFind(std::string_view text, std::string_view needle, std::size_t from) {
    if (needle.empty() || needle.size() > text.size()) {
        return std::string_view::npos;
    }
    // Walk character by character from the start so that every candidate is a character
    // boundary; the byte search below only skips ahead to the next possible first byte.
    const std::size_t last = text.size() - needle.size();
    std::size_t i = 0;
    while (i <= last) {
        if (i >= from && text[i] == needle[0] && text.compare(i, needle.size(), needle) == 0) {
            return i;
        }
        i += sjis::CharLength(text, i);
    }
    return std::string_view::npos;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace brindle
