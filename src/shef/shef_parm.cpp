// shef_parm.cpp - the SHEFPARM tables, parameter codes and value texts.
//
// The tables are data: the program carries the standard file built in and
// reads a site's own copy instead when there is one, so that codes can be
// added without a new program.
#include <charconv>
#include <cmath>
#include <cstring>

#include "base_int.h"
#include "shef_series.h"
#include "shef_series_text.h"
#include "vyrbase.h"

namespace vyr::series {
// The shipped SHEFPARM, generated into a source file at build time.
extern const char kBuiltinShefparm[];
extern const std::size_t kBuiltinShefparmSize;
}  // namespace vyr::series

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The blank-separated words of a line.
int words(std::string_view s, std::string_view *out, int max) {
    int n = 0;
    std::size_t i = 0;
    while (i < s.size() && n < max) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
        if (i > start) out[n++] = s.substr(start, i - start);
    }
    return n;
}

// Copies up to 16 bytes with two overlapping fixed-size moves; out needs
// room for 16.
void copy_upto16(char *out, std::string_view s) {
    const std::size_t n = s.size();
    const char *q = s.data();
    if (n >= 8) {
        std::memcpy(out, q, 8);
        std::memcpy(out + n - 8, q + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(out, q, 4);
        std::memcpy(out + n - 4, q + n - 4, 4);
    } else {
        for (std::size_t i = 0; i < n; ++i) out[i] = q[i];
    }
}

// A missing code (+, -, M, MM) or a trace (T), lower case included, with
// an optional qualifier: a letter other than the code's own, so that "MMM"
// and "TT" are no values.
bool letter_value(std::string_view t, vyr::series::ValueText &v) {
    using vyr::series::ValueText;
    std::size_t n = 1;  // the code's length
    char own = 0;
    if (t.empty()) return false;
    switch (t[0]) {
        case '+':
        case '-': v.kind = ValueText::Missing; break;
        case 'M':
        case 'm':
            v.kind = ValueText::Missing;
            n = t.size() >= 2 && t[1] == t[0] ? 2 : 1;
            own = 'M';
            break;
        case 'T':
        case 't':
            v.kind = ValueText::Trace;
            own = 'T';
            break;
        default: return false;
    }
    if (t.size() == n) return true;
    if (t.size() != n + 1 || !vyr::is_upper(t[n]) || t[n] == own) return false;
    v.qualifier = t[n];
    return true;
}

}  // namespace

namespace vyr::series {

// ---------------------------------------------------------------------------
// SHEFPARM

int Parm::index(char c) {
    if (vyr::is_upper(c)) return c - 'A';
    if (vyr::is_digit(c)) return 26 + (c - '0');
    return -1;
}

// One line of a section at a time into the tables.
struct Parm::Reader {
    Parm &p;
    const std::function<void(int, std::string_view)> &problem;
    int line_no = 0;
    std::string_view w[4];  // the words of the line
    int n = 0;

    void bad(std::string_view why) const {
        if (problem) problem(line_no, why);
    }
    bool pe_code() const {
        return w[0].size() == 2 && vyr::is_upper(w[0][0]) && vyr::is_upper(w[0][1]);
    }
    int pe_index() const { return index(w[0][0]) * 26 + index(w[0][1]); }

