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
    CLI::App* stores = app.add_subcommand(
        "stores",
        "The Outlook Express stores found in Wine prefixes and on mounted Windows disks: folder, "
        "mailboxes, size");
    stores->footer(kExitStatusHelp);
    Verbatim(stores->add_option("--disk", *disks,
                                "Look on this Windows disk (its root folder) instead of the "
                                "mounted ones; may be repeated"))
        ->type_name("DIR");
    Verbatim(stores->add_option("--prefix", *prefixes,
                                "Look in this Wine prefix instead of the usual ones; may be "
                                "repeated"))
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
            context.err << "Outlook Express のメールの保存フォルダは見つかりませんでした。\n";
        }
        for (const TFoundStore& store : found) {
            context.out << SanitizeUtf8(store.folder.string()) << "\t" << store.mailboxes
                        << " mailboxes\t" << Megabytes(store.bytes) << "\n";
        }
    });
}

}  // namespace brindle::cli
