#include "app/form_convert.hpp"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QStringList>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/convert_controller.hpp"
#include "ui/modal_service.hpp"
#include "ui/ui_text.hpp"

namespace brindle {
namespace {

// The program's text with what the system said after it, when it said anything.
QString WithReason(const QString& error, const QString& reason) {
    return reason.isEmpty()
               ? error
               : WindowText(WindowMsg::WithReason, {{"error", error}, {"reason", reason}});
}

// The core's rule, as the command line and the output folders name a mailbox: a job saved on
// Windows gives "C:\\Mail\\Inbox.dbx", whose name QFileInfo would not find on this system.
QString FileNameOnly(const QString& path) {
    return PathToQString(SourceFileName(QStringToPath(path)));
}

// The failure list's height when the screen has room for it, and the least it keeps when not.
constexpr int kListMinHeight = 140;
constexpr int kListFloorHeight = 60;

// A count of nothing is nothing left to do: a full bar, where a range of 0..0 would make Qt
// draw a busy bar for good.
void SetCount(QProgressBar& bar, int count) {
    if (count > 0) {
        bar.setMaximum(count);
    } else {
        bar.setMaximum(1);
        bar.setValue(1);
    }
}

}  // namespace

TFormConvert::TFormConvert(TConvertJob job, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                         Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      controller_(new TConvertController(std::move(job), this)) {
    setObjectName(QStringLiteral("FormConvert"));
    setWindowTitle(WindowText(WindowMsg::ConvertTitle));
    setModal(true);

    progress_bar_mail_ = new QProgressBar(this);
    progress_bar_mail_->setObjectName(QStringLiteral("ProgressBarMail"));
    progress_bar_file_ = new QProgressBar(this);
    progress_bar_file_->setObjectName(QStringLiteral("ProgressBarFile"));
    for (QProgressBar* bar : {progress_bar_mail_, progress_bar_file_}) {
        bar->setRange(0, 0);
        bar->setValue(0);
        bar->setTextVisible(false);
        bar->setFixedHeight(16);
        bar->setMinimumWidth(353);
    }
    // A range of 0..0 makes Qt draw a busy bar; until a count is known the bars stand empty.
    progress_bar_mail_->setMaximum(1);
    progress_bar_file_->setMaximum(1);

    static_text_ = new QLabel(this);
    static_text_->setObjectName(QStringLiteral("StaticText1"));
    static_text_->setTextFormat(Qt::PlainText);

    failure_list_ = new QTreeWidget(this);
    failure_list_->setObjectName(QStringLiteral("ListFailures"));
    failure_list_->setHeaderLabels({WindowText(WindowMsg::ColumnFile),
                                    WindowText(WindowMsg::ColumnIndex),
                                    WindowText(WindowMsg::ColumnReason)});
    failure_list_->setRootIsDecorated(false);
    failure_list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    failure_list_->setFocusPolicy(Qt::ClickFocus);
    failure_list_->header()->setStretchLastSection(true);
    failure_list_->setColumnWidth(
        1, failure_list_->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
    failure_list_->setMinimumSize(520, kListMinHeight);
    failure_list_->setTextElideMode(Qt::ElideMiddle);
    failure_list_->hide();
    // Its own menu and keys, so that the whole record can be kept: a view copies one cell.
    const auto add_action = [this](const char* name, const QString& text,
                                   QKeySequence::StandardKey key, auto slot) {
        auto* action = new QAction(text, failure_list_);
        action->setObjectName(QString::fromLatin1(name));
        if (key != QKeySequence::UnknownKey) {
            action->setShortcut(key);
            action->setShortcutContext(Qt::WidgetShortcut);
        }
        connect(action, &QAction::triggered, this, slot);
        failure_list_->addAction(action);
    };
    add_action("ActionSelectAllFailures", WindowText(WindowMsg::ActionSelectAll),
               QKeySequence::SelectAll, [this] { failure_list_->selectAll(); });
    add_action("ActionCopyFailures", WindowText(WindowMsg::ActionCopy), QKeySequence::Copy,
               [this] { CopyFailures(); });
    add_action("ActionSaveFailures", WindowText(WindowMsg::ActionSaveFailures),
               QKeySequence::UnknownKey, [this] { SaveFailures(); });
    failure_list_->setContextMenuPolicy(Qt::ActionsContextMenu);

    summary_text_ = new QLabel(this);
    summary_text_->setObjectName(QStringLiteral("LabelSummary"));
    summary_text_->setTextFormat(Qt::PlainText);
    summary_text_->hide();

    btn_close_ = new QPushButton(WindowText(WindowMsg::ButtonClose), this);
    btn_close_->setObjectName(QStringLiteral("BtnClose"));
    btn_close_->setMinimumWidth(89);
    btn_close_->setDefault(true);
    connect(btn_close_, &QPushButton::clicked, this, &TFormConvert::BtnCloseClick);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 16, 8, 10);
    layout->setSpacing(8);
    layout->addWidget(progress_bar_mail_);
    layout->addWidget(progress_bar_file_);
    layout->addWidget(static_text_);
    layout->addWidget(failure_list_);
    layout->addWidget(summary_text_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btn_close_);
    buttons->addStretch();
    layout->addSpacing(8);
    layout->addLayout(buttons);
    // A fixed border: the dialog takes the size its contents need and only grows when the list
    // of failures appears.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(controller_, &TConvertController::fileCountKnown, this,
            [this](int count) { SetCount(*progress_bar_file_, count); });
    connect(controller_, &TConvertController::fileStarted, this, &TFormConvert::OnFileStarted);
    connect(controller_, &TConvertController::messageCountKnown, this,
            [this](int count) { SetCount(*progress_bar_mail_, count); });
    connect(controller_, &TConvertController::messageDone, this,
            [this](int index) { progress_bar_mail_->setValue(index + 1); });
    connect(controller_, &TConvertController::messageFailed, this,
            [this](const QString& path, int index, const QString& error, const QString& reason) {
                AddListRow(path, QString::number(index), WithReason(error, reason));
            });
    connect(
        controller_, &TConvertController::fileWarning, this,
        [this](const QString& path, const QString& warning) {
            AddListRow(path, QString(), WindowText(WindowMsg::WarningRow, {{"warning", warning}}));
        });
    connect(controller_, &TConvertController::messageWarning, this,
            [this](const QString& path, int index, const QString& warning) {
                AddListRow(path, QString::number(index),
                           WindowText(WindowMsg::WarningRow, {{"warning", warning}}));
            });
    connect(controller_, &TConvertController::fileFailed, this, &TFormConvert::OnFileFailed);
    connect(controller_, &TConvertController::completed, this,
            [this] { static_text_->setText(WindowText(WindowMsg::ConversionDone)); });
    connect(controller_, &TConvertController::failed, this, &TFormConvert::OnRunFailed);
    connect(controller_, &TConvertController::finished, this, &TFormConvert::OnFinished);
}

TFormConvert::~TFormConvert() = default;

void TFormConvert::SetMailboxOpener(TMailboxOpener opener) {
    controller_->SetMailboxOpener(std::move(opener));
}

void TFormConvert::SetThreadStarter(std::function<std::thread(std::function<void()>)> starter) {
    controller_->SetThreadStarter(std::move(starter));
}

void TFormConvert::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    placed_size_ = QSize();
    FitToScreen();
    if (!started_) {
        started_ = true;
        // The first idle moment after the dialog has appeared.
        QTimer::singleShot(0, controller_, &TConvertController::Start);
    }
}

