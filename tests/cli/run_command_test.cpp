#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.hpp"
#include "cli/cli_context.hpp"
#include "cli_runner.hpp"
#include "platform/report.hpp"
#include "platform/text_encoding.hpp"
#include "settings/setting_file.hpp"
#include "support/dbx_builder.hpp"
#include "support/temp_dir.hpp"

namespace brindle::cli {
namespace {

namespace fs = std::filesystem;
using test::DbxBuilder;
using test::TempDir;

using Result = test::CliOutcome;

Result Cli(const std::vector<std::string>& args) {
    return test::RunCliWith(args);
}

std::string Sjis(const std::string& utf8) {
    return Utf8ToCp932(utf8).value();
}

// File name to contents, for every file below folder.
std::map<std::string, std::string> Files(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            files[fs::relative(entry.path(), folder).string()] =
                std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    return files;
}

class RunCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Shift_JIS subjects and bodies; the second and fourth messages lack the body word.
        const std::string jp_subject = "Subject: " + Sjis("会議の案内") + "\r\n";
        mailbox_ = (dir_ / "inbox.dbx").string();
        DbxBuilder()
            .AddMessage("From: a@example.jp\r\nSubject: Report one\r\n\r\nThe Budget is ready.\r\n")
            .AddMessage("From: b@example.jp\r\nSubject: Report two\r\n\r\nnothing here\r\n")
            .AddMessage("From: c@example.jp\r\n" + jp_subject + "\r\nBUDGET " + Sjis("予算") +
                        "\r\n")
            .AddMessage("From: d@other.jp\r\nSubject: Report four\r\n\r\nbudget\r\n")
            .WriteTo(mailbox_);
        fs::create_directories(dir_ / "out");
    }

    std::string Out() const { return (dir_ / "out").string(); }
    std::string Job(const std::string& name = "job.xml") const { return (dir_ / name).string(); }

    // Saves a job file built directly on the job object.
    std::string SaveJob(const std::function<void(TSettingFile&)>& fill,
                        const std::string& name = "made.xml") {
        TSettingFile settings;
        fill(settings);
        const ScopedReportSink quiet([](const Report&) {});
        EXPECT_TRUE(settings.Save(Job(name)));
        return Job(name);
    }

    TempDir dir_;
    std::string mailbox_;
};

TEST_F(RunCommandTest, RunGivesTheSameFilesAsConvertWithTheSameOptions) {
    const Result converted =
        Cli({"convert", "-o", Out(), "--naming", "subject", "--where", "header:example.jp",
             "--where", "body:budget", "--ignore-case", "--save-job", Job(), mailbox_});
    ASSERT_EQ(converted.status, kExitOk) << converted.err;
    const auto expected = Files(Out());
    // Messages one and three hold both texts (three in upper case); two and four do not.
    ASSERT_EQ(expected.size(), 2u);
    EXPECT_EQ(expected.count("Report one.eml"), 1u);
    EXPECT_EQ(expected.count("会議の案内.eml"), 1u);

    fs::remove_all(Out());
    fs::create_directories(Out());
    const Result ran = Cli({"run", Job()});
    EXPECT_EQ(ran.status, kExitOk) << ran.err;
    EXPECT_EQ(ran.out, converted.out);
    EXPECT_EQ(Files(Out()), expected);
}

TEST_F(RunCommandTest, RegularExpressionAndAllWordsOptions) {
    // All words: both words must occur somewhere in the message.
    Result r = Cli({"convert", "-o", Out(), "--all-words", "--where", "Report　budget",
                    mailbox_});  // a full-width space between the words
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(Files(Out()).size(), 1u);  // message four ("budget" in lower case)
    EXPECT_NE(r.out.find("読んだメール 4 通、書いたメール 1 通"), std::string::npos) << r.out;

    fs::remove_all(Out());
    fs::create_directories(Out());
    // A regular expression respects case: message three's body starts with BUDGET and is not
    // taken.
    r = Cli({"convert", "-o", Out(), "--regexp", "--where", "body:^budget", "--where",
             "header:^From: [a-d]@", mailbox_});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.out.find("読んだメール 4 通、書いたメール 1 通"), std::string::npos) << r.out;
}

