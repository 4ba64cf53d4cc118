// shef_csv.cpp - decoded SHEF values as CSV rows, and the whole conversion
// from SHEF text to CSV.
//
// A row is built in place in a large buffer: most of a row repeats the row
// before (its station and time, its line and creation date), so those
// parts are kept as text and copied whole. Copies are of fixed sizes
// wherever the buffer has room past the row: a fixed move costs less than
// a move of the exact length.
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include "shef_series.h"

namespace {

using vyr::series::Code;

constexpr std::size_t kBlock = 128 << 10;  // bytes gathered before a write
// Room for a row past its station, value and comment: a prefix copied as
// 32 bytes, the code's 13, a middle copied as 64, a duration as 16, two
// quotes and the line end, with room to spare.
constexpr std::size_t kFixedRow = 192;

constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Two digits of v (0 to 99) at p.
inline void put2(char *p, int v) { std::memcpy(p, kPairs + 2 * v, 2); }

// Up to 8 characters as one number, so that a short text is compared
// without a call (the length is compared apart): two overlapping 4-byte
// loads, or for 1 to 3 characters the first, middle and last.
inline uint64_t short_key(const char *p, std::size_t n) {
    uint32_t a = 0, b = 0;
    if (n >= 4) {
        std::memcpy(&a, p, 4);
        std::memcpy(&b, p + n - 4, 4);
    } else if (n > 0) {
        a = static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[n / 2]) << 8 |
            static_cast<unsigned char>(p[n - 1]) << 16;
    }
    return uint64_t{a} << 32 | b;
}

inline char *put_code(char *p, const Code &c) { return vyr::series::CsvWriter::code_text(p, c); }

char *put_uint(char *p, unsigned long v) {
    // Counted first, then written two digits at a time from the end.
    std::size_t n = 1;
    for (unsigned long t = v; t >= 10; t /= 10) ++n;
    char *q = p + n;
    while (v >= 100) {
        q -= 2;
        std::memcpy(q, kPairs + 2 * (v % 100), 2);
        v /= 100;
    }
    if (v >= 10)
        std::memcpy(q - 2, kPairs + 2 * v, 2);
    else
        q[-1] = static_cast<char>('0' + v);
    return p + n;
}

char *put_int(char *p, long v) {
    if (v < 0) {
        *p++ = '-';
        return put_uint(p, 0UL - static_cast<unsigned long>(v));
    }
    return put_uint(p, static_cast<unsigned long>(v));
}

// Up to 16 bytes are copied with two overlapping fixed-size moves: a
// library call or a byte loop costs more for the short pieces of a row.
char *put_short(char *p, std::string_view s) {
    const std::size_t n = s.size();
    const char *q = s.data();
    if (n >= 8 && n <= 16) {
        std::memcpy(p, q, 8);
        std::memcpy(p + n - 8, q + n - 8, 8);
    } else if (n >= 4 && n < 8) {
        std::memcpy(p, q, 4);
        std::memcpy(p + n - 4, q + n - 4, 4);
    } else if (n < 4) {
        for (std::size_t i = 0; i < n; ++i) p[i] = q[i];
    } else {
        std::memcpy(p, q, n);
    }
    return p + n;
}

bool needs_quotes(std::string_view s) {
    for (char c : s)
        if (c == ',' || c == '"' || c == '\r' || c == '\n') return true;
    return false;
}

// A field quoted as RFC 4180 asks when it holds a comma, a quote or a line
// end; p has room for twice its length and two quotes.
char *put_text(char *p, std::string_view s) {
    if (!needs_quotes(s)) return put_short(p, s);
    *p++ = '"';
    for (char c : s) {
        if (c == '"') *p++ = '"';
        *p++ = c;
    }
    *p++ = '"';
    return p;
}

}  // namespace

