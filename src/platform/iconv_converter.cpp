#include "platform/iconv_converter.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/exception.hpp"
#include "platform/sjis.hpp"

namespace brindle {

namespace {

const iconv_t kInvalidDescriptor =
    reinterpret_cast<iconv_t>(-1);  // NOLINT: iconv's own error value

// Length of the valid UTF-8 character at the start of rest, or 0 when it is not one.
std::size_t Utf8CharacterLength(std::string_view rest) {
    const auto b0 = static_cast<unsigned char>(rest[0]);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b0 < 0x80) {
        return 1;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        if (b0 == 0xE0) {
            low = 0xA0;  // overlong
        } else if (b0 == 0xED) {
            high = 0x9F;  // surrogates
        }
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        if (b0 == 0xF0) {
            low = 0x90;
        } else if (b0 == 0xF4) {
            high = 0x8F;  // beyond U+10FFFF
        }
    } else {
        return 0;
    }
    if (rest.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(rest[i]);
        const unsigned char lo = i == 1 ? low : 0x80;
        const unsigned char hi = i == 1 ? high : 0xBF;
        if (b < lo || b > hi) {
            return 0;
        }
    }
    return length;
}

}  // namespace

IconvConverter::IconvConverter(const char* to_code, const char* from_code)
    : cd_(iconv_open(to_code, from_code)) {
    if (cd_ == kInvalidDescriptor) {
        throw Exception(std::string("iconv_open(") + to_code + ", " + from_code +
                        "): " + std::strerror(errno));
    }
}

IconvConverter::~IconvConverter() {
    if (cd_ != kInvalidDescriptor) {
        iconv_close(cd_);
    }
}

IconvConverter::IconvConverter(IconvConverter&& other) noexcept
    : cd_(std::exchange(other.cd_, kInvalidDescriptor)) {}

IconvConverter& IconvConverter::operator=(IconvConverter&& other) noexcept {
    if (this != &other) {
        if (cd_ != kInvalidDescriptor) {
            iconv_close(cd_);
        }
        cd_ = std::exchange(other.cd_, kInvalidDescriptor);
    }
    return *this;
}

void IconvConverter::ResetState() {
    if (cd_ != kInvalidDescriptor) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
}

namespace {

// One pass of iconv over in, appending to out. Returns the errno of the stop (0 when all the
// input was consumed and the shift state flushed).
int ConvertChunk(iconv_t cd, const char*& in, std::size_t& in_left, std::string& out) {
    char buffer[16384];
    for (;;) {
        char* out_ptr = buffer;
        std::size_t out_left = sizeof buffer;
        if (in_left == 0) {
            // All input consumed: a call with null input writes any closing shift sequence.
            iconv(cd, nullptr, nullptr, &out_ptr, &out_left);
            out.append(buffer, static_cast<std::size_t>(out_ptr - buffer));
            return 0;
        }
        // glibc's iconv takes char** although it never writes through the input.
        auto* in_ptr = const_cast<char*>(in);  // NOLINT
        const std::size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
        const int error = rc == static_cast<std::size_t>(-1) ? errno : 0;
        in = in_ptr;
        out.append(buffer, static_cast<std::size_t>(out_ptr - buffer));
        if (error != 0 && error != E2BIG) {
            return error;
        }
    }
}

}  // namespace

std::string IconvConverter::ConvertLenient(std::string_view input, std::string_view replacement,
                                           SkipRule skip) {
    ResetState();
    std::string out;
    out.reserve(input.size() + input.size() / 2);
    const char* in = input.data();
    std::size_t in_left = input.size();
    while (true) {
        const int error = ConvertChunk(cd_, in, in_left, out);
        if (error == 0) {
            break;
        }
        out.append(replacement);
        if (error == EINVAL || in_left == 0) {
            break;  // an incomplete sequence at the end of the input
        }
        // EILSEQ: step over the offending sequence ourselves; anything else (EBADF) the same,
        // so that the loop always moves on.
        const std::size_t step =
            std::clamp<std::size_t>(skip(std::string_view(in, in_left)), 1, in_left);
        in += step;
        in_left -= step;
    }
    ResetState();
    return out;
}

std::optional<std::string> IconvConverter::ConvertStrict(std::string_view input) {
    ResetState();
    std::string out;
    out.reserve(input.size() + input.size() / 2);
    const char* in = input.data();
    std::size_t in_left = input.size();
    const int error = ConvertChunk(cd_, in, in_left, out);
    ResetState();
    if (error != 0) {
        return std::nullopt;
    }
    return out;
}

std::size_t IconvConverter::SkipUtf8Character(std::string_view rest) {
    if (rest.empty()) {
        return 1;
    }
    return std::max<std::size_t>(1, Utf8CharacterLength(rest));
}

std::size_t IconvConverter::SkipCp932Character(std::string_view rest) {
    if (rest.size() >= 2 && sjis::IsLeadByte(rest[0])) {
        const auto trail = static_cast<unsigned char>(rest[1]);
        if ((trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC)) {
            return 2;
        }
    }
    return 1;
}

std::size_t IconvConverter::SkipEucJpCharacter(std::string_view rest) {
    auto high = [&](std::size_t i) {
        return i < rest.size() && static_cast<unsigned char>(rest[i]) >= 0xA1 &&
               static_cast<unsigned char>(rest[i]) <= 0xFE;
    };
    if (rest.empty()) {
        return 1;
    }
    const auto b0 = static_cast<unsigned char>(rest[0]);
    if (b0 == 0x8E && high(1)) {
        return 2;
    }
    if (b0 == 0x8F && high(1) && high(2)) {
        return 3;
    }
    if (high(0) && high(1)) {
        return 2;
    }
    return 1;
}

}  // namespace brindle
