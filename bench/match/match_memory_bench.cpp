// What matching one condition costs in memory on one long message, as figures: for each body
// shape of the memory test (tests/match/match_memory_test.cpp) and each kind of condition, the
// heap's peak while the message is built from its stored text and matched, as a multiple of
// the message's size. Each case runs in a child process of its own.
//
// Usage: brindle_match_memory_bench [--mb N]   (the message size, default 100 MB)
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "match/mail_match.hpp"
#include "message/mail.hpp"
#include "support/bench_util.hpp"
#include "support/long_messages.hpp"

namespace brindle::test {
// tests/mailbox/heap_count.cpp
void StartHeapCount();
std::ptrdiff_t HeapPeak();
}  // namespace brindle::test

namespace {

struct ConditionCase {
    const char* name;
    brindle::TFindType condition;
};

const ConditionCase kConditions[] = {
    {"literal body", {brindle::kFindPosBody, "last line", false, false}},
    {"literal body, any case", {brindle::kFindPosBody, "LAST LINE", true, false}},
    {"literal all, any case", {brindle::kFindPosAll, "LAST LINE", true, false}},
    {"regexp body", {brindle::kFindPosBody, "l.*\t.*#", false, true}},
    {"regexp all", {brindle::kFindPosAll, "^last line.*#$", false, true}},
};

}  // namespace

int main(int argc, char** argv) {
    std::size_t megabytes = 100;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--mb" && i + 1 < argc) {
            megabytes = static_cast<std::size_t>(std::atol(argv[++i]));
        } else {
            std::cerr << "usage: brindle_match_memory_bench [--mb N]\n";
            return 2;
        }
    }
    std::cout << "peak heap / message size, messages of about " << megabytes << " MB\n";
    for (const brindle::test::BodyShape& shape : brindle::test::kBodyShapes) {
        for (const ConditionCase& c : kConditions) {
            const std::string figures = brindle::bench::InChild([&] {
                const std::string stored = shape.make(megabytes << 20);
                brindle::TMailMatch matcher;
                matcher.SetFindTypes({&c.condition, 1});
                brindle::test::StartHeapCount();
                const auto mail = brindle::TMail::FromStoredText(std::string(stored));
                const bool matched = matcher.MatchMail(*mail);
                const double peak = static_cast<double>(brindle::test::HeapPeak());
                char line[128];
                std::snprintf(line, sizeof line, "%6.2f%s",
                              peak / static_cast<double>(stored.size()),
                              matched ? "" : " (no match)");
                return std::string(line);
            });
            std::cout << shape.name << ", " << c.name << ": " << figures << std::endl;
        }
    }
    return 0;
}
