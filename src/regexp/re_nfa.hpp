// TRE_NFA: the nondeterministic automaton of a parse tree.
//
// States are numbers; state 0 is the entry and state 1 the exit, and the exit never has a
// transition of its own. A transition is either empty or carries a character range. Anchors
// become transitions on two marker characters chosen by the owner: ^ where nothing can have been
// consumed on its path from the entry, $ where nothing can follow on its path to the exit;
// elsewhere they stay the literal characters ^ and $.
//
// The markers 0xFFFD and 0xFFFE are reserved values that no text character takes, but an
// expression can still spell them (\xFFFD). To keep such a character from acting as an anchor,
// a reserved marker is stored as a value above the 16-bit range (kMarkerBase + marker); a
// marker that is an ordinary character (the line feed of the text-file search) is stored as
// itself, so that the text's own line feeds take the transition.
//
// The tree is walked with an explicit stack: a long literal is a left-deep chain of
// concatenations, and its depth must not become the depth of the call stack. Every use of a
// shared subtree (the operand of +) is generated again, so ((a+)+)+ doubles per level; the
// state and transition budgets stop that with "正規表現が複雑すぎます。".
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "regexp/re_tree.hpp"
#include "regexp/re_types.hpp"

namespace brindle {

// Reserved markers are kept apart from text characters by this offset.
constexpr std::uint32_t kMarkerBase = 0x10000;

// One transition; an empty transition has Empty set and no range.
struct RE_NFATrans_t {
    std::uint32_t StartChar = 0;
    std::uint32_t EndChar = 0;
    int Target = 0;
    bool Empty = false;
};

class TRE_NFA {
  public:
    static constexpr int kMaxStates = 20000;
    static constexpr std::size_t kMaxTransitions = 60000;
    static constexpr int kEntryState = 0;
    static constexpr int kExitState = 1;

    TRE_NFA(REpNode_t root, WChar_t line_head, WChar_t line_tail);

    void Run();

    int NumberNode();
    void AddTransition(int from, int to, std::uint32_t start, std::uint32_t end);
    void AddEmptyTransition(int from, int to);
    void GenerateStateList(REpNode_t node, int entry, int exit);

    int StateCount() const { return static_cast<int>(states_.size()); }
    const std::vector<RE_NFATrans_t>& Transitions(int state) const { return states_[state]; }
    bool GetHasLHead() const { return has_lhead_; }
    bool GetHasLTail() const { return has_ltail_; }
    // The values under which the two markers' transitions are stored.
    std::uint32_t LineHeadValue() const { return MarkerValue(line_head_); }
    std::uint32_t LineTailValue() const { return MarkerValue(line_tail_); }
    WChar_t LineHeadWChar() const { return line_head_; }
    WChar_t LineTailWChar() const { return line_tail_; }

    static std::uint32_t MarkerValue(WChar_t marker) {
        return marker >= kLineHeadMarker ? kMarkerBase + marker : marker;
    }

  private:
    REpNode_t root_;
    WChar_t line_head_;
    WChar_t line_tail_;
    bool has_lhead_ = false;
    bool has_ltail_ = false;
    std::size_t transition_count_ = 0;
    std::vector<std::vector<RE_NFATrans_t>> states_;
};

}  // namespace brindle
