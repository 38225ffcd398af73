// Feeds arbitrary bytes to every conversion of the charset subsystem, as header values and
// bodies do: none may crash, hang or read out of bounds, none may raise (except the system
// conversion when iconv itself is missing), and the edge conversion must give valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "charset/char_code_conv.hpp"
#include "charset/char_nkf_conv.hpp"
#include "platform/text_encoding.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace brindle;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TCharNkfConv conv;
    static_cast<void>(TCharCodeConv::JisToSJis(text));
    static_cast<void>(conv.SJisToJis(text));
    conv.SetJisKanaConvType(TJisKanaConvType::ktZenSepaDaku);
    conv.SetJisByteCodeType(TJisByteCodeType::btRoman);
    static_cast<void>(conv.SJisToJis(text));
    static_cast<void>(conv.MIMEHeaderEncode(text));
    static_cast<void>(TCharCodeConv::HanToZen(text));
    static_cast<void>(TCharCodeConv::ToSJis(text));
    static_cast<void>(TCharCodeConv::MimeToJis(text));
    static_cast<void>(TCharCodeConv::B64Decode(text));
    static_cast<void>(TCharCodeConv::QPDecode(text));
    static_cast<void>(TCharCodeConv::MIMEHeaderDecode(text));
    static_cast<void>(TCharCodeConv::WebDecode(text));
    static_cast<void>(TCharCodeConv::j2sj1(text));
    static_cast<void>(EucToJis(text));
    static_cast<void>(conv.DecodeHeader(text));
    for (const int code_page :
         {kCodePageShiftJis, kCodePageIso2022Jp, kCodePageEucJp, kCodePageUtf7, kCodePageUtf8,
          kCodePageQuotedPrintable, kCodePageBase64}) {
        static_cast<void>(conv.CodePageToSJis(text, code_page));
    }
    if (!IsValidUtf8(Cp932ToUtf8(text)) || !IsValidUtf8(SanitizeUtf8(text))) {
        __builtin_trap();
    }
    if (const auto cp932 = Utf8ToCp932Exact(text); cp932 && Cp932ToUtf8(*cp932) != text) {
        __builtin_trap();
    }
    return 0;
}
