// shef_decode_lines.h - the two line sources of the SHEF decoding loop.
//
// The decoder reads its input in pieces of at most 160 characters, each
// cleaned by clean_line: a line longer than that comes as several pieces,
// an empty first line is passed over. ReadLines takes the pieces with the
// suite's line reader and is the reference. SplitLines, the hot path, finds
// them in its own block of the input and cleans them where they lie, with
// no copy unless a line is longer than a piece; it must give exactly the
// pieces ReadLines gives (the decoder tests and the differential fuzz target
// hold it to that).
#ifndef SHEF_DECODE_LINES_H
#define SHEF_DECODE_LINES_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "base_int.h"
#include "vyrbase.h"

namespace vyr::shef {

constexpr int kPiece = 160;

// One piece as the decoder sees it: cleaned, ending with a NUL at len, and
// valid until the next piece is read. cut: a piece of 160 characters whose
// line goes on in the input.
struct Line {
    const char *text = "";
    int len = 0;
    bool cut = false;
};

// The reference: the suite's line reader, then clean_line.
class ReadLines {
  public:
    explicit ReadLines(FILE *f) : src_(f) {}
    bool next(Line &line) {
        const int n = vyr::read_line(src_, buf_, kPiece, {vyr::LongLine::Piece, true});
        if (n < 0) return false;
        const std::string_view ahead = n == kPiece ? src_.peek() : std::string_view();
        line.cut = !ahead.empty() && ahead[0] != '\n';
        clean_line(buf_);
        line.text = buf_;
        line.len = static_cast<int>(std::strlen(buf_));
        return true;
    }
    bool failed() const { return src_.failed(); }

  private:
    vyr::BlockLineSource src_;
    char buf_[kPiece + 1] = {};
};

// The hot path: pieces found in a block of the input and cleaned in place.
class SplitLines {
  public:
    // block: bytes read at a time (at least a piece and its line end).
    explicit SplitLines(FILE *f, std::size_t block = std::size_t{1} << 16)
        : f_(f), block_(std::max(block, std::size_t{kPiece + 1})), buf_(new char[block_ + 1]) {}

    bool next(Line &line) {
        if (!started_) {
            started_ = true;
            fill();
            if (pos_ < end_ && buf_[pos_] == '\n') ++pos_;  // an empty first line
        }
        fill();
        const std::size_t avail = end_ - pos_;
        if (avail == 0) return false;
        char *const b = &buf_[pos_];
        const auto *nl =
            static_cast<char *>(std::memchr(b, '\n', std::min<std::size_t>(avail, kPiece + 1)));
        if (nl != nullptr) {
            // A whole line, or the last piece of a long one: its line end
            // becomes its terminator.
            const auto n = static_cast<std::size_t>(nl - b);
            pos_ += n + 1;
            line = clean(b, n, false);
        } else if (avail > kPiece) {
            // A piece of a longer line: cleaned in a copy, since its
            // terminator would fall on the next piece's first character.
            std::memcpy(piece_, b, kPiece);
            pos_ += kPiece;
            line = clean(piece_, kPiece, true);
        } else {
            // The last line, without a line end: the byte after the block
            // takes its terminator.
            pos_ = end_;
            line = clean(b, avail, false);
        }
        return true;
    }
    bool failed() const { return failed_; }

  private:
    // Keeps more than a piece ahead of the cursor, unless the input ends
    // first. A read that gives nothing ends the input; with an error, the
    // input counts as unreadable.
    void fill() {
        if (end_ - pos_ > kPiece || at_end_) return;
        std::memmove(buf_.get(), buf_.get() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
        while (end_ <= kPiece && !at_end_) {
            const std::size_t n = f_ != nullptr ? std::fread(&buf_[end_], 1, block_ - end_, f_) : 0;
            if (n == 0) {
                at_end_ = true;
                failed_ = f_ != nullptr && std::ferror(f_) != 0;
            }
            end_ += n;
        }
    }

    // clean_line over the n characters at s (s[n] is writable). A line of
    // printable characters up to its trailing control characters (the CR of
    // a CR LF line end) needs only those cut; anything else goes to
    // clean_line itself.
    static Line clean(char *s, std::size_t n, bool cut) {
        std::size_t kept = n;
        while (kept > 0 && static_cast<unsigned char>(s[kept - 1]) < 0x20) --kept;
        if (printable(s, kept)) {
            s[kept] = '\0';
            return {s, static_cast<int>(kept), cut};
        }
        s[n] = '\0';
        clean_line(s);
        return {s, static_cast<int>(std::strlen(s)), cut};
    }

    // Whether the n characters at s are all printable ASCII (0x20 to 0x7F),
    // taken eight at a time: a byte below 0x20 borrows into its high bit,
    // a byte from 0x80 has it already. (A borrow can only mark bytes above
    // one that is marked itself.)
    static bool printable(const char *s, std::size_t n) {
        constexpr uint64_t kOnes = 0x0101010101010101ULL;
        constexpr uint64_t kHigh = 0x8080808080808080ULL;
        auto marks = [&](std::size_t at) {
            uint64_t w;
            std::memcpy(&w, s + at, sizeof w);
            return ((w - 0x20 * kOnes) & ~w) | w;
        };
        if (n < 8) {
            for (std::size_t i = 0; i < n; ++i)
                if (static_cast<unsigned char>(static_cast<unsigned char>(s[i]) - 0x20) >= 0x60)
                    return false;
            return true;
        }
        uint64_t bad = marks(n - 8);  // the last eight, overlapping the others
        for (std::size_t i = 0; i + 8 < n; i += 8) bad |= marks(i);
        return (bad & kHigh) == 0;
    }

    FILE *f_;
    std::size_t block_;
    std::unique_ptr<char[]> buf_;  // block_ bytes and a terminator's place
    std::size_t pos_ = 0, end_ = 0;
    bool started_ = false, at_end_ = false, failed_ = false;
    char piece_[kPiece + 1] = {};
};

}  // namespace vyr::shef

#endif  // SHEF_DECODE_LINES_H
