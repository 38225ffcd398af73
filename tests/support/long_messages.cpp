#include "support/long_messages.hpp"

namespace brindle::test {
namespace {

constexpr std::string_view kHead =
    "From: sender@example.jp\r\nSubject: long\r\nMIME-Version: 1.0\r\n";

// 日本語のテキスト in UTF-8, then enough ASCII that a run from any "l" goes on for more than
// 64 bytes before the line ends (the regular-expression engine remembers runs that long).
constexpr std::string_view kUtf8Line =
    "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3"
    "\x83\x88 line 12 of a text whose lines are long enough to take a run past sixty-four bytes";

// Lines of the text until m holds `bytes`.
void AppendLines(std::string& m, std::string_view line, std::size_t bytes) {
    while (m.size() < bytes) {
        m.append(line).append("\r\n");
    }
}

// The text in Base64, in lines of 76 characters.
void AppendBase64(std::string& m, std::string_view text) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto byte = [&](std::size_t i) {
        return i < text.size() ? static_cast<unsigned>(static_cast<unsigned char>(text[i])) : 0U;
    };
    for (std::size_t i = 0; i < text.size(); i += 3) {
        const unsigned n = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
        m += kAlphabet[n >> 18 & 63];
        m += kAlphabet[n >> 12 & 63];
        m += i + 1 < text.size() ? kAlphabet[n >> 6 & 63] : '=';
        m += i + 2 < text.size() ? kAlphabet[n & 63] : '=';
        if (i % 57 == 54 || i + 3 >= text.size()) {
            m += "\r\n";
        }
    }
}

std::string AsciiShortLines(std::size_t bytes) {
    std::string m(kHead);
    m += "Content-Type: text/plain; charset=us-ascii\r\n\r\n";
    AppendLines(m, "a", bytes);
    return m.append(kLongMessageLastLine).append("\r\n");
}

std::string IsoJapaneseLines(std::size_t bytes) {
    std::string m(kHead);
    m += "Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n";
    AppendLines(m, "\x1b$BF|K\\8l\x1b(B", bytes);  // 日本語
    return m.append(kLongMessageLastLine).append("\r\n");
}

std::string Utf8Base64(std::size_t bytes) {
    std::string m(kHead);
    m += "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    std::string text;
    AppendLines(text, kUtf8Line, bytes * 3 / 4);
    AppendBase64(m, text.append(kLongMessageLastLine).append("\r\n"));
    return m;
}

std::string Utf8QuotedPrintable(std::size_t bytes) {
    std::string m(kHead);
    m += "Content-Type: text/plain; charset=UTF-8\r\n"
         "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
    std::string line;
    for (const char c : kUtf8Line) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        const auto b = static_cast<unsigned char>(c);
        line += b < 0x80 ? std::string(1, c) : std::string{'=', kHex[b >> 4], kHex[b & 15]};
    }
    AppendLines(m, line, bytes);
    return m.append(kLongMessageLastLine).append("\r\n");
}

std::string MultipartTextPart(std::size_t bytes) {
    std::string m(kHead);
    m += "Content-Type: multipart/mixed;\r\n\tboundary=\"----=_Part_0\"\r\n\r\n"
         "------=_Part_0\r\nContent-Type: text/plain; charset=iso-2022-jp\r\n\r\n";
    AppendLines(m, "ab", bytes * 2 / 3);
    m.append(kLongMessageLastLine).append("\r\n");
    m += "------=_Part_0\r\nContent-Type: application/octet-stream\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\n";
    AppendBase64(m, std::string(bytes / 4, '\x7F'));
    return m + "------=_Part_0--\r\n";
}

}  // namespace

const std::array<BodyShape, 5> kBodyShapes = {{
    {"AsciiShortLines", &AsciiShortLines},
    {"IsoJapaneseLines", &IsoJapaneseLines},
    {"Utf8Base64", &Utf8Base64},
    {"Utf8QuotedPrintable", &Utf8QuotedPrintable},
    {"MultipartTextPart", &MultipartTextPart},
}};

}  // namespace brindle::test
