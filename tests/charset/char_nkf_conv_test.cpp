#include "charset/char_nkf_conv.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "charset_test_util.hpp"
#include "platform/exception.hpp"
#include "platform/iconv_converter.hpp"

namespace brindle {
namespace {

using testing::Sj;

TEST(CharNkfConvCodePage, EachCodePageTakesItsConversion) {
    const TCharNkfConv conv;
    const std::string sjis = Sj("あ表ソ");
    EXPECT_EQ(conv.CodePageToSJis(sjis, kCodePageShiftJis), sjis);
    EXPECT_EQ(conv.CodePageToSJis("caf\xE9", kCodePageWindows1252), "caf\xE9");
    EXPECT_EQ(conv.CodePageToSJis("\x1B$B\x24\x22\x1B(B", 12345), "\x1B$B\x24\x22\x1B(B");
    EXPECT_EQ(conv.CodePageToSJis("\x1B$B\x24\x22\x1B(B", kCodePageIso2022Jp), "\x82\xA0");
    EXPECT_EQ(conv.CodePageToSJis("\xA4\xA2", kCodePageEucJp), "\x82\xA0");
    EXPECT_EQ(conv.CodePageToSJis("\xE3\x81\x82", kCodePageUtf8), "\x82\xA0");
    EXPECT_EQ(conv.CodePageToSJis("+MEI-", kCodePageUtf7), "\x82\xA0");
    EXPECT_EQ(conv.CodePageToSJis("=82=A0", kCodePageQuotedPrintable), "\x82\xA0\r\n");
    EXPECT_EQ(conv.CodePageToSJis("gqA=", kCodePageBase64), "\x82\xA0");
}

TEST(CharNkfConvCodePage, NecAndIbmExtensionsSurviveEveryUnicodeAndEucPath) {
    const TCharNkfConv conv;
    // ①㈱ are NEC row 13; 髙﨑ⅰ are IBM extensions (FB FC, FA B1, FA 40).
    const std::string sjis = Sj("①㈱髙﨑ⅰ～");
    EXPECT_EQ(conv.CodePageToSJis("\xE2\x91\xA0\xE3\x88\xB1\xE9\xAB\x99\xEF\xA8\x91\xE2\x85\xB0"
                                  "\xEF\xBD\x9E",
                                  kCodePageUtf8),
              sjis);
    EXPECT_EQ(conv.CodePageToSJis("+JGAyMZrZ+hEhcP9e-", kCodePageUtf7), sjis);
    EXPECT_EQ(conv.CodePageToSJis("\xAD\xA1\xAD\xEA\x8F\xF4\xFB\x8F\xF4\xBD\x8F\xF3\xF3\xA1\xC1",
                                  kCodePageEucJp),
              sjis);
    // JIS carries row 13 only.
    EXPECT_EQ(conv.CodePageToSJis("\x1B$B\x2D\x21\x2D\x6A\x1B(B", kCodePageIso2022Jp), Sj("①㈱"));
}

TEST(CharNkfConvCodePage, EveryCp932CharacterComesBackFromEachUnicodeAndEucForm) {
    // Every CP932 character that glibc maps both ways (NEC and IBM extensions included; the
    // duplicates that map one way only are left out), written in each code page by iconv.
    IconvConverter to_utf8("UTF-8", "CP932");
    IconvConverter from_utf8("CP932", "UTF-8");
    IconvConverter to_euc("EUC-JP-MS", "UTF-8");
    IconvConverter to_utf7("UTF-7", "UTF-8");
    std::string sjis;
    std::string euc_sjis;
    std::string euc;
    for (int c = 0x20; c < 0x7F; ++c) {
        sjis += static_cast<char>(c);
    }
    for (int c = 0xA1; c <= 0xDF; ++c) {
        sjis += static_cast<char>(c);
    }
    int characters = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
            const auto utf8 = to_utf8.ConvertStrict(pair);
            if (!utf8 || from_utf8.ConvertStrict(*utf8) != pair) {
                continue;
            }
            sjis += pair;
            if (++characters % 40 == 0) {
                sjis += "\r\n";
            }
            if (const auto e = to_euc.ConvertStrict(*utf8)) {
                euc_sjis += pair;
                euc += *e;
            }
        }
    }
    EXPECT_GE(characters, 7000);
    EXPECT_GE(euc_sjis.size(), 2u * 7000);
    const TCharNkfConv conv;
    const std::string utf8 = to_utf8.ConvertStrict(sjis).value_or("");
    EXPECT_EQ(conv.CodePageToSJis(utf8, kCodePageUtf8), sjis);
    EXPECT_EQ(conv.CodePageToSJis(to_utf7.ConvertStrict(utf8).value_or(""), kCodePageUtf7), sjis);
    EXPECT_EQ(conv.CodePageToSJis(euc, kCodePageEucJp), euc_sjis);
}

