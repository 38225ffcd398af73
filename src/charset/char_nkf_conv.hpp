// The converter a parsed message owns: brings header values and body text from the charset
// the message declares into Shift_JIS. JIS, MIME, Base64 and quoted-printable come from
// TCharCodeConv; EUC-JP, UTF-7 and UTF-8 go through glibc iconv into CP932, where characters
// CP932 lacks and invalid input become '?'. There is no external converter library on Linux,
// so every conversion takes the path the program takes when that library is missing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "charset/char_code_conv.hpp"

namespace brindle {

// Windows code page numbers, and two pseudo code pages that request decoding only.
inline constexpr int kCodePageShiftJis = 932;
inline constexpr int kCodePageIso2022Jp = 50222;
inline constexpr int kCodePageEucJp = 51932;
inline constexpr int kCodePageUtf7 = 65000;
inline constexpr int kCodePageUtf8 = 65001;
inline constexpr int kCodePageWindows1252 = 1252;
inline constexpr int kCodePageQuotedPrintable = 99998;
inline constexpr int kCodePageBase64 = 99999;

class TCharNkfConv : public TCharCodeConv {
  public:
    // 932 and unknown code pages: unchanged; 50222: JisToSJis; 51932, 65000, 65001:
    // SystemCodePageToSJis; 99998: QPDecode; 99999: B64Decode. Raises Exception only when the
    // system converter itself is unavailable.
    std::string CodePageToSJis(std::string_view text, int code_page) const;
    // The same appended to out: JIS, EUC-JP, UTF-8 and unconverted text without a string of
    // their own (a body converted line by line makes one call per line).
    void AppendCodePageToSJis(std::string_view text, int code_page, std::string& out) const;
    // Lines, each ended by CR LF (the last perhaps by the end of the text) and holding no other
    // CR or LF, each appended as AppendCodePageToSJis converts it on its own and followed by CR LF;
    // no converted line holds CR or LF. JIS and unconverted text always; UTF-8 and EUC-JP when
    // every character is one the conversion table serves and none gives CR or LF. Otherwise
    // false, with nothing appended, and the lines are to be converted one by one.
    bool AppendLinesToSJis(std::string_view lines, int code_page, std::string& out) const;

    // One header value (already unfolded) decoded to Shift_JIS, as RFC 2047 reads it: every
    // encoded word is decoded wherever it stands, B or Q, in any charset this program knows
    // (Japanese ones, UTF-7, UTF-8 and a few others through iconv; words of an unknown charset
    // give their bytes as they are); white space between two encoded words is dropped, white
    // space inside a word and all other text is kept. Adjacent words of one charset are
    // converted together, so a character split between them survives. Raw JIS text outside
    // words is decoded too. Zero bytes are kept. Never raises.
    std::string DecodeHeader(std::string_view value) const;

    // The same into UTF-8, for file names: characters that Shift_JIS lacks (accents, Korean,
    // emoji) are kept; every character Shift_JIS has comes out as Shift_JIS decoding gives it.
    // Never raises.
    std::string DecodeHeaderUtf8(std::string_view value) const;

    // The same as DecodeHeader, limited to UTF-7 and UTF-8 words; value comes back as it is when it
    // holds no word starting with prefix (such as "=?UTF-8?B?"). Never raises.
    std::string DecodeUnicodeWord(std::string_view value, std::string_view prefix) const;

    // Bytes looked at or converted by header decoding on the calling thread so far; tests
    // bound the work of hostile values with it.
    static std::uint64_t HeaderDecodeSteps();

    // EUC-JP-MS (51932), UTF-7 (65000) or UTF-8 (65001) text to CP932 through iconv, zero
    // bytes included. Characters CP932 lacks and invalid sequences become '?'. Raises
    // Exception with CoreMsg::ConversionCannotOpen when iconv cannot open the conversion, and
    // ConversionCodePageUnknown for a code page it does not serve.
    std::string SystemCodePageToSJis(std::string_view text, int code_page) const;
};

}  // namespace brindle
