// Conversion speed and memory, as figures (not pass/fail).
//
// Speed: a generated mailbox (default 20,000 messages, about 200 MB, bodies from 500 B to
// 200 KB in ISO-2022-JP, Shift_JIS quoted-printable and UTF-8 Base64, subjects in four
// encodings with repeats) is converted by subject; then the I/O floor writes the same message
// bytes into as many new files in a fresh folder on the same file system, timing only the
// open/write/close calls. The conversion should take at most 1.5 × the floor.
//
// Memory: mailboxes of about 50 MB and 500 MB are converted, each in a process of its own, and
// the peak anonymous memory (RssAnon, sampled during the run) is compared; mapped file pages do
// not count. The two peaks should lie within 10 % of each other.
//
// Every phase runs in a child process so that one phase's memory never shows in another's.
// --exclusive-create writes every file under its name from the start (O_EXCL), as file systems
// without O_TMPFILE do, instead of unnamed and linked when complete: the cost of the latter.
// Usage: brindle_convert_bench [--messages N] [--rounds R] [--skip-memory] [--dir TMPDIR]
//                              [--exclusive-create] [--japanese-mix]
//        brindle_convert_bench --write-mailbox FILE [--messages N | --one-message-mb M]
//                              [--japanese-mix]
// The second form only writes the generated mailbox, for bench/convert/compare.sh, which times
// whole commands (brindle-cli, undbx, the I/O floor) on it; with --one-message-mb the mailbox
// holds one message of M MB (a Base64 UTF-8 body), for the peak memory of a long message.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "convert/conversion_run.hpp"
#include "convert/mail_writer.hpp"
#include "platform/file_system.hpp"
#include "platform/iconv_converter.hpp"
#include "support/bench_util.hpp"
#include "support/dbx_builder.hpp"

