#include "mailbox/dbx_parser.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/exception.hpp"
#include "support/dbx_builder.hpp"
#include "support/temp_dir.hpp"

namespace brindle {
namespace {

using test::DbxBuilder;
using test::DbxIndexEntry;
using test::DbxIndexNode;
using test::DbxLeaf;
using test::TempDir;

const std::string kOpenFailed = "ファイルが開けません。";
const std::string kWalkFailed1 = "メールの解析に失敗しました。(1)";
const std::string kWalkFailed4 = "メールの解析に失敗しました。(4)";
const std::string kReadFailed1 = "メールの読み取りに失敗しました。(1)";
const std::string kReadFailed4 = "メールの読み取りに失敗しました。(4)";
const std::string kBlockFailed = "ファイルの読み取りに失敗しました。";

// The message of the Exception that fn throws; nullopt when it throws none.
std::optional<std::string> ErrorOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const Exception& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

class DbxParserTest : public ::testing::Test {
  protected:
    std::unique_ptr<TDBXParser> Open(const DbxBuilder& builder) {
        const std::filesystem::path path = NextPath();
        builder.WriteTo(path);
        return std::make_unique<TDBXParser>(path);
    }
    std::unique_ptr<TDBXParser> OpenBytes(const std::string& bytes) {
        const std::filesystem::path path = NextPath();
        std::ofstream(path, std::ios::binary) << bytes;
        return std::make_unique<TDBXParser>(path);
    }
    // The first line of every message, in index order.
    static std::vector<std::string> Subjects(TDBXParser& parser) {
        std::vector<std::string> subjects;
        const std::int32_t count = parser.GetMailCount();
        for (std::int32_t i = 0; i < count; ++i) {
            const Lines lines = parser.ReadMailLines(i);
            subjects.push_back(lines.empty() ? std::string() : lines.front());
        }
        return subjects;
    }
    static std::string Numbered(int n) { return "Subject: message " + std::to_string(n); }

    // Each mailbox of a test in its own file: a parser still alive holds its file locked.
    std::filesystem::path NextPath() { return dir_ / ("box" + std::to_string(files_++) + ".dbx"); }

