// What the processor offers beyond the x86-64 baseline (SSE2), asked once: the text kernels take
// their wider forms where it is there, so that one build serves every machine. With
// BRINDLE_CPU_BASELINE set (not empty) the answers are those of a processor with SSE2 alone, so
// that the tests run the baseline kernels on any machine.
#pragma once

#include <cstdlib>

namespace brindle {

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
namespace cpu_features_detail {
inline bool Supports(bool supported) {
    static const bool baseline = [] {
        const char* value = std::getenv("BRINDLE_CPU_BASELINE");
        return value != nullptr && *value != '\0';
    }();
    return supported && !baseline;
}
}  // namespace cpu_features_detail

inline bool HaveSsse3() {
    static const bool have = [] {
        __builtin_cpu_init();
        return cpu_features_detail::Supports(__builtin_cpu_supports("ssse3") != 0);
    }();
    return have;
}

inline bool HaveAvx2() {
    static const bool have = [] {
        __builtin_cpu_init();
        return cpu_features_detail::Supports(__builtin_cpu_supports("avx2") != 0);
    }();
    return have;
}
#endif

}  // namespace brindle