namespace {

using brindle::bench::Base64;
using brindle::bench::InChild;
using brindle::bench::MessageSize;
using brindle::bench::SplitMix;
using brindle::bench::Uniform;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool g_exclusive_create = false;

// The stored text of message i, the same every time it is asked for.
std::string MakeMessage(int i) {
    std::uint64_t state = 0x5EEDull + static_cast<std::uint64_t>(i) * 7919;
    const std::size_t size = MessageSize(state);
    const std::string n = std::to_string(i % 3000);  // some subjects repeat
    std::string m = "From: sender" + std::to_string(i % 97) + "@example.jp\r\n";
    m += "Date: Mon, 7 Dec 2026 12:00:00 +0900\r\n";
    switch (i % 4) {
        case 0:  // 日本語 in ISO-2022-JP
            m += "Subject: =?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?= " + n + "\r\n";
            break;
        case 1:
            m += "Subject: =?UTF-8?B?" + Base64("会議のお知らせ " + n) + "?=\r\n";
            break;
        case 2:  // 表示 raw Shift_JIS, trail byte 0x5C
            m += "Subject: \x95\x5C\x8E\xA6 " + n + "\r\n";
            break;
        default:  // 日本語 in EUC-JP
            m += "Subject: =?EUC-JP?B?xvzL3Ljs?= Re: " + n + "\r\n";
            break;
    }
    m += "MIME-Version: 1.0\r\n";
    switch (i % 3) {
        case 0:
            m += "Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n";
            while (m.size() < size) {
                m += "\x1b$BF|K\\8l$N%F%-%9%H$G$9!#\x1b(B line of text in JIS\r\n";
            }
            break;
        case 1:
            m += "Content-Type: text/plain; charset=Shift_JIS\r\n"
                 "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
            while (m.size() < size) {
                m += "=93=FA=96=7B=8C=EA=82=CC=83=65=83=4C=83=58=83=67 quoted printable text\r\n";
            }
            break;
        default: {
            m += "Content-Type: text/plain; charset=UTF-8\r\n"
                 "Content-Transfer-Encoding: base64\r\n\r\n";
            const std::string line = Base64("日本語のテキストです。UTF-8 の本文。\r\n");
            while (m.size() < size) {
                m += line.substr(0, 76) + "\r\n";
            }
            break;
        }
    }
    return m;
}

// The Japanese mix (--japanese-mix): what a Japanese user's mailbox holds. About half the
// bodies ISO-2022-JP, then UTF-8 in Base64 and in quoted-printable, Shift_JIS, EUC-JP and
// ASCII; a fifth of the messages multipart (a text part beside an HTML part or a Base64
// attachment). Decoded to Shift_JIS, most texts hold trail bytes 0x5C (ソ, 表, 十, 能, 予);
// some hold real backslashes (Windows paths, "\" written as a yen sign), a few an escape that
// the regular-expression search cannot decode (\xyz): the texts that exercise the conditions'
// escape processing.
const char* const kJapaneseLines[] = {
    "本日の会議の議事録をお送りします。ご確認ください。",
    "お見積りの件、どうぞよろしくお願いいたします。",
    "ソフトウェアの十分な検証を予定しています。",
    "表示の不具合について、能力の範囲で対応します。",
    "来週の打ち合わせは午後３時から第２会議室です。",
    "価格：￥３，５００円、数量：１２個、合計４２，０００円",
    "ネットワークの設定を確認してください。申請書は総務部まで。",
    "Please find the attached file. Thank you for your cooperation.",
    "先日はお忙しいところありがとうございました。",
    "添付の資料をご覧ください。不明な点があればご連絡ください。",
    "システムの移行スケジュールについてご報告します。",
    "ご検討のほど、よろしくお願い申し上げます。",
};
const char* const kBackslashLines[] = {
    "資料は C:\\Users\\tanaka\\Documents\\見積書.xlsx に置きました。",
    "共有フォルダ \\\\fileserver\\share\\会議資料 を参照してください。",
    "単価は\\1,200、送料は\\500です。",
    "正規表現 \\d+ と \\t の使い方について。",
};
const char* const kBadEscapeLine = "設定ファイル C:\\xyz\\config.ini を開けません。";
const char* const kAsciiLines[] = {
    "Hello, this is a plain ASCII message body for the benchmark.",
    "The meeting has been moved to Thursday afternoon.",
    "Please review the attached estimate and reply by Friday.",
    "Path: C:\\Program Files\\Example\\app.exe (see the log)",
};

// One line of text in the given charset (the ISO-2022-JP form returns to ASCII at its end).
// Short texts (lines, subjects) repeat and are kept once converted.
std::string Encode(const std::string& charset, const std::string& utf8) {
    static std::map<std::string, std::string> converted;
    const std::string key = charset + '\0' + utf8;
    if (const auto found = converted.find(key); found != converted.end()) {
        return found->second;
    }
    brindle::IconvConverter to(charset.c_str(), "UTF-8");
    const auto out = to.ConvertStrict(utf8);
    if (!out) {
        std::cerr << "cannot encode a sample line in " << charset << "\n";
        std::exit(1);
    }
    if (utf8.size() < 256) {
        converted.emplace(key, *out);
    }
    return *out;
}

std::string QuotedPrintable(std::string_view in) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    std::size_t column = 0;
    for (const char ch : in) {
        const auto c = static_cast<unsigned char>(ch);
        if (ch == '\r') {
            continue;
        }
        if (ch == '\n') {
            out += "\r\n";
            column = 0;
            continue;
        }
        const bool plain = c >= 0x20 && c < 0x7F && c != '=';
        if (column + (plain ? 1 : 3) > 75) {
            out += "=\r\n";
            column = 0;
        }
        if (plain) {
            out += ch;
            ++column;
        } else {
            out += '=';
            out += kHex[c >> 4];
            out += kHex[c & 15];
            column += 3;
        }
    }
    return out;
}

std::string Base64Lines(std::string_view in) {
    const std::string encoded = Base64(in);
    std::string out;
    for (std::size_t i = 0; i < encoded.size(); i += 76) {
        out += encoded.substr(i, 76);
        out += "\r\n";
    }
    return out;
}

// The body text (lines ended by CR LF, in UTF-8) of about `size` bytes.
std::string JapaneseText(std::uint64_t& state, std::size_t size, bool ascii) {
    std::string text;
    const double backslash = Uniform(state);  // a tenth of the texts hold real backslashes
    const bool bad_escape = Uniform(state) < 0.002;
    while (text.size() < size) {
        const double pick = Uniform(state);
        if (ascii) {
            text += kAsciiLines[static_cast<std::size_t>(pick * 4) % 4];
        } else if (backslash < 0.1 && pick < 0.08) {
            text += kBackslashLines[static_cast<std::size_t>(pick * 50) % 4];
        } else {
            text += kJapaneseLines[static_cast<std::size_t>(pick * 12) % 12];
        }
        text += "\r\n";
    }
    if (bad_escape) {
        text += kBadEscapeLine;
        text += "\r\n";
    }
    return text;
}

// The text part's headers and body for one charset and transfer encoding.
struct TextPart {
    std::string headers;
    std::string body;
};

