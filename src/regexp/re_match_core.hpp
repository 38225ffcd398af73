// TMatchCORE: runs the automaton in force over a text and finds the leftmost match, the
// longest one at that position, with line-head (^) and line-tail ($) anchors.
//
// The text is length-counted: a zero byte inside it is an ordinary character, and nothing is
// ever read at or past its end, whatever the expression. Start positions are tried on character
// boundaries only, and only where a match can begin: the automaton's first bytes (or its
// literal prefix) are searched for with memchr / memmem or a byte table, and a found position
// is confirmed to start a character before the automaton runs from it. From each start the
// automaton runs until it has no transition; a run that reaches a state at a position where an
// earlier fruitless run already was stops there (TRunMemo), which keeps long lines linear for
// expressions like a.*b.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "regexp/re_boundary_search.hpp"
#include "regexp/re_run_memo.hpp"
#include "regexp/regular_expression.hpp"

namespace brindle {

enum TMatchCORE_LineSeparator { mcls_CRLF = 0, mcls_LF = 1 };

// A match as byte offsets into the text: [Start, End).
struct REMatch_t {
    std::size_t Start = 0;
    std::size_t End = 0;
    friend bool operator==(const REMatch_t&, const REMatch_t&) = default;
};

class TMatchCORE : public TRegularExpression {
  public:
    TMatchCORE();

    TMatchCORE_LineSeparator LineSeparator() const { return line_separator_; }
    void SetLineSeparator(TMatchCORE_LineSeparator separator);

    // For expressions without anchors.
    std::optional<REMatch_t> MatchStd(std::string_view text) const;
    // For expressions with anchors: ^ at the text's start and after every line feed, $ before
    // the line end of LineSeparator and at the end of the text.
    std::optional<REMatch_t> MatchEX(std::string_view text) const;
    // MatchEX without a line-head match at the very start of the text.
    std::optional<REMatch_t> MatchEX_Inside(std::string_view text) const;
    // Longest match from p in state, as its end offset.
    std::optional<std::size_t> MatchInside(std::string_view text, std::size_t p, int state) const;
    std::optional<std::size_t> MatchHead(std::string_view text, std::size_t p, int state) const;
    bool IsLineEnd(unsigned char c) const { return c == (line_separator_ == mcls_CRLF ? 13 : 10); }

  protected:
    void ExpressionChanged() override;

  private:
    std::optional<std::size_t> Run(std::string_view text, std::size_t p, int state,
                                   TRunMemo& memo) const;
    std::optional<std::size_t> Head(std::string_view text, std::size_t p, int state,
                                    TRunMemo& memo) const;
    std::optional<REMatch_t> Inside(std::string_view text, TRunMemo& memo) const;
    void RefreshInsideTable();

    TMatchCORE_LineSeparator line_separator_ = mcls_CRLF;
    // Bytes at which MatchEX_Inside can succeed: first bytes, and line feeds and line ends where
    // the anchors make them count.
    RESearchPlan_t inside_plan_;
};

}  // namespace brindle
