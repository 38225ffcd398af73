#include "app/start_up.hpp"

#include "ui/widgets.hpp"

namespace brindle {

void SetUpApplication() {
    UseJapaneseFont();
    UseJapaneseQtTexts();
}

}  // namespace brindle
