// The window's table of texts: both languages present with the same arguments, and the English
// texts free of Japanese, so that an English window never shows a Japanese word.
#include <gtest/gtest.h>

#include "support/catalogue_check.hpp"
#include "ui/support/japanese_text.hpp"
#include "ui/window_messages.hpp"

namespace brindle {
namespace {

TEST(WindowMessages, TableIsComplete) {
    test::ExpectCompleteTable(WindowMessageTexts());
}

TEST(WindowMessages, EnglishTextsHaveNoJapanese) {
    for (const TMessageText& entry : WindowMessageTexts()) {
        EXPECT_FALSE(testing::HasJapanese(QString::fromUtf8(entry.english)))
            << entry.name << ": " << entry.english;
    }
}

}  // namespace
}  // namespace brindle
