// shef_series_block.cpp - the .B message: its header of parameters and its
// body lines of station groups, each value in the state of its parameter
// as the group's own elements change it.
#include <cstring>
#include <string>

#include "shef_series_impl.h"

namespace vyr::series {

using detail::for_fields;
using detail::is_element;
using detail::kFieldWordChar;
using detail::kWordChar;
using detail::quoted;
using detail::split_words;

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
        if (!slot.bad &&
            !(slot.quick && quick_emit(g.id, slot.code, slot.st, n, slot.precipitation)))
            value_word(g.id, slot.code, slot.st,
                       Word{std::string_view(a, static_cast<std::size_t>(d - a)), {}}, Step{}, 0);
        return c;
    }
    ValueText v;
    d = detail::read_number(a, end, v);
    const bool number =
        d != nullptr && (d == end || !kFieldWordChar[static_cast<unsigned char>(*d)]);
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
