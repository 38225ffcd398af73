#include "regexp/re_run_memo.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>

namespace brindle {
namespace {

// Random runs over a short text (the tables hold every position) and over one longer than the
// 16 MB budget has positions for (a window of 2M positions moves with the starts): a lookup
// never answers yes for a state not recorded at that position, and a state kept exactly (below
// 64) that was recorded inside the window is found for as long as runs start before it.
TEST(RunMemo, NeverLiesAndRemembersWithinItsWindow) {
    for (const std::size_t size : {std::size_t{5000}, std::size_t{6} << 20}) {
        SCOPED_TRACE(size);
        const std::size_t window = std::min(size + 1, std::size_t{2} << 20);
        TRunMemo memo(size, 64);
        memo.NoteFailedRun(100);
        std::uint64_t seed = 3;
        const auto random = [&](std::size_t n) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            return static_cast<std::size_t>((seed >> 33) % n);
        };
        // Each pair recorded, and whether the memo must still know it.
        std::map<std::pair<std::size_t, int>, bool> recorded;
        std::size_t start = 0;
        int checked = 0;
        for (int step = 0; step < 20000; ++step) {
            if (random(40) == 0) {
                start += random(random(5) == 0 ? window : 64);
                if (start > size) {
                    break;
                }
                memo.StartAt(start);
                recorded.erase(recorded.begin(), recorded.lower_bound({start, 0}));
                for (const auto& [pair, known] : recorded) {
                    if (known) {
                        ASSERT_TRUE(memo.Seen(pair.first, pair.second)) << pair.first;
                        ++checked;
                    }
                }
            }
            const auto near = [&] {
                return start + random(std::min(size - start, window * 2) + 1);
            };
            const std::size_t pos = near();
            const int state = static_cast<int>(random(80));
            memo.Record(pos, state);
            bool& known = recorded[{pos, state}];
            known = known || (state < 64 && pos - start < window);
            const std::size_t at = near();
            const int other = static_cast<int>(random(80));
            if (memo.Seen(at, other)) {
                ASSERT_TRUE(recorded.count({at, other})) << at << " " << other;
            }
        }
        EXPECT_GT(checked, 500);
    }
}

}  // namespace
}  // namespace brindle
