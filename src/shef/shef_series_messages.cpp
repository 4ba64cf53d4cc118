// shef_series_messages.cpp - the three SHEF message formats: their
// positional fields and continuation lines, the .A data string, the .E
// series and the .B header and body.
//
// A message keeps its state (explicit time, relative offset, creation date,
// units, qualifier, variable duration, and for .E its series position; for
// .B the header's parameters) until its last line; values go out as they
// are read, a .B block's at its .END.
#include <cstring>
#include <string>

#include "shef_series_impl.h"

namespace vyr::series {

using detail::all_digits;
using detail::digits_value;
using detail::for_fields;
using detail::is_element;
using detail::kFieldWordChar;
using detail::kWordChar;
using detail::quoted;
using detail::split_words;

// ---------------------------------------------------------------------------
// Message lines

// A new message or the end of the input closes the message in hand; a .B
// block not closed by its .END loses its values.
void Decoder::Impl::end_message(bool by_new_start) {
    if (msg.kind == 'B') {
        error(".B block of line " + std::to_string(msg.line) + " not closed by .END " +
              (by_new_start ? "before the next message" : "at the end of the input") +
              ": its values are not written");
        block.drop();
        close_block(false);
    }
    msg.kind = 0;
}

// .END: a block's values go out.
void Decoder::Impl::end_block() {
    if (msg.kind == 'B' && !msg.skipping) {
        write_block();
        close_block(true);
    }
    close_block(false);  // a block passed over ends unwritten
    msg.kind = 0;
}

void Decoder::Impl::start(char type, bool rev, std::string_view rest) {
    end_message(true);
    ++counts.messages;
    msg.reset(type, rev, line_no);
    // Only .E messages read the series, only .B blocks the block.
    if (type == 'E') series = Series{};
    if (type == 'B' || block_used) block.reset();
    block_used = type == 'B';
    if (type == 'B' && on_block) {
        block.open = true;
        on_block(BlockMark::Begin);
    }
    std::string_view data;
    if (!positional(type, rest, data)) {
        msg.skipping = true;
        return;
    }
    if (type == 'A')
        a_data(data);
    else if (type == 'E')
        e_data(data, false);
    else
        b_header(data);
}

// The positional fields: identifier, date, optional zone; what follows is
// the data string. False with the error told when they are wrong.
bool Decoder::Impl::positional(char type, std::string_view rest, std::string_view &data) {
    const std::size_t n = rest.size();
    auto blanks_from = [&](std::size_t i) {
        while (i < n && rest[i] == ' ') ++i;
        return i;
    };
    std::size_t p = blanks_from(0);
    if (p == n) {
        error(std::string(".") + type + " message without identifier and date");
        return false;
    }
    std::size_t e = p;
    while (e < n && rest[e] != ' ') ++e;
    const std::string_view id = rest.substr(p, e - p);
    if (!detail::valid_id(id)) {
        error(id.size() < 3 || id.size() > 8
                  ? "identifier " + quoted(id) + " must have 3 to 8 characters"
                  : "bad station identifier " + quoted(id));
        return false;
    }
    std::memcpy(msg.station_text, id.data(), id.size());
    msg.station = std::string_view(msg.station_text, id.size());
    p = blanks_from(e);
    e = detail::word_end(rest, p);
    if (!positional_date(rest.substr(p, e - p))) return false;
    p = blanks_from(e);
    return positional_zone(rest, p == n ? std::string_view::npos : p, data);
}

// mmdd, yymmdd or ccyymmdd: a year left out is the one nearest the
// reference date, a century left out puts the year within 90 years before
// it and 10 after.
bool Decoder::Impl::positional_date(std::string_view date) {
    Civil t{0, 0, 0, 24, 0, 0};
    const std::size_t n = date.size();
    bool ok = all_digits(date) && (n == 4 || n == 6 || n == 8);
    if (ok) {
        t.month = digits_value(date, n - 4, 2);
        t.day = digits_value(date, n - 2, 2);
        if (n == 4)
            t.year = infer_year(ref, t.month, t.day);
        else if (n == 6)
            t.year = infer_century(ref.year, digits_value(date, 0, 2));
        else
            t.year = digits_value(date, 0, 4);
        if (!detail::year_in_range(t.year)) {
            error("date " + quoted(date) + " names a year outside 1753 to 2199");
            return false;
        }
        ok = valid_civil(t);
    }
    if (!ok) {
        error("bad date " + quoted(date));
        return false;
    }
    msg.st.when = t;
    msg.st.when_known = false;
    msg.st.year_inferred = n == 4;
    return true;
}

// The zone, when the word after the date is one; the data string starts
// there otherwise, with a "/" or an element. Another word is a bad zone, or
// data without the "/" that must start it: the message is refused.
bool Decoder::Impl::positional_zone(std::string_view rest, std::size_t p, std::string_view &data) {
    if (p != std::string_view::npos) {
        const std::size_t e = detail::word_end(rest, p);
        const std::string_view word = rest.substr(p, e - p);
        if (find_zone(word, msg.zone)) {
            p = rest.find_first_not_of(' ', e);
        } else if (!word.empty() && !is_element(word)) {
            error("bad time zone " + quoted(word) + " (or a data string without its \"/\")");
            return false;
        }
        if (p != std::string_view::npos) data = rest.substr(p);
    }
    // Without an hour, a value stands at the end of its day in local time,
    // at noon in UTC.
    const Zone &z = msg.zone;
    if (z.tzname == nullptr && z.offset == 0 && z.code[1] == '\0') msg.st.when.hour = 12;
    msg.st.when_known = false;
    return true;
}

// Whether a continuation line may continue the message in hand: of its
// format and revision, next in number, after no line with an error that
// stopped the message or was refused itself. An error otherwise, and the
// later continuation lines are refused too; what the message read so far
// stays (a .B block keeps the header it has).
bool Decoder::Impl::continues(char type, bool rev, int number) {
    const std::string tag = std::string(".") + type + (rev ? "R" : "") + std::to_string(number);
    if (msg.kind == 0) {
        error("continuation line " + tag + " without a message");
        return false;
    }
    if (msg.kind == 'B' && block.body_started) {
        error("continuation line " + tag + " in the body of a .B block");
        return false;
    }
    std::string why;
    if (type != msg.kind || (rev && !msg.revised))
        why = " does not belong to the ." + std::string(1, msg.kind) + (msg.revised ? "R" : "") +
              " message";
    else if (msg.skipping || msg.broken)
        why = " continues a line with an error: not decoded";
    else if (number != msg.next_continuation)
        why = " out of sequence: ." + std::string(1, type) + (rev ? "R" : "") +
              std::to_string(msg.next_continuation) + " expected";
    if (why.empty()) {
        msg.next_continuation = number + 1;
        return true;
    }
    error("continuation line " + tag + why);
    msg.broken = true;
    return false;
}

void Decoder::Impl::continuation(char type, bool rev, int number, std::string_view data) {
    if (!continues(type, rev, number)) return;
    if (type == 'A')
        a_data(data);
    else if (type == 'E')
        e_data(data, true);
    else
        b_header(data);
}

// ---------------------------------------------------------------------------
// .A messages

// The fields between "/"s, each read where it lies: the common ones by
// a_quick, the others by a_field.
void Decoder::Impl::a_data(std::string_view data) {
    row_context(msg.station);
    const char *p = data.data();
    const char *const end = p + data.size();
    for (;;) {
        const char *f_end = msg.a_pending.empty() ? a_quick(p, end) : nullptr;
        if (f_end == nullptr) {
            f_end = p;
            while (f_end < end && *f_end != '/') ++f_end;
            a_field(std::string_view(p, static_cast<std::size_t>(f_end - p)));
        }
        if (msg.skipping || f_end == end) return;
        p = f_end + 1;
    }
}

// The common field from p: a code, blanks, a value and maybe blanks, read
// in one pass, a number as it is met. Returns the field's end (its "/" or
// end), or null when the field is of another shape.
const char *Decoder::Impl::a_quick(const char *p, const char *end) {
    const char *a = p;
    while (a < end && *a == ' ') ++a;
    if (a == end) return nullptr;
    const char *b = a;
    while (b < end && kFieldWordChar[static_cast<unsigned char>(*b)]) ++b;
    const char *c = b;
    while (c < end && *c == ' ') ++c;
    if (*a == 'D') {
        // A field of one element, as a_field reads it, without its word list.
        const std::string_view word(a, static_cast<std::size_t>(b - a));
        if ((c != end && *c != '/') || !is_element(word)) return nullptr;
        if (detail::apply_hour(msg.st, word)) return c;
        Elem el;
        if (!element(word, el, "; rest of the message dropped", {}, false) || !apply(msg.st, el))
            msg.skipping = true;
        return c;
    }
    if (c == b || c == end) return nullptr;
    detail::PlainValue n;
    const char *d = detail::plain_value(c, end, n);
    if (d != nullptr && (d == end || !kFieldWordChar[static_cast<unsigned char>(*d)])) {
        const char *e = d;
        while (e < end && *e == ' ') ++e;
        if (e != end && *e != '/') return nullptr;
        const std::string_view code_text(a, static_cast<std::size_t>(b - a));
        const Code *code = cached_code(code_text);
        if (code == nullptr && (code = code_told(code_text)) == nullptr) return e;
        if (!quick_value(msg.station, *code, msg.st, n))
            value_word(msg.station, *code, msg.st,
                       Word{std::string_view(c, static_cast<std::size_t>(d - c)), {}}, Step{}, 0);
        return e;
    }
    ValueText v;
    d = detail::read_number(c, end, v);
    const bool number = d != nullptr && (d == end || !kFieldWordChar[static_cast<unsigned char>(*d)]);
    if (!number) {
        d = c;
        while (d < end && kFieldWordChar[static_cast<unsigned char>(*d)]) ++d;
        if (d == c) return nullptr;
    }
    const char *e = d;
    while (e < end && *e == ' ') ++e;
    if (e != end && *e != '/') return nullptr;
    std::string why;
    const Code *code = code_ref(std::string_view(a, static_cast<std::size_t>(b - a)), why);
    const Word w{std::string_view(c, static_cast<std::size_t>(d - c)), {}};
    if (code == nullptr)
        error(why);
    else if (number)
        value_parsed(msg.station, *code, msg.st, w, v, Step{}, 0);
    else
        value_word(msg.station, *code, msg.st, w, Step{}, 0);
    return e;
}

// The code of a text not in the cache, or null with the error told.
const Code *Decoder::Impl::code_told(std::string_view text) {
    std::string why;
    const Code *code = code_ref(text, why);
    if (code == nullptr) error(why);
    return code;
}

// A code left alone in the field before takes this field's lone value.
// True when the field was that value.
bool Decoder::Impl::a_pending_value() {
    std::string code_text;
    code_text.swap(msg.a_pending);
    ValueText v;
    if (words.size() != 1 || is_element(words[0].text) || !parse_value(words[0].text, v))
        return false;
    Code code;
    std::string why;
    if (!code_of(code_text, code, why))
        error(why);
    else
        value_word(msg.station, code, msg.st, words[0], Step{}, 0);
    return true;
}

// D-elements, then a code and its value; a field may hold only elements.
// A code alone in its field takes the value that stands alone in the next
// field ("DH12/HPIRWZZ/ 529.52", as some products write it); without one it
// is passed over.
void Decoder::Impl::a_field(std::string_view field) {
    split_words(field, words);
    if (words.empty()) return;
    if (!msg.a_pending.empty() && a_pending_value()) return;
    std::size_t i = 0;
    for (; i < words.size() && is_element(words[i].text); ++i) {
        Elem e;
        if (!element(words[i].text, e, "; rest of the message dropped", {}, false)) {
            msg.skipping = true;
            return;
        }
        if (!apply(msg.st, e)) {
            msg.skipping = true;
            return;
        }
    }
    if (i + 1 == words.size()) {
        ValueText v;
        Code code;
        std::string why;
        if (parse_value(words[i].text, v) && !code_of(words[i].text, code, why))
            error("value " + quoted(words[i].text) + " without a parameter code");
        else
            msg.a_pending.assign(words[i].text);
        return;
    }
    if (i >= words.size()) return;
    const std::string_view code_text = words[i].text;
    const Word value = words[i + 1];
    for (std::size_t j = i + 2; j < words.size(); ++j) {
        const std::string_view extra = words[j].text;
        if (extra.size() == 1 && vyr::is_upper(extra[0]))
            error("qualifier " + quoted(extra) + " apart from its value dropped");
        else
            error("unexpected text " + quoted(extra) + " after the value of " + quoted(code_text));
    }
    Code code;
    std::string why;
    if (!code_of(code_text, code, why)) {
        error(why);
        return;
    }
    value_word(msg.station, code, msg.st, value, Step{}, 0);
}

// ---------------------------------------------------------------------------
// .E messages

// Fields split at "/" and at blanks; an empty field between slashes is a
// null value that only moves the series on. Continuation lines join with
// an implied "/", so "/" ending one line and "/" starting the next make a
// null field.
void Decoder::Impl::e_data(std::string_view data, bool continued) {
    const bool ends_with_slash = !data.empty() && data.back() == '/';
    for_fields(data, '/', [&](std::string_view f, bool leading, bool trailing) {
        split_words(f, words);
        if (words.empty()) {
            const bool null_field = (!leading && !trailing) ||
                                    (leading && !trailing && continued && msg.trailing_slash);
            if (null_field && series.have_code && series.have_di) ++series.k;
            return true;
        }
        bool after_value = false;
        for (const Word &w : words) {
            after_value = e_word(w, after_value);
            if (msg.skipping) return false;
        }
        return true;
    });
    msg.trailing_slash = ends_with_slash;
}

// An element of an .E message: DI sets the interval once; an explicit time
// or a relative offset starts the series afresh.
bool Decoder::Impl::e_element(const Word &w) {
    Elem e;
    if (!element(w.text, e, "; rest of the message dropped", {}, true)) {
        msg.skipping = true;
        return false;
    }
    if (e.kind == 'I') {
        if (series.have_di) {
            error("second time interval " + quoted(w.text) + "; rest of the message dropped");
            msg.skipping = true;
            return false;
        }
        series.have_di = true;
        series.di = e.step;
        return false;
    }
    if (!apply(msg.st, e)) {
        msg.skipping = true;
        return false;
    }
    if (detail::is_time_kind(e.kind) || e.kind == 'R') {
        series.k = 0;
        series.stretch_lost = false;
    }
    return false;
}

// The first word of an .E message that is no element: its code.
// A word that reads both ways ("TA" is a code, and a trace with qualifier A)
// is the code here.
void Decoder::Impl::e_code(const Word &w, bool is_value) {
    Code code;
    std::string why;
    const bool is_code = code_of(w.text, code, why);
    if (!is_code && is_value) {
        error(".E value " + quoted(w.text) + " before the parameter code; message dropped");
        msg.skipping = true;
    } else if (!is_code) {
        error(why + "; rest of the message dropped");
        msg.skipping = true;
    } else if (code.seven_am) {
        error("send code " + quoted(w.text) + " cannot be used in .E; message dropped");
        msg.skipping = true;
    } else {
        series.code = code;
        series.have_code = true;
    }
}

// One word of an .E message; returns whether it was a value.
bool Decoder::Impl::e_word(const Word &w, bool after_value) {
    if (is_element(w.text)) return e_element(w);
    ValueText v;
    const bool is_value = parse_value(w.text, v);
    if (!series.have_code) {
        e_code(w, is_value);
        return false;
    }
    if (!series.have_di) {
        error(".E value " + quoted(w.text) + " before the time interval (DI); message dropped");
        msg.skipping = true;
        return false;
    }
    if (!is_value) {
        Code code;
        std::string why;
        if (w.text.size() == 1 && vyr::is_upper(w.text[0]) && after_value) {
            error("qualifier " + quoted(w.text) + " apart from its value dropped");
            return false;
        }
        if (resolve_code(parm, w.text, code, why)) {
            error("second parameter code " + quoted(w.text) + "; rest of the message dropped");
            msg.skipping = true;
            return false;
        }
    }
    // A month-end series from a time off a month's end is told once and
    // lost up to the next explicit time.
    if (!series.stretch_lost) {
        value_word(msg.station, series.code, msg.st, w, series.di, series.k);
        series.stretch_lost = month_end_refused;
    }
    ++series.k;
    return true;
}

// ---------------------------------------------------------------------------
// .B blocks

// Header: elements and codes; each code takes the state at its place.
void Decoder::Impl::b_header(std::string_view data) {
    for_fields(data, '/', [&](std::string_view f, bool, bool) {
        split_words(f, words);
        // Items are separated by "/"; a blank instead is read as one, with
        // a warning, as products are written so.
        if (words.size() > 1 && !msg.blank_told) {
            msg.blank_told = true;
            warning("blank instead of \"/\" between " + quoted(words[0].text) + " and " +
                    quoted(words[1].text) + " in the .B header (told once a message)");
        }
        bool have_code = false;
        for (const Word &w : words) {
            if (is_element(w.text)) {
                if (block.header_broken) continue;
                Elem e;
                if (!element(w.text, e, " in .B header; later parameters dropped", {}, false)) {
                    block.header_broken = true;
                } else if (!apply(msg.st, e)) {
                    block.header_broken = true;
                }
                continue;
            }
            if (have_code) {
                error("unexpected text " + quoted(w.text) + " in .B header ignored");
                continue;
            }
            have_code = true;
            Slot slot{true, Code{}, msg.st};
            std::string why;
            if (!block.header_broken) {
                if (code_of(w.text, slot.code, why))
                    slot.bad = false;
                else
                    error(why);
            }
            slot.quick = !slot.bad && quick_fits(slot.code, slot.st);
            slot.precipitation = detail::precipitation(slot.code);
            block.slots.push_back(slot);
        }
        return true;
    });
}

void Decoder::Impl::b_body(std::string_view text) {
    block.body_started = true;
    if (line_simple ||
        (text.find(',') == std::string_view::npos && text.find('"') == std::string_view::npos &&
         text.find('\'') == std::string_view::npos)) {
        b_station(text);
        return;
    }
    // Station groups are separated by commas outside retained comments.
    std::size_t start = 0;
    char open = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : ',';
        if (open != 0) {
            if (c == open || c == '/') open = 0;
            if (i < text.size()) continue;
        } else if (detail::quote(c)) {
            open = c;
            continue;
        }
        if (c != ',') continue;
        b_station(text.substr(start, i - start));
        start = i + 1;
    }
}

