// files_current.cpp - current expressions: the reference time, its
// alignment with the wanted file time, offsets, and the search back (or
// forward) for the newest file that has arrived. No state: see files_rules.h.
#include <algorithm>
#include <climits>
#include <string>

#include "files_int.h"
#include "files_rules.h"
#include "vyrfiles.h"
#include "vyrresrc.h"

namespace vyr::files {

namespace {

constexpr int64_t kDay = 86400, kHour = 3600, kMinute = 60;
constexpr int64_t kDefaultLimit = 500;
constexpr int64_t kMostCandidates = 9999;

// Unsigned digits from pos, saturating at INT_MAX; 0 when none.
int read_digits(std::string_view s, std::size_t &pos) {
    int64_t v = 0;
    if (pos < s.size() && vyr::is_digit(s[pos]))
        pos += vyr::read_integer(s.substr(pos), v, 0, INT_MAX, vyr::OutOfRange::Clamp);
    return static_cast<int>(v);
}

// A decimal integer as the C library reads one for "%d": blanks, a sign,
// digits. False, pos unchanged, when there are no digits.
bool scan_int(std::string_view s, std::size_t &pos, int &v) {
    std::size_t p = pos;
    while (p < s.size() && vyr::is_space(s[p])) ++p;
    bool neg = false;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) neg = s[p++] == '-';
    if (p >= s.size() || !vyr::is_digit(s[p])) return false;
    const int n = read_digits(s, p);
    v = neg ? -n : n;
    pos = p;
    return true;
}

int64_t seconds_of_digits(const DateDigits &d) {
    // Fields not given count 0: month 0 is January, day 0 the last day of
    // the month before.
    Date date{d.fields[0], d.fields[1], d.fields[2], 0, 0, d.fields[3], d.fields[4], 0};
    return DATE_num_sec(&date);
}

Date breakdown(int64_t t) {
    Date d;
    DATE_get_gmdate(&t, &d);
    return d;
}

bool fixed(int32_t v) { return v >= 0; }

}  // namespace

bool date_digits_valid(const DateDigits &d) {
    const int *f = d.fields;
    if (d.count >= 2 && (f[1] < 1 || f[1] > 12)) return false;
    if (d.count >= 3 && (f[2] < 1 || f[2] > vyr::days_in_month(f[0], f[1]))) return false;
    if (d.count >= 4 && f[3] > 23) return false;
    return d.count < 5 || f[4] <= 59;
}

Reference reference_time(std::string_view expr, const char *env, int64_t now) {
    std::size_t used = 0;
    if (!expr.empty() && expr[0] == '#') {
        const DateDigits d = read_date_digits(expr.substr(1));
        used = 1 + d.used;  // "#" and no date: the time comes from elsewhere
        if (d.count > 0 && date_digits_valid(d)) return {seconds_of_digits(d), used};
        if (d.count > 0)
            MESS_print(M_WARN, "Date not valid: %.*s\n", static_cast<int>(used), expr.data());
    }
    DateDigits d;
    if (env_date(env, d)) return {seconds_of_digits(d), used};
    return {now, used};
}

bool env_date(const char *env, DateDigits &d) {
    if (env == nullptr) return false;
    std::string_view e = env;
    if (!e.empty() && e[0] == '#') e.remove_prefix(1);
    d = read_date_digits(e);
    if (d.count > 0 && date_digits_valid(d)) return true;
    if (d.count > 0) MESS_print(M_WARN, "Date not valid: %s\n", env);
    return false;
}

int64_t align(int64_t t, const Date &set) {
    Date d = breakdown(t);
    auto recompute = [&] {
        t = DATE_num_sec(&d);
        d = breakdown(t);
    };
    if (fixed(set.month)) {
        if (d.month < set.month) --d.year;
        d.month = set.month;
        recompute();
    }
    if (fixed(set.day)) {
        if (d.day < set.day) {
            if (d.month <= 1) {
                d.month = 12;
                --d.year;
            } else {
                --d.month;
            }
        }
        d.day = set.day;
        recompute();
    }
    if (fixed(set.hour)) {
        if (d.hour < set.hour) d = breakdown(t -= kDay);
        d.hour = set.hour;
        recompute();
    }
    if (fixed(set.min)) {
        if (d.min < set.min) d = breakdown(t -= kHour);
        d.min = set.min;
        recompute();
    }
    return t;
}

