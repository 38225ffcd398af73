#include "ui/form_param.hpp"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/setting_file.hpp"
#include "ui/modal_service.hpp"
#include "ui/ui_text.hpp"
#include "ui/widgets.hpp"

namespace brindle {

TFormParam::TFormParam(const TSettingFile& job, QWidget* parent)
    : QDialog(parent),
      edit_name_param_(new QLineEdit(this)),
      radio_group_name_param_pos_(new RadioGroup(
          WindowText(WindowMsg::GroupParamPlace),
          {WindowText(WindowMsg::ParamInBody), WindowText(WindowMsg::ParamInHeader)}, 1, this)),
      radio_group_name_param_line_(new RadioGroup(
          WindowText(WindowMsg::GroupParamLine),
          {WindowText(WindowMsg::ParamSameLine), WindowText(WindowMsg::ParamNextLine)}, 1, this)) {
    setObjectName(QStringLiteral("FormParam"));
    setWindowTitle(WindowText(WindowMsg::ParamTitle));
    SetHelpContext(*this, kHelpContextParameter);

    const TFindParam param = job.GetNamingTypeParameter();
    opened_text_ = param.ParamText;
    opened_display_ = SjisToQString(param.ParamText);

    auto* label = new QLabel(WindowText(WindowMsg::ParamLabelText), this);
    label->setBuddy(edit_name_param_);
    edit_name_param_->setObjectName(QStringLiteral("EditNameParam"));
    edit_name_param_->setText(opened_display_);
    radio_group_name_param_pos_->setObjectName(QStringLiteral("RadioGroupNameParamPos"));
    radio_group_name_param_pos_->SetItemIndex(static_cast<int>(param.NamingPos));
    radio_group_name_param_line_->setObjectName(QStringLiteral("RadioGroupNameParamLine"));
    radio_group_name_param_line_->SetItemIndex(static_cast<int>(param.NamingLine));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* btn_ok = AddOkButton(*buttons);
    QPushButton* btn_cancel = AddCancelButton(*buttons);

    auto* text_row = new QHBoxLayout;
    text_row->addWidget(label);
    text_row->addWidget(edit_name_param_, 1);
    auto* groups = new QHBoxLayout;
    groups->addWidget(radio_group_name_param_pos_, 1);
    groups->addWidget(radio_group_name_param_line_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(text_row);
    layout->addLayout(groups);
    layout->addStretch(1);
    layout->addWidget(buttons);
    FixDialogSize(*this, 346, 184);

    setTabOrder(edit_name_param_, radio_group_name_param_pos_->Button(0));
    setTabOrder(radio_group_name_param_pos_->Button(0), radio_group_name_param_pos_->Button(1));
    setTabOrder(radio_group_name_param_pos_->Button(1), radio_group_name_param_line_->Button(0));
    setTabOrder(radio_group_name_param_line_->Button(0), radio_group_name_param_line_->Button(1));
    setTabOrder(radio_group_name_param_line_->Button(1), btn_ok);
    setTabOrder(btn_ok, btn_cancel);
    edit_name_param_->setFocus();

    connect(radio_group_name_param_pos_, &RadioGroup::Click, this,
            &TFormParam::RadioGroupNameParamPosClick);
    connect(buttons, &QDialogButtonBox::accepted, this, &TFormParam::BtnOKClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    RadioGroupNameParamPosClick();
}

TFindParam TFormParam::GetFindParam() const {
    TFindParam param;
    const QString text = edit_name_param_->text();
    param.ParamText =
        text == opened_display_ ? opened_text_ : QStringToSjis(text).value_or(std::string{});
    param.NamingPos =
        static_cast<TNamingPos>(std::max(radio_group_name_param_pos_->ItemIndex(), 0));
    param.NamingLine =
        static_cast<TNamingLine>(std::max(radio_group_name_param_line_->ItemIndex(), 0));
    return param;
}

void TFormParam::RadioGroupNameParamPosClick() {
    radio_group_name_param_line_->setEnabled(radio_group_name_param_pos_->ItemIndex() == 0);
}

void TFormParam::BtnOKClick() {
    const QString text = edit_name_param_->text();
    if (text.isEmpty()) {
        ShowMessage(this, MessageKind::Warning, WindowText(WindowMsg::ParamTextMissing));
        return;
    }
    if (text != opened_display_ && !SjisFromUser(this, text)) {
        return;
    }
    accept();
}

}  // namespace brindle
