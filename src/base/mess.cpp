// mess.cpp - leveled message output.
//
// Every text for the user goes through MESS_print. A message is shown when
// its level shares a bit with the active mask; errors and warnings go to
// standard error, everything else to standard output. The same text can be
// logged (with or without a time stamp, or to a file reopened for every
// message), and in paging mode the terminal is held after a page of lines.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base_int.h"
#include "vyrbase.h"

namespace {

// Print, error, warn, mess, out1 and out2 with all their sub-levels.
constexpr M_type kInitialMask = M_PRINT | M_ERROR | M_WARN | M_MESS | M_OUT1 | M_OUT2;
constexpr int kDefaultPageLength = 22;

// Destination modes (mess_out).
constexpr int kLogOnly = 0;   // log file only
constexpr int kTerminal = 1;  // terminal, and the log file if one is open
constexpr int kStamped = -1;  // terminal, and the log file with time stamps
constexpr int kReopen = 2;    // terminal, and filename reopened per message

// Paging modes.
constexpr int kPageOff = 0;
constexpr int kPageCount = 2;  // 1: no counting, explicit holds still honoured

struct State {
    M_type mess_level = kInitialMask;
    int mess_set = 0;  // user settings so far
    int mess_out = kTerminal;
    int page = 1;
    int lines = 0;  // newlines shown since the last hold
    int max_lines = kDefaultPageLength;
    FILE *pfile = nullptr;  // log stream of "fi", "+fi", "-fi", "@fi"
    bool pfile_pipe = false;
    std::string filename;     // log file of "dfi", reopened per message
    FILE *out = nullptr;      // null: stdout
    FILE *err = nullptr;      // null: stderr
    bool log_failed = false;  // a failed log write was told
    // Files a log must never be: the inputs named on the command line.
    std::vector<std::pair<dev_t, ino_t>> kept_off;
};
State g;

FILE *out_stream() { return g.out ? g.out : stdout; }
FILE *err_stream() { return g.err ? g.err : stderr; }

// ---------------------------------------------------------------------------
// Log streams

bool is_pipe_name(std::string_view name) { return !name.empty() && name.front() == '|'; }

// Log names may stand for a standard stream ("-", "std") or a command
// ("|cmd"); the former must never be closed, the latter is a pipe.
void close_stream(FILE *f, bool pipe) {
    if (f != nullptr) vyr::close_opened(f, pipe ? "|" : nullptr);
}

void close_log() {
    close_stream(g.pfile, g.pfile_pipe);
    g.pfile = nullptr;
    g.pfile_pipe = false;
}

void warn_log(std::string_view name) {
    int n = static_cast<int>(std::min<std::size_t>(name.size(), INT_MAX));
    std::fprintf(err_stream(), "Unable to open log file: %.*s\n", n, name.data());
}

// A log that stops taking messages is told once, on standard error: the
// messages it loses are the record of the run.
void check_log(bool ok, std::string_view name) {
    if (ok || g.log_failed) return;
    g.log_failed = true;
    const int n = static_cast<int>(std::min<std::size_t>(name.size(), INT_MAX));
    std::fprintf(err_stream(), "Unable to write log file: %.*s (%s)\n", n, name.data(),
                 std::strerror(errno != 0 ? errno : EIO));
}

std::string g_log_name;  // the open log stream's name, for its failure

// Whatever a log stream holds at the end of the run must reach it, or be
// told lost.
void flush_log_at_exit() {
    if (g.pfile != nullptr)
        check_log(std::fflush(g.pfile) == 0 && !std::ferror(g.pfile), g_log_name);
}

// A log named after an input would be written over it: refused, told.
bool kept_off(std::string_view name) {
    struct stat st;
    if (g.kept_off.empty() || ::stat(vyr::home_expanded(name).c_str(), &st) != 0) return false;
    for (const auto &[dev, ino] : g.kept_off) {
        if (st.st_dev != dev || st.st_ino != ino) continue;
        const int n = static_cast<int>(std::min<std::size_t>(name.size(), INT_MAX));
        std::fprintf(err_stream(), "Log file is an input file, not opened: %.*s\n", n, name.data());
        return true;
    }
    return false;
}

// The name of a file item: everything after the keyword and one separator.
// An item that ends before a name, or names more than a file name can hold,
// is refused with the warning, and the destinations stay as they were.
bool item_file_name(const char *item, std::size_t keyword, std::string_view &name) {
    std::string_view all(item);
    name = all.size() > keyword + 1 ? all.substr(keyword + 1) : std::string_view();
    if (name.empty() || name.size() > VYR_NAME_MAX) {
        warn_log(name);
        return false;
    }
    return true;
}

// "fi", "+fi", "-fi" and "@fi": open now, replacing any earlier log stream.
void open_log_item(const char *item, std::size_t keyword, const char *access, int mode) {
    std::string_view name;
    if (!item_file_name(item, keyword, name)) return;
    if (kept_off(name)) return;
    std::string path(name);
    FILE *f = FILE_open(path.c_str(), access);
    if (f == nullptr) {
        warn_log(name);
        return;
    }
    close_log();
    static const bool flushed_at_exit = std::atexit(flush_log_at_exit) == 0;
    (void)flushed_at_exit;
    g_log_name = path;
    g.pfile = f;
    g.pfile_pipe = is_pipe_name(name);
    g.mess_out = mode;
}

// "dfi": only the name is kept; each message opens and closes it.
void reopen_log_item(const char *item) {
    std::string_view name;
    if (!item_file_name(item, 3, name)) return;
    if (kept_off(name)) return;
    close_log();  // a stream of an earlier item would otherwise stay open unused
    g.filename.assign(name);
    g.mess_out = kReopen;
}

// ---------------------------------------------------------------------------
// Levels

// Sets every bit below the highest set bit: a class shows itself and every
// more important class.
M_type fill_down(M_type v) {
    if (v == 0) return 0;
    M_type r = v;
    r |= r >> 1;
    r |= r >> 2;
    r |= r >> 4;
    r |= r >> 8;
    r |= r >> 16;
    return r;
}

struct LevelWord {
    const char *word;
    int n;  // characters compared
    M_type mask;
};
constexpr LevelWord kWords[] = {
    {"none", 4, 0},      {"print", 5, M_PRINT}, {"error", 5, M_ERROR}, {"warn", 4, M_WARN},
    {"mess", 4, M_MESS}, {"out1", 4, M_OUT1},   {"out2", 4, M_OUT2},   {"out3", 4, M_OUT3},
    {"out4", 4, M_OUT4}, {"debug", 5, M_DEBUG},
};

// A level word with its optional operator and sub-level letter. Unknown
// words give no bits: alone they silence everything, after "+" or "-"
// they change nothing.
void apply_level_word(const char *item) {
    char op = 0;
    if (item[0] == '+' || item[0] == '-') op = *item++;
    M_type mask = 0;
    for (const auto &w : kWords) {
        if (strnicmp(item, w.word, w.n) == 0) {
            mask = w.mask;
            break;
        }
    }
    std::size_t n = std::strlen(item);
    if (n > 0) {
        switch (item[n - 1]) {
            case 'a':
            case 'A': mask &= 0x11111111; break;
            case 'b':
            case 'B': mask &= 0x22222222; break;
            case 'c':
            case 'C': mask &= 0x44444444; break;
            case 'd':
            case 'D': mask &= 0x88888888; break;
            default: break;
        }
    }
    if (op == '+')
        g.mess_level |= mask;
    else if (op == '-')
        g.mess_level &= ~mask;
    else
        g.mess_level = fill_down(mask);
}

// "line": the number after "line" and one separator; none, or one of 0 or
// less, keeps the usual page.
int page_length(const char *item) {
    if (std::strlen(item) <= 5) return kDefaultPageLength;
    std::string_view rest = item + 5;
    while (!rest.empty() && vyr::is_space(rest.front())) rest.remove_prefix(1);
    int64_t v = 0;
    if (vyr::read_integer(rest, v, INT64_MIN, INT_MAX, vyr::OutOfRange::Clamp) == 0 || v <= 0)
        return kDefaultPageLength;
    return static_cast<int>(v);
}

void apply_item(const char *item) {
    if (strnicmp(item, "@fi", 3) == 0)
        open_log_item(item, 3, "a", kStamped);
    else if (strnicmp(item, "+fi", 3) == 0)
        open_log_item(item, 3, "a", kTerminal);
    else if (strnicmp(item, "-fi", 3) == 0)
        open_log_item(item, 3, "w", kTerminal);
    else if (strnicmp(item, "dfi", 3) == 0)
        reopen_log_item(item);
    else if (strnicmp(item, "fi", 2) == 0)
        open_log_item(item, 2, "a", kLogOnly);
    else if (stricmp(item, "nopage") == 0)
        g.page = kPageOff;
    else if (stricmp(item, "page") == 0)
        g.page = kPageCount;
    else if (strnicmp(item, "line", 4) == 0)
        g.max_lines = page_length(item);
    else
        apply_level_word(item);
}

// ---------------------------------------------------------------------------
// Output

// One message formatted once, for every destination. Most messages fit the
// buffer on the stack; longer ones take a string of their exact size.
class Formatted {
  public:
    Formatted(const char *fmt, va_list ap) noexcept {
        va_list again;
        va_copy(again, ap);
        int n = std::vsnprintf(small_, sizeof small_, fmt, ap);
        if (n < 0) {
            small_[0] = '\0';
            n = 0;
        }
        auto len = static_cast<std::size_t>(n);
        if (len < sizeof small_) {
            text_ = std::string_view(small_, len);
        } else {
            // Without memory for the whole text, it is cut rather than lost.
            text_ = std::string_view(small_, sizeof small_ - 1);
            vyr::guarded(0, [&] {
                big_.resize(len);
                std::vsnprintf(big_.data(), len + 1, fmt, again);
                text_ = big_;
                return 0;
            });
        }
        va_end(again);
    }
    Formatted(const Formatted &) = delete;
    Formatted &operator=(const Formatted &) = delete;
    std::string_view text() const { return text_; }