// One station group of a body line: its identifier and its values.
void Decoder::Impl::b_station(std::string_view group) {
    std::size_t p = 0;
    while (p < group.size() && group[p] == ' ') ++p;
    if (p == group.size()) return;
    group.remove_prefix(p);
    std::size_t e = 0;
    while (e < group.size() && group[e] != ' ') ++e;
    std::string_view id = group.substr(0, e);
    if (!detail::valid_id(id)) {
        // A name between colons right after the identifier can leave it
        // joined to the date element that follows (RTP tables: "EAGC2:
        // AURORA :DH3107/ 61"): split there.
        const std::size_t d = detail::joined_element(id);
        if (d == 0) {
            error("bad station identifier " + quoted(id) + " in .B body");
            return;
        }
        if (!block.joined_told) {
            block.joined_told = true;
            warning("identifier joined to a date element in " + quoted(id) + ": read as " +
                    quoted(id.substr(0, d)) + " and " + quoted(id.substr(d)) +
                    " (told once a block)");
        }
        e = d;
        id = id.substr(0, d);
    }
    b_group(id, group.substr(e));
}

// Where a station group stands: its next header parameter, the values
// beyond the header, and what its body elements changed so far (they act
// from where they stand to the end of the group).
struct Decoder::Impl::Group {
    std::string_view id;
    std::size_t pos = 0;
    int extra = 0;
    bool overridden = false;  // any element in the body so far
    // Which of the overriding values in group_over the group set (they are
    // read only when set, so group_over needs no clearing).
    bool rel = false, dc = false, si = false, dq = false, dv = false;
    bool after_value = false;
};

