#include "settings/setting_file.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_system.hpp"
#include "platform/report.hpp"
#include "platform/text_encoding.hpp"
#include "support/file_contents.hpp"
#include "support/work_steps.hpp"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

std::string Sjis(const std::string& utf8) {
    return Utf8ToCp932(utf8).value();
}

void WriteFile(const fs::path& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

// What a listener saw at each notice.
struct Snapshot {
    std::size_t sources;
    std::size_t conditions;
    bool modified;
};

class Listener : public TObservable {
  public:
    explicit Listener(const TSettingFile& job) : job_(job) {}
    void Update() override {
        seen.push_back(
            {job_.GetInportPaths().size(), job_.GetConditions().size(), job_.GetModified()});
    }
    std::vector<Snapshot> seen;

  private:
    const TSettingFile& job_;
};

class SettingFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("brindle-settings-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

    // Files in the folder, to show that no temporary file is left behind.
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    fs::path dir_;
    TSettingFile job_;
    Listener listener_{job_};
    TObserverRegistration registration_ = job_.AddObservable(listener_);
    std::vector<Report> reports_;
    ScopedReportSink sink_{[this](const Report& r) { reports_.push_back(r); }};
};

TEST_F(SettingFileTest, EverySetterMarksModifiedAndNotifiesOnce) {
    const std::vector<std::function<void()>> changes = {
        [&] { job_.AddInportPath("/a.dbx"); },
        [&] { job_.SetExportPath("/out"); },
        [&] { job_.SetNamingType(TNamingType::Subject); },
        [&] { job_.SetCreateDir(true); },
        [&] {
            job_.SetNamingTypeParameter({"X", TNamingLine::NextLine, TNamingPos::Header});
        },
        [&] {
            job_.AddCondition({kFindPosBody, "a", false, false});
        },
        [&] { job_.SetConditions(std::vector<TFindType>{}); },
        [&] { job_.DeleteInportPath(0); },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        job_.SetModified(false);
        listener_.seen.clear();
        changes[i]();
        ASSERT_EQ(listener_.seen.size(), 1u) << "change " << i;
        EXPECT_TRUE(listener_.seen[0].modified) << "change " << i;
    }
    EXPECT_TRUE(job_.GetInportPaths().empty());
    EXPECT_EQ(job_.GetNamingTypeParameter(),
              (TFindParam{"X", TNamingLine::NextLine, TNamingPos::Header}));
}

TEST_F(SettingFileTest, ChangesThatChangeNothingSendNoNotice) {
    job_.AddInportPath("/a.dbx");
    job_.SetModified(false);
    listener_.seen.clear();
    job_.AddInportPath("/a.dbx");
    job_.DeleteInportPath(1);
    job_.SetNamingType(static_cast<TNamingType>(3));
    EXPECT_TRUE(listener_.seen.empty());
    EXPECT_FALSE(job_.GetModified());
    // Letter case counts: this is another path.
    job_.AddInportPath("/A.dbx");
    EXPECT_EQ(job_.GetInportPaths(), (std::vector<std::string>{"/a.dbx", "/A.dbx"}));
    EXPECT_EQ(job_.GetNamingType(), TNamingType::Number);
}

TEST_F(SettingFileTest, ClearKeepsTheNamingParameterAndNotifiesUnmodified) {
    job_.AddInportPath("/a.dbx");
    job_.SetNamingTypeParameter({"Subject", TNamingLine::NextLine, TNamingPos::Body});
    job_.SetNamingType(TNamingType::Parameter);
    job_.AddCondition({kFindPosAll, "x", false, false});
    listener_.seen.clear();
    job_.Clear();
    ASSERT_EQ(listener_.seen.size(), 1u);
    EXPECT_FALSE(listener_.seen[0].modified);
    EXPECT_TRUE(job_.GetInportPaths().empty());
    EXPECT_TRUE(job_.GetConditions().empty());
    EXPECT_EQ(job_.GetNamingType(), TNamingType::Number);
    EXPECT_EQ(job_.GetNamingTypeParameter(),
              (TFindParam{"Subject", TNamingLine::NextLine, TNamingPos::Body}));
}

TEST_F(SettingFileTest, RoundTripKeepsPathsAndTextsExactly) {
    // Characters CP932 lacks (ü, the emoji) or maps one way only (〜 U+301C, − U+2212), the
    // characters XML escapes, and tab and line feed, which XML would otherwise normalise.
    const std::vector<std::string> paths = {
        "/home/user/Müller/受信トレイ.dbx",  "/tmp/😀 mail/a&b<c>d\"e'f.dbx", "/tmp/〜−～①/x.dbx",
        "/tmp/line\nbreak\tand\rreturn.dbx", "C:\\Mail\\Inbox.dbx",
    };
    for (const std::string& path : paths) {
        job_.AddInportPath(path);
    }
    job_.SetExportPath("/srv/Católica/〜out−");
    job_.SetNamingTypeParameter({Sjis("件名: &<>\"'①"), TNamingLine::NextLine, TNamingPos::Header});
    job_.SetNamingType(TNamingType::Parameter);
    job_.SetCreateDir(true);
    const std::vector<TFindType> conditions = {
        {kFindPosAll, Sjis("A&B <tag> \"q\" 'a' ①～"), true, false},
        {kFindPosBody, Sjis("^ソ\\t.*[０-９]+$"), false, true},
        {kFindPosHeader, "", false, false},
        {kFindPosHeader, "", false, false},
    };
    job_.SetConditions(conditions);

    const std::string file = PathOf("job.xml");
    ASSERT_TRUE(job_.Save(file));
    EXPECT_TRUE(reports_.empty());

    TSettingFile loaded;
    ASSERT_TRUE(loaded.Load(file));
    EXPECT_EQ(loaded.GetJob(), job_.GetJob());
    EXPECT_EQ(loaded.GetFileName(), file);
    EXPECT_FALSE(loaded.GetModified());

    // The file is CP932 with CR LF: ① as its CP932 bytes, the one-way characters as references.
    const std::string text = ReadFile(file);
    EXPECT_EQ(text.rfind(
                  "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<Brindle Version=\"1.0\">", 0),
              0u);
    EXPECT_NE(text.find("\x87\x40"), std::string::npos);
    EXPECT_NE(text.find("&#x301C;"), std::string::npos);
    EXPECT_NE(text.find("&#x2212;"), std::string::npos);
    EXPECT_NE(text.find("&#x1F600;"), std::string::npos);
    EXPECT_EQ(text.find("\r\n", text.find("<Brindle")), text.size() - 2);
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
}

TEST_F(SettingFileTest, EmptyJobAndAbsentParameter) {
    const std::string file = PathOf("empty.xml");
    ASSERT_TRUE(job_.Save(file));
    const std::string text = ReadFile(file);
    EXPECT_NE(text.find("<InportPath/>"), std::string::npos);
    EXPECT_NE(text.find("<ConditionList/>"), std::string::npos);
    EXPECT_EQ(text.find("NamingTypeParameter"), std::string::npos);

    // Loading a file without a parameter keeps the one held before.
    TSettingFile other;
    other.SetNamingTypeParameter({"X-Key", TNamingLine::SameLine, TNamingPos::Header});
    other.AddInportPath("/old.dbx");
    ASSERT_TRUE(other.Load(file));
    EXPECT_TRUE(other.GetInportPaths().empty());
    EXPECT_TRUE(other.GetConditions().empty());
    EXPECT_EQ(other.GetNamingTypeParameter(),
              (TFindParam{"X-Key", TNamingLine::SameLine, TNamingPos::Header}));
}

TEST_F(SettingFileTest, ReadsTheWindowsForm) {
    // As written on Windows: CP932 bytes, CR LF, empty elements in their short form, and
    // values that the reader must interpret rather than take.
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n"
        "<Brindle Version=\"1.0\"><InportPath><Path>C:\\Documents and Settings\\" +
        Sjis("山田") + "\\Inbox.dbx</Path><Path>C:\\a.dbx</Path><Path>C:\\a.dbx</Path>" +
        "</InportPath><ExportPath/><NamingType>5</NamingType><NamingTypeParameter><ParamText>" +
        Sjis("①番号") + "</ParamText><NamingLine>1</NamingLine><NamingPos>7</NamingPos>" +
        "</NamingTypeParameter><CreateDir></CreateDir><ConditionList>" +
        "<Condition FindPos=\"1\" Capital=\"0\" Regexp=\"0\">" + Sjis("ソフト～") +
        "</Condition><Condition FindPos=\"1\" Capital=\"0\" Regexp=\"0\">" + Sjis("ソフト～") +
        "</Condition><Condition FindPos=\"2\" Capital=\"1\" Regexp=\"1\">a&amp;b</Condition>" +
        "</ConditionList></Brindle>\r\n";
    const std::string file = PathOf("windows.xml");
    WriteFile(file, xml);
    job_.SetNamingType(TNamingType::Subject);
    std::vector<std::string> refused;
    ASSERT_TRUE(job_.Load(file, &refused)) << (reports_.empty() ? "" : reports_[0].message);
    // Out-of-range numbers are kept at the cleared job's values and named for a caller that
    // refuses them.
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_NE(refused[0].find("NamingType"), std::string::npos) << refused[0];
    EXPECT_NE(refused[0].find(" 5 "), std::string::npos) << refused[0];
    EXPECT_NE(refused[1].find("NamingPos"), std::string::npos) << refused[1];
    EXPECT_EQ(
        job_.GetInportPaths(),
        (std::vector<std::string>{"C:\\Documents and Settings\\山田\\Inbox.dbx", "C:\\a.dbx"}));
    EXPECT_EQ(job_.GetExportPath(), "");
    EXPECT_EQ(job_.GetNamingType(), TNamingType::Number);
    EXPECT_EQ(job_.GetNamingTypeParameter(),
              (TFindParam{Sjis("①番号"), TNamingLine::NextLine, TNamingPos::Body}));
    EXPECT_TRUE(job_.GetCreateDir());
    const std::vector<TFindType> expected = {
        {kFindPosBody, Sjis("ソフト～"), false, false},
        {kFindPosBody, Sjis("ソフト～"), false, false},
        {kFindPosHeader, "a&b", true, true},
    };
    EXPECT_EQ(job_.GetConditions(), expected);
}

TEST_F(SettingFileTest, LaterElementsReadAgainAndNumbersAreLenient) {
    const std::string xml =
        "<?xml version=\"1.0\"?><Brindle><ExportPath>/one</ExportPath><NamingType>1</NamingType>"
        "<NamingType>x</NamingType><ExportPath>/two</ExportPath><CreateDir>0</CreateDir>"
        "<Unknown><Path>/ignored</Path></Unknown>"
        "<InportPath><Path>/a</Path></InportPath><InportPath><Path>/b</Path><Other/></InportPath>"
        "<!-- a comment --><ConditionList><Condition FindPos=\" 2\">a</Condition></ConditionList>"
        "<ConditionList><Condition FindPos=\"9\" Capital=\"\" Regexp=\"yes\">b</Condition>"
        "<Condition>c</Condition></ConditionList></Brindle>";
    const std::string file = PathOf("lenient.xml");
    WriteFile(file, xml);
    ASSERT_TRUE(job_.Load(file));
    EXPECT_EQ(job_.GetExportPath(), "/two");
    EXPECT_EQ(job_.GetNamingType(), TNamingType::Number);  // "x" reads as 0
    EXPECT_FALSE(job_.GetCreateDir());
    EXPECT_EQ(job_.GetInportPaths(), (std::vector<std::string>{"/a", "/b"}));
    // An out-of-range or missing scope means the whole message; a present flag is on unless
    // it is "0"; a missing flag is off.
    const std::vector<TFindType> expected = {
        {kFindPosHeader, "a", false, false},
        {kFindPosAll, "b", true, true},
        {kFindPosAll, "c", false, false},
    };
    EXPECT_EQ(job_.GetConditions(), expected);
}

TEST_F(SettingFileTest, LoadNoticesAndModifiedFlag) {
    const std::string file = PathOf("job.xml");
    job_.AddInportPath("/a.dbx");
    job_.AddCondition({kFindPosAll, "x", false, false});
    ASSERT_TRUE(job_.Save(file));

    TSettingFile other;
    Listener listener(other);
    const TObserverRegistration registration = other.AddObservable(listener);
    other.AddInportPath("/old.dbx");
    listener.seen.clear();
    ASSERT_TRUE(other.Load(file));
    // One notice with the cleared job, then one with the whole file; none in between.
    ASSERT_EQ(listener.seen.size(), 2u);
    EXPECT_EQ(listener.seen[0].sources, 0u);
    EXPECT_EQ(listener.seen[1].sources, 1u);
    EXPECT_EQ(listener.seen[1].conditions, 1u);
    EXPECT_FALSE(listener.seen[1].modified);
}

TEST_F(SettingFileTest, SaveSetsTheFileNameClearsModifiedAndNotifies) {
    job_.AddInportPath("/a.dbx");
    listener_.seen.clear();
    const std::string file = PathOf("saved.xml");
    ASSERT_TRUE(job_.Save(file));
    EXPECT_EQ(job_.GetFileName(), file);
    ASSERT_EQ(listener_.seen.size(), 1u);
    EXPECT_FALSE(listener_.seen[0].modified);
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"saved.xml"}));
}

