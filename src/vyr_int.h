// vyr_int.h - what the library's modules share with each other and with the
// tests, but callers of the suite's API must not rely on.
#ifndef VYR_INT_H
#define VYR_INT_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "vyr.h"

enum res_type : int;

namespace vyr {

// What VYR_exit throws instead of ending the process while tests or fuzz
// targets have asked for it (set_exit_throws): the status it was given.
struct exit_request {
    int status;
};
// On: VYR_exit throws exit_request. Off (start-up): it ends the process.
void set_exit_throws(bool on);

// Runs the body of a fixed-name function: a failed allocation inside shows
// as the function's failure result, never as an exception leaving the API.
// An exit requested inside goes on to whoever asked for exits to throw.
template <class R, class F>
R guarded(R fail, F body) {
    try {
        return body();
    } catch (const exit_request &) {
        throw;
    } catch (...) {
        return fail;
    }
}

// The one bounded copy into a caller's buffer of cap bytes: the text and a
// terminator. A text that does not fit is either refused (the buffer gets
// the empty text, the result is false) or cut to cap-1 bytes (the result
// is false too, so that a caller can tell). A cap of 0 writes nothing.
enum class Overflow { Refuse, Cut };
bool copy_text(char *dst, std::size_t cap, std::string_view src, Overflow rule);

// Character classes and case of the C locale, whatever the process locale
// says.
constexpr bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
constexpr bool is_digit(int c) { return c >= '0' && c <= '9'; }
constexpr bool is_upper(int c) { return c >= 'A' && c <= 'Z'; }
constexpr bool is_letter(int c) { return is_upper(c) || (c >= 'a' && c <= 'z'); }
constexpr char lower_ascii(char c) { return is_upper(c) ? static_cast<char>(c + ('a' - 'A')) : c; }
// A name that stands for a standard stream: empty, "-", "std" or "stdn"
// (any case).
bool is_stream_name(std::string_view name);

// The one case-insensitive comparison (ASCII folding), behind stricmp and
// strnicmp: compares at most n characters, stopping at the first difference
// or at the end of either text; the folded difference there, 0 when equal.
int icompare(std::string_view s1, std::string_view s2, std::size_t n = std::string_view::npos);
inline bool iequals(std::string_view s1, std::string_view s2) {
    return s1.size() == s2.size() && icompare(s1, s2) == 0;
}

// The one line reader (tools.cpp). A source hands out the bytes that come
// next, a run at a time; read_line takes a line of at most limit characters
// into out (limit + 1 bytes) and returns its length, 0 for an empty line,
// -1 at the end of the input (out then untouched).
class LineSource {
  public:
    virtual ~LineSource() = default;
    // The bytes that come next, without taking them; empty at the end of
    // the input (or when it cannot be read).
    virtual std::string_view peek() = 0;
    // Takes the first n bytes of the last peek.
    virtual void consume(std::size_t n) = 0;
};
// What becomes of the rest of a line longer than the limit: a piece of its
// own for the next read; skipped whole (the line reports itself as long);
// read away (the line keeps its first limit characters).
enum class LongLine { Piece, Skip, ReadAway };
struct LineRule {
    LongLine rest;
    // true: a line end is left in the input and the next read passes over
    // one line end first, so an empty first line is passed over; false: a
    // line end is taken with its line.
    bool skip_empty_first;
};
int read_line(LineSource &src, char *out, int limit, LineRule rule, bool *long_line = nullptr);
// A stream read a byte at a time, so that what is not read stays in it.
class FileLineSource final : public LineSource {
  public:
    explicit FileLineSource(FILE *f) : f_(f) {}
    ~FileLineSource() override;
    FileLineSource(const FileLineSource &) = delete;
    FileLineSource &operator=(const FileLineSource &) = delete;
    std::string_view peek() override;
    void consume(std::size_t n) override;

  private:
    FILE *f_;
    int held_ = EOF;  // the byte peeked and not yet taken
    char byte_ = 0;
};

// A stream read in large blocks, for a reader that owns it to the end: the
// same lines as FileLineSource, in a fraction of the time, but what it read
// ahead is gone from the stream. A failed read ends the input and is kept.
class BlockLineSource final : public LineSource {
  public:
    explicit BlockLineSource(FILE *f) : f_(f) {}
    std::string_view peek() override;
    void consume(std::size_t n) override { pos_ += n; }
    bool failed() const { return failed_; }

  private:
    FILE *f_;
    char buf_[1 << 16];
    std::size_t pos_ = 0, end_ = 0;
    bool failed_ = false;
};

// Takes lines whole from a block source, for a reader that holds no more
// than limit bytes of one line. A line ends at LF, and at CR too when
// cr_ends.
struct LineView {
    std::string_view text;  // the line without its end
    char end;               // '\n', '\r', or 0 at the end of the input
    bool too_long;          // longer than the limit: read away, text empty
};
class WholeLines {
  public:
    WholeLines(BlockLineSource &src, std::size_t limit, bool cr_ends)
        : src_(src), limit_(limit), cr_ends_(cr_ends) {}
    // The next line and its end, which is taken. text points into the block
    // read when the line lies in it, else into a buffer of the reader's, and
    // stays valid until the next call. False at the end of the input.
    bool next(LineView &out);

