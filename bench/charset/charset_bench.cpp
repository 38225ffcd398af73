// Throughput of the conversions that every message goes through, on 64 MB of generated
// Japanese text: JisToSJis beside glibc's own ISO-2022-JP -> CP932 on the same text (the ratio
// is the figure that matters), Base64 and quoted-printable body decoding, header decoding.
// Each figure is the best of several runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "charset/char_code_conv.hpp"
#include "charset/char_nkf_conv.hpp"
#include "platform/iconv_converter.hpp"

namespace {

using brindle::TCharCodeConv;

constexpr std::size_t kTextBytes = 64u << 20;
// Shift_JIS text whose JIS form is about 64 MB.
constexpr std::size_t kSjisBytes = 54u << 20;
constexpr int kRuns = 5;

// Shift_JIS text of JIS X 0208 characters and ASCII as mail bodies have it: runs of kana and
// kanji between shorter runs of ASCII, in lines of about 70 bytes.
std::string JapaneseText(std::size_t bytes) {
    std::mt19937 rng(2026);
    std::uniform_int_distribution<int> japanese_run(4, 30);
    std::uniform_int_distribution<int> ascii_run(1, 12);
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<int> ascii(0x20, 0x7E);
    std::uniform_int_distribution<int> hiragana(0x9F, 0xF1);
    std::uniform_int_distribution<int> kanji_lead(0x89, 0x97);
    std::uniform_int_distribution<int> trail(0x40, 0xFC);
    std::string text;
    text.reserve(bytes + 200);
    std::size_t line = 0;
    while (text.size() < bytes) {
        for (int n = japanese_run(rng); n > 0; --n) {
            if (kind(rng) < 5) {
                text += '\x82';
                text += static_cast<char>(hiragana(rng));
            } else {
                int t = trail(rng);
                if (t == 0x7F) {
                    t = 0x80;
                }
                text += static_cast<char>(kanji_lead(rng));
                text += static_cast<char>(t);
            }
            line += 2;
        }
        for (int n = ascii_run(rng); n > 0; --n) {
            text += static_cast<char>(ascii(rng));
            ++line;
        }
        if (line >= 70) {
            text += "\r\n";
            line = 0;
        }
    }
    return text;
}

std::string QuotedPrintable(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    std::size_t column = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            ++i;
            column = 0;
            continue;
        }
        if (column >= 72) {
            out += "=\r\n";
            column = 0;
        }
        if (c >= 0x80 || c == '=') {
            out += '=';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
            column += 3;
        } else {
            out += static_cast<char>(c);
            ++column;
        }
    }
    return out;
}

// Best wall time and best CPU time of this thread over kRuns runs. The machine is shared, so
// the CPU time (time the thread actually ran) is the steadier figure.
struct Timing {
    double wall = 1e30;
    double cpu = 1e30;
};

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

Timing Best(const std::function<std::size_t()>& run) {
    Timing best;
    std::size_t sink = 0;
    for (int i = 0; i < kRuns; ++i) {
        const double cpu_start = ThreadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        sink += run();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        best.wall = std::min(best.wall, elapsed.count());
        best.cpu = std::min(best.cpu, ThreadCpuSeconds() - cpu_start);
    }
    if (sink == 0) {
        std::puts("(empty output)");
    }
    return best;
}

void Report(const char* name, std::size_t input_bytes, const Timing& t) {
    const double mb = static_cast<double>(input_bytes) / (1 << 20);
    std::printf("%-28s %8.1f MB/s cpu  %8.1f MB/s wall  (%.1f MB)\n", name, mb / t.cpu, mb / t.wall,
                mb);
}

}  // namespace

int main() {
    const TCharCodeConv conv;
    const std::string sjis = JapaneseText(kSjisBytes);
    const std::string jis = conv.SJisToJis(sjis);
    if (TCharCodeConv::JisToSJis(jis) != sjis) {
        std::puts("JisToSJis does not give the text back");
        return 1;
    }

    const Timing ours = Best([&] { return TCharCodeConv::JisToSJis(jis).size(); });
    brindle::IconvConverter iconv_jis("CP932", "ISO-2022-JP");
    const Timing theirs = Best([&] { return iconv_jis.ConvertStrict(jis)->size(); });
    Report("JisToSJis", jis.size(), ours);
    Report("iconv ISO-2022-JP -> CP932", jis.size(), theirs);
    std::printf("%-28s %8.3f cpu  %8.3f wall  (target <= 1.0)\n", "time ratio JisToSJis/iconv",
                ours.cpu / theirs.cpu, ours.wall / theirs.wall);

    std::string bytes(kTextBytes, '\0');
    std::mt19937 rng(7);
    for (char& c : bytes) {
        c = static_cast<char>(rng());
    }
    const std::string base64 = TCharCodeConv::B64Encode(bytes);
    Report("B64Decode", base64.size(),
           Best([&] { return TCharCodeConv::B64Decode(base64).size(); }));

    const std::string qp = QuotedPrintable(sjis.substr(0, kTextBytes / 3));
    Report("QPDecode", qp.size(), Best([&] { return TCharCodeConv::QPDecode(qp).size(); }));

    // Header values as mail carries them: ISO-2022-JP B words, UTF-8 B words, Q words, plain.
    const brindle::TCharNkfConv nkf;
    brindle::IconvConverter to_utf8("UTF-8", "CP932");
    std::vector<std::string> headers;
    std::size_t header_bytes = 0;
    for (std::size_t pos = 0; header_bytes < (8u << 20); pos += 40) {
        const std::string piece = sjis.substr(pos % (sjis.size() - 64), 40);
        std::string value;
        switch (headers.size() % 4) {
            case 0:
                value = conv.MIMEHeaderEncode(piece);
                break;
            case 1: {
                value = "=?UTF-8?B?" +
                        TCharCodeConv::B64Encode(to_utf8.ConvertLenient(
                            piece, "?", &brindle::IconvConverter::SkipCp932Character)) +
                        "?=";
                break;
            }
            case 2:
                value = "=?SHIFT_JIS?Q?" + QuotedPrintable(piece.substr(0, 20)) + "?=";
                break;
            default:
                value = "Re: [list:1234] plain subject line";
                break;
        }
        header_bytes += value.size();
        headers.push_back(std::move(value));
    }
    Report("DecodeHeader", header_bytes, Best([&] {
               std::size_t n = 0;
               for (const auto& h : headers) {
                   n += nkf.DecodeHeader(h).size();
               }
               return n;
           }));
    return 0;
}
