#include "regexp/re_nfa.hpp"

#include <tuple>

namespace brindle {

TRE_NFA::TRE_NFA(REpNode_t root, WChar_t line_head, WChar_t line_tail)
    : root_(root), line_head_(line_head), line_tail_(line_tail) {}

void TRE_NFA::Run() {
    states_.clear();
    transition_count_ = 0;
    has_lhead_ = false;
    has_ltail_ = false;
    NumberNode();  // entry
    NumberNode();  // exit
    GenerateStateList(root_, kEntryState, kExitState);
}

int TRE_NFA::NumberNode() {
    if (static_cast<int>(states_.size()) >= kMaxStates) {
        throw ERegExpParser(Msg(CoreMsg::RegexTooComplex), 1);
    }
    states_.emplace_back();
    return static_cast<int>(states_.size()) - 1;
}

void TRE_NFA::AddTransition(int from, int to, std::uint32_t start, std::uint32_t end) {
    if (++transition_count_ > kMaxTransitions) {
        throw ERegExpParser(Msg(CoreMsg::RegexTooComplex), 1);
    }
    states_[from].push_back(RE_NFATrans_t{start, end, to, false});
}

void TRE_NFA::AddEmptyTransition(int from, int to) {
    if (++transition_count_ > kMaxTransitions) {
        throw ERegExpParser(Msg(CoreMsg::RegexTooComplex), 1);
    }
    states_[from].push_back(RE_NFATrans_t{0, 0, to, true});
}

void TRE_NFA::GenerateStateList(REpNode_t node, int entry, int exit) {
    std::vector<std::tuple<REpNode_t, int, int>> work;
    work.emplace_back(node, entry, exit);
    while (!work.empty()) {
        auto [n, e, x] = work.back();
        work.pop_back();
        if (n == nullptr) {
            // A tree from the parser never has a missing child; an empty path is the safe
            // reading should one slip through.
            AddEmptyTransition(e, x);
            continue;
        }
        switch (n->op) {
            case reop_Char:
                AddTransition(e, x, n->CharClass.StartChar, n->CharClass.EndChar);
                break;
            case reop_LHead:
                if (e == kEntryState) {
                    has_lhead_ = true;
                    const std::uint32_t v = LineHeadValue();
                    AddTransition(e, x, v, v);
                } else {
                    AddTransition(e, x, n->CharClass.StartChar, n->CharClass.EndChar);
                }
                break;
            case reop_LTail:
                if (x == kExitState) {
                    has_ltail_ = true;
                    const std::uint32_t v = LineTailValue();
                    AddTransition(e, x, v, v);
                } else {
                    AddTransition(e, x, n->CharClass.StartChar, n->CharClass.EndChar);
                }
                break;
            case reop_Concat: {
                const int m = NumberNode();
                work.emplace_back(n->Children.pRight, m, x);
                work.emplace_back(n->Children.pLeft, e, m);
                break;
            }
            case reop_Union:
                work.emplace_back(n->Children.pRight, e, x);
                work.emplace_back(n->Children.pLeft, e, x);
                break;
            case reop_Closure: {
                const int s1 = NumberNode();
                const int s2 = NumberNode();
                AddEmptyTransition(e, s1);
                AddEmptyTransition(s2, s1);
                AddEmptyTransition(s1, x);
                work.emplace_back(n->Children.pLeft, s1, s2);
                break;
            }
            case reop_Empty:
                AddEmptyTransition(e, x);
                break;
            default:
                throw Exception("This cannot happen in TRE_NFA.GenerateStateList");
        }
    }
}

}  // namespace brindle
