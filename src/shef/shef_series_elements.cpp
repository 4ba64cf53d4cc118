// shef_series_elements.cpp - the date/data-type elements of SHEF messages
// (times, relative dates, creation dates, units, qualifiers, durations and
// intervals), identifiers, parameter codes and value words.
#include <cstring>
#include <string>

#include "shef_series_impl.h"

namespace vyr::series::detail {

const int64_t kFirstTime = days_from_civil(1, 1, 1) * 86400;
const int64_t kLastTime = days_from_civil(10000, 1, 1) * 86400 - 1;

namespace {

constexpr struct IdChars {
    bool v[256];
    constexpr IdChars() : v{} {
        for (int c = 0; c < 256; ++c) v[c] = vyr::is_upper(c) || vyr::is_digit(c) || c == '_';
    }
} kIdChar;

}  // namespace

bool valid_id(std::string_view id) {
    if (id.size() < 3 || id.size() > 8) return false;
    for (char c : id)
        if (!kIdChar.v[static_cast<unsigned char>(c)]) return false;
    return true;
}

std::size_t joined_element(std::string_view token) {
    for (std::size_t d = 3; d + 3 <= token.size() && d <= 8; ++d) {
        if (token[d] == 'D' && std::strchr("HDMYTJ", token[d + 1]) != nullptr && token[d + 1] &&
            vyr::is_digit(token[d + 2]) && valid_id(token.substr(0, d)))
            return d;
    }
    return 0;
}

namespace {

// DR and DI: unit, optional sign, one or two digits. An interval of zero
// would put a whole series at one time.
bool parse_step(std::string_view w, const char *units, bool zero_ok, Step &s) {
    if (w.size() < 4 || w[2] == '\0' || std::strchr(units, w[2]) == nullptr) return false;
    std::string_view rest = w.substr(3);
    if (rest[0] == '+' || rest[0] == '-') rest.remove_prefix(1);
    if (rest.empty() || rest.size() > 2 || !all_digits(rest)) return false;
    s.unit = w[2];
    return read_int(w.substr(3), -99, 99, s.amount) && (zero_ok || s.amount != 0);
}

// Digit pairs from pos on, for the fields from first on (1 month, 2 day,
// 3 hour, 4 minute, 5 second), each within its range.
bool pairs_in_range(std::string_view d, std::size_t pos, int first) {
    static constexpr int kMin[] = {0, 1, 1, 0, 0, 0}, kMax[] = {0, 12, 31, 24, 59, 59};
    if (!all_digits(d) || (d.size() - pos) % 2 != 0) return false;
    for (int f = first; pos < d.size(); pos += 2, ++f) {
        if (f > 5) return false;
        const int v = (d[pos] - '0') * 10 + (d[pos + 1] - '0');
        if (v < kMin[f] || v > kMax[f]) return false;
    }
    return true;
}

// DV: a unit and up to two digits, or Z.
bool parse_duration(std::string_view d, Elem &e) {
    if (d == "Z") {
        e.value = kDefaultDv;
        return true;
    }
    static constexpr const char *kUnits = "SNHDMY";
    static constexpr int kBase[] = {7000, 0, 1000, 2000, 3000, 4000};
    const char *u = d.empty() || d[0] == '\0' ? nullptr : std::strchr(kUnits, d[0]);
    int n;
    if (u == nullptr || d.size() < 2 || d.size() > 3 || !all_digits(d.substr(1)) ||
        !read_int(d.substr(1), 0, 99, n))
        return false;
    e.letter = d[0];
    e.value = kBase[u - kUnits] + n;
    return true;
}

// Where the pairs of digits of a time element start and which field the
// first names (1 month, 2 day, 3 hour, 4 minute, 5 second, 6 none); the
// year fields are set first for DY and DT, and named tells whether the
// element wrote a year.
void time_fields(Civil &out, const Elem &e, const RefDate &ref, int &first, std::size_t &pos,
                 bool &named) {
    const std::string_view d = e.digits;
    pos = 0;
    named = false;
    switch (e.kind) {
        case 'S': first = 5; break;
        case 'N': first = 4; break;
        case 'H': first = 3; break;
        case 'D': first = 2; break;
        case 'M': first = 1; break;
        case 'Y':
            out.year = infer_century(ref.year, digits_value(d, 0, 2));
            first = 1;
            pos = 2;
            named = true;
            break;
        default:  // T: the century alone keeps the year of the century
            if (d.size() == 2) {
                out.year = digits_value(d, 0, 2) * 100 + ((out.year % 100) + 100) % 100;
                first = 6;
                pos = 2;
            } else {
                out.year = digits_value(d, 0, 4);
                first = 1;
                pos = 4;
                named = true;
            }
            break;
    }
}

// DJ: a day of the year, after an optional year.
bool merge_julian(Civil &out, const Elem &e, const RefDate &ref, bool &named) {
    const std::string_view d = e.digits;
    int year = out.year;
    int doy;
    named = d.size() > 3;
    if (d.size() == 3) {
        doy = digits_value(d, 0, 3);
    } else if (d.size() == 5) {
        year = infer_century(ref.year, digits_value(d, 0, 2));
        doy = digits_value(d, 2, 3);
    } else {
        year = digits_value(d, 0, 4);
        doy = digits_value(d, 4, 3);
    }
    if (doy < 1 || doy > (DATE_is_leap(year) ? 366 : 365)) return false;
    const Civil c = civil_of((days_from_civil(year, 1, 1) + doy - 1) * int64_t{86400});
    out.year = c.year;
    out.month = c.month;
    out.day = c.day;
    return true;
}

}  // namespace

bool parse_element(const Parm &parm, std::string_view w, Elem &e) {
    e = Elem{};
    e.kind = w[1];
    const std::string_view d = w.substr(2);
    const std::size_t n = d.size();
    e.digits = d;
    switch (e.kind) {
        case 'S': return n == 2 && pairs_in_range(d, 0, 5);
        case 'N': return n >= 2 && pairs_in_range(d, 0, 4);
        case 'H': return n >= 2 && pairs_in_range(d, 0, 3);
        case 'D': return n >= 2 && pairs_in_range(d, 0, 2);
        case 'M': return n >= 2 && pairs_in_range(d, 0, 1);
        case 'Y': return n >= 2 && pairs_in_range(d, 2, 1);
        case 'T': return n >= 2 && (n == 2 ? all_digits(d) : pairs_in_range(d, 4, 1));
        case 'J': return (n == 3 || n == 5 || n == 7) && all_digits(d);
        case 'C': return (n == 4 || n == 6 || n == 8 || n == 10 || n == 12) && all_digits(d);
        case 'R': return parse_step(w, "SNHDMEY", true, e.step);
        case 'I': return parse_step(w, "SNHDMEY", false, e.step);
        case 'U': e.letter = n == 1 ? d[0] : 0; return e.letter == 'E' || e.letter == 'S';
        case 'Q':
            e.letter = n == 1 ? d[0] : 0;
            return n == 1 && (d[0] == 'Z' || parm.qualifier_valid(d[0]));
        case 'V': return parse_duration(d, e);
        default: return false;
    }
}

Merge merge_time(State &s, const Elem &e, const RefDate &ref) {
    Civil out = s.when;
    bool year_named = false, hour_named = false;
    if (e.kind == 'J') {
        if (!merge_julian(out, e, ref, year_named)) return Merge::BadTime;
    } else {
        const std::string_view d = e.digits;
        int field = 0;
        std::size_t pos = 0;
        time_fields(out, e, ref, field, pos, year_named);
        const int first = field;
        for (; pos + 2 <= d.size() && field <= 5; pos += 2, ++field) {
            const int v = digits_value(d, pos, 2);
            switch (field) {
                case 1: out.month = v; break;
                case 2: out.day = v; break;
                case 3: out.hour = v; break;
                case 4: out.min = v; break;
                case 5: out.sec = v; break;
            }
        }
        const int last = field - 1;
        hour_named = first <= 3 && last >= 3;
        if (last >= 3) {
            if (last < 4) out.min = 0;
            if (last < 5) out.sec = 0;
        }
    }
    if ((year_named || e.kind == 'T') && !year_in_range(out.year)) return Merge::BadYear;
    // On the default hour 24 (no hour given), minutes and seconds run into
    // the next day.
    Civil check = out;
    if (!hour_named && !s.hour_given && check.hour == 24) check.hour = 0;
    if (!valid_civil(check)) return Merge::BadTime;
    s.when = out;
    s.when_known = false;
    if (hour_named) s.hour_given = true;
    if (year_named) s.year_inferred = false;
    return Merge::Ok;
}

bool apply_hour(State &s, std::string_view w) {
    if (w.size() != 4 || w[0] != 'D' || w[1] != 'H' || !vyr::is_digit(w[2]) ||
        !vyr::is_digit(w[3]))
        return false;
    const int hour = (w[2] - '0') * 10 + (w[3] - '0');
    if (hour > 24) return false;
    s.when.hour = hour;
    s.when.min = s.when.sec = 0;
    s.when_known = false;
    s.hour_given = true;
    s.rel = Step{};
    return true;
}

Civil normalised(Civil t) {
    if (t.hour == 24) {
        const Civil next = civil_of((days_from_civil(t.year, t.month, t.day) + 1) * 86400);
        t.year = next.year;
        t.month = next.month;
        t.day = next.day;
        t.hour = 0;
    }
    return t;
}

std::string civil_text(const Civil &t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.min, t.sec);
    return buf;
}

}  // namespace vyr::series::detail

