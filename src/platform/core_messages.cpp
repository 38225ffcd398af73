#include "platform/core_messages.hpp"

namespace brindle {
namespace {

constexpr TMessageText kTexts[] = {
#define BRINDLE_MESSAGE(name, japanese, english) {#name, japanese, english},
#include "platform/core_messages.inc"
#undef BRINDLE_MESSAGE
};

}  // namespace

const TMessageText& Text(CoreMsg id) {
    return kTexts[static_cast<unsigned short>(id)];
}

std::span<const TMessageText> CoreMessageTexts() {
    return kTexts;
}

}  // namespace brindle
