// Whether a text holds a Japanese character: kana, kanji, Japanese punctuation or a full-width
// form. The English texts of the window are checked with it.
#pragma once

#include <QList>
#include <QString>

namespace brindle::testing {

inline bool HasJapanese(const QString& text) {
    for (const char32_t c : text.toUcs4()) {
        if ((c >= 0x3000 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x9FFF) ||
            (c >= 0xFF00 && c <= 0xFFEF)) {
            return true;
        }
    }
    return false;
}

}  // namespace brindle::testing
