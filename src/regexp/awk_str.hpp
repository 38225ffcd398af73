// TAWKStr: the AWK string functions over the engine: match, sub, gsub and split, with the
// escape processing that the condition matcher applies to every text it searches.
//
// Positions are 1-based byte positions; 0 means no match. Until an expression is set the
// empty expression is in force, which matches the empty string at position 1. Each change of
// the expression picks the match procedure: MatchEX when it has an anchor, else MatchStd.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "regexp/re_match_core.hpp"

namespace brindle {

class TAWKStr : public TMatchCORE {
  public:
    TAWKStr();

    // The 1-based start of the first (leftmost, longest) match, or 0; start and length are
    // set to the match's start and byte length (0 and 0 when there is none).
    std::size_t Match(std::string_view text, std::size_t& start, std::size_t& length) const;
    std::size_t Match(std::string_view text) const;

    // Replaces the first match; false when there is none.
    bool Sub(const std::string& replacement, std::string& text) const;
    // Replaces every match; returns the number of replacements.
    std::size_t GSub(const std::string& replacement, std::string& text) const;
    // Splits text at every match; returns the number of fields.
    std::size_t Split(std::string_view text, std::vector<std::string>& list) const;

    // Decodes \b \n \r \t, \x with up to four hexadecimal digits, octal escapes with up to six
    // digits; a backslash before any other character stands for that character. Raises
    // ERegExpParser for a trailing backslash, a bad escape or a lone lead byte at the end.
    static std::string ProcessEscSeq(std::string_view text);
    // The same within the text itself (no escape is shorter than what it stands for), for texts
    // too long to keep twice. After an error the text holds partly processed bytes.
    static void ProcessEscSeqInPlace(std::string& text);
    // Where the escape processing first changes the text or fails on it: the first backslash
    // that is a character of its own, or a lead byte that is the text's last character; npos
    // when it would give the text back unchanged (a text whose backslash bytes are all trail
    // bytes, or that has none). Found with memchr, without walking every character.
    static std::size_t FirstEscape(std::string_view text);
    // ProcessEscSeqInPlace when FirstEscape(text) is known to be `first` (npos: nothing to do).
    static void ProcessEscSeqInPlace(std::string& text, std::size_t first);
    // The replacement with & standing for the matched text and \& for a literal ampersand.
    static std::string Substitute_MatchStr_For_ANDChar(std::string_view replacement,
                                                       std::string_view matched);

  protected:
    void ExpressionChanged() override;

  private:
    // FirstEscape from `from`, a character start.
    static std::size_t NextEscape(std::string_view text, std::size_t from);

    std::optional<REMatch_t> RunMatch(std::string_view text) const {
        return use_ex_ ? MatchEX(text) : MatchStd(text);
    }

    bool use_ex_ = false;
};

}  // namespace brindle
