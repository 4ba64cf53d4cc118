#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "test_util.h"
#include "vyr.h"
#include "vyr_int.h"

namespace {

constexpr int M = VYR_MISSING;

Date make(int y, int mo = M, int d = M, int h = M, int mi = M, int s = M) {
    return Date{y, mo, d, M, M, h, mi, s};
}

std::string label(Date d) {
    char buf[32];
    EXPECT_EQ(DATE_make_label(&d, buf), 0);
    return buf;
}

std::string show(const Date &d) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%d-%d-%d jday %d wday %d %d:%d:%d", d.year, d.month, d.day,
                  d.jday, d.wday, d.hour, d.min, d.sec);
    return buf;
}

int64_t g_now = 0;
int64_t fixed_clock() { return g_now; }

class DateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        vyr::reset_time_zone();
        vyr::set_clock(nullptr);
    }
    void TearDown() override {
        vyr::reset_time_zone();
        vyr::set_clock(nullptr);
        vyr::reset_messages();
    }
};

// ---------------------------------------------------------------------------
// Seconds since 1970

TEST_F(DateTest, num_sec_examples_and_normalisation) {
    struct Row {
        Date in;
        int64_t secs;
        Date normalised;  // jday and wday are not touched
    };
    const Row rows[] = {
        {make(1970, 1, 1, 0, 0, 0), 0, make(1970, 1, 1, 0, 0, 0)},
        {make(2000, 3, 1, 0, 0, 0), 951868800, make(2000, 3, 1, 0, 0, 0)},
        {make(2024, 2, 29, 0, 0, 0), 1709164800, make(2024, 2, 29, 0, 0, 0)},
        {make(2026, 12, 7, 12, 35, 6), 1796646906, make(2026, 12, 7, 12, 35, 6)},
        {make(2038, 1, 19, 3, 14, 7), 2147483647, make(2038, 1, 19, 3, 14, 7)},
        {make(1902, 1, 1, 0, 0, 0), -2145916800, make(1902, 1, 1, 0, 0, 0)},
        // Two-digit and short years are widened.
        {make(26, 12, 7, 12, 35, 6), 1796646906, make(2026, 12, 7, 12, 35, 6)},
        {make(126, 12, 7, 12, 35, 6), 1796646906, make(2026, 12, 7, 12, 35, 6)},
        {make(99, 1, 1, 0, 0, 0), 915148800, make(1999, 1, 1, 0, 0, 0)},
        {make(49, 1, 1, 0, 0, 0), 2493072000, make(2049, 1, 1, 0, 0, 0)},
        {make(50, 1, 1, 0, 0, 0), -631152000, make(1950, 1, 1, 0, 0, 0)},
        {make(199, 1, 1, 0, 0, 0), 4070908800, make(2099, 1, 1, 0, 0, 0)},
        {make(-5, 1, 1, 0, 0, 0), 315532800, make(1980, 1, 1, 0, 0, 0)},
        // Day 0 is the last day of the previous month, across a year too.
        {make(2026, 3, 0, 0, 0, 0), 1772236800, make(2026, 3, 0, 0, 0, 0)},
        {make(2024, 1, 0, 0, 0, 0), 1703980800, make(2024, 1, 0, 0, 0, 0)},
        // Out-of-range and missing fields.
        {make(2026, 13, 32, 24, 60, 60), 1767225600, make(2026, 1, 1, 0, 0, 0)},
        {make(2026, 0, -1, -1, -1, -1), 1767225600, make(2026, 1, 1, 0, 0, 0)},
        {make(2026, 12, 7), 1796601600, make(2026, 12, 7, 0, 0, 0)},
        {make(M), 315532800, make(1980, 1, 1, 0, 0, 0)},
        {make(INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN), 315532800,
         make(1980, 1, 1, 0, 0, 0)},
    };
    for (const auto &r : rows) {
        Date d = r.in;
        EXPECT_EQ(DATE_num_sec(&d), r.secs) << show(r.in);
        EXPECT_EQ(show(d), show(r.normalised)) << show(r.in);
    }
    EXPECT_EQ(DATE_num_sec(nullptr), 0);
}

