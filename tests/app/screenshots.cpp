// Pictures of the main window and the conversion dialog for docs/screenshots/, taken by
// scripts/screenshots under xvfb-run (a real X server, so fonts and scaling are the user's).
// Mailboxes and the job are built in a temporary folder; boxes are answered by the scripted
// service, so nothing waits for a hand.
//
// usage: brindle_app_screenshots OUTPUT_FOLDER [SUFFIX]   (SUFFIX: "@150" for the 150 % set)
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>

#include "app/form_convert.hpp"
#include "app/form_main.hpp"
#include "app/help.hpp"
#include "app/hooked_mailbox.hpp"
#include "app/start_up.hpp"
#include "mailbox/dbx_parser.hpp"
#include "message/parsed_mailbox.hpp"
#include "platform/exception.hpp"
#include "platform/text_encoding.hpp"
#include "support/dbx_builder.hpp"
#include "support/temp_dir.hpp"
#include "ui/support/scripted_modal_service.hpp"

namespace {

namespace fs = std::filesystem;
using namespace brindle;
using brindle::test::HookedMailbox;

// Lets the event loop run until done() holds (or a generous limit passes).
template <typename Done>
void Settle(Done done) {
    for (int i = 0; i < 2000 && !done(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
    }
}

bool Save(QWidget& window, const QString& folder, const QString& name, const QString& suffix) {
    const QString path = QDir(folder).filePath(name + suffix + QStringLiteral(".png"));
    const bool saved = window.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    return saved;
}

// A reading error as the core words it, in the window's language.
std::string ReadError() {
    return CurrentLanguage() == Language::Japanese ? "メールの読み取りに失敗しました。(3)"
                                                   : "Cannot read the message (3).";
}

std::string Sjis(const char* utf8) {
    return Utf8ToCp932(utf8).value_or("");
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brindle"));
    SetUpApplication(LanguageFromEnvironment());
    if (argc < 2) {
        std::fputs("usage: brindle_app_screenshots OUTPUT_FOLDER [SUFFIX]\n", stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString suffix = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    testing::ScriptedModalService boxes;
    const ScopedModalService service(boxes);
    bool ok = true;

    const test::TempDir dir;
    const fs::path mail = dir / "メール";
    fs::create_directories(mail);
    const fs::path inbox = mail / "受信トレイ.dbx";
    const fs::path sent = mail / "送信済みアイテム.dbx";
    const fs::path broken = mail / "削除済みアイテム.dbx";
    test::DbxBuilder().AddMessages(400).WriteTo(inbox);
    test::DbxBuilder().AddMessages(30).WriteTo(sent);
    const fs::path out_dir = dir / "変換済み";
    fs::create_directories(out_dir);

    {
        TSettingFile settings;
        TFormMain form(settings);
        form.show();
        Settle([] { return false; });
        ok &= Save(form, out, QStringLiteral("main-empty"), suffix);

        settings.AddInportPath(inbox.string());
        settings.AddInportPath(sent.string());
        settings.SetExportPath(out_dir.string());
        settings.SetNamingType(TNamingType::Subject);
        settings.SetCreateDir(true);
        settings.AddCondition(TFindType{2, Sjis("^Subject:.*(会議|打ち合わせ)"), false, true});
        settings.AddCondition(TFindType{1, Sjis("見積書"), true, false});
        const fs::path job = dir / "job.xml";
        settings.Save(job.string());
        settings.Clear();
        form.LoadSettingFile(QString::fromStdString(job.string()));
        settings.SetCreateDir(true);  // a change after the load: the caption shows (*)
        Settle([] { return false; });
        ok &= Save(form, out, QStringLiteral("main-job"), suffix);
        // Enlarged: the conditions take the room, the buttons stay at the right edge.
        form.resize(form.width() + 260, form.height() + 160);
        Settle([] { return false; });
        ok &= Save(form, out, QStringLiteral("main-wide"), suffix);

        OpenHelp(&form, kHelpContextConditions);
        Settle([] { return false; });
        ok &= Save(*form.findChild<THelpWindow*>(), out, QStringLiteral("help"), suffix);
    }

    {
        // During a run: held at message 150 of the first file.
        std::mutex mutex;
        std::condition_variable cv;
        bool reached = false;
        bool open = false;
        TFormConvert form(
            TConvertJob{{inbox.string(), sent.string()}, out_dir.string(), false, {}, {}}, nullptr);
        form.SetMailboxOpener([&](const std::string& path) {
            return std::make_unique<HookedMailbox>(path, [&](std::int32_t index) {
                if (index == 150 && path == inbox.string()) {
                    std::unique_lock lock(mutex);
                    reached = true;
                    cv.wait(lock, [&] { return open; });
                }
            });
        });
        form.show();
        Settle([&] {
            const std::lock_guard lock(mutex);
            return reached;
        });
        ok &= Save(form, out, QStringLiteral("convert-running"), suffix);
        {
            const std::lock_guard lock(mutex);
            open = true;
        }
        cv.notify_all();
        Settle([&] { return form.RunFinished(); });
    }

    {
        // At the end, with messages that failed on their own and a file that could not be read.
        TFormConvert form(
            TConvertJob{
                {inbox.string(), broken.string(), sent.string()}, out_dir.string(), false, {}, {}},
            nullptr);
        form.SetMailboxOpener([&](const std::string& path) -> std::unique_ptr<TBasicMailParser> {
            if (path == broken.string()) {
                return std::make_unique<TParsedMailbox>(
                    std::make_unique<TDBXParser>(fs::path(path)));
            }
            return std::make_unique<HookedMailbox>(path, [](std::int32_t index) {
                if (index == 17 || index == 233) {
                    throw Exception(ReadError());
                }
            });
        });
        boxes.SetNextAnswer(MessageButton::Ok);
        form.show();
        Settle([&] { return form.RunFinished(); });
        ok &= Save(form, out, QStringLiteral("convert-failures"), suffix);
    }
    {
        // A mailbox of a 240-character name, with failures listed, held at message 5: the name
        // is cut in its middle and the dialog stays inside the screen.
        const fs::path long_name =
            mail / (std::string(120, 'n') + "受信トレイ" + std::string(105, 'x') + ".dbx");
        test::DbxBuilder().AddMessages(20).WriteTo(long_name);
        std::mutex mutex;
        std::condition_variable cv;
        bool reached = false;
        bool open = false;
        TFormConvert form(TConvertJob{{long_name.string()}, out_dir.string(), false, {}, {}},
                          nullptr);
        form.SetMailboxOpener([&](const std::string& path) {
            return std::make_unique<HookedMailbox>(path, [&](std::int32_t index) {
                if (index < 3) {
                    throw Exception(ReadError(), "Input/output error");
                }
                if (index == 5) {
                    std::unique_lock lock(mutex);
                    reached = true;
                    cv.wait(lock, [&] { return open; });
                }
            });
        });
        form.show();
        Settle([&] {
            const std::lock_guard lock(mutex);
            return reached;
        });
        ok &= Save(form, out, QStringLiteral("convert-long-name"), suffix);
        {
            const std::lock_guard lock(mutex);
            open = true;
        }
        cv.notify_all();
        Settle([&] { return form.RunFinished(); });
    }
    return ok ? 0 : 1;
}
