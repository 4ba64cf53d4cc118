// scanp.cpp - the pattern scanner: fields out of one line of coded text.
//
// scanp tries a pattern at the cursor and reports how far it got; the cursor
// moves only when the caller commits with scanp_inc. The SHEF decoder makes
// about ten tries per element over inputs of a hundred megabytes, so a call
// allocates nothing, never measures the rest of the line, and formats its
// traces only when their level is shown.
//
// The input of a call ends at the cursor's length or at a NUL, whichever
// comes first, and every loop walks it one character at a time, so nothing
// past either is ever read. Destinations are checked before they are taken:
// a destination of the wrong kind, or none at all, stops the scan unwritten.
#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base_int.h"
#include "vyrbase.h"

namespace {

using vyr::scan::Dest;
using vyr::scan::Kind;

constexpr int kWork = 80;                                // a field's work area, terminator aside
constexpr std::size_t kBareCap = kWork + 1;              // assumed behind a bare char*
constexpr int kMissMax = 19;                             // longest miss text kept
constexpr int kNoWidthLimit = 999;                       // characters examined without a width
constexpr int kWidthMax = 1000000;                       // width digits saturate here
constexpr int kTraceText = 50;                           // input characters shown by a trace
constexpr int64_t kMagnitudeCap = int64_t{INT_MAX} + 1;  // integer values saturate

// ---------------------------------------------------------------------------
// Character classes (the C locale's, whatever the process locale is)

enum : uint8_t {
    kAlpha = 1,
    kDigit = 2,
    kSpace = 4,       // %s, %D, %F: blank, tab, newline, vertical tab, form feed, CR
    kBlank = 8,       // pattern blank, %w: blank, newline, CR, tab
    kBlankNoNl = 16,  // %W: blank, CR, tab
    kWord = 32,       // %s: anything but kSpace
    kAny = 64         // %S, %c: anything
};

constexpr std::array<uint8_t, 256> make_classes() {
    std::array<uint8_t, 256> t{};
    for (int c = 'A'; c <= 'Z'; ++c) t[c] |= kAlpha;
    for (int c = 'a'; c <= 'z'; ++c) t[c] |= kAlpha;
    for (int c = '0'; c <= '9'; ++c) t[c] |= kDigit;
    for (unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) t[c] |= kSpace;
    for (unsigned char c : {' ', '\n', '\r', '\t'}) t[c] |= kBlank;
    for (unsigned char c : {' ', '\r', '\t'}) t[c] |= kBlankNoNl;
    for (int c = 1; c < 256; ++c) {
        t[c] |= kAny;
        if (!(t[c] & kSpace)) t[c] |= kWord;
    }
    return t;  // NUL is in no class: it ends the input of every conversion
}
constexpr std::array<uint8_t, 256> kClass = make_classes();

inline bool is(unsigned char c, uint8_t cls) { return (kClass[c] & cls) != 0; }

// A character set of a [...] directive, one bit per byte value.
struct CharSet {
    uint64_t bits[4] = {};
    void add(unsigned char c) { bits[c >> 6] |= uint64_t{1} << (c & 63); }
    bool has(unsigned char c) const { return ((bits[c >> 6] >> (c & 63)) & 1) != 0; }
};
constexpr uint64_t kDigitBits = 0x03FF000000000000ULL;   // '0'..'9', word 0
constexpr uint64_t kLetterBits = 0x07FFFFFE07FFFFFEULL;  // 'A'..'Z', 'a'..'z', word 1

// Reads the members after "[" up to the first "]"; returns the pattern
// position after the "]", or null when the set is not closed. A slash tries
// the pair it begins as an escape, and the character after it still counts
// in its own right: "/N" admits the digits and N, "//A" the slash and letters.
const char *parse_set(const char *p, CharSet &set) {
    const bool negate = *p == '^';
    if (negate) ++p;
    // The words stay in registers while the set is built: building it in
    // memory costs a store-to-load stall per member on every call.
    uint64_t w0 = 0, w1 = 0, w2 = 0, w3 = 0;
    auto add = [&](unsigned char c) {
        const uint64_t bit = uint64_t{1} << (c & 63);
        switch (c >> 6) {
            case 0: w0 |= bit; break;
            case 1: w1 |= bit; break;
            case 2: w2 |= bit; break;
            default: w3 |= bit; break;
        }
    };
    for (; *p != '\0' && *p != ']'; ++p) {
        if (*p == '/') {
            if (p[1] == 'A')
                w1 |= kLetterBits;
            else if (p[1] == 'N')
                w0 |= kDigitBits;
            else
                add('/');
        } else {
            add(static_cast<unsigned char>(*p));
        }
    }
    if (*p == '\0') return nullptr;
    if (negate) {
        w0 = ~w0;
        w1 = ~w1;
        w2 = ~w2;
        w3 = ~w3;
    }
    set.bits[0] = w0 & ~uint64_t{1};  // NUL ends the input, never a member
    set.bits[1] = w1;
    set.bits[2] = w2;
    set.bits[3] = w3;
    return p + 1;
}

// The modifiers of one directive.
struct Directive {
    bool suppress = false;  // '*'
    bool at_most = false;   // '<'
    bool has_miss = false;
    int width = 0;     // 0: none written (a written 0 counts as none)
    int miss_off = 0;  // the miss text's offset in the pattern
    int miss_len = 0;

