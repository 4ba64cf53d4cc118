// files_pattern.cpp - name patterns: their tokens, the name a pattern gives
// a date, the directory a name keeps, and the wildcard that lists a
// pattern's files. No state: see files_rules.h.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "files_int.h"
#include "files_rules.h"
#include "vyrfiles.h"
#include "vyrresrc.h"

namespace vyr::files {

namespace {

constexpr int64_t kDay = 86400, kHour = 3600, kMinute = 60;

bool fixed(int32_t v) { return v >= 0; }
// A negative setting other than the missing value is a step code.
bool step_code(int32_t v) { return v < 0 && v != VYR_MISSING; }

int64_t lower(int64_t v, int64_t n) { return n > 1 ? v - v % n : v; }

int32_t clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

std::string padded(int64_t v, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(v));
    return buf;
}

std::string resource_value(const Context &ctx, const char *name) {
    if (!ctx.resource) return {};
    const char *v = ctx.resource(name);
    return v ? v : "";
}

const std::string &key_text(const Context &ctx, char k) {
    static const std::string unset;
    return ctx.keys ? (*ctx.keys)[static_cast<unsigned char>(k)] : unset;
}

// Hours and minutes under a step code -(100*O + S): steps of S shifted by O.
struct Step {
    int64_t size, shift;
};
Step step_of(int32_t code) {
    const int64_t c = -int64_t{code};
    // A step of 0 would divide by zero; it steps by one instead.
    return {std::max<int64_t>(c % 100, 1), c / 100};
}

}  // namespace

bool istarts(std::string_view a, std::string_view b) {
    return a.size() >= b.size() && vyr::iequals(a.substr(0, b.size()), b);
}

std::string literal_path(std::string_view name) {
    if (!vyr::is_stream_name(name) && name[0] != '|') return std::string(name);
    std::string out("./");
    out.append(name);
    return out;
}

bool carries_path(std::string_view name) {
    return !name.empty() && (name[0] == '/' || name[0] == '.' || name[0] == '~');
}

// ---------------------------------------------------------------------------
// Tokens

Token next_token(std::string_view p, std::size_t pos) {
    Token t;
    t.code = p[pos];
    if (p[pos] != '%') return t;
    std::size_t i = pos + 1;
    int64_t n = 0;
    bool given = false;
    for (; i < p.size() && vyr::is_digit(p[i]); ++i) {
        given = true;
        n = std::min<int64_t>(n * 10 + (p[i] - '0'), INT_MAX);
    }
    // A "%" that ends the pattern is an ordinary character.
    if (i >= p.size()) return t;
    t.literal = false;
    t.code = p[i];
    t.n = given ? static_cast<int>(n) : 1;
    t.n_given = given;
    if (t.code == '{') {
        std::size_t close = p.find('}', i + 1);
        if (close == std::string_view::npos) close = p.size();
        t.name = std::string(p.substr(i + 1, close - i - 1));
        t.len = std::min(close + 1, p.size()) - pos;
    } else {
        t.len = i + 1 - pos;
    }
    return t;
}

