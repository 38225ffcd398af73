#include "cli/cli_app.hpp"

#include <CLI/CLI.hpp>

#include "cli/cli_context.hpp"
#include "cli/convert_command.hpp"
#include "cli/list_command.hpp"
#include "cli/run_command.hpp"
#include "platform/version_info.hpp"

namespace brindle::cli {

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           bool err_is_terminal) {
    CliContext context{out, err, err_is_terminal};
    CLI::App app{"Brindle: Outlook Express mailboxes (.dbx) to one .eml file per message",
                 "brindle-cli"};
    app.set_version_flag(
        "--version", std::string(version_info::kProductName) + " " + version_info::kFileVersion);
    app.require_subcommand(1);
    AddConvertCommand(app, context);
    AddListCommand(app, context);
    AddRunCommand(app, context);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? kExitOk : kExitUsage;
    }
    // A listing or summary that did not reach its reader (a full disk, a closed pipe) is a
    // failure of the command, not a success with nothing to show.
    out.flush();
    if (!out) {
        err << "標準出力に書き込めません。出力は不完全です。\n";
        if (context.status == kExitOk) {
            context.status = kExitFailures;
        }
    }
    return context.status;
}

}  // namespace brindle::cli
