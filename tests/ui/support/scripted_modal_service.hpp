// The modal service of the tests: every question is recorded, and each is answered with the
// next answer set in advance for its kind. A question that finds no answer waiting is recorded
// as unanswered and treated as cancelled; an answer that names a button the box does not offer
// is recorded as a mismatch. DialogTestBase fails a test that leaves either behind, or leaves
// answers unused.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

#include "ui/modal_service.hpp"

namespace brindle::testing {

struct AskedQuestion {
    enum class Type { Message, OpenFiles, OpenFile, SaveFile, Folder };
    Type type = Type::Message;
    MessageRequest message;  // for Type::Message
    FileRequest file;        // for the others
    bool answered = false;
};

class ScriptedModalService final : public ModalService {
  public:
    // Queued answers, taken in order by the questions of the same kind.
    void SetNextAnswer(MessageButton answer) { answers_.push_back(answer); }
    void SetNextFileNames(const QStringList& names) { file_names_.push_back(names); }
    void SetNextFileName(const QString& name) { file_names_.push_back(QStringList{name}); }
    void SetNextFolder(const QString& folder) { folders_.push_back(folder); }

    const std::vector<AskedQuestion>& Asked() const { return asked_; }
    // The message boxes shown, in order.
    std::vector<MessageRequest> Messages() const;
    void ClearAsked() { asked_.clear(); }

    // What a finished test must not leave: unanswered questions, answers that named a button
    // the box lacked, answers nobody asked for. Empty when all is well.
    QStringList Faults() const;
    void Reset();

    MessageButton ShowMessage(QWidget* parent, const MessageRequest& request) override;
    QStringList GetOpenFileNames(QWidget* parent, const FileRequest& request) override;
    QString GetOpenFileName(QWidget* parent, const FileRequest& request) override;
    QString GetSaveFileName(QWidget* parent, const FileRequest& request) override;
    QString GetExistingDirectory(QWidget* parent, const FileRequest& request) override;
    // Recorded only; nothing is opened.
    void OpenWithShell(const QString& target) override { opened_ << target; }
    const QStringList& Opened() const { return opened_; }

  private:
    QStringList TakeFileNames(AskedQuestion::Type type, const FileRequest& request);

    std::deque<MessageButton> answers_;
    std::deque<QStringList> file_names_;
    std::deque<QString> folders_;
    std::vector<AskedQuestion> asked_;
    QStringList mismatches_;
    QStringList opened_;
};

}  // namespace brindle::testing
