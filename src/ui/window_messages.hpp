// The catalogue's table of the window's texts: menus, captions, hints, boxes, status texts. The
// table is window_messages.inc; an entry is named WindowMsg::<Name>.
#pragma once

#include <span>

#include "platform/catalogue.hpp"

namespace brindle {

enum class WindowMsg : unsigned short {
#define BRINDLE_MESSAGE(name, japanese, english) name,
#include "ui/window_messages.inc"
#undef BRINDLE_MESSAGE
};

const TMessageText& Text(WindowMsg id);
std::span<const TMessageText> WindowMessageTexts();

}  // namespace brindle
