// TRegularExpression: compiles an expression (preprocess, parse, NFA, DFA) and keeps the
// automata of the 30 most recently added expressions, so that a condition tested against many
// messages is compiled once.
//
// Cache order: entry 0 is the empty expression and is never evicted; a new expression is
// inserted at index 1 and the last entry is dropped when the cache is full, so the oldest
// inserted expression goes first. A hit does not move its entry.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "regexp/re_dfa.hpp"
#include "regexp/re_preprocessor.hpp"
#include "regexp/re_types.hpp"

namespace brindle {

class TRegularExpression {
  public:
    static constexpr std::size_t kCacheLimit = 30;

    TRegularExpression();
    virtual ~TRegularExpression();
    TRegularExpression(const TRegularExpression&) = delete;
    TRegularExpression& operator=(const TRegularExpression&) = delete;

    // Raises ERegExpParser for an invalid expression; the empty expression is then in force
    // and RegExp() is empty.
    virtual void SetRegExp(const std::string& expression);
    const std::string& RegExp() const { return regexp_; }
    const std::string& GetProcessedRegExp() const { return cache_[current_].Processed; }

    const TRE_DFA& GetCurrentDFA() const { return *cache_[current_].DFA; }
    int GetpInitialDFAState() const { return GetCurrentDFA().GetpInitialDFAState(); }
    bool GetHasLHead() const { return GetCurrentDFA().GetHasLHead(); }
    bool GetHasLTail() const { return GetCurrentDFA().GetHasLTail(); }
    bool GetRegExpIsSimple() const { return GetCurrentDFA().GetRegExpIsSimple(); }
    const std::string& GetSimpleRegExp() const { return GetCurrentDFA().GetSimpleRegExp(); }
    int NextDFAState(int state, WChar_t c) const { return GetCurrentDFA().NextDFAState(state, c); }

    // Each setter recompiles the expression in force under the new setting.
    bool GetUseFuzzyCharDic() const;
    void SetUseFuzzyCharDic(bool use);
    bool GetUseSynonymDic() const;
    void SetUseSynonymDic(bool use);
    std::vector<const REDic_t*>& GetListOfFuzzyCharDic() {
        return preprocessor_->ListOfFuzzyCharDic();
    }
    std::vector<const REDic_t*>& GetListOfSynonymDic() { return preprocessor_->ListOfSynonymDic(); }

    // The processed expressions in the cache, entry 0 first (for inspection).
    std::vector<std::string> CachedExpressions() const;

  protected:
    virtual void Translate(const std::string& processed);
    virtual WChar_t GetLineHeadWChar() const { return kLineHeadMarker; }
    virtual WChar_t GetLineTailWChar() const { return kLineTailMarker; }
    // Called whenever the expression in force changes (also after a failed SetRegExp).
    virtual void ExpressionChanged() {}

  private:
    struct CacheEntry {
        std::string Processed;
        std::unique_ptr<TRE_DFA> DFA;
    };
    std::unique_ptr<TRE_DFA> Compile(const std::string& processed) const;

    std::string regexp_;
    std::vector<CacheEntry> cache_;
    std::size_t current_ = 0;
    std::unique_ptr<TREPreProcessor> preprocessor_;
    WChar_t line_head_ = kLineHeadMarker;
    WChar_t line_tail_ = kLineTailMarker;
};

}  // namespace brindle
