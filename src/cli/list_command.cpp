// brindle-cli list MAILBOX.dbx|FOLDER...: per mailbox "<file name>: <n> messages" (with
// " [<folder>]" after the name where the store's folder list shows it), n being what the
// index walk finds (with " (header says <m>)" when the header's count differs), then per
// message "<index>\t<bytes>\t<subject>", bytes the length of the stored text and subject the
// decoded subject in UTF-8; control bytes of names and subjects are shown as blanks. Errors are
// printed as the conversion prints them and the listing goes on with the next message or file.
#include "cli/list_command.hpp"

#include <CLI/CLI.hpp>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/arguments.hpp"
#include "cli/convert_command.hpp"
#include "convert/conversion_run.hpp"
#include "convert/store_tree.hpp"
#include "mailbox/dbx_parser.hpp"
#include "message/mail.hpp"
#include "platform/exception.hpp"
#include "platform/report.hpp"
#include "platform/text_encoding.hpp"

namespace brindle::cli {
namespace {

// The subject on one line of a tab-separated listing: TAB, CR and LF would break the columns,
// and the other control bytes (ESC above all) would let a mailbox drive the terminal.
std::string Blanked(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7F') {
            c = ' ';
        }
    }
    return text;
}

std::string ListedSubject(const TBasicMail& mail) {
    const std::vector<std::string> subjects = mail.FieldValues("SUBJECT:");
    return subjects.empty() ? std::string() : Blanked(Cp932ToUtf8(subjects.front()));
}

// "(name):error (the system's reason)" for a mailbox that failed as a whole.
void SayFileFailed(CliContext& context, const std::string& name, const std::exception& e) {
    context.Error() << "(" << name << "):" << e.what();
    if (const auto* error = dynamic_cast<const Exception*>(&e); error && !error->Reason().empty()) {
        context.err << " (" << error->Reason() << ")";
    }
    context.err << "\n";
}

// Lists one mailbox; answers false when the file or any of its messages failed.
bool ListMailbox(const std::string& path, bool salvage, CliContext& context) {
    // A file name is outside data too: blanked like a subject, it cannot break the listing's
    // lines or drive the terminal.
    const std::string name = Blanked(SanitizeUtf8(SourceFileName(path)));
    std::int32_t current = -1;
    // Warnings of the message parser (a header value that fails to decode) name their message.
    const ScopedReportSink sink([&](const Report& report) {
        if (current >= 0) {
            context.Error() << Say(
                CliMsg::MessageWarning,
                {{"name", name}, {"index", std::to_string(current)}, {"warning", report.message}});
        } else {
            context.Error() << Say(CliMsg::FileWarning,
                                   {{"name", name}, {"warning", report.message}});
        }
        context.err << "\n";
    });

    TDBXParser parser(path, salvage);
    std::int32_t count = 0;
    try {
        count = parser.GetMailCount();
    } catch (const std::exception& e) {
        SayFileFailed(context, name, e);
        return false;
    }
    context.out << name;
    // Where the store showed the mailbox, when its folder list says so.
    if (const auto folder = TStoreTree::ForMailbox(path).FolderOf(SourceFileName(path))) {
        context.out << " [" << Blanked(*folder) << "]";
    }
    context.out << ": " << Say(CliMsg::ListCount, {{"count", std::to_string(count)}});
    if (parser.HeaderMessageCount() != count) {
        context.out << " "
                    << Say(CliMsg::ListHeaderSays,
                           {{"count", std::to_string(parser.HeaderMessageCount())}});
    }
    context.out << "\n";
    if (!parser.ReadWarning().empty()) {
        context.Error() << Say(CliMsg::FileWarning,
                               {{"name", name}, {"warning", parser.ReadWarning()}})
                        << "\n";
    }

    bool sound = true;
    for (std::int32_t i = 0; i < count && context.out; ++i) {
        current = i;
        try {
            std::string text = parser.ReadMailText(i);
            const std::size_t size = text.size();
            const auto mail = TMail::FromStoredText(std::move(text));
            context.out << i << "\t" << size << "\t" << ListedSubject(*mail) << "\n";
        } catch (const MailboxError& e) {
            // The file failed or changed: nothing more of it can be read, and saying so once
            // is enough.
            SayFileFailed(context, name, e);
            return false;
        } catch (const std::exception& e) {
            context.Error() << "(" << name << "):[" << i << "] " << e.what() << "\n";
            sound = false;
        }
    }
    return sound;
}

}  // namespace

void AddListCommand(CLI::App& app, CliContext& context) {
    auto mailboxes = std::make_shared<std::vector<std::string>>();
    auto salvage = std::make_shared<bool>(false);
    CLI::App* list = app.add_subcommand("list", Say(CliMsg::ListDescription));
    list->footer(ExitStatusHelp());
    Verbatim(list->add_option("mailboxes", *mailboxes, Say(CliMsg::ListMailboxesArgument)))
        ->type_name("MAILBOX.dbx")
        ->required();
    list->add_flag("--salvage", *salvage, Say(CliMsg::ListSalvageOption));
    list->callback([mailboxes, salvage, &context] {
        for (const std::string& path : ExpandFolders(*mailboxes, context)) {
            if (!context.out) {
                break;  // nobody reads the listing any more
            }
            if (!ListMailbox(path, *salvage, context)) {
                context.status = kExitFailures;
            }
        }
    });
}

}  // namespace brindle::cli
