// files.cpp - the files module: everything that turns a name into a file.
//
// Sections, in order: module state; reference time and keys; conventions;
// naming; the current-file search; selection. The rules themselves hold no
// state and live in files_pattern.cpp, files_conv.cpp, files_select.cpp and
// files_current.cpp (files_rules.h); paths and file access, which know
// nothing of conventions, are in files_access.cpp. This file keeps the
// state the rules read and write.

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files_int.h"
#include "files_rules.h"
#include "vyrfiles.h"
#include "vyrresrc.h"

// ---------------------------------------------------------------------------
// Module state

namespace {

// Reference-time settings before anything is stored: nothing fixed, and
// whole minutes.
constexpr Date kUnsetReference = {VYR_MISSING, VYR_MISSING, VYR_MISSING, VYR_MISSING,
                                  VYR_MISSING, VYR_MISSING, VYR_MISSING, 0};
constexpr Date kMissingDate = {VYR_MISSING, VYR_MISSING, VYR_MISSING, VYR_MISSING,
                               VYR_MISSING, VYR_MISSING, VYR_MISSING, VYR_MISSING};

constexpr std::size_t kKeyMax = 29;  // characters of a substitution key
constexpr int kRetry = 4;            // answers at the file prompt before giving up
constexpr std::size_t kAnswerSize = 80;

struct State {
    Date set = kUnsetReference;  // fixed or stepped date fields for naming
    vyr::files::Keys keys;       // substitution keys by character; empty: unset

    // The active convention (FILE_set_name).
    std::string conv;   // name pattern; empty: no convention
    std::string hconv;  // header pattern, kept for the programs that write one
    int min_size = 0;   // a file must be bigger to count in the latest search
    std::string ext;    // extension of a prefix match, or learnt from a name

    // The current file. filename may exceed 159 characters: a name refused
    // as too long stays here so that it is reported, and never exists.
    std::string filename;
    int filename_type = 0;  // 1 given or chosen literally, 0 built or searched
    Date file_date = kMissingDate;
    int64_t late_off = VYR_MISSING;  // naming period of the last name built

    int retry = kRetry;
    int file_type = 0;         // 1: requests carry extra information
    std::string ext_info;      // the extra information of the last request
    bool conv_warned = false;  // the convention file's absence was told
};
State g;

// The listing's runner; outside State so that a reset keeps a test's choice.
vyr::list_fn g_lister = nullptr;

}  // namespace

// ---------------------------------------------------------------------------
// Reference time and keys

namespace vyr {

const Date &reference_time() { return g.set; }

void reset_reference_time() { g.set = kUnsetReference; }

void reset_files() { g = State{}; }

const char *file_key(char k) { return g.keys[static_cast<unsigned char>(k)].c_str(); }

void set_file_lister(list_fn fn) { g_lister = fn; }

FileConvention file_convention() { return {g.conv, g.hconv, g.ext, g.min_size}; }

void set_file_type(int type) { g.file_type = type; }

const char *file_extra_info() { return g.ext_info.c_str(); }

}  // namespace vyr

// ---------------------------------------------------------------------------
// Conventions, naming, current search and selection: helpers

