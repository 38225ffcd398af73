#include "app/start_up.hpp"

#include "ui/widgets.hpp"

namespace brindle {

void SetUpApplication(Language language) {
    SetCurrentLanguage(language);
    UseJapaneseFont();
    UseQtTexts(language);
}

}  // namespace brindle