  private:
    char small_[512];
    std::string big_;
    std::string_view text_;
};

void put(FILE *f, std::string_view text) { std::fwrite(text.data(), 1, text.size(), f); }

void write_log(FILE *f, std::string_view text) {
    if (g.mess_out == kStamped) {
        char stamp[30] = {};
        DATE_get_current_str(stamp);
        std::fprintf(f, "%s -- ", stamp);
    }
    put(f, text);
}

int count_newlines(const char *s) {
    return static_cast<int>(std::count(s, s + std::strlen(s), '\n'));
}

int emit(M_type type, const char *fmt, std::string_view text) {
    if (g.mess_out == kReopen) {
        // A file that cannot be opened loses this message only.
        errno = 0;
        FILE *f = FILE_open(g.filename.c_str(), "a");
        if (f != nullptr) {
            write_log(f, text);
            check_log(vyr::close_opened(f, is_pipe_name(g.filename) ? "|" : nullptr), g.filename);
        } else {
            check_log(false, g.filename);
        }
    } else if (g.pfile != nullptr) {
        write_log(g.pfile, text);
        if (std::ferror(g.pfile)) check_log(false, g_log_name);
    }
    if (g.mess_out == kLogOnly) return 0;
    put((type & (M_ERROR | M_WARN)) ? err_stream() : out_stream(), text);
    if (g.page == kPageCount) {
        // The format's own newlines: a page is counted in lines of program text.
        int add = count_newlines(fmt);
        g.lines = g.lines > INT_MAX - add ? INT_MAX : g.lines + add;
        if (g.lines > g.max_lines) MESS_hold(type, "Press return to continue\n");
    }
    return 1;
}

// Writes a message whose format holds no conversions but plain "%s" and
// "%%" (most messages, the element echo among them) without the general
// formatter, gathered into one write. Returns false, having written and
// consumed nothing, for any other format or a text too long to gather.
bool put_plain(FILE *f, const char *fmt, va_list ap) {
    char buf[512];
    std::size_t used = 0;
    auto add = [&](const char *s, std::size_t n) {
        if (used + n > sizeof buf) return false;
        std::memcpy(buf + used, s, n);
        used += n;
        return true;
    };
    for (;;) {
        const char *pc = std::strchr(fmt, '%');
        if (!add(fmt, pc ? static_cast<std::size_t>(pc - fmt) : std::strlen(fmt))) return false;
        if (pc == nullptr) break;
        if (pc[1] == 's') {
            const char *arg = va_arg(ap, const char *);
            if (arg == nullptr) arg = "(null)";
            if (!add(arg, std::strlen(arg))) return false;
        } else if (pc[1] != '%' || !add("%", 1)) {
            return false;
        }
        fmt = pc + 2;
    }
    fwrite_unlocked(buf, 1, used, f);
    return true;
}

}  // namespace

