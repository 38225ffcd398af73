// Where Outlook Express kept its mail inside a Wine prefix. On Windows the source dialog starts
// in the store folder named by the current user's registry; on Linux the nearest thing is the
// registry of a Wine prefix, saved as the text file user.reg. The lookup follows the same keys
// (Identities → "Default User ID" → that identity → Software\Microsoft\Outlook Express\5.0 →
// "Store Root") and maps the Windows path through the prefix's drive links (dosdevices/c: …).
// Every step may fail (no prefix, no file, no key, a path on no mapped drive, a folder that is
// gone); the lookup then answers nothing and says nothing.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace brindle {

// $WINEPREFIX when set and not empty, else ~/.wine; nothing when neither can be named.
std::optional<std::filesystem::path> DefaultWinePrefix();

// The string value `name` of registry key `key` (backslash-separated, relative to the file's
// root) in the text of a Wine registry file, decoded to UTF-8. Key and value names compare
// without regard to ASCII case, as the registry does. Plain strings and expandable strings
// (str(2):) are read; environment references are left as they are.
std::optional<std::string> ReadWineRegistryString(std::string_view reg_text, std::string_view key,
                                                  std::string_view name);

// The native path of a Windows path ("C:\dir\sub") inside the prefix, through its drive link
// dosdevices/<letter>:. Each component is matched without regard to case, as Windows would;
// answers nothing unless the whole path exists as a folder.
std::optional<std::filesystem::path> MapWindowsFolder(const std::filesystem::path& prefix,
                                                      std::string_view windows_path);

// The Outlook Express store folder of the default identity in the prefix, as a native folder
// that exists, or nothing.
std::optional<std::filesystem::path> OutlookExpressStoreFolder(const std::filesystem::path& prefix);

}  // namespace brindle
