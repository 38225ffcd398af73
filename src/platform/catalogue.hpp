// The program's messages: every text a user sees is an entry of a table, with a name, a Japanese
// and an English text. A message is an entry and its named arguments; it is rendered in a
// language only where it is shown, so an error raised in the core reaches each front end whole
// and is worded there.
//
// A text names its arguments in braces: "ファイル {path} を開けません。".
// "{count|message|messages}" takes the first word when the argument is "1", the second otherwise
// (English plurals);
// "{{" and "}}" stand for braces. An argument the text does not name is left out; a name
// without an argument stays as written, so a missing argument shows rather than vanishes.
//
// The tables: platform/core_messages.inc (errors and warnings of the core), cli/cli_messages.inc
// (the command line), ui/window_messages.inc (the window). docs/design.md says how to add a
// message or a language.
#pragma once

#include <concepts>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/language.hpp"

namespace brindle {

struct TMessageText {
    const char* name;      // the entry's identifier, as written in its table
    const char* japanese;  // UTF-8
    const char* english;
};

struct TMessageArg {
    std::string name;
    std::string value;  // UTF-8

    friend bool operator==(const TMessageArg&, const TMessageArg&) = default;
};

class TMessage {
  public:
    TMessage() = default;
    TMessage(const TMessageText& text, std::vector<TMessageArg> args);

    // The entry, or null for a message that has none.
    const TMessageText* Text() const noexcept { return text_; }
    bool Is(const TMessageText& text) const noexcept { return text_ == &text; }
    // The value of one argument, or empty.
    std::string Arg(std::string_view name) const;
    const std::vector<TMessageArg>& Args() const noexcept { return args_; }

    std::string Render(Language language) const;
    std::string Render() const { return Render(CurrentLanguage()); }

    // The same entry with the same arguments.
    friend bool operator==(const TMessage&, const TMessage&) = default;

  private:
    const TMessageText* text_ = nullptr;
    std::vector<TMessageArg> args_;
};

// A message of any table: the entry that the table's Text gives for id (found where the table's
// id type is declared), with these arguments.
template <typename Id>
requires std::is_enum_v<Id> && requires(Id id) {
    { Text(id) } -> std::same_as<const TMessageText&>;
}
TMessage Msg(Id id, std::vector<TMessageArg> args = {}) {
    return TMessage(Text(id), std::move(args));
}

// Fills a text's braces from args; see above.
std::string FillText(std::string_view text, const std::vector<TMessageArg>& args);

// The text of an entry in a language.
const char* TextIn(const TMessageText& text, Language language);

// The names a text gives in braces, in order of first use (the test of the tables compares the
// two languages' names).
std::vector<std::string> ArgumentNames(std::string_view text);

}  // namespace brindle
