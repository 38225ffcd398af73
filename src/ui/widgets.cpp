#include "ui/widgets.hpp"

#include <QApplication>
#include <QButtonGroup>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLibraryInfo>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTranslator>
#include <QVariant>
#include <memory>

#include "ui/ui_text.hpp"

namespace brindle {

RadioGroup::RadioGroup(const QString& title, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(title, parent), buttons_(new QButtonGroup(this)) {
    auto* layout = new QGridLayout(this);
    const int per_column = columns > 0 ? columns : 1;
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        buttons_->addButton(button, i);
        layout->addWidget(button, i / per_column, i % per_column);
    }
    connect(buttons_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) {
            emit Click(id);
        }
    });
}

int RadioGroup::ItemIndex() const {
    return buttons_->checkedId();
}

void RadioGroup::SetItemIndex(int index) {
    if (QAbstractButton* button = buttons_->button(index)) {
        button->setChecked(true);
        return;
    }
    // No item: clear the selection, which an exclusive group refuses while it is exclusive.
    if (QAbstractButton* checked = buttons_->checkedButton()) {
        buttons_->setExclusive(false);
        checked->setChecked(false);
        buttons_->setExclusive(true);
    }
}

QRadioButton* RadioGroup::Button(int index) const {
    return qobject_cast<QRadioButton*>(buttons_->button(index));
}

int RadioGroup::Count() const {
    return static_cast<int>(buttons_->buttons().size());
}

void FixDialogSize(QDialog& dialog, int client_width, int client_height) {
    dialog.setFixedSize(dialog.sizeHint().expandedTo(QSize(client_width, client_height)));
}

QPushButton* AddOkButton(QDialogButtonBox& box, const char* name) {
    // The program's own caption, so the button reads the same with or without Qt's texts.
    QPushButton* button = box.addButton(QDialogButtonBox::Ok);
    button->setText(QStringLiteral("OK"));
    button->setObjectName(QString::fromLatin1(name));
    button->setDefault(true);
    return button;
}

QPushButton* AddCancelButton(QDialogButtonBox& box, const char* name) {
    QPushButton* button = box.addButton(QDialogButtonBox::Cancel);
    button->setText(WindowText(WindowMsg::ButtonCancel));
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

void UseJapaneseFont() {
    const QString family = QStringLiteral("IPAexGothic");
    if (QFontDatabase::hasFamily(family)) {
        QFont font = QApplication::font();
        font.setFamilies({family});
        QApplication::setFont(font);
    }
}

bool UseJapaneseQtTexts() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return false;
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator.get())) {
        return false;
    }
    // From here the application owns it: it is needed for as long as a window shows.
    translator->setParent(app);
    static_cast<void>(translator.release());
    return true;
}

bool UseQtTexts(Language language) {
    return language == Language::English || UseJapaneseQtTexts();
}

namespace {
constexpr const char* kHelpContextProperty = "HelpContext";
}  // namespace

void SetHelpContext(QWidget& widget, int context) {
    widget.setProperty(kHelpContextProperty, context);
}

int HelpContextOf(const QWidget* widget) {
    for (; widget != nullptr; widget = widget->parentWidget()) {
        const int context = widget->property(kHelpContextProperty).toInt();
        if (context > 0) {
            return context;
        }
    }
    return kHelpContextMain;
}

void SetHint(QWidget& widget, const QString& hint) {
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    const QString short_hint = bar < 0 ? hint : hint.left(bar);
    const QString long_hint = bar < 0 ? hint : hint.mid(bar + 1);
    if (!short_hint.isEmpty()) {
        widget.setToolTip(short_hint);
    }
    if (!long_hint.isEmpty()) {
        widget.setStatusTip(long_hint);
    }
}

}  // namespace brindle
