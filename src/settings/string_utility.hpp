// Blank trimming that knows the full-width space, and token splitting with double-quoted
// tokens. Both work on Shift_JIS byte strings; the condition dialog and the command line use
// them to turn typed text into one condition per word.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

class TStringUtility {
  public:
    // Removes blanks at both ends: full-width spaces (0x81 0x40) one at a time, and, whenever a
    // space or tab stands at an end, every byte of 0x20 or less at both ends.
    static std::string TrimBlank(std::string_view text);
    static std::string TrimBlankLeft(std::string_view text);
    static std::string TrimBlankRight(std::string_view text);
};

// Splits a text at any byte of a separator set. A token that begins with a double quote runs to
// the closing quote (two quotes stand for one) and then on to the next separator; empty tokens
// between adjacent separators are kept. Matching is byte by byte, so separators must not be
// possible trail bytes (the space never is).
class TStringSeparator {
  public:
    TStringSeparator(std::string_view text, std::string_view separators);

    std::int32_t GetCount() const { return count_; }
    // The token at index; an index at or beyond the count gives an empty string.
    std::string GetString(std::uint32_t index) const;

  private:
    std::size_t ReadPlain(std::size_t pos, std::string& token) const;
    std::size_t ReadQuoted(std::size_t pos, std::string& token) const;
    bool IsSeparator(char c) const;

    std::string text_;
    std::string separators_;
    std::vector<std::string> tokens_;
    std::int32_t count_ = 0;
};

}  // namespace brindle
