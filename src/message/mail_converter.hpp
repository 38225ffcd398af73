// The conversions a parsed message needs, behind one small interface: decoding a header value
// and converting body text from a code page to Shift_JIS. The default forwards to the message's
// TCharNkfConv. A message can be given another converter so that the message's handling of a
// converter failure can be exercised: the iconv-based converter fails only when iconv itself
// cannot serve a code page.
#pragma once

#include <string>
#include <string_view>
#include <typeinfo>

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
    // The same into UTF-8, keeping the characters Shift_JIS lacks (for file names).
    virtual std::string DecodeHeaderUtf8(std::string_view value) const {
        return conv_.DecodeHeaderUtf8(value);
    }
    // Whether DecodeHeader can raise. A field that fails to decode ends its header, which
    // changes the answer for every field after it; so a message whose converter can fail reads
    // its whole header at construction, and one whose converter cannot reads a field only when
    // it is asked for. The stock decoding never raises (a charset iconv cannot serve is left
    // undecoded): an override of DecodeHeader that can raise must answer true.
    virtual bool HeaderDecodingCanFail() const { return false; }
    virtual std::string CodePageToSJis(std::string_view text, int code_page) const {
        return conv_.CodePageToSJis(text, code_page);
    }
    // CodePageToSJis appended to out. The stock converter appends without a string of its own
    // per call (a body converted line by line makes one call per line, and the allocations had
    // been a tenth of a conversion with body conditions); any other converter is asked through
    // its CodePageToSJis, so an override is never bypassed.
    void AppendCodePageToSJis(std::string_view text, int code_page, std::string& out) const {
        if (typeid(*this) == typeid(TMailConverter)) {
            conv_.AppendCodePageToSJis(text, code_page, out);
        } else {
            out += CodePageToSJis(text, code_page);
        }
    }

    // TCharNkfConv::AppendLinesToSJis for the stock converter; false (nothing appended) for
    // any other, whose lines are converted one by one through CodePageToSJis.
    bool AppendLinesToSJis(std::string_view lines, int code_page, std::string& out) const {
        return typeid(*this) == typeid(TMailConverter) &&
               conv_.AppendLinesToSJis(lines, code_page, out);
    }

  private:
    TCharNkfConv conv_;
};

}  // namespace brindle
