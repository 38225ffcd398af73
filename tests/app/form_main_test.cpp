// The main window driven through its actions, keys and clicks, with the scripted modal service
// answering boxes and file dialogs. Modal dialogs that the window opens itself (the parameter
// dialog, the conversion dialog) are answered by a timer that finds the active modal window.
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/form_convert.hpp"
#include "app/form_main.hpp"
#include "app/help.hpp"
#include "support/dbx_builder.hpp"
#include "support/file_contents.hpp"
#include "support/temp_dir.hpp"
#include "ui/dbx_grid.hpp"
#include "ui/support/dialog_test_base.hpp"
#include "ui/ui_text.hpp"
#include "ui/widgets.hpp"

namespace brindle::testing {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

// While it lives, every modal dialog that opens is closed with reject() and counted.
class ModalCloser {
  public:
    ModalCloser() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                names_.append(dialog->objectName());
                dialog->reject();
            }
        });
        timer_.start();
    }
    const QStringList& Closed() const { return names_; }

  private:
    QTimer timer_;
    QStringList names_;
};

}  // namespace

class FormMainTest : public DialogTestBase {
    Q_OBJECT

  private:
    QString Status(const TFormMain& form) {
        return Child<QStatusBar>(form, "StatusBar1").currentMessage();
    }

    // The page of the help window that belongs to window, if one is open.
    static QTextBrowser* HelpOf(const QWidget& window) {
        return window.findChild<QTextBrowser*>(QStringLiteral("HelpBrowser"));
    }

