// Start-up of the desktop program: the application titled "Brindle", the job, the main window
// and the event loop. The arguments accepted are a settings file to open or mailboxes to add to
// a new job (for a file manager's "open with"); everything else is done in the window.
// --help and --version answer on the terminal and need no display.
#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIcon>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "app/form_main.hpp"
#include "app/start_up.hpp"
#include "platform/language.hpp"
#include "platform/version_info.hpp"
#include "settings/setting_file.hpp"
#include "ui/modal_service.hpp"
#include "ui/ui_text.hpp"
#include "ui/widgets.hpp"
#include "ui/window_messages.hpp"

namespace {

// An error that reaches the event loop is shown in the standard error box instead of ending
// the program.
class TApplication final : public QApplication {
  public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            brindle::ShowMessage(activeWindow(), brindle::MessageKind::Error,
                                 QString::fromUtf8(error.what()));
        }
        return false;
    }
};

bool HasDisplay() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

void DescribeArguments(QCommandLineParser& parser) {
    parser.setApplicationDescription(brindle::WindowText(brindle::WindowMsg::ProgramDescription));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"),
                                 brindle::WindowText(brindle::WindowMsg::ProgramFilesArgument),
                                 QStringLiteral("[JOB.xml | MAILBOX.dbx...]"));
}

// Whether an argument before "--" asks for the help or the version, which are answered before
// anything needs a display.
bool AsksForHelpOrVersion(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0) {
            return false;
        }
        for (const char* option : {"-h", "-?", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(arg, option) == 0) {
                return true;
            }
        }
    }
    return false;
}

void SetNames() {
    QCoreApplication::setApplicationName(QString::fromUtf8(brindle::version_info::kProductName));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(brindle::version_info::kFileVersion));
}

}  // namespace

int main(int argc, char** argv) {
    brindle::SetCurrentLanguage(brindle::LanguageFromEnvironment());
    if (AsksForHelpOrVersion(argc, argv)) {
        const QCoreApplication core(argc, argv);
        SetNames();
        brindle::UseQtTexts(brindle::CurrentLanguage());  // the parser's own headings
        QCommandLineParser parser;
        DescribeArguments(parser);
        parser.process(core);  // prints the help or the version and exits
        return 0;
    }
    if (!HasDisplay()) {
        std::fprintf(stderr, "brindle: %s\n",
                     brindle::Msg(brindle::WindowMsg::ProgramNoDisplay).Render().c_str());
        return 1;
    }
    TApplication app(argc, argv);
    SetNames();
    brindle::SetUpApplication(brindle::CurrentLanguage());
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("brindle"), QIcon(QStringLiteral(":/brindle.png"))));

    QCommandLineParser parser;
    DescribeArguments(parser);
    const bool parsed = parser.parse(QApplication::arguments());
    const QStringList files = parser.positionalArguments();
    if (!parsed || !brindle::CanOpenTogether(files)) {
        const QString reason =
            parsed ? brindle::WindowText(brindle::WindowMsg::ProgramOneJobOrMailboxes)
                   : parser.errorText();
        std::fprintf(stderr, "brindle: %s\n%s\n", reason.toUtf8().constData(),
                     brindle::Msg(brindle::WindowMsg::ProgramUsage).Render().c_str());
        return 2;
    }

    const brindle::ScopedReportBoxes report_boxes;
    brindle::TSettingFile settings;
    brindle::TFormMain form(settings);
    form.show();
    form.OpenFiles(files);
    return QApplication::exec();
}
