// files.cpp - the files module: everything that turns a name into a file.
//
// Sections, in order: module state; reference time; paths and file access.
// File-name conventions, date-based naming, file selection and the search
// for the current file live in this module too, each in its own section.
//
// A file name holds at most 159 characters after "~" expansion. A longer
// name is refused, never cut: a cut name could open, create or describe a
// different file from the one the user wrote.
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "vyr.h"
#include "vyr_int.h"

// ---------------------------------------------------------------------------
// Module state

namespace {

constexpr std::size_t kNameMax = 159;  // characters of a file name
constexpr mode_t kDirMode = 0755;      // less the process's umask

// Reference-time settings before anything is stored: nothing fixed, and
// whole minutes.
constexpr Date kUnsetReference = {VYR_MISSING, VYR_MISSING, VYR_MISSING, VYR_MISSING,
                                  VYR_MISSING, VYR_MISSING, VYR_MISSING, 0};

constexpr std::size_t kKeyMax = 29;  // characters of a substitution key

struct State {
    Date set = kUnsetReference;  // fixed or stepped date fields for naming
    std::string keys[256];       // substitution keys by character; empty: unset
};
State g;

// ---------------------------------------------------------------------------
// Paths and file access: helpers

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fa = static_cast<unsigned char>(a[i]), fb = static_cast<unsigned char>(b[i]);
        if (fa >= 'A' && fa <= 'Z') fa = static_cast<unsigned char>(fa + ('a' - 'A'));
        if (fb >= 'A' && fb <= 'Z') fb = static_cast<unsigned char>(fb + ('a' - 'A'));
        if (fa != fb) return false;
    }
    return true;
}

bool is_stdio(std::string_view name) {
    return name.empty() || name == "-" || iequals(name, "std") || iequals(name, "stdn");
}

struct Expanded {
    std::string name;
    bool known_user = true;  // false: "~user" named nobody the system knows
};

// A leading "~" or "~user" becomes that user's home directory. An unknown
// user leaves the name as written.
Expanded expand_home(std::string_view file) {
    if (file.empty() || file[0] != '~') return {std::string(file), true};
    std::size_t slash = file.find('/');
    std::string user(file.substr(1, slash == std::string_view::npos ? slash : slash - 1));
    const passwd *pw = user.empty() ? getpwuid(getuid()) : getpwnam(user.c_str());
    if (pw == nullptr || pw->pw_dir == nullptr) return {std::string(file), false};
    std::string out = pw->pw_dir;
    if (slash != std::string_view::npos) out.append(file.substr(slash));
    return {std::move(out), true};
}

// The expanded name when it fits the limit.
bool expanded_name(const char *file, std::string &out) {
    if (file == nullptr) return false;
    Expanded e = expand_home(file);
    if (e.name.size() > kNameMax) return false;
    out = std::move(e.name);
    return true;
}

bool stat_name(const std::string &name, struct stat &st) { return ::stat(name.c_str(), &st) == 0; }

// Copies a name into a caller's 160-byte buffer, or writes the empty text
// when it does not fit.
bool put_name(std::string_view s, char *out) {
    if (s.size() > kNameMax) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, s.data(), s.size());
    out[s.size()] = '\0';
    return true;
}

// Splits at "/" the way parse_string does: trailing separators dropped, an
// empty first part for a leading "/", empty parts for doubled ones.
std::vector<std::string> split_path(const std::string &dir) {
    std::vector<std::string> parts;
    std::size_t end = dir.find_last_not_of('/');
    if (end == std::string::npos) {
        if (!dir.empty()) parts.emplace_back();
        return parts;
    }
    std::size_t start = 0;
    for (;;) {
        std::size_t slash = dir.find('/', start);
        if (slash == std::string::npos || slash > end) {
            parts.push_back(dir.substr(start, end + 1 - start));
            return parts;
        }
        parts.push_back(dir.substr(start, slash - start));
        start = slash + 1;
    }
}

