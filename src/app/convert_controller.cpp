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
    if (!started_) {
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
    // Queued to this object's thread; dropped unseen if this object is gone by then.
    QMetaObject::invokeMethod(this, std::forward<Fn>(fn), Qt::QueuedConnection);
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

void TConvertController::Start() {
    if (started_) {
        return;
    }
    started_ = true;
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
                                   const std::string& error) {
        Post([this, path, index, error] {
            emit messageFailed(PathToQString(path), index, QString::fromUtf8(error));
        });
    };
    events.file_failed = [this](const std::string& path, const std::string& error) {
        const std::uint64_t ticket = ++failures_posted_;
        Post([this, path, error, ticket] {
            emit fileFailed(PathToQString(path), QString::fromUtf8(error));
            FailureShown(ticket);
        });
        WaitForFailureShown(ticket);
    };
    events.file_warning = [this](const std::string& path, const std::string& warning) {
        Post([this, path, warning] {
            emit fileWarning(PathToQString(path), QString::fromUtf8(warning));
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
    worker_ = std::thread([this] {
        const TConvertSummary summary = run_->Run();
        Post([this, summary] {
            Join();
            finished_ = true;
            emit finished(summary);
        });
    });
}

void TConvertController::Join() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

}  // namespace brindle
