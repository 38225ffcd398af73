// TFormConvert: the small modal dialog "変換" that carries out one conversion. It shows the
// messages of the current file and the files of the job on two progress bars, the file being
// processed, and the Close button, which first asks the run to stop (the messages already read
// are still written) and, once the run is over,
// closes the dialog. The run starts at the first idle moment after the dialog has appeared and
// works on a worker thread (TConvertController); the dialog reacts to its notifications.
//
// A source file that fails is shown in an error box, as "(" + file name + "):" + message, with
// the system's reason after it ("（No such file or directory）"), as every failure row has it;
// messages that fail on their own, and warnings about a mailbox, are listed in the dialog with
// file, index and reason instead of one box each. The last line says how many messages were
// written and how many failed. The list's context menu (and Ctrl+A, Ctrl+C) selects all rows,
// copies the selected ones and saves all of them, whole, as tab-separated text.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <thread>

#include "convert/conversion_run.hpp"

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace brindle {

class TConvertController;

class TFormConvert : public QDialog {
    Q_OBJECT

  public:
    TFormConvert(TConvertJob job, QWidget* owner);
    ~TFormConvert() override;

    // Before the dialog is shown: how the run opens each mailbox.
    void SetMailboxOpener(TMailboxOpener opener);
    // Before the dialog is shown: how the run's worker thread is made (tests make it fail).
    void SetThreadStarter(std::function<std::thread(std::function<void()>)> starter);

    // Set by the Close button during the run and by the run's end; from then on the Close
    // button closes the dialog.
    bool StopFlag() const { return stop_flag_; }
    // The run is over and its worker has ended.
    bool RunFinished() const { return run_finished_; }
    const TConvertSummary& Summary() const { return summary_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Escape presses the Close button.
    void reject() override;

  private slots:
    void BtnCloseClick();

  private:
    void OnFileStarted(int index, const QString& path);
    void OnFileFailed(const QString& path, const QString& error, const QString& reason);
    void AddListRow(const QString& path, const QString& index, const QString& reason);
    // The rows of the failure list (the selected ones, or all) as tab-separated lines.
    QString FailureRows(bool selected_only) const;
    void CopyFailures();
    void SaveFailures();
    void OnRunFailed(const QString& error);
    void OnFinished(const TConvertSummary& summary);
    // After the contents changed their size: the failure list gives up height that the screen
    // lacks, and the dialog is centred on its owner (or its screen) and kept inside the screen.
    void FitToScreen();

    TConvertController* controller_;  // a child of this dialog
    QProgressBar* progress_bar_mail_;
    QProgressBar* progress_bar_file_;
    QLabel* static_text_;
    QTreeWidget* failure_list_;
    QLabel* summary_text_;
    QPushButton* btn_close_;

    TConvertSummary summary_;
    bool started_ = false;
    bool stop_flag_ = false;
    bool run_finished_ = false;
    bool close_when_finished_ = false;
    QSize placed_size_;  // the size the dialog had when it was last placed
};

}  // namespace brindle
