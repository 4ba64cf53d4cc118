// vyrbase.h - the library's base layer: the shared records, the missing
// value, message levels and statuses, the scanner, line and string
// routines, present-weather text, messages, run flags, process services,
// paths and file access, dates and labels, and the display-window queue.
//
// Conventions: functions return an integer status (1/0 for found/not found,
// 0/-1 for success/failure) or a pointer that is null on failure. No
// exception ever leaves one of these functions. Output buffers belong to the
// caller; each prototype states the capacity it relies on.
#ifndef VYRBASE_H
#define VYRBASE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <type_traits>

#define VYR_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

// ---------------------------------------------------------------------------
// Shared records and values

// The missing value: unset date fields, run flags, free resources.
constexpr int VYR_MISSING = -9999;

// A file name holds at most VYR_NAME_MAX characters; a buffer for one takes
// VYR_NAME_BUFFER bytes.
constexpr std::size_t VYR_NAME_MAX = 159;
constexpr std::size_t VYR_NAME_BUFFER = VYR_NAME_MAX + 1;

// A date in UTC. Trailing fields set to VYR_MISSING give a lesser precision.
struct Date {
    int32_t year, month, day, jday, wday, hour, min, sec;
};

// Message level: eight classes of four sub-level bits each.
using M_type = uint32_t;
constexpr M_type M_PRINT = 0x0000000F;
constexpr M_type M_ERROR = 0x00000030;
constexpr M_type M_WARN = 0x000000C0;
constexpr M_type M_MESS = 0x00000F00;
constexpr M_type M_OUT1 = 0x0000F000;
constexpr M_type M_OUT2 = 0x000F0000;
constexpr M_type M_OUT3 = 0x00F00000;
constexpr M_type M_OUT4 = 0x0F000000;
constexpr M_type M_DEBUG = 0xF0000000;
// Sub-levels that callers print at on their own.
constexpr M_type M_PRINT_LIST = 0x00000008;  // lines of the resource listing
constexpr M_type M_MESS_LIST = 0x00000800;   // the "Set resources" listing at a prompt
constexpr M_type M_DEBUG_CONV = 0x10000000;  // file-name conventions
constexpr M_type M_DEBUG_DOM = 0x40000000;   // domains and paths
constexpr M_type M_DEBUG_RES = 0x80000000;   // resources, scanner, queue

// Exit statuses of the suite's programs.
enum VYR_status : int {
    VYR_OK = 0,
    VYR_QUEUE_TIMEOUT = 7,
    VYR_NO_INPUT = 10,
    VYR_WRITE_FAILED = 11,
    VYR_DB_FAILED = 12,
};

// ---------------------------------------------------------------------------
// Pattern scanner (scanp.cpp)

// Cursor over one line. The text stays owned by the caller.
struct parse_param {
    const char *ptr;  // text being scanned
    int length;       // its length, taken by scanp_set
    int off;          // next unscanned character; moved by scanp_set/scanp_inc
    int len;          // characters consumed by the last scanp
    int assigned;     // destinations written by the last scanp
    int matched;      // directives matched by the last scanp (its result)
    int done;         // 1 when the last scanp reached the end of its pattern
};

namespace vyr::scan {
enum class Kind : unsigned char { Text, Int, Float };
// One destination of a scan: its kind, where it is, and for text the
// capacity in bytes (0 when the caller passed a bare pointer).
struct Dest {
    Kind kind;
    void *ptr;
    std::size_t cap;
};
template <class>
inline constexpr bool unsupported_destination = false;

struct Compiled;
// A pattern parsed once, for a pattern that is tried again and again (the
// decoder's). It scans exactly as its text does. The text must outlive it.
class Pattern {
  public:
    explicit Pattern(const char *text);
    ~Pattern();
    Pattern(const Pattern &) = delete;
    Pattern &operator=(const Pattern &) = delete;
    const char *text() const { return text_; }
    const Compiled *compiled() const { return compiled_; }

  private:
    const char *text_;
    Compiled *compiled_;  // null when the pattern is too long to keep parsed
};
template <class T>
Dest dest(T &&d) {
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_array_v<U> && std::is_same_v<std::remove_extent_t<U>, char>)
        return {Kind::Text, static_cast<char *>(d), std::extent_v<U>};
    else if constexpr (std::is_same_v<U, char *>)
        return {Kind::Text, d, 0};
    else if constexpr (std::is_same_v<U, int *>)
        return {Kind::Int, d, 0};
    else if constexpr (std::is_same_v<U, float *>)
        return {Kind::Float, d, 0};
    else
        static_assert(unsupported_destination<U>,
                      "scanp destinations are char arrays, char*, int* or float*");
}
}  // namespace vyr::scan

