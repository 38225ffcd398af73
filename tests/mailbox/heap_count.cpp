// The test program's own operator new and delete (the default array forms call them), counting
// the heap's live bytes and their peak from StartHeapCount on, for tests that measure what a
// step costs in memory. Sizes are malloc_usable_size both ways, so a block counts the same
// coming and going. Not thread-safe: nothing may allocate on another thread meanwhile.
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {
std::ptrdiff_t g_live = 0;
std::ptrdiff_t g_peak = 0;

void CountedFree(void* p) {
    g_live -= p == nullptr ? 0 : static_cast<std::ptrdiff_t>(malloc_usable_size(p));
    std::free(p);
}
}  // namespace

void* operator new(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    g_live += static_cast<std::ptrdiff_t>(malloc_usable_size(p));
    g_peak = std::max(g_peak, g_live);
    return p;
}

void operator delete(void* p) noexcept {
    CountedFree(p);
}

void operator delete(void* p, std::size_t) noexcept {
    CountedFree(p);
}

namespace brindle::test {

// Live bytes count from 0 again; a block freed that was allocated before takes them below 0.
void StartHeapCount() {
    g_live = 0;
    g_peak = 0;
}

// The most bytes live at once since StartHeapCount.
std::ptrdiff_t HeapPeak() {
    return g_peak;
}

}  // namespace brindle::test
