// The naming parameter dialog "パラメータ": the text after which a message's file name is found,
// where it is looked for (body or header) and which line holds the name. It starts from the
// job's parameter and changes nothing itself; the caller stores GetFindParam after OK.
#pragma once

#include <QDialog>
#include <string>

#include "model/naming.hpp"

class QLineEdit;

namespace brindle {

class RadioGroup;
class TSettingFile;

class TFormParam : public QDialog {
    Q_OBJECT

  public:
    TFormParam(const TSettingFile& job, QWidget* parent);

    // The record made from the controls. The text is Shift_JIS; an unchanged text comes back
    // with exactly the bytes it was opened with.
    TFindParam GetFindParam() const;

  public slots:
    // The line choice applies to the body only: it is greyed out while "ヘッダ(&H)" is
    // selected, and keeps its selection meanwhile.
    void RadioGroupNameParamPosClick();
    // Ends with OK unless the text is empty (a warning box) or holds a character that
    // Shift_JIS lacks (a box naming it); then the dialog stays open.
    void BtnOKClick();

  private:
    QLineEdit* edit_name_param_;
    RadioGroup* radio_group_name_param_pos_;
    RadioGroup* radio_group_name_param_line_;
    std::string opened_text_;  // the job's bytes
    QString opened_display_;   // as they were shown
};

}  // namespace brindle
