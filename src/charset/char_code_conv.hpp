// Japanese code conversion for mail text: ISO-2022-JP ("JIS") <-> Shift_JIS, EUC-JP to JIS,
// half-width to full-width katakana, Base64, quoted-printable, MIME encoded words and URL-style
// escapes. Every operation takes byte strings and returns a new one; none rejects malformed
// input (each has a defined fallback) and none reads past the end of its argument.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace brindle {

enum class TJisByteCodeType : std::uint8_t { btAscii, btRoman };
enum class TJisKanaConvType : std::uint8_t { ktNone, ktZenWithDaku, ktZenSepaDaku };

// Full-width Shift_JIS character of each half-width katakana byte 0xA1-0xDF (index byte - 0xA1).
extern const std::array<std::array<unsigned char, 2>, 63> CODE_TABLE;

class TCharCodeConv {
  public:
    TCharCodeConv() = default;
    virtual ~TCharCodeConv() = default;
    TCharCodeConv(const TCharCodeConv&) = default;
    TCharCodeConv& operator=(const TCharCodeConv&) = default;
    TCharCodeConv(TCharCodeConv&&) = default;
    TCharCodeConv& operator=(TCharCodeConv&&) = default;

    // Escape that ends a kanji run in SJisToJis: ESC ( B for btAscii, ESC ( J for btRoman.
    TJisByteCodeType JisByteCodeType() const { return jis_byte_code_type_; }
    void SetJisByteCodeType(TJisByteCodeType value) { jis_byte_code_type_ = value; }
    // Half-width katakana in SJisToJis and MIMEHeaderEncode: kept, HanToZen or HanToZen2.
    TJisKanaConvType JisKanaConvType() const { return jis_kana_conv_type_; }
    void SetJisKanaConvType(TJisKanaConvType value) { jis_kana_conv_type_ = value; }

    static bool IsHanKana(unsigned char c);
    static bool IsDakuten(unsigned char c);
    static bool IsHanDakuten(unsigned char c);
    static bool IsEuc(unsigned char c);
    // '0'-'9', 'a'-'f', 'A'-'F' give 0-15; any other byte gives 0.
    static int Hex2Int(unsigned char c);
    // Two lower-case hex digits, high nibble first.
    static std::string Int2Hex(unsigned char b);
    // Value in the Base64 alphabet; any other byte, '=' included, gives 64.
    static int B642Int(unsigned char c);
    // Alphabet character of 0-63; 64-255 give '='.
    static char Int2B64(unsigned char v);

    // Two-byte JIS code of one Shift_JIS character (no validation).
    static std::string SJis_Jis(unsigned char c1, unsigned char c2);
    // Shift_JIS code of the JIS code in the first two bytes of s, or "[XXXX]" (upper-case hex)
    // when a byte lies outside 0x21-0x7F; a missing byte counts as 0.
    static std::string j2sj1(std::string_view s);
    // Full-width character of the half-width katakana byte s[0]; empty when there is none.
    static std::string KanaConv(std::string_view s);
    // Half-width katakana made full-width, voiced marks merged (ｶﾞ -> ガ).
    static std::string HanToZen(std::string_view s);
    // Half-width katakana made full-width, voiced marks kept as separate characters.
    static std::string HanToZen2(std::string_view s);

    std::string SJisToJis(std::string_view s) const;
    static std::string JisToSJis(std::string_view s);
    // The same appended to out, without a string of its own (a body converted line by line).
    static void AppendJisToSJis(std::string_view s, std::string& out);
    // Lines, each ended by CR LF (the last perhaps by the end of the text) and holding no other
    // CR or LF, each converted on its own as JisToSJis converts it and followed by CR LF, appended
    // to out: a whole body in one call, which per line had cost as much as the conversion.
    static void AppendJisLinesToSJis(std::string_view lines, std::string& out);
    // Any Japanese 7-bit text to Shift_JIS through TAutoSjisConv (keeps half-width katakana).
    static std::string ToSJis(std::string_view s);
    // Encoded words decoded; ISO-2022-JP words give JIS, EUC-JP is brought to JIS, Shift_JIS
    // words stay Shift_JIS. Callers pass the result to JisToSJis.
    static std::string MimeToJis(std::string_view s);

    static std::string B64Encode(std::string_view s);
    // Strict groups of four; see the .cpp for what is lost.
    static std::string B64Decode(std::string_view s);
    // The same written at out, which has room for s.size() / 4 * 3 bytes; returns the end of what
    // was written (a body decoded a stretch at a time into one text).
    static char* B64DecodeTo(std::string_view s, char* out);
    // Decoded text, every line ended by CR LF except soft line breaks. "=" and two hex digits
    // (either case) give a byte; any other "=" stays as written.
    static std::string QPDecode(std::string_view s);
    // One "=?ISO-2022-JP?B?...?=" word for text holding a double-byte character, else s.
    std::string MIMEHeaderEncode(std::string_view s) const;
    // ISO-2022-JP B words decoded to Shift_JIS.
    static std::string MIMEHeaderDecode(std::string_view s);
    static std::string WebEncode(std::string_view s);
    static std::string WebDecode(std::string_view s);

  private:
    TJisByteCodeType jis_byte_code_type_ = TJisByteCodeType::btAscii;
    TJisKanaConvType jis_kana_conv_type_ = TJisKanaConvType::ktZenWithDaku;
};

// The routines behind MimeToJis.
// Decodes the encoded words of one charset (name, matched case-insensitively) in s; text
// between words passes through, an unterminated word is still decoded.
std::string MimeCharsetDecode(std::string_view s, std::string_view name);
// 'B'/'b' -> MimeBDecode, 'Q'/'q' -> MimeQDecode, any other letter -> text unchanged.
std::string MimeWordDecode(char letter, std::string_view text);
// Lenient Base64: bytes outside the alphabet are skipped, a trailing partial group is kept.
std::string MimeBDecode(std::string_view text);
// "=XX" (hex digits of either case) gives the byte; any other '=' and '_' stay as they are.
std::string MimeQDecode(std::string_view text);
// EUC-JP pairs in s brought to JIS kanji runs (ended by ESC ( J); lone 8-bit bytes dropped.
std::string EucToJis(std::string_view s);

}  // namespace brindle
