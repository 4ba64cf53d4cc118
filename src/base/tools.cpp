// tools.cpp - the one line reader behind every reader of text lines.
//
// A line is read into a caller's buffer of a fixed limit. What becomes of
// the rest of a longer line is the caller's rule: the suite's line readers
// hand it out as a piece of its own, the definition files skip such a line
// whole, a prompt reads the rest away. So is what becomes of the line end:
// the suite's line readers leave it in the stream and pass over one line end
// before the next read (two tries), which also passes over an empty first
// line; the other readers take it with its line. A reader that keeps whole
// lines (the SHEF time-series decoder) takes each as a view of the block
// read, copied only when it runs over a block's end.
#include <algorithm>
#include <cstring>
#include <string>

#include "base_int.h"
#include "vyrbase.h"

namespace vyr {

namespace {

enum class Stop { Limit, Newline, End };

// At most limit characters other than a line end into out; the line end
// stays unread. Nothing is written when nothing was read.
int take_piece(LineSource &src, char *out, int limit, Stop &stop) {
    int n = 0;
    stop = Stop::Limit;
    while (n < limit) {
        const std::string_view v = src.peek();
        if (v.empty()) {
            stop = Stop::End;
            break;
        }
        const std::size_t want = std::min(v.size(), static_cast<std::size_t>(limit - n));
        const auto *nl = static_cast<const char *>(std::memchr(v.data(), '\n', want));
        const std::size_t k = nl ? static_cast<std::size_t>(nl - v.data()) : want;
        std::memcpy(out + n, v.data(), k);
        n += static_cast<int>(k);
        src.consume(k);
        if (nl) {
            stop = Stop::Newline;
            break;
        }
    }
    if (n > 0) out[n] = '\0';
    return n;
}

// Drops the rest of the line up to its line end, which stays unread;
// true when anything was dropped.
bool drop_rest(LineSource &src) {
    bool dropped = false;
    for (std::string_view v; !(v = src.peek()).empty();) {
        const auto *nl = static_cast<const char *>(std::memchr(v.data(), '\n', v.size()));
        const std::size_t k = nl ? static_cast<std::size_t>(nl - v.data()) : v.size();
        src.consume(k);
        dropped = dropped || k > 0;
        if (nl) break;
    }
    return dropped;
}

bool at_line_end(LineSource &src) {
    const std::string_view v = src.peek();
    return !v.empty() && v[0] == '\n';
}

}  // namespace

int read_line(LineSource &src, char *out, int limit, LineRule rule, bool *long_line) {
    if (long_line) *long_line = false;
    if (out == nullptr || limit < 1) return -1;
    Stop stop;
    int n = take_piece(src, out, limit, stop);
    if (rule.skip_empty_first && n == 0) {
        if (stop == Stop::End) return -1;
        src.consume(1);  // the line end of the previous line, or an empty first line
        n = take_piece(src, out, limit, stop);
    }
    if (n == 0 && stop == Stop::End) return -1;
    if (stop == Stop::Limit && rule.rest != LongLine::Piece) {
        const bool more = drop_rest(src);
        if (long_line) *long_line = more;
    }
    if (!rule.skip_empty_first && at_line_end(src)) src.consume(1);
    if (n == 0) out[0] = '\0';
    return n;
}

FileLineSource::~FileLineSource() {
    if (held_ != EOF) ungetc(held_, f_);
}

std::string_view FileLineSource::peek() {
    if (held_ == EOF) {
        held_ = getc_unlocked(f_);
        if (held_ == EOF) return {};
    }
    byte_ = static_cast<char>(held_);
    return {&byte_, 1};
}

void FileLineSource::consume(std::size_t n) {
    if (n > 0) held_ = EOF;
}

std::string_view BlockLineSource::peek() {
    if (pos_ == end_ && !failed_ && f_ != nullptr) {
        end_ = std::fread(buf_, 1, sizeof buf_, f_);
        pos_ = 0;
        if (end_ == 0 && std::ferror(f_)) failed_ = true;
    }
    return {buf_ + pos_, end_ - pos_};
}

// Where the line in v ends: its first LF, or an earlier CR when CR ends
// lines too; v.size() when v holds no line end.
std::size_t WholeLines::line_end(std::string_view v) {
    const auto *nl = static_cast<const char *>(std::memchr(v.data(), '\n', v.size()));
    std::size_t k = nl ? static_cast<std::size_t>(nl - v.data()) : v.size();
    if (!cr_ends_) return k;
    if (!cr_known_ || (next_cr_ != nullptr && next_cr_ < v.data())) {
        next_cr_ = static_cast<const char *>(std::memchr(v.data(), '\r', v.size()));
        cr_known_ = true;
    }
    if (next_cr_ != nullptr && static_cast<std::size_t>(next_cr_ - v.data()) < k)
        k = static_cast<std::size_t>(next_cr_ - v.data());
    return k;
}

// Takes n bytes of v; taking all of it makes the next peek read a new
// block, where the CR search starts afresh.
void WholeLines::consume(std::string_view v, std::size_t n) {
    src_.consume(n);
    if (n == v.size()) cr_known_ = false;
}

bool WholeLines::next(LineView &out) {
    out = LineView{{}, 0, false};
    hold_.clear();
    bool any = false, held = false;
    std::size_t size = 0;
    for (std::string_view v; !(v = src_.peek()).empty();) {
        any = true;
        const std::size_t k = line_end(v);
        const bool found = k < v.size();
        if (!out.too_long && size + k > limit_) {
            out.too_long = true;
            hold_.clear();
        } else if (!out.too_long && found && !held) {
            out.text = v.substr(0, k);  // the whole line in the block: no copy
        } else if (!out.too_long) {
            hold_.append(v.data(), k);
            held = true;
        }
        size += k;
        if (found) {
            out.end = v[k];
            consume(v, k + 1);
            break;
        }
        consume(v, k);
    }
    if (held && !out.too_long) out.text = hold_;
    return any;
}

}  // namespace vyr

namespace {

constexpr vyr::LineRule kPieces{vyr::LongLine::Piece, true};

int read_file_line(FILE *f, char *s, int limit) {
    if (f == nullptr || s == nullptr) return -1;
    vyr::FileLineSource src(f);
    return vyr::read_line(src, s, limit, kPieces);
}

}  // namespace

int fgetline(FILE *ifile, char *string) { return read_file_line(ifile, string, 160); }

int fgetnline(FILE *ifile, char *string, int len) { return read_file_line(ifile, string, len); }

int fgetstring(FILE *ifile, char *string, int len) {
    int n = read_file_line(ifile, string, len);
    return n > 0 ? 1 : n;
}
