// Dates and times of SHEF values: the date/data-type elements, relative
// dates, hour 24, year inference and the time zones.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>
#include <string>
#include <vector>

#include "shef_series.h"
#include "shef_series_impl.h"
#include "shef_series_util.h"

namespace {

using vyr::series::Civil;
using vyr::series::RefDate;
using vyr::test::decode_text;
using vyr::test::kRef;

struct Case {
    const char *input;
    const char *rows;  // expected rows joined by "|"
    const char *note;  // a text the notes must hold, or null for none
    RefDate ref = kRef;
};

void check(const Case &c) {
    const vyr::test::Decoded d = decode_text(c.input, c.ref);
    EXPECT_EQ(d.all(), c.rows) << c.input;
    if (c.note == nullptr) {
        EXPECT_TRUE(d.notes.empty()) << c.input << "\n" << d.notes.front();
    } else {
        std::string all;
        for (const std::string &n : d.notes) all += n + "\n";
        EXPECT_NE(all.find(c.note), std::string::npos) << c.input << "\n" << all;
    }
}

TEST(shef_time, each_element_merges_the_fields_it_names) {
    const Case cases[] = {
        {".A STN1 20240715 Z DH1230/DS45/HG 1", "STN1 2024-07-15T12:30:45Z HGIRZZZ 1", nullptr},
        {".A STN1 20240715 Z DH12/DN3015/HG 1", "STN1 2024-07-15T12:30:15Z HGIRZZZ 1", nullptr},
        // Naming the hour clears the minutes and seconds left from before.
        {".A STN1 20240715 Z DH073015/HG 1/DH10/HG 2",
         "STN1 2024-07-15T07:30:15Z HGIRZZZ 1|STN1 2024-07-15T10:00:00Z HGIRZZZ 2", nullptr},
        // A day alone keeps the time of day; a day with its hour does not.
        {".A STN1 20240715 Z DH0730/DD16/HG 1/DD1709/HG 2",
         "STN1 2024-07-16T07:30:00Z HGIRZZZ 1|STN1 2024-07-17T09:00:00Z HGIRZZZ 2", nullptr},
        // DM never changes the year.
        {".A STN1 20240115 Z DH12/DM1231/HG 1", "STN1 2024-12-31T12:00:00Z HGIRZZZ 1", nullptr},
        {".A STN1 20240715 Z DH06/DY250102/HG 1", "STN1 2025-01-02T06:00:00Z HGIRZZZ 1", nullptr},
        {".A STN1 20240715 Z DH06/DT19/HG 1", "STN1 1924-07-15T06:00:00Z HGIRZZZ 1", nullptr},
        {".A STN1 20240715 Z DH06/DT2025010203/HG 1", "STN1 2025-01-02T03:00:00Z HGIRZZZ 1", nullptr},
        {".A STN1 20240101 Z DH06/DJ060/HG 1/DJ25060/HG 2/DJ2023365/HG 3",
         "STN1 2024-02-29T06:00:00Z HGIRZZZ 1|STN1 2025-03-01T06:00:00Z HGIRZZZ 2|"
         "STN1 2023-12-31T06:00:00Z HGIRZZZ 3",
         nullptr},
        {".A STN1 20230101 Z DH06/HG 1/DJ366/HG 2", "STN1 2023-01-01T06:00:00Z HGIRZZZ 1",
         "E1: date/time element gives no valid time: DJ366"},
        // Hour 24 is midnight at the end of the day; hour 24 with minutes is not.
        {".A STN1 20240731 Z DH24/HG 1", "STN1 2024-08-01T00:00:00Z HGIRZZZ 1", nullptr},
        {".A STN1 20241231 P DH24/HG 1", "STN1 2025-01-01T08:00:00Z HGIRZZZ 1", nullptr},
        {".A STN1 20240731 Z DH2401/HG 1", "", "gives no valid time: DH2401"},
        {".A STN1 20240731 Z DH1260/HG 1", "", "bad date/data-type element \"DH1260\""},
        {".A STN1 20240430 Z DD31/HG 1", "", "gives no valid time: DD31"},
        // Without an hour: noon in UTC, the end of the day in local time.
        {".A STN1 20240715 Z /HG 1", "STN1 2024-07-15T12:00:00Z HGIRZZZ 1", nullptr},
        {".A STN1 20240715 ES /HG 1", "STN1 2024-07-16T05:00:00Z HGIRZZZ 1", nullptr},
    };
    for (const Case &c : cases) check(c);
}

// DHhh is applied without the general element reading: to the same state,
// from every kind of state a message can be in.
TEST(shef_time, an_hour_element_read_at_once_as_any_element) {
    using vyr::series::detail::Elem;
    using vyr::series::detail::State;
    const vyr::series::Parm &parm = vyr::series::Parm::builtin();
    std::vector<State> bases;
    for (const char *first : {"DH12", "DH2430", "DN30", "DRH-2", "DD31", "DY240229", "DJ366"}) {
        State s;
        s.when = Civil{2024, 12, 31, 24, 0, 0};  // the default hour of a local zone
        Elem e;
        if (vyr::series::detail::parse_element(parm, first, e) &&
            vyr::series::detail::merge_time(s, e, kRef) == vyr::series::detail::Merge::Ok)
            s.rel = {};
        if (first[1] == 'R') s.rel = {'H', -2};
        bases.push_back(s);
    }
    auto same = [](const State &a, const State &b) {
        return a.when.year == b.when.year && a.when.month == b.when.month &&
               a.when.day == b.when.day && a.when.hour == b.when.hour &&
               a.when.min == b.when.min && a.when.sec == b.when.sec &&
               a.hour_given == b.hour_given && a.rel.unit == b.rel.unit &&
               a.when_known == b.when_known;
    };
    for (const State &base : bases) {
        for (int h = 0; h < 100; ++h) {
            const std::string w = "DH" + std::string(1, static_cast<char>('0' + h / 10)) +
                                  static_cast<char>('0' + h % 10);
            State quick = base, general = base;
            quick.when_known = general.when_known = true;
            const bool took = vyr::series::detail::apply_hour(quick, w);
            Elem e;
            const bool valid = vyr::series::detail::parse_element(parm, w, e) &&
                               vyr::series::detail::merge_time(general, e, kRef) ==
                                   vyr::series::detail::Merge::Ok;
            if (valid) general.rel = {};
            EXPECT_EQ(took, valid) << w;
            if (took) {
                EXPECT_TRUE(same(quick, general)) << w;
            }
        }
    }
    for (const char *w : {"DH123", "DH1230", "DN12", "DHAB", "DH"}) {
        State s;
        EXPECT_FALSE(vyr::series::detail::apply_hour(s, w)) << w;
    }
}

TEST(shef_time, relative_dates_from_the_last_explicit_time) {
    const Case cases[] = {
        {".A STN1 20240715 Z DH06/HG 1/DRH-6/HG 2/DRD+1/HG 3",
         "STN1 2024-07-15T06:00:00Z HGIRZZZ 1|STN1 2024-07-15T00:00:00Z HGIRZZZ 2|"
         "STN1 2024-07-16T06:00:00Z HGIRZZZ 3",
         nullptr},
        // Offsets do not add up; an explicit element ends the offset.
        {".A STN1 20240715 Z DH12/DRH-6/HG 1/DRH-12/HG 2/DN30/HG 3",
         "STN1 2024-07-15T06:00:00Z HGIRZZZ 1|STN1 2024-07-15T00:00:00Z HGIRZZZ 2|"
         "STN1 2024-07-15T12:30:00Z HGIRZZZ 3",
         nullptr},
        {".A STN1 20240715 Z DH12/DRS-30/HG 1/DRN+90/HG 2",
         "STN1 2024-07-15T11:59:30Z HGIRZZZ 1|STN1 2024-07-15T13:30:00Z HGIRZZZ 2", nullptr},
        // Months keep the day; the last day of a month goes to the last day.
        {".A STN1 20240131 Z DH12/DRM+1/HG 1/DRM-2/HG 2",
         "STN1 2024-02-29T12:00:00Z HGIRZZZ 1|STN1 2023-11-30T12:00:00Z HGIRZZZ 2", nullptr},
        {".A STN1 20240430 Z DH12/DRM+1/HG 1", "STN1 2024-05-30T12:00:00Z HGIRZZZ 1", nullptr},
        {".A STN1 20240130 Z DH12/DRM+1/HG 1", "", "the day does not exist in the target month"},
        {".A STN1 20240229 Z DH12/DRY+1/HG 1/DRY-4/HG 2",
         "STN1 2025-02-28T12:00:00Z HGIRZZZ 1|STN1 2020-02-29T12:00:00Z HGIRZZZ 2", nullptr},
        {".A STN1 20240930 Z DH12/HG 1/DRE+1/HG 2/DRE+5/HG 3",
         "STN1 2024-09-30T12:00:00Z HGIRZZZ 1|STN1 2024-10-31T12:00:00Z HGIRZZZ 2|"
         "STN1 2025-02-28T12:00:00Z HGIRZZZ 3",
         nullptr},
        {".A STN1 20240929 Z DH12/DRE+1/HG 1", "", "a month-end step needs a month's last day"},
        {".A STN1 20240715 Z DH12/DRX+1/HG 1", "", "bad date/data-type element \"DRX+1\""},
        // Days move the local date and keep the clock; hours are elapsed
        // time, which differ across a change of clocks.
        {".A STN1 20241102 C DH12/DRD+1/HG 1/DRH+24/HG 2",
         "STN1 2024-11-03T18:00:00Z HGIRZZZ 1|STN1 2024-11-03T17:00:00Z HGIRZZZ 2", nullptr},
    };
    for (const Case &c : cases) check(c);
}

TEST(shef_time, creation_dates_and_year_inference) {
    const Case cases[] = {
        {".A STN1 20240715 Z DH12/DC202407141800/HGIF 2",
         "STN1 2024-07-15T12:00:00Z HGIFZZZ 2 dc=2024-07-14T18:00:00Z", nullptr},
        // A creation date without a year takes the one nearest the
        // reference date; without an hour, the zone's default hour.
        {".A STN1 20250102 Z DH12/DC1231/HGIF 2",
         "STN1 2025-01-02T12:00:00Z HGIFZZZ 2 dc=2024-12-31T12:00:00Z", nullptr,
         RefDate{2025, 1, 2}},
        {".A STN1 20240715 C DH12/DC0714/HGIF 2",
         "STN1 2024-07-15T17:00:00Z HGIFZZZ 2 dc=2024-07-15T05:00:00Z", nullptr,
         RefDate{2024, 7, 20}},
        {".A STN1 20240715 Z DH12/HGIF 2", "STN1 2024-07-15T12:00:00Z HGIFZZZ 2",
         "W1: forecast values without a creation date"},
        // mmdd: within six months of the reference date.
        {".A STN1 0103 Z DH12/HG 1", "STN1 2027-01-03T12:00:00Z HGIRZZZ 1", nullptr,
         RefDate{2026, 12, 28}},
        {".A STN1 1228 Z DH12/HG 1", "STN1 2026-12-28T12:00:00Z HGIRZZZ 1", nullptr,
         RefDate{2027, 1, 3}},
        {".A STN1 0608 Z DH12/HG 1/DM0607/HG 2",
         "STN1 2026-06-08T12:00:00Z HGIRZZZ 1|STN1 2026-06-07T12:00:00Z HGIRZZZ 2", nullptr},
        {".A STN1 0607 Z DH12/HG 1", "STN1 2027-06-07T12:00:00Z HGIRZZZ 1", nullptr},
        {".A STN1 0229 Z DH12/HG 1", "", "bad date \"0229\""},
        {".A STN1 0229 Z DH12/HG 1", "STN1 2028-02-29T12:00:00Z HGIRZZZ 1", nullptr,
         RefDate{2027, 12, 1}},
        // Two-digit years fall in [reference - 89, reference + 10].
        {".A STN1 370101 Z DH12/HG 1", "STN1 1937-01-01T12:00:00Z HGIRZZZ 1", nullptr},
        {".A STN1 360101 Z DH12/HG 1/DY371231/HG 2",
         "STN1 2036-01-01T12:00:00Z HGIRZZZ 1|STN1 1937-12-31T12:00:00Z HGIRZZZ 2", nullptr},
    };
    for (const Case &c : cases) check(c);
}

TEST(shef_time, zones_follow_daylight_saving_history) {
    const Case cases[] = {
        {".A STN1 20240715 CS DH0630/HG 1", "STN1 2024-07-15T12:30:00Z HGIRZZZ 1", nullptr},
        {".A STN1 20240715 H DH12/HG 1", "STN1 2024-07-15T22:00:00Z HGIRZZZ 1", nullptr},
        // Spring forward: the skipped hour is refused; its first instant
        // reads as standard time.
        {".A STN1 20240310 C DH0230/HG 1", "", "W1: local time 2024-03-10 02:30:00 does not exist"},
        {".A STN1 20240310 C DH0200/HG 1/DH0300/HG 2",
         "STN1 2024-03-10T08:00:00Z HGIRZZZ 1|STN1 2024-03-10T08:00:00Z HGIRZZZ 2", nullptr},
        {".A STN1 20240310 P DH0259/HG 1", "", "does not exist in zone P"},
        // Fall back: the repeated hour is daylight time, up to and with
        // 02:00; after it, standard time.
        {".A STN1 20241103 C DH0130/HG 1/DH0230/HG 2",
         "STN1 2024-11-03T06:30:00Z HGIRZZZ 1|STN1 2024-11-03T08:30:00Z HGIRZZZ 2",
         "W1: local time 2024-11-03 01:30:00 occurs twice in zone C"},
        {".A STN1 20241103 P DH0100/HG 1/DH0200/HG 2/DH020001/HG 3",
         "STN1 2024-11-03T08:00:00Z HGIRZZZ 1|STN1 2024-11-03T09:00:00Z HGIRZZZ 2|"
         "STN1 2024-11-03T10:00:01Z HGIRZZZ 3",
         "W1: local time 2024-11-03 02:00:00 occurs twice in zone P"},
        // The rules of each period: last Sunday of April (1985), first
        // Sunday of April (2006), second Sunday of March (from 2007).
        {".A STN1 19850428 C DH0230/HG 1", "", "does not exist"},
        {".A STN1 20060402 P DH0230/HG 1", "", "does not exist"},
        {".A STN1 20070401 C DH0230/HG 1", "STN1 2007-04-01T07:30:00Z HGIRZZZ 1", nullptr},
        {".A STN1 20070311 C DH0230/HG 1", "", "does not exist"},
        // Send codes move to the latest 07:00 local.
        {".A STN1 20240715 C DH08/PY 1.25/DH0659/QY 250",
         "STN1 2024-07-15T12:00:00Z PPDRZZZ 1.25|STN1 2024-07-14T12:00:00Z QRIRZZZ 250", nullptr},
        {".A STN1 20240715 Z DH08/PY 1.25", "", "send code PY needs a local time zone"},
        {".A STN1 20240715 C DH08/DRH-1/PY 1.25", "", "cannot be used with a relative date"},
    };
    for (const Case &c : cases) check(c);
}

TEST(shef_time, calendar_steps_and_year_windows) {
    struct Step {
        Civil from;
        char unit;
        int n;
        Civil to;  // year 0: refused
    } steps[] = {
        {{2024, 1, 31, 12, 0, 0}, 'M', 1, {2024, 2, 29, 12, 0, 0}},
        {{2023, 1, 31, 24, 0, 0}, 'M', 1, {2023, 2, 28, 24, 0, 0}},
        {{2024, 3, 31, 0, 0, 0}, 'M', -1, {2024, 2, 29, 0, 0, 0}},
        {{2024, 1, 30, 0, 0, 0}, 'M', 1, {0, 0, 0, 0, 0, 0}},
        {{2024, 2, 29, 0, 0, 0}, 'Y', -1, {2023, 2, 28, 0, 0, 0}},
        {{2024, 2, 28, 0, 0, 0}, 'E', 1, {0, 0, 0, 0, 0, 0}},
        {{2024, 2, 29, 0, 0, 0}, 'E', 12, {2025, 2, 28, 0, 0, 0}},
        {{2024, 12, 31, 6, 0, 0}, 'E', 1, {2025, 1, 31, 6, 0, 0}},
        {{2024, 12, 31, 6, 0, 0}, 'D', 1, {2025, 1, 1, 6, 0, 0}},
        {{2024, 3, 1, 6, 0, 0}, 'D', -1, {2024, 2, 29, 6, 0, 0}},
    };
    for (const Step &s : steps) {
        Civil t = s.from;
        const char *why = nullptr;
        const bool ok = vyr::series::shift_calendar(t, s.unit, s.n, &why);
        EXPECT_EQ(ok, s.to.year != 0) << s.unit << s.n;
        if (ok) {
            EXPECT_EQ(vyr::series::seconds_of(t), vyr::series::seconds_of(s.to)) << s.unit << s.n;
        }
    }
    EXPECT_EQ(vyr::series::infer_century(2026, 36), 2036);
    EXPECT_EQ(vyr::series::infer_century(2026, 37), 1937);
    EXPECT_EQ(vyr::series::infer_century(2095, 5), 2105);
    EXPECT_EQ(vyr::series::infer_year(RefDate{2026, 6, 30}, 12, 30), 2026);
    EXPECT_EQ(vyr::series::infer_year(RefDate{2026, 6, 30}, 12, 31), 2025);
    EXPECT_EQ(vyr::series::infer_year(RefDate{2026, 7, 1}, 1, 1), 2026);
    EXPECT_EQ(vyr::series::infer_year(RefDate{2026, 7, 2}, 1, 1), 2027);
}

TEST(shef_time, the_process_time_zone_is_left_as_found) {
    setenv("TZ", "Europe/Paris", 1);
    tzset();
    const vyr::test::Decoded d =
        decode_text(".A STN1 20240715 E DH12/HG 1\n.A STN1 20240715 P DH12/HG 1");
    EXPECT_EQ(d.all(), "STN1 2024-07-15T16:00:00Z HGIRZZZ 1|STN1 2024-07-15T19:00:00Z HGIRZZZ 1");
    ASSERT_NE(std::getenv("TZ"), nullptr);
    EXPECT_STREQ(std::getenv("TZ"), "Europe/Paris");
    time_t t = 1721044800;  // 2024-07-15T12:00:00Z
    struct tm tm {};
    localtime_r(&t, &tm);
    EXPECT_EQ(tm.tm_hour, 14);
    unsetenv("TZ");
    tzset();
}

}  // namespace
