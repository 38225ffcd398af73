#include "platform/file_system.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "platform/core_messages.hpp"
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

// BRINDLE_NO_TMPFILE=1 in the environment makes a process write as on a file system without
// unnamed files: the switch that lets tests and debugging reach that path in a real run.
bool& UnnamedFilesEnabled() {
    static bool enabled = [] {
        const char* off = std::getenv("BRINDLE_NO_TMPFILE");
        return off == nullptr || std::string_view(off) != "1";
    }();
    return enabled;
}

// Errors that belong to the folder, not to the one file: the next file would meet them too.
bool IsFolderError(int error) {
    return error == ENOSPC || error == EDQUOT || error == EROFS || error == EACCES ||
           error == ENOENT || error == ENOTDIR;
}

[[noreturn]] void RaiseCreateError(const std::string& path, int error) {
    TMessage message = Msg(CoreMsg::FileCannotCreate, {{"path", path}});
    if (IsFolderError(error)) {
        throw FolderError(std::move(message), ErrnoText(error));
    }
    throw Exception(std::move(message), ErrnoText(error));
}

[[noreturn]] void RaiseWriteError(const std::string& path, int error) {
    TMessage message =
        Msg(CoreMsg::FileCannotWrite, {{"path", path}, {"reason", ErrnoText(error)}});
    if (error == ENOSPC || error == EDQUOT || error == EROFS) {
        throw FolderError(std::move(message));
    }
    throw Exception(std::move(message));
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

}  // namespace

// Writing where there are no unnamed files. The data goes into a hidden temporary in the
// output folder (".brindle-<host>-<pid>-<n>.tmp") and gets its name by a rename that never
// replaces, so a killed run leaves at most a hidden temporary, never a partial file under a
// message's name. No fsync: what is protected against is the end of the process (kill -9, a
// crash), not of the machine; a power cut may still leave a name on a file whose data never
// reached the disk, as with unnamed files. Speed matters more here: an fsync would wait for
// the device once per message.
//
// How a folder gives a temporary its name, from the safest down; a refusal moves the folder one
// step down for the rest of the process.
struct FallbackFolder {
    enum class Naming {
        RenameNoReplace,  // renameat2(RENAME_NOREPLACE): one call, atomic
        Link,             // link + unlink: NFS, FUSE without rename2 refuse the above (EINVAL)
        // Neither works (no hard links either): the file is created under its name (O_EXCL)
        // and written there, the last resort. A kill while writing leaves a partial file under
        // the name; a plain rename instead would replace whatever appeared under the name
        // meanwhile.
        ExclusiveCreate,
    };
    std::atomic<Naming> naming{Naming::RenameNoReplace};
};

namespace {

using Naming = FallbackFolder::Naming;

struct RefusedNaming {
    bool rename_no_replace = false;
    bool links = false;
};

RefusedNaming& Refused() {
    static RefusedNaming refused;
    return refused;
}

std::string FolderKey(const std::string& folder) {
    std::string key = folder.empty() ? "." : folder;
    while (key.size() > 1 && key.back() == '/') {
        key.pop_back();
    }
    return key;
}

std::string InFolder(const std::string& folder, std::string_view name) {
    return (folder == "/" ? folder : folder + "/") + std::string(name);
}

// The host part of a temporary's name: a pid means something only on the machine (and in the
// pid namespace) that gave it, and a shared folder may be written from several machines.
const std::string& HostTag() {
    static const std::string tag = [] {
        char name[256] = {};
        if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
            return std::string("localhost");
        }
        std::string tag(name);
        for (char& c : tag) {
            const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                               (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
            c = plain ? c : '_';
        }
        return tag;
    }();
    return tag;
}

constexpr std::string_view kTempPrefix = ".brindle-";
constexpr std::string_view kTempSuffix = ".tmp";

// The pid of the writer that named a temporary of this host, or 0 when the name is no
// temporary of this host.
pid_t TemporaryWriter(std::string_view name) {
    if (!name.starts_with(kTempPrefix) || !name.ends_with(kTempSuffix)) {
        return 0;
    }
    name.remove_prefix(kTempPrefix.size());
    name.remove_suffix(kTempSuffix.size());
    const auto number_before = [](std::string_view& rest) -> std::optional<long long> {
        const std::size_t dash = rest.rfind('-');
        if (dash == std::string_view::npos || dash + 1 == rest.size()) {
            return std::nullopt;
        }
        long long value = 0;
        const char* first = rest.data() + dash + 1;
        const char* last = rest.data() + rest.size();
        const auto [end, error] = std::from_chars(first, last, value);
        if (error != std::errc() || end != last) {
            return std::nullopt;
        }
        rest = rest.substr(0, dash);
        return value;
    };
    const auto counter = number_before(name);
    const auto pid = counter ? number_before(name) : std::nullopt;
    if (!pid || name != HostTag() || *pid <= 0 || *pid > std::numeric_limits<pid_t>::max()) {
        return 0;
    }
    return static_cast<pid_t>(*pid);
}

// Removes the temporaries that killed writers left in the folder. A temporary is removed only
// when its name says it was made on this host by a process other than this one and no process
// with that pid exists (kill(pid, 0) fails with ESRCH): a Brindle still at work keeps its
// files, on this host by its live pid (a pid taken over by another program keeps a dead
// writer's file too, until a later run), on other hosts sharing the folder by their host part.
// Not covered: two machines of the same host name, or a writer in another pid namespace under
// the same host name, writing into one folder at once. The modification time tells nothing
// here: a finished temporary carries its message's date. Best effort: a folder that cannot be
// read is written into all the same.
void RemoveStaleTemporaries(const std::string& folder) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) {
        return;
    }
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(dir.get())) {
        const pid_t writer = TemporaryWriter(entry->d_name);
        if (writer != 0 && writer != self && ::kill(writer, 0) != 0 && errno == ESRCH) {
            ::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
        }
    }
}

