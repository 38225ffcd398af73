#include "cli/run_command.hpp"

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <vector>

#include "cli/convert_command.hpp"
#include "platform/report.hpp"
#include "settings/setting_file.hpp"

namespace brindle::cli {

void AddRunCommand(CLI::App& app, CliContext& context) {
    auto file = std::make_shared<std::string>();
    CLI::App* sub = app.add_subcommand(
        "run", "Run a job saved as a settings file (.xml) exactly as the main window would");
    sub->add_option("job", *file, "Settings file of the job")->required();
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