    // Clicks the first link to href on the page, as a user does.
    static void ClickLink(QTextBrowser& help, const QString& href) {
        for (QTextBlock block = help.document()->begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                if (it.fragment().charFormat().anchorHref() != href) {
                    continue;
                }
                QTextCursor cursor(help.document());
                cursor.setPosition(it.fragment().position() + 1);
                help.setTextCursor(cursor);
                help.ensureCursorVisible();
                QTest::mouseClick(help.viewport(), Qt::LeftButton, {},
                                  help.cursorRect(cursor).center());
                return;
            }
        }
        QFAIL(qPrintable(QStringLiteral("no link to ") + href));
    }

  private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Brindle")); }

    void conversionChecksComeInOrderWithOneCancelButton() {
        const test::TempDir dir;
        TFormMain form(Job());
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto& edit_save_dir = Child<QLineEdit>(form, "EditSaveDir");
        edit_save_dir.setText(QString::fromStdString((dir / "gone").string()));

        const auto expect_box = [this, &form](const QString& text) {
            Boxes().ClearAsked();
            Boxes().SetNextAnswer(MessageButton::Cancel);
            QTest::keyClick(&form, Qt::Key_F5);
            const auto boxes = Boxes().Messages();
            QCOMPARE(boxes.size(), std::size_t{1});
            QCOMPARE(boxes[0].text, text);
            QCOMPARE(boxes[0].kind, MessageKind::Error);
            QCOMPARE(boxes[0].buttons, MessageButton::Cancel);
        };
        // No source and no destination: the sources are checked first.
        expect_box(QStringLiteral("変換元のDBXファイルが指定されていません。"));
        Job().AddInportPath((dir / "a.dbx").string());
        Job().SetNamingType(TNamingType::Parameter);  // loaded that way: no parameter text
        edit_save_dir.setText(QString::fromStdString((dir / "gone").string()));
        expect_box(QStringLiteral("変換先のディレクトリが見つかりません。"));
        // The destination typed into the box counts, even before it is stored in the job.
        edit_save_dir.setText(QString::fromStdString(dir.path().string()));
        expect_box(QStringLiteral("パラメータ文字が指定されていません。"));

        // An invalid regular expression: the box names the condition, its row and text.
        TFindParam param = Job().GetNamingTypeParameter();
        param.ParamText = "Order:";
        Job().SetNamingTypeParameter(param);
        Job().SetConditions(std::vector<TFindType>{
            {0, "abc", false, false}, {0, "a+", false, true}, {0, "(abc", false, true}});
        expect_box(
            QStringLiteral("変換条件の3行目「(abc」は正規表現として使えません。\n"
                           "右(閉じ)括弧が必要です (5文字目)"));
    }

    void everyCommandFirstTakesTheDestinationBeingTyped() {
        const test::TempDir dir;
        const fs::path job = dir / "job.xml";
        TFormMain form(Job());
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        Job().SetExportPath("/old");
        QVERIFY(Job().Save(job.string()));
        auto& edit_save_dir = Child<QLineEdit>(form, "EditSaveDir");
        edit_save_dir.setFocus();
        edit_save_dir.selectAll();
        QTest::keyClicks(&edit_save_dir, "/typed");
        QTest::keyClick(&edit_save_dir, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(edit_save_dir.hasFocus());
        QCOMPARE(Job().GetExportPath(), std::string("/typed"));
        QVERIFY2(ReadFile(job).find("<ExportPath>/typed</ExportPath>") != std::string::npos,
                 ReadFile(job).c_str());
        QCOMPARE(form.windowTitle(), QStringLiteral("Brindle"));

        // F5 from the box: the job holds what the checks saw.
        QTest::keyClicks(&edit_save_dir, "2");
        Boxes().SetNextAnswer(MessageButton::Cancel);  // no source listed
        QTest::keyClick(&edit_save_dir, Qt::Key_F5);
        QCOMPARE(Job().GetExportPath(), std::string("/typed2"));
    }

    void cancellingTheParameterDialogRestoresTheRuleAndLoadingRuleTwoOpensNothing() {
        const test::TempDir dir;
        TFormMain form(Job());
        form.show();
        auto& naming = Child<RadioGroup>(form, "RadioGroupNaming");
        QTest::mouseClick(naming.Button(1), Qt::LeftButton);
        QCOMPARE(Job().GetNamingType(), TNamingType::Subject);
        {
            const ModalCloser closer;
            QTest::mouseClick(naming.Button(2), Qt::LeftButton);
            QCOMPARE(closer.Closed(), QStringList{QStringLiteral("FormParam")});
        }
        QCOMPARE(naming.ItemIndex(), 1);
        QCOMPARE(Job().GetNamingType(), TNamingType::Subject);

        // A job saved with naming rule 2 and its parameter.
        const fs::path job_file = dir / "job.xml";
        {
            TSettingFile saved;
            TFindParam param = saved.GetNamingTypeParameter();
            param.ParamText = "Order:";
            saved.SetNamingTypeParameter(param);
            saved.SetNamingType(TNamingType::Parameter);
            QVERIFY(saved.Save(job_file.string()));
        }
        const ModalCloser closer;
        Boxes().SetNextFileName(QString::fromStdString(job_file.string()));
        QVERIFY(TriggerAction(form, "ActionSettingFileLoad"));
        QTest::qWait(20);
        QVERIFY2(closer.Closed().isEmpty(), qPrintable(closer.Closed().join(',')));
        QCOMPARE(naming.ItemIndex(), 2);
        QCOMPARE(Status(form), QStringLiteral("ファイルを開きました。"));
        // Loaded and unchanged: the title alone; a change marks it.
        QCOMPARE(form.windowTitle(), QStringLiteral("Brindle"));
        QTest::mouseClick(&Child<QCheckBox>(form, "CheckBoxCreateDir"), Qt::LeftButton);
        QVERIFY(Job().GetCreateDir());
        QCOMPARE(form.windowTitle(), QStringLiteral("Brindle(*)"));
        // The job tells its listeners when it is saved, so the mark goes with the change.
        QVERIFY(TriggerAction(form, "ActionSettingFileSaveOver"));
        QCOMPARE(Status(form), QStringLiteral("保存しました。"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Brindle"));

        Boxes().SetNextFileName(QString::fromStdString((dir / "nothing.xml").string()));
        Boxes().SetNextAnswer(MessageButton::Ok);  // the core's report of the failed load
        QVERIFY(TriggerAction(form, "ActionSettingFileLoad"));
        QCOMPARE(Status(form), QStringLiteral("ファイルを開けませんでした。"));
    }

    void savingReplacesOnlyANewNameOrAJobFile() {
        const test::TempDir dir;
        const fs::path mailbox = dir / "Inbox.mbx";  // a mailbox known by its bytes alone
        test::DbxBuilder().AddMessages(1).WriteTo(mailbox);
        const fs::path notes = dir / "pom.xml";
        const fs::path job = dir / "job.xml";
        TFormMain form(Job());
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        Job().SetExportPath(dir.path().string());
        QVERIFY(Job().Save(job.string()));

        struct Case {
            fs::path target;
            QString says;
        };
        for (const Case& c : {Case{mailbox, QStringLiteral("メールボックス")},
                              Case{notes, QStringLiteral("設定ファイルではない")}}) {
            const std::string before = c.target == mailbox ? ReadFile(mailbox) : "<project/>";
            std::ofstream(c.target, std::ios::binary) << before;
            // Save As, then Ctrl+S on a job file that another program has since replaced.
            Boxes().ClearAsked();
            Boxes().SetNextFileName(QString::fromStdString(c.target.string()));
            Boxes().SetNextAnswer(MessageButton::Ok);
            QVERIFY(TriggerAction(form, "ActionSettingFileSaveNew"));
            fs::copy_file(c.target, job, fs::copy_options::overwrite_existing);
            Boxes().SetNextAnswer(MessageButton::Ok);
            QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier);
            const auto boxes = Boxes().Messages();
            QCOMPARE(boxes.size(), std::size_t{2});
            for (const MessageRequest& box : boxes) {
                QCOMPARE(box.kind, MessageKind::Error);
                QVERIFY2(box.text.contains(c.says), qPrintable(box.text));
            }
            QVERIFY(boxes[0].text.contains(QString::fromStdString(c.target.string())));
            QCOMPARE(ReadFile(c.target), before);
            QCOMPARE(ReadFile(job), before);
            QCOMPARE(Job().GetFileName(), job.string());
            QVERIFY(Job().Save(job.string()));
        }

        // A job file is replaced once the question is answered Yes.
        const std::string saved = ReadFile(job);
        Boxes().ClearAsked();
        Boxes().SetNextFileName(QString::fromStdString(job.string()));
        Boxes().SetNextAnswer(MessageButton::No);
        QVERIFY(TriggerAction(form, "ActionSettingFileSaveNew"));
        QCOMPARE(Boxes().Messages().at(0).text,
                 QStringLiteral("ファイルが存在します。\n上書きしますか？"));
        Job().SetCreateDir(true);
        Boxes().SetNextFileName(QString::fromStdString(job.string()));
        Boxes().SetNextAnswer(MessageButton::Yes);
        QVERIFY(TriggerAction(form, "ActionSettingFileSaveNew"));
        QCOMPARE(Status(form), QStringLiteral("保存しました。"));
        QVERIFY(ReadFile(job) != saved);
    }

    void onlyABrindleJobOpensAsAJobAndMailboxesOpenIntoTheJob() {
        const test::TempDir dir;
        const fs::path job = dir / "job.xml";
        {
            TSettingFile saved;
            saved.SetExportPath("/out");
            QVERIFY(saved.Save(job.string()));
        }
        const fs::path pom = dir / "pom.xml";
        std::ofstream(pom) << "<?xml version=\"1.0\"?><project><ExportPath>/x</ExportPath>"
                              "</project>";
        TFormMain form(Job());
        // The command line of a file manager's "open with" on two mailboxes.
        const QStringList mailboxes = {QString::fromStdString((dir / "a.dbx").string()),
                                       QString::fromStdString((dir / "B.DBX").string())};
        QVERIFY(CanOpenTogether(mailboxes));
        form.OpenFiles(mailboxes);
        QCOMPARE(Job().GetInportPaths(),
                 (std::vector<std::string>{(dir / "a.dbx").string(), (dir / "B.DBX").string()}));
        QVERIFY(!CanOpenTogether({QString::fromStdString(job.string()), mailboxes[0]}));

        const TJobData before = Job().GetJob();
        Boxes().SetNextFileName(QString::fromStdString(pom.string()));
        Boxes().SetNextAnswer(MessageButton::Ok);  // the core's report of the refused file
        QVERIFY(TriggerAction(form, "ActionSettingFileLoad"));
        QCOMPARE(Status(form), QStringLiteral("ファイルを開けませんでした。"));
        QVERIFY2(
            Boxes().Messages().at(0).text.contains(QStringLiteral("設定ファイルではありません")),
            qPrintable(Boxes().Messages().at(0).text));
        QVERIFY(Job().GetJob() == before);
        QVERIFY(Job().GetFileName().empty());

        form.OpenFiles({QString::fromStdString(job.string())});
        QCOMPARE(Status(form), QStringLiteral("ファイルを開きました。"));
        QCOMPARE(Job().GetExportPath(), std::string("/out"));
    }

    void helpAndVersionAnswerOnTheTerminal() {
        struct Case {
            QStringList arguments;
            QString says;
        };
        const QString version = QStringLiteral(BRINDLE_PROJECT_VERSION);
        for (const Case& c : {Case{{QStringLiteral("--help")}, QStringLiteral("MAILBOX.dbx")},
                              Case{{QStringLiteral("-h")}, QStringLiteral("JOB.xml")},
                              Case{{QStringLiteral("--version")}, version}}) {
            QProcess program;
            program.start(QStringLiteral(BRINDLE_GUI_PROGRAM), c.arguments);
            // A window waiting for its user would never end.
            const bool ended = program.waitForFinished(10000);
            if (!ended) {
                program.kill();
                program.waitForFinished();
            }
            QVERIFY2(ended, qPrintable(c.arguments.join(' ')));
            QCOMPARE(program.exitCode(), 0);
            const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
            QVERIFY2(out.contains(c.says), qPrintable(out));
        }
    }

    void helpOpensInsideTheProgramAtTheActiveWindowsContext() {
        TFormMain form(Job());
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(&form, Qt::Key_F1);
        QTextBrowser* help = HelpOf(form);
        QVERIFY(help != nullptr);
        QVERIFY(help->isVisible());
        QVERIFY2(help->source().toString().endsWith(QStringLiteral("/index.html#context-1")),
                 qPrintable(help->source().toString()));

        // A link to another page's anchor, then back and forward.
        ClickLink(*help, QStringLiteral("naming.html#context-9"));
        QVERIFY2(help->source().toString().endsWith(QStringLiteral("/naming.html#context-9")),
                 qPrintable(help->source().toString()));
        QVERIFY(help->verticalScrollBar()->value() > 0);  // the anchor is far down the page
        QTest::mouseClick(&Child<QAbstractButton>(*help->window(), "BtnBack"), Qt::LeftButton);
        QVERIFY(help->source().toString().endsWith(QStringLiteral("/index.html#context-1")));
        QTest::mouseClick(&Child<QAbstractButton>(*help->window(), "BtnForward"), Qt::LeftButton);
        QVERIFY(help->source().toString().endsWith(QStringLiteral("/naming.html#context-9")));

        // F1 inside the parameter dialog opens its own page, over the dialog.
        QString dialog_page;
        QTimer::singleShot(0, [&dialog_page] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_F1);
            if (const QTextBrowser* page = HelpOf(*dialog); page != nullptr && page->isVisible()) {
                dialog_page = page->source().toString();
            }
            dialog->reject();
        });
        QTest::mouseClick(Child<RadioGroup>(form, "RadioGroupNaming").Button(2), Qt::LeftButton);
        QVERIFY2(dialog_page.endsWith(QStringLiteral("/naming.html#context-9")),
                 qPrintable(dialog_page));
        // No browser, no xdg-open.
        QVERIFY2(Boxes().Opened().isEmpty(), qPrintable(Boxes().Opened().join(' ')));
    }

    void helpOpensAtTheContextOfTheControlWithTheFocus() {
        TFormMain form(Job());
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto& conditions = Child<QWidget>(form, "FindTypeGrid");
        conditions.setFocus();
        QTest::keyClick(&conditions, Qt::Key_F1);
        QTextBrowser* help = HelpOf(form);
        QVERIFY(help != nullptr);
        QVERIFY2(help->source().toString().endsWith(QStringLiteral("/conditions.html#context-12")),
                 qPrintable(help->source().toString()));
    }

    // Each language's folder has every page and anchor of the Japanese set, and every help
    // context lands on an anchor of its page there.
    void everyHelpContextHasItsAnchorInEachLanguage() {
        const auto anchors = [](const QString& file) {
            QFile page(file);
            QStringList ids;
            if (page.open(QIODevice::ReadOnly)) {
                const QString html = QString::fromUtf8(page.readAll());
                for (const auto& match :
                     QRegularExpression(QStringLiteral(" id=\"([^\"]+)\"")).globalMatch(html)) {
                    ids.append(match.captured(1));
                }
            }
            return ids;
        };
        const QString japanese = HelpFolder();
        const QStringList pages = QDir(japanese).entryList({QStringLiteral("*.html")});
        QVERIFY(pages.size() >= 5);
        for (const QString& language : {QStringLiteral("ja"), QStringLiteral("ja_JP"),
                                        QStringLiteral("en"), QStringLiteral("de_DE")}) {
            const QString folder = HelpFolder(language);
            const bool english = !language.startsWith(QStringLiteral("ja"));
            QCOMPARE(folder, english ? japanese + QStringLiteral("/en") : japanese);
            for (const QString& page : pages) {
                const QString file = folder + '/' + page;
                QVERIFY2(QFileInfo::exists(file), qPrintable(file));
                QVERIFY2(anchors(file) == anchors(japanese + '/' + page), qPrintable(file));
            }
            for (int context : {kHelpContextMain, kHelpContextParameter, kHelpContextConditions}) {
                const QUrl url = HelpUrl(folder, context);
                QVERIFY2(anchors(url.toLocalFile()).contains(url.fragment()),
                         qPrintable(url.toString()));
            }
        }
    }

    void aLargerWindowGrowsTheConditionsAndKeepsTheButtonsAtTheRight() {
        TFormMain form(Job());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const auto& sources = Child<QWidget>(form, "DbxGrid");
        const auto& conditions = Child<QWidget>(form, "FindTypeGrid");
        const auto right_gap = [&form](const char* name) {
            const QWidget& button = Child<QWidget>(form, name);
            return form.width() - button.mapTo(&form, QPoint(button.width(), 0)).x();
        };
        const int sources_height = sources.height();
        const int conditions_height = conditions.height();
        const int convert_gap = right_gap("BtnConvert");
        const int close_gap = right_gap("BtnClose");
        form.resize(form.width() + 300, form.height() + 200);
        QTRY_COMPARE(conditions.height(), conditions_height + 200);
        QCOMPARE(sources.height(), sources_height);
        QCOMPARE(right_gap("BtnConvert"), convert_gap);
        QCOMPARE(right_gap("BtnClose"), close_gap);
        QVERIFY(close_gap < 20);
    }

    void droppedMailboxesAreAddedAndOtherFilesAreNot() {
        const test::TempDir dir;
        const fs::path first = dir / "b.DBX";
        const fs::path second = dir / "a.dbx";
        const fs::path text = dir / "notes.txt";
        for (const fs::path& path : {first, second, text}) {
            std::ofstream(path) << "x";
        }
        TFormMain form(Job());
        form.show();
        QMimeData only_text;
        only_text.setUrls({QUrl::fromLocalFile(QString::fromStdString(text.string()))});
        QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &only_text, Qt::LeftButton,
                                Qt::NoModifier);
        QApplication::sendEvent(&form, &refused);
        QVERIFY(!refused.isAccepted());

        QMimeData mixed;
        mixed.setUrls({QUrl::fromLocalFile(QString::fromStdString(first.string())),
                       QUrl::fromLocalFile(QString::fromStdString(text.string())),
                       QUrl::fromLocalFile(QString::fromStdString(second.string()))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mixed, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(&form, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mixed, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &drop);
        QCOMPARE(Job().GetInportPaths(),
                 (std::vector<std::string>{first.string(), second.string()}));
    }

    void aFolderAddsEveryMailboxInItDroppedOrChosen() {
        const test::TempDir dir;
        const fs::path store = dir / "store";
        fs::create_directories(store);
        test::DbxBuilder().AddMessages(1).WriteTo(store / "b.dbx");
        test::DbxBuilder().AddMessages(1).WriteTo(store / "a.dbx");
        std::ofstream(store / "Folders.dbx") << "not a mailbox";
        const std::vector<std::string> expected{(store / "a.dbx").string(),
                                                (store / "b.dbx").string()};
        {
            TFormMain form(Job());
            form.show();
            QMimeData folder;
            folder.setUrls({QUrl::fromLocalFile(QString::fromStdString(store.string()))});
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &folder, Qt::LeftButton,
                                  Qt::NoModifier);
            QApplication::sendEvent(&form, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &folder, Qt::LeftButton,
                            Qt::NoModifier);
            QApplication::sendEvent(&form, &drop);
            QCOMPARE(Job().GetInportPaths(), expected);
        }
        Job().DeleteInportPath(1);
        Job().DeleteInportPath(0);
        TFormMain form(Job());
        form.show();
        Boxes().SetNextFolder(QString::fromStdString(store.string()));
        form.findChild<QAction*>(QStringLiteral("ActionDbxFolderAdd"))->trigger();
        QCOMPARE(Job().GetInportPaths(), expected);
        QVERIFY(form.statusBar()->currentMessage().contains(QStringLiteral("2 個")));
    }

    void sourceDialogStartsWhereTheMailIs() {
        // A made-up Wine prefix whose default identity keeps its mail in C:\Mail\OE.
        const test::TempDir prefix;
        fs::create_directories(prefix / "drive_c" / "Mail" / "OE");
        fs::create_directories(prefix / "dosdevices");
        fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
        std::ofstream(prefix / "user.reg")
            << "[Identities]\n\"Default User ID\"=\"{ID}\"\n"
               "[Identities\\\\{ID}\\\\Software\\\\Microsoft\\\\Outlook Express\\\\5.0]\n"
               "\"Store Root\"=\"C:\\\\Mail\\\\OE\"\n";
        const QByteArray previous = qgetenv("WINEPREFIX");
        qputenv("WINEPREFIX", QByteArray::fromStdString(prefix.path().string()));

        TFormMain form(Job());
        Boxes().SetNextFileNames({});  // cancelled
        QVERIFY(TriggerAction(form, "ActionDbxSelect"));
        Job().AddInportPath("/srv/mail/inbox.dbx");
        Boxes().SetNextFileNames({});
        QVERIFY(TriggerAction(form, "ActionDbxSelect"));
        qputenv("WINEPREFIX", previous);

        const auto& asked = Boxes().Asked();
        QCOMPARE(asked.size(), std::size_t{2});
        QVERIFY2(fs::equivalent(QStringToPath(asked[0].file.directory),
                                prefix / "drive_c" / "Mail" / "OE"),
                 qPrintable(asked[0].file.directory));
        QCOMPARE(asked[0].file.filter, QStringLiteral("DBXファイル(*.dbx)"));
        QCOMPARE(asked[1].file.directory, QStringLiteral("/srv/mail"));

        // A prefix whose registry names no store still has one where Windows keeps them.
        const test::TempDir bare;
        const fs::path shaped = bare / "drive_c" / "users" / "u" / "AppData" / "Local" /
                                "Identities" / "{ID}" / "Microsoft" / "Outlook Express";
        fs::create_directories(shaped);
        test::DbxBuilder().AddMessages(1).WriteTo(shaped / "Inbox.dbx");
        qputenv("WINEPREFIX", QByteArray::fromStdString(bare.path().string()));
        Job().Clear();
        Boxes().SetNextFileNames({});
        QVERIFY(TriggerAction(form, "ActionDbxSelect"));
        qputenv("WINEPREFIX", previous);
        QCOMPARE(Boxes().Asked().size(), std::size_t{3});
        QVERIFY2(fs::equivalent(QStringToPath(Boxes().Asked()[2].file.directory), shaped),
                 qPrintable(Boxes().Asked()[2].file.directory));
        // Lower than 350 pixels snaps back.
        form.resize(456, 200);
        QCOMPARE(form.height(), 350);
    }

    void listCommandsChangeTheJobAndDialogCommandsOpenTheirDialogs() {
        TFormMain form(Job());
        form.show();
        Job().AddInportPath("/m/a.dbx");
        Job().AddInportPath("/m/b.dbx");
        Job().AddCondition(TFindType{0, "abc", false, false});
        Child<TDbxGrid>(form, "DbxGrid").SetRow(2);  // the second source (row 0 is the title)
        QVERIFY(TriggerAction(form, "ActionDbxDelete"));
        QCOMPARE(Job().GetInportPaths(), std::vector<std::string>{"/m/a.dbx"});
        {
            // Cancelled dialogs change nothing.
            const ModalCloser closer;
            QVERIFY(TriggerAction(form, "ActionFindEdit"));
            QVERIFY(TriggerAction(form, "MenuHelpVersion"));
            QCOMPARE(closer.Closed(),
                     (QStringList{QStringLiteral("FormFind"), QStringLiteral("FormVersion")}));
        }
        QCOMPARE(Job().GetConditions().size(), std::size_t{1});
        QVERIFY(TriggerAction(form, "ActionFindClear"));
        QVERIFY(Job().GetConditions().empty());
        QVERIFY(TriggerAction(form, "ActionSettingFileCreate"));
        QVERIFY(Job().GetInportPaths().empty());
    }

    void theSideButtonsMnemonicsWorkFromTheDestinationBox() {
        TFormMain form(Job());
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        Job().AddInportPath("/m/a.dbx");
        Job().AddCondition(TFindType{0, "abc", false, false});
        auto& edit_save_dir = Child<QLineEdit>(form, "EditSaveDir");
        edit_save_dir.setFocus();

        Boxes().SetNextFileNames({});
        QTest::keyClick(&edit_save_dir, Qt::Key_B, Qt::AltModifier);
        QTRY_COMPARE(Boxes().Asked().size(), std::size_t{1});
        QCOMPARE(Boxes().Asked()[0].type, AskedQuestion::Type::OpenFiles);
        Boxes().SetNextFolder(QString());
        QTest::keyClick(&edit_save_dir, Qt::Key_R, Qt::AltModifier);
        QTRY_COMPARE(Boxes().Asked().size(), std::size_t{2});
        QCOMPARE(Boxes().Asked()[1].type, AskedQuestion::Type::Folder);
        QTest::keyClick(&edit_save_dir, Qt::Key_W, Qt::AltModifier);
        QTRY_VERIFY(Job().GetConditions().empty());
        QTest::keyClick(&edit_save_dir, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(Job().GetInportPaths().empty());
        const ModalCloser closer;
        QTest::keyClick(&edit_save_dir, Qt::Key_Q, Qt::AltModifier);
        QTRY_COMPARE(closer.Closed(), QStringList{QStringLiteral("FormFind")});
        QVERIFY(edit_save_dir.text().isEmpty());
    }

    void deleteRemovesOnlyAHighlightedSource() {
        TFormMain form(Job());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        Job().AddInportPath("/m/a.dbx");
        Job().AddInportPath("/m/b.dbx");
        auto& grid = Child<TDbxGrid>(form, "DbxGrid");
        const QPoint second = grid.visualRect(grid.model()->index(1, 0)).center();
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, second);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                          QPoint(5, grid.viewport()->height() - 3));
        QVERIFY(TriggerAction(form, "ActionDbxDelete"));
        QCOMPARE(Job().GetInportPaths().size(), std::size_t{2});
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, second);
        QVERIFY(TriggerAction(form, "ActionDbxDelete"));
        QCOMPARE(Job().GetInportPaths(), std::vector<std::string>{"/m/a.dbx"});
    }

    void convertsAMailboxChosenThroughTheWindow() {
        const test::TempDir dir;
        const fs::path mailbox = dir / "box.dbx";
        test::DbxBuilder().AddMessages(3).WriteTo(mailbox);
        const fs::path out = dir / "out";
        fs::create_directory(out);

        TFormMain form(Job());
        form.show();
        Boxes().SetNextFileNames({QString::fromStdString(mailbox.string())});
        QVERIFY(TriggerAction(form, "ActionDbxSelect"));
        Boxes().SetNextFileNames({QString::fromStdString(mailbox.string())});
        QVERIFY(TriggerAction(form, "ActionDbxSelect"));  // the same file once only
        QCOMPARE(Job().GetInportPaths(), std::vector<std::string>{mailbox.string()});
        Boxes().SetNextFolder(QString::fromStdString(out.string()));
        QVERIFY(TriggerAction(form, "ActionSelectDir"));
        QCOMPARE(Child<QLineEdit>(form, "EditSaveDir").text(),
                 QString::fromStdString(out.string()));
        QTest::mouseClick(Child<RadioGroup>(form, "RadioGroupNaming").Button(1), Qt::LeftButton);

        bool ran = false;
        form.SetConvertHook([&ran](TFormConvert& dialog) {
            auto* poll = new QTimer(&dialog);
            QObject::connect(poll, &QTimer::timeout, &dialog, [&dialog, &ran] {
                if (dialog.RunFinished() && dialog.isVisible()) {
                    ran = true;
                    QTest::mouseClick(&Child<QPushButton>(dialog, "BtnClose"), Qt::LeftButton);
                }
            });
            poll->start(5);
        });
        QTest::mouseClick(&Child<QPushButton>(form, "BtnConvert"), Qt::LeftButton);
        QVERIFY(ran);
        for (int i = 0; i < 3; ++i) {
            const std::string n = std::to_string(i);
            QCOMPARE(ReadFile(out / ("message " + n + ".eml")),
                     "Subject: message " + n + "\r\n\r\nbody " + n + "\r\n");
        }
    }
};

}  // namespace brindle::testing

QTEST_MAIN(brindle::testing::FormMainTest)
#include "form_main_test.moc"
