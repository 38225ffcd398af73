// The parser: recursive descent over the scanner's tokens with one token of lookahead.
//
//   regexp  = term { "|" term }
//   term    = factor { factor } | (nothing, before "|", ")" or the end)
//   factor  = primary [ "*" | "+" | "?" ]
//   primary = char | "(" regexp ")" | "[" class "]" | "[^" class "]" | "." | "^" | "$"
//
// + becomes Concat(p, Closure(p)) over the one subtree p, ? becomes Union(p, Empty), and a
// negated class becomes the union of what remains of "." once the members are cut out. After
// parsing, every leaf range is made disjoint from every other.
//
// Only a parenthesised group recurses, and its depth is bounded; the finished tree is measured
// without recursion and refused when the automaton stages would need too deep a recursion or
// too many pieces. Every refusal is an ERegExpParser, never an exhausted stack or memory.
#pragma once

#include <string>

#include "regexp/re_scanner.hpp"
#include "regexp/re_tree.hpp"

namespace brindle {

class TREParser {
  public:
    explicit TREParser(std::string regexp);
    TREParser(const TREParser&) = delete;
    TREParser& operator=(const TREParser&) = delete;

    // Parses the expression; afterwards Root() is the tree's root. On an error the tree is
    // left empty.
    void Run();

    REpNode_t Root() const { return tree_.Root(); }
    const TREParseTree& ParseTree() const { return tree_; }

  private:
    REpNode_t Regexp();
    REpNode_t term();
    REpNode_t factor();
    REpNode_t primary();
    REpNode_t CharacterClass(TREParseTree& tree);
    REpNode_t NegativeCharacterClass();

    [[noreturn]] void Fail(CoreMsg message) const;
    void CheckLeafBudget(const TREParseTree& tree) const;
    RECharClass_t MemberRange(WChar_t start, WChar_t end) const;

    TREScanner scanner_;
    TREParseTree tree_;
    int nesting_ = 0;
};

}  // namespace brindle
