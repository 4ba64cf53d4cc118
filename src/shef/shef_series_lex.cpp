// shef_series_lex.cpp - the lines of SHEF text: read from a stream, cleaned
// of internal comments and blanks, split into words, and told apart as
// message starts, continuations, block ends and other lines.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base_int.h"
#include "shef_series_impl.h"

namespace vyr::series::detail {

void split_words(std::string_view f, std::vector<Word> &out) {
    out.clear();
    std::size_t i = 0;
    const std::size_t n = f.size();
    while (i < n) {
        while (i < n && f[i] == ' ') ++i;
        if (i >= n) break;
        if (quote(f[i])) {
            const char q = f[i++];
            const std::size_t start = i;
            while (i < n && f[i] != q) ++i;
            if (!out.empty() && out.back().comment.empty())
                out.back().comment = std::string_view(f.data() + start, i - start);
            if (i < n) ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < n && kWordChar[static_cast<unsigned char>(f[i])]) ++i;
        out.push_back({std::string_view(f.data() + start, i - start), {}});
    }
}

std::string quoted(std::string_view s) {
    // Bytes that are no printable ASCII are shown by their value.
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string q;
    q.reserve(s.size() + 2);
    q.push_back('"');
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7f) {
            q.push_back(ch);
        } else {
            q += "\\x";
            q.push_back(kHex[c >> 4]);
            q.push_back(kHex[c & 15]);
        }
    }
    q.push_back('"');
    return q;
}

}  // namespace vyr::series::detail

namespace vyr::series {

void Decoder::Impl::note(Severity s, const std::string &text) {
    if (s == Severity::Error)
        ++counts.errors;
    else
        ++counts.warnings;
    if (on_note) on_note(s, line_no, text);
}

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

// Colons toggle comments; tabs and other control bytes become blanks; what
// is outside retained comments is upper-cased; trailing blanks, "=" and "&"
// go. A byte outside ASCII is kept, to make its field an error.
std::string_view Decoder::Impl::clean(std::string_view raw) {
    // Branch-free, so that the compiler can check many bytes at a time.
    unsigned char odd = 0;
    for (char ch : raw) {
        const auto c = static_cast<unsigned char>(ch);
        odd |= static_cast<unsigned char>(static_cast<unsigned char>(c - 0x20) > 0x5e);
        odd |= static_cast<unsigned char>(c == ':');
        odd |= static_cast<unsigned char>(static_cast<unsigned char>(c - 'a') < 26);
    }
    std::string_view s = raw;
    if (odd != 0) {
        clean_buf.clear();
        bool comment = false;
        char open = 0;  // the quote of a retained comment: it keeps its case to
                        // the same quote or the end of its field
        for (char ch : raw) {
            const auto c = static_cast<unsigned char>(ch);
            if (c == ':') {
                comment = !comment;
                continue;
            }
            if (comment) continue;
            if (c < 0x20 || c == 0x7f) {
                ch = ' ';
            } else if (open != 0) {
                if (ch == open || ch == '/') open = 0;
            } else if (detail::quote(ch)) {
                open = ch;
            } else if (c >= 'a' && c <= 'z') {
                ch = static_cast<char>(c - 'a' + 'A');
            }
            clean_buf.push_back(ch);
        }
        s = clean_buf;
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '=' || s.back() == '&'))
        s.remove_suffix(1);
    return s;
}

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

}  // namespace vyr::series

namespace vyr::series::detail {

namespace {

constexpr uint64_t kOnes = 0x0101010101010101ULL, kLow7 = 0x7f * kOnes, kHigh = 0x80 * kOnes;

// The high bit of each byte of y (high bits clear) that is zero.
inline uint64_t zeros7(uint64_t y) { return ~(y + kLow7) & kHigh; }

// Eight bytes at p, the first in the low byte.
inline uint64_t load_word(const char *p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    return w;
}

// Marks the bytes of w that first_mark stops at; exact for each byte, as no
// sum carries into the next.
inline uint64_t marks(uint64_t w) {
    const uint64_t x = w & kLow7;
    const uint64_t from_a = (x + 0x1f * kOnes) | w;  // from 0x61, or from 0x80
    const uint64_t control = ~(x + 0x60 * kOnes);    // below 0x20
    return ((from_a | control) & kHigh) | zeros7(x ^ (':' * kOnes)) | zeros7(x ^ (',' * kOnes)) |
           zeros7(x ^ ('"' * kOnes)) | zeros7(x ^ ('\'' * kOnes));
}

inline uint64_t line_end_marks(uint64_t w) {
    const uint64_t x = w & kLow7;
    return (zeros7(x ^ ('\n' * kOnes)) | zeros7(x ^ ('\r' * kOnes))) & ~w;
}

}  // namespace

const char *first_mark_words(const char *p) {
    for (;; p += 8) {
        const uint64_t m = marks(load_word(p));
        if (m != 0) return p + std::countr_zero(m) / 8;
    }
}

const char *first_line_end_words(const char *p) {
    for (;; p += 8) {
        const uint64_t m = line_end_marks(load_word(p));
        if (m != 0) return p + std::countr_zero(m) / 8;
    }
}

#if defined(__SSE2__)
// Sixteen bytes at a time: signed compares take the bytes from 0x80 as
// below 0x20.
const char *first_mark(const char *p) {
    const __m128i space = _mm_set1_epi8(0x20), before_a = _mm_set1_epi8(0x60);
    const __m128i colon = _mm_set1_epi8(':'), comma = _mm_set1_epi8(',');
    const __m128i dquote = _mm_set1_epi8('"'), squote = _mm_set1_epi8('\'');
    for (;; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i m = _mm_or_si128(
            _mm_or_si128(_mm_or_si128(_mm_cmplt_epi8(v, space), _mm_cmpgt_epi8(v, before_a)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, colon), _mm_cmpeq_epi8(v, comma))),
            _mm_or_si128(_mm_cmpeq_epi8(v, dquote), _mm_cmpeq_epi8(v, squote)));
        const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(m));
        if (bits != 0) return p + std::countr_zero(bits);
    }
}

const char *first_line_end(const char *p) {
    const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
    for (;; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i m = _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr));
        const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(m));
        if (bits != 0) return p + std::countr_zero(bits);
    }
}
#else
const char *first_mark(const char *p) { return first_mark_words(p); }
const char *first_line_end(const char *p) { return first_line_end_words(p); }
#endif

}  // namespace vyr::series::detail

namespace vyr::series {

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
