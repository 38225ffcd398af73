#include "convert/store_tree.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>

#include "support/dbx_builder.hpp"
#include "support/temp_dir.hpp"

namespace brindle {
namespace {

TEST(StoreTree, MailboxesGoWhereTheStoreShowedThem) {
    // A store as Outlook Express writes its folder list: an unnamed root, Local Folders, its
    // mail folders with a nested one, two siblings that come out alike, and a folder whose
    // parent loops back to itself.
    const test::TempDir dir;
    const std::string local = "\x83\x8D\x81\x5B\x83\x4A\x83\x8B \x83\x74\x83\x48\x83\x8B\x83\x5F";
    std::ofstream(dir / "Folders.dbx", std::ios::binary) << test::BuildFolderList({
        {0, 0, "", ""},
        {1, 0, local, ""},  // ローカル フォルダ
        {2, 1, "\x8E\xF3\x90\x4D\x83\x67\x83\x8C\x83\x43", "Inbox.dbx"},  // 受信トレイ
        {3, 2, "Work/2003", "Work.dbx"},
        {4, 1, "a:b", "first.dbx"},
        {5, 1, "a/b", "second.dbx"},
        {6, 6, "Loop", "loop.dbx"},
    });
    const TStoreTree tree = TStoreTree::ForMailbox((dir / "INBOX.DBX").string());
    struct Case {
        const char* file;
        std::optional<std::string> folder;
    };
    const Case cases[] = {
        {"inbox.dbx", "ローカル フォルダ/受信トレイ"},
        {"Work.dbx", "ローカル フォルダ/受信トレイ/Work／2003"},
        {"first.dbx", "ローカル フォルダ/a：b"},
        {"second.dbx", "ローカル フォルダ/a／b"},
        {"loop.dbx", "Loop"},
        {"unknown.dbx", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(tree.FolderOf(c.file), c.folder);
    }
    // Siblings whose safe names are alike.
    const TStoreTree alike = TStoreTree::FromRecords(
        {{1, 0, "a?", "1.dbx"}, {2, 0, "a\x81\x48", "2.dbx"}, {3, 0, "a?", "3.dbx"}});
    EXPECT_EQ(alike.FolderOf("1.dbx"), "a？");
    EXPECT_EQ(alike.FolderOf("2.dbx"), "a？(0)");
    EXPECT_EQ(alike.FolderOf("3.dbx"), "a？(1)");

    // No list, or a file that is none: no tree, and what is wrong is said.
    const test::TempDir other;
    EXPECT_TRUE(TStoreTree::ForMailbox((other / "a.dbx").string()).Empty());
    std::ofstream(other / "folders.dbx") << "not a folder list";
    std::string problem;
    EXPECT_TRUE(TStoreTree::ForMailbox((other / "a.dbx").string(), &problem).Empty());
    EXPECT_FALSE(problem.empty());
}

}  // namespace
}  // namespace brindle
