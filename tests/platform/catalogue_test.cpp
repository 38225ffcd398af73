#include "platform/catalogue.hpp"

#include <gtest/gtest.h>

#include <string_view>

#include "platform/core_messages.hpp"
#include "platform/exception.hpp"
#include "support/catalogue_check.hpp"

namespace brindle {
namespace {

TEST(Catalogue, CoreTableIsComplete) {
    test::ExpectCompleteTable(CoreMessageTexts());
}

// An English text with a Japanese character in it is a Japanese piece left behind.
TEST(Catalogue, CoreEnglishTextsHoldNoJapanese) {
    for (const TMessageText& entry : CoreMessageTexts()) {
        const std::string_view text = entry.english;
        for (std::size_t at = 0; at < text.size();) {
            const auto lead = static_cast<unsigned char>(text[at]);
            const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            char32_t code = length == 1 ? lead : lead & (0x7F >> length);
            for (std::size_t i = 1; i < length && at + i < text.size(); ++i) {
                code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
            }
            // CJK punctuation, kana and kanji; full-width and half-width forms.
            EXPECT_FALSE((code >= 0x3000 && code <= 0x9FFF) || (code >= 0xFF00 && code <= 0xFFEF))
                << entry.name << ": " << text;
            at += length;
        }
    }
}

TEST(Catalogue, FillsArgumentsPluralsAndBraces) {
    const std::vector<TMessageArg> args = {{"path", "/a/b"}, {"count", "1"}, {"n", "2"}};
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"Cannot open {path}.", "Cannot open /a/b."},
        {"{count|message|messages}, {n|message|messages}", "1 message, 2 messages"},
        {"{missing} stays", "{missing} stays"},
        {"{{literal}} {path}", "{literal} /a/b"},
        {"unclosed {path", "unclosed {path"},
        {"ファイル {path} を開けません。", "ファイル /a/b を開けません。"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FillText(c.text, args), c.expected) << c.text;
    }
}

TEST(Catalogue, LanguageFollowsTheLocaleName) {
    const struct {
        const char* name;
        std::optional<Language> expected;
    } cases[] = {
        {"ja", Language::Japanese},
        {"ja_JP.UTF-8", Language::Japanese},
        {"ja_JP.eucJP", Language::Japanese},
        {"en_US.UTF-8", Language::English},
        {"C", Language::English},
        {"jam", Language::English},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LanguageFromLocaleName(c.name), c.expected) << c.name;
    }
}

TEST(Catalogue, AnExceptionKeepsItsMessageForEveryLanguage) {
    const Exception error(Msg(CoreMsg::FileCannotCreate, {{"path", "/x/y.eml"}}), "reason");
    EXPECT_TRUE(error.Message().Is(Text(CoreMsg::FileCannotCreate)));
    EXPECT_EQ(error.Message().Render(Language::Japanese), "ファイル /x/y.eml を作成できません");
    EXPECT_EQ(error.Message().Render(Language::English), "Cannot create the file /x/y.eml");
    EXPECT_EQ(error.Reason(), "reason");
}

}  // namespace
}  // namespace brindle
