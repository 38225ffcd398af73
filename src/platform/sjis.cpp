#include "platform/sjis.hpp"

namespace brindle::sjis {

bool IsTrailByteAt(std::string_view text, std::size_t pos) {
    if (pos >= text.size()) {
        return false;
    }
    std::size_t i = 0;
    while (i < pos) {
        i += CharLength(text, i);
    }
    return i != pos;
}

bool IsCharBoundary(std::string_view text, std::size_t pos) {
    return pos >= text.size() ? pos == text.size() : !IsTrailByteAt(text, pos);
}

}  // namespace brindle::sjis