// One station's values, in the order of the header's parameters; an empty
// field is a parameter not reported.
void Decoder::Impl::b_group(std::string_view id, std::string_view rest) {
    body_ops.clear();
    // A held station text is shared by the values of its group only: the
    // next group's text may stand at the same place of a reused buffer.
    block.station_from = {};
    row_context(id);
    Group g;
    g.id = id;
    const char *p = rest.data();
    const char *const end = p + rest.size();
    for (bool first = true;; first = false) {
        const char *f_end = b_quick(g, p, end, first);
        if (f_end == nullptr) {
            f_end = p;
            while (f_end < end && *f_end != '/') ++f_end;
            const std::string_view f(p, static_cast<std::size_t>(f_end - p));
            if (!b_field(g, f, first, f_end == end)) break;
        }
        if (f_end == end) break;
        p = f_end + 1;
    }
    if (g.extra > 0)
        warning(std::to_string(g.extra) + " value(s) for " + std::string(id) +
                " beyond the .B header's parameters ignored");
}

// The common field of a station group from p: blanks, or one value and
// blanks, read in one pass. Returns the field's end (its "/" or end), or
// null when the field is of another shape.
const char *Decoder::Impl::b_quick(Group &g, const char *p, const char *end, bool first) {
    const char *a = p;
    while (a < end && *a == ' ') ++a;
    if (a == end || *a == '/') {
        if (a != end || first) ++g.pos;  // a trailing "/" adds nothing
        return a;
    }
    if (g.overridden || *a == 'D' || g.pos >= block.slots.size()) return nullptr;
    detail::PlainValue n;
    const char *d = detail::plain_value(a, end, n);
    if (d != nullptr && (d == end || !kFieldWordChar[static_cast<unsigned char>(*d)])) {
        const char *c = d;
        while (c < end && *c == ' ') ++c;
        if (c != end && *c != '/') return nullptr;
        const Slot &slot = block.slots[g.pos++];
        if (!slot.bad && !(slot.quick && quick_emit(g.id, slot.code, slot.st, n, slot.precipitation)))
            value_word(g.id, slot.code, slot.st,
                       Word{std::string_view(a, static_cast<std::size_t>(d - a)), {}}, Step{}, 0);
        return c;
    }
    ValueText v;
    d = detail::read_number(a, end, v);
    const bool number = d != nullptr && (d == end || !kFieldWordChar[static_cast<unsigned char>(*d)]);
    if (!number) {
        d = a;
        while (d < end && kFieldWordChar[static_cast<unsigned char>(*d)]) ++d;
    }
    const char *c = d;
    while (c < end && *c == ' ') ++c;
    if (c != end && *c != '/') return nullptr;
    const Slot &slot = block.slots[g.pos++];
    if (slot.bad) return c;
    const Word w{std::string_view(a, static_cast<std::size_t>(d - a)), {}};
    if (number)
        value_parsed(g.id, slot.code, slot.st, w, v, Step{}, 0);
    else
        value_word(g.id, slot.code, slot.st, w, Step{}, 0);
    return c;
}

