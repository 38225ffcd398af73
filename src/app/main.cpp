// Start-up of the desktop program: the application titled "Brindle", the job, the main window
// and the event loop. The arguments accepted are a settings file to open or mailboxes to add to
// a new job (for a file manager's "open with"); everything else is done in the window.
#include <QApplication>
#include <QIcon>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/form_main.hpp"
#include "settings/setting_file.hpp"
#include "ui/modal_service.hpp"

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

}  // namespace

int main(int argc, char** argv) {
    if (!HasDisplay()) {
        std::fputs(
            "brindle: no display (DISPLAY and WAYLAND_DISPLAY are unset); "
            "use brindle-cli to convert without a window.\n",
            stderr);
        return 1;
    }
    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brindle"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("brindle"), QIcon(QStringLiteral(":/brindle.png"))));

    const QStringList arguments = QApplication::arguments().mid(1);
    if (!brindle::CanOpenTogether(arguments)) {
        std::fputs("usage: brindle [JOB.xml | MAILBOX.dbx...]\n", stderr);
        return 2;
    }

    const brindle::ScopedReportBoxes report_boxes;
    brindle::TSettingFile settings;
    brindle::TFormMain form(settings);
    form.show();
    form.OpenFiles(arguments);
    return QApplication::exec();
}
