#include "platform/file_system.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>
#include <utility>

#include "platform/exception.hpp"

namespace brindle {
namespace {

long SystemWrite(int fd, const char* data, std::size_t size) {
    return static_cast<long>(::write(fd, data, size));
}

WriteFunction& CurrentWrite() {
    static WriteFunction write = SystemWrite;
    return write;
}

std::string ErrnoText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

[[noreturn]] void RaiseWriteError(const std::string& path, int error) {
    throw Exception("ファイル " + path + " に書き込めません（" + ErrnoText(error) + "）");
}

}  // namespace

CreateResult WriteNewFile(const std::string& path, std::string_view data) {
    return WriteNewFile(path, data, std::nullopt);
}

CreateResult WriteNewFile(const std::string& path, std::string_view data,
                          std::optional<std::time_t> modified) {
    // O_NOFOLLOW with O_EXCL: a symbolic link under the name counts as taken, never followed.
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == EEXIST) {
            return CreateResult::NameTaken;
        }
        throw Exception("ファイル " + path + " を作成できません");
    }
    int error = 0;
    std::size_t done = 0;
    while (done < data.size()) {
        const long n = CurrentWrite()(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            break;
        }
        if (n == 0) {
            // write(2) returning 0 for a non-empty request makes no progress; treat it as a
            // full device rather than loop forever.
            error = ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (error == 0 && modified) {
        // Through the descriptor: no second lookup of the name. A time that cannot be set
        // leaves the file as written.
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = *modified;
        times[1].tv_nsec = 0;
        static_cast<void>(::futimens(fd, times));
    }
    // close() is where NFS and some FUSE file systems report a failed write.
    if (::close(fd) != 0 && error == 0 && errno != EINTR) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(path.c_str());
        RaiseWriteError(path, error);
    }
    return CreateResult::Written;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectories(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    if (DirectoryExists(path)) {
        return true;
    }
    // Walk the components from the root so each missing parent is made in turn; a component
    // that appears meanwhile (EEXIST) is fine as long as it is a folder in the end.
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        const std::string prefix = path.substr(0, pos);
        if (prefix.empty() || DirectoryExists(prefix)) {
            continue;
        }
        if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return DirectoryExists(path);
}

bool SetModificationTime(const std::string& path, std::time_t when) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = when;
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

ScopedWriteFunction::ScopedWriteFunction(WriteFunction write)
    : previous_(std::exchange(CurrentWrite(), std::move(write))) {}

ScopedWriteFunction::~ScopedWriteFunction() {
    CurrentWrite() = std::move(previous_);
}

WriteFunction DiskFullAfter(std::size_t capacity) {
    auto left = std::make_shared<std::size_t>(capacity);
    return [left](int fd, const char* data, std::size_t size) -> long {
        if (*left == 0) {
            errno = ENOSPC;
            return -1;
        }
        const std::size_t n = size < *left ? size : *left;
        const long written = SystemWrite(fd, data, n);
        if (written > 0) {
            *left -= static_cast<std::size_t>(written);
        }
        return written;
    };
}

}  // namespace brindle
