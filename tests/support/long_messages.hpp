// Long messages as a mailbox stores them, one for each way the parser reaches a body's text, for
// the test and the benchmark that measure what matching a condition costs in memory. Every body
// ends with kLongMessageLastLine (in the body's own encoding), so that a condition looking for it
// searches the whole text; the line holds the escape \t, so that regular expressions meet a text
// that the escape processing changes.
#pragma once

#include <array>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace brindle::test {

inline constexpr std::string_view kLongMessageLastLine = "last line c:\\temp #";

struct BodyShape {
    const char* name;
    // A message of at least `bytes` bytes (not many more), every line ended by CR LF.
    std::string (*make)(std::size_t bytes);
};

inline void PrintTo(const BodyShape& shape, std::ostream* out) {
    *out << shape.name;
}

// Three-byte us-ascii lines; short ISO-2022-JP lines (converted one by one); long UTF-8 lines,
// Base64-encoded and quoted-printable; a multipart message whose text part has short lines and
// is followed by a Base64 attachment.
extern const std::array<BodyShape, 5> kBodyShapes;

}  // namespace brindle::test
