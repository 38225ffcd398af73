#include "platform/catalogue.hpp"

#include <algorithm>

namespace brindle {
namespace {

const std::string* FindArg(const std::vector<TMessageArg>& args, std::string_view name) {
    const auto it = std::find_if(args.begin(), args.end(),
                                 [&](const TMessageArg& arg) { return arg.name == name; });
    return it == args.end() ? nullptr : &it->value;
}

// "count|message|messages": the argument's name and, when given, its singular and plural words.
struct Placeholder {
    std::string_view name;
    std::string_view singular;
    std::string_view plural;
    bool counted = false;
};

Placeholder ParsePlaceholder(std::string_view inside) {
    Placeholder placeholder;
    const std::size_t bar = inside.find('|');
    placeholder.name = inside.substr(0, bar);
    if (bar != std::string_view::npos) {
        const std::string_view words = inside.substr(bar + 1);
        const std::size_t second = words.find('|');
        placeholder.counted = true;
        placeholder.singular = words.substr(0, second);
        placeholder.plural =
            second == std::string_view::npos ? placeholder.singular : words.substr(second + 1);
    }
    return placeholder;
}

// Walks a text, calling on_text for literal runs and on_placeholder for each {...}.
template <typename OnText, typename OnPlaceholder>
void WalkText(std::string_view text, OnText on_text, OnPlaceholder on_placeholder) {
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t brace = text.find_first_of("{}", at);
        if (brace == std::string_view::npos) {
            on_text(text.substr(at));
            return;
        }
        on_text(text.substr(at, brace - at));
        if (brace + 1 < text.size() && text[brace + 1] == text[brace]) {
            on_text(text.substr(brace, 1));
            at = brace + 2;
            continue;
        }
        const std::size_t close =
            text[brace] == '{' ? text.find('}', brace) : std::string_view::npos;
        if (close == std::string_view::npos) {
            on_text(text.substr(brace, 1));
            at = brace + 1;
            continue;
        }
        on_placeholder(text.substr(brace, close + 1 - brace),
                       ParsePlaceholder(text.substr(brace + 1, close - brace - 1)));
        at = close + 1;
    }
}

}  // namespace

TMessage::TMessage(const TMessageText& text, std::vector<TMessageArg> args)
    : text_(&text), args_(std::move(args)) {}

std::string TMessage::Arg(std::string_view name) const {
    const std::string* value = FindArg(args_, name);
    return value == nullptr ? std::string() : *value;
}

std::string TMessage::Render(Language language) const {
    return text_ == nullptr ? std::string() : FillText(TextIn(*text_, language), args_);
}

std::string FillText(std::string_view text, const std::vector<TMessageArg>& args) {
    std::string out;
    out.reserve(text.size() + 32);
    WalkText(
        text, [&](std::string_view literal) { out += literal; },
        [&](std::string_view written, const Placeholder& placeholder) {
            const std::string* value = FindArg(args, placeholder.name);
            if (value == nullptr) {
                out += written;
            } else if (placeholder.counted) {
                out += *value;
                out += ' ';
                out += *value == "1" ? placeholder.singular : placeholder.plural;
            } else {
                out += *value;
            }
        });
    return out;
}

const char* TextIn(const TMessageText& text, Language language) {
    return language == Language::Japanese ? text.japanese : text.english;
}

std::vector<std::string> ArgumentNames(std::string_view text) {
    std::vector<std::string> names;
    WalkText(
        text, [](std::string_view) {},
        [&](std::string_view, const Placeholder& placeholder) {
            const std::string name(placeholder.name);
            if (std::find(names.begin(), names.end(), name) == names.end()) {
                names.push_back(name);
            }
        });
    return names;
}

}  // namespace brindle