const char *directory_resource(char code) {
    switch (code) {
        case 'C': return "con_path";
        case 'D': return "data_path";
        case 'F': return "file_path";
        case 'R': return "raw_path";
        case 'G': return "grid_path";
        case 'W': return "watch_path";
        case 'I': return "image_path";
        case 'T': return "text_path";
        case 'M': return "model_path";
        case 'S': return "sat_path";
        default: return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Naming a date

Named write_name(std::string_view pattern, const Date &source, const Date &date, const Context &ctx,
                 const std::string *dir_override) {
    Named r{{}, date, kNoPeriod};
    std::string &out = r.name;
    const Date &set = ctx.set;
    auto offer = [&](int64_t p) {
        if (r.period == kNoPeriod || p < r.period) r.period = p;
    };
    // The day %d and %j name, -1 when there is none: a fixed day as it is,
    // else the source day lowered to its step (a step code, else N). Either
    // token offers its period.
    auto named_day = [&](int64_t n) -> int64_t {
        if (fixed(set.day)) {
            offer(n * kDay);
            return set.day;
        }
        const int64_t step = step_code(set.day) ? -int64_t{set.day} : n;
        offer(step * kDay);
        return source.day < 0 ? -1 : lower(source.day, step);
    };

    for (std::size_t pos = 0; pos < pattern.size();) {
        const Token t = next_token(pattern, pos);
        pos += t.len;
        if (t.literal) {
            if (t.code == '{' || t.code == '}') continue;
            out += t.code == ' ' ? '_' : t.code;
            continue;
        }
        const int64_t n = std::max(t.n, 1);
        switch (t.code) {
            case '%': out += '%'; break;
            case 'Y':
            case 'y': {
                const bool four = t.code == 'Y';
                if (fixed(set.year)) {
                    out += four ? padded(set.year, 4) : padded(set.year % 100, 2);
                    r.date.year = set.year;
                } else if (source.year < 0) {
                    out += four ? "0000" : "00";
                    r.date.year = VYR_MISSING;
                } else {
                    const int64_t y = lower(source.year, n);
                    out += four ? padded(y, 4) : padded(y % 100, 2);
                    r.date.year = clamp32(y);
                }
                break;
            }
            case 'm':
            case 'b': {
                const bool name = t.code == 'b';
                int64_t m;
                if (fixed(set.month)) {
                    m = set.month;
                } else if (source.month < 0) {
                    out += name ? "xxx" : "00";
                    r.date.month = VYR_MISSING;
                    break;
                } else {
                    m = lower(source.month, n);
                }
                if (name) {
                    // Months outside 1-12 have no name.
                    out += (m >= 1 && m <= 12) ? DATE_month_lower(static_cast<int>(m)) : "";
                } else {
                    out += padded(m, 2);
                }
                r.date.month = clamp32(m);
                break;
            }
            case 'd': {
                const int64_t d = named_day(n);
                if (d < 0) {
                    out += "00";
                    r.date.day = VYR_MISSING;
                } else {
                    out += padded(d, 2);
                    r.date.day = clamp32(d);
                }
                break;
            }
            case 'j': {
                const int64_t d = named_day(n);
                if (d < 0) {
                    // No day to count from: the day of year stays unknown.
                    out += "000";
                    r.date.jday = VYR_MISSING;
                    break;
                }
                int jday = 0;
                DATE_monday_julian(source.year, source.month, clamp32(d), &jday);
                out += padded(jday, 3);
                r.date.jday = jday;
                r.date.month = source.month;
                r.date.day = fixed(set.day) ? set.day : source.day;
                break;
            }
            case 'h':
            case 'n': {
                const bool hour = t.code == 'h';
                const int32_t setting = hour ? set.hour : set.min;
                const int32_t src = hour ? source.hour : source.min;
                const int64_t unit = hour ? kHour : kMinute;
                int64_t v;
                if (fixed(setting)) {
                    v = lower(setting, n);
                    offer(n * unit);
                } else if (step_code(setting)) {
                    const Step s = step_of(setting);
                    offer(s.size * unit);
                    v = src < 0 ? -1 : src / s.size * s.size + s.shift;
                } else {
                    offer(n * unit);
                    v = src < 0 ? -1 : lower(src, n);
                }
                int32_t &field = hour ? r.date.hour : r.date.min;
                if (v < 0) {
                    out += "00";
                    field = VYR_MISSING;
                } else {
                    out += padded(v, 2);
                    field = clamp32(v);
                }
                break;
            }
            case 'e': out += ctx.ext; break;
            case '{':
                out += dir_override ? *dir_override : resource_value(ctx, t.name.c_str());
                break;
            default:
                if (const char *res = directory_resource(t.code)) {
                    if (dir_override) {
                        out += *dir_override;
                    } else {
                        std::string v = resource_value(ctx, res);
                        out += v.empty() ? "." : v;
                    }
                } else {
                    const std::string &k = key_text(ctx, t.code);
                    if (k.empty())
                        out += '0';
                    else
                        out += t.n_given ? k.substr(0, static_cast<std::size_t>(t.n)) : k;
                }
                break;
        }
    }
    return r;
}

std::optional<std::string> extracted_path(std::string_view filename, std::string_view pattern) {
    int64_t k = std::count(pattern.begin(), pattern.end(), '/') +
                std::count(pattern.begin(), pattern.end(), ':');
    std::size_t marked = std::string_view::npos;
    for (std::size_t i = filename.size(); i-- > 0 && k > 0;) {
        if (filename[i] == '/' || (i == 1 && filename[i] == ':')) {
            marked = i;
            --k;
        }
    }
    if (marked == std::string_view::npos) return std::nullopt;
    return std::string(filename.substr(0, marked));
}

// ---------------------------------------------------------------------------
// Listing

namespace {

struct Piece {
    std::string text;
    bool glob;  // shell wildcard characters, given to the shell as they are
};

void add(std::vector<Piece> &pieces, std::string text, bool glob) {
    if (text.empty()) return;
    if (!pieces.empty() && pieces.back().glob == glob)
        pieces.back().text += text;
    else
        pieces.push_back({std::move(text), glob});
}

std::string quoted(const std::string &s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

}  // namespace

std::string list_command(std::string_view pattern, const Context &ctx,
                         const std::function<std::string(const std::string &)> &expand_home) {
    std::vector<Piece> pieces;
    for (std::size_t pos = 0; pos < pattern.size();) {
        const Token t = next_token(pattern, pos);
        pos += t.len;
        if (t.literal) {
            if (t.code == '{' || t.code == '}') continue;
            // The pattern's own "*" stands for any text, in the listing too.
            if (t.code == '*')
                add(pieces, "*", true);
            else
                add(pieces, std::string(1, t.code == ' ' ? '_' : t.code), false);
            continue;
        }
        switch (t.code) {
            case '%': add(pieces, "%", false); break;
            case 'e':
                if (ctx.ext.empty())
                    add(pieces, "*", true);
                else
                    add(pieces, ctx.ext, false);
                break;
            case 'Y': add(pieces, "?[0-9]??", true); break;
            case 'y':
            case 'm':
            case 'd':
            case 'h':
            case 'n': add(pieces, "[0-9]?", true); break;
            case 'b': add(pieces, "?[a-z]?", true); break;
            case 'j': add(pieces, "?[0-9]?", true); break;
            case '{': add(pieces, resource_value(ctx, t.name.c_str()), false); break;
            default:
                if (const char *res = directory_resource(t.code)) {
                    std::string v = resource_value(ctx, res);
                    add(pieces, v.empty() ? "." : v, false);
                } else if (const std::string &k = key_text(ctx, t.code); !k.empty()) {
                    add(pieces, k, false);
                } else if (t.n_given) {
                    // No file name is longer than the limit, so neither is the wildcard.
                    add(pieces, std::string(std::min<std::size_t>(t.n, VYR_NAME_MAX + 1), '?'),
                        true);
                } else {
                    add(pieces, "*", true);
                }
                break;
        }
    }
    if (!pieces.empty() && !pieces[0].glob && pieces[0].text[0] == '~' && expand_home)
        pieces[0].text = expand_home(pieces[0].text);

    std::string word;
    for (const Piece &p : pieces) word += p.glob ? p.text : quoted(p.text);
    const bool dash = !pieces.empty() && pieces[0].text[0] == '-';
    return std::string("ls -x ") + (dash ? "-- " : "") + word;
}

}  // namespace vyr::files
