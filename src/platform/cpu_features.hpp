// What the processor offers beyond the x86-64 baseline (SSE2), asked once: the text kernels take
// their wider forms where it is there, so that one build serves every machine.
#pragma once

namespace brindle {

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
inline bool HaveSsse3() {
    static const bool have = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return have;
}

inline bool HaveAvx2() {
    static const bool have = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return have;
}
#endif

}  // namespace brindle