    // *1: an element and its SI-to-English factor.
    void element() {
        double f;
        if (!pe_code() || n < 2 || !detail::read_decimal(w[1], -1e300, 1e300, f))
            return bad("physical element line not understood");
        p.pe_[pe_index()] = true;
        p.factor_[pe_index()] = f;
    }
    // *2: a duration letter and its number.
    void duration() {
        int v;
        if (w[0].size() != 1 || !vyr::is_upper(w[0][0]) || n < 2 ||
            !detail::read_int(w[1], 0, 1 << 30, v))
            return bad("duration line not understood");
        p.duration_[index(w[0][0])] = v;
    }
    // *3: a type-source pair and whether it is in use.
    void type_source() {
        int on;
        if (w[0].size() != 2 || index(w[0][0]) < 0 || index(w[0][1]) < 0 || n < 2 ||
            !detail::read_int(w[1], -(1 << 30), 1 << 30, on))
            return bad("type-source line not understood");
        p.ts_[index(w[0][0]) * 36 + index(w[0][1])] = on != 0;
    }
    // *4 with a use flag, *5 with a probability, *7 alone: one-letter codes.
    void letter(int section) {
        int on = 1;
        double v;
        const bool ok = w[0].size() == 1 && index(w[0][0]) >= 0 && (section == 7 || n >= 2) &&
                        (section != 4 || detail::read_int(w[1], -(1 << 30), 1 << 30, on)) &&
                        (section != 5 || detail::read_decimal(w[1], -1e300, 1e300, v));
        if (!ok) return bad("code line not understood");
        bool *table = section == 4 ? p.extremum_ : section == 5 ? p.probability_ : p.qualifier_;
        table[index(w[0][0])] = on != 0;
    }
    // *6: a send code with its expansion and 07:00 flag, or an element with
    // its duration default.
    void sixth() {
        const std::string_view exp = n >= 2 ? w[1] : std::string_view();
        bool ok = pe_code() && exp.size() >= 3 && exp.size() <= 7 && vyr::is_upper(exp[0]) &&
                  vyr::is_upper(exp[1]) && (exp.size() > 3 || exp.substr(0, 2) == w[0]);
        for (char c : exp) ok = ok && index(c) >= 0;
        if (!ok) return bad("send code line not understood");
        Sixth &s = p.sixth_[pe_index()];
        std::memset(s.text, 0, sizeof s.text);
        std::memcpy(s.text, exp.data(), exp.size());
        s.seven_am = n >= 3 && w[2] == "1";
        p.has_sixth_[pe_index()] = true;
    }
    // **: the error limit.
    bool limit() {
        int v;
        if (!detail::read_int(w[0], 1, 1 << 30, v)) {
            bad("error limit not understood");
            return false;
        }
        p.error_limit_ = v;
        return true;
    }
};

Parm Parm::parse(std::string_view text, const std::function<void(int, std::string_view)> &problem) {
    Parm p;
    for (int &d : p.duration_) d = -1;
    Reader r{p, problem, 0, {}, 0};
    int section = 0;  // 1-7 for *1-*7, 8 for the error limit, 0 before any
    bool limit_read = false;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        std::string_view line = trim(text.substr(0, nl));
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        ++r.line_no;
        if (line.empty() || line[0] == '$') continue;
        if (line[0] == '*') {
            if (line.size() >= 2 && line[1] >= '1' && line[1] <= '7')
                section = line[1] - '0';
            else if (line.size() >= 2 && line[1] == '*')
                section = limit_read ? 0 : 8;  // the second "**" closes it
            else
                r.bad("unknown section");
            continue;
        }
        r.n = words(line, r.w, 4);
        switch (section) {
            case 0: break;  // the file's title and anything before *1
            case 1: r.element(); break;
            case 2: r.duration(); break;
            case 3: r.type_source(); break;
            case 4:
            case 5:
            case 7: r.letter(section); break;
            case 6: r.sixth(); break;
            case 8: limit_read = r.limit() || limit_read; break;
        }
    }
    return p;
}

const Parm &Parm::builtin() {
    static const Parm p = parse(std::string_view(kBuiltinShefparm, kBuiltinShefparmSize));
    return p;
}

bool Parm::pe_known(char a, char b) const {
    return vyr::is_upper(a) && vyr::is_upper(b) && pe_[index(a) * 26 + index(b)];
}

double Parm::factor(char a, char b) const {
    return pe_known(a, b) ? factor_[index(a) * 26 + index(b)] : 1.0;
}

int Parm::duration_value(char d) const { return index(d) < 0 ? -1 : duration_[index(d)]; }

bool Parm::ts_valid(char t, char s) const {
    return index(t) >= 0 && index(s) >= 0 && ts_[index(t) * 36 + index(s)];
}

