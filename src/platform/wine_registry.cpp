#include "platform/wine_registry.hpp"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "platform/ansi_text.hpp"

namespace brindle {
namespace {

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Wine writes registry strings with C-like escapes: \\ \" \n …, octal \ooo, and \xhhhh for
// every UTF-16 unit outside printable ASCII; a character beyond the BMP comes as two such units.
// Reads the quoted string that starts at text[pos] (the opening quote, or the character after
// '[' for a key name ended by ']'); answers the UTF-8 text and leaves pos after the closing
// delimiter, or nothing when the string is not closed.
std::optional<std::string> ReadEscaped(std::string_view text, std::size_t& pos, char close) {
    std::string out;
    std::uint32_t high_surrogate = 0;
    auto unit = [&](std::uint32_t u) {
        if (u >= 0xD800 && u <= 0xDBFF) {
            high_surrogate = u;
            return;
        }
        if (u >= 0xDC00 && u <= 0xDFFF && high_surrogate != 0) {
            AppendUtf8(out, 0x10000 + ((high_surrogate - 0xD800) << 10) + (u - 0xDC00));
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, u);
        }
        high_surrogate = 0;
    };
    while (pos < text.size()) {
        const char c = text[pos++];
        if (c == close) {
            return out;
        }
        if (c != '\\' || pos >= text.size()) {
            high_surrogate = 0;
            out += c;  // raw bytes (UTF-8 in newer files) pass through
            continue;
        }
        const char e = text[pos++];
        switch (e) {
            case 'a':
                unit(7);
                break;
            case 'b':
                unit(8);
                break;
            case 'e':
                unit(27);
                break;
            case 'f':
                unit(12);
                break;
            case 'n':
                unit(10);
                break;
            case 'r':
                unit(13);
                break;
            case 't':
                unit(9);
                break;
            case 'v':
                unit(11);
                break;
            case 'x': {
                std::uint32_t value = 0;
                int digits = 0;
                while (digits < 4 && pos < text.size() && HexValue(text[pos]) >= 0) {
                    value = value * 16 + static_cast<std::uint32_t>(HexValue(text[pos++]));
                    ++digits;
                }
                if (digits == 0) {
                    out += 'x';
                } else {
                    unit(value);
                }
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    std::uint32_t value = static_cast<std::uint32_t>(e - '0');
                    for (int digits = 1;
                         digits < 3 && pos < text.size() && text[pos] >= '0' && text[pos] <= '7';
                         ++digits) {
                        value = value * 8 + static_cast<std::uint32_t>(text[pos++] - '0');
                    }
                    unit(value);
                } else {
                    high_surrogate = 0;
                    out += e;  // \\ and \" and anything unknown stand for themselves
                }
        }
    }
    return std::nullopt;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    return s;
}

}  // namespace

std::optional<std::filesystem::path> DefaultWinePrefix() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0') {
        return std::filesystem::path(prefix);
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return std::filesystem::path(home) / ".wine";
    }
    return std::nullopt;
}

std::optional<std::string> ReadWineRegistryString(std::string_view reg_text, std::string_view key,
                                                  std::string_view name) {
    bool in_key = false;
    std::size_t start = 0;
    while (start < reg_text.size()) {
        std::size_t end = reg_text.find('\n', start);
        if (end == std::string_view::npos) {
            end = reg_text.size();
        }
        std::string_view line = reg_text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        line = TrimLeft(line);
        if (line.empty()) {
            continue;
        }
        std::size_t pos = 1;
        if (line.front() == '[') {
            const auto section = ReadEscaped(line, pos, ']');
            in_key = section && EqualsIgnoringAsciiCase(*section, key);
            continue;
        }
        if (!in_key || line.front() != '"') {
            continue;
        }
        const auto value_name = ReadEscaped(line, pos, '"');
        if (!value_name || !EqualsIgnoringAsciiCase(*value_name, name)) {
            continue;
        }
        std::string_view rest = line.substr(pos);
        if (rest.empty() || rest.front() != '=') {
            continue;
        }
        rest.remove_prefix(1);
        if (rest.starts_with("str(2):")) {
            rest.remove_prefix(7);
        }
        if (rest.empty() || rest.front() != '"') {
            return std::nullopt;  // a value of another type (dword, hex) is no folder
        }
        std::size_t value_pos = 1;
        return ReadEscaped(rest, value_pos, '"');
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> MapWindowsFolder(const std::filesystem::path& prefix,
                                                      std::string_view windows_path) {
    namespace fs = std::filesystem;
    if (windows_path.size() < 2 || windows_path[1] != ':') {
        return std::nullopt;  // relative, UNC or still holding an unexpanded %reference%
    }
    const char letter = AsciiLower(windows_path[0]);
    if (letter < 'a' || letter > 'z') {
        return std::nullopt;
    }
    std::error_code ec;
    fs::path current = prefix / "dosdevices" / std::string{letter, ':'};
    if (!fs::is_directory(current, ec)) {
        return std::nullopt;
    }
    std::string_view rest = windows_path.substr(2);
    while (!rest.empty()) {
        const std::size_t sep = rest.find_first_of("\\/");
        const std::string_view part = rest.substr(0, sep);
        rest = sep == std::string_view::npos ? std::string_view{} : rest.substr(sep + 1);
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            return std::nullopt;  // the store root never climbs; refuse to leave the drive
        }
        fs::path next = current / std::string(part);
        if (!fs::exists(next, ec)) {
            // Windows names ignore case; the files on a Linux drive keep the case they got.
            bool found = false;
            for (fs::directory_iterator it(current, ec), last; !ec && it != last;
                 it.increment(ec)) {
                if (EqualsIgnoringAsciiCase(it->path().filename().string(), part)) {
                    next = it->path();
                    found = true;
                    break;
                }
            }
            if (!found) {
                return std::nullopt;
            }
        }
        current = std::move(next);
    }
    if (!fs::is_directory(current, ec)) {
        return std::nullopt;
    }
    return current;
}

std::optional<std::filesystem::path> OutlookExpressStoreFolder(
    const std::filesystem::path& prefix) {
    std::ifstream in(prefix / "user.reg", std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto identity = ReadWineRegistryString(text, "Identities", "Default User ID");
    if (!identity || identity->empty()) {
        return std::nullopt;
    }
    const std::string key =
        "Identities\\" + *identity + "\\Software\\Microsoft\\Outlook Express\\5.0";
    const auto store_root = ReadWineRegistryString(text, key, "Store Root");
    if (!store_root) {
        return std::nullopt;
    }
    return MapWindowsFolder(prefix, *store_root);
}

}  // namespace brindle
