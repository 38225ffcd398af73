#include "platform/exception.hpp"

#include <locale.h>

#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace brindle {
namespace {

// A locale whose messages are Japanese: the environment's own when it is Japanese (its
// character set may differ, strerror_l converts to it), else the usual names; none when no
// Japanese locale is installed.
locale_t OpenJapaneseLocale() {
    std::vector<std::string> names;
    if (const auto locale = MessagesLocaleName();
        locale && LanguageFromLocaleName(*locale) == Language::Japanese &&
        locale->find("UTF-8") != std::string_view::npos) {
        names.emplace_back(*locale);
    }
    names.insert(names.end(), {"ja_JP.UTF-8", "ja_JP.utf8"});
    for (const std::string& name : names) {
        if (locale_t locale = newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, name.c_str(), nullptr)) {
            return locale;
        }
    }
    return nullptr;
}

// Opened once and kept for the life of the process, as the C library's own locales are.
locale_t MessagesLocale(Language language) {
    static const locale_t japanese = OpenJapaneseLocale();
    static const locale_t english = newlocale(LC_ALL_MASK, "C", nullptr);
    if (language == Language::Japanese && japanese != nullptr) {
        return japanese;
    }
    return english;
}

}  // namespace

Exception::Exception(TMessage message, std::string reason)
    : std::runtime_error(message.Render()),
      message_(std::move(message)),
      reason_(std::move(reason)) {}

Exception::Exception(const std::string& message) : std::runtime_error(message) {}

Exception::Exception(const char* message) : std::runtime_error(message) {}

Exception::Exception(const std::string& message, std::string reason)
    : std::runtime_error(message), reason_(std::move(reason)) {}

std::string ErrnoText(int error) {
    if (const locale_t locale = MessagesLocale(CurrentLanguage())) {
        return strerror_l(error, locale);
    }
    return std::strerror(error);
}

}  // namespace brindle
