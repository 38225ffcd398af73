// A thin wrapper of Oniguruma in its Shift_JIS mode, the independent engine that tests and
// benchmarks compare with. Kept in its own translation unit: oniguruma.h and the POSIX regex.h
// that GoogleTest includes both define struct re_registers.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace brindle::test {

class OnigReference {
  public:
    // Raises std::runtime_error when Oniguruma refuses the expression.
    explicit OnigReference(std::string_view expression);
    ~OnigReference();
    OnigReference(const OnigReference&) = delete;
    OnigReference& operator=(const OnigReference&) = delete;

    static constexpr long kGaveUp = -2;

    // Byte offset of the first match, or -1; end receives the match's end offset. kGaveUp when
    // the backtracking hit Oniguruma's retry or stack limit.
    long Search(std::string_view text, long* end = nullptr) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace brindle::test
