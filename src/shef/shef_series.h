// shef_series.h - SHEF messages (.A, .B, .E) decoded to time series: one
// record per value, with its time in UTC and its full parameter code.
//
// Pieces, by file: calendar, zones and year inference (shef_time.cpp); the
// SHEFPARM tables and parameter codes (shef_parm.cpp); the message decoder
// (shef_series_*.cpp: lexing, elements, messages, records); the CSV writer
// and the whole conversion (shef_csv.cpp).
// Everything here is plain C++ in namespace vyr::series; nothing throws on
// any input text. Records and notes handed to callbacks point into the
// decoder's buffers and stay valid only during the call.
#ifndef SHEF_SERIES_H
#define SHEF_SERIES_H

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace vyr::series {

// ---------------------------------------------------------------------------
// Calendar, zones and years (shef_time.cpp)

// A wall-clock time. hour runs to 24; 24:00:00 stands for 00:00 of the next
// day and is kept as written until the time is converted.
struct Civil {
    int year, month, day, hour, min, sec;
};

int days_in_month(int year, int month);
// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t days_from_civil(int year, int month, int day);
// The time as seconds since 1970 read as if it were UTC (hour 24 included).
int64_t seconds_of(const Civil &t);
// The UTC fields of seconds since 1970.
Civil civil_of(int64_t secs);
// 1 to 31 within the month, hour 0 to 24 (24 only at :00:00), minute and
// second 0 to 59.
bool valid_civil(const Civil &t);

// The date that years are inferred against.
struct RefDate {
    int year, month, day;
};
// The year for a month and day given without one: the reference year, the
// next or the previous, whichever puts the date within six months of ref.
int infer_year(const RefDate &ref, int month, int day);
// The full year of a two-digit year: the one in [ref_year-89, ref_year+10].
int infer_century(int ref_year, int yy);

// Moves a time by n calendar units, keeping the clock: 'D' days, 'M'
// months and 'Y' years (the day is kept; a start on the last day of its
// month that does not exist in the target month gives the target month's
// last day), 'E' month ends (the start must be a month's last day). False
// with *why set when the target day does not exist or the start is wrong.
bool shift_calendar(Civil &t, char unit, int64_t n, const char **why);
// Seconds in one step of an elapsed unit 'S', 'N', 'H'; 0 for the others.
int unit_seconds(char unit);

// A time zone of the standard: a fixed offset (Z, and the S and D forms
// such as CS), or a one-letter zone that follows the civil time of its
// region through the system's zone database.
struct Zone {
    char code[3];        // as written: "Z", "CS", "C"
    int offset;          // seconds east of UTC, for fixed zones
    const char *tzname;  // zone database name for local zones, else null
};
// The zone of a code, or false when the text is no zone code.
bool find_zone(std::string_view code, Zone &zone);
Zone utc_zone();

enum class Fit {
    Exact,      // one UTC time
    Ambiguous,  // repeated wall time: the first occurrence (daylight) taken
    Gap,        // a wall time skipped by the clock change: no UTC time
    NoData,     // the zone database lacks the zone
};
// The UTC time of a wall time in a zone. The process TZ is left as found.
Fit to_utc(const Zone &zone, const Civil &local, int64_t &utc);
// The wall time in a zone of a UTC time.
Civil to_local(const Zone &zone, int64_t utc);
// "YYYY-MM-DDTHH:MM:SSZ" into out (21 bytes with the terminator).
void format_utc(int64_t secs, char *out);

// ---------------------------------------------------------------------------
// Parameter tables and codes (shef_parm.cpp)

// The tables of a SHEFPARM file: physical elements with their SI-to-English
// factors (*1), durations (*2), type-sources (*3), extrema (*4),
// probabilities (*5), send codes and duration defaults (*6), qualifiers
// (*7) and the error limit (**).
class Parm {
  public:
    // Reads a SHEFPARM text. Lines it cannot use are skipped and reported to
    // problem (line number, reason) when given.
    static Parm parse(std::string_view text,
                      const std::function<void(int, std::string_view)> &problem = {});
    // The copy shipped with the program, built in at compile time.
    static const Parm &builtin();

    bool pe_known(char a, char b) const;
    double factor(char a, char b) const;  // 1 for an unknown element
    int duration_value(char d) const;     // -1 for a code not in *2
    bool ts_valid(char t, char s) const;
    bool extremum_valid(char e) const;
    bool probability_valid(char p) const;
    bool qualifier_valid(char q) const;
    // The *6 entry of a two-letter code: its expansion ("PPD" gives the
    // duration default of PP, "PPDRZZZ" is what the send code PY stands
    // for) and its 07:00 flag; null when there is none.
    struct Sixth {
        char text[8];
        bool seven_am;
    };
    const Sixth *sixth(char a, char b) const;
    // The duration of an element's code written without one: its *6
    // default, else I.
    char default_duration(char a, char b) const;
    int error_limit() const { return error_limit_; }

  private:
    struct Reader;             // reads the sections of a SHEFPARM text
    static int index(char c);  // A-Z 0-25, 0-9 26-35, else -1
    bool pe_[26 * 26] = {};
    double factor_[26 * 26] = {};
    bool has_sixth_[26 * 26] = {};
    Sixth sixth_[26 * 26] = {};
    int duration_[36] = {};
    bool ts_[36 * 36] = {};
    bool extremum_[36] = {};
    bool probability_[36] = {};
    bool qualifier_[36] = {};
    int error_limit_ = 500;
};

// A parameter code with the standard's defaults applied.
struct Code {
    char pe[2];
    char duration;
    char ts[2];
    char extremum;
    char probability;
    int duration_value;  // from *2; for duration V the DV in force decides
    bool seven_am;       // a send code that moves the time to 07:00 local
    char send[2];        // the send code written, when the code is one
    bool pe_known;       // false: unknown element, kept and not converted
    double factor;       // SI to English; -1 means Celsius to Fahrenheit
};
// Resolves a code of 2 to 7 characters: a bare send code expands (a send
// code followed by more characters is no code); a missing or Z duration
// takes the element's default (I unless *6 says otherwise), type Z becomes
// R, missing source, extremum and probability are Z. False with why set
// when a part is not in its table.
bool resolve_code(const Parm &parm, std::string_view text, Code &code, std::string &why);

// A value as written: a number with an optional qualifier letter, or a
// missing code (+, -, M, MM) or a trace (T), each with an optional
// qualifier letter other than its own.
struct ValueText {
    enum Kind { Number, Missing, Trace } kind;
    std::string_view number;  // digits as written, sign included (Number)
    char qualifier;           // the letter written after it, or 0
    // The number's parts: sign, integer digits without leading zeros and
    // fraction digits without trailing zeros.
    bool negative;
    std::string_view whole, fraction;
    bool point;  // written with a decimal point
};
// False for text that is no value of the standard ("1,5", "6O.O", "??",
// "++", "MMM").
bool parse_value(std::string_view text, ValueText &value);
// The English-unit value of a number text: canonical decimal text with at
// most 4 places, no trailing zeros and no exponent. factor is applied when
// si is true and factor is not 1 (-1 converts Celsius to Fahrenheit). The
// text goes into out (kValueMax bytes, not terminated); returns its
// length, or 0 when the number is not finite.
constexpr std::size_t kValueMax = 400;
std::size_t english_value(std::string_view number, bool si, double factor, char *out);
// The same for a number read by parse_value.
std::size_t english_value(const ValueText &value, bool si, double factor, char *out);
// A number written without a decimal point, read in hundredths (as
// precipitation is in English units): canonical text into out, its length
// returned. The number must have at most 15 digits.
std::size_t hundredths_value(const ValueText &value, char *out);

// ---------------------------------------------------------------------------
// The decoder (shef_series_*.cpp)

// One decoded value.
struct Record {
    std::string_view station;
    int64_t obs_time;  // UTC seconds since 1970
    const Code *code;
    int duration_value;      // the duration's number (the DV value for V)
    bool missing;            // M, MM, -9999 and the like: value is empty
    std::string_view value;  // English units, canonical decimal text
    char qualifier;          // 0 when none
    bool has_creation;
    int64_t creation_time;  // UTC seconds, when has_creation
    bool revised;
    char message;  // 'A', 'B' or 'E'
    long line;     // input line of the value
    std::string_view comment;
};

enum class Severity { Warning, Error };

struct Counts {
    long messages = 0;  // message start lines (.A, .B, .E and revisions)
    long values = 0;    // records handed out
    long errors = 0;
    long warnings = 0;
};

// The longest line read: a longer one is skipped and told.
constexpr std::size_t kLineMax = 1 << 20;

// Decodes SHEF text line by line. Lines come whole, without their line end;
// a message is decoded as its lines arrive and its values are handed out
// at once (a .B block's at its .END), so memory does not grow with the
// input.
class Decoder {
  public:
    using OnValue = std::function<void(const Record &)>;
    using OnNote = std::function<void(Severity, long line, std::string_view text)>;
    // A line skipped for its length, by its number.
    using OnLongLine = std::function<void(long line)>;

    // parm must outlive the decoder. Years given without a century or
    // without a year are inferred against ref. on_value is any callable
    // taking a const Record & (a lambda, a function, an OnValue), or {} for
    // none: the decoder keeps a copy and calls it through one plain function
    // pointer, once a value. An exception it throws leaves the decoder
    // usable only for its destruction.
    template <class V = std::nullptr_t>
    Decoder(const Parm &parm, RefDate ref, V &&on_value, OnNote on_note)
        : Decoder(parm, ref, ValueCall(std::forward<V>(on_value)), std::move(on_note), 0) {}
    ~Decoder();
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    // One input line and its number (from 1).
    void line(std::string_view text, long number);
    // A line that could not be read whole (longer than kLineMax): counted
    // as an error and told to the OnLongLine function when one is set, else
    // as an error note "longer than 1 MiB skipped". An .A or .E message
    // ends there; a .B block goes on.
    void skipped_line(long number);
    void set_on_long_line(OnLongLine fn);
    // For a writer that can take back what it was given. With an OnBlock
    // function set, a .B block's values are handed out as they are read,
    // not held until its .END: Begin comes at the block's start, then Keep
    // at its .END, or Drop when it ends otherwise (another message line,
    // the end of the input, too many values) and its values must not be
    // written. The counts take a block's values at its Keep.
    enum class BlockMark { Begin, Keep, Drop };
    using OnBlock = std::function<void(BlockMark)>;
    void set_on_block(OnBlock fn);
    // Values written straight to a CSV writer, which must outlive the
    // decoder, instead of handed to the OnValue function: the rows that
    // calling csv.row() for each value and csv.block() for each block mark
    // would write, in less time.
    void write_csv(class CsvWriter &csv);
    // The end of the input: an open .B block is closed with an error.
    void finish();
    const Counts &counts() const;

    // A callable of records, owned, called through a plain function pointer
    // (an OnValue would add its own indirection and checks to each value).
    class ValueCall {
      public:
        ValueCall() = default;
        template <class F>
        explicit ValueCall(F &&f) {
            using T = std::decay_t<F>;
            if constexpr (std::is_same_v<T, std::nullptr_t>) {
                return;
            } else {
                if constexpr (std::is_constructible_v<bool, const T &>)
                    if (!static_cast<bool>(f)) return;  // an empty OnValue or null pointer
                target_ = new T(std::forward<F>(f));
                call_ = [](void *t, const Record &r) { (*static_cast<T *>(t))(r); };
                drop_ = [](void *t) { delete static_cast<T *>(t); };
            }
        }
        ValueCall(ValueCall &&o) noexcept : target_(o.target_), call_(o.call_), drop_(o.drop_) {
            o.target_ = nullptr;
            o.call_ = nullptr;
            o.drop_ = nullptr;
        }
        ValueCall &operator=(ValueCall &&) = delete;
        ValueCall(const ValueCall &) = delete;
        ~ValueCall() {
            if (drop_ != nullptr) drop_(target_);
        }
        explicit operator bool() const { return call_ != nullptr; }
        void operator()(const Record &r) const { call_(target_, r); }

      private:
        void *target_ = nullptr;
        void (*call_)(void *, const Record &) = nullptr;
        void (*drop_)(void *) = nullptr;
    };

  private:
    Decoder(const Parm &parm, RefDate ref, ValueCall on_value, OnNote on_note, int);
    friend bool decode_stream(FILE *in, Decoder &decoder);
    struct Impl;
    Impl *impl_;
};

// Reads every line of in into the decoder, then finishes it. A UTF-8
// byte-order mark at the start is passed over; a line ends at LF, CR LF,
// CR CR LF or a CR alone; a line longer than kLineMax is skipped. False
// when reading failed.
bool decode_stream(FILE *in, Decoder &decoder);

// ---------------------------------------------------------------------------
// CSV output (shef_csv.cpp)

// One header line, then one line per record, in RFC 4180 quoting with LF
// line ends. Output is gathered in large blocks.
class CsvWriter {
  public:
    explicit CsvWriter(FILE *out);
    ~CsvWriter();
    CsvWriter(const CsvWriter &) = delete;
    CsvWriter &operator=(const CsvWriter &) = delete;
    void header();
    void row(const Record &r);
    // For a decoder that hands its plainest values over itself
    // (Decoder::write_csv). set_context gives what the rows of a line, or
    // of a .B station group, share; plain_row writes the row of a value
    // with no qualifier, creation date or comment in that context: the
    // text row() makes of the same record (an empty value is a missing
    // one), with the shared parts checked once a context, not once a row.
    // The station text must stay as it is until the next set_context.
    void set_context(std::string_view station, long line, bool revised, char message) {
        context_ = {station, 0, nullptr, 0, false, {}, 0, false, 0, revised, message, line, {}};
        context_ready_ = false;
    }
    // Inline for the decoder: the common row is copies; anything else is
    // left to plain_row_made.
    [[gnu::always_inline]] void plain_row(int64_t obs_time, const Code &code, int duration_value,
                                          std::string_view value) {
        if ((!context_ready_ || obs_time != prefix_.obs) && !make_context(obs_time)) {
            context_row(obs_time, code, duration_value, value);
            return;
        }
        const DurationText &d = durations_[duration_slot(duration_value)];
        const std::size_t n = value.size();
        if (d.value != duration_value || n > 16 || used_ + kPlainRoom > buf_.size()) {
            plain_row_made(obs_time, code, duration_value, value);
            return;
        }
        char *p = buf_.data() + used_;
        std::memcpy(p, prefix_.text, sizeof prefix_.text);
        p += prefix_.len;
        p = code_text(p, code);
        const char *q = value.data();
        if (n >= 8) {
            std::memcpy(p, q, 8);
            std::memcpy(p + n - 8, q + n - 8, 8);
        } else if (n >= 4) {
            std::memcpy(p, q, 4);
            std::memcpy(p + n - 4, q + n - 4, 4);
        } else if (n > 0) {
            p[0] = q[0];
            p[n / 2] = q[n / 2];
            p[n - 1] = q[n - 1];
        }
        p += n;
        std::memcpy(p, middle_.text, sizeof middle_.text);
        p += middle_.len;
        std::memcpy(p, d.text, sizeof d.text);
        p += d.len;
        *p++ = '\n';
        used_ = static_cast<std::size_t>(p - buf_.data());
    }
    // "PE,D,TS,E,P," of a code: its seven letters spread with commas, two
    // stores where bytes stand in memory as in a number.
    static char *code_text(char *p, const Code &c) {
        if constexpr (std::endian::native == std::endian::little) {
            uint32_t a, b;
            std::memcpy(&a, c.pe, 4);  // pe, duration, first of ts
            std::memcpy(&b, c.ts, 4);  // ts, extremum, probability
            const uint64_t lo = (a & 0xffffu) | uint64_t{','} << 16 |
                                uint64_t{(a >> 16) & 0xff} << 24 | uint64_t{','} << 32 |
                                uint64_t{b & 0xffffu} << 40 | uint64_t{','} << 56;
            const uint32_t hi = ((b >> 16) & 0xff) | uint32_t{','} << 8 | (b >> 24) << 16 |
                                uint32_t{','} << 24;
            std::memcpy(p, &lo, 8);
            std::memcpy(p + 8, &hi, 4);
        } else {
            const char code[] = {c.pe[0], c.pe[1],    ',', c.duration,    ',', c.ts[0], c.ts[1],
                                 ',',     c.extremum, ',', c.probability, ','};
            std::memcpy(p, code, sizeof code);
        }
        return p + 12;
    }
    [[gnu::noinline]] void plain_row_made(int64_t obs_time, const Code &code, int duration_value,
                                          std::string_view value);
    // A .B block's rows are kept apart from Begin until Keep writes them or
    // Drop takes them back (see Decoder::set_on_block); rows of a block not
    // ended when the writer is flushed are dropped.
    void block(Decoder::BlockMark mark);
    // Writes what is gathered and flushes the stream; false when any write
    // failed.
    bool flush();

  private:
    // Room a plain row can take: prefix, code, value, middle, duration and
    // line end, each copied whole.
    static constexpr std::size_t kPlainRoom = 32 + 12 + 16 + 64 + 16 + 1;
    // Room for n more bytes.
    void reserve(std::size_t n) {
        if (used_ + n > buf_.size()) make_room(n);
    }
    void make_room(std::size_t n);
    void drain();
    [[gnu::noinline]] char *put_prefix(char *p, const Record &r);
    [[gnu::noinline]] char *put_middle(char *p, const Record &r);
    [[gnu::noinline]] char *put_duration(char *p, int value);
    // The kept prefix and middle made for the context and a time; false
    // when the station cannot be kept (long, or in need of quotes).
    [[gnu::noinline]] bool make_context(int64_t obs_time);
    bool make_prefix(std::string_view station, int64_t obs_time);
    void make_middle(const Record &r);
    [[gnu::noinline]] void context_row(int64_t obs_time, const Code &code, int duration_value,
                                       std::string_view value);
    // "YYYY-MM-DDTHH:MM:SSZ" at out: the texts of the last few days seen
    // are kept, as a product's times fall on a few days.
    void put_time(int64_t secs, char *out);
    FILE *out_;
    bool direct_;           // blocks are written to the descriptor
    bool flushed_ = false;  // what the stream held before is out
    std::vector<char> buf_;
    std::size_t used_ = 0;
    bool failed_ = false;
    bool in_block_ = false;
    std::size_t block_start_ = 0;  // where the open block's rows start
    Record context_{};             // set_context's parts
    bool context_ready_ = false;   // the kept prefix and middle are of context_
    struct DateText {
        int64_t day = INT64_MIN;
        char text[16] = {};  // "YYYY-MM-DDT"
    };
    DateText dates_[32];  // by day, modulo their number
    // The rows of a line repeat most of the row before: "station,obs_time,"
    // and ",qualifier,creation_time,revised,.message,line," are kept as
    // text with what they were made of.
    struct Prefix {
        std::size_t station_len = SIZE_MAX;  // SIZE_MAX: text not made
        uint64_t station_key = 0;
        int64_t obs = INT64_MIN;
        char obs_text[24] = {};  // "obs_time,"
        std::size_t len = 0;
        char text[32] = {};
    } prefix_;
    struct Middle {
        long line = -1;
        int64_t creation = 0;
        uint32_t flags = UINT32_MAX;  // qualifier, revised, message, has_creation
        std::size_t len = 0;
        std::size_t digits = 0;  // where the line's digits start
        char text[64] = {};
    } middle_;
    // Durations take turns from row to row: a few are kept by value, each
    // with its comma.
    struct DurationText {
        int value = -1;
        std::size_t len = 0;
        char text[16] = {};
    };
    DurationText durations_[32];
    // The durations of a product's codes (0, 1001, 2001, 1006...) fall in
    // slots of their own.
    static std::size_t duration_slot(int value) {
        return (static_cast<uint32_t>(value) * 2654435761u) >> 27;
    }
};

// The whole conversion: the SHEF text of in to CSV on out. Notes go to
// on_note, lines skipped for their length to on_long_line when given.
// read_ok/write_ok tell whether reading and writing succeeded.
struct Conversion {
    Counts counts;
    bool read_ok;
    bool write_ok;
};
Conversion convert(FILE *in, FILE *out, const Parm &parm, RefDate ref,
                   const Decoder::OnNote &on_note, const Decoder::OnLongLine &on_long_line = {});

}  // namespace vyr::series

#endif  // SHEF_SERIES_H
