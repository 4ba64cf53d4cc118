// shef_decode_fields.h - the two field readers of the SHEF decoding loop.
//
// The loop asks for fields (a word, a date, a code and its value, ...) at a
// cursor over one cleaned line. ScannedFields takes each with one try of a
// scanner pattern: it is the reference, and it is the one used while the
// scanner's trace is shown, since every try shows there. DirectFields reads
// the same fields straight off the line, a character class at a time, and
// is the converter's hot path: field for field it must consume, return and
// cut exactly what the scanner does (the differential fuzz target and the
// decoder tests hold it to that).
//
// A field is a view that stays valid until the next field of the same kind
// is read or the next line is set; a text field is cut to the 80 characters
// a scanner conversion keeps, and a word (%s) is cut where the scanner stops
// reading it.
#ifndef SHEF_DECODE_FIELDS_H
#define SHEF_DECODE_FIELDS_H

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "vyrbase.h"

namespace vyr::shef {

using Field = std::string_view;

// What a scanner conversion keeps of a field.
constexpr int kFieldKept = 80;

// ---------------------------------------------------------------------------
// The reference: one scanner try per field

class ScannedFields {
  public:
    ScannedFields() : tracing_(MESS_check(M_DEBUG_RES) != 0) {}

    // The line must stay in place until the next one is set; it ends at
    // its first NUL.
    void set(const char *line) {
        line_ = line;
        scanp_set(&param_, line);
    }
    void seek(int off) { param_.off = off; }
    int offset() const { return param_.off; }

    // %s, then blanks.
    bool word(Field &f) { return take_into(kWord, f, string_); }
    // Digits and N: a date.
    bool digits(Field &f) { return take_into(kDigits, f, string_); }
    // A word of letters that does not begin with D (a date/time code): a
    // time zone.
    bool zone(Field &f) {
        if (scanp(&param_, kLetters, string_) != 1 || string_[0] == 'D') return false;
        scanp_inc(&param_);
        f = string_;
        return true;
    }
    // A date/time code such as DH12 and its separator, directly or after
    // blanks; comma_too admits a comma besides the slash.
    bool date_time(bool comma_too, Field &type, Field &value) {
        if (!may_start('D')) return false;
        const vyr::scan::Pattern &tight = comma_too ? kTimeSep : kTimeSlash;
        const vyr::scan::Pattern &loose = comma_too ? kTimeSepAfterBlank : kTimeSlashAfterBlank;
        if (scanp(&param_, tight, type_, value_) != 4 && scanp(&param_, loose, type_, value_) != 4)
            return false;
        scanp_inc(&param_);
        type = type_;
        value = value_;
        return true;
    }
    // A comment between colons; an unclosed one runs to the end of the line.
    void skip_comment() {
        if (!may_start(':') || !take(1, kCommentOpen)) return;
        scanp(&param_, kCommentRest);
        scanp_inc(&param_);
    }
    // An element code of a .B header.
    bool code(Field &f) { return take_into(kCode, f, type_); }
    // A slash or comma between the codes of a .B header.
    void skip_sep() { take(1, kSkipSep); }
    // A slash between the elements of a .A line.
    void slash() {
        if (may_start('/')) take(1, kSlash);
    }
    // A .A element: letters, blanks, a numeric value.
    bool pair(Field &type, Field &value) {
        if (!take(2, kPair, type_, value_)) return false;
        type = type_;
        value = value_;
        return true;
    }
    // The station identifier that opens a .B body entry.
    bool body_id(Field &f) { return take_into(kBodyId, f, string_); }
    // A .B body value.
    bool value(Field &f) { return take_into(kValue, f, value_); }
    // The slash or comma after a .B body value.
    bool sep(char &c) {
        if (!(may_start('/') || may_start(',')) || !take(1, kSep, temp_str_)) return false;
        c = temp_str_[0];
        return true;
    }

  private:
    using Pattern = vyr::scan::Pattern;
    static constexpr std::size_t kBuf = 161;  // a whole line piece and its NUL

