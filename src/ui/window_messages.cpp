#include "ui/window_messages.hpp"

#include <utility>

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

TMessage Msg(WindowMsg id, std::vector<TMessageArg> args) {
    return TMessage(Text(id), std::move(args));
}

std::span<const TMessageText> WindowMessageTexts() {
    return kTexts;
}

}  // namespace brindle
