// The reporting hook: warnings and message boxes raised by the core (a header value that fails
// to decode, a settings file that fails to load) go through one replaceable function. The GUI
// shows a box, the command line prints to standard error, and tests capture them.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace brindle {

enum class ReportKind { Information, Warning, Error };

struct Report {
    ReportKind kind = ReportKind::Warning;
    std::string caption;  // UTF-8; empty for the application's default caption
    std::string message;  // UTF-8
};

using ReportSink = std::function<void(const Report&)>;

// Passes the report to the installed sink; with no sink installed it is written to stderr.
void RaiseReport(const Report& report);
void RaiseWarning(const std::string& message);

// Installs a sink for its own lifetime and restores the previous one when destroyed.
class ScopedReportSink {
  public:
    explicit ScopedReportSink(ReportSink sink);
    ~ScopedReportSink();
    ScopedReportSink(const ScopedReportSink&) = delete;
    ScopedReportSink& operator=(const ScopedReportSink&) = delete;

  private:
    ReportSink previous_;
};

// Keeps the reports raised on the calling thread, for its own lifetime, instead of passing them
// on: work done on a helper thread hands its reports to the thread that passes them on in
// their place among the others.
class ScopedReportCapture {
  public:
    explicit ScopedReportCapture(std::vector<Report>& into);
    ~ScopedReportCapture();
    ScopedReportCapture(const ScopedReportCapture&) = delete;
    ScopedReportCapture& operator=(const ScopedReportCapture&) = delete;

  private:
    std::vector<Report>* previous_;
};

}  // namespace brindle
