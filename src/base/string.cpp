// string.cpp - in-place editing, splitting and case-insensitive comparison
// of terminated strings. Case folding is ASCII only, whatever the locale.
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base_int.h"
#include "vyrbase.h"

namespace {

inline int fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

}  // namespace

int clean_line(unsigned char *line) {
    if (line == nullptr || line[0] == '\0') return 0;
    std::size_t n = std::strlen(reinterpret_cast<char *>(line));
    // Trailing control characters go; the last character kept ends that.
    while (n > 0 && line[n - 1] < 0x20) line[--n] = '\0';
    // Inside, control characters and bytes of 0x80 and above become blanks:
    // one unsigned comparison tells both apart from printable ASCII.
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = line[i];
        line[i] = static_cast<unsigned char>(c - 0x20) >= 0x60 ? ' ' : c;  // branch-free
    }
    return 1;
}

int wstrim_string(char *string) {
    if (string == nullptr) return 1;
    char *w = string;
    for (char *r = string; *r; ++r)
        if (*r != '\n' && *r != '\r') *w++ = *r;
    while (w > string && w[-1] == ' ') --w;
    *w = '\0';
    return 1;
}

int fill_string(char *string, char tar, char fill) {
    if (string == nullptr) return 0;
    for (char *p = string; *p; ++p) {
        if (*p == tar) {
            *p = fill;
            if (fill == '\0') break;
        }
    }
    return 0;
}

int low_string(char *string) {
    if (string == nullptr || string[0] == '\0') return 0;
    for (char *p = string; *p; ++p) *p = static_cast<char>(fold(static_cast<unsigned char>(*p)));
    return 1;
}

int parse_string(const char *string, char delim, int *argc, char ***argv) {
    if (argc) *argc = 0;
    if (argv) *argv = nullptr;
    if (string == nullptr || string[0] == '\0' || argc == nullptr || argv == nullptr) return -1;
    char *copy = strdup(string);
    if (copy == nullptr) return -1;
    std::size_t n = std::strlen(copy);
    while (n > 0 && copy[n - 1] == delim) copy[--n] = '\0';
    std::size_t count = 1;
    for (std::size_t i = 0; i < n; ++i)
        if (copy[i] == delim) ++count;
    // The count must fit argc; a text of that many fields cannot be split.
    char **vec = count <= static_cast<std::size_t>(INT_MAX)
                     ? static_cast<char **>(std::malloc(sizeof(char *) * count))
                     : nullptr;
    if (vec == nullptr) {
        std::free(copy);
        return -1;
    }
    int k = 0;
    vec[k++] = copy;
    for (std::size_t i = 0; i < n; ++i) {
        if (copy[i] == delim) {
            copy[i] = '\0';
            vec[k++] = copy + i + 1;
        }
    }
    *argc = static_cast<int>(count);
    *argv = vec;
    return 0;
}

int free_parsed_array(int argc, char **argv) {
    if (argc == 0 || argv == nullptr) return 0;
    std::free(argv[0]);
    std::free(argv);
    return 0;
}

int strnicmp(const char *s1, const char *s2, int n) {
    if (s1 == nullptr || s2 == nullptr) return 1;
    return vyr::icompare(s1, s2, n < 1 ? 1 : static_cast<std::size_t>(n));
}

int stricmp(const char *s1, const char *s2) {
    if (s1 == nullptr || s2 == nullptr) return 1;
    return vyr::icompare(s1, s2);
}

namespace vyr {

std::size_t read_integer(std::string_view s, int64_t &value, int64_t lo, int64_t hi,
                         OutOfRange out_of_range) {
    std::size_t i = 0;
    const bool negative = i < s.size() && s[i] == '-';
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t first = i;
    // The magnitude saturates: every digit is taken, however many.
    constexpr uint64_t kCap = uint64_t{1} << 63;
    uint64_t m = 0;
    for (; i < s.size() && is_digit(s[i]); ++i)
        m = m > (kCap - 9) / 10 ? kCap : m * 10 + static_cast<uint64_t>(s[i] - '0');
    if (i == first) return 0;
    int64_t v;
    if (negative)
        v = m >= kCap ? INT64_MIN : -static_cast<int64_t>(m);
    else
        v = m >= kCap ? INT64_MAX : static_cast<int64_t>(m);
    if (v < lo || v > hi) {
        if (out_of_range == OutOfRange::Fail) return 0;
        v = v < lo ? lo : hi;
    }
    value = v;
    return i;
}

std::size_t read_integer(std::string_view s, int &value) {
    int64_t v = 0;
    const std::size_t n = read_integer(s, v, INT_MIN, INT_MAX);
    if (n > 0) value = static_cast<int>(v);
    return n;
}

namespace {

template <class T>
std::size_t read_floating(std::string_view s, T &value) {
    auto digit = [&](std::size_t i) { return i < s.size() && is_digit(s[i]); };
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t whole = 0, frac = 0;
    while (digit(i)) ++i, ++whole;
    if (i < s.size() && s[i] == '.') {
        std::size_t j = i + 1;
        while (digit(j)) ++j, ++frac;
        if (whole + frac > 0) i = j;
    }
    if (whole + frac == 0) return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (digit(j)) {
            while (digit(j)) ++j;
            i = j;
        }
    }
    const char *first = s.data() + (s[0] == '+' ? 1 : 0);
    T v;
    auto [end, ec] = std::from_chars(first, s.data() + i, v);
    if (ec != std::errc{} || end != s.data() + i) return 0;
    value = v;
    return i;
}

}  // namespace

std::size_t read_decimal(std::string_view s, double &value) { return read_floating(s, value); }
std::size_t read_decimal(std::string_view s, float &value) { return read_floating(s, value); }

int icompare(std::string_view s1, std::string_view s2, std::size_t n) {
    // The end of a text compares as its terminator would.
    for (std::size_t i = 0;; ++i) {
        int a = i < s1.size() ? fold(static_cast<unsigned char>(s1[i])) : 0;
        int b = i < s2.size() ? fold(static_cast<unsigned char>(s2[i])) : 0;
        if (a != b || a == 0 || i + 1 >= n) return a - b;
    }
}

bool is_stream_name(std::string_view name) {
    return name.empty() || name == "-" || iequals(name, "std") || iequals(name, "stdn");
}

bool copy_text(char *dst, std::size_t cap, std::string_view src, Overflow rule) {
    if (dst == nullptr || cap == 0) return false;
    std::size_t n = src.size();
    bool fits = n < cap;
    if (!fits) n = rule == Overflow::Cut ? cap - 1 : 0;
    if (n > 0) std::memmove(dst, src.data(), n);  // the text may lie in dst itself
    dst[n] = '\0';
    return fits;
}

}  // namespace vyr