void TFormConvert::BtnCloseClick() {
    if (!stop_flag_) {
        stop_flag_ = true;
        controller_->RequestStop();
        if (!started_) {
            run_finished_ = true;  // nothing will run: the next press closes
        }
        return;
    }
    if (run_finished_) {
        accept();
    } else {
        // Stopped, but the messages already read are still being written: close once they are.
        close_when_finished_ = true;
    }
}

void TFormConvert::reject() {
    BtnCloseClick();
}

void TFormConvert::closeEvent(QCloseEvent* event) {
    // The title bar's close button is the Close button: during the run it asks the run to stop
    // and keeps the dialog, with its list and summary, until it is pressed again.
    BtnCloseClick();
    if (isVisible()) {
        event->ignore();
    } else {
        event->accept();
    }
}

void TFormConvert::OnFileStarted(int index, const QString& path) {
    // A long name is cut in its middle rather than widening the dialog past the screen.
    const QFontMetrics metrics = static_text_->fontMetrics();
    const int room = std::max(progress_bar_mail_->width(), progress_bar_mail_->minimumWidth()) -
                     metrics.horizontalAdvance(WindowText(WindowMsg::Processing, {{"file", {}}}));
    static_text_->setText(
        WindowText(WindowMsg::Processing,
                   {{"file", metrics.elidedText(FileNameOnly(path), Qt::ElideMiddle, room)}}));
    static_text_->setToolTip(path);
    FitToScreen();
    progress_bar_file_->setValue(index + 1);
    progress_bar_mail_->setValue(0);
}

