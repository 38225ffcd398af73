#include "charset/auto_sjis_conv.hpp"

namespace brindle {

std::string TAutoSjisConv::ToSjis(std::string_view text) const {
    enum class Mode { kSingle, kKanji, kKana };
    // Work on a private copy: the escape step clears bit 7 of bytes ahead of the position.
    std::string t(text.substr(0, text.find('\0')));
    std::string out;
    out.reserve(t.size());
    Mode mode = Mode::kSingle;
    std::size_t pos = 0;
    while (pos < t.size()) {
        const auto c = static_cast<unsigned char>(static_cast<unsigned char>(t[pos]) & 0x7F);
        if (c == 0) {
            break;  // a byte 0x80 becomes NUL, which ends the text like a NUL does
        }
        if (c == 0x0E) {
            mode = Mode::kKana;
            ++pos;
            continue;
        }
        if (c == 0x0F) {
            mode = Mode::kSingle;
            ++pos;
            continue;
        }
        if (c == 0x1B && pos + 2 < t.size()) {
            t[pos + 1] = static_cast<char>(t[pos + 1] & 0x7F);
            t[pos + 2] = static_cast<char>(t[pos + 2] & 0x7F);
            const char a = t[pos + 1];
            const char b = t[pos + 2];
            bool recognised = true;
            if (a == '$' && (b == '@' || b == 'B')) {
                mode = Mode::kKanji;
            } else if (a == '(' && (b == 'B' || b == 'J' || b == 'H')) {
                mode = Mode::kSingle;
            } else if (a == '(' && b == 'I') {
                mode = Mode::kKana;
            } else {
                recognised = false;
            }
            if (recognised) {
                pos += 3;
                continue;
            }
        }
        if (mode == Mode::kKanji && c >= 0x21 && c <= 0x7E && pos + 1 < t.size()) {
            // The partner byte is taken as it is: only the first byte of a pair loses bit 7.
            const int c2 = static_cast<unsigned char>(t[pos + 1]);
            const int d = (c - 0x21) * 94 + (c2 - 0x21);
            int s1 = d / 188 + 0x81;
            if (s1 > 0x9F) {
                s1 += 0x40;
            }
            int s2 = d % 188 + 0x40;
            if (s2 > 0x7E) {
                s2 += 1;
            }
            out.push_back(static_cast<char>(s1 & 0xFF));
            out.push_back(static_cast<char>(s2 & 0xFF));
            pos += 2;
        } else if (mode == Mode::kKana && c >= 0x21 && c <= 0x5F) {
            out.push_back(static_cast<char>(c | 0x80));
            ++pos;
        } else {
            out.push_back(static_cast<char>(c));
            ++pos;
        }
    }
    return out;
}

}  // namespace brindle
