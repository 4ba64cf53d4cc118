// shef_series_text.h - the text helpers that the SHEF time-series decoder's
// files share: the one integer and one decimal reader, and the words and
// fields of a message line. Internal to the decoder.
#ifndef SHEF_SERIES_TEXT_H
#define SHEF_SERIES_TEXT_H

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base_int.h"
#include "shef_series.h"

namespace vyr::series::detail {

// ---------------------------------------------------------------------------
// Numbers

inline bool all_digits(std::string_view d) {
    for (char c : d)
        if (!vyr::is_digit(c)) return false;
    return !d.empty();
}

// The whole of text as a decimal integer (an optional sign, then digits)
// within [lo, hi]; out is left alone otherwise. A loop of its own: fields
// of two digits are read for every value, and a library call costs more.
inline bool read_int(std::string_view text, int lo, int hi, int &out) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) i = 1;
    if (i == text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (!vyr::is_digit(c)) return false;
        v = v * 10 + (c - '0');
        if (v > 1LL << 40) return false;  // beyond any int: stop before overflow
    }
    if (negative) v = -v;
    if (v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

// The whole of text as a finite decimal number within [lo, hi]; out is left
// alone otherwise.
inline bool read_decimal(std::string_view text, double lo, double hi, double &out) {
    // The library's reader takes "-" but not "+".
    const bool plus = !text.empty() && text[0] == '+';
    if (plus) text.remove_prefix(1);
    if (text.empty() || text[0] == '+' || (plus && text[0] == '-')) return false;
    double v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v) || v < lo ||
        v > hi)
        return false;
    out = v;
    return true;
}

// A field of fixed digits already known to be digits (at most nine of
// them, so that no range check is needed), cut at the end of d.
inline int digits_value(std::string_view d, std::size_t pos, std::size_t len) {
    int v = 0;
    for (std::size_t i = pos; i < pos + len && i < d.size(); ++i) v = v * 10 + (d[i] - '0');
    return v;
}

// ---------------------------------------------------------------------------
// Words and fields

inline bool quote(char c) { return c == '"' || c == '\''; }

// A word of a field and the retained comment written right after it.
struct Word {
    std::string_view text;
    std::string_view comment;
};

// Characters that continue a word: all but the blank and the quotes.
constexpr struct WordChars {
    bool v[256];
    constexpr WordChars() : v{} {
        for (int c = 0; c < 256; ++c) v[c] = c != ' ' && c != '"' && c != '\'';
    }
    constexpr bool operator[](unsigned char c) const { return v[c]; }
} kWordChar;

// Characters of a word read straight off a data string, where "/" ends
// the field as well as the word.
constexpr struct FieldWordChars {
    bool v[256];
    constexpr FieldWordChars() : v{} {
        for (int c = 0; c < 256; ++c) v[c] = kWordChar[static_cast<unsigned char>(c)] && c != '/';
    }
    constexpr bool operator[](unsigned char c) const { return v[c]; }
} kFieldWordChar;

// Where the run of digits from q ends, end at the latest: eight bytes at a
// time while eight remain, as values run to several digits. A byte b is a
// digit when b - 0x30 < 10; the sums below do not carry across bytes.
inline const char *digits_end(const char *q, const char *end) {
    constexpr uint64_t k1 = 0x0101010101010101ULL, kLow7 = 0x7f * k1, kHigh = 0x80 * k1;
    while (end - q >= 8) {
        uint64_t w;
        std::memcpy(&w, q, sizeof w);
        const uint64_t x = w & kLow7;
        const uint64_t other = (w | ~(x + 0x50 * k1) | (x + 0x46 * k1)) & kHigh;
        if (other != 0) {
            const int bit = std::endian::native == std::endian::little ? std::countr_zero(other)
                                                                       : std::countl_zero(other);
            return q + bit / 8;
        }
        q += 8;
    }
    while (q < end && vyr::is_digit(*q)) ++q;
    return q;
}

