#include "platform/report.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace brindle {
namespace {

TEST(ReportHook, ScopedSinkCapturesAndRestores) {
    std::vector<std::string> outer;
    std::vector<std::string> inner;
    ScopedReportSink outer_sink([&](const Report& r) { outer.push_back(r.message); });
    {
        ScopedReportSink inner_sink([&](const Report& r) { inner.push_back(r.message); });
        RaiseWarning("one");
    }
    RaiseReport(Report{ReportKind::Error, "caption", "two"});
    EXPECT_EQ(inner, (std::vector<std::string>{"one"}));
    EXPECT_EQ(outer, (std::vector<std::string>{"two"}));
}

TEST(ReportHook, ThreadSinkComesFirstOnItsOwnThreadOnly) {
    std::vector<std::string> process;
    std::vector<std::string> worker_heard;
    ScopedReportSink process_sink([&](const Report& r) { process.push_back(r.message); });
    std::thread worker([&] {
        ScopedThreadReportSink mine([&](const Report& r) { worker_heard.push_back(r.message); });
        RaiseWarning("worker");
    });
    worker.join();
    RaiseWarning("main");
    {
        ScopedThreadReportSink here([&](const Report& r) { worker_heard.push_back(r.message); });
        RaiseWarning("main, own sink");
    }
    RaiseWarning("main again");
    EXPECT_EQ(worker_heard, (std::vector<std::string>{"worker", "main, own sink"}));
    EXPECT_EQ(process, (std::vector<std::string>{"main", "main again"}));
}

}  // namespace
}  // namespace brindle
