#include "regexp/grep.hpp"

#include <array>

#include "regexp/re_boundary_search.hpp"
#include "regexp/re_run_memo.hpp"

namespace brindle {

TGrep::TGrep() {
    GetListOfFuzzyCharDic().push_back(&RE_FuzzyCharDic());
}

void TGrep::Grep(const std::string& file_name) {
    if (by_string_) {
        GrepByStr(file_name);
    } else {
        GrepByRegExp(file_name);
    }
}

void TGrep::Report(const RE_LineInfo_t& info) {
    if (ProcessMessages) {
        ProcessMessages();
    }
    if (Cancel) {
        throw EGrepCancel();
    }
    OnMatch(*this, info);
}

template <typename LineTest>
void TGrep::Search(const std::string& file_name, LineTest&& test) {
    if (!OnMatch) {
        return;
    }
    Cancel = false;
    try {
        TTxtFile file(file_name, &Cancel, ProcessMessages);
        RE_LineInfo_t info;
        std::string framed;
        for (;;) {
            file.ReadLine(info.Line);
            framed.assign(1, '\n');
            framed += info.Line;
            framed.push_back('\n');
            if (test(std::string_view(framed), info.Line.size() + 1)) {
                info.LineNo = file.LineNumber();
                Report(info);
            }
        }
    } catch (const EEndOfFile&) {
        // The normal end of a search.
    }
}

void TGrep::GrepByRegExp(const std::string& file_name) {
    const TRE_DFA& dfa = GetCurrentDFA();
    const int initial = dfa.GetpInitialDFAState();
    RESearchPlan_t plan = dfa.StartPlan();
    if (dfa.IsAccepting(initial)) {
        plan = RESearchPlan_t{};
        plan.Table.fill(true);
        plan.Finish();
    }
    // Any match from a start before limit (the line feed that ends the line) reports the line.
    Search(file_name, [&](std::string_view framed, std::size_t limit) {
        const auto* data = reinterpret_cast<const unsigned char*>(framed.data());
        const unsigned char* end = data + framed.size();
        TBoundarySearch search(framed, plan);
        TRunMemo memo(framed.size(), dfa.StateCount());
        for (std::size_t p = search.Next(0); p < limit;
             p = search.Next(p + sjis::CharLength(framed, p))) {
            int state = initial;
            std::size_t pos = p;
            memo.StartAt(p);
            for (;;) {
                if (dfa.IsAccepting(state)) {
                    return true;
                }
                if (pos >= framed.size()) {
                    break;
                }
                std::size_t len;
                state = dfa.Step(state, dfa.ClassAt(data + pos, end, len));
                if (state < 0) {
                    break;
                }
                pos += len;
                if (memo.Seen(pos, state)) {
                    break;
                }
                memo.Record(pos, state);
            }
            memo.NoteFailedRun(pos - p);
        }
        return false;
    });
}

void TGrep::GrepByStr(const std::string& file_name) {
    const std::string needle = GetSimpleRegExp();
    RESearchPlan_t plan;
    if (needle.empty()) {
        plan.Table.fill(true);
    } else {
        plan.Table[static_cast<unsigned char>(needle[0])] = true;
        plan.Prefix = needle;
    }
    plan.Finish();
    Search(file_name, [&](std::string_view framed, std::size_t limit) {
        if (needle.empty()) {
            return true;
        }
        // The search runs over the whole framed line (the needle may end on the closing line
        // feed), but only starts before limit count.
        TBoundarySearch search(framed, plan);
        for (std::size_t p = search.Next(0); p < limit;
             p = search.Next(p + sjis::CharLength(framed, p))) {
            if (framed.compare(p, needle.size(), needle) == 0) {
                return true;
            }
        }
        return false;
    });
}

}  // namespace brindle
