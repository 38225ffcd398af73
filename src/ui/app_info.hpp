// TkAppInfo reads the program's version information: the product name and file version that
// the build compiles in, standing in for the version resource of the executable.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace brindle {

// A version information block: version string key ("ProductName") to value.
using VersionStrings = std::map<std::string, std::string>;

// The block this build carries: "ProductName" and "FileVersion" from the project.
VersionStrings CompiledVersionStrings();

class TkAppInfo {
  public:
    // The keys that GetInfo takes by index, 0 "Comments" to 10 "ProductVersion".
    static constexpr int kProductName = 9;
    static constexpr int kFileVersion = 3;

    // The program's own version information.
    TkAppInfo();
    // nullopt stands for an executable without version information: Exception
    // "バージョン情報を取得できません".
    explicit TkAppInfo(std::optional<VersionStrings> strings);

    // The value of the key of that index; empty when the key is missing or the index is not
    // 0 to 10.
    std::string GetInfo(int index) const;

  private:
    VersionStrings strings_;
};

}  // namespace brindle