TEST_F(SettingFileTest, FailedLoadLeavesTheJobAsItWas) {
    job_.AddInportPath("/keep.dbx");
    job_.SetExportPath("/keep");
    const std::string saved = PathOf("keep.xml");
    ASSERT_TRUE(job_.Save(saved));
    job_.SetCreateDir(true);
    const TJobData before = job_.GetJob();

    const std::string not_xml = PathOf("not.xml");
    WriteFile(not_xml, "this is not XML <Brindle>");
    const std::string nested = PathOf("nested.xml");
    WriteFile(nested,
              "<Brindle><InportPath><Path>/a</Path></InportPath>"
              "<ExportPath><b>bold</b></ExportPath></Brindle>");
    const std::string emoji_condition = PathOf("emoji.xml");
    WriteFile(emoji_condition,
              "<Brindle><ConditionList><Condition FindPos=\"0\" Capital=\"0\" Regexp=\"0\">"
              "&#x1F600;</Condition></ConditionList></Brindle>");
    // An external entity must not be fetched (its text would land in the job).
    const std::string external = PathOf("external.xml");
    WriteFile(external,
              "<?xml version=\"1.0\"?><!DOCTYPE Brindle [<!ENTITY x SYSTEM "
              "\"file:///etc/hostname\">]><Brindle><ExportPath>&x;</ExportPath></Brindle>");

    // Another program's XML file is no job (the next save would replace it).
    const std::string other = PathOf("pom.xml");
    WriteFile(other,
              "<?xml version=\"1.0\"?><!-- x --><Other><InportPath><Path>/a</Path>"
              "</InportPath></Other>");

    for (const std::string& file : {not_xml, nested, emoji_condition, external, other,
                                    PathOf("missing.xml"), dir_.string()}) {
        reports_.clear();
        listener_.seen.clear();
        EXPECT_FALSE(job_.Load(file)) << file;
        ASSERT_EQ(reports_.size(), 1u) << file;
        EXPECT_EQ(reports_[0].kind, ReportKind::Error);
        EXPECT_FALSE(reports_[0].message.empty());
        EXPECT_TRUE(listener_.seen.empty()) << file;
        EXPECT_EQ(job_.GetJob(), before) << file;
        EXPECT_EQ(job_.GetFileName(), saved) << file;
        EXPECT_TRUE(job_.GetModified()) << file;
    }
}