TEST(CharNkfConvCodePage, MissingAndInvalidCharactersBecomeQuestionMarks) {
    const TCharNkfConv conv;
    // An emoji has no CP932 form; it gives one '?' and the text goes on.
    EXPECT_EQ(conv.CodePageToSJis("a\xF0\x9F\x98\x80"
                                  "b",
                                  kCodePageUtf8),
              "a?b");
    EXPECT_EQ(conv.CodePageToSJis("a\xFF"
                                  "b\xC3(",
                                  kCodePageUtf8),
              "a?b?(");
    EXPECT_EQ(conv.CodePageToSJis("a\xE3\x81", kCodePageUtf8), "a?");
    EXPECT_EQ(conv.CodePageToSJis("a\xED\xA0\x80\xE3\x81\x82", kCodePageUtf8), "a???\x82\xA0");
    // EUC-JP: a lone lead byte at the end, a JIS X 0212 character CP932 lacks, a bad pair.
    EXPECT_EQ(conv.CodePageToSJis("\xA4\xA2\xA4", kCodePageEucJp), "\x82\xA0?");
    EXPECT_EQ(conv.CodePageToSJis("\x8F\xB0\xA1x", kCodePageEucJp), "?x");
    EXPECT_EQ(conv.CodePageToSJis("\xA4\x41x", kCodePageEucJp), "?Ax");
    // UTF-7: an 8-bit byte inside a Base64 run, and a run cut at the end.
    EXPECT_EQ(conv.CodePageToSJis("+MEI\xFF-x", kCodePageUtf7).find('?'), 0u + 2);
    EXPECT_EQ(conv.CodePageToSJis("a+2D3", kCodePageUtf7).substr(0, 1), "a");
    // A zero byte is a character like any other; the text goes on after it.
    EXPECT_EQ(conv.CodePageToSJis(std::string("a\0b", 3), kCodePageUtf8), std::string("a\0b", 3));
    EXPECT_EQ(conv.CodePageToSJis(std::string("\0\xA4\xA2", 3), kCodePageEucJp),
              std::string("\0\x82\xA0", 3));
}

