// TRunMemo: remembers, per position of a text, a state that a run of the automaton which found
// nothing passed through there. The automaton is deterministic, so a later run that reaches the
// same state at the same position can find nothing either and stops. Without it, a.*b over a
// long line of a's starts a run to the end of the line at every a, which is quadratic.
//
// One state per position is kept (a later record replaces an earlier one), so a lookup may
// miss but never lies. The table is made only once a fruitless run was long: short texts, and
// searches whose runs die after a few characters, pay nothing.
#pragma once

#include <cstddef>
#include <vector>

namespace brindle {

class TRunMemo {
  public:
    explicit TRunMemo(std::size_t text_size) : size_(text_size) {}

    bool Seen(std::size_t pos, int state) const {
        return !states_.empty() && states_[pos] == state;
    }
    void Record(std::size_t pos, int state) {
        if (!states_.empty()) {
            states_[pos] = state;
        }
    }
    // Called after a run that found nothing; length in bytes.
    void NoteFailedRun(std::size_t length) {
        if (states_.empty() && length > kLongRun && size_ > 0) {
            states_.assign(size_ + 1, -1);
        }
    }

  private:
    static constexpr std::size_t kLongRun = 64;
    std::size_t size_;
    std::vector<int> states_;
};

}  // namespace brindle
