// The conversion dialog driven as a user does: it starts by itself once shown, the Close button
// (or Escape) stops the run at its next check point and then closes, failures are listed or
// boxed. The run works on its worker thread; a gate inside the mailbox holds the worker at a
// chosen message so that a stop lands at a known place instead of a lucky one.
#include <unistd.h>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "app/form_convert.hpp"
#include "app/hooked_mailbox.hpp"
#include "mailbox/dbx_parser.hpp"
#include "message/parsed_mailbox.hpp"
#include "platform/exception.hpp"
#include "platform/file_system.hpp"
#include "support/dbx_builder.hpp"
#include "support/file_contents.hpp"
#include "support/temp_dir.hpp"
#include "ui/support/dialog_test_base.hpp"

namespace brindle::testing {
namespace {

namespace fs = std::filesystem;
using test::HookedMailbox;
using test::ReadFile;

std::size_t CountFiles(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
}

std::string MessageText(int i) {
    const std::string n = std::to_string(i);
    return "Subject: message " + n + "\r\n\r\nbody " + n + "\r\n";
}

// Holds the worker at one message until the test opens it.
class Gate {
  public:
    void WaitAt() {
        std::unique_lock lock(mutex_);
        reached_ = true;
        cv_.wait(lock, [this] { return open_; });
    }
    bool Reached() {
        const std::lock_guard lock(mutex_);
        return reached_;
    }
    void Open() {
        {
            const std::lock_guard lock(mutex_);
            open_ = true;
        }
        cv_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool reached_ = false;
    bool open_ = false;
};

}  // namespace

class FormConvertTest : public DialogTestBase {
    Q_OBJECT

  private slots:
    void stopFinishesTheMessageInHandThenASecondPressCloses() {
        const test::TempDir dir;
        const fs::path mailbox = dir / "inbox.dbx";
        test::DbxBuilder().AddMessages(200).WriteTo(mailbox);
        const fs::path out = dir / "out";
        fs::create_directory(out);

        Gate gate;
        TFormConvert form(TConvertJob{{mailbox.string()}, out.string(), false, {}, {}}, nullptr);
        form.SetMailboxOpener([&gate](const std::string& path) {
            return std::make_unique<HookedMailbox>(path, [&gate](std::int32_t index) {
                if (index == 10) {
                    gate.WaitAt();
                }
            });
        });
        form.show();
        QTRY_VERIFY(gate.Reached());

        // Escape is the Close button: the first press only asks the run to stop.
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(form.StopFlag());
        QVERIFY(form.isVisible());
        gate.Open();
        QTRY_VERIFY(form.RunFinished());

        QVERIFY(form.Summary().stopped);
        QCOMPARE(form.Summary().messages_written, 11);
        QCOMPARE(CountFiles(out), std::size_t{11});
        for (int i = 0; i <= 10; ++i) {
            QCOMPARE(ReadFile(out / (std::to_string(i) + ".eml")), MessageText(i));
        }
        // A stopped run neither claims to go on nor to have ended normally.
        QCOMPARE(Child<QLabel>(form, "StaticText1").text(),
                 QStringLiteral("変換処理を中止しました。"));
        QCOMPARE(Child<QProgressBar>(form, "ProgressBarMail").value(), 11);
        QCOMPARE(Child<QProgressBar>(form, "ProgressBarMail").maximum(), 200);
        QVERIFY(form.isVisible());

        QTest::mouseClick(&Child<QPushButton>(form, "BtnClose"), Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Accepted));
    }

