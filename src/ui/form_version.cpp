#include "ui/form_version.hpp"

#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/ui_text.hpp"
#include "ui/widgets.hpp"

namespace brindle {
namespace {

QString ProductCaption(std::optional<VersionStrings> version_strings) {
    const TkAppInfo info(std::move(version_strings));
    return QString::fromStdString(info.GetInfo(TkAppInfo::kProductName) + "(" +
                                  info.GetInfo(TkAppInfo::kFileVersion) + ")");
}

}  // namespace

TFormVersion::TFormVersion(QWidget* parent) : TFormVersion(parent, CompiledVersionStrings()) {}

TFormVersion::TFormVersion(QWidget* parent, std::optional<VersionStrings> version_strings)
    : QDialog(parent) {
    // Read first, so that a missing version block leaves nothing half built.
    const QString product = ProductCaption(std::move(version_strings));

    setObjectName(QStringLiteral("FormVersion"));
    setWindowTitle(WindowText(WindowMsg::VersionTitle));

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);

    auto* product_name = new QLabel(product, panel);
    product_name->setObjectName(QStringLiteral("ProductName"));
    QFont product_font = product_name->font();
    product_font.setBold(true);
    product_name->setFont(product_font);

    auto* licence_caption = new QLabel(WindowText(WindowMsg::VersionLicence), panel);
    licence_caption->setObjectName(QStringLiteral("Label1"));
    auto* licence_name = new QLabel(QStringLiteral(BRINDLE_LICENSE_NAME), panel);
    licence_name->setObjectName(QStringLiteral("LicenseName"));

    auto* buttons = new QDialogButtonBox(this);
    buttons->setCenterButtons(true);
    QPushButton* ok_button = AddOkButton(*buttons, "OKButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* licence_row = new QHBoxLayout;
    licence_row->addWidget(licence_caption);
    licence_row->addWidget(licence_name);
    licence_row->addStretch(1);
    auto* panel_layout = new QVBoxLayout(panel);
    panel_layout->setContentsMargins(12, 10, 12, 10);
    panel_layout->addWidget(product_name);
    panel_layout->addLayout(licence_row);
    panel_layout->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(panel);
    layout->addWidget(buttons);
    FixDialogSize(*this, 298, 142);
    ok_button->setFocus();
}

void TFormVersion::showEvent(QShowEvent* event) {
    // Centred on the screen, not on the window that opened it.
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}

}  // namespace brindle
