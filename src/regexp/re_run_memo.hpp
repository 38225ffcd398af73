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
//
// A text longer than the budget has positions for is covered by a window of them that moves
// with the runs' start (starts only grow: no later run reads a position before its start). So
// the tables stay within the budget however long the text; only a run that goes on for more
// positions than the window holds can be repeated, at most once per window length of starts.
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
              std::max<std::size_t>(kMaxWords / (text_size + 1), 1))),
          span_(std::min(text_size + 1, kMaxWords / words_)) {}

    // Called as a run starts at pos; starts never go back. Positions before it are given up,
    // which makes room for as many after the window.
    void StartAt(std::size_t pos) {
        if (pos <= base_) {
            return;
        }
        const std::size_t moved = pos - base_;
        if (span_ <= size_ && !sets_.empty()) {
            // The slots of the positions given up serve those after the window from now on.
            for (std::size_t k = 0, slot = head_; k < std::min(moved, span_); ++k) {
                std::fill_n(sets_.begin() + static_cast<std::ptrdiff_t>(slot * words_), words_, 0);
                if (!others_.empty()) {
                    others_[slot] = -1;
                }
                slot = slot + 1 == span_ ? 0 : slot + 1;
            }
        }
        head_ = (head_ + moved) % span_;
        base_ = pos;
    }

    bool Seen(std::size_t pos, int state) const {
        if (sets_.empty() || !InWindow(pos)) {
            return false;
        }
        const std::size_t slot = Slot(pos);
        if (InSets(state)) {
            const auto s = static_cast<std::size_t>(state);
            return (sets_[slot * words_ + s / 64] >> (s % 64) & 1U) != 0;
        }
        return !others_.empty() && others_[slot] == state;
    }
    void Record(std::size_t pos, int state) {
        if (sets_.empty() || !InWindow(pos)) {
            return;
        }
        const std::size_t slot = Slot(pos);
        if (InSets(state)) {
            const auto s = static_cast<std::size_t>(state);
            sets_[slot * words_ + s / 64] |= std::uint64_t{1} << (s % 64);
            return;
        }
        if (others_.empty()) {
            others_.assign(span_, -1);
        }
        others_[slot] = state;
    }
    // Called after a run that found nothing; length in bytes.
    void NoteFailedRun(std::size_t length) {
        if (sets_.empty() && length > kLongRun && size_ > 0) {
            sets_.assign(span_ * words_, 0);
        }
    }

  private:
    static constexpr std::size_t kLongRun = 64;
    // 16 MB of sets at most; a text of a megabyte keeps 128 states exactly.
    static constexpr std::size_t kMaxWords = std::size_t{2} << 20;

    bool InSets(int state) const {
        return state >= 0 && static_cast<std::size_t>(state) < words_ * 64;
    }
    bool InWindow(std::size_t pos) const { return pos >= base_ && pos - base_ < span_; }
    // The slot of a position in the window: slots are reused round, head_ holding base_'s.
    std::size_t Slot(std::size_t pos) const {
        const std::size_t slot = head_ + (pos - base_);
        return slot >= span_ ? slot - span_ : slot;
    }

    std::size_t size_;
    std::size_t words_;
    std::size_t span_;      // positions the tables hold: the whole text when the budget allows
    std::size_t base_ = 0;  // the first position held
    std::size_t head_ = 0;  // its slot
    std::vector<std::uint64_t> sets_;
    std::vector<int> others_;
};

}  // namespace brindle
