// ISO-2022-JP to Shift_JIS for text of unknown 7-bit Japanese encoding. Unlike
// TCharCodeConv::JisToSJis it keeps half-width katakana half-width, and it clears bit 7 of
// every byte it examines (8-bit input is not preserved); the result ends at the first NUL.
#pragma once

#include <string>
#include <string_view>

namespace brindle {

class TAutoSjisConv {
  public:
    std::string ToSjis(std::string_view text) const;
};

}  // namespace brindle
