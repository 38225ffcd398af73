#include "ui/form_find.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "settings/condition_entry.hpp"
#include "ui/find_type_grid.hpp"
#include "ui/modal_service.hpp"
#include "ui/ui_text.hpp"
#include "ui/widgets.hpp"

namespace brindle {
namespace {

QPushButton* ListButton(const char* name, const QString& caption, const QString& hint,
                        QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    // Like the tool buttons they stand for, they act on the list without taking the focus
    // from it; their mnemonics still reach them.
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    SetHint(*button, hint);
    return button;
}

}  // namespace

TFormFind::TFormFind(QWidget* parent)
    : QDialog(parent),
      combo_box_find_str_(new QComboBox(this)),
      radio_button_match_full_(new QRadioButton(WindowText(WindowMsg::FindMatchFull), this)),
      radio_button_all_inclusive_(new QRadioButton(WindowText(WindowMsg::FindAllWords), this)),
      radio_group_find_pos_(new RadioGroup(
          WindowText(WindowMsg::GroupFindScope),
          {WindowText(WindowMsg::FindScopeBoth), WindowText(WindowMsg::FindScopeBody),
           WindowText(WindowMsg::FindScopeHeader)},
          3, this)),
      check_box_capital_(new QCheckBox(WindowText(WindowMsg::FindIgnoreCase), this)),
      check_box_regexp_(new QCheckBox(WindowText(WindowMsg::FindRegexp), this)),
      grid_(new TEditFindTypeGrid(this)),
      status_bar_(new QStatusBar(this)) {
    setObjectName(QStringLiteral("FormFind"));
    setWindowTitle(WindowText(WindowMsg::FindTitle));
    SetHelpContext(*this, kHelpContextConditions);

    combo_box_find_str_->setObjectName(QStringLiteral("ComboBoxFindStr"));
    combo_box_find_str_->setEditable(true);
    combo_box_find_str_->setInsertPolicy(QComboBox::NoInsert);
    combo_box_find_str_->setEditText(QString());
    SetHint(*combo_box_find_str_, WindowText(WindowMsg::HintFindText));
    auto* label = new QLabel(WindowText(WindowMsg::FindLabelText), this);
    label->setBuddy(combo_box_find_str_);

    radio_button_match_full_->setObjectName(QStringLiteral("RadioButtonMatchFull"));
    radio_button_match_full_->setChecked(true);
    SetHint(*radio_button_match_full_, WindowText(WindowMsg::HintFindMatchFull));
    radio_button_all_inclusive_->setObjectName(QStringLiteral("RadioButtonAllInclusive"));
    SetHint(*radio_button_all_inclusive_, WindowText(WindowMsg::HintFindAllWords));

    radio_group_find_pos_->setObjectName(QStringLiteral("RadioGroupFindPos"));
    radio_group_find_pos_->SetItemIndex(0);
    radio_group_find_pos_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    const QString find_pos_hint = WindowText(WindowMsg::HintFindScope);
    SetHint(*radio_group_find_pos_, find_pos_hint);
    for (int i = 0; i < radio_group_find_pos_->Count(); ++i) {
        SetHint(*radio_group_find_pos_->Button(i), find_pos_hint);
    }

    check_box_capital_->setObjectName(QStringLiteral("CheckBoxCapital"));
    check_box_capital_->setChecked(false);
    SetHint(*check_box_capital_, WindowText(WindowMsg::HintFindIgnoreCase));
    check_box_regexp_->setObjectName(QStringLiteral("CheckBoxRegexp"));
    SetHint(*check_box_regexp_, WindowText(WindowMsg::HintFindRegexp));

    QPushButton* btn_add = ListButton("BtnAdd", WindowText(WindowMsg::FindAdd),
                                      WindowText(WindowMsg::HintFindAdd), this);
    QPushButton* btn_del = ListButton("BtnDel", WindowText(WindowMsg::FindRemove),
                                      WindowText(WindowMsg::HintFindRemove), this);
    QPushButton* btn_del_all = ListButton("BtnDelAll", WindowText(WindowMsg::FindRemoveAll),
                                          WindowText(WindowMsg::HintFindRemoveAll), this);

    grid_->setObjectName(QStringLiteral("EditFindTypeGrid"));
    grid_->setMinimumSize(457, 73);

    auto* dialog_buttons = new QDialogButtonBox(this);
    QPushButton* btn_ok = AddOkButton(*dialog_buttons);
    SetHint(*btn_ok, WindowText(WindowMsg::HintFindOk));
    QPushButton* btn_cancel = AddCancelButton(*dialog_buttons);
    SetHint(*btn_cancel, WindowText(WindowMsg::HintFindCancel));

    status_bar_->setObjectName(QStringLiteral("StatusBar1"));
    status_bar_->setSizeGripEnabled(false);

    auto* find_row = new QHBoxLayout;
    find_row->addWidget(label);
    find_row->addWidget(combo_box_find_str_, 1);
    auto* mode_row = new QHBoxLayout;
    mode_row->addWidget(radio_button_match_full_);
    mode_row->addWidget(radio_button_all_inclusive_);
    mode_row->addStretch(1);
    auto* flag_row = new QHBoxLayout;
    flag_row->addWidget(check_box_capital_);
    flag_row->addWidget(check_box_regexp_);
    flag_row->addStretch(1);
    auto* list_buttons = new QHBoxLayout;
    list_buttons->addWidget(btn_add);
    list_buttons->addWidget(btn_del);
    list_buttons->addWidget(btn_del_all);
    list_buttons->addStretch(1);

    auto* content = new QVBoxLayout;
    content->setContentsMargins(8, 8, 8, 8);
    content->addLayout(find_row);
    content->addLayout(mode_row);
    content->addWidget(radio_group_find_pos_);
    content->addLayout(flag_row);
    content->addLayout(list_buttons);
    content->addWidget(grid_);
    content->addWidget(dialog_buttons);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(content);
    layout->addWidget(status_bar_);
    FixDialogSize(*this, 478, 312);

    setTabOrder(combo_box_find_str_, radio_button_match_full_);
    setTabOrder(radio_button_match_full_, radio_button_all_inclusive_);
    setTabOrder(radio_button_all_inclusive_, radio_group_find_pos_->Button(0));
    setTabOrder(radio_group_find_pos_->Button(0), radio_group_find_pos_->Button(1));
    setTabOrder(radio_group_find_pos_->Button(1), radio_group_find_pos_->Button(2));
    setTabOrder(radio_group_find_pos_->Button(2), check_box_capital_);
    setTabOrder(check_box_capital_, check_box_regexp_);
    setTabOrder(check_box_regexp_, grid_);
    setTabOrder(grid_, btn_ok);
    setTabOrder(btn_ok, btn_cancel);
    combo_box_find_str_->setFocus();

    // A regular expression always respects case (the command line refuses the two together):
    // the box means nothing while 正規表現 is ticked, and keeps its tick for when it is not.
    connect(check_box_regexp_, &QCheckBox::toggled, check_box_capital_,
            [this](bool regexp) { check_box_capital_->setEnabled(!regexp); });
    connect(btn_add, &QPushButton::clicked, this, &TFormFind::BtnAddClick);
    connect(btn_del, &QPushButton::clicked, this, &TFormFind::BtnDelClick);
    connect(btn_del_all, &QPushButton::clicked, this, &TFormFind::BtnDelAllClick);
    connect(dialog_buttons, &QDialogButtonBox::accepted, this, &TFormFind::BtnOKClick);
    connect(dialog_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void TFormFind::SetFindTypes(const std::vector<TFindType>& conditions) {
    grid_->SetFindTypes(conditions);
}

std::vector<TFindType> TFormFind::GetFindTypes() const {
    return grid_->GetFindTypes();
}

void TFormFind::BtnAddClick() {
    const QString text = combo_box_find_str_->currentText();
    if (text.isEmpty()) {
        return;
    }
    const std::optional<std::string> sjis = SjisFromUser(this, text);
    if (!sjis) {
        return;
    }
    for (const TFindType& condition : TypedFindTypes(*sjis)) {
        grid_->AddFindType(condition);
    }
    // The next typing replaces the text.
    combo_box_find_str_->lineEdit()->selectAll();
}

std::vector<TFindType> TFormFind::TypedFindTypes(const std::string& sjis) const {
    const bool all_words = radio_button_all_inclusive_->isChecked();
    const auto find_pos =
        static_cast<std::uint8_t>(std::max(radio_group_find_pos_->ItemIndex(), 0));
    return MakeFindTypes(sjis, all_words, find_pos,
                         check_box_capital_->isEnabled() && check_box_capital_->isChecked(),
                         check_box_regexp_->isChecked());
}

bool TFormFind::HasUnregisteredText() const {
    const QString text = combo_box_find_str_->currentText();
    if (text.isEmpty()) {
        return false;
    }
    const std::optional<std::string> sjis = QStringToSjis(text);
    if (!sjis) {
        return true;
    }
    const std::vector<TFindType> listed = grid_->GetFindTypes();
    const std::vector<TFindType> typed = TypedFindTypes(*sjis);
    return std::any_of(typed.begin(), typed.end(), [&listed](const TFindType& condition) {
        return std::find(listed.begin(), listed.end(), condition) == listed.end();
    });
}

void TFormFind::BtnDelClick() {
    grid_->DeleteFindType(grid_->SelectedDataRow());
}

void TFormFind::BtnDelAllClick() {
    grid_->ClearFindTypes();
}

void TFormFind::BtnOKClick() {
    if (HasUnregisteredText()) {
        const MessageButton answer = ShowMessage(
            this, MessageKind::Question,
            WindowText(WindowMsg::FindTextNotAdded, {{"text", combo_box_find_str_->currentText()}}),
            MessageButton::Yes | MessageButton::No | MessageButton::Cancel);
        if (answer == MessageButton::Yes) {
            BtnAddClick();
            if (HasUnregisteredText()) {
                return;  // refused: a character that Shift_JIS lacks, said in its own box
            }
        } else if (answer != MessageButton::No) {
            combo_box_find_str_->setFocus();
            return;
        }
    }
    accept();
}

void TFormFind::showEvent(QShowEvent* event) {
    // The list has its laid-out width only now.
    grid_->SetInitialColWidths();
    QDialog::showEvent(event);
}

bool TFormFind::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        status_bar_->showMessage(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QDialog::event(event);
}

}  // namespace brindle
