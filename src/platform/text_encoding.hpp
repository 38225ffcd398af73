// CP932 <-> UTF-8 at the edges of the program: output file names, command-line arguments, the
// settings file and the GUI. Inside, all mail-derived text stays CP932 bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brindle {

// Never fails and always gives valid UTF-8. A byte sequence that is not CP932 becomes U+FFFD:
// one U+FFFD for a lead byte with a byte that can follow it (0x40-0x7E, 0x80-0xFC) but no
// assigned character, one U+FFFD for every other byte that is not valid (0x80, 0xA0,
// 0xFD-0xFF, a lead byte before an impossible trail byte or at the end). Control bytes and NUL
// pass through unchanged.
std::string Cp932ToUtf8(std::string_view cp932);

// nullopt when the text is not valid UTF-8 or a character has no CP932 form. Several Unicode
// characters map into CP932 one way only (U+301C 〜 gives 81 60, which reads back as U+FF5E);
// this conversion accepts them, see Utf8ToCp932Exact.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

// Like Utf8ToCp932, but nullopt also when the CP932 text would not read back as exactly the
// same UTF-8 (〜 U+301C, − U+2212, ‖ U+2016 and the like).
std::optional<std::string> Utf8ToCp932Exact(std::string_view utf8);

// True when the UTF-8 text converts to CP932 and back to exactly the same text.
bool RoundTripsThroughCp932(std::string_view utf8);

bool IsValidUtf8(std::string_view text);

// Valid UTF-8 with every invalid byte replaced by U+FFFD; valid text comes back unchanged.
std::string SanitizeUtf8(std::string_view text);

}  // namespace brindle
