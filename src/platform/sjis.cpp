#include "platform/sjis.hpp"

namespace brindle::sjis {

bool IsTrailByteAt(std::string_view text, std::size_t pos) {
    if (pos >= text.size()) {
        return false;
    }
    // The lead bytes just before pos form a run whose first byte starts a character (the byte
    // before the run is no lead byte, so it ends one); from there each lead byte takes the byte
    // after it, so pos is a trail byte exactly when the run is odd.
    std::size_t run = 0;
    while (run < pos && IsLeadByte(text[pos - run - 1])) {
        ++run;
    }
    return run % 2 == 1;
}

bool IsCharBoundary(std::string_view text, std::size_t pos) {
    return pos >= text.size() ? pos == text.size() : !IsTrailByteAt(text, pos);
}

}  // namespace brindle::sjis