// Every day from 1902 to 2038, at a drifting time of day, against the
// platform's breakdown in both directions.
TEST_F(DateTest, num_sec_agrees_with_breakdown_over_its_range) {
    for (int64_t s = -2145916800; s <= 2147483647 - 90061; s += 90061) {
        Date d;
        ASSERT_EQ(DATE_get_gmdate(&s, &d), 0);
        Date copy = d;
        ASSERT_EQ(DATE_num_sec(&copy), s) << show(d);
    }
}

TEST_F(DateTest, num_sec_of_extreme_years_does_not_overflow) {
    Date top = make(INT32_MAX, 1, 1, 0, 0, 0);
    Date four_before = make(INT32_MAX - 4, 1, 1, 0, 0, 0);
    const int64_t a = DATE_num_sec(&top);
    const int64_t b = DATE_num_sec(&four_before);
    EXPECT_GT(a, b);
    EXPECT_EQ(a - b, int64_t{4 * 365 + 1} * 86400);
    EXPECT_EQ(top.year, INT32_MAX);
}

TEST_F(DateTest, leap_years) {
    const struct {
        int year, leap;
    } rows[] = {{2024, 1}, {2026, 0}, {2000, 1}, {1900, 0}, {2100, 0}, {2400, 1},
                {1904, 1}, {1902, 0}, {0, 1},    {-4, 1},   {-100, 0}, {INT_MIN, 1}};
    for (const auto &r : rows) EXPECT_EQ(DATE_is_leap(r.year), r.leap) << r.year;
}

// ---------------------------------------------------------------------------
// Breakdown and the clock

TEST_F(DateTest, breakdown_fills_every_field) {
    const struct {
        int64_t secs;
        Date want;
    } rows[] = {
        {0, {1970, 1, 1, 1, 4, 0, 0, 0}},
        {951868800, {2000, 3, 1, 61, 3, 0, 0, 0}},
        {1709164800, {2024, 2, 29, 60, 4, 0, 0, 0}},
        {1796646906, {2026, 12, 7, 341, 1, 12, 35, 6}},
        {-1, {1969, 12, 31, 365, 3, 23, 59, 59}},
        // Beyond any calendar the platform can hold: every field missing.
        {INT64_MAX, {M, M, M, M, M, M, M, M}},
        {INT64_MIN, {M, M, M, M, M, M, M, M}},
    };
    for (const auto &r : rows) {
        Date d{};
        EXPECT_EQ(DATE_get_gmdate(&r.secs, &d), 0);
        EXPECT_EQ(show(d), show(r.want)) << r.secs;
    }
}

TEST_F(DateTest, clock_readings_go_through_the_hook) {
    vyr::set_clock(fixed_clock);
    const struct {
        int64_t now;
        const char *stamp;
    } rows[] = {
        {1796646906, "26 DEC 07  12:35:06Z"},
        {946684800, "00 JAN 01  00:00:00Z"},
        {0, "70 JAN 01  00:00:00Z"},
        {2147483647, "38 JAN 19  03:14:07Z"},
    };
    for (const auto &r : rows) {
        g_now = r.now;
        int64_t secs = 0;
        EXPECT_EQ(DATE_get_time(&secs), r.now);
        EXPECT_EQ(secs, r.now);
        EXPECT_EQ(DATE_get_time(nullptr), r.now);

        Date d{};
        Date want{};
        DATE_get_gmdate(nullptr, &d);
        DATE_get_gmdate(&r.now, &want);
        EXPECT_EQ(show(d), show(want));

        char stamp[32];
        std::memset(stamp, '#', sizeof stamp);
        EXPECT_EQ(DATE_get_current_str(stamp), 0);
        EXPECT_STREQ(stamp, r.stamp);
    }
}

TEST_F(DateTest, time_stamp_ignores_the_display_zone_and_fits_21_bytes) {
    vyr::set_clock(fixed_clock);
    g_now = 1796646906;
    DATE_set_TZ("-CST:-6");
    char stamp[22];
    stamp[21] = '#';
    DATE_get_current_str(stamp);
    EXPECT_STREQ(stamp, "26 DEC 07  12:35:06Z");
    EXPECT_EQ(stamp[21], '#');

    // A clock beyond the calendar still leaves a terminated 20-character text.
    g_now = INT64_MAX;
    std::memset(stamp, '#', sizeof stamp);
    DATE_get_current_str(stamp);
    EXPECT_LE(std::strlen(stamp), 20u);
    EXPECT_EQ(stamp[21], '#');
}

