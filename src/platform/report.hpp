// The reporting hook: warnings and message boxes raised by the core (a header value that fails
// to decode, a settings file that fails to load) go through one replaceable function. The GUI
// shows a box, the command line prints to standard error, and tests capture them.
//
// Threads: there are two levels. The process sink (ScopedReportSink) hears reports from every
// thread; it is installed at start-up, before other threads raise reports, and a sink that
// touches a window must itself pass reports from other threads on to the window's thread. A
// thread sink (ScopedThreadReportSink) hears only the reports raised on the thread that
// installed it and comes first there: a conversion run installs one for as long as it runs,
// so that the warnings it raises travel through its own events, on whatever thread it runs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/catalogue.hpp"

namespace brindle {

enum class ReportKind { Information, Warning, Error };

struct Report {
    ReportKind kind = ReportKind::Warning;
    std::string caption;  // UTF-8; empty for the application's default caption
    std::string message;  // UTF-8, as rendered in the process's language
    // The catalogue's message that message renders; without an entry for a finished text.
    TMessage text{};
};

using ReportSink = std::function<void(const Report&)>;

// Passes the report to this thread's sink, else to the process sink, else to standard error.
void RaiseReport(const Report& report);
void RaiseWarning(const std::string& message);
void RaiseWarning(TMessage message);

// Installs the process sink for its own lifetime and restores the previous one when destroyed.
class ScopedReportSink {
  public:
    explicit ScopedReportSink(ReportSink sink);
    ~ScopedReportSink();
    ScopedReportSink(const ScopedReportSink&) = delete;
    ScopedReportSink& operator=(const ScopedReportSink&) = delete;

  private:
    ReportSink previous_;
};

// Installs a sink for the reports raised on the calling thread, for its own lifetime; destroyed
// on the same thread, it restores that thread's previous one.
class ScopedThreadReportSink {
  public:
    explicit ScopedThreadReportSink(ReportSink sink);
    ~ScopedThreadReportSink();
    ScopedThreadReportSink(const ScopedThreadReportSink&) = delete;
    ScopedThreadReportSink& operator=(const ScopedThreadReportSink&) = delete;

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
