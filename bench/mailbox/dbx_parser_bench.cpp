// Reads every message of a large built mailbox (default 400 MB, first argument in MB) and prints
// the time of the index walk, the reading speed and the reader's peak memory. The mailbox is
// built by a child process, so that the parent's peak resident size is the reader's alone.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mailbox/dbx_parser.hpp"
#include "support/dbx_builder.hpp"
#include "support/temp_dir.hpp"

namespace {

constexpr int kMessageBytes = 20000;  // a mail with a small attachment

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    const long megabytes = argc > 1 ? std::atol(argv[1]) : 400;
    const int messages = static_cast<int>(megabytes * 1000 * 1000 / kMessageBytes);
    const brindle::test::TempDir dir;
    const std::filesystem::path path = dir / "large.dbx";

    const pid_t child = fork();
    if (child == 0) {
        std::string body;
        for (int i = 0; body.size() < kMessageBytes; ++i) {
            body += "line " + std::to_string(i) + " of a long body, some text to fill it\r\n";
        }
        brindle::test::DbxBuilder builder;
        for (int i = 0; i < messages; ++i) {
            builder.AddMessage("Subject: message " + std::to_string(i) + "\r\n\r\n" + body);
        }
        builder.WriteTo(path);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "building the mailbox failed\n");
        return 1;
    }
    const auto file_bytes = std::filesystem::file_size(path);
    const long before = PeakKilobytes();

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    brindle::TDBXParser parser(path);
    const std::int32_t count = parser.GetMailCount();
    const auto walked = Clock::now();
    std::size_t lines = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        lines += parser.ReadMailLines(i).size();
    }
    const auto done = Clock::now();

    const double walk_ms = std::chrono::duration<double, std::milli>(walked - start).count();
    const double read_s = std::chrono::duration<double>(done - walked).count();
    std::printf("file %.1f MB, %d messages, %zu lines\n", static_cast<double>(file_bytes) / 1e6,
                count, lines);
    std::printf("index walk %.1f ms; reading %.2f s = %.0f MB/s\n", walk_ms, read_s,
                static_cast<double>(file_bytes) / 1e6 / read_s);
    std::printf("peak resident %ld kB before opening, %ld kB after reading\n", before,
                PeakKilobytes());
    return count == messages ? 0 : 1;
}
