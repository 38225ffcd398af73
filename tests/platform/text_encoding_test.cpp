#include "platform/text_encoding.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace brindle {
namespace {

TEST(TextEncodingCp932ToUtf8, ConvertsJapaneseTextAndVendorCharacters) {
    EXPECT_EQ(Cp932ToUtf8("abc"), "abc");
    EXPECT_EQ(Cp932ToUtf8("\x95\x5C\x83\x5C"), "表ソ");  // trail bytes 0x5C stay inside
    EXPECT_EQ(Cp932ToUtf8("\x87\x40\x87\x8A\xFB\xFC\x81\x60"), "①㈱髙～");
    EXPECT_EQ(Cp932ToUtf8("\xB1\xDE"), "ｱﾞ");
    EXPECT_EQ(Cp932ToUtf8(std::string("a\0\r\n", 4)), std::string("a\0\r\n", 4));
}

TEST(TextEncodingCp932ToUtf8, InvalidBytesBecomeReplacementCharacters) {
    const std::string fffd = "\xEF\xBF\xBD";
    // Unassigned pair: one replacement for both bytes.
    EXPECT_EQ(Cp932ToUtf8("a\x85\x40"
                          "b"),
              "a" + fffd + "b");
    // A lead byte before a byte that cannot follow it, or at the end: one for the lead byte.
    EXPECT_EQ(Cp932ToUtf8("\x82\x20"
                          "b\x82"),
              fffd + " b" + fffd);
    EXPECT_EQ(Cp932ToUtf8("\x80\xA0\xFD\xFE\xFF"), fffd + fffd + fffd + fffd + fffd);
}

TEST(TextEncodingCp932ToUtf8, AnyBytesGiveValidUtf8) {
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(static_cast<std::size_t>(round % 50), '\0');
        for (char& c : bytes) {
            c = static_cast<char>(byte(rng));
        }
        const std::string utf8 = Cp932ToUtf8(bytes);
        ASSERT_TRUE(IsValidUtf8(utf8)) << round;
        ASSERT_EQ(Cp932ToUtf8(bytes), utf8);  // deterministic
    }
}

TEST(TextEncodingUtf8ToCp932, RefusesWhatCp932Lacks) {
    EXPECT_EQ(Utf8ToCp932("件名①"), std::optional<std::string>("\x8C\x8F\x96\xBC\x87\x40"));
    EXPECT_EQ(Utf8ToCp932("plain"), "plain");
    EXPECT_EQ(Utf8ToCp932("😀"), std::nullopt);
    EXPECT_EQ(Utf8ToCp932("Müller"), std::nullopt);
    EXPECT_EQ(Utf8ToCp932("\xFF"), std::nullopt);
    EXPECT_EQ(Utf8ToCp932("\xC0\xAF"), std::nullopt);  // overlong '/'
    // These map one way only, and the plain conversion takes them.
    EXPECT_EQ(Utf8ToCp932("〜"), "\x81\x60");
    EXPECT_EQ(Utf8ToCp932("−"), "\x81\x7C");
}

TEST(TextEncodingUtf8ToCp932, ExactConversionKeepsOnlyWhatComesBackTheSame) {
    EXPECT_EQ(Utf8ToCp932Exact("〜"), std::nullopt);
    EXPECT_EQ(Utf8ToCp932Exact("−"), std::nullopt);
    EXPECT_EQ(Utf8ToCp932Exact("～"), "\x81\x60");
    EXPECT_EQ(Utf8ToCp932Exact("－"), "\x81\x7C");
    EXPECT_TRUE(RoundTripsThroughCp932("/home/太郎/メール①/髙橋"));
    EXPECT_FALSE(RoundTripsThroughCp932("/home/a〜b"));
    EXPECT_FALSE(RoundTripsThroughCp932("‖"));  // reads back as ∥
    EXPECT_FALSE(RoundTripsThroughCp932("¬"));  // reads back as ￢
    EXPECT_FALSE(RoundTripsThroughCp932("/home/Müller"));
    EXPECT_TRUE(RoundTripsThroughCp932(""));
}

TEST(TextEncodingUtf8, ValidityAndSanitizing) {
    EXPECT_TRUE(IsValidUtf8("abc 日本語 😀"));
    EXPECT_FALSE(IsValidUtf8("a\xFF"));
    EXPECT_FALSE(IsValidUtf8("\xE3\x81"));
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));
    EXPECT_EQ(SanitizeUtf8("abc 日本語"), "abc 日本語");
    EXPECT_EQ(SanitizeUtf8("a\xFF"
                           "b\xE3\x81"),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace brindle