namespace vyr::series {

CsvWriter::CsvWriter(FILE *out) : out_(out), direct_(fileno(out) >= 0) { buf_.resize(kBlock); }

CsvWriter::~CsvWriter() {
    if (in_block_) used_ = block_start_;
    in_block_ = false;
    drain();
}

void CsvWriter::header() {
    static constexpr std::string_view kHeader =
        "station,obs_time,pe,duration,type_source,extremum,probability,value,qualifier,"
        "creation_time,revised,message,line,duration_value,comment\n";
    reserve(kHeader.size());
    std::memcpy(buf_.data() + used_, kHeader.data(), kHeader.size());
    used_ += kHeader.size();
}

// What is gathered goes out, but for an open block's rows: they stay, and
// the buffer grows to hold them.
void CsvWriter::make_room(std::size_t n) {
    drain();
    if (used_ + n > buf_.size()) buf_.resize(std::max(2 * buf_.size(), used_ + n));
}

void CsvWriter::block(Decoder::BlockMark mark) {
    if (mark == Decoder::BlockMark::Begin) {
        in_block_ = true;
        block_start_ = used_;
        return;
    }
    if (in_block_ && mark == Decoder::BlockMark::Drop) used_ = block_start_;
    in_block_ = false;
}

void CsvWriter::put_time(int64_t secs, char *out) {
    int64_t day = secs / 86400;
    int64_t rem = secs % 86400;
    if (rem < 0) {
        rem += 86400;
        --day;
    }
    DateText &d = dates_[static_cast<uint64_t>(day) % std::size(dates_)];
    if (day != d.day) {
        const Civil c = civil_of(day * 86400);
        put2(d.text, c.year / 100);
        put2(d.text + 2, c.year % 100);
        d.text[4] = '-';
        put2(d.text + 5, c.month);
        d.text[7] = '-';
        put2(d.text + 8, c.day);
        d.text[10] = 'T';
        d.day = day;
    }
    const int r = static_cast<int>(rem);
    std::memcpy(out, d.text, 11);
    put2(out + 11, r / 3600);
    out[13] = ':';
    put2(out + 14, r / 60 % 60);
    out[16] = ':';
    put2(out + 17, r % 60);
    out[19] = 'Z';
}

// Whether any of the 8 bytes of w is a comma, a quote, a CR or a LF: a
// byte equal to c leaves a zero in w ^ c, which the high bits mark.
inline bool any_special(uint64_t w) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
    auto zero = [&](uint64_t x) { return (x - kOnes) & ~x & kHigh; };
    return (zero(w ^ (kOnes * ',')) | zero(w ^ (kOnes * '"')) | zero(w ^ (kOnes * '\r')) |
            zero(w ^ (kOnes * '\n'))) != 0;
}

// "station,obs_time,", made again: for a new time or station, and each
// time for a station that is long or needs quotes.
char *CsvWriter::put_prefix(char *p, const Record &r) {
    if (make_prefix(r.station, r.obs_time)) {
        std::memcpy(p, prefix_.text, sizeof prefix_.text);
        return p + prefix_.len;
    }
    p = put_text(p, r.station);
    *p++ = ',';
    std::memcpy(p, prefix_.obs_text, 21);
    return p + 21;
}

// The kept prefix made for a station and a time; false, with only the
// time's text made, for a station that is long or needs quotes.
bool CsvWriter::make_prefix(std::string_view station, int64_t obs_time) {
    const std::size_t n = station.size();
    Prefix &f = prefix_;
    const bool new_time = obs_time != f.obs;
    if (new_time) {
        put_time(obs_time, f.obs_text);
        f.obs_text[20] = ',';
        f.obs = obs_time;
    }
    const uint64_t key = n <= 8 ? short_key(station.data(), n) : 0;
    if (n > 8 || any_special(key)) {
        f.station_len = SIZE_MAX;
        return false;
    }
    if (key != f.station_key || n != f.station_len) {
        put_short(f.text, station);
        f.text[n] = ',';
        f.station_key = key;
        f.station_len = n;
        f.len = n + 22;
    } else if (!new_time) {
        return true;  // made already
    }
    std::memcpy(f.text + n + 1, f.obs_text, 21);
    return true;
}

