// TRunMemo: remembers, per position of a text, the states that runs of the automaton which
// found nothing passed through there. The automaton is deterministic, so a later run that
// reaches a remembered state at the same position can find nothing either and stops. Without
// it, a.*b over a long line of a's starts a run to the end of the line at every a, which is
// quadratic.
//
// States 0 to 63 are kept exactly, as a bit mask per position: runs from neighbouring starts
// often pass a position in different states that take turns ((aa)*x over a line of a's is in
// one state at a position when started from an even offset and in another when started from an
// odd one), and keeping only the latest would let every run go to the end of the line again.
// A state beyond those keeps one slot per position (a later record replaces an earlier one), so
// a lookup may miss but never lies. The tables are made only once a fruitless run was long:
// short texts, and searches whose runs die after a few characters, pay nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brindle {

class TRunMemo {
  public:
    explicit TRunMemo(std::size_t text_size) : size_(text_size) {}

    bool Seen(std::size_t pos, int state) const {
        if (masks_.empty()) {
            return false;
        }
        if (state >= 0 && state < kMaskStates) {
            return (masks_[pos] >> state & 1U) != 0;
        }
        return !others_.empty() && others_[pos] == state;
    }
    void Record(std::size_t pos, int state) {
        if (masks_.empty()) {
            return;
        }
        if (state >= 0 && state < kMaskStates) {
            masks_[pos] |= std::uint64_t{1} << state;
            return;
        }
        if (others_.empty()) {
            others_.assign(size_ + 1, -1);
        }
        others_[pos] = state;
    }
    // Called after a run that found nothing; length in bytes.
    void NoteFailedRun(std::size_t length) {
        if (masks_.empty() && length > kLongRun && size_ > 0) {
            masks_.assign(size_ + 1, 0);
        }
    }

  private:
    static constexpr std::size_t kLongRun = 64;
    static constexpr int kMaskStates = 64;
    std::size_t size_;
    std::vector<std::uint64_t> masks_;
    std::vector<int> others_;
};

}  // namespace brindle
