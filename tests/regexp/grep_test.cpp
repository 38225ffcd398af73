#include "regexp/grep.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.hpp"
#include "support/work_steps.hpp"

namespace brindle {
namespace {

using Hits = std::vector<std::pair<std::size_t, std::string>>;

class GrepTest : public ::testing::Test {
  protected:
    std::string Write(const std::string& content) {
        const std::string path = (dir_ / ("f" + std::to_string(++files_))).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    // Runs the procedure in force, and also the other one when the expression is simple, and
    // expects both to report the same lines.
    Hits Grep(const std::string& expression, const std::string& path) {
        TGrep grep;
        grep.SetRegExp(expression);
        Hits hits;
        grep.OnMatch = [&](TGrep&, const RE_LineInfo_t& info) {
            hits.emplace_back(info.LineNo, info.Line);
        };
        grep.Grep(path);
        if (grep.GetRegExpIsSimple()) {
            Hits by_automaton;
            grep.OnMatch = [&](TGrep&, const RE_LineInfo_t& info) {
                by_automaton.emplace_back(info.LineNo, info.Line);
            };
            grep.GrepByRegExp(path);
            EXPECT_EQ(by_automaton, hits) << "string and automaton search disagree";
        }
        return hits;
    }

    test::TempDir dir_;
    int files_ = 0;
};

TEST_F(GrepTest, EmptyFileReportsNothing) {
    EXPECT_TRUE(Grep("", Write("")).empty());
    EXPECT_TRUE(Grep("a", Write("")).empty());
}

TEST_F(GrepTest, AnchorsMeetLineBoundaries) {
    const std::string path = Write("abc one\r\nx abc\r\nabcabc\nzabc");
    EXPECT_EQ(Grep("^abc", path), (Hits{{1, "abc one"}, {3, "abcabc"}}));
    EXPECT_EQ(Grep("abc$", path), (Hits{{2, "x abc"}, {3, "abcabc"}, {4, "zabc"}}));
    EXPECT_EQ(Grep("^abc$", path), Hits{});
    EXPECT_EQ(Grep("b.*c", path).size(), 4U);
    EXPECT_EQ(Grep("o|z", path), (Hits{{1, "abc one"}, {4, "zabc"}}));
}

TEST_F(GrepTest, LineEndsOfEveryKind) {
    const std::string path = Write("a1\rb2\r\rc3\nd4\r\n");
    EXPECT_EQ(Grep("[0-9]", path), (Hits{{1, "a1"}, {2, "b2"}, {4, "c3"}, {5, "d4"}}));
    EXPECT_EQ(Grep("^$", path), (Hits{{3, ""}}));
}

TEST_F(GrepTest, DoubleByteTextAndTrailBytes) {
    const std::string hyo = "\x95\\";
    const std::string path = Write("x" + hyo + "n\n\\n\n\x93\x8C\x8B\x9E\n");
    EXPECT_EQ(Grep("\\\\n", path), (Hits{{2, "\\n"}}));
    EXPECT_EQ(Grep("\x93\x8C.$", path), (Hits{{3, "\x93\x8C\x8B\x9E"}}));
    EXPECT_EQ(Grep("\x8C\x8B", path), Hits{});
}

TEST_F(GrepTest, LineAcrossBlockBoundaryIsReportedWholeAndOnce) {
    // The long line starts ten bytes before the end of the first block.
    std::string content(TTxtFile::kBufferSize - 11, 'x');
    const std::string long_line = "ab" + std::string(20, 'y') + "needle" + std::string(30, 'z');
    content += "\n" + long_line + "\r";
    // A CR that ends the first block and the LF that starts the second are one line end.
    std::string split_crlf(TTxtFile::kBufferSize - 1, 'q');
    split_crlf += "\r\nneedle tail\n";
    const std::string path = Write(content);
    EXPECT_EQ(Grep("needle", path), (Hits{{2, long_line}}));
    EXPECT_EQ(Grep("y+n", path), (Hits{{2, long_line}}));
    const std::string path2 = Write(split_crlf);
    EXPECT_EQ(Grep("needle", path2), (Hits{{2, "needle tail"}}));
    EXPECT_EQ(Grep("^$", path2), Hits{});
}

TEST_F(GrepTest, LongLineStaysLinear) {
    // Runs from neighbouring starts pass each position of the line in states that take turns.
    const auto work = [this](std::size_t size) {
        const std::string line(size, 'a');
        const std::string path = Write(line + "\n" + line + "x\n");
        return test::StepsOf([&] {
            EXPECT_EQ(Grep("(aa)*x", path), (Hits{{2, line + "x"}}));
            EXPECT_EQ(Grep("a.*b", path), Hits{});
        });
    };
    const std::uint64_t small = work(8 * 1024);
    const std::uint64_t large = work(32 * 1024);
    EXPECT_TRUE(test::GrowsLinearly(small, large)) << small << " " << large;
}

TEST_F(GrepTest, CancelFromHandlerStopsAtNextLine) {
    const std::string path = Write("a1\na2\na3\n");
    TGrep grep;
    grep.SetRegExp("a");
    std::vector<std::size_t> seen;
    grep.OnMatch = [&](TGrep& sender, const RE_LineInfo_t& info) {
        seen.push_back(info.LineNo);
        sender.Cancel = true;
    };
    EXPECT_THROW(grep.Grep(path), EGrepCancel);
    EXPECT_EQ(seen, std::vector<std::size_t>{1});
    // A new search clears the flag.
    grep.OnMatch = [&](TGrep&, const RE_LineInfo_t& info) { seen.push_back(info.LineNo); };
    seen.clear();
    grep.GrepByRegExp(path);
    EXPECT_EQ(seen, (std::vector<std::size_t>{1, 2, 3}));
}

TEST_F(GrepTest, CancelDuringBlockReadAndMissingFile) {
    const std::string path = Write(std::string(TTxtFile::kBufferSize * 2, 'b'));
    TGrep grep;
    grep.SetRegExp("a");
    int reported = 0;
    grep.OnMatch = [&](TGrep&, const RE_LineInfo_t&) { ++reported; };
    grep.ProcessMessages = [&grep]() { grep.Cancel = true; };
    EXPECT_THROW(grep.Grep(path), EGrepCancel);
    EXPECT_EQ(reported, 0);
    grep.ProcessMessages = nullptr;
    EXPECT_THROW(grep.Grep((dir_ / "missing").string()), EFileNotFound);
}

TEST_F(GrepTest, NothingHappensWithoutHandler) {
    TGrep grep;
    grep.SetRegExp("a");
    // Not even the file is opened.
    EXPECT_NO_THROW(grep.Grep((dir_ / "missing").string()));
}

}  // namespace
}  // namespace brindle
