// TempDir: a fresh, private folder under the system's temporary directory, removed with all its
// contents when the object goes away. Tests create their files inside path().
#pragma once

#include <filesystem>
#include <string>

namespace brindle::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // path() / name, for brevity in tests.
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

}  // namespace brindle::test
