// What conditions cost a conversion, as figures (not pass/fail).
//
// A generated mailbox (default 20,000 messages, bodies from 500 B to 200 KB in ISO-2022-JP,
// Shift_JIS quoted-printable and UTF-8 Base64) is converted by subject without conditions and
// with five conditions that nearly every message satisfies: two literal (one in the header,
// one over the whole message), one case-insensitive literal over the body and two regular
// expressions over the body. The runs alternate, each in a child process of its own with the
// output removed in between, and the best of each kind is compared. The conditioned run should
// cost at most 1.3 × the plain one.
//
// Usage: brindle_match_bench [--messages N] [--rounds R] [--dir TMPDIR]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "convert/conversion_run.hpp"
#include "mailbox/dbx_parser.hpp"
#include "match/mail_match.hpp"
#include "message/parsed_mailbox.hpp"
#include "platform/text_encoding.hpp"
#include "support/bench_util.hpp"
#include "support/dbx_builder.hpp"

namespace {

using brindle::bench::Base64;
using brindle::bench::InChild;
using brindle::bench::MessageSize;
using brindle::bench::Uniform;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Every body line reads "日本語のテキスト line <n> of text" in its charset; one message in 50
// has no line number, so that the last condition rejects it.
std::string MakeMessage(int i) {
    std::uint64_t state = 0x5EEDull + static_cast<std::uint64_t>(i) * 7919;
    const std::size_t size = MessageSize(state);
    const std::string n = std::to_string(i % 3000);
    const std::string number = i % 50 == 49 ? "" : " line 12 of";
    std::string m = "From: sender" + std::to_string(i % 97) + "@example.jp\r\n";
    m += "Date: Mon, 7 Dec 2026 12:00:00 +0900\r\n";
    m += "Subject: =?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?= " + n + "\r\n";
    m += "MIME-Version: 1.0\r\n";
    switch (i % 3) {
        case 0:
            m += "Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n";
            while (m.size() < size) {
                m += "\x1b$BF|K\\8l$N%F%-%9%H\x1b(B" + number + " Text in JIS\r\n";
            }
            break;
        case 1:
            m += "Content-Type: text/plain; charset=Shift_JIS\r\n"
                 "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
            while (m.size() < size) {
                m += "=93=FA=96=7B=8C=EA=82=CC=83=65=83=4C=83=58=83=67" + number +
                     " quoted printable text\r\n";
            }
            break;
        default: {
            m += "Content-Type: text/plain; charset=UTF-8\r\n"
                 "Content-Transfer-Encoding: base64\r\n\r\n";
            std::string text;
            while (text.size() < size * 3 / 4) {
                text += "日本語のテキスト" + number + " UTF-8 text\r\n";
            }
            const std::string encoded = Base64(text);
            for (std::size_t at = 0; at < encoded.size(); at += 76) {
                m += encoded.substr(at, 76) + "\r\n";
            }
            break;
        }
    }
    return m;
}

std::vector<brindle::TFindType> FiveConditions() {
    const auto sjis = [](const char* utf8) { return brindle::Utf8ToCp932(utf8).value(); };
    return {
        {brindle::kFindPosHeader, "@example.jp", false, false},
        {brindle::kFindPosAll, sjis("日本語"), false, false},
        {brindle::kFindPosBody, "TEXT", true, false},
        {brindle::kFindPosBody, sjis("テ[キク]スト"), false, true},
        {brindle::kFindPosBody, "line [0-9]+ of", false, true},
    };
}

struct RunResult {
    double seconds = 0;
    double cpu_seconds = 0;
    long written = 0;
    long failed = 0;
};

RunResult Convert(const fs::path& mailbox, const fs::path& out, bool with_conditions) {
    fs::create_directories(out);
    std::istringstream in(InChild([&] {
        brindle::TConvertJob job;
        job.sources = {mailbox.string()};
        job.destination = out.string();
        job.naming.type = brindle::TNamingType::Subject;
        if (with_conditions) {
            job.filter = brindle::MakeMailFilter(FiveConditions());
        }
        brindle::TConvertRun run(std::move(job));
        run.SetReadAhead(true);  // as brindle-cli runs it
        const auto start = Clock::now();
        const auto summary = run.Run();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double cpu =
            static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        std::ostringstream result;
        result << seconds << " " << cpu << " " << summary.messages_written << " "
               << summary.messages_failed;
        return result.str();
    }));
    RunResult r;
    in >> r.seconds >> r.cpu_seconds >> r.written >> r.failed;
    fs::remove_all(out);
    sync();
    return r;
}

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Without the file system: reading and parsing every message, once alone and once followed by
// the five conditions, in CPU seconds (the machine may be shared); the difference is what
// matching costs on top of building the message. A first pass warms the page cache.
std::string ParseAndMatch(const fs::path& mailbox) {
    return InChild([&] {
        std::ostringstream result;
        for (const bool match : {false, false, true}) {
            brindle::TParsedMailbox parser(std::make_unique<brindle::TDBXParser>(mailbox));
            const auto filter = brindle::MakeMailFilter(FiveConditions());
            long accepted = 0;
            const double start = CpuSeconds();
            const std::int32_t count = parser.GetMailCount();
            for (std::int32_t i = 0; i < count; ++i) {
                const auto mail = parser.GetMail(i);
                // The subject is what naming by subject reads in the plain conversion.
                if (!mail->GetHeaders().Values("SUBJECT:").empty() && (!match || filter(*mail))) {
                    ++accepted;
                }
            }
            result << CpuSeconds() - start << " " << accepted << " ";
        }
        return result.str();
    });
}

}  // namespace

