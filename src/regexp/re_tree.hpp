// The parse tree of a regular expression.
//
// Seven node kinds only: + and ? are rewritten into them, . and negated brackets become unions
// of character ranges. Leaves are unique per range (asking for an existing range returns the
// existing leaf), so the tree is a DAG whose shared parts are leaves and the operand of +.
// Nodes are owned by the tree's two lists, never by their parents; a node stays at the same
// address for the tree's lifetime, even when ForceCharClassUnique turns a leaf into a union.
// After ForceCharClassUnique no two leaf ranges overlap, so the automaton built from the tree
// only ever compares a character against disjoint ranges.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "regexp/re_types.hpp"

namespace brindle {

struct RENode_t;
using REpNode_t = RENode_t*;

struct REChildren_t {
    REpNode_t pLeft = nullptr;
    REpNode_t pRight = nullptr;
};

// Children are used by reop_Concat, reop_Union, reop_Closure (right null) and reop_Empty (both
// null); CharClass by reop_Char, reop_LHead and reop_LTail.
struct RENode_t {
    REOperation_t op = reop_Empty;
    REChildren_t Children;
    RECharClass_t CharClass;
};

// Limits that keep every expression's cost bounded. The automaton stages recurse over the tree,
// so its height is what bounds their stack; its size counted once per use of a shared subtree
// is the number of automaton pieces they generate.
constexpr int kMaxGroupNesting = 200;             // parentheses inside parentheses
constexpr std::size_t kMaxTreeHeight = 4000;      // longest path from the root to a leaf
constexpr std::size_t kMaxExpandedSize = 100000;  // nodes, a shared subtree counted per use
constexpr std::size_t kMaxLeaves = 2000;          // distinct ranges before they are made disjoint
constexpr std::size_t kMaxExpressionLength = 0xFFFF;  // bytes; positions are 16 bits

class TREParseTree {
  public:
    TREParseTree() = default;
    TREParseTree(const TREParseTree&) = delete;
    TREParseTree& operator=(const TREParseTree&) = delete;

    REpNode_t Root() const { return root_; }
    void SetRoot(REpNode_t root) { root_ = root; }

    // The node list owns every internal node (kinds 1 to 6), the leaf list every reop_Char
    // leaf, each in creation order; a leaf turned into a union moves to the end of the node list.
    const std::vector<std::unique_ptr<RENode_t>>& NodeList() const { return nodes_; }
    const std::vector<std::unique_ptr<RENode_t>>& LeafList() const { return leaves_; }

    REpNode_t MakeInternalNode(REOperation_t op, REpNode_t left, REpNode_t right);
    REpNode_t MakeLeaf(WChar_t start, WChar_t end);
    // Null when end < start.
    REpNode_t Check_and_MakeLeaf(WChar_t start, WChar_t end);
    REpNode_t MakeLHeadNode(WChar_t c);
    REpNode_t MakeLTailNode(WChar_t c);
    // Any character but the end-of-text value, LF, CR and anything above 0xFCFC.
    REpNode_t MakeAnyCharsNode();
    // Turns the leaf in place into Union(left, right); raises Exception when a child is null.
    void ChangeLeaftoNode(REpNode_t leaf, REpNode_t left, REpNode_t right);
    // Returns false, leaving the tree half split, when the node count would pass max_nodes:
    // overlapping ranges can cost a split per pair, so a caller with a budget stops early.
    bool ForceCharClassUnique(std::size_t max_nodes = static_cast<std::size_t>(-1));
    void DisposeTree();

  private:
    void ChangeLeafAt(std::size_t index, REpNode_t left, REpNode_t right);

    REpNode_t root_ = nullptr;
    std::vector<std::unique_ptr<RENode_t>> nodes_;
    std::vector<std::unique_ptr<RENode_t>> leaves_;
    std::map<std::pair<WChar_t, WChar_t>, REpNode_t> leaf_index_;
};

// The three ranges of ".", in the order MakeAnyCharsNode joins them.
inline constexpr RECharClass_t kAnyCharRanges[] = {{0x01, 0x09}, {0x0B, 0x0C}, {0x0E, 0xFCFC}};

// Height (nodes on the longest root-to-leaf path) and size counting a shared subtree once per
// use (saturating at kMaxExpandedSize + 1); computed without recursion.
struct RETreeMeasure_t {
    std::size_t Height = 0;
    std::size_t ExpandedSize = 0;
};
RETreeMeasure_t MeasureTree(REpNode_t root);

// A one-line text form of the subtree for tests and diagnostics:
//   Char(a) Char(a-z) LHead LTail Empty Cat(x,y) Or(x,y) Star(x)
// Printable ASCII stands for itself except ( ) , - \ and space; other characters are written
// \xHH or \xHHHH. Shared subtrees are written at every use.
std::string DumpTree(REpNode_t node);

}  // namespace brindle
