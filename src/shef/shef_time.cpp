// shef_time.cpp - calendar arithmetic, year inference and the time zones of
// SHEF messages.
//
// One-letter zones follow the civil time of their region. Their offsets
// come from the system's zone database through the C library: TZ is set
// for the moment of a lookup and put back as it was. Lookups are cached per
// local day, so only the two days of a year that hold a clock change pay
// for the exact search.
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <unordered_map>

#include "base_int.h"
#include "shef_series.h"
#include "vyrbase.h"

namespace {

// Local days whose offset is known: key zone index and day, value the
// offset in seconds, or kChanging for a day with a clock change.
constexpr int kChanging = 1 << 30;
constexpr std::size_t kCacheMax = 1 << 14;

struct State {
    std::unordered_map<int64_t, int> day_offset;
    int data_state[16] = {};  // per local zone: 0 unknown, 1 present, -1 absent
};
State g;

struct ZoneRow {
    const char *code;
    int offset;  // seconds east of UTC
    const char *tzname;
};

// The S and D forms are fixed all year; Y follows the modern tables (the
// Yukon on Pacific offsets) and HD stays on Hawaii's standard time, as it
// has no daylight time.
constexpr ZoneRow kZones[] = {
    {"Z", 0, nullptr},
    {"NS", -12600, nullptr},
    {"ND", -9000, nullptr},
    {"AS", -14400, nullptr},
    {"AD", -10800, nullptr},
    {"ES", -18000, nullptr},
    {"ED", -14400, nullptr},
    {"CS", -21600, nullptr},
    {"CD", -18000, nullptr},
    {"MS", -25200, nullptr},
    {"MD", -21600, nullptr},
    {"PS", -28800, nullptr},
    {"PD", -25200, nullptr},
    {"YS", -28800, nullptr},
    {"YD", -25200, nullptr},
    {"LS", -32400, nullptr},
    {"LD", -28800, nullptr},
    {"HS", -36000, nullptr},
    {"HD", -36000, nullptr},
    {"BS", -39600, nullptr},
    {"BD", -36000, nullptr},
    {"N", 0, "America/St_Johns"},
    {"A", 0, "America/Halifax"},
    {"E", 0, "America/New_York"},
    {"C", 0, "America/Chicago"},
    {"M", 0, "America/Denver"},
    {"P", 0, "America/Los_Angeles"},
    {"Y", 0, "America/Whitehorse"},
    {"L", 0, "America/Anchorage"},
    {"H", 0, "Pacific/Honolulu"},
    {"B", 0, "Pacific/Midway"},
    {"J", 0, "Asia/Shanghai"},
};
constexpr int kFirstLocal = 21;
static_assert(sizeof kZones / sizeof kZones[0] - kFirstLocal <= 16);

int local_index(const char *tzname) {
    for (int i = kFirstLocal; i < static_cast<int>(sizeof kZones / sizeof kZones[0]); ++i)
        if (kZones[i].tzname == tzname) return i - kFirstLocal;
    return -1;
}

// TZ set to one zone while it lives; the process's own TZ comes back after.
class TzScope {
  public:
    explicit TzScope(const char *tzname) {
        const char *old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TZ", tzname, 1);
        tzset();
    }
    ~TzScope() {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    TzScope(const TzScope &) = delete;
    TzScope &operator=(const TzScope &) = delete;

  private:
    bool had_ = false;
    std::string old_;
};

// Offset east of UTC at a UTC instant, under the TzScope in force.
int offset_at(int64_t t) {
    const time_t tt = static_cast<time_t>(t);
    struct tm tm {};
    if (localtime_r(&tt, &tm) == nullptr) return 0;
    return static_cast<int>(tm.tm_gmtoff);
}

// The library falls back to UTC, without a word, for a zone it cannot
// find: so the file is looked for first.
bool have_zone_data(const char *tzname, int idx) {
    if (g.data_state[idx] == 0) {
        const char *dir = std::getenv("TZDIR");
        std::string path = (dir != nullptr && *dir != '\0') ? dir : "/usr/share/zoneinfo";
        path += '/';
        path += tzname;
        g.data_state[idx] = access(path.c_str(), R_OK) == 0 ? 1 : -1;
    }
    return g.data_state[idx] > 0;
}

// The exact search for a wall time L (its seconds read as UTC): an offset
// o fits when the instant L - o shows offset o. Both offsets around L are
// tried; two fits are a repeated hour (read as daylight time), none a
// skipped one.
vyr::series::Fit exact_fit(int64_t wall, int64_t &utc) {
    using vyr::series::Fit;
    const int before = offset_at(wall - 86400);
    const int after = offset_at(wall + 86400);
    const bool fits_before = offset_at(wall - before) == before;
    const bool fits_after = after != before && offset_at(wall - after) == after;
    if (fits_before && fits_after) {
        utc = wall - (before > after ? before : after);  // the earlier instant
        return Fit::Ambiguous;
    }
    // The moment of the change written in the old offset (02:00:00 on the
    // day of the change) is read in it: as standard time in the spring, as
    // daylight time in the fall, where all of 01:00 to 02:00 is daylight.
    const int64_t t = wall - before;
    if (offset_at(t - 1) == before && offset_at(t) != before) {
        utc = t;
        return before > after ? Fit::Ambiguous : Fit::Exact;
    }
    if (fits_before || fits_after) {
        utc = wall - (fits_before ? before : after);
        return Fit::Exact;
    }
    return Fit::Gap;
}

}  // namespace

namespace vyr::series {

// ---------------------------------------------------------------------------
// Calendar

int days_in_month(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && DATE_is_leap(year) ? 29 : kDays[month - 1];
}

int64_t days_from_civil(int year, int month, int day) {
    const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t mp = (month + 9) % 12;
    const int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int64_t seconds_of(const Civil &t) {
    return days_from_civil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.min * 60 + t.sec;
}

Civil civil_of(int64_t secs) {
    int64_t days = secs / 86400;
    int64_t rem = secs % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    Civil c;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = static_cast<int>(yoe + era * 400 + (c.month <= 2 ? 1 : 0));
    c.hour = static_cast<int>(rem / 3600);
    c.min = static_cast<int>(rem / 60 % 60);
    c.sec = static_cast<int>(rem % 60);
    return c;
}

bool valid_civil(const Civil &t) {
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > days_in_month(t.year, t.month))
        return false;
    if (t.hour < 0 || t.hour > 24 || t.min < 0 || t.min > 59 || t.sec < 0 || t.sec > 59)
        return false;
    return t.hour < 24 || (t.min == 0 && t.sec == 0);
}

// ---------------------------------------------------------------------------
// Years

int infer_year(const RefDate &ref, int month, int day) {
    const int dm = ref.month - month;
    if (dm > 6 || (dm == 6 && ref.day > day)) return ref.year + 1;
    if (dm < -6 || (dm == -6 && ref.day < day)) return ref.year - 1;
    return ref.year;
}

int infer_century(int ref_year, int yy) {
    const int top = ref_year + 10;
    int r = (top - yy) % 100;
    if (r < 0) r += 100;
    return top - r;
}

// ---------------------------------------------------------------------------
// Calendar steps

int unit_seconds(char unit) {
    switch (unit) {
        case 'S': return 1;
        case 'N': return 60;
        case 'H': return 3600;
        default: return 0;
    }
}

bool shift_calendar(Civil &t, char unit, int64_t n, const char **why) {
    static const char *dummy;
    if (why == nullptr) why = &dummy;
    // Far beyond any date a message can name: keeps the sums below in range.
    if (n > 1000000 || n < -1000000) {
        *why = "time step out of range";
        return false;
    }
    if (unit == 'D') {
        const Civil moved =
            civil_of((days_from_civil(t.year, t.month, t.day) + n) * int64_t{86400});
        t.year = moved.year;
        t.month = moved.month;
        t.day = moved.day;
        return true;
    }
    if (unit != 'M' && unit != 'Y' && unit != 'E') {
        *why = "unknown time unit";
        return false;
    }
    const bool month_end = t.day == days_in_month(t.year, t.month);
    if (unit == 'E' && !month_end) {
        *why = "a month-end step needs a month's last day";
        return false;
    }
    const int64_t months = unit == 'Y' ? n * 12 : n;
    const int64_t index = int64_t{t.year} * 12 + (t.month - 1) + months;
    int64_t year = index >= 0 ? index / 12 : -((-index + 11) / 12);
    const int month = static_cast<int>(index - year * 12) + 1;
    const int last = days_in_month(static_cast<int>(year), month);
    if (unit == 'E' || (t.day > last && month_end)) {
        t.day = last;
    } else if (t.day > last) {
        *why = "the day does not exist in the target month";
        return false;
    }
    t.year = static_cast<int>(year);
    t.month = month;
    return true;
}

// ---------------------------------------------------------------------------
// Zones

bool find_zone(std::string_view code, Zone &zone) {
    // Codes of one or two letters, compared as numbers.
    if (code.empty() || code.size() > 2 || (code.size() == 2 && code[1] == '\0')) return false;
    const unsigned key = static_cast<unsigned char>(code[0]) |
                         (code.size() == 2 ? static_cast<unsigned char>(code[1]) << 8 : 0u);
    for (const ZoneRow &row : kZones) {
        const unsigned row_key =
            static_cast<unsigned char>(row.code[0]) | static_cast<unsigned char>(row.code[1]) << 8;
        if (key == row_key) {
            zone.code[0] = row.code[0];
            zone.code[1] = row.code[1];
            zone.code[2] = '\0';
            zone.offset = row.offset;
            zone.tzname = row.tzname;
            return true;
        }
    }
    return false;
}

Zone utc_zone() { return Zone{{'Z', '\0', '\0'}, 0, nullptr}; }

Fit to_utc(const Zone &zone, const Civil &local, int64_t &utc) {
    const int64_t wall = seconds_of(local);
    if (zone.tzname == nullptr) {
        utc = wall - zone.offset;
        return Fit::Exact;
    }
    const int idx = local_index(zone.tzname);
    if (idx < 0 || !have_zone_data(zone.tzname, idx)) return Fit::NoData;
    int64_t day = wall / 86400;
    if (wall % 86400 < 0) --day;
    const int64_t key = day * 16 + idx;
    auto it = g.day_offset.find(key);
    if (it == g.day_offset.end()) {
        if (g.day_offset.size() >= kCacheMax) g.day_offset.clear();
        TzScope scope(zone.tzname);
        // Offsets a day before and two days after the local day: equal
        // offsets mean no clock change in between.
        const int a = offset_at(day * 86400 - 86400);
        const int b = offset_at(day * 86400 + 2 * 86400);
        it = g.day_offset.emplace(key, a == b ? a : kChanging).first;
    }
    if (it->second != kChanging) {
        utc = wall - it->second;
        return Fit::Exact;
    }
    TzScope scope(zone.tzname);
    return exact_fit(wall, utc);
}

Civil to_local(const Zone &zone, int64_t utc) {
    if (zone.tzname == nullptr) return civil_of(utc + zone.offset);
    const int idx = local_index(zone.tzname);
    if (idx < 0 || !have_zone_data(zone.tzname, idx)) return civil_of(utc);
    TzScope scope(zone.tzname);
    return civil_of(utc + offset_at(utc));
}

void format_utc(int64_t secs, char *out) {
    const Civil c = civil_of(secs);
    auto put = [&](int pos, int width, int v) {
        for (int i = width - 1; i >= 0; --i) {
            out[pos + i] = static_cast<char>('0' + v % 10);
            v /= 10;
        }
    };
    put(0, 4, c.year);
    out[4] = '-';
    put(5, 2, c.month);
    out[7] = '-';
    put(8, 2, c.day);
    out[10] = 'T';
    put(11, 2, c.hour);
    out[13] = ':';
    put(14, 2, c.min);
    out[16] = ':';
    put(17, 2, c.sec);
    out[19] = 'Z';
    out[20] = '\0';
}

}  // namespace vyr::series