// Creates the missing directories of dir, all but its last `flag` parts.
// dir gets "\" turned into "/". Returns 1 when the parent already exists.
int make_dir(std::string &dir, int flag) {
    for (char &c : dir)
        if (c == '\\') c = '/';
    std::size_t last = dir.rfind('/');
    struct stat st;
    // The parent is a directory path, never a stream name: stat it as written.
    if (last != std::string::npos && last > 0 && stat_name(dir.substr(0, last), st)) return 1;
    std::vector<std::string> parts = split_path(dir);
    if (flag < 0) flag = 0;
    std::size_t keep = parts.size() > static_cast<std::size_t>(flag)
                           ? parts.size() - static_cast<std::size_t>(flag)
                           : 0;
    std::string built;
    for (std::size_t i = 0; i < keep; ++i) {
        if (parts[i].empty()) {
            if (built.empty() || built.back() != '/') built += '/';
            continue;
        }
        built += parts[i];
        built += '/';
        // An existing directory makes mkdir fail; the open that follows
        // shows any real failure.
        ::mkdir(built.c_str(), kDirMode);
    }
    return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Reference time

namespace vyr {

const Date &reference_time() { return g.set; }

void reset_reference_time() { g.set = kUnsetReference; }

void reset_files() { g = State{}; }

const char *file_key(char k) { return g.keys[static_cast<unsigned char>(k)].c_str(); }

}  // namespace vyr

int FILE_set_key(char key, const char *str) {
    return vyr::guarded(0, [&] {
        std::string v(std::string_view(str ? str : "").substr(0, kKeyMax));
        for (char &c : v)
            if (c == ' ') c = '_';
        g.keys[static_cast<unsigned char>(key)] = std::move(v);
        return 0;
    });
}

int FILE_set_time(const Date *datim) {
    if (datim == nullptr) return -1;
    g.set = *datim;
    return 0;
}

// ---------------------------------------------------------------------------
// Paths and file access

int FILE_is_stdio(const char *file) { return file != nullptr && is_stdio(file) ? 1 : 0; }

int FILE_fullpath(const char *filename) {
    if (filename == nullptr) return 0;
    return (filename[0] == '/' || filename[0] == '.' || filename[0] == '~') ? 1 : 0;
}

int FILE_add_path_delim(char *path) {
    if (path == nullptr || path[0] == '\0') return 0;
    std::size_t n = std::strlen(path);
    if (path[n - 1] != '/') {
        path[n] = '/';
        path[n + 1] = '\0';
    }
    return 0;
}

char *FILE_add_path(const char *path, const char *file, char *filename) {
    if (filename == nullptr) return nullptr;
    return vyr::guarded<char *>(nullptr, [&]() -> char * {
        std::string_view f = file ? file : "";
        std::string joined;
        if (is_stdio(f) || FILE_fullpath(file)) {
            joined = f;
        } else {
            joined = path ? path : "";
            if (!joined.empty() && joined.back() != '/') joined += '/';
            joined += f;
        }
        return put_name(joined, filename) ? filename : nullptr;
    });
}

int FILE_add_user_path(const char *file, char *filename) {
    if (filename == nullptr) return -1;
    if (file == nullptr) {
        filename[0] = '\0';
        return -1;
    }
    // Expanded into a string first, so file and filename may be one buffer.
    return vyr::guarded(-1, [&] { return put_name(expand_home(file).name, filename) ? 0 : -1; });
}

int FILE_exist(const char *file) {
    if (file == nullptr) return 0;
    if (is_stdio(file)) return 1;
    return vyr::guarded(0, [&] {
        std::string name;
        struct stat st;
        return expanded_name(file, name) && stat_name(name, st) ? 1 : 0;
    });
}

int FILE_is_dir(const char *file) {
    return vyr::guarded(0, [&] {
        std::string name;
        struct stat st;
        return expanded_name(file, name) && stat_name(name, st) && S_ISDIR(st.st_mode) ? 1 : 0;
    });
}

int64_t FILE_size(const char *file) {
    return vyr::guarded<int64_t>(-1, [&]() -> int64_t {
        std::string name;
        struct stat st;
        if (!expanded_name(file, name) || !stat_name(name, st)) return -1;
        return static_cast<int64_t>(st.st_size);
    });
}

int FILE_make_dir(char *dir, int flag) {
    if (dir == nullptr) return 1;
    for (char *p = dir; *p; ++p)
        if (*p == '\\') *p = '/';
    return vyr::guarded(0, [&] {
        std::string d = dir;
        return make_dir(d, flag);
    });
}

FILE *FILE_open(const char *file, const char *access) {
    if (file == nullptr || access == nullptr) return nullptr;
    char mode = access[0];
    if (is_stdio(file)) return mode == 'r' ? stdin : stdout;
    if (std::strlen(file) > kNameMax) return nullptr;
    if (file[0] == '|') {
        // A pipe only has a direction; "rb" or "a" would make popen fail.
        const char *dir = mode == 'r' ? "r" : (mode == 'w' || mode == 'a') ? "w" : nullptr;
        if (dir == nullptr) return nullptr;
        // What this process printed so far must come before the command's output.
        std::fflush(stdout);
        return popen(file + 1, dir);
    }
    return vyr::guarded<FILE *>(nullptr, [&]() -> FILE * {
        Expanded e = expand_home(file);
        if (e.name.size() > kNameMax) return nullptr;
        if (mode == 'w' || mode == 'a') {
            // Writing under an unknown "~user" would create a directory
            // literally named "~user" instead of failing.
            if (!e.known_user) return nullptr;
            make_dir(e.name, 1);
        }
        return std::fopen(e.name.c_str(), access);
    });
}
