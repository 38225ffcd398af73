#include "onig_reference.hpp"

#include <oniguruma.h>

#include <mutex>
#include <stdexcept>
#include <string>

namespace brindle::test {

struct OnigReference::Impl {
    OnigRegex regex = nullptr;
    OnigRegion* region = nullptr;
    ~Impl() {
        if (region != nullptr) {
            onig_region_free(region, 1);
        }
        if (regex != nullptr) {
            onig_free(regex);
        }
    }
};

OnigReference::OnigReference(std::string_view expression) : impl_(std::make_unique<Impl>()) {
    static std::once_flag once;
    std::call_once(once, [] {
        OnigEncoding encodings[] = {ONIG_ENCODING_SJIS};
        onig_initialize(encodings, 1);
        // Generated expressions with nested quantifiers can backtrack for a long time; such a
        // case is skipped rather than waited for.
        onig_set_retry_limit_in_match(200000);
    });
    OnigErrorInfo info;
    const auto* pattern = reinterpret_cast<const OnigUChar*>(expression.data());
    const int rc = onig_new(&impl_->regex, pattern, pattern + expression.size(), ONIG_OPTION_NONE,
                            ONIG_ENCODING_SJIS, ONIG_SYNTAX_RUBY, &info);
    if (rc != ONIG_NORMAL) {
        impl_->regex = nullptr;
        throw std::runtime_error("Oniguruma refused the expression");
    }
    impl_->region = onig_region_new();
}

OnigReference::~OnigReference() = default;

long OnigReference::Search(std::string_view text, long* end) const {
    const auto* str = reinterpret_cast<const OnigUChar*>(text.data());
    const auto* stop = str + text.size();
    const int found =
        onig_search(impl_->regex, str, stop, str, stop, impl_->region, ONIG_OPTION_NONE);
    if (found == ONIG_MISMATCH) {
        return -1;
    }
    if (found == ONIGERR_RETRY_LIMIT_IN_MATCH_OVER || found == ONIGERR_MATCH_STACK_LIMIT_OVER ||
        found == ONIGERR_RETRY_LIMIT_IN_SEARCH_OVER) {
        return kGaveUp;
    }
    if (found < 0) {
        throw std::runtime_error("Oniguruma search failed: " + std::to_string(found));
    }
    if (end != nullptr) {
        *end = impl_->region->end[0];
    }
    return found;
}

}  // namespace brindle::test
