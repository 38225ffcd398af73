#include "platform/iconv_converter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/exception.hpp"

namespace brindle {
namespace {

TEST(IconvConverter, UnknownEncodingRaises) {
    EXPECT_THROW(IconvConverter("CP932", "NO-SUCH-ENCODING"), Exception);
}

TEST(IconvConverter, StrictConversionStopsAtTheFirstFault) {
    IconvConverter conv("CP932", "UTF-8");
    EXPECT_EQ(conv.ConvertStrict("\xE3\x81\x82"
                                 "a"),
              "\x82\xA0"
              "a");
    EXPECT_EQ(conv.ConvertStrict(""), "");
    EXPECT_EQ(conv.ConvertStrict("\xF0\x9F\x98\x80"), std::nullopt);  // no CP932 form
    EXPECT_EQ(conv.ConvertStrict("\xE3\x81"), std::nullopt);          // cut at the end
    // A failure leaves no state behind for the next call.
    EXPECT_EQ(conv.ConvertStrict("\xE3\x81\x84"), "\x82\xA2");
}

TEST(IconvConverter, LenientConversionReplacesAndStepsOverFaults) {
    IconvConverter conv("CP932", "UTF-8");
    EXPECT_EQ(conv.ConvertLenient("a\xF0\x9F\x98\x80"
                                  "b\xFF"
                                  "c\xE3\x81",
                                  "?", &IconvConverter::SkipUtf8Character),
              "a?b?c?");
    // A large input passes through more than one output buffer.
    std::string big;
    for (int i = 0; i < 20000; ++i) {
        big += "\xE3\x81\x82\xF0\x9F\x98\x80";
    }
    const std::string out = conv.ConvertLenient(big, "?", &IconvConverter::SkipUtf8Character);
    ASSERT_EQ(out.size(), 20000u * 3);
    EXPECT_EQ(out.substr(out.size() - 3), "\x82\xA0?");
}

TEST(IconvConverter, StatefulTargetsAreClosedAndReset) {
    IconvConverter conv("ISO-2022-JP", "UTF-8");
    EXPECT_EQ(conv.ConvertStrict("\xE3\x81\x82"), "\x1B$B\x24\x22\x1B(B");
    EXPECT_EQ(conv.ConvertLenient("\xE3\x81\x82", "?", &IconvConverter::SkipUtf8Character),
              "\x1B$B\x24\x22\x1B(B");
}

TEST(IconvConverter, MovedConverterKeepsWorking) {
    IconvConverter first("UTF-8", "CP932");
    IconvConverter second(std::move(first));
    EXPECT_EQ(second.ConvertStrict("\x82\xA0"), "\xE3\x81\x82");
    IconvConverter third("UTF-8", "EUC-JP-MS");
    third = std::move(second);
    EXPECT_EQ(third.ConvertStrict("\x82\xA0"), "\xE3\x81\x82");
}

TEST(IconvConverter, SkipRulesStepWholeCharactersOnly) {
    EXPECT_EQ(IconvConverter::SkipUtf8Character("\xF0\x9F\x98\x80"), 4u);
    EXPECT_EQ(IconvConverter::SkipUtf8Character("\xE3\x81\x82"), 3u);
    EXPECT_EQ(IconvConverter::SkipUtf8Character("\xE3\x81"), 1u);          // cut
    EXPECT_EQ(IconvConverter::SkipUtf8Character("\xC0\xAF"), 1u);          // overlong
    EXPECT_EQ(IconvConverter::SkipUtf8Character("\xED\xA0\x80"), 1u);      // surrogate
    EXPECT_EQ(IconvConverter::SkipUtf8Character("\xF4\x90\x80\x80"), 1u);  // beyond U+10FFFF
    EXPECT_EQ(IconvConverter::SkipCp932Character("\x85\x40"), 2u);
    EXPECT_EQ(IconvConverter::SkipCp932Character("\x85\x20"), 1u);
    EXPECT_EQ(IconvConverter::SkipCp932Character("\x85"), 1u);
    EXPECT_EQ(IconvConverter::SkipCp932Character("\xA0\x40"), 1u);
    EXPECT_EQ(IconvConverter::SkipEucJpCharacter("\x8F\xB0\xA1"), 3u);
    EXPECT_EQ(IconvConverter::SkipEucJpCharacter("\x8F\xB0"), 1u);
    EXPECT_EQ(IconvConverter::SkipEucJpCharacter("\x8E\xB1"), 2u);
    EXPECT_EQ(IconvConverter::SkipEucJpCharacter("\xA4\xA2"), 2u);
    EXPECT_EQ(IconvConverter::SkipEucJpCharacter("\xA4\x41"), 1u);
}

}  // namespace
}  // namespace brindle