TEST_F(DateTest, system_clock_is_restored) {
    vyr::set_clock(fixed_clock);
    g_now = 12345;
    EXPECT_EQ(vyr::clock_now(), 12345);
    vyr::set_clock(nullptr);
    const int64_t sys = static_cast<int64_t>(std::time(nullptr));
    EXPECT_LE(std::llabs(vyr::clock_now() - sys), 2);
}

// ---------------------------------------------------------------------------
// Day of year

TEST_F(DateTest, day_of_year_examples) {
    const struct {
        int year, julian, month, day;
    } to_md[] = {
        {2024, 60, 2, 29},   {2026, 60, 3, 1},      {2026, 400, 12, 31},     {2024, 0, 1, 1},
        {2023, 366, 12, 31}, {2024, 366, 12, 31},   {2024, -5, 1, 1},        {2026, 31, 1, 31},
        {2026, 32, 2, 1},    {2026, INT_MIN, 1, 1}, {2026, INT_MAX, 12, 31},
    };
    for (const auto &r : to_md) {
        int month = 0, day = 0;
        EXPECT_EQ(DATE_julian_monday(r.year, r.julian, &month, &day), 0);
        EXPECT_EQ(month, r.month) << r.year << " " << r.julian;
        EXPECT_EQ(day, r.day) << r.year << " " << r.julian;
    }
    const struct {
        int year, month, day, julian;
    } to_julian[] = {
        {2024, 2, 29, 60}, {2026, 3, 1, 60},   {2024, 3, 1, 61},
        {2026, 0, 5, 5},   {2026, 13, 1, 335}, {2024, 13, 31, 366},
        {2026, 1, 40, 40}, {2026, 12, 0, 334}, {2026, 12, INT_MAX, INT_MAX},
    };
    for (const auto &r : to_julian) {
        int julian = 0;
        EXPECT_EQ(DATE_monday_julian(r.year, r.month, r.day, &julian), 0);
        EXPECT_EQ(julian, r.julian) << r.year << "/" << r.month << "/" << r.day;
    }
}

// Every day of a leap, a common and a centennial common year, both ways,
// checked against the day of year of the platform's breakdown.
TEST_F(DateTest, day_of_year_round_trip) {
    const struct {
        int year;
        int64_t jan1;  // seconds of 1 January
    } years[] = {{2024, 1704067200}, {2026, 1767225600}, {2100, 4102444800}};
    for (const auto &y : years) {
        const int length = DATE_is_leap(y.year) ? 366 : 365;
        for (int julian = 1; julian <= length; ++julian) {
            int month = 0, day = 0, back = 0;
            DATE_julian_monday(y.year, julian, &month, &day);
            DATE_monday_julian(y.year, month, day, &back);
            ASSERT_EQ(back, julian) << y.year;
            const int64_t secs = y.jan1 + int64_t{julian - 1} * 86400;
            Date b;
            DATE_get_gmdate(&secs, &b);
            ASSERT_EQ(b.jday, julian);
            ASSERT_EQ(b.month, month) << y.year << " " << julian;
            ASSERT_EQ(b.day, day) << y.year << " " << julian;
        }
    }
}

// ---------------------------------------------------------------------------
// Month names

