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
    const bool given = i < p.size() && vyr::is_digit(p[i]);
    if (given) i += vyr::read_integer(p.substr(i), n, 0, INT_MAX, vyr::OutOfRange::Clamp);
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

namespace {

// The naming of one date along one pattern: each token writes its field
// and records the date it names; date tokens offer the naming period.
class DateNamer {
  public:
    DateNamer(const Date &source, const Date &date, const Context &ctx, const std::string *dir)
        : src_(source), set_(ctx.set), ctx_(ctx), dir_(dir), r_{{}, date, kNoPeriod} {}

    Named run(std::string_view pattern) {
        for (std::size_t pos = 0; pos < pattern.size();) {
            const Token t = next_token(pattern, pos);
            pos += t.len;
            if (t.literal) {
                if (t.code != '{' && t.code != '}') out() += t.code == ' ' ? '_' : t.code;
                continue;
            }
            token(t);
        }
        return std::move(r_);
    }

  private:
    const Date &src_, &set_;
    const Context &ctx_;
    const std::string *dir_;  // the directory of every directory token, when given
    Named r_;

    std::string &out() { return r_.name; }

    void offer(int64_t p) {
        if (r_.period == kNoPeriod || p < r_.period) r_.period = p;
    }

    // A field written with width digits, or zeros when it is unknown.
    void field(int64_t v, int width, int32_t &named) {
        if (v < 0) {
            out().append(static_cast<std::size_t>(width), '0');
            named = VYR_MISSING;
        } else {
            out() += padded(v, width);
            named = clamp32(v);
        }
    }

    void token(const Token &t) {
        const int64_t n = std::max(t.n, 1);
        switch (t.code) {
            case '%': out() += '%'; return;
            case 'Y':
            case 'y': return year(t.code == 'Y', n);
            case 'm':
            case 'b': return month(t.code == 'b', n);
            case 'd': return field(named_day(n), 2, r_.date.day);
            case 'j': return julian_day(n);
            case 'h': return hour_or_minute(set_.hour, src_.hour, kHour, n, r_.date.hour);
            case 'n': return hour_or_minute(set_.min, src_.min, kMinute, n, r_.date.min);
            case 'e': out() += ctx_.ext; return;
            case '{': out() += dir_ ? *dir_ : resource_value(ctx_, t.name.c_str()); return;
            default: break;
        }
        if (const char *res = directory_resource(t.code)) return directory(res);
        const std::string &k = key_text(ctx_, t.code);
        if (k.empty())
            out() += '0';
        else
            out() += t.n_given ? k.substr(0, static_cast<std::size_t>(t.n)) : k;
    }

    void year(bool four, int64_t n) {
        int64_t y = VYR_MISSING;
        if (fixed(set_.year))
            y = set_.year;
        else if (src_.year >= 0)
            y = lower(src_.year, n);
        if (y < 0) {
            out() += four ? "0000" : "00";
            r_.date.year = VYR_MISSING;
            return;
        }
        out() += four ? padded(y, 4) : padded(y % 100, 2);
        r_.date.year = clamp32(y);
    }

    void month(bool name, int64_t n) {
        if (!fixed(set_.month) && src_.month < 0) {
            out() += name ? "xxx" : "00";
            r_.date.month = VYR_MISSING;
            return;
        }
        const int64_t m = fixed(set_.month) ? set_.month : lower(src_.month, n);
        if (name)  // months outside 1-12 have no name
            out() += (m >= 1 && m <= 12) ? DATE_month_lower(static_cast<int>(m)) : "";
        else
            out() += padded(m, 2);
        r_.date.month = clamp32(m);
    }

    // The day %d and %j name, -1 when there is none: a fixed day as it is,
    // else the source day lowered to its step (a step code, else N). Either
    // token offers its period.
    int64_t named_day(int64_t n) {
        if (fixed(set_.day)) {
            offer(n * kDay);
            return set_.day;
        }
        const int64_t step = step_code(set_.day) ? -int64_t{set_.day} : n;
        offer(step * kDay);
        return src_.day < 0 ? -1 : lower(src_.day, step);
    }

    void julian_day(int64_t n) {
        const int64_t d = named_day(n);
        if (d < 0) {
            // No day to count from: the day of year stays unknown.
            out() += "000";
            r_.date.jday = VYR_MISSING;
            return;
        }
        int jday = 0;
        DATE_monday_julian(src_.year, src_.month, clamp32(d), &jday);
        out() += padded(jday, 3);
        r_.date.jday = jday;
        r_.date.month = src_.month;
        r_.date.day = fixed(set_.day) ? set_.day : src_.day;
    }

    void hour_or_minute(int32_t setting, int32_t src, int64_t unit, int64_t n, int32_t &named) {
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
        field(v, 2, named);
    }

    void directory(const char *res) {
        if (dir_ != nullptr) {
            out() += *dir_;
            return;
        }
        const std::string v = resource_value(ctx_, res);
        out() += v.empty() ? "." : v;
    }
};

}  // namespace

Named write_name(std::string_view pattern, const Date &source, const Date &date, const Context &ctx,
                 const std::string *dir_override) {
    return DateNamer(source, date, ctx, dir_override).run(pattern);
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