    int limit() const { return width > 0 ? width : kNoWidthLimit; }
    bool exact() const { return width > 0 && !at_most; }
    bool fits(int n) const { return n >= 1 && (!exact() || n == width); }
};

// One element of a pattern, parsed: what is left to do when it meets the
// input. Offsets are into the pattern text.
struct Element {
    enum Type : uint8_t {
        Blank,    // one or more whitespace characters
        Literal,  // the character itself
        Conv,     // a conversion
        Skip,     // an unknown conversion letter: only "%" and modifiers go
        Fail      // a malformed directive: the scan stops here
    };
    Type type = Fail;
    char letter = 0;  // the literal character, or the conversion letter
    Kind need = Kind::Text;
    Directive d;
    int alt_off = 0;    // alternatives: the first character after "("
    int close_off = 0;  // and the ")"
    int next = 0;       // the pattern offset after the element
    CharSet set;
};

// Parses the element at offset off of pat (not its end). An unknown
// conversion letter consumes only the "%" and its modifiers: the letter is
// then the next element, so "%q" matches a literal q.
Element parse_element(const char *pat, int off) {
    Element e;
    const char *p = pat + off;
    if (*p == ' ' || *p != '%') {
        e.type = *p == ' ' ? Element::Blank : Element::Literal;
        e.letter = *p;
        e.next = off + 1;
        return e;
    }
    const char *q = p + 1;
    Directive &d = e.d;
    if (*q == '*') {
        d.suppress = true;
        ++q;
    }
    if (*q == '<') {
        d.at_most = true;
        ++q;
    }
    while (*q >= '0' && *q <= '9') {
        d.width = std::min(kWidthMax, d.width * 10 + (*q - '0'));
        ++q;
    }
    if (*q == '!') {
        const char *miss = ++q;
        while (*q != '\0' && *q != '!') ++q;
        if (*q == '\0') return e;  // unclosed miss text
        d.has_miss = true;
        d.miss_off = static_cast<int>(miss - pat);
        d.miss_len = static_cast<int>(std::min<std::ptrdiff_t>(q - miss, kMissMax));
        ++q;
    }

    e.letter = *q;
    switch (e.letter) {
        case 'A':
        case 'N':
        case 's':
        case 'S':
        case 'w':
        case 'W':
        case '[':
        case 'c':
        case '(': e.need = Kind::Text; break;
        case 'd':
        case 'D':
        case 'n': e.need = Kind::Int; break;
        case 'f':
        case 'F': e.need = Kind::Float; break;
        case '\0': return e;  // the pattern ends inside the directive
        default:
            e.type = Element::Skip;
            e.next = static_cast<int>(q - pat);
            return e;
    }
    e.next = static_cast<int>(q + 1 - pat);
    if (e.letter == '[') {
        const char *after = parse_set(q + 1, e.set);
        if (after == nullptr) return e;  // unclosed set
        e.next = static_cast<int>(after - pat);
    } else if (e.letter == '(') {
        const char *close = q + 1;
        while (*close != '\0' && *close != ')') ++close;
        if (*close == '\0') return e;  // unclosed alternatives
        e.alt_off = static_cast<int>(q + 1 - pat);
        e.close_off = static_cast<int>(close - pat);
        e.next = static_cast<int>(close + 1 - pat);
    }
    e.type = Element::Conv;
    return e;
}

}  // namespace

