// Parsing time of one message with a large body, per body shape: plain ISO-2022-JP and UTF-8
// lines (converted one by one), Base64 and quoted-printable UTF-8 (decoded in one piece) and a
// multipart message whose text part follows many rejected parts. Bodies of 200 KB and 2 MB:
// the second figure should be ten times the first, not a hundred.
#include <benchmark/benchmark.h>

#include <string>

#include "charset/char_code_conv.hpp"
#include "message/mail.hpp"
#include "platform/line_list.hpp"
#include "platform/text_encoding.hpp"

namespace {

using brindle::Lines;
using brindle::TCharCodeConv;
using brindle::TMail;

// Lines of Shift_JIS kana and kanji with some ASCII, about `bytes` long in all.
Lines SjisLines(std::size_t bytes) {
    // 日本語のメール本文です。Mail text 123
    const std::string line =
        "\x93\xFA\x96{\x8C\xEA\x82\xCC\x83\x81\x81[\x83\x8B\x96{\x95\xB6\x82\xC5\x82\xB7\x81"
        "B Mail text 123 \x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8";
    Lines lines;
    for (std::size_t size = 0; size < bytes; size += line.size() + 2) {
        lines.push_back(line);
    }
    return lines;
}

Lines Message(const Lines& header, const Lines& body) {
    Lines lines = header;
    lines.emplace_back();
    lines.insert(lines.end(), body.begin(), body.end());
    return lines;
}

Lines JisMessage(std::size_t bytes) {
    const TCharCodeConv conv;
    Lines body;
    for (const auto& line : SjisLines(bytes)) {
        body.push_back(conv.SJisToJis(line));
    }
    return Message({"Subject: jis", "Content-Type: text/plain; charset=iso-2022-jp"}, body);
}

Lines Utf8Message(std::size_t bytes) {
    Lines body;
    for (const auto& line : SjisLines(bytes)) {
        body.push_back(brindle::Cp932ToUtf8(line));
    }
    return Message({"Subject: utf-8", "Content-Type: text/plain; charset=utf-8"}, body);
}

std::string Utf8Text(std::size_t bytes) {
    return brindle::Cp932ToUtf8(brindle::JoinLines(SjisLines(bytes)));
}

Lines Base64Message(std::size_t bytes) {
    const std::string encoded = TCharCodeConv::B64Encode(Utf8Text(bytes));
    Lines body;
    for (std::size_t at = 0; at < encoded.size(); at += 76) {
        body.push_back(encoded.substr(at, 76));
    }
    return Message({"Subject: base64", "Content-Type: text/plain; charset=utf-8",
                    "Content-Transfer-Encoding: base64"},
                   body);
}

Lines QuotedPrintableMessage(std::size_t bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    Lines body;
    std::string line;
    for (const char c : Utf8Text(bytes)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            body.push_back(line);
            line.clear();
            continue;
        }
        if (c == '\r') {
            continue;
        }
        if (line.size() > 72) {
            body.push_back(line + "=");
            line.clear();
        }
        if (byte >= 0x80 || c == '=') {
            line += '=';
            line += kHex[byte >> 4];
            line += kHex[byte & 0x0F];
        } else {
            line += c;
        }
    }
    return Message({"Subject: qp", "Content-Type: text/plain; charset=utf-8",
                    "Content-Transfer-Encoding: quoted-printable"},
                   body);
}

Lines MultipartMessage(std::size_t bytes) {
    Lines lines = {"Subject: multipart", "Content-Type: multipart/mixed;",
                   "\tboundary=\"----=_NextPart_000_0000\"", ""};
    // Half of the size in rejected attachment parts, half in the text part after them.
    const Lines attachment = SjisLines(bytes / 2);
    for (std::size_t at = 0; at < attachment.size(); at += 20) {
        lines.insert(lines.end(),
                     {"------=_NextPart_000_0000", "Content-Type: application/octet-stream", ""});
        lines.insert(
            lines.end(), attachment.begin() + static_cast<std::ptrdiff_t>(at),
            attachment.begin() + static_cast<std::ptrdiff_t>(std::min(at + 20, attachment.size())));
    }
    lines.insert(lines.end(),
                 {"------=_NextPart_000_0000", "Content-Type: text/plain; charset=utf-8", ""});
    for (const auto& line : SjisLines(bytes / 2)) {
        lines.push_back(brindle::Cp932ToUtf8(line));
    }
    lines.push_back("------=_NextPart_000_0000--");
    return lines;
}

template <Lines (*Make)(std::size_t)>
void BM_Parse(benchmark::State& state) {
    const auto bytes = static_cast<std::size_t>(state.range(0));
    const Lines lines = Make(bytes);
    for (auto _ : state) {
        const TMail mail(lines);
        benchmark::DoNotOptimize(mail.GetCodePage());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes));
}

BENCHMARK_TEMPLATE(BM_Parse, JisMessage)->Arg(200 << 10)->Arg(2 << 20);
BENCHMARK_TEMPLATE(BM_Parse, Utf8Message)->Arg(200 << 10)->Arg(2 << 20);
BENCHMARK_TEMPLATE(BM_Parse, Base64Message)->Arg(200 << 10)->Arg(2 << 20);
BENCHMARK_TEMPLATE(BM_Parse, QuotedPrintableMessage)->Arg(200 << 10)->Arg(2 << 20);
BENCHMARK_TEMPLATE(BM_Parse, MultipartMessage)->Arg(200 << 10)->Arg(2 << 20);

}  // namespace

BENCHMARK_MAIN();
