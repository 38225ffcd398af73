// What the desktop program sets up once its application object exists, before the first
// window: shared with the screenshot tool so that the pictures show what the program shows.
#pragma once

namespace brindle {

// The Japanese font as the application font (Latin and Japanese from one font), and Qt's own
// texts (standard buttons, the file dialog) in Japanese, as the window's are.
void SetUpApplication();

}  // namespace brindle
