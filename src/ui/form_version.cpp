#include "ui/form_version.hpp"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/modal_service.hpp"
#include "ui/widgets.hpp"

#ifndef BRINDLE_AUTHOR
#define BRINDLE_AUTHOR "Brindle developers"
#endif
#ifndef BRINDLE_HOMEPAGE
#define BRINDLE_HOMEPAGE "https://brindle.example.org/"
#endif

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
    : QDialog(parent), product_name_(nullptr), comments_(nullptr) {
    // Read first, so that a missing version block leaves nothing half built.
    const QString product = ProductCaption(std::move(version_strings));

    setObjectName(QStringLiteral("FormVersion"));
    setWindowTitle(QStringLiteral("バージョン情報"));

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);

    product_name_ = new QLabel(product, panel);
    product_name_->setObjectName(QStringLiteral("ProductName"));
    QFont product_font = product_name_->font();
    product_font.setBold(true);
    product_name_->setFont(product_font);

    auto* author_caption = new QLabel(QStringLiteral("作者："), panel);
    author_caption->setObjectName(QStringLiteral("Label1"));
    auto* author_name = new QLabel(QString::fromUtf8(BRINDLE_AUTHOR), panel);
    author_name->setObjectName(QStringLiteral("Label2"));

    comments_ = new QLabel(QString::fromUtf8(BRINDLE_HOMEPAGE), panel);
    comments_->setObjectName(QStringLiteral("Comments"));
    comments_->setWordWrap(true);
    comments_->setCursor(Qt::PointingHandCursor);
    QPalette link = comments_->palette();
    link.setColor(QPalette::WindowText, Qt::blue);
    comments_->setPalette(link);
    comments_->installEventFilter(this);

    auto* ok_button = new QPushButton(QStringLiteral("OK"), this);
    ok_button->setObjectName(QStringLiteral("OKButton"));
    ok_button->setDefault(true);
    connect(ok_button, &QPushButton::clicked, this, &QDialog::accept);

    auto* author_row = new QHBoxLayout;
    author_row->addWidget(author_caption);
    author_row->addWidget(author_name);
    author_row->addStretch(1);
    auto* panel_layout = new QVBoxLayout(panel);
    panel_layout->setContentsMargins(12, 10, 12, 10);
    panel_layout->addWidget(product_name_);
    panel_layout->addLayout(author_row);
    panel_layout->addWidget(comments_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_button);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(panel);
    layout->addLayout(buttons);
    FixDialogSize(*this, 298, 142);
    ok_button->setFocus();
}

void TFormVersion::CommentsClick() {
    Modal().OpenWithShell(comments_->text());
}

bool TFormVersion::eventFilter(QObject* watched, QEvent* event) {
    if (watched == comments_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        CommentsClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
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
