// shef_series_lex.cpp - the text of SHEF lines: cleaned of internal
// comments and blanks, split into words, quoted in messages, and the fast
// search for line ends and the bytes that need cleaning.
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
