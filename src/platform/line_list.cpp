#include "platform/line_list.hpp"

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

bool IsCrLfText(std::string_view text) {
    // From one CR to the next with memchr, checking that the stretch between holds no LF: two
    // fast scans per line rather than a test of every byte.
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t at = 0;
    while (at < size) {
        const void* cr = std::memchr(data + at, '\r', size - at);
        const std::size_t end = cr == nullptr ? size : static_cast<const char*>(cr) - data;
        if (std::memchr(data + at, '\n', end - at) != nullptr) {
            return false;  // an LF without its CR
        }
        if (end + 1 >= size || data[end + 1] != '\n') {
            return false;  // no CR LF at the end, or a CR alone
        }
        at = end + 2;
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
