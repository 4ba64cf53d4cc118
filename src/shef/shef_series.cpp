// shef_series.cpp - the SHEF message decoder: .A, .B and .E messages with
// their revisions and continuation lines, date/data-type elements, values
// and retained comments, one record per value.
//
// Lines are decoded as they come. A message keeps its state (explicit
// time, relative offset, creation date, units, qualifier, variable
// duration, and for .E its series position; for .B the header's
// parameters) until its last line; values go out at once.
#include "shef_series.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base_int.h"
#include "vyrbase.h"

namespace {

using namespace vyr::series;

bool quote(char c) { return c == '"' || c == '\''; }

// The limits of the four-digit years that the output can show.
const int64_t kFirstTime = days_from_civil(1, 1, 1) * 86400;
const int64_t kLastTime = days_from_civil(10000, 1, 1) * 86400 - 1;

int num(std::string_view d, std::size_t pos, std::size_t len) {
    int v = 0;
    for (std::size_t i = pos; i < pos + len; ++i) v = v * 10 + (d[i] - '0');
    return v;
}

std::string quoted(std::string_view s) {
    std::string q;
    q.reserve(s.size() + 2);
    q.append(1, '"').append(s).append(1, '"');
    return q;
}

// A relative offset (DR) or a series interval (DI): unit 0 means none.
struct Step {
    char unit = 0;
    int amount = 0;
};

// What a message carries from field to field.
struct State {
    Civil when{};  // the last explicit time, as written (wall time)
    Step rel;      // DR in force
    bool has_dc = false;
    int64_t dc = 0;  // creation time, UTC
    bool si = false;
    char dq = 0;  // default qualifier, 0 for none
    int dv = -1;  // variable duration value, -1 for none
};

// One date/data-type element.
struct Elem {
    char kind = 0;  // S N H D M Y T J (times), R C U Q V I
    std::string_view digits;
    Step step;        // R, I
    char letter = 0;  // U: E or S; Q: the qualifier; V: the unit
    int value = 0;    // V: the duration value, -1 for DVZ
};

bool is_element(std::string_view w) { return w.size() >= 2 && w[0] == 'D' && vyr::is_upper(w[1]); }
bool is_time_kind(char k) { return std::strchr("SNHDMYTJ", k) != nullptr; }

// A word of a field and the retained comment written right after it.
struct Word {
    std::string_view text;
    std::string_view comment;
};

// Characters that continue a word: all but the blank and the quotes.
constexpr struct WordChars {
    bool v[256];
    constexpr WordChars() : v{} {
        for (int c = 0; c < 256; ++c) v[c] = c != ' ' && c != '"' && c != '\'';
    }
    constexpr bool operator[](unsigned char c) const { return v[c]; }
} kWordChar;

// The words of a field, blank separated. A quote opens a retained comment
// that runs to the same quote or to the end of the field; it belongs to
// the word before it.
void split_words(std::string_view f, std::vector<Word> &out) {
    out.clear();
    std::size_t i = 0;
    const std::size_t n = f.size();
    while (i < n) {
        while (i < n && f[i] == ' ') ++i;
        if (i >= n) break;
        if (quote(f[i])) {
            const char q = f[i++];
            const std::size_t start = i;
            while (i < n && f[i] != q) ++i;
            if (!out.empty() && out.back().comment.empty())
                out.back().comment = std::string_view(f.data() + start, i - start);
            if (i < n) ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < n && kWordChar[static_cast<unsigned char>(f[i])]) ++i;
        out.push_back({std::string_view(f.data() + start, i - start), {}});
    }
}

// Calls fn(field, first, last) for each part of s between separators sep,
// until fn returns false.
template <class F>
void for_fields(std::string_view s, char sep, F fn) {
    std::size_t start = 0;
    for (bool first = true;; first = false) {
        // Fields are short: a plain loop beats a library search here.
        std::size_t end = start;
        while (end < s.size() && s[end] != sep) ++end;
        const std::string_view field(s.data() + start, end - start);
        if (end == s.size()) {
            fn(field, first, true);
            return;
        }
        if (!fn(field, first, false)) return;
        start = end + 1;
    }
}

// The end of the word at p: the next blank or "/".
std::size_t word_end(std::string_view s, std::size_t p) {
    while (p < s.size() && s[p] != ' ' && s[p] != '/') ++p;
    return p;
}

bool valid_id(std::string_view id) {
    if (id.size() < 2 || id.size() > 8) return false;
    for (char c : id)
        if (!vyr::is_upper(c) && !vyr::is_digit(c) && c != '_') return false;
    return true;
}

// Where a valid identifier ends that is joined to a date element (DH, DD,
// DM, DY, DT, DJ and digits), or 0.
std::size_t joined_element(std::string_view token) {
    for (std::size_t d = 2; d + 3 <= token.size() && d <= 8; ++d) {
        if (token[d] == 'D' && std::strchr("HDMYTJ", token[d + 1]) != nullptr && token[d + 1] &&
            vyr::is_digit(token[d + 2]) && valid_id(token.substr(0, d)))
            return d;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Date/data-type elements

bool all_digits(std::string_view d) {
    for (char c : d)
        if (!vyr::is_digit(c)) return false;
    return !d.empty();
}

// DR and DI: unit, optional sign, one or two digits.
bool parse_step(std::string_view w, const char *units, Step &s) {
    if (w.size() < 4 || std::strchr(units, w[2]) == nullptr || w[2] == '\0') return false;
    std::string_view rest = w.substr(3);
    int sign = 1;
    if (rest[0] == '+' || rest[0] == '-') {
        sign = rest[0] == '-' ? -1 : 1;
        rest.remove_prefix(1);
    }
    if (rest.empty() || rest.size() > 2 || !all_digits(rest)) return false;
    s.unit = w[2];
    s.amount = sign * num(rest, 0, rest.size());
    return true;
}

// Digit pairs from pos on, for the fields from first on (1 month, 2 day,
// 3 hour, 4 minute, 5 second), each within its range.
bool pairs_in_range(std::string_view d, std::size_t pos, int first) {
    static constexpr int kMin[] = {0, 1, 1, 0, 0, 0}, kMax[] = {0, 12, 31, 24, 59, 59};
    if (!all_digits(d) || (d.size() - pos) % 2 != 0) return false;
    for (int f = first; pos < d.size(); pos += 2, ++f) {
        if (f > 5) return false;
        const int v = num(d, pos, 2);
        if (v < kMin[f] || v > kMax[f]) return false;
    }
    return true;
}

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
        case 'J': return ((n >= 1 && n <= 3) || n == 5 || n == 7) && all_digits(d);
        case 'C': return (n == 4 || n == 6 || n == 8 || n == 10 || n == 12) && all_digits(d);
        case 'R': return parse_step(w, "SNHDMEY", e.step);
        case 'I': return parse_step(w, "SNHDMEY", e.step);
        case 'U': e.letter = n == 1 ? d[0] : 0; return e.letter == 'E' || e.letter == 'S';
        case 'Q':
            e.letter = n == 1 ? d[0] : 0;
            return n == 1 && (d[0] == 'Z' || parm.qualifier_valid(d[0]));
        case 'V': {
            if (d == "Z") {
                e.value = -1;
                return true;
            }
            if (n < 2 || n > 3 || !all_digits(d.substr(1))) return false;
            static constexpr const char *kUnits = "SNHDMY";
            static constexpr int kBase[] = {7000, 0, 1000, 2000, 3000, 4000};
            const char *u = std::strchr(kUnits, d[0]);
            if (u == nullptr || d[0] == '\0') return false;
            e.letter = d[0];
            e.value = kBase[u - kUnits] + num(d, 1, n - 1);
            return true;
        }
        default: return false;
    }
}

// Merges a time element into t: the fields it names replace those of t;
// naming the hour or a lower field sets the unnamed lower fields to 0.
bool merge_time(Civil &t, const Elem &e, const RefDate &ref) {
    const std::string_view d = e.digits;
    Civil out = t;
    // Pairs of digits from the first field the element names: 1 month, 2
    // day, 3 hour, 4 minute, 5 second.
    int first = 0;
    std::size_t pos = 0;
    switch (e.kind) {
        case 'S': first = 5; break;
        case 'N': first = 4; break;
        case 'H': first = 3; break;
        case 'D': first = 2; break;
        case 'M': first = 1; break;
        case 'Y':
            out.year = infer_century(ref.year, num(d, 0, 2));
            first = 1;
            pos = 2;
            break;
        case 'T':
            if (d.size() == 2) {
                out.year = num(d, 0, 2) * 100 + ((out.year % 100) + 100) % 100;
                first = 6;
                pos = 2;
            } else {
                out.year = num(d, 0, 4);
                first = 1;
                pos = 4;
            }
            break;
        case 'J': {
            int year = out.year;
            int doy;
            if (d.size() <= 3) {
                doy = num(d, 0, d.size());
            } else if (d.size() == 5) {
                year = infer_century(ref.year, num(d, 0, 2));
                doy = num(d, 2, 3);
            } else {
                year = num(d, 0, 4);
                doy = num(d, 4, 3);
            }
            if (doy < 1 || doy > (DATE_is_leap(year) ? 366 : 365)) return false;
            const Civil c = civil_of((days_from_civil(year, 1, 1) + doy - 1) * int64_t{86400});
            out.year = c.year;
            out.month = c.month;
            out.day = c.day;
            t = out;
            return valid_civil(t);
        }
        default: return false;
    }
    int field = first;
    for (; pos + 2 <= d.size() && field <= 5; pos += 2, ++field) {
        const int v = num(d, pos, 2);
        switch (field) {
            case 1: out.month = v; break;
            case 2: out.day = v; break;
            case 3: out.hour = v; break;
            case 4: out.min = v; break;
            case 5: out.sec = v; break;
        }
    }
    const int last = field - 1;
    if (last >= 3) {
        if (last < 4) out.min = 0;
        if (last < 5) out.sec = 0;
    }
    if (!valid_civil(out)) return false;
    t = out;
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

}  // namespace

namespace vyr::series {

// ---------------------------------------------------------------------------
// The decoder's state

struct Decoder::Impl {
    Impl(const Parm &p, RefDate r, OnValue v, OnNote n)
        : parm(p), ref(r), on_value(std::move(v)), on_note(std::move(n)) {}

