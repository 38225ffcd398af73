#include "platform/report.hpp"

#include <iostream>
#include <utility>

#include "platform/core_messages.hpp"

namespace brindle {
namespace {

ReportSink& ProcessSink() {
    static ReportSink sink;
    return sink;
}

ReportSink& ThreadSink() {
    thread_local ReportSink sink;
    return sink;
}

void WriteToStandardError(const Report& report) {
    const CoreMsg label = report.kind == ReportKind::Error     ? CoreMsg::ReportError
                          : report.kind == ReportKind::Warning ? CoreMsg::ReportWarning
                                                               : CoreMsg::ReportInformation;
    std::cerr << Msg(label).Render() << ": ";
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
    if (const ReportSink& sink = ThreadSink()) {
        sink(report);
    } else if (const ReportSink& process = ProcessSink()) {
        process(report);
    } else {
        WriteToStandardError(report);
    }
}

void RaiseWarning(const std::string& message) {
    RaiseReport(Report{ReportKind::Warning, {}, message});
}

void RaiseWarning(TMessage message) {
    std::string text = message.Render();
    RaiseReport(Report{ReportKind::Warning, {}, std::move(text), std::move(message)});
}

ScopedReportSink::ScopedReportSink(ReportSink sink)
    : previous_(std::exchange(ProcessSink(), std::move(sink))) {}

ScopedReportSink::~ScopedReportSink() {
    ProcessSink() = std::move(previous_);
}

ScopedThreadReportSink::ScopedThreadReportSink(ReportSink sink)
    : previous_(std::exchange(ThreadSink(), std::move(sink))) {}

ScopedThreadReportSink::~ScopedThreadReportSink() {
    ThreadSink() = std::move(previous_);
}

ScopedReportCapture::ScopedReportCapture(std::vector<Report>& into)
    : previous_(std::exchange(t_capture, &into)) {}

ScopedReportCapture::~ScopedReportCapture() {
    t_capture = previous_;
}

}  // namespace brindle