// The plainest values: a number written as its own English text (see
// english_value), or as that text with trailing zeros (an optional "-",
// digits with no leading zero but a lone one before the point, an optional
// point and digits, at most 15 digits in all and 4 after the point once
// trailing zeros go, no negative zero): its text is a part of it and needs
// no copy; or a missing value without a qualifier (M, MM, +, -).
struct PlainValue {
    std::string_view text;  // the canonical text of a number
    bool point;             // written with a decimal point
    bool missing;
};
// Reads a plain value at p; returns where it ends (the caller decides
// whether the word ends there), or null when the text at p is none.
inline const char *plain_value(const char *p, const char *end, PlainValue &n) {
    const char *q = p;
    n.missing = n.point = false;
    if (q < end && *q == '-') ++q;
    const char *const first = q;
    // Values run to a few digits: a plain loop beats a wider scan's setup.
    if (q < end && *q == '0') {
        if (++q < end && vyr::is_digit(*q)) return nullptr;  // leading zeros
    } else {
        while (q < end && vyr::is_digit(*q)) ++q;
        if (q == first) {
            // No digit: a missing code ("-" read already), or no plain value.
            if (q == p) {
                if (q == end || (*q != 'M' && *q != '+')) return nullptr;
                q += *q == 'M' && q + 1 < end && q[1] == 'M' ? 2 : 1;
            }
            n.missing = true;
            return q;
        }
    }
    const std::size_t whole = *first == '0' ? 0 : static_cast<std::size_t>(q - first);
    const char *text_end = q;
    std::size_t places = 0;
    n.point = q < end && *q == '.';
    if (n.point) {
        const char *f = ++q;
        while (q < end && vyr::is_digit(*q)) ++q;
        const char *last = q;
        while (last > f && last[-1] == '0') --last;
        places = static_cast<std::size_t>(last - f);
        if (places > 0) text_end = last;
    }
    if (places > 4 || whole + places > 15 || (first != p && whole + places == 0)) return nullptr;
    n.text = std::string_view(p, static_cast<std::size_t>(text_end - p));
    return q;
}

// A number at p, read as parse_value reads a word that holds it: an
// optional sign, digits with an optional point, and an optional qualifier
// letter. Returns where it ends, or null when the text at p starts with no
// digit of a number (parse_value then tries the letter codes); the caller
// decides whether the word ends there. v's number parts are set either way.
inline const char *read_number(const char *p, const char *end, ValueText &v) {
    v.qualifier = 0;
    v.number = {};
    v.fraction = {};
    v.point = false;
    const char *q = p;
    v.negative = q < end && *q == '-';
    if (q < end && (*q == '+' || *q == '-')) ++q;
    const char *digits_from = q;
    while (q < end && *q == '0') ++q;
    const char *whole = q;
    q = digits_end(q, end);
    v.whole = std::string_view(whole, static_cast<std::size_t>(q - whole));
    bool any = q > digits_from;
    if (q < end && *q == '.') {
        v.point = true;
        const char *dot = ++q;
        q = digits_end(q, end);
        const char *last = q;  // just past the last nonzero digit
        while (last > dot && last[-1] == '0') --last;
        any = any || q > dot;
        v.fraction = std::string_view(dot, static_cast<std::size_t>(last - dot));
    }
    if (!any) return nullptr;
    v.kind = ValueText::Number;
    v.number = std::string_view(p, static_cast<std::size_t>(q - p));
    if (q < end && vyr::is_upper(*q)) v.qualifier = *q++;
    return q;
}

// The words of a field, blank separated. A quote opens a retained comment
// that runs to the same quote or to the end of the field; it belongs to
// the word before it.
void split_words(std::string_view f, std::vector<Word> &out);

// Calls fn(field, first, last) for each part of s between separators sep,
// until fn returns false.
template <class F>
void for_fields(std::string_view s, char sep, F fn) {
    std::size_t start = 0;
    for (bool first = true;; first = false) {
        // Fields are short: a plain loop beats a library search here.
        std::size_t end = start;
        while (end < s.size() && s[end] != sep) ++end;
        const std::string_view field(s.data() + start, end - start);
        if (end == s.size()) {
            fn(field, first, true);
            return;
        }
        if (!fn(field, first, false)) return;
        start = end + 1;
    }
}

// The end of the word at p: the next blank or "/".
inline std::size_t word_end(std::string_view s, std::size_t p) {
    while (p < s.size() && s[p] != ' ' && s[p] != '/') ++p;
    return p;
}

// The stream reader's scans (shef_series_lex.cpp). From p on, where the
// first byte stands that ends a line or keeps it from being simple: a
// control byte (LF and CR among them), one from 'a' up (lower case, a few
// signs, DEL and all outside ASCII), ':', ',', '"' or '\''. The caller puts
// a LF where the scan must stop, and 31 readable bytes after it.
const char *first_mark(const char *p);
// From p on, where the first LF or CR stands.
const char *first_line_end(const char *p);
// The same, eight bytes at a time, as first_mark and first_line_end are
// where the machine has nothing wider: kept for them to be held to.
const char *first_mark_words(const char *p);
const char *first_line_end_words(const char *p);

// s in double quotes, for a message.
std::string quoted(std::string_view s);

}  // namespace vyr::series::detail

#endif  // SHEF_SERIES_TEXT_H