    const Parm &parm;
    RefDate ref;
    OnValue on_value;
    OnNote on_note;
    Counts counts;

    long line_no = 0;
    std::string clean_buf;
    std::vector<Word> words;
    char value_text[kValueMax];
    std::size_t value_len = 0;
    std::string note_buf;

    // The message being decoded.
    char kind = 0;  // 'A', 'B', 'E', or 0 outside a message
    bool revised = false;
    bool skipping = false;  // rejected or cut short: its lines are passed over
    std::string station;
    Zone zone = utc_zone();
    State st;
    bool trailing_slash = false;
    bool forecast_warned = false;
    std::string a_pending;            // .A: a code still waiting for its value
    bool unknown_told[26 * 26] = {};  // unknown elements already told, once a run

    // .E
    bool e_have_code = false;
    Code e_code{};
    bool e_have_di = false;
    Step e_di;
    int64_t e_k = 0;

    // .B
    struct Slot {
        bool bad;
        Code code;
        State st;
    };
    std::vector<Slot> slots;
    bool body_started = false;
    bool header_broken = false;
    bool joined_told = false;
    std::vector<Elem> body_ops;
    std::vector<Word> group_words;

    // -- notes
    // Codes resolved before, by their text: the same few codes come back
    // on every line of a product.
    struct CachedCode {
        uint64_t key = 0;
        Code code{};
    };
    CachedCode code_cache[64];
    bool code_of(std::string_view text, Code &code, std::string &why) {
        if (text.size() < 2 || text.size() > 7) return resolve_code(parm, text, code, why);
        uint64_t key = text.size();
        for (char c : text) key = key << 8 | static_cast<unsigned char>(c);
        CachedCode &slot = code_cache[(key * 0x9E3779B97F4A7C15ULL) >> 58];
        if (slot.key == key) {
            code = slot.code;
            return true;
        }
        if (!resolve_code(parm, text, code, why)) return false;
        slot.key = key;
        slot.code = code;
        return true;
    }