bool Parm::extremum_valid(char e) const { return index(e) >= 0 && extremum_[index(e)]; }

bool Parm::probability_valid(char p) const { return index(p) >= 0 && probability_[index(p)]; }

bool Parm::qualifier_valid(char q) const { return index(q) >= 0 && qualifier_[index(q)]; }

char Parm::default_duration(char a, char b) const {
    const Sixth *six = sixth(a, b);
    return six != nullptr && std::strlen(six->text) == 3 ? six->text[2] : 'I';
}

const Parm::Sixth *Parm::sixth(char a, char b) const {
    if (!vyr::is_upper(a) || !vyr::is_upper(b)) return nullptr;
    const int i = index(a) * 26 + index(b);
    return has_sixth_[i] ? &sixth_[i] : nullptr;
}

// ---------------------------------------------------------------------------
// Parameter codes

bool resolve_code(const Parm &parm, std::string_view text, Code &code, std::string &why) {
    if (text.size() < 2 || text.size() > 7) {
        why = "parameter code \"" + std::string(text) + "\" must have 2 to 7 characters";
        return false;
    }
    for (char c : text) {
        if (!vyr::is_upper(c) && !vyr::is_digit(c)) {
            why = "bad character in parameter code \"" + std::string(text) + "\"";
            return false;
        }
    }
    if (!vyr::is_upper(text[1]) || !vyr::is_upper(text[0])) {
        why = "bad physical element in \"" + std::string(text) + "\"";
        return false;
    }
    char full[7] = {text[0], text[1], 0, 0, 0, 0, 0};
    std::memcpy(full + 2, text.data() + 2, text.size() - 2);
    code.seven_am = false;
    code.send[0] = code.send[1] = 0;
    bool expanded = false;
    const Parm::Sixth *six = parm.sixth(text[0], text[1]);
    const std::size_t six_len = six != nullptr ? std::strlen(six->text) : 0;
    // A send code stands for its whole expansion, and is only written bare.
    if (text.size() > 2 && six_len > 3) {
        why = "parameter code \"" + std::string(text) + "\" begins with the send code " +
              std::string(text.substr(0, 2)) + ", which is written alone";
        return false;
    }
    if (text.size() == 2 && six_len > 3) {
        std::memcpy(full, six->text, six_len);
        code.seven_am = six->seven_am;
        code.send[0] = text[0];
        code.send[1] = text[1];
        expanded = true;
    }
    code.pe[0] = full[0];
    code.pe[1] = full[1];
    code.duration = full[2] ? full[2] : 'Z';
    if (code.duration == 'Z' && !expanded) code.duration = parm.default_duration(text[0], text[1]);
    code.ts[0] = full[3] && full[3] != 'Z' ? full[3] : 'R';
    code.ts[1] = full[4] ? full[4] : 'Z';
    code.extremum = full[5] ? full[5] : 'Z';
    code.probability = full[6] ? full[6] : 'Z';
    code.duration_value = parm.duration_value(code.duration);
    const std::string shown(text);
    if (code.duration_value < 0) {
        why = "unknown duration '" + std::string(1, code.duration) + "' in \"" + shown + "\"";
        return false;
    }
    if (!parm.ts_valid(code.ts[0], code.ts[1])) {
        why = "unknown type and source \"" + std::string(code.ts, 2) + "\" in \"" + shown + "\"";
        return false;
    }
    if (!parm.extremum_valid(code.extremum)) {
        why = "unknown extremum '" + std::string(1, code.extremum) + "' in \"" + shown + "\"";
        return false;
    }
    if (!parm.probability_valid(code.probability)) {
        why = "unknown probability '" + std::string(1, code.probability) + "' in \"" + shown + "\"";
        return false;
    }
    code.pe_known = parm.pe_known(code.pe[0], code.pe[1]);
    code.factor = parm.factor(code.pe[0], code.pe[1]);
    return true;
}

// ---------------------------------------------------------------------------
// Values

