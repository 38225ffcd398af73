// The reporting hook: warnings and message boxes raised by the core (a header value that fails
// to decode, a settings file that fails to load) go through one replaceable function. The GUI
// shows a box, the command line prints to standard error, and tests capture them.
//
// Threads: the installed sink belongs to the thread that installed it. A report reaches the sink
// of the thread that raises it, or standard error when that thread has none; so a conversion
// run on a worker thread, which installs a sink of its own for its warnings, never calls into a
// window's sink from the wrong thread, and tests running in parallel never hear each other.
#pragma once

#include <functional>
#include <string>

namespace brindle {

enum class ReportKind { Information, Warning, Error };

struct Report {
    ReportKind kind = ReportKind::Warning;
    std::string caption;  // UTF-8; empty for the application's default caption
    std::string message;  // UTF-8
};

using ReportSink = std::function<void(const Report&)>;

// Passes the report to this thread's sink; with no sink installed it is written to stderr.
void RaiseReport(const Report& report);
void RaiseWarning(const std::string& message);

// Installs a sink on the calling thread for its own lifetime and restores the previous one when
// destroyed (on the same thread).
class ScopedReportSink {
  public:
    explicit ScopedReportSink(ReportSink sink);
    ~ScopedReportSink();
    ScopedReportSink(const ScopedReportSink&) = delete;
    ScopedReportSink& operator=(const ScopedReportSink&) = delete;

  private:
    ReportSink previous_;
};

}  // namespace brindle