// One field of a station group; false when the rest of the group is lost.
bool Decoder::Impl::b_field(Group &g, std::string_view f, bool first, bool last) {
    // Most fields hold one value and blanks: they need no word list.
    std::size_t a = 0;
    while (a < f.size() && f[a] == ' ') ++a;
    std::size_t b = a;
    while (b < f.size() && kWordChar[static_cast<unsigned char>(f[b])]) ++b;
    std::size_t c = b;
    while (c < f.size() && f[c] == ' ') ++c;
    if (a == f.size()) {
        if (!last || first) ++g.pos;  // a trailing "/" adds nothing
        return true;
    }
    if (c == f.size() && !g.overridden && f[a] != 'D' && g.pos < block.slots.size()) {
        const Slot &slot = block.slots[g.pos++];
        if (!slot.bad)
            value_word(g.id, slot.code, slot.st, Word{f.substr(a, b - a), {}}, Step{}, 0);
        return true;
    }
    split_words(f, group_words);
    if (group_words.empty()) {
        if (!last || first) ++g.pos;
        return true;
    }
    g.after_value = false;
    for (const Word &w : group_words) {
        if (is_element(w.text)) {
            if (!b_override(g, w)) return false;
            g.after_value = false;
            continue;
        }
        if (w.text.size() == 1 && vyr::is_upper(w.text[0]) && w.text[0] != 'M' &&
            w.text[0] != 'T' && g.after_value) {
            error("qualifier " + quoted(w.text) + " apart from its value dropped");
            continue;
        }
        g.after_value = true;
        b_value(g, w);
    }
    return true;
}

