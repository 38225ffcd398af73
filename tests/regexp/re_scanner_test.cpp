#include "regexp/re_scanner.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace brindle {
namespace {

std::string Hex(WChar_t c) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%X", static_cast<unsigned>(c));
    return buffer;
}

// All tokens of an expression as text, e.g. "LBra 61 CC(61-7A) RBra End"; characters in hex.
std::string Scan(const std::string& expression) {
    static const char* const kNames[] = {"Char", "CC",   "Union", "LPar",  "RPar",
                                         "Star", "Plus", "QMark", "LBra",  "LBraNeg",
                                         "RBra", "Dot",  "LHead", "LTail", "End"};
    TREScanner scanner(expression);
    std::string out;
    for (int guard = 0; guard < 1000; ++guard) {
        const REToken_t token = scanner.GetToken();
        if (!out.empty()) {
            out += ' ';
        }
        if (token == retk_Char) {
            out += Hex(scanner.Symbol().WChar);
        } else if (token == retk_CharClass) {
            out += "CC(" + Hex(scanner.Symbol().CharClass.StartChar) + "-" +
                   Hex(scanner.Symbol().CharClass.EndChar) + ")";
        } else {
            out += kNames[token];
        }
        if (token == retk_End) {
            return out;
        }
    }
    return out + " (no end)";
}

TEST(ScannerStandardMode, Operators) {
    EXPECT_EQ(Scan("^(a|b)+*?.$"), "LHead LPar 61 Union 62 RPar Plus Star QMark Dot LTail End");
    EXPECT_EQ(Scan(""), "End");
    EXPECT_EQ(Scan("]"), "RBra End");
    EXPECT_EQ(Scan("-{}"), "2D 7B 7D End");
}

TEST(ScannerStandardMode, EscapesAreAlwaysLiteral) {
    EXPECT_EQ(Scan("\\.\\*\\[\\\\"), "2E 2A 5B 5C End");
    EXPECT_EQ(Scan("\\x41\\x4142\\x41424"), "41 4142 4142 34 End");
    EXPECT_EQ(Scan("\\101\\0\\1234567"), "41 0 A72E 37 End");
    EXPECT_EQ(Scan("\\b\\n\\r\\t"), "8 A D 9 End");
}

TEST(ScannerStandardMode, TrailBytesAreNeverMetacharacters) {
    // ソ = 83 5C (trail is a backslash), ゼ = 83 5B (trail is [), ア = 83 41, ボ = 83 7B,
    // ポ = 83 7C (trail is |).
    EXPECT_EQ(Scan("\x83\x5Cn"), "835C 6E End");
    EXPECT_EQ(Scan("\x83\x5B"), "835B End");
    EXPECT_EQ(Scan("\x83\x41"), "8341 End");
    EXPECT_EQ(Scan("\x83\x7C\x83\x7C"), "837C 837C End");
    EXPECT_EQ(Scan("\\\x83\x5C"), "835C End");
    EXPECT_EQ(Scan("\xB1\xDF"), "B1 DF End");
}

TEST(ScannerBracketMode, MembersAndRanges) {
    EXPECT_EQ(Scan("[a-z]"), "LBra CC(61-7A) RBra End");
    EXPECT_EQ(Scan("[^a-c]x"), "LBraNeg CC(61-63) RBra 78 End");
    EXPECT_EQ(Scan("[a-]"), "LBra 61 2D RBra End");
    EXPECT_EQ(Scan("[-a]"), "LBra 2D 61 RBra End");
    EXPECT_EQ(Scan("[\\]]"), "LBra 5D RBra End");
    EXPECT_EQ(Scan("[a\\-z]"), "LBra 61 2D 7A RBra End");
    EXPECT_EQ(Scan("[\\x41-\\x5A]"), "LBra CC(41-5A) RBra End");
    EXPECT_EQ(Scan("[a-a]"), "LBra CC(61-61) RBra End");
    // Operators mean nothing inside brackets.
    EXPECT_EQ(Scan("[(*.|^]"), "LBra 28 2A 2E 7C 5E RBra End");
    EXPECT_EQ(Scan("[\x83\x5C-\x83\x5E]"), "LBra CC(835C-835E) RBra End");
    EXPECT_EQ(Scan("[\x83\x5D]"), "LBra 835D RBra End");  // trail byte ] does not close
}

struct BadScan {
    std::string expression;
    std::string message;
    int position;
};

TEST(ScannerErrors, MessagesAndPositions) {
    const std::string kBracket = "右ブラケット\"]\"が必要です";
    const BadScan cases[] = {
        {"[a", kBracket, 3},
        {"[", kBracket, 2},
        {"[^", kBracket, 3},
        {"[a-", kBracket, 4},
        {"[a-b", kBracket, 5},
        {"[z-a]", "不正なキャラクタ範囲です", 5},
        {"[\x83\x41-A]", "不正なキャラクタ範囲です", 6},
        {"ab\x82", "不正な２バイト文字コードです。", 3},
        {"[\x82", "不正な２バイト文字コードです。", 2},
        {"a\\", "\"\\\"の次には文字が必要です。", 3},
        {"[a\\", "\"\\\"の次には文字が必要です。", 4},
        {"\\xz", "不正な１６進数コード表記です。", 3},
        {"\\777777", "不正な８進数コード表記です。", 8},
    };
    for (const BadScan& c : cases) {
        try {
            const std::string tokens = Scan(c.expression);
            ADD_FAILURE() << c.expression << " scanned as " << tokens;
        } catch (const ERegExpParser& e) {
            EXPECT_EQ(e.what(), c.message) << c.expression;
            EXPECT_EQ(e.Position(), c.position) << c.expression;
        }
    }
}

TEST(Scanner, NulByteIsACharacterNotTheEnd) {
    EXPECT_EQ(Scan(std::string("a\0b", 3)), "61 0 62 End");
}

TEST(Scanner, NewTextRestartsAtTheBeginning) {
    TREScanner scanner("ab");
    scanner.GetToken();
    scanner.GetToken();
    scanner.SetRegExpStr("c");
    EXPECT_EQ(scanner.Index(), 1);
    EXPECT_EQ(scanner.GetToken(), retk_Char);
    EXPECT_EQ(scanner.Symbol().WChar, 'c');
    EXPECT_EQ(scanner.GetToken(), retk_End);
    EXPECT_EQ(scanner.GetToken(), retk_End);  // stays at the end
}

TEST(Scanner, RewindLeavesBracketMode) {
    TREScanner scanner("[a");
    scanner.GetToken();
    EXPECT_THROW(scanner.GetToken(), ERegExpParser);
    EXPECT_TRUE(scanner.InCharClass());
    scanner.SetRegExpStr("a-b");
    scanner.Rewind();
    EXPECT_EQ(scanner.GetToken(), retk_Char);
    EXPECT_EQ(scanner.GetToken(), retk_Char);
    EXPECT_EQ(scanner.Symbol().WChar, '-');
}

}  // namespace
}  // namespace brindle
