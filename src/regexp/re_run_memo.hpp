// TRunMemo: remembers, per position of a text, the states that runs of the automaton which
// found nothing passed through there. The automaton is deterministic, so a later run that
// reaches a remembered state at the same position can find nothing either and stops. Without
// it, a.*b over a long line of a's starts a run to the end of the line at every a, which is
// quadratic.
//
// States are kept exactly, as a bit set per position: runs from neighbouring starts often pass
// a position in different states that take turns ((aa)*x over a line of a's is in one state at
// a position when started from an even offset and in another when started from an odd one), and
// keeping only the latest would let every run go to the end of the line again. The sets are
// cut to a memory budget; states beyond them keep one slot per position (a later record
// replaces an earlier one), so a lookup may miss but never lies. The tables are made only once
// a fruitless run was long: short texts, and searches whose runs die after a few characters,
// pay nothing.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace brindle {

class TRunMemo {
  public:
    // state_count: the automaton's number of states (those kept exactly, within the budget).
    explicit TRunMemo(std::size_t text_size, int state_count = 64)
        : size_(text_size),
          words_(std::clamp<std::size_t>(
              (static_cast<std::size_t>(std::max(state_count, 1)) + 63) / 64, 1,
              std::max<std::size_t>(kMaxWords / (text_size + 1), 1))) {}

    bool Seen(std::size_t pos, int state) const {
        if (sets_.empty()) {
            return false;
        }
        if (InSets(state)) {
            const auto s = static_cast<std::size_t>(state);
            return (sets_[pos * words_ + s / 64] >> (s % 64) & 1U) != 0;
        }
        return !others_.empty() && others_[pos] == state;
    }
    void Record(std::size_t pos, int state) {
        if (sets_.empty()) {
            return;
        }
        if (InSets(state)) {
            const auto s = static_cast<std::size_t>(state);
            sets_[pos * words_ + s / 64] |= std::uint64_t{1} << (s % 64);
            return;
        }
        if (others_.empty()) {
            others_.assign(size_ + 1, -1);
        }
        others_[pos] = state;
    }
    // Called after a run that found nothing; length in bytes.
    void NoteFailedRun(std::size_t length) {
        if (sets_.empty() && length > kLongRun && size_ > 0) {
            sets_.assign((size_ + 1) * words_, 0);
        }
    }

  private:
    static constexpr std::size_t kLongRun = 64;
    // 16 MB of sets at most; a text of a megabyte keeps 128 states exactly.
    static constexpr std::size_t kMaxWords = std::size_t{2} << 20;

    bool InSets(int state) const {
        return state >= 0 && static_cast<std::size_t>(state) < words_ * 64;
    }

    std::size_t size_;
    std::size_t words_;
    std::vector<std::uint64_t> sets_;
    std::vector<int> others_;
};

}  // namespace brindle
