#include "cli/cli_messages.hpp"

namespace brindle {
namespace {

constexpr TMessageText kTexts[] = {
#define BRINDLE_MESSAGE(name, japanese, english) {#name, japanese, english},
#include "cli/cli_messages.inc"
#undef BRINDLE_MESSAGE
};

}  // namespace

const TMessageText& Text(CliMsg id) {
    return kTexts[static_cast<unsigned short>(id)];
}

std::span<const TMessageText> CliMessageTexts() {
    return kTexts;
}

}  // namespace brindle