    // The last wall time converted, and its UTC time.
    bool memo_valid = false;
    Civil memo_local{};
    Zone memo_zone{};
    int64_t memo_utc = 0;

    void note(Severity s, const std::string &text) {
        if (s == Severity::Error)
            ++counts.errors;
        else
            ++counts.warnings;
        if (on_note) on_note(s, line_no, text);
    }
    void error(const std::string &text) { note(Severity::Error, text); }
    void warning(const std::string &text) { note(Severity::Warning, text); }

    std::string_view clean(std::string_view raw);
    void handle(std::string_view text);
    void end_message(bool by_new_start);
    void start(char type, bool rev, std::string_view rest);
    void continuation(char type, bool rev, std::string_view data);

    bool apply(State &s, const Elem &e);
    bool creation(const Elem &e, const Civil &obs, int64_t &utc);
    bool utc_of(const Civil &local, int64_t &utc);
    bool place(const State &s, const Code &code, Step step, int64_t k, int64_t &utc);
    void emit(std::string_view sta, const Code &code, const State &s, const Word &w,
              const ValueText &v, int64_t utc);
    bool value_word(std::string_view sta, const Code &code, const State &s, const Word &w,
                    Step step, int64_t k);

    void a_data(std::string_view data);
    void a_field(std::string_view field);
    void e_data(std::string_view data, bool continued);
    bool e_word(const Word &w, bool after_value);
    void b_header(std::string_view data);
    void b_body(std::string_view text);
    void b_station(std::string_view group);
    void b_group(std::string_view id, std::string_view rest);
};

// ---------------------------------------------------------------------------
// Lines

// Colons toggle comments; tabs, control bytes and bytes outside ASCII become
// blanks; trailing blanks, "=" and "&" go.
std::string_view Decoder::Impl::clean(std::string_view raw) {
    // Branch-free, so that the compiler can check many bytes at a time.
    unsigned char odd = 0;
    for (char ch : raw) {
        const auto c = static_cast<unsigned char>(ch);
        odd |= static_cast<unsigned char>(static_cast<unsigned char>(c - 0x20) > 0x5e);
        odd |= static_cast<unsigned char>(c == ':');
    }
    const bool plain = odd == 0;
    std::string_view s = raw;
    if (!plain) {
        clean_buf.clear();
        bool comment = false;
        for (char ch : raw) {
            const auto c = static_cast<unsigned char>(ch);
            if (c == ':') {
                comment = !comment;
                continue;
            }
            if (comment) continue;
            clean_buf.push_back(c < 0x20 || c >= 0x7f ? ' ' : ch);
        }
        s = clean_buf;
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '=' || s.back() == '&'))
        s.remove_suffix(1);
    return s;
}

void Decoder::Impl::handle(std::string_view text) {
    if (text.empty()) return;  // neither starts nor ends a message
    if (text[0] != '.') {
        if (kind == 'B') {
            if (!skipping) b_body(text);
            return;
        }
        kind = 0;  // an .A or .E message ends at the first other line
        return;
    }
    if (text.size() >= 4 && (text[1] == 'E' || text[1] == 'e') &&
        (text[2] == 'N' || text[2] == 'n') && (text[3] == 'D' || text[3] == 'd') &&
        (text.size() == 4 || text[4] == ' ')) {
        kind = 0;  // ends a block, and an .A or .E message as any other line
        return;
    }
    // The tag: type letter, optional R, optional 1-2 digit continuation
    // number, then a blank or the end of the line.
    const char type = text.size() >= 2 ? text[1] : 0;
    std::size_t i = 2;
    const bool rev = i < text.size() && text[i] == 'R';
    if (rev) ++i;
    const std::size_t digits_at = i;
    while (i < text.size() && vyr::is_digit(text[i])) ++i;
    const std::size_t ndigits = i - digits_at;
    if ((type != 'A' && type != 'B' && type != 'E') || ndigits > 2 ||
        (i < text.size() && text[i] != ' ')) {
        if (kind == 'A' || kind == 'E') kind = 0;
        // What looks like a message line and is none is an error: a line
        // that starts like .A, .B or .E, or a lone message-type letter
        // (.C). Other lines that start with a dot are prose.
        const bool tag_like = vyr::is_upper(type) && (i >= text.size() || text[i] == ' ');
        if (type == 'A' || type == 'B' || type == 'E' || tag_like)
            error("not a SHEF message line: " + quoted(text.substr(0, 20)));
        return;
    }
    const std::string_view rest = text.substr(i);
    if (ndigits == 0)
        start(type, rev, rest);
    else
        continuation(type, rev, rest);
}

void Decoder::Impl::end_message(bool by_new_start) {
    if (kind == 'B' && !skipping)
        error(by_new_start ? ".B block not closed by .END before the next message"
                           : ".B block not closed by .END at the end of the input");
    kind = 0;
}

void Decoder::Impl::start(char type, bool rev, std::string_view rest) {
    end_message(true);
    ++counts.messages;
    kind = type;
    revised = rev;
    skipping = false;
    trailing_slash = false;
    forecast_warned = false;
    a_pending.clear();
    st = State{};
    zone = utc_zone();
    e_have_code = e_have_di = false;
    e_k = 0;
    slots.clear();
    body_started = header_broken = joined_told = false;

    // Positional fields: identifier, date, optional zone.
    std::size_t p = rest.find_first_not_of(' ');
    if (p == std::string_view::npos) {
        error(std::string(".") + type + " message without identifier and date");
        skipping = true;
        return;
    }
    std::size_t e = rest.find(' ', p);
    if (e == std::string_view::npos) e = rest.size();
    const std::string_view id = rest.substr(p, e - p);
    if (!valid_id(id)) {
        error("bad station identifier " + quoted(id));
        skipping = true;
        return;
    }
    station.assign(id);
    p = rest.find_first_not_of(' ', e);
    e = p == std::string_view::npos ? rest.size() : word_end(rest, p);
    const std::string_view date = p == std::string_view::npos ? "" : rest.substr(p, e - p);
    Civil t{0, 0, 0, 12, 0, 0};
    bool ok = all_digits(date) && (date.size() == 4 || date.size() == 6 || date.size() == 8);
    if (ok) {
        const std::size_t n = date.size();
        t.month = num(date, n - 4, 2);
        t.day = num(date, n - 2, 2);
        if (n == 4)
            t.year = infer_year(ref, t.month, t.day);
        else if (n == 6)
            t.year = infer_century(ref.year, num(date, 0, 2));
        else
            t.year = num(date, 0, 4);
        ok = valid_civil(t);
    }
    if (!ok) {
        error("bad date " + quoted(date));
        skipping = true;
        return;
    }
    p = rest.find_first_not_of(' ', e);
    std::string_view data;
    if (p != std::string_view::npos) {
        e = word_end(rest, p);
        if (find_zone(rest.substr(p, e - p), zone)) p = rest.find_first_not_of(' ', e);
        if (p != std::string_view::npos) data = rest.substr(p);
    }
    // Without an hour, a value stands at the end of its day in local time,
    // at noon in UTC.
    t.hour = zone.tzname == nullptr && zone.offset == 0 && zone.code[1] == '\0' ? 12 : 24;
    st.when = t;
    if (type == 'A')
        a_data(data);
    else if (type == 'E')
        e_data(data, false);
    else
        b_header(data);
}

void Decoder::Impl::continuation(char type, bool rev, std::string_view data) {
    const std::string tag = std::string(".") + type + (rev ? "R" : "") + "n";
    if (kind == 0) {
        error("continuation line " + tag + " without a message");
        return;
    }
    if (type != kind || (rev && !revised)) {
        error("continuation line " + tag + " does not belong to the ." + std::string(1, kind) +
              (revised ? "R" : "") + " message");
        return;
    }
    if (skipping) return;
    if (type == 'A') {
        a_data(data);
    } else if (type == 'E') {
        e_data(data, true);
    } else if (body_started) {
        error(".B header continuation after the first body line");
    } else {
        b_header(data);
    }
}

// ---------------------------------------------------------------------------
// Elements, times and values

// Applies an element other than DI to a state. False with the error told.
bool Decoder::Impl::apply(State &s, const Elem &e) {
    if (is_time_kind(e.kind)) {
        if (!merge_time(s.when, e, ref)) {
            error("date/time element gives no valid time: D" + std::string(1, e.kind) +
                  std::string(e.digits));
            return false;
        }
        s.rel = Step{};  // an explicit time ends the relative offset
        return true;
    }
    switch (e.kind) {
        case 'R': s.rel = e.step; return true;
        case 'C': {
            int64_t utc;
            if (!creation(e, s.when, utc)) return false;
            s.has_dc = true;
            s.dc = utc;
            return true;
        }
        case 'U': s.si = e.letter == 'S'; return true;
        case 'Q': s.dq = e.letter == 'Z' ? 0 : e.letter; return true;
        case 'V': s.dv = e.value; return true;
        default: return false;
    }
}

// The creation date (DC), read in the message's zone. A year left out is
// the one nearest the observation date; a two-digit year is taken in the
// century that puts it at most ten years after the observation.
bool Decoder::Impl::creation(const Elem &e, const Civil &obs, int64_t &utc) {
    const std::string_view d = e.digits;
    const std::size_t n = d.size();
    Civil c{0, 0, 0, 0, 0, 0};
    std::size_t pos = 0;
    if (n == 12) {
        c.year = num(d, 0, 4);
        pos = 4;
    } else if (n == 10) {
        c.year = infer_century(obs.year, num(d, 0, 2));
        pos = 2;
    }
    c.month = num(d, pos, 2);
    c.day = num(d, pos + 2, 2);
    if (n < 10) {
        if (c.month < 1 || c.month > 12)
            c.year = obs.year;  // refused below
        else
            c.year = infer_year(RefDate{obs.year, obs.month, obs.day}, c.month, c.day);
    }
    const bool utc_zone = zone.tzname == nullptr && zone.offset == 0 && zone.code[1] == '\0';
    c.hour = n >= 6 ? num(d, pos + 4, 2) : (utc_zone ? 12 : 24);
    c.min = n >= 8 ? num(d, pos + 6, 2) : 0;
    if (!valid_civil(c)) {
        error("creation date element gives no valid time: DC" + std::string(d));
        return false;
    }
    return utc_of(c, utc);
}

// A wall time of the message's zone in UTC; a skipped wall time is told
// and refused, a repeated one is told and taken as its first occurrence.
bool Decoder::Impl::utc_of(const Civil &local, int64_t &utc) {
    if (memo_valid && local.sec == memo_local.sec && local.min == memo_local.min &&
        local.hour == memo_local.hour && local.day == memo_local.day &&
        local.month == memo_local.month && local.year == memo_local.year &&
        zone.code[0] == memo_zone.code[0] && zone.code[1] == memo_zone.code[1]) {
        utc = memo_utc;
        return true;
    }
    const Fit fit = to_utc(zone, local, utc);
    if (fit == Fit::Exact && utc >= kFirstTime && utc <= kLastTime) {
        memo_valid = true;
        memo_local = local;
        memo_zone = zone;
        memo_utc = utc;
        return true;
    }
    switch (fit) {
        case Fit::Exact: break;
        case Fit::Ambiguous:
            warning("local time " + civil_text(local) + " occurs twice in zone " + zone.code +
                    ": the first (daylight) time taken");
            break;
        case Fit::Gap:
            warning("local time " + civil_text(local) + " does not exist in zone " + zone.code +
                    ": value dropped");
            return false;
        case Fit::NoData:
            error(std::string("no time zone data for zone ") + zone.code + " (" + zone.tzname +
                  ")");
            return false;
    }
    if (utc < kFirstTime || utc > kLastTime) {
        error("time out of range");
        return false;
    }
    return true;
}

// The UTC time of a value: the explicit time, moved by the relative offset
// in force, then by k steps of the series interval. Days, months, years
// and month ends move the wall time; seconds, minutes and hours are
// elapsed time.
bool Decoder::Impl::place(const State &s, const Code &code, Step step, int64_t k, int64_t &utc) {
    Civil t = s.when;
    const char *why = nullptr;
    if (code.seven_am) {
        if (zone.tzname == nullptr && zone.offset == 0 && zone.code[1] == '\0') {
            error("send code " + std::string(code.send, 2) + " needs a local time zone, not Z");
            return false;
        }
        if (s.rel.unit != 0) {
            error("send code " + std::string(code.send, 2) +
                  " cannot be used with a relative date (DR)");
            return false;
        }
        // The latest 07:00 local at or before the stated time.
        t = normalised(t);
        if (t.hour < 7) shift_calendar(t, 'D', -1, nullptr);
        t.hour = 7;
        t.min = t.sec = 0;
        return utc_of(t, utc);
    }
    bool have_utc = false;
    int64_t u = 0;
    if (s.rel.unit != 0) {
        if (unit_seconds(s.rel.unit) != 0) {
            if (!utc_of(t, u)) return false;
            u += int64_t{s.rel.amount} * unit_seconds(s.rel.unit);
            have_utc = true;
        } else if (!shift_calendar(t, s.rel.unit, s.rel.amount, &why)) {
            error(std::string("relative date (DR) from ") + civil_text(t) + ": " + why);
            return false;
        }
    }
    if (step.unit != 0) {
        if (unit_seconds(step.unit) != 0) {
            if (!have_utc && !utc_of(t, u)) return false;
            u += k * step.amount * unit_seconds(step.unit);
            have_utc = true;
        } else {
            if (have_utc) {
                t = to_local(zone, u);
                have_utc = false;
            }
            if (!shift_calendar(t, step.unit, k * step.amount, &why)) {
                error(std::string("series step (DI) from ") + civil_text(t) + ": " + why);
                return false;
            }
        }
    }
    if (!have_utc) return utc_of(t, utc);
    if (u < kFirstTime || u > kLastTime) {
        error("time out of range");
        return false;
    }
    utc = u;
    return true;
}

// Checks a value word against its code and hands out its record.
void Decoder::Impl::emit(std::string_view sta, const Code &code, const State &s, const Word &w,
                         const ValueText &v, int64_t utc) {
    Record r;
    r.missing = false;
    if (v.kind == ValueText::Trace) {
        const char a = code.pe[0], b = code.pe[1];
        if (!((a == 'P' && (b == 'P' || b == 'C')) || (a == 'S' && (b == 'F' || b == 'D')))) {
            error("trace (T) given for " + std::string(code.pe, 2) +
                  ", not a precipitation or snow element");
            return;
        }
        std::memcpy(value_text, "0.001", 5);
        value_len = 5;
    } else if (v.kind == ValueText::Missing) {
        r.missing = true;
        value_len = 0;
    } else {
        value_len = english_value(v, false, 1.0, value_text);
        if (value_len == 0) {
            error("bad value " + quoted(w.text));
            return;
        }
        if (std::string_view(value_text, value_len) == "-9999") {
            r.missing = true;
            value_len = 0;
        } else if (s.si && code.pe_known && code.factor != 1.0) {
            value_len = english_value(v, true, code.factor, value_text);
            if (value_len == 0) {
                error("value out of range " + quoted(w.text));
                return;
            }
        }
    }
    char q = v.qualifier;
    if (q == 'Z') {
        q = 0;
    } else if (q != 0 && !parm.qualifier_valid(q)) {
        warning("unknown data qualifier '" + std::string(1, q) + "' in " + quoted(w.text) +
                " ignored");
        q = 0;
    }
    if (v.qualifier == 0) q = s.dq;
    if (code.duration == 'V') {
        if (s.dv < 0) {
            error("duration V in " + std::string(code.pe, 2) +
                  "V without a variable duration (DV)");
            return;
        }
        r.duration_value = s.dv;
    } else {
        r.duration_value = code.duration_value;
    }
    if (!code.pe_known) {
        bool &told = unknown_told[(code.pe[0] - 'A') * 26 + (code.pe[1] - 'A')];
        if (!told) {
            told = true;
            warning("unknown physical element " + std::string(code.pe, 2) +
                    ": its values are kept unconverted (told once)");
        }
    }
    if (code.ts[0] == 'F' && !s.has_dc && !forecast_warned) {
        forecast_warned = true;
        warning("forecast values without a creation date (DC)");
    }
    r.station = sta;
    r.obs_time = utc;
    r.code = &code;
    r.value = std::string_view(value_text, value_len);
    r.qualifier = q;
    r.has_creation = s.has_dc;
    r.creation_time = s.dc;
    r.revised = revised;
    r.message = kind;
    r.line = line_no;
    r.comment = w.comment;
    ++counts.values;
    if (on_value) on_value(r);
}

// ---------------------------------------------------------------------------
// .A messages

void Decoder::Impl::a_data(std::string_view data) {
    for_fields(data, '/', [&](std::string_view f, bool, bool) {
        a_field(f);
        return !skipping;
    });
}

// D-elements, then a code and its value; a field may hold only elements.
// A code alone in its field takes the value that stands alone in the next
// field ("DH12/HPIRWZZ/ 529.52", as some products write it); without one it
// is passed over.
void Decoder::Impl::a_field(std::string_view field) {
    // Most fields are a code, blanks and a value: they need no word list.
    if (a_pending.empty()) {
        const std::size_t n = field.size();
        std::size_t a = 0;
        while (a < n && field[a] == ' ') ++a;
        std::size_t b = a;
        while (b < n && kWordChar[static_cast<unsigned char>(field[b])]) ++b;
        std::size_t c = b;
        while (c < n && field[c] == ' ') ++c;
        std::size_t d = c;
        while (d < n && kWordChar[static_cast<unsigned char>(field[d])]) ++d;
        std::size_t e = d;
        while (e < n && field[e] == ' ') ++e;
        if (e == n && c > b && d > c && field[a] != 'D') {
            Code code;
            std::string why;
            if (!code_of(field.substr(a, b - a), code, why))
                error(why);
            else
                value_word(station, code, st, Word{field.substr(c, d - c), {}}, Step{}, 0);
            return;
        }
    }
    split_words(field, words);
    if (words.empty()) return;
    if (!a_pending.empty()) {
        std::string code_text;
        code_text.swap(a_pending);
        ValueText v;
        if (words.size() == 1 && !is_element(words[0].text) && parse_value(words[0].text, v)) {
            Code code;
            std::string why;
            if (!code_of(code_text, code, why))
                error(why);
            else
                value_word(station, code, st, words[0], Step{}, 0);
            return;
        }
    }
    std::size_t i = 0;
    for (; i < words.size() && is_element(words[i].text); ++i) {
        Elem e;
        if (!parse_element(parm, words[i].text, e) || e.kind == 'I') {
            error("bad date/data-type element " + quoted(words[i].text) +
                  "; rest of the message dropped");
            skipping = true;
            return;
        }
        if (!apply(st, e)) {
            skipping = true;
            return;
        }
    }
    if (i + 1 == words.size()) {
        ValueText v;
        if (parse_value(words[i].text, v))
            error("value " + quoted(words[i].text) + " without a parameter code");
        else
            a_pending.assign(words[i].text);
        return;
    }
    if (i >= words.size()) return;
    const std::string_view code_text = words[i].text;
    const Word value = words[i + 1];
    for (std::size_t j = i + 2; j < words.size(); ++j) {
        const std::string_view extra = words[j].text;
        if (extra.size() == 1 && vyr::is_upper(extra[0]))
            error("qualifier " + quoted(extra) + " apart from its value dropped");
        else
            error("unexpected text " + quoted(extra) + " after the value of " + quoted(code_text));
    }
    Code code;
    std::string why;
    if (!code_of(code_text, code, why)) {
        error(why);
        return;
    }
    value_word(station, code, st, value, Step{}, 0);
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
    int64_t utc;
    if (place(s, code, step, k, utc)) emit(sta, code, s, w, v, utc);
    return true;
}

// ---------------------------------------------------------------------------
// .E messages

// Fields split at "/" and at blanks; an empty field between slashes is a
// null value that only moves the series on. Continuation lines join with
// an implied "/", so "/" ending one line and "/" starting the next make a
// null field.
void Decoder::Impl::e_data(std::string_view data, bool continued) {
    const bool ends_with_slash = !data.empty() && data.back() == '/';
    for_fields(data, '/', [&](std::string_view f, bool leading, bool trailing) {
        split_words(f, words);
        if (words.empty()) {
            const bool null_field =
                (!leading && !trailing) || (leading && !trailing && continued && trailing_slash);
            if (null_field && e_have_code && e_have_di) ++e_k;
            return true;
        }
        bool after_value = false;
        for (const Word &w : words) {
            after_value = e_word(w, after_value);
            if (skipping) return false;
        }
        return true;
    });
    trailing_slash = ends_with_slash;
}

// One word of an .E message; returns whether it was a value.
bool Decoder::Impl::e_word(const Word &w, bool after_value) {
    if (is_element(w.text)) {
        Elem e;
        if (!parse_element(parm, w.text, e)) {
            error("bad date/data-type element " + quoted(w.text) + "; rest of the message dropped");
            skipping = true;
            return false;
        }
        if (e.kind == 'I') {
            if (e_have_di) {
                error("second time interval " + quoted(w.text) + "; rest of the message dropped");
                skipping = true;
                return false;
            }
            e_have_di = true;
            e_di = e.step;
            return false;
        }
        if (!apply(st, e)) {
            skipping = true;
            return false;
        }
        // An explicit time or a relative offset starts the series afresh.
        if (is_time_kind(e.kind) || e.kind == 'R') e_k = 0;
        return false;
    }
    ValueText v;
    const bool is_value = parse_value(w.text, v);
    if (!e_have_code) {
        Code code;
        std::string why;
        if (is_value) {
            error(".E value " + quoted(w.text) + " before the parameter code; message dropped");
            skipping = true;
        } else if (!code_of(w.text, code, why)) {
            error(why + "; rest of the message dropped");
            skipping = true;
        } else if (code.seven_am) {
            error("send code " + quoted(w.text) + " cannot be used in .E; message dropped");
            skipping = true;
        } else {
            e_code = code;
            e_have_code = true;
        }
        return false;
    }
    if (!e_have_di) {
        error(".E value " + quoted(w.text) + " before the time interval (DI); message dropped");
        skipping = true;
        return false;
    }
    if (!is_value) {
        Code code;
        std::string why;
        if (w.text.size() == 1 && vyr::is_upper(w.text[0]) && after_value) {
            error("qualifier " + quoted(w.text) + " apart from its value dropped");
            return false;
        }
        if (resolve_code(parm, w.text, code, why)) {
            error("second parameter code " + quoted(w.text) + "; rest of the message dropped");
            skipping = true;
            return false;
        }
    }
    value_word(station, e_code, st, w, e_di, e_k);
    ++e_k;
    return true;
}

// ---------------------------------------------------------------------------
// .B blocks

// Header: elements and codes; each code takes the state at its place.
void Decoder::Impl::b_header(std::string_view data) {
    for_fields(data, '/', [&](std::string_view f, bool, bool) {
        split_words(f, words);
        bool have_code = false;
        for (const Word &w : words) {
            if (is_element(w.text)) {
                if (header_broken) continue;
                Elem e;
                if (!parse_element(parm, w.text, e) || e.kind == 'I') {
                    error("bad date/data-type element " + quoted(w.text) +
                          " in .B header; later parameters dropped");
                    header_broken = true;
                } else if (!apply(st, e)) {
                    header_broken = true;
                }
                continue;
            }
            if (have_code) {
                error("unexpected text " + quoted(w.text) + " in .B header ignored");
                continue;
            }
            have_code = true;
            Slot slot{true, Code{}, st};
            std::string why;
            if (!header_broken) {
                if (code_of(w.text, slot.code, why))
                    slot.bad = false;
                else
                    error(why);
            }
            slots.push_back(slot);
        }
        return true;
    });
}

void Decoder::Impl::b_body(std::string_view text) {
    body_started = true;
    if (text.find(',') == std::string_view::npos && text.find('"') == std::string_view::npos &&
        text.find('\'') == std::string_view::npos) {
        b_station(text);
        return;
    }
    // Station groups are separated by commas outside retained comments.
    std::size_t start = 0;
    char open = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : ',';
        if (open != 0) {
            if (c == open || c == '/') open = 0;
            if (i < text.size()) continue;
        } else if (quote(c)) {
            open = c;
            continue;
        }
        if (c != ',') continue;
        b_station(text.substr(start, i - start));
        start = i + 1;
    }
}

