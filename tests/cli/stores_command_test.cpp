#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/cli_context.hpp"
#include "cli_runner.hpp"
#include "support/dbx_builder.hpp"
#include "support/temp_dir.hpp"

namespace brindle::cli {
namespace {

namespace fs = std::filesystem;

TEST(StoresCommand, FindsStoresByTheShapeWindowsGivesTheirFolders) {
    const test::TempDir dir;
    // An old XP disk, a Vista disk with names in other cases, a Wine prefix, and a disk whose
    // folder of that name holds no mailbox.
    const fs::path xp = dir / "xp" / "Documents and Settings" / "Taro" / "Local Settings" /
                        "Application Data" / "Identities" / "{1}" / "Microsoft" / "Outlook Express";
    const fs::path vista = dir / "vista" / "users" / "hanako" / "appdata" / "local" / "identities" /
                           "{2}" / "microsoft" / "outlook express";
    const fs::path wine = dir / "prefix" / "drive_c" / "users" / "taro" / "AppData" / "Local" /
                          "Identities" / "{3}" / "Microsoft" / "Outlook Express";
    const fs::path empty = dir / "other" / "Users" / "x" / "AppData" / "Local" / "Identities" /
                           "{4}" / "Microsoft" / "Outlook Express";
    for (const fs::path& store : {xp, vista, wine, empty}) {
        fs::create_directories(store);
    }
    test::DbxBuilder().AddMessages(2).WriteTo(xp / "Inbox.dbx");
    test::DbxBuilder().AddMessages(1).WriteTo(xp / "Sent Items.dbx");
    test::DbxBuilder().AddMessages(1).WriteTo(vista / "受信トレイ.dbx");
    test::DbxBuilder().AddMessages(1).WriteTo(wine / "Inbox.dbx");

    const test::CliOutcome o = test::RunCliWith(
        {"stores", "--disk", (dir / "xp").string(), "--disk", (dir / "vista").string(), "--disk",
         (dir / "other").string(), "--prefix", (dir / "prefix").string()});
    EXPECT_EQ(o.status, kExitOk) << o.err;
    // The prefixes first, then the disks, each with its mailbox count; the empty one too.
    const auto line = [](const fs::path& store, int n) {
        return fs::canonical(store).string() + "\t" + "メールフォルダ " + std::to_string(n) +
               " 個\t";
    };
    const std::size_t w = o.out.find(line(wine, 1));
    const std::size_t x = o.out.find(line(xp, 2));
    const std::size_t v = o.out.find(line(vista, 1));
    ASSERT_NE(w, std::string::npos) << o.out;
    ASSERT_NE(x, std::string::npos) << o.out;
    ASSERT_NE(v, std::string::npos) << o.out;
    EXPECT_LT(w, x);
    EXPECT_NE(o.out.find(line(empty, 0)), std::string::npos) << o.out;

    const test::CliOutcome none = test::RunCliWith({"stores", "--disk", dir.path().string()});
    EXPECT_EQ(none.out, "");
    EXPECT_NE(none.err.find("見つかりませんでした"), std::string::npos);
}

}  // namespace
}  // namespace brindle::cli
