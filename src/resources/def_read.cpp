// def_read.cpp - resource definition files and the environment names of
// resources.
//
// A definition line is a key and a value; the key is a pattern matched
// against the full name of a resource (its program qualifier, ".", the
// resource name). DEF, UNDEF, IF, ELIF, ELSE and END lines keep tags and a
// stack of open sections; both carry over from one file to the next, so a
// search path reads as one long file.
//
// Every text here is data: it is copied and compared, never used as a
// format. Texts beyond their limits are refused, never cut, so that a cut
// key cannot match a resource it did not name.

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "resrc_int.h"
#include "vyrresrc.h"

namespace {

constexpr std::size_t kMaxTags = 10;
constexpr std::size_t kLineMax = 249;   // characters of a definition line
constexpr std::size_t kKeyMax = 49;     // characters of a delivered key
constexpr std::size_t kValueMax = 199;  // characters of a delivered value
constexpr std::size_t kResMax = 29;     // characters of a resource name in DEF_valid
constexpr std::size_t kProgMax = 255;   // characters kept of the program name

// States of an open IF section.
constexpr unsigned char kNotYet = 0;  // no branch taken yet
constexpr unsigned char kTaken = 1;   // this branch is taken
constexpr unsigned char kDone = 99;   // an earlier branch was taken

struct State {
    FILE *def_file = nullptr;
    bool piped = false;  // def_file came from a "|" command
    std::string prog_name = "Vyr";
    std::string prog_title;
    std::vector<std::string> tag;
    // One state per open IF. The depth is not bounded: a file may nest as
    // deep as it likes and every END still closes its own IF.
    std::vector<unsigned char> match;
    bool matches = true;  // every open IF is in a taken branch
    // Every line of every file is matched against every row: the full name
    // is built in one buffer that keeps its storage.
    std::string full;
};
State g;

using vyr::iequals;

// The full name of resrc: the program qualifier, "." and the name. The
// qualifier is the title, or the program name and the title after its "+",
// or the program name alone. Valid until the next call.
const std::string &full_name(std::string_view resrc) {
    const std::string &title = g.prog_title;
    if (title.empty()) {
        g.full = g.prog_name;
    } else if (title[0] == '+') {
        g.full = g.prog_name;
        g.full.append(".").append(title, 1);
    } else {
        g.full = title;
    }
    g.full += '.';
    g.full += resrc;
    return g.full;
}

// Literal characters must agree; "*" skips to the first occurrence of the
// text that follows it (up to the next "*"). Both must end together, so an
// empty text after "*" (a key ending in "*") matches nothing.
bool key_matches(std::string_view key, std::string_view full) {
    // Both end together, so the text after the key's last "*" must end the
    // full name: most keys fail here, before the walk.
    const std::size_t star = key.rfind('*');
    if (star == std::string_view::npos) return key == full;
    if (!full.ends_with(key.substr(star + 1))) return false;
    std::size_t i = 0, j = 0;
    while (i < key.size()) {
        if (key[i] != '*') {
            if (j >= full.size() || full[j] != key[i]) return false;
            ++i;
            ++j;
            continue;
        }
        std::size_t next = key.find('*', i + 1);
        std::string_view lit =
            key.substr(i + 1, next == std::string_view::npos ? next : next - i - 1);
        if (lit.empty()) return false;
        std::size_t at = full.find(lit, j);
        if (at == std::string_view::npos) return false;
        j = at + lit.size();
        i += 1 + lit.size();
    }
    return j == full.size();
}

// The resource name a key ends with: after its last "." or "*".
std::string_view name_part(std::string_view key) {
    std::size_t cut = key.find_last_of(".*");
    return cut == std::string_view::npos ? key : key.substr(cut + 1);
}

bool tag_defined(std::string_view name) {
    for (const std::string &t : g.tag)
        if (iequals(t, name)) return true;
    return false;
}

void add_tag(std::string_view name) {
    if (g.tag.size() < kMaxTags) g.tag.emplace_back(name);
}

void remove_tag(std::string_view name) {
    for (auto it = g.tag.begin(); it != g.tag.end(); ++it) {
        if (iequals(*it, name)) {
            g.tag.erase(it);
            return;
        }
    }
}

void recompute_matches() {
    g.matches = true;
    for (unsigned char m : g.match)
        if (m != kTaken) g.matches = false;
}

// A FIFO, a socket or a device would block the open or never end: only
// regular files are read (and commands and standard input, which the user
// asked for by their form). Examined before anything is opened.
void close_file() {
    if (g.def_file == nullptr) return;
    vyr::close_opened(g.def_file, g.piped ? "|" : nullptr);
    g.def_file = nullptr;
    g.piped = false;
}

// One line without its newline; false at the end of the file. A line
// longer than the limit is flagged: its pieces must not pass for lines of
// their own, where they could read as keys.
bool read_line(FILE *f, std::string &line, bool &too_long) {
    char buf[kLineMax + 1];
    vyr::FileLineSource src(f);
    const int n = vyr::read_line(src, buf, static_cast<int>(kLineMax), {vyr::LongLine::Skip, false},
                                 &too_long);
    if (n < 0) return false;
    // The line is a text: it ends at a NUL byte.
    line.assign(buf, strnlen(buf, static_cast<std::size_t>(n)));
    return true;
}

// The first two blank-separated words; value_at is where the value starts.
struct Words {
    std::string_view key, value;
    std::size_t value_at = 0;
};

Words split(std::string_view line) {
    Words w;
    std::size_t i = 0;
    auto word = [&](std::string_view &out) {
        while (i < line.size() && vyr::is_space(line[i])) ++i;
        std::size_t start = i;
        while (i < line.size() && !vyr::is_space(line[i])) ++i;
        out = line.substr(start, i - start);
        return start;
    };
    word(w.key);
    w.value_at = word(w.value);
    return w;
}

// Applies a directive line; false when the line is no directive.
bool directive(const Words &w) {
    bool named = !w.value.empty();
    if (w.key == "DEF") {
        if (named) add_tag(w.value);
    } else if (w.key == "UNDEF") {
        if (named) remove_tag(w.value);
    } else if (w.key == "IF" && named) {
        g.match.push_back(tag_defined(w.value) ? kTaken : kNotYet);
    } else if (w.key == "ELSE") {
        if (g.match.empty()) {
            MESS_print(M_WARN, "DEF_get: else without an if\n");
            return true;
        }
        g.match.back() = g.match.back() != kNotYet ? kDone : kTaken;
    } else if (w.key == "ELIF" && named) {
        if (g.match.empty()) {
            MESS_print(M_WARN, "DEF_get: elif without an if\n");
            return true;
        }
        unsigned char &m = g.match.back();
        m = m != kNotYet ? kDone : (tag_defined(w.value) ? kTaken : kNotYet);
    } else if (w.key == "END") {
        if (g.match.empty()) {
            MESS_print(M_WARN, "DEF_get: end without an if\n");
            return true;
        }
        g.match.pop_back();
    } else {
        return false;
    }
    recompute_matches();
    return true;
}

// Reads on to the next live key and value line.
int next_definition(char *resrc, char *value) {
    std::string line;
    bool too_long = false;
    while (read_line(g.def_file, line, too_long)) {
        if (too_long || line.empty() || line[0] == '#') continue;
        Words w = split(line);
        if (w.key.empty() || directive(w)) continue;
        if (w.value.empty() || !g.matches) continue;
        std::string_view val = w.value;
        if (val[0] == '"') {
            std::string_view rest = std::string_view(line).substr(w.value_at + 1);
            val = rest.substr(0, rest.find('"'));
        }
        std::string key(w.key);
        for (char &c : key) c = vyr::lower_ascii(c);
        if (key.back() == ':') key.pop_back();
        if (key.size() > kKeyMax || val.size() > kValueMax) continue;
        vyr::copy_text(resrc, kKeyMax + 1, key, vyr::Overflow::Refuse);
        vyr::copy_text(value, kValueMax + 1, val, vyr::Overflow::Refuse);
        return 1;
    }
    return -1;
}

}  // namespace

