// Shift_JIS (CP932) byte walking. A lead byte is 0x81-0x9F or 0xE0-0xFC; the byte after it is
// its trail byte, whatever its value (trail bytes 0x40-0xFC overlap ASCII, and 0x5C is the
// backslash). Whether a byte is a trail byte can only be known by walking from the start.
#pragma once

#include <cstddef>
#include <string_view>

namespace brindle::sjis {

constexpr bool IsLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
constexpr bool IsLeadByte(char c) {
    return IsLeadByte(static_cast<unsigned char>(c));
}

// Half-width katakana: single bytes 0xA1-0xDF.
constexpr bool IsHalfWidthKana(unsigned char c) {
    return c >= 0xA1 && c <= 0xDF;
}
constexpr bool IsHalfWidthKana(char c) {
    return IsHalfWidthKana(static_cast<unsigned char>(c));
}

// Length in bytes of the character starting at pos: 2 for a lead byte followed by any byte,
// 1 otherwise (including a lead byte that is the last byte of the text).
inline std::size_t CharLength(std::string_view text, std::size_t pos) {
    return (IsLeadByte(text[pos]) && pos + 1 < text.size()) ? 2 : 1;
}

// True when the byte at pos is the second byte of a double-byte character, as walking the text
// from its start finds; decided from the lead bytes just before it.
bool IsTrailByteAt(std::string_view text, std::size_t pos);

// The same where `known` (at most pos) is known to start a character: only data[known, pos) is
// read. The lead bytes just before pos form a run whose first byte starts a character (the byte
// before the run is no lead byte, so it ends one, or the run begins at known); from there each
// lead byte takes the byte after it, so pos is a trail byte exactly when the run is odd. With
// pos at the end of a text, whether the text ends in half a character.
inline bool IsTrailByteAfter(const char* data, std::size_t known, std::size_t pos) {
    std::size_t lead = pos;
    while (lead > known && IsLeadByte(data[lead - 1])) {
        --lead;
    }
    return (pos - lead) % 2 == 1;
}

// True when pos is the start of a character (or the end of the text).
bool IsCharBoundary(std::string_view text, std::size_t pos);

}  // namespace brindle::sjis
