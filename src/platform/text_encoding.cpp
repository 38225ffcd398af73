#include "platform/text_encoding.hpp"

#include "platform/iconv_converter.hpp"

namespace brindle {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

// One descriptor per direction and thread: iconv_open costs more than converting a file name.
IconvConverter& Cp932ToUtf8Converter() {
    thread_local IconvConverter converter("UTF-8", "CP932");
    return converter;
}

IconvConverter& Utf8ToCp932Converter() {
    thread_local IconvConverter converter("CP932", "UTF-8");
    return converter;
}

bool IsAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
    if (IsAscii(cp932)) {
        return std::string(cp932);
    }
    return Cp932ToUtf8Converter().ConvertLenient(cp932, kReplacementCharacter,
                                                 &IconvConverter::SkipCp932Character);
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
    if (IsAscii(utf8)) {
        return std::string(utf8);
    }
    if (!IsValidUtf8(utf8)) {
        return std::nullopt;
    }
    return Utf8ToCp932Converter().ConvertStrict(utf8);
}

std::optional<std::string> Utf8ToCp932Exact(std::string_view utf8) {
    auto cp932 = Utf8ToCp932(utf8);
    if (!cp932) {
        return std::nullopt;
    }
    const auto back = Cp932ToUtf8Converter().ConvertStrict(*cp932);
    if (!back || *back != utf8) {
        return std::nullopt;
    }
    return cp932;
}

bool RoundTripsThroughCp932(std::string_view utf8) {
    return Utf8ToCp932Exact(utf8).has_value();
}

bool IsValidUtf8(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t step = IconvConverter::SkipUtf8Character(text.substr(pos));
        if (step == 1 && static_cast<unsigned char>(text[pos]) >= 0x80) {
            return false;
        }
        pos += step;
    }
    return true;
}

std::string SanitizeUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t step = IconvConverter::SkipUtf8Character(text.substr(pos));
        if (step == 1 && static_cast<unsigned char>(text[pos]) >= 0x80) {
            out.append(kReplacementCharacter);
        } else {
            out.append(text.substr(pos, step));
        }
        pos += step;
    }
    return out;
}

}  // namespace brindle
