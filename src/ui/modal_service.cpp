#include "ui/modal_service.hpp"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>
#include <QUrl>
#include <array>
#include <utility>

#include "platform/report.hpp"
#include "platform/version_info.hpp"

namespace brindle {
namespace {

ModalService*& Installed() {
    static ModalService* service = nullptr;
    return service;
}

struct ButtonPair {
    MessageButton ours;
    QMessageBox::StandardButton qt;
};

// In the order in which Windows makes a button the default: the first button of the box.
constexpr std::array<ButtonPair, 7> kButtons{{
    {MessageButton::Ok, QMessageBox::Ok},
    {MessageButton::Yes, QMessageBox::Yes},
    {MessageButton::Abort, QMessageBox::Abort},
    {MessageButton::Retry, QMessageBox::Retry},
    {MessageButton::Ignore, QMessageBox::Ignore},
    {MessageButton::No, QMessageBox::No},
    {MessageButton::Cancel, QMessageBox::Cancel},
}};

QMessageBox::Icon IconOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Information:
            return QMessageBox::Information;
        case MessageKind::Warning:
            return QMessageBox::Warning;
        case MessageKind::Error:
            return QMessageBox::Critical;
        case MessageKind::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QString CaptionOr(const QString& caption) {
    return caption.isEmpty() ? QString::fromUtf8(version_info::kProductName) : caption;
}

void PrepareFileDialog(QFileDialog& dialog, const FileRequest& request) {
    dialog.setWindowTitle(request.caption);
    if (!request.directory.isEmpty()) {
        dialog.setDirectory(request.directory);
    }
    if (!request.file_name.isEmpty()) {
        dialog.selectFile(request.file_name);
    }
    if (!request.filter.isEmpty()) {
        dialog.setNameFilter(request.filter);
    }
}

MessageKind KindOf(ReportKind kind) {
    switch (kind) {
        case ReportKind::Information:
            return MessageKind::Information;
        case ReportKind::Warning:
            return MessageKind::Warning;
        case ReportKind::Error:
            return MessageKind::Error;
    }
    return MessageKind::Warning;
}

void ShowReport(const Report& report) {
    MessageRequest request;
    request.kind = KindOf(report.kind);
    request.caption = QString::fromStdString(report.caption);
    request.text = QString::fromStdString(report.message);
    request.buttons = MessageButton::Ok;
    Modal().ShowMessage(QApplication::activeWindow(), request);
}

}  // namespace

MessageButton QtModalService::ShowMessage(QWidget* parent, const MessageRequest& request) {
    QMessageBox box(IconOf(request.kind), CaptionOr(request.caption), request.text,
                    QMessageBox::NoButton, parent);
    QMessageBox::StandardButton default_button = QMessageBox::NoButton;
    for (const ButtonPair& pair : kButtons) {
        if (Offers(request.buttons, pair.ours)) {
            QPushButton* button = box.addButton(pair.qt);
            for (const auto& [ours, text] : request.button_texts) {
                if (ours == pair.ours) {
                    button->setText(text);
                }
            }
            if (default_button == QMessageBox::NoButton || pair.ours == request.default_button) {
                default_button = pair.qt;
            }
        }
    }
    if (default_button == QMessageBox::NoButton) {
        default_button = QMessageBox::Ok;
        box.addButton(default_button);
    }
    box.setDefaultButton(default_button);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    const QMessageBox::StandardButton chosen =
        clicked != nullptr ? box.standardButton(clicked) : QMessageBox::NoButton;
    for (const ButtonPair& pair : kButtons) {
        if (pair.qt == chosen) {
            return pair.ours;
        }
    }
    return MessageButton::NoButton;
}

QStringList QtModalService::GetOpenFileNames(QWidget* parent, const FileRequest& request) {
    QFileDialog dialog(parent);
    PrepareFileDialog(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList{};
}

QString QtModalService::GetOpenFileName(QWidget* parent, const FileRequest& request) {
    QFileDialog dialog(parent);
    PrepareFileDialog(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

QString QtModalService::GetSaveFileName(QWidget* parent, const FileRequest& request) {
    QFileDialog dialog(parent);
    PrepareFileDialog(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(request.default_suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

QString QtModalService::GetExistingDirectory(QWidget* parent, const FileRequest& request) {
    return QFileDialog::getExistingDirectory(parent, request.caption, request.directory);
}

void QtModalService::OpenWithShell(const QString& target) {
    const QUrl url = QUrl::fromUserInput(target);
    if (url.isValid()) {
        QDesktopServices::openUrl(url);
    }
}

ModalService& Modal() {
    static QtModalService qt_service;
    ModalService* installed = Installed();
    return installed != nullptr ? *installed : qt_service;
}

ScopedModalService::ScopedModalService(ModalService& service)
    : previous_(std::exchange(Installed(), &service)) {}

ScopedModalService::~ScopedModalService() {
    Installed() = previous_;
}

MessageButton ShowMessage(QWidget* parent, MessageKind kind, const QString& text,
                          MessageButton buttons) {
    MessageRequest request;
    request.kind = kind;
    request.text = text;
    request.buttons = buttons;
    return Modal().ShowMessage(parent, request);
}

struct ScopedReportBoxes::Impl {
    ScopedReportSink sink{[](const Report& report) {
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr || QThread::currentThread() == app->thread()) {
            ShowReport(report);
            return;
        }
        QMetaObject::invokeMethod(
            app, [report] { ShowReport(report); }, Qt::QueuedConnection);
    }};
};

ScopedReportBoxes::ScopedReportBoxes() : impl_(std::make_unique<Impl>()) {}

ScopedReportBoxes::~ScopedReportBoxes() = default;

}  // namespace brindle
