#include "regexp/re_dfa.hpp"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "platform/sjis.hpp"
#include "platform/work_count.hpp"

namespace brindle {
namespace {

constexpr std::uint32_t kValueLimit = kMarkerBase + 0x10000;  // one past every stored value

[[noreturn]] void TooComplex() {
    throw ERegExpParser(Msg(CoreMsg::RegexTooComplex), 1);
}

struct ClassTrans {
    int FirstClass;
    int LastClass;
    int Target;
};

}  // namespace

TRE_DFA::TRE_DFA(const TRE_NFA& nfa) : nfa_(&nfa) {}

void TRE_DFA::Run() {
    has_lhead_ = nfa_->GetHasLHead();
    has_ltail_ = nfa_->GetHasLTail();
    BuildClasses();
    Convert_NFA_to_DFA();
    StateListSort();
    CheckIfRegExpIsSimple();
    ComputeStartInfo();
    nfa_ = nullptr;
}

int TRE_DFA::ClassOfValue(std::uint32_t v) const {
    const auto it = std::upper_bound(bounds_.begin(), bounds_.end(), v);
    return static_cast<int>(it - bounds_.begin()) - 1;
}

int TRE_DFA::NextDFAState(int state, WChar_t c) const {
    if (state < 0 || state >= StateCount()) {
        return kNoState;
    }
    return Step(state, ClassOfValue(c));
}

void TRE_DFA::BuildClasses() {
    bounds_ = {0, kMarkerBase, kValueLimit};
    for (int s = 0; s < nfa_->StateCount(); ++s) {
        for (const RE_NFATrans_t& t : nfa_->Transitions(s)) {
            if (!t.Empty) {
                bounds_.push_back(t.StartChar);
                bounds_.push_back(t.EndChar + 1);
            }
        }
    }
    std::sort(bounds_.begin(), bounds_.end());
    bounds_.erase(std::unique(bounds_.begin(), bounds_.end()), bounds_.end());
    class_count_ = bounds_.size() - 1;
    if (class_count_ >= 0xFFFF) {
        TooComplex();
    }
    for (int b = 0; b < 256; ++b) {
        byte_class_[static_cast<std::size_t>(b)] =
            static_cast<std::uint16_t>(ClassOfValue(static_cast<std::uint32_t>(b)));
    }
    dbl_class_.assign(60 * 256, 0);
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!sjis::IsLeadByte(static_cast<unsigned char>(lead))) {
            continue;
        }
        const std::uint32_t base = static_cast<std::uint32_t>(lead) << 8;
        std::size_t k = static_cast<std::size_t>(ClassOfValue(base));
        const std::size_t row =
            static_cast<std::size_t>(LeadIndex(static_cast<unsigned char>(lead))) * 256;
        for (std::uint32_t t = 0; t < 256; ++t) {
            while (bounds_[k + 1] <= base + t) {
                ++k;
            }
            dbl_class_[row + t] = static_cast<std::uint16_t>(k);
        }
    }
    head_class_ = has_lhead_ ? ClassOfValue(nfa_->LineHeadValue()) : -1;
    tail_class_ = has_ltail_ ? ClassOfValue(nfa_->LineTailValue()) : -1;
}

