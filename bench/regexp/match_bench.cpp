// Throughput of TAWKStr::Match against Oniguruma (Shift_JIS mode) over 64 MB of generated
// Japanese mail text: the first match of every line, the way the condition matcher searches.
// Both engines must find the same matching lines and the same match starts. Also times the
// compilation of typical conditions. A main() of its own: the figures are one run over one
// corpus, not repeated micro-measurements.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "onig_reference.hpp"
#include "regexp/awk_str.hpp"

namespace {

using Clock = std::chrono::steady_clock;

const char* const kJapaneseWords[] = {
    "\x93\x8C\x8B\x9E",
    "\x91\xE5\x8D\xE3",
    "\x89\xEF\x8B\x63",
    "\x8E\x91\x97\xBF",
    "\x8A\x6D\x94\x46",
    "\x82\xA8\x8A\xE8\x82\xA2",
    "\x82\xB5\x82\xDC\x82\xB7",
    "\x82\xA0\x82\xE8\x82\xAA\x82\xC6\x82\xA4",
    "\x82\xB2\x82\xB4\x82\xA2\x82\xDC\x82\xB7",
    "\x91\x97\x95\x74",
    "\x97\x5C\x92\xE8",
    "\x83\x81\x81\x5B\x83\x8B",
    "\x93\x59\x95\x74",
    "\x83\x74\x83\x40\x83\x43\x83\x8B",
    "\x8C\x8F\x96\xBC",
    "\x8A\x94\x8E\xAE\x89\xEF\x8E\xD0",
    "\x92\x53\x93\x96",
    "\x8B\x58\x82\xB5\x82\xAD",
    "\x97\x88\x8F\x54",
    "\x8C\x8E\x97\x6A\x93\xFA",
    "\x91\xC5\x82\xBF\x8D\x87\x82\xED\x82\xB9",
    "\x95\xCF\x8D\x58",
    "\x98\x41\x97\x8D",
    "\x95\xD4\x90\x4D",
    "\x82\xB2\x8C\x9F\x93\xA2",
    "\x82\xAD\x82\xBE\x82\xB3\x82\xA2",
    "\x88\xC8\x89\xBA",
    "\x93\xE0\x97\x65",
    "\x83\x56\x83\x58\x83\x65\x83\x80",
    "\x8A\x4A\x94\xAD",
    "\x83\x65\x83\x58\x83\x67",
    "\x83\x54\x81\x5B\x83\x6F\x81\x5B",
    "\x83\x66\x81\x5B\x83\x5E",
    "\x95\x5C\x8E\xA6",
    "\x8B\x40\x94\x5C",
    "\x83\x5C\x83\x74\x83\x67",
    "\x94\x5C\x97\xCD",
    "\x90\x5C\x82\xB5\x96\xF3",
    "\xB6\xC0\xB6\xC5",
    "\xC3\xBD\xC4",
};
const char* const kAsciiWords[] = {"the",     "project", "report", "meeting", "schedule",
                                   "invoice", "budget",  "server", "data",    "please",
                                   "check",   "update",  "2026",   "ID:",     "http://"};
const char* const kPunctuation[] = {"\x81\x41", "\x81\x42", "\x81\x75", "\x81\x76", " ", ", "};

std::vector<std::string> MakeLines(std::size_t total_bytes) {
    std::mt19937 rng(42);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    std::vector<std::string> lines;
    std::size_t bytes = 0;
    while (bytes < total_bytes) {
        std::string line;
        const std::size_t kind = pick(20);
        if (kind == 0) {
            line = "Subject: ";
        } else if (kind == 1) {
            line = "From: user" + std::to_string(pick(1000)) + "@example.co.jp";
        } else if (kind == 2) {
            line = "Received: from mail" + std::to_string(pick(50)) + ".example.jp by mx";
        }
        const std::size_t target = 20 + pick(70);
        while (line.size() < target) {
            const std::size_t r = pick(20);
            if (r < 13) {
                line += kJapaneseWords[pick(std::size(kJapaneseWords))];
            } else if (r < 17) {
                line += kAsciiWords[pick(std::size(kAsciiWords))];
                line += ' ';
            } else {
                line += kPunctuation[pick(std::size(kPunctuation))];
            }
        }
        bytes += line.size() + 2;  // as stored, with CR LF
        lines.push_back(std::move(line));
    }
    return lines;
}

struct Outcome {
    double seconds = 0;
    std::size_t matching_lines = 0;
    std::vector<long> starts;  // per line, -1 for none
};

}  // namespace

