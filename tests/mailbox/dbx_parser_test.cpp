#include "mailbox/dbx_parser.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <numeric>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/exception.hpp"
#include "platform/report.hpp"
#include "support/dbx_builder.hpp"
#include "support/heap_count.hpp"
#include "support/temp_dir.hpp"

namespace brindle {
namespace {

using test::DbxBuilder;
using test::DbxIndexEntry;
using test::DbxIndexNode;
using test::DbxLeaf;
using test::TempDir;

const std::string kOpenFailed = "ファイルが開けません。";
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
    std::unique_ptr<TDBXParser> Open(const DbxBuilder& builder, bool salvage = false) {
        const std::filesystem::path path = NextPath();
        builder.WriteTo(path);
        return std::make_unique<TDBXParser>(path, salvage);
    }
    std::unique_ptr<TDBXParser> OpenBytes(const std::string& bytes, bool salvage = false) {
        const std::filesystem::path path = NextPath();
        std::ofstream(path, std::ios::binary) << bytes;
        return std::make_unique<TDBXParser>(path, salvage);
    }
    // Every message's text in list order; a message that fails to read gives "<error>".
    static std::vector<std::string> Texts(TDBXParser& parser) {
        std::vector<std::string> texts;
        const std::int32_t count = parser.GetMailCount();
        for (std::int32_t i = 0; i < count; ++i) {
            try {
                texts.push_back(parser.ReadMailText(i));
            } catch (const Exception&) {
                texts.push_back("<error>");
            }
        }
        return texts;
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
                           .AttributeIds(0, 0x84, 0x04)  // entry 4 claims the address
                           .AttributeIds(1, 0x04, 0x84)  // ... and no entry names a block
                           .AttributeIds(2, 0x85, 0x05)  // neither entry is the address
                           .MessageAddress(3, 0));
    ASSERT_EQ(parser->GetMailCount(), 5);
    // The record still names where the text lies: it is read, not lost.
    EXPECT_EQ(parser->ReadMailLines(0).front(), Numbered(0));
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
    EXPECT_TRUE(empty_box->ReadWarning().empty());
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

TEST_F(DbxParserTest, DamagedIndexKeepsEveryMessageItStillReaches) {
    // Each damage in its own mailbox of five messages: the walk keeps what it reaches, says
    // once what is wrong, and the scan brings back what the damage hid; never a message twice.
    struct Case {
        const char* name;
        std::function<void(DbxBuilder&)> damage;
    };
    DbxIndexNode split;  // messages 0..1 to the left, 2 in the root, 3..4 in its child
    split.left.push_back(DbxLeaf({0, 1}));
    split.entries.push_back(DbxIndexEntry{2, {DbxLeaf({3, 4})}, std::nullopt});
    const Case cases[] = {
        {"entry child loops to root", [](DbxBuilder& b) { b.IndexPointsBackToRoot(); }},
        {"left child loops to root", [](DbxBuilder& b) { b.LeftChildPointsBackToRoot(); }},
        {"root past end", [](DbxBuilder& b) { b.RootPastEnd(); }},
        {"negative root", [](DbxBuilder& b) { b.NegativeRootOffset(); }},
        {"record past end", [](DbxBuilder& b) { b.RecordPastEnd(1); }},
        {"negative record", [](DbxBuilder& b) { b.NegativeRecordOffset(3); }},
        {"left subtree past end",
         [&](DbxBuilder& b) {
             DbxIndexNode bad = split;
             bad.left.clear();
             bad.left_count = 2;  // visits a left child at offset 0 ... then the file's header
             b.IndexTree(bad);
         }},
        {"blocks scattered, root past end", [](DbxBuilder& b) { b.ScatterBlocks().RootPastEnd(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DbxBuilder builder;
        builder.AddMessages(4).AddMessage("Subject: long\r\n\r\n" + std::string(1500, 'x'));
        c.damage(builder);
        auto parser = Open(builder);
        std::vector<std::string> texts = Texts(*parser);
        EXPECT_FALSE(parser->ReadWarning().empty());
        EXPECT_NE(parser->ReadWarning().find("索引"), std::string::npos) << parser->ReadWarning();
        std::sort(texts.begin(), texts.end());
        std::vector<std::string> expected;
        for (int i = 0; i < 4; ++i) {
            expected.push_back("Subject: message " + std::to_string(i) + "\r\n\r\nbody " +
                               std::to_string(i) + "\r\n");
        }
        expected.push_back("Subject: long\r\n\r\n" + std::string(1500, 'x'));
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(texts, expected);
    }

    // What the walk found comes first, in index order; the salvaged ones follow in file order.
    auto partial = Open(DbxBuilder().AddMessages(5).IndexTree(split).RecordPastEnd(1));
    ASSERT_EQ(partial->GetMailCount(), 5);
    EXPECT_EQ(partial->IndexedMessageCount(), 4);
    EXPECT_EQ(Subjects(*partial), (std::vector<std::string>{Numbered(0), Numbered(2), Numbered(3),
                                                            Numbered(4), Numbered(1)}));
    EXPECT_NE(partial->ReadWarning().find("1 通"), std::string::npos) << partial->ReadWarning();

    // A node whose entries run past the end of a file cut short: nothing to read, said once.
    const test::DbxLayout layout = DbxBuilder().AddMessages(3).BuildWithLayout();
    std::string bytes = layout.bytes;
    bytes[static_cast<std::size_t>(layout.root) + 0x11] = static_cast<char>(0xFF);
    bytes.resize(static_cast<std::size_t>(layout.records[0]));
    auto cut = OpenBytes(bytes);
    EXPECT_EQ(cut->GetMailCount(), 0);
    EXPECT_FALSE(cut->ReadWarning().empty());

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
    EXPECT_EQ(Subjects(*looping),
              (std::vector<std::string>{Numbered(0), Numbered(1), Numbered(2)}));
    EXPECT_FALSE(looping->ReadWarning().empty());
}

TEST_F(DbxParserTest, RecordListedAgainIsDroppedWhereverTheRepeatStands) {
    // Message 0 is listed again deep in the tree, far from its first listing; 1 and 3 repeat
    // within one node. Every later listing is dropped, and the damage named is the first in
    // walk order: the repeat of 0, unless an entry before it is damaged.
    DbxIndexNode tree;
    tree.left.push_back(DbxLeaf({0, 1, 2}));
    tree.entries.push_back(DbxIndexEntry{3, {DbxLeaf({4, 0, 5, 3, 1, 3, 1})}, std::nullopt});
    tree.entries.push_back(DbxIndexEntry{6, {}, std::nullopt});
    const auto build = [&] { return DbxBuilder().AddMessages(7).IndexTree(tree); };
    const test::DbxLayout layout = build().BuildWithLayout();
    const std::int32_t child = layout.nodes.back();  // the node that starts with message 4
    ASSERT_EQ(std::memcmp(layout.bytes.data() + child + 0x18, &layout.records[4], 4), 0);
    const std::string repeat =
        "位置 " + std::to_string(child + 0x18 + 12) + ": 二度現れるメール記録";
    struct Case {
        int past_end;  // the message whose entry points past the end; -1: none
        std::vector<int> order;
        bool repeat_named;
    };
    for (const Case& c : {Case{-1, {0, 1, 2, 3, 4, 5, 6}, true},
                          Case{6, {0, 1, 2, 3, 4, 5, 6}, true},  // 6 comes back by the scan
                          Case{2, {0, 1, 3, 4, 5, 6, 2}, false}}) {
        SCOPED_TRACE(c.past_end);
        DbxBuilder builder = build();
        if (c.past_end >= 0) {
            builder.RecordPastEnd(c.past_end);
        }
        auto parser = Open(builder);
        std::vector<std::string> expected;
        for (const int m : c.order) {
            expected.push_back(Numbered(m));
        }
        EXPECT_EQ(Subjects(*parser), expected);
        EXPECT_EQ(parser->ReadWarning().find(repeat) != std::string::npos, c.repeat_named)
            << parser->ReadWarning();
    }
}

TEST_F(DbxParserTest, ListingCostsFourBytesPerMessage) {
    // The heap that listing n messages takes at its peak, over what it held before. The index
    // lists them against file order (walk position p is message n-1-p), so the list must be
    // checked for repeats.
    const auto peak_of_listing = [&](int n) {
        DbxIndexNode root;
        for (int p = 0; p < n;) {
            root.entries.push_back(DbxIndexEntry{n - 1 - p++, {DbxLeaf({})}, std::nullopt});
            while (p < n && root.entries.back().child[0].entries.size() < 250) {
                root.entries.back().child[0].entries.push_back({n - 1 - p++, {}, std::nullopt});
            }
        }
        auto parser = Open(DbxBuilder().AddMessages(n).IndexTree(root));
        test::StartHeapCount();
        const std::int32_t count = parser->GetMailCount();
        const std::ptrdiff_t peak = test::HeapPeak();
        EXPECT_EQ(count, n);
        EXPECT_TRUE(parser->ReadWarning().empty()) << parser->ReadWarning();
        EXPECT_EQ(parser->ReadMailLines(n / 2 + 1).front(), Numbered(n - n / 2 - 2));
        EXPECT_EQ(parser->MessageListBytes(), 4u * static_cast<std::size_t>(n));
        return peak;
    };
    constexpr int kMessages = 20000;
    const std::ptrdiff_t small = peak_of_listing(kMessages);
    const std::ptrdiff_t large = peak_of_listing(2 * kMessages);
    // The list, and for a while a sorted copy of it: 8 bytes per message.
    EXPECT_LE(large - small, 9 * kMessages) << small << " then " << large;

    // A header that overstates or understates the count leaves no room unused for long.
    for (const std::int32_t header : {INT32_MAX, 3}) {
        auto parser = Open(DbxBuilder().AddMessages(1000).HeaderCount(header));
        EXPECT_EQ(parser->GetMailCount(), 1000);
        EXPECT_LE(parser->MessageListBytes(), 4500u) << header;
    }
}

TEST_F(DbxParserTest, SalvageOnRequestFindsWhatNoIndexListsOnce) {
    DbxBuilder builder;
    builder.AddMessages(2)
        .AddMessage("Subject: lost\r\n\r\n" + std::string(1300, 'l'), {512})
        .LeaveOutOfIndex(2)
        .AddMessages(1)
        .AddMessage("Subject: lost too\r\n")
        .LeaveOutOfIndex(4)
        .ScatterBlocks();
    auto plain = Open(builder);
    EXPECT_EQ(Subjects(*plain), (std::vector<std::string>{Numbered(0), Numbered(1), Numbered(3)}));
    EXPECT_TRUE(plain->ReadWarning().empty());

    auto salvaged = Open(builder, true);
    EXPECT_EQ(Subjects(*salvaged),
              (std::vector<std::string>{Numbered(0), Numbered(1), Numbered(3), "Subject: lost",
                                        "Subject: lost too"}));
    EXPECT_EQ(salvaged->IndexedMessageCount(), 3);
    EXPECT_EQ(salvaged->ReadMailText(3), "Subject: lost\r\n\r\n" + std::string(1300, 'l'));
    EXPECT_NE(salvaged->ReadWarning().find("2 通"), std::string::npos) << salvaged->ReadWarning();

    // A sound file gives nothing more; a damaged chain of a listed message gives no part of it
    // back as a message of its own, whatever the damage.
    EXPECT_EQ(Open(DbxBuilder().AddMessages(3), true)->GetMailCount(), 3);
    const std::vector<std::function<void(DbxBuilder&)>> damages = {
        [](DbxBuilder& b) { b.LoopBlockChainAt(1, 0); },
        [](DbxBuilder& b) { b.LoopBlockChainAt(1, 2); },
        [](DbxBuilder& b) { b.BlockLengthAbove1024(1, 1); },
        [](DbxBuilder& b) { b.NegativeBlockLength(1, 0); },
    };
    for (std::size_t i = 0; i < damages.size(); ++i) {
        SCOPED_TRACE(i);
        DbxBuilder damaged;
        damaged.AddMessages(1).AddMessage(std::string(1500, 'm'), {600, 600}).AddMessages(1);
        damages[i](damaged);
        auto parser = Open(damaged, true);
        EXPECT_EQ(Texts(*parser).size(), 3u);
    }
    // A chain whose link to its last block is broken: that block is readable and no listed
    // message reaches it, but it starts in the middle of a text, so it is no message of its own.
    DbxBuilder broken_link;
    broken_link.AddMessages(1).AddMessage(std::string(1500, 'm'), {600, 600}).AddMessages(1);
    broken_link.NextBlockPastEnd(1, 1);
    auto parser = Open(broken_link, true);
    EXPECT_EQ(Texts(*parser),
              (std::vector<std::string>{"Subject: message 0\r\n\r\nbody 0\r\n", "<error>",
                                        "Subject: message 2\r\n\r\nbody 2\r\n"}));
}

TEST_F(DbxParserTest, FilesThatAreNoMailFolderSayWhatTheyAre) {
    const std::string mail = DbxBuilder().AddMessages(2).Build();
    const auto with_type = [&](std::uint32_t type) {
        std::string bytes = mail;
        for (int i = 0; i < 4; ++i) {
            bytes[4 + static_cast<std::size_t>(i)] = static_cast<char>((type >> (8 * i)) & 0xFF);
        }
        return bytes;
    };
    struct Case {
        const char* name;
        std::string bytes;
        std::string says;
    };
    const Case cases[] = {
        {"empty", "", "空"},
        {"text", "From: a@example.jp\r\nSubject: mbox, not dbx\r\n\r\n" + std::string(300, 'x'),
         "メールフォルダ（.dbx）ではありません"},
        {"folder list", with_type(0x6F74FDC6), "Folders.dbx"},
        {"pop3 record", with_type(0x6F74FDC7), "Pop3uidl.dbx"},
        {"offline record", with_type(0x26FE9D30), "Offline.dbx"},
        {"other store file", with_type(0x12345678), "メールフォルダではありません"},
        {"outlook express 4", "JMF6" + std::string(400, '\0'), ".mbx"},
        {"cut in the signature", mail.substr(0, 6), "途中で切れ"},
        {"cut before the index root", mail.substr(0, 0xE0), "途中で切れ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto parser = OpenBytes(c.bytes);
        const auto error = ErrorOf([&] { parser->GetMailCount(); });
        ASSERT_TRUE(error.has_value());
        EXPECT_NE(error->find(c.says), std::string::npos) << *error;
    }
    // A mail folder whose first bytes were overwritten is read by a scan the user asked for.
    std::string overwritten = mail;
    std::fill_n(overwritten.begin(), 0x100, 'z');
    auto rescued = OpenBytes(overwritten, true);
    EXPECT_EQ(Subjects(*rescued), (std::vector<std::string>{Numbered(0), Numbered(1)}));
    EXPECT_FALSE(rescued->ReadWarning().empty());
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
        {"next past end", [](DbxBuilder& b) { b.NextBlockPastEnd(1, 1); }, kBlockFailed},
        {"negative next", [](DbxBuilder& b) { b.NegativeNextBlock(1, 0); }, kBlockFailed},
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

    // A record cut short by the end of the file is no record: its message's error, or, when the
    // file is scanned, not listed and counted missing.
    const test::DbxLayout layout =
        DbxBuilder().AddMessage("x").AddMessage("y").AttributeCount(1, 255).BuildWithLayout();
    std::string bytes = layout.bytes;
    bytes.resize(static_cast<std::size_t>(layout.records[1]) + 0x40);
    auto parser = OpenBytes(bytes);
    ASSERT_EQ(parser->GetMailCount(), 2);
    EXPECT_EQ(parser->ReadMailText(0), "x");
    EXPECT_TRUE(ErrorOf([&] { parser->ReadMailText(1); }).has_value());
    auto scanned = OpenBytes(bytes, true);
    ASSERT_EQ(scanned->GetMailCount(), 1);
    EXPECT_EQ(scanned->GetMissingCount(), 1);
}

TEST_F(DbxParserTest, PointerThatMissesItsStructureIsNotFollowed) {
    // 200 messages: 0..49 left of the root, 50, 100 and 150 in the root, each with a child
    // holding the 49 after it. A pointer moved a few bytes lands inside a node or a record;
    // what it hid comes back by the scan, whole, once, and nothing comes out empty.
    DbxIndexNode root;
    std::vector<int> left(50);
    std::iota(left.begin(), left.end(), 0);
    root.left.push_back(DbxLeaf(left));
    for (const int first : {50, 100, 150}) {
        std::vector<int> child(49);
        std::iota(child.begin(), child.end(), first + 1);
        root.entries.push_back(DbxIndexEntry{first, {DbxLeaf(child)}, std::nullopt});
    }
    DbxBuilder builder;
    builder.AddMessages(200).IndexTree(root);
    const test::DbxLayout layout = builder.BuildWithLayout();
    const auto entry = [&](int e, int field) {
        return static_cast<std::size_t>(layout.root) + 0x18 + 12 * static_cast<std::size_t>(e) +
               4 * static_cast<std::size_t>(field);
    };
    // A moved node pointer is found by the walk, which then scans the file; a record is checked
    // when its message is read, or before a scan the user asked for.
    struct Case {
        const char* name;
        std::size_t field;
        std::uint32_t moved_by;
        bool scanned;
    };
    const Case cases[] = {
        {"left child into its own node", static_cast<std::size_t>(layout.root) + 0x08, 0x4C, false},
        {"first entry's child into its own node", entry(0, 1), 0x4C, false},
        {"last entry's child into its own node", entry(2, 1), 0x4C, false},
        {"record into its own attributes, read", entry(1, 0), 0x24, false},
        {"record into its own attributes, scanned", entry(1, 0), 0x24, true},
    };
    std::vector<std::string> expected = Texts(*OpenBytes(layout.bytes));
    std::sort(expected.begin(), expected.end());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = layout.bytes;
        std::uint32_t value = 0;
        std::memcpy(&value, bytes.data() + c.field, 4);
        value += c.moved_by;
        std::memcpy(bytes.data() + c.field, &value, 4);
        auto parser = OpenBytes(bytes, c.scanned);
        std::vector<std::string> texts = Texts(*parser);
        std::sort(texts.begin(), texts.end());
        EXPECT_EQ(parser->GetMissingCount(), 0);
        if (c.field == entry(1, 0) && !c.scanned) {
            // The one message fails; it is not read as an empty one.
            EXPECT_EQ(texts.front(), "<error>");
            texts.front() = Texts(*OpenBytes(layout.bytes))[100];
            std::sort(texts.begin(), texts.end());
        } else {
            EXPECT_NE(parser->ReadWarning().find("索引"), std::string::npos);
        }
        EXPECT_EQ(texts, expected);
    }
}

TEST_F(DbxParserTest, BlockWithBadLengthIsReadToItsRoomAndSaid) {
    const std::string text = "Subject: cut\r\n\r\n" + std::string(1400, 'c');
    for (const std::int32_t length : {1025, 0x10000, INT32_MAX, -1}) {
        SCOPED_TRACE(length);
        auto parser = Open(DbxBuilder().AddMessage(text).BlockLength(0, 1, length).AddMessages(1));
        std::vector<Report> reports;
        {
            const ScopedReportCapture capture(reports);
            ASSERT_EQ(parser->GetMailCount(), 2);
            EXPECT_EQ(parser->ReadMailText(0), text);
        }
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(reports[0].message.find(std::to_string(length)), std::string::npos);
        // Salvage neither delivers it again nor any piece of it.
        EXPECT_EQ(
            Open(DbxBuilder().AddMessage(text).BlockLength(0, 1, length), true)->GetMailCount(), 1);
    }
}

TEST_F(DbxParserTest, DeletedMessagesAreRecoveredApartOnRequest) {
    const std::string gone = "Subject: gone\r\n\r\n" + std::string(700, 'g') + "\r\n";
    DbxBuilder builder;
    builder.AddMessages(1).AddMessage(gone).DeleteMessage(1).AddMessages(1).HeaderCount(2);
    auto plain = Open(builder);
    EXPECT_EQ(plain->GetMailCount(), 2);

    auto salvaged = Open(builder, true);
    ASSERT_EQ(salvaged->GetMailCount(), 3);
    EXPECT_EQ(salvaged->GetMissingCount(), 0);
    EXPECT_EQ(salvaged->GetOrigin(1), TMessageOrigin::Listed);
    EXPECT_EQ(salvaged->GetOrigin(2), TMessageOrigin::Recovered);
    // The first four bytes of each block held the free list's link.
    std::string expected = gone;
    expected.replace(0, 4, "    ");
    expected.replace(512, 4, "    ");
    EXPECT_EQ(salvaged->ReadMailText(2), expected);
}

TEST_F(DbxParserTest, FileThatChangesOrFailsWhileReadIsTheFilesError) {
    // Shrunk, or rewritten at the same size, after the first message was read: the next read
    // raises MailboxError, never a message of zeros.
    for (const bool shrink : {true, false}) {
        SCOPED_TRACE(shrink);
        const std::filesystem::path path = NextPath();
        DbxBuilder().AddMessages(3).WriteTo(path);
        TDBXParser parser(path);
        ASSERT_EQ(parser.GetMailCount(), 3);
        EXPECT_EQ(parser.ReadMailLines(0).front(), Numbered(0));
        if (shrink) {
            std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
        } else {
            std::fstream(path, std::ios::in | std::ios::out | std::ios::binary)
                .seekp(0x300)
                .write("x", 1);
            std::filesystem::last_write_time(
                path, std::filesystem::last_write_time(path) + std::chrono::seconds(1));
        }
        EXPECT_THROW(parser.ReadMailText(1), MailboxError);
    }

    // A read error of the disk, while the index is walked or while salvage scans, is the file's
    // error with the system's reason, never taken for damage or free space.
    static int reads_left = 0;
    const ScopedPreadFunction failing([](int fd, void* buffer, std::size_t size, off_t offset) {
        if (reads_left-- <= 0) {
            errno = EIO;
            return ssize_t{-1};
        }
        return ::pread(fd, buffer, size, offset);
    });
    for (const int sound_reads : {0, 1, 2}) {
        SCOPED_TRACE(sound_reads);
        DbxBuilder builder;
        builder.AddMessages(400);
        auto parser = Open(builder, true);
        reads_left = sound_reads;
        try {
            parser->GetMailCount();
            ADD_FAILURE() << "no error";
        } catch (const MailboxError& e) {
            EXPECT_EQ(e.Reason(), ErrnoText(EIO));
        }
    }
}

TEST_F(DbxParserTest, CountsWhatTheHeaderPromisedButNoReadingFound) {
    // The header says 7, the index is cut off before its entries.
    const test::DbxLayout layout = DbxBuilder().AddMessages(7).BuildWithLayout();
    std::string bytes = layout.bytes;
    std::fill_n(bytes.begin() + layout.root, 0x18, '\0');
    auto cut = OpenBytes(bytes);
    EXPECT_EQ(cut->GetMailCount(), 7);  // the scan finds them all
    EXPECT_EQ(cut->GetMissingCount(), 0);
    std::fill(bytes.begin() + layout.records[0], bytes.end(), '\0');
    auto lost = OpenBytes(bytes);
    EXPECT_EQ(lost->GetMailCount(), 0);
    EXPECT_EQ(lost->GetMissingCount(), 7);

    // Files that are no mailbox stay the file's error even when a scan is asked for.
    for (const std::string& other :
         {std::string(4000, '\x5A'),
          "From: a@example.jp\r\nSubject: x\r\n\r\n" + std::string(300, 'b')}) {
        auto parser = OpenBytes(other, true);
        EXPECT_TRUE(ErrorOf([&] { parser->GetMailCount(); }).has_value());
    }
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

TEST(DbxCorpusSalvageTest, FindsTheOldMessageInTheFreeSpaceOfPerlTest) {
    const std::filesystem::path dir(BRINDLE_CORPUS_DIR);
    if (!std::filesystem::exists(dir / "perl_test.dbx") ||
        !std::filesystem::exists(dir / "perl_test1.dbx")) {
        GTEST_SKIP() << "real mailboxes in " << dir << " are absent";
    }
    TDBXParser old_copy(dir / "perl_test1.dbx");
    ASSERT_EQ(old_copy.GetMailCount(), 1);
    std::string live;
    {
        TDBXParser plain(dir / "perl_test.dbx");  // holds the file's lock while it lives
        ASSERT_EQ(plain.GetMailCount(), 1);
        live = plain.ReadMailText(0);
    }
    TDBXParser salvaged(dir / "perl_test.dbx", true);
    ASSERT_EQ(salvaged.GetMailCount(), 2);
    EXPECT_EQ(salvaged.IndexedMessageCount(), 1);
    EXPECT_EQ(salvaged.ReadMailText(0), live);
    EXPECT_EQ(salvaged.ReadMailText(1), old_copy.ReadMailText(0));

    // The index entry's record pointer 0x24 bytes off: the scan gives the message back whole.
    std::ifstream in(dir / "perl_test1.dbx", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::uint32_t root = 0;
    std::memcpy(&root, bytes.data() + 0xE4, 4);
    bytes[root + 0x18] = static_cast<char>(bytes[root + 0x18] + 0x24);
    const test::TempDir temp;
    std::ofstream(temp / "off.dbx", std::ios::binary) << bytes;
    TDBXParser off(temp / "off.dbx", true);
    ASSERT_EQ(off.GetMailCount(), 1);
    EXPECT_EQ(off.ReadMailText(0), old_copy.ReadMailText(0));
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