TEST_F(RunCommandTest, SavedJobHoldsWhatTheOptionsDescribe) {
    const Result r =
        Cli({"convert", "-o",          "out",           "--naming", "param",
             "--param", "番号:",       "--param-place", "header",   "--param-line",
             "next",    "--all-words", "--regexp",      "--where",  "body:\"b c\" ①",
             "--where", "x",           "--save-job",    Job(),      "--per-mailbox-folder",
             mailbox_,  mailbox_});
    // "out" is relative to the working folder, where it does not exist: the checks refuse the
    // run after the job was saved.
    EXPECT_EQ(r.status, kExitUsage);
    EXPECT_NE(r.err.find("変換先のディレクトリが見つかりません。"), std::string::npos) << r.err;

    TSettingFile settings;
    ASSERT_TRUE(settings.Load(Job()));
    EXPECT_EQ(settings.GetInportPaths(), (std::vector<std::string>{mailbox_}));
    EXPECT_EQ(settings.GetExportPath(), (fs::current_path() / "out").string());
    EXPECT_EQ(settings.GetNamingType(), TNamingType::Parameter);
    EXPECT_EQ(settings.GetNamingTypeParameter(),
              (TFindParam{Sjis("番号:"), TNamingLine::NextLine, TNamingPos::Header}));
    EXPECT_TRUE(settings.GetCreateDir());
    const std::vector<TFindType> expected = {
        {kFindPosBody, "b c", false, true},
        {kFindPosBody, Sjis("①"), false, true},
        {kFindPosAll, "x", false, true},
    };
    EXPECT_EQ(settings.GetConditions(), expected);
}

TEST_F(RunCommandTest, ConditionTextsThatCannotBeUsedAreRefused) {
    const std::vector<std::vector<std::string>> refused = {
        {"--where", "body:😀"},   // no Shift_JIS form
        {"--where", "header:"},  // nothing to look for
        {"--all-words", "--where", "　 "},
        {"--regexp", "--where", "[abc"},  // invalid expression
    };
    for (const auto& options : refused) {
        std::vector<std::string> args = {"convert", "-o", Out(), "--save-job", Job()};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(mailbox_);
        const Result r = Cli(args);
        EXPECT_EQ(r.status, kExitUsage) << options.back();
        EXPECT_NE(r.err.find("--where"), std::string::npos) << r.err;
        EXPECT_TRUE(Files(Out()).empty());
        EXPECT_FALSE(fs::exists(Job()));
    }
}

TEST_F(RunCommandTest, JobThatCannotBeSavedIsNotRun) {
    const Result r = Cli({"convert", "-o", Out(), "--where", "Report", "--save-job",
                          (dir_ / "no" / "such" / "job.xml").string(), mailbox_});
    EXPECT_EQ(r.status, kExitFailures);
    EXPECT_NE(r.err.find("を保存できません。"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(Files(Out()).empty());
}

TEST_F(RunCommandTest, SaveJobNeverReplacesAFileThatIsNoJob) {
    std::ifstream in(mailbox_, std::ios::binary);
    const std::string mailbox_bytes(std::istreambuf_iterator<char>(in), {});
    const std::string notes = Job("notes.txt");
    std::ofstream(notes) << "my notes\n";
    for (const std::string& target : {mailbox_, notes}) {
        const Result r = Cli({"convert", "-o", Out(), "--save-job", target, mailbox_});
        EXPECT_EQ(r.status, kExitUsage) << target;
        EXPECT_NE(r.err.find("設定ファイルではない"), std::string::npos) << r.err;
        EXPECT_TRUE(Files(Out()).empty());
    }
    std::ifstream again(mailbox_, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), {}), mailbox_bytes);
    EXPECT_EQ(Files(dir_.path())["notes.txt"], "my notes\n");

    // A job file of this program is replaced as before.
    ASSERT_EQ(Cli({"convert", "-o", Out(), "--save-job", Job(), mailbox_}).status, kExitOk);
    const Result r =
        Cli({"convert", "-o", Out(), "--where", "Budget", "--save-job", Job(), mailbox_});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    TSettingFile settings;
    ASSERT_TRUE(settings.Load(Job()));
    EXPECT_EQ(settings.GetConditions().size(), 1u);
}

