// tools.cpp - line input shared by every reader of text files.
//
// A line is read in two tries so that the newline ending one line is only
// consumed by the next call: that keeps long lines coming back in pieces and
// passes over an empty first line, as every caller of the suite expects.
#include "vyr.h"

namespace {

enum class Stop { Limit, Newline, End };

// Reads at most limit characters other than newline into s. The newline is
// left in the stream. Nothing is written when nothing was read.
int read_piece(FILE *f, char *s, int limit, Stop &stop) {
    int n = 0;
    stop = Stop::Limit;
    while (n < limit) {
        int c = getc_unlocked(f);
        if (c == EOF) {
            stop = Stop::End;
            break;
        }
        if (c == '\n') {
            ungetc(c, f);
            stop = Stop::Newline;
            break;
        }
        s[n++] = static_cast<char>(c);
    }
    if (n > 0) s[n] = '\0';
    return n;
}

// The common two-try reader: the length read, 0 for an empty line, -1 at
// the end of the input (string untouched).
int read_line(FILE *f, char *s, int limit) {
    if (f == nullptr || s == nullptr || limit < 1) return -1;
    Stop stop;
    int n = read_piece(f, s, limit, stop);
    if (n > 0) return n;
    if (stop == Stop::End) return -1;
    getc_unlocked(f);  // the newline that ended the previous line
    n = read_piece(f, s, limit, stop);
    if (n > 0) return n;
    if (stop == Stop::End) return -1;
    s[0] = '\0';
    return 0;
}

}  // namespace

int fgetline(FILE *ifile, char *string) { return read_line(ifile, string, 160); }

int fgetnline(FILE *ifile, char *string, int len) { return read_line(ifile, string, len); }

int fgetstring(FILE *ifile, char *string, int len) {
    int n = read_line(ifile, string, len);
    return n > 0 ? 1 : n;
}