TextPart MakeTextPart(std::uint64_t& state, std::size_t size) {
    const double kind = Uniform(state);
    TextPart part;
    if (kind < 0.50) {
        const std::string text = JapaneseText(state, size, false);
        part.headers =
            "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
            "Content-Transfer-Encoding: 7bit\r\n";
        // Line by line, so that every line returns to ASCII.
        for (std::size_t pos = 0; pos < text.size();) {
            const std::size_t end = text.find("\r\n", pos);
            part.body += Encode("ISO-2022-JP", text.substr(pos, end - pos));
            part.body += "\r\n";
            pos = end + 2;
        }
    } else if (kind < 0.64) {
        part.headers =
            "Content-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: base64\r\n";
        part.body = Base64Lines(JapaneseText(state, size * 3 / 4, false));
    } else if (kind < 0.72) {
        part.headers =
            "Content-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n";
        part.body = QuotedPrintable(JapaneseText(state, size / 3, false));
    } else if (kind < 0.84) {
        part.headers =
            "Content-Type: text/plain; charset=Shift_JIS\r\n"
            "Content-Transfer-Encoding: 8bit\r\n";
        part.body = Encode("CP932", JapaneseText(state, size * 3 / 2, false));
    } else if (kind < 0.93) {
        part.headers =
            "Content-Type: text/plain; charset=EUC-JP\r\n"
            "Content-Transfer-Encoding: 8bit\r\n";
        part.body = Encode("EUC-JP", JapaneseText(state, size, false));
    } else {
        part.headers =
            "Content-Type: text/plain; charset=US-ASCII\r\n"
            "Content-Transfer-Encoding: 7bit\r\n";
        part.body = JapaneseText(state, size, true);
    }
    return part;
}

const char* const kJapaneseSubjects[] = {
    "会議のお知らせ",           "お見積りのお願い", "表示の不具合について", "Re: 打ち合わせの件",
    "ソフトウェア更新のご案内", "ご報告",           "十月の予定",           "Weekly report",
};

std::string MakeJapaneseMessage(int i) {
    std::uint64_t state = 0xA11CEull + static_cast<std::uint64_t>(i) * 7919;
    const std::size_t size = MessageSize(state);
    const std::string n = std::to_string(i % 3000);  // some subjects repeat
    const std::string subject =
        std::string(kJapaneseSubjects[static_cast<std::size_t>(Uniform(state) * 8) % 8]) + " " + n;
    std::string m = "From: sender" + std::to_string(i % 97) + "@example.jp\r\n";
    m += "To: team" + std::to_string(i % 13) + "@example.co.jp\r\n";
    m += "Date: Mon, 7 Dec 2026 12:00:00 +0900\r\n";
    switch (i % 4) {
        case 0:
        case 1:
            m += "Subject: =?ISO-2022-JP?B?" + Base64(Encode("ISO-2022-JP", subject)) + "?=\r\n";
            break;
        case 2:
            m += "Subject: =?UTF-8?B?" + Base64(subject) + "?=\r\n";
            break;
        default:  // raw Shift_JIS, as some mailers sent it
            m += "Subject: " + Encode("CP932", subject) + "\r\n";
            break;
    }
    m += "Message-ID: <" + std::to_string(i) + ".bench@example.jp>\r\n";
    m += "MIME-Version: 1.0\r\n";
    const double shape = Uniform(state);
    const TextPart text = MakeTextPart(state, size);
    if (shape < 0.8) {
        m += text.headers + "\r\n" + text.body;
        return m;
    }
    const std::string boundary = "----=_NextPart_" + std::to_string(i);
    const bool html = shape < 0.9;
    m += std::string("Content-Type: multipart/") + (html ? "alternative" : "mixed") +
         ";\r\n\tboundary=\"" + boundary +
         "\"\r\n\r\nThis is a multi-part message in MIME "
         "format.\r\n\r\n";
    m += "--" + boundary + "\r\n" + text.headers + "\r\n" + text.body + "\r\n";
    m += "--" + boundary + "\r\n";
    if (html) {
        m += "Content-Type: text/html; charset=ISO-2022-JP\r\n"
             "Content-Transfer-Encoding: 7bit\r\n\r\n<html><body>\r\n";
        for (std::size_t k = 0; k < 8; ++k) {
            m += "<p>" + Encode("ISO-2022-JP", kJapaneseLines[k]) + "</p>\r\n";
        }
        m += "</body></html>\r\n";
    } else {
        m += "Content-Type: application/octet-stream; name=\"data.bin\"\r\n"
             "Content-Transfer-Encoding: base64\r\n"
             "Content-Disposition: attachment; filename=\"data.bin\"\r\n\r\n";
        std::string bytes(size / 2, '\0');
        for (char& b : bytes) {
            b = static_cast<char>(SplitMix(state));
        }
        m += Base64Lines(bytes);
    }
    m += "--" + boundary + "--\r\n";
    return m;
}

