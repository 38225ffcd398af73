// How output files are named: the one model of the naming rule that the job object, its file,
// the conversion run and every front end share. The numbers are those of the settings file
// and of the naming radio group; the enums keep out-of-range numbers representable, so that a
// file's "5" can be seen and refused instead of being silently mapped.
#pragma once

#include <cstdint>
#include <string>

namespace brindle {

enum class TNamingType : std::uint8_t { Number = 0, Subject = 1, Parameter = 2 };
enum class TNamingPos : std::uint8_t { Body = 0, Header = 1 };
enum class TNamingLine : std::uint8_t { SameLine = 0, NextLine = 1 };

constexpr bool IsValid(TNamingType type) {
    return static_cast<std::uint8_t>(type) <= 2;
}
constexpr bool IsValid(TNamingPos pos) {
    return static_cast<std::uint8_t>(pos) <= 1;
}
constexpr bool IsValid(TNamingLine line) {
    return static_cast<std::uint8_t>(line) <= 1;
}

// The naming parameter: the text after which a message's name is found, and where to look.
struct TFindParam {
    std::string ParamText;  // Shift_JIS, as the user typed it
    TNamingLine NamingLine = TNamingLine::SameLine;
    TNamingPos NamingPos = TNamingPos::Body;

    friend bool operator==(const TFindParam&, const TFindParam&) = default;
};

}  // namespace brindle
