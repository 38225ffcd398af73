#include "regexp/re_tree.hpp"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace brindle {
namespace {

// The characters of the domain that a node made of unions and leaves accepts.
std::set<int> Covered(REpNode_t node) {
    std::set<int> out;
    std::vector<REpNode_t> stack{node};
    while (!stack.empty()) {
        REpNode_t n = stack.back();
        stack.pop_back();
        if (n->op == reop_Char) {
            for (int c = n->CharClass.StartChar; c <= n->CharClass.EndChar; ++c) {
                out.insert(c);
            }
        } else {
            EXPECT_EQ(n->op, reop_Union);
            stack.push_back(n->Children.pLeft);
            stack.push_back(n->Children.pRight);
        }
    }
    return out;
}

void ExpectLeavesDisjoint(const TREParseTree& tree) {
    const auto& leaves = tree.LeafList();
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        for (std::size_t j = i + 1; j < leaves.size(); ++j) {
            const RECharClass_t& a = leaves[i]->CharClass;
            const RECharClass_t& b = leaves[j]->CharClass;
            ASSERT_TRUE(a.EndChar < b.StartChar || b.EndChar < a.StartChar)
                << a.StartChar << "-" << a.EndChar << " / " << b.StartChar << "-" << b.EndChar;
        }
    }
}

TEST(ParseTree, LeavesAreUniquePerRange) {
    TREParseTree tree;
    REpNode_t a = tree.MakeLeaf('a', 'c');
    EXPECT_EQ(tree.MakeLeaf('a', 'c'), a);
    EXPECT_NE(tree.MakeLeaf('a', 'b'), a);
    EXPECT_EQ(tree.Check_and_MakeLeaf('a', 'c'), a);
    EXPECT_EQ(tree.Check_and_MakeLeaf('c', 'a'), nullptr);
    EXPECT_EQ(tree.LeafList().size(), 2u);

    REpNode_t head = tree.MakeLHeadNode('^');
    EXPECT_EQ(head->op, reop_LHead);
    EXPECT_EQ(head->CharClass, (RECharClass_t{'^', '^'}));
    EXPECT_EQ(tree.LeafList().size(), 2u);
    EXPECT_EQ(tree.NodeList().size(), 1u);

    tree.DisposeTree();
    EXPECT_TRUE(tree.LeafList().empty());
    EXPECT_TRUE(tree.NodeList().empty());
    EXPECT_EQ(tree.Root(), nullptr);
}

TEST(ParseTree, ChangingALeafKeepsItsAddressAndFreesItsRange) {
    TREParseTree tree;
    REpNode_t ab = tree.MakeLeaf('a', 'b');
    REpNode_t a = tree.MakeLeaf('a', 'a');
    REpNode_t b = tree.MakeLeaf('b', 'b');
    tree.ChangeLeaftoNode(ab, a, b);
    EXPECT_EQ(ab->op, reop_Union);
    EXPECT_EQ(ab->Children.pLeft, a);
    EXPECT_EQ(tree.LeafList().size(), 2u);
    EXPECT_EQ(tree.NodeList().back().get(), ab);
    // The range a-b no longer names a leaf: asking for it makes a new one.
    REpNode_t again = tree.MakeLeaf('a', 'b');
    EXPECT_NE(again, ab);
    EXPECT_EQ(again->op, reop_Char);
}

TEST(ParseTree, ChangingALeafWithoutBothChildrenIsAnInternalError) {
    TREParseTree tree;
    REpNode_t ab = tree.MakeLeaf('a', 'b');
    REpNode_t a = tree.MakeLeaf('a', 'a');
    try {
        tree.ChangeLeaftoNode(ab, a, nullptr);
        ADD_FAILURE() << "no error";
    } catch (const ERegExpParser&) {
        ADD_FAILURE() << "an internal error is not an expression error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "TREParseTree : 致命的エラー");
    }
    REpNode_t node = tree.MakeInternalNode(reop_Empty, nullptr, nullptr);
    EXPECT_THROW(tree.ChangeLeaftoNode(node, a, a), Exception);
    EXPECT_EQ(ab->op, reop_Char);
}