// UTF-8 and EUC-JP go through a table of iconv's answers per character and through iconv
// itself from the first sequence the table does not serve; the result must be iconv's for the
// whole text. Generated texts mix kana and kanji, ASCII with slash, backslash and tilde,
// characters CP932 maps in its own way (¥ ‾ ～ 〜 ∥ －, NEC and IBM extensions), characters it
// lacks, zero bytes and broken sequences (cut, overlong, surrogates, stray bytes, JIS X 0212),
// in every order.
TEST(CharNkfConvCodePage, Utf8AndEucJpConvertAsIconvConvertsTheWholeText) {
    const std::string utf8_pieces[] = {
        "日本語",    "かなカナ",     "ｶﾅ",           "a/c\\~",           "\r\n",
        "¥‾～〜∥－", "①㈱髙",        "ü€",           "\xF0\x9F\x98\x80", std::string("\0", 1),
        "\xE3\x81",  "\xC0\xAF",     "\xE0\x80\xAF", "\xED\xA0\x80",     "\x80\xBF",
        "\xFF",      "\xEF\xBB\xBF", "\xC2\xA0",
    };
    IconvConverter utf8_to_euc("EUC-JP-MS", "UTF-8");
    std::vector<std::string> euc_pieces = {"\xA4", "\x8F\xB0\xA1", "\x8E\xE0", "\xA4\x41",
                                           "\xFF", "\x8E\xB1",     "\xF5\xA1", "\x8F\xF3\xF3"};
    for (const char* utf8 : {"日本語", "かなカナ", "ｶﾅ", "a/c\\~", "\r\n", "～∥－", "①㈱髙"}) {
        euc_pieces.push_back(utf8_to_euc.ConvertStrict(utf8).value());
    }
    euc_pieces.emplace_back("\0", 1);
    struct Case {
        int code_page;
        const char* iconv_name;
        IconvConverter::SkipRule skip;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {kCodePageUtf8,
         "UTF-8",
         &IconvConverter::SkipUtf8Character,
         {std::begin(utf8_pieces), std::end(utf8_pieces)}},
        {kCodePageEucJp, "EUC-JP-MS", &IconvConverter::SkipEucJpCharacter, euc_pieces},
    };
    const TCharNkfConv conv;
    for (const Case& c : cases) {
        IconvConverter iconv("CP932", c.iconv_name);
        std::uint64_t state = 3;
        for (int round = 0; round < 3000; ++round) {
            std::string text;
            for (int k = 0; k < 8; ++k) {
                state = state * 6364136223846793005ull + 1442695040888963407ull;
                text += c.pieces[(state >> 33) % c.pieces.size()];
            }
            EXPECT_EQ(conv.CodePageToSJis(text, c.code_page),
                      iconv.ConvertLenient(text, "?", c.skip))
                << c.iconv_name << ": " << text;
        }
    }
}

// A body converted line by line appends each line to the text: every code page gives what
// CodePageToSJis gives, after text already there (short lines and one longer than the chunk
// the JIS conversion makes room for at a time).
TEST(CharNkfConvCodePage, AppendingGivesWhatConvertingGives) {
    std::string long_jis = "\x1B$B";
    for (int i = 0; i < 3000; ++i) {
        long_jis += "F|K\\";
    }
    long_jis += "\x1B(B tail";
    const struct {
        int code_page;
        std::string text;
    } cases[] = {
        {kCodePageIso2022Jp, "\x1B$BF|K\\8l\x1B(B abc \x1B(I12\x1B(B"},
        {kCodePageIso2022Jp, "\x1B$B\x7F\x21\x1B(B\x0E"},
        {kCodePageIso2022Jp, long_jis},
        {kCodePageEucJp, "\xC6\xFC\xCB\xDC abc \x8E\xB1\x8F\xB0\xA1\xA4"},
        {kCodePageUtf8, "日本語 abc \xF0\x9F\x98\x80 \xE3\x81"},
        {kCodePageUtf7, "+ZeVnLIqe-"},
        {kCodePageQuotedPrintable, "=82=A0=\r\nx"},
        {kCodePageBase64, "gqA="},
        {932, "\x95\x5C\x8E\xA6"},
        {kCodePageWindows1252, "caf\xE9"},
    };
    const TCharNkfConv conv;
    for (const auto& c : cases) {
        std::string out = "prefix ";
        out.reserve(64);
        conv.AppendCodePageToSJis(c.text, c.code_page, out);
        EXPECT_EQ(out, "prefix " + conv.CodePageToSJis(c.text, c.code_page)) << c.code_page;
    }
}

