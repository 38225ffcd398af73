#include "platform/report.hpp"

#include <iostream>
#include <utility>

namespace brindle {
namespace {

// One per thread: a run on a worker thread hears its own reports, the window thread its own.
ReportSink& CurrentSink() {
    thread_local ReportSink sink;
    return sink;
}

void WriteToStandardError(const Report& report) {
    const char* label = report.kind == ReportKind::Error     ? "エラー"
                        : report.kind == ReportKind::Warning ? "警告"
                                                             : "情報";
    std::cerr << label << ": ";
    if (!report.caption.empty()) {
        std::cerr << report.caption << ": ";
    }
    std::cerr << report.message << '\n';
}

}  // namespace

void RaiseReport(const Report& report) {
    if (const ReportSink& sink = CurrentSink()) {
        sink(report);
    } else {
        WriteToStandardError(report);
    }
}

void RaiseWarning(const std::string& message) {
    RaiseReport(Report{ReportKind::Warning, {}, message});
}

ScopedReportSink::ScopedReportSink(ReportSink sink)
    : previous_(std::exchange(CurrentSink(), std::move(sink))) {}

ScopedReportSink::~ScopedReportSink() {
    CurrentSink() = std::move(previous_);
}

}  // namespace brindle