    void readingGoesAheadOfWritingAndAStopWritesEveryMessageRead() {
        // The first file's writing is held: a window that read only when a message's turn came
        // would never read the seventh. Stopped then, every message read is written, no other.
        const test::TempDir dir;
        const fs::path mailbox = dir / "inbox.dbx";
        test::DbxBuilder().AddMessages(200).WriteTo(mailbox);
        const fs::path out = dir / "out";
        fs::create_directory(out);
        Gate writing;
        const ScopedWriteFunction held([&writing](int fd, const char* data, std::size_t size) {
            writing.WaitAt();
            return static_cast<long>(::write(fd, data, size));
        });
        std::atomic<int> reads{0};
        TFormConvert form(TConvertJob{{mailbox.string()}, out.string(), false, {}, {}}, nullptr);
        form.SetMailboxOpener([&reads](const std::string& path) {
            return std::make_unique<HookedMailbox>(path, [&reads](std::int32_t) { ++reads; });
        });
        const auto release = qScopeGuard([&writing] { writing.Open(); });  // before the form joins
        form.show();
        QTRY_VERIFY_WITH_TIMEOUT(reads.load() >= 7, 5000);
        QTest::mouseClick(&Child<QPushButton>(form, "BtnClose"), Qt::LeftButton);
        writing.Open();
        QTRY_VERIFY(form.RunFinished());
        QVERIFY(form.Summary().stopped);
        QCOMPARE(form.Summary().messages_written, reads.load());
        QVERIFY(reads.load() < 200);
        QCOMPARE(static_cast<int>(CountFiles(out)), reads.load());
        QVERIFY(Child<QLabel>(form, "LabelSummary")
                    .text()
                    .contains(QStringLiteral("%1 件を変換しました。").arg(reads.load())));
    }

    void theTitleBarsCloseButtonActsAsTheCloseButton() {
        const test::TempDir dir;
        const fs::path mailbox = dir / "inbox.dbx";
        test::DbxBuilder().AddMessages(50).WriteTo(mailbox);
        const fs::path out = dir / "out";
        fs::create_directory(out);

        Gate gate;
        TFormConvert form(TConvertJob{{mailbox.string()}, out.string(), false, {}, {}}, nullptr);
        form.SetMailboxOpener([&gate](const std::string& path) {
            return std::make_unique<HookedMailbox>(path, [&gate](std::int32_t index) {
                if (index == 3) {
                    gate.WaitAt();
                }
            });
        });
        const auto release = qScopeGuard([&gate] { gate.Open(); });  // before the form joins
        form.show();
        QTRY_VERIFY(gate.Reached());
        form.close();  // as the title bar's button does
        QVERIFY(form.StopFlag());
        QVERIFY(form.isVisible());
        gate.Open();
        QTRY_VERIFY(form.RunFinished());
        QVERIFY(form.Summary().stopped);
        QCOMPARE(form.Summary().messages_written, 4);
        // The summary stays until the user has seen it.
        QVERIFY(form.isVisible());
        QVERIFY(Child<QLabel>(form, "LabelSummary").isVisible());
        form.close();
        QVERIFY(!form.isVisible());
    }

    void aRunThatCannotStartOrEndsOnAnyErrorStillEnds() {
        struct Case {
            bool thread_fails;  // otherwise the mailbox throws what no std::exception is
            QString says;
        };
        for (const Case& c : {Case{true, QStringLiteral("変換処理を開始できません。")},
                              Case{false, QStringLiteral("不明なエラー")}}) {
            const test::TempDir dir;
            const fs::path mailbox = dir / "inbox.dbx";
            test::DbxBuilder().AddMessages(2).WriteTo(mailbox);
            TFormConvert form(TConvertJob{{mailbox.string()}, dir.path().string(), false, {}, {}},
                              nullptr);
            if (c.thread_fails) {
                form.SetThreadStarter([](std::function<void()>) -> std::thread {
                    throw std::system_error(
                        std::make_error_code(std::errc::resource_unavailable_try_again));
                });
            } else {
                form.SetMailboxOpener(
                    [](const std::string&) -> std::unique_ptr<TBasicMailParser> { throw 42; });
            }
            Boxes().ClearAsked();
            Boxes().SetNextAnswer(MessageButton::Ok);
            form.show();
            QTRY_VERIFY(form.RunFinished());
            const auto boxes = Boxes().Messages();
            QCOMPARE(boxes.size(), std::size_t{1});
            QCOMPARE(boxes[0].kind, MessageKind::Error);
            QVERIFY2(boxes[0].text.contains(c.says), qPrintable(boxes[0].text));
            QVERIFY(form.Summary().stopped);
            QTest::mouseClick(&Child<QPushButton>(form, "BtnClose"), Qt::LeftButton);
            QVERIFY(!form.isVisible());
        }
    }