namespace vyr::scan {

// The elements of a pattern, parsed; a Fail element ends them.
struct Compiled {
    static constexpr int kMax = 12;
    int count = 0;
    Element el[kMax];
};

Pattern::Pattern(const char *text) : text_(text), compiled_(nullptr) {
    if (text == nullptr) return;
    auto *c = new (std::nothrow) Compiled;
    if (c == nullptr) return;
    for (int off = 0; text[off] != '\0';) {
        if (c->count == Compiled::kMax) {
            delete c;  // too long: the text is parsed at every call instead
            return;
        }
        const Element &e = c->el[c->count++] = parse_element(text, off);
        if (e.type == Element::Fail) break;
        off = e.next;
    }
    compiled_ = c;
}

Pattern::~Pattern() { delete compiled_; }

}  // namespace vyr::scan

namespace {

// ---------------------------------------------------------------------------
// One call of the scanner

class Scan {
  public:
    Scan(const char *text, int avail, const char *pat, const Dest *dests, int ndest, bool trace)
        : text_(text), avail_(avail), pat_(pat), dests_(dests), ndest_(ndest), trace_(trace) {}

    // Processes the pattern until its end or its first failing element.
    void run(const vyr::scan::Compiled *compiled) {
        if (compiled != nullptr) {
            for (int i = 0; i < compiled->count; ++i) {
                const Element &e = compiled->el[i];
                if (!step(e)) return;
                trace_step(e.next);
            }
            done = true;
            return;
        }
        for (int off = 0; pat_[off] != '\0';) {
            const Element e = parse_element(pat_, off);
            if (!step(e)) return;
            off = e.next;
            trace_step(off);
        }
        done = true;
    }

    // Copies at most 50 characters of the input from position from into buf
    // (51 bytes), for the traces; %.50s alone could run past the length.
    void trace_text(char *buf, int from) const {
        int n = 0;
        while (n < kTraceText && from + n < avail_ && text_[from + n] != '\0') {
            buf[n] = text_[from + n];
            ++n;
        }
        buf[n] = '\0';
    }

    int pos = 0;
    int matched = 0;
    int assigned = 0;
    bool done = false;

  private:
    unsigned char at(int i) const {
        return i < avail_ ? static_cast<unsigned char>(text_[i]) : '\0';
    }

    // Length of the run at pos of characters accepted by ok, at most limit.
    template <class Pred>
    int span(int limit, Pred ok) const {
        const int lim = std::min(limit, avail_ - pos);
        const auto *s = reinterpret_cast<const unsigned char *>(text_ + pos);
        int n = 0;
        while (n < lim && ok(s[n])) ++n;  // ok() never accepts NUL
        return n;
    }

    // Characters of want (n of them, none NUL) that the input spells out at
    // pos, stopping at the first difference or at limit.
    int spelled(const char *want, int n, int limit) const {
        const int lim = std::min(n, limit);
        int i = 0;
        while (i < lim && at(pos + i) == static_cast<unsigned char>(want[i])) ++i;
        return i;
    }

