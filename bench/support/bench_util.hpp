// Shared by the benchmark drivers: a seeded generator, message sizes of the benchmark mailboxes,
// a Base64 encoder independent of the one under test, and running a phase in a child process
// so that one phase's memory never shows in another's figures.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

namespace brindle::bench {

inline std::uint64_t SplitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

inline double Uniform(std::uint64_t& state) {
    return static_cast<double>(SplitMix(state) >> 11) / static_cast<double>(1ull << 53);
}

inline std::string Base64(std::string_view in) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const auto n = (static_cast<unsigned char>(in[i]) << 16) |
                       (static_cast<unsigned char>(in[i + 1]) << 8) |
                       static_cast<unsigned char>(in[i + 2]);
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += kAlphabet[(n >> 6) & 63];
        out += kAlphabet[n & 63];
    }
    if (i < in.size()) {
        unsigned n = static_cast<unsigned char>(in[i]) << 16;
        if (i + 1 < in.size()) {
            n |= static_cast<unsigned char>(in[i + 1]) << 8;
        }
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += i + 1 < in.size() ? kAlphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// Message sizes: 87 % log-uniform in 500 B .. 8 KB, 13 % in 8 KB .. 200 KB; about 10 KB mean.
inline std::size_t MessageSize(std::uint64_t& state) {
    const bool large = Uniform(state) < 0.13;
    const double lo = large ? 8000.0 : 500.0;
    const double hi = large ? 200000.0 : 8000.0;
    return static_cast<std::size_t>(lo * std::pow(hi / lo, Uniform(state)));
}

// Runs f in a child process and returns what it printed on the pipe.
template <typename F>
std::string InChild(const F& f) {
    int fds[2];
    if (pipe(fds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string result = f();
        const ssize_t ignored = write(fds[1], result.data(), result.size());
        (void)ignored;
        close(fds[1]);
        std::_Exit(0);
    }
    close(fds[1]);
    std::string result;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) {
        result.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::cerr << "child failed\n";
        std::exit(1);
    }
    return result;
}

}  // namespace brindle::bench