    void anEmptyMailboxFillsItsBar() {
        const test::TempDir dir;
        const fs::path empty = dir / "empty.dbx";
        test::DbxBuilder().WriteTo(empty);
        TFormConvert form(TConvertJob{{empty.string()}, dir.path().string(), false, {}, {}},
                          nullptr);
        form.show();
        QTRY_VERIFY(form.RunFinished());
        QCOMPARE(form.Summary().messages_read, 0);
        for (const char* name : {"ProgressBarMail", "ProgressBarFile"}) {
            const auto& bar = Child<QProgressBar>(form, name);
            QVERIFY2(bar.maximum() > 0 && bar.value() == bar.maximum(), name);
        }
        QCOMPARE(Child<QLabel>(form, "StaticText1").text(),
                 QStringLiteral("変換処理を終了しました。"));
    }

    void aLargeMailboxLeavesTheWindowFreeToStopIt() {
        // The window must show progress and take a click while the worker goes through 50,000
        // messages. The worker is held only before the last message but one, so the click
        // always comes while the run still goes and is seen before the last message: a window that
        // saw its input only once the run was over would never get here, and the run would write
        // all of them.
        const test::TempDir dir;
        const fs::path mailbox = dir / "large.dbx";
        constexpr int kCount = 50000;
        test::DbxBuilder().AddMessages(kCount).WriteTo(mailbox);
        const fs::path out = dir / "out";
        fs::create_directory(out);

        Gate gate;
        TFormConvert form(TConvertJob{{mailbox.string()}, out.string(), false, {}, {}}, nullptr);
        form.SetMailboxOpener([&gate](const std::string& path) {
            return std::make_unique<HookedMailbox>(path, [&gate](std::int32_t index) {
                if (index == kCount - 2) {
                    gate.WaitAt();
                }
            });
        });
        form.show();
        const auto& bar = Child<QProgressBar>(form, "ProgressBarMail");
        QTRY_VERIFY_WITH_TIMEOUT(bar.value() > 0, 60000);
        QTest::mouseClick(&Child<QPushButton>(form, "BtnClose"), Qt::LeftButton);
        gate.Open();
        QTRY_VERIFY_WITH_TIMEOUT(form.RunFinished(), 60000);
        QVERIFY(form.Summary().stopped);
        QVERIFY(form.Summary().messages_written < kCount);
        QCOMPARE(static_cast<std::int64_t>(CountFiles(out)), form.Summary().messages_written);
        QCOMPARE(bar.maximum(), kCount);
    }

    void fileErrorBoxesOfferToStopAndTheDestinationsErrorComesOnce() {
        struct Case {
            const char* what;
            bool destination_gone;  // otherwise the sources are missing
            MessageButton answer;
            bool stopped;
        };
        for (const Case& c : {Case{"missing sources, 中止", false, MessageButton::Abort, true},
                              Case{"destination gone, 続行", true, MessageButton::Ok, false}}) {
            const test::TempDir dir;
            std::vector<std::string> sources;
            for (int i = 0; i < 20; ++i) {
                const fs::path source = dir / ("s" + std::to_string(i) + ".dbx");
                if (c.destination_gone) {
                    test::DbxBuilder().AddMessages(2).WriteTo(source);
                }
                sources.push_back(source.string());
            }
            const fs::path out = dir / "out";
            TFormConvert form(TConvertJob{sources, out.string(), false, {}, {}}, nullptr);
            Boxes().ClearAsked();
            Boxes().SetNextAnswer(c.answer);
            form.show();
            QTRY_VERIFY(form.RunFinished());
            const auto boxes = Boxes().Messages();
            QVERIFY2(boxes.size() == 1, c.what);
            QCOMPARE(boxes[0].buttons, MessageButton::Ok | MessageButton::Abort);
            QCOMPARE(boxes[0].button_texts, (std::vector<std::pair<MessageButton, QString>>{
                                                {MessageButton::Ok, QStringLiteral("続行")},
                                                {MessageButton::Abort, QStringLiteral("中止")}}));
            QCOMPARE(form.Summary().stopped, c.stopped);
            QCOMPARE(form.Summary().files_failed, 1);
        }
    }

