// What the conversion needs from the file system, on native (byte, normally UTF-8) paths.
// Output files are created exclusively (O_EXCL): a name that exists, or that another program
// creates a moment earlier, is reported as taken and is never replaced. A write that fails
// (disk full, quota, I/O error, a failing close) removes the partial file and raises, so a file
// that exists after a successful write is complete.
#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace brindle {

// Outcome of an exclusive creation that did not fail.
enum class CreateResult { Written, NameTaken };

// Creates path exclusively and writes data into it. Answers NameTaken (nothing touched) when
// the name already exists in any form (file, folder, symbolic link, even a dangling one).
// Raises Exception with "ファイル <path> を作成できません" when the file cannot be created for
// another reason, and with a write error message when writing or closing fails; in that case
// the partial file is removed first.
CreateResult WriteNewFile(const std::string& path, std::string_view data);
// The same, and the written file gets this modification time (when given and settable).
CreateResult WriteNewFile(const std::string& path, std::string_view data,
                          std::optional<std::time_t> modified);

// True when something (file, folder, link) exists under the name.
bool PathExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// Creates the folder and its missing parents. Answers false on failure; never raises.
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
