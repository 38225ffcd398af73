#include "platform/ansi_text.hpp"

#include "platform/sjis.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brindle {

std::string AnsiUpperCase(std::string_view text) {
    std::string out(text);
    char* const data = out.data();
    const std::size_t size = out.size();
    for (std::size_t i = 0; i < size;) {
#if defined(__SSE2__)
        // Sixteen bytes at a time while they are all ASCII: starting at a character boundary,
        // such a stretch holds neither a lead nor a trail byte. A body condition that ignores
        // case upper-cases whole bodies, mostly ASCII even in Japanese mail.
        if (i + 16 <= size) {
            __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            if (_mm_movemask_epi8(bytes) == 0) {
                const __m128i lower = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('a' - 1)),
                                                    _mm_cmplt_epi8(bytes, _mm_set1_epi8('z' + 1)));
                bytes = _mm_sub_epi8(bytes, _mm_and_si128(lower, _mm_set1_epi8('a' - 'A')));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(data + i), bytes);
                i += 16;
                continue;
            }
        }
#endif
        const std::size_t len = sjis::CharLength(out, i);
        if (len == 1 && data[i] >= 'a' && data[i] <= 'z') {
            data[i] = static_cast<char>(data[i] - 'a' + 'A');
        }
        i += len;
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

}  // namespace brindle