    void theSummaryNamesWhatWasNotWrittenAndWhy() {
        const test::TempDir dir;
        const fs::path mailbox = dir / "inbox.dbx";
        test::DbxBuilder().AddMessages(50).WriteTo(mailbox);
        const fs::path out = dir / "out";
        fs::create_directory(out);
        // The disk fills up during the fourth message.
        const ScopedWriteFunction full(DiskFullAfter(3 * 30 + 10));
        TFormConvert form(TConvertJob{{mailbox.string()}, out.string(), false, {}, {}}, nullptr);
        Boxes().SetNextAnswer(MessageButton::Ok);
        form.show();
        QTRY_VERIFY(form.RunFinished());
        QCOMPARE(CountFiles(out), std::size_t{3});
        const QString summary = Child<QLabel>(form, "LabelSummary").text();
        for (const QString& part :
             {QStringLiteral("3 件を変換"), QStringLiteral("書き込めなかったメール: 47 件"),
              QString::fromUtf8(ErrnoText(ENOSPC))}) {
            QVERIFY2(summary.contains(part), qPrintable(summary));
        }
        QVERIFY2(!summary.contains(QStringLiteral("失敗: 0")), qPrintable(summary));
    }

    void boxesAndRowsGiveTheSystemsReason() {
        struct Case {
            const char* what;
            bool source_missing;  // otherwise the destination is gone
        };
        for (const Case& c : {Case{"source missing", true}, Case{"destination gone", false}}) {
            const test::TempDir dir;
            const fs::path mailbox = dir / "inbox.dbx";
            if (!c.source_missing) {
                test::DbxBuilder().AddMessages(3).WriteTo(mailbox);
            }
            const fs::path out = dir / "out";
            TFormConvert form(TConvertJob{{mailbox.string()}, out.string(), false, {}, {}},
                              nullptr);
            form.SetMailboxOpener([](const std::string& path) -> std::unique_ptr<TBasicMailParser> {
                if (!fs::exists(path)) {
                    return std::make_unique<TParsedMailbox>(
                        std::make_unique<TDBXParser>(fs::path(path)));
                }
                return std::make_unique<HookedMailbox>(path, [](std::int32_t index) {
                    if (index == 0) {
                        throw Exception("メールの読み取りに失敗しました。(3)",
                                        "Input/output error");
                    }
                });
            });
            Boxes().ClearAsked();
            Boxes().SetNextAnswer(MessageButton::Ok);
            form.show();
            QTRY_VERIFY(form.RunFinished());
            const auto boxes = Boxes().Messages();
            QVERIFY2(boxes.size() == 1, c.what);
            const QString text = boxes[0].text;
            QVERIFY2(text.startsWith(QStringLiteral("(inbox.dbx):")), qPrintable(text));
            QVERIFY2(text.contains(QString::fromUtf8(ErrnoText(ENOENT))), qPrintable(text));
            if (!c.source_missing) {
                // The file that could not be made, never the mailbox's path.
                QVERIFY2(text.contains(QString::fromStdString((out / "0.eml").string())),
                         qPrintable(text));
                QVERIFY2(!text.contains(QString::fromStdString(mailbox.string())),
                         qPrintable(text));
                const auto& list = Child<QTreeWidget>(form, "ListFailures");
                QVERIFY2(list.topLevelItem(0)->text(2).endsWith(
                             QStringLiteral("（Input/output error）")),
                         qPrintable(list.topLevelItem(0)->text(2)));
            }
        }
    }

    void aJobSavedOnWindowsShowsItsMailboxesByName() {
        const test::TempDir dir;
        const std::string source = "C:\\Mail\\受信トレイ.dbx";
        TFormConvert form(TConvertJob{{source}, dir.path().string(), false, {}, {}}, nullptr);
        form.SetMailboxOpener([](const std::string&) -> std::unique_ptr<TBasicMailParser> {
            throw Exception("ファイルが開けません。");
        });
        Boxes().SetNextAnswer(MessageButton::Ok);
        form.show();
        QTRY_VERIFY(form.RunFinished());
        QCOMPARE(Boxes().Messages().at(0).text,
                 QStringLiteral("(受信トレイ.dbx):ファイルが開けません。"));
        QCOMPARE(Child<QTreeWidget>(form, "ListFailures").topLevelItem(0)->text(0),
                 QStringLiteral("受信トレイ.dbx"));
    }