void TFormConvert::OnFileFailed(const QString& path, const QString& error, const QString& reason) {
    AddListRow(path, QString(), WithReason(error, reason));
    // Once a stop is asked for, the failures still to come are listed only: a job of thousands
    // of missing files must not hold the user to one box each.
    if (stop_flag_) {
        return;
    }
    MessageRequest request;
    request.kind = MessageKind::Error;
    request.text = WindowText(WindowMsg::FileFailed,
                              {{"file", FileNameOnly(path)}, {"error", WithReason(error, reason)}});
    request.buttons = MessageButton::Ok | MessageButton::Abort;
    request.default_button = MessageButton::Ok;
    request.button_texts = {{MessageButton::Ok, WindowText(WindowMsg::ButtonContinue)},
                            {MessageButton::Abort, WindowText(WindowMsg::ButtonStop)}};
    if (Modal().ShowMessage(this, request) == MessageButton::Abort) {
        // The worker waits for this box and reads the flag before its next source.
        BtnCloseClick();
    }
}

void TFormConvert::OnRunFailed(const QString& error) {
    AddListRow(QString(), QString(), error);
    ShowMessage(this, MessageKind::Error, error);
}

void TFormConvert::AddListRow(const QString& path, const QString& index, const QString& reason) {
    auto* item = new QTreeWidgetItem({FileNameOnly(path), index, reason});
    item->setToolTip(0, path);
    item->setToolTip(2, reason);
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    failure_list_->addTopLevelItem(item);
    // Widened row by row from the new text alone: refitting over all rows would cost time
    // growing with the square of the failures of a badly damaged mailbox.
    const QFontMetrics metrics = failure_list_->fontMetrics();
    const int padding = 2 * failure_list_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 12;
    for (int column : {0, 1}) {
        int wanted = metrics.horizontalAdvance(item->text(column)) + padding;
        if (column == 0) {
            // A long name is cut in its middle (the tooltip has the whole path), leaving the
            // reason room.
            wanted = std::min(wanted, failure_list_->minimumWidth() / 3);
        }
        if (failure_list_->columnWidth(column) < wanted) {
            failure_list_->setColumnWidth(column, wanted);
        }
    }
    if (failure_list_->isHidden()) {
        failure_list_->show();
        FitToScreen();
    }
}

void TFormConvert::FitToScreen() {
    if (!isVisible()) {
        return;
    }
    QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    const QScreen* on = owner != nullptr ? owner->screen() : screen();
    if (on == nullptr) {
        return;
    }
    const QRect room = on->availableGeometry();
    // The frame (title bar, borders) as the window system has it; before the first frame is
    // known, an allowance for a title bar.
    QSize frame = frameGeometry().size() - size();
    if (frame.height() <= 0) {
        frame = QSize(8, 40);
    }
    // The list back at its own height, then cut by what the screen lacks.
    failure_list_->setMinimumHeight(kListMinHeight);
    failure_list_->setMaximumHeight(QWIDGETSIZE_MAX);
    layout()->activate();
    const int over = height() + frame.height() - room.height();
    if (over > 0 && failure_list_->isVisible()) {
        const int list = std::max(kListFloorHeight, failure_list_->height() - over);
        failure_list_->setMinimumHeight(list);
        failure_list_->setMaximumHeight(list);
        layout()->activate();
    }
    if (size() == placed_size_) {
        return;  // the user may have moved it: only a new size places it again
    }
    placed_size_ = size();
    QRect placed(QPoint(), size() + frame);
    placed.moveCenter(owner != nullptr ? owner->frameGeometry().center() : room.center());
    placed.moveLeft(std::clamp(placed.left(), room.left(),
                               std::max(room.left(), room.right() + 1 - placed.width())));
    placed.moveTop(std::clamp(placed.top(), room.top(),
                              std::max(room.top(), room.bottom() + 1 - placed.height())));
    move(placed.topLeft());
}

