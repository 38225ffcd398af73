#include "regexp/re_types.hpp"

#include <algorithm>
#include <utility>

#include "platform/sjis.hpp"

namespace brindle {

namespace {

constexpr int kMaxHexDigits = 4;
constexpr int kMaxOctDigits = 6;

unsigned char ByteAt(std::string_view text, int index) {
    return static_cast<unsigned char>(text[static_cast<std::size_t>(index - 1)]);
}

}  // namespace

ERegExpParser::ERegExpParser(TMessage message, int position)
    : Exception(std::move(message)),
      position_(static_cast<std::uint16_t>(std::clamp(position, 0, 0xFFFF))) {}

WChar_t GetWChar(std::string_view text, int& index) {
    if (index < 1 || static_cast<std::size_t>(index) > text.size()) {
        return 0;
    }
    const unsigned char c = ByteAt(text, index);
    if (!sjis::IsLeadByte(c)) {
        ++index;
        return c;
    }
    if (static_cast<std::size_t>(index) == text.size()) {
        throw ERegExpParser(Msg(CoreMsg::RegexBadDoubleByte), index);
    }
    const unsigned char trail = ByteAt(text, index + 1);
    index += 2;
    return static_cast<WChar_t>(c * 256 + trail);
}

void UnGetWChar(std::string_view text, int& index) {
    if (index < 2) {
        return;
    }
    const int limit = std::min<int>(index - 1, static_cast<int>(text.size()));
    // Walk from the start: the byte before index may be a trail byte whose value looks like a
    // lead byte, so only the walk knows where the previous character begins.
    int pos = 1;
    int previous = 1;
    while (pos <= limit) {
        previous = pos;
        pos += (sjis::IsLeadByte(ByteAt(text, pos)) && pos < static_cast<int>(text.size())) ? 2 : 1;
    }
    index = (pos == index) ? previous : index - 1;
}

WChar_t PCharGetWChar(const char*& p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c == 0) {
        return 0;
    }
    if (sjis::IsLeadByte(c) && p[1] != '\0') {
        const auto trail = static_cast<unsigned char>(p[1]);
        p += 2;
        return static_cast<WChar_t>(c * 256 + trail);
    }
    ++p;
    return c;
}

std::string WCharToStr(WChar_t c) {
    const auto high = static_cast<unsigned char>(c >> 8);
    const auto low = static_cast<unsigned char>(c & 0xFF);
    if (sjis::IsLeadByte(high)) {
        return std::string{static_cast<char>(high), static_cast<char>(low)};
    }
    return std::string(1, static_cast<char>(low));
}

WChar_t GetQuotedWChar(std::string_view text, int& index) {
    const int start = index;
    // The end is found by position: a NUL byte inside the expression is a character, not the
    // end of the expression.
    if (index < 1 || static_cast<std::size_t>(index) > text.size()) {
        throw ERegExpParser(Msg(CoreMsg::RegexBackslashAtEnd), index);
    }
    const WChar_t c = GetWChar(text, index);
    switch (c) {
        case 'b':
            return 8;
        case 'n':
            return 10;
        case 'r':
            return 13;
        case 't':
            return 9;
        case 'x':
            return HexStrToInt(text, index);
        default:
            break;
    }
    if (OctWCharToInt(c) >= 0) {
        index = start;
        return OctStrToInt(text, index);
    }
    return c;
}

int HexWCharToInt(WChar_t c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

int OctWCharToInt(WChar_t c) {
    return (c >= '0' && c <= '7') ? c - '0' : -1;
}

WChar_t HexStrToInt(std::string_view text, int& index) {
    unsigned value = 0;
    int digits = 0;
    while (digits < kMaxHexDigits) {
        const int before = index;
        const int d = HexWCharToInt(GetWChar(text, index));
        if (d < 0) {
            index = before;
            break;
        }
        value = value * 16 + static_cast<unsigned>(d);
        ++digits;
    }
    if (digits == 0) {
        throw ERegExpParser(Msg(CoreMsg::RegexBadHexadecimal), index);
    }
    return static_cast<WChar_t>(value);
}

WChar_t OctStrToInt(std::string_view text, int& index) {
    unsigned value = 0;
    int digits = 0;
    while (digits < kMaxOctDigits) {
        const int before = index;
        const int d = OctWCharToInt(GetWChar(text, index));
        if (d < 0) {
            index = before;
            break;
        }
        value = value * 8 + static_cast<unsigned>(d);
        if (value > 0xFFFF) {
            throw ERegExpParser(Msg(CoreMsg::RegexBadOctal), index);
        }
        ++digits;
    }
    if (digits == 0) {
        throw ERegExpParser(Msg(CoreMsg::RegexBadOctal), index);
    }
    return static_cast<WChar_t>(value);
}

std::string WCharGetToken(std::string_view text, int& index, WChar_t delimiter) {
    const int start = std::max(index, 1);
    int end = start;
    for (;;) {
        end = index;
        const WChar_t c = GetWChar(text, index);
        if (c == 0 || c == delimiter) {
            break;
        }
    }
    if (static_cast<std::size_t>(start) > text.size()) {
        return {};
    }
    return std::string(text.substr(static_cast<std::size_t>(start - 1),
                                   static_cast<std::size_t>(std::max(end - start, 0))));
}

std::string QuoteMetaWChar(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t len = sjis::CharLength(text, pos);
        if (len == 1 && METACHARS.find(text[pos]) != std::string_view::npos) {
            out += '\\';
        }
        out.append(text.substr(pos, len));
        pos += len;
    }
    return out;
}

}  // namespace brindle
