#include "regexp/re_parser.hpp"

#include <algorithm>
#include <utility>
#include <vector>

namespace brindle {

namespace {

bool EndsTerm(REToken_t token) {
    return token == retk_Union || token == retk_RPar || token == retk_End;
}

}  // namespace

TREParser::TREParser(std::string regexp) : scanner_(std::move(regexp)) {}

void TREParser::Fail(CoreMsg message) const {
    throw ERegExpParser(Msg(message), scanner_.Index());
}

void TREParser::Run() {
    tree_.DisposeTree();
    scanner_.Rewind();
    nesting_ = 0;
    try {
        if (scanner_.GetRegExpStr().size() > kMaxExpressionLength) {
            throw ERegExpParser(Msg(CoreMsg::RegexTooComplex),
                                static_cast<int>(kMaxExpressionLength));
        }
        scanner_.GetToken();
        REpNode_t root = Regexp();
        if (scanner_.Token() != retk_End) {
            Fail(CoreMsg::RegexExtraCharacters);
        }
        // Overlapping ranges can cost a split per pair: the split is stopped at the size
        // budget, which the finished tree could not meet anyway.
        if (!tree_.ForceCharClassUnique(kMaxExpandedSize)) {
            Fail(CoreMsg::RegexTooComplex);
        }
        const RETreeMeasure_t measure = MeasureTree(root);
        if (measure.Height > kMaxTreeHeight || measure.ExpandedSize > kMaxExpandedSize) {
            Fail(CoreMsg::RegexTooComplex);
        }
        tree_.SetRoot(root);
    } catch (...) {
        tree_.DisposeTree();
        throw;
    }
}

REpNode_t TREParser::Regexp() {
    REpNode_t result = term();
    while (scanner_.Token() == retk_Union) {
        scanner_.GetToken();
        result = tree_.MakeInternalNode(reop_Union, result, term());
    }
    return result;
}

REpNode_t TREParser::term() {
    if (EndsTerm(scanner_.Token())) {
        return tree_.MakeInternalNode(reop_Empty, nullptr, nullptr);
    }
    REpNode_t result = factor();
    while (!EndsTerm(scanner_.Token())) {
        result = tree_.MakeInternalNode(reop_Concat, result, factor());
    }
    return result;
}

REpNode_t TREParser::factor() {
    REpNode_t p = primary();
    switch (scanner_.Token()) {
        case retk_Star:
            scanner_.GetToken();
            return tree_.MakeInternalNode(reop_Closure, p, nullptr);
        case retk_Plus:
            scanner_.GetToken();
            return tree_.MakeInternalNode(reop_Concat, p,
                                          tree_.MakeInternalNode(reop_Closure, p, nullptr));
        case retk_QMark:
            scanner_.GetToken();
            return tree_.MakeInternalNode(reop_Union, p,
                                          tree_.MakeInternalNode(reop_Empty, nullptr, nullptr));
        default:
            return p;
    }
}

REpNode_t TREParser::primary() {
    REpNode_t result = nullptr;
    switch (scanner_.Token()) {
        case retk_Char: {
            const RECharClass_t r = MemberRange(scanner_.Symbol().WChar, scanner_.Symbol().WChar);
            result = tree_.MakeLeaf(r.StartChar, r.EndChar);
            CheckLeafBudget(tree_);
            break;
        }
        case retk_LPar: {
            // The only recursion whose depth the expression controls.
            if (++nesting_ > kMaxGroupNesting) {
                Fail(CoreMsg::RegexTooComplex);
            }
            scanner_.GetToken();
            result = Regexp();
            if (scanner_.Token() != retk_RPar) {
                Fail(CoreMsg::RegexNeedCloseParenthesis);
            }
            --nesting_;
            break;
        }
        case retk_LBra:
            result = CharacterClass(tree_);
            if (scanner_.Token() != retk_RBra) {
                Fail(CoreMsg::RegexNeedCloseBracket);
            }
            break;
        case retk_LBraNeg:
            result = NegativeCharacterClass();
            if (scanner_.Token() != retk_RBra) {
                Fail(CoreMsg::RegexNeedCloseBracket);
            }
            break;
        case retk_Dot:
            result = tree_.MakeAnyCharsNode();
            break;
        case retk_LHead:
            result = tree_.MakeLHeadNode('^');
            break;
        case retk_LTail:
            result = tree_.MakeLTailNode('$');
            break;
        default:
            Fail(CoreMsg::RegexNeedCharacter);
    }
    scanner_.GetToken();
    return result;
}

REpNode_t TREParser::CharacterClass(TREParseTree& tree) {
    auto member_leaf = [&]() {
        const RESymbol_t& s = scanner_.Symbol();
        const RECharClass_t r = scanner_.Token() == retk_CharClass
                                    ? MemberRange(s.CharClass.StartChar, s.CharClass.EndChar)
                                    : MemberRange(s.WChar, s.WChar);
        REpNode_t leaf = tree.MakeLeaf(r.StartChar, r.EndChar);
        CheckLeafBudget(tree);
        return leaf;
    };
    if (scanner_.GetToken() == retk_RBra) {
        Fail(CoreMsg::RegexBadClass);
    }
    REpNode_t result = member_leaf();
    while (scanner_.GetToken() != retk_RBra) {
        result = tree.MakeInternalNode(reop_Union, result, member_leaf());
    }
    return result;
}

REpNode_t TREParser::NegativeCharacterClass() {
    std::vector<RECharClass_t> members;
    {
        TREParseTree scratch;
        CharacterClass(scratch);
        if (!scratch.ForceCharClassUnique(kMaxExpandedSize)) {
            Fail(CoreMsg::RegexTooComplex);
        }
        for (const auto& leaf : scratch.LeafList()) {
            members.push_back(leaf->CharClass);
        }
    }
    // What remains of ".": each member cuts the ranges it overlaps into the parts below and
    // above it, which are appended and walked in turn. The remaining ranges never overlap one
    // another, so a plain list does what a leaf list would.
    std::vector<RECharClass_t> rest(std::begin(kAnyCharRanges), std::end(kAnyCharRanges));
    for (const RECharClass_t& m : members) {
        std::size_t i = 0;
        while (i < rest.size()) {
            const RECharClass_t r = rest[i];
            if (r.EndChar < m.StartChar || m.EndChar < r.StartChar) {
                ++i;
                continue;
            }
            rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(i));
            if (r.StartChar < m.StartChar) {
                rest.push_back({r.StartChar, static_cast<WChar_t>(m.StartChar - 1)});
            }
            if (m.EndChar < r.EndChar) {
                rest.push_back({static_cast<WChar_t>(m.EndChar + 1), r.EndChar});
            }
        }
    }
    if (rest.empty()) {
        // The members cover every character: a class that can match nothing is refused like
        // an empty one.
        Fail(CoreMsg::RegexBadClass);
    }
    REpNode_t result = tree_.MakeLeaf(rest[0].StartChar, rest[0].EndChar);
    for (std::size_t i = 1; i < rest.size(); ++i) {
        result = tree_.MakeInternalNode(reop_Union, result,
                                        tree_.MakeLeaf(rest[i].StartChar, rest[i].EndChar));
    }
    CheckLeafBudget(tree_);
    return result;
}

void TREParser::CheckLeafBudget(const TREParseTree& tree) const {
    if (tree.LeafList().size() > kMaxLeaves) {
        Fail(CoreMsg::RegexTooComplex);
    }
}

// Text characters are 0x01 to 0xFCFF: 0 is the end of the text and the values above 0xFCFF
// are the automaton's markers (0xFFFF is its empty transition). A range is cut down to what
// text can hold; a character or range with nothing left is refused.
RECharClass_t TREParser::MemberRange(WChar_t start, WChar_t end) const {
    const WChar_t s = std::max<WChar_t>(start, 1);
    const WChar_t e = std::min<WChar_t>(end, kMaxTextWChar);
    if (e < s) {
        Fail(CoreMsg::RegexBadCode);
    }
    return {s, e};
}

}  // namespace brindle