// Sets the cursor on str (not copied); returns 1.
int scanp_set(parse_param *param, const char *str);
// The scanner proper: dests are the destinations of the assigning directives
// in pattern order. A destination whose kind does not suit its directive is
// never written: the scan stops there. Text destinations given as arrays are
// never written past their size; a bare char* is taken to hold 81 bytes.
int scanp_args(parse_param *param, const char *pat, const vyr::scan::Dest *dests, int ndest);
int scanp_args(parse_param *param, const vyr::scan::Pattern &pat, const vyr::scan::Dest *dests,
               int ndest);
// Tries pat at the cursor without moving it; returns the directives matched,
// or -1 for an empty pattern or an exhausted cursor.
template <class... D>
int scanp(parse_param *param, const char *pat, D &&...dests) {
    const vyr::scan::Dest list[sizeof...(D) + 1] = {vyr::scan::dest(dests)..., {}};
    return scanp_args(param, pat, list, static_cast<int>(sizeof...(D)));
}
template <class... D>
int scanp(parse_param *param, const vyr::scan::Pattern &pat, D &&...dests) {
    const vyr::scan::Dest list[sizeof...(D) + 1] = {vyr::scan::dest(dests)..., {}};
    return scanp_args(param, pat, list, static_cast<int>(sizeof...(D)));
}
// Commits the last scan (off += len); returns 1.
int scanp_inc(parse_param *param);
// The unscanned rest of the text.
const char *scanp_str(parse_param *param);

// ---------------------------------------------------------------------------
// Line and string utilities (tools.cpp: line input; string.cpp: editing)

// Read one line without its newline into string (limit + 1 bytes): the
// length (0 for an empty line) or -1 at end of input, string then unchanged.
// Longer lines come in pieces of the limit; an empty first line is skipped.
int fgetline(FILE *ifile, char *string);  // limit 160
int fgetnline(FILE *ifile, char *string, int len);
// As fgetnline but returns 1 for a line of text.
int fgetstring(FILE *ifile, char *string, int len);

// Cuts trailing control characters, blanks out other control characters
// and bytes of 0x80 and above. 0 for a null or empty line, else 1.
int clean_line(unsigned char *line);
inline int clean_line(char *line) { return clean_line(reinterpret_cast<unsigned char *>(line)); }
// Removes every CR and LF, then trailing blanks; returns 1.
int wstrim_string(char *string);
// Replaces every tar by fill (a NUL fill cuts at the first); returns 0.
int fill_string(char *string, char tar, char fill);
// Lower-cases A-Z; 0 for a null or empty string, else 1.
int low_string(char *string);
// Splits a copy of string at delim (trailing delimiters dropped). argv[0]
// owns the storage of all fields; release with free_parsed_array. 0 or -1.
int parse_string(const char *string, char delim, int *argc, char ***argv);
int free_parsed_array(int argc, char **argv);
// Case-insensitive comparisons; 1 when either pointer is null.
int stricmp(const char *s1, const char *s2);
int strnicmp(const char *s1, const char *s2, int n);

// ---------------------------------------------------------------------------
// Present-weather text (wx_tool.cpp)

// Phrase for a WMO code, "!"METAR group or letter code, into out_str (at
// least 26 bytes); returns the letter-code characters covered (0: none).
int WX_weather_text(const char *str, char *out_str);
// Letter code for WMO present-weather code wx into wx_str (7 bytes); 0.
int WX_wmo_weather(int wx, char *wx_str);
// Letter code for a METAR group (leading "!" skipped) into wx_str (15); 0.
int WX_metar_weather(const char *wx, char *wx_str);

// ---------------------------------------------------------------------------
// Message output (mess.cpp)

// Prints a message when its level shares a bit with the active mask.
// 1 when written to the terminal, else 0.
int MESS_print(M_type type, const char *mess, ...) VYR_PRINTF(2, 3);
// 1 when level shares a bit with the active mask.
int MESS_check(M_type level);
// Changes the mask: tier (0 user, 10 program, 20 default) plus action
// (0 set with fill-down, +1 add, -1 remove); returns 0.
int MESS_set(int oper, M_type level);
// Applies a "message" resource value (levels, log files, paging); 0.
int MESS_set_str(const char *str);
// Count of user settings of the messages.
int MESS_check_set();
// Shows mess and waits for the user on the terminal; returns 0.
int MESS_hold(M_type type, const char *mess);
// Prints the program banner; returns 0.
int MESS_print_prog(const char *string);

// ---------------------------------------------------------------------------
// Run flags, prompts and process services (flag.cpp, system.cpp)

extern int64_t flags[30];
extern int plot_it[13];

// The run flags the suite reads or writes. Every flag is VYR_MISSING after
// resource start-up until a conversion sets it.
enum FLAG_index : int {
    FLAG_DEVICE = 2,       // output device code; 1 when the device resource names none
    FLAG_DOMAIN = 5,       // last decoded domain: 1 explicit, 2 region, -1 invalid
    FLAG_PLOT_TYPE = 11,   // plot type code of the plot_type resource
    FLAG_FILE_PARAM = 15,  // file parameter mode: 1 calc/over, 2 app, 3 use
    FLAG_BATCH = 19,       // 1 in batch mode: no prompts, quieter messages
    FLAG_HELP = 20,        // 1 when help was asked for
};

