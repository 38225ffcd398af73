// The locale services of code page 932 that the program relies on: upper-casing that changes
// ASCII letters only (double-byte characters, whose trail bytes may be ASCII letters, stay as
// they are), exact comparison (byte equality) and the multi-byte-aware search.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brindle {

// Upper-cases the ASCII letters a-z that are not trail bytes of double-byte characters.
std::string AnsiUpperCase(std::string_view text);

// Finds needle in text at or after byte offset from, considering only positions that are not
// the second byte of a double-byte character. Returns the byte offset or std::string_view::npos.
// An empty needle is not found.
std::size_t AnsiFind(std::string_view text, std::string_view needle, std::size_t from = 0);

// The text without leading and trailing control bytes and blanks (bytes up to 0x20), the
// framework's trimming. Trail bytes are never 0x20 or below, so no character is cut.
std::string_view TrimControls(std::string_view text);

// Whether two names are equal but for the case of ASCII letters, as Windows compares file,
// registry key and value names. Every other byte compares exactly; meant for UTF-8 names, where
// no byte of a multi-byte character is an ASCII letter.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// 1-based position of needle in text (0 when absent), the convention of the processing classes.
inline std::size_t AnsiPos(std::string_view needle, std::string_view text) {
    const std::size_t at = AnsiFind(text, needle);
    return at == std::string_view::npos ? 0 : at + 1;
}

}  // namespace brindle
