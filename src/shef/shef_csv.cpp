// shef_csv.cpp - decoded SHEF values as CSV rows, and the whole conversion
// from SHEF text to CSV.
//
// A row is built in place in a large buffer: the times of a message repeat
// from row to row, so their text is kept from the row before.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "shef_series.h"

namespace {

constexpr std::size_t kBlock = 128 << 10;  // bytes gathered before a write
// Room for a row whose station and comment need no quoting: the fixed
// columns take less than 100 bytes.
constexpr std::size_t kFixedRow = 128;

char *put_uint(char *p, unsigned long v) {
    // Two digits at a time, from the end of a scratch buffer.
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char tmp[24];
    char *end = tmp + sizeof tmp, *q = end;
    while (v >= 100) {
        const unsigned long r = v % 100;
        v /= 100;
        q -= 2;
        std::memcpy(q, kPairs + 2 * r, 2);
    }
    if (v >= 10) {
        q -= 2;
        std::memcpy(q, kPairs + 2 * v, 2);
    } else {
        *--q = static_cast<char>('0' + v);
    }
    const std::size_t n = static_cast<std::size_t>(end - q);
    std::memcpy(p, q, n);
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

CsvWriter::~CsvWriter() { drain(); }

void CsvWriter::header() {
    static constexpr std::string_view kHeader =
        "station,obs_time,pe,duration,type_source,extremum,probability,value,qualifier,"
        "creation_time,revised,message,line,duration_value,comment\n";
    reserve(kHeader.size());
    std::memcpy(buf_.data() + used_, kHeader.data(), kHeader.size());
    used_ += kHeader.size();
}

void CsvWriter::make_room(std::size_t n) {
    drain();
    if (n > buf_.size()) buf_.resize(n);
}

void CsvWriter::row(const Record &r) {
    reserve(kFixedRow + 2 * (r.station.size() + r.comment.size() + r.value.size()));
    char *p = buf_.data() + used_;
    if (r.station.data() != last_station_.data() || r.station.size() != last_station_.size()) {
        last_station_ = r.station;
        station_plain_ = !needs_quotes(r.station);
    }
    p = station_plain_ ? put_short(p, r.station) : put_text(p, r.station);
    *p++ = ',';
    if (r.obs_time != last_obs_) {
        format_utc(r.obs_time, obs_text_);
        last_obs_ = r.obs_time;
    }
    std::memcpy(p, obs_text_, 20);
    p += 20;
    const Code &c = *r.code;
    const char code[] = {',',     c.pe[0], c.pe[1],    ',', c.duration,    ',', c.ts[0],
                         c.ts[1], ',',     c.extremum, ',', c.probability, ','};
    std::memcpy(p, code, sizeof code);
    p += sizeof code;
    if (!r.missing) p = put_short(p, r.value);
    *p++ = ',';
    if (r.qualifier != 0) *p++ = r.qualifier;
    *p++ = ',';
    if (r.has_creation) {
        if (r.creation_time != last_creation_) {
            format_utc(r.creation_time, creation_text_);
            last_creation_ = r.creation_time;
        }
        std::memcpy(p, creation_text_, 20);
        p += 20;
    }
    std::memcpy(p, r.revised ? ",1,." : ",0,.", 4);
    p += 4;
    *p++ = r.message;
    *p++ = ',';
    // The rows of a line, and their durations, mostly repeat the row before.
    if (r.line != last_line_) {
        last_line_ = r.line;
        line_len_ = static_cast<int>(put_int(line_text_, r.line) - line_text_);
    }
    p = put_short(p, std::string_view(line_text_, static_cast<std::size_t>(line_len_)));
    *p++ = ',';
    // Durations take turns from row to row: a few are kept by value.
    DurationText &d = durations_[static_cast<unsigned>(r.duration_value) % 8];
    if (d.value != r.duration_value) {
        d.value = r.duration_value;
        d.len = static_cast<int>(put_int(d.text, r.duration_value) - d.text);
    }
    p = put_short(p, std::string_view(d.text, static_cast<std::size_t>(d.len)));
    *p++ = ',';
    if (!r.comment.empty()) p = put_text(p, r.comment);
    *p++ = '\n';
    used_ = static_cast<std::size_t>(p - buf_.data());
}

// Blocks go straight to the descriptor when the stream has one: the
// stream's own buffer would only copy them once more.
void CsvWriter::drain() {
    if (used_ == 0) return;
    const int fd = direct_ ? fileno(out_) : -1;
    if (failed_) {
    } else if (fd < 0) {
        failed_ = std::fwrite(buf_.data(), 1, used_, out_) != used_;
    } else {
        if (!flushed_) {
            failed_ = std::fflush(out_) != 0;
            flushed_ = true;
        }
        for (std::size_t done = 0; !failed_ && done < used_;) {
            const ssize_t n = ::write(fd, buf_.data() + done, used_ - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                failed_ = true;
                break;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    used_ = 0;
}

bool CsvWriter::flush() {
    drain();
    if (std::fflush(out_) != 0 || std::ferror(out_)) failed_ = true;
    return !failed_;
}

Conversion convert(FILE *in, FILE *out, const Parm &parm, RefDate ref,
                   const Decoder::OnNote &on_note, const Decoder::OnLongLine &on_long_line) {
    CsvWriter csv(out);
    csv.header();
    Decoder decoder(
        parm, ref, [&](const Record &r) { csv.row(r); }, on_note);
    decoder.set_on_long_line(on_long_line);
    Conversion c;
    c.read_ok = decode_stream(in, decoder);
    c.write_ok = csv.flush();
    c.counts = decoder.counts();
    return c;
}

}  // namespace vyr::series
