// Small pieces that the dialogs and the main window share: the radio group (a titled box of
// radio buttons with one item index) and hints in the form "short|long".
#pragma once

#include <QGroupBox>
#include <QRadioButton>
#include <QStringList>

#include "platform/language.hpp"

class QButtonGroup;
class QDialog;
class QDialogButtonBox;
class QPushButton;
class QWidget;

namespace brindle {

// A titled group of radio buttons laid out in columns, with one selected item index (-1:
// none). Click() is emitted whenever the index changes, by the user or from code, so that a
// handler sees every change; code that sets the index itself guards against its own change.
class RadioGroup : public QGroupBox {
    Q_OBJECT

  public:
    RadioGroup(const QString& title, const QStringList& items, int columns, QWidget* parent);

    int ItemIndex() const;
    void SetItemIndex(int index);
    QRadioButton* Button(int index) const;
    int Count() const;

  signals:
    void Click(int index);

  private:
    QButtonGroup* buttons_;
};

// Gives a dialog its fixed size: the client size of its form, or more where the laid-out
// controls need more (a larger font, another style).
void FixDialogSize(QDialog& dialog, int client_width, int client_height);

// The OK and キャンセル buttons of a dialog's button box, named as the form named them. The box
// orders them as the desktop does; OK is the default button.
QPushButton* AddOkButton(QDialogButtonBox& box, const char* name = "BtnOK");
QPushButton* AddCancelButton(QDialogButtonBox& box, const char* name = "BtnCancel");

// Makes the Japanese font the application's font when it is installed, so that Latin and
// Japanese text come from one font instead of a Latin font with a Japanese fallback.
void UseJapaneseFont();

// Loads Qt's own Japanese texts (the standard buttons, the file dialog) from Qt's translations
// folder; false when qtbase_ja.qm is not installed (Debian package qt6-translations-l10n).
bool UseJapaneseQtTexts();

// Qt's own texts in the window's language, so that the standard buttons and the file dialog
// speak as the program does, whatever else the locale says: Japanese loads them, English is
// Qt's own and loads nothing. False when the language's translations are not installed.
bool UseQtTexts(Language language);

// Help contexts: anchors "context-N" of the help pages.
inline constexpr int kHelpContextMain = 1;
inline constexpr int kHelpContextParameter = 9;
inline constexpr int kHelpContextConditions = 12;

// The help context of a window or a control. Set and read only through these two, so that the
// property has one name.
void SetHelpContext(QWidget& widget, int context);
// The context of the widget, else of the nearest widget around it that has one; the main
// window's when none has.
int HelpContextOf(const QWidget* widget);

// Sets a hint "short|long": the part before the bar becomes the tooltip, the part after it
// the status-bar text. A hint without a bar is both. An empty part sets nothing.
void SetHint(QWidget& widget, const QString& hint);

}  // namespace brindle
