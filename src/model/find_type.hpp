// One search condition. A plain value record: the condition dialog builds it, the job keeps a
// list of them, the settings file stores them and TMailMatch evaluates them.
#pragma once

#include <cstdint>
#include <string>

namespace brindle {

// Where the condition text is looked for; the values are those of the settings file.
inline constexpr std::uint8_t kFindPosAll = 0;     // header, two line feeds, body
inline constexpr std::uint8_t kFindPosBody = 1;    // body only
inline constexpr std::uint8_t kFindPosHeader = 2;  // header only

struct TFindType {
    std::uint8_t FindPos = kFindPosAll;
    std::string Condition;  // Shift_JIS
    bool Capital = false;   // compare letters without regard to case (literal conditions only)
    bool Regexp = false;    // Condition is a regular expression

    friend bool operator==(const TFindType&, const TFindType&) = default;
};

}  // namespace brindle
