// files_select.cpp - file requests: their date suffix and extra
// information, the form they take, and the walk that completes a name along
// the active pattern and reads its date. No state: see files_rules.h.
#include <algorithm>
#include <string>
#include <vector>

#include "files_int.h"
#include "files_rules.h"
#include "vyrfiles.h"
#include "vyrresrc.h"

namespace vyr::files {

namespace {

constexpr std::size_t kExtraInfoMax = 39;
constexpr M_type kTraceLevel = M_DEBUG_RES;

const std::string &key_text(const Context &ctx, char k) {
    static const std::string unset;
    return ctx.keys ? (*ctx.keys)[static_cast<unsigned char>(k)] : unset;
}

// The literal text that follows a token, up to the next token or brace.
std::string literal_run(std::string_view p, std::size_t pos) {
    std::string run;
    for (; pos < p.size(); ++pos) {
        const char c = p[pos];
        if (c == '%' || c == '{' || c == '}' || c == '*') break;
        run += c == ' ' ? '_' : c;
    }
    return run;
}

// The walk over one name and one pattern. S is the name, P the pattern, O
// the name written.
class Walker {
  public:
    Walker(std::string_view asked, std::string_view pattern, const Date &date, const Context &ctx)
        : S(asked), P(pattern), ctx_(ctx), w_{{}, date, 0, ctx.ext} {
        bare_ = S.find('/') == std::string_view::npos;
        own_path_ = carries_path(S);
    }

    Walked run() {
        while (!done_ && pi_ < P.size()) {
            trace();
            const Token t = next_token(P, pi_);
            pi_ += t.len;
            if (t.literal)
                literal_element(t.code);
            else
                token(t);
        }
        MESS_print(kTraceLevel, "FILES:%.*s:%s:%d\n", static_cast<int>(S.size()), S.data(),
                   w_.name.c_str(), w_.where);
        DATE_print(M_DEBUG, &w_.date);
        return std::move(w_);
    }

  private:
    std::string_view S, P;
    const Context &ctx_;
    Walked w_;
    std::size_t si_ = 0, pi_ = 0;
    bool bare_ = true, own_path_ = false, brace_ = false, done_ = false;

    bool s_left() const { return si_ < S.size(); }

    void trace() const {
        const std::string_view s = S.substr(si_), p = P.substr(pi_);
        MESS_print(kTraceLevel, "FILES:%.*s:%.*s:%.*s:%s:%s:%d\n", static_cast<int>(S.size()),
                   S.data(), static_cast<int>(s.size()), s.data(), static_cast<int>(p.size()),
                   p.data(), w_.name.c_str(), w_.ext.c_str(), w_.where);
    }

    // The rest of the name goes out as it stands and the walk ends.
    void fall_back() {
        w_.name.append(S.substr(si_));
        si_ = S.size();
        done_ = true;
    }

    void literal_element(char c) {
        if (c == '{') {
            brace_ = true;
            return;
        }
        if (c == '}') {
            if (brace_) {
                brace_ = false;
                w_.where = 1;
            }
            return;
        }
        if (c == ' ') c = '_';  // as names are written
        if (brace_) {
            // Braced text is the pattern's own: the name does not hold it.
            w_.name += c;
            return;
        }
        if (c == '*') {
            fall_back();
            return;
        }
        literal(c);
    }

    void literal(char c) {
        const bool has = s_left(), match = has && S[si_] == c;
        if (w_.where >= 1 && match) {
            w_.name += c;
            if (++si_ == S.size()) w_.where = 3;
            return;
        }
        if (w_.where >= 2 && has) return fall_back();
        if (w_.where == 0 && !match) return fall_back();
        w_.name += c;
        // A character the name holds is used up, whatever the state: leaving
        // it would write it twice.
        if (has && (w_.where >= 2 || bare_ || match)) ++si_;
    }

    // Reads width digits of the name; false (the walk falls back) when they
    // are not all there.
    bool digits(std::size_t width, int &v) {
        if (S.size() - si_ < width) return false;
        int64_t n = 0;
        for (std::size_t k = 0; k < width; ++k) {
            if (!vyr::is_digit(S[si_ + k])) return false;
            n = n * 10 + (S[si_ + k] - '0');
        }
        v = static_cast<int>(n);
        take(width);
        return true;
    }

    void take(std::size_t width) {
        w_.name.append(S.substr(si_, width));
        si_ += width;
        w_.where = 2;
    }

    void date_token(char code) {
        Date &d = w_.date;
        int v = 0;
        switch (code) {
            case 'Y':
                if (!digits(4, v)) return fall_back();
                d.year = v;
                return;
            case 'y':
                if (!digits(2, v)) return fall_back();
                d.year = v < 50 ? v + 2000 : v + 1900;
                return;
            case 'b': {
                if (S.size() - si_ < 3) return fall_back();
                const int m = DATE_decode_month(std::string(S.substr(si_, 3)).c_str());
                if (m == 0) return fall_back();
                take(3);
                d.month = m;
                return;
            }
            case 'j': {
                if (!digits(3, v)) return fall_back();
                int m = 0, day = 0;
                DATE_julian_monday(d.year, v, &m, &day);
                d.jday = v;
                d.month = m;
                d.day = day;
                return;
            }
            default: break;
        }
        if (!digits(2, v)) return fall_back();
        if (code == 'm') d.month = v;
        if (code == 'd') d.day = v;
        if (code == 'h') d.hour = v;
        if (code == 'n') d.min = v;
    }

