// Text crossing between the job's Shift_JIS and Qt, the reporting hook shown as boxes, and the
// scripted service's own checks, which every dialog test relies on.
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <thread>

#include "platform/report.hpp"
#include "support/dialog_test_base.hpp"
#include "ui/ui_text.hpp"
#include "ui/widgets.hpp"

namespace brindle::testing {

class UiTextTest : public DialogTestBase {
    Q_OBJECT

  private slots:
    void qtsOwnTextsAreJapaneseWithTheTranslator() {
        if (!QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                               QStringLiteral("/qtbase_ja.qm"))) {
            QSKIP("qtbase_ja.qm is not installed (Debian package qt6-translations-l10n)");
        }
        QVERIFY(UseJapaneseQtTexts());
        // What the real service shows: a question box and the open dialog, read and closed.
        QStringList seen;
        const auto read_then_close = [&seen] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                seen << box->button(QMessageBox::Yes)->text()
                     << box->button(QMessageBox::No)->text();
                box->button(QMessageBox::No)->click();
            } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                seen << dialog->findChild<QLabel*>(QStringLiteral("lookInLabel"))->text()
                     << dialog->labelText(QFileDialog::FileName);
                dialog->reject();
            }
        };
        QtModalService service;
        QTimer::singleShot(0, read_then_close);
        MessageRequest question;
        question.kind = MessageKind::Question;
        question.text = QStringLiteral("?");
        question.buttons = MessageButton::Yes | MessageButton::No;
        QCOMPARE(service.ShowMessage(nullptr, question), MessageButton::No);
        QTimer::singleShot(0, read_then_close);
        QVERIFY(service.GetOpenFileName(nullptr, {}).isEmpty());
        QCOMPARE(seen.size(), 4);
        for (const QString& english : {QStringLiteral("&Yes"), QStringLiteral("&No"),
                                       QStringLiteral("Look in:"), QStringLiteral("File &name:")}) {
            QVERIFY2(!seen.contains(english), qPrintable(seen.join(' ')));
        }
        QCOMPARE(seen[1].left(3), QStringLiteral("いいえ"));
    }

    void shiftJisAndPathsDisplay() {
        QCOMPARE(SjisToQString("\x93\xfa\x96\x7b"), QStringLiteral("日本"));
        QCOMPARE(SjisToQString("a\xff"), QStringLiteral("a\uFFFD"));
        QCOMPARE(PathToQString("/m/M\xc3\xbcller/x.dbx"), QStringLiteral("/m/Müller/x.dbx"));
        QCOMPARE(PathToQString("/m/\x93\xfa.dbx"), QStringLiteral("/m/\uFFFD\uFFFD.dbx"));
        QCOMPARE(QStringToPath(QStringLiteral("/m/Católica")), std::string("/m/Cat\xc3\xb3lica"));
    }

    void typedTextBecomesShiftJis() {
        // Full-width space, a circled digit (CP932's own) and the wave dash as Linux input
        // methods type it (U+301C).
        const auto sjis = SjisFromUser(nullptr, QStringLiteral("全　①〜"));
        QVERIFY(sjis.has_value());
        QCOMPARE(*sjis, std::string("\x91\x53\x81\x40\x87\x40\x81\x60"));
        QVERIFY(Boxes().Messages().empty());
    }

    void textWithoutShiftJisIsRefusedWithABox() {
        Boxes().SetNextAnswer(MessageButton::Ok);
        const QString typed =
            QStringLiteral("件名") + QString::fromUcs4(U"\U0001F600") + QStringLiteral("é€");
        QVERIFY(!SjisFromUser(nullptr, typed).has_value());
        const auto boxes = Boxes().Messages();
        QCOMPARE(boxes.size(), std::size_t{1});
        QCOMPARE(boxes[0].kind, MessageKind::Warning);
        // The whole emoji is named, not half of its surrogate pair.
        QCOMPARE(boxes[0].text, NoSjisMessage(QString::fromUcs4(U"\U0001F600")));
        QCOMPARE(FirstCharacterWithoutSjis(QStringLiteral("abcé")), QStringLiteral("é"));
        QCOMPARE(FirstCharacterWithoutSjis(QStringLiteral("abc")), QString());
    }

    void coreReportsBecomeBoxes() {
        Boxes().SetNextAnswer(MessageButton::Ok);
        Boxes().SetNextAnswer(MessageButton::Ok);
        RaiseReport(Report{ReportKind::Error, {}, "設定ファイルを読み込めません"});
        RaiseWarning("警告です");
        const auto boxes = Boxes().Messages();
        QCOMPARE(boxes.size(), std::size_t{2});
        QCOMPARE(boxes[0].kind, MessageKind::Error);
        QCOMPARE(boxes[0].text, QStringLiteral("設定ファイルを読み込めません"));
        QCOMPARE(boxes[0].buttons, MessageButton::Ok);
        QCOMPARE(boxes[1].kind, MessageKind::Warning);
    }

    void reportFromAnotherThreadIsShownOnTheGuiThread() {
        Boxes().SetNextAnswer(MessageButton::Ok);
        std::thread worker([] { RaiseWarning("別スレッドの警告"); });
        worker.join();
        // Queued, not shown from the worker: a widget must never be touched off its thread.
        QVERIFY(Boxes().Messages().empty());
        QTRY_COMPARE(Boxes().Messages().size(), std::size_t{1});
        QCOMPARE(Boxes().Messages()[0].text, QStringLiteral("別スレッドの警告"));
    }

    void qtBoxAnswersWithTheButtonChosen() {
        // The real box, closed from inside its own event loop as a user would close it.
        QtModalService qt;
        MessageRequest request;
        request.kind = MessageKind::Question;
        request.text = QStringLiteral("ファイルが存在します。\n上書きしますか？");
        request.buttons = MessageButton::Yes | MessageButton::No | MessageButton::Cancel;
        QString default_text;
        QString caption;
        int button_count = 0;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            caption = box->windowTitle();
            button_count = static_cast<int>(box->buttons().size());
            default_text = box->defaultButton() != nullptr ? box->defaultButton()->text() : "";
            box->button(QMessageBox::No)->click();
        });
        QCOMPARE(qt.ShowMessage(nullptr, request), MessageButton::No);
        QCOMPARE(caption, QStringLiteral("Brindle"));
        QCOMPARE(button_count, 3);
        QCOMPARE(default_text, QMessageBox(QMessageBox::NoIcon, {}, {}, QMessageBox::Yes)
                                   .button(QMessageBox::Yes)
                                   ->text());

        QTimer::singleShot(0, [] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                QTest::keyClick(box, Qt::Key_Escape);
            }
        });
        request.buttons = MessageButton::Ok | MessageButton::Cancel;
        QCOMPARE(qt.ShowMessage(nullptr, request), MessageButton::Cancel);
    }

    void scriptedServiceReportsWhatATestLeftUndone() {
        ScriptedModalService service;
        MessageRequest yes_no;
        yes_no.buttons = MessageButton::Yes | MessageButton::No;
        QCOMPARE(service.ShowMessage(nullptr, yes_no), MessageButton::NoButton);
        QCOMPARE(service.Faults().size(), 1);

        service.Reset();
        service.SetNextAnswer(MessageButton::Ok);  // not a button of the box
        QCOMPARE(service.ShowMessage(nullptr, yes_no), MessageButton::NoButton);
        QCOMPARE(service.Faults().size(), 1);

        service.Reset();
        service.SetNextAnswer(MessageButton::No);
        service.SetNextFileName(QStringLiteral("/tmp/a.xml"));
        QCOMPARE(service.ShowMessage(nullptr, yes_no), MessageButton::No);
        QCOMPARE(service.Faults().size(), 1);  // the file name was never asked for
        QCOMPARE(service.GetSaveFileName(nullptr, {}), QStringLiteral("/tmp/a.xml"));
        QVERIFY(service.Faults().isEmpty());
        QCOMPARE(service.GetExistingDirectory(nullptr, {}), QString());
        QCOMPARE(service.Faults().size(), 1);
    }
};

}  // namespace brindle::testing

QTEST_MAIN(brindle::testing::UiTextTest)
#include "ui_text_test.moc"