namespace {

// The middle's flags: qualifier, message, revised and creation.
inline uint32_t middle_flags(const Record &r) {
    return static_cast<unsigned char>(r.qualifier) |
           static_cast<uint32_t>(static_cast<unsigned char>(r.message)) << 8 |
           (r.revised ? 1u << 16 : 0) | (r.has_creation ? 1u << 17 : 0);
}

}  // namespace

// ",qualifier,creation_time,revised,.message,line,", made again; the line
// after the one before only counts its digits on.
char *CsvWriter::put_middle(char *p, const Record &r) {
    make_middle(r);
    std::memcpy(p, middle_.text, sizeof middle_.text);
    return p + middle_.len;
}

void CsvWriter::make_middle(const Record &r) {
    Middle &m = middle_;
    const int64_t creation = r.has_creation ? r.creation_time : 0;
    if (r.line == m.line + 1 && m.line > 0 && middle_flags(r) == m.flags && creation == m.creation) {
        char *const first = m.text + m.digits;
        char *d = m.text + m.len - 2;  // the last digit, before the comma
        while (d >= first && *d == '9') *d-- = '0';
        if (d >= first) {
            ++*d;
            m.line = r.line;
            return;
        }
    }
    char *q = m.text;
    *q++ = ',';
    if (r.qualifier != 0) *q++ = r.qualifier;
    *q++ = ',';
    if (r.has_creation) {
        put_time(r.creation_time, q);
        q += 20;
    }
    std::memcpy(q, r.revised ? ",1,." : ",0,.", 4);
    q += 4;
    *q++ = r.message;
    *q++ = ',';
    m.digits = static_cast<std::size_t>(q - m.text);
    q = put_int(q, r.line);
    *q++ = ',';
    m.len = static_cast<std::size_t>(q - m.text);
    m.flags = middle_flags(r);
    m.line = r.line;
    m.creation = creation;
}

// "duration_value," made again.
char *CsvWriter::put_duration(char *p, int value) {
    DurationText &d = durations_[duration_slot(value)];
    d.value = value;
    char *e = put_int(d.text, value);
    *e++ = ',';
    d.len = static_cast<std::size_t>(e - d.text);
    std::memcpy(p, d.text, sizeof d.text);
    return p + d.len;
}

// The parts of a row that repeat the row before are copied from kept text
// with fixed-size moves; the making of new text is out of line, so that
// the common row needs few registers.
bool CsvWriter::make_context(int64_t obs_time) {
    context_ready_ = make_prefix(context_.station, obs_time);
    if (!context_ready_) return false;  // the row is written as row() writes it
    const Middle &m = middle_;
    if (context_.line != m.line || m.creation != 0 ||
        middle_flags(context_) != m.flags)
        make_middle(context_);
    return true;
}

// A plain row in a context made already, when its duration, its room or
// its value needs more than copies.
void CsvWriter::plain_row_made(int64_t, const Code &code, int duration_value,
                               std::string_view value) {
    if (used_ + kFixedRow + 64 + value.size() > buf_.size()) make_room(kFixedRow + 64 + value.size());
    char *p = buf_.data() + used_;
    std::memcpy(p, prefix_.text, sizeof prefix_.text);
    p += prefix_.len;
    p = put_code(p, code);
    p = put_short(p, value);
    std::memcpy(p, middle_.text, sizeof middle_.text);
    p += middle_.len;
    const DurationText &d = durations_[duration_slot(duration_value)];
    if (d.value == duration_value) {
        std::memcpy(p, d.text, sizeof d.text);
        p += d.len;
    } else {
        p = put_duration(p, duration_value);
    }
    *p++ = '\n';
    used_ = static_cast<std::size_t>(p - buf_.data());
}

