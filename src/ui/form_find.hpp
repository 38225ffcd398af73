// The condition dialog "変換条件": the user builds a list of conditions in the dialog's own copy;
// the caller stores the list only when the dialog ends with OK.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "model/find_type.hpp"

class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;
class QStatusBar;

namespace brindle {

class RadioGroup;
class TEditFindTypeGrid;

class TFormFind : public QDialog {
    Q_OBJECT

  public:
    explicit TFormFind(QWidget* parent);

    void SetFindTypes(const std::vector<TFindType>& conditions);
    std::vector<TFindType> GetFindTypes() const;

  public slots:
    // "↓登録(&I)": the combo box text becomes one condition, or one per word; text with a
    // character that Shift_JIS lacks is refused with a box and nothing is added.
    void BtnAddClick();
    void BtnDelClick();
    void BtnDelAllClick();
    // OK (or Enter): text typed into the box but not in the list is asked about first, since
    // it would otherwise be dropped and the job would convert every message: はい registers
    // it and closes, いいえ closes without it, キャンセル keeps the dialog open.
    void BtnOKClick();

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // The conditions that "↓登録" makes of the text as typed, with the choices as they are.
    std::vector<TFindType> TypedFindTypes(const std::string& sjis) const;
    // Whether the text box holds text whose conditions are not all in the list.
    bool HasUnregisteredText() const;

    QComboBox* combo_box_find_str_;
    QRadioButton* radio_button_match_full_;
    QRadioButton* radio_button_all_inclusive_;
    RadioGroup* radio_group_find_pos_;
    QCheckBox* check_box_capital_;
    QCheckBox* check_box_regexp_;
    TEditFindTypeGrid* grid_;
    QStatusBar* status_bar_;
};

}  // namespace brindle
