// The preprocessor: rewrites an expression before parsing by replacing characters or words
// with an alternation of their equivalents from dictionaries (synonyms first, then fuzzy
// characters such as full-width/half-width and hiragana/katakana forms).
//
// The expression is first cut into tokens by the scanner; only runs of literal characters
// outside brackets are looked up, so operators and bracket members are copied as written.
// Within a run, each position tries every dictionary group in order and the first string that
// matches wins (not the longest). With both switches off, which is how conditions use it, the
// expression passes through unchanged.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "regexp/re_scanner.hpp"
#include "regexp/re_types.hpp"

namespace brindle {

// A group is a list of strings that count as equivalent; a dictionary is a list of groups.
using REDicGroup_t = std::vector<std::string>;
using REDic_t = std::vector<REDicGroup_t>;

// One token of the preprocessor's token list: the scanned kind and value and the bytes it came
// from, FromIndex up to (not including) ToIndex.
struct RETokenInfo_t {
    REToken_t Token = retk_End;
    RESymbol_t Symbol;
    int FromIndex = 0;
    int ToIndex = 0;
};
using REpTokenInfo_t = RETokenInfo_t*;

// The built-in fuzzy-character table: one comma text per group.
constexpr std::size_t kFuzzyCharGroupCount = 145;
extern const std::array<const char*, kFuzzyCharGroupCount> REFuzzyWChars;

// The fuzzy-character dictionary built from REFuzzyWChars on first use and kept for the rest
// of the program.
const REDic_t& RE_FuzzyCharDic();

// Splits comma text: items are separated by commas or blanks; an item in double quotes may hold
// commas and blanks, and two double quotes inside it stand for one.
REDicGroup_t SplitCommaText(std::string_view text);

class TREPreProcessor {
  public:
    using TREPreProcessorFindFunc = int (TREPreProcessor::*)(int FromTokenIndex, int ToTokenIndex);

    explicit TREPreProcessor(std::string regexp = {});
    TREPreProcessor(const TREPreProcessor&) = delete;
    TREPreProcessor& operator=(const TREPreProcessor&) = delete;

    void SetTargetRegExpStr(std::string regexp);
    const std::string& GetTargetRegExpStr() const { return scanner_.GetRegExpStr(); }

    // Computes the processed expression. Scanner errors (ERegExpParser) propagate.
    void Run();
    const std::string& GetProcessedRegExpStr() const { return processed_; }

    // The dictionaries are not owned; they must outlive the preprocessor's use of them.
    std::vector<const REDic_t*>& ListOfSynonymDic() { return synonym_dics_; }
    std::vector<const REDic_t*>& ListOfFuzzyCharDic() { return fuzzy_char_dics_; }

    bool UseSynonymDic() const { return use_synonym_dic_; }
    void SetUseSynonymDic(bool use) { use_synonym_dic_ = use; }
    bool UseFuzzyCharDic() const { return use_fuzzy_char_dic_; }
    void SetUseFuzzyCharDic(bool use) { use_fuzzy_char_dic_ = use; }

    // The steps of Run.
    void Process(TREPreProcessorFindFunc find);
    void MakeTokenList();
    void DestroyTokenListItems();
    int ReferToOneList(int FromTokenIndex, int ToTokenIndex, const REDic_t& dic);
    int FindSynonym(int FromTokenIndex, int ToTokenIndex);
    int FindFuzzyWChar(int FromTokenIndex, int ToTokenIndex);

    const std::vector<RETokenInfo_t>& TokenList() const { return token_list_; }

  private:
    int FindInLists(int from, int to, const std::vector<const REDic_t*>& dics);
    std::string_view SourceText(const RETokenInfo_t& token) const;

    TREScanner scanner_;
    std::string processed_;
    std::vector<const REDic_t*> synonym_dics_;
    std::vector<const REDic_t*> fuzzy_char_dics_;
    std::vector<RETokenInfo_t> token_list_;
    std::string replacement_;
    bool use_fuzzy_char_dic_ = false;
    bool use_synonym_dic_ = false;
};

}  // namespace brindle
