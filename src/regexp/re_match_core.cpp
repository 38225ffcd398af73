#include "regexp/re_match_core.hpp"

#include "regexp/re_boundary_search.hpp"

namespace brindle {
namespace {

constexpr unsigned char kLF = 0x0A;

std::size_t CharLen(std::string_view text, std::size_t p) {
    return sjis::CharLength(text, p);
}

}  // namespace

TMatchCORE::TMatchCORE() {
    RefreshInsideTable();
}

void TMatchCORE::SetLineSeparator(TMatchCORE_LineSeparator separator) {
    line_separator_ = separator;
    RefreshInsideTable();
}

void TMatchCORE::ExpressionChanged() {
    TRegularExpression::ExpressionChanged();
    RefreshInsideTable();
}

void TMatchCORE::RefreshInsideTable() {
    const TRE_DFA& dfa = GetCurrentDFA();
    const int initial = dfa.GetpInitialDFAState();
    inside_plan_ = RESearchPlan_t{};
    inside_plan_.Table = dfa.FirstBytes();
    if (dfa.IsAccepting(initial)) {
        inside_plan_.Table.fill(true);
    }
    if (dfa.GetHasLHead()) {
        inside_plan_.Table[kLF] = true;
    }
    if (dfa.LineTailTarget(initial) != TRE_DFA::kNoState) {
        inside_plan_.Table[line_separator_ == mcls_CRLF ? 13 : 10] = true;
    }
    inside_plan_.Finish();
}

std::optional<REMatch_t> TMatchCORE::MatchStd(std::string_view text) const {
    const TRE_DFA& dfa = GetCurrentDFA();
    const int initial = dfa.GetpInitialDFAState();
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = data + text.size();
    const std::size_t n = text.size();

    auto longest = [&](std::size_t p) -> std::optional<std::size_t> {
        std::optional<std::size_t> found;
        int state = initial;
        std::size_t pos = p;
        for (;;) {
            if (dfa.IsAccepting(state)) {
                found = pos;
            }
            if (pos >= n) {
                break;
            }
            std::size_t len;
            const int next = dfa.Step(state, dfa.ClassAt(data + pos, end, len));
            if (next < 0) {
                break;
            }
            state = next;
            pos += len;
        }
        return found;
    };

    if (dfa.IsAccepting(initial)) {
        return REMatch_t{0, *longest(0)};
    }
    TBoundarySearch search(text, dfa.StartPlan());
    for (std::size_t p = search.Next(0); p < n; p = search.Next(p + CharLen(text, p))) {
        if (const auto e = longest(p)) {
            return REMatch_t{p, *e};
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> TMatchCORE::MatchInside(std::string_view text, std::size_t p,
                                                   int state) const {
    if (state < 0 || p > text.size()) {
        return std::nullopt;
    }
    const TRE_DFA& dfa = GetCurrentDFA();
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = data + text.size();
    const std::size_t n = text.size();
    std::optional<std::size_t> found;
    std::size_t pos = p;
    for (;;) {
        if (dfa.IsAccepting(state)) {
            found = pos;
        }
        // $ holds before a line end and at the end of the text. It is taken whenever it holds,
        // not only when the character itself leads nowhere: a longer attempt through the line
        // end may still fail, and the anchored match must not be lost with it.
        const bool at_line_end = pos >= n || IsLineEnd(data[pos]);
        if (at_line_end && dfa.LineTailTarget(state) != TRE_DFA::kNoState) {
            found = pos;
        }
        if (pos >= n) {
            break;
        }
        std::size_t len;
        const int next = dfa.Step(state, dfa.ClassAt(data + pos, end, len));
        if (next < 0) {
            break;
        }
        state = next;
        pos += len;
    }
    return found;
}

std::optional<std::size_t> TMatchCORE::MatchHead(std::string_view text, std::size_t p,
                                                 int state) const {
    const TRE_DFA& dfa = GetCurrentDFA();
    if (!dfa.GetHasLHead()) {
        return MatchInside(text, p, state);
    }
    const auto r1 = MatchInside(text, p, state < 0 ? state : dfa.LineHeadTarget(state));
    if (!r1) {
        return std::nullopt;
    }
    const auto r2 = MatchInside(text, p, state);
    return (r2 && *r2 >= *r1) ? r2 : r1;
}

std::optional<REMatch_t> TMatchCORE::MatchEX(std::string_view text) const {
    if (const auto e = MatchHead(text, 0, GetpInitialDFAState())) {
        return REMatch_t{0, *e};
    }
    return MatchEX_Inside(text);
}

std::optional<REMatch_t> TMatchCORE::MatchEX_Inside(std::string_view text) const {
    const TRE_DFA& dfa = GetCurrentDFA();
    const int initial = dfa.GetpInitialDFAState();
    const std::size_t n = text.size();
    TBoundarySearch search(text, inside_plan_);
    for (std::size_t p = search.Next(0); p < n; p = search.Next(p + CharLen(text, p))) {
        if (const auto e = MatchInside(text, p, initial)) {
            return REMatch_t{p, *e};
        }
        if (static_cast<unsigned char>(text[p]) == kLF && dfa.GetHasLHead()) {
            if (const auto e = MatchHead(text, p + 1, initial)) {
                return REMatch_t{p + 1, *e};
            }
        }
    }
    // At the end of the text an empty match can still hold: through $, or because the
    // expression matches the empty string (with an empty text nothing else is ever tried).
    if (const auto e = MatchInside(text, n, initial)) {
        return REMatch_t{n, *e};
    }
    return std::nullopt;
}

}  // namespace brindle
