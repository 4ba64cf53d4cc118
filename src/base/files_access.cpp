// files_access.cpp - paths and file access: "~" names, joined paths,
// existence and kind, missing directories, and one way to open and to
// close a file, a standard stream or a command.
//
// A file name holds at most 159 characters after "~" expansion. A longer
// name is refused, never cut: a cut name could open, create or describe a
// different file from the one the user wrote.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base_int.h"
#include "vyrbase.h"

namespace {

constexpr mode_t kDirMode = 0755;  // less the process's umask
using vyr::iequals;
using vyr::is_stream_name;

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
    if (e.name.size() > VYR_NAME_MAX) return false;
    out = std::move(e.name);
    return true;
}

bool stat_name(const std::string &name, struct stat &st) { return ::stat(name.c_str(), &st) == 0; }

// Copies a name into a caller's 160-byte buffer, or writes the empty text
// when it does not fit.
bool put_name(std::string_view s, char *out) {
    return vyr::copy_text(out, VYR_NAME_MAX + 1, s, vyr::Overflow::Refuse);
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
// Paths and file access

namespace vyr {

std::string home_expanded(std::string_view name) { return expand_home(name).name; }

}  // namespace vyr

int FILE_is_stdio(const char *file) { return file != nullptr && is_stream_name(file) ? 1 : 0; }

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
        if (is_stream_name(f) || FILE_fullpath(file)) {
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
    if (is_stream_name(file)) return 1;
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
    if (is_stream_name(file)) return mode == 'r' ? stdin : stdout;
    if (std::strlen(file) > VYR_NAME_MAX) return nullptr;
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
        if (e.name.size() > VYR_NAME_MAX) return nullptr;
        if (mode == 'w' || mode == 'a') {
            // Writing under an unknown "~user" would create a directory
            // literally named "~user" instead of failing.
            if (!e.known_user) return nullptr;
            make_dir(e.name, 1);
        }
        return std::fopen(e.name.c_str(), access);
    });
}