TEST_F(SettingFileTest, NamedPipeIsRefusedWithoutWaitingForAWriter) {
    const std::string pipe = PathOf("job.xml");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // If Load sits in open() waiting for a writer, this thread becomes that writer (a
    // non-blocking open for writing succeeds only while a reader waits) and so ends the wait.
    std::atomic<bool> done{false};
    std::atomic<bool> load_waited{false};
    std::thread unblocker([&] {
        // At most 250 tries, 20 ms apart: a bound on the waiting, not a measure of anything.
        for (int attempt = 0; attempt < 250 && !done; ++attempt) {
            const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                load_waited = true;
                ::close(fd);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const bool loaded = job_.Load(pipe);
    done = true;
    unblocker.join();
    EXPECT_FALSE(load_waited);
    EXPECT_FALSE(loaded);
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_NE(reports_[0].message.find("を開けません。"), std::string::npos) << reports_[0].message;
}

TEST_F(SettingFileTest, SavingThroughASymbolicLinkReplacesTheFileItNames) {
    fs::create_directories(dir_ / "shared");
    const fs::path real = dir_ / "shared" / "job.xml";
    WriteFile(real, "old");
    ::chmod(real.c_str(), 0640);
    const std::string link = PathOf("link.xml");
    fs::create_symlink(fs::path("shared") / "job.xml", link);

    job_.AddInportPath("/a.dbx");
    ASSERT_TRUE(job_.Save(link));
    EXPECT_EQ(job_.GetFileName(), link);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_NE(ReadFile(real).find("<Path>/a.dbx</Path>"), std::string::npos);
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "shared"), fs::directory_iterator()), 1);

    TSettingFile other;
    ASSERT_TRUE(other.Load(link));
    EXPECT_EQ(other.GetInportPaths(), (std::vector<std::string>{"/a.dbx"}));
}

