#include "platform/file_system.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>

#include "platform/exception.hpp"
#include "support/temp_dir.hpp"

namespace brindle {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(WriteNewFile, WritesWholeDataAndNeverReplaces) {
    test::TempDir dir;
    const std::string path = dir / "a.eml";
    const std::string data(300000, 'x');
    EXPECT_EQ(WriteNewFile(path, data), CreateResult::Written);
    EXPECT_EQ(ReadAll(path), data);

    EXPECT_EQ(WriteNewFile(path, "other"), CreateResult::NameTaken);
    EXPECT_EQ(ReadAll(path), data);

    // A folder, and a dangling link, under the name are taken too; the link is not followed.
    fs::create_directory(dir / "d.eml");
    EXPECT_EQ(WriteNewFile(dir / "d.eml", "x"), CreateResult::NameTaken);
    fs::create_symlink(dir / "target", dir / "link.eml");
    EXPECT_EQ(WriteNewFile(dir / "link.eml", "x"), CreateResult::NameTaken);
    EXPECT_FALSE(fs::exists(dir / "target"));

    EXPECT_EQ(WriteNewFile(dir / "empty.eml", ""), CreateResult::Written);
    EXPECT_EQ(fs::file_size(dir / "empty.eml"), 0u);
}

TEST(WriteNewFile, CreationFailureRaisesWithFullPath) {
    test::TempDir dir;
    const std::string path = dir / "missing" / "a.eml";
    try {
        WriteNewFile(path, "x");
        FAIL() << "expected an error";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "ファイル " + path + " を作成できません");
    }
}

TEST(WriteNewFile, FullDiskRemovesPartialFile) {
    test::TempDir dir;
    const std::string path = dir / "a.eml";
    {
        ScopedWriteFunction full(DiskFullAfter(1000));
        EXPECT_THROW(WriteNewFile(path, std::string(5000, 'x')), Exception);
        EXPECT_FALSE(fs::exists(path));
    }
    // The hook is gone with its scope: the same write now succeeds.
    EXPECT_EQ(WriteNewFile(path, std::string(5000, 'x')), CreateResult::Written);
    EXPECT_EQ(fs::file_size(path), 5000u);
}

TEST(WriteNewFile, ShortWritesAndInterruptionsAreResumed) {
    test::TempDir dir;
    int calls = 0;
    ScopedWriteFunction dribble([&calls](int fd, const char* data, std::size_t size) -> long {
        if (++calls % 3 == 0) {
            errno = EINTR;
            return -1;
        }
        return static_cast<long>(::write(fd, data, size < 7 ? size : 7));
    });
    const std::string data(100, 'y');
    EXPECT_EQ(WriteNewFile(dir / "a.eml", data), CreateResult::Written);
    EXPECT_EQ(ReadAll(dir / "a.eml"), data);
}

TEST(WriteNewFile, WriteMakingNoProgressIsAnError) {
    test::TempDir dir;
    ScopedWriteFunction stuck([](int, const char*, std::size_t) -> long { return 0; });
    EXPECT_THROW(WriteNewFile(dir / "a.eml", "data"), Exception);
    EXPECT_FALSE(fs::exists(dir / "a.eml"));
}

TEST(UnnamedFile, NameAppearsOnlyWhenTheFileIsCompleteAndIsWrittenOnce) {
    test::TempDir dir;
    const std::string path = dir / "a.eml";
    std::size_t bytes = 0;
    bool named_while_writing = false;
    ScopedWriteFunction watch([&](int fd, const char* data, std::size_t size) -> long {
        named_while_writing = named_while_writing || fs::exists(path);
        const long n = static_cast<long>(::write(fd, data, size < 1000 ? size : 1000));
        bytes += n > 0 ? static_cast<std::size_t>(n) : 0;
        return n;
    });
    std::ofstream(dir / "taken.eml") << "old";
    const std::string data(10000, 'd');
    UnnamedFile file(path, data);
    file.SetModificationTime(1000000000);
    EXPECT_FALSE(file.LinkAs(dir / "taken.eml"));
    EXPECT_TRUE(file.LinkAs(path));
    EXPECT_FALSE(named_while_writing);
    EXPECT_EQ(bytes, data.size());  // a taken name cost no second write
    EXPECT_EQ(ReadAll(path), data);
    EXPECT_EQ(ReadAll(dir / "taken.eml"), "old");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);

    // A file that never gets a name leaves nothing behind.
    { UnnamedFile dropped(dir / "b.eml", data); }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST(UnnamedFile, WithoutUnnamedFilesNamesNeverShowPartialFilesNorReplaceAndLeaveNothing) {
    // The ways a folder without unnamed files may name its files, as the file system allows.
    struct Case {
        const char* way;
        std::optional<bool> refuse_links;  // nullopt: nothing refused
        bool named_only_when_complete;     // and written once whatever the names tried
    };
    const Case cases[] = {
        {"rename without replacing", std::nullopt, true},
        {"link and unlink", false, true},
        {"exclusive create, the last resort", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.way);
        test::TempDir dir;
        const ScopedUnnamedFilesOff off;
        std::optional<ScopedRefusedNaming> refused;
        if (c.refuse_links) {
            refused.emplace(*c.refuse_links);
        }
        const std::string path = dir / "free.eml";
        std::size_t bytes = 0;
        bool named_while_writing = false;
        ScopedWriteFunction watch([&](int fd, const char* data, std::size_t size) -> long {
            named_while_writing = named_while_writing || fs::exists(path);
            const long n = static_cast<long>(::write(fd, data, size < 1000 ? size : 1000));
            bytes += n > 0 ? static_cast<std::size_t>(n) : 0;
            return n;
        });
        std::ofstream(dir / "taken.eml") << "old";
        const std::string data(10000, 'd');
        {
            UnnamedFile file(path, data);
            file.SetModificationTime(1000000000);
            EXPECT_FALSE(file.LinkAs(dir / "taken.eml"));
            EXPECT_TRUE(file.LinkAs(path));
        }
        EXPECT_EQ(named_while_writing, !c.named_only_when_complete);
        if (c.named_only_when_complete) {
            EXPECT_EQ(bytes, data.size());
        }
        EXPECT_EQ(ReadAll(path), data);
        EXPECT_EQ(ReadAll(dir / "taken.eml"), "old");
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);

        // Neither a name found taken, nor a full disk, nor a file never named leaves anything.
        EXPECT_EQ(WriteNewFile(dir / "taken.eml", "new"), CreateResult::NameTaken);
        {
            ScopedWriteFunction full(DiskFullAfter(10));
            EXPECT_THROW(WriteNewFile(dir / "full.eml", std::string(100, 'x')), FolderError);
        }
        { UnnamedFile dropped(dir / "dropped.eml", data); }
        EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"free.eml", "taken.eml"}));
    }
}