// A body's stored lines converted in one call: each line as it converts on its own, followed by
// CR LF, whatever mode the line before left open; the code pages that are not served this way
// append nothing.
TEST(CharNkfConvCodePage, LinesConvertAsEachLineOnItsOwn) {
    std::string wide;  // pairs outside the table grow to six bytes: beyond any room reserved
    for (int i = 0; i < 2000; ++i) {
        wide += "\x1B$B\x7F\x21\x7F\x21\r\n";
    }
    std::string long_line = "\x1B$B";  // one line of many chunks
    for (int i = 0; i < 700; ++i) {
        long_line +=
            "\x7F\x21"
            "F|";
    }
    long_line += "\r\n\x1B(I1";
    const struct {
        int code_page;
        std::string lines;
        bool served;
    } cases[] = {
        {kCodePageIso2022Jp,
         "\x1B$BF|K\\\r\n8l\x1B(B\r\n\x0E"
         "12\r\n34\x0F\r\n\r\nabc",
         true},
        {kCodePageIso2022Jp, "\x1B$BF\r\n\x1B(\r\n\x1B\r\n\x1B(I1", true},
        {kCodePageIso2022Jp, wide, true},
        {kCodePageIso2022Jp, long_line, true},
        {kCodePageIso2022Jp, "", true},
        {932, "\x95\x5C\r\n\r\n\x8E\xA6", true},
        {932, "abc\r\n", true},
        {kCodePageWindows1252, "caf\xE9\r\n", true},
        // UTF-8 and EUC-JP only when every character is one the table serves.
        {kCodePageUtf8, "\xE6\x97\xA5\xE6\x9C\xAC\r\n\r\nabc \xC2\xA7\r\n\xEF\xBD\xB1", true},
        {kCodePageUtf8, "", true},
        {kCodePageUtf8, "abc\r\n\xF0\x9F\x98\x80 x\r\n", false},
        {kCodePageUtf8, "\xE6\x97\r\nabc", false},
        {kCodePageUtf8, "a\nb\r\n", false},
        {kCodePageEucJp, "\xC6\xFC\xCB\xDC\r\n\x8E\xB1x", true},
        {kCodePageEucJp, "abc\r\n\x8F\xB0\xA1\r\n", false},
        {kCodePageEucJp, "\xC6\r\n", false},
        {kCodePageUtf7, "abc\r\n", false},
    };
    const TCharNkfConv conv;
    for (const auto& c : cases) {
        std::string expected = "prefix ";
        for (std::size_t pos = 0; pos < c.lines.size();) {
            const std::size_t end = std::min(c.lines.find('\r', pos), c.lines.size());
            conv.AppendCodePageToSJis(c.lines.substr(pos, end - pos), c.code_page, expected);
            expected += "\r\n";
            pos = std::min(end + 2, c.lines.size());
        }
        std::string out = "prefix ";
        EXPECT_EQ(conv.AppendLinesToSJis(c.lines, c.code_page, out), c.served) << c.code_page;
        EXPECT_EQ(out, c.served ? expected : "prefix ") << c.code_page << ": " << c.lines;
    }
}

// EUC-JP pairs are taken 16 bytes at a time where the table is known to hold the JIS arithmetic
// for them: rows where iconv gives that arithmetic throughout, rows with cells it leaves
// unassigned, rows it maps elsewhere in part (NEC row 13) or whole (IBM extensions, user
// area), each at every place of a block, converted twice (the second time from a table that
// knows the cells) as text and as lines, must give what iconv gives.
TEST(CharNkfConvCodePage, EucJpRowsGiveWhatIconvGivesAtEveryPlaceOfABlock) {
    IconvConverter iconv("CP932", "EUC-JP-MS");
    const TCharNkfConv conv;
    for (const int row : {0xA1, 0xA4, 0xA5, 0xAD, 0xB0, 0xCF, 0xF5, 0xF9, 0xFC}) {
        std::string cells;
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            const std::string cell{static_cast<char>(row), static_cast<char>(trail)};
            if (iconv.ConvertStrict(cell)) {
                cells += cell;
            }
        }
        for (int shift = 0; shift < 16; ++shift) {
            SCOPED_TRACE(::testing::Message() << std::hex << row << " " << shift);
            const std::string text = std::string(shift, 'a') + cells;
            const std::string expected =
                iconv.ConvertLenient(text, "?", &IconvConverter::SkipEucJpCharacter);
            for (int pass = 0; pass < 2; ++pass) {
                EXPECT_EQ(conv.CodePageToSJis(text, kCodePageEucJp), expected);
                std::string lines;
                ASSERT_TRUE(conv.AppendLinesToSJis(text + "\r\n" + text, kCodePageEucJp, lines));
                EXPECT_EQ(lines, expected + "\r\n" + expected + "\r\n");
            }
        }
    }
}