TEST_F(SettingFileTest, NameOfTheLongestLengthTheFileSystemTakes) {
    // 255 bytes is a valid name; the temporary file beside it must not need a longer one.
    const std::string name = std::string(251, 'j') + ".xml";
    const std::string file = PathOf(name);
    job_.AddInportPath("/a.dbx");
    ASSERT_TRUE(job_.Save(file)) << (reports_.empty() ? "" : reports_[0].message);
    ASSERT_TRUE(job_.Save(file));
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{name}));
    TSettingFile other;
    ASSERT_TRUE(other.Load(file));
    EXPECT_EQ(other.GetInportPaths(), (std::vector<std::string>{"/a.dbx"}));
}

TEST_F(SettingFileTest, XmlLibraryPrintsNothingOfItsOwn) {
    // Bytes that are no CP932 in a file declared Shift_JIS: the error is the report, and the
    // command line's standard error carries nothing else.
    const std::string file = PathOf("bad-bytes.xml");
    WriteFile(file,
              "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Brindle><ExportPath>\x80\xA0"
              "</ExportPath></Brindle>");
    ::testing::internal::CaptureStderr();
    const bool loaded = job_.Load(file);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(loaded);
    EXPECT_EQ(reports_.size(), 1u);
    EXPECT_EQ(printed, "");
}

