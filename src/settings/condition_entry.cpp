#include "settings/condition_entry.hpp"

#include "platform/ansi_text.hpp"
#include "platform/sjis.hpp"
#include "settings/string_utility.hpp"

namespace brindle {
namespace {

// Replaces each full-width space character (never a 0x81 0x40 pair that straddles two
// characters) by one ASCII space.
std::string FullWidthSpacesToAscii(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = sjis::CharLength(text, i);
        if (len == 2 && text[i] == '\x81' && text[i + 1] == '\x40') {
            out.push_back(' ');
        } else {
            out.append(text, i, len);
        }
        i += len;
    }
    return out;
}

}  // namespace

std::vector<std::string> SplitAllWords(std::string_view text) {
    const std::string trimmed = TStringUtility::TrimBlank(FullWidthSpacesToAscii(text));
    const TStringSeparator separator(trimmed, " ");
    std::vector<std::string> words;
    for (std::int32_t i = 0; i < separator.GetCount(); ++i) {
        std::string word(TrimControls(separator.GetString(static_cast<std::uint32_t>(i))));
        if (!word.empty()) {
            words.push_back(std::move(word));
        }
    }
    return words;
}

std::vector<TFindType> MakeFindTypes(std::string_view text, bool all_words, std::uint8_t find_pos,
                                     bool capital, bool regexp) {
    std::vector<TFindType> result;
    if (!all_words) {
        if (!text.empty()) {
            result.push_back(TFindType{find_pos, std::string(text), capital, regexp});
        }
        return result;
    }
    for (std::string& word : SplitAllWords(text)) {
        result.push_back(TFindType{find_pos, std::move(word), capital, regexp});
    }
    return result;
}

}  // namespace brindle