// One station group of a body line: its identifier and its values.
void Decoder::Impl::b_station(std::string_view group) {
    std::size_t p = 0;
    while (p < group.size() && group[p] == ' ') ++p;
    if (p == group.size()) return;
    group.remove_prefix(p);
    std::size_t e = 0;
    while (e < group.size() && group[e] != ' ') ++e;
    std::string_view id = group.substr(0, e);
    if (!valid_id(id)) {
        // A name between colons right after the identifier can leave it
        // joined to the date element that follows (RTP tables: "EAGC2:
        // AURORA :DH3107/ 61"): split there.
        const std::size_t d = joined_element(id);
        if (d == 0) {
            error("bad station identifier " + quoted(id) + " in .B body");
            return;
        }
        if (!joined_told) {
            joined_told = true;
            warning("identifier joined to a date element in " + quoted(id) + ": read as " +
                    quoted(id.substr(0, d)) + " and " + quoted(id.substr(d)) +
                    " (told once a block)");
        }
        e = d;
        id = id.substr(0, d);
    }
    b_group(id, group.substr(e));
}

// One station's values, in the order of the header's parameters. Elements
// in the body change the state of the values after them; an empty field
// is a parameter not reported.
void Decoder::Impl::b_group(std::string_view id, std::string_view rest) {
    body_ops.clear();
    bool overridden = false;  // any element in the body so far
    bool body_rel = false, body_dc = false, body_si = false, body_dq = false, body_dv = false;
    State over;  // the overriding values
    std::size_t pos = 0;
    int extra = 0;
    for_fields(rest, '/', [&](std::string_view f, bool first, bool last) {
        // Most fields hold one value and blanks: they need no word list.
        std::size_t a = 0;
        while (a < f.size() && f[a] == ' ') ++a;
        std::size_t b = a;
        while (b < f.size() && kWordChar[static_cast<unsigned char>(f[b])]) ++b;
        std::size_t c = b;
        while (c < f.size() && f[c] == ' ') ++c;
        if (a == f.size()) {
            if (!last || first) ++pos;  // a trailing "/" adds nothing
            return true;
        }
        if (c == f.size() && !overridden && f[a] != 'D' && pos < slots.size()) {
            const Slot &slot = slots[pos++];
            if (!slot.bad)
                value_word(id, slot.code, slot.st, Word{f.substr(a, b - a), {}}, Step{}, 0);
            return true;
        }
        split_words(f, group_words);
        if (group_words.empty()) {
            if (!last || first) ++pos;
            return true;
        }
        bool after_value = false;
        for (const Word &w : group_words) {
            if (is_element(w.text)) {
                Elem e;
                if (!parse_element(parm, w.text, e) || e.kind == 'I') {
                    error("bad date/data-type element " + quoted(w.text) + " for " +
                          std::string(id) + "; rest of its values dropped");
                    return false;
                }
                overridden = true;
                if (is_time_kind(e.kind)) {
                    body_ops.push_back(e);
                    body_rel = false;
                } else if (e.kind == 'R') {
                    over.rel = e.step;
                    body_rel = true;
                } else if (e.kind == 'C') {
                    if (!creation(e, st.when, over.dc)) return false;
                    body_dc = true;
                } else if (e.kind == 'U') {
                    over.si = e.letter == 'S';
                    body_si = true;
                } else if (e.kind == 'Q') {
                    over.dq = e.letter == 'Z' ? 0 : e.letter;
                    body_dq = true;
                } else {
                    over.dv = e.value;
                    body_dv = true;
                }
                after_value = false;
                continue;
            }
            if (w.text.size() == 1 && vyr::is_upper(w.text[0]) && w.text[0] != 'M' &&
                w.text[0] != 'T' && after_value) {
                error("qualifier " + quoted(w.text) + " apart from its value dropped");
                continue;
            }
            after_value = true;
            if (pos >= slots.size()) {
                ++extra;
                ++pos;
                continue;
            }
            const Slot &slot = slots[pos++];
            if (slot.bad) continue;
            if (!overridden) {
                value_word(id, slot.code, slot.st, w, Step{}, 0);
                continue;
            }
            State s = slot.st;
            bool placed = true;
            for (const Elem &e : body_ops) {
                if (!merge_time(s.when, e, ref)) {
                    error("date/time element D" + std::string(1, e.kind) + std::string(e.digits) +
                          " gives no valid time for " + std::string(slot.code.pe, 2) + " of " +
                          std::string(id));
                    placed = false;
                    break;
                }
            }
            if (!placed) continue;
            if (body_rel) s.rel = over.rel;
            if (body_dc) {
                s.has_dc = true;
                s.dc = over.dc;
            }
            if (body_si) s.si = over.si;
            if (body_dq) s.dq = over.dq;
            if (body_dv) s.dv = over.dv;
            value_word(id, slot.code, s, w, Step{}, 0);
        }
        return true;
    });
    if (extra > 0)
        warning(std::to_string(extra) + " value(s) for " + std::string(id) +
                " beyond the .B header's parameters ignored");
}

