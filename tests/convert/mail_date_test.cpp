#include "convert/mail_date.hpp"

#include <gtest/gtest.h>

#include <string>

namespace brindle {
namespace {

// 2003-04-05 06:07:08 UTC
constexpr std::time_t kT = 1049522828;

TEST(ParseMailDate, ModernAndObsoleteFormsOfOneMoment) {
    const char* forms[] = {
        "Sat, 05 Apr 2003 06:07:08 +0000",
        "Sat, 5 Apr 2003 15:07:08 +0900",
        "5 Apr 2003 15:07:08 +0900",      // no day name
        "Sat, 05 Apr 2003 15:07:08 JST",  // named zone
        "Sat, 05 Apr 03 06:07:08 GMT",    // two-digit year
        "Sat, 05 Apr 103 06:07:08 UT",    // three-digit year
        "Sat, 05 Apr 2003 01:07:08 EST",  //
        "Fri, 04 Apr 2003 23:07:08 PDT",  // previous day in the zone
        "Sat,05 Apr 2003 15:07:08 +0900 (JST)",
        "  Saturday, 05 April 2003 15:07:08 +0900",
        "Sat, 05 Apr 2003 15:07:08+0900",  // zone glued to the time
        "Sat, 05 Apr 2003 06:07:08",       // no zone: taken as UTC
        "sat, 05 APR 2003 06:07:08 z",
        "Sat, 05 Apr 2003 06:07:08 A",  // military zone: -0000
    };
    for (const char* form : forms) {
        const auto t = ParseMailDate(form);
        ASSERT_TRUE(t.has_value()) << form;
        EXPECT_EQ(*t, kT) << form;
    }
    EXPECT_EQ(ParseMailDate("Sat, 05 Apr 2003 06:07 +0000"), kT - 8);        // no seconds
    EXPECT_EQ(ParseMailDate("Fri, 31 Dec 1999 23:59:60 +0000"), 946684799);  // leap second
    EXPECT_EQ(ParseMailDate("Thu, 29 Feb 2024 00:00:00 +0000"), 1709164800);
    EXPECT_EQ(ParseMailDate("01 Jan 70 00:00:00 -0130"), 5400);
    EXPECT_EQ(ParseMailDate("01 Jan 49 00:00:00 +0000"), 2493072000);  // 2049
    // Alphabetic zones whose meaning is not known count as -0000 rather than losing the date.
    for (const char* zone : {"CET", "MEST", "KST", "HKT"}) {
        EXPECT_EQ(ParseMailDate(std::string("Sat, 05 Apr 2003 06:07:08 ") + zone), kT) << zone;
    }
}

TEST(ParseMailDate, RefusesWhatItCannotRead) {
    const char* bad[] = {
        "",
        "yesterday",
        "Sat, 05 Apr 2003",
        "Sat, 32 Jan 2003 00:00:00 +0000",
        "Sat, 29 Feb 2003 00:00:00 +0000",  // not a leap year
        "Sat, 05 Foo 2003 00:00:00 +0000",
        "Sat, 05 Apr 2003 24:00:00 +0000",
        "Sat, 05 Apr 2003 12:60:00 +0000",
        "Sat, 05 Apr 2003 12:00:00 +09",
        "Sat, 05 Apr 2003 12:00:00 +2400",
        "Sat, 05 Apr 2003 12:00:00 XY",
        "Sat, 05 Apr 2003 12:00:00 Monday",
        "Sat, 05 Apr 2003 12:00:00 X1Z",
        "Sat, 05 Apr 1 12:00:00 +0000",
        "Sat, 05 Apr 20031 12:00:00 +0000",
        "Sat, 005 Apr 2003 12:00:00 +0000",
        "Sat, 05 Apr 2003 12::00 +0000",
        "Sat, 05 Apr 2003 :: +0000",
        "Sat, 05 Apr 2003 1200 +0000",
        "(((",
    };
    for (const char* text : bad) {
        EXPECT_FALSE(ParseMailDate(text).has_value()) << text;
    }
    // A comment running to the end is dropped; the date before it stands.
    EXPECT_EQ(ParseMailDate("Sat, 05 Apr 2003 06:07:08 +0000 (unclosed"), kT);
}

}  // namespace
}  // namespace brindle
