// Writes a starting corpus for every fuzz target, made from the inputs of the unit tests, so
// that a short run starts from real structure (encoded words, multipart messages, mailbox
// indexes, job files, expressions) instead of discovering it byte by byte. Mailboxes are built
// with the tests' DbxBuilder, so no binary file is kept in the repository.
//
//   make_seeds OUT_DIR   writes OUT_DIR/<target>/<n> for each target
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "support/dbx_builder.hpp"

namespace {

using Lines = std::vector<std::string>;

struct HeaderCase {
    const char* name;
    Lines field;
    std::string expected;
};

// The generated subjects of the header tests.
const std::vector<HeaderCase> kHeaderCases = {
#include "message/header_cases.inc"
};

std::string Join(const Lines& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

// Messages of the message tests: encoded and folded headers, every transfer encoding, multipart
// shapes, zero bytes.
std::vector<std::string> Messages() {
    std::vector<std::string> messages = {
        Join({"Subject: =?ISO-2022-JP?B?GyRCJDMkcyRLJEEkTxsoQg==?=", "From: a@example.jp",
              "Content-Type: text/plain; charset=\"ISO-2022-JP\"", "", "\x1B$BK\\J8$G$9\x1B(B"}),
        Join({"Subject: =?utf-8?Q?Hello_?=", " =?utf-8?Q?World?=", "To: a,", " b",
              "Content-Type: text/plain; charset=utf-8",
              "Content-Transfer-Encoding: quoted-printable", "", "caf=C3=A9 =E3=81=82=", "x = a",
              "a=00b"}),
        Join({"Subject: =?UTF-7?Q?+MEI?= =?UTF-7?B?K01FUQ==?=",
              "Content-Type: text/plain; charset=EUC-JP", "Content-Transfer-Encoding: base64", "",
              "pLOk86TLpMGkzw=="}),
        Join({"Content-Type: multipart/mixed; name=\"=?ISO-2022-JP?Q?=1B$B8@=1B(B?=\";",
              " boundary=\"sep\"", "", "preamble", "--sep", "Content-Type: text/html", "",
              "<p>x</p>", "--sep", "Content-Type: text/plain; charset=\"UTF-8\"",
              "Content-Transfer-Encoding: base64", "", "44GC44GE", "--sep",
              "Content-Type: application/octet-stream; name=\"a.bin\"", "", "AAAA", "--sep--"}),
        Join({"Content-Type: multipart/alternative; boundary=outer", "", "--outer",
              "Content-Type: multipart/related; boundary=\"inner\"", "", "--inner",
              "Content-Type: text/plain", "", "nested", "--inner--", "--outer--"}),
        Join({" orphan continuation", "X-Note", "Subject:", "Subject: second", "", ""}),
        std::string("Subject: zero\0byte\r\n\r\nbody\0after\r\n", 34),
    };
    for (std::size_t i = 0; i < kHeaderCases.size(); i += 7) {
        Lines lines = kHeaderCases[i].field;
        lines.front() = "Subject: " + lines.front();
        lines.insert(lines.end(), {"", "body"});
        messages.push_back(Join(lines));
    }
    return messages;
}

std::vector<std::string> Mailboxes(const std::vector<std::string>& messages) {
    using brindle::test::DbxBuilder;
    DbxBuilder all;
    for (const auto& message : messages) {
        all.AddMessage(message);
    }
    return {
        all.Build(),
        DbxBuilder().AddMessages(3).IndexAsLeftChain().Build(),
        DbxBuilder().AddMessages(3).IndexAsEntryChain().ScatterBlocks().Build(),
        DbxBuilder().AddMessage(messages[0], {16, 32}).AddressInDataArea(0).Build(),
        DbxBuilder().AddMessage(messages[1], {64}).LoopBlockChainAt(0, 0).Build(),
        DbxBuilder().AddMessage(messages[2], {64}).BlockLengthAbove1024(0, 0).Build(),
        DbxBuilder().AddMessages(2).NextBlockPastEnd(1, 0).Build(),
        DbxBuilder().AddMessages(2).IndexPointsBackToRoot().Build(),
        DbxBuilder().AddMessages(2).LeftChildPointsBackToRoot().Build(),
        DbxBuilder().AddMessages(2).RecordPastEnd(0).Build(),
        DbxBuilder().AddMessages(2).HeaderCount(7).Build(),
        DbxBuilder().AddMessages(4).TruncateTo(0x300).Build(),
    };
}

// Header values and texts of the charset tests.
std::vector<std::string> CharsetTexts() {
    std::vector<std::string> texts = {
        "\x1B$B$3$s$K$A$O\x1B(B",   "\x1B(I\x31\x0E\x31\x0F",   "\xA4\xB3\xA4\xF3\x8E\xB1",
        "+MEIwRA- +2D3- a+-b",      "a=3Db=\r\nc=e3=81=82 = x", "grGC8YLJgr+CzQ==",
        "\x82\xA0\x83\x5F\xFC\xFC",
    };
    for (std::size_t i = 0; i < kHeaderCases.size(); i += 3) {
        std::string value;
        for (const auto& line : kHeaderCases[i].field) {
            value += line;
        }
        texts.push_back(value);
    }
    return texts;
}

// Expressions of the regular expression tests.
const std::vector<std::string> kExpressions = {
    "abc",
    "a*",
    "(a|ab)(c|bcd)",
    "x*y|x+",
    "[0-9]+",
    "[^a-z]",
    "colou?r",
    "^foo$",
    "\x93\x8C\x8B\x9E|\x82\xA0+",
    "[\x82\xA0-\x82\xF1]",
    "a{2,3}",
    "\\x41\\t\\\\",
    "((a+)+)+",
    "[a-z&&[^x]]",
};

std::vector<std::string> JobFiles() {
    return {
        "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<Brindle Version=\"1.0\"><InportPath>"
        "<Path>/mail/Inbox.dbx</Path><Path>/mail/\x8E\xF3\x90M.dbx</Path></InportPath>"
        "<ExportPath>/out</ExportPath><NamingType>2</NamingType><NamingTypeParameter>"
        "<ParamText>\x8C\x8F\x96\xBC</ParamText><NamingLine>1</NamingLine><NamingPos>0</NamingPos>"
        "</NamingTypeParameter><CreateDir>1</CreateDir><ConditionList>"
        "<Condition FindPos=\"0\" Capital=\"1\" Regexp=\"0\">Subject</Condition>"
        "<Condition FindPos=\"2\" Capital=\"0\" Regexp=\"1\">[a-z]+&#9;</Condition>"
        "</ConditionList></Brindle>\r\n",
        "<?xml version=\"1.0\"?><Brindle><ExportPath>/one</ExportPath><NamingType>1</NamingType>"
        "</Brindle>",
    };
}

void Write(const std::filesystem::path& dir, const std::vector<std::string>& inputs) {
    std::filesystem::create_directories(dir);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        std::ofstream out(dir / std::to_string(i), std::ios::binary);
        out.write(inputs[i].data(), static_cast<std::streamsize>(inputs[i].size()));
        if (!out) {
            throw std::runtime_error("cannot write " + (dir / std::to_string(i)).string());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_seeds OUT_DIR\n";
        return 2;
    }
    try {
        const std::filesystem::path out = argv[1];
        const auto messages = Messages();
        Write(out / "mail_parse_fuzz", messages);
        Write(out / "dbx_parser_fuzz", Mailboxes(messages));
        Write(out / "charset_fuzz", CharsetTexts());
        std::vector<std::string> parse;
        std::vector<std::string> match;
        for (std::size_t i = 0; i < kExpressions.size(); ++i) {
            // First byte: fuzzy dictionary on (odd) or off.
            parse.push_back(std::string(1, static_cast<char>(i)) + kExpressions[i]);
            // First byte: the expression's length; the text follows.
            match.push_back(std::string(1, static_cast<char>(kExpressions[i].size())) +
                            kExpressions[i] + "xx abc colour 03-1234 \x93\x8C\x8B\x9E\x82\xA0");
        }
        Write(out / "regexp_parse_fuzz", parse);
        Write(out / "regexp_match_fuzz", match);
        Write(out / "job_xml_fuzz", JobFiles());
    } catch (const std::exception& error) {
        std::cerr << "make_seeds: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