// A temporary made by a process that is gone is removed by the next process that writes into
// the folder; one of a process still at work, or of another host, stays.
TEST(UnnamedFile, TemporariesOfDeadWritersAreRemovedByTheNextProcess) {
    test::TempDir dir;
    const ScopedUnnamedFilesOff off;
    int ready[2];
    int go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t live = ::fork();
    ASSERT_GE(live, 0);
    if (live == 0) {
        ::close(ready[0]);
        ::close(go[1]);
        {
            const UnnamedFile file(dir / "a.eml", "live");
            char byte = 0;
            const bool told = ::write(ready[1], "r", 1) == 1 && ::read(go[0], &byte, 1) >= 0;
            static_cast<void>(told);
        }
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(go[0]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    // Killed with its file written but not named yet.
    const pid_t dead = ::fork();
    ASSERT_GE(dead, 0);
    if (dead == 0) {
        const UnnamedFile file(dir / "b.eml", "dead");
        ::kill(::getpid(), SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(dead, &status, 0), dead);
    ASSERT_TRUE(WIFSIGNALED(status));
    const std::string elsewhere = ".brindle-elsewhere.invalid-" + std::to_string(dead) + "-1.tmp";
    std::ofstream(dir / elsewhere) << "elsewhere";
    ASSERT_EQ(Names(dir.path()).size(), 3u);

    EXPECT_EQ(WriteNewFile(dir / "c.eml", "new"), CreateResult::Written);
    std::set<std::string> contents;
    for (const std::string& name : Names(dir.path())) {
        contents.insert(ReadAll(dir / name));
    }
    EXPECT_EQ(contents, (std::set<std::string>{"elsewhere", "live", "new"}));

    ::close(go[1]);  // the live writer drops its file and ends
    ASSERT_EQ(::waitpid(live, &status, 0), live);
    ::close(ready[0]);
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"c.eml", elsewhere}));
}

TEST(UnnamedFile, FolderErrorsAreToldApartFromErrorsOfOneFile) {
    test::TempDir dir;
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed);
        std::optional<ScopedUnnamedFilesOff> off;
        if (!unnamed) {
            off.emplace();
        }
        // The folder is gone, or full: every file there would fail alike.
        EXPECT_THROW(WriteNewFile(dir / "gone" / "a.eml", "x"), FolderError);
        {
            ScopedWriteFunction full(DiskFullAfter(0));
            EXPECT_THROW(WriteNewFile(dir / "a.eml", "x"), FolderError);
        }
        // A name the file system refuses is that file's error only.
        try {
            WriteNewFile(dir / (std::string(300, 'n') + ".eml"), "x");
            ADD_FAILURE() << "a name of 304 bytes was taken";
        } catch (const FolderError&) {
            ADD_FAILURE() << "a name too long was taken for the folder's error";
        } catch (const Exception&) {
        }
        {
            ScopedWriteFunction broken([](int, const char*, std::size_t) -> long {
                errno = EIO;
                return -1;
            });
            try {
                WriteNewFile(dir / "b.eml", "x");
                ADD_FAILURE() << "an I/O error was not reported";
            } catch (const FolderError&) {
                ADD_FAILURE() << "an I/O error was taken for the folder's error";
            } catch (const Exception&) {
            }
        }
        EXPECT_TRUE(fs::is_empty(dir.path()));
    }
}

TEST(FileSystem, CreateDirectoriesMakesParentsAndReportsFailure) {
    test::TempDir dir;
    const std::string deep = dir / "a" / "b" / "c";
    EXPECT_TRUE(CreateDirectories(deep));
    EXPECT_TRUE(DirectoryExists(deep));
    EXPECT_TRUE(CreateDirectories(deep));  // existing is fine
    EXPECT_TRUE(CreateDirectories(deep + "/"));

    std::ofstream(dir / "file").put('x');
    EXPECT_FALSE(CreateDirectories(dir / "file" / "sub"));
    EXPECT_FALSE(CreateDirectories(dir / "file"));
    EXPECT_FALSE(DirectoryExists(dir / "file"));
    EXPECT_TRUE(PathExists(dir / "file"));
    EXPECT_FALSE(CreateDirectories(""));
}

TEST(FileSystem, SetModificationTime) {
    test::TempDir dir;
    const std::string path = dir / "a.eml";
    WriteNewFile(path, "x");
    ASSERT_TRUE(SetModificationTime(path, 1000000000));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    EXPECT_FALSE(SetModificationTime(dir / "none", 1000000000));
}

}  // namespace
}  // namespace brindle
