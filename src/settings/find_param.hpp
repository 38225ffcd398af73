// The naming parameter: the text after which a message's name is found, and where to look.
#pragma once

#include <cstdint>
#include <string>

namespace brindle {

struct TFindParam {
    std::string ParamText;        // Shift_JIS
    std::uint8_t NamingLine = 0;  // 0: the name follows on the same line, 1: on the next line
    std::uint8_t NamingPos = 0;   // 0: looked for in the body, 1: in the header

    friend bool operator==(const TFindParam&, const TFindParam&) = default;
};

}  // namespace brindle
