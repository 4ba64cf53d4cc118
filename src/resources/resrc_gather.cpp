// resrc_gather.cpp - resource values gathered from their sources, in
// rising precedence: definition files and display windows along the search
// path, the environment, the command line.
//
// Nothing gathered here is ever used as a format: definition-file lines,
// environment values, window answers and options may hold "%" and any other
// byte.
#include "resrc_gather.h"

#include <cstdlib>
#include <cstring>

#include "vyr_build.h"

namespace {

using namespace vyr::resources;

// Ends with the configuration directory chosen at configure time.
constexpr const char *kDefaultPath = VYR_DEFAULT_SEARCH_PATH;

// "-x...", a dash and a letter: what the search-path pre-scan counts.
bool single_dash_option(const char *a) { return a[0] == '-' && vyr::is_letter(a[1]); }

// "-x..." or "--x...". A negative number, "-" and "--" alone are not options.
bool is_option(const char *a) {
    return a[0] == '-' && (vyr::is_letter(a[1]) || (a[1] == '-' && vyr::is_letter(a[2])));
}

int count_rows(const RES_defobj *table) {
    int n = 0;
    if (table != nullptr)
        while (table[n].def != nullptr) ++n;
    return n;
}

// One option of the command line: its name (cut to 49 characters) and its
// value, from after the first "=" or from the next argument.
struct Option {
    char name[kNameCap];
    const char *value;
    bool value_from_next;
};

// Reads the option argv[i] whose name starts at name_start. When the value
// is the next argument, i is moved onto it.
//
// An argument that is itself an option, in either the one-dash or the
// two-dash form, is never taken as a value: otherwise "-cu --fp=/data"
// would swallow the path setting.
Option read_option(int argc, char **argv, int &i, const char *name_start) {
    Option opt{};
    const char *arg = argv[i];
    const char *eq = std::strchr(arg + 1, '=');
    std::size_t n = eq ? static_cast<std::size_t>(eq - name_start) : std::strlen(name_start);
    vyr::copy_text(opt.name, sizeof opt.name, {name_start, n}, vyr::Overflow::Cut);
    if (eq != nullptr) {
        opt.value = eq + 1;
    } else if (i + 1 < argc && argv[i + 1] != nullptr && !is_option(argv[i + 1])) {
        opt.value = argv[++i];
        opt.value_from_next = true;
    }
    return opt;
}

// "n", "na", "nam" or "name": the program title.
bool names_title(const char *name, bool any_case) {
    std::size_t n = std::strlen(name);
    if (n == 0 || n > 4) return false;
    return any_case ? strnicmp(name, "name", static_cast<int>(n)) == 0
                    : std::strncmp(name, "name", n) == 0;
}

// A name beginning with "default" or "df": the resource search path.
bool names_default(const char *name, bool any_case) {
    if (any_case) return strnicmp(name, "default", 7) == 0 || strnicmp(name, "df", 2) == 0;
    return std::strncmp(name, "default", 7) == 0 || std::strncmp(name, "df", 2) == 0;
}

// The keys that steer the search are dealt with before any file is read.
void prescan_steering_keys(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == nullptr || !single_dash_option(argv[i])) continue;
        Option opt = read_option(argc, argv, i, argv[i] + 1);
        if (opt.value == nullptr) continue;
        if (names_title(opt.name, false)) {
            RES_put("name", opt.value);
            DEF_name(opt.value);
        } else if (names_default(opt.name, false)) {
            RES_put("default", opt.value);
        }
    }
}

// Offers every live line of one definition file (or directory) to the rows.
void read_definition_file(const RES_defobj *table, int rows, const char *element) {
    DEF_open(element);
    char key[kNameCap];
    char value[kValueCap];
    while (DEF_get(key, value) >= 0) {
        key[kNameCap - 1] = '\0';
        value[kValueCap - 1] = '\0';
        bool matched = false;
        for (int r = 0; r < rows; ++r) {
            if (!active(table[r]) || !DEF_cmp(table[r].def, key)) continue;
            MESS_print(M_DEBUG_RES, "RESRC: %s=%s\n", key, value);
            store_for_row(table, r, value);
            matched = true;
        }
        if (!matched && DEF_valid(key)) {
            char name[kNameCap] = "";  // the tail of key, so no longer than it
            if (DEF_parse_name(key, name) == 1) {
                name[kNameCap - 1] = '\0';
                RES_put(name, value);
            }
        }
    }
    DEF_close();
}

