// The core's errors and warnings as a user of the English front ends reads them: raised by the
// code that raises them, rendered whole in English, with their paths, numbers and reasons in
// place. A sentence glued from Japanese pieces would show here.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "job/job_setup.hpp"
#include "mailbox/dbx_parser.hpp"
#include "platform/exception.hpp"
#include "platform/language.hpp"
#include "platform/report.hpp"
#include "settings/job_xml.hpp"
#include "settings/setting_file.hpp"
#include "support/dbx_builder.hpp"
#include "support/temp_dir.hpp"

namespace brindle {
namespace {

class ScopedLanguage {
  public:
    explicit ScopedLanguage(Language language) : previous_(CurrentLanguage()) {
        SetCurrentLanguage(language);
    }
    ~ScopedLanguage() { SetCurrentLanguage(previous_); }
    ScopedLanguage(const ScopedLanguage&) = delete;
    ScopedLanguage& operator=(const ScopedLanguage&) = delete;

  private:
    Language previous_;
};

// The exception's text and its reason, as the command line prints them.
std::string Raised(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.Reason().empty() ? e.what() : std::string(e.what()) + " | " + e.Reason();
    }
    return "(nothing raised)";
}

TEST(CoreTexts, ErrorsAndWarningsRenderWholeInEnglish) {
    const ScopedLanguage english(Language::English);
    const test::TempDir dir;
    const std::string missing = (dir / "none.dbx").string();
    std::ofstream(dir / "empty.dbx").flush();
    const std::string mailbox = (dir / "in.dbx").string();
    test::DbxBuilder().AddMessages(3).HeaderCount(1).WriteTo(mailbox);
    std::vector<Report> reports;
    const ScopedReportSink sink([&reports](const Report& r) { reports.push_back(r); });

    const struct {
        const char* what;
        std::function<std::string()> render;
        std::string expected;
    } cases[] = {
        {"a mailbox that is not there",
         [&] { return Raised([&] { TDBXParser(missing).GetMailCount(); }); },
         "Cannot open the file. | " + ErrnoText(ENOENT)},
        {"an empty file", [&] { return *TDBXParser::WhyNoMailbox(dir / "empty.dbx"); },
         "The file is empty: it is no mail folder (.dbx)."},
        {"a header count below the messages found",
         [&] {
             TDBXParser parser(mailbox);
             static_cast<void>(parser.GetMailCount());
             return parser.GetWarnings().at(0);
         },
         "The header counts 1 message, the file gives 3; converting all it gives."},
        {"a settings file that is not there",
         [&] {
             TSettingFile settings;
             settings.Load(missing);
             return reports.empty() ? std::string() : reports.back().message;
         },
         "Cannot open the file " + missing + "."},
        {"saving over a mailbox", [&] { return TSettingFile::ReplaceRefusal(mailbox)->Render(); },
         "The file " + mailbox +
             " is an Outlook Express mailbox (.dbx), not a settings file; it is not overwritten."},
        {"a settings file of another program",
         [&] {
             return Raised([] {
                 TJobData job;
                 ReadJobXml("<Other/>", job);
             });
         },
         "This is no settings file of this program (its root element is not Brindle)."},
        {"a value out of its range",
         [&] {
             TJobData job;
             std::vector<std::string> refused;
             ReadJobXml("<Brindle><NamingType>7</NamingType></Brindle>", job, &refused);
             return refused.empty() ? std::string() : refused[0];
         },
         "The settings file's NamingType value 7 cannot be used (0 to 2)."},
        {"a path the settings file cannot hold",
         [&] {
             return Raised([] {
                 TJobData job;
                 job.ExportPath = "/out\x01";
                 static_cast<void>(WriteJobXml(job));
             });
         },
         "The path /out\x01 holds control characters that the settings file cannot hold."},
        {"an invalid regular expression",
         [&] {
             TJobData job;
             job.InportPath = {"/in/a.dbx"};
             job.ExportPath = dir.path().string();
             job.ConditionList = {{kFindPosAll, "x(y", false, true}};
             const auto problem = CheckJob(job);
             return problem ? problem->message + " | " + problem->detail : std::string();
         },
         "A closing parenthesis \")\" is needed | x(y (character 4)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.render(), c.expected) << c.what;
    }
}

}  // namespace
}  // namespace brindle