int main(int argc, char** argv) {
    int messages = 20000;
    int rounds = 4;
    fs::path base = fs::temp_directory_path();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--messages" && i + 1 < argc) {
            messages = std::atoi(argv[++i]);
        } else if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--dir" && i + 1 < argc) {
            base = argv[++i];
        } else {
            std::cerr << "usage: brindle_match_bench [--messages N] [--rounds R] [--dir D]\n";
            return 2;
        }
    }
    const fs::path dir = base / ("brindle-match-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path mailbox = dir / "mailbox.dbx";
    const std::string built = InChild([&] {
        brindle::test::DbxBuilder builder;
        std::size_t bytes = 0;
        for (int i = 0; i < messages; ++i) {
            std::string m = MakeMessage(i);
            bytes += m.size();
            builder.AddMessage(std::move(m));
        }
        builder.WriteTo(mailbox);
        return std::to_string(bytes);
    });
    std::cout << "mailbox: " << messages << " messages, " << std::stod(built) / 1e6
              << " MB of stored text\n";
    sync();

    {
        std::istringstream in(ParseAndMatch(mailbox));
        double plain = 0;
        double matched = 0;
        long plain_count = 0;
        long matched_count = 0;
        in >> plain >> plain_count >> plain >> plain_count >> matched >> matched_count;
        std::cout << "read and parse only (CPU): " << plain
                  << " s; with the five conditions: " << matched << " s (" << matched_count
                  << " of " << plain_count << " accepted), ratio " << matched / plain << std::endl;
    }

    RunResult plain_best;
    RunResult cond_best;
    plain_best.seconds = cond_best.seconds = 1e300;
    plain_best.cpu_seconds = cond_best.cpu_seconds = 1e300;
    for (int round = 0; round < rounds; ++round) {
        // The kind that runs second meets the inodes the first one freed, which costs ext4
        // noticeably; taking turns at going first keeps that from favouring either kind.
        RunResult plain;
        RunResult cond;
        const std::string suffix = std::to_string(round);
        if (round % 2 == 0) {
            plain = Convert(mailbox, dir / ("plain-" + suffix), false);
            cond = Convert(mailbox, dir / ("cond-" + suffix), true);
        } else {
            cond = Convert(mailbox, dir / ("cond-" + suffix), true);
            plain = Convert(mailbox, dir / ("plain-" + suffix), false);
        }
        std::cout << "round " << round + 1 << ": plain " << plain.seconds << " s (CPU "
                  << plain.cpu_seconds << " s, " << plain.written << " written), conditions "
                  << cond.seconds << " s (CPU " << cond.cpu_seconds << " s, " << cond.written
                  << " written, " << cond.failed << " failed)" << std::endl;
        plain_best.seconds = std::min(plain_best.seconds, plain.seconds);
        plain_best.cpu_seconds = std::min(plain_best.cpu_seconds, plain.cpu_seconds);
        cond_best.seconds = std::min(cond_best.seconds, cond.seconds);
        cond_best.cpu_seconds = std::min(cond_best.cpu_seconds, cond.cpu_seconds);
    }
    std::cout << "best wall: plain " << plain_best.seconds << " s, conditions " << cond_best.seconds
              << " s, ratio " << cond_best.seconds / plain_best.seconds << " (target <= 1.3)\n";
    std::cout << "best CPU: plain " << plain_best.cpu_seconds << " s, conditions "
              << cond_best.cpu_seconds << " s, ratio "
              << cond_best.cpu_seconds / plain_best.cpu_seconds << "\n";
    fs::remove_all(dir);
    return 0;
}
