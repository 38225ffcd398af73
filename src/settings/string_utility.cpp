#include "settings/string_utility.hpp"

#include "platform/sjis.hpp"

namespace brindle {
namespace {

constexpr char kFullWidthSpaceLead = '\x81';
constexpr char kFullWidthSpaceTrail = '\x40';

bool IsSpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}

bool IsPlainBlank(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

std::string PlainTrim(std::string_view s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && IsPlainBlank(s[begin])) {
        ++begin;
    }
    while (end > begin && IsPlainBlank(s[end - 1])) {
        --end;
    }
    return std::string(s.substr(begin, end - begin));
}

// True when the last byte is half of a double-byte character: a trail byte, or a lead byte
// left without its trail byte.
bool EndsInDoubleByte(std::string_view s) {
    const std::size_t last = s.size() - 1;
    return sjis::IsTrailByteAt(s, last) || sjis::IsLeadByte(s[last]);
}

}  // namespace

std::string TStringUtility::TrimBlank(std::string_view text) {
    return TrimBlankRight(TrimBlankLeft(text));
}

std::string TStringUtility::TrimBlankLeft(std::string_view text) {
    std::string s(text);
    while (!s.empty()) {
        if (sjis::IsLeadByte(s[0])) {
            if (s.size() < 2 || s[0] != kFullWidthSpaceLead || s[1] != kFullWidthSpaceTrail) {
                break;
            }
            s.erase(0, 2);
        } else if (IsSpaceOrTab(s[0])) {
            s = PlainTrim(s);
        } else {
            break;
        }
    }
    return s;
}

std::string TStringUtility::TrimBlankRight(std::string_view text) {
    std::string s(text);
    while (!s.empty()) {
        const std::size_t n = s.size();
        if (EndsInDoubleByte(s)) {
            // A lone lead byte at the end can never be the second half of 0x81 0x40.
            if (n < 2 || s[n - 2] != kFullWidthSpaceLead || s[n - 1] != kFullWidthSpaceTrail) {
                break;
            }
            s.erase(n - 2);
        } else if (IsSpaceOrTab(s[n - 1])) {
            s = PlainTrim(s);
        } else {
            break;
        }
    }
    return s;
}

TStringSeparator::TStringSeparator(std::string_view text, std::string_view separators)
    : text_(text), separators_(separators) {
    const std::size_t len = text_.size();
    if (len == 0) {
        return;
    }
    std::size_t pos = 0;
    std::size_t end = 0;
    do {
        std::string token;
        end = (pos < len && text_[pos] == '"') ? ReadQuoted(pos + 1, token) : ReadPlain(pos, token);
        tokens_.push_back(std::move(token));
        ++count_;
        pos = end + 1;
    } while (end < len);
}

std::string TStringSeparator::GetString(std::uint32_t index) const {
    return index < tokens_.size() ? tokens_[index] : std::string();
}

bool TStringSeparator::IsSeparator(char c) const {
    return separators_.find(c) != std::string::npos;
}

std::size_t TStringSeparator::ReadPlain(std::size_t pos, std::string& token) const {
    std::size_t end = pos;
    while (end < text_.size() && !IsSeparator(text_[end])) {
        ++end;
    }
    token.append(text_, pos, end - pos);
    return end;
}

std::size_t TStringSeparator::ReadQuoted(std::size_t pos, std::string& token) const {
    const std::size_t len = text_.size();
    while (pos < len) {
        if (text_[pos] == '"') {
            if (pos + 1 < len && text_[pos + 1] == '"') {
                token.push_back('"');
                pos += 2;
                continue;
            }
            // Whatever follows the closing quote up to the next separator belongs to the token.
            return ReadPlain(pos + 1, token);
        }
        token.push_back(text_[pos]);
        ++pos;
    }
    return len;
}

}  // namespace brindle
