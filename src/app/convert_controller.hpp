// Runs one conversion on a worker thread and hands the run's notifications to the GUI thread as
// Qt signals, in the order the run gave them, so the conversion dialog stays responsive however
// large the mailbox is. The worker never touches a widget: every notification is posted to this
// object's thread and emitted there.
//
// A file that fails is shown to the user in a modal box before the run goes on, as when the run
// and the window shared one thread: the worker waits until fileFailed has been emitted and every
// slot connected to it has returned. Stop requests go straight to the run's atomic flag, which
// the run reads before each source file and before reading each message, so every message read
// before the stop is still written whole.
//
// GUI thread only, except for what the worker calls internally. Destroying the controller stops
// the run and waits for the worker (at most the messages already read).
#pragma once

#include <QObject>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "convert/conversion_run.hpp"

namespace brindle {

class TConvertController : public QObject {
    Q_OBJECT

  public:
    explicit TConvertController(TConvertJob job, QObject* parent = nullptr);
    ~TConvertController() override;
    TConvertController(const TConvertController&) = delete;
    TConvertController& operator=(const TConvertController&) = delete;

    // Before Start: how the run opens each mailbox (tests wrap the real reader).
    void SetMailboxOpener(TMailboxOpener opener);
    // Before Start: how the worker thread is made; the default constructs a std::thread, which
    // may throw (tests make it fail).
    using ThreadStarter = std::function<std::thread(std::function<void()>)>;
    void SetThreadStarter(ThreadStarter starter);

    // Starts the run on its worker; later calls do nothing.
    void Start();
    // Honoured at the run's next check point; may come before Start.
    void RequestStop();
    // True from the worker's start until finished has been emitted.
    bool Running() const { return started_ && !finished_; }
    bool Finished() const { return finished_; }

  signals:
    void fileCountKnown(int count);
    void fileStarted(int index, const QString& path);
    void messageCountKnown(int count);
    void messageDone(int index);
    // reason: what the system said (strerror's text, "locked by another program"), often empty.
    void messageFailed(const QString& path, int index, const QString& error, const QString& reason);
    // The run waits until every slot of this signal has returned.
    void fileFailed(const QString& path, const QString& error, const QString& reason);
    void fileWarning(const QString& path, const QString& warning);
    // A warning raised while one message was handled (a header value that fails to decode).
    void messageWarning(const QString& path, int index, const QString& warning);
    // Every source file was processed (not emitted when the run was stopped).
    void completed();
    // The run could not start, or ended early on an error that no part of it handled; the
    // error is for the user. finished follows.
    void failed(const QString& error);
    // Always the last signal: the run is over and its worker has ended.
    void finished(const brindle::TConvertSummary& summary);

  private:
    // On the GUI thread: runs what the worker posted. Invoked by name, so that the worker's
    // wake-up is built and freed inside Qt Core alone.
    Q_INVOKABLE void RunPosted();
    // Runs on the worker: has RunPosted called on the GUI thread.
    void Wake();
    // Runs on the worker: posts fn to the GUI thread.
    template <typename Fn>
    void Post(Fn&& fn);
    // Runs on the worker: waits until the GUI thread has shown a file failure.
    void WaitForFailureShown(std::uint64_t ticket);
    void FailureShown(std::uint64_t ticket);
    void Join();
    // On the GUI thread, once the worker has ended or could not be started.
    void End(const TConvertSummary& summary, const QString& error);

    TConvertJob job_;  // until Start makes the run of it
    TMailboxOpener opener_;
    ThreadStarter thread_starter_;
    bool stop_before_start_ = false;
    std::unique_ptr<TConvertRun> run_;
    std::thread worker_;
    bool started_ = false;
    bool finished_ = false;

    std::mutex posted_mutex_;
    std::deque<std::function<void()>> posted_;  // guarded by posted_mutex_

    std::mutex mutex_;
    std::condition_variable cv_;
    std::uint64_t failures_posted_ = 0;  // worker side
    std::uint64_t failures_shown_ = 0;   // guarded by mutex_
    bool abandoned_ = false;             // guarded by mutex_: nobody will show them any more
};

}  // namespace brindle

Q_DECLARE_METATYPE(brindle::TConvertSummary)
