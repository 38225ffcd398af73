// What the conversion needs from the file system, on native (byte, normally UTF-8) paths.
// An output file gets its name only once it is complete: it is written unnamed (O_TMPFILE) and
// then linked under its name, which fails like an exclusive create when the name exists, so
// no signal, crash or kill -9 can leave a partial file under the name, and no name is ever
// replaced. Where the file system has no unnamed files, the file is created exclusively
// (O_EXCL) and removed again when writing fails. A write that fails (disk full, quota, I/O
// error, a failing close) raises, so a file that has its name is complete.
#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/exception.hpp"

namespace brindle {

// Outcome of an exclusive creation that did not fail.
enum class CreateResult { Written, NameTaken };

// An error of the folder rather than of one file (full, over quota, read-only, not writable,
// gone): every other file written there would fail the same way.
class FolderError : public Exception {
  public:
    using Exception::Exception;
};

// A complete file that has no name yet. The data is written at construction; LinkAs then
// gives it a name, and may be tried with one name after another without writing again. A file
// that never gets a name leaves nothing behind.
class UnnamedFile {
  public:
    // Writes data into a new unnamed file in the folder of first_path (the name the file is
    // meant to get first, used in error messages). Raises FolderError when the folder is the
    // cause (see FolderError), Exception for anything else.
    UnnamedFile(const std::string& first_path, std::string_view data);
    // The file opened in folder (ending with '/') but not yet written, for a file made before
    // the name it will first be offered is known: a failure is kept. Complete writes it.
    struct OpenOnly {};
    UnnamedFile(OpenOnly, const std::string& folder, std::string_view data);
    ~UnnamedFile();
    UnnamedFile(const UnnamedFile&) = delete;
    UnnamedFile& operator=(const UnnamedFile&) = delete;

    // Sets the modification time that the file will have under its name.
    void SetModificationTime(std::time_t when);

    // Raises a failure kept since construction, then writes the data and sets the time if not
    // done yet, raising as the first constructor does for first_path.
    void Complete(const std::string& first_path);

    // Gives the file this name (in the same folder). False when the name exists in any form
    // (file, folder, link, even a dangling one); nothing is touched then. Raises like the
    // constructor (completing the file first if need be, for this name). After a true answer
    // the object is spent.
    bool LinkAs(const std::string& path);

  private:
    void Open(const std::string& folder);
    void ApplyTime() const;

    int fd_ = -1;
    int open_failure_ = 0;             // errno of a kept failure to open; 0: none
    bool written_ = false;             // the data is in the open file
    std::string_view data_;            // kept for the exclusive-create fallback
    std::optional<std::time_t> time_;  // for the fallback, which has no file before LinkAs
};

// Turns unnamed files off for the scope's lifetime, so that tests reach the exclusive-create
// path that file systems without O_TMPFILE take. Not thread-safe.
class ScopedUnnamedFilesOff {
  public:
    ScopedUnnamedFilesOff();
    ~ScopedUnnamedFilesOff();
    ScopedUnnamedFilesOff(const ScopedUnnamedFilesOff&) = delete;
    ScopedUnnamedFilesOff& operator=(const ScopedUnnamedFilesOff&) = delete;

  private:
    bool previous_;
};

// Writes data into a new file that appears under path only when complete (UnnamedFile and
// LinkAs in one). Answers NameTaken (nothing touched) when the name already exists in any form
// (file, folder, symbolic link, even a dangling one). Raises Exception with
// "ファイル <path> を作成できません" when the file cannot be created for another reason, and with
// a write error message when writing or closing fails; no partial file is left. FolderError,
// an Exception, when the folder is the cause.
CreateResult WriteNewFile(const std::string& path, std::string_view data);

// True when something (file, folder, link) exists under the name.
bool PathExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// Creates the folder and its missing parents. Answers false on failure, errno saying why;
// never raises.
bool CreateDirectories(const std::string& path);

// Sets the file's modification time (access time is left alone). Answers false on failure.
bool SetModificationTime(const std::string& path, std::time_t when);

// The write(2) that WriteNewFile calls: same contract (bytes written, or -1 with errno set).
// Tests replace it to simulate a full disk after N bytes or a short write.
using WriteFunction = std::function<long(int fd, const char* data, std::size_t size)>;

// Installs a replacement write function for its own lifetime; not thread-safe, meant for tests.
class ScopedWriteFunction {
  public:
    explicit ScopedWriteFunction(WriteFunction write);
    ~ScopedWriteFunction();
    ScopedWriteFunction(const ScopedWriteFunction&) = delete;
    ScopedWriteFunction& operator=(const ScopedWriteFunction&) = delete;

  private:
    WriteFunction previous_;
};

// A write function that accepts `capacity` bytes in total and then fails with ENOSPC, as a
// full disk does. Partial writes are passed through, so the caller's retry loop is exercised.
WriteFunction DiskFullAfter(std::size_t capacity);

}  // namespace brindle
