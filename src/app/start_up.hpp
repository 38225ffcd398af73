// What the desktop program sets up once its application object exists, before the first
// window: shared with the screenshot tool so that the pictures show what the program shows.
#pragma once

#include "platform/language.hpp"

namespace brindle {

// The language the windows speak (set as the process's, before any window exists), the
// Japanese font as the application font (Latin and Japanese from one font, whatever the
// language: paths and mail hold Japanese either way), and Qt's own texts (standard buttons,
// the file dialog) in that language.
void SetUpApplication(Language language);

}  // namespace brindle
