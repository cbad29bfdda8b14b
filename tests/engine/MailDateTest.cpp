#include "engine/MailDate.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TReadableCase {
    const char* Value;
    int64_t Expected; // seconds since 1970-01-01 00:00:00 UTC
};

struct TSameMomentCase {
    const char* First;
    const char* Second;
};

} // namespace

TEST(MailDate, ReadsTheUsualFormsAsTheMomentTheyName) {
    const TReadableCase cases[] = {
        {" Tue, 1 Dec 2026 10:12:10 +0000", 1796119930}, // as the list shows it, with the space after the colon
        {"1 Dec 2026 10:12:10 +0000", 1796119930},       // no day name
        {"Tue, 01 Dec 2026 11:12:10 +0100", 1796119930}, // east of UTC: earlier in UTC
        {"Tue, 1 Dec 2026 05:12:10 -0500", 1796119930},  // west of UTC
        {"Tue, 1 Dec 2026 10:12:10 GMT", 1796119930},
        {"Tue, 1 Dec 2026 10:12:10 UT", 1796119930},
        {"Tue, 1 Dec 2026 02:12:10 PST", 1796119930},
        {"Tue, 1 Dec 2026 06:12:10 EDT", 1796119930},
        {"Tue, 1 Dec 2026 10:12:10 Z", 1796119930}, // military letter: +0000
        {"tue, 1 dec 2026 10:12:10 +0000", 1796119930},
        {"Tuesday, 1 December 2026 10:12:10 +0000", 1796119930},
        {"Tue, 1 Dec 2026 10:12:10 +0000 (UTC)", 1796119930},        // a trailing comment
        {"Tue,(day) 1 Dec (month) 2026 10:12:10 +0000", 1796119930}, // comments between the parts
        {"Tue,\r\n 1 Dec 2026\t10:12:10 +0000", 1796119930},         // folded
        {"Tue, 1 Dec 2026 10 : 12 : 10 +0000", 1796119930},          // blanks around the colons (obsolete form)
        {"Tue, 1 Dec 26 10:12:10 +0000", 1796119930},                // two-digit year, below 50: 20xx
        {"Mon, 2 Dec 02 14:18:25 -0000", 1038838705},
        {"Mon, 2 Dec 102 14:18:25 +0000", 1038838705}, // three-digit year: 1900 + it
        {"1 Jan 50 00:00 +0000", -631152000},          // two-digit year, 50 and above: 19xx
        {"1 Jan 2049 00:00 +0000", 2493072000},
        {"Sat, 06 Mar 2004", 1078531200},       // no time: midnight, no zone: +0000
        {"Sat, 06 Mar 2004 00:00", 1078531200}, // no seconds
        {"Tue, 29 Feb 2000 00:00:00 +0000", 951782400},
        {"Fri, 31 Dec 1999 23:59:60 +0000", 946684800}, // a leap second
        {"Wed, 31 Dec 1969 23:59:59 +0000", -1},
        {"Tue, 1 Jan 1901 00:00:00 +0000", -2177452800},
        {"Thu, 1 Jan 1970 00:00:00 +0000", 0},
    };
    for (const TReadableCase& c : cases) {
        SCOPED_TRACE(c.Value);
        std::optional<int64_t> moment = ParseMailDate(c.Value);
        ASSERT_TRUE(moment.has_value());
        EXPECT_EQ(*moment, c.Expected);
    }
}

TEST(MailDate, RefusesWhatNamesNoMoment) {
    const char* const cases[] = {
        "",
        " ",
        "yesterday",
        "Tue, 1 Dec",                      // no year
        "Tue, 1 2026 10:12:10 +0000",      // no month
        "Tue, 1 Dex 2026 10:12:10 +0000",  // unknown month
        "Tux, 1 Dec 2026 10:12:10 +0000",  // unknown day name
        "Tue, 32 Dec 2026 10:12:10 +0000", // no such day
        "Tue, 0 Dec 2026 10:12:10 +0000",
        "Mon, 29 Feb 2100 10:12:10 +0000",      // 2100 is no leap year
        "Tue, 1 Dec 2026 24:00:00 +0000",       // hour past 23
        "Tue, 1 Dec 2026 10:60:00 +0000",       // minute past 59
        "Tue, 1 Dec 2026 10:12:61 +0000",       // second past 60
        "Tue, 1 Dec 2026 10 +0000",             // an hour without minutes
        "Tue, 1 Dec 2026 10:12:10 +000",        // zone of three digits
        "Tue, 1 Dec 2026 10:12:10 +0060",       // zone minutes past 59
        "Tue, 1 Dec 2026 10:12:10 CET",         // a zone name outside the format
        "Tue, 1 Dec 2026 10:12:10 J",           // J is no military zone
        "Tue, 1 Dec 2026 10:12:10 +0000 extra", // words after the zone
        "Tue, 1 Dec 20261 10:12:10 +0000",      // a five-digit year
        "Tue, 1 Dec 6 10:12:10 +0000",          // a one-digit year
        "Tue, 123 Dec 2026 10:12:10 +0000",     // a three-digit day
        "2026-12-01T10:12:10Z",                 // another standard's form
    };
    for (const char* value : cases) {
        SCOPED_TRACE(value);
        EXPECT_FALSE(ParseMailDate(value).has_value());
    }
}

TEST(MailDate, TheSameMomentWrittenInTwoZonesReadsTheSame) {
    const TSameMomentCase cases[] = {
        {"Thu, 31 Dec 2026 23:30:00 -0100", "Fri, 1 Jan 2027 00:30:00 +0000"},  // across a year end
        {"Sat, 28 Feb 2004 23:00:00 -0200", "Sun, 29 Feb 2004 01:00:00 +0000"}, // into a leap day
        {"Mon, 1 Mar 2004 00:15:00 +0530", "Sun, 29 Feb 2004 18:45:00 +0000"},  // half-hour zone, back a day
        {"Wed, 9 Dec 2026 12:00:00 +1400", "Tue, 8 Dec 2026 22:00:00 +0000"},
        {"Wed, 9 Dec 2026 12:00:00 CST", "Wed, 9 Dec 2026 18:00:00 +0000"},
    };
    for (const TSameMomentCase& c : cases) {
        SCOPED_TRACE(std::string(c.First) + " / " + c.Second);
        ASSERT_TRUE(ParseMailDate(c.First).has_value());
        EXPECT_EQ(ParseMailDate(c.First), ParseMailDate(c.Second));
    }
}