void TRE_DFA::Convert_NFA_to_DFA() {
    const int n_states = nfa_->StateCount();
    const std::size_t words = static_cast<std::size_t>(n_states) / 64 + 1;

    // The NFA once more with its ranges as class intervals and its empty moves apart.
    std::vector<std::vector<int>> empty_moves(static_cast<std::size_t>(n_states));
    std::vector<std::vector<ClassTrans>> class_moves(static_cast<std::size_t>(n_states));
    for (int s = 0; s < n_states; ++s) {
        for (const RE_NFATrans_t& t : nfa_->Transitions(s)) {
            if (t.Empty) {
                empty_moves[static_cast<std::size_t>(s)].push_back(t.Target);
            } else {
                class_moves[static_cast<std::size_t>(s)].push_back(
                    ClassTrans{ClassOfValue(t.StartChar), ClassOfValue(t.EndChar), t.Target});
            }
        }
    }

    std::size_t steps = 0;
    struct CountOnExit {
        const std::size_t& steps;
        ~CountOnExit() { CountWork(steps); }
    } const count_on_exit{steps};
    std::vector<std::uint64_t> sets;  // the NFA state set of every DFA state, words each
    std::unordered_map<std::string, int> index;
    std::vector<int> stack;

    // Collect_Empty_Transition: completes set (words wide, at scratch) with every state that
    // empty moves reach from it.
    auto close = [&](std::vector<std::uint64_t>& set) {
        stack.clear();
        for (std::size_t w = 0; w < words; ++w) {
            for (std::uint64_t bits = set[w]; bits != 0; bits &= bits - 1) {
                stack.push_back(static_cast<int>(w * 64) + __builtin_ctzll(bits));
            }
        }
        while (!stack.empty()) {
            const int s = stack.back();
            stack.pop_back();
            for (const int t : empty_moves[static_cast<std::size_t>(s)]) {
                ++steps;
                std::uint64_t& word = set[static_cast<std::size_t>(t) / 64];
                const std::uint64_t bit = std::uint64_t{1} << (t % 64);
                if ((word & bit) == 0) {
                    word |= bit;
                    stack.push_back(t);
                }
            }
        }
    };

    // Register_DFA_State: the existing state with this set, or a new one.
    auto register_state = [&](const std::vector<std::uint64_t>& set) {
        std::string key(reinterpret_cast<const char*>(set.data()), words * sizeof(std::uint64_t));
        const auto found = index.find(key);
        if (found != index.end()) {
            return found->second;
        }
        const int id = static_cast<int>(accepting_.size());
        if (id >= kMaxStates || (accepting_.size() + 1) * class_count_ > kMaxTableEntries) {
            TooComplex();
        }
        index.emplace(std::move(key), id);
        sets.insert(sets.end(), set.begin(), set.end());
        accepting_.push_back((set[TRE_NFA::kExitState / 64] >> (TRE_NFA::kExitState % 64)) & 1U);
        next_.resize(accepting_.size() * class_count_, kNoState);
        return id;
    };

    next_.clear();
    accepting_.clear();
    std::vector<std::uint64_t> scratch(words, 0);
    scratch[TRE_NFA::kEntryState / 64] |= std::uint64_t{1} << (TRE_NFA::kEntryState % 64);
    close(scratch);
    register_state(scratch);

    std::vector<std::vector<int>> buckets(class_count_);
    std::vector<int> touched;
    std::map<std::vector<int>, int> targets_seen;
    for (std::size_t current = 0; current < accepting_.size(); ++current) {
        // Compute_Reachable_N_state, per class.
        touched.clear();
        for (std::size_t w = 0; w < words; ++w) {
            for (std::uint64_t bits = sets[current * words + w]; bits != 0; bits &= bits - 1) {
                const std::size_t s = w * 64 + static_cast<std::size_t>(__builtin_ctzll(bits));
                for (const ClassTrans& t : class_moves[s]) {
                    for (int c = t.FirstClass; c <= t.LastClass; ++c) {
                        std::vector<int>& bucket = buckets[static_cast<std::size_t>(c)];
                        if (bucket.empty()) {
                            touched.push_back(c);
                        }
                        bucket.push_back(t.Target);
                    }
                    steps += static_cast<std::size_t>(t.LastClass - t.FirstClass + 1);
                }
            }
        }
        if (steps > kMaxConstructionSteps) {
            TooComplex();
        }
        std::sort(touched.begin(), touched.end());
        targets_seen.clear();
        const std::vector<int>* previous = nullptr;
        int previous_target = kNoState;
        for (const int c : touched) {
            std::vector<int>& bucket = buckets[static_cast<std::size_t>(c)];
            std::sort(bucket.begin(), bucket.end());
            bucket.erase(std::unique(bucket.begin(), bucket.end()), bucket.end());
            int target;
            if (previous != nullptr && *previous == bucket) {
                target = previous_target;
            } else if (const auto seen = targets_seen.find(bucket); seen != targets_seen.end()) {
                target = seen->second;
            } else {
                std::fill(scratch.begin(), scratch.end(), 0);
                for (const int t : bucket) {
                    scratch[static_cast<std::size_t>(t) / 64] |= std::uint64_t{1} << (t % 64);
                }
                close(scratch);
                target = register_state(scratch);
                targets_seen.emplace(bucket, target);
                steps += words;
            }
            next_[current * class_count_ + static_cast<std::size_t>(c)] = target;
            previous = &bucket;
            previous_target = target;
        }
        for (const int c : touched) {
            buckets[static_cast<std::size_t>(c)].clear();
        }
        if (steps > kMaxConstructionSteps) {
            TooComplex();
        }
    }
}

void TRE_DFA::StateListSort() {
    // Walking the classes in order gives each state's transitions sorted by start; neighbours
    // that lead to the same state are merged, but never across the text/marker divide.
    sorted_.assign(accepting_.size(), {});
    for (std::size_t s = 0; s < accepting_.size(); ++s) {
        std::vector<RE_DFATrans_t>& list = sorted_[s];
        std::uint32_t last_end = 0;
        for (std::size_t c = 0; c < class_count_; ++c) {
            const int target = next_[s * class_count_ + c];
            if (target == kNoState) {
                continue;
            }
            const std::uint32_t lo = bounds_[c];
            const std::uint32_t hi = bounds_[c + 1] - 1;
            const bool same_side = (lo >= kMarkerBase) == (last_end >= kMarkerBase);
            if (!list.empty() && list.back().Target == target && last_end + 1 == lo && same_side) {
                list.back().CharClass.EndChar = static_cast<WChar_t>(hi & 0xFFFF);
            } else {
                list.push_back(RE_DFATrans_t{RECharClass_t{static_cast<WChar_t>(lo & 0xFFFF),
                                                           static_cast<WChar_t>(hi & 0xFFFF)},
                                             target, lo >= kMarkerBase});
            }
            last_end = hi;
        }
    }
}