// A plain row whose station cannot be kept: written as row() writes it.
void CsvWriter::context_row(int64_t obs_time, const Code &code, int duration_value,
                            std::string_view value) {
    Record r = context_;
    r.obs_time = obs_time;
    r.code = &code;
    r.duration_value = duration_value;
    r.missing = value.empty();
    r.value = value;
    row(r);
}

void CsvWriter::row(const Record &r) {
    context_ready_ = false;  // the kept parts may be made for this row
    const std::size_t n = r.station.size();
    if (n <= 8 && r.value.size() <= 32 && r.comment.empty()) {
        if (used_ + kFixedRow + 64 > buf_.size()) make_room(kFixedRow + 64);
    } else {
        reserve(kFixedRow + 2 * (n + r.comment.size()) + r.value.size());
    }
    char *p = buf_.data() + used_;
    const Prefix &f = prefix_;
    if (n == f.station_len && r.obs_time == f.obs && short_key(r.station.data(), n) == f.station_key) {
        std::memcpy(p, f.text, sizeof f.text);
        p += f.len;
    } else {
        p = put_prefix(p, r);
    }
    p = put_code(p, *r.code);
    if (!r.missing) p = put_short(p, r.value);
    const Middle &m = middle_;
    if (r.line == m.line && middle_flags(r) == m.flags &&
        (r.has_creation ? r.creation_time : 0) == m.creation) {
        std::memcpy(p, m.text, sizeof m.text);
        p += m.len;
    } else {
        p = put_middle(p, r);
    }
    // Durations take turns from row to row: a few are kept by value.
    const DurationText &d = durations_[duration_slot(r.duration_value)];
    if (d.value == r.duration_value) {
        std::memcpy(p, d.text, sizeof d.text);
        p += d.len;
    } else {
        p = put_duration(p, r.duration_value);
    }
    if (!r.comment.empty()) p = put_text(p, r.comment);
    *p++ = '\n';
    used_ = static_cast<std::size_t>(p - buf_.data());
}

// Blocks go straight to the descriptor when the stream has one: the
// stream's own buffer would only copy them once more.
void CsvWriter::drain() {
    const std::size_t out = in_block_ ? block_start_ : used_;
    if (out == 0) return;
    const int fd = direct_ ? fileno(out_) : -1;
    if (failed_) {
    } else if (fd < 0) {
        failed_ = std::fwrite(buf_.data(), 1, out, out_) != out;
    } else {
        if (!flushed_) {
            failed_ = std::fflush(out_) != 0;
            flushed_ = true;
        }
        for (std::size_t done = 0; !failed_ && done < out;) {
            const ssize_t n = ::write(fd, buf_.data() + done, out - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                failed_ = true;
                break;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    if (in_block_) {
        std::memmove(buf_.data(), buf_.data() + out, used_ - out);
        block_start_ = 0;
    } else if (buf_.size() > 4 * kBlock) {
        // A large block grew the buffer: its room goes back.
        std::vector<char>(kBlock).swap(buf_);
    }
    used_ -= out;
}

bool CsvWriter::flush() {
    if (in_block_) used_ = block_start_;
    in_block_ = false;
    drain();
    if (std::fflush(out_) != 0 || std::ferror(out_)) failed_ = true;
    return !failed_;
}

Conversion convert(FILE *in, FILE *out, const Parm &parm, RefDate ref,
                   const Decoder::OnNote &on_note, const Decoder::OnLongLine &on_long_line) {
    CsvWriter csv(out);
    csv.header();
    Decoder decoder(parm, ref, nullptr, on_note);
    decoder.set_on_long_line(on_long_line);
    decoder.write_csv(csv);
    Conversion c;
    c.read_ok = decode_stream(in, decoder);
    c.write_ok = csv.flush();
    c.counts = decoder.counts();
    return c;
}

}  // namespace vyr::series