TEST_F(DateTest, decode_month_case_rules) {
    const struct {
        const char *name;
        int month;
    } rows[] = {
        {"JAN", 1},
        {"jan", 1},
        {"JANUARY", 1},
        {"january", 1},
        {"JA", 1},
        {"Jan", 0},
        {"FEB", 2},
        {"feb", 2},
        {"Feb", 2},
        {"fEB", 2},
        {"f", 2},
        {"MAR", 3},
        {"mar", 3},
        {"Mar", 0},
        {"March", 0},
        {"APR", 4},
        {"apr", 4},
        {"Apr", 0},
        {"MAY", 5},
        {"may", 5},
        {"May", 0},
        {"JUN", 6},
        {"jun", 6},
        {"Jun", 0},
        {"JUL", 7},
        {"jul", 7},
        {"Jul", 0},
        {"AUG", 8},
        {"aug", 8},
        {"Aug", 0},
        {"SEP", 9},
        {"Sept", 9},
        {"s", 9},
        {"OCT", 10},
        {"oCT", 10},
        {"NOV", 11},
        {"Nov", 11},
        {"DEC", 12},
        {"dec", 12},
        {"December", 12},
        // The second letter only matters for January; the third must match
        // the first letter's case.
        {"MaR", 3},
        {"JuN", 6},
        {"mAr", 3},
        {"mAR", 0},
        {"J", 0},
        {"j", 0},
        {"", 0},
        {"XYZ", 0},
        {"12", 0},
        {"JAX", 1},
        {"JXX", 0},
    };
    for (const auto &r : rows) EXPECT_EQ(DATE_decode_month(r.name), r.month) << r.name;
    EXPECT_EQ(DATE_decode_month(nullptr), 0);
}

TEST_F(DateTest, month_lower_names) {
    const struct {
        int month;
        const char *name;
    } rows[] = {{1, "jan"}, {2, "feb"}, {6, "jun"}, {12, "dec"},
                {0, ""},    {13, ""},   {M, ""},    {INT_MAX, ""}};
    for (const auto &r : rows) EXPECT_STREQ(DATE_month_lower(r.month), r.name) << r.month;
    // Lower-case names decode back to their month.
    for (int m = 1; m <= 12; ++m) EXPECT_EQ(DATE_decode_month(DATE_month_lower(m)), m);
}

// ---------------------------------------------------------------------------
// Printing

TEST_F(DateTest, print_writes_the_date_through_messages) {
    const struct {
        M_type level;
        Date d;
        const char *out;
    } rows[] = {
        {M_PRINT, make(2026, 12, 7, 12, 5, 0), "2026/12/7 12:05:00\n"},
        {M_MESS, make(1999, 1, 31, 0, 0, 59), "1999/1/31 00:00:59\n"},
        {M_PRINT, make(2026, 12, M, M, M, M), "2026/12/-9999 -9999:-9999:-9999\n"},
        {M_OUT3, make(2026, 12, 7, 12, 5, 0), ""},  // level not shown
    };
    for (const auto &r : rows) {
        vyr::test::CapturedMessages cap;
        EXPECT_EQ(DATE_print(r.level, &r.d), 0);
        EXPECT_EQ(cap.out(), r.out);
        EXPECT_EQ(cap.err(), "");
    }
}

// ---------------------------------------------------------------------------
// Labels

TEST_F(DateTest, label_forms_follow_precision) {
    const struct {
        Date d;
        const char *label;
    } rows[] = {
        {make(2026, 12, 7, 12, 35, 6), "1235Z  7 DEC 26"},
        {make(2026, 12, 7, 12), "12Z  7 DEC 26"},
        {make(2026, 12, 7), " 7 DEC 26"},
        {make(2026, 12), "DEC 26"},
        {make(2026), "26"},
        {make(2005, 3, 17, 3, 4), "0304Z 17 MAR 05"},
        {make(26, 12, 7, 9), "09Z  7 DEC 26"},
        // A negative or missing year labels as 1980.
        {make(-5), "80"},
        {make(-5, 12, 7, 12, 35), "1235Z  7 DEC 80"},
        {make(M, 12, 7, 12, 35), "1235Z  7 DEC 80"},
        // Out-of-range fields are normalised; a missing field further on
        // only lowers the precision.
        {make(2026, 13, 7, 12, 35), "1235Z  7 JAN 26"},
        {make(2026, 0, 7), " 7 JAN 26"},
        {make(2026, 12, 0, 12, 35), "1235Z  0 DEC 26"},
        {make(2026, 12, 32), " 1 DEC 26"},
        {make(2026, 12, -3), " 1 DEC 26"},
        {make(2026, 12, 7, 24, 35), "0035Z  7 DEC 26"},
        {make(2026, 12, 7, 12, 60), "1200Z  7 DEC 26"},
        {make(2026, 12, 7, 12, 35, M), "1235Z  7 DEC 26"},
        {make(2026, M, 7, 12, 35), "26"},
        {make(INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX), "0000Z  1 JAN 47"},
        {make(INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN), "0000Z  1 JAN 80"},
    };
    for (const auto &r : rows) {
        Date d = r.d;
        EXPECT_EQ(label(d), r.label) << show(r.d);
        // Without a zone offset the caller's record is left alone.
        char buf[32];
        DATE_make_label(&d, buf);
        EXPECT_EQ(show(d), show(r.d));
    }
}