namespace {

namespace rules = vyr::files;

// What the rules read of the module and the resources.
rules::Context context() {
    rules::Context c;
    c.resource = [](const char *name) { return RES_get(name); };
    c.keys = &g.keys;
    c.ext = g.ext;
    c.set = g.set;
    return c;
}

void mark_date_missing(Date &d) { d.year = d.month = d.day = d.hour = d.min = VYR_MISSING; }

// Copies a name built here into a caller's buffer (160 bytes; may be null).
// A name past 159 characters is refused: the buffer gets the empty text and
// the result is false.
bool hand_out(const std::string &name, char *out) {
    if (out == nullptr) return name.size() <= VYR_NAME_MAX;
    return vyr::copy_text(out, VYR_NAME_BUFFER, name, vyr::Overflow::Refuse);
}

bool current_file_exists() {
    return g.filename.size() <= VYR_NAME_MAX && FILE_exist(g.filename.c_str()) == 1;
}

// The convention file: "name_conv" (or its resource) in the file_path
// directory. Empty when the name cannot be had or is a standard stream:
// the conventions are never read from the terminal.
std::string convention_file(std::string &shown) {
    const char *nc = RES_get("name_conv");
    const std::string name = (nc && *nc) ? nc : "name_conv";
    const char *dir = RES_get("file_path");
    shown = name;
    if (dir && *dir && !rules::carries_path(name) && !vyr::is_stream_name(name))
        shown = std::string(dir) + (dir[std::strlen(dir) - 1] == '/' ? "" : "/") + name;
    char joined[VYR_NAME_BUFFER];
    if (vyr::is_stream_name(name) || FILE_add_path(dir, name.c_str(), joined) == nullptr) return {};
    return joined;
}

int set_name(const char *type) {
    g.filename.clear();
    const std::string_view t = type ? type : "";
    if (vyr::iequals(t, "none")) {
        g.conv.clear();
        return 0;
    }
    // The empty type names the standard stream, as the empty name does.
    if (t.empty()) {
        g.conv.assign(1, '-');
        return 0;
    }
    if (t[0] == '@') {
        g.conv = rules::literal_path(t.substr(1));
        return 1;
    }
    // Key assignments are taken off a copy: the caller's text may be a
    // resource value, which is never written through.
    const rules::TypeName tn = rules::split_type(t);
    for (const auto &k : tn.keys) {
        FILE_set_key(k.key, k.value.c_str());
        MESS_print(M_DEBUG_RES, "KEY: %c = %s\n", k.key, k.value.c_str());
    }
    std::string shown;
    const std::string path = convention_file(shown);
    // A convention line can name a command: only a file the user could have
    // written alone is read. Each program names several types; what is
    // wrong with the file is said once.
    const char *skipped = nullptr;
    if (!path.empty()) switch (vyr::check_config_file(path)) {
            case vyr::ConfigCheck::Ok: break;
            case vyr::ConfigCheck::NotRegular:
                skipped = "Convention file skipped, not a regular file: %s\n";
                break;
            case vyr::ConfigCheck::NotTrusted:
                skipped = "Convention file skipped, not trusted: %s\n";
                break;
        }
    FILE *f = path.empty() || skipped ? nullptr : FILE_open(path.c_str(), "r");
    if (f == nullptr) {
        if (!g.conv_warned)
            MESS_print(M_WARN,
                       skipped ? skipped : "FILE_set_name: No file name convention file: %s\n",
                       (skipped ? path : shown).c_str());
        g.conv_warned = true;
        g.conv = tn.name;
        return 0;
    }
    MESS_print(M_DEBUG_CONV, "Opening name convention file: %s\n", path.c_str());
    g.ext.clear();
    char line[VYR_NAME_BUFFER];
    rules::ConventionLine cl;
    while (fgetnline(f, line, static_cast<int>(VYR_NAME_MAX)) >= 0) {
        if (!rules::read_convention_line(line, cl)) continue;
        const rules::Match m = rules::match_type(cl.type, tn.name);
        if (m == rules::Match::None) continue;
        g.conv = cl.pattern;
        g.hconv = cl.header;
        g.min_size = cl.min_size;
        if (m == rules::Match::Exact) {
            MESS_print(M_DEBUG_CONV, "File name match for: %s\n", tn.name.c_str());
        } else {
            g.ext = rules::type_extension(tn.name);
            MESS_print(M_DEBUG_CONV, "File name partial match for: %s-%s ext: %s\n",
                       tn.name.c_str(), cl.type.c_str(), g.ext.c_str());
        }
        vyr::close_opened(f, path.c_str());
        return 1;
    }
    vyr::close_opened(f, path.c_str());
    // The type itself becomes the pattern; no line's header or size goes with it.
    g.conv = tn.name;
    g.hconv.clear();
    g.min_size = 0;
    MESS_print(M_DEBUG_CONV, "No file name conversion for: %s\n", tn.name.c_str());
    return 0;
}

struct NameResult {
    std::string name;
    int status;  // 0 built from the pattern, 1 not
};

NameResult set_date(const Date *datim) {
    // No name built, no period: a stale one would step a later search.
    g.late_off = VYR_MISSING;
    if (g.conv.empty()) {
        g.filename_type = 1;
        return {g.filename.empty() ? "filename" : g.filename, 1};
    }
    if (vyr::is_stream_name(g.conv)) {
        g.filename_type = 0;
        return {"-", 1};
    }
    std::optional<std::string> path;
    if (g.filename_type == 1 && rules::carries_path(g.filename)) {
        path = rules::extracted_path(g.filename, g.conv);
        if (path) MESS_print(M_DEBUG_DOM, "Extracted path: %s\n", path->c_str());
    }
    Date source;
    if (datim != nullptr) {
        source = *datim;
        mark_date_missing(g.file_date);
    } else {
        source = g.file_date;
    }
    if (source.year == VYR_MISSING && !g.filename.empty()) {
        g.filename_type = 1;
        return {g.filename, 1};
    }
    rules::Named n =
        rules::write_name(g.conv, source, g.file_date, context(), path ? &*path : nullptr);
    g.file_date = n.date;
    g.late_off = n.period;
    g.filename = n.name;
    return {std::move(n.name), 0};
}

// Runs a current expression (null: "la"); the chosen time, lowered to the
// naming period, goes to secs.
std::string set_current(const char *cur, int64_t &secs) {
    const std::string expr = cur ? cur : "la";
    g.filename_type = 0;
    const rules::Reference ref =
        rules::reference_time(expr, std::getenv("vyrcurtime"), vyr::clock_now());
    const int64_t t = rules::align(ref.secs, g.set);
    const rules::Namer namer = [](const Date &d) {
        NameResult r = set_date(&d);
        return rules::CandidateName{std::move(r.name), g.late_off};
    };
    const rules::Sizer sizer = [](const std::string &name) -> int64_t {
        return name.size() > VYR_NAME_MAX ? -1 : FILE_size(name.c_str());
    };
    const rules::Chosen c =
        rules::run_current(std::string_view(expr).substr(ref.used), t, namer, sizer, g.min_size);
    secs = rules::lower_to_period(c.secs, g.late_off);
    return c.named.name;
}

std::string current_named(const char *cur) {
    int64_t secs = 0;
    std::string name = set_current(cur, secs);
    MESS_print(M_MESS, "Current filename: %s\n", name.c_str());
    return name;
}

std::string set_file(const char *file) {
    std::string asked = file ? file : "";
    if (!asked.empty() && asked[0] == '|') {
        // A command's "#" belongs to the shell: no date suffix is cut off.
    } else if (g.file_type == 0) {
        rules::cut_date_suffix(asked, g.set);
    } else if (!asked.empty()) {
        std::string tail = asked.substr(1);
        g.ext_info = rules::cut_extra_info(tail);
        asked = asked.substr(0, 1) + tail;
    }
    g.file_date = g.set;
    const rules::Classified c = rules::classify(asked, g.conv);
    switch (c.form) {
        case rules::Form::Exit: VYR_exit(VYR_OK);
        case rules::Form::Literal: g.filename_type = 1; return c.text;
        case rules::Form::Stream: return c.text;
        case rules::Form::Plain:
            g.filename = c.text;
            g.filename_type = 1;
            return c.text;
        case rules::Form::Current: return current_named(c.text.c_str());
        case rules::Form::None:
        case rules::Form::OwnPath: return c.text;
        case rules::Form::Walk: break;
    }
    rules::Walked w = rules::walk(asked, g.conv, g.file_date, context());
    g.file_date = w.date;
    g.ext = std::move(w.ext);
    return std::move(w.name);
}

void list_files() {
    const std::string cmd = rules::list_command(
        g.conv, context(), [](const std::string &s) { return vyr::home_expanded(s); });
    MESS_print(M_DEBUG, "SEARCH: %s\n", cmd.c_str());
    // The listing goes straight to the terminal, after what was printed so far.
    vyr::flush_messages();
    std::fflush(stdout);
    if (g_lister != nullptr)
        g_lister(cmd.c_str());
    else if (std::system(cmd.c_str()) == -1)
        MESS_print(M_WARN, "Unable to list the files: %s\n", cmd.c_str());
}

// The selection ends with the current file: handed to the caller, 1 when it
// exists. A name past the limit ends the program as a missing file does.
int choose_current(const char *cur, char *outfile) {
    int64_t secs = 0;
    g.filename = set_current(cur, secs);
    hand_out(g.filename, outfile);
    if (current_file_exists()) {
        MESS_print(M_MESS, "Current filename: %s\n", g.filename.c_str());
        return 1;
    }
    MESS_print(M_WARN, "File not found: %s\n", g.filename.c_str());
    VYR_exit(VYR_NO_INPUT);
}

int from_command_line(const std::string &first, char *outfile) {
    if (vyr::iequals(first, "list")) {
        list_files();
        VYR_exit(VYR_OK);
    }
    g.filename_type = 1;
    g.filename = set_file(first.c_str());
    if (!hand_out(g.filename, outfile)) {
        // The caller would open the empty name, standard input: end here.
        MESS_print(M_WARN, "File not found: %s\n", g.filename.c_str());
        VYR_exit(VYR_NO_INPUT);
    }
    return current_file_exists() ? 1 : 0;
}

int ask_user(const char *prompt, char *outfile) {
    MESS_print(M_PRINT, "List of available files:\n");
    list_files();
    MESS_print(M_PRINT, "\n");
    for (int tries = 0; tries < g.retry;) {
        g.filename_type = 1;
        char answer[kAnswerSize] = "";
        VYR_prompts(prompt, answer, static_cast<int>(sizeof answer));
        const std::string_view a = answer;
        if (vyr::iequals(a, "exit")) VYR_exit(VYR_OK);
        if (vyr::iequals(a, "list")) {
            // Listing again is no answer: it costs no try.
            list_files();
            continue;
        }
        if (!a.empty() && (a[0] == '#' || rules::istarts(a, "la")))
            g.filename = current_named(answer);
        else if (rules::istarts(a, "cu"))
            g.filename = current_named(answer + 2);
        else
            g.filename = set_file(answer);
        hand_out(g.filename, outfile);
        if (current_file_exists()) return 1;
        MESS_print(M_WARN, "File not found: %s\n", g.filename.c_str());
        ++tries;
    }
    VYR_exit(VYR_NO_INPUT);
}

// The first positional name of the command line, if any.
std::optional<std::string> first_positional() {
    int n = 0;
    char **names = nullptr;
    RES_getvals("filename", &n, &names);
    std::optional<std::string> first;
    if (n > 0 && names != nullptr && names[0] != nullptr) first = names[0];
    free_parsed_array(n, names);
    return first;
}

}  // namespace

