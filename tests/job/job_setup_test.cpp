#include "job/job_setup.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/fake_mail.hpp"
#include "platform/core_messages.hpp"
#include "settings/observer.hpp"
#include "settings/setting_file.hpp"
#include "support/temp_dir.hpp"

namespace brindle {
namespace {

TJobData RunnableJob(const test::TempDir& dir) {
    TJobData job;
    job.InportPath = {"/in/a.dbx"};
    job.ExportPath = dir.path().string();
    return job;
}

TEST(CheckJob, ReportsTheFirstProblemInTheMainWindowsOrder) {
    const test::TempDir dir;
    TJobData job;
    const std::string missing = (dir.path() / "none").string();
    job.ExportPath = missing;
    job.NamingType = TNamingType::Parameter;
    const auto expect = [&job](CoreMsg entry, const std::string& message,
                               const std::string& detail) {
        const auto problem = CheckJob(job);
        ASSERT_TRUE(problem.has_value()) << message;
        EXPECT_TRUE(problem->text.Is(Text(entry))) << problem->message;
        EXPECT_EQ(problem->message, message);
        EXPECT_EQ(problem->detail, detail);
    };
    expect(CoreMsg::JobNoSource, "変換元のDBXファイルが指定されていません。", {});
    job.InportPath = {"a.dbx"};
    expect(CoreMsg::JobNoDestination, "変換先のディレクトリが見つかりません。", missing);
    job.ExportPath = dir.path().string();
    expect(CoreMsg::JobNoParameterText, "パラメータ文字が指定されていません。", {});
    job.NamingTypeParameter.ParamText = "ID:";
    EXPECT_EQ(CheckJob(job), std::nullopt);
    // The parameter's place only matters when naming by parameter.
    job.NamingTypeParameter.NamingPos = static_cast<TNamingPos>(4);
    ASSERT_TRUE(CheckJob(job).has_value());
    EXPECT_EQ(CheckJob(job)->message, "パラメータの指定が正しくありません。");
    job.NamingType = TNamingType::Subject;
    EXPECT_EQ(CheckJob(job), std::nullopt);
    job.NamingType = static_cast<TNamingType>(3);
    ASSERT_TRUE(CheckJob(job).has_value());
    EXPECT_EQ(CheckJob(job)->detail, "NamingType 3");
}

TEST(CheckJob, InvalidRegularExpressionIsOneProblemNamingItsPlace) {
    const test::TempDir dir;
    TJobData job = RunnableJob(dir);
    job.ConditionList = {{kFindPosAll, "[abc", false, false},  // a literal: never compiled
                         {kFindPosBody, "ok.*", false, true},
                         {kFindPosAll, "x(y", false, true}};
    const auto problem = CheckJob(job);
    ASSERT_TRUE(problem.has_value());
    EXPECT_TRUE(problem->text.Is(Text(CoreMsg::RegexNeedCloseParenthesis))) << problem->message;
    EXPECT_EQ(problem->message, problem->text.Render());
    EXPECT_EQ(problem->detail.rfind("x(y (", 0), 0u) << problem->detail;
    EXPECT_NE(problem->detail.find("文字目)"), std::string::npos) << problem->detail;
    job.ConditionList.pop_back();
    EXPECT_EQ(CheckJob(job), std::nullopt);
}

TEST(MakeConvertJob, CarriesTheNamingRuleAndFiltersByTheConditions) {
    const test::TempDir dir;
    TJobData job = RunnableJob(dir);
    job.InportPath.push_back("/in/b.dbx");
    job.CreateDir = true;
    job.NamingType = TNamingType::Parameter;
    job.NamingTypeParameter = {"x-id", TNamingLine::NextLine, TNamingPos::Header};
    const TConvertJob run = MakeConvertJob(job);
    EXPECT_EQ(run.sources, job.InportPath);
    EXPECT_EQ(run.destination, job.ExportPath);
    EXPECT_TRUE(run.create_dir);
    EXPECT_EQ(run.naming.type, TNamingType::Parameter);
    EXPECT_EQ(run.naming.param_text, "x-id");
    EXPECT_EQ(run.naming.pos, TNamingPos::Header);
    EXPECT_EQ(run.naming.line, TNamingLine::NextLine);
    EXPECT_FALSE(run.filter);  // no conditions: every message

    job.ConditionList = {{kFindPosBody, "budget", true, false}};
    const TConvertJob filtered = MakeConvertJob(job);
    ASSERT_TRUE(filtered.filter);
    EXPECT_TRUE(filtered.filter(test::FakeMail().Body({"The BUDGET"})));
    EXPECT_FALSE(filtered.filter(test::FakeMail().Body({"nothing"})));
}

TEST(StoreJob, ReplacesTheHeldJobThroughTheSetters) {
    TSettingFile settings;
    settings.AddInportPath("/old.dbx");
    settings.AddCondition({kFindPosAll, "old", false, false});
    int notices = 0;
    struct Counter : TObservable {
        int* count;
        explicit Counter(int* c) : count(c) {}
        void Update() override { ++*count; }
    } counter(&notices);
    const auto registration = settings.AddObservable(counter);

    TJobData job;
    job.InportPath = {"/a.dbx", "/b.dbx", "/a.dbx"};
    job.ExportPath = "/out";
    job.NamingType = TNamingType::Parameter;
    job.NamingTypeParameter = {"No:", TNamingLine::SameLine, TNamingPos::Body};
    job.CreateDir = true;
    job.ConditionList = {{kFindPosHeader, "x", false, true}};
    StoreJob(settings, job);

    job.InportPath.pop_back();  // a source listed twice is kept once
    EXPECT_EQ(settings.GetJob(), job);
    EXPECT_TRUE(settings.GetModified());
    EXPECT_GT(notices, 0);
}

}  // namespace
}  // namespace brindle
