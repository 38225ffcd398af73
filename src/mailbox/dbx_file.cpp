#include "mailbox/dbx_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "model/basic_mail.hpp"
#include "platform/core_messages.hpp"
#include "platform/exception.hpp"

namespace brindle {
namespace {

PreadFunction& CurrentPread() {
    static PreadFunction read = ::pread;
    return read;
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

TDBXFile::TDBXFile(const std::filesystem::path& path) {
    // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are accepted.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) {
        open_error_ = ErrnoText(errno);
        return;
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        open_error_ = ErrnoText(errno);
        Close();
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        open_error_ =
            S_ISDIR(info.st_mode) ? ErrnoText(EISDIR) : Msg(CoreMsg::ReasonNotRegularFile).Render();
        Close();
        return;
    }
    // The lock keeps two runs of this program off the same file. Only another holder
    // (EWOULDBLOCK) makes the open fail; file systems that refuse locks are read unlocked.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        open_error_ = Msg(CoreMsg::ReasonLocked).Render();
        Close();
        return;
    }
    size_ = static_cast<std::int64_t>(info.st_size);
    modified_ = info.st_mtim;
}

TDBXFile::~TDBXFile() {
    Close();
}

void TDBXFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);  // closing also releases the lock
        fd_ = -1;
    }
}

std::size_t TDBXFile::Read(std::int64_t offset, void* buffer, std::size_t length) const {
    if (length > kWindowSize / 4) {
        return ReadDirect(offset, buffer, length);
    }
    const std::string_view bytes = View(offset, length);
    std::copy_n(bytes.data(), bytes.size(), static_cast<char*>(buffer));
    return bytes.size();
}

std::string_view TDBXFile::View(std::int64_t offset, std::size_t length) const {
    const auto window_end = window_offset_ + static_cast<std::int64_t>(window_.size());
    if (offset < window_offset_ || offset + static_cast<std::int64_t>(length) > window_end) {
        // A read that would not fill the window entirely means the window reaches the end.
        window_.resize(kWindowSize);
        window_.resize(ReadDirect(offset, window_.data(), window_.size()));
        window_offset_ = offset;
    }
    const auto from = static_cast<std::size_t>(offset - window_offset_);
    const std::size_t available = from < window_.size() ? window_.size() - from : 0;
    return {window_.data() + from, std::min(length, available)};
}

std::size_t TDBXFile::ReadDirect(std::int64_t offset, void* buffer, std::size_t length) const {
    if (fd_ < 0 || offset < 0) {
        return 0;
    }
    // What the file held when it was opened; reading less than that means it shrank.
    const std::size_t expected = offset >= size_
                                     ? 0
                                     : static_cast<std::size_t>(std::min<std::int64_t>(
                                           static_cast<std::int64_t>(length), size_ - offset));
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < expected) {
        const ssize_t n =
            CurrentPread()(fd_, out + done, expected - done,
                           static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw MailboxError(Msg(CoreMsg::DbxReadError), ErrnoText(errno));
        }
        if (n == 0) {
            throw MailboxError(Msg(CoreMsg::DbxChanged));
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void TDBXFile::CheckUnchanged() const {
    struct stat info {};
    if (fd_ < 0) {
        return;
    }
    if (::fstat(fd_, &info) != 0) {
        throw MailboxError(Msg(CoreMsg::DbxReadError), ErrnoText(errno));
    }
    if (static_cast<std::int64_t>(info.st_size) != size_ || !SameTime(info.st_mtim, modified_)) {
        throw MailboxError(Msg(CoreMsg::DbxChanged));
    }
}

ScopedPreadFunction::ScopedPreadFunction(PreadFunction read)
    : previous_(std::exchange(CurrentPread(), read)) {}

ScopedPreadFunction::~ScopedPreadFunction() {
    CurrentPread() = previous_;
}

}  // namespace brindle
