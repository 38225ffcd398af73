// TDBXFile: an open mailbox file as the reader and the salvage scan read it. A read-only
// descriptor holding an exclusive lock, read with pread so that no read depends on a shared file
// position, through a read-ahead window (a message's blocks and the index nodes mostly follow
// each other in the file, so one system call covers many of them).
//
// Two kinds of trouble are told apart from damage, because they say nothing about the mailbox's
// contents: an error of the system (EIO of a failing disk) and a file that changes while it is
// read (cut short or compacted by another program). Both raise MailboxError, which ends the
// mailbox; damaged contents never do. A read is short only where the file, as it was opened,
// ends; a read that comes back shorter than that means the file shrank.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

class TDBXFile {
  public:
    // Opens the file read-only and takes an exclusive non-blocking lock; reports nothing (see
    // IsOpen and OpenError).
    explicit TDBXFile(const std::filesystem::path& path);
    ~TDBXFile();
    TDBXFile(const TDBXFile&) = delete;
    TDBXFile& operator=(const TDBXFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Why the file is not open: the system's reason, or the program's for a lock or a file that
    // is not a regular file.
    const std::string& OpenError() const { return open_error_; }
    // The size when the file was opened; every read is bounded by it.
    std::int64_t Size() const { return size_; }

    // Whether [offset, offset + length) lies inside the file.
    bool Holds(std::int64_t offset, std::int64_t length) const {
        return offset >= 0 && length >= 0 && offset <= size_ && length <= size_ - offset;
    }

    // Reads up to length bytes; fewer only past the end of the file as it was opened. Raises
    // MailboxError on a read error or when the file turns out shorter than that.
    std::size_t Read(std::int64_t offset, void* buffer, std::size_t length) const;
    // The same bytes as Read, left in the read-ahead window: valid until the next call. At most
    // a quarter of the window is asked for at once.
    std::string_view View(std::int64_t offset, std::size_t length) const;

    // As Read, without the read-ahead window: for reads scattered over the file.
    std::size_t ReadUncached(std::int64_t offset, void* buffer, std::size_t length) const {
        return ReadDirect(offset, buffer, length);
    }

    // Raises MailboxError when the file is no longer the one that was opened: its size or its
    // modification time changed. Checked after each message, so that every message delivered
    // was read whole before any change.
    void CheckUnchanged() const;

  private:
    static constexpr std::size_t kWindowSize = 256 * 1024;

    std::size_t ReadDirect(std::int64_t offset, void* buffer, std::size_t length) const;
    void Close();

    int fd_ = -1;
    std::int64_t size_ = 0;
    struct timespec modified_ {};
    std::string open_error_;
    mutable std::vector<char> window_;
    mutable std::int64_t window_offset_ = 0;
};

// The pread(2) that mailbox files are read with: same contract. Tests replace it to make a disk
// fail (EIO) or a file shrink in the middle of a read.
using PreadFunction = ssize_t (*)(int fd, void* buffer, std::size_t size, off_t offset);

// Installs a replacement pread for its own lifetime; not thread-safe, meant for tests.
class ScopedPreadFunction {
  public:
    explicit ScopedPreadFunction(PreadFunction read);
    ~ScopedPreadFunction();
    ScopedPreadFunction(const ScopedPreadFunction&) = delete;
    ScopedPreadFunction& operator=(const ScopedPreadFunction&) = delete;

  private:
    PreadFunction previous_;
};

}  // namespace brindle
