#include "cli/stores_command.hpp"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/arguments.hpp"
#include "mailbox/store_finder.hpp"
#include "platform/text_encoding.hpp"

namespace brindle::cli {
namespace {

std::string Megabytes(std::uintmax_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

}  // namespace

void AddStoresCommand(CLI::App& app, CliContext& context) {
    auto disks = std::make_shared<std::vector<std::string>>();
    auto prefixes = std::make_shared<std::vector<std::string>>();
    CLI::App* stores = app.add_subcommand("stores", Say(CliMsg::StoresDescription));
    stores->footer(ExitStatusHelp());
    Verbatim(stores->add_option("--disk", *disks, Say(CliMsg::DiskOption)))->type_name("DIR");
    Verbatim(stores->add_option("--prefix", *prefixes, Say(CliMsg::PrefixOption)))
        ->type_name("DIR");
    stores->callback([disks, prefixes, &context] {
        TStoreSearch search;
        if (disks->empty() && prefixes->empty()) {
            search = TStoreSearch::Defaults();
        } else {
            search.disks.assign(disks->begin(), disks->end());
            search.wine_prefixes.assign(prefixes->begin(), prefixes->end());
        }
        const std::vector<TFoundStore> found = FindStores(search);
        if (found.empty()) {
            context.Error() << Say(CliMsg::NoStoresFound) << "\n";
        }
        for (const TFoundStore& store : found) {
            context.out << SanitizeUtf8(store.folder.string()) << "\t"
                        << Say(CliMsg::StoreMailboxes, {{"count", std::to_string(store.mailboxes)}})
                        << "\t" << Megabytes(store.bytes) << "\n";
        }
    });
}

}  // namespace brindle::cli
