// The I/O floor of a conversion: read the mailbox once, then create and write as many new files,
// of the sizes given, as the conversion does; no parsing, naming or decoding. The bytes are
// taken from the mailbox in order, so the volume read and written is that of the conversion
// (a file's bytes may span two reads, so one file may take two writes).
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
    std::ifstream list(argv[2]);
    const std::vector<std::size_t> sizes{std::istream_iterator<std::size_t>(list), {}};
    const int box = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    // The mailbox is streamed through a buffer of 1 MB, in order, as a reader would take it.
    std::vector<char> buffer(std::size_t{1} << 20);
    std::size_t have = 0;
    std::size_t at = 0;
    for (std::size_t i = 0; box >= 0 && i < sizes.size(); ++i) {
        const std::string path = std::string(argv[3]) + "/" + std::to_string(i) + ".eml";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        for (std::size_t done = 0; fd >= 0 && done < sizes[i];) {
            if (at == have) {
                const ssize_t n = ::read(box, buffer.data(), buffer.size());
                if (n <= 0 && ::lseek(box, 0, SEEK_SET) == 0) {
                    continue;  // at the end: the mailbox again from its start
                }
                have = n > 0 ? static_cast<std::size_t>(n) : 0;
                at = 0;
            }
            const ssize_t w = ::write(fd, buffer.data() + at, std::min(sizes[i] - done, have - at));
            if (w <= 0) {
                return 1;
            }
            done += static_cast<std::size_t>(w);
            at += static_cast<std::size_t>(w);
        }
        if (fd < 0 || ::close(fd) != 0) {
            std::perror(path.c_str());
            return 1;
        }
    }
    return box >= 0 && !sizes.empty() ? 0 : 1;
}
