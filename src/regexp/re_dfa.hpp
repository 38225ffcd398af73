// TRE_DFA: the deterministic automaton, built from a TRE_NFA by subset construction.
//
// Construction first cuts the character space into classes: the boundaries of every range on
// any NFA transition split 0..0xFFFF (and the two reserved marker values above it) into
// intervals that no transition range crosses. The subset construction then works per class,
// which also keeps it sound where ranges overlap (a literal ^ or $ is not part of the parse
// tree's disjoint ranges). Each deterministic state gets a dense row of next states indexed by
// class, so a step of the matcher is two table lookups: byte or double-byte character to class,
// then state and class to the next state.
//
// Budgets: at most kMaxStates deterministic states, at most kMaxTableEntries row entries
// (states times classes) and at most kMaxConstructionSteps units of construction work; an
// expression that needs more raises ERegExpParser "正規表現が複雑すぎます。" instead of running
// out of time or memory.
//
// For the matchers, the automaton also works out where a match can begin: the set of first
// bytes of the characters leaving the initial state, and the literal prefix that every match
// starts with when the first states form a chain of single characters.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sjis.hpp"
#include "regexp/re_boundary_search.hpp"
#include "regexp/re_nfa.hpp"
#include "regexp/re_types.hpp"

namespace brindle {

// One deterministic transition as the sorted list shows it: adjacent classes that lead to the
// same state are merged into one range. Marker transitions show the marker's own value.
struct RE_DFATrans_t {
    RECharClass_t CharClass;
    int Target = 0;
    bool Marker = false;  // a reserved line-head or line-tail marker, not a text character
};

class TRE_DFA {
  public:
    static constexpr int kNoState = -1;
    static constexpr int kMaxStates = 4000;
    static constexpr std::size_t kMaxTableEntries = std::size_t{1} << 22;
    static constexpr std::size_t kMaxConstructionSteps = 30'000'000;

    // The NFA is read only by Run and may be freed after it.
    explicit TRE_DFA(const TRE_NFA& nfa);

    void Run();

    int GetpInitialDFAState() const { return 0; }
    int StateCount() const { return static_cast<int>(accepting_.size()); }
    bool IsAccepting(int state) const { return accepting_[state] != 0; }
    const std::vector<RE_DFATrans_t>& Transitions(int state) const { return sorted_[state]; }

    // Target of the state's transition whose range holds c, by the sorted list; kNoState when
    // none. c is a text character, never a marker (see LineHeadTarget / LineTailTarget).
    int NextDFAState(int state, WChar_t c) const;
    int LineHeadTarget(int state) const { return MarkerTarget(state, head_class_); }
    int LineTailTarget(int state) const { return MarkerTarget(state, tail_class_); }

    bool GetHasLHead() const { return has_lhead_; }
    bool GetHasLTail() const { return has_ltail_; }
    bool GetRegExpIsSimple() const { return simple_; }
    const std::string& GetSimpleRegExp() const { return simple_string_; }

    // Fast stepping over text. Reads the character at p (p < end) and returns its class;
    // length becomes 1 or 2. A lead byte at the very end is a character of its own value.
    int ClassAt(const unsigned char* p, const unsigned char* end, std::size_t& length) const {
        const unsigned char b = *p;
        if (sjis::IsLeadByte(b) && p + 1 < end) {
            length = 2;
            return dbl_class_[static_cast<std::size_t>(LeadIndex(b)) * 256 + p[1]];
        }
        length = 1;
        return byte_class_[b];
    }
    int Step(int state, int cls) const {
        return next_[static_cast<std::size_t>(state) * class_count_ +
                     static_cast<std::size_t>(cls)];
    }

    // Where a match from the initial state can begin.
    const RESearchPlan_t& StartPlan() const { return plan_; }
    // Bytes that can begin a character taking a transition from the initial state.
    const std::array<bool, 256>& FirstBytes() const { return plan_.Table; }
    // Bytes every match from the initial state begins with (empty when none or when the
    // initial state accepts).
    const std::string& LiteralPrefix() const { return plan_.Prefix; }

  private:
    static int LeadIndex(unsigned char b) { return b <= 0x9F ? b - 0x81 : b - 0xE0 + 31; }
    int MarkerTarget(int state, int cls) const { return cls < 0 ? kNoState : Step(state, cls); }
    int ClassOfValue(std::uint32_t v) const;

    void BuildClasses();
    void Convert_NFA_to_DFA();
    void StateListSort();
    void CheckIfRegExpIsSimple();
    void ComputeStartInfo();

    const TRE_NFA* nfa_;
    bool has_lhead_ = false;
    bool has_ltail_ = false;
    bool simple_ = false;
    std::string simple_string_;

    std::vector<std::uint32_t> bounds_;  // class k is [bounds_[k], bounds_[k+1])
    std::size_t class_count_ = 0;
    std::array<std::uint16_t, 256> byte_class_{};
    std::vector<std::uint16_t> dbl_class_;  // 60 lead bytes x 256 trail bytes
    int head_class_ = -1;
    int tail_class_ = -1;

    std::vector<int> next_;  // StateCount() rows of class_count_ entries
    std::vector<std::uint8_t> accepting_;
    std::vector<std::vector<RE_DFATrans_t>> sorted_;

    RESearchPlan_t plan_;
};

}  // namespace brindle
