#include "regexp/re_preprocessor.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "regexp/re_parser.hpp"

namespace brindle {
namespace {

std::string Fuzzy(const std::string& expression) {
    TREPreProcessor pre(expression);
    pre.ListOfFuzzyCharDic().push_back(&RE_FuzzyCharDic());
    pre.SetUseFuzzyCharDic(true);
    pre.Run();
    return pre.GetProcessedRegExpStr();
}

// Shift_JIS forms used below.
const std::string kGa = "\x82\xAA", kGaKata = "\x83\x4B", kGaHalf = "\xB6\xDE";
const std::string kKaDaku = "\x82\xA9\x81\x4A", kKaKataDaku = "\x83\x4A\x81\x4A";
const std::string kAGroup = "(\x82\x60|\x82\x81|A|a)";  // Ａ ａ A a

TEST(FuzzyCharDictionary, HasItsGroupsInOrder) {
    const REDic_t& dic = RE_FuzzyCharDic();
    ASSERT_EQ(dic.size(), 145u);
    for (std::size_t i = 0; i < dic.size(); ++i) {
        EXPECT_GE(dic[i].size(), 2u) << "group " << i + 1;
        for (const std::string& word : dic[i]) {
            EXPECT_FALSE(word.empty()) << "group " << i + 1;
        }
    }
    EXPECT_EQ(dic[0], (REDicGroup_t{"\x82\x60", "\x82\x81", "A", "a"}));
    EXPECT_EQ(dic[25], (REDicGroup_t{"\x82\x79", "\x82\x9A", "Z", "z"}));
    EXPECT_EQ(dic[27], (REDicGroup_t{"1", "\x82\x50", "\x88\xEA", "\x87\x40", "\x87\x54",
                                     "\x88\xEB"}));  // 1 １ 一 ① Ⅰ 壱
    // The items that need quoting in comma text: blank, double quote, comma.
    EXPECT_EQ(dic[36], (REDicGroup_t{"\x81\x40", " "}));
    EXPECT_EQ(dic[38], (REDicGroup_t{"\"", "\x81\x68"}));
    EXPECT_EQ(dic[68], (REDicGroup_t{",", "\xA4", "\x81\x41", "\x81\x43"}));
    // ー is in group 49 before the hyphen's group 50; the backslash group holds ￥.
    EXPECT_EQ(dic[48], (REDicGroup_t{"\x81\x5B", "\x81\x60", "\xB0"}));
    EXPECT_EQ(dic[49].front(), "-");
    EXPECT_EQ(dic[60], (REDicGroup_t{"\\", "\x81\x8F"}));
    EXPECT_EQ(dic[72], (REDicGroup_t{"\x82\xF1", "\x83\x93", "\xDD"}));  // ん ン ﾝ
    EXPECT_EQ(dic[73], (REDicGroup_t{kGa, kGaKata, kGaHalf, kKaDaku, kKaKataDaku}));
    EXPECT_EQ(dic[79].size(), 10u);  // じ with ぢ
    EXPECT_EQ(dic[86].size(), 9u);   // ば with the ヴァ forms
    EXPECT_EQ(dic[86][5], "\x83\x94\x83\x40");
    EXPECT_EQ(dic[101], (REDicGroup_t{"\x82\xA9", "\x83\x4A", "\xB6"}));  // か カ ｶ
    EXPECT_EQ(dic[113].size(), 6u);                                       // つ with っ
    EXPECT_EQ(dic[139].front(), "\x82\xED");                              // わ
    EXPECT_EQ(dic[144], (REDicGroup_t{"\xDF", "\x81\x4B"}));              // ﾟ ゜
}

TEST(CommaText, QuotesCommasAndBlanks) {
    EXPECT_EQ(SplitCommaText("a,\"b,c\",\"d\"\"e\", f"), (REDicGroup_t{"a", "b,c", "d\"e", "f"}));
    EXPECT_EQ(SplitCommaText("\" \",x y"), (REDicGroup_t{" ", "x", "y"}));
    EXPECT_EQ(SplitCommaText(""), REDicGroup_t{});
    EXPECT_EQ(SplitCommaText("\"open"), REDicGroup_t{"open"});
    // Trail bytes never separate: 0x81 0x40 is the full-width blank.
    EXPECT_EQ(SplitCommaText("\x81\x40,\x83\x5C"), (REDicGroup_t{"\x81\x40", "\x83\x5C"}));
}

TEST(PreProcessor, FuzzyCharactersBecomeAlternations) {
    EXPECT_EQ(Fuzzy(kGaHalf),
              "(" + kGa + "|" + kGaKata + "|" + kGaHalf + "|" + kKaDaku + "|" + kKaKataDaku + ")");
    EXPECT_EQ(Fuzzy("A*"), kAGroup + "*");
    EXPECT_EQ(Fuzzy("\\x41"), kAGroup);  // by value, whatever the spelling
    // Metacharacters of a group are quoted; unknown characters are copied as written.
    EXPECT_EQ(Fuzzy("\\."), "(\xA1|\\.|\x81\x42|\x81\x44)");
    EXPECT_EQ(Fuzzy("\x88\x9F"), "\x88\x9F");                  // 亜
    EXPECT_EQ(Fuzzy("\x81\x5B"), "(\x81\x5B|\x81\x60|\xB0)");  // ー takes group 49
}

TEST(PreProcessor, TrailByteIsNeverTakenForAnAscii) {
    // ア is 0x83 0x41: it must get the vowel group of ア, never the group of A.
    const std::string out = Fuzzy("\x83\x41");
    EXPECT_EQ(out, "(\x82\xA0|\x83\x41|\xB1|\x82\x9F|\x83\x40|\xA7)");
}

TEST(PreProcessor, FirstMatchingStringWinsAcrossTokens) {
    // ヴァ is two characters and is found in the ば group, ahead of ヴ alone in the ぶ group.
    const std::string out = Fuzzy("\x83\x94\x83\x40");
    EXPECT_EQ(out.substr(0, 4), "(\x82\xCE|");  // (ば|
    EXPECT_EQ(std::count(out.begin(), out.end(), '('), 1);
}

TEST(PreProcessor, BracketsAndOperatorsAreLeftAsWritten) {
    EXPECT_EQ(Fuzzy("[A]"), "[A]");
    EXPECT_EQ(Fuzzy("[^A-Z]"), "[^A-Z]");
    EXPECT_EQ(Fuzzy("[A]A"), "[A]" + kAGroup);
    EXPECT_EQ(Fuzzy("(A|[\\]A])"), "(" + kAGroup + "|[\\]A])");
    EXPECT_EQ(Fuzzy("^$."), "^$.");
}

TEST(PreProcessor, FuzzyOutputParses) {
    const std::string out = Fuzzy("Ab*[c-e]|" + kGaHalf + "\\.1");
    TREParser parser(out);
    EXPECT_NO_THROW(parser.Run());
}

TEST(PreProcessor, SwitchesOffPassEverythingThrough) {
    for (const std::string& expression :
         {std::string("[a"), std::string("ab\x82"), std::string("A\\"), std::string()}) {
        TREPreProcessor pre(expression);
        pre.ListOfFuzzyCharDic().push_back(&RE_FuzzyCharDic());
        pre.Run();
        EXPECT_EQ(pre.GetProcessedRegExpStr(), expression);
    }
}

TEST(PreProcessor, SynonymsThenFuzzyCharacters) {
    const REDic_t synonyms = {{"ab", "cd"}, {"abc", "never"}};
    const REDic_t fuzzy = {{"c", "C"}};
    TREPreProcessor pre("abcx");
    pre.ListOfSynonymDic().push_back(&synonyms);
    pre.SetUseSynonymDic(true);
    pre.Run();
    // The first string that matches wins, not the longest.
    EXPECT_EQ(pre.GetProcessedRegExpStr(), "(ab|cd)cx");

    TREPreProcessor both("abx");
    both.ListOfSynonymDic().push_back(&synonyms);
    both.ListOfFuzzyCharDic().push_back(&fuzzy);
    both.SetUseSynonymDic(true);
    both.SetUseFuzzyCharDic(true);
    both.Run();
    EXPECT_EQ(both.GetProcessedRegExpStr(), "(ab|(c|C)d)x");
    // The target is what was set, and running again does not expand the expansion.
    EXPECT_EQ(both.GetTargetRegExpStr(), "abx");
    both.Run();
    EXPECT_EQ(both.GetProcessedRegExpStr(), "(ab|(c|C)d)x");
}

TEST(PreProcessor, WordsDoNotMatchAcrossOperators) {
    const REDic_t synonyms = {{"ab", "X"}};
    TREPreProcessor pre("a*b|a(b)|ab");
    pre.ListOfSynonymDic().push_back(&synonyms);
    pre.SetUseSynonymDic(true);
    pre.Run();
    EXPECT_EQ(pre.GetProcessedRegExpStr(), "a*b|a(b)|(ab|X)");
}

TEST(PreProcessor, TokenListRecordsSourceSpans) {
    TREPreProcessor pre("\\x41[^b]\x83\x5C");
    pre.MakeTokenList();
    const auto& tokens = pre.TokenList();
    ASSERT_EQ(tokens.size(), 6u);
    EXPECT_EQ(tokens[0].Token, retk_Char);
    EXPECT_EQ(tokens[0].Symbol.WChar, 'A');
    EXPECT_EQ(tokens[0].FromIndex, 1);
    EXPECT_EQ(tokens[0].ToIndex, 5);
    EXPECT_EQ(tokens[1].Token, retk_LBraNeg);
    EXPECT_EQ(tokens[1].ToIndex, 7);
    EXPECT_EQ(tokens[4].Symbol.WChar, 0x835C);
    EXPECT_EQ(tokens[4].FromIndex, 9);
    EXPECT_EQ(tokens[4].ToIndex, 11);
    EXPECT_EQ(tokens[5].Token, retk_End);
    EXPECT_EQ(tokens[5].FromIndex, 0);
}

TEST(PreProcessor, ErrorsPropagateAndLeaveTheObjectUsable) {
    TREPreProcessor pre("A[b");
    pre.ListOfFuzzyCharDic().push_back(&RE_FuzzyCharDic());
    pre.SetUseFuzzyCharDic(true);
    try {
        pre.Run();
        ADD_FAILURE() << "no error";
    } catch (const ERegExpParser& e) {
        EXPECT_STREQ(e.what(), "右ブラケット\"]\"が必要です");
        EXPECT_EQ(e.Position(), 4);
    }
    // The failed scan stopped inside brackets; the next text is scanned from the start.
    pre.SetTargetRegExpStr("a+b");
    pre.Run();
    EXPECT_EQ(pre.GetProcessedRegExpStr(), "(\x82\x60|\x82\x81|A|a)+(\x82\x61|\x82\x82|B|b)");
    pre.Run();
    EXPECT_EQ(pre.GetProcessedRegExpStr(), "(\x82\x60|\x82\x81|A|a)+(\x82\x61|\x82\x82|B|b)");
}

}  // namespace
}  // namespace brindle