    // Whether a try that needs the character c first could match. The
    // scanner's trace shows every try, so while it is on every try is made.
    bool may_start(char c) const {
        return tracing_ || (param_.off < param_.length && line_[param_.off] == c);
    }
    // One scanner try, committed when it matched `want` directives.
    template <class... D>
    bool take(int want, const Pattern &pat, D &&...dests) {
        if (scanp(&param_, pat, dests...) != want) return false;
        scanp_inc(&param_);
        return true;
    }
    bool take_into(const Pattern &pat, Field &f, char (&buf)[kBuf]) {
        if (!take(1, pat, buf)) return false;
        f = buf;
        return true;
    }

    static inline const Pattern kWord{"%s "};
    static inline const Pattern kDigits{"%[/N] "};
    static inline const Pattern kLetters{"%[/A] "};
    static inline const Pattern kTimeSlash{"%*(D)%1[/A]%[/N]%*(/) "};
    static inline const Pattern kTimeSlashAfterBlank{"%*(D)%1[/A]%[/N] %*(/) "};
    static inline const Pattern kTimeSep{"%*(D)%1[/A]%[/N]%*(/|,) "};
    static inline const Pattern kTimeSepAfterBlank{"%*(D)%1[/A]%[/N] %*(/|,) "};
    static inline const Pattern kSlash{"%*(/) "};
    static inline const Pattern kPair{"%[/A] %[/N.-+] "};
    static inline const Pattern kCode{"%[^/: ] "};
    static inline const Pattern kCommentOpen{"%*(:) "};
    static inline const Pattern kCommentRest{"%*[^:]: "};
    static inline const Pattern kSkipSep{"%*(/|,) "};
    static inline const Pattern kBodyId{"%[^ :] "};
    static inline const Pattern kValue{"%[/N/A.-+] "};
    static inline const Pattern kSep{"%(/|,) "};

    const char *line_ = "";
    parse_param param_{};
    const bool tracing_;
    char string_[kBuf] = {};
    char type_[kBuf] = {};
    char value_[kBuf] = {};
    char temp_str_[kBuf] = {};
};

// ---------------------------------------------------------------------------
// The hot path: the same fields read straight off the line

namespace field_class {
// The scanner's classes and the sets of the patterns above, one bit each.
// NUL is in none: the line's terminator ends every run.
enum : uint16_t {
    kBlank = 1,        // a pattern blank: blank, newline, CR, tab
    kWordChar = 2,     // %s: anything but white space
    kDigitN = 4,       // [/N]: digits and N
    kLetter = 8,       // [/A]
    kPairValue = 16,   // [/N.-+]
    kCodeChar = 32,    // [^/: ]
    kBodyIdChar = 64,  // [^ :]
    kValueChar = 128,  // [/N/A.-+]
};
constexpr std::array<uint16_t, 256> make_table() {
    std::array<uint16_t, 256> t{};
    for (int c = 1; c < 256; ++c) {
        const bool space = c == ' ' || (c >= '\t' && c <= '\r');
        const bool digit = c >= '0' && c <= '9';
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        const bool sign = c == '.' || c == '-' || c == '+';
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') t[c] |= kBlank;
        if (!space) t[c] |= kWordChar;
        if (digit || c == 'N') t[c] |= kDigitN;
        if (letter) t[c] |= kLetter;
        if (digit || c == 'N' || sign) t[c] |= kPairValue;
        if (c != '/' && c != ':' && c != ' ') t[c] |= kCodeChar;
        if (c != ' ' && c != ':') t[c] |= kBodyIdChar;
        if (digit || letter || sign) t[c] |= kValueChar;
    }
    return t;
}
inline constexpr std::array<uint16_t, 256> kTable = make_table();
}  // namespace field_class

class DirectFields {
  public:
    void set(const char *line) {
        s_ = reinterpret_cast<const unsigned char *>(line);
        off_ = 0;
    }
    void seek(int off) { off_ = off; }
    int offset() const { return off_; }

