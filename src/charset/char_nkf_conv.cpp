#include "charset/char_nkf_conv.hpp"

#include <exception>
#include <optional>
#include <vector>

#include "platform/exception.hpp"
#include "platform/iconv_converter.hpp"
#include "platform/sjis.hpp"

namespace brindle {

namespace {

constexpr std::string_view kMissingCharacter = "?";

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string AsciiUpperCopy(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = AsciiUpper(c);
    }
    return out;
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

// iconv_open is far dearer than converting one header value, so each thread keeps one
// descriptor per conversion; ConvertLenient resets the shift state before and after use.
template <const char* kTo, const char* kFrom>
IconvConverter& Converter() {
    try {
        thread_local IconvConverter converter(kTo, kFrom);
        return converter;
    } catch (const Exception&) {
        throw Exception("IEコンポーネントの初期化に失敗しました。(1)");
    }
}

constexpr char kCp932[] = "CP932";
constexpr char kUtf8[] = "UTF-8";
constexpr char kUtf7[] = "UTF-7";
constexpr char kEucJpMs[] = "EUC-JP-MS";

// One UTF-7 or UTF-8 encoded word of a header value, with its text transfer-decoded (Base64
// or Q) but not yet converted from its charset.
struct UnicodeWord {
    std::size_t begin = 0;  // first byte of "=?"
    std::size_t end = 0;    // one past "?=" (or the end of the value)
    int code_page = 0;
    std::string bytes;
};

// Parses the UTF-7 or UTF-8 encoded word starting at pos ("=?charset?X?text?="); nullopt when
// none starts there. A word without its closing "?=" runs to the end of the value.
std::optional<UnicodeWord> ParseUnicodeWord(const TCharNkfConv& conv, std::string_view value,
                                            std::size_t pos) {
    if (value.compare(pos, 2, "=?") != 0) {
        return std::nullopt;
    }
    const std::size_t charset_begin = pos + 2;
    const std::size_t charset_end = value.find('?', charset_begin);
    if (charset_end == std::string_view::npos || charset_end + 2 >= value.size() ||
        value[charset_end + 2] != '?') {
        return std::nullopt;
    }
    // An RFC 2231 language tag ("UTF-8*ja") does not change the charset.
    std::string_view charset = value.substr(charset_begin, charset_end - charset_begin);
    charset = charset.substr(0, charset.find('*'));
    int code_page = 0;
    if (EqualsAsciiNoCase(charset, "UTF-8")) {
        code_page = kCodePageUtf8;
    } else if (EqualsAsciiNoCase(charset, "UTF-7")) {
        code_page = kCodePageUtf7;
    } else {
        return std::nullopt;
    }
    const char letter = AsciiUpper(value[charset_end + 1]);
    if (letter != 'B' && letter != 'Q') {
        return std::nullopt;
    }
    const std::size_t text_begin = charset_end + 3;
    std::size_t text_end = value.find("?=", text_begin);
    std::size_t word_end = 0;
    if (text_end == std::string_view::npos) {
        text_end = value.size();
        word_end = value.size();
    } else {
        word_end = text_end + 2;
    }
    std::string text(value.substr(text_begin, text_end - text_begin));
    UnicodeWord word;
    word.begin = pos;
    word.end = word_end;
    word.code_page = code_page;
    if (letter == 'B') {
        word.bytes = conv.CodePageToSJis(text, kCodePageBase64);
    } else {
        // In a Q word "_" is a blank. The quoted-printable decoder ends the text with a line
        // break, which does not belong inside a header value.
        for (char& c : text) {
            if (c == '_') {
                c = ' ';
            }
        }
        word.bytes = conv.CodePageToSJis(text, kCodePageQuotedPrintable);
        if (word.bytes.ends_with("\r\n")) {
            word.bytes.resize(word.bytes.size() - 2);
        }
    }
    return word;
}

bool IsLinearBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsUtf7Base64(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

// UTF-7 to UTF-8, each Base64 run ("+" ... up to the first non-Base64 byte, a "-" there
// absorbed) through iconv with a fresh state. glibc keeps a lone surrogate pending across the
// end of its run, so stepping over the offending byte alone made it eat or garble the text
// after it; here a broken run costs one '?' and nothing beyond it. Outside runs, ASCII is text
// ('~' and '\\' too, which glibc refuses as direct characters) and an 8-bit byte is one '?'.
std::string Utf7ToUtf8(std::string_view text) {
    IconvConverter& converter = Converter<kUtf8, kUtf7>();
    std::string out;
    out.reserve(text.size() * 2);
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] != '+') {
            const char c = text[pos++];
            out.append(static_cast<unsigned char>(c) < 0x80 ? std::string_view(&c, 1)
                                                            : kMissingCharacter);
            continue;
        }
        std::size_t end = pos + 1;
        while (end < text.size() && IsUtf7Base64(text[end])) {
            ++end;
        }
        std::string run(text.substr(pos, end - pos));
        run.push_back('-');  // closes the run, so that a pending lone surrogate is reported
        if (end < text.size() && text[end] == '-') {
            ++end;
        }
        out += converter.ConvertLenient(run, kMissingCharacter,
                                        [](std::string_view rest) { return rest.size(); });
        pos = end;
    }
    return out;
}

// True when UTF-7 text ends inside a Base64 run, which the end of an encoded word closes but
// the next word, joined to it, would continue.
bool EndsInOpenUtf7Run(std::string_view text) {
    bool open = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (open) {
            open = IsUtf7Base64(text[i]);
        } else if (text[i] == '+') {
            if (i + 1 < text.size() && text[i + 1] == '-') {
                ++i;  // "+-" is a literal '+'
            } else {
                open = true;
            }
        }
    }
    return open;
}

}  // namespace

