#include "platform/line_list.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

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

// Whether any byte of the word is CR or LF (exact: no false answers either way).
bool HasLineEndByte(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const std::uint64_t cr = word ^ (kOnes * '\r');
    const std::uint64_t lf = word ^ (kOnes * '\n');
    return (((cr - kOnes) & ~cr) | ((lf - kOnes) & ~lf)) & kHighs;
}

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
    // Eight bytes at a time up to the next CR or LF, then byte by byte past it: the text is
    // walked once, and most of it a word at a time.
    std::size_t i = 0;
    while (i < size) {
        while (i + 8 <= size) {
            std::uint64_t word = 0;
            std::memcpy(&word, data + i, sizeof word);
            if (HasLineEndByte(word)) {
                break;
            }
            i += 8;
        }
        const std::size_t stop = std::min(size, i + 8);
        for (; i < stop; ++i) {
            if (data[i] == '\n') {
                return false;  // an LF without its CR
            }
            if (data[i] == '\r') {
                if (i + 1 >= size || data[i + 1] != '\n') {
                    return false;  // a CR alone
                }
                ++i;
            }
        }
    }
    return true;
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