bool g_japanese_mix = false;

std::string MakeBenchMessage(int i) {
    return g_japanese_mix ? MakeJapaneseMessage(i) : MakeMessage(i);
}

long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t len = std::strlen(field);
    while (std::getline(in, line)) {
        if (line.compare(0, len, field) == 0) {
            return std::atol(line.c_str() + len + 1);
        }
    }
    return -1;
}

// An index of at most 100 entries per node, as Outlook Express writes them: other readers
// (undbx) take the entry count for a signed byte and refuse the builder's 255-entry nodes.
brindle::test::DbxIndexNode SmallNodeTree(int first, int count) {
    constexpr int kFanOut = 100;
    if (count <= kFanOut) {
        std::vector<int> messages(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            messages[static_cast<std::size_t>(i)] = first + i;
        }
        return brindle::test::DbxLeaf(messages);
    }
    brindle::test::DbxIndexNode node;
    const int group = (count + kFanOut - 1) / kFanOut;
    for (int start = 0; start < count; start += group) {
        const int size = std::min(group, count - start);
        brindle::test::DbxIndexEntry entry{first + start, {}, std::nullopt};
        if (size > 1) {
            entry.child.push_back(SmallNodeTree(first + start + 1, size - 1));
        }
        node.entries.push_back(std::move(entry));
    }
    return node;
}

// Builds a mailbox of `count` messages, or of as many as reach `total_bytes`. Answers
// "<messages> <bytes of stored text>".
std::string BuildMailbox(const fs::path& path, int count, std::size_t total_bytes) {
    return InChild([&] {
        brindle::test::DbxBuilder builder;
        std::size_t bytes = 0;
        int i = 0;
        for (; count > 0 ? i < count : bytes < total_bytes; ++i) {
            std::string m = MakeBenchMessage(i);
            bytes += m.size();
            builder.AddMessage(std::move(m));
        }
        builder.IndexTree(SmallNodeTree(0, i));
        builder.WriteTo(path);
        return std::to_string(i) + " " + std::to_string(bytes);
    });
}

struct ConvertResult {
    double seconds = 0;
    long written = 0;
    long peak_anon_kb = 0;
    long hwm_kb = 0;
    double cpu_seconds = 0;
};

ConvertResult Convert(const fs::path& mailbox, const fs::path& out) {
    fs::create_directories(out);
    std::istringstream in(InChild([&] {
        brindle::TConvertJob job;
        job.sources = {mailbox.string()};
        job.destination = out.string();
        job.naming.type = brindle::TNamingType::Subject;
        long peak = StatusKb("RssAnon:");
        brindle::TConvertEvents events;
        events.message_done = [&peak](std::int32_t j) {
            if (j % 64 == 0) {
                peak = std::max(peak, StatusKb("RssAnon:"));
            }
        };
        events.message_failed = [](const std::string&, std::int32_t j, const std::string& e,
                                   const std::string&) {
            std::cerr << "message " << j << ": " << e << "\n";
        };
        events.file_failed = [](const std::string&, const std::string& e, const std::string&) {
            std::cerr << "file: " << e << "\n";
        };
        brindle::TConvertRun run(std::move(job), std::move(events));
        run.SetReadAhead(true);  // as brindle-cli runs it
        std::optional<brindle::ScopedUnnamedFilesOff> named_from_the_start;
        if (g_exclusive_create) {
            named_from_the_start.emplace();
        }
        const auto start = Clock::now();
        const auto summary = run.Run();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        peak = std::max(peak, StatusKb("RssAnon:"));
        std::ostringstream result;
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double cpu =
            static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        result << seconds << " " << summary.messages_written << " " << peak << " "
               << StatusKb("VmHWM:") << " " << cpu;
        return result.str();
    }));
    ConvertResult r;
    in >> r.seconds >> r.written >> r.peak_anon_kb >> r.hwm_kb >> r.cpu_seconds;
    return r;
}

double IoFloor(int count, const fs::path& out) {
    fs::create_directories(out);
    return std::stod(InChild([&] {
        double seconds = 0;
        for (int i = 0; i < count; ++i) {
            const std::string text = MakeBenchMessage(i);
            const std::string path = (out / (std::to_string(i) + ".eml")).string();
            const auto start = Clock::now();
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            std::size_t done = 0;
            while (fd >= 0 && done < text.size()) {
                const ssize_t n = write(fd, text.data() + done, text.size() - done);
                if (n <= 0) {
                    break;
                }
                done += static_cast<std::size_t>(n);
            }
            if (fd >= 0) {
                close(fd);
            }
            seconds += std::chrono::duration<double>(Clock::now() - start).count();
        }
        return std::to_string(seconds);
    }));
}

}  // namespace

