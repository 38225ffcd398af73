#include "platform/wine_registry.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/temp_dir.hpp"

namespace brindle {
namespace {

namespace fs = std::filesystem;

// A made-up prefix laid out as Wine lays one out: drive_c, a dosdevices link per drive, and the
// user's registry in user.reg.
class WinePrefix {
  public:
    WinePrefix() {
        fs::create_directories(dir_.path() / "drive_c");
        fs::create_directories(dir_.path() / "dosdevices");
        fs::create_directory_symlink("../drive_c", dir_.path() / "dosdevices" / "c:");
    }
    const fs::path& path() const { return dir_.path(); }
    fs::path MakeFolder(const std::string& relative_to_c) const {
        const fs::path folder = dir_.path() / "drive_c" / relative_to_c;
        fs::create_directories(folder);
        return folder;
    }
    void WriteUserReg(const std::string& text) const {
        std::ofstream(dir_.path() / "user.reg", std::ios::binary) << text;
    }

  private:
    test::TempDir dir_;
};

// Two identities, the default one second, with its store root below a Japanese user name
// written in Wine's \x escapes; the other identity's key carries a decoy value.
const char* const kUserReg =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n"
    "#arch=win32\n"
    "\n"
    "[Identities] 1700000000\n"
    "#time=1d9e5c0a0b0c0d0\n"
    "\"Default User ID\"=\"{B2B2-Default}\"\n"
    "\"Last User ID\"=\"{A1A1-Other}\"\n"
    "\n"
    "[Identities\\\\{A1A1-Other}\\\\Software\\\\Microsoft\\\\Outlook Express\\\\5.0] 1700000000\n"
    "\"Store Root\"=\"C:\\\\decoy\"\n"
    "\n"
    "[identities\\\\{b2b2-default}\\\\software\\\\microsoft\\\\outlook express\\\\5.0] 1700000001\n"
    "\"Store Folder Version\"=dword:00000001\n"
    "\"Store Root\"=str(2):\"C:\\\\WINDOWS\\\\Profiles\\\\\\x592a\\x90ce\\\\Outlook Express\"\n";

TEST(WineRegistry, FindsTheDefaultIdentitysStoreFolderThroughTheDriveLink) {
    const WinePrefix prefix;
    prefix.MakeFolder("decoy");
    // Stored in a case other than the registry's, as a Linux copy of a Windows disk may be.
    const fs::path store = prefix.MakeFolder("windows/profiles/太郎/Outlook Express");
    prefix.WriteUserReg(kUserReg);

    const auto found = OutlookExpressStoreFolder(prefix.path());
    ASSERT_TRUE(found.has_value());
    EXPECT_TRUE(fs::equivalent(*found, store)) << *found;
    EXPECT_EQ(found->filename(), "Outlook Express");
}

TEST(WineRegistry, AnyMissingStepAnswersNothing) {
    const WinePrefix prefix;
    EXPECT_FALSE(OutlookExpressStoreFolder(prefix.path())) << "no user.reg";

    prefix.WriteUserReg(kUserReg);
    EXPECT_FALSE(OutlookExpressStoreFolder(prefix.path())) << "the store folder is not there";

    prefix.MakeFolder("windows/profiles/太郎/Outlook Express");
    std::string no_default = kUserReg;
    no_default.replace(no_default.find("Default User ID"), 7, "Missing");
    prefix.WriteUserReg(no_default);
    EXPECT_FALSE(OutlookExpressStoreFolder(prefix.path())) << "no default identity";

    std::string other_drive = kUserReg;
    other_drive.replace(other_drive.find("str(2):\"C:"), 10, "str(2):\"D:");
    prefix.WriteUserReg(other_drive);
    EXPECT_FALSE(OutlookExpressStoreFolder(prefix.path())) << "drive d: has no link";

    prefix.WriteUserReg(
        "[Identities]\n\"Default User ID\"=\"{X}\"\n"
        "[Identities\\\\{X}\\\\Software\\\\Microsoft\\\\Outlook Express\\\\5.0]\n"
        "\"Store Root\"=str(2):\"%UserProfile%\\\\Local Settings\"\n");
    EXPECT_FALSE(OutlookExpressStoreFolder(prefix.path())) << "references are not expanded";

    EXPECT_FALSE(OutlookExpressStoreFolder(prefix.path() / "no-such-prefix"));
}

TEST(WineRegistry, ReadsOnlyStringValuesOfTheNamedKey) {
    const std::string text =
        "[A\\\\B] 1\n\"Name\"=\"in b\"\n\"Number\"=dword:00000010\n"
        "[A\\\\B\\\\C] 1\n\"Name\"=\"in c \\\"quoted\\\"\"\n"
        "[A] 1\n\"Unclosed\"=\"no end\n";
    EXPECT_EQ(ReadWineRegistryString(text, "a\\b", "NAME"), "in b");
    EXPECT_EQ(ReadWineRegistryString(text, "A\\B\\C", "Name"), "in c \"quoted\"");
    EXPECT_FALSE(ReadWineRegistryString(text, "A\\B", "Number"));
    EXPECT_FALSE(ReadWineRegistryString(text, "A", "Name"));
    EXPECT_FALSE(ReadWineRegistryString(text, "A", "Unclosed"));
    // A character beyond the BMP arrives as a surrogate pair of escapes.
    EXPECT_EQ(ReadWineRegistryString("[K]\n\"V\"=\"\\xd83d\\xde00\"\n", "K", "V"),
              "\xF0\x9F\x98\x80");
}

TEST(WineRegistry, MappingRefusesPathsThatLeaveTheDriveOrNameNoDrive) {
    const WinePrefix prefix;
    prefix.MakeFolder("mail");
    EXPECT_TRUE(MapWindowsFolder(prefix.path(), "c:/MAIL"));
    EXPECT_FALSE(MapWindowsFolder(prefix.path(), "C:\\mail\\..\\..\\.."));
    EXPECT_FALSE(MapWindowsFolder(prefix.path(), "\\\\server\\share"));
    EXPECT_FALSE(MapWindowsFolder(prefix.path(), "mail"));
}

}  // namespace
}  // namespace brindle