Offset read_offset(std::string_view text) {
    Offset o;
    std::size_t pos = 0;
    const int first = read_digits(text, pos);
    bool hours_read = true;
    if (pos < text.size() && text[pos] == 'd') {
        // Days only when the "d" follows the number: "6la-1d" is six hours.
        o.days = first;
        ++pos;
        o.used = pos;
        hours_read = scan_int(text, pos, o.hours);
    } else {
        o.hours = first;
    }
    if (hours_read) {
        o.used = pos;
        std::size_t p = pos + 1;
        if (pos < text.size() && text[pos] == ':' && scan_int(text, p, o.minutes)) o.used = p;
    }
    o.secs = o.days * kDay + o.hours * kHour + o.minutes * kMinute;
    return o;
}

Chosen run_current(std::string_view rest, int64_t t, const Namer &name_of, const Sizer &size_of,
                   int64_t min_size) {
    std::size_t pos = 0;
    auto read_sign = [&]() -> int {
        if (pos < rest.size() && (rest[pos] == '+' || rest[pos] == '-'))
            return rest[pos++] == '+' ? 1 : -1;
        return -1;  // backwards unless told otherwise
    };
    auto digit_next = [&] { return pos < rest.size() && vyr::is_digit(rest[pos]); };
    auto left = [&] { return std::string(rest.substr(std::min(pos, rest.size()))); };

    int sign = read_sign();
    if (digit_next()) {
        const Offset o = read_offset(rest.substr(pos));
        pos += o.used;
        t += sign * o.secs;
        MESS_print(M_DEBUG, "CUR1:%d %d %d %d\n", sign, o.days, o.hours, o.minutes);
        MESS_print(M_DEBUG, "CUR1:%s %lld\n", left().c_str(), static_cast<long long>(t));
        sign = read_sign();
    }

    if (pos < rest.size() && (rest[pos] == 'l' || rest[pos] == 'L')) {
        ++pos;
        if (pos < rest.size() && (rest[pos] == 'a' || rest[pos] == 'A')) ++pos;
        int64_t limit = kDefaultLimit;
        if (pos + 1 < rest.size() && rest[pos] == '#' && vyr::is_digit(rest[pos + 1])) {
            ++pos;
            limit = std::min<int64_t>(read_digits(rest, pos), kMostCandidates);
        }
        CandidateName named;
        for (int64_t i = 0; i < limit; ++i) {
            const Date d = breakdown(t);
            MESS_print(M_DEBUG, "LATE:%d %d %d %d %d\n", d.year, d.month, d.day, d.hour, d.min);
            named = name_of(d);
            MESS_print(M_DEBUG, "LATE: %s\n", named.name.c_str());
            if (size_of(named.name) > min_size) break;
            // A pattern without a period names one file whatever the time:
            // there is nothing earlier to try.
            if (named.period == kNoPeriod) break;
            t += sign * named.period;
        }
        MESS_print(M_DEBUG, "LATEST: %s %s %lld\n", left().c_str(), named.name.c_str(),
                   static_cast<long long>(t));
        sign = read_sign();
    }

    if (digit_next()) {
        const Offset o = read_offset(rest.substr(pos));
        pos += o.used;
        t += sign * o.secs;
        MESS_print(M_DEBUG, "CUR2:%d %d %d %d\n", sign, o.days, o.hours, o.minutes);
        MESS_print(M_DEBUG, "CUR2:%lld\n", static_cast<long long>(t));
    }

    const Date d = breakdown(t);
    MESS_print(M_DEBUG, "%d %d %d %d\n", d.year, d.day, d.hour, d.min);
    return {t, name_of(d)};
}

int64_t lower_to_period(int64_t t, int64_t period) {
    if (period == kNoPeriod || period <= 0) return t;
    return t - ((t % period) + period) % period;
}

}  // namespace vyr::files
