// Helpers for the charset tests: Shift_JIS literals written as readable UTF-8.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/text_encoding.hpp"

namespace brindle::testing {

// The CP932 form of a UTF-8 literal; fails the test when it has none.
inline std::string Sj(std::string_view utf8) {
    auto cp932 = Utf8ToCp932(utf8);
    EXPECT_TRUE(cp932.has_value()) << "no CP932 form: " << utf8;
    return cp932.value_or(std::string());
}

}  // namespace brindle::testing