namespace vyr {

bool close_opened(FILE *f, const char *name, bool read_to_end) {
    if (f == nullptr) return false;
    // Only a written stream has anything to flush; a read one tells its
    // read errors. The descriptor's access mode says which it is.
    const int fl = ::fcntl(fileno(f), F_GETFL);
    const bool reading = fl != -1 && (fl & O_ACCMODE) == O_RDONLY;
    const bool flushed = (reading || std::fflush(f) == 0) && !std::ferror(f);
    if (f == stdin || f == stdout || f == stderr) return flushed;
    if (name != nullptr && name[0] == '|') {
        const int status = pclose(f);
        if (!read_to_end) return flushed;
        return flushed && status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return std::fclose(f) == 0 && flushed;
}

}  // namespace vyr

// ---------------------------------------------------------------------------
// Files that steer the program, and files it writes

namespace {

// Others can write a directory's entries unless its sticky bit keeps them
// to their own.
bool open_to_others(const struct stat &dir) {
    return (dir.st_mode & S_IWOTH) != 0 && (dir.st_mode & S_ISVTX) == 0;
}

bool dir_open_to_others(const std::string &file) {
    const std::size_t slash = file.rfind('/');
    const std::string dir = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : file.substr(0, slash);
    struct stat st;
    return stat_name(dir, st) && open_to_others(st);
}

}  // namespace

namespace vyr {

ConfigCheck check_config_file(std::string_view name) {
    if (is_stream_name(name) || name[0] == '|') return ConfigCheck::Ok;  // the user's own words
    const std::string file = expand_home(name).name;
    struct stat st;
    if (!stat_name(file, st)) return ConfigCheck::Ok;  // missing: the open fails quietly
    if (!S_ISREG(st.st_mode)) return ConfigCheck::NotRegular;
    if ((st.st_uid != ::geteuid() && st.st_uid != 0) || (st.st_mode & S_IWOTH) != 0)
        return ConfigCheck::NotTrusted;
    // The entry may be swapped by whoever can write its directory: the one
    // it was named in, and the one a symbolic link leads to.
    if (dir_open_to_others(file)) return ConfigCheck::NotTrusted;
    char real[PATH_MAX];
    if (::realpath(file.c_str(), real) != nullptr && dir_open_to_others(real))
        return ConfigCheck::NotTrusted;
    return ConfigCheck::Ok;
}

bool same_file(const char *in_name, const char *out_name) {
    if (in_name == nullptr || out_name == nullptr || in_name[0] == '|' || out_name[0] == '|')
        return false;
    // A standard stream is what the descriptor holds: standard input on
    // one side, standard output on the other.
    auto identify = [](const char *name, int fd, struct stat &st) {
        if (is_stream_name(name)) return ::fstat(fd, &st) == 0;
        std::string file;
        return expanded_name(name, file) && stat_name(file, st);
    };
    struct stat a, b;
    if (!identify(in_name, STDIN_FILENO, a) || !S_ISREG(a.st_mode)) return false;
    if (!identify(out_name, STDOUT_FILENO, b)) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void open_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // Read-only even for 1 and 2: what is written there still fails,
        // but no file the program opens can take their numbers.
        const int got = ::open("/dev/null", O_RDONLY);
        if (got != fd && got >= 0) ::close(got);
    }
}

OutputFile::~OutputFile() {
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

FILE *OutputFile::open(const char *name) {
    name_ = name ? name : "";
    temp_.clear();
    std::string target;
    if (name_.size() > VYR_NAME_MAX) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    if (is_stream_name(name_) || name_[0] == '|') return stream_ = FILE_open(name, "w");
    const Expanded e = expand_home(name_);
    target = e.name;
    struct stat st;
    const bool exists = ::stat(target.c_str(), &st) == 0;
    // Devices and FIFOs are written as they are: there is nothing to replace.
    if ((exists && !S_ISREG(st.st_mode)) || !e.known_user || target.size() > VYR_NAME_MAX)
        return stream_ = FILE_open(name, "w");
    struct stat lst;
    if (::lstat(target.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        char real[PATH_MAX];
        if (::realpath(target.c_str(), real) == nullptr) return stream_ = FILE_open(name, "w");
        target = real;
    }
    make_dir(target, 1);
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = dir + "." + base + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    // A directory where no new entry can be made may still hold a file
    // that can be written: write it in place, as before.
    if (fd < 0) return stream_ = FILE_open(name, "w");
    if (exists) {
        ::fchmod(fd, st.st_mode & 07777);
        if (::fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0) {
            // Not a member of the file's group: it takes ours.
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    stream_ = ::fdopen(fd, "w");
    if (stream_ == nullptr) {
        const int err = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        errno = err;
        return nullptr;
    }
    temp_ = std::move(temp);
    target_ = std::move(target);
    return stream_;
}

bool OutputFile::suspend() {
    if (temp_.empty() || stream_ == nullptr) return stream_ != nullptr;
    FILE *f = stream_;
    stream_ = nullptr;
    suspended_ = true;
    return close_opened(f, temp_.c_str());
}

FILE *OutputFile::resume() {
    if (!suspended_) return stream_;
    stream_ = std::fopen(temp_.c_str(), "a");
    suspended_ = stream_ == nullptr;
    return stream_;
}

bool OutputFile::close(bool written) {
    if (stream_ == nullptr && !suspended_) return false;
    FILE *f = stream_;
    stream_ = nullptr;
    suspended_ = false;
    if (temp_.empty()) return close_opened(f, name_.c_str()) && written;
    bool ok = f == nullptr || close_opened(f, temp_.c_str());
    int err = errno;
    if (ok && written) {
        ok = ::rename(temp_.c_str(), target_.c_str()) == 0;
        err = errno;
        if (ok) temp_.clear();
    } else {
        ok = false;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
    errno = err;
    return ok;
}

}  // namespace vyr