int main() {
    constexpr std::size_t kBytes = std::size_t{64} << 20;
    const std::vector<std::string> lines = MakeLines(kBytes);
    std::printf("%zu lines, %zu MB\n", lines.size(), kBytes >> 20);

    struct Case {
        const char* name;
        std::string expression;
    };
    const Case cases[] = {
        {"literal word", "project"},
        {"Japanese literal", "\x89\xEF\x8B\x63"},  // 会議
        {"class run", "[\x83\x40-\x83\x96]+"},     // [ァ-ヶ]+
        {"five words", "meeting|report|schedule|invoice|budget"},
        {"anchored line", "^Subject:.*"},
        {"no match", "xyzzy[0-9]"},
    };

    bool all_agree = true;
    std::printf("%-18s %10s %10s %8s %10s %s\n", "expression", "brindle s", "onig s", "ratio",
                "lines", "agree");
    for (const Case& c : cases) {
        brindle::TAWKStr awk;
        awk.SetRegExp(c.expression);
        const brindle::test::OnigReference onig(c.expression);

        Outcome ours;
        ours.starts.reserve(lines.size());
        auto t0 = Clock::now();
        for (const std::string& line : lines) {
            const std::size_t start = awk.Match(line);
            ours.starts.push_back(static_cast<long>(start) - 1);
        }
        ours.seconds = std::chrono::duration<double>(Clock::now() - t0).count();

        Outcome theirs;
        theirs.starts.reserve(lines.size());
        t0 = Clock::now();
        for (const std::string& line : lines) {
            theirs.starts.push_back(onig.Search(line));
        }
        theirs.seconds = std::chrono::duration<double>(Clock::now() - t0).count();

        ours.matching_lines = static_cast<std::size_t>(
            std::count_if(ours.starts.begin(), ours.starts.end(), [](long s) { return s >= 0; }));
        const bool agree = ours.starts == theirs.starts;
        all_agree = all_agree && agree;
        std::printf("%-18s %10.3f %10.3f %8.2f %10zu %s\n", c.name, ours.seconds, theirs.seconds,
                    ours.seconds / theirs.seconds, ours.matching_lines, agree ? "yes" : "NO");
    }

    // Compilation of typical conditions: a fresh object each time, so nothing is cached.
    const std::string conditions[] = {
        "project",
        "\x89\xEF\x8B\x63|\x8E\x91\x97\xBF",
        "^Subject:.*\x8C\x8F\x96\xBC",
        "[0-9]+-[0-9]+-[0-9]+",
        "(meeting|report|schedule|invoice|budget) [a-z]+",
        "[^\x81\x42]*\x81\x42$",
    };
    for (const std::string& condition : conditions) {
        // Fresh objects, made before the clock starts, so that every SetRegExp compiles.
        constexpr int kRounds = 200;
        std::vector<std::unique_ptr<brindle::TAWKStr>> objects;
        for (int i = 0; i < kRounds; ++i) {
            objects.push_back(std::make_unique<brindle::TAWKStr>());
        }
        const auto t0 = Clock::now();
        for (auto& awk : objects) {
            awk->SetRegExp(condition);
        }
        const double us =
            std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / kRounds;
        std::printf("compile %2zu bytes: %8.1f us\n", condition.size(), us);
    }
    return all_agree ? EXIT_SUCCESS : EXIT_FAILURE;
}