// The folder's naming state; the first use of a folder in this process clears it of stale
// temporaries. Called from the thread that prepares files and the one that names them.
FallbackFolder& FallbackFolderOf(const std::string& folder) {
    static std::mutex mutex;
    static std::unordered_map<std::string, FallbackFolder> folders;  // nodes never move
    const std::lock_guard lock(mutex);
    const auto [it, added] = folders.try_emplace(FolderKey(folder));
    if (added) {
        RemoveStaleTemporaries(it->first);
    }
    return it->second;
}

std::atomic<unsigned long> g_temporary_counter{0};

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

UnnamedFile::UnnamedFile(Deferred, const std::string& folder, std::string_view data, bool open_now)
    : data_(data) {
    if (open_now) {
        Open(folder);
    }
}

void UnnamedFile::Open(const std::string& folder) {
    opened_ = true;
    if (UnnamedFilesEnabled()) {
        int fd = -1;
        do {
            fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            fd_ = fd;
            return;
        }
        // File systems without unnamed files (and kernels older than 3.11, which see
        // O_DIRECTORY in the flag) take a named temporary.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            open_failure_ = errno;
            return;
        }
    }
    OpenTemporary(folder);
}

void UnnamedFile::OpenTemporary(const std::string& folder) {
    folder_ = &FallbackFolderOf(folder);
    if (folder_->naming.load(std::memory_order_relaxed) == Naming::ExclusiveCreate) {
        return;  // LinkAs writes under the name
    }
    const std::string key = FolderKey(folder);
    const std::string stem =
        std::string(kTempPrefix) + HostTag() + "-" + std::to_string(::getpid()) + "-";
    // A name taken can only be a temporary of a dead writer that had this pid: try the next.
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::string path =
            InFolder(key, stem + std::to_string(++g_temporary_counter) + std::string(kTempSuffix));
        int fd = -1;
        do {
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            fd_ = fd;
            temp_path_ = std::move(path);
            return;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    open_failure_ = errno;
}

void UnnamedFile::Complete(const std::string& first_path) {
    if (!opened_) {
        Open(FolderOf(first_path));
    }
    if (open_failure_ != 0) {
        RaiseCreateError(first_path, open_failure_);
    }
    if (fd_ < 0 || written_) {
        return;
    }
    // Local file systems report a failed write at write(2); an unnamed file is closed only after
    // it has its name, or it would vanish. A temporary is closed now: close() is where NFS and
    // some FUSE file systems report a failed write.
    int error = WriteAll(fd_, data_);
    if (!temp_path_.empty()) {
        if (::close(fd_) != 0 && error == 0 && errno != EINTR) {
            error = errno;
        }
        fd_ = -1;
    }
    if (error != 0) {
        Discard();
        open_failure_ = EBADF;  // spent: a later LinkAs raises rather than write by name
        RaiseWriteError(first_path, error);
    }
    written_ = true;
    ApplyTime();
}

void UnnamedFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);  // an unnamed file that never got a name is gone with its descriptor
        fd_ = -1;
    }
    if (!temp_path_.empty()) {
        ::unlink(temp_path_.c_str());
        temp_path_.clear();
    }
}

