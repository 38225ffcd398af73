#include "platform/file_system.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
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

bool& UnnamedFilesEnabled() {
    static bool enabled = true;
    return enabled;
}

// Errors that belong to the folder, not to the one file: the next file would meet them too.
bool IsFolderError(int error) {
    return error == ENOSPC || error == EDQUOT || error == EROFS || error == EACCES ||
           error == ENOENT || error == ENOTDIR;
}

[[noreturn]] void RaiseCreateError(const std::string& path, int error) {
    const std::string message = "ファイル " + path + " を作成できません";
    if (IsFolderError(error)) {
        throw FolderError(message, ErrnoText(error));
    }
    throw Exception(message, ErrnoText(error));
}

[[noreturn]] void RaiseWriteError(const std::string& path, int error) {
    const std::string message =
        "ファイル " + path + " に書き込めません（" + ErrnoText(error) + "）";
    if (error == ENOSPC || error == EDQUOT || error == EROFS) {
        throw FolderError(message);
    }
    throw Exception(message);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes all of data; answers 0 or the errno of the failure.
int WriteAll(int fd, std::string_view data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const long n = CurrentWrite()(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            // write(2) returning 0 for a non-empty request makes no progress; treat it as a
            // full device rather than loop forever.
            return ENOSPC;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// Whether naming an unnamed file by its descriptor alone works for this process.
std::atomic<bool> g_empty_path_links{true};

bool ProcFdAvailable() {
    return ::access("/proc/self/fd", F_OK) == 0;
}

}  // namespace

UnnamedFile::UnnamedFile(const std::string& first_path, std::string_view data) : data_(data) {
    Open(FolderOf(first_path));
    Complete(first_path);
}

UnnamedFile::UnnamedFile(OpenOnly, const std::string& folder, std::string_view data) : data_(data) {
    Open(folder);
}

void UnnamedFile::Open(const std::string& folder) {
    if (!UnnamedFilesEnabled()) {
        return;
    }
    int fd = -1;
    do {
        fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        // File systems without unnamed files (and kernels older than 3.11, which see
        // O_DIRECTORY in the flag) take the exclusive create in LinkAs.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            open_failure_ = errno;
        }
        return;
    }
    fd_ = fd;
}

void UnnamedFile::Complete(const std::string& first_path) {
    if (open_failure_ != 0) {
        RaiseCreateError(first_path, open_failure_);
    }
    if (fd_ < 0 || written_) {
        return;
    }
    // Local file systems report a failed write at write(2); the file is closed only after it
    // has its name, or it would vanish.
    if (const int error = WriteAll(fd_, data_); error != 0) {
        ::close(fd_);
        fd_ = -1;
        open_failure_ = EBADF;  // spent: a later LinkAs raises rather than write by name
        RaiseWriteError(first_path, error);
    }
    written_ = true;
    ApplyTime();
}

UnnamedFile::~UnnamedFile() {
    if (fd_ >= 0) {
        ::close(fd_);  // an unnamed file that never got a name is gone with its descriptor
    }
}

void UnnamedFile::SetModificationTime(std::time_t when) {
    time_ = when;
    if (written_) {
        ApplyTime();
    }
}

void UnnamedFile::ApplyTime() const {
    // Writing sets the time too: it is set once the data is in.
    if (fd_ >= 0 && time_) {
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = *time_;
        times[1].tv_nsec = 0;
        ::futimens(fd_, times);  // a time that cannot be set leaves the file as written
    }
}

bool UnnamedFile::LinkAs(const std::string& path) {
    Complete(path);
    if (fd_ >= 0 && g_empty_path_links.load(std::memory_order_relaxed)) {
        // AT_EMPTY_PATH saves the lookup of the /proc link, about a fifth of the cost of naming
        // a file; without the privilege it needs it answers ENOENT (EPERM on some kernels), and
        // the run uses /proc from then on.
        if (::linkat(fd_, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) {
            ::close(fd_);
            fd_ = -1;
            return true;
        }
        if (errno == EEXIST) {
            return false;
        }
        g_empty_path_links.store(false, std::memory_order_relaxed);
    }
    if (fd_ >= 0) {
        // linkat through /proc needs no privilege; AT_EMPTY_PATH does, but works without /proc.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        int result = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
        int error = result == 0 ? 0 : errno;
        const bool proc = error != ENOENT || ProcFdAvailable();
        if (!proc) {
            result = ::linkat(fd_, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH);
            error = result == 0 ? 0 : errno;
        }
        if (result == 0) {
            ::close(fd_);
            fd_ = -1;
            return true;
        }
        if (error == EEXIST) {
            return false;
        }
        // ENOENT with /proc in place: the folder itself is gone.
        const bool cannot_link =
            error == EPERM || error == EOPNOTSUPP || (error == ENOENT && !proc);
        if (!cannot_link) {
            RaiseCreateError(path, error);
        }
        // No way to name an unnamed file here: write the file under its name instead.
        ::close(fd_);
        fd_ = -1;
    }

    // O_NOFOLLOW with O_EXCL: a symbolic link under the name counts as taken, never followed.
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == EEXIST) {
            return false;
        }
        RaiseCreateError(path, errno);
    }
    int error = WriteAll(fd, data_);
    // close() is where NFS and some FUSE file systems report a failed write.
    if (::close(fd) != 0 && error == 0 && errno != EINTR) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(path.c_str());
        RaiseWriteError(path, error);
    }
    if (time_) {
        brindle::SetModificationTime(path, *time_);
    }
    return true;
}

ScopedUnnamedFilesOff::ScopedUnnamedFilesOff()
    : previous_(std::exchange(UnnamedFilesEnabled(), false)) {}

ScopedUnnamedFilesOff::~ScopedUnnamedFilesOff() {
    UnnamedFilesEnabled() = previous_;
}

CreateResult WriteNewFile(const std::string& path, std::string_view data) {
    UnnamedFile file(path, data);
    return file.LinkAs(path) ? CreateResult::Written : CreateResult::NameTaken;
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
    if (!DirectoryExists(path)) {
        errno = ENOTDIR;  // something other than a folder holds the name
        return false;
    }
    return true;
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