// An element in a station group; false with the error told when it is bad.
bool Decoder::Impl::b_override(Group &g, const Word &w) {
    Elem e;
    if (!element(w.text, e, "; rest of its values dropped", g.id, false)) return false;
    g.overridden = true;
    if (detail::is_time_kind(e.kind)) {
        // A date in the body replaces the header's date only: a DR of the
        // body stays in force after it, as the header's DRs do.
        body_ops.push_back(e);
    } else if (e.kind == 'R') {
        group_over.rel = e.step;
        g.rel = true;
    } else if (e.kind == 'C') {
        if (!creation(e, group_over)) return false;
        g.dc = true;
    } else if (e.kind == 'U') {
        group_over.si = e.letter == 'S';
        g.si = true;
    } else if (e.kind == 'Q') {
        group_over.dq = e.letter == 'Z' ? 0 : e.letter;
        g.dq = true;
    } else {
        group_over.dv = e.value;
        g.dv = true;
    }
    return true;
}

// A value of a station group for the next header parameter, in the state
// of that parameter changed by the group's elements.
void Decoder::Impl::b_value(Group &g, const Word &w) {
    if (g.pos >= block.slots.size()) {
        ++g.extra;
        ++g.pos;
        return;
    }
    const Slot &slot = block.slots[g.pos++];
    if (slot.bad) return;
    if (!g.overridden) {
        value_word(g.id, slot.code, slot.st, w, Step{}, 0);
        return;
    }
    State s = slot.st;
    for (const Elem &e : body_ops)
        if (!merge(s, e, &slot.code, g.id)) return;
    if (g.rel) s.rel = group_over.rel;
    if (g.dc) {
        s.has_dc = true;
        s.dc = group_over.dc;
        s.dc_year = group_over.dc_year;
    }
    if (g.si) s.si = group_over.si;
    if (g.dq) s.dq = group_over.dq;
    if (g.dv) s.dv = group_over.dv;
    value_word(g.id, slot.code, s, w, Step{}, 0);
}

}  // namespace vyr::series