int FILE_set_key(char key, const char *str) {
    return vyr::guarded(0, [&] {
        std::string v(std::string_view(str ? str : "").substr(0, kKeyMax));
        for (char &c : v)
            if (c == ' ') c = '_';
        g.keys[static_cast<unsigned char>(key)] = std::move(v);
        return 0;
    });
}

int FILE_set_name(const char *type) {
    return vyr::guarded(0, [&] { return set_name(type); });
}

// ---------------------------------------------------------------------------
// Naming

int FILE_set_time(const Date *datim) {
    if (datim == nullptr) return -1;
    g.set = *datim;
    return 0;
}

int FILE_set_date(const Date *datim, char *out_file) {
    return vyr::guarded(-1, [&] {
        NameResult r = set_date(datim);
        if (hand_out(r.name, out_file)) return r.status;
        MESS_print(M_WARN, "File name too long: %s\n", g.conv.c_str());
        return -1;
    });
}

// ---------------------------------------------------------------------------
// Current-file search

int64_t FILE_set_current(const char *cur, char *filename) {
    if (filename != nullptr) filename[0] = '\0';
    return vyr::guarded<int64_t>(0, [&] {
        int64_t secs = 0;
        const std::string name = set_current(cur, secs);
        hand_out(name, filename);
        return secs;
    });
}

