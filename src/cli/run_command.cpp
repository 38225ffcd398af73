#include "cli/run_command.hpp"

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <vector>

#include "cli/arguments.hpp"
#include "cli/convert_command.hpp"
#include "platform/report.hpp"
#include "settings/setting_file.hpp"

namespace brindle::cli {

void AddRunCommand(CLI::App& app, CliContext& context) {
    auto file = std::make_shared<std::string>();
    CLI::App* sub = app.add_subcommand("run", Say(CliMsg::RunDescription));
    sub->footer(ExitStatusHelp());
    Verbatim(sub->add_option("job", *file, Say(CliMsg::RunJobArgument)))
        ->type_name("JOB.xml")
        ->required();
    sub->callback([file, &context] {
        TSettingFile settings;
        std::vector<std::string> refused;
        bool loaded = false;
        {
            const ScopedReportSink sink(
                [&context](const Report& report) { context.Error() << report.message << "\n"; });
            loaded = settings.Load(*file, &refused);
        }
        // The editor shows what it kept of a value out of range; run unattended, such a job
        // would do something else than its file says.
        for (const std::string& note : refused) {
            context.Error() << note << "\n";
        }
        context.status =
            loaded && refused.empty() ? RunJob(settings.GetJob(), context) : kExitUsage;
    });
}

}  // namespace brindle::cli