  private:
    std::size_t line_end(std::string_view v);
    void consume(std::string_view v, std::size_t n);
    BlockLineSource &src_;
    std::size_t limit_;
    bool cr_ends_;
    std::string hold_;
    // The next CR of the block read, searched once a block (null: none);
    // CRs are rare, and a search for each line would cost more.
    bool cr_known_ = false;
    const char *next_cr_ = nullptr;
};

// Back to the start-up state of every module: messages, resources,
// definition files, files and names, time zone, run flags. For fuzz targets
// and tests that run a whole program's start-up again and again.
void reset_library();

// The clock (date.cpp). Every reading of the current time goes through
// clock_now(), so tests can fix it with set_clock(); null restores the system clock.
using clock_fn = int64_t (*)();
void set_clock(clock_fn fn);
int64_t clock_now();
// Back to the start-up display time zone of labels: "Z", no offset, 24-hour
// clock (date.cpp).
void reset_time_zone();

// Terminal streams of the message module (mess.cpp). Tests capture them;
// null restores stdout/stderr.
void set_message_streams(FILE *out, FILE *err);
// Back to the start-up state of the message module: mask, user-setting
// count, destination and paging modes, page counters; an open log file is
// closed. The streams given to set_message_streams stay.
void reset_messages();
// Flushes the terminal streams, before the process waits for an answer.
void flush_messages();

// Where prompts and paging holds read the user's answers (system.cpp);
// null restores stdin.
void set_terminal_input(FILE *in);
FILE *terminal_input();

// Display-window message queue (mqueue.cpp). The pauses between receive
// attempts go through the sleep function, so tests can count them; null
// restores VYR_sleep. The timeout is the alarm time in seconds of every
// bounded wait, 20 at start-up; resource start-up bounds a window's whole
// answer to one query by a multiple of it.
using sleep_fn = int (*)(float secs);
void set_queue_sleep(sleep_fn fn);
void set_queue_timeout(int secs);
int queue_timeout();

// Reference-time settings of file naming (files.cpp): what FILE_set_time
// stored last. The reset restores the start-up value: every field missing
// except sec, which is 0.
const Date &reference_time();
void reset_reference_time();
// Closes a stream that FILE_open opened under name (files.cpp): a
// command's pipe with pclose, a file with fclose, after flushing what was
// written; the standard streams are flushed and stay open. False when the
// flush or close fails, or for a command that ended with a nonzero status or
// by a signal, unless its reader stopped early (read_to_end false): its
// death by the closed pipe is then no failure of its own.
bool close_opened(FILE *f, const char *name, bool read_to_end = true);
// Back to the start-up state of the files module: reference time, keys,
// convention, current file name, its date and kind, naming period.
void reset_files();
// The text of substitution key k, empty when unset.
const char *file_key(char k);
// The listing of matching files runs its shell command through this
// function; null restores the shell. A reset of the module keeps it.
using list_fn = int (*)(const char *command);
void set_file_lister(list_fn fn);
// The active convention as FILE_set_name left it.
struct FileConvention {
    std::string conv, hconv, ext;
    int min_size;
};
FileConvention file_convention();
// Whether file requests carry extra information (1) or a "#" date
// suffix (0, every program of the suite so far); what the last one carried.
void set_file_type(int type);
const char *file_extra_info();

// Back to the start-up state of the definition files (def_read.cpp): file
// closed, program "Vyr" without title, no tags, no open IF.
void reset_definitions();

// A program's answer to a help request, when one was made: its purpose
// line ("NAME: This program PURPOSE"), the listing of its resources, and the
// end of the run with status 0. Returns when no help was asked for.
void answer_help(const char *purpose, const res_type *res_key, const res_type *res_pos);

// Resources (resrc.cpp). Back to the start-up state of the value list and
// the saved command line (nodes freed), for tests and fuzzing.
void reset_resources();
// The wanted-file time that an "hour" resource value stands for: the record
// the conversion hands to FILE_set_time, unscanned fields missing.
Date hour_setting(const char *text);

// Map domains and the station database (region.cpp, cty_read.cpp). Back to
// the start-up state: reset_stations closes an open database; reset_domains
// does that too and sets the station priority to 3 and the region menu to
// never loaded.
void reset_domains();
void reset_stations();
// The decimal number at the start of s, as the "%f" and "%d" conversions
// take it (a sign, digits, for value also a point and an exponent), but
// never "nan", "inf" or hexadecimal: the characters it covers, or 0 when s
// does not begin with one or it is out of range (value then unchanged).
std::size_t read_decimal(std::string_view s, float &value);
std::size_t read_integer(std::string_view s, int &value);
// The station plotting priority DOM_set_base_prior set last.
int station_priority();
// One entry of the region menu.
struct RegionMenuEntry {
    char name[21];  // display name, underscores turned into blanks
    char abbr[6];   // abbreviation
    int index;      // the entry's own index once filled, else 0
    int menu;       // menu number from the file
};
// The region menu as DOM_read_menu left it: entries 1 to 19 (0 unused),
// and in *num_regs the next free index, whose name is empty.
const RegionMenuEntry *region_menu(int *num_regs);

}  // namespace vyr

#endif  // VYR_INT_H