TEST_F(SettingFileTest, ManySourcesLoadInLinearTime) {
    // A job file of a few megabytes must not keep the program busy for minutes: a repeated
    // path is found without comparing each path with every one before it.
    const auto work = [this](int paths) {
        std::string xml = "<Brindle>";
        for (int i = 0; i < paths; ++i) {
            const std::string path = "/mail/" + std::to_string(i % (paths / 2)) + ".dbx";
            xml += "<InportPath><Path>" + path + "</Path></InportPath>";
        }
        xml += "</Brindle>";
        const std::string file = PathOf("many" + std::to_string(paths) + ".xml");
        WriteFile(file, xml);
        return test::StepsOf([&] { ASSERT_TRUE(job_.Load(file)); });
    };
    const std::uint64_t small = work(25000);
    const std::uint64_t large = work(100000);
    EXPECT_TRUE(test::GrowsLinearly(small, large)) << small << " " << large;
    const std::vector<std::string> paths = job_.GetInportPaths();
    ASSERT_EQ(paths.size(), 50000u);
    EXPECT_EQ(paths.front(), "/mail/0.dbx");
    EXPECT_EQ(paths.back(), "/mail/49999.dbx");
}

TEST_F(SettingFileTest, FailedSaveLeavesThePreviousFile) {
    const std::string file = PathOf("job.xml");
    job_.AddInportPath("/first.dbx");
    ASSERT_TRUE(job_.Save(file));
    const std::string previous = ReadFile(file);

    job_.AddInportPath("/second.dbx");
    {
        const ScopedWriteFunction full(DiskFullAfter(20));
        EXPECT_FALSE(job_.Save(PathOf("other.xml")));
        EXPECT_FALSE(job_.Save(file));
    }
    ASSERT_EQ(reports_.size(), 2u);
    EXPECT_NE(reports_[1].message.find(file + " を保存できません。"), std::string::npos)
        << reports_[1].message;
    EXPECT_EQ(ReadFile(file), previous);
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"job.xml"}));
    EXPECT_EQ(job_.GetFileName(), file);
    EXPECT_TRUE(job_.GetModified());

    // Texts that the file cannot hold are refused, not altered.
    reports_.clear();
    job_.AddInportPath("/bad\xff name.dbx");
    EXPECT_FALSE(job_.Save(file));
    job_.DeleteInportPath(2);
    job_.AddInportPath("/control\x01.dbx");
    EXPECT_FALSE(job_.Save(file));
    job_.DeleteInportPath(2);
    job_.AddCondition({kFindPosAll, "\x85\x40", false, false});  // no CP932 character
    EXPECT_FALSE(job_.Save(file));
    EXPECT_EQ(reports_.size(), 3u);
    EXPECT_EQ(ReadFile(file), previous);
    EXPECT_FALSE(job_.Save(PathOf("no/such/folder/job.xml")));
}