TEST_F(DateTest, label_with_display_zone) {
    const struct {
        const char *tz;
        Date d;
        const char *label;
    } rows[] = {
        {"CST:-6", make(2026, 12, 7, 12, 35), "0635 CST  7 DEC 26"},
        {"-CST:-6", make(2026, 12, 7, 12, 35), "6:35 AM CST [1235Z]  7 DEC 26"},
        {"+CST:-6", make(2026, 12, 7, 12, 35), "6:35 AM CST  7 DEC 26"},
        {"IST:5.5", make(2026, 12, 7, 12, 35), "1805 IST  7 DEC 26"},
        {"+IST:5.5", make(2026, 12, 7, 12, 35), "6:05 PM IST  7 DEC 26"},
        {"-IST:5.5", make(2026, 12, 7, 20, 0), "1:30 AM IST [2000Z]  8 DEC 26"},
        // With an offset every label has full precision.
        {"CST:-6", make(2026, 12, 7), "1800 CST  6 DEC 26"},
        {"EST:-5", make(2026, 12, 7, 12), "0700 EST  7 DEC 26"},
        {"CST:-6", make(2026), "1800 CST 31 DEC 25"},
        {"CST:-6", make(2027, 1, 1, 3, 0), "2100 CST 31 DEC 26"},
        {"JST:9", make(2024, 2, 28, 20, 0), "0500 JST 29 FEB 24"},
        // Decimal hours that binary cannot hold exactly keep their seconds.
        {"ABC:5.1", make(2026, 12, 7, 12, 35), "1741 ABC  7 DEC 26"},
        {"ABC:2.01", make(2026, 12, 7, 12, 34, 24), "1435 ABC  7 DEC 26"},  // +7236 s
        {"ABC:-0.25", make(2026, 12, 7, 12, 35), "1220 ABC  7 DEC 26"},
        // The longest label there is: 31 characters.
        {"-ABCD:-11.5", make(2026, 12, 31, 23, 35), "12:05 PM ABCD [2335Z] 31 DEC 26"},
    };
    for (const auto &r : rows) {
        vyr::reset_time_zone();
        DATE_set_TZ(r.tz);
        EXPECT_EQ(label(r.d), r.label) << r.tz << " " << show(r.d);
    }
}

TEST_F(DateTest, label_with_offset_normalises_the_callers_record) {
    DATE_set_TZ("CST:-6");
    Date d = make(26, 12, 7);
    char buf[32];
    EXPECT_EQ(DATE_make_label(&d, buf), 0);
    EXPECT_STREQ(buf, "1800 CST  6 DEC 26");
    EXPECT_EQ(show(d), show(make(2026, 12, 7, 0, 0, 0)));
}