namespace vyr {

void reset_definitions() {
    close_file();
    g = State{};
}

}  // namespace vyr

int DEF_prog() {
    char prog[kProgMax + 1];
    RES_get_progname(prog, sizeof prog);
    return vyr::guarded(-1, [&] {
        g.prog_name = prog;
        return 0;
    });
}

int DEF_name(const char *name) {
    return vyr::guarded(-1, [&] {
        g.prog_title = name ? name : "";
        return 0;
    });
}

int DEF_clr_tag() {
    g.tag.clear();
    return 0;
}

int DEF_tag(const char *str) {
    if (str == nullptr || g.tag.size() >= kMaxTags) return -1;
    return vyr::guarded(-1, [&] {
        g.tag.emplace_back(str);
        return 0;
    });
}

int DEF_open(const char *filename) {
    return vyr::guarded(-1, [&] {
        std::string name = (filename && filename[0]) ? filename : ".vyrdef";
        if (FILE_is_dir(name.c_str())) {
            std::string dir = name;
            if (dir.back() != '/') dir += '/';
            for (const char *file : {"vyr.cfg", ".vyrdef", "Vyr.res"}) {
                name = dir + file;
                if (FILE_exist(name.c_str())) break;
            }
        }
        close_file();
        // A definition can name a command to run (a log item, a path):
        // only a file the user could have written alone is read.
        switch (vyr::check_config_file(name)) {
            case vyr::ConfigCheck::Ok: break;
            case vyr::ConfigCheck::NotRegular:
                MESS_print(M_WARN, "Definition file skipped, not a regular file: %s\n",
                           name.c_str());
                return -1;
            case vyr::ConfigCheck::NotTrusted:
                MESS_print(M_WARN, "Definition file skipped, not trusted: %s\n", name.c_str());
                return -1;
        }
        g.def_file = FILE_open(name.c_str(), "r");
        g.piped = g.def_file != nullptr && name[0] == '|';
        return g.def_file ? 0 : -1;
    });
}