TEST_F(SettingFileTest, SaveWritesOnlyNewNamesAndRegularFilesThatAreNoSource) {
    const std::string mailbox = PathOf("inbox.dbx");
    WriteFile(mailbox, "mail");
    const std::string pipe = PathOf("pipe.xml");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    fs::create_directories(dir_ / "folder.xml");
    fs::create_symlink("inbox.dbx", PathOf("alias.xml"));
    ASSERT_EQ(::link(mailbox.c_str(), PathOf("hard.dbx").c_str()), 0);
    job_.AddInportPath(mailbox);
    job_.AddInportPath(PathOf("not-yet.dbx"));

    for (const std::string& target :
         {mailbox, PathOf("alias.xml"), PathOf("hard.dbx"), PathOf("./not-yet.dbx")}) {
        reports_.clear();
        EXPECT_FALSE(job_.Save(target)) << target;
        ASSERT_EQ(reports_.size(), 1u) << target;
        EXPECT_NE(reports_[0].message.find("変換元のメールボックスです"), std::string::npos)
            << reports_[0].message;
    }
    for (const std::string& target : {pipe, PathOf("folder.xml")}) {
        reports_.clear();
        EXPECT_FALSE(job_.Save(target)) << target;
        ASSERT_EQ(reports_.size(), 1u) << target;
        EXPECT_NE(reports_[0].message.find("通常のファイルではありません"), std::string::npos)
            << reports_[0].message;
    }
    EXPECT_EQ(ReadFile(mailbox), "mail");
    EXPECT_FALSE(fs::exists(PathOf("not-yet.dbx")));
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_TRUE(fs::is_directory(PathOf("folder.xml")));
    EXPECT_TRUE(fs::is_symlink(PathOf("alias.xml")));
    EXPECT_TRUE(job_.GetFileName().empty());

    // A regular file that is no source, and a new name, are written.
    WriteFile(PathOf("old.xml"), "<Brindle/>");
    EXPECT_TRUE(job_.Save(PathOf("old.xml")));
    EXPECT_TRUE(job_.Save(PathOf("new.xml")));
    EXPECT_TRUE(TSettingFile::IsJobFile(PathOf("new.xml")));
    EXPECT_FALSE(TSettingFile::IsJobFile(mailbox));
    EXPECT_FALSE(TSettingFile::IsJobFile(pipe));
    WriteFile(PathOf("other.xml"), "<?xml version=\"1.0\"?><Other><Brindle/></Other>");
    EXPECT_FALSE(TSettingFile::IsJobFile(PathOf("other.xml")));
}

}  // namespace
}  // namespace brindle
