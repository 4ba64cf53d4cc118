// shef_series_front.cpp - the decoder's front: each line told apart as
// a message start, a continuation, a block end or another line and sent
// to its message; a stream read line by line; the decoder's public face
// and the whole conversion from SHEF text to CSV.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "base_int.h"
#include "shef_series_impl.h"

namespace vyr::series {

namespace {

// ".END", alone or before a blank (the dot known).
bool block_end(std::string_view t) {
    return t.size() >= 4 && t[1] == 'E' && t[2] == 'N' && t[3] == 'D' &&
           (t.size() == 4 || t[4] == ' ');
}

// Whether a line (from its dot) is a message start, a continuation or an
// end of block: ".A", ".B" or ".E", an optional "R", an optional number,
// then a blank or the end; or ".END".
bool message_tag(std::string_view t) {
    if (t.size() < 2 || t[0] != '.') return false;
    if (block_end(t)) return true;
    if (t[1] != 'A' && t[1] != 'B' && t[1] != 'E') return false;
    std::size_t i = 2;
    if (i < t.size() && t[i] == 'R') ++i;
    while (i < t.size() && vyr::is_digit(t[i])) ++i;
    return i == t.size() || t[i] == ' ';
}

}  // namespace

// A line that is no message line: a .B block's body line, or the end of
// an .A or .E message. One that would be a message line but for its dot,
// not in column one, is an error.
void Decoder::Impl::other_line(std::string_view text) {
    std::size_t p = 0;
    while (text[p] == ' ') ++p;  // the line holds more than blanks
    if (text[p] == '.' && message_tag(text.substr(p))) {
        error("message line without its dot in column one: " + detail::quoted(text.substr(p, 20)));
        if (msg.kind != 'B') msg.kind = 0;
        return;
    }
    if (msg.kind == 'B') {
        if (!msg.skipping) b_body(text);
        return;
    }
    msg.kind = 0;  // an .A or .E message ends at the first other line
}

void Decoder::Impl::handle(std::string_view text, bool dot_in_column_one) {
    if (text.empty()) return;  // neither starts nor ends a message
    if (!dot_in_column_one)
        other_line(text);
    else
        message_line(text);
}

// A line with its dot in column one.
void Decoder::Impl::message_line(std::string_view text) {
    if (block_end(text)) {
        end_block();  // and an .A or .E message ends as at any other line
        return;
    }
    if (!message_tag(text)) {
        if (msg.kind == 'A' || msg.kind == 'E') msg.kind = 0;
        // What looks like a message line and is none is an error: a line
        // that starts like .A, .B or .E, or a lone message-type letter
        // (.C). Other lines that start with a dot are prose.
        const char type = text.size() >= 2 ? text[1] : 0;
        const bool tag_like = vyr::is_upper(type) && (text.size() == 2 || text[2] == ' ');
        if (type == 'A' || type == 'B' || type == 'E' || tag_like)
            error("not a SHEF message line: " + detail::quoted(text.substr(0, 20)));
        return;
    }
    // The tag: type letter, optional R, optional continuation number.
    const char type = text[1];
    std::size_t i = 2;
    const bool rev = i < text.size() && text[i] == 'R';
    if (rev) ++i;
    const std::size_t digits_at = i;
    while (i < text.size() && vyr::is_digit(text[i])) ++i;
    const std::string_view digits = text.substr(digits_at, i - digits_at);
    int number = 0;
    if (digits.empty())
        start(type, rev, text.substr(i));
    else if (digits.size() <= 2 && detail::read_int(digits, 0, 99, number))
        continuation(type, rev, number, text.substr(i));
    else
        error("not a SHEF message line: " + detail::quoted(text.substr(0, 20)));
}

// ---------------------------------------------------------------------------
// The decoder's face

Decoder::Decoder(const Parm &parm, RefDate ref, ValueCall on_value, OnNote on_note, int)
    : impl_(new Impl(parm, ref, std::move(on_value), std::move(on_note))) {}

Decoder::~Decoder() { delete impl_; }

void Decoder::line(std::string_view text, long number) {
    impl_->line_no = number;
    // The dot of a message line stands in column one, before any comment.
    impl_->handle(impl_->clean(text), !text.empty() && text[0] == '.');
}

void Decoder::skipped_line(long number) {
    Impl &d = *impl_;
    d.line_no = number;
    if (d.msg.kind == 'A' || d.msg.kind == 'E') d.msg.kind = 0;
    if (!d.on_long_line) {
        d.error("longer than 1 MiB skipped");
        return;
    }
    ++d.counts.errors;
    d.on_long_line(number);
}

void Decoder::set_on_long_line(OnLongLine fn) { impl_->on_long_line = std::move(fn); }

void Decoder::set_on_block(OnBlock fn) { impl_->on_block = std::move(fn); }

void Decoder::write_csv(CsvWriter &csv) {
    impl_->csv = &csv;
    impl_->on_block = [&csv](BlockMark m) { csv.block(m); };
}

void Decoder::finish() { impl_->end_message(false); }

const Counts &Decoder::counts() const { return impl_->counts; }

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

namespace {

// The lines of a stream, found in blocks read into a buffer of their own
// and handed out as views of it, with no copy: a line ends at LF and at CR.
// A line longer than kLineMax is read away, so the buffer never holds much
// more than that. One pass over each line finds its end and whether it
// needs cleaning at all.
class StreamLines {
  public:
    struct Piece {
        std::string_view text;  // valid until the next call
        char end;               // '\n', '\r', or 0 at the end of the input
        bool too_long;          // longer than kLineMax: text empty
        bool simple;            // no byte that cleaning changes, no comma, no quote
    };
    explicit StreamLines(FILE *in) : in_(in), buf_(kBlock + kPad) { buf_[0] = '\n'; }
    // The first bytes of the input, once read.
    std::string_view head() {
        if (end_ == 0 && !at_end_) fill();
        return {buf_.data(), end_};
    }
    void skip(std::size_t n) { pos_ += n; }
    bool next(Piece &out);
    bool failed() const { return failed_; }

