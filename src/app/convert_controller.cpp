#include "app/convert_controller.hpp"

#include <QMetaObject>
#include <algorithm>
#include <utility>

#include "ui/ui_text.hpp"

namespace brindle {

TConvertController::TConvertController(TConvertJob job, QObject* parent)
    : QObject(parent), job_(std::move(job)) {}

TConvertController::~TConvertController() {
    RequestStop();
    {
        const std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    cv_.notify_all();
    Join();
}

void TConvertController::SetMailboxOpener(TMailboxOpener opener) {
    if (!run_) {
        opener_ = std::move(opener);
    }
}

void TConvertController::RequestStop() {
    if (run_) {
        run_->RequestStop();
    } else {
        stop_before_start_ = true;
    }
}

template <typename Fn>
void TConvertController::Post(Fn&& fn) {
    // The calls go through a queue of this object's, under a standard mutex, and only a wake-up
    // goes through Qt's event queue: the handover of their data is then one that
    // ThreadSanitizer sees (Qt's own locks are invisible to it). The wake-up is dropped unseen if
    // this object is gone by then, and the calls with it.
    bool wake = false;
    {
        const std::lock_guard lock(posted_mutex_);
        wake = posted_.empty();
        posted_.emplace_back(std::forward<Fn>(fn));
    }
    if (wake) {
        Wake();
    }
}

void TConvertController::Wake() {
    // By name rather than by member pointer: a functor's slot object would be allocated here and
    // freed by whichever thread drops it last, through reference counts that Qt Core keeps out of
    // ThreadSanitizer's sight. Qt's event queue carries no data of the program's.
    QMetaObject::invokeMethod(this, "RunPosted", Qt::QueuedConnection);
}

void TConvertController::RunPosted() {
    // In the order posted; a call may open a modal box whose event loop runs this again for
    // calls posted meanwhile.
    for (;;) {
        std::function<void()> call;
        {
            const std::lock_guard lock(posted_mutex_);
            if (posted_.empty()) {
                return;
            }
            call = std::move(posted_.front());
            posted_.pop_front();
        }
        call();
    }
}

void TConvertController::WaitForFailureShown(std::uint64_t ticket) {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return abandoned_ || failures_shown_ >= ticket; });
}

void TConvertController::FailureShown(std::uint64_t ticket) {
    {
        const std::lock_guard lock(mutex_);
        failures_shown_ = std::max(failures_shown_, ticket);
    }
    cv_.notify_all();
}

void TConvertController::SetThreadStarter(ThreadStarter starter) {
    if (!run_) {
        thread_starter_ = std::move(starter);
    }
}

void TConvertController::Start() {
    if (run_) {
        return;
    }
    // The run and its events live on the worker; the callbacks only copy their arguments into
    // posted calls. Paths are native bytes, messages UTF-8.
    TConvertEvents events;
    events.file_count_known = [this](std::size_t count) {
        Post([this, count] { emit fileCountKnown(static_cast<int>(count)); });
    };
    events.file_started = [this](std::size_t index, const std::string& path) {
        Post([this, index, path] {
            emit fileStarted(static_cast<int>(index), PathToQString(path));
        });
    };
    events.message_count_known = [this](std::int32_t count) {
        Post([this, count] { emit messageCountKnown(count); });
    };
    events.message_done = [this](std::int32_t index) {
        Post([this, index] { emit messageDone(index); });
    };
    events.message_failed = [this](const std::string& path, std::int32_t index,
                                   const std::string& error, const std::string& reason) {
        Post([this, path, index, error, reason] {
            emit messageFailed(PathToQString(path), index, QString::fromUtf8(error),
                               QString::fromUtf8(reason));
        });
    };
    events.file_failed = [this](const std::string& path, const std::string& error,
                                const std::string& reason) {
        const std::uint64_t ticket = ++failures_posted_;
        Post([this, path, error, reason, ticket] {
            emit fileFailed(PathToQString(path), QString::fromUtf8(error),
                            QString::fromUtf8(reason));
            FailureShown(ticket);
        });
        WaitForFailureShown(ticket);
    };
    events.file_warning = [this](const std::string& path, const std::string& warning) {
        Post([this, path, warning] {
            emit fileWarning(PathToQString(path), QString::fromUtf8(warning));
        });
    };
    events.message_warning = [this](const std::string& path, std::int32_t index,
                                    const std::string& warning) {
        Post([this, path, index, warning] {
            emit messageWarning(PathToQString(path), index, QString::fromUtf8(warning));
        });
    };
    events.completed = [this] { Post([this] { emit completed(); }); };
    run_ = std::make_unique<TConvertRun>(std::move(job_), std::move(events));
    if (opener_) {
        run_->SetMailboxOpener(std::move(opener_));
    }
    if (stop_before_start_) {
        run_->RequestStop();
    }
    std::function<void()> work = [this] {
        // Whatever ends the run, the dialog hears of its end: an exception leaving a thread's
        // function would end the whole program, and a dialog left without it could never close.
        TConvertSummary summary;
        QString error;
        bool failed = true;
        try {
            summary = run_->Run();
            failed = false;
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        } catch (...) {
        }
        if (failed) {
            if (error.isEmpty()) {
                error = WindowText(WindowMsg::ConversionUnknownError);
            }
            summary = run_->Run();  // a second call answers the counts so far
            summary.stopped = true;
        }
        Post([this, summary, error] { End(summary, error); });
    };
    try {
        worker_ = thread_starter_ ? thread_starter_(std::move(work)) : std::thread(std::move(work));
    } catch (const std::exception& e) {
        TConvertSummary summary;
        summary.stopped = true;
        const QString error =
            WindowText(WindowMsg::ConversionCannotStart, {{"reason", QString::fromUtf8(e.what())}});
        Post([this, summary, error] { End(summary, error); });
        return;
    }
    started_ = true;
}

void TConvertController::End(const TConvertSummary& summary, const QString& error) {
    Join();
    if (!error.isEmpty()) {
        emit failed(error);
    }
    finished_ = true;
    emit finished(summary);
}

void TConvertController::Join() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

}  // namespace brindle
