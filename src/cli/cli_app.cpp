#include "cli/cli_app.hpp"

#include <CLI/CLI.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/arguments.hpp"

#include "cli/cli_context.hpp"
#include "cli/convert_command.hpp"
#include "cli/list_command.hpp"
#include "cli/run_command.hpp"
#include "cli/stores_command.hpp"
#include "platform/language.hpp"
#include "platform/version_info.hpp"

namespace brindle::cli {
namespace {

// The language comes before the parser is built, as the help's texts are given to it then:
// --lang VALUE or --lang=VALUE anywhere among the arguments, else the environment's.
std::optional<std::string> GivenLanguage(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            break;
        }
        if (arg == "--lang" && i + 1 < argc) {
            return std::string(argv[i + 1]);
        }
        if (arg.starts_with("--lang=")) {
            return std::string(arg.substr(7));
        }
    }
    return std::nullopt;
}

void UseLanguageLabels(CLI::App& app) {
    auto formatter = app.get_formatter();
    for (const auto& [key, id] :
         {std::pair{"Usage", CliMsg::LabelUsage}, std::pair{"OPTIONS", CliMsg::LabelOptions},
          std::pair{"Positionals", CliMsg::LabelPositionals},
          std::pair{"SUBCOMMAND", CliMsg::LabelSubcommand},
          std::pair{"REQUIRED", CliMsg::LabelRequired}}) {
        formatter->label(key, Say(id));
    }
    app.option_defaults()->group(Say(CliMsg::LabelOptionsGroup));
    app.set_help_flag("-h,--help", Say(CliMsg::HelpFlag));
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           bool err_is_terminal) {
    CliContext context{out, err, err_is_terminal};
    SetCurrentLanguage(LanguageFromEnvironment());
    std::string language_code;
    if (const auto given = GivenLanguage(argc, argv)) {
        if (*given != "ja" && *given != "en") {
            context.Error() << Say(CliMsg::BadLanguage, {{"value", *given}}) << "\n";
            return kExitUsage;
        }
        SetCurrentLanguage(*given == "ja" ? Language::Japanese : Language::English);
    }
    CLI::App app{Say(CliMsg::AppDescription), "brindle-cli"};
    UseLanguageLabels(app);
    app.set_version_flag("--version",
                         std::string(version_info::kProductName) + " " + version_info::kFileVersion,
                         Say(CliMsg::VersionFlag));
    // Taken before the parser runs (above); declared so that the parser accepts it anywhere.
    app.add_option("--lang", language_code, Say(CliMsg::LangOption))->type_name("ja|en");
    app.fallthrough();
    app.require_subcommand(1);
    AddConvertCommand(app, context);
    AddListCommand(app, context);
    AddRunCommand(app, context);
    AddStoresCommand(app, context);
    for (CLI::App* command : app.get_subcommands({})) {
        command->group(Say(CliMsg::LabelSubcommands));
    }

    app.footer(ExitStatusHelp());
    std::vector<std::string> args = ArgumentsForParser(argc, argv);
    try {
        app.parse(args);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() != 0) {
            // The parser's own words are English; they go inside a sentence of the chosen
            // language, which says what to do.
            context.Error() << Say(CliMsg::UsageError, {{"detail", WithoutMarks(e.what())}})
                            << "\n";
            return kExitUsage;
        }
        std::ostringstream parser_out;
        std::ostringstream parser_err;
        app.exit(e, parser_out, parser_err);
        out << WithoutMarks(parser_out.str());
        err << WithoutMarks(parser_err.str());
        return kExitOk;
    }
    // A listing or summary that did not reach its reader (a full disk, a closed pipe) is a
    // failure of the command, not a success with nothing to show.
    out.flush();
    if (!out) {
        context.Error() << Say(CliMsg::StandardOutputFailed) << "\n";
        if (context.status == kExitOk) {
            context.status = kExitFailures;
        }
    }
    return context.status;
}

}  // namespace brindle::cli