// Texts of more than a megabyte are converted a piece at a time, cut after line feeds; the
// result must be that of converting the text whole. Every line ends in a cut or broken
// character right before its line feed.
TEST(CharNkfConvCodePage, LongTextConvertsAsItDoesWhole) {
    struct Case {
        int code_page;
        const char* from;
        IconvConverter::SkipRule skip;
        std::string line;
    };
    const Case cases[] = {
        {kCodePageUtf8, "UTF-8", &IconvConverter::SkipUtf8Character,
         "\xE3\x81\x82\xE3\x81\x82\xF0\x9F\x98\x80\xC3(\xE3\x81\x82\xE3\x81"},
        {kCodePageUtf8, "UTF-8", &IconvConverter::SkipUtf8Character, "\xF0\x90\x80"},
        {kCodePageEucJp, "EUC-JP-MS", &IconvConverter::SkipEucJpCharacter,
         "\xA4\xA2\xA4\xA2\x8E\xB1\x8F\xB0\xA1\xA4\x41\xA4\xA2\x8F\xB0"},
    };
    const TCharNkfConv conv;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        // Lines of varying length, so that a cut anywhere but after a line feed would split a
        // character somewhere.
        std::string text;
        for (std::size_t i = 0; text.size() < (std::size_t{3} << 20); ++i) {
            text.append(i % 5, 'x');
            text += c.line;
            text += '\n';
        }
        text += c.line;  // no line feed at the end
        IconvConverter converter("CP932", c.from);
        const std::string whole = converter.ConvertLenient(text, "?", c.skip);
        const std::string pieces = conv.CodePageToSJis(text, c.code_page);
        const auto [differs, _] =
            std::mismatch(pieces.begin(), pieces.end(), whole.begin(), whole.end());
        EXPECT_TRUE(pieces == whole) << "first difference at " << differs - pieces.begin();
    }
}

TEST(CharNkfConvCodePage, BrokenUtf7CostsOnlyItsOwnRun) {
    const TCharNkfConv conv;
    // A lone surrogate gives one '?'; the text after its run is read as text again.
    EXPECT_EQ(conv.CodePageToSJis("a+2D3-bc", kCodePageUtf7), "a?bc");
    EXPECT_EQ(conv.CodePageToSJis("+2D3- hello world", kCodePageUtf7), "? hello world");
    EXPECT_EQ(conv.CodePageToSJis("x+3gA-y", kCodePageUtf7), "x?y");
    EXPECT_EQ(conv.CodePageToSJis("+2D0wQg-x+MEI-", kCodePageUtf7), "?x\x82\xA0");
    EXPECT_EQ(conv.CodePageToSJis("a+2D3", kCodePageUtf7), "a?");
    // Surrogate pairs, "+-" and runs ended by any non-Base64 character still decode.
    EXPECT_EQ(conv.CodePageToSJis("+2D3eAA-+-+MEI.", kCodePageUtf7), "?+\x82\xA0.");
    // ASCII outside a run is text, '~' and '\\' included; an 8-bit byte is one '?'.
    EXPECT_EQ(conv.CodePageToSJis("~user\\x\xE3y", kCodePageUtf7), "~user\\x?y");
}

TEST(CharNkfConvHeader, EachUtf7WordEndsItsOwnBase64Run) {
    const TCharNkfConv conv;
    // "+MEI" needs no closing '-' at the end of its word; the next word is not part of the run.
    EXPECT_EQ(conv.DecodeHeader("=?UTF-7?Q?+MEI?= =?UTF-7?Q?abc?="), Sj("あabc"));
    EXPECT_EQ(conv.DecodeHeader("=?UTF-7?B?K01FSQ==?= =?UTF-7?B?K01FUQ==?="), Sj("あい"));
    // A run closed in its word, and a literal '+', are left as they are.
    EXPECT_EQ(conv.DecodeHeader("=?UTF-7?Q?+MEI-?= =?UTF-7?Q?-x?="), Sj("あ-x"));
    EXPECT_EQ(conv.DecodeHeader("=?UTF-7?Q?a+-?= =?UTF-7?Q?b?="), "a+b");
}

TEST(CharNkfConvCodePage, SystemConversionRefusesCodePagesItDoesNotServe) {
    const TCharNkfConv conv;
    try {
        conv.SystemCodePageToSJis("x", kCodePageWindows1252);
        FAIL() << "no error raised";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(),
                     "IEコンポーネントの初期化に失敗しました。(2) コードページ 1252 "
                     "の変換には対応していません。");
    }
}

