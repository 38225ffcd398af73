#include "regexp/re_preprocessor.hpp"

#include <utility>

#include "platform/sjis.hpp"

namespace brindle {

REDicGroup_t SplitCommaText(std::string_view text) {
    REDicGroup_t items;
    std::size_t pos = 0;
    auto is_blank = [](char c) { return c == ' ' || (c > 0 && c < ' '); };
    while (pos < text.size()) {
        while (pos < text.size() && is_blank(text[pos])) {
            ++pos;
        }
        if (pos >= text.size()) {
            break;
        }
        std::string item;
        if (text[pos] == '"') {
            ++pos;
            while (pos < text.size()) {
                if (text[pos] == '"') {
                    if (pos + 1 < text.size() && text[pos + 1] == '"') {
                        item += '"';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                const std::size_t len = sjis::CharLength(text, pos);
                item.append(text.substr(pos, len));
                pos += len;
            }
        }
        // Unquoted text (or what follows a closing quote) runs to the next separator. Trail
        // bytes are 0x40 and above, so a comma, blank or quote byte is always a character.
        while (pos < text.size() && text[pos] != ',' && !is_blank(text[pos])) {
            const std::size_t len = sjis::CharLength(text, pos);
            item.append(text.substr(pos, len));
            pos += len;
        }
        items.push_back(std::move(item));
        while (pos < text.size() && is_blank(text[pos])) {
            ++pos;
        }
        if (pos < text.size() && text[pos] == ',') {
            ++pos;
            if (pos == text.size()) {
                items.emplace_back();
            }
        }
    }
    return items;
}

const REDic_t& RE_FuzzyCharDic() {
    static const REDic_t dic = [] {
        REDic_t built;
        built.reserve(REFuzzyWChars.size());
        for (const char* line : REFuzzyWChars) {
            built.push_back(SplitCommaText(line));
        }
        return built;
    }();
    return dic;
}

TREPreProcessor::TREPreProcessor(std::string regexp) : scanner_(std::move(regexp)) {}

void TREPreProcessor::SetTargetRegExpStr(std::string regexp) {
    scanner_.SetRegExpStr(std::move(regexp));
}

void TREPreProcessor::Run() {
    processed_ = scanner_.GetRegExpStr();
    if (!use_synonym_dic_ && !use_fuzzy_char_dic_) {
        return;
    }
    // The fuzzy stage scans what the synonym stage wrote; the target is put back afterwards
    // (also on an error), so that a second Run or GetTargetRegExpStr still sees what was set.
    const std::string target = scanner_.GetRegExpStr();
    try {
        if (use_synonym_dic_) {
            Process(&TREPreProcessor::FindSynonym);
            scanner_.SetRegExpStr(processed_);
        }
        if (use_fuzzy_char_dic_) {
            Process(&TREPreProcessor::FindFuzzyWChar);
        }
    } catch (...) {
        scanner_.SetRegExpStr(target);
        throw;
    }
    scanner_.SetRegExpStr(target);
}

std::string_view TREPreProcessor::SourceText(const RETokenInfo_t& token) const {
    const std::string& text = scanner_.GetRegExpStr();
    return std::string_view(text).substr(static_cast<std::size_t>(token.FromIndex - 1),
                                         static_cast<std::size_t>(token.ToIndex - token.FromIndex));
}

void TREPreProcessor::Process(TREPreProcessorFindFunc find) {
    processed_.clear();
    MakeTokenList();
    // The last record is the closing retk_End, which has no text.
    const int count = static_cast<int>(token_list_.size()) - 1;
    bool in_brackets = false;
    int index = 0;
    while (index < count) {
        const RETokenInfo_t& token = token_list_[static_cast<std::size_t>(index)];
        if (token.Token == retk_LBra || token.Token == retk_LBraNeg) {
            in_brackets = true;
        } else if (token.Token == retk_RBra) {
            in_brackets = false;
        }
        if (token.Token != retk_Char || in_brackets) {
            processed_ += SourceText(token);
            ++index;
            continue;
        }
        int end = index;
        while (end < count && token_list_[static_cast<std::size_t>(end)].Token == retk_Char) {
            ++end;
        }
        while (index < end) {
            const int next = (this->*find)(index, end);
            if (next < 0) {
                processed_ += SourceText(token_list_[static_cast<std::size_t>(index)]);
                ++index;
            } else {
                processed_ += replacement_;
                index = next;
            }
        }
    }
}

void TREPreProcessor::MakeTokenList() {
    DestroyTokenListItems();
    scanner_.Rewind();
    for (;;) {
        const int from = scanner_.Index();
        const REToken_t token = scanner_.GetToken();
        if (token == retk_End) {
            break;
        }
        token_list_.push_back({token, scanner_.Symbol(), from, scanner_.Index()});
    }
    token_list_.push_back({});
}

void TREPreProcessor::DestroyTokenListItems() {
    token_list_.clear();
}

int TREPreProcessor::ReferToOneList(int FromTokenIndex, int ToTokenIndex, const REDic_t& dic) {
    for (const REDicGroup_t& group : dic) {
        for (const std::string& word : group) {
            if (word.empty()) {
                continue;
            }
            int k = FromTokenIndex;
            std::size_t pos = 0;
            bool matched = true;
            while (pos < word.size()) {
                // A lone lead byte at the end of a dictionary word counts as a character of its
                // own value rather than reading past the word.
                const std::size_t len = sjis::CharLength(word, pos);
                const auto lead = static_cast<unsigned char>(word[pos]);
                const WChar_t c = len == 2
                                      ? static_cast<WChar_t>(
                                            lead * 256 + static_cast<unsigned char>(word[pos + 1]))
                                      : lead;
                if (k >= ToTokenIndex ||
                    token_list_[static_cast<std::size_t>(k)].Symbol.WChar != c) {
                    matched = false;
                    break;
                }
                ++k;
                pos += len;
            }
            if (!matched) {
                continue;
            }
            std::string replacement(1, '(');
            for (std::size_t i = 0; i < group.size(); ++i) {
                if (i > 0) {
                    replacement += '|';
                }
                replacement += QuoteMetaWChar(group[i]);
            }
            replacement += ')';
            replacement_ = std::move(replacement);
            return k;
        }
    }
    return -1;
}

int TREPreProcessor::FindInLists(int from, int to, const std::vector<const REDic_t*>& dics) {
    for (const REDic_t* dic : dics) {
        if (dic == nullptr) {
            continue;
        }
        const int found = ReferToOneList(from, to, *dic);
        if (found != -1) {
            return found;
        }
    }
    return -1;
}

int TREPreProcessor::FindSynonym(int FromTokenIndex, int ToTokenIndex) {
    return FindInLists(FromTokenIndex, ToTokenIndex, synonym_dics_);
}

int TREPreProcessor::FindFuzzyWChar(int FromTokenIndex, int ToTokenIndex) {
    return FindInLists(FromTokenIndex, ToTokenIndex, fuzzy_char_dics_);
}

}  // namespace brindle
