// The windows in English: set up as the program is for an English locale, every text they show
// (captions, menus, hints, list headers, the standard buttons of Qt's boxes) is English.
#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <memory>
#include <vector>

#include "app/form_convert.hpp"
#include "app/form_main.hpp"
#include "app/help.hpp"
#include "app/start_up.hpp"
#include "ui/form_find.hpp"
#include "ui/form_param.hpp"
#include "ui/form_version.hpp"
#include "ui/support/dialog_test_base.hpp"
#include "ui/support/japanese_text.hpp"

namespace brindle::testing {
namespace {

// Every text that a window and its children show, each with where it was found.
QStringList ShownTexts(const QWidget& window) {
    QStringList texts;
    QList<QObject*> objects = window.findChildren<QObject*>();
    objects.prepend(const_cast<QWidget*>(&window));
    for (const QObject* object : objects) {
        for (const char* property :
             {"text", "title", "windowTitle", "toolTip", "statusTip", "category"}) {
            const QString text = object->property(property).toString();
            if (!text.isEmpty()) {
                texts << object->objectName() + QLatin1Char('.') + QLatin1String(property) +
                             QStringLiteral(": ") + text;
            }
        }
        if (const auto* view = qobject_cast<const QAbstractItemView*>(object)) {
            const QAbstractItemModel* model = view->model();
            for (int column = 0; model != nullptr && column < model->columnCount(); ++column) {
                texts << object->objectName() + QStringLiteral(" header: ") +
                             model->headerData(column, Qt::Horizontal).toString();
                for (int row = 0; row < model->rowCount(); ++row) {
                    texts << object->objectName() + QStringLiteral(" row: ") +
                                 model->index(row, column).data().toString();
                }
            }
        }
    }
    return texts;
}

}  // namespace

class WindowEnglishTest : public DialogTestBase {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QApplication::setApplicationName(QStringLiteral("Brindle"));
        SetUpApplication(Language::English);
    }

    void everyWindowShowsEnglishOnly() {
        Job().AddCondition(TFindType{1, "abc", true, false});
        Job().AddInportPath("/mail/Inbox.dbx");
        TFormMain form(Job());
        std::vector<std::unique_ptr<QWidget>> dialogs;
        dialogs.push_back(std::make_unique<TFormConvert>(TConvertJob{}, &form));
        dialogs.push_back(std::make_unique<TFormFind>(&form));
        dialogs.push_back(std::make_unique<TFormParam>(Job(), &form));
        dialogs.push_back(std::make_unique<TFormVersion>(&form));
        dialogs.push_back(std::make_unique<THelpWindow>(QString(), &form));
        const QStringList texts = ShownTexts(form);
        for (const QString& text : texts) {
            QVERIFY2(!HasJapanese(text), qPrintable(text));
        }
        // Not empty either: each a text of the table.
        for (const auto& [name, property, english] : {
                 std::tuple{"MenuFile", "title", "&File"},
                 std::tuple{"MenuHelp", "title", "&Help"},
                 std::tuple{"ActionSettingFileLoad", "text", "Open..."},
                 std::tuple{"Label2", "text", "&Destination"},
                 std::tuple{"BtnConvert", "text", "Con&vert"},
                 std::tuple{"FormConvert", "windowTitle", "Convert"},
                 std::tuple{"BtnCancel", "text", "Cancel"},
             }) {
            const QObject* object = form.findChild<QObject*>(QString::fromLatin1(name));
            QVERIFY2(object != nullptr, name);
            QCOMPARE(object->property(property).toString(), QString::fromLatin1(english));
        }
        QVERIFY(texts.contains(QStringLiteral("DbxGrid header: File name")));
        QVERIFY(texts.contains(
            QStringLiteral("FindTypeGrid row: Body contains \"abc\" (ignoring case)")));
    }

    void qtsOwnButtonsAreEnglish() {
        QString yes;
        QTimer::singleShot(0, [&yes] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                yes = box->button(QMessageBox::Yes)->text();
                box->button(QMessageBox::No)->click();
            }
        });
        MessageRequest question;
        question.kind = MessageKind::Question;
        question.text = QStringLiteral("?");
        question.buttons = MessageButton::Yes | MessageButton::No;
        QCOMPARE(QtModalService().ShowMessage(nullptr, question), MessageButton::No);
        QCOMPARE(yes, QStringLiteral("&Yes"));
    }
};

}  // namespace brindle::testing

QTEST_MAIN(brindle::testing::WindowEnglishTest)
#include "window_english_test.moc"
