#include "dialog_test_base.hpp"

#include <QAction>
#include <QApplication>
#include <QInputMethodEvent>

namespace brindle::testing {

bool DialogTestBase::TriggerAction(const QObject& root, const char* name) {
    QAction* action = root.findChild<QAction*>(QString::fromLatin1(name));
    if (action == nullptr || !action->isEnabled()) {
        return false;
    }
    action->trigger();
    return true;
}

void DialogTestBase::Type(QWidget& widget, const QString& text) {
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype width = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, width);
        const char16_t code = character.at(0).unicode();
        if (width == 1 && code >= 0x20 && code < 0x7F) {
            QTest::keyClick(&widget, static_cast<char>(code));
        } else {
            QInputMethodEvent event;
            event.setCommitString(character);
            QApplication::sendEvent(&widget, &event);
        }
        i += width;
    }
}

void DialogTestBase::init() {
    job_ = std::make_unique<TSettingFile>();
    boxes_.Reset();
    service_scope_.emplace(boxes_);
    report_scope_.emplace();
}

void DialogTestBase::cleanup() {
    report_scope_.reset();
    service_scope_.reset();
    job_.reset();
    const QStringList faults = boxes_.Faults();
    boxes_.Reset();
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
}

}  // namespace brindle::testing
