// A count of the work done by the loops that hostile input could make long (matcher steps,
// automaton construction, trimming, walks over message parts and job paths). Each loop adds
// its steps once when it ends, so counting costs nothing per step. Tests compare the counts of
// a small and a large input to show that the work grows linearly, without reading a clock.
#pragma once

#include <cstdint>

namespace brindle {

inline thread_local std::uint64_t t_work_steps = 0;

inline void CountWork(std::uint64_t steps) {
    t_work_steps += steps;
}

// The steps counted on this thread so far.
inline std::uint64_t WorkSteps() {
    return t_work_steps;
}

}  // namespace brindle
