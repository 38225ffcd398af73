#include "convert/mail_date.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace brindle {
namespace {

constexpr std::array<std::string_view, 7> kDayNames{"mon", "tue", "wed", "thu",
                                                    "fri", "sat", "sun"};
constexpr std::array<std::string_view, 12> kMonthNames{"jan", "feb", "mar", "apr", "may", "jun",
                                                       "jul", "aug", "sep", "oct", "nov", "dec"};

struct NamedZone {
    std::string_view name;
    int minutes;
};
constexpr std::array<NamedZone, 12> kNamedZones{{
    {"ut", 0},
    {"utc", 0},
    {"gmt", 0},
    {"z", 0},
    {"est", -5 * 60},
    {"edt", -4 * 60},
    {"cst", -6 * 60},
    {"cdt", -5 * 60},
    {"mst", -7 * 60},
    {"mdt", -6 * 60},
    {"pst", -8 * 60},
    {"pdt", -7 * 60},
}};
constexpr int kJstMinutes = 9 * 60;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Splits into tokens at blanks and commas, dropping comments (which may nest).
std::vector<std::string> Tokenize(std::string_view text) {
    std::vector<std::string> tokens;
    std::string current;
    int depth = 0;
    for (const char c : text) {
        if (c == '(') {
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
            continue;
        }
        const bool separator =
            depth > 0 || c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n' || c == '(';
        if (separator) {
            if (!current.empty()) {
                tokens.push_back(std::move(current));
                current.clear();
            }
            continue;
        }
        current += Lower(c);
    }
    if (!current.empty()) {
        tokens.push_back(std::move(current));
    }
    return tokens;
}

// A run of 1 to max_digits digits making up the whole token.
std::optional<int> Number(std::string_view token, std::size_t max_digits) {
    if (token.empty() || token.size() > max_digits) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : token) {
        if (!IsDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<int> Month(std::string_view token) {
    if (token.size() < 3) {
        return std::nullopt;
    }
    for (std::size_t m = 0; m < kMonthNames.size(); ++m) {
        if (token.substr(0, 3) == kMonthNames[m]) {
            return static_cast<int>(m) + 1;
        }
    }
    return std::nullopt;
}

bool IsDayName(std::string_view token) {
    if (token.size() < 3) {
        return false;
    }
    for (const auto day : kDayNames) {
        if (token.substr(0, 3) == day) {
            return true;
        }
    }
    return false;
}

std::optional<int> Zone(std::string_view token) {
    if ((token[0] == '+' || token[0] == '-') && token.size() == 5) {
        const auto hh = Number(token.substr(1, 2), 2);
        const auto mm = Number(token.substr(3, 2), 2);
        if (!hh || !mm || *hh > 23 || *mm > 59) {
            return std::nullopt;
        }
        const int minutes = *hh * 60 + *mm;
        return token[0] == '-' ? -minutes : minutes;
    }
    if (token == "jst") {
        return kJstMinutes;
    }
    for (const auto& zone : kNamedZones) {
        if (token == zone.name) {
            return zone.minutes;
        }
    }
    // Military zones other than Z: RFC 5322 says their sense was confused in RFC 822 and they
    // are to be taken as -0000.
    if (token.size() == 1 && IsAlpha(token[0]) && token[0] != 'j') {
        return 0;
    }
    // Other alphabetic zones of 3 to 5 letters (CET, KST, ...) have been used; RFC 5322 says one
    // whose meaning is not known is to be taken as -0000.
    if (token.size() >= 3 && token.size() <= 5 &&
        std::all_of(token.begin(), token.end(), IsAlpha)) {
        return 0;
    }
    return std::nullopt;
}

bool IsLeapYear(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(std::int64_t year, int month) {
    constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy =
        (153 * static_cast<unsigned>(m + (m > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(d) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

std::optional<TimeOfDay> Time(std::string_view token) {
    const std::size_t c1 = token.find(':');
    if (c1 == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t c2 = token.find(':', c1 + 1);
    const auto hh = Number(token.substr(0, c1), 2);
    const auto mm =
        Number(token.substr(c1 + 1, c2 == std::string_view::npos ? c2 : c2 - c1 - 1), 2);
    std::optional<int> ss = 0;
    if (c2 != std::string_view::npos) {
        ss = Number(token.substr(c2 + 1), 2);
    }
    if (!hh || !mm || !ss || *hh > 23 || *mm > 59 || *ss > 60) {
        return std::nullopt;
    }
    // A leap second is kept inside its minute: the file time only needs to be close.
    return TimeOfDay{*hh, *mm, *ss == 60 ? 59 : *ss};
}

}  // namespace

std::optional<std::time_t> ParseMailDate(std::string_view text) {
    std::vector<std::string> tokens = Tokenize(text);
    std::size_t i = 0;
    if (i < tokens.size() && IsDayName(tokens[i]) && !IsDigit(tokens[i][0])) {
        ++i;
    }
    if (tokens.size() < i + 4) {
        return std::nullopt;
    }
    // The time and the zone are sometimes written together ("12:00:00+0900").
    std::string& time_token = tokens[i + 3];
    const std::size_t sign = time_token.find_first_of("+-");
    if (sign != std::string::npos && sign > 0) {
        tokens.insert(tokens.begin() + static_cast<std::ptrdiff_t>(i + 4), time_token.substr(sign));
        tokens[i + 3].resize(sign);
    }
    const auto day = Number(tokens[i], 2);
    const auto month = Month(tokens[i + 1]);
    const auto year_digits = tokens[i + 2].size();
    const auto year_value = Number(tokens[i + 2], 4);
    const auto time = Time(tokens[i + 3]);
    if (!day || !month || !year_value || !time || year_digits < 2) {
        return std::nullopt;
    }
    std::int64_t year = *year_value;
    if (year_digits == 2) {
        year += year < 50 ? 2000 : 1900;
    } else if (year_digits == 3) {
        year += 1900;
    }
    if (year < 1900 || *day < 1 || *day > DaysInMonth(year, *month)) {
        return std::nullopt;
    }
    int zone_minutes = 0;
    if (i + 4 < tokens.size()) {
        const auto zone = Zone(tokens[i + 4]);
        if (!zone) {
            return std::nullopt;
        }
        zone_minutes = *zone;
    }
    const std::int64_t seconds = DaysFromCivil(year, *month, *day) * 86400 + time->hour * 3600 +
                                 time->minute * 60 + time->second -
                                 static_cast<std::int64_t>(zone_minutes) * 60;
    return static_cast<std::time_t>(seconds);
}

}  // namespace brindle
