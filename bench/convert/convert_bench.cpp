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
//                              [--exclusive-create]
//        brindle_convert_bench --write-mailbox FILE [--messages N | --one-message-mb M]
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
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "convert/conversion_run.hpp"
#include "convert/mail_writer.hpp"
#include "platform/file_system.hpp"
#include "support/bench_util.hpp"
#include "support/dbx_builder.hpp"

namespace {

using brindle::bench::Base64;
using brindle::bench::InChild;
using brindle::bench::MessageSize;
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
            std::string m = MakeMessage(i);
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
            const std::string text = MakeMessage(i);
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
        } else if (arg == "--exclusive-create") {
            g_exclusive_create = true;
        } else {
            std::cerr << "usage: brindle_convert_bench [--messages N] [--rounds R] [--skip-memory] "
                         "[--dir D] [--write-mailbox FILE [--one-message-mb M]]\n";
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
