#include "regexp/re_dfa.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/core_messages.hpp"
#include "regexp/re_nfa.hpp"
#include "regexp/re_parser.hpp"
#include "support/work_steps.hpp"

namespace brindle {
namespace {

// Compiles with the default markers; the parser and NFA only live during the build.
struct Compiled {
    std::unique_ptr<TRE_DFA> dfa;
    int nfa_states = 0;
    bool nfa_lhead = false;
    bool nfa_ltail = false;
};

Compiled Compile(const std::string& expression, WChar_t head = kLineHeadMarker,
                 WChar_t tail = kLineTailMarker) {
    TREParser parser(expression);
    parser.Run();
    TRE_NFA nfa(parser.Root(), head, tail);
    nfa.Run();
    Compiled c;
    c.nfa_states = nfa.StateCount();
    c.nfa_lhead = nfa.GetHasLHead();
    c.nfa_ltail = nfa.GetHasLTail();
    c.dfa = std::make_unique<TRE_DFA>(nfa);
    c.dfa->Run();
    return c;
}

// Runs the DFA over the whole text from the initial state; true when it ends accepting.
bool Accepts(const TRE_DFA& dfa, const std::string& text) {
    int state = dfa.GetpInitialDFAState();
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t pos = 0; pos < text.size() && state >= 0;) {
        std::size_t len;
        state = dfa.Step(state, dfa.ClassAt(data + pos, data + text.size(), len));
        pos += len;
    }
    return state >= 0 && dfa.IsAccepting(state);
}

TEST(DfaConstruction, EmptyExpressionIsOneAcceptingStateAndSimple) {
    const Compiled c = Compile("");
    ASSERT_EQ(c.dfa->StateCount(), 1);
    EXPECT_TRUE(c.dfa->IsAccepting(0));
    EXPECT_TRUE(c.dfa->Transitions(0).empty());
    EXPECT_TRUE(c.dfa->GetRegExpIsSimple());
    EXPECT_EQ(c.dfa->GetSimpleRegExp(), "");
}

TEST(DfaConstruction, SimpleExpressionCheck) {
    struct Case {
        const char* expression;
        bool simple;
        std::string string;
    };
    const Case cases[] = {
        {"abc", true, "abc"},
        {"\x93\x8C\x8B\x9E", true, "\x93\x8C\x8B\x9E"},
        {"a|b", false, ""},
        {"a*", false, ""},
        {"[ab]", false, ""},
        {"a.c", false, ""},
        {"ab*", false, ""},
        {"ab|ab", true, "ab"},
        // \x4142 is no text character: its bytes AB would be found where the automaton fails.
        {"\\x4142", false, ""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.expression);
        const Compiled c = Compile(k.expression);
        EXPECT_EQ(c.dfa->GetRegExpIsSimple(), k.simple);
        EXPECT_EQ(c.dfa->GetSimpleRegExp(), k.string);
    }
}

TEST(DfaConstruction, AnchorsAreMarkersOnlyAtTheEdges) {
    {
        const Compiled c = Compile("^abc");
        EXPECT_TRUE(c.dfa->GetHasLHead());
        const auto& first = c.dfa->Transitions(0);
        ASSERT_EQ(first.size(), 1U);
        EXPECT_EQ(first[0].CharClass.StartChar, kLineHeadMarker);
        EXPECT_TRUE(first[0].Marker);
        EXPECT_TRUE(c.dfa->GetRegExpIsSimple());
        EXPECT_EQ(c.dfa->GetSimpleRegExp(), WCharToStr(kLineHeadMarker) + "abc");
    }
    {
        const Compiled c = Compile("a^b");
        EXPECT_FALSE(c.dfa->GetHasLHead());
        EXPECT_TRUE(Accepts(*c.dfa, "a^b"));
    }
    EXPECT_TRUE(Compile("(a|^b)").dfa->GetHasLHead());
    EXPECT_TRUE(Compile("a$|b").dfa->GetHasLTail());
    {
        const Compiled c = Compile("a$b");
        EXPECT_FALSE(c.dfa->GetHasLTail());
        EXPECT_TRUE(Accepts(*c.dfa, "a$b"));
    }
    // Inside a closure nothing is at the start any more.
    EXPECT_FALSE(Compile("(^a)*").dfa->GetHasLHead());
}

TEST(DfaConstruction, ClosureStatesAndInitialAccepting) {
    const Compiled c = Compile("a*");
    EXPECT_EQ(c.nfa_states, 4);
    EXPECT_TRUE(c.dfa->IsAccepting(0));
    EXPECT_TRUE(Accepts(*c.dfa, "aaaa"));
    EXPECT_FALSE(Accepts(*c.dfa, "aab"));
}

TEST(DfaConstruction, TransitionsAreSortedAndDisjoint) {
    for (const char* expression : {"[a-c][b-d]x|[c-z]+", ".*[^\\n]a|\x82\xA0-", "(ab|[^b])*"}) {
        SCOPED_TRACE(expression);
        const Compiled c = Compile(expression);
        for (int s = 0; s < c.dfa->StateCount(); ++s) {
            const auto& list = c.dfa->Transitions(s);
            for (std::size_t i = 1; i < list.size(); ++i) {
                EXPECT_GT(list[i].CharClass.StartChar, list[i - 1].CharClass.EndChar);
            }
        }
    }
}

TEST(DfaConstruction, NextDFAStateFollowsRanges) {
    const Compiled c = Compile("[b-d]x|[\x82\x9F-\x82\xF1]y");
    const TRE_DFA& dfa = *c.dfa;
    EXPECT_EQ(dfa.NextDFAState(0, 'a'), TRE_DFA::kNoState);
    EXPECT_NE(dfa.NextDFAState(0, 'b'), TRE_DFA::kNoState);
    EXPECT_NE(dfa.NextDFAState(0, 'd'), TRE_DFA::kNoState);
    EXPECT_EQ(dfa.NextDFAState(0, 'e'), TRE_DFA::kNoState);
    EXPECT_NE(dfa.NextDFAState(0, 0x82A0), TRE_DFA::kNoState);
    EXPECT_EQ(dfa.NextDFAState(0, 0x82F2), TRE_DFA::kNoState);
    EXPECT_EQ(dfa.NextDFAState(0, kLineHeadMarker), TRE_DFA::kNoState);
}

// A literal ^ or $ is not cut apart from the ranges around it; both ways on must survive.
TEST(DfaConstruction, LiteralAnchorOverlappingARangeKeepsBothPaths) {
    const Compiled c = Compile("a(^b|[!-~]c)");
    EXPECT_TRUE(Accepts(*c.dfa, "a^b"));
    EXPECT_TRUE(Accepts(*c.dfa, "a^c"));
    EXPECT_TRUE(Accepts(*c.dfa, "a!c"));
    EXPECT_FALSE(Accepts(*c.dfa, "a!b"));
    const Compiled d = Compile("x($|[#-&])y");
    EXPECT_TRUE(Accepts(*d.dfa, "x$y"));
    EXPECT_TRUE(Accepts(*d.dfa, "x%y"));
}

// A reserved marker value cannot be written as a character and turn into an anchor.
TEST(DfaConstruction, SpelledMarkerValueIsRefused) {
    EXPECT_THROW(Compile("\\xFFFDa"), ERegExpParser);
    EXPECT_THROW(Compile("[\\xFFF0-\\xFFFF]"), ERegExpParser);
}

TEST(DfaConstruction, LineFeedMarkersAreOrdinaryCharacters) {
    const Compiled c = Compile("^ab$", 0x0A, 0x0A);
    EXPECT_TRUE(c.dfa->GetHasLHead());
    EXPECT_TRUE(c.dfa->GetHasLTail());
    EXPECT_TRUE(Accepts(*c.dfa, "\nab\n"));
    EXPECT_EQ(c.dfa->GetSimpleRegExp(), "\nab\n");
}

TEST(DfaConstruction, FirstBytesAndLiteralPrefix) {
    {
        const Compiled c = Compile("Subject:.*");
        EXPECT_EQ(c.dfa->LiteralPrefix(), "Subject:");
        EXPECT_TRUE(c.dfa->FirstBytes()['S']);
        EXPECT_FALSE(c.dfa->FirstBytes()['s']);
    }
    {
        const Compiled c = Compile("[a\x82\xA0-\x82\xA2]x");
        EXPECT_EQ(c.dfa->LiteralPrefix(), "");
        EXPECT_TRUE(c.dfa->FirstBytes()['a']);
        EXPECT_TRUE(c.dfa->FirstBytes()[0x82]);
        EXPECT_FALSE(c.dfa->FirstBytes()[0x83]);
    }
    // A prefix must stop before an accepting state: "ab*" matches "a" alone.
    EXPECT_EQ(Compile("ab*").dfa->LiteralPrefix(), "a");
}

TEST(DfaBudget, ExponentialSubsetsAreRefusedQuickly) {
    // 2^15 and 2^21 subsets: both are refused, after the same bounded work.
    const auto work = [](int depth) {
        std::string expression = "(a|b)*a";
        for (int i = 0; i < depth; ++i) {
            expression += "(a|b)";
        }
        return test::StepsOf([&] {
            try {
                Compile(expression);
                ADD_FAILURE() << "expected the state budget to refuse the expression";
            } catch (const ERegExpParser& e) {
                EXPECT_TRUE(e.Message().Is(Text(CoreMsg::RegexTooComplex))) << e.what();
            }
        });
    };
    const std::uint64_t shallow = work(14);
    const std::uint64_t deep = work(20);
    EXPECT_GT(shallow, 0u);
    EXPECT_LE(deep, 2 * shallow) << shallow << " " << deep;
}

TEST(DfaBudget, NestedPlusIsRefusedNotExhausted) {
    // Every + generates its operand twice; twenty levels would be a million copies.
    std::string expression = "a";
    for (int i = 0; i < 20; ++i) {
        expression = "(" + expression + ")+";
    }
    EXPECT_THROW(Compile(expression), ERegExpParser);
    // A few levels stay well inside the budgets and mean a+.
    const Compiled c = Compile("((((a+)+)+)+)");
    EXPECT_TRUE(Accepts(*c.dfa, "aaaaa"));
    EXPECT_FALSE(Accepts(*c.dfa, ""));
}

TEST(DfaBudget, LongLiteralDoesNotRecurseDeeply) {
    const std::string expression(3000, 'x');
    const Compiled c = Compile(expression);
    EXPECT_TRUE(Accepts(*c.dfa, expression));
    EXPECT_FALSE(Accepts(*c.dfa, expression.substr(1)));
}

}  // namespace
}  // namespace brindle