int main(int argc, char** argv) {
    int messages = 20000;
    bool memory = true;
    int rounds = 3;
    fs::path base = fs::temp_directory_path();
    fs::path write_mailbox;
    int one_message_mb = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--messages" && i + 1 < argc) {
            messages = std::atoi(argv[++i]);
        } else if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--skip-memory") {
            memory = false;
        } else if (arg == "--dir" && i + 1 < argc) {
            base = argv[++i];
        } else if (arg == "--write-mailbox" && i + 1 < argc) {
            write_mailbox = argv[++i];
        } else if (arg == "--one-message-mb" && i + 1 < argc) {
            one_message_mb = std::atoi(argv[++i]);
        } else if (arg == "--japanese-mix") {
            g_japanese_mix = true;
        } else if (arg == "--exclusive-create") {
            g_exclusive_create = true;
        } else {
            std::cerr << "usage: brindle_convert_bench [--messages N] [--rounds R] [--skip-memory] "
                         "[--dir D] [--japanese-mix] [--write-mailbox FILE [--one-message-mb M]]\n";
            return 2;
        }
    }
    if (!write_mailbox.empty() && one_message_mb > 0) {
        const std::string line = Base64("日本語のテキストです。UTF-8 の本文。\r\n").substr(0, 76);
        const std::size_t size = static_cast<std::size_t>(one_message_mb) << 20;
        std::string m =
            "Subject: long\r\nContent-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\n";
        m.reserve(size + 128);
        while (m.size() < size) {
            m += line;
            m += "\r\n";
        }
        brindle::test::DbxBuilder().AddMessage(std::move(m)).WriteTo(write_mailbox);
        return 0;
    }
    if (!write_mailbox.empty()) {
        std::cout << BuildMailbox(write_mailbox, messages, 0) << "\n";
        return 0;
    }
    const fs::path dir = base / ("brindle-convert-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);

    std::istringstream built(BuildMailbox(dir / "speed.dbx", messages, 0));
    int count = 0;
    double bytes = 0;
    built >> count >> bytes;
    const double mb = bytes / 1e6;
    std::cout << "mailbox: " << count << " messages, " << mb << " MB of stored text\n";

    // The machine may be shared and its disk noisy: conversion and floor alternate, and the
    // median of the rounds is the figure. Each phase starts with no dirty pages of an earlier
    // one waiting to be written back.
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        sync();
        const ConvertResult conv = Convert(dir / "speed.dbx", dir / "convert-out");
        fs::remove_all(dir / "convert-out");
        sync();
        const double floor = IoFloor(count, dir / "floor-out");
        fs::remove_all(dir / "floor-out");
        std::cout << "round " << round + 1 << ": conversion by subject " << conv.seconds << " s, "
                  << conv.written << " files, " << count / conv.seconds << " messages/s, "
                  << mb / conv.seconds << " MB/s, CPU " << conv.cpu_seconds << " s, peak RssAnon "
                  << conv.peak_anon_kb << " kB; I/O floor " << floor << " s, " << mb / floor
                  << " MB/s; ratio " << conv.seconds / floor << "\n";
        ratios.push_back(conv.seconds / floor);
    }
    std::sort(ratios.begin(), ratios.end());
    std::cout << "median conversion / floor: " << ratios[ratios.size() / 2] << " (target <= 1.5)\n";
    fs::remove(dir / "speed.dbx");

    if (memory) {
        long peaks[2] = {0, 0};
        const std::size_t sizes[2] = {50'000'000, 500'000'000};
        for (int k = 0; k < 2; ++k) {
            const fs::path box = dir / ("memory-" + std::to_string(k) + ".dbx");
            std::istringstream info(BuildMailbox(box, 0, sizes[k]));
            int n = 0;
            double b = 0;
            info >> n >> b;
            sync();
            const ConvertResult r = Convert(box, dir / "memory-out");
            fs::remove_all(dir / "memory-out");
            fs::remove(box);
            sync();
            peaks[k] = r.peak_anon_kb;
            std::cout << "memory: " << n << " messages, " << b / 1e6 << " MB: " << r.seconds
                      << " s, peak RssAnon " << r.peak_anon_kb << " kB, VmHWM " << r.hwm_kb
                      << " kB\n";
        }
        std::cout << "peak RssAnon 500 MB / 50 MB: "
                  << static_cast<double>(peaks[1]) / static_cast<double>(peaks[0])
                  << " (target within 10 %)\n";
    }
    fs::remove_all(dir);
    return 0;
}