TEST_F(DateTest, label_twelve_hour_clock) {
    const struct {
        const char *tz;
        Date d;
        const char *label;
    } rows[] = {
        {"+UTC:0", make(2026, 12, 7, 12, 0), "12:00 PM UTC  7 DEC 26"},
        {"+UTC:0", make(2026, 12, 7, 0, 5), "12:05 AM UTC  7 DEC 26"},
        {"+UTC:0", make(2026, 12, 7, 13, 35), "1:35 PM UTC  7 DEC 26"},
        {"+UTC:0", make(2026, 12, 7, 11, 59), "11:59 AM UTC  7 DEC 26"},
        {"+UTC:0", make(2026, 12, 7, 1, 0), "1:00 AM UTC  7 DEC 26"},
        {"+UTC:0", make(2026, 12, 7, 12), "12 PM UTC  7 DEC 26"},
        {"+UTC:0", make(2026, 12, 7, 0), "12 AM UTC  7 DEC 26"},
        {"+UTC:0", make(2026, 12, 7, 23), "11 PM UTC  7 DEC 26"},
        {"+UTC:0", make(2026, 12, 7, 9), "9 AM UTC  7 DEC 26"},
        {"+UTC:0", make(2026, 12, 7), " 7 DEC 26"},
        // Without an offset the bracketed time is the labelled one.
        {"-UTC:0", make(2026, 12, 7, 0), "12 AM UTC [00Z]  7 DEC 26"},
        {"-UTC:0", make(2026, 12, 7, 12), "12 PM UTC [12Z]  7 DEC 26"},
        {"-UTC:0", make(2026, 12, 7, 23, 59), "11:59 PM UTC [2359Z]  7 DEC 26"},
        {"-CST:-6", make(2026, 12, 7, 18, 0), "12:00 PM CST [1800Z]  7 DEC 26"},
        {"-CST:-6", make(2026, 12, 7, 6, 0), "12:00 AM CST [0600Z]  7 DEC 26"},
    };
    for (const auto &r : rows) {
        vyr::reset_time_zone();
        DATE_set_TZ(r.tz);
        EXPECT_EQ(label(r.d), r.label) << r.tz << " " << show(r.d);
    }
}

// Zone texts without readable hours get no offset but keep their name and
// clock style.
TEST_F(DateTest, set_tz_without_hours_gives_no_offset) {
    const struct {
        const char *tz;
        const char *label;  // of 2026-12-07 12:35
    } rows[] = {
        {"CST", "1235 CST  7 DEC 26"},
        {"CST:", "1235 CST  7 DEC 26"},
        {"CST:abc", "1235 CST  7 DEC 26"},
        {"CST:nan", "1235 CST  7 DEC 26"},
        {"CST:inf", "1235 CST  7 DEC 26"},
        {"CST:1e30", "1235 CST  7 DEC 26"},
        {"-CST", "12:35 PM CST [1235Z]  7 DEC 26"},
        {"+CST:", "12:35 PM CST  7 DEC 26"},
        // At most four name characters; hours only right after them.
        {"ABCDEF:5", "1235 ABCD  7 DEC 26"},
        {"ABCD:-6", "0635 ABCD  7 DEC 26"},
        {"CST: -6", "0635 CST  7 DEC 26"},
        {"CST:-6xyz", "0635 CST  7 DEC 26"},
        {":-6", "0635   7 DEC 26"},
        {"", "1235   7 DEC 26"},
    };
    for (const auto &r : rows) {
        vyr::reset_time_zone();
        DATE_set_TZ(r.tz);
        EXPECT_EQ(label(make(2026, 12, 7, 12, 35)), r.label) << r.tz;
    }
}

TEST_F(DateTest, set_tz_keeps_the_clock_style_without_a_sign_and_replaces_the_offset) {
    DATE_set_TZ("-CST:-6");
    DATE_set_TZ("EST");
    EXPECT_EQ(label(make(2026, 12, 7, 12, 35)), "12:35 PM EST [1235Z]  7 DEC 26");
    DATE_set_TZ(nullptr);  // ignored
    EXPECT_EQ(label(make(2026, 12, 7, 12, 35)), "12:35 PM EST [1235Z]  7 DEC 26");
    vyr::reset_time_zone();
    EXPECT_EQ(label(make(2026, 12, 7, 12, 35)), "1235Z  7 DEC 26");
}

TEST_F(DateTest, label_stays_inside_32_bytes) {
    DATE_set_TZ("-ABCD:-11.5");
    const Date dates[] = {make(2026, 12, 31, 23, 35), make(INT32_MAX, 12, 31, 23, 59),
                          make(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX),
                          make(INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN)};
    for (Date d : dates) {
        char buf[40];
        std::memset(buf, '#', sizeof buf);
        EXPECT_EQ(DATE_make_label(&d, buf), 0);
        EXPECT_LT(std::strlen(buf), 32u);
        for (std::size_t i = 32; i < sizeof buf; ++i) EXPECT_EQ(buf[i], '#');
    }
    Date d = make(2026);
    EXPECT_EQ(DATE_make_label(&d, nullptr), -1);
    char buf[32] = "x";
    EXPECT_EQ(DATE_make_label(nullptr, buf), -1);
    EXPECT_STREQ(buf, "");
}

