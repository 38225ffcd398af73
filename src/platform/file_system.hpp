// What the conversion needs from the file system, on native (byte, normally UTF-8) paths.
// An output file gets its name only once it is complete: it is written unnamed (O_TMPFILE) and
// then linked under its name, which fails like an exclusive create when the name exists, so
// no signal, crash or kill -9 can leave a partial file under the name, and no name is ever
// replaced. Where the file system has no unnamed files, the file is written under a hidden
// temporary name in the same folder (".brindle-<host>-<pid>-<n>.tmp") and renamed without
// replacing (renameat2 RENAME_NOREPLACE, else link and unlink); a kill leaves at most such a
// temporary, which the next run writing into the folder removes once its writer is gone. Only
// where the file system can do neither is the file created exclusively (O_EXCL) under its name
// and written there. A write that fails (disk full, quota, I/O error, a failing close) raises,
// so a file that has its name is complete, and no temporary is left behind.
#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

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

struct FallbackFolder;  // how a folder without unnamed files names them (file_system.cpp)

// A complete file that has no name yet. The data is written at construction; LinkAs then
// gives it a name, and may be tried with one name after another without writing again. A file
// that never gets a name leaves nothing behind.
class UnnamedFile {
  public:
    // Writes data into a new unnamed file in the folder of first_path (the name the file is
    // meant to get first, used in error messages). Raises FolderError when the folder is the
    // cause (see FolderError), Exception for anything else.
    UnnamedFile(const std::string& first_path, std::string_view data);
    // A file made before the name it will first be offered is known: nothing is written yet,
    // and the file is opened in folder (ending with '/') now or, without open_now, by Complete;
    // a failure to open is kept. Complete writes it.
    struct Deferred {};
    UnnamedFile(Deferred, const std::string& folder, std::string_view data, bool open_now);
    ~UnnamedFile();
    UnnamedFile(const UnnamedFile&) = delete;
    UnnamedFile& operator=(const UnnamedFile&) = delete;

    // The bytes the file holds (or will hold once completed).
    std::string_view Data() const { return data_; }

    // Sets the modification time that the file will have under its name.
    void SetModificationTime(std::time_t when);

    // Raises a failure kept since construction, then opens the file, writes the data and sets
    // the time if not done yet, raising as the first constructor does for first_path.
    void Complete(const std::string& first_path);

    // Gives the file this name (in the same folder). False when the name exists in any form
    // (file, folder, link, even a dangling one); nothing is touched then. Raises like the
    // constructor (completing the file first if need be, for this name). After a true answer
    // the object is spent.
    bool LinkAs(const std::string& path);

  private:
    void Open(const std::string& folder);
    void OpenTemporary(const std::string& folder);
    void Discard();
    void ApplyTime() const;
    // Renames the temporary: true or false as LinkAs, nullopt when the folder can only take
    // the file under its name (the temporary is gone then).
    std::optional<bool> NameTemporary(const std::string& path);
    bool CreateUnderName(const std::string& path);

    int fd_ = -1;                       // the unnamed file, or the temporary until written
    std::string temp_path_;             // the named temporary, when there are no unnamed files
    FallbackFolder* folder_ = nullptr;  // set with the temporary; lives as long as the process
    bool opened_ = false;               // opening was tried
    int open_failure_ = 0;              // errno of a kept failure to open; 0: none
    bool written_ = false;              // the data is in the file
    std::string_view data_;             // kept for a temporary or the last resort
    std::optional<std::time_t> time_;   // also for a file written later, or by the last resort
};

// A file written piece by piece (an mbox file) that appears under a name only once it is
// complete: unnamed (O_TMPFILE) in its folder, or a hidden temporary as UnnamedFile writes
// where there are none, until LinkAs or ReplaceAs. A kill leaves no partial file under either
// name. An Append that fails is cut off again, so the file always ends after a whole piece.
class GrowingFile {
  public:
    // Opens the file in the folder of path, the name it is meant to get (used in error
    // messages). Raises as UnnamedFile does.
    explicit GrowingFile(const std::string& path);
    ~GrowingFile();
    GrowingFile(const GrowingFile&) = delete;
    GrowingFile& operator=(const GrowingFile&) = delete;

    // Raises the write error ("ファイル <path> に書き込めません（…）"; FolderError when the disk
    // is full), the file cut back to what it held before.
    void Append(std::string_view data);
    // Appends the whole contents of the regular file at path (copied by the kernel).
    void AppendFileContents(const std::string& path);
    std::size_t Size() const { return size_; }

    // Gives the file this name if it is free, as UnnamedFile::LinkAs; false when taken. Where
    // neither a rename without replacing nor a hard link exists (vfat), the name is checked
    // just before a plain rename. After a true answer the object is spent.
    bool LinkAs(const std::string& path);
    // Puts the file in place of the file under path, in one rename.
    void ReplaceAs(const std::string& path);

  private:
    // The file under a hidden temporary name, giving an unnamed file one first.
    void NameTemporary();

    int fd_ = -1;
    std::string path_;
    std::string folder_;
    std::string temp_path_;  // empty while unnamed
    std::size_t size_ = 0;
};

// Turns unnamed files off for the scope's lifetime, so that tests reach the named temporaries
// that file systems without O_TMPFILE take. BRINDLE_NO_TMPFILE=1 in the environment turns them
// off for the whole process (a test and debugging switch for real runs). Not thread-safe.
class ScopedUnnamedFilesOff {
  public:
    ScopedUnnamedFilesOff();
    ~ScopedUnnamedFilesOff();
    ScopedUnnamedFilesOff(const ScopedUnnamedFilesOff&) = delete;
    ScopedUnnamedFilesOff& operator=(const ScopedUnnamedFilesOff&) = delete;

  private:
    bool previous_;
};

// Makes renaming without replacing fail as on NFS (EINVAL) and, with links_too, hard links as on
// vfat (EPERM), so that tests reach the link path and the last resort. Folders that met a
// refusal keep taking the next way for the rest of the process. Not thread-safe.
class ScopedRefusedNaming {
  public:
    explicit ScopedRefusedNaming(bool links_too);
    ~ScopedRefusedNaming();
    ScopedRefusedNaming(const ScopedRefusedNaming&) = delete;
    ScopedRefusedNaming& operator=(const ScopedRefusedNaming&) = delete;

  private:
    std::pair<bool, bool> previous_;
};

// Writes data into a new file that appears under path only when complete (UnnamedFile and
// LinkAs in one). Answers NameTaken (nothing touched) when the name already exists in any form
// (file, folder, symbolic link, even a dangling one). Raises Exception with
// "ファイル <path> を作成できません" when the file cannot be created for another reason, and with
// a write error message when writing or closing fails; no partial file is left. FolderError,
// an Exception, when the folder is the cause.
CreateResult WriteNewFile(const std::string& path, std::string_view data);

// What is under a name, compared with data: nothing, a regular file holding exactly data, or
// anything else (another file, a folder, a link). Raises nothing: a file that cannot be read
// counts as another.
enum class NameHolds { Nothing, SameData, Other };
NameHolds CompareWithName(const std::string& path, std::string_view data);

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
