#include "ui/ui_text.hpp"

#include <utility>
#include <vector>

#include "platform/text_encoding.hpp"
#include "ui/modal_service.hpp"

namespace brindle {

QString SjisToQString(std::string_view sjis) {
    const std::string utf8 = Cp932ToUtf8(sjis);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString PathToQString(std::string_view path) {
    const std::string utf8 = SanitizeUtf8(path);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string QStringToPath(const QString& path) {
    return path.toStdString();
}

std::optional<std::string> QStringToSjis(const QString& text) {
    // A lone surrogate has no UTF-8 form; Qt would write U+FFFD for it, which CP932 lacks, so
    // such a text is refused too.
    return Utf8ToCp932(text.toStdString());
}

QString FirstCharacterWithoutSjis(const QString& text) {
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype width = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, width);
        if (!Utf8ToCp932(character.toStdString())) {
            return character;
        }
        i += width;
    }
    return {};
}

QString NoSjisMessage(const QString& character) {
    return WindowText(WindowMsg::NoSjisCharacter, {{"character", character}});
}

QString WindowText(WindowMsg id, std::initializer_list<WindowArg> args) {
    std::vector<TMessageArg> filled;
    filled.reserve(args.size());
    for (const WindowArg& arg : args) {
        filled.push_back({arg.name, arg.value.toStdString()});
    }
    return QString::fromStdString(Msg(id, std::move(filled)).Render());
}

std::optional<std::string> SjisFromUser(QWidget* parent, const QString& text) {
    std::optional<std::string> sjis = QStringToSjis(text);
    if (!sjis) {
        ShowMessage(parent, MessageKind::Warning, NoSjisMessage(FirstCharacterWithoutSjis(text)));
    }
    return sjis;
}

}  // namespace brindle
