#include "regexp/re_match_core.hpp"

#include "platform/work_count.hpp"
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
    const std::size_t n = text.size();
    TRunMemo memo(n, dfa.StateCount());
    if (dfa.IsAccepting(initial)) {
        return REMatch_t{0, *Run(text, 0, initial, memo)};
    }
    TBoundarySearch search(text, dfa.StartPlan());
    for (std::size_t p = search.Next(0); p < n; p = search.Next(p + CharLen(text, p))) {
        if (const auto e = Run(text, p, initial, memo)) {
            return REMatch_t{p, *e};
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> TMatchCORE::Run(std::string_view text, std::size_t p, int state,
                                           TRunMemo& memo) const {
    if (state < 0 || p > text.size()) {
        return std::nullopt;
    }
    memo.StartAt(p);
    const TRE_DFA& dfa = GetCurrentDFA();
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = data + text.size();
    const std::size_t n = text.size();
    const bool has_tail = dfa.GetHasLTail();
    std::optional<std::size_t> found;
    std::size_t pos = p;
    for (;;) {
        if (dfa.IsAccepting(state)) {
            found = pos;
        }
        // $ holds before a line end and at the end of the text. It is taken whenever it holds,
        // not only when the character itself leads nowhere: a longer attempt through the line
        // end may still fail, and the anchored match must not be lost with it.
        if (has_tail && (pos >= n || IsLineEnd(data[pos])) &&
            dfa.LineTailTarget(state) != TRE_DFA::kNoState) {
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
        if (memo.Seen(pos, state)) {
            break;  // a run that found nothing went on from here before
        }
        memo.Record(pos, state);
    }
    if (!found) {
        memo.NoteFailedRun(pos - p);
    }
    CountWork(pos - p + 1);
    return found;
}

std::optional<std::size_t> TMatchCORE::MatchInside(std::string_view text, std::size_t p,
                                                   int state) const {
    TRunMemo memo(0);
    return Run(text, p, state, memo);
}

std::optional<std::size_t> TMatchCORE::MatchHead(std::string_view text, std::size_t p,
                                                 int state) const {
    TRunMemo memo(0);
    return Head(text, p, state, memo);
}

std::optional<std::size_t> TMatchCORE::Head(std::string_view text, std::size_t p, int state,
                                            TRunMemo& memo) const {
    const TRE_DFA& dfa = GetCurrentDFA();
    if (!dfa.GetHasLHead()) {
        return Run(text, p, state, memo);
    }
    const auto r1 = Run(text, p, state < 0 ? state : dfa.LineHeadTarget(state), memo);
    if (!r1) {
        return std::nullopt;
    }
    const auto r2 = Run(text, p, state, memo);
    return (r2 && *r2 >= *r1) ? r2 : r1;
}

std::optional<REMatch_t> TMatchCORE::MatchEX(std::string_view text) const {
    TRunMemo memo(text.size(), GetCurrentDFA().StateCount());
    if (const auto e = Head(text, 0, GetpInitialDFAState(), memo)) {
        return REMatch_t{0, *e};
    }
    return Inside(text, memo);
}

std::optional<REMatch_t> TMatchCORE::MatchEX_Inside(std::string_view text) const {
    TRunMemo memo(text.size(), GetCurrentDFA().StateCount());
    return Inside(text, memo);
}

std::optional<REMatch_t> TMatchCORE::Inside(std::string_view text, TRunMemo& memo) const {
    const TRE_DFA& dfa = GetCurrentDFA();
    const int initial = dfa.GetpInitialDFAState();
    const std::size_t n = text.size();
    TBoundarySearch search(text, inside_plan_);
    for (std::size_t p = search.Next(0); p < n; p = search.Next(p + CharLen(text, p))) {
        if (const auto e = Run(text, p, initial, memo)) {
            return REMatch_t{p, *e};
        }
        if (static_cast<unsigned char>(text[p]) == kLF && dfa.GetHasLHead()) {
            if (const auto e = Head(text, p + 1, initial, memo)) {
                return REMatch_t{p + 1, *e};
            }
        }
    }
    // At the end of the text an empty match can still hold: through $, or because the
    // expression matches the empty string (with an empty text nothing else is ever tried).
    if (const auto e = Run(text, n, initial, memo)) {
        return REMatch_t{n, *e};
    }
    return std::nullopt;
}

}  // namespace brindle
