// base_int.h - what the base layer's modules share with each other, the
// layers above and the tests, but callers of the suite's API must not rely
// on.
#ifndef VYR_BASE_INT_H
#define VYR_BASE_INT_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "vyrbase.h"

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

// Copies n bytes of a short text (a code, a value, an identifier) with
// overlapping moves of fixed size, never a byte outside either range: a
// library call per field costs more than the few bytes it moves. Each
// source word is read before any is written, so the ranges may overlap.
[[gnu::always_inline]] inline void copy_short(char *d, const char *s, std::size_t n) {
    // The common lengths first: most texts are under 8 bytes.
    if (n >= 8) {
        if (n > 16) {
            if (n > 32) {
                std::memmove(d, s, n);
                return;
            }
            char a[16], b[16];
            std::memcpy(a, s, 16);
            std::memcpy(b, s + n - 16, 16);
            std::memcpy(d, a, 16);
            std::memcpy(d + n - 16, b, 16);
            return;
        }
        uint64_t a, b;
        std::memcpy(&a, s, 8);
        std::memcpy(&b, s + n - 8, 8);
        std::memcpy(d, &a, 8);
        std::memcpy(d + n - 8, &b, 8);
    } else if (n >= 4) {
        uint32_t a, b;
        std::memcpy(&a, s, 4);
        std::memcpy(&b, s + n - 4, 4);
        std::memcpy(d, &a, 4);
        std::memcpy(d + n - 4, &b, 4);
    } else if (n > 0) {
        const char a = s[0], b = s[n / 2], c = s[n - 1];
        d[0] = a;
        d[n / 2] = b;
        d[n - 1] = c;
    }
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
// A log item that names this file (an input of the run, through any name)
// is refused with a warning: a log written over its input destroys it.
void keep_logs_off(const char *name);
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

// Days in a month of the proleptic Gregorian calendar; 0 for a month
// outside 1 to 12 (date.cpp).
int days_in_month(int year, int month);

// A name with a leading "~" or "~user" turned into that home directory;
// an unknown user leaves it as written (files_access.cpp).
std::string home_expanded(std::string_view name);
// Closes a stream that FILE_open opened under name (files_access.cpp): a
// command's pipe with pclose, a file with fclose, after flushing what was
// written; the standard streams are flushed and stay open. False when the
// flush or close fails, or for a command that ended with a nonzero status or
// by a signal, unless its reader stopped early (read_to_end false): its
// death by the closed pipe is then no failure of its own.
bool close_opened(FILE *f, const char *name, bool read_to_end = true);
// Whether a file that steers the program (definitions, conventions) may
// be read: a regular file, owned by the effective user or root, that no
// one else can write or swap (not writable by others, nor its directory
// unless that is sticky). Standard streams, commands and missing files
// pass: the user wrote them, or the open fails (files_access.cpp).
enum class ConfigCheck { Ok, NotRegular, NotTrusted };
ConfigCheck check_config_file(std::string_view name);
// True when in_name names a regular file that out_name names too, through
// any path or link; a standard stream name stands for standard input on
// the one side and standard output on the other.
bool same_file(const char *in_name, const char *out_name);
// Opens /dev/null on descriptors 0, 1 and 2 when the process started with
// them closed, so that no file opened later takes their numbers; 1 and 2
// read-only, so that writing them still fails.
void open_standard_descriptors();
// An output written whole or not at all. A regular file (or a new one) is
// written to a temporary ".NAME.XXXXXX" beside it (after links), with the
// file's mode and group or 0666 less the umask, and renamed over it when
// closed after a clean write; devices, FIFOs, standard output and commands
// are written in place. A temporary never renamed is removed.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;
    // As FILE_open(name, "w"); null with errno set when it cannot open.
    FILE *open(const char *name);
    // Closes the stream of a file until resume, keeping what was written,
    // so that many outputs need not hold a descriptor each; outputs written
    // in place stay open. False (errno set) when the flush or close fails.
    bool suspend();
    // The stream again, appending; null with errno set when it cannot open.
    FILE *resume();
    // Closes the stream; when written is true and the close succeeds, the
    // file takes its place, else the earlier file stays as it was. False
    // (errno set) on any failure of the close or the rename.
    bool close(bool written);

  private:
    std::string name_, target_, temp_;
    FILE *stream_ = nullptr;
    bool suspended_ = false;
};
// The one integer reader (string.cpp): the decimal integer at the start of
// s, an optional sign and at least one digit, no blanks. Returns the
// characters it covers, every digit included, with value set; or 0, value
// unchanged, when s does not begin with one, or when it lies outside
// [lo, hi] and out_of_range is Fail. Clamp gives the nearer bound instead.
enum class OutOfRange { Fail, Clamp };
std::size_t read_integer(std::string_view s, int64_t &value, int64_t lo, int64_t hi,
                         OutOfRange out_of_range = OutOfRange::Fail);
// The same for an int, failing outside its range.
std::size_t read_integer(std::string_view s, int &value);
// The one decimal reader: the number at the start of s as the "%f"
// conversion takes it (a sign, digits, a point, an exponent), but never
// "nan", "inf" or hexadecimal: the characters it covers, or 0 when s does
// not begin with one or it is out of the type's range (value unchanged).
std::size_t read_decimal(std::string_view s, double &value);
std::size_t read_decimal(std::string_view s, float &value);
}  // namespace vyr

#endif  // VYR_BASE_INT_H
