#include "settings/string_utility.hpp"

#include "platform/sjis.hpp"
#include "platform/work_count.hpp"

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

// Narrows [begin, end) of s by the bytes of 0x20 or less at both ends.
void PlainTrim(std::string_view s, std::size_t& begin, std::size_t& end) {
    while (begin < end && IsPlainBlank(s[begin])) {
        ++begin;
    }
    while (end > begin && IsPlainBlank(s[end - 1])) {
        --end;
    }
}

}  // namespace

std::string TStringUtility::TrimBlank(std::string_view text) {
    return TrimBlankRight(TrimBlankLeft(text));
}

// Both halves narrow a window over the text instead of copying it at every step: a text may
// end in thousands of blanks.
std::string TStringUtility::TrimBlankLeft(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    std::uint64_t steps = 0;
    while (begin < end) {
        ++steps;
        if (sjis::IsLeadByte(text[begin])) {
            if (end - begin < 2 || text[begin] != kFullWidthSpaceLead ||
                text[begin + 1] != kFullWidthSpaceTrail) {
                break;
            }
            begin += 2;
        } else if (IsSpaceOrTab(text[begin])) {
            PlainTrim(text, begin, end);
        } else {
            break;
        }
    }
    CountWork(steps + (end - begin));
    return std::string(text.substr(begin, end - begin));
}

std::string TStringUtility::TrimBlankRight(std::string_view text) {
    // Which bytes start a character is found by one walk from the start. Trimming never
    // changes it for the bytes that remain: it removes whole full-width spaces at the end and
    // bytes of 0x20 or less, which are never part of a double-byte character.
    std::vector<bool> starts(text.size(), false);
    for (std::size_t i = 0; i < text.size(); i += sjis::CharLength(text, i)) {
        starts[i] = true;
    }
    std::size_t begin = 0;
    std::size_t end = text.size();
    std::uint64_t steps = text.size();
    while (begin < end) {
        ++steps;
        const std::size_t last = end - 1;
        // Half of a double-byte character: a trail byte, or a lead byte left without its trail.
        if (!starts[last] || sjis::IsLeadByte(text[last])) {
            // A lone lead byte at the end can never be the second half of 0x81 0x40.
            if (starts[last] || text[last - 1] != kFullWidthSpaceLead ||
                text[last] != kFullWidthSpaceTrail) {
                break;
            }
            end -= 2;
        } else if (IsSpaceOrTab(text[last])) {
            PlainTrim(text, begin, end);
        } else {
            break;
        }
    }
    CountWork(steps + (end - begin));
    return std::string(text.substr(begin, end - begin));
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