QString TFormConvert::FailureRows(bool selected_only) const {
    QString rows;
    for (int i = 0; i < failure_list_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = failure_list_->topLevelItem(i);
        if (selected_only && !item->isSelected()) {
            continue;
        }
        for (int column = 0; column < 3; ++column) {
            QString text = item->text(column);
            // A tab or line break inside a text would break the row apart.
            text.replace(QLatin1Char('\t'), QLatin1Char(' '))
                .replace(QLatin1Char('\n'), QLatin1Char(' '));
            rows += text + (column < 2 ? QLatin1Char('\t') : QLatin1Char('\n'));
        }
    }
    return rows;
}

void TFormConvert::CopyFailures() {
    QGuiApplication::clipboard()->setText(FailureRows(true));
}

void TFormConvert::SaveFailures() {
    FileRequest request;
    request.caption = WindowText(WindowMsg::SaveFailuresTitle);
    request.file_name = WindowText(WindowMsg::SaveFailuresName);
    request.filter = WindowText(WindowMsg::FilterFailures);
    request.default_suffix = QStringLiteral("tsv");
    const QString path = Modal().GetSaveFileName(this, request);
    if (path.isEmpty()) {
        return;
    }
    QSaveFile file(path);
    const QString header = WindowText(WindowMsg::ColumnFile) + QLatin1Char('\t') +
                           WindowText(WindowMsg::ColumnIndex) + QLatin1Char('\t') +
                           WindowText(WindowMsg::ColumnReason) + QLatin1Char('\n');
    const QByteArray text = (header + FailureRows(false)).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        ShowMessage(
            this, MessageKind::Error,
            WindowText(WindowMsg::CannotSaveFailures,
                       {{"path", QDir::toNativeSeparators(path)}, {"reason", file.errorString()}}));
    }
}

void TFormConvert::OnFinished(const TConvertSummary& summary) {
    summary_ = summary;
    run_finished_ = true;
    stop_flag_ = true;
    // What was not converted, each kind with its cause: messages that failed on their own (listed
    // above), messages the output folder kept from being written, messages a damaged or changed
    // mailbox never delivered, and files.
    QStringList missed;
    if (summary.messages_failed > 0) {
        missed << WindowText(WindowMsg::SummaryFailed,
                             {{"count", QString::number(summary.messages_failed)}});
    }
    if (summary.messages_unwritten > 0) {
        missed << WindowText(WindowMsg::SummaryUnwritten,
                             {{"count", QString::number(summary.messages_unwritten)},
                              {"reason", summary_text_->fontMetrics().elidedText(
                                             // Its end has the system's reason.
                                             QString::fromUtf8(summary.folder_error), Qt::ElideLeft,
                                             progress_bar_mail_->minimumWidth())}});
    }
    if (const std::int64_t unread = summary.messages_lost - summary.messages_unwritten;
        unread > 0) {
        missed << WindowText(WindowMsg::SummaryUnread, {{"count", QString::number(unread)}});
    }
    const std::int64_t unread_files = summary.files_failed - (summary.folder_error.empty() ? 0 : 1);
    if (unread_files > 0) {
        missed << WindowText(WindowMsg::SummaryUnreadFiles,
                             {{"count", QString::number(unread_files)}});
    }
    if (summary.files_skipped > 0) {
        missed << WindowText(WindowMsg::SummarySkippedFiles,
                             {{"count", QString::number(summary.files_skipped)}});
    }
    QString text = WindowText(WindowMsg::SummaryConverted,
                              {{"count", QString::number(summary.messages_written)}});
    if (!missed.isEmpty()) {
        // One line each: side by side they would widen the dialog past a small screen.
        text += QLatin1Char('\n') + missed.join(QLatin1Char('\n'));
    }
    if (!summary.stopped && !summary.folder_error.empty()) {
        // Ended by the core, not completed: the file named last is no longer being processed.
        static_text_->setText(WindowText(WindowMsg::ConversionEndedByDestination));
    }
    if (summary.stopped) {
        text = WindowText(WindowMsg::SummaryStopped, {{"summary", text}});
        // The file named last is no longer being processed.
        static_text_->setText(WindowText(WindowMsg::ConversionStopped));
    }
    summary_text_->setText(text);
    summary_text_->show();
    static_text_->setToolTip(QString());
    FitToScreen();
    if (close_when_finished_) {
        accept();
    }
}

}  // namespace brindle