    void trace_step(int off) const {
        if (!trace_) return;
        char rest[kTraceText + 1];
        trace_text(rest, pos);
        MESS_print(M_DEBUG_RES, "     :%s:%.50s:\n", pat_ + off, rest);
    }

    static void store_text(const Dest *dest, const char *src, int n, bool terminate) {
        auto *out = static_cast<char *>(dest->ptr);
        const std::size_t cap = dest->cap > 0 ? dest->cap : kBareCap;
        std::size_t m = static_cast<std::size_t>(std::min(n, kWork));
        if (terminate) {
            m = std::min(m, cap - 1);
            std::memmove(out, src, m);
            out[m] = '\0';
        } else {
            m = std::min(m, cap);
            std::memmove(out, src, m);
        }
    }

    // A text field of n characters at pos: counted, stored, consumed.
    void take_text(const Dest *dest, int n, bool terminate = true) {
        ++matched;
        if (dest != nullptr) {
            store_text(dest, text_ + pos, n, terminate);
            ++assigned;
        }
        pos += n;
    }

    bool step(const Element &e);
    bool alternatives(const Element &e, const Dest *dest);
    bool number(const Element &e, const Dest *dest);
    int scan_int(int limit, bool skip_space, int &value) const;
    int scan_float(int limit, bool skip_space, float &value) const;

