#include "charset/char_code_conv.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "charset_test_util.hpp"

namespace brindle {
namespace {

using testing::Sj;

TEST(CharCodeConvByteTests, RangesAndDigitValues) {
    EXPECT_FALSE(TCharCodeConv::IsHanKana(0xA0));
    EXPECT_TRUE(TCharCodeConv::IsHanKana(0xA1));
    EXPECT_TRUE(TCharCodeConv::IsHanKana(0xDF));
    EXPECT_FALSE(TCharCodeConv::IsHanKana(0xE0));
    // Voiced marks go on ｳ, the ｶ row to ﾄ and the ﾊ row; ｵ and ﾅ take none.
    EXPECT_TRUE(TCharCodeConv::IsDakuten(0xB3));
    EXPECT_FALSE(TCharCodeConv::IsDakuten(0xB5));
    EXPECT_TRUE(TCharCodeConv::IsDakuten(0xB6));
    EXPECT_TRUE(TCharCodeConv::IsDakuten(0xC4));
    EXPECT_FALSE(TCharCodeConv::IsDakuten(0xC5));
    EXPECT_TRUE(TCharCodeConv::IsDakuten(0xCE));
    EXPECT_FALSE(TCharCodeConv::IsDakuten(0xCF));
    EXPECT_FALSE(TCharCodeConv::IsHanDakuten(0xC9));
    EXPECT_TRUE(TCharCodeConv::IsHanDakuten(0xCA));
    EXPECT_TRUE(TCharCodeConv::IsHanDakuten(0xCE));
    EXPECT_FALSE(TCharCodeConv::IsEuc(0xA0));
    EXPECT_TRUE(TCharCodeConv::IsEuc(0xFE));
    EXPECT_FALSE(TCharCodeConv::IsEuc(0xFF));

    EXPECT_EQ(TCharCodeConv::Hex2Int('7'), 7);
    EXPECT_EQ(TCharCodeConv::Hex2Int('c'), 12);
    EXPECT_EQ(TCharCodeConv::Hex2Int('F'), 15);
    EXPECT_EQ(TCharCodeConv::Hex2Int('g'), 0);
    EXPECT_EQ(TCharCodeConv::Int2Hex(0xAB), "ab");
    EXPECT_EQ(TCharCodeConv::Int2Hex(0x05), "05");
    EXPECT_EQ(TCharCodeConv::B642Int('A'), 0);
    EXPECT_EQ(TCharCodeConv::B642Int('z'), 51);
    EXPECT_EQ(TCharCodeConv::B642Int('/'), 63);
    EXPECT_EQ(TCharCodeConv::B642Int('='), 64);
    EXPECT_EQ(TCharCodeConv::B642Int(0xFF), 64);
    for (unsigned v = 0; v < 64; ++v) {
        EXPECT_EQ(TCharCodeConv::B642Int(static_cast<unsigned char>(
                      TCharCodeConv::Int2B64(static_cast<unsigned char>(v)))),
                  static_cast<int>(v));
    }
    EXPECT_EQ(TCharCodeConv::Int2B64(64), '=');
    EXPECT_EQ(TCharCodeConv::Int2B64(255), '=');
}

TEST(CharCodeConvKana, CodeTableGivesTheFullWidthCharacterOfEachHalfWidthByte) {
    const std::string expected =
        Sj("。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒ"
           "フヘホ"
           "マミムメモヤユヨラリルレロワン゛゜");
    ASSERT_EQ(expected.size(), 126u);
    for (unsigned c = 0xA1; c <= 0xDF; ++c) {
        const std::string half(1, static_cast<char>(c));
        EXPECT_EQ(TCharCodeConv::KanaConv(half), expected.substr((c - 0xA1) * 2, 2)) << c;
        EXPECT_EQ(TCharCodeConv::HanToZen2(half), expected.substr((c - 0xA1) * 2, 2)) << c;
    }
    EXPECT_EQ(TCharCodeConv::KanaConv("A"), "");
    EXPECT_EQ(TCharCodeConv::KanaConv(""), "");
}

TEST(CharCodeConvKana, HanToZenMergesVoicedMarksWhereTheyBelong) {
    EXPECT_EQ(TCharCodeConv::HanToZen(Sj("ｶﾞｷﾞﾄﾞ")), Sj("ガギド"));
    EXPECT_EQ(TCharCodeConv::HanToZen(Sj("ﾊﾟﾎﾟﾊﾞ")), Sj("パポバ"));
    EXPECT_EQ(TCharCodeConv::HanToZen(Sj("ｳﾞ")), "\x83\x94");
    // A mark that cannot be merged stands on its own.
    EXPECT_EQ(TCharCodeConv::HanToZen(Sj("ｱﾞｶﾟﾞ")), Sj("ア゛カ゜゛"));
    EXPECT_EQ(TCharCodeConv::HanToZen(Sj("ﾞ")), Sj("゛"));
    EXPECT_EQ(TCharCodeConv::HanToZen2(Sj("ｶﾞﾊﾟ")), Sj("カ゛ハ゜"));
}

TEST(CharCodeConvKana, TrailBytesInTheKanaRangeAreNotConverted) {
    // 唖 is 88 A0 and 院 is 89 40; 0x88 0xB1 holds a trail byte that looks like ｱ.
    const std::string text = "\x88\xB1\xB1\x88\xA0";
    EXPECT_EQ(TCharCodeConv::HanToZen(text), "\x88\xB1\x83\x41\x88\xA0");
    EXPECT_EQ(TCharCodeConv::HanToZen2(text), "\x88\xB1\x83\x41\x88\xA0");
    // A lead byte as the last byte is copied and nothing is read past it.
    EXPECT_EQ(TCharCodeConv::HanToZen("\xB1\x88"), "\x83\x41\x88");
}

TEST(CharCodeConvJisPairs, SJisJisAndJ2sj1AreInversesOverTheWholeTable) {
    for (unsigned j1 = 0x21; j1 <= 0x7E; ++j1) {
        for (unsigned j2 = 0x21; j2 <= 0x7E; ++j2) {
            const std::string jis{static_cast<char>(j1), static_cast<char>(j2)};
            const std::string sjis = TCharCodeConv::j2sj1(jis);
            ASSERT_EQ(sjis.size(), 2u);
            EXPECT_EQ(TCharCodeConv::SJis_Jis(static_cast<unsigned char>(sjis[0]),
                                              static_cast<unsigned char>(sjis[1])),
                      jis);
        }
    }
    EXPECT_EQ(TCharCodeConv::SJis_Jis(0x82, 0xA0), "\x24\x22");
    EXPECT_EQ(TCharCodeConv::j2sj1("\x24\x22"), "\x82\xA0");
}

TEST(CharCodeConvJisPairs, J2sj1BracketsPairsOutsideTheRange) {
    EXPECT_EQ(TCharCodeConv::j2sj1("\x7F\x7F").size(), 2u);  // the bound is inclusive
    EXPECT_EQ(TCharCodeConv::j2sj1("\x20\x21"), "[2021]");
    EXPECT_EQ(TCharCodeConv::j2sj1("\r\n"), "[0D0A]");
    EXPECT_EQ(TCharCodeConv::j2sj1("\x24"), "[2400]");
    EXPECT_EQ(TCharCodeConv::j2sj1(""), "[0000]");
    EXPECT_EQ(TCharCodeConv::j2sj1("\xA4\xA2"), "[A4A2]");
}

TEST(CharCodeConvSJisToJis, WrapsKanjiRunsInEscapes) {
    TCharCodeConv conv;
    EXPECT_EQ(conv.SJisToJis("a\x82\xA0"
                             "b"),
              "a\x1B$B\x24\x22\x1B(Bb");
    EXPECT_EQ(conv.SJisToJis("\x82\xA0"), "\x1B$B\x24\x22\x1B(B");
    EXPECT_EQ(conv.SJisToJis(Sj("漢字\r\n表")),
              "\x1B$B\x34\x41\x3B\x7A\x1B(B\r\n\x1B$B\x49\x3D\x1B(B");
    conv.SetJisByteCodeType(TJisByteCodeType::btRoman);
    EXPECT_EQ(conv.SJisToJis("a\x82\xA0"
                             "b"),
              "a\x1B$B\x24\x22\x1B(Jb");
    EXPECT_EQ(conv.SJisToJis("plain"), "plain");
    EXPECT_EQ(conv.SJisToJis(""), "");
}

TEST(CharCodeConvSJisToJis, HalfWidthKatakanaFollowTheKanaOption) {
    TCharCodeConv conv;
    EXPECT_EQ(conv.JisKanaConvType(), TJisKanaConvType::ktZenWithDaku);
    EXPECT_EQ(conv.SJisToJis(Sj("ｶﾞｷ")), "\x1B$B\x25\x2C\x25\x2D\x1B(B");
    conv.SetJisKanaConvType(TJisKanaConvType::ktZenSepaDaku);
    EXPECT_EQ(conv.SJisToJis(Sj("ｶﾞ")), "\x1B$B\x25\x2B\x21\x2B\x1B(B");
    conv.SetJisKanaConvType(TJisKanaConvType::ktNone);
    EXPECT_EQ(conv.SJisToJis(Sj("ｶﾞｷ")), "\xB6\xDE\xB7");
}

TEST(CharCodeConvSJisToJis, LeadByteAsLastByteIsNotPairedWithWhatIsNotThere) {
    TCharCodeConv conv;
    EXPECT_EQ(conv.SJisToJis("a\x82"), "a\x82");
    EXPECT_EQ(conv.SJisToJis("\x82\xA0\x82"), "\x1B$B\x24\x22\x1B(B\x82");
}

TEST(CharCodeConvJisToSJis, ModesAndEscapes) {
    EXPECT_EQ(TCharCodeConv::JisToSJis("\x1B$B\x24\x22\x1B(B"), "\x82\xA0");
    EXPECT_EQ(TCharCodeConv::JisToSJis("\x1B$@\x24\x22\x1B(Jx"), "\x82\xA0x");
    EXPECT_EQ(TCharCodeConv::JisToSJis("\x1B(I\x31"), "\x83\x41");
    // SO returns to the mode before it: here kanji.
    EXPECT_EQ(TCharCodeConv::JisToSJis("\x1B$B\x24\x22\x0E\x31\x0F\x24\x22"),
              "\x82\xA0\x83\x41\x82\xA0");
    EXPECT_EQ(TCharCodeConv::JisToSJis("\x0E\x31\x0F\x31"), "\x83\x41\x31");
    // 8-bit bytes pass through in single-byte mode, so Shift_JIS text is left alone.
    EXPECT_EQ(TCharCodeConv::JisToSJis(Sj("表示ソ")), Sj("表示ソ"));
}

TEST(CharCodeConvJisToSJis, MalformedInputFallsBack) {
    // A final odd byte in kanji mode is copied.
    EXPECT_EQ(TCharCodeConv::JisToSJis("\x1B$B\x24\x22\x24"), "\x82\xA0\x24");
    // A line break inside a kanji run shows up as a bracketed pair.
    EXPECT_EQ(TCharCodeConv::JisToSJis("\x1B$B\x24\x22\r\n"), "\x82\xA0[0D0A]");
    // Unknown or cut escapes are handled by the current mode.
    EXPECT_EQ(TCharCodeConv::JisToSJis("a\x1B$(Db"), "a\x1B$(Db");
    EXPECT_EQ(TCharCodeConv::JisToSJis("a\x1B$"), "a\x1B$");
    EXPECT_EQ(TCharCodeConv::JisToSJis("\x1B$B\x1B"), "\x1B");
    EXPECT_EQ(TCharCodeConv::JisToSJis("\x1B$B\x1Bx\x1B(B"), "[1B78]");
    EXPECT_EQ(TCharCodeConv::JisToSJis("\x1B(I\x60\x0E"), "\x60\x0E");
    EXPECT_EQ(TCharCodeConv::JisToSJis(""), "");
    // A whole line of invalid pairs grows the text threefold without overrunning.
    const std::string bad = "\x1B$B" + std::string(20000, '\x01');
    const std::string out = TCharCodeConv::JisToSJis(bad);
    EXPECT_EQ(out.size(), 10000u * 6);
    EXPECT_EQ(out.substr(0, 6), "[0101]");
}

TEST(CharCodeConvBase64, EncodesInGroupsOfThree) {
    EXPECT_EQ(TCharCodeConv::B64Encode(""), "");
    EXPECT_EQ(TCharCodeConv::B64Encode("a"), "YQ==");
    EXPECT_EQ(TCharCodeConv::B64Encode("ab"), "YWI=");
    EXPECT_EQ(TCharCodeConv::B64Encode("abc"), "YWJj");
    EXPECT_EQ(TCharCodeConv::B64Encode(std::string("\xFF\xFE\x00", 3)), "//4A");
}

TEST(CharCodeConvBase64, StrictDecodingKeepsTheGroupingOfEveryByte) {
    EXPECT_EQ(TCharCodeConv::B64Decode("YQ=="), "a");
    EXPECT_EQ(TCharCodeConv::B64Decode("YWJj"), "abc");
    EXPECT_EQ(TCharCodeConv::B64Decode("YQ"), "");
    EXPECT_EQ(TCharCodeConv::B64Decode(""), "");
    // A line break takes two places of a group and counts as zero bits.
    EXPECT_EQ(TCharCodeConv::B64Decode("YW\r\nJj"), "a`");
    // A zero byte of the data is kept in every place of a group; padding and junk give none.
    EXPECT_EQ(TCharCodeConv::B64Decode(TCharCodeConv::B64Encode(std::string("a\0b", 3))),
              std::string("a\0b", 3));
    EXPECT_EQ(TCharCodeConv::B64Decode("AAAAYQ=="), std::string("\0\0\0a", 4));
    EXPECT_EQ(TCharCodeConv::B64Decode("YQA="), std::string("a\0", 2));
    EXPECT_EQ(TCharCodeConv::B64Decode("!!!!").size(), 1u);
}

TEST(CharCodeConvBase64, DecodeOfEncodeGivesTheBytesBackWhenNoneIsZero) {
    std::mt19937 rng(20261207);
    std::uniform_int_distribution<int> byte(1, 255);
    std::uniform_int_distribution<int> length(0, 64);
    for (int round = 0; round < 2000; ++round) {
        std::string text(static_cast<std::size_t>(length(rng)), '\0');
        for (char& c : text) {
            c = static_cast<char>(byte(rng));
        }
        const std::string encoded = TCharCodeConv::B64Encode(text);
        ASSERT_EQ(TCharCodeConv::B64Decode(encoded), text);
        ASSERT_EQ(MimeBDecode(encoded), text);
    }
}

TEST(CharCodeConvBase64, LenientWordDecodingSkipsJunk) {
    EXPECT_EQ(MimeBDecode("YQ"), "a");
    EXPECT_EQ(MimeBDecode("Y Q = ="), "a");
    EXPECT_EQ(MimeBDecode("YWI"), "ab");
    EXPECT_EQ(MimeBDecode("Y"), "");
    EXPECT_EQ(MimeBDecode("YW\r\nJj"), "abc");
    EXPECT_EQ(MimeBDecode("AAAA"), std::string(3, '\0'));
}

TEST(CharCodeConvQuotedPrintable, EscapesSoftBreaksAndLineEnds) {
    EXPECT_EQ(TCharCodeConv::QPDecode("a=3Db"), "a=b\r\n");
    EXPECT_EQ(TCharCodeConv::QPDecode("abc=\r\ndef"), "abcdef\r\n");
    // Lower-case digits are digits too.
    EXPECT_EQ(TCharCodeConv::QPDecode("=3d=e3=81=82"), "=\xE3\x81\x82\r\n");
    EXPECT_EQ(TCharCodeConv::QPDecode("\r\n"), "\r\n");
    EXPECT_EQ(TCharCodeConv::QPDecode(""), "");
    EXPECT_EQ(TCharCodeConv::QPDecode("a\rb\nc\r\n\r\nd"), "a\r\nb\r\nc\r\n\r\nd\r\n");
    EXPECT_EQ(TCharCodeConv::QPDecode("=82=A0"), "\x82\xA0\r\n");
    // A soft last line gets no line end.
    EXPECT_EQ(TCharCodeConv::QPDecode("abc="), "abc");
}

TEST(CharCodeConvQuotedPrintable, BrokenEscapesStayAsTheyAre) {
    // Only "=" and two hex digits is an escape; "=00" is a zero byte like any other.
    EXPECT_EQ(TCharCodeConv::QPDecode("=00x"), std::string("\0x\r\n", 4));
    EXPECT_EQ(TCharCodeConv::QPDecode("=ZZ"), "=ZZ\r\n");
    EXPECT_EQ(TCharCodeConv::QPDecode("x=4"), "x=4\r\n");
    EXPECT_EQ(TCharCodeConv::QPDecode("x=\r\n=\r\ny"), "xy\r\n");
    EXPECT_EQ(TCharCodeConv::QPDecode("=="), "=");
    EXPECT_EQ(TCharCodeConv::QPDecode("=Z\r\nb"), "=Z\r\nb\r\n");
    // One hex digit beside a non-digit is text: nothing is swallowed or turned into a byte.
    EXPECT_EQ(TCharCodeConv::QPDecode("if x = a then y"), "if x = a then y\r\n");
    EXPECT_EQ(TCharCodeConv::QPDecode("?q=exyz"), "?q=exyz\r\n");
    EXPECT_EQ(TCharCodeConv::QPDecode("a=aZb =a\t=3"), "a=aZb =a\t=3\r\n");
    EXPECT_EQ(TCharCodeConv::QPDecode("=e3=81=82=4"), "\xE3\x81\x82=4\r\n");
    // A zero byte, given or decoded, does not end the text.
    EXPECT_EQ(TCharCodeConv::QPDecode(std::string("a\0b", 3)), std::string("a\0b\r\n", 5));
    EXPECT_EQ(TCharCodeConv::QPDecode("a=00b\r\nc"), std::string("a\0b\r\nc\r\n", 8));
}

TEST(CharCodeConvQuotedPrintable, WordDecodingKeepsUnderscoresAndBadEscapes) {
    EXPECT_EQ(MimeQDecode("=82=A0"), "\x82\xA0");
    EXPECT_EQ(MimeQDecode("a_b"), "a_b");
    EXPECT_EQ(MimeQDecode("=3d=4"), "==4");
    EXPECT_EQ(MimeQDecode("=G0=0"), "=G0=0");
    EXPECT_EQ(MimeQDecode("x="), "x=");
    EXPECT_EQ(MimeQDecode("a=aZb=e"), "a=aZb=e");
    EXPECT_EQ(MimeQDecode("a=00b"), std::string("a\0b", 3));
}

TEST(CharCodeConvMime, MimeToJisDecodesJapaneseWords) {
    EXPECT_EQ(TCharCodeConv::MimeToJis("=?iso-2022-jp?B?GyRCJCIbKEI=?="), "\x1B$B\x24\x22\x1B(B");
    EXPECT_EQ(TCharCodeConv::MimeToJis("=?SHIFT_JIS?Q?=82=A0?="), "\x82\xA0");
    EXPECT_EQ(TCharCodeConv::MimeToJis("=?Shift_JIS?Q?a_b?="), "a_b");
    EXPECT_EQ(TCharCodeConv::MimeToJis("=?SHIFT_JIS?B?gqA=?= =?SHIFT_JIS?B?gqA=?="),
              "\x82\xA0 \x82\xA0");
    // EUC-JP あ (A4 A2) becomes a JIS kanji run closed by ESC ( J.
    EXPECT_EQ(TCharCodeConv::MimeToJis("=?EUC-JP?B?pKI=?=x"), "\x1B$B\x24\x22\x1B(Jx");
    EXPECT_EQ(TCharCodeConv::MimeToJis("Re: plain"), "Re: plain");
    EXPECT_EQ(TCharCodeConv::MimeToJis("=?UTF-8?B?44GC?="), "=?UTF-8?B?44GC?=");
}

TEST(CharCodeConvMime, MalformedWordsFallBack) {
    // An unterminated word is still decoded; an unknown letter leaves the text as it is.
    EXPECT_EQ(MimeCharsetDecode("x=?ISO-2022-JP?B?GyRCJCIbKEI=", "iso-2022-jp"),
              "x\x1B$B\x24\x22\x1B(B");
    EXPECT_EQ(MimeCharsetDecode("=?ISO-2022-JP?X?abc?=", "iso-2022-jp"), "abc");
    EXPECT_EQ(MimeCharsetDecode("=?ISO-2022-JP?", "iso-2022-jp"), "=?ISO-2022-JP?");
    EXPECT_EQ(MimeCharsetDecode("=?ISO-2022-JP?B", "iso-2022-jp"), "=?ISO-2022-JP?B");
    EXPECT_EQ(MimeCharsetDecode("=?ISO-2022-JP?B?", "iso-2022-jp"), "");
    // A new head drops the unfinished word before it.
    EXPECT_EQ(MimeCharsetDecode("=?SHIFT_JIS?Q?lost=?SHIFT_JIS?Q?kept?=", "shift_jis"), "kept");
    EXPECT_EQ(MimeWordDecode('q', "=41"), "A");
    EXPECT_EQ(MimeWordDecode('b', "QQ=="), "A");
}

TEST(CharCodeConvMime, EucToJisPairsBytesAndDropsLoneOnes) {
    EXPECT_EQ(EucToJis("a\xA4\xA2\xA4\xA4"
                       "b"),
              "a\x1B$B\x24\x22\x24\x24\x1B(Jb");
    EXPECT_EQ(EucToJis("\xA4"), "");
    EXPECT_EQ(EucToJis("\x80x\xA4"), "x");
    // EUC-JP half-width katakana ends up as SO and the katakana byte inside the kanji run.
    EXPECT_EQ(TCharCodeConv::JisToSJis(EucToJis("\x8E\xB1")), "\x83\x41");
    EXPECT_EQ(TCharCodeConv::JisToSJis(EucToJis(Sj("x"))), "x");
}

TEST(CharCodeConvMimeHeader, EncodeGivesOneWordForTextWithKanji) {
    TCharCodeConv conv;
    EXPECT_EQ(conv.MIMEHeaderEncode(""), "");
    EXPECT_EQ(conv.MIMEHeaderEncode("Hello"), "Hello");
    EXPECT_EQ(conv.MIMEHeaderEncode(Sj("ｱｲｳ")), Sj("ｱｲｳ"));
    EXPECT_EQ(conv.MIMEHeaderEncode("\x82\xA0"), "=?ISO-2022-JP?B?GyRCJCIbKEI=?=");
    const std::string subject = Sj("Re: 会議の議事録（第３回）ｶﾞ①");
    EXPECT_EQ(TCharCodeConv::MIMEHeaderDecode(conv.MIMEHeaderEncode(subject)),
              Sj("Re: 会議の議事録（第３回）ガ①"));
}

TEST(CharCodeConvMimeHeader, DecodeHandlesOnlyClosedIsoWords) {
    EXPECT_EQ(TCharCodeConv::MIMEHeaderDecode(""), "");
    EXPECT_EQ(TCharCodeConv::MIMEHeaderDecode("a =?iso-2022-jp?b?GyRCJCIbKEI=?= b"),
              "a \x82\xA0 b");
    // Blanks between words remain.
    EXPECT_EQ(TCharCodeConv::MIMEHeaderDecode(
                  "=?ISO-2022-JP?B?GyRCJCIbKEI=?= =?ISO-2022-JP?B?GyRCJCIbKEI=?="),
              "\x82\xA0 \x82\xA0");
    // An unclosed word is dropped; a stray "?=" is dropped.
    EXPECT_EQ(TCharCodeConv::MIMEHeaderDecode("a=?ISO-2022-JP?B?GyRCJCIbKEI="), "a");
    EXPECT_EQ(TCharCodeConv::MIMEHeaderDecode("a?=b"), "ab");
    EXPECT_EQ(TCharCodeConv::MIMEHeaderDecode("=?UTF-8?B?44GC?="), "=?UTF-8?B?44GC");
}

TEST(CharCodeConvWeb, EscapesAndPlusSigns) {
    EXPECT_EQ(TCharCodeConv::WebEncode("a b"), "a+b");
    EXPECT_EQ(TCharCodeConv::WebEncode("\xE3"), "%e3");
    EXPECT_EQ(TCharCodeConv::WebEncode("100%+"), "100%+");
    EXPECT_EQ(TCharCodeConv::WebDecode("%41+"), "A ");
    EXPECT_EQ(TCharCodeConv::WebDecode("%2b"), " ");
    EXPECT_EQ(TCharCodeConv::WebDecode("%e3%81"), "\xE3\x81");
    // Digits missing at the end count as 0.
    EXPECT_EQ(TCharCodeConv::WebDecode("%4"), "@");
    EXPECT_EQ(TCharCodeConv::WebDecode("%"), std::string(1, '\0'));
    const std::string text = Sj("件名 表示 abc");
    EXPECT_EQ(TCharCodeConv::WebDecode(TCharCodeConv::WebEncode(text)), text);
}

}  // namespace
}  // namespace brindle
