// shef_series_text.h - the text helpers that the SHEF time-series decoder's
// files share: the one integer and one decimal reader, and the words and
// fields of a message line. Internal to the decoder.
#ifndef SHEF_SERIES_TEXT_H
#define SHEF_SERIES_TEXT_H

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "base_int.h"

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

// A field of fixed digits already known to be digits: at most nine of
// them, so that no range check is needed.
inline int digits_value(std::string_view d, std::size_t pos, std::size_t len) {
    int v = 0;
    read_int(d.substr(pos, len), 0, 999999999, v);
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

// s in double quotes, for a message.
std::string quoted(std::string_view s);

}  // namespace vyr::series::detail

#endif  // SHEF_SERIES_TEXT_H
