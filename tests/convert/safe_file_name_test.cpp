#include "convert/safe_file_name.hpp"

#include <gtest/gtest.h>

#include "platform/text_encoding.hpp"

namespace brindle {
namespace {

TEST(MakeSafeFileName, ReplacesForbiddenCharactersWithFullWidthForms) {
    EXPECT_EQ(MakeSafeFileName("Re: a/b"),
              "Re\x81\x46 a\x81\x5E"
              "b");
    EXPECT_EQ(MakeSafeFileName("\\/;:*?\"<>|"),
              "\x81\x8F\x81\x5E\x81\x47\x81\x46\x81\x96\x81\x48\x81\x8F\x81\x83\x81\x84\x81\x62");
    // Nothing else changes: blanks, dots, control bytes and length are left alone here.
    EXPECT_EQ(MakeSafeFileName(" a. \r\n"), " a. \r\n");
    EXPECT_EQ(MakeSafeFileName(""), "");
}

TEST(MakeSafeFileName, TrailBytesAreNotAscii) {
    // 表 (0x95 0x5C) and ソ (0x83 0x5C) end in the backslash byte; ｜ is 0x81 0x62 but a
    // double-byte character ending in 0x7C (ー is 0x81 0x5B; 0x88 0x7C is 圀-range) stays too.
    EXPECT_EQ(MakeSafeFileName("\x95\x5C\x83\x5C"), "\x95\x5C\x83\x5C");
    EXPECT_EQ(MakeSafeFileName("\x88\x7C"), "\x88\x7C");
    // After the double-byte character a real backslash is replaced.
    EXPECT_EQ(MakeSafeFileName("\x95\x5C\\"), "\x95\x5C\x81\x8F");
    // Half-width katakana are single bytes: the byte after one is a character of its own.
    EXPECT_EQ(MakeSafeFileName("\xB1/"), "\xB1\x81\x5E");
    // A lead byte at the very end is a character of one byte.
    EXPECT_EQ(MakeSafeFileName("a\x95"), "a\x95");
}

TEST(MakeNativeBaseName, ConvertsToUtf8AndDropsControlBytes) {
    EXPECT_EQ(MakeNativeBaseName("\x95\x5C\x81\x46 x"), "表： x");
    // A decoded Q word can leave CR LF inside a subject; TAB, NUL and DEL go as well.
    EXPECT_EQ(MakeNativeBaseName(std::string("a\r\nb\tc\x7F", 8) + std::string(1, '\0') + "d"),
              "abcd");
}

TEST(MakeNativeBaseName, NeverHiddenNeverEmptyNeverASlash) {
    EXPECT_EQ(MakeNativeBaseName(""), "無題");
    EXPECT_EQ(MakeNativeBaseName("\r\n"), "無題");
    EXPECT_EQ(MakeNativeBaseName(".profile"), "．profile");
    EXPECT_EQ(MakeNativeBaseName(".."), "．.");
    // An invalid lead byte followed by '/' hides the slash from the Shift_JIS walk; it must
    // still not reach the file system as a path separator.
    const std::string name = MakeNativeBaseName(MakeSafeFileName("\x81/..\x81/x"));
    EXPECT_EQ(name.find('/'), std::string::npos);
    EXPECT_TRUE(IsValidUtf8(name));
}

TEST(MakeNativeBaseName, InvalidCp932GivesValidDeterministicUtf8) {
    const std::string bad = "\xFD\xFE\xFF\x80\xA0\x81";
    const std::string name = MakeNativeBaseName(bad);
    EXPECT_TRUE(IsValidUtf8(name));
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(name, MakeNativeBaseName(bad));
}

TEST(MakeNativeBaseName, LongNamesShortenAtCharacterBoundary) {
    // 300 × あ (3 bytes each in UTF-8): cut to whole characters within the room left for
    // "(n)" and ".eml".
    std::string sjis;
    for (int i = 0; i < 300; ++i) {
        sjis += "\x82\xA0";
    }
    const std::string name = MakeNativeBaseName(sjis);
    EXPECT_LE(name.size(), kMaxBaseNameBytes);
    EXPECT_GT(name.size(), kMaxBaseNameBytes - 3);
    EXPECT_EQ(name.size() % 3, 0u);
    EXPECT_TRUE(IsValidUtf8(name));
    EXPECT_LE(name.size() + std::string("(2147483647).eml").size(), kMaxFileNameBytes);

    const std::string ascii(400, 'a');
    EXPECT_EQ(MakeNativeBaseName(ascii), std::string(kMaxBaseNameBytes, 'a'));
    EXPECT_EQ(MakeNativeBaseName(std::string(kMaxBaseNameBytes, 'a')),
              std::string(kMaxBaseNameBytes, 'a'));
}

}  // namespace
}  // namespace brindle