TEST(CharNkfConvHeader, IsoQWordsAreReadLikeAnyOtherWord) {
    const TCharNkfConv conv;
    const std::string gen = "=?ISO-2022-JP?Q?=1B$B8@=1B(B?=";  // 言
    EXPECT_EQ(conv.DecodeHeader("=?ISO-2022-JP?Q?=1B$B$3$s$K$A$O=1B(B?="), Sj("こんにちは"));
    // Text after the word stays; two Q words, or a B word and a Q word, are each decoded.
    EXPECT_EQ(conv.DecodeHeader("head " + gen + " tail"), Sj("head 言 tail"));
    EXPECT_EQ(conv.DecodeHeader("=?ISO-2022-JP?Q?abc?= =?ISO-2022-JP?Q?def?="), "abcdef");
    EXPECT_EQ(conv.DecodeHeader("=?ISO-2022-JP?B?GyRCJDMbKEI=?= " + gen), Sj("こ言"));
    // "_" is a blank inside a Q word only; "=5F" is an underscore; a JIS kanji run may go on
    // from one word into the next.
    EXPECT_EQ(conv.DecodeHeader("a_b =?iso-2022-jp?q?x_y=5Fz?="), "a_b x y_z");
    EXPECT_EQ(conv.DecodeHeader("=?ISO-2022-JP?Q?=1B$B$3?= =?ISO-2022-JP?Q?$s=1B(B?="), Sj("こん"));
    // Without a closing "?=" the word runs to the end of the value.
    EXPECT_EQ(conv.DecodeHeader("x =?ISO-2022-JP?Q?abc"), "x abc");
    EXPECT_EQ(conv.DecodeHeader("=?ISO-2022-JP?Q?"), "");
    // A word right after something that only looked like the start of one.
    EXPECT_EQ(conv.DecodeHeader("=?=?utf-8?q?a?= =?x?Y?z =?utf-8?b?44GC?="),
              "=?a =?x?Y?z \x82\xA0");
}

TEST(CharNkfConvHeader, OtherJapaneseWordsGoThroughJis) {
    const TCharNkfConv conv;
    EXPECT_EQ(conv.DecodeHeader("Re: =?ISO-2022-JP?B?GyRCJCIbKEI=?="), "Re: \x82\xA0");
    EXPECT_EQ(conv.DecodeHeader("=?shift_jis?B?gqA=?="), "\x82\xA0");
    EXPECT_EQ(conv.DecodeHeader("=?EUC-JP?B?pKI=?="), "\x82\xA0");
    EXPECT_EQ(conv.DecodeHeader("\x1B$B\x24\x22\x1B(B"), "\x82\xA0");
    EXPECT_EQ(conv.DecodeHeader("plain subject"), "plain subject");
    EXPECT_EQ(conv.DecodeHeader(""), "");
}

TEST(CharNkfConvHeader, UnicodeWordsAreAllDecoded) {
    const TCharNkfConv conv;
    EXPECT_EQ(conv.DecodeHeader("=?UTF-8?B?44GC?= x"), "\x82\xA0 x");
    EXPECT_EQ(conv.DecodeHeader("x =?utf-8?b?44GC?="), "x \x82\xA0");
    EXPECT_EQ(conv.DecodeHeader("=?UTF-8?B?44GC?= =?UTF-8*ja?B?44GE?="), Sj("あい"));
    // Every word, not only the first; blanks between adjacent words go.
    EXPECT_EQ(conv.DecodeHeader("=?UTF-8?B?44GC?= =?UTF-8?B?44GE?=\r\n =?UTF-8?Q?=E3=81=86?="),
              Sj("あいう"));
    // Blanks next to plain text stay.
    EXPECT_EQ(conv.DecodeHeader("a =?UTF-8?B?44GC?= b =?UTF-8?B?44GE?= c"), Sj("a あ b い c"));
    // A character split across two words survives.
    EXPECT_EQ(conv.DecodeHeader("=?UTF-8?B?44E=?= =?UTF-8?B?gg==?="), "\x82\xA0");
    EXPECT_EQ(conv.DecodeHeader("=?UTF-7?B?K01FSS0=?= =?UTF-8?B?44GE?="), Sj("あい"));
    // In a Q word "_" is a blank, and no line break is left inside the value.
    EXPECT_EQ(conv.DecodeHeader("=?UTF-8?Q?Hello_=E4=B8=96=E7=95=8C?= !"), Sj("Hello 世界 !"));
    EXPECT_EQ(conv.DecodeHeader("=?UTF-8?Q?a=5Fb?="), "a_b");
}

