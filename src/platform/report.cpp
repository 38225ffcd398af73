#include "platform/report.hpp"

#include <iostream>
#include <utility>

namespace brindle {
namespace {

ReportSink& CurrentSink() {
    static ReportSink sink;
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

thread_local std::vector<Report>* t_capture = nullptr;

}  // namespace

void RaiseReport(const Report& report) {
    if (t_capture != nullptr) {
        t_capture->push_back(report);
        return;
    }
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

ScopedReportCapture::ScopedReportCapture(std::vector<Report>& into)
    : previous_(std::exchange(t_capture, &into)) {}

ScopedReportCapture::~ScopedReportCapture() {
    t_capture = previous_;
}

}  // namespace brindle