void walk_search_path(const RES_defobj *table, int rows) {
    const char *path = RES_get("default");
    if (path == nullptr) path = kDefaultPath;
    int n = 0;
    char **elements = nullptr;
    if (path[0] == '\0') {
        // An empty path is one empty element: ".vyrdef" here.
        static char empty[] = "";
        static char *only[] = {empty};
        n = 1;
        elements = only;
    } else {
        parse_string(path, ':', &n, &elements);
    }
    DEF_clr_tag();
    for (int k = 0; k < n; ++k) {
        const char *e = elements[k];
        if (e[0] == '+')
            DEF_tag(e + 1);
        else if (e[0] == '#' && vyr::is_digit(e[1]))
            exchange_with_window(table, rows, e + 1);
        else
            read_definition_file(table, rows, e);
    }
    if (path[0] != '\0') free_parsed_array(n, elements);
}

void read_environment(const RES_defobj *table, int rows) {
    for (int r = 0; r < rows; ++r) {
        if (!active(table[r])) continue;
        char value[kValueCap] = "";
        if (DEF_env(table[r].def, table[r].env ? table[r].env : "", value) != 1) continue;
        value[kValueCap - 1] = '\0';
        store_for_row(table, r, value);
    }
}

// The first keyed row the option name selects: by key, by name, by a
// leading part of the name; -1 when none does.
int find_keyed_row(const RES_defobj *table, int rows, const char *name) {
    for (int r = 0; r < rows; ++r)
        if (active(table[r]) && table[r].pos == 0 && table[r].cmd &&
            stricmp(name, table[r].cmd) == 0)
            return r;
    for (int r = 0; r < rows; ++r)
        if (active(table[r]) && table[r].pos == 0 && stricmp(name, table[r].def) == 0) return r;
    auto n = static_cast<int>(std::strlen(name));
    for (int r = 0; r < rows; ++r)
        if (active(table[r]) && table[r].pos == 0 && strnicmp(name, table[r].def, n) == 0) return r;
    return -1;
}

int find_positional_row(const RES_defobj *table, int rows, int count) {
    for (int r = 0; r < rows; ++r)
        if (active(table[r]) && table[r].pos == count) return r;
    for (int r = 0; r < rows; ++r)
        if (active(table[r]) && table[r].pos == kAllPositional) return r;
    return -1;
}

bool flag_like(DEF_convert cvt) { return cvt == CV_bool || cvt == CV_batch || cvt == CV_help; }

void read_command_line(const RES_defobj *table, int rows, int argc, char **argv) {
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (arg == nullptr || std::strcmp(arg, "--") == 0) continue;
        if (!is_option(arg)) {
            ++count;
            int r = find_positional_row(table, rows, count);
            if (r < 0) continue;
            if (table[r].pos == kAllPositional && count > 1)
                RES_append(r, table[r].def, arg, table[r].cvt);
            else
                store_for_row(table, r, arg);
            continue;
        }
        const char *name_start = arg[1] == '-' ? arg + 2 : arg + 1;
        Option opt = read_option(argc, argv, i, name_start);
        // The pre-scan has dealt with these, whatever row they might match.
        if (names_title(opt.name, true) || names_default(opt.name, true)) continue;
        int r = find_keyed_row(table, rows, opt.name);
        if (r < 0) {
            RES_put(opt.name, opt.value);
            continue;
        }
        if (opt.value_from_next && flag_like(table[r].cvt)) {
            --i;  // a switch takes no value: the argument is read again
            opt.value = nullptr;
        }
        store_for_row(table, r, opt.value);
        // A free resource is not sent: the window keeps only rows' settings.
        send_to_window(table[r].def, opt.value ? opt.value : "");
    }
}

}  // namespace

namespace vyr {

void gather_resources(const RES_defobj *table, int argc, char **argv) {
    const int rows = count_rows(table);
    RES_setCL(argc, argv);
    DEF_prog();
    if (const char *path = std::getenv("vyrdefault")) {
        char value[kValueCap];
        copy_text(value, sizeof value, path, Overflow::Cut);
        RES_put("default", value);
    }
    prescan_steering_keys(argc, argv);
    walk_search_path(table, rows);
    read_environment(table, rows);
    read_command_line(table, rows, argc, argv);
    resources::close_window();
}

void reset_resources() {
    reset_value_store();
    resources::forget_window();
}

}  // namespace vyr
