// Work counted while a piece of code runs (see platform/work_count.hpp): tests compare a
// small and a four times larger input and expect about four times the work, never sixteen.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/work_count.hpp"

namespace brindle::test {

template <typename F>
std::uint64_t StepsOf(F&& f) {
    const std::uint64_t before = WorkSteps();
    std::forward<F>(f)();
    return WorkSteps() - before;
}

// Linear growth: four times the input may cost up to five times the work (plus a little for
// fixed costs), where quadratic work would cost sixteen times.
inline bool GrowsLinearly(std::uint64_t small, std::uint64_t large) {
    return small > 0 && large <= 5 * small + 1000;
}

}  // namespace brindle::test
