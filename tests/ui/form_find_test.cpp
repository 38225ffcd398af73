// The condition dialog driven as a user drives it: typing into the text box, choosing the
// mode, scope and flags, the list buttons, OK, Cancel and the keyboard.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

#include "support/dialog_test_base.hpp"
#include "ui/find_type_grid.hpp"
#include "ui/form_find.hpp"
#include "ui/ui_text.hpp"
#include "ui/widgets.hpp"

namespace brindle::testing {
namespace {

std::string Sjis(const QString& text) {
    return QStringToSjis(text).value();
}

}  // namespace

class FormFindTest : public DialogTestBase {
    Q_OBJECT

    // Types the text into the empty or fully selected text box and clicks "↓登録(&I)".
    static void Add(TFormFind& dialog, const QString& text) {
        Type(Child<QComboBox>(dialog, "ComboBoxFindStr"), text);
        QTest::mouseClick(&Child<QPushButton>(dialog, "BtnAdd"), Qt::LeftButton);
    }

  private slots:
    void allWordsSplitsAtFullWidthAndAsciiSpaces() {
        TFormFind dialog(nullptr);
        QTest::mouseClick(&Child<QRadioButton>(dialog, "RadioButtonAllInclusive"), Qt::LeftButton);
        QTest::mouseClick(&Child<QCheckBox>(dialog, "CheckBoxRegexp"), Qt::LeftButton);
        Add(dialog, QStringLiteral("　a　 b "));
        const std::vector<TFindType> expected{{0, "a", false, true}, {0, "b", false, true}};
        QCOMPARE(dialog.GetFindTypes(), expected);
        // The whole text is selected, so the next typing replaces it.
        auto& combo = Child<QComboBox>(dialog, "ComboBoxFindStr");
        QCOMPARE(combo.lineEdit()->selectedText(), QStringLiteral("　a　 b "));

        Add(dialog, QStringLiteral("　 　"));  // no word at all
        QCOMPARE(dialog.GetFindTypes(), expected);
        QCOMPARE(combo.currentText(), QStringLiteral("　 　"));
        Add(dialog, QStringLiteral("日本\t語 b"));  // b again, with the same flags
        QCOMPARE(dialog.GetFindTypes().size(), std::size_t{3});
        QCOMPARE(dialog.GetFindTypes()[2].Condition, Sjis(QStringLiteral("日本\t語")));
    }

    void exactModeKeepsTheTextAndDropsDuplicates() {
        TFormFind dialog(nullptr);
        Add(dialog, QStringLiteral("abc"));
        Add(dialog, QStringLiteral("abc"));
        QCOMPARE(dialog.GetFindTypes().size(), std::size_t{1});

        QTest::mouseClick(Child<RadioGroup>(dialog, "RadioGroupFindPos").Button(2), Qt::LeftButton);
        QTest::mouseClick(&Child<QCheckBox>(dialog, "CheckBoxCapital"), Qt::LeftButton);
        Add(dialog, QStringLiteral("abc"));
        Add(dialog, QStringLiteral("  "));
        Add(dialog, QString());  // an empty text adds nothing
        const std::vector<TFindType> expected{
            {0, "abc", false, false}, {2, "abc", true, false}, {2, "  ", true, false}};
        QCOMPARE(dialog.GetFindTypes(), expected);
        QCOMPARE(Child<TEditFindTypeGrid>(dialog, "EditFindTypeGrid").model()->rowCount(), 3);
    }

