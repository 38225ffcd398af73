#include "ui/window_messages.hpp"

namespace brindle {
namespace {

constexpr TMessageText kTexts[] = {
#define BRINDLE_MESSAGE(name, japanese, english) {#name, japanese, english},
#include "ui/window_messages.inc"
#undef BRINDLE_MESSAGE
};

}  // namespace

const TMessageText& Text(WindowMsg id) {
    return kTexts[static_cast<unsigned short>(id)];
}

std::span<const TMessageText> WindowMessageTexts() {
    return kTexts;
}

}  // namespace brindle
