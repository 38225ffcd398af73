#include "cli/cli_app.hpp"

#include <CLI/CLI.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/arguments.hpp"

#include "cli/cli_context.hpp"
#include "cli/convert_command.hpp"
#include "cli/list_command.hpp"
#include "cli/run_command.hpp"
#include "cli/stores_command.hpp"
#include "platform/version_info.hpp"

namespace brindle::cli {

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           bool err_is_terminal) {
    CliContext context{out, err, err_is_terminal};
    CLI::App app{"Brindle: Outlook Express mailboxes (MAILBOX.dbx) to one .eml file per message",
                 "brindle-cli"};
    app.set_version_flag(
        "--version", std::string(version_info::kProductName) + " " + version_info::kFileVersion);
    app.require_subcommand(1);
    AddConvertCommand(app, context);
    AddListCommand(app, context);
    AddRunCommand(app, context);
    AddStoresCommand(app, context);

    app.footer(kExitStatusHelp);
    std::vector<std::string> args = ArgumentsForParser(argc, argv);
    try {
        app.parse(args);
    } catch (const CLI::ParseError& e) {
        std::ostringstream parser_out;
        std::ostringstream parser_err;
        const int code = app.exit(e, parser_out, parser_err);
        out << WithoutMarks(parser_out.str());
        err << WithoutMarks(parser_err.str());
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