// ---------------------------------------------------------------------------
// Selection

int FILE_get_file(const char *prompt, char *outfile) {
    return vyr::guarded(0, [&] {
        if (const std::optional<std::string> first = first_positional())
            return from_command_line(*first, outfile);
        if (const char *cur = RES_get("current")) {
            // Given without a value, it asks for the current period's file.
            std::string expr = cur;
            if (rules::istarts(expr, "cu")) expr.erase(0, 2);
            return choose_current(expr.c_str(), outfile);
        }
        if (FLAG_batch()) return choose_current("la", outfile);
        return ask_user(prompt, outfile);
    });
}

int FILE_set_file(const char *file, char *out_file) {
    return vyr::guarded(-1, [&] { return hand_out(set_file(file), out_file) ? 0 : -1; });
}

int FILE_list_file() {
    return vyr::guarded(0, [&] {
        list_files();
        return 0;
    });
}

int FILE_get_date(Date *date) {
    if (date != nullptr) *date = g.file_date;
    return 0;
}

int FILE_extract_extra_info(char *file) {
    if (file == nullptr) return 0;
    return vyr::guarded(0, [&] {
        std::string asked = file;
        g.ext_info = rules::cut_extra_info(asked);
        file[asked.size()] = '\0';
        return 0;
    });
}
