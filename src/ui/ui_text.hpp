// Text at the edge of the windows: the job's texts are Shift_JIS (CP932) bytes, Qt's are
// Unicode. Conversion goes through the platform's CP932 tables, never Qt's codecs, so the
// windows and the command line agree on every character.
#pragma once

#include <QString>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "ui/window_messages.hpp"

class QWidget;

namespace brindle {

// For display: never fails; bytes that are no CP932 character show as U+FFFD.
QString SjisToQString(std::string_view sjis);

// A file system path (UTF-8 bytes, or whatever the file system holds) for display; invalid
// bytes show as U+FFFD. Paths never pass through Shift_JIS.
QString PathToQString(std::string_view path);
// A path chosen in a dialog back to the file system's bytes.
std::string QStringToPath(const QString& path);

// nullopt when some character has no Shift_JIS form. Characters that CP932 holds under another
// code point (the wave dash 〜 U+301C becomes CP932's 〜) are taken, as the command line takes
// them.
std::optional<std::string> QStringToSjis(const QString& text);

// The first character of the text that has no Shift_JIS form; empty when there is none.
QString FirstCharacterWithoutSjis(const QString& text);

// Text typed by the user, for a condition or a parameter. When it has no Shift_JIS form, a
// warning box names the character that cannot be kept and nullopt comes back: the text is
// refused as a whole, never stored with a character replaced or dropped.
std::optional<std::string> SjisFromUser(QWidget* parent, const QString& text);

// The message of that warning box.
QString NoSjisMessage(const QString& character);

// One named argument of a window text.
struct WindowArg {
    const char* name;
    QString value;
};

// The window's text of an entry, in the process's language, with its arguments filled in.
QString WindowText(WindowMsg id, std::initializer_list<WindowArg> args = {});

}  // namespace brindle
