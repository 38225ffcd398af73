#include "convert/safe_file_name.hpp"

#include <array>
#include <utility>

#include "platform/sjis.hpp"
#include "platform/text_encoding.hpp"

namespace brindle {
namespace {

struct Replacement {
    char from;
    std::string_view to;  // Shift_JIS
};

// Replacing every character in one walk gives the same result as one pass per character,
// because no replacement holds a byte that a later pass would replace (their trail bytes are
// only ever seen as trail bytes).
constexpr std::array<Replacement, 10> kReplacements{{
    {'\\', "\x81\x8F"},  // ￥
    {'/', "\x81\x5E"},   // ／
    {';', "\x81\x47"},   // ；
    {':', "\x81\x46"},   // ：
    {'*', "\x81\x96"},   // ＊
    {'?', "\x81\x48"},   // ？
    {'"', "\x81\x8F"},   // ￥, as the Windows program has always named them
    {'<', "\x81\x83"},   // ＜
    {'>', "\x81\x84"},   // ＞
    {'|', "\x81\x62"},   // ｜
}};

constexpr std::string_view kUntitled = "無題";
constexpr std::string_view kFullWidthDot = "．";
constexpr std::string_view kFullWidthSlash = "／";

// Length of the UTF-8 sequence that starts with c (valid input assumed: Cp932ToUtf8 and
// SanitizeUtf8 never give anything else).
std::size_t Utf8Length(unsigned char c) {
    if (c < 0x80) {
        return 1;
    }
    if (c >= 0xF0) {
        return 4;
    }
    if (c >= 0xE0) {
        return 3;
    }
    return 2;
}

// The name the file system gets for a base already in UTF-8: no control bytes, no '/', never
// hidden, never empty, short enough for "(n)" and ".eml".
std::string FinishBaseName(std::string utf8) {
    std::string name;
    name.reserve(utf8.size());
    // In UTF-8 every byte below 0x80 is a character of its own, so ASCII controls and '/' can
    // be dropped or replaced without looking at neighbours. A '/' can still be here: an invalid
    // lead byte hides it from the Shift_JIS walk of MakeSafeFileName, and the conversion
    // passes it through.
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            continue;
        }
        if (c == '/') {
            name += kFullWidthSlash;
            continue;
        }
        name += c;
    }
    if (name.empty()) {
        return std::string(kUntitled);
    }
    if (name.front() == '.') {
        name.replace(0, 1, kFullWidthDot);
    }
    if (name.size() > kMaxBaseNameBytes) {
        std::size_t cut = 0;
        while (cut < name.size()) {
            const std::size_t next = cut + Utf8Length(static_cast<unsigned char>(name[cut]));
            if (next > kMaxBaseNameBytes) {
                break;
            }
            cut = next;
        }
        name.resize(cut);
    }
    return name;
}

}  // namespace

std::string MakeSafeFileName(std::string_view sjis) {
    std::string out;
    out.reserve(sjis.size());
    std::size_t i = 0;
    while (i < sjis.size()) {
        const std::size_t len = sjis::CharLength(sjis, i);
        if (len == 1) {
            bool replaced = false;
            for (const auto& r : kReplacements) {
                if (sjis[i] == r.from) {
                    out += r.to;
                    replaced = true;
                    break;
                }
            }
            if (!replaced) {
                out += sjis[i];
            }
        } else {
            out.append(sjis.substr(i, len));
        }
        i += len;
    }
    return out;
}

std::string MakeNativeBaseName(std::string_view sjis_base) {
    return FinishBaseName(SanitizeUtf8(Cp932ToUtf8(sjis_base)));
}

std::string MakeUnicodeBaseName(std::string_view utf8) {
    // The common case, a text that Shift_JIS can hold, takes the one Shift_JIS path, so its
    // name is exactly the name the program has always given it.
    if (const auto sjis = Utf8ToCp932(utf8)) {
        return MakeNativeBaseName(MakeSafeFileName(*sjis));
    }
    const std::string text = SanitizeUtf8(utf8);
    std::string name;
    name.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8Length(static_cast<unsigned char>(text[i]));
        const std::string_view character = std::string_view(text).substr(i, length);
        if (const auto sjis = Utf8ToCp932(character)) {
            name += Cp932ToUtf8(MakeSafeFileName(*sjis));
        } else {
            name += character;
        }
        i += length;
    }
    return FinishBaseName(std::move(name));
}

}  // namespace brindle
