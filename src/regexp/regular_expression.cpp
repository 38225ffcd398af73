#include "regexp/regular_expression.hpp"

#include <utility>

#include "regexp/re_nfa.hpp"
#include "regexp/re_parser.hpp"

namespace brindle {

TRegularExpression::TRegularExpression() : preprocessor_(std::make_unique<TREPreProcessor>("")) {
    // Compiled directly: a virtual marker choice cannot be asked for during construction, and
    // the empty expression has no anchors, so the markers do not matter for it.
    cache_.push_back(CacheEntry{std::string(), Compile(std::string())});
}

TRegularExpression::~TRegularExpression() = default;

std::unique_ptr<TRE_DFA> TRegularExpression::Compile(const std::string& processed) const {
    TREParser parser(processed);
    parser.Run();
    TRE_NFA nfa(parser.Root(), line_head_, line_tail_);
    nfa.Run();
    auto dfa = std::make_unique<TRE_DFA>(nfa);
    dfa->Run();
    return dfa;
}

void TRegularExpression::SetRegExp(const std::string& expression) {
    try {
        preprocessor_->SetTargetRegExpStr(expression);
        preprocessor_->Run();
        const std::string processed = preprocessor_->GetProcessedRegExpStr();
        bool found = false;
        for (std::size_t i = 0; i < cache_.size(); ++i) {
            if (cache_[i].Processed == processed) {
                current_ = i;
                found = true;
                break;
            }
        }
        if (!found) {
            if (cache_.size() >= kCacheLimit) {
                cache_.pop_back();
            }
            cache_.insert(cache_.begin() + 1, CacheEntry{processed, nullptr});
            current_ = 1;
            Translate(processed);
        }
        regexp_ = expression;
    } catch (...) {
        if (current_ != 0 && cache_[current_].DFA == nullptr) {
            cache_.erase(cache_.begin() + static_cast<std::ptrdiff_t>(current_));
        }
        current_ = 0;
        regexp_.clear();
        ExpressionChanged();
        throw;
    }
    ExpressionChanged();
}

void TRegularExpression::Translate(const std::string& processed) {
    line_head_ = GetLineHeadWChar();
    line_tail_ = GetLineTailWChar();
    cache_[current_].DFA = Compile(processed);
}

bool TRegularExpression::GetUseFuzzyCharDic() const {
    return preprocessor_->UseFuzzyCharDic();
}

void TRegularExpression::SetUseFuzzyCharDic(bool use) {
    preprocessor_->SetUseFuzzyCharDic(use);
    SetRegExp(regexp_);
}

bool TRegularExpression::GetUseSynonymDic() const {
    return preprocessor_->UseSynonymDic();
}

void TRegularExpression::SetUseSynonymDic(bool use) {
    preprocessor_->SetUseSynonymDic(use);
    SetRegExp(regexp_);
}

std::vector<std::string> TRegularExpression::CachedExpressions() const {
    std::vector<std::string> out;
    out.reserve(cache_.size());
    for (const CacheEntry& e : cache_) {
        out.push_back(e.Processed);
    }
    return out;
}

}  // namespace brindle