    void theFailureListIsCopiedAndSavedWhole() {
        const test::TempDir dir;
        const fs::path mailbox = dir / "inbox.dbx";
        test::DbxBuilder().AddMessages(5).WriteTo(mailbox);
        const std::string long_reason(300, 'r');
        TFormConvert form(TConvertJob{{mailbox.string()}, dir.path().string(), false, {}, {}},
                          nullptr);
        form.SetMailboxOpener([&long_reason](const std::string& path) {
            return std::make_unique<HookedMailbox>(path, [&long_reason](std::int32_t index) {
                if (index == 1 || index == 3) {
                    throw Exception("読めません" + std::to_string(index), long_reason);
                }
            });
        });
        form.show();
        QTRY_VERIFY(form.RunFinished());
        const QString reason = QString::fromStdString(long_reason);
        const QString rows = QStringLiteral(
                                 "inbox.dbx\t1\t読めません1（%1）\n"
                                 "inbox.dbx\t3\t読めません3（%1）\n")
                                 .arg(reason);

        auto& list = Child<QTreeWidget>(form, "ListFailures");
        list.setFocus();
        QTest::keyClick(&list, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), rows);

        const fs::path saved = dir / "failures.tsv";
        Boxes().SetNextFileName(QString::fromStdString(saved.string()));
        QVERIFY(TriggerAction(form, "ActionSaveFailures"));
        QCOMPARE(QString::fromStdString(ReadFile(saved)),
                 QStringLiteral("ファイル\t番号\t理由\n") + rows);
        // The menu of the list offers all three.
        QCOMPARE(list.contextMenuPolicy(), Qt::ActionsContextMenu);
        QCOMPARE(list.actions().size(), 3);
    }