int DEF_close() {
    close_file();
    return 0;
}

int DEF_get(char *resrc, char *value) {
    if (resrc == nullptr || value == nullptr || g.def_file == nullptr) return -1;
    return vyr::guarded(-1, [&] { return next_definition(resrc, value); });
}

int DEF_cmp(const char *resrc, const char *string) {
    if (resrc == nullptr || string == nullptr) return 0;
    // The key's last literal text and the resource name both end the full
    // name, so the shorter must end the longer: a cheap test for the many
    // rows a line is offered to.
    const std::string_view key(string), res(resrc);
    const std::size_t star = key.rfind('*');
    const std::string_view tail = star == std::string_view::npos ? key : key.substr(star + 1);
    if (tail.size() <= res.size() ? !res.ends_with(tail) : !tail.ends_with(res)) return 0;
    return vyr::guarded(0, [&] { return key_matches(key, full_name(res)) ? 1 : 0; });
}

int DEF_valid(const char *string) {
    if (string == nullptr) return 0;
    return vyr::guarded(0, [&] {
        std::string_view res = name_part(string);
        if (res.size() > kResMax) return 0;
        return key_matches(string, full_name(res)) ? 1 : 0;
    });
}

int DEF_parse_name(const char *str, char *ostr) {
    if (str == nullptr || ostr == nullptr) return 0;
    return vyr::copy_text(ostr, kKeyMax + 1, name_part(str), vyr::Overflow::Refuse) ? 1 : 0;
}

int DEF_env(const char *resrc, const char *env, char *value) {
    if (resrc == nullptr || value == nullptr) return 0;
    return vyr::guarded(0, [&] {
        const char *found = std::getenv(("vyr" + full_name(resrc)).c_str());
        if (found == nullptr && env != nullptr && env[0] != '\0') found = std::getenv(env);
        if (found == nullptr) found = std::getenv((std::string("vyr") + resrc).c_str());
        if (found == nullptr) return 0;
        // An oversized value is refused whole rather than cut.
        return vyr::copy_text(value, kValueMax + 1, found, vyr::Overflow::Refuse) ? 1 : 0;
    });
}
