// The test program's own operator new and delete (the default array forms call them), counting
// the heap's live bytes and their peak from StartHeapCount on, for tests that measure what a
// step costs in memory. Sizes are malloc_usable_size both ways, so a block counts the same
// coming and going. The counts are atomic, but a peak is only meaningful while nothing else
// allocates on another thread.
#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#include "support/heap_count.hpp"

namespace {
std::atomic<std::ptrdiff_t> g_live{0};
std::atomic<std::ptrdiff_t> g_peak{0};

void CountedFree(void* p) {
    if (p != nullptr) {
        g_live.fetch_sub(static_cast<std::ptrdiff_t>(malloc_usable_size(p)),
                         std::memory_order_relaxed);
    }
    std::free(p);
}
}  // namespace

void* operator new(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    const std::ptrdiff_t live = g_live.fetch_add(static_cast<std::ptrdiff_t>(malloc_usable_size(p)),
                                                 std::memory_order_relaxed) +
                                static_cast<std::ptrdiff_t>(malloc_usable_size(p));
    std::ptrdiff_t peak = g_peak.load(std::memory_order_relaxed);
    while (live > peak && !g_peak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
    }
    return p;
}

// The nothrow form (std::stable_partition's buffer) must come from the same heap as the delete
// that frees it.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void operator delete(void* p) noexcept {
    CountedFree(p);
}

void operator delete(void* p, std::size_t) noexcept {
    CountedFree(p);
}

namespace brindle::test {

void StartHeapCount() {
    g_live.store(0, std::memory_order_relaxed);
    g_peak.store(0, std::memory_order_relaxed);
}

std::ptrdiff_t HeapPeak() {
    return g_peak.load(std::memory_order_relaxed);
}

}  // namespace brindle::test
