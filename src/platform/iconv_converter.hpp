// A small owner of one glibc iconv conversion descriptor. glibc's iconv is the stand-in for
// the Windows conversion services: it serves the code pages of mail bodies (EUC-JP-MS, UTF-7,
// UTF-8 into CP932) and the edges of the program (file names, the settings file, the GUI).
//
// iconv itself never replaces anything: with //TRANSLIT its output depends on the locale, so
// the lenient conversion here writes a fixed replacement and steps over the offending input
// itself, which keeps results the same on every machine.
#pragma once

#include <iconv.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace brindle {

class IconvConverter {
  public:
    // Bytes to step over at an input sequence that cannot be converted, given the input from
    // that sequence on (never empty). Must return at least 1; larger values are clamped to the
    // input that is left.
    using SkipRule = std::size_t (*)(std::string_view rest);

    // Throws Exception when the pair of encodings is not available.
    IconvConverter(const char* to_code, const char* from_code);
    ~IconvConverter();
    IconvConverter(IconvConverter&& other) noexcept;
    IconvConverter& operator=(IconvConverter&& other) noexcept;
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    // Converts all of input. Each sequence that is invalid or has no form in the target gives
    // one copy of replacement, and `skip` bytes of input are stepped over; an incomplete
    // sequence at the end gives one replacement. Never fails.
    std::string ConvertLenient(std::string_view input, std::string_view replacement, SkipRule skip);

    // The whole input converted, or nullopt at the first sequence that cannot be converted.
    std::optional<std::string> ConvertStrict(std::string_view input);

    // Steps one byte, or a whole UTF-8 character when one starts at rest.
    static std::size_t SkipUtf8Character(std::string_view rest);
    // Steps one byte, or a whole CP932 double-byte character when a lead byte is followed by a
    // byte that can be a trail byte.
    static std::size_t SkipCp932Character(std::string_view rest);
    // Steps one byte, or a whole EUC-JP character (two or three bytes) when one starts at rest.
    static std::size_t SkipEucJpCharacter(std::string_view rest);

  private:
    void ResetState();
    iconv_t cd_;
};

}  // namespace brindle
