#include "scripted_modal_service.hpp"

namespace brindle::testing {

std::vector<MessageRequest> ScriptedModalService::Messages() const {
    std::vector<MessageRequest> messages;
    for (const AskedQuestion& question : asked_) {
        if (question.type == AskedQuestion::Type::Message) {
            messages.push_back(question.message);
        }
    }
    return messages;
}

QStringList ScriptedModalService::Faults() const {
    QStringList faults = mismatches_;
    for (const AskedQuestion& question : asked_) {
        if (!question.answered) {
            faults << (question.type == AskedQuestion::Type::Message
                           ? QStringLiteral("unanswered message box: ") + question.message.text
                           : QStringLiteral("unanswered file dialog: ") + question.file.caption);
        }
    }
    if (!answers_.empty()) {
        faults << QStringLiteral("%1 message box answer(s) never asked for").arg(answers_.size());
    }
    if (!file_names_.empty()) {
        faults << QStringLiteral("%1 file name answer(s) never asked for").arg(file_names_.size());
    }
    if (!folders_.empty()) {
        faults << QStringLiteral("%1 folder answer(s) never asked for").arg(folders_.size());
    }
    return faults;
}

void ScriptedModalService::Reset() {
    answers_.clear();
    file_names_.clear();
    folders_.clear();
    asked_.clear();
    mismatches_.clear();
    opened_.clear();
}

MessageButton ScriptedModalService::ShowMessage(QWidget*, const MessageRequest& request) {
    AskedQuestion question;
    question.type = AskedQuestion::Type::Message;
    question.message = request;
    MessageButton answer = MessageButton::NoButton;
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
        question.answered = true;
        if (answer != MessageButton::NoButton && !Offers(request.buttons, answer)) {
            mismatches_ << QStringLiteral("answer %1 is no button of the box: ")
                                   .arg(static_cast<unsigned>(answer)) +
                               request.text;
            answer = MessageButton::NoButton;
        }
    }
    asked_.push_back(question);
    return answer;
}

QStringList ScriptedModalService::TakeFileNames(AskedQuestion::Type type,
                                                const FileRequest& request) {
    AskedQuestion question;
    question.type = type;
    question.file = request;
    QStringList names;
    if (!file_names_.empty()) {
        names = file_names_.front();
        file_names_.pop_front();
        question.answered = true;
    }
    asked_.push_back(question);
    return names;
}

QStringList ScriptedModalService::GetOpenFileNames(QWidget*, const FileRequest& request) {
    return TakeFileNames(AskedQuestion::Type::OpenFiles, request);
}

QString ScriptedModalService::GetOpenFileName(QWidget*, const FileRequest& request) {
    const QStringList names = TakeFileNames(AskedQuestion::Type::OpenFile, request);
    return names.isEmpty() ? QString{} : names.constFirst();
}

QString ScriptedModalService::GetSaveFileName(QWidget*, const FileRequest& request) {
    const QStringList names = TakeFileNames(AskedQuestion::Type::SaveFile, request);
    return names.isEmpty() ? QString{} : names.constFirst();
}

QString ScriptedModalService::GetExistingDirectory(QWidget*, const FileRequest& request) {
    AskedQuestion question;
    question.type = AskedQuestion::Type::Folder;
    question.file = request;
    QString folder;
    if (!folders_.empty()) {
        folder = folders_.front();
        folders_.pop_front();
        question.answered = true;
    }
    asked_.push_back(question);
    return folder;
}

}  // namespace brindle::testing
