// Feeds arbitrary bytes to the .dbx reader as a whole mailbox file: the index walk and every
// message's record and block chain must neither crash, hang, read out of bounds nor grow without
// bound. The reader's own errors are allowed outcomes; any other exception is a fault, except
// an index outside the walked count, which this driver never asks for.
//
// The bytes go into one memfd, reopened through /proc/self/fd, so that the reader sees an
// ordinary file on every run without touching the disk.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "mailbox/dbx_parser.hpp"
#include "platform/exception.hpp"

namespace {

// Enough messages to reach the chains of a tree's later entries without spending a run on one
// input that lists millions of them.
constexpr std::int32_t kMessagesPerInput = 4096;

int MailboxFd() {
    static const int fd = ::memfd_create("brindle-dbx-fuzz", MFD_CLOEXEC);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = MailboxFd();
    if (fd < 0 || ::ftruncate(fd, 0) != 0) {
        __builtin_trap();
    }
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::pwrite(fd, data + written, size - written, static_cast<off_t>(written));
        if (n <= 0) {
            __builtin_trap();
        }
        written += static_cast<std::size_t>(n);
    }

    // The first byte's two low bits choose the path: bit 0 puts a mail folder's signature over
    // the first eight bytes, so that the walk is reached without the fuzzer first having to
    // guess it; bit 1 asks for the salvage scan.
    if (size >= 8 && (data[0] & 1) != 0) {
        static constexpr unsigned char kSignature[] = {0xCF, 0xAD, 0x12, 0xFE,
                                                       0xC5, 0xFD, 0x74, 0x6F};
        if (::pwrite(fd, kSignature, sizeof kSignature, 0) != sizeof kSignature) {
            __builtin_trap();
        }
    }
    const bool salvage = size > 0 && (data[0] & 2) != 0;
    brindle::TDBXParser parser("/proc/self/fd/" + std::to_string(fd), salvage);
    std::int32_t count = 0;
    try {
        count = parser.GetMailCount();
    } catch (const brindle::Exception&) {
        return 0;
    }
    if (count < 0) {
        __builtin_trap();
    }
    for (std::int32_t i = 0; i < count && i < kMessagesPerInput; ++i) {
        try {
            const std::string text = parser.ReadMailText(i);
            // Blocks of one chain never overlap, so a text cannot exceed the file.
            if (text.size() > size) {
                __builtin_trap();
            }
        } catch (const brindle::Exception&) {
        }
    }
    return 0;
}
