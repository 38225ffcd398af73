// The naming parameter dialog: it opens with the job's parameter, gives back what the
// controls say, greys out the line choice for the header, and refuses an empty text.
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "support/dialog_test_base.hpp"
#include "ui/form_param.hpp"
#include "ui/ui_text.hpp"
#include "ui/widgets.hpp"

namespace brindle::testing {

class FormParamTest : public DialogTestBase {
    Q_OBJECT

  private slots:
    void opensWithTheJobsParameterAndGivesItBack() {
        // 件名： in Shift_JIS, and one byte that is no character: kept as it is when unchanged.
        const TFindParam stored{"\x8c\x8f\x96\xbc\x81\x46\xff", TNamingLine{1}, TNamingPos{0}};
        Job().SetNamingTypeParameter(stored);
        TFormParam dialog(Job(), nullptr);
        QCOMPARE(Child<QLineEdit>(dialog, "EditNameParam").text(), QStringLiteral("件名：\uFFFD"));
        QCOMPARE(Child<RadioGroup>(dialog, "RadioGroupNameParamPos").ItemIndex(), 0);
        QCOMPARE(Child<RadioGroup>(dialog, "RadioGroupNameParamLine").ItemIndex(), 1);
        QTest::mouseClick(&Child<QPushButton>(dialog, "BtnOK"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.GetFindParam(), stored);
        QCOMPARE(Job().GetNamingTypeParameter(), stored);
    }

    void headerGreysOutTheLineChoice() {
        Job().SetNamingTypeParameter(TFindParam{"X-Name:", TNamingLine{1}, TNamingPos{1}});
        TFormParam dialog(Job(), nullptr);
        auto& pos = Child<RadioGroup>(dialog, "RadioGroupNameParamPos");
        auto& line = Child<RadioGroup>(dialog, "RadioGroupNameParamLine");
        QVERIFY(!line.isEnabled());
        QTest::mouseClick(pos.Button(0), Qt::LeftButton);
        QVERIFY(line.isEnabled());
        QTest::mouseClick(line.Button(0), Qt::LeftButton);
        QTest::mouseClick(pos.Button(1), Qt::LeftButton);
        QVERIFY(!line.isEnabled());
        // The greyed-out choice still counts.
        QCOMPARE(dialog.GetFindParam(), (TFindParam{"X-Name:", TNamingLine{0}, TNamingPos{1}}));
    }

    void emptyTextIsRefusedUntilCancel() {
        Job().SetNamingTypeParameter(TFindParam{"abc", TNamingLine{0}, TNamingPos{0}});
        TFormParam dialog(Job(), nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto& edit = Child<QLineEdit>(dialog, "EditNameParam");
        edit.clear();
        Boxes().SetNextAnswer(MessageButton::Ok);
        QTest::keyClick(&edit, Qt::Key_Return);  // OK is the default button
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        const auto boxes = Boxes().Messages();
        QCOMPARE(boxes.size(), std::size_t{1});
        QCOMPARE(boxes[0].kind, MessageKind::Warning);
        QCOMPARE(boxes[0].text, QStringLiteral("パラメータ文字が指定されていません。"));
        QCOMPARE(boxes[0].buttons, MessageButton::Ok);

        QTest::keyClick(&edit, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(Job().GetNamingTypeParameter(),
                 (TFindParam{"abc", TNamingLine{0}, TNamingPos{0}}));
    }

    void typedTextBecomesShiftJisOrIsRefused() {
        TFormParam dialog(Job(), nullptr);
        auto& edit = Child<QLineEdit>(dialog, "EditNameParam");
        auto& ok = Child<QPushButton>(dialog, "BtnOK");
        Type(edit, QStringLiteral("★") + QString::fromUcs4(U"\U0001F600"));
        Boxes().SetNextAnswer(MessageButton::Ok);
        QTest::mouseClick(&ok, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(Boxes().Messages().size(), std::size_t{1});

        edit.clear();
        Type(edit, QStringLiteral("  名前: "));  // spaces count as text
        QTest::mouseClick(&ok, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.GetFindParam().ParamText, std::string("  \x96\xbc\x91\x4f: "));
    }
};

}  // namespace brindle::testing

QTEST_MAIN(brindle::testing::FormParamTest)
#include "form_param_test.moc"
