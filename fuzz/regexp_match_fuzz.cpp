// Feeds arbitrary bytes to the whole regular expression engine: the first byte gives the
// length of the expression, the rest is the text. Every expression must compile or raise
// ERegExpParser; every match must lie inside the text on character boundaries, and replacing
// every match by itself must give the text back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sjis.hpp"
#include "regexp/awk_str.hpp"
#include "regexp/re_types.hpp"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t expression_length = std::min<std::size_t>(data[0], size - 1);
    const std::string expression(reinterpret_cast<const char*>(data + 1), expression_length);
    const std::string text(reinterpret_cast<const char*>(data + 1 + expression_length),
                           size - 1 - expression_length);
    static brindle::TAWKStr awk;
    try {
        awk.SetRegExp(expression);
    } catch (const brindle::ERegExpParser&) {
        return 0;
    }
    for (const auto separator : {brindle::mcls_CRLF, brindle::mcls_LF}) {
        awk.SetLineSeparator(separator);
        std::size_t start = 0;
        std::size_t length = 0;
        if (awk.Match(text, start, length) != 0) {
            Check(start - 1 + length <= text.size());
            Check(brindle::sjis::IsCharBoundary(text, start - 1));
            Check(brindle::sjis::IsCharBoundary(text, start - 1 + length));
        }
        std::string copy = text;
        awk.GSub("&", copy);
        Check(copy == text);
        std::vector<std::string> fields;
        awk.Split(text, fields);
    }
    return 0;
}
