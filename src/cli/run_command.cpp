#include "cli/run_command.hpp"

#include <CLI/CLI.hpp>
#include <memory>

#include "cli/convert_command.hpp"
#include "match/mail_match.hpp"
#include "platform/report.hpp"

namespace brindle::cli {

TConvertJob ConvertJobFromSettings(const TSettingFile& settings) {
    TConvertJob job;
    job.sources = settings.GetInportPaths();
    job.destination = settings.GetExportPath();
    job.create_dir = settings.GetCreateDir();
    const TFindParam param = settings.GetNamingTypeParameter();
    job.naming.type = static_cast<TNamingType>(settings.GetNamingType());
    job.naming.param_text = param.ParamText;
    job.naming.pos = param.NamingPos == 1 ? TNamingPos::Header : TNamingPos::Body;
    job.naming.line = param.NamingLine == 1 ? TNamingLine::NextLine : TNamingLine::SameLine;
    job.filter = MakeMailFilter(settings.GetConditions());
    return job;
}

void AddRunCommand(CLI::App& app, CliContext& context) {
    auto file = std::make_shared<std::string>();
    CLI::App* sub = app.add_subcommand(
        "run", "Run a job saved as a settings file (.xml) exactly as the main window would");
    sub->add_option("job", *file, "Settings file of the job")->required();
    sub->callback([file, &context] {
        TSettingFile settings;
        bool loaded = false;
        {
            const ScopedReportSink sink(
                [&context](const Report& report) { context.err << report.message << "\n"; });
            loaded = settings.Load(*file);
        }
        context.status =
            loaded ? RunConvertJob(ConvertJobFromSettings(settings), context) : kExitUsage;
    });
}

}  // namespace brindle::cli
