// Types and wide-character routines shared by every stage of the regular expression engine.
//
// The engine reads Shift_JIS bytes as 16-bit wide characters: a lead byte (0x81-0x9F,
// 0xE0-0xFC) and the byte after it form one character, lead * 256 + trail; any other byte is
// a character of its own value. 0 stands for the end of the text, and 0xFFFD-0xFFFF never
// come from text, so the automaton uses them as markers. Positions are 1-based byte indexes,
// passed by reference and advanced by the readers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core_messages.hpp"
#include "platform/exception.hpp"

namespace brindle {

using WChar_t = std::uint16_t;

// Values no text character can take: the automaton's markers.
constexpr WChar_t kLineHeadMarker = 0xFFFD;
constexpr WChar_t kLineTailMarker = 0xFFFE;
constexpr WChar_t kEmptyMarker = 0xFFFF;

// The largest value a text character can have (lead 0xFC, trail 0xFF).
constexpr WChar_t kMaxTextWChar = 0xFCFF;

// The twelve characters that a backslash makes literal, in their traditional order.
inline constexpr std::string_view METACHARS = "^(|)+*?.[]$\\";

// Raised for every error in an expression. Position is the 1-based index in the expression at
// which scanning stood when the error was found.
class ERegExpParser : public Exception {
  public:
    ERegExpParser(TMessage message, int position);
    std::uint16_t Position() const { return position_; }

  private:
    std::uint16_t position_;
};

enum REToken_t : std::uint8_t {
    retk_Char = 0,       // one literal character
    retk_CharClass = 1,  // a range a-b inside brackets
    retk_Union = 2,      // |
    retk_LPar = 3,       // (
    retk_RPar = 4,       // )
    retk_Star = 5,       // *
    retk_Plus = 6,       // +
    retk_QMark = 7,      // ?
    retk_LBra = 8,       // [
    retk_LBraNeg = 9,    // [^
    retk_RBra = 10,      // ]
    retk_Dot = 11,       // .
    retk_LHead = 12,     // ^
    retk_LTail = 13,     // $
    retk_End = 14,       // end of the expression
};

enum REOperation_t : std::uint8_t {
    reop_Char = 0,     // leaf: one character range
    reop_LHead = 1,    // ^, carrying the character ^ as a one-character range
    reop_LTail = 2,    // $, carrying the character $ as a one-character range
    reop_Concat = 3,   // left then right
    reop_Union = 4,    // left or right
    reop_Closure = 5,  // left, zero or more times
    reop_Empty = 6,    // the empty string
};

// A character range, both ends inclusive, StartChar <= EndChar.
struct RECharClass_t {
    WChar_t StartChar = 0;
    WChar_t EndChar = 0;
    friend bool operator==(const RECharClass_t&, const RECharClass_t&) = default;
};

// The value of the scanner's current token: WChar for every kind but retk_CharClass, whose
// range is in CharClass.
struct RESymbol_t {
    WChar_t WChar = 0;
    RECharClass_t CharClass;
};

// Reads the character at index and advances past it; 0 when index is past the end or not
// positive. A lead byte that is the text's last byte raises "不正な２バイト文字コードです。".
WChar_t GetWChar(std::string_view text, int& index);

// Steps index back over the character before it (found by walking from the start, since a
// trail byte may look like a lead byte); nothing when index is below 2.
void UnGetWChar(std::string_view text, int& index);

// GetWChar over a NUL-terminated buffer. At the NUL it returns 0 and does not move; a lead byte
// directly before the NUL is returned as a single-byte character so the pointer never passes
// the terminator.
WChar_t PCharGetWChar(const char*& p);

// Two bytes (high, low) when the high byte is a lead byte, else the single low byte.
std::string WCharToStr(WChar_t c);

// Reads what follows a backslash (index just past the backslash) and returns its value.
WChar_t GetQuotedWChar(std::string_view text, int& index);

int HexWCharToInt(WChar_t c);
int OctWCharToInt(WChar_t c);
WChar_t HexStrToInt(std::string_view text, int& index);
WChar_t OctStrToInt(std::string_view text, int& index);

// The characters from index up to the delimiter or the end; the delimiter is consumed.
std::string WCharGetToken(std::string_view text, int& index, WChar_t delimiter);

// The text with a backslash before every character of METACHARS.
std::string QuoteMetaWChar(std::string_view text);

}  // namespace brindle
