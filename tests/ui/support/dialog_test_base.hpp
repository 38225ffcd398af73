// The base of every widget test: each test function gets a fresh job, a fresh scripted modal
// service (installed as the service in use, with the core's reports routed to it as message
// boxes), and fails at its end if a message box or file dialog went unanswered, was answered
// with a button it lacked, or an answer set in advance was never asked for.
//
// A test class derives from it and declares its tests as private slots; it must not declare
// its own init() or cleanup() without calling these.
#pragma once

#include <QObject>
#include <QtTest>
#include <memory>
#include <optional>

#include "scripted_modal_service.hpp"
#include "settings/setting_file.hpp"
#include "ui/modal_service.hpp"

namespace brindle::testing {

class DialogTestBase : public QObject {
    Q_OBJECT

  protected:
    TSettingFile& Job() { return *job_; }
    ScriptedModalService& Boxes() { return boxes_; }

    // The child of root with that object name; the test binary stops with the name when there
    // is none, since every later step of the test would only fail for the same reason.
    template <class T>
    static T& Child(const QObject& root, const char* name) {
        T* child = root.findChild<T*>(QString::fromLatin1(name));
        if (child == nullptr) {
            qFatal("no child %s of %s", name, qPrintable(root.objectName()));
        }
        return *child;
    }

    // Types the text into the widget as a user does: printable ASCII as key presses, every
    // other character (kana, kanji, full-width spaces, emoji, a tab) as an input method
    // commits it, since QTest's key clicks take Latin-1 only.
    static void Type(QWidget& widget, const QString& text);

    // Triggers the action of that object name, as its menu item or shortcut would; false when
    // there is none or it is disabled.
    static bool TriggerAction(const QObject& root, const char* name);

  protected slots:
    void init();
    void cleanup();

  private:
    std::unique_ptr<TSettingFile> job_;
    ScriptedModalService boxes_;
    std::optional<ScopedModalService> service_scope_;
    std::optional<ScopedReportBoxes> report_scope_;
};

}  // namespace brindle::testing