    const char *text_;  // the input at the cursor
    int avail_;         // characters up to the cursor's length
    const char *pat_;   // the whole pattern
    const Dest *dests_;
    int ndest_;
    int next_ = 0;  // next destination
    bool trace_;
};

// Applies one element at pos; false when it fails.
bool Scan::step(const Element &e) {
    switch (e.type) {
        case Element::Blank: {
            const int n = span(INT_MAX, [](unsigned char c) { return is(c, kBlank); });
            if (n == 0) return false;
            pos += n;
            return true;
        }
        case Element::Literal:
            if (at(pos) != static_cast<unsigned char>(e.letter)) return false;
            ++pos;
            return true;
        case Element::Skip: return true;
        case Element::Fail: return false;
        case Element::Conv: break;
    }

    // The destination is taken before the input is examined.
    const Dest *dest = nullptr;
    if (!e.d.suppress) {
        if (next_ >= ndest_ || dests_[next_].kind != e.need || dests_[next_].ptr == nullptr)
            return false;
        dest = &dests_[next_++];
    }

    const Directive &d = e.d;
    int n = 0;
    switch (e.letter) {
        case 'A': n = span(d.limit(), [](unsigned char c) { return is(c, kAlpha); }); break;
        case 'N': n = span(d.limit(), [](unsigned char c) { return is(c, kDigit); }); break;
        case 's':
            n = span(std::min(d.limit(), kWork), [](unsigned char c) { return is(c, kWord); });
            break;
        case 'S': n = span(d.limit(), [](unsigned char c) { return is(c, kAny); }); break;
        case 'w': n = span(d.limit(), [](unsigned char c) { return is(c, kBlank); }); break;
        case 'W': n = span(d.limit(), [](unsigned char c) { return is(c, kBlankNoNl); }); break;
        case '[': {
            const CharSet &set = e.set;
            n = span(d.limit(), [&set](unsigned char c) { return set.has(c); });
            break;
        }
        case 'c': {
            // Without a width one character, exactly, whatever '<' says.
            Directive c = d;
            if (c.width == 0) {
                c.width = 1;
                c.at_most = false;
            }
            n = span(c.limit(), [](unsigned char ch) { return is(ch, kAny); });
            if (!c.fits(n)) return false;
            take_text(dest, n, false);
            return true;
        }
        case '(': return alternatives(e, dest);
        case 'n':
            ++matched;
            if (dest != nullptr) {
                *static_cast<int *>(dest->ptr) = pos;
                ++assigned;
            }
            return true;
        default: return number(e, dest);
    }
    if (!d.fits(n)) return false;
    take_text(dest, n);
    return true;
}

// "(a|b|...)": the first alternative the input spells out wins.
bool Scan::alternatives(const Element &e, const Dest *dest) {
    const char *close = pat_ + e.close_off;
    for (const char *alt = pat_ + e.alt_off;;) {
        const char *end = alt;
        while (end < close && *end != '|') ++end;
        const int n = static_cast<int>(end - alt);
        if (spelled(alt, n, n) == n) {
            ++matched;
            if (dest != nullptr) {
                store_text(dest, alt, n, true);
                ++assigned;
            }
            pos += n;
            return true;
        }
        if (end == close) break;
        alt = end + 1;
    }

    const Directive &d = e.d;
    if (d.has_miss) {
        // As much of the miss text as is there; the field itself is empty.
        ++matched;
        if (dest != nullptr) {
            store_text(dest, "", 0, true);
            ++assigned;
        }
        pos += spelled(pat_ + d.miss_off, d.miss_len, d.limit());
        return true;
    }
    if (d.at_most && d.width == 0) {
        // An optional word: nothing consumed, the destination left as it was.
        ++matched;
        if (dest != nullptr) ++assigned;
        return true;
    }
    return false;
}

// d, D: an optional minus and digits (D also blanks around them). Returns
// the field's length, 0 when no number is there.
int Scan::scan_int(int limit, bool skip_space, int &value) const {
    const int lim = std::min(limit, avail_ - pos);
    const auto *s = reinterpret_cast<const unsigned char *>(text_ + pos);
    int i = 0;
    if (skip_space)
        while (i < lim && is(s[i], kSpace)) ++i;
    bool negative = false;
    if (i < lim && s[i] == '-') {
        negative = true;
        ++i;
    }
    const int first_digit = i;
    int64_t magnitude = 0;
    while (i < lim && is(s[i], kDigit)) {
        magnitude = std::min(kMagnitudeCap, magnitude * 10 + (s[i] - '0'));
        ++i;
    }
    if (i == first_digit) return 0;
    if (skip_space)
        while (i < lim && is(s[i], kSpace)) ++i;
    if (negative)
        value = static_cast<int>(-magnitude);  // -2^31 at most: fits
    else
        value = static_cast<int>(std::min<int64_t>(magnitude, INT_MAX));
    return i;
}

// f, F: an optional minus, digits with at most one point, an optional
// exponent that has digits (F also blanks around them). Returns the field's
// length, 0 when no number is there.
int Scan::scan_float(int limit, bool skip_space, float &value) const {
    const int lim = std::min(limit, avail_ - pos);
    const auto *s = reinterpret_cast<const unsigned char *>(text_ + pos);
    int i = 0;
    if (skip_space)
        while (i < lim && is(s[i], kSpace)) ++i;
    const int start = i;
    if (i < lim && s[i] == '-') ++i;
    int mantissa = 0;
    bool point = false;
    while (i < lim) {
        if (is(s[i], kDigit)) {
            ++mantissa;
        } else if (s[i] == '.' && !point) {
            point = true;
            ++mantissa;
        } else {
            break;
        }
        ++i;
    }
    // The exponent's digits count too: "e5" holds a digit, so it is a field
    // (whose text converts to 0).
    bool exponent = false;
    if (i < lim && (s[i] == 'e' || s[i] == 'E')) {
        int j = i + 1;
        if (j < lim && (s[j] == '+' || s[j] == '-')) ++j;
        const int first_digit = j;
        while (j < lim && is(s[j], kDigit)) ++j;
        if (j > first_digit) {
            i = j;
            exponent = true;
        }
    }
    if (mantissa == 0 && !exponent) return 0;
    // Converted from the work area; a text such as "." gives 0.
    char buf[kWork + 1];
    const int m = std::min(i - start, kWork);
    std::memcpy(buf, s + start, static_cast<std::size_t>(m));
    buf[m] = '\0';
    value = std::strtof(buf, nullptr);
    if (skip_space)
        while (i < lim && is(s[i], kSpace)) ++i;
    return i;
}

// d, D, f, F with their missing-value marker.
bool Scan::number(const Element &e, const Dest *dest) {
    const Directive &d = e.d;
    const bool is_int = e.letter == 'd' || e.letter == 'D';
    int ivalue = 0;
    float fvalue = 0;
    const int n = is_int ? scan_int(d.limit(), e.letter == 'D', ivalue)
                         : scan_float(d.limit(), e.letter == 'F', fvalue);

    if (d.fits(n)) {
        ++matched;
        if (dest != nullptr) {
            if (is_int)
                *static_cast<int *>(dest->ptr) = ivalue;
            else
                *static_cast<float *>(dest->ptr) = fvalue;
            ++assigned;
        }
        pos += n;
    } else {
        if (!d.has_miss) return false;
        // The marker must be there whole; otherwise the directive is passed
        // over and the next element tries at the same place.
        if (spelled(pat_ + d.miss_off, d.miss_len, d.limit()) == d.miss_len) {
            ++matched;
            if (dest != nullptr) {
                if (is_int)
                    *static_cast<int *>(dest->ptr) = VYR_MISSING;
                else
                    *static_cast<float *>(dest->ptr) = static_cast<float>(VYR_MISSING);
                ++assigned;
            }
            pos += d.miss_len;
        }
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// The fixed-name functions

int scanp_set(parse_param *param, const char *str) {
    if (param == nullptr) return 0;
    param->ptr = str;
    param->off = 0;
    const std::size_t n = str != nullptr ? std::strlen(str) : 0;
    param->length = static_cast<int>(std::min<std::size_t>(n, INT_MAX));
    return 1;
}

namespace {

// One scan of pat (parsed already when compiled is not null).
int scan_with(parse_param *param, const char *pat, const vyr::scan::Compiled *compiled,
              const Dest *dests, int ndest) {
    if (param == nullptr) return -1;
    param->len = 0;
    param->matched = 0;
    param->assigned = 0;
    param->done = 0;
    if (pat == nullptr || pat[0] == '\0' || param->ptr == nullptr || param->off < 0 ||
        param->off >= param->length)
        return -1;
    if (dests == nullptr || ndest < 0) ndest = 0;

    const bool trace = MESS_check(M_DEBUG_RES) != 0;
    Scan scan(param->ptr + param->off, param->length - param->off, pat, dests, ndest, trace);
    scan.run(compiled);
    param->len = scan.pos;
    param->matched = scan.matched;
    param->assigned = scan.assigned;
    param->done = scan.done ? 1 : 0;
    if (trace) {
        char head[kTraceText + 1];
        scan.trace_text(head, 0);
        MESS_print(M_DEBUG_RES, "SCANP:%.50s:%s:%d:%d:%d:%d:%d\n", head, pat, param->off,
                   param->len, param->done, param->assigned, param->matched);
    }
    return param->matched;
}

}  // namespace

int scanp_args(parse_param *param, const char *pat, const Dest *dests, int ndest) {
    return scan_with(param, pat, nullptr, dests, ndest);
}

int scanp_args(parse_param *param, const vyr::scan::Pattern &pat, const Dest *dests, int ndest) {
    return scan_with(param, pat.text(), pat.compiled(), dests, ndest);
}

int scanp_inc(parse_param *param) {
    if (param == nullptr) return 0;
    // A second commit of the same scan must not carry the cursor off the text.
    if (param->len > 0 && param->off >= 0 && param->off <= param->length)
        param->off += std::min(param->len, param->length - param->off);
    return 1;
}

const char *scanp_str(parse_param *param) {
    if (param == nullptr || param->ptr == nullptr) return "";
    const int off = std::clamp(param->off, 0, std::max(param->length, 0));
    return param->ptr + off;
}
