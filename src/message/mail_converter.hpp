// The conversions a parsed message needs, behind one small interface: decoding a header value
// and converting body text from a code page to Shift_JIS. The default forwards to the message's
// TCharNkfConv. A message can be given another converter so that the message's handling of a
// converter failure can be exercised: the iconv-based converter fails only when iconv itself
// cannot serve a code page.
#pragma once

#include <string>
#include <string_view>

#include "charset/char_nkf_conv.hpp"

namespace brindle {

class TMailConverter {
  public:
    TMailConverter() = default;
    virtual ~TMailConverter() = default;
    TMailConverter(const TMailConverter&) = delete;
    TMailConverter& operator=(const TMailConverter&) = delete;

    virtual std::string DecodeHeader(std::string_view value) const {
        return conv_.DecodeHeader(value);
    }
    virtual std::string CodePageToSJis(std::string_view text, int code_page) const {
        return conv_.CodePageToSJis(text, code_page);
    }

  private:
    TCharNkfConv conv_;
};

}  // namespace brindle