    // Also run on a 1280 x 640 screen at 200 % (ctest's brindle_form_convert_200_percent), where
    // the failure list must give up height.
    void theDialogStaysOnTheScreenCentredOnItsOwner() {
        const test::TempDir dir;
        const fs::path mailbox = dir / (std::string(240, 'n') + ".dbx");
        test::DbxBuilder().AddMessages(20).WriteTo(mailbox);
        QWidget owner;
        const QRect screen = owner.screen()->availableGeometry();
        owner.resize(screen.width() / 2, screen.height() / 2);
        owner.move(screen.center() - QPoint(owner.width() / 2, owner.height() / 2));
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));

        Gate gate;
        TFormConvert form(TConvertJob{{mailbox.string()}, dir.path().string(), false, {}, {}},
                          &owner);
        form.SetMailboxOpener([&gate](const std::string& path) {
            return std::make_unique<HookedMailbox>(path, [&gate](std::int32_t index) {
                if (index < 3) {
                    throw Exception("読めません", std::string(200, 'r'));
                }
                if (index == 5) {
                    gate.WaitAt();
                }
            });
        });
        const auto release = qScopeGuard([&gate] { gate.Open(); });
        form.show();
        const auto& list = Child<QTreeWidget>(form, "ListFailures");
        QTRY_VERIFY(gate.Reached() && list.topLevelItemCount() == 3);
        const auto on_screen = [&](const char* when) {
            QApplication::processEvents();
            const QRect frame = form.frameGeometry();
            QVERIFY2(screen.contains(frame), qPrintable(QStringLiteral("%1: %2x%3+%4+%5 on %6x%7")
                                                            .arg(when)
                                                            .arg(frame.width())
                                                            .arg(frame.height())
                                                            .arg(frame.x())
                                                            .arg(frame.y())
                                                            .arg(screen.width())
                                                            .arg(screen.height())));
            const QPoint off = frame.center() - owner.frameGeometry().center();
            QVERIFY2(std::abs(off.x()) <= 2 && std::abs(off.y()) <= 2, when);
        };
        on_screen("running");
        QVERIFY(Child<QLabel>(form, "StaticText1").text().contains(QChar(0x2026)));
        gate.Open();
        QTRY_VERIFY(form.RunFinished());
        on_screen("finished");
    }

    // Closing the owner destroys the dialog whatever its worker does: writing (every file it
    // leaves is whole) or waiting for a file's box to be answered (the box is never shown).
    void destroyingTheDialogMidRunStopsAndJoinsItsWorker() {
        const test::TempDir dir;
        const fs::path mailbox = dir / "inbox.dbx";
        test::DbxBuilder().AddMessages(3000).WriteTo(mailbox);
        const fs::path out = dir / "out";
        fs::create_directory(out);
        auto form = std::make_unique<TFormConvert>(
            TConvertJob{{mailbox.string()}, out.string(), false, {}, {}}, nullptr);
        form->show();
        QTRY_VERIFY(Child<QProgressBar>(*form, "ProgressBarMail").value() > 0);
        form.reset();
        const std::size_t written = CountFiles(out);
        QVERIFY(written > 0 && written < 3000);
        for (std::size_t i = 0; i < written; ++i) {
            QCOMPARE(ReadFile(out / (std::to_string(i) + ".eml")), MessageText(int(i)));
        }

        Gate opening;
        form = std::make_unique<TFormConvert>(
            TConvertJob{
                {(dir / "missing.dbx").string(), mailbox.string()}, out.string(), false, {}, {}},
            nullptr);
        form->SetMailboxOpener([&opening](const std::string&) -> std::unique_ptr<TBasicMailParser> {
            opening.WaitAt();
            throw Exception("ファイルが開けません。");
        });
        form->show();
        while (!opening.Reached()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        // From here no event is processed: the worker posts its box and waits for an answer
        // that never comes.
        opening.Open();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        form.reset();
        QCoreApplication::processEvents();
        QVERIFY(Boxes().Messages().empty());
    }

    void failuresAreListedOrBoxedAndTheRunGoesOn() {
        const test::TempDir dir;
        const fs::path first = dir / "first.dbx";
        const fs::path missing = dir / "missing.dbx";
        const fs::path last = dir / "last.dbx";
        test::DbxBuilder().AddMessages(3).WriteTo(first);
        test::DbxBuilder().AddMessages(2).WriteTo(last);
        const fs::path out = dir / "out";
        fs::create_directory(out);

        TFormConvert form(
            TConvertJob{
                {first.string(), missing.string(), last.string()}, out.string(), false, {}, {}},
            nullptr);
        form.SetMailboxOpener(
            [first](const std::string& path) -> std::unique_ptr<TBasicMailParser> {
                if (path != first.string()) {
                    return std::make_unique<TParsedMailbox>(
                        std::make_unique<TDBXParser>(fs::path(path)));
                }
                return std::make_unique<HookedMailbox>(path, [](std::int32_t index) {
                    if (index == 1) {
                        throw Exception("メールの読み取りに失敗しました。(3)");
                    }
                });
            });
        Boxes().SetNextAnswer(MessageButton::Ok);
        form.show();
        QTRY_VERIFY(form.RunFinished());

        const auto boxes = Boxes().Messages();
        QCOMPARE(boxes.size(), std::size_t{1});
        QCOMPARE(boxes[0].kind, MessageKind::Error);
        QCOMPARE(boxes[0].buttons, MessageButton::Ok | MessageButton::Abort);
        QCOMPARE(boxes[0].text, QStringLiteral("(missing.dbx):ファイルが開けません。（%1）")
                                    .arg(QString::fromUtf8(ErrnoText(ENOENT))));

        // Messages 0 and 2 of the first file, then both of the last, numbered on.
        QCOMPARE(CountFiles(out), std::size_t{4});
        QCOMPARE(ReadFile(out / "1.eml"), MessageText(2));
        QCOMPARE(ReadFile(out / "3.eml"), MessageText(1));
        QCOMPARE(form.Summary().messages_written, 4);
        QCOMPARE(form.Summary().messages_failed, 1);
        QCOMPARE(form.Summary().files_failed, 1);
        QVERIFY(!form.Summary().stopped);

        const auto& list = Child<QTreeWidget>(form, "ListFailures");
        QCOMPARE(list.topLevelItemCount(), 2);
        QCOMPARE(list.topLevelItem(0)->text(0), QStringLiteral("first.dbx"));
        QCOMPARE(list.topLevelItem(0)->text(1), QStringLiteral("1"));
        QCOMPARE(list.topLevelItem(0)->text(2),
                 QStringLiteral("メールの読み取りに失敗しました。(3)"));
        QCOMPARE(list.topLevelItem(1)->text(0), QStringLiteral("missing.dbx"));
        QCOMPARE(Child<QLabel>(form, "StaticText1").text(),
                 QStringLiteral("変換処理を終了しました。"));
        const QString summary = Child<QLabel>(form, "LabelSummary").text();
        QVERIFY2(summary.contains(QStringLiteral("4 件を変換")) &&
                     summary.contains(QStringLiteral("失敗: 1 件")),
                 qPrintable(summary));
        QCOMPARE(Child<QProgressBar>(form, "ProgressBarFile").value(), 3);
        QCOMPARE(Child<QProgressBar>(form, "ProgressBarFile").maximum(), 3);
    }
};

}  // namespace brindle::testing

QTEST_MAIN(brindle::testing::FormConvertTest)
#include "form_convert_test.moc"
