#include "platform/ansi_text.hpp"

#include "platform/sjis.hpp"

namespace brindle {

std::string AnsiUpperCase(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size();) {
        const std::size_t len = sjis::CharLength(out, i);
        if (len == 1 && out[i] >= 'a' && out[i] <= 'z') {
            out[i] = static_cast<char>(out[i] - 'a' + 'A');
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
