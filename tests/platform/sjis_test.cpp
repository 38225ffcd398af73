#include "platform/sjis.hpp"

#include <gtest/gtest.h>

namespace brindle::sjis {
namespace {

TEST(SjisLeadByte, FollowsTheTwoRanges) {
    EXPECT_FALSE(IsLeadByte(static_cast<unsigned char>(0x80)));
    EXPECT_TRUE(IsLeadByte(static_cast<unsigned char>(0x81)));
    EXPECT_TRUE(IsLeadByte(static_cast<unsigned char>(0x9F)));
    EXPECT_FALSE(IsLeadByte(static_cast<unsigned char>(0xA0)));
    EXPECT_FALSE(IsLeadByte(static_cast<unsigned char>(0xDF)));
    EXPECT_TRUE(IsLeadByte(static_cast<unsigned char>(0xE0)));
    EXPECT_TRUE(IsLeadByte(static_cast<unsigned char>(0xFC)));
    EXPECT_FALSE(IsLeadByte(static_cast<unsigned char>(0xFD)));
}

TEST(SjisTrailByte, IsFoundByWalkingFromTheStart) {
    // 表 is 0x95 0x5C: its second byte looks like a backslash.
    const std::string text = "a\x95\x5c\\\x83\x5c";
    EXPECT_FALSE(IsTrailByteAt(text, 0));
    EXPECT_FALSE(IsTrailByteAt(text, 1));
    EXPECT_TRUE(IsTrailByteAt(text, 2));
    EXPECT_FALSE(IsTrailByteAt(text, 3));
    EXPECT_TRUE(IsTrailByteAt(text, 5));
}

TEST(SjisTrailByte, RunOfLeadBytesAlternates) {
    // Every byte is in the lead range, so only the walk can tell the pairs apart.
    const std::string text = "\x81\x81\x81\x81\x81";
    EXPECT_FALSE(IsTrailByteAt(text, 0));
    EXPECT_TRUE(IsTrailByteAt(text, 1));
    EXPECT_FALSE(IsTrailByteAt(text, 2));
    EXPECT_TRUE(IsTrailByteAt(text, 3));
    EXPECT_FALSE(IsTrailByteAt(text, 4));  // a lead byte as the last byte stands alone
    EXPECT_EQ(CharLength(text, 4), 1u);
    EXPECT_TRUE(IsCharBoundary(text, 5));
    EXPECT_FALSE(IsCharBoundary(text, 3));
}

}  // namespace
}  // namespace brindle::sjis