    TempDir dir_;
    int files_ = 0;
};

TEST_F(DbxParserTest, ReadsEveryMessageOfASoundFile) {
    auto parser = Open(DbxBuilder()
                           .AddMessage("Subject: one\r\n\r\nfirst body\r\n")
                           .AddMessage("Subject: two\r\n\r\nsecond\r\nbody\r\n"));
    ASSERT_EQ(parser->GetMailCount(), 2);
    EXPECT_EQ(parser->HeaderMessageCount(), 2);
    EXPECT_EQ(parser->ReadMailLines(0), (Lines{"Subject: one", "", "first body"}));
    EXPECT_EQ(parser->ReadMailLines(1), (Lines{"Subject: two", "", "second", "body"}));
    // Reading again, and out of order, gives the same text.
    EXPECT_EQ(parser->ReadMailLines(0).front(), "Subject: one");
}

TEST_F(DbxParserTest, ConcatenatesBlocksInChainOrderNotFileOrder) {
    std::string text;
    for (int i = 0; i < 1124; ++i) {
        text.push_back(static_cast<char>('A' + i % 23));
    }
    auto parser = Open(DbxBuilder().AddMessage(text, {512, 512, 100}).ScatterBlocks());
    ASSERT_EQ(parser->GetMailCount(), 1);
    EXPECT_EQ(parser->ReadMailText(0), text);

    // Empty blocks and blocks of the full 1024 bytes are both sound.
    const std::string long_text(2100, 'x');
    auto second = Open(DbxBuilder().AddMessage(long_text, {0, 1024, 0, 1024, 52}));
    ASSERT_EQ(second->GetMailCount(), 1);
    EXPECT_EQ(second->ReadMailText(0), long_text);
}

TEST_F(DbxParserTest, SplitsLinesAndKeepsZeroBytes) {
    auto parser = Open(DbxBuilder()
                           .AddMessage("a\r\nb\rc\nd", {3, 2})
                           .AddMessage("a\r\n\r\n")
                           .AddMessage(std::string("Subject: z\r\n\r\nbe\0fore\r\nafter\r\n", 30)));
    ASSERT_EQ(parser->GetMailCount(), 3);
    EXPECT_EQ(parser->ReadMailLines(0), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(parser->ReadMailLines(1), (Lines{"a", ""}));
    // A zero byte inside the stored text is kept: cutting there would lose the rest of the mail.
    EXPECT_EQ(parser->ReadMailLines(2),
              (Lines{"Subject: z", "", std::string("be\0fore", 7), "after"}));
}

TEST_F(DbxParserTest, EmptyMessagesFromAttributesAndZeroAddress) {
    auto parser = Open(DbxBuilder()
                           .AddMessages(5)
                           .AttributeIds(0, 0x84, 0x04)  // entry 4 claims the address: no text
                           .AttributeIds(1, 0x04, 0x84)
                           .AttributeIds(2, 0x85, 0x05)  // neither entry is the address
                           .MessageAddress(3, 0));
    ASSERT_EQ(parser->GetMailCount(), 5);
    EXPECT_TRUE(parser->ReadMailLines(0).empty());
    EXPECT_TRUE(parser->ReadMailLines(1).empty());
    EXPECT_TRUE(parser->ReadMailLines(2).empty());
    EXPECT_TRUE(parser->ReadMailLines(3).empty());
    EXPECT_EQ(parser->ReadMailLines(4).front(), Numbered(4));
}

TEST_F(DbxParserTest, FindsTheAddressDirectOrInTheDataArea) {
    // A direct address is the 24-bit value of entry 3; the byte after it is entry 4's id, which
    // must not leak into the address. 0x11200 is the value of entry bytes 84 00 12 01.
    const test::DbxLayout layout = DbxBuilder()
                                       .AddMessage("Subject: far\r\n")
                                       .FirstBlockAt(0, 0x11200)
                                       .AddMessage("Subject: data area\r\n")
                                       .AddressInDataArea(1)
                                       .AddMessage("Subject: data area 2\r\n")
                                       .AddressInDataArea(2, 0x10)
                                       .AttributeCount(2, 9)
                                       .BuildWithLayout();
    const auto record0 = static_cast<std::size_t>(layout.records[0]);
    EXPECT_EQ(layout.bytes.substr(record0 + 0x18, 4), std::string("\x84\x00\x12\x01", 4));
    // With five attributes the data area begins at M+0x20, so offset 8 is M+0x28.
    const auto record1 = static_cast<std::size_t>(layout.records[1]);
    EXPECT_EQ(layout.bytes.substr(record1 + 0x18, 2), std::string("\x04\x08", 2));
    EXPECT_EQ(static_cast<unsigned char>(layout.bytes[record1 + 0x28]),
              static_cast<unsigned>(layout.blocks[1][0] & 0xFF));

    // Only the low byte of a data-area offset counts: 04 08 01 00 still means offset 8.
    std::string bytes = layout.bytes;
    bytes[record1 + 0x1A] = '\x01';
    auto parser = OpenBytes(bytes);
    EXPECT_EQ(Subjects(*parser), (std::vector<std::string>{"Subject: far", "Subject: data area",
                                                           "Subject: data area 2"}));
}

TEST_F(DbxParserTest, WalksTheIndexInOrder) {
    // Root: left child holding X (0) and Y (1); one entry Z (2) whose child holds W (3).
    DbxIndexNode root;
    root.left.push_back(DbxLeaf({0, 1}));
    root.entries.push_back(DbxIndexEntry{2, {DbxLeaf({3})}, std::nullopt});
    auto parser = Open(DbxBuilder().AddMessages(4).IndexTree(root));
    EXPECT_EQ(Subjects(*parser),
              (std::vector<std::string>{Numbered(0), Numbered(1), Numbered(2), Numbered(3)}));

    // A subtree whose count is not positive is not visited.
    DbxIndexNode skipping;
    skipping.left.push_back(DbxLeaf({0}));
    skipping.left_count = 0;
    skipping.entries.push_back(DbxIndexEntry{1, {DbxLeaf({2})}, -3});
    skipping.entries.push_back(DbxIndexEntry{3, {}, std::nullopt});
    auto second = Open(DbxBuilder().AddMessages(4).IndexTree(skipping));
    EXPECT_EQ(Subjects(*second), (std::vector<std::string>{Numbered(1), Numbered(3)}));
    EXPECT_EQ(second->HeaderMessageCount(), 4);
}

TEST_F(DbxParserTest, WalksManyNodesAndDeepChainsWithoutRecursion) {
    auto wide = Open(DbxBuilder().AddMessages(1000));
    ASSERT_EQ(wide->GetMailCount(), 1000);
    EXPECT_EQ(wide->ReadMailLines(0).front(), Numbered(0));
    EXPECT_EQ(wide->ReadMailLines(256).front(), Numbered(256));
    EXPECT_EQ(wide->ReadMailLines(999).front(), Numbered(999));

    // Deep enough to overflow the call stack of a recursive walk.
    constexpr int kDepth = 200000;
    auto left = Open(DbxBuilder().AddMessages(kDepth).IndexAsLeftChain());
    ASSERT_EQ(left->GetMailCount(), kDepth);
    EXPECT_EQ(left->ReadMailLines(0).front(), Numbered(0));
    EXPECT_EQ(left->ReadMailLines(kDepth - 1).front(), Numbered(kDepth - 1));

    auto entry = Open(DbxBuilder().AddMessages(kDepth).IndexAsEntryChain());
    ASSERT_EQ(entry->GetMailCount(), kDepth);
    EXPECT_EQ(entry->ReadMailLines(kDepth / 2).front(), Numbered(kDepth / 2));
}

TEST_F(DbxParserTest, CountIsWhatTheWalkFindsWhateverTheHeaderSays) {
    auto smaller = Open(DbxBuilder().AddMessages(3).HeaderCount(1));
    EXPECT_EQ(smaller->GetMailCount(), 3);
    EXPECT_EQ(smaller->HeaderMessageCount(), 1);
    EXPECT_EQ(smaller->ReadMailLines(2).front(), Numbered(2));
    ASSERT_EQ(smaller->GetWarnings().size(), 1u);
    EXPECT_NE(smaller->GetWarnings()[0].find("ヘッダのメール数 1 は見つかったメール数 3 "),
              std::string::npos);

    auto larger = Open(DbxBuilder().AddMessages(2).HeaderCount(7));
    EXPECT_EQ(larger->GetMailCount(), 2);
    EXPECT_EQ(larger->HeaderMessageCount(), 7);
    EXPECT_THROW(larger->ReadMailLines(2), std::out_of_range);
    EXPECT_THROW(larger->ReadMailLines(-1), std::out_of_range);

    auto zero = Open(DbxBuilder().AddMessages(2).HeaderCount(0));
    EXPECT_EQ(zero->GetMailCount(), 2);
    EXPECT_EQ(zero->HeaderMessageCount(), 0);
}

TEST_F(DbxParserTest, EmptyAndShortFilesHoldNoMessages) {
    auto empty_box = Open(DbxBuilder());
    EXPECT_EQ(empty_box->GetMailCount(), 0);
    EXPECT_EQ(OpenBytes("")->GetMailCount(), 0);
    EXPECT_EQ(OpenBytes(std::string(0xC6, '\x01'))->GetMailCount(), 0);
    // A header that says empty is believed when its index root points nowhere sensible.
    EXPECT_EQ(Open(DbxBuilder().AddMessages(2).HeaderCount(0).RootPastEnd())->GetMailCount(), 0);
    EXPECT_EQ(
        Open(DbxBuilder().AddMessages(2).HeaderCount(0).IndexPointsBackToRoot())->GetMailCount(),
        0);
    // A root of 0 is no index at all, whatever the count claims.
    auto no_root = Open(DbxBuilder().AddMessages(2).RootOffset(0));
    EXPECT_EQ(no_root->GetMailCount(), 0);
    EXPECT_EQ(no_root->HeaderMessageCount(), 2);
}

TEST_F(DbxParserTest, DamagedIndexIsTheFilesError) {
    const auto walk_error = [this](const DbxBuilder& builder) {
        auto parser = Open(builder);
        return ErrorOf([&] { parser->GetMailCount(); });
    };
    EXPECT_EQ(walk_error(DbxBuilder().AddMessages(3).IndexPointsBackToRoot()), kWalkFailed1);
    EXPECT_EQ(walk_error(DbxBuilder().AddMessages(3).LeftChildPointsBackToRoot()), kWalkFailed1);
    EXPECT_EQ(walk_error(DbxBuilder().AddMessages(3).RootPastEnd()), kWalkFailed1);
    EXPECT_EQ(walk_error(DbxBuilder().AddMessages(3).NegativeRootOffset()), kWalkFailed1);

    // A node whose entries run past the end of the file.
    const test::DbxLayout layout = DbxBuilder().AddMessages(3).BuildWithLayout();
    std::string bytes = layout.bytes;
    bytes[static_cast<std::size_t>(layout.root) + 0x11] = static_cast<char>(0xFF);
    bytes.resize(static_cast<std::size_t>(layout.root) + 0x18 + 12 * 3);
    bytes.append(12 * 100, '\0');
    auto parser = OpenBytes(bytes);
    EXPECT_EQ(ErrorOf([&] { parser->GetMailCount(); }), kWalkFailed4);

    // Two entries sharing one child: the second visit would repeat its messages.
    DbxIndexNode shared;
    shared.entries.push_back(DbxIndexEntry{0, {DbxLeaf({1})}, std::nullopt});
    shared.entries.push_back(DbxIndexEntry{2, {}, std::nullopt});
    const test::DbxLayout twice = DbxBuilder().AddMessages(3).IndexTree(shared).BuildWithLayout();
    std::string patched = twice.bytes;
    const std::size_t entry1 = static_cast<std::size_t>(twice.root) + 0x18 + 12;
    patched.replace(entry1 + 4, 8,
                    patched.substr(static_cast<std::size_t>(twice.root) + 0x18 + 4, 8));
    auto looping = OpenBytes(patched);
    EXPECT_EQ(ErrorOf([&] { looping->GetMailCount(); }), kWalkFailed1);
}

TEST_F(DbxParserTest, DamagedMessageIsOnlyThatMessagesError) {
    struct Case {
        const char* name;
        std::function<void(DbxBuilder&)> damage;
        std::string message;
    };
    const Case cases[] = {
        {"loop to first block", [](DbxBuilder& b) { b.LoopBlockChainAt(1, 0); }, kBlockFailed},
        {"loop to last block", [](DbxBuilder& b) { b.LoopBlockChainAt(1, 2); }, kBlockFailed},
        {"length above 1024", [](DbxBuilder& b) { b.BlockLengthAbove1024(1, 1); }, kBlockFailed},
        {"negative length", [](DbxBuilder& b) { b.NegativeBlockLength(1, 0); }, kBlockFailed},
        {"next past end", [](DbxBuilder& b) { b.NextBlockPastEnd(1, 1); }, kBlockFailed},
        {"negative next", [](DbxBuilder& b) { b.NegativeNextBlock(1, 0); }, kBlockFailed},
        {"record past end", [](DbxBuilder& b) { b.RecordPastEnd(1); }, kReadFailed1},
        {"negative record", [](DbxBuilder& b) { b.NegativeRecordOffset(1); }, kReadFailed1},
        {"data-area address negative",
         [](DbxBuilder& b) { b.AddressInDataArea(1).MessageAddress(1, -2); }, kBlockFailed},
        {"direct address past end", [](DbxBuilder& b) { b.MessageAddress(1, 0xFFFFF0); },
         kBlockFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DbxBuilder builder;
        builder.AddMessage("Subject: zero\r\n")
            .AddMessage(std::string(1500, 'm'), {600, 600})
            .AddMessage("Subject: two\r\n");
        c.damage(builder);
        auto parser = Open(builder);
        ASSERT_EQ(parser->GetMailCount(), 3);
        EXPECT_EQ(parser->ReadMailLines(0).front(), "Subject: zero");
        EXPECT_EQ(parser->ReadMailLines(2).front(), "Subject: two");
        EXPECT_EQ(ErrorOf([&] { parser->ReadMailLines(1); }), c.message);
    }

    // The data-area slot lies beyond the end of a file cut short after the record.
    const test::DbxLayout layout =
        DbxBuilder().AddMessage("x").AddMessage("y").AttributeCount(1, 255).BuildWithLayout();
    std::string bytes = layout.bytes;
    bytes[static_cast<std::size_t>(layout.records[1]) + 0x18] = 0x04;
    bytes.resize(static_cast<std::size_t>(layout.records[1]) + 0x40);
    auto parser = OpenBytes(bytes);
    ASSERT_EQ(parser->GetMailCount(), 2);
    EXPECT_EQ(parser->ReadMailText(0), "x");
    EXPECT_EQ(ErrorOf([&] { parser->ReadMailLines(1); }), kReadFailed4);
}

TEST_F(DbxParserTest, TruncatedFileLosesOnlyTheCutMessage) {
    DbxBuilder builder;
    builder.AddMessages(3).AddMessage(std::string(900, 'q'));
    const test::DbxLayout layout = builder.BuildWithLayout();
    // Cut inside the last block's text, then inside the second block's header.
    for (const std::size_t size :
         {layout.bytes.size() - 100, static_cast<std::size_t>(layout.blocks[3][1]) + 10}) {
        SCOPED_TRACE(size);
        auto parser = Open(DbxBuilder(builder).TruncateTo(size));
        ASSERT_EQ(parser->GetMailCount(), 4);
        EXPECT_EQ(parser->ReadMailLines(2).front(), Numbered(2));
        EXPECT_EQ(ErrorOf([&] { parser->ReadMailLines(3); }), kBlockFailed);
    }
}

TEST_F(DbxParserTest, FileThatCannotBeOpenedFailsAtCount) {
    TDBXParser missing(dir_ / "missing.dbx");
    EXPECT_EQ(ErrorOf([&] { missing.GetMailCount(); }), kOpenFailed);
    TDBXParser folder(dir_.path());
    EXPECT_EQ(ErrorOf([&] { folder.GetMailCount(); }), kOpenFailed);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "missing.dbx"));
}

TEST_F(DbxParserTest, SecondOpenerFailsWhileTheFirstHoldsTheFile) {
    DbxBuilder().AddMessages(1).WriteTo(dir_ / "held.dbx");
    {
        TDBXParser first(dir_ / "held.dbx");
        TDBXParser second(dir_ / "held.dbx");
        EXPECT_EQ(first.GetMailCount(), 1);
        EXPECT_EQ(ErrorOf([&] { second.GetMailCount(); }), kOpenFailed);
    }
    TDBXParser after(dir_ / "held.dbx");
    EXPECT_EQ(after.GetMailCount(), 1);
}

class DbxCorpusTest : public ::testing::TestWithParam<std::tuple<const char*, const char*, int>> {};

TEST_P(DbxCorpusTest, ReadsTheRealMailbox) {
    const auto& [file, subject, bytes] = GetParam();
    const std::filesystem::path path = std::filesystem::path(BRINDLE_CORPUS_DIR) / file;
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << "real mailbox " << path << " is absent";
    }
    TDBXParser parser(path);
    ASSERT_EQ(parser.GetMailCount(), 1);
    EXPECT_EQ(parser.HeaderMessageCount(), 1);
    EXPECT_EQ(static_cast<int>(parser.ReadMailText(0).size()), bytes);
    const Lines lines = parser.ReadMailLines(0);
    EXPECT_NE(std::find(lines.begin(), lines.end(), std::string("Subject: ") + subject),
              lines.end());
    EXPECT_TRUE(parser.GetWarnings().empty());
}

INSTANTIATE_TEST_SUITE_P(
    RealFiles, DbxCorpusTest,
    ::testing::Values(std::make_tuple("perl_test.dbx", "Please read you won't be sorry........",
                                      16993),
                      std::make_tuple("perl_test1.dbx",
                                      "[fmII] centericq 4.7.5 released (Default branch)", 2710)),
    // Named after the file, so that test names stay the same from build to build.
    [](const auto& info) {
        std::string name = std::get<0>(info.param);
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) {
                c = '_';
            }
        }
        return name;
    });

}  // namespace
}  // namespace brindle