    bool word(Field &f) {
        // %s stops after 80 characters, even inside a word; the blank that
        // follows is then missing, which the scanner does not hold against
        // the field.
        int n = 0;
        while (n < kFieldKept && is(s_[off_ + n], field_class::kWordChar)) ++n;
        return commit(n, n, f);
    }
    bool digits(Field &f) { return set_field(field_class::kDigitN, f); }
    bool zone(Field &f) {
        if (s_[off_] == 'D') return false;
        return set_field(field_class::kLetter, f);
    }
    bool date_time(bool comma_too, Field &type, Field &value) {
        using namespace field_class;
        int i = off_;
        if (s_[i] != 'D' || !is(s_[i + 1], kLetter)) return false;
        const int digits = i + 2;
        i = digits;
        while (is(s_[i], kDigitN)) ++i;
        if (i == digits) return false;
        const int digits_end = i;
        // The separator directly, or after at least one blank.
        auto separator = [&](unsigned char c) { return c == '/' || (comma_too && c == ','); };
        if (!separator(s_[i])) {
            while (is(s_[i], kBlank)) ++i;
            if (i == digits_end || !separator(s_[i])) return false;
        }
        type = text(off_ + 1, 1);
        value = text(digits, std::min(digits_end - digits, kFieldKept));
        off_ = after_blanks(i + 1);
        return true;
    }
    void skip_comment() {
        if (s_[off_] != ':') return;
        off_ = after_blanks(off_ + 1);
        // The comment's text, then its closing colon and blanks; without a
        // closing colon the text runs to the end. An empty comment ("::")
        // leaves the cursor on the second colon.
        int i = off_;
        while (s_[i] != '\0' && s_[i] != ':') ++i;
        if (i == off_) return;
        off_ = s_[i] == ':' ? after_blanks(i + 1) : i;
    }
    bool code(Field &f) { return set_field(field_class::kCodeChar, f); }
    void skip_sep() {
        if (s_[off_] == '/' || s_[off_] == ',') off_ = after_blanks(off_ + 1);
    }
    void slash() {
        if (s_[off_] == '/') off_ = after_blanks(off_ + 1);
    }
    bool pair(Field &type, Field &value) {
        using namespace field_class;
        int i = off_;
        while (is(s_[i], kLetter)) ++i;
        const int letters = i - off_;
        if (letters == 0 || !is(s_[i], kBlank)) return false;
        while (is(s_[i], kBlank)) ++i;
        const int start = i;
        while (is(s_[i], kPairValue)) ++i;
        if (i == start) return false;
        type = text(off_, std::min(letters, kFieldKept));
        value = text(start, std::min(i - start, kFieldKept));
        off_ = after_blanks(i);
        return true;
    }
    bool body_id(Field &f) { return set_field(field_class::kBodyIdChar, f); }
    bool value(Field &f) { return set_field(field_class::kValueChar, f); }
    bool sep(char &c) {
        const unsigned char here = s_[off_];
        if (here != '/' && here != ',') return false;
        c = static_cast<char>(here);
        off_ = after_blanks(off_ + 1);
        return true;
    }

  private:
    static bool is(unsigned char c, uint16_t cls) { return (field_class::kTable[c] & cls) != 0; }
    int after_blanks(int i) const {
        while (is(s_[i], field_class::kBlank)) ++i;
        return i;
    }
    Field text(int from, int n) const {
        return {reinterpret_cast<const char *>(s_) + from, static_cast<std::size_t>(n)};
    }
    // A field of n characters at the cursor, of which kept are returned;
    // blanks after it go with it.
    bool commit(int n, int kept, Field &f) {
        if (n == 0) return false;
        f = text(off_, kept);
        off_ = after_blanks(off_ + n);
        return true;
    }
    // A [...] conversion: the whole run is read, its first 80 kept.
    bool set_field(uint16_t cls, Field &f) {
        int n = 0;
        while (is(s_[off_ + n], cls)) ++n;
        return commit(n, std::min(n, kFieldKept), f);
    }

    const unsigned char *s_ = reinterpret_cast<const unsigned char *>("");
    int off_ = 0;
};

}  // namespace vyr::shef

#endif  // SHEF_DECODE_FIELDS_H
