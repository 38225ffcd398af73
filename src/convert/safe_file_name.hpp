// Turning a Shift_JIS text (a subject, a parameter value) into the base of an output file name,
// or a text decoded into UTF-8 that holds characters Shift_JIS lacks.
// MakeSafeFileName replaces the characters that Windows file names cannot hold by their
// full-width forms, walking the text as Shift_JIS so that a trail byte 0x5C (表, ソ) is never
// taken for a backslash. MakeNativeBaseName then gives the name the Linux file system gets:
// UTF-8, without control bytes, never hidden, never holding a '/', and short enough that the
// whole name with "(n)" and ".eml" fits in one path component.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brindle {

// Longest file name (one path component, in bytes) that Linux file systems accept.
inline constexpr std::size_t kMaxFileNameBytes = 255;
// Room left for the longest duplicate suffix "(2147483647)" and ".eml".
inline constexpr std::size_t kMaxBaseNameBytes = kMaxFileNameBytes - 12 - 4;

inline constexpr std::string_view kMailExtension = ".eml";

std::string MakeSafeFileName(std::string_view sjis);

// The UTF-8 base name for a Shift_JIS base (the result of MakeSafeFileName). Deterministic and
// never empty: an empty base becomes "無題", a leading '.' becomes "．".
std::string MakeNativeBaseName(std::string_view sjis_base);

// The UTF-8 base name for a text decoded into UTF-8 (a subject): a text that Shift_JIS can hold
// gets exactly MakeNativeBaseName(MakeSafeFileName(...)) of its Shift_JIS form; in any other,
// each character Shift_JIS has is made safe the same way and the others (accents, Korean,
// emoji) are kept as they are. Then the rules of MakeNativeBaseName: no control bytes, never
// hidden, never empty, length in bytes.
std::string MakeUnicodeBaseName(std::string_view utf8);

}  // namespace brindle
