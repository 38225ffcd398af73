// The core's messages: errors and warnings raised below the front ends. The table is
// core_messages.inc; an entry is named CoreMsg::<Name>.
#pragma once

#include <span>

#include "platform/catalogue.hpp"

namespace brindle {

enum class CoreMsg : unsigned short {
#define BRINDLE_MESSAGE(name, japanese, english) name,
#include "platform/core_messages.inc"
#undef BRINDLE_MESSAGE
};

const TMessageText& Text(CoreMsg id);
std::span<const TMessageText> CoreMessageTexts();

}  // namespace brindle