UnnamedFile::~UnnamedFile() {
    Discard();
}

void UnnamedFile::SetModificationTime(std::time_t when) {
    time_ = when;
    if (written_) {
        ApplyTime();
    }
}

void UnnamedFile::ApplyTime() const {
    // Writing sets the time too: it is set once the data is in. A temporary is closed by then,
    // which also keeps a network file system from flushing data after the time was set.
    if (!time_) {
        return;
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = *time_;
    times[1].tv_nsec = 0;
    // A time that cannot be set leaves the file as written.
    if (fd_ >= 0) {
        ::futimens(fd_, times);
    } else if (!temp_path_.empty()) {
        ::utimensat(AT_FDCWD, temp_path_.c_str(), times, AT_SYMLINK_NOFOLLOW);
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
        // No way to name an unnamed file here: write a named temporary instead.
        ::close(fd_);
        fd_ = -1;
        written_ = false;
        OpenTemporary(FolderOf(path));
        Complete(path);
    }
    if (!temp_path_.empty()) {
        if (const auto named = NameTemporary(path)) {
            return *named;
        }
    }
    return CreateUnderName(path);
}

std::optional<bool> UnnamedFile::NameTemporary(const std::string& path) {
    Naming naming = folder_->naming.load(std::memory_order_relaxed);
    if (naming == Naming::RenameNoReplace) {
        const int result = Refused().rename_no_replace
                               ? (errno = EINVAL, -1)
                               : ::renameat2(AT_FDCWD, temp_path_.c_str(), AT_FDCWD, path.c_str(),
                                             RENAME_NOREPLACE);
        if (result == 0) {
            temp_path_.clear();
            return true;
        }
        if (errno == EEXIST) {
            return false;  // the temporary stays for the next name
        }
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            RaiseCreateError(path, errno);  // the destructor removes the temporary
        }
        naming = Naming::Link;
        folder_->naming.store(naming, std::memory_order_relaxed);
    }
    if (naming == Naming::Link) {
        const int result =
            Refused().links ? (errno = EPERM, -1) : ::link(temp_path_.c_str(), path.c_str());
        if (result == 0) {
            // A kill before the unlink leaves the whole file named and the temporary for the
            // next run to remove.
            ::unlink(temp_path_.c_str());
            temp_path_.clear();
            return true;
        }
        if (errno == EEXIST) {
            return false;
        }
        if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) {
            RaiseCreateError(path, errno);
        }
        folder_->naming.store(Naming::ExclusiveCreate, std::memory_order_relaxed);
    }
    Discard();  // the last resort writes under the name
    return std::nullopt;
}

bool UnnamedFile::CreateUnderName(const std::string& path) {
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

ScopedRefusedNaming::ScopedRefusedNaming(bool links_too)
    : previous_{Refused().rename_no_replace, Refused().links} {
    Refused() = {true, links_too};
}

ScopedRefusedNaming::~ScopedRefusedNaming() {
    Refused() = {previous_.first, previous_.second};
}

namespace {

// Opens a hidden temporary of this process in the folder: its descriptor and path, or -1 with
// errno set.
int OpenHiddenTemporary(const std::string& folder, std::string& path) {
    FallbackFolderOf(folder);  // the first use clears the folder of dead writers' temporaries
    const std::string key = FolderKey(folder);
    const std::string stem =
        std::string(kTempPrefix) + HostTag() + "-" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 8; ++attempt) {
        path =
            InFolder(key, stem + std::to_string(++g_temporary_counter) + std::string(kTempSuffix));
        int fd = -1;
        do {
            fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Links an unnamed file's descriptor under path: 0 or errno.
int LinkDescriptor(int fd, const std::string& path) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return 0;
    }
    if (errno != ENOENT || ProcFdAvailable()) {
        return errno;
    }
    return ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

}  // namespace

GrowingFile::GrowingFile(const std::string& path) : path_(path), folder_(FolderOf(path)) {
    if (UnnamedFilesEnabled()) {
        do {
            fd_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ >= 0) {
            return;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            RaiseCreateError(path_, errno);
        }
    }
    fd_ = OpenHiddenTemporary(folder_, temp_path_);
    if (fd_ < 0) {
        RaiseCreateError(path_, errno);
    }
}

GrowingFile::~GrowingFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!temp_path_.empty()) {
        ::unlink(temp_path_.c_str());
    }
}