    void deleteRemovesOnlyAHighlightedRow() {
        TFormFind dialog(nullptr);
        const TFindType x{1, "x", false, false};
        const TFindType y{0, "y", true, true};
        dialog.SetFindTypes({x, y});
        dialog.show();
        auto& grid = Child<TEditFindTypeGrid>(dialog, "EditFindTypeGrid");
        auto& del = Child<QPushButton>(dialog, "BtnDel");
        const QPoint second = grid.visualRect(grid.model()->index(1, 0)).center();
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, second);
        // A click below the rows takes the highlight away: nothing is deleted.
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                          QPoint(5, grid.viewport()->height() - 3));
        QTest::mouseClick(&del, Qt::LeftButton);
        QCOMPARE(dialog.GetFindTypes(), (std::vector<TFindType>{x, y}));
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, second);
        QTest::mouseClick(&del, Qt::LeftButton);
        QCOMPARE(dialog.GetFindTypes(), std::vector<TFindType>{x});
    }

    void ignoringCaseIsGreyedOutForARegularExpression() {
        TFormFind dialog(nullptr);
        auto& capital = Child<QCheckBox>(dialog, "CheckBoxCapital");
        auto& regexp = Child<QCheckBox>(dialog, "CheckBoxRegexp");
        QTest::mouseClick(&capital, Qt::LeftButton);
        QTest::mouseClick(&regexp, Qt::LeftButton);
        QVERIFY(!capital.isEnabled());
        Add(dialog, QStringLiteral("a+"));
        QTest::mouseClick(&regexp, Qt::LeftButton);
        QVERIFY(capital.isEnabled());
        Add(dialog, QStringLiteral("b"));
        const std::vector<TFindType> expected{{0, "a+", false, true}, {0, "b", true, false}};
        QCOMPARE(dialog.GetFindTypes(), expected);
    }

    void deletingTheLastRowLeavesOneEmptyRow() {
        TFormFind dialog(nullptr);
        const TFindType x{1, "x", false, false};
        const TFindType y{0, "y", true, true};
        dialog.SetFindTypes({x, y, x});  // taken as it is, duplicates included
        auto& grid = Child<TEditFindTypeGrid>(dialog, "EditFindTypeGrid");
        auto& del = Child<QPushButton>(dialog, "BtnDel");
        QCOMPARE(grid.model()->rowCount(), 3);

        grid.SetCurrentDataRow(1);
        QTest::mouseClick(&del, Qt::LeftButton);
        QCOMPARE(dialog.GetFindTypes(), (std::vector<TFindType>{x, x}));
        QTest::mouseClick(&del, Qt::LeftButton);
        QTest::mouseClick(&del, Qt::LeftButton);
        QVERIFY(dialog.GetFindTypes().empty());
        QCOMPARE(grid.model()->rowCount(), 1);
        QCOMPARE(grid.model()->index(0, 0).data().toString(), QString());
        QTest::mouseClick(&del, Qt::LeftButton);  // no condition in the row: nothing happens
        QVERIFY(dialog.GetFindTypes().empty());

        dialog.SetFindTypes({x, y});
        QTest::mouseClick(&Child<QPushButton>(dialog, "BtnDelAll"), Qt::LeftButton);
        QVERIFY(dialog.GetFindTypes().empty());
        QCOMPARE(grid.model()->rowCount(), 1);
    }

    void cancelLeavesTheJobAndOkGivesTheList() {
        const std::vector<TFindType> stored{{0, "a", false, false}, {1, "b", false, false}};
        Job().SetConditions(stored);
        {
            TFormFind dialog(nullptr);
            dialog.SetFindTypes(Job().GetConditions());
            Add(dialog, QStringLiteral("c"));
            QTest::mouseClick(&Child<QPushButton>(dialog, "BtnDel"), Qt::LeftButton);
            QTest::mouseClick(&Child<QPushButton>(dialog, "BtnCancel"), Qt::LeftButton);
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        }
        {
            TFormFind dialog(nullptr);
            dialog.SetFindTypes(Job().GetConditions());
            QTest::mouseClick(&Child<QPushButton>(dialog, "BtnDelAll"), Qt::LeftButton);
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        }
        QCOMPARE(Job().GetConditions(), stored);

        TFormFind dialog(nullptr);
        dialog.SetFindTypes(Job().GetConditions());
        QTest::mouseClick(&Child<QPushButton>(dialog, "BtnDelAll"), Qt::LeftButton);
        QTest::mouseClick(&Child<QPushButton>(dialog, "BtnOK"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(dialog.GetFindTypes().empty());
    }

    void okOrEnterWithTextNotRegisteredAsksWhetherToRegisterIt() {
        const TFindType a{0, "a", false, false};
        const TFindType d{0, "d", false, false};
        struct Case {
            MessageButton answer;
            bool stays_open;
            std::vector<TFindType> conditions;
        };
        for (const Case& c :
             {Case{MessageButton::Cancel, true, {a}}, Case{MessageButton::No, false, {a}},
              Case{MessageButton::Yes, false, {a, d}}}) {
            TFormFind dialog(nullptr);
            dialog.SetFindTypes({a});
            dialog.show();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            auto& combo = Child<QComboBox>(dialog, "ComboBoxFindStr");
            Type(combo, QStringLiteral("d"));
            Boxes().ClearAsked();
            Boxes().SetNextAnswer(c.answer);
            QTest::keyClick(combo.lineEdit(), Qt::Key_Return);  // Enter in the text box
            const auto boxes = Boxes().Messages();
            QCOMPARE(boxes.size(), std::size_t{1});
            QCOMPARE(boxes[0].buttons,
                     MessageButton::Yes | MessageButton::No | MessageButton::Cancel);
            QVERIFY2(boxes[0].text.contains(QStringLiteral("「d」")), qPrintable(boxes[0].text));
            QCOMPARE(dialog.isVisible(), c.stays_open);
            QCOMPARE(dialog.GetFindTypes(), c.conditions);
        }
        // Text that is in the list already: OK asks nothing.
        TFormFind dialog(nullptr);
        Add(dialog, QStringLiteral("a"));
        Boxes().ClearAsked();
        QTest::mouseClick(&Child<QPushButton>(dialog, "BtnOK"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(Boxes().Messages().empty());
    }

    void textWithoutShiftJisIsRefusedWithABox() {
        TFormFind dialog(nullptr);
        QTest::mouseClick(&Child<QRadioButton>(dialog, "RadioButtonAllInclusive"), Qt::LeftButton);
        Boxes().SetNextAnswer(MessageButton::Ok);
        // One good word beside a bad one: the whole text is refused, not half of it.
        Add(dialog, QStringLiteral("good ") + QString::fromUcs4(U"\U0001F4E7"));
        QVERIFY(dialog.GetFindTypes().empty());
        QCOMPARE(Boxes().Messages().size(), std::size_t{1});
        QCOMPARE(Boxes().Messages()[0].kind, MessageKind::Warning);
    }

    void keyboardAndHints() {
        TFormFind dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));

        // The tab order, from the text box on; the list buttons take no focus.
        const QStringList expected{"ComboBoxFindStr",
                                   "RadioButtonMatchFull",
                                   "RadioGroupFindPos",
                                   "CheckBoxCapital",
                                   "CheckBoxRegexp",
                                   "EditFindTypeGrid",
                                   "BtnOK",
                                   "BtnCancel"};
        QStringList visited;
        for (int i = 0; i < expected.size(); ++i) {
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus != nullptr);
            QWidget* named = focus;
            while (named->objectName().isEmpty() ||
                   (named->parentWidget() != nullptr &&
                    qobject_cast<RadioGroup*>(named->parentWidget()) != nullptr)) {
                named = named->parentWidget();
            }
            visited << named->objectName();
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        QCOMPARE(visited, expected);

        // Alt+N reaches the text box, Alt+I adds, Alt+G empties the list.
        Child<QCheckBox>(dialog, "CheckBoxRegexp").setFocus();
        QTest::keyClick(&dialog, Qt::Key_N, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), &Child<QComboBox>(dialog, "ComboBoxFindStr"));
        Type(*QApplication::focusWidget(), QStringLiteral("abc"));
        // A button's mnemonic clicks it after its press is shown, hence the waits.
        QTest::keyClick(&dialog, Qt::Key_I, Qt::AltModifier);
        QTRY_COMPARE(dialog.GetFindTypes().size(), std::size_t{1});
        QTest::keyClick(&dialog, Qt::Key_G, Qt::AltModifier);
        QTRY_VERIFY(dialog.GetFindTypes().empty());

        // The status bar shows the long hint of the control under the mouse.
        auto& status = Child<QStatusBar>(dialog, "StatusBar1");
        QTest::mouseMove(&Child<QPushButton>(dialog, "BtnAdd"));
        QTRY_COMPARE(status.currentMessage(), QStringLiteral("条件を登録します"));
        QCOMPARE(Child<QComboBox>(dialog, "ComboBoxFindStr").toolTip(),
                 QStringLiteral("条件文字列"));
        QVERIFY(Child<QPushButton>(dialog, "BtnAdd").toolTip().isEmpty());
    }
};

}  // namespace brindle::testing

QTEST_MAIN(brindle::testing::FormFindTest)
#include "form_find_test.moc"
