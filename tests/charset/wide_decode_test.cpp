// The transfer decodings and the UTF-8 conversion take whole blocks of 16 bytes at a time where
// the text allows it: each case puts what the blocks must leave to the byte-wise rules (padding,
// junk, escapes, line ends, multi-byte characters) at offsets around the block boundaries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "charset/char_code_conv.hpp"
#include "charset/char_nkf_conv.hpp"

namespace brindle {
namespace {

// Bytes whose Base64 form uses the whole alphabet, zero bytes included.
std::string Data(std::size_t size, unsigned seed) {
    std::string data;
    for (std::size_t i = 0; i < size; ++i) {
        data += static_cast<char>((i * 151 + seed * 89) % 256);
    }
    return data;
}

TEST(WideBase64DecodeTest, BlocksAroundJunkAndPadding) {
    struct Case {
        std::size_t before;  // data bytes encoded ahead of the middle (a multiple of 3)
        std::string middle;  // characters between the two encoded runs, a group or none
        std::string gives;   // what the middle decodes to
        std::size_t after;   // data bytes encoded after the middle
    };
    const std::vector<Case> cases = {
        {0, "", "", 0},
        {12, "", "", 12},                         // one whole block
        {36, "", "", 50},                         // blocks, then padding at the end
        {0, "====", std::string(1, '\0'), 30},    // junk opens the first block
        {9, "====", std::string(1, '\0'), 30},    // junk at the end of the first block
        {12, "====", std::string(1, '\0'), 30},   // junk opens the second block
        {21, "QQ==", "A", 24},                    // padding mid-text, two blocks on
        {3, "\r\n==", std::string(1, '\0'), 40},  // a line end in a group
        {24, "AA\x80=", std::string(1, '\0'), 7},
        {6, "AAAA", std::string(3, '\0'), 40},  // zero bytes of the data are kept
        {15, "A/-_", std::string("\x03\xF0", 2), 33},
    };
    for (const Case& c : cases) {
        const std::string first = Data(c.before, 1);
        const std::string second = Data(c.after, 2);
        const std::string text =
            TCharCodeConv::B64Encode(first) + c.middle + TCharCodeConv::B64Encode(second);
        EXPECT_EQ(TCharCodeConv::B64Decode(text), first + c.gives + second)
            << c.before << " " << c.middle << " " << c.after;
    }
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    EXPECT_EQ(TCharCodeConv::B64Encode(TCharCodeConv::B64Decode(alphabet + alphabet)),
              alphabet + alphabet);
}

TEST(WideQuotedPrintableDecodeTest, EscapesLineEndsAndSoftBreaksAtEveryOffset) {
    struct Case {
        std::string text;
        std::string gives;
    };
    const std::vector<Case> cases = {
        {"=E3=81=82=E3=81=84=E3=81=86\r\n", "\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86\r\n"},
        {"=e3=81=82=E3=81=84", "\xE3\x81\x82\xE3\x81\x84\r\n"},  // lower case; last line
        {"=00=3D=3d\r\n", std::string("\0==\r\n", 5)},
        {"x = a then y\r\n", "x = a then y\r\n"},  // a lone digit is text
        {"=E3=81=8", "\xE3\x81=8\r\n"},
        {"=E3=8G=82=", "\xE3=8G\x82"},  // soft break at the end: no line end
        {"==E3=", "=\xE3"},
        {"=4=\r\nb\r\n", "=4b\r\n"},  // an escape cut by a soft break stays as written
        {"=E3=81=\r\n=82=\n=E3=\r=81\r\n", "\xE3\x81\x82\xE3\x81\r\n"},
        {"a\rb\nc\r\n\n", "a\r\nb\r\nc\r\n\r\n"},
        {"=E3\r\r\n=\n", "\xE3\r\n\r\n"},
    };
    for (const Case& c : cases) {
        for (std::size_t offset = 0; offset < 34; ++offset) {
            const std::string lead(offset, 'x');
            EXPECT_EQ(TCharCodeConv::QPDecode(lead + c.text), lead + c.gives)
                << offset << " " << c.text;
        }
    }
    EXPECT_EQ(TCharCodeConv::QPDecode(""), "");
}

TEST(WideUtf8ToSJisTest, RunsOfAsciiAndKanaAtEveryOffset) {
    struct Case {
        std::string utf8;
        std::string sjis;
    };
    const std::string kana = "\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86\xE3\x81\x88\xE3\x81\x8A";
    const std::string kana_sjis = "\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8";
    const std::vector<Case> cases = {
        {kana + kana + kana, kana_sjis + kana_sjis + kana_sjis},
        // 漢字「テスト」ー① (the last from NEC's row 13)
        {"\xE6\xBC\xA2\xE5\xAD\x97\xE3\x80\x8C\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\xE3\x80"
         "\x8D\xE3\x83\xBC\xE2\x91\xA0",
         "\x8A\xBF\x8E\x9A\x81\x75\x83\x65\x83\x58\x83\x67\x81\x76\x81\x5B\x87\x40"},
        // Half-width katakana give one byte each.
        {kana + "\xEF\xBD\xB1\xEF\xBD\xB2" + kana, kana_sjis + "\xB1\xB2" + kana_sjis},
        {"abcdefghijklmnopqrstuvwxyz0123456789" + kana + "\r\nxyz\n" + kana,
         "abcdefghijklmnopqrstuvwxyz0123456789" + kana_sjis + "\r\nxyz\n" + kana_sjis},
        // A surrogate, an overlong form, Hangul (ED) and a cut character: each byte that is no
        // character, or a character CP932 lacks, gives "?".
        {kana + "\xED\xA0\x80" + kana + "\xE0\x81\x81" + kana,
         kana_sjis + "???" + kana_sjis + "???" + kana_sjis},
        {kana + "\xED\x95\x9C" + kana + "\xE3\x81", kana_sjis + "?" + kana_sjis + "?"},
        // A cut character before text: "\xE3\x81" and "a" would read as "ち", met before; each byte
        // gives "?".
        {"\xE3\x81\xA1" + kana + "\xE3\x81" + "abcdefghijklmnopq",
         "\x82\xBF" + kana_sjis + "??abcdefghijklmnopq"},
    };
    const TCharNkfConv conv;
    for (const Case& c : cases) {
        for (std::size_t offset = 0; offset < 34; ++offset) {
            const std::string lead(offset, 'x');
            EXPECT_EQ(conv.CodePageToSJis(lead + c.utf8, kCodePageUtf8), lead + c.sjis) << offset;
        }
    }
}

}  // namespace
}  // namespace brindle
