#include "support/temp_dir.hpp"

#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace brindle::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "brindle-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    // mkdtemp creates the folder with mode 0700 and a name nobody else can have taken.
    if (::mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("TempDir: mkdtemp failed for " + pattern);
    }
    path_ = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace brindle::test
