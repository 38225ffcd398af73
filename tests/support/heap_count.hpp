// The test program's own heap counter (tests/mailbox/heap_count.cpp, linked into the tests that
// measure what a step costs in memory).
#pragma once

#include <cstddef>

namespace brindle::test {

// Live bytes count from 0 again; a block freed that was allocated before takes them below 0.
void StartHeapCount();
// The most bytes live at once since StartHeapCount.
std::ptrdiff_t HeapPeak();

}  // namespace brindle::test
