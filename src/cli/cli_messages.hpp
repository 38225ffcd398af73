// The catalogue's table of the command line's texts: usage, help, summaries, option errors. The
// table is cli_messages.inc; an entry is named CliMsg::<Name>.
#pragma once

#include <span>

#include "platform/catalogue.hpp"

namespace brindle {

enum class CliMsg : unsigned short {
#define BRINDLE_MESSAGE(name, japanese, english) name,
#include "cli/cli_messages.inc"
#undef BRINDLE_MESSAGE
};

const TMessageText& Text(CliMsg id);
std::span<const TMessageText> CliMessageTexts();

}  // namespace brindle
