// The scanner: turns an expression into tokens for the parser and the preprocessor.
//
// Two modes. Outside brackets every metacharacter is an operator and a backslash makes the
// next character literal. Inside brackets only ] and - mean anything: a member is a character
// or a range a-b, and a - that stands first or last is a literal. GetToken switches between the
// modes on [ and ]. The scanner reads wide characters, so a trail byte is never taken for a
// metacharacter, and it never reads past the end of the expression.
#pragma once

#include <string>

#include "regexp/re_types.hpp"

namespace brindle {

class TREScanner {
  public:
    explicit TREScanner(std::string regexp = {});

    // New text, position back to 1; the in-bracket flag is left as it is.
    void SetRegExpStr(std::string regexp);
    const std::string& GetRegExpStr() const { return regexp_; }
    // Back to the first character, outside brackets: a scan that ended in an error inside
    // brackets must not leave the next scan of the same scanner in bracket mode.
    void Rewind();

    REToken_t GetToken();
    REToken_t GetTokenStd();
    REToken_t GetTokenCC();

    REToken_t Token() const { return token_; }
    const RESymbol_t& Symbol() const { return symbol_; }
    // 1-based byte position of the next character to read.
    int Index() const { return index_; }
    bool InCharClass() const { return in_char_class_; }

  private:
    bool AtEnd() const;

    std::string regexp_;
    int index_ = 1;
    REToken_t token_ = retk_End;
    RESymbol_t symbol_;
    bool in_char_class_ = false;
};

}  // namespace brindle