TEST(CharNkfConvHeader, BrokenUnicodeWordsNeverRaise) {
    const TCharNkfConv conv;
    // Unterminated: decoded to the end of the value.
    EXPECT_EQ(conv.DecodeHeader("x =?UTF-8?B?44GC"), "x \x82\xA0");
    EXPECT_EQ(conv.DecodeHeader("=?UTF-8?B?"), "");
    EXPECT_EQ(conv.DecodeHeader("=?UTF-8?B?"
                                "?="),
              "");
    // Junk inside the Base64 and invalid UTF-8 give '?' rather than an error.
    EXPECT_EQ(conv.DecodeHeader("=?UTF-8?B?/w==?="), "?");
    EXPECT_EQ(conv.DecodeHeader("=?UTF-8?B?8J+YgA==?="), "?");
    // A word of a charset the program does not know gives its bytes as they are.
    EXPECT_EQ(conv.DecodeHeader("=?UTF-8?B?44GC?= =?X-UNKNOWN?B?QQ==?="),
              "\x82\xA0"
              "A");
    EXPECT_EQ(conv.DecodeUnicodeWord("no word here", "=?UTF-8?B?"), "no word here");
}

}  // namespace
}  // namespace brindle

namespace brindle {
namespace {

// Header decoding work for one line of n UTF-7 words, each ending inside its Base64 run.
std::uint64_t Utf7LineWork(std::size_t n, std::string& decoded) {
    std::string value;
    for (std::size_t i = 0; i < n; ++i) {
        value += "=?UTF-7?Q?+MEI?= ";
    }
    const std::uint64_t before = TCharNkfConv::HeaderDecodeSteps();
    decoded = TCharNkfConv().DecodeHeader(value);
    return TCharNkfConv::HeaderDecodeSteps() - before;
}

TEST(CharNkfConvHeader, ManyUtf7WordsOnOneLineTakeLinearWork) {
    std::string decoded;
    const std::uint64_t small = Utf7LineWork(2'000, decoded);
    EXPECT_EQ(decoded.size(), 2u * 2'000 + 1);  // あ each, and the final blank
    const std::uint64_t large = Utf7LineWork(8'000, decoded);
    EXPECT_EQ(decoded.size(), 2u * 8'000 + 1);
    ASSERT_GT(small, 2'000u);
    // Four times the words, four times the work; quadratic work would be sixteen times.
    EXPECT_LT(large, small * 5);
}

std::uint64_t DecodeWork(const std::string& piece, std::size_t n) {
    std::string value;
    for (std::size_t i = 0; i < n; ++i) {
        value += piece;
    }
    const std::uint64_t before = TCharNkfConv::HeaderDecodeSteps();
    static_cast<void>(TCharNkfConv().DecodeHeader(value));
    return TCharNkfConv::HeaderDecodeSteps() - before;
}

TEST(CharNkfConvHeader, HostileValuesTakeLinearWork) {
    // False starts, words without an end, words glued together, long charsets.
    for (const std::string piece : {"=?", "=?=?a?", "=?utf-8?q?a", "=?utf-8?q?a?==?x?b?c?=",
                                    "=?aaaaaaaaaaaaaaaaaaaa?Z?", "=?ISO-2022-JP?Q?=1B$B?= "}) {
        const std::uint64_t small = DecodeWork(piece, 1'000);
        const std::uint64_t large = DecodeWork(piece, 4'000);
        EXPECT_LT(large, small * 5 + 100) << piece;
    }
}

}  // namespace
}  // namespace brindle