    // A directory token, or %{name}: the pattern's directory for a bare or
    // relative name, the name's own directory for a name with its path. A
    // relative name with a directory is looked for under the pattern's, and
    // its directory is passed over so that its file part is still dated.
    void directory(const Token &t, const char *res) {
        if (!own_path_) {
            const char *v = ctx_.resource ? ctx_.resource(res) : nullptr;
            if (v && *v)
                w_.name += v;
            else if (t.code != '{')
                w_.name += '.';
            w_.where = 1;
            if (!bare_) {
                if (!w_.name.empty() && w_.name.back() != '/') w_.name += '/';
                return own_directory();
            }
            if (pi_ < P.size() && P[pi_] == '/') {
                w_.name += '/';
                ++pi_;
            }
            return;
        }
        own_directory();
    }

    // The name's directory, as far as the rest of the pattern leaves
    // separators for.
    void own_directory() {
        const std::string_view after = P.substr(pi_);
        const std::size_t k = static_cast<std::size_t>(std::count_if(
            after.begin(), after.end(), [](char c) { return c == '/' || c == '\\' || c == ':'; }));
        const std::string_view rest = S.substr(si_);
        std::vector<std::size_t> seps;
        for (std::size_t i = 0; i < rest.size(); ++i)
            if (rest[i] == '/' || (si_ + i == 1 && rest[i] == ':')) seps.push_back(i);
        std::size_t end = 0;
        if (k == 0)
            end = seps.empty() ? 0 : seps.back() + 1;  // the pattern's file part has no separator
        else if (seps.size() >= k)
            end = seps[seps.size() - k];
        else if (!seps.empty())
            end = seps.front();
        w_.name.append(rest.substr(0, end));
        si_ += end;
        w_.where = 1;
    }

    void extension() {
        const std::string run = literal_run(P, pi_);
        if (!w_.ext.empty()) {
            w_.name += w_.ext;
            if (run.empty()) {
                si_ = S.size();
            } else if (std::size_t f = S.find(run, si_); f != std::string_view::npos) {
                si_ = f;
            }
            return;
        }
        // No extension known: the name's own, up to what the pattern has next.
        const std::size_t f = run.empty() ? S.size() : S.find(run, si_);
        if (f == std::string_view::npos) return fall_back();
        w_.ext = std::string(S.substr(si_, f - si_));
        w_.name += w_.ext;
        si_ = f;
    }

    void key(const Token &t) {
        const std::string &k = key_text(ctx_, t.code);
        if (k.empty()) return fall_back();
        const std::string text = t.n_given ? k.substr(0, static_cast<std::size_t>(t.n)) : k;
        w_.name += text;
        si_ += std::min(text.size(), S.size() - si_);
    }

    void token(const Token &t) {
        switch (t.code) {
            case '%':
                if (brace_)
                    w_.name += '%';
                else
                    literal('%');
                return;
            case 'e': return extension();
            case 'Y':
            case 'y':
            case 'm':
            case 'b':
            case 'd':
            case 'j':
            case 'h':
            case 'n': return date_token(t.code);
            case '{': return directory(t, t.name.c_str());
            default: break;
        }
        if (const char *res = directory_resource(t.code)) return directory(t, res);
        key(t);
    }
};

}  // namespace

DateDigits read_date_digits(std::string_view text) {
    static constexpr std::size_t kWidths[5] = {4, 2, 2, 2, 2};
    DateDigits d;
    std::size_t pos = 0;
    for (int f = 0; f < 5; ++f) {
        if (pos >= text.size() || !vyr::is_digit(text[pos])) break;
        int v = 0;
        for (std::size_t k = 0; k < kWidths[f] && pos < text.size() && vyr::is_digit(text[pos]);
             ++k)
            v = v * 10 + (text[pos++] - '0');
        d.fields[f] = v;
        d.count = f + 1;
    }
    d.used = pos;
    return d;
}

bool cut_date_suffix(std::string &asked, Date &set) {
    const std::size_t hash = asked.find('#', 1);
    if (hash == std::string::npos) return false;
    const DateDigits d = read_date_digits(std::string_view(asked).substr(hash + 1));
    int32_t *fields[5] = {&set.year, &set.month, &set.day, &set.hour, &set.min};
    for (int f = 0; f < d.count; ++f) *fields[f] = d.fields[f];
    asked.resize(hash);
    return true;
}

std::string cut_extra_info(std::string &asked) {
    if (asked.size() <= 3) return {};
    const std::size_t at = asked.find_first_of("#-+:", 3);
    if (at == std::string::npos) return {};
    std::string info = asked.substr(at, kExtraInfoMax);
    asked.resize(at);
    return info;
}

Classified classify(std::string_view asked, std::string_view conv) {
    if (vyr::iequals(asked, "exit")) return {Form::Exit, {}};
    if (!asked.empty() && asked[0] == '@') return {Form::Literal, literal_path(asked.substr(1))};
    // A command completed by a pattern would be a command no more.
    if (!asked.empty() && asked[0] == '|') return {Form::Literal, std::string(asked)};
    if (vyr::is_stream_name(asked) || (!conv.empty() && vyr::is_stream_name(conv)))
        return {Form::Stream, "-"};
    if (conv.empty()) return {Form::Plain, std::string(asked)};
    if (asked[0] == '#') return {Form::Current, std::string(asked)};
    if (istarts(asked, "cu")) return {Form::Current, std::string(asked.substr(2))};
    if (istarts(asked, "la")) return {Form::Current, std::string(asked)};
    if (vyr::iequals(asked, "none")) return {Form::None, std::string(asked)};
    if (carries_path(conv) && carries_path(asked)) return {Form::OwnPath, std::string(asked)};
    return {Form::Walk, std::string(asked)};
}

Walked walk(std::string_view asked, std::string_view pattern, const Date &date,
            const Context &ctx) {
    return Walker(asked, pattern, date, ctx).run();
}

}  // namespace vyr::files