// ---------------------------------------------------------------------------
// The decoder's face

Decoder::Decoder(const Parm &parm, RefDate ref, OnValue on_value, OnNote on_note)
    : impl_(new Impl(parm, ref, std::move(on_value), std::move(on_note))) {}

Decoder::~Decoder() { delete impl_; }

void Decoder::line(std::string_view text, long number) {
    impl_->line_no = number;
    impl_->handle(impl_->clean(text));
}

void Decoder::finish() { impl_->end_message(false); }

const Counts &Decoder::counts() const { return impl_->counts; }

bool decode_stream(FILE *in, Decoder &decoder) {
    constexpr std::size_t kBlock = 1 << 16;
    std::vector<char> buf(kBlock);
    std::string carry;  // a line that runs over the end of a block
    long number = 0;
    bool carrying = false;
    for (;;) {
        const std::size_t got = std::fread(buf.data(), 1, kBlock, in);
        if (got == 0) break;
        std::string_view block(buf.data(), got);
        for (;;) {
            const std::size_t nl = block.find('\n');
            if (nl == std::string_view::npos) {
                carry.append(block);
                carrying = true;
                break;
            }
            if (carrying) {
                carry.append(block.substr(0, nl));
                decoder.line(carry, ++number);
                carry.clear();
                carrying = false;
            } else {
                decoder.line(block.substr(0, nl), ++number);
            }
            block.remove_prefix(nl + 1);
        }
    }
    const bool ok = std::ferror(in) == 0;
    if (carrying && !carry.empty()) decoder.line(carry, ++number);
    decoder.finish();
    return ok;
}

}  // namespace vyr::series
