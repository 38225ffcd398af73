#include "regexp/re_types.hpp"

#include <gtest/gtest.h>

#include <string>

namespace brindle {
namespace {

// ソ is 0x83 0x5C (its trail byte is a backslash); ア is 0x83 0x41 (its trail byte is an A).
const std::string kSo = "\x83\x5C";
const std::string kA = "\x83\x41";

template <typename F>
void ExpectParserError(F&& f, const std::string& message, int position) {
    try {
        f();
        ADD_FAILURE() << "no ERegExpParser, expected " << message;
    } catch (const ERegExpParser& e) {
        EXPECT_EQ(e.what(), message);
        EXPECT_EQ(e.Position(), position) << message;
    }
}

TEST(WideChar, ReadsDoubleByteCharactersAsOne) {
    const std::string text = "a" + kSo + kA + "\xB1";
    int index = 1;
    EXPECT_EQ(GetWChar(text, index), 'a');
    EXPECT_EQ(GetWChar(text, index), 0x835C);
    EXPECT_EQ(index, 4);
    EXPECT_EQ(GetWChar(text, index), 0x8341);
    EXPECT_EQ(GetWChar(text, index), 0xB1);  // half-width katakana is a single byte
    EXPECT_EQ(index, 7);
    EXPECT_EQ(GetWChar(text, index), 0);
    EXPECT_EQ(index, 7);
    index = 0;
    EXPECT_EQ(GetWChar(text, index), 0);
    index = -3;
    EXPECT_EQ(GetWChar(text, index), 0);
}

TEST(WideChar, LoneLeadByteAtTheEndIsAnError) {
    const std::string text = "ab\x82";
    int index = 3;
    ExpectParserError([&] { GetWChar(text, index); }, "不正な２バイト文字コードです。", 3);
}

TEST(WideChar, StepsBackOverTheCharacterFoundByWalking) {
    // 0x81 0x81 is one character; a step back from after "a" must land on "a", not inside it,
    // although the byte two before looks like a lead byte.
    const std::string text =
        "\x81\x81"
        "a";
    int index = 4;
    UnGetWChar(text, index);
    EXPECT_EQ(index, 3);
    UnGetWChar(text, index);
    EXPECT_EQ(index, 1);
    UnGetWChar(text, index);
    EXPECT_EQ(index, 1);
}

TEST(WideChar, PCharStopsAtTheTerminator) {
    const std::string text = "a" + kSo + "\x82";
    const char* p = text.c_str();
    EXPECT_EQ(PCharGetWChar(p), 'a');
    EXPECT_EQ(PCharGetWChar(p), 0x835C);
    EXPECT_EQ(PCharGetWChar(p), 0x82);  // a lead byte right before the NUL stands alone
    EXPECT_EQ(PCharGetWChar(p), 0);
    EXPECT_EQ(PCharGetWChar(p), 0);
    EXPECT_EQ(p, text.c_str() + text.size());
}

TEST(WideChar, BackToBytes) {
    EXPECT_EQ(WCharToStr(0x835C), kSo);
    EXPECT_EQ(WCharToStr('A'), "A");
    EXPECT_EQ(WCharToStr(0xB1), "\xB1");
    EXPECT_EQ(WCharToStr(0x4142), "B");  // high byte not a lead byte: only the low byte
}

WChar_t Escape(const std::string& after_backslash, int* end = nullptr) {
    int index = 1;
    const WChar_t c = GetQuotedWChar(after_backslash, index);
    if (end != nullptr) {
        *end = index;
    }
    return c;
}

TEST(Escape, NamedHexAndOctal) {
    EXPECT_EQ(Escape("b"), 8);
    EXPECT_EQ(Escape("n"), 10);
    EXPECT_EQ(Escape("r"), 13);
    EXPECT_EQ(Escape("t"), 9);
    EXPECT_EQ(Escape("x41"), 'A');
    EXPECT_EQ(Escape("xfF"), 0xFF);
    int end = 0;
    EXPECT_EQ(Escape("x4142", &end), 0x4142);
    EXPECT_EQ(end, 6);
    EXPECT_EQ(Escape("x41424", &end), 0x4142);
    EXPECT_EQ(end, 6);  // the fifth digit is left for what follows
    EXPECT_EQ(Escape("x4g", &end), 4);
    EXPECT_EQ(end, 3);
    EXPECT_EQ(Escape("101"), 'A');
    EXPECT_EQ(Escape("0"), 0);
    EXPECT_EQ(Escape("1234567", &end), 0xA72E);
    EXPECT_EQ(end, 7);
    EXPECT_EQ(Escape("177777"), 0xFFFF);
    EXPECT_EQ(Escape("8"), '8');  // not an octal digit: the character itself
}

TEST(Escape, AnythingElseIsItself) {
    EXPECT_EQ(Escape("."), '.');
    EXPECT_EQ(Escape("\\"), '\\');
    EXPECT_EQ(Escape("["), '[');
    EXPECT_EQ(Escape(kSo), 0x835C);
    EXPECT_EQ(Escape("z"), 'z');
}

TEST(Escape, Errors) {
    int index = 1;
    ExpectParserError([&] { GetQuotedWChar("", index); }, "\"\\\"の次には文字が必要です。", 1);
    ExpectParserError([&] { Escape("x"); }, "不正な１６進数コード表記です。", 2);
    ExpectParserError([&] { Escape("xg"); }, "不正な１６進数コード表記です。", 2);
    // 777777 octal would pass 0xFFFF at the sixth digit.
    ExpectParserError([&] { Escape("777777"); }, "不正な８進数コード表記です。", 7);
    ExpectParserError([&] { Escape("x\x82"); }, "不正な２バイト文字コードです。", 2);
}

TEST(DigitValues, HexAndOctal) {
    EXPECT_EQ(HexWCharToInt('0'), 0);
    EXPECT_EQ(HexWCharToInt('a'), 10);
    EXPECT_EQ(HexWCharToInt('F'), 15);
    EXPECT_EQ(HexWCharToInt('g'), -1);
    EXPECT_EQ(HexWCharToInt(0x8260), -1);  // full-width A
    EXPECT_EQ(OctWCharToInt('7'), 7);
    EXPECT_EQ(OctWCharToInt('8'), -1);
}

TEST(WCharGetToken, StopsAtTheDelimiterCharacterOnly) {
    // The trail byte of ソ is not the backslash delimiter.
    const std::string text = kSo + "x\\yz\\";
    int index = 1;
    EXPECT_EQ(WCharGetToken(text, index, '\\'), kSo + "x");
    EXPECT_EQ(index, 5);
    EXPECT_EQ(WCharGetToken(text, index, '\\'), "yz");
    EXPECT_EQ(index, 8);
    EXPECT_EQ(WCharGetToken(text, index, '\\'), "");
    EXPECT_EQ(index, 8);
}

TEST(QuoteMeta, QuotesEveryMetacharacterAndNoTrailByte) {
    EXPECT_EQ(QuoteMetaWChar("^(|)+*?.[]$\\"), "\\^\\(\\|\\)\\+\\*\\?\\.\\[\\]\\$\\\\");
    EXPECT_EQ(QuoteMetaWChar("a-b{}"), "a-b{}");
    EXPECT_EQ(QuoteMetaWChar(kSo + "." + "\x83\x5B"), kSo + "\\." + "\x83\x5B");
}

TEST(ERegExpParserType, IsTheGeneralErrorAndClampsItsPosition) {
    const ERegExpParser e(Msg(CoreMsg::RegexBadOctal), 70000);
    EXPECT_EQ(e.Position(), 0xFFFF);
    const Exception& general = e;
    EXPECT_TRUE(general.Message().Is(Text(CoreMsg::RegexBadOctal)));
    EXPECT_STREQ(general.what(), "不正な８進数コード表記です。");
}

}  // namespace
}  // namespace brindle
