#include "platform/sjis.hpp"

namespace brindle::sjis {

bool IsTrailByteAt(std::string_view text, std::size_t pos) {
    return pos < text.size() && IsTrailByteAfter(text.data(), 0, pos);
}

bool IsCharBoundary(std::string_view text, std::size_t pos) {
    return pos >= text.size() ? pos == text.size() : !IsTrailByteAt(text, pos);
}

}  // namespace brindle::sjis