// ---------------------------------------------------------------------------
// Reading labels back

TEST_F(DateTest, decode_label_forms) {
    const struct {
        const char *text;
        Date want;  // jday and wday stay missing
    } rows[] = {
        {"12Z  7 DEC 26", make(2026, 12, 7, 12)},               // form 1
        {"1235Z  7 DEC 26", make(2026, 12, 7, 12, 35)},         // form 3
        {" 935Z  7 DEC 26", make(2026, 12, 7, 9, 35)},          // form 3, one-digit hour
        {"RAW 1235Z 17 DEC 26", make(2026, 12, 17, 12, 35)},    // form 3 at the end
        {"12:35:06Z  7 DEC 26", make(2026, 12, 7, 12, 35, 6)},  // form 5
        {"RAW 12Z  7 DEC 26", make(2026, 12, 7, 12)},           // form 2
        {"26 12 7 5", make(2005, 0, 7)},                        // form 4
        {"12Z  7 DEC 99", make(1999, 12, 7, 12)},               // years widen
        {"12Z  7 DEC 49", make(2049, 12, 7, 12)},
        {"12Z  7 DEC 50", make(1950, 12, 7, 12)},
        {"12Z  7 Jan 26", make(2026, 0, 7, 12)},  // name not recognised
        {"12Z  7 December 26", make(M)},          // a long name breaks every form
        // Shorter forms, zone names and 12-hour clocks are not read back.
        {" 7 DEC 26", make(M)},
        {"DEC 26", make(M)},
        {"26", make(M)},
        {"", make(M)},
        {"0635 CST  7 DEC 26", make(M)},
        {"6:35 AM CST [1235Z]  7 DEC 26", make(M)},
        {"6:35 AM CST  7 DEC 26", make(M)},
        {"12Z  7", make(M)},  // a form that fails halfway leaves nothing
        // Around the lengths that the forms on the last characters need.
        {"XZ  7 DEC 26", make(M)},
        {"X2Z  7 DEC 26", make(M)},
        {"35Z  7 DEC 26", make(2026, 12, 7, 35)},
        {"X35Z  7 DEC 26", make(2026, 12, 7, 35)},
        {"X235Z  7 DEC 26", make(2026, 12, 7, 35)},
        {"XX:35:06Z  7 DEC 26", make(2026, 12, 7, 6)},
    };
    for (const auto &r : rows) {
        // An exact-size copy, so a read in front of the text is caught.
        const std::size_t n = std::strlen(r.text);
        auto text = std::make_unique<char[]>(n + 1);
        std::memcpy(text.get(), r.text, n + 1);
        Date d = make(1, 2, 3, 4, 5, 6);
        d.jday = 7;
        d.wday = 1;
        EXPECT_EQ(DATE_decode_label(text.get(), &d), 0);
        EXPECT_EQ(show(d), show(r.want)) << '"' << r.text << '"';
    }
    Date d = make(1, 2, 3, 4, 5, 6);
    EXPECT_EQ(DATE_decode_label(nullptr, &d), 0);
    EXPECT_EQ(show(d), show(make(M)));
    EXPECT_EQ(DATE_decode_label("12Z  7 DEC 26", nullptr), 0);
}

// Labels of full and hour precision read back as the same time, over the
// years a two-digit label can name.
TEST_F(DateTest, label_round_trip) {
    Date first = make(1950, 1, 1, 0, 0, 0);
    Date last = make(2049, 12, 31, 23, 59, 0);
    const int64_t from = DATE_num_sec(&first);
    const int64_t to = DATE_num_sec(&last);
    for (int64_t s = from; s <= to; s += 86400 * 3 + 3600 * 7 + 60 * 13) {
        Date d;
        DATE_get_gmdate(&s, &d);
        for (bool with_min : {true, false}) {
            Date in = make(d.year, d.month, d.day, d.hour, with_min ? d.min : M);
            Date back;
            const std::string text = label(in);
            DATE_decode_label(text.c_str(), &back);
            ASSERT_EQ(show(back), show(in)) << text;
        }
    }
}

}  // namespace
