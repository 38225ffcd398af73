// Everything modal that the system shows (message boxes, the file open and save dialogs, the
// folder chooser), and handing a web address to the browser, go through one small service. The
// program installs the Qt one; a test installs a scripted one that records every question and gives
// answers set in advance, so a dialog's handlers can be driven without a window ever blocking.
//
// GUI thread only: the service in use is one process-wide pointer without a lock.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <utility>
#include <vector>

class QWidget;

namespace brindle {

// The icon and sound of a message box.
enum class MessageKind { Information, Warning, Error, Question };

// The buttons that a message box offers, and the answer: the button the user chose.
// NoButton as an answer means the box was closed without a choice.
enum class MessageButton : unsigned {
    NoButton = 0,
    Ok = 1u << 0,
    Cancel = 1u << 1,
    Yes = 1u << 2,
    No = 1u << 3,
    Abort = 1u << 4,
    Retry = 1u << 5,
    Ignore = 1u << 6,
};

constexpr MessageButton operator|(MessageButton a, MessageButton b) {
    return static_cast<MessageButton>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool Offers(MessageButton buttons, MessageButton button) {
    return button != MessageButton::NoButton &&
           (static_cast<unsigned>(buttons) & static_cast<unsigned>(button)) != 0;
}

struct MessageRequest {
    MessageKind kind = MessageKind::Information;
    QString caption;  // empty: the program's name
    QString text;
    MessageButton buttons = MessageButton::Ok;
    // The button that Enter chooses; NoButton: the first offered button.
    MessageButton default_button = MessageButton::NoButton;
    // Texts of the program's own for some of the offered buttons ("続行", "中止"), in place of
    // the standard ones.
    std::vector<std::pair<MessageButton, QString>> button_texts;
};

struct FileRequest {
    QString caption;
    QString directory;  // where the dialog starts; empty: where it was last
    QString file_name;  // the name filled in at the start
    // Qt's form: "設定ファイル (*.xml);;すべてのファイル (*.*)".
    QString filter;
    // Appended by the save dialog when the typed name has none, without the dot ("xml").
    QString default_suffix;
};

class ModalService {
  public:
    virtual ~ModalService() = default;

    virtual MessageButton ShowMessage(QWidget* parent, const MessageRequest& request) = 0;
    // Each answers an empty result when the user cancels.
    virtual QStringList GetOpenFileNames(QWidget* parent, const FileRequest& request) = 0;
    virtual QString GetOpenFileName(QWidget* parent, const FileRequest& request) = 0;
    // Never asks about replacing an existing file: the caller decides that itself.
    virtual QString GetSaveFileName(QWidget* parent, const FileRequest& request) = 0;
    virtual QString GetExistingDirectory(QWidget* parent, const FileRequest& request) = 0;
    // Hands a web address or a file to the desktop to open with its default application (the
    // browser); whether that worked is not examined.
    virtual void OpenWithShell(const QString& target) = 0;
};

// The real dialogs of Qt.
class QtModalService final : public ModalService {
  public:
    MessageButton ShowMessage(QWidget* parent, const MessageRequest& request) override;
    QStringList GetOpenFileNames(QWidget* parent, const FileRequest& request) override;
    QString GetOpenFileName(QWidget* parent, const FileRequest& request) override;
    QString GetSaveFileName(QWidget* parent, const FileRequest& request) override;
    QString GetExistingDirectory(QWidget* parent, const FileRequest& request) override;
    void OpenWithShell(const QString& target) override;
};

// The service in use: the one installed last, or the Qt one.
ModalService& Modal();

// Installs a service for its own lifetime and restores the previous one when destroyed.
class ScopedModalService {
  public:
    explicit ScopedModalService(ModalService& service);
    ~ScopedModalService();
    ScopedModalService(const ScopedModalService&) = delete;
    ScopedModalService& operator=(const ScopedModalService&) = delete;

  private:
    ModalService* previous_;
};

// Shortcuts for the boxes that the program shows; the caption is the program's name.
MessageButton ShowMessage(QWidget* parent, MessageKind kind, const QString& text,
                          MessageButton buttons = MessageButton::Ok);

// Routes the core's reporting hook (warnings, a settings file that fails to load or save) to
// message boxes of the service in use, for its own lifetime. A report raised on another thread
// is shown on the GUI thread later, without waiting for the answer.
class ScopedReportBoxes {
  public:
    ScopedReportBoxes();
    ~ScopedReportBoxes();
    ScopedReportBoxes(const ScopedReportBoxes&) = delete;
    ScopedReportBoxes& operator=(const ScopedReportBoxes&) = delete;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace brindle