TEST_F(RunCommandTest, EscapeErrorInOneMessageCostsThatMessageOnly) {
    const std::string mailbox = (dir_ / "escapes.dbx").string();
    DbxBuilder()
        .AddMessage("Subject: a\r\n\r\nfine\r\n")
        .AddMessage("Subject: b\r\n\r\nbad escape \\xZZ\r\n")
        .AddMessage("Subject: c\r\n\r\nfine too\r\n")
        .WriteTo(mailbox);
    const Result r = Cli({"convert", "-o", Out(), "--regexp", "--where", "body:fine", mailbox});
    EXPECT_EQ(r.status, kExitFailures);
    EXPECT_NE(r.err.find("(escapes.dbx):[1] 正規表現の処理でエラーが発生しました。"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("読んだメール 3 通、書いたメール 2 通、失敗 1 通。失敗したファイル 0 個"),
              std::string::npos)
        << r.out;
}

TEST_F(RunCommandTest, JobsThatFailTheirChecksRunNothing) {
    const std::string missing_folder = (dir_ / "missing").string();
    struct Case {
        std::function<void(TSettingFile&)> fill;
        std::string message;
    };
    const std::vector<Case> cases = {
        // No sources is reported first, even when the destination is missing too.
        {[&](TSettingFile& s) { s.SetExportPath(missing_folder); },
         "変換元のDBXファイルが指定されていません。"},
        {[&](TSettingFile& s) {
             s.AddInportPath(mailbox_);
             s.SetExportPath(missing_folder);
             s.SetNamingType(TNamingType::Parameter);
         },
         "変換先のディレクトリが見つかりません。 " + missing_folder},
        {[&](TSettingFile& s) {
             s.AddInportPath(mailbox_);
             s.SetExportPath(Out());
             s.SetNamingType(TNamingType::Parameter);
         },
         "パラメータ文字が指定されていません。"},
    };
    for (const Case& c : cases) {
        const Result r = Cli({"run", SaveJob(c.fill)});
        EXPECT_EQ(r.status, kExitUsage) << c.message;
        EXPECT_EQ(r.err, "brindle-cli: " + c.message + "\n");
        EXPECT_TRUE(Files(Out()).empty());
    }
}

TEST_F(RunCommandTest, RunChecksTheJobAsConvertDoesBeforeWritingAnything) {
    // An invalid expression is one error, not one per message.
    const std::string invalid = SaveJob([&](TSettingFile& s) {
        s.AddInportPath(mailbox_);
        s.SetExportPath(Out());
        s.AddCondition({kFindPosBody, "budget", false, true});
        s.AddCondition({kFindPosAll, "x(y", false, true});
    });
    Result r = Cli({"run", invalid});
    EXPECT_EQ(r.status, kExitUsage);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("x(y"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(Files(Out()).empty());

    // Numbers out of range are refused, not replaced by the editor's defaults.
    for (const std::string& element :
         {std::string("<NamingType>5</NamingType>"),
          std::string("<NamingType>2</NamingType><NamingTypeParameter><ParamText>ID:</ParamText>"
                      "<NamingPos>3</NamingPos></NamingTypeParameter>"),
          std::string("<ConditionList><Condition FindPos=\"7\" Capital=\"0\" Regexp=\"0\">"
                      "budget</Condition></ConditionList>")}) {
        const std::string file = Job("range.xml");
        std::ofstream(file) << "<?xml version=\"1.0\"?><Brindle><InportPath><Path>" << mailbox_
                            << "</Path></InportPath><ExportPath>" << Out() << "</ExportPath>"
                            << element << "</Brindle>";
        r = Cli({"run", file});
        EXPECT_EQ(r.status, kExitUsage) << element;
        EXPECT_NE(r.err.find("は使えません"), std::string::npos) << r.err;
        EXPECT_TRUE(Files(Out()).empty());
    }
}

TEST_F(RunCommandTest, EqualConditionsAreKeptOnce) {
    const Result r = Cli({"convert", "-o", Out(), "--all-words", "--where", "foo foo \"foo\"",
                          "--where", "foo", "--where", "body:foo", "--save-job", Job(), mailbox_});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    TSettingFile settings;
    ASSERT_TRUE(settings.Load(Job()));
    const std::vector<TFindType> expected = {{kFindPosAll, "foo", false, false},
                                             {kFindPosBody, "foo", false, false}};
    EXPECT_EQ(settings.GetConditions(), expected);
}

TEST_F(RunCommandTest, JobSavedOnWindowsNamesItsMailboxesByTheirFileName) {
    const std::string windows = "C:\\Mail\\Inbox.dbx";
    const std::string job = SaveJob([&](TSettingFile& s) {
        s.AddInportPath(windows);
        s.AddInportPath(mailbox_);
        s.SetExportPath(Out());
        s.SetCreateDir(true);
    });
    const Result r = Cli({"run", job});
    EXPECT_EQ(r.status, kExitFailures);
    EXPECT_EQ(r.err.rfind("brindle-cli: (Inbox.dbx):ファイルが開けません。 " + windows + ": ", 0),
              0u)
        << r.err;
    // The per-mailbox folder is named after the file, not after the whole Windows path.
    EXPECT_TRUE(fs::is_directory(dir_ / "out" / "Inbox")) << r.err;
    EXPECT_EQ(Files(Out()).size(), 4u);
    for (const auto& [name, text] : Files(Out())) {
        EXPECT_EQ(name.rfind("inbox/", 0), 0u) << name;
    }
}

TEST_F(RunCommandTest, JobFilesThatCannotBeLoaded) {
    const std::string not_xml = Job("broken.xml");
    std::ofstream(not_xml) << "<Brindle><ExportPath>";
    Result r = Cli({"run", not_xml});
    EXPECT_EQ(r.status, kExitUsage);
    EXPECT_NE(r.err.find("XMLとして読めません"), std::string::npos) << r.err;
    r = Cli({"run", Job("missing.xml")});
    EXPECT_EQ(r.status, kExitUsage);
    EXPECT_NE(r.err.find(Job("missing.xml") + " を開けません。"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(Cli({"run"}).status, kExitUsage);
}

}  // namespace
}  // namespace brindle::cli