namespace vyr {

void set_message_streams(FILE *out, FILE *err) {
    g.out = out;
    g.err = err;
}

void reset_messages() {
    close_log();
    FILE *out = g.out, *err = g.err;
    g = State{};
    g.out = out;
    g.err = err;
}

void keep_logs_off(const char *name) {
    struct stat st;
    if (name == nullptr || is_stream_name(name) || name[0] == '|') return;
    if (::stat(home_expanded(name).c_str(), &st) == 0)
        g.kept_off.emplace_back(st.st_dev, st.st_ino);
}

void flush_messages() {
    std::fflush(out_stream());
    std::fflush(err_stream());
}

}  // namespace vyr

int MESS_check(M_type level) { return (level & g.mess_level) != 0; }

int MESS_check_set() { return g.mess_set; }

int MESS_set(int oper, M_type level) {
    if (oper <= 4) ++g.mess_set;
    if (oper >= 16 && g.mess_set != 0) return 0;
    switch (oper) {
        case 0:
        case 10:
        case 20: g.mess_level = fill_down(level); break;
        case 1:
        case 11:
        case 21: g.mess_level |= level; break;
        case -1:
        case 9:
        case 19: g.mess_level &= ~level; break;
        default: break;
    }
    return 0;
}

int MESS_set_str(const char *str) {
    int argc = 0;
    char **argv = nullptr;
    ++g.mess_set;
    if (parse_string(str, ',', &argc, &argv) != 0) return 0;
    // Only a failed allocation of a file name can fail here; the items
    // applied so far stay applied.
    vyr::guarded(0, [&] {
        for (int i = 0; i < argc; ++i) apply_item(argv[i]);
        return 0;
    });
    free_parsed_array(argc, argv);
    return 0;
}