namespace vyr::series {

using detail::digits_value;
using detail::quoted;

// The code of a text, in the cache (valid until the next look-up), or null
// with why set.
const Code *Decoder::Impl::code_ref(std::string_view text, std::string &why) {
    if (const Code *c = cached_code(text)) return c;
    const std::size_t n = text.size();
    if (n < 2 || n > 7) return resolve_code(parm, text, code_scratch, why) ? &code_scratch : nullptr;
    const uint64_t key = code_key(text);
    CachedCode *const way = code_cache[code_bucket(key, n)];
    // The newest code goes first; the one it displaces stays second.
    way[1] = way[0];
    if (!resolve_code(parm, text, way[0].code, why)) {
        way[0].len = 0;  // what resolve_code left there is no code
        return nullptr;
    }
    way[0].key = key;
    way[0].len = n;
    return &way[0].code;
}

bool Decoder::Impl::code_of(std::string_view text, Code &code, std::string &why) {
    const Code *c = code_ref(text, why);
    if (c != nullptr) code = *c;
    return c != nullptr;
}

// Reads an element word; false with the error told, cost saying what the
// error costs (after " for " and id when an id is given). A series interval
// (DI) belongs to .E messages alone. The message is only made when needed.
bool Decoder::Impl::element(std::string_view w, Elem &e, std::string_view cost, std::string_view id,
                            bool interval_ok) {
    if (detail::parse_element(parm, w, e) && (interval_ok || e.kind != 'I')) return true;
    std::string text = "bad date/data-type element " + quoted(w);
    if (!id.empty()) text.append(" for ").append(id);
    error(text.append(cost));
    return false;
}

// Merges a time element into a state; false with the error told (in a .B
// body, for the parameter code of station id).
bool Decoder::Impl::merge(State &s, const Elem &e, const Code *code, std::string_view id) {
    const detail::Merge m = detail::merge_time(s, e, ref);
    if (m == detail::Merge::Ok) return true;
    std::string text(1, 'D');
    text.push_back(e.kind);
    text.append(e.digits);
    if (m == detail::Merge::BadYear)
        error("date/time element " + text + " names a year outside 1753 to 2199");
    else if (code == nullptr)
        error("date/time element gives no valid time: " + text);
    else
        error("date/time element " + text + " gives no valid time for " + std::string(code->pe, 2) +
              " of " + std::string(id));
    return false;
}

// Applies an element other than DI to a state. False with the error told.
bool Decoder::Impl::apply(State &s, const Elem &e) {
    if (detail::is_time_kind(e.kind)) {
        if (!merge(s, e, nullptr, {})) return false;
        s.rel = Step{};  // an explicit time ends the relative offset
        return true;
    }
    switch (e.kind) {
        case 'R': s.rel = e.step; return true;
        case 'C': return creation(e, s);
        case 'U': s.si = e.letter == 'S'; return true;
        case 'Q': s.dq = e.letter == 'Z' ? 0 : e.letter; return true;
        case 'V': s.dv = e.value; return true;
        default: return false;
    }
}

// The creation date (DC), read in the message's zone. Its year and century
// are found as the message date's are: against the reference date.
// Without an hour it takes the default hour of the zone.
bool Decoder::Impl::creation(const Elem &e, State &s) {
    const std::string_view d = e.digits;
    const std::size_t n = d.size();
    Civil c{0, 0, 0, 0, 0, 0};
    std::size_t pos = 0;
    int written_year = 0;
    if (n >= 10) {
        pos = n - 8;
        c.year = n == 12 ? digits_value(d, 0, 4) : infer_century(ref.year, digits_value(d, 0, 2));
        written_year = c.year;
        if (!detail::year_in_range(c.year)) {
            error("creation date element DC" + std::string(d) +
                  " names a year outside 1753 to 2199");
            return false;
        }
    }
    c.month = digits_value(d, pos, 2);
    c.day = digits_value(d, pos + 2, 2);
    if (n < 10) c.year = c.month >= 1 && c.month <= 12 ? infer_year(ref, c.month, c.day) : ref.year;
    const Zone &zone = msg.zone;
    const bool utc_zone = zone.tzname == nullptr && zone.offset == 0 && zone.code[1] == '\0';
    c.hour = n >= 6 ? digits_value(d, pos + 4, 2) : (utc_zone ? 12 : 24);
    c.min = n >= 8 ? digits_value(d, pos + 6, 2) : 0;
    int64_t utc;
    if (!valid_civil(c)) {
        error("creation date element gives no valid time: DC" + std::string(d));
        return false;
    }
    if (!utc_of(c, utc)) return false;
    s.has_dc = true;
    s.dc = utc;
    s.dc_year = written_year;
    return true;
}

// Checks the text of a value, places it in time and hands it out. False
// when the text is no value.
bool Decoder::Impl::value_word(std::string_view sta, const Code &code, const State &s,
                               const Word &w, Step step, int64_t k) {
    ValueText v;
    if (!parse_value(w.text, v)) {
        error("bad value " + quoted(w.text) + " for " + std::string(code.pe, 2));
        return false;
    }
    value_parsed(sta, code, s, w, v, step, k);
    return true;
}


}  // namespace vyr::series
