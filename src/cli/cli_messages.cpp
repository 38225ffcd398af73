#include "cli/cli_messages.hpp"

#include <utility>

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

TMessage Msg(CliMsg id, std::vector<TMessageArg> args) {
    return TMessage(Text(id), std::move(args));
}

std::span<const TMessageText> CliMessageTexts() {
    return kTexts;
}

}  // namespace brindle
