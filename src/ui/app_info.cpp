#include "ui/app_info.hpp"

#include <array>

#include "platform/exception.hpp"
#include "platform/version_info.hpp"
#include "ui/window_messages.hpp"

namespace brindle {
namespace {

constexpr std::array<const char*, 11> kKeys{
    "Comments",     "CompanyName",    "FileDescription", "FileVersion",
    "InternalName", "LegalCopyright", "LegalTradeMarks", "OriginalFilename",
    "PrivateBuild", "ProductName",    "ProductVersion",
};

}  // namespace

VersionStrings CompiledVersionStrings() {
    return VersionStrings{{"ProductName", version_info::kProductName},
                          {"FileVersion", version_info::kFileVersion}};
}

TkAppInfo::TkAppInfo() : TkAppInfo(CompiledVersionStrings()) {}

TkAppInfo::TkAppInfo(std::optional<VersionStrings> strings) {
    if (!strings) {
        throw Exception(Msg(WindowMsg::VersionMissing));
    }
    strings_ = std::move(*strings);
}

std::string TkAppInfo::GetInfo(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= kKeys.size()) {
        return {};
    }
    const auto found = strings_.find(kKeys[static_cast<std::size_t>(index)]);
    return found == strings_.end() ? std::string{} : found->second;
}

}  // namespace brindle
