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
    CLI::App* sub = app.add_subcommand(
        "run",
        "Run the job saved in a settings file: its mailboxes, destination, naming and "
        "conditions, checked and converted as convert does");
    sub->footer(kExitStatusHelp);
    Verbatim(sub->add_option("job", *file, "Settings file of the job"))
        ->type_name("JOB.xml")
        ->required();
    sub->callback([file, &context] {
        TSettingFile settings;
        std::vector<std::string> refused;
        bool loaded = false;
        {
            const ScopedReportSink sink(
                [&context](const Report& report) { context.err << report.message << "\n"; });
            loaded = settings.Load(*file, &refused);
        }
        // The editor shows what it kept of a value out of range; run unattended, such a job
        // would do something else than its file says.
        for (const std::string& note : refused) {
            context.err << note << "\n";
        }
        context.status =
            loaded && refused.empty() ? RunJob(settings.GetJob(), context) : kExitUsage;
    });
}

}  // namespace brindle::cli
