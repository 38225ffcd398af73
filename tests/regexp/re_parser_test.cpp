#include "regexp/re_parser.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace brindle {
namespace {

std::string Parse(const std::string& expression) {
    TREParser parser(expression);
    parser.Run();
    return DumpTree(parser.Root());
}

const std::string kAny = "Or(Or(Char(\\x01-\\x09),Char(\\x0B-\\x0C)),Char(\\x0E-\\xFCFC))";

struct TreeCase {
    std::string expression;
    std::string dump;
};

TEST(ParserTree, OperatorsAndPrecedence) {
    const TreeCase cases[] = {
        {"a", "Char(a)"},
        {"abc", "Cat(Cat(Char(a),Char(b)),Char(c))"},
        {"a|b|c", "Or(Or(Char(a),Char(b)),Char(c))"},
        {"ab|c", "Or(Cat(Char(a),Char(b)),Char(c))"},
        {"a(b|c)", "Cat(Char(a),Or(Char(b),Char(c)))"},
        {"ab*", "Cat(Char(a),Star(Char(b)))"},
        {"(ab)*", "Star(Cat(Char(a),Char(b)))"},
        {"a+", "Cat(Char(a),Star(Char(a)))"},
        {"a?", "Or(Char(a),Empty)"},
        {"(a|b)+c", "Cat(Cat(Or(Char(a),Char(b)),Star(Or(Char(a),Char(b)))),Char(c))"},
        {"^a$", "Cat(Cat(LHead,Char(a)),LTail)"},
        {"a^b$c", "Cat(Cat(Cat(Cat(Char(a),LHead),Char(b)),LTail),Char(c))"},
        {"\\^\\$", "Cat(Char(^),Char($))"},
        {"\\(\\)", "Cat(Char(\\x28),Char(\\x29))"},
        {"a\\|b", "Cat(Cat(Char(a),Char(|)),Char(b))"},
    };
    for (const TreeCase& c : cases) {
        EXPECT_EQ(Parse(c.expression), c.dump) << c.expression;
    }
}

TEST(ParserTree, EmptyTermsAreEmptyNodes) {
    const TreeCase cases[] = {
        {"", "Empty"},
        {"a|", "Or(Char(a),Empty)"},
        {"|a", "Or(Empty,Char(a))"},
        {"()", "Empty"},
        {"a||", "Or(Or(Char(a),Empty),Empty)"},
        {"()*", "Star(Empty)"},
        {"(|)", "Or(Empty,Empty)"},
    };
    for (const TreeCase& c : cases) {
        EXPECT_EQ(Parse(c.expression), c.dump) << c.expression;
    }
}

TEST(ParserTree, DoubleByteCharactersAreSingleLeaves) {
    // ソ (83 5C) with a star: the trail byte 5C must not escape the star.
    EXPECT_EQ(Parse("\x83\x5C*"), "Star(Char(\\x835C))");
    // ア (83 41) and A are different characters.
    EXPECT_EQ(Parse("\x83\x41|A"), "Or(Char(\\x8341),Char(A))");
    // ゼ (83 5B): its trail byte is not a bracket.
    EXPECT_EQ(Parse("\x83\x5B"), "Char(\\x835B)");
}

TEST(ParserTree, DotAndClasses) {
    const TreeCase cases[] = {
        {".", kAny},
        {"[^\\n]", kAny},
        {"[abc]", "Or(Or(Char(a),Char(b)),Char(c))"},
        {"[a-c]", "Char(a-c)"},
        {"[aa]", "Or(Char(a),Char(a))"},
        {"[^a]", "Or(Or(Or(Char(\\x01-\\x09),Char(\\x0B-\\x0C)),Char(\\x0E-`)),Char(b-\\xFCFC))"},
        {"[^\\x01-\\x09\\x0B-\\x0C\\x0E-\\xFCFB]", "Char(\\xFCFC)"},
        {"[^\\x0E-\\xFCFC]", "Or(Char(\\x01-\\x09),Char(\\x0B-\\x0C))"},
        // Members above the class's end, and ranges reaching past the text's characters.
        {"[\\x01-\\xFFFF]", "Char(\\x01-\\xFCFF)"},
        {"[\\0-a]", "Char(\\x01-a)"},
    };
    for (const TreeCase& c : cases) {
        EXPECT_EQ(Parse(c.expression), c.dump) << c.expression;
    }
}

TEST(ParserTree, OverlappingRangesAreSplitEveryWay) {
    const TreeCase cases[] = {
        // Partial overlap: both leaves become unions over the shared middle.
        {"[a-c][b-d]", "Cat(Or(Char(a),Char(b-c)),Or(Char(b-c),Char(d)))"},
        // Same end.
        {"[a-c][b-c]", "Cat(Or(Char(a),Char(b-c)),Char(b-c))"},
        // One contains the other.
        {"[a-d][b-c]", "Cat(Or(Or(Char(a),Char(b-c)),Char(d)),Char(b-c))"},
        {"m[a-z]", "Cat(Char(m),Or(Or(Char(a-l),Char(m)),Char(n-z)))"},
        // Same start, either order.
        {"[a-d][a-b]", "Cat(Or(Char(a-b),Char(c-d)),Char(a-b))"},
        {"[a-b][a-d]", "Cat(Char(a-b),Or(Char(a-b),Char(c-d)))"},
        // A literal inside "." is cut out of its range.
        {"a.",
         "Cat(Char(a),Or(Or(Char(\\x01-\\x09),Char(\\x0B-\\x0C)),Or(Or(Char(\\x0E-`),Char(a)),"
         "Char(b-\\xFCFC))))"},
        // Anchors carry ^ and $ but are not leaves and are never split.
        {"\\^^", "Cat(Char(^),LHead)"},
    };
    for (const TreeCase& c : cases) {
        EXPECT_EQ(Parse(c.expression), c.dump) << c.expression;
    }
}

TEST(ParserTree, PlusSharesItsOperandAndLeavesAreUnique) {
    TREParser parser("a+a");
    parser.Run();
    const REpNode_t root = parser.Root();
    ASSERT_EQ(root->op, reop_Concat);
    const REpNode_t plus = root->Children.pLeft;
    ASSERT_EQ(plus->op, reop_Concat);
    ASSERT_EQ(plus->Children.pRight->op, reop_Closure);
    EXPECT_EQ(plus->Children.pLeft, plus->Children.pRight->Children.pLeft);
    EXPECT_EQ(plus->Children.pLeft, root->Children.pRight);
    EXPECT_EQ(parser.ParseTree().LeafList().size(), 1u);
    EXPECT_EQ(parser.ParseTree().NodeList().size(), 3u);
}

// Which characters a tree made only of unions and leaves accepts, over the given domain.
std::set<WChar_t> Accepted(REpNode_t node, const std::vector<WChar_t>& domain) {
    std::set<WChar_t> out;
    if (node->op == reop_Char) {
        for (WChar_t c : domain) {
            if (c >= node->CharClass.StartChar && c <= node->CharClass.EndChar) {
                out.insert(c);
            }
        }
        return out;
    }
    EXPECT_EQ(node->op, reop_Union);
    for (REpNode_t child : {node->Children.pLeft, node->Children.pRight}) {
        const std::set<WChar_t> part = Accepted(child, domain);
        out.insert(part.begin(), part.end());
    }
    return out;
}

TEST(ParserTree, SplittingKeepsEveryClassMeaningAndMakesLeavesDisjoint) {
    std::vector<WChar_t> domain;
    for (int c = 0; c <= 0x90; ++c) {
        domain.push_back(static_cast<WChar_t>(c));
    }
    for (WChar_t c : {0x829F, 0x82A0, 0x82F1, 0x8340, 0x8396, 0xFCFC, 0xFCFD, 0xFFFF}) {
        domain.push_back(c);
    }
    // Each case is a union of brackets; the accepted set must be what the members say.
    struct ClassCase {
        std::string expression;
        std::vector<std::pair<WChar_t, WChar_t>> members;
        bool negated;
    };
    const ClassCase cases[] = {
        {"[a-fc-hx-z]|[d-y]|[b]|[e-e]", {{'a', 'z'}}, false},
        {"[0-9A-Fa-f]|[5-C]|[\x82\x9F-\x82\xF1]|[\x82\xA0]",
         {{'0', '9'}, {'A', 'F'}, {'a', 'f'}, {'5', 'C'}, {0x829F, 0x82F1}},
         false},
        {"[^a-c]|[b-e]|[^\x83\x40-\x83\x96]|.",
         {},
         false},  // everything but NUL, LF, CR and what lies above 0xFCFC
        {"[^\\x01-m]", {{1, 'm'}, {0x0A, 0x0A}, {0x0D, 0x0D}}, true},
    };
    for (const ClassCase& c : cases) {
        TREParser parser(c.expression);
        parser.Run();
        std::set<WChar_t> expected;
        for (WChar_t ch : domain) {
            bool in_member = false;
            for (const auto& [lo, hi] : c.members) {
                in_member = in_member || (ch >= lo && ch <= hi);
            }
            const bool any = ch != 0 && ch != 0x0A && ch != 0x0D && ch <= 0xFCFC;
            if (c.members.empty() ? any : (c.negated ? any && !in_member : in_member)) {
                expected.insert(ch);
            }
        }
        EXPECT_EQ(Accepted(parser.Root(), domain), expected) << c.expression;
        const auto& leaves = parser.ParseTree().LeafList();
        for (std::size_t i = 0; i < leaves.size(); ++i) {
            EXPECT_EQ(leaves[i]->op, reop_Char);
            for (std::size_t j = i + 1; j < leaves.size(); ++j) {
                const RECharClass_t& a = leaves[i]->CharClass;
                const RECharClass_t& b = leaves[j]->CharClass;
                EXPECT_TRUE(a.EndChar < b.StartChar || b.EndChar < a.StartChar)
                    << c.expression << ": leaves " << i << " and " << j << " overlap";
            }
        }
    }
}

struct BadExpression {
    std::string expression;
    std::string message;
    int position;
};

void ExpectBad(const BadExpression& c) {
    TREParser parser(c.expression);
    try {
        parser.Run();
        ADD_FAILURE() << c.expression.substr(0, 40) << " parsed as "
                      << DumpTree(parser.Root()).substr(0, 200);
    } catch (const ERegExpParser& e) {
        EXPECT_EQ(e.what(), c.message) << c.expression.substr(0, 40);
        EXPECT_EQ(e.Position(), c.position) << c.expression.substr(0, 40);
        EXPECT_EQ(parser.Root(), nullptr);
        EXPECT_TRUE(parser.ParseTree().LeafList().empty());
        EXPECT_TRUE(parser.ParseTree().NodeList().empty());
    }
}

TEST(ParserErrors, SyntaxMessagesAndPositions) {
    const std::string kPrimary = "普通の文字、または左括弧\"(\"が必要です";
    const std::string kBracket = "右ブラケット\"]\"が必要です";
    const BadExpression cases[] = {
        {"a**", kPrimary, 4},
        {"a+?", kPrimary, 4},
        {"*a", kPrimary, 2},
        {"a|+", kPrimary, 4},
        {"(*)", kPrimary, 3},
        {"a]", kPrimary, 3},
        {"a)b", "正規表現に余分な文字があります", 3},
        {")", "正規表現に余分な文字があります", 2},
        {"(ab", "右(閉じ)括弧が必要です", 4},
        {"((a)", "右(閉じ)括弧が必要です", 5},
        {"[]", "不正なキャラクタクラス指定です。", 3},
        {"[^]", "不正なキャラクタクラス指定です。", 4},
        {"[]a]", "不正なキャラクタクラス指定です。", 3},
        {"[a", kBracket, 3},
        {"x[", kBracket, 3},
        {"[z-a]", "不正なキャラクタ範囲です", 5},
        {"a\x82", "不正な２バイト文字コードです。", 2},
        {"ab\\", "\"\\\"の次には文字が必要です。", 4},
        {"\\x", "不正な１６進数コード表記です。", 3},
        {"\\777777", "不正な８進数コード表記です。", 8},
    };
    for (const BadExpression& c : cases) {
        ExpectBad(c);
    }
}

TEST(ParserErrors, CharactersNoTextCanHoldAreRefused) {
    const std::string kCode = "使用できない文字コードです。";
    const BadExpression cases[] = {
        // Code 0 is the end of the text; 0xFFFD-0xFFFF are the automaton's markers (0xFFFF
        // would otherwise become an empty transition and match anywhere).
        {"\\0", kCode, 3},
        {"a\\x0000", kCode, 8},
        {std::string("a\0b", 3), kCode, 3},
        {"\\xFFFF", kCode, 7},
        {"\\xFFFD", kCode, 7},
        {"[\\xFD00-\\xFFFF]", kCode, 15},
        {"[\\0]", kCode, 4},
        // A negated class that leaves no character.
        {"[^\\x01-\\xFCFC]", "不正なキャラクタクラス指定です。", 15},
        {"[^\\x01-\\x09\\x0B-\\x0C\\x0E-\\xFFFF]", "不正なキャラクタクラス指定です。", 33},
    };
    for (const BadExpression& c : cases) {
        ExpectBad(c);
    }
}

TEST(ParserBudget, DeepNestingIsRefusedNotOverflowed) {
    const std::string kTooComplex = "正規表現が複雑すぎます。";
    const std::string open(1000, '(');
    const std::string close(1000, ')');
    ExpectBad({open + "a" + close, kTooComplex, kMaxGroupNesting + 2});
    ExpectBad({open, kTooComplex, kMaxGroupNesting + 2});

    const std::string ok_open(kMaxGroupNesting, '(');
    const std::string ok_close(kMaxGroupNesting, ')');
    TREParser parser(ok_open + "a" + ok_close);
    EXPECT_NO_THROW(parser.Run());
    EXPECT_EQ(DumpTree(parser.Root()), "Char(a)");
}

TEST(ParserBudget, LongAndExplosiveExpressionsAreRefused) {
    const std::string kTooComplex = "正規表現が複雑すぎます。";
    // A literal as long as the height budget allows parses; a longer one does not.
    const std::string longest(kMaxTreeHeight, 'a');
    TREParser parser(longest);
    EXPECT_NO_THROW(parser.Run());
    const std::string too_long(kMaxTreeHeight + 1, 'a');
    ExpectBad({too_long, kTooComplex, static_cast<int>(too_long.size()) + 1});

    // Nested + copies its operand at every level in the automaton: 2^20 pieces.
    std::string nested = "a";
    for (int i = 0; i < 20; ++i) {
        nested = "(" + nested + ")+";
    }
    ExpectBad({nested, kTooComplex, static_cast<int>(nested.size()) + 1});

    // More distinct characters than the leaf budget, as bracket members.
    std::string many;
    std::size_t count = 0;
    for (unsigned c = 0x8840; count <= kMaxLeaves; ++c) {
        if ((c & 0xFF) >= 0x40 && (c & 0xFF) <= 0xFC) {
            many += WCharToStr(static_cast<WChar_t>(c));
            ++count;
        }
    }
    ExpectBad({"[" + many + "]", kTooComplex, static_cast<int>(kMaxLeaves) * 2 + 4});
}

TEST(ParserBudget, ManyOverlappingRangesAreRefusedNotSplitForever) {
    // Every pair of these ranges overlaps, and each pair costs a split.
    std::string expression = "[";
    for (unsigned i = 0; i < 1000; ++i) {
        expression += WCharToStr(static_cast<WChar_t>(0x8840 + i)) + "-\\xE000";
    }
    expression += "]";
    ExpectBad({expression, "正規表現が複雑すぎます。", static_cast<int>(expression.size()) + 1});
}

TEST(ParserBudget, OverlongExpressionIsRefusedUpFront) {
    ExpectBad({std::string(kMaxExpressionLength + 1, 'a'), "正規表現が複雑すぎます。",
               static_cast<int>(kMaxExpressionLength)});
}

TEST(Parser, RunAgainGivesTheSameTree) {
    TREParser parser("[a-c]b");
    parser.Run();
    const std::string first = DumpTree(parser.Root());
    parser.Run();
    EXPECT_EQ(DumpTree(parser.Root()), first);
    EXPECT_EQ(first, "Cat(Or(Or(Char(a),Char(b)),Char(c)),Char(b))");
}

}  // namespace
}  // namespace brindle
