#include "platform/language.hpp"

#include <atomic>
#include <cstdlib>

namespace brindle {
namespace {

std::optional<Language> FromVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return LanguageFromLocaleName(value);
}

// 0: not chosen yet; otherwise the language plus one.
std::atomic<int> g_language{0};

}  // namespace

std::optional<Language> LanguageFromLocaleName(std::string_view name) {
    if (name.empty()) {
        return std::nullopt;
    }
    const bool japanese = name.size() >= 2 && name.substr(0, 2) == "ja" &&
                          (name.size() == 2 || name[2] == '_' || name[2] == '.' || name[2] == '@');
    return japanese ? Language::Japanese : Language::English;
}

std::optional<std::string_view> MessagesLocaleName() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return std::nullopt;
}

Language LanguageFromEnvironment() {
    if (const auto chosen = FromVariable("BRINDLE_LANG")) {
        return *chosen;
    }
    if (const auto locale = MessagesLocaleName()) {
        return *LanguageFromLocaleName(*locale);
    }
    return Language::English;
}

Language CurrentLanguage() {
    const int chosen = g_language.load(std::memory_order_acquire);
    if (chosen != 0) {
        return static_cast<Language>(chosen - 1);
    }
    const Language language = LanguageFromEnvironment();
    g_language.store(static_cast<int>(language) + 1, std::memory_order_release);
    return language;
}

void SetCurrentLanguage(Language language) {
    g_language.store(static_cast<int>(language) + 1, std::memory_order_release);
}

const char* LanguageCode(Language language) {
    return language == Language::Japanese ? "ja" : "en";
}

}  // namespace brindle