void GrowingFile::Append(std::string_view data) {
    if (const int error = WriteAll(fd_, data); error != 0) {
        // A piece written in part would leave the file ending inside it.
        while (::ftruncate(fd_, static_cast<off_t>(size_)) != 0 && errno == EINTR) {
        }
        ::lseek(fd_, static_cast<off_t>(size_), SEEK_SET);
        RaiseWriteError(path_, error);
    }
    size_ += data.size();
}

void GrowingFile::AppendFileContents(const std::string& path) {
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0) {
        throw Exception(Msg(CoreMsg::FileCannotRead, {{"path", path}}), ErrnoText(errno));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{in};
    std::string buffer;
    while (true) {
        const ssize_t copied = ::copy_file_range(in, nullptr, fd_, nullptr, 1 << 30, 0);
        if (copied > 0) {
            size_ += static_cast<std::size_t>(copied);
            continue;
        }
        if (copied == 0) {
            return;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EXDEV && errno != EINVAL && errno != EOPNOTSUPP && errno != ENOSYS) {
            RaiseWriteError(path_, errno);
        }
        break;  // the kernel cannot copy between these files: read and write
    }
    buffer.resize(1 << 20);
    while (true) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw Exception(Msg(CoreMsg::FileCannotRead, {{"path", path}}), ErrnoText(errno));
        }
        if (n == 0) {
            return;
        }
        Append(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
}

void GrowingFile::NameTemporary() {
    std::string temp;
    const int placeholder = OpenHiddenTemporary(folder_, temp);
    if (placeholder < 0) {
        RaiseCreateError(path_, errno);
    }
    ::close(placeholder);
    ::unlink(temp.c_str());
    // The name was free a moment ago; a link fails rather than replace what took it since.
    if (const int error = LinkDescriptor(fd_, temp); error != 0) {
        RaiseCreateError(path_, error);
    }
    temp_path_ = std::move(temp);
}

bool GrowingFile::LinkAs(const std::string& path) {
    if (temp_path_.empty()) {
        const int error = LinkDescriptor(fd_, path);
        if (error == 0) {
            ::close(fd_);
            fd_ = -1;
            return true;
        }
        if (error == EEXIST) {
            return false;
        }
        if (error != EPERM && error != EOPNOTSUPP) {
            RaiseCreateError(path, error);
        }
        NameTemporary();
    }
    if (::renameat2(AT_FDCWD, temp_path_.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST) {
            return false;
        }
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            RaiseCreateError(path, errno);
        }
        if (::link(temp_path_.c_str(), path.c_str()) == 0) {
            ::unlink(temp_path_.c_str());
        } else if (errno == EEXIST) {
            return false;
        } else if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) {
            RaiseCreateError(path, errno);
        } else if (PathExists(path)) {
            return false;
        } else if (::rename(temp_path_.c_str(), path.c_str()) != 0) {
            RaiseCreateError(path, errno);
        }
    }
    temp_path_.clear();
    ::close(fd_);
    fd_ = -1;
    return true;
}

void GrowingFile::ReplaceAs(const std::string& path) {
    if (temp_path_.empty()) {
        NameTemporary();
    }
    if (::rename(temp_path_.c_str(), path.c_str()) != 0) {
        RaiseCreateError(path, errno);
    }
    temp_path_.clear();
    ::close(fd_);
    fd_ = -1;
}

CreateResult WriteNewFile(const std::string& path, std::string_view data) {
    UnnamedFile file(path, data);
    return file.LinkAs(path) ? CreateResult::Written : CreateResult::NameTaken;
}

NameHolds CompareWithName(const std::string& path, std::string_view data) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return errno == ENOENT ? NameHolds::Nothing : NameHolds::Other;
    }
    if (!S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) != data.size()) {
        return NameHolds::Other;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return NameHolds::Other;
    }
    // Compared a piece at a time: an existing copy of a long message is never held whole.
    constexpr std::size_t kPiece = 64 * 1024;
    std::string piece(std::min(kPiece, data.size()), '\0');
    std::size_t done = 0;
    bool same = true;
    while (same && done < data.size()) {
        const ssize_t n = ::read(fd, piece.data(), std::min(piece.size(), data.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        same =
            n > 0 && data.compare(done, static_cast<std::size_t>(n),
                                  std::string_view(piece.data(), static_cast<std::size_t>(n))) == 0;
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    ::close(fd);
    return same ? NameHolds::SameData : NameHolds::Other;
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