int FLAG_set(int flag, int value);
int FLAG_reset(int value);
int FLAG_batch();
int FLAG_help();
int FLAG_setplot(int type, int val);
int FLAG_resetplot(int val);

const char *VYR_version();
[[noreturn]] void VYR_exit(int status);
int VYR_sleep(float secs);

// ---------------------------------------------------------------------------
// Paths and file access (files_access.cpp). File names hold at most 159 characters
// after "~" expansion; a longer name is refused, never cut: it does not
// exist (FILE_exist 0, FILE_is_dir 0, FILE_size -1) and cannot be opened.
// The empty name, "-", "std" and "stdn" (any case) are the standard streams.

// 1 for a standard stream name, else 0 (also for null).
int FILE_is_stdio(const char *file);
// 1 when the name carries its own path (begins with "/", "." or "~").
int FILE_fullpath(const char *filename);
// Appends "/" unless empty or already there; path needs room for it. 0.
int FILE_add_path_delim(char *path);
// Joins path (may be null) and file into filename (160 bytes); a stream name
// or a name with its own path is taken as it is. Returns filename, or null
// when the joined name would not fit: filename then holds the empty text,
// which names a standard stream, so callers must check the result.
char *FILE_add_path(const char *path, const char *file, char *filename);
// Expands a leading "~" or "~user" of file into filename (160 bytes); an
// unknown user leaves the name as written. 0, or -1 when the result would
// not fit (filename then holds the empty text). file may be filename.
int FILE_add_user_path(const char *file, char *filename);
// 1 for a stream name or a name that stat can examine, else 0.
int FILE_exist(const char *file);
// 1 when the name is a directory, else 0.
int FILE_is_dir(const char *file);
// Size in bytes, or -1 when the name cannot be examined.
int64_t FILE_size(const char *file);
// Creates the missing directories of dir (its "\" become "/"), all but its
// last flag parts (1: dir names a file). 1 when the parent already existed
// and nothing was done, else 0; failures show only in a later open.
int FILE_make_dir(char *dir, int flag);
// Opens a file, a standard stream (stdin for "r" modes, else stdout) or,
// for "|command", a pipe to or from the command, to be closed with pclose.
// "w" and "a" modes create the missing directories first; writing under a
// "~user" the system does not know fails. Null on failure; prints nothing.
FILE *FILE_open(const char *file, const char *access);

// ---------------------------------------------------------------------------
// Dates and labels (date.cpp)

int64_t DATE_num_sec(Date *date);
int DATE_is_leap(int year);
int64_t DATE_get_time(int64_t *secs);
int DATE_get_gmdate(const int64_t *secs, Date *date);
int DATE_julian_monday(int year, int julian, int *month, int *day);
int DATE_monday_julian(int year, int month, int day, int *julian);
const char *DATE_month_lower(int month);
int DATE_decode_month(const char *str);
int DATE_print(M_type level, const Date *date);
int DATE_set_TZ(const char *str);
// Current UTC time stamp, "26 DEC 07  12:35:06Z", into str (21 bytes).
int DATE_get_current_str(char *str);
// Date label into str (32 bytes); -1 when str is null.
int DATE_make_label(Date *date, char *str);
int DATE_decode_label(const char *str, Date *date);

// ---------------------------------------------------------------------------
// Display-window message queue (mqueue.cpp)

struct mqueuebuf {
    long mtype;       // 1 requests, connection id replies, 2 connection replies
    char mtext[124];  // 120 bytes travel: id/status character, then text
};

// The client never removes a queue: that is the display process's business.
// Installs MQ_intrp for the alarm and looks up the existing queue of window
// num. Returns its identifier, or -1 for every failure with errno kept:
// ENOENT when no queue exists for the window (window 0 included), anything
// else when the lookup failed otherwise.
int MQ_open(int num);
// Asks for a connection id; returns it (3 or more), or -1 when refused.
int MQ_connect(int msgqid);
// Sends a type-1 request: the id character ('0' + conn_id, "/" for -1),
// then the formatted text cut to 118 characters. 0, or -1 on failure.
int MQ_put(int msgqid, int conn_id, const char *format, ...) VYR_PRINTF(3, 4);
// Waits for the next reply of type conn_id and copies its text, cut at its
// terminator or at the 120 bytes received, into item (120 bytes). Returns
// the status character minus '0' ("-" gives -3); -1 with item empty on a
// receive error. A reply that does not come in time ends the process (7).
int MQ_get(int msgqid, int conn_id, char *item);
// Drops every waiting message of type index (index > 0); returns -1.
int MQ_clear(int msgqid, int index);
// Installs the alarm handler and arms the alarm for the timeout; 0.
int MQ_enable_alarm();
// Cancels the alarm; 0.
int MQ_disable_alarm();
// The alarm handler: "Queue not responding!!" when warnings show, exit 7.
void MQ_intrp(int sig);

#endif  // VYRBASE_H
