// The catalogue's table of the window's texts: menus, captions, hints, boxes, status texts. The
// table is window_messages.inc; an entry is named WindowMsg::<Name>.
#pragma once

#include <span>
#include <vector>

#include "platform/catalogue.hpp"

namespace brindle {

enum class WindowMsg : unsigned short {
#define BRINDLE_MESSAGE(name, japanese, english) name,
#include "ui/window_messages.inc"
#undef BRINDLE_MESSAGE
};

const TMessageText& Text(WindowMsg id);
TMessage Msg(WindowMsg id, std::vector<TMessageArg> args = {});
std::span<const TMessageText> WindowMessageTexts();

}  // namespace brindle