int MESS_print(M_type type, const char *mess, ...) {
    // Called for every decoded element, mostly with a level that is off:
    // decide before any formatting.
    if ((type & g.mess_level) == 0 || mess == nullptr) return 0;
    va_list ap;
    va_start(ap, mess);
    if ((g.mess_out == kTerminal || g.mess_out == kStamped) && g.pfile == nullptr &&
        g.page != kPageCount) {
        // The terminal alone: format straight into its stream (the element
        // echo takes this road for every element).
        FILE *f = (type & (M_ERROR | M_WARN)) ? err_stream() : out_stream();
        va_list plain;
        va_copy(plain, ap);
        if (!put_plain(f, mess, plain)) std::vfprintf(f, mess, ap);
        va_end(plain);
        va_end(ap);
        return 1;
    }
    Formatted text(mess, ap);
    va_end(ap);
    return emit(type, mess, text.text());
}

int MESS_hold(M_type type, const char *mess) {
    if (!MESS_check(type) || g.mess_out == kLogOnly || FLAG_batch() || g.page == kPageOff) return 0;
    FILE *dest = ((type & M_ERROR) && (type & M_WARN)) ? err_stream() : out_stream();
    if (mess != nullptr) std::fprintf(dest, "%s", mess);
    vyr::flush_messages();
    std::fgetc(vyr::terminal_input());
    g.lines = 0;
    return 0;
}

int MESS_print_prog(const char *string) {
    MESS_print(M_MESS, "      %s (Ver %s)\n\n", string ? string : "", VYR_version());
    return 0;
}
