#include "dialog_test_base.hpp"

#include <QAction>

namespace brindle::testing {

bool DialogTestBase::TriggerAction(const QObject& root, const char* name) {
    QAction* action = root.findChild<QAction*>(QString::fromLatin1(name));
    if (action == nullptr || !action->isEnabled()) {
        return false;
    }
    action->trigger();
    return true;
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