TEST(ParseTree, SplittingAtTheEdgesOfTheValueRange) {
    TREParseTree tree;
    REpNode_t low = tree.MakeLeaf(0, 5);
    REpNode_t all = tree.MakeLeaf(0, 0xFFFF);
    REpNode_t top = tree.MakeLeaf(0xFFF0, 0xFFFF);
    REpNode_t last = tree.MakeLeaf(0xFFFF, 0xFFFF);
    tree.ForceCharClassUnique();
    ExpectLeavesDisjoint(tree);
    std::set<WChar_t> starts;
    for (const auto& leaf : tree.LeafList()) {
        starts.insert(leaf->CharClass.StartChar);
    }
    EXPECT_EQ(starts, (std::set<WChar_t>{0, 6, 0xFFF0, 0xFFFF}));
    EXPECT_EQ(Covered(low).size(), 6u);
    EXPECT_EQ(Covered(all).size(), 0x10000u);
    EXPECT_EQ(Covered(top).size(), 16u);
    EXPECT_EQ(Covered(last), (std::set<int>{0xFFFF}));
}

TEST(ParseTree, SplittingRandomRangesKeepsWhatEachLeafCovered) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> value(0, 40);
    std::uniform_int_distribution<int> count(1, 25);
    for (int round = 0; round < 300; ++round) {
        TREParseTree tree;
        std::vector<std::pair<REpNode_t, std::set<int>>> originals;
        const int n = count(random);
        for (int k = 0; k < n; ++k) {
            int s = value(random);
            int e = value(random);
            if (e < s) {
                std::swap(s, e);
            }
            REpNode_t leaf = tree.MakeLeaf(static_cast<WChar_t>(s), static_cast<WChar_t>(e));
            originals.emplace_back(leaf, Covered(leaf));
        }
        tree.ForceCharClassUnique();
        ExpectLeavesDisjoint(tree);
        for (const auto& [node, covered] : originals) {
            ASSERT_EQ(Covered(node), covered) << "round " << round;
        }
    }
}

TEST(ParseTree, SplittingStopsAtTheNodeBudget) {
    TREParseTree tree;
    for (int k = 0; k < 100; ++k) {
        tree.MakeLeaf(static_cast<WChar_t>(k), static_cast<WChar_t>(k + 100));
    }
    EXPECT_FALSE(tree.ForceCharClassUnique(500));
    EXPECT_LE(tree.NodeList().size() + tree.LeafList().size(), 500u + 4u);
    EXPECT_TRUE(tree.ForceCharClassUnique());
    ExpectLeavesDisjoint(tree);
}

TEST(TreeMeasure, CountsSharedSubtreesPerUse) {
    TREParseTree tree;
    REpNode_t a = tree.MakeLeaf('a', 'a');
    REpNode_t plus =
        tree.MakeInternalNode(reop_Concat, a, tree.MakeInternalNode(reop_Closure, a, nullptr));
    const RETreeMeasure_t m = MeasureTree(plus);
    EXPECT_EQ(m.Height, 3u);
    EXPECT_EQ(m.ExpandedSize, 4u);
    EXPECT_EQ(MeasureTree(nullptr).Height, 0u);

    // Doubling 40 times saturates instead of overflowing, without visiting 2^40 paths.
    REpNode_t node = a;
    for (int i = 0; i < 40; ++i) {
        node = tree.MakeInternalNode(reop_Concat, node, node);
    }
    const RETreeMeasure_t big = MeasureTree(node);
    EXPECT_EQ(big.Height, 41u);
    EXPECT_EQ(big.ExpandedSize, kMaxExpandedSize + 1);
}

TEST(TreeMeasure, DeepChainsNeedNoRecursion) {
    TREParseTree tree;
    REpNode_t node = tree.MakeLeaf('a', 'a');
    for (int i = 0; i < 200000; ++i) {
        node = tree.MakeInternalNode(reop_Concat, node, tree.MakeLeaf('b', 'b'));
    }
    EXPECT_EQ(MeasureTree(node).Height, 200001u);
}

}  // namespace
}  // namespace brindle