std::string TCharNkfConv::CodePageToSJis(std::string_view text, int code_page) const {
    switch (code_page) {
        case kCodePageIso2022Jp:
            return JisToSJis(text);
        case kCodePageEucJp:
        case kCodePageUtf7:
        case kCodePageUtf8:
            return SystemCodePageToSJis(text, code_page);
        case kCodePageQuotedPrintable:
            return QPDecode(text);
        case kCodePageBase64:
            return B64Decode(text);
        default:
            return std::string(text);  // 932, 1252 and anything unknown
    }
}

std::string TCharNkfConv::SystemCodePageToSJis(std::string_view text, int code_page) const {
    // The text ends at its first NUL, as the system service took it.
    text = text.substr(0, text.find('\0'));
    switch (code_page) {
        case kCodePageUtf8:
            return Converter<kCp932, kUtf8>().ConvertLenient(text, kMissingCharacter,
                                                             &IconvConverter::SkipUtf8Character);
        case kCodePageEucJp:
            // glibc's EUC-JP-MS carries NEC and IBM extensions as CP932 has them.
            return Converter<kCp932, kEucJpMs>().ConvertLenient(
                text, kMissingCharacter, &IconvConverter::SkipEucJpCharacter);
        case kCodePageUtf7: {
            // UTF-7 is stateful: an unconvertible character inside a Base64 run cannot be
            // stepped over byte by byte, so decode to UTF-8 first (always representable) and
            // leave the characters CP932 lacks to the second step.
            return Converter<kCp932, kUtf8>().ConvertLenient(Utf7ToUtf8(text), kMissingCharacter,
                                                             &IconvConverter::SkipUtf8Character);
        }
        default:
            throw Exception("IEコンポーネントの初期化に失敗しました。(2)");
    }
}

std::string TCharNkfConv::DecodeHeader(std::string_view value) const {
    const std::string upper = AsciiUpperCopy(value);
    constexpr std::string_view kJisQ = "=?ISO-2022-JP?Q?";
    if (const std::size_t b = upper.find(kJisQ); b != std::string::npos) {
        // Everything from the first marker to the last "=" is taken as one word.
        const std::size_t c = upper.rfind('=');
        const std::size_t text_begin = b + kJisQ.size();
        const std::size_t text_end =
            (c != std::string::npos && c >= text_begin + 1) ? c - 1 : text_begin;
        std::string result(value.substr(0, b));
        result += CodePageToSJis(
            QPDecode(value.substr(text_begin, std::max(text_end, text_begin) - text_begin)),
            kCodePageIso2022Jp);
        // Only single-byte underscores become blanks: 0x5F is also a trail byte (タ, ＼).
        for (std::size_t pos = 0; pos < result.size(); pos += sjis::CharLength(result, pos)) {
            if (result[pos] == '_') {
                result[pos] = ' ';
            }
        }
        return result;
    }
    for (const std::string_view prefix : {"=?UTF-7?B?", "=?UTF-8?B?", "=?UTF-7?Q?", "=?UTF-8?Q?"}) {
        if (upper.find(prefix) != std::string::npos) {
            return DecodeUnicodeWord(value, prefix);
        }
    }
    return JisToSJis(MimeToJis(value));
}

std::string TCharNkfConv::DecodeUnicodeWord(std::string_view value, std::string_view prefix) const {
    try {
        if (AsciiUpperCopy(value).find(AsciiUpperCopy(prefix)) == std::string::npos) {
            return std::string(value);
        }
        std::vector<UnicodeWord> words;
        std::size_t pos = 0;
        while ((pos = value.find("=?", pos)) != std::string_view::npos) {
            auto word = ParseUnicodeWord(*this, value, pos);
            if (!word) {
                ++pos;
                continue;
            }
            pos = word->end;
            words.push_back(std::move(*word));
        }
        std::string out;
        std::size_t copied = 0;  // end of the value already written
        std::size_t i = 0;
        while (i < words.size()) {
            out.append(value.substr(copied, words[i].begin - copied));
            // Gather the run of words separated only by blanks; RFC 2047 drops those blanks.
            std::string bytes = std::move(words[i].bytes);
            const int code_page = words[i].code_page;
            std::size_t last = i;
            while (last + 1 < words.size() && words[last + 1].code_page == code_page) {
                const std::string_view between =
                    value.substr(words[last].end, words[last + 1].begin - words[last].end);
                bool blank = true;
                for (const char c : between) {
                    blank = blank && IsLinearBlank(c);
                }
                if (!blank) {
                    break;
                }
                ++last;
                if (code_page == kCodePageUtf7 && EndsInOpenUtf7Run(bytes)) {
                    bytes.push_back('-');
                }
                bytes += words[last].bytes;
            }
            out += CodePageToSJis(bytes, code_page);
            copied = words[last].end;
            // A following word of the other charset is adjacent too: skip the blanks to it.
            if (last + 1 < words.size()) {
                const std::string_view between =
                    value.substr(copied, words[last + 1].begin - copied);
                bool blank = true;
                for (const char c : between) {
                    blank = blank && IsLinearBlank(c);
                }
                if (blank) {
                    copied = words[last + 1].begin;
                }
            }
            i = last + 1;
        }
        out.append(value.substr(copied));
        return out;
    } catch (const std::exception&) {
        return std::string(value);
    }
}

}  // namespace brindle
