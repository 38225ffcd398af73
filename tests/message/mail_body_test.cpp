// The body stage of TMail: code page and transfer encoding detection, the boundary, single-part
// decoding in every charset mail carries, the choice of the text part of a multipart message,
// and malformed MIME that must neither crash, hang nor leak other parts into the text.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "message/japanese_samples.hpp"
#include "message/mail.hpp"
#include "support/work_steps.hpp"

namespace brindle {
namespace {

using Values = std::vector<std::string>;
using namespace samples;

TEST(MailCodePage, ChosenByTheLastValueNamingAKnownCharset) {
    struct Case {
        Values content_types;
        std::int32_t code_page;
    };
    const std::vector<Case> cases = {
        {{}, 50222},
        {{"text/plain"}, 50222},
        {{"text/plain; charset=\"iso-2022-jp\""}, 50222},
        {{"text/plain; charset=EUC-JP"}, 51932},
        {{"text/plain; charset=utf-8"}, 65001},
        {{"text/plain; charset=UTF8"}, 65001},
        {{"text/plain; charset=utf-7"}, 65000},
        {{"text/plain; charset=us-ascii"}, 932},
        {{"text/plain; charset=x-sjis"}, 932},
        {{"text/plain; charset=iso-8859-1"}, 1252},
        // Shift_JIS is not a label: such mail takes the JIS conversion, which passes it through.
        {{"text/plain; charset=Shift_JIS"}, 50222},
        // Values are examined from the last, labels in table order within one value.
        {{"text/plain;", "charset=euc-jp", "format=flowed"}, 51932},
        {{"charset=utf-8", "charset=euc-jp"}, 51932},
        {{"x-label: ISO-2022-JP or UTF-8"}, 50222},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TMail::GetCodePage(c.content_types), c.code_page)
            << (c.content_types.empty() ? "(none)" : c.content_types.back());
    }
}

TEST(MailTransferEncoding, AnyValueTrimmedAndUpperCased) {
    EXPECT_TRUE(TMail::IsBase64({" base64 "}));
    EXPECT_TRUE(TMail::IsBase64({"7bit", "x-Base64"}));
    EXPECT_FALSE(TMail::IsBase64({"7bit", "quoted-printable"}));
    EXPECT_FALSE(TMail::IsBase64({}));
    EXPECT_TRUE(TMail::IsQuotedPrintable({"Quoted-Printable"}));
    EXPECT_FALSE(TMail::IsQuotedPrintable({"quoted printable"}));
}

TEST(MailBoundary, QuotedUnquotedAndAbsent) {
    EXPECT_EQ(TMail::FindBoundary({"multipart/mixed; boundary=\"----=_NextPart_000\""}),
              "----=_NextPart_000");
    EXPECT_EQ(TMail::FindBoundary({"multipart/mixed; boundary=\"a b\"; charset=x"}), "a b");
    EXPECT_EQ(TMail::FindBoundary({"multipart/mixed; boundary=abc; charset=x"}), "abc");
    EXPECT_EQ(TMail::FindBoundary({"multipart/mixed; boundary=abc"}), "abc");
    EXPECT_EQ(TMail::FindBoundary({"multipart/mixed; boundary=abc def"}), "abc");
    EXPECT_EQ(TMail::FindBoundary({"multipart/mixed; boundary=\"unclosed"}), "unclosed");
    EXPECT_EQ(TMail::FindBoundary({"multipart/mixed; boundary="}), "");
    EXPECT_EQ(TMail::FindBoundary({"multipart/mixed;", "boundary=\"first\"", "boundary=x"}),
              "first");
    EXPECT_EQ(TMail::FindBoundary({"text/plain"}), "");
    EXPECT_EQ(TMail::FindBoundary({}), "");
}

TEST(MailSinglePart, PlainBodyIsConvertedLineByLine) {
    const TMail jis({"Subject: s", "", kKonnichiwaJis, "", "ascii " + kNihongoJis + " end"});
    EXPECT_EQ(jis.GetCodePage(), 50222);
    EXPECT_EQ(jis.GetBoundary(), "");
    EXPECT_EQ(jis.GetBodyLines(), (Lines{kKonnichiwa, "", "ascii " + kNihongo + " end"}));
    EXPECT_EQ(jis.GetBodyText(), kKonnichiwa + "\r\n\r\nascii " + kNihongo + " end\r\n");

    const TMail sjis({"Content-Type: text/plain; charset=Shift_JIS", "", kKonnichiwa});
    EXPECT_EQ(sjis.GetBodyLines(), Lines{kKonnichiwa});

    const TMail euc({"Content-Type: text/plain; charset=EUC-JP", "", kKonnichiwaEuc});
    EXPECT_EQ(euc.GetCodePage(), 51932);
    EXPECT_EQ(euc.GetBodyLines(), Lines{kKonnichiwa});

    const TMail utf8({"Content-Type: text/plain; charset=UTF-8", "", kKonnichiwaUtf8, "x"});
    EXPECT_EQ(utf8.GetBodyLines(), (Lines{kKonnichiwa, "x"}));

    const TMail utf7({"Content-Type: text/plain; charset=UTF-7", "", "+MFMwkzBrMGEwbw-"});
    EXPECT_EQ(utf7.GetBodyLines(), Lines{kKonnichiwa});

    const TMail latin1({"Content-Type: text/plain; charset=ISO-8859-1", "", "caf\xE9"});
    EXPECT_EQ(latin1.GetBodyLines(), Lines{"caf\xE9"});

    // A line that holds a line end once converted (a UTF-7 CR), or as it was given, stays one
    // line; the text holds it as it is.
    const TMail utf7_cr({"Content-Type: text/plain; charset=UTF-7", "", "a+AA0-b", "c"});
    EXPECT_EQ(utf7_cr.GetBodyText(), "a\rb\r\nc\r\n");
    EXPECT_EQ(utf7_cr.GetBodyLines(), (Lines{"a\rb", "c"}));
    const TMail given_lf({"Subject: s", "", "x\ny", "z"});
    EXPECT_EQ(given_lf.GetBodyLines(), (Lines{"x\ny", "z"}));
    EXPECT_EQ(given_lf.GetBodyText(), "x\ny\r\nz\r\n");
}

TEST(MailSinglePart, Base64IsDecodedAsOnePieceAndSplitAtItsOwnLineEnds) {
    // Lines of five characters: decoded line by line, no group of four would survive.
    const TMail mail({"Content-Type: text/plain; charset=\"utf-8\"",
                      "Content-Transfer-Encoding: base64", "", "44GT4", "4KT44", "Gr44G", "h44Gv",
                      "DQrml", "6XmnK", "zoqp4", "NCg=="});
    EXPECT_EQ(mail.GetBodyLines(), (Lines{kKonnichiwa, kNihongo}));
    EXPECT_EQ(mail.GetBodyText(), kKonnichiwa + "\r\n" + kNihongo + "\r\n");
}

TEST(MailSinglePart, QuotedPrintableJoinsSoftBreaks) {
    // The soft line break falls inside a three-byte UTF-8 character.
    const TMail mail({"Content-Type: text/plain; charset=utf-8",
                      "Content-Transfer-Encoding: quoted-printable", "",
                      "=E3=81=93=E3=82=", "=93=E3=81=AB=E3=81=A1=E3=81=AF", "line 2 a=3Db"});
    EXPECT_EQ(mail.GetBodyLines(), (Lines{kKonnichiwa, "line 2 a=b"}));
}

TEST(MailSinglePart, IsoJapaneseBase64Body) {
    const TMail mail({"Content-Type: text/plain; charset=ISO-2022-JP",
                      "Content-Transfer-Encoding: BASE64", "", "GyRCS1xKOCRHJDkbKEINCg=="});
    EXPECT_EQ(mail.GetBodyLines(), Lines{kHonbun});
}

// A multipart/mixed message as a mail program writes it: the boundary folded onto its own
// line, a preamble, a text part and an attachment.
Lines MixedMessage(const Lines& text_part_header, const Lines& text_body) {
    Lines lines = {"Subject: mixed",
                   "MIME-Version: 1.0",
                   "Content-Type: multipart/mixed;",
                   "\tboundary=\"----=_NextPart_000_0001\"",
                   "",
                   "This is a multi-part message in MIME format.",
                   "",
                   "------=_NextPart_000_0001"};
    lines.insert(lines.end(), text_part_header.begin(), text_part_header.end());
    lines.push_back("");
    lines.insert(lines.end(), text_body.begin(), text_body.end());
    const Lines attachment = {"------=_NextPart_000_0001",
                              "Content-Type: application/octet-stream; name=\"a.txt\"",
                              "Content-Transfer-Encoding: base64",
                              "",
                              "PGh0bWw+grE8L2h0bWw+",
                              "",
                              "------=_NextPart_000_0001--",
                              "epilogue"};
    lines.insert(lines.end(), attachment.begin(), attachment.end());
    return lines;
}

TEST(MailMultipart, MixedYieldsTheTextPartOnly) {
    const TMail mail(MixedMessage({"Content-Type: text/plain;", "\tcharset=\"iso-2022-jp\"",
                                   "Content-Transfer-Encoding: 7bit"},
                                  {kHonbunJis, "second line", ""}));
    EXPECT_EQ(mail.GetBoundary(), "----=_NextPart_000_0001");
    EXPECT_EQ(mail.GetBodyLines(), (Lines{kHonbun, "second line", ""}));
    // The part header does not replace the message's header map.
    EXPECT_EQ(mail.GetHeaders().Values("CONTENT-TRANSFER-ENCODING:"), Values{});
}

TEST(MailMultipart, PartEncodingAndCharsetComeFromThePartHeader) {
    const TMail mail(MixedMessage(
        {"Content-Type: text/plain; charset=utf-8", "Content-Transfer-Encoding: base64"},
        {"5pys5paH44Gn44GZDQo="}));
    EXPECT_EQ(mail.GetCodePage(), 65001);
    EXPECT_EQ(mail.GetBodyLines(), Lines{kHonbun});
}

TEST(MailMultipart, AlternativeSkipsHtmlForThePlainText) {
    const TMail mail({"Content-Type: multipart/alternative; boundary=\"alt\"", "", "--alt",
                      "Content-Type: text/html; charset=utf-8", "Content-Transfer-Encoding: base64",
                      "", "PGh0bWw+grE8L2h0bWw+", "--alt",
                      "Content-Type: text/plain; charset=utf-8",
                      "Content-Transfer-Encoding: quoted-printable", "",
                      "=E3=81=93=E3=82=93=E3=81=AB=E3=81=A1=E3=81=AF", "--alt--", "after"});
    EXPECT_EQ(mail.GetCodePage(), 65001);
    EXPECT_EQ(mail.GetBodyLines(), Lines{kKonnichiwa});
}

TEST(MailMultipart, LastTextPartEndsAtTheClosingDelimiter) {
    const TMail mail({"Content-Type: multipart/mixed; boundary=\"b\"", "", "--b",
                      "Content-Type: text/plain; charset=utf-8",
                      "Content-Transfer-Encoding: base64", "", "5pys5paH44Gn44GZDQo=", "", "--b--",
                      "epilogue text"});
    EXPECT_EQ(mail.GetBodyLines(), Lines{kHonbun});
}

TEST(MailMultipart, UnquotedBoundaryIsDecoded) {
    const TMail mail({"Content-Type: multipart/mixed; boundary=simple-boundary; x=y", "",
                      "--simple-boundary", "Content-Type: text/plain", "", "text",
                      "--simple-boundary--"});
    EXPECT_EQ(mail.GetBoundary(), "simple-boundary");
    EXPECT_EQ(mail.GetBodyLines(), Lines{"text"});
}

TEST(MailMultipart, PartsThatAreNotTopLevelTextPlainGiveAnEmptyBody) {
    // The only text is inside a nested multipart, which is not entered.
    const TMail nested({"Content-Type: multipart/mixed; boundary=\"outer\"", "", "--outer",
                        "Content-Type: multipart/alternative; boundary=\"inner\"", "", "--inner",
                        "Content-Type: text/plain", "", "nested text", "--inner--", "--outer",
                        "Content-Type: image/png", "", "iVBORw0KGgo=", "--outer--"});
    EXPECT_EQ(nested.GetBoundary(), "outer");
    EXPECT_TRUE(nested.GetBodyLines().empty());
    EXPECT_EQ(nested.GetBodyText(), "");

    // The media type is compared case-sensitively.
    const TMail capitalised({"Content-Type: multipart/mixed; boundary=\"b\"", "", "--b",
                             "Content-Type: Text/Plain", "", "text", "--b--"});
    EXPECT_TRUE(capitalised.GetBodyLines().empty());

    const TMail no_type({"Content-Type: multipart/mixed; boundary=\"b\"", "", "--b",
                         "Content-Disposition: inline", "", "text", "--b--"});
    EXPECT_TRUE(no_type.GetBodyLines().empty());
}

TEST(MailMultipart, MalformedStructuresStayBounded) {
    // No closing delimiter: the text part runs to the end of the message.
    const TMail unclosed({"Content-Type: multipart/mixed; boundary=\"b\"", "", "--b",
                          "Content-Type: text/plain", "", "one", "two"});
    EXPECT_EQ(unclosed.GetBodyLines(), (Lines{"one", "two"}));

    // A part header that never ends accepts nothing.
    const TMail endless_header({"Content-Type: multipart/mixed; boundary=\"b\"", "", "--b",
                                "Content-Type: text/plain", "--b", "text"});
    EXPECT_TRUE(endless_header.GetBodyLines().empty());

    // A nested multipart reusing the outer boundary: its text part is just the next part.
    const TMail same_boundary({"Content-Type: multipart/mixed; boundary=\"b\"", "", "--b",
                               "Content-Type: multipart/alternative; boundary=\"b\"", "", "--b",
                               "Content-Type: text/plain", "", "inner", "--b--", "--b--"});
    EXPECT_EQ(same_boundary.GetBodyLines(), Lines{"inner"});

    // A delimiter with something after it does not end the part; only the exact line does.
    const TMail look_alike({"Content-Type: multipart/mixed; boundary=\"b\"", "", "--b",
                            "Content-Type: text/plain", "", "--bb", "--b x", "--b"});
    EXPECT_EQ(look_alike.GetBodyLines(), (Lines{"--bb", "--b x"}));

    // Only a header and a delimiter, and a boundary but no body at all.
    const TMail header_only({"Content-Type: multipart/mixed; boundary=\"b\""});
    EXPECT_TRUE(header_only.GetBodyLines().empty());
    const TMail delimiter_only({"Content-Type: multipart/mixed; boundary=\"b\"", "", "--b"});
    EXPECT_TRUE(delimiter_only.GetBodyLines().empty());
}

TEST(MailMultipart, ManyPartsAndLargeBodiesParseInLinearTime) {
    // Rejected parts followed by a long text part: a quadratic walk over the parts would
    // do sixteen times the work for four times the parts.
    const auto make = [](int parts, int chunks) {
        Lines lines = {"Content-Type: multipart/mixed; boundary=\"b\"", ""};
        for (int i = 0; i < parts; ++i) {
            lines.insert(lines.end(), {"--b", "Content-Type: application/x-part", "", "data"});
        }
        lines.insert(lines.end(),
                     {"--b", "Content-Type: text/plain", "Content-Transfer-Encoding: base64", ""});
        const std::string chunk = "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWQ0K";  // "A..Y\r\n"
        for (int i = 0; i < chunks; ++i) {
            lines.push_back(chunk);
        }
        return lines;
    };
    const Lines small = make(5000, 12500);
    const Lines large = make(20000, 50000);
    // The body is decoded on its first request: the work counted is building and asking.
    const std::uint64_t small_steps = test::StepsOf([&] {
        const TMail mail(small);
        static_cast<void>(mail.GetBodyLines());
    });
    std::optional<TMail> mail;
    const std::uint64_t large_steps = test::StepsOf([&] {
        mail.emplace(large);
        static_cast<void>(mail->GetBodyLines());
    });
    EXPECT_EQ(mail->GetBodyLines().size(), 50000u);
    EXPECT_EQ(mail->GetBodyLines().back(), "ABCDEFGHIJKLMNOPQRSTUVWXY");
    EXPECT_TRUE(test::GrowsLinearly(small_steps, large_steps)) << small_steps << " " << large_steps;
}

// A long Base64 body is decoded a stretch at a time and a quoted-printable one straight from the
// stored text; the results must be those of decoding the joined lines in one piece, whatever
// the line lengths (not multiples of four), stray characters and padding inside the text.
TEST(MailBody, LongEncodedBodiesDecodeAsOnePiece) {
    std::string base64_body;
    std::string qp_body;
    Lines base64_lines;
    Lines qp_lines;
    std::uint64_t state = 99;
    for (int i = 0; i < 6000; ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        std::string line;
        const std::size_t length = 1 + (state >> 33) % 90;
        for (std::size_t k = 0; k < length; ++k) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            line += "QUJDZGVm0123+/=x*"[(state >> 40) % 17];
        }
        base64_lines.push_back(line);
        base64_body += line;
        const std::string qp = "=E6=97=A5 " + line + (i % 3 == 0 ? "=" : "");
        qp_lines.push_back(qp);
        qp_body += qp + "\r\n";
    }
    ASSERT_GT(base64_body.size(), 3u * 65536);
    const std::string head = "Subject: s\r\nContent-Type: text/plain; charset=ISO-8859-1\r\n";
    for (const bool from_text : {true, false}) {
        Lines b64 = {"Content-Transfer-Encoding: base64", ""};
        b64.insert(b64.end(), base64_lines.begin(), base64_lines.end());
        Lines qp = {"Content-Transfer-Encoding: quoted-printable", ""};
        qp.insert(qp.end(), qp_lines.begin(), qp_lines.end());
        const auto make = [&](const Lines& lines) {
            return from_text ? TMail::FromStoredText(head + JoinLines(lines))
                             : std::make_unique<TMail>([&] {
                                   Lines all = SplitLines(head);
                                   all.insert(all.end(), lines.begin(), lines.end());
                                   return all;
                               }());
        };
        const auto b64_mail = make(b64);
        const auto qp_mail = make(qp);
        const auto expect = [&](const TMail& mail, const std::string& decoded) {
            const std::string converted = mail.ConvertText(decoded);
            EXPECT_EQ(mail.GetBodyText(), JoinLines(SplitLines(converted)));
            EXPECT_EQ(mail.GetBodyLines(), SplitLines(converted));
        };
        expect(*b64_mail, TCharCodeConv::B64Decode(base64_body));
        expect(*qp_mail, TCharCodeConv::QPDecode(qp_body));
    }
}

}  // namespace
}  // namespace brindle
