// The I/O floor of a conversion: read the mailbox once, then create and write as many new files,
// of the sizes given, as the conversion does; no parsing, naming or decoding. The bytes are
// taken from the mailbox in order, so the volume read and written is that of the conversion.
// Usage: brindle_io_floor MAILBOX SIZES OUTDIR (SIZES: one file size per line)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: brindle_io_floor MAILBOX SIZES OUTDIR\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string box((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ifstream list(argv[2]);
    std::vector<std::size_t> sizes{std::istream_iterator<std::size_t>(list), {}};
    if (box.empty() || sizes.empty()) {
        std::fprintf(stderr, "brindle_io_floor: empty mailbox or size list\n");
        return 1;
    }
    std::size_t at = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string path = std::string(argv[3]) + "/" + std::to_string(i) + ".eml";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            std::perror(path.c_str());
            return 1;
        }
        std::size_t done = 0;
        while (done < sizes[i]) {
            at = at < box.size() ? at : 0;
            const std::size_t n = std::min(sizes[i] - done, box.size() - at);
            const ssize_t w = ::write(fd, box.data() + at, n);
            if (w <= 0) {
                std::perror(path.c_str());
                return 1;
            }
            done += static_cast<std::size_t>(w);
            at += static_cast<std::size_t>(w);
        }
        ::close(fd);
    }
    return 0;
}
