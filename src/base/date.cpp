// date.cpp - calendar arithmetic, the clock, time stamps and date labels.
//
// Every date is UTC. The display time zone, set once from "vyrtz" at
// start-up, shifts labels only: seconds, breakdowns and time stamps never
// see it. All second counts are 64-bit, and every field a caller hands in is
// normalised before use, so no input can overflow the arithmetic.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>

#include "base_int.h"
#include "vyrbase.h"

namespace {

struct State {
    char tz_str[7] = "Z";           // suffix after the time in labels: " " and a name
    int tz_off = 0;                 // seconds added to UTC for display
    int tz_pm = 0;                  // 0: 24-hour, 1: AM/PM, -1: AM/PM and UTC
    vyr::clock_fn clock = nullptr;  // null: the system clock
};
State g;

constexpr const char *kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                     "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
constexpr const char *kMonthsLc[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                       "jul", "aug", "sep", "oct", "nov", "dec"};
// Days before month m at index m-1; the year's length at index 12.
constexpr int kNumDay[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
constexpr int kNumDayLeap[13] = {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366};

constexpr std::size_t kLabelSize = 32;  // caller's label buffer
constexpr std::size_t kStampSize = 21;  // caller's time-stamp buffer
constexpr std::size_t kZoneNameLen = 4;

bool is_missing(int32_t v) { return v == VYR_MISSING; }

Date missing_date() {
    return Date{VYR_MISSING, VYR_MISSING, VYR_MISSING, VYR_MISSING,
                VYR_MISSING, VYR_MISSING, VYR_MISSING, VYR_MISSING};
}

const int *day_table(int year) { return DATE_is_leap(year) ? kNumDayLeap : kNumDay; }

// Two-digit years: 0-49 are this century, 50-199 the last one.
int32_t widen_year(int32_t year) {
    if (year < 50) year += 2000;
    if (year < 200) year += 1900;
    return year;
}

int32_t in_range_or(int32_t v, int32_t lo, int32_t hi, int32_t fallback) {
    return (v < lo || v > hi) ? fallback : v;
}

// ---------------------------------------------------------------------------
// Seconds and breakdown

void normalise(Date &d) {
    if (d.year < 0) d.year = 1980;
    d.year = widen_year(d.year);
    d.month = in_range_or(d.month, 1, 12, 1);
    d.day = in_range_or(d.day, 0, 31, 1);  // day 0: last day of the month before
    d.hour = in_range_or(d.hour, 0, 23, 0);
    d.min = in_range_or(d.min, 0, 59, 0);
    d.sec = in_range_or(d.sec, 0, 59, 0);
}

// Seconds of a normalised record. Only the every-fourth-year rule enters,
// which agrees with the calendar over the second counts' range 1902-2038.
int64_t seconds_of(const Date &d) {
    const int64_t year = d.year;
    int64_t leap_days = (year - 1900) / 4 - 17;
    if (d.month <= 2 && year % 4 == 0) --leap_days;  // this year's Feb 29 is still ahead
    return int64_t{d.sec} + 60 * int64_t{d.min} + 3600 * int64_t{d.hour} +
           86400 * (int64_t{d.day} - 1) + 86400 * int64_t{kNumDay[d.month - 1]} +
           86400 * leap_days + 31536000 * (year - 1970);
}

// UTC breakdown into all eight fields. False, with every field missing, when
// the seconds lie beyond what the platform's calendar can hold.
bool breakdown(int64_t secs, Date &d) {
    d = missing_date();
    if constexpr (sizeof(std::time_t) < sizeof(int64_t)) {
        if (secs < std::numeric_limits<std::time_t>::min() ||
            secs > std::numeric_limits<std::time_t>::max())
            return false;
    }
    const std::time_t t = static_cast<std::time_t>(secs);
    std::tm tm{};
    if (gmtime_r(&t, &tm) == nullptr) return false;
    const int64_t year = int64_t{tm.tm_year} + 1900;
    if (year > INT32_MAX || year < INT32_MIN) return false;
    d.year = static_cast<int32_t>(year);
    d.month = tm.tm_mon + 1;
    d.day = tm.tm_mday;
    d.jday = tm.tm_yday + 1;
    d.wday = tm.tm_wday;
    d.hour = tm.tm_hour;
    d.min = tm.tm_min;
    d.sec = tm.tm_sec;
    return true;
}

// ---------------------------------------------------------------------------
// Display time zone

// Seconds of an hours text ("-6", "5.5"); 0 when it holds no number or one
// whose offset cannot be held.
int offset_of(const char *hours) {
    char *end = nullptr;
    const double h = std::strtod(hours, &end);
    if (end == hours || !std::isfinite(h)) return 0;
    double secs = h * 3600.0;
    // Decimal hours such as 5.1 are not exact in binary; snap a product that
    // is a hair below a whole second so truncation keeps that second.
    const double whole = std::nearbyint(secs);
    if (std::fabs(secs - whole) < 1e-6) secs = whole;
    secs = std::trunc(secs);
    if (!(secs >= INT32_MIN && secs <= INT32_MAX)) return 0;
    return static_cast<int>(secs);
}

// [sign]NAME:HOURS. NAME is at most 4 characters other than ":"; HOURS are
// read only when ":" directly follows the name.
void set_time_zone(const char *s) {
    if (*s == '-') {
        g.tz_pm = -1;
        ++s;
    } else if (*s == '+') {
        g.tz_pm = 1;
        ++s;
    }
    std::size_t n = 0;
    while (n < kZoneNameLen && s[n] != '\0' && s[n] != ':') ++n;
    g.tz_str[0] = ' ';
    std::memcpy(g.tz_str + 1, s, n);
    g.tz_str[n + 1] = '\0';
    g.tz_off = s[n] == ':' ? offset_of(s + n + 1) : 0;
}

// ---------------------------------------------------------------------------
// Labels

// The time part of a label: the hour, or the hour and minute, in the display
// clock style; utc_* is the same instant in UTC for the bracketed form.
void time_part(char *out, std::size_t cap, bool with_min, int hour, int min, int utc_hour,
               int utc_min) {
    if (g.tz_pm == 0) {
        if (with_min)
            std::snprintf(out, cap, "%2.2d%2.2d%s", hour, min, g.tz_str);
        else
            std::snprintf(out, cap, "%2.2d%s", hour, g.tz_str);
        return;
    }
    const int h12 = hour % 12 == 0 ? 12 : hour % 12;
    const char *half = hour < 12 ? "AM" : "PM";
    char utc[24] = "";
    if (g.tz_pm < 0) {
        if (with_min)
            std::snprintf(utc, sizeof utc, " [%2.2d%2.2dZ]", utc_hour, utc_min);
        else
            std::snprintf(utc, sizeof utc, " [%2.2dZ]", utc_hour);
    }
    if (with_min)
        std::snprintf(out, cap, "%d:%2.2d %s%s%s", h12, min, half, g.tz_str, utc);
    else
        std::snprintf(out, cap, "%d %s%s%s", h12, half, g.tz_str, utc);
}

// Writes the label of date into out (cap bytes). With a zone offset the
// caller's record is normalised, as DATE_num_sec does.
void make_label(Date &date, char *out, std::size_t cap) {
    Date d = date;
    Date utc = date;
    if (g.tz_off != 0) {
        const int64_t secs = DATE_num_sec(&date);
        breakdown(secs, utc);
        breakdown(secs + g.tz_off, d);
    }
    const int yy = (d.year < 0 ? 1980 : d.year) % 100;
    if (is_missing(d.month)) {
        std::snprintf(out, cap, "%2.2d", yy);
        return;
    }
    const char *name = kMonths[in_range_or(d.month, 1, 12, 1) - 1];
    if (is_missing(d.day)) {
        std::snprintf(out, cap, "%3s %2.2d", name, yy);
        return;
    }
    const int day = in_range_or(d.day, 0, 31, 1);
    if (is_missing(d.hour)) {
        std::snprintf(out, cap, "%2d %3s %2.2d", day, name, yy);
        return;
    }
    const bool with_min = !is_missing(d.min);
    const int hour = in_range_or(d.hour, 0, 23, 0);
    const int min = with_min ? in_range_or(d.min, 0, 59, 0) : 0;
    int utc_hour = hour;
    int utc_min = min;
    if (g.tz_off != 0) {
        utc_hour = in_range_or(utc.hour, 0, 23, 0);
        utc_min = in_range_or(utc.min, 0, 59, 0);
    }
    char t[64];
    time_part(t, sizeof t, with_min, hour, min, utc_hour, utc_min);
    std::snprintf(out, cap, "%s %2d %3s %2.2d", t, day, name, yy);
}

// ---------------------------------------------------------------------------
// Reading labels back

struct LabelFields {
    int hour = VYR_MISSING, min = VYR_MISSING, sec = VYR_MISSING;
    int day = VYR_MISSING, month = VYR_MISSING, year = VYR_MISSING;
    char name[4] = "";
};

// The forms tried in order; the first that matches completely wins, and a
// form that fails halfway leaves nothing behind.
bool match_label(const char *s, LabelFields &f) {
    const std::size_t len = std::strlen(s);
    int a = 0, b = 0, c = 0, d = 0, e = 0;
    char name[4] = "";
    if (std::sscanf(s, "%2dZ %2d %3s %2d", &a, &b, name, &c) == 4) {
        f.hour = a, f.day = b, f.year = c;
        std::memcpy(f.name, name, sizeof name);
        return true;
    }
    if (len >= 15) {
        const char *p = s + len - 15;
        if (std::sscanf(p, "%2d%2dZ %2d %3s %2d", &a, &b, &c, name, &d) == 5) {
            f.hour = a, f.min = b, f.day = c, f.year = d;
            std::memcpy(f.name, name, sizeof name);
            // A blank in front means a one-digit hour: " 935Z" is 9:35, not 93:5.
            if (*p == ' ') {
                int h = 0, m = 0;
                const int n = std::sscanf(p, "%1d%2d", &h, &m);
                if (n >= 1) f.hour = h;
                if (n == 2) f.min = m;
            }
            return true;
        }
    }
    if (len >= 19) {
        const char *p = s + len - 19;
        if (std::sscanf(p, "%2d:%2d:%2dZ %2d %3s %2d", &a, &b, &c, &d, name, &e) == 6) {
            f.hour = a, f.min = b, f.sec = c, f.day = d, f.year = e;
            std::memcpy(f.name, name, sizeof name);
            return true;
        }
    }
    if (len >= 13) {
        const char *p = s + len - 13;
        if (std::sscanf(p, "%2dZ %2d %3s %2d", &a, &b, name, &c) == 4) {
            f.hour = a, f.day = b, f.year = c;
            std::memcpy(f.name, name, sizeof name);
            return true;
        }
    }
    // Four bare numbers: year, month, day, and the year again. The month
    // comes from the (empty) name like every other form, so it reads as 0.
    if (std::sscanf(s, "%2d %2d %2d %2d", &a, &b, &c, &d) == 4) {
        f.month = b, f.day = c, f.year = d;
        return true;
    }
    return false;
}

void decode_label(const char *s, Date &date) {
    date = missing_date();
    LabelFields f;
    // Without a match every field stays missing; a missing year is not widened.
    if (s == nullptr || !match_label(s, f)) return;
    date.year = widen_year(f.year);
    date.month = DATE_decode_month(f.name);
    date.day = f.day;
    date.hour = f.hour;
    date.min = f.min;
    date.sec = f.sec;
}

}  // namespace

namespace vyr {

void set_clock(clock_fn fn) { g.clock = fn; }

int64_t clock_now() {
    if (g.clock != nullptr) return g.clock();
    return static_cast<int64_t>(std::time(nullptr));
}

void reset_time_zone() {
    std::memcpy(g.tz_str, "Z", 2);
    g.tz_off = 0;
    g.tz_pm = 0;
}

}  // namespace vyr

int64_t DATE_num_sec(Date *date) {
    if (date == nullptr) return 0;
    normalise(*date);
    return seconds_of(*date);
}

int DATE_is_leap(int year) {
    return (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) ? 1 : 0;
}

namespace vyr {

int days_in_month(int year, int month) {
    if (month < 1 || month > 12) return 0;
    const int *t = day_table(year);
    return t[month] - t[month - 1];
}

}  // namespace vyr

int64_t DATE_get_time(int64_t *secs) {
    const int64_t now = vyr::clock_now();
    if (secs != nullptr) *secs = now;
    return now;
}

int DATE_get_gmdate(const int64_t *secs, Date *date) {
    if (date == nullptr) return 0;
    breakdown(secs != nullptr ? *secs : vyr::clock_now(), *date);
    return 0;
}

int DATE_julian_monday(int year, int julian, int *month, int *day) {
    const int *table = day_table(year);
    if (julian < 1) julian = 1;
    if (julian > table[12]) julian = table[12];
    int m = 1;
    while (m < 12 && table[m] < julian) ++m;
    if (month != nullptr) *month = m;
    if (day != nullptr) *day = julian - table[m - 1];
    return 0;
}

int DATE_monday_julian(int year, int month, int day, int *julian) {
    if (month < 1) month = 1;
    if (month > 12) month = 12;
    // The day is not checked against the month, but the sum must not overflow.
    int64_t j = int64_t{day_table(year)[month - 1]} + day;
    if (j > INT_MAX) j = INT_MAX;
    if (julian != nullptr) *julian = static_cast<int>(j);
    return 0;
}

const char *DATE_month_lower(int month) {
    return (month >= 1 && month <= 12) ? kMonthsLc[month - 1] : "";
}

int DATE_decode_month(const char *str) {
    if (str == nullptr || str[0] == '\0') return 0;
    const char c0 = str[0];
    switch (c0) {
        case 'F':
        case 'f': return 2;
        case 'S':
        case 's': return 9;
        case 'O':
        case 'o': return 10;
        case 'N':
        case 'n': return 11;
        case 'D':
        case 'd': return 12;
        default: break;
    }
    const char c1 = str[1];
    if ((c0 == 'J' && c1 == 'A') || (c0 == 'j' && c1 == 'a')) return 1;
    if (c1 == '\0') return 0;
    // The third letter decides, in the case of the first.
    const char c2 = str[2];
    struct Pair {
        char first, third;
        int month;
    };
    constexpr Pair kPairs[] = {{'J', 'N', 6}, {'J', 'L', 7}, {'M', 'R', 3},
                               {'M', 'Y', 5}, {'A', 'R', 4}, {'A', 'G', 8}};
    for (const auto &p : kPairs) {
        if (c0 == p.first && c2 == p.third) return p.month;
        if (c0 == p.first + ('a' - 'A') && c2 == p.third + ('a' - 'A')) return p.month;
    }
    return 0;
}

int DATE_set_TZ(const char *str) {
    if (str != nullptr) set_time_zone(str);
    return 0;
}

int DATE_get_current_str(char *str) {
    if (str == nullptr) return 0;
    Date d;
    breakdown(vyr::clock_now(), d);
    const char *name = (d.month >= 1 && d.month <= 12) ? kMonths[d.month - 1] : "";
    char buf[96];
    std::snprintf(buf, sizeof buf, "%2.2d %s %2.2d  %2.2d:%2.2d:%2.2dZ", d.year % 100, name, d.day,
                  d.hour, d.min, d.sec);
    vyr::copy_text(str, kStampSize, buf, vyr::Overflow::Cut);
    return 0;
}

int DATE_make_label(Date *date, char *str) {
    if (str == nullptr) return -1;
    if (date == nullptr) {
        str[0] = '\0';
        return -1;
    }
    char buf[128];
    make_label(*date, buf, sizeof buf);
    vyr::copy_text(str, kLabelSize, buf, vyr::Overflow::Cut);
    return 0;
}

int DATE_decode_label(const char *str, Date *date) {
    if (date != nullptr) decode_label(str, *date);
    return 0;
}