  private:
    static constexpr std::size_t kBlock = 1 << 16;
    static constexpr std::size_t kPad = 32;  // a stop byte and a scan's reach past it
    // Reads more after what is held, keeping the line from pos_ on; false
    // at the end of the input (or a failed read, then kept).
    bool fill();
    // Where the first LF or CR at or after i lies (end_ when none).
    std::size_t line_end_from(std::size_t i) const {
        const char *const b = buf_.data();
        return std::min(static_cast<std::size_t>(detail::first_line_end(b + i) - b), end_);
    }
    FILE *in_;
    std::vector<char> buf_;  // held input in [pos_, end_), a LF at end_ to stop scans
    std::size_t pos_ = 0, end_ = 0;
    bool at_end_ = false, failed_ = false;
};

bool StreamLines::fill() {
    if (at_end_) return false;
    if (pos_ > 0) {
        std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    if (buf_.size() < end_ + kBlock + kPad) buf_.resize(end_ + kBlock + kPad);
    const std::size_t n = in_ != nullptr ? std::fread(&buf_[end_], 1, kBlock, in_) : 0;
    if (n == 0) {
        at_end_ = true;
        failed_ = in_ != nullptr && std::ferror(in_) != 0;
    }
    end_ += n;
    buf_[end_] = '\n';
    return n > 0;
}

bool StreamLines::next(Piece &out) {
    if (pos_ == end_ && !fill()) return false;
    std::size_t i = pos_;
    bool plain = true;
    for (;;) {
        // The first marked byte, a stop at end_ at the latest.
        const char *const b = buf_.data();
        std::size_t j = std::min(static_cast<std::size_t>(detail::first_mark(b + i) - b), end_);
        if (j < end_ && buf_[j] != '\n' && buf_[j] != '\r') {
            plain = false;
            j = line_end_from(j);
        }
        if (j < end_) {
            const std::size_t n = j - pos_;
            out.end = buf_[j];
            out.too_long = n > kLineMax;
            out.text = out.too_long ? std::string_view() : std::string_view(&buf_[pos_], n);
            out.simple = plain;
            pos_ = j + 1;
            return true;
        }
        // No line end held: read more, unless the line is too long already.
        const std::size_t held = end_ - pos_;
        if (held > kLineMax) break;
        if (!fill()) {
            if (pos_ == end_) return false;
            out = {std::string_view(&buf_[pos_], end_ - pos_), 0, false, plain};
            pos_ = end_;
            return true;
        }
        i = held;  // the scan goes on where it stopped, the line now at 0
        if (!plain) i = line_end_from(i);
    }
    // A line too long to hold: read away to its end.
    out = {std::string_view(), 0, true, false};
    for (;;) {
        pos_ = end_;
        if (!fill()) return true;
        const std::size_t j = line_end_from(0);
        if (j < end_) {
            out.end = buf_[j];
            pos_ = j + 1;
            return true;
        }
    }
}

}  // namespace

bool decode_stream(FILE *in, Decoder &decoder) {
    StreamLines lines(in);
    const std::string_view head = lines.head();
    if (head.size() >= 3 && head.substr(0, 3) == "\xEF\xBB\xBF") lines.skip(3);
    // Pieces end at each LF and each CR; CR LF and CR CR LF end one line,
    // so the CRs that ended a line are held until what follows them shows
    // whether they began an empty line of their own.
    Decoder::Impl &d = *decoder.impl_;
    StreamLines::Piece piece;
    long number = 0;
    int crs = 0;  // 1: a CR ended the last line; 2: then a second CR came
    while (lines.next(piece)) {
        if (crs > 0 && piece.text.empty() && !piece.too_long) {
            if (piece.end == '\n') {
                crs = 0;
            } else if (crs == 1) {
                crs = 2;
            } else {
                ++number;  // CR CR CR: the second ended an empty line alone
            }
            continue;
        }
        if (crs == 2) ++number;  // the second CR ended an empty line alone
        crs = piece.end == '\r' ? 1 : 0;
        if (piece.too_long)
            decoder.skipped_line(++number);
        else if (piece.simple)
            d.simple_line(piece.text, ++number);
        else
            decoder.line(piece.text, ++number);
    }
    decoder.finish();
    return !lines.failed() && std::ferror(in) == 0;
}

}  // namespace vyr::series
