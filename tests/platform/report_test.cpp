#include "platform/report.hpp"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace brindle
