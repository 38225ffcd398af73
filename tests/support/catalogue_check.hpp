// Checks one table of the catalogue: every entry has both texts and both name the same
// arguments. Each front end's tests run it on their own table.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "platform/catalogue.hpp"

namespace brindle::test {

inline void ExpectCompleteTable(std::span<const TMessageText> table) {
    ASSERT_FALSE(table.empty());
    for (const TMessageText& entry : table) {
        SCOPED_TRACE(entry.name);
        EXPECT_NE(std::string(entry.japanese), "");
        EXPECT_NE(std::string(entry.english), "");
        std::vector<std::string> japanese = ArgumentNames(entry.japanese);
        std::vector<std::string> english = ArgumentNames(entry.english);
        std::sort(japanese.begin(), japanese.end());
        std::sort(english.begin(), english.end());
        EXPECT_EQ(japanese, english);
    }
}

}  // namespace brindle::test