void TRE_DFA::CheckIfRegExpIsSimple() {
    simple_ = false;
    simple_string_.clear();
    std::string collected;
    int state = GetpInitialDFAState();
    for (int steps = 0; steps <= StateCount(); ++steps) {
        const std::vector<RE_DFATrans_t>& list = sorted_[static_cast<std::size_t>(state)];
        if (list.empty()) {
            // A state without transitions that does not accept matches nothing; the string
            // search would wrongly report the collected text.
            if (IsAccepting(state)) {
                simple_ = true;
                simple_string_ = std::move(collected);
            }
            return;
        }
        if (list.size() > 1 || list.front().CharClass.StartChar != list.front().CharClass.EndChar ||
            IsAccepting(state)) {
            return;
        }
        const WChar_t c = list.front().CharClass.StartChar;
        const auto high = static_cast<unsigned char>(c >> 8);
        const bool spelled =
            c <= 0xFF ? !sjis::IsLeadByte(static_cast<unsigned char>(c)) : sjis::IsLeadByte(high);
        if (!spelled && !list.front().Marker) {
            // No text holds this character as one; its bytes would match where the automaton
            // does not.
            return;
        }
        collected += WCharToStr(c);
        state = list.front().Target;
    }
}

void TRE_DFA::ComputeStartInfo() {
    const int initial = GetpInitialDFAState();
    auto live = [&](std::size_t cls) {
        return next_[static_cast<std::size_t>(initial) * class_count_ + cls] != kNoState;
    };
    std::vector<bool> live_class(class_count_);
    for (std::size_t cls = 0; cls < class_count_; ++cls) {
        live_class[cls] = live(cls);
    }
    plan_.Pairs.assign(60, {});
    for (int b = 0; b < 256; ++b) {
        const auto ub = static_cast<unsigned char>(b);
        bool first = live(byte_class_[ub]);
        if (sjis::IsLeadByte(ub)) {
            const std::size_t row = static_cast<std::size_t>(LeadIndex(ub)) * 256;
            std::bitset<256>& pairs = plan_.Pairs[RESearchPlan_t::LeadIndex(ub)];
            for (std::size_t t = 0; t < 256; ++t) {
                if (live_class[dbl_class_[row + t]]) {
                    pairs.set(t);
                }
            }
            first = first || pairs.any();
        }
        plan_.Table[ub] = first;
    }

    plan_.Prefix.clear();
    std::vector<bool> trail;  // whether each prefix byte is the second of a character
    constexpr std::size_t kMaxPrefix = 64;
    int state = initial;
    while (!IsAccepting(state) && plan_.Prefix.size() < kMaxPrefix) {
        int only = -1;
        int count = 0;
        for (std::size_t c = 0; c < class_count_ && count < 2; ++c) {
            if (next_[static_cast<std::size_t>(state) * class_count_ + c] != kNoState) {
                only = static_cast<int>(c);
                ++count;
            }
        }
        if (count != 1) {
            break;
        }
        const std::uint32_t lo = bounds_[static_cast<std::size_t>(only)];
        if (bounds_[static_cast<std::size_t>(only) + 1] != lo + 1 || lo >= kMarkerBase) {
            break;
        }
        if (lo <= 0xFF) {
            plan_.Prefix += static_cast<char>(lo);
            trail.push_back(false);
        } else if (sjis::IsLeadByte(static_cast<unsigned char>(lo >> 8))) {
            plan_.Prefix += static_cast<char>(lo >> 8);
            plan_.Prefix += static_cast<char>(lo & 0xFF);
            trail.push_back(false);
            trail.push_back(true);
        } else {
            break;  // no text spells this character; the prefix stops short of it
        }
        state = Step(state, only);
    }

    // memchr looks for the prefix byte likely to be rarest in Japanese mail: the lead bytes of
    // kana and punctuation and common ASCII are frequent, a non-ASCII second byte is spread
    // over 188 values.
    auto score = [&](std::size_t i) {
        const auto b = static_cast<unsigned char>(plan_.Prefix[i]);
        if (trail[i] && b >= 0x80) {
            return 0;
        }
        if (b >= 0x81 && b <= 0x83) {
            return 4;
        }
        if ((b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == ' ') {
            return 3;
        }
        return trail[i] ? 1 : 2;
    };
    plan_.RareIndex = 0;
    for (std::size_t i = 1; i < plan_.Prefix.size(); ++i) {
        if (score(i) < score(plan_.RareIndex)) {
            plan_.RareIndex = i;
        }
    }
    plan_.Finish();
}

}  // namespace brindle
