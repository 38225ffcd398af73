// The language the program speaks to its user: Japanese for a Japanese locale, English for every
// other. It is chosen once at start-up, from the environment as Linux programs do (or an option),
// and read by everything that renders a message.
#pragma once

#include <optional>
#include <string_view>

namespace brindle {

enum class Language : unsigned char { Japanese, English };

// "ja", "ja_JP.UTF-8", "ja_JP.eucJP" give Japanese; "en", "C", "de_DE.UTF-8" give English; an
// empty text gives nothing.
std::optional<Language> LanguageFromLocaleName(std::string_view name);

// The locale that names the messages' language, as POSIX orders it: the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty.
std::optional<std::string_view> MessagesLocaleName();

// BRINDLE_LANG (ja or en) first; then the first set of LC_ALL, LC_MESSAGES and LANG; English when
// none is set.
Language LanguageFromEnvironment();

// The process's language: the one set last, else the environment's. Front ends set it at
// start-up, before any other thread runs.
Language CurrentLanguage();
void SetCurrentLanguage(Language language);

// "ja" or "en".
const char* LanguageCode(Language language);

}  // namespace brindle
