// The version dialog and its reader of the version information.
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "platform/exception.hpp"
#include "support/dialog_test_base.hpp"
#include "ui/form_version.hpp"

namespace brindle::testing {

class FormVersionTest : public DialogTestBase {
    Q_OBJECT

  private slots:
    void showsNameVersionAndLicenceAndNothingMadeUp() {
        TFormVersion dialog(nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("バージョン情報"));
        QCOMPARE(Child<QLabel>(dialog, "ProductName").text(),
                 QStringLiteral("Brindle(" BRINDLE_PROJECT_VERSION ")"));
        QStringList texts;
        for (const QLabel* label : dialog.findChildren<QLabel*>()) {
            texts << label->text();
        }
        const QString shown = texts.join(QLatin1Char('\n'));
        QVERIFY2(shown.contains(QStringLiteral("MIT License")), qPrintable(shown));
        for (const char* made_up : {"example", "developers", "http"}) {
            QVERIFY2(!shown.contains(QString::fromLatin1(made_up)), qPrintable(shown));
        }
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClick(&dialog, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void readerTakesKeysByIndex() {
        const TkAppInfo info(
            VersionStrings{{"ProductName", "P"}, {"Comments", "C"}, {"ProductVersion", "V"}});
        QCOMPARE(info.GetInfo(9), std::string("P"));
        QCOMPARE(info.GetInfo(0), std::string("C"));
        QCOMPARE(info.GetInfo(10), std::string("V"));
        QCOMPARE(info.GetInfo(3), std::string());  // no FileVersion
        QCOMPARE(info.GetInfo(11), std::string());
        QCOMPARE(info.GetInfo(-1), std::string());
    }

    void missingVersionInformationIsAnError() {
        try {
            TFormVersion dialog(nullptr, std::nullopt);
            QFAIL("the dialog opened without version information");
        } catch (const Exception& error) {
            QCOMPARE(QString::fromUtf8(error.what()),
                     QStringLiteral("バージョン情報を取得できません"));
        }
        TFormVersion dialog(nullptr, VersionStrings{{"FileVersion", "2.0"}});
        QCOMPARE(Child<QLabel>(dialog, "ProductName").text(), QStringLiteral("(2.0)"));
    }
};

}  // namespace brindle::testing

QTEST_MAIN(brindle::testing::FormVersionTest)
#include "form_version_test.moc"
