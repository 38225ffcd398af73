#include "regexp/txt_file.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"

namespace brindle {
namespace {

std::vector<std::string> ReadAll(TTxtFile& file) {
    std::vector<std::string> lines;
    std::string line;
    try {
        for (;;) {
            file.ReadLine(line);
            lines.push_back(line);
            EXPECT_EQ(file.LineNumber(), lines.size());
        }
    } catch (const EEndOfFile&) {
    }
    return lines;
}

TEST(TxtFile, EndOfFileIsAnExceptionFromTheFirstRead) {
    test::TempDir dir;
    const std::string empty = (dir / "empty").string();
    std::ofstream(empty).close();
    EXPECT_THROW(TTxtFile(empty, nullptr, nullptr), EEndOfFile);

    const std::string path = (dir / "lines").string();
    std::ofstream(path, std::ios::binary) << "one\r\n\rthree";
    TTxtFile file(path, nullptr, nullptr);
    EXPECT_EQ(ReadAll(file), (std::vector<std::string>{"one", "", "three"}));
    std::string line;
    EXPECT_THROW(file.ReadLine(line), EEndOfFile);
}

TEST(TxtFile, BlocksRunTheCallbackAndHonourCancel) {
    test::TempDir dir;
    const std::string path = (dir / "big").string();
    std::ofstream(path, std::ios::binary)
        << std::string(TTxtFile::kBufferSize * 2 + 10, 'x') << "\nlast";
    int blocks = 0;
    {
        TTxtFile file(path, nullptr, [&] { ++blocks; });
        EXPECT_EQ(ReadAll(file).size(), 2U);
    }
    EXPECT_EQ(blocks, 3);
    // The first block is read on opening, so a cancel during it ends the construction.
    bool cancel = false;
    EXPECT_THROW(TTxtFile(path, &cancel, [&] { cancel = true; }), EGrepCancel);
    cancel = false;
    int calls = 0;
    TTxtFile file(path, &cancel, [&] { cancel = ++calls == 2; });
    std::string line;
    EXPECT_THROW(file.ReadLine(line), EGrepCancel);
}

}  // namespace
}  // namespace brindle