bool parse_value(std::string_view t, ValueText &v) {
    // Numbers first: they are nearly every value. One pass over the text.
    const char *const end = t.data() + t.size();
    const char *q = detail::read_number(t.data(), end, v);
    if (q != nullptr) return q == end;
    return letter_value(t, v);
}

std::size_t hundredths_value(const ValueText &v, char *out) {
    // No decimal point: whole is the number. Its last two digits become
    // the hundredths.
    const std::string_view w = v.whole;
    const std::string_view ip = w.size() > 2 ? w.substr(0, w.size() - 2) : std::string_view();
    char f[2] = {'0', '0'};
    if (w.size() >= 2) {
        f[0] = w[w.size() - 2];
        f[1] = w[w.size() - 1];
    } else if (w.size() == 1) {
        f[1] = w[0];
    }
    const std::size_t flen = f[1] != '0' ? 2 : f[0] != '0' ? 1 : 0;
    char *p = out;
    if (v.negative && (!ip.empty() || flen > 0)) *p++ = '-';
    if (ip.empty()) {
        *p++ = '0';
    } else {
        std::memcpy(p, ip.data(), ip.size());
        p += ip.size();
    }
    if (flen > 0) {
        *p++ = '.';
        std::memcpy(p, f, flen);
        p += flen;
    }
    return static_cast<std::size_t>(p - out);
}

std::size_t english_value(const ValueText &v, bool si, double factor, char *out) {
    if ((si && factor != 1.0) || v.fraction.size() > 4 || v.whole.size() > 15)
        return english_value(v.number, si, factor, out);
    // out has room to spare: the parts (at most 15 and 4 digits) are moved
    // in fixed-size pieces, which cost less than a loop over their digits.
    char *p = out;
    if (v.negative && !(v.whole.empty() && v.fraction.empty())) *p++ = '-';
    if (v.whole.empty()) {
        *p++ = '0';
    } else {
        copy_upto16(p, v.whole);
        p += v.whole.size();
    }
    if (!v.fraction.empty()) {
        *p++ = '.';
        copy_upto16(p, v.fraction);
        p += v.fraction.size();
    }
    return static_cast<std::size_t>(p - out);
}

std::size_t english_value(std::string_view number, bool si, double factor, char *out) {
    std::string_view s = number;
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    std::size_t dot = 0;
    while (dot < s.size() && s[dot] != '.') ++dot;
    std::string_view ip = s.substr(0, dot);
    std::string_view fp = dot < s.size() ? s.substr(dot + 1) : std::string_view();
    while (!fp.empty() && fp.back() == '0') fp.remove_suffix(1);
    while (!ip.empty() && ip.front() == '0') ip.remove_prefix(1);
    const bool convert = si && factor != 1.0;
    // A number already in English units with at most four places is kept
    // digit for digit; only a conversion or a longer fraction goes through
    // floating point.
    if (!convert && fp.size() <= 4 && ip.size() <= 15) {
        char *p = out;
        if (negative && !(ip.empty() && fp.empty())) *p++ = '-';
        if (ip.empty()) *p++ = '0';
        for (char c : ip) *p++ = c;
        if (!fp.empty()) {
            *p++ = '.';
            for (char c : fp) *p++ = c;
        }
        return static_cast<std::size_t>(p - out);
    }
    std::string digits(number.substr(number[0] == '+' ? 1 : 0));
    double d = 0;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), d);
    if (r.ec != std::errc() || !std::isfinite(d)) return 0;
    if (convert) d = factor == -1.0 ? d * 1.8 + 32.0 : d * factor;
    if (!std::isfinite(d)) return 0;
    const auto w = std::to_chars(out, out + kValueMax, d, std::chars_format::fixed, 4);
    if (w.ec != std::errc()) return 0;
    std::size_t n = static_cast<std::size_t>(w.ptr - out);
    while (out[n - 1] == '0') --n;
    if (out[n - 1] == '.') --n;
    if (n == 2 && out[0] == '-' && out[1] == '0') {
        out[0] = '0';
        n = 1;
    }
    return n;
}

}  // namespace vyr::series
