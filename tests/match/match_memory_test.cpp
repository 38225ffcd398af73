// What matching one condition costs in memory on a long message: the heap's peak while the
// message is built from its stored text and the condition is matched, for every way the body
// reaches its text and every kind of condition. The peak may be three times the message and a
// constant (the automaton, the run memo's fixed table, the header); measured at two sizes, the
// constant cancels and the growth must stay within three times the growth of the message.
#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <tuple>

#include "match/mail_match.hpp"
#include "message/mail.hpp"
#include "support/heap_count.hpp"
#include "support/long_messages.hpp"

namespace brindle {
namespace {

using test::BodyShape;

struct ConditionCase {
    const char* name;
    TFindType condition;
};

void PrintTo(const ConditionCase& c, std::ostream* out) {
    *out << c.name;
}

const ConditionCase kConditions[] = {
    {"LiteralBody", {kFindPosBody, "last line", false, false}},
    {"LiteralBodyAnyCase", {kFindPosBody, "LAST LINE", true, false}},
    {"LiteralAllAnyCase", {kFindPosAll, "LAST LINE", true, false}},
    // Every l starts a run to the end of its line; long lines make the engine remember them.
    {"RegexpBody", {kFindPosBody, "l.*\t.*#", false, true}},
    {"RegexpAll", {kFindPosAll, "^last line.*#$", false, true}},
};

// The peak of building the message and matching the condition, which the message satisfies.
std::ptrdiff_t PeakOfMatching(const std::string& stored, const TFindType& condition) {
    TMailMatch matcher;
    matcher.SetFindTypes({&condition, 1});
    test::StartHeapCount();
    const auto mail = TMail::FromStoredText(std::string(stored));
    EXPECT_TRUE(matcher.MatchMail(*mail));
    return test::HeapPeak();
}

class MatchMemory : public ::testing::TestWithParam<std::tuple<BodyShape, ConditionCase>> {};

TEST_P(MatchMemory, PeakGrowsByAtMostThreeTimesTheMessage) {
    const auto& [shape, condition] = GetParam();
    const std::string small = shape.make(std::size_t{4} << 20);
    const std::string large = shape.make(std::size_t{8} << 20);
    const std::ptrdiff_t small_peak = PeakOfMatching(small, condition.condition);
    const std::ptrdiff_t large_peak = PeakOfMatching(large, condition.condition);
    const auto growth = static_cast<double>(large_peak - small_peak) /
                        static_cast<double>(large.size() - small.size());
    RecordProperty("peak_per_message_byte", std::to_string(static_cast<double>(large_peak) /
                                                           static_cast<double>(large.size())));
    RecordProperty("growth_per_message_byte", std::to_string(growth));
    // A little slack for allocation granularity; a copy of a twentieth of the text would show.
    EXPECT_LE(growth, 3.05) << "peaks " << small_peak << " and " << large_peak << " for "
                            << small.size() << " and " << large.size() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(ShapesAndConditions, MatchMemory,
                         ::testing::Combine(::testing::ValuesIn(test::kBodyShapes),
                                            ::testing::ValuesIn(kConditions)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    std::get<1>(info.param).name;
                         });

}  // namespace
}  // namespace brindle
