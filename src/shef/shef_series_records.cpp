// shef_series_records.cpp - the records of decoded values: each value
// placed in UTC time, checked against its code, converted to English units
// and handed out; and the decoder's face.
#include <algorithm>
#include <cstring>
#include <string>

#include "shef_series_impl.h"

namespace vyr::series {

using detail::civil_text;
using detail::kFirstTime;
using detail::kLastTime;
using detail::quoted;

namespace {

bool is_utc(const Zone &z) { return z.tzname == nullptr && z.offset == 0 && z.code[1] == '\0'; }

}  // namespace

// ---------------------------------------------------------------------------
// Times

// A wall time of the message's zone in UTC; a skipped wall time is told
// and refused, a repeated one is told and taken as its first occurrence.
bool Decoder::Impl::utc_of(const Civil &local, int64_t &utc) {
    const Zone &zone = msg.zone;
    if (memo_valid && local.sec == memo_local.sec && local.min == memo_local.min &&
        local.hour == memo_local.hour && local.day == memo_local.day &&
        local.month == memo_local.month && local.year == memo_local.year &&
        zone.code[0] == memo_zone.code[0] && zone.code[1] == memo_zone.code[1]) {
        utc = memo_utc;
        last_exact = true;
        return true;
    }
    last_exact = false;
    const Fit fit = to_utc(zone, local, utc);
    if (fit == Fit::Exact && utc >= kFirstTime && utc <= kLastTime) {
        last_exact = true;
        memo_valid = true;
        memo_local = local;
        memo_zone = zone;
        memo_utc = utc;
        return true;
    }
    switch (fit) {
        case Fit::Exact: break;
        case Fit::Ambiguous:
            warning("local time " + civil_text(local) + " occurs twice in zone " + zone.code +
                    ": the first (daylight) time taken");
            break;
        case Fit::Gap:
            warning("local time " + civil_text(local) + " does not exist in zone " + zone.code +
                    ": value dropped");
            return false;
        case Fit::NoData:
            error(std::string("no time zone data for zone ") + zone.code + " (" + zone.tzname +
                  ")");
            return false;
    }
    if (utc < kFirstTime || utc > kLastTime) {
        error("time out of range");
        return false;
    }
    return true;
}

// A send code that stands for 07:00 local: the latest 07:00 at or before
// the stated time.
bool Decoder::Impl::seven_am(const State &s, const Code &code, int64_t &utc) {
    if (is_utc(msg.zone)) {
        error("send code " + std::string(code.send, 2) + " needs a local time zone, not Z");
        return false;
    }
    if (s.rel.unit != 0) {
        error("send code " + std::string(code.send, 2) +
              " cannot be used with a relative date (DR)");
        return false;
    }
    Civil t = detail::normalised(s.when);
    if (t.hour < 7) shift_calendar(t, 'D', -1, nullptr);
    t.hour = 7;
    t.min = t.sec = 0;
    return utc_of(t, utc);
}

// The UTC time of a value: the explicit time, moved by the relative offset
// in force, then by k steps of the series interval. Days, months, years
// and month ends move the wall time; seconds, minutes and hours are
// elapsed time.
bool Decoder::Impl::place_slow(const State &s, const Code &code, Step step, int64_t k,
                               int64_t &utc) {
    month_end_refused = false;
    if (code.seven_am) return seven_am(s, code, utc);
    if (s.rel.unit == 0 && step.unit == 0) {
        if (s.when_known) {
            utc = s.when_utc;
            return true;
        }
        if (!utc_of(s.when, utc)) return false;
        s.when_known = last_exact;
        s.when_utc = utc;
        return true;
    }
    Civil t = s.when;
    const char *why = nullptr;
    bool have_utc = false;
    int64_t u = 0;
    if (s.rel.unit != 0) {
        if (unit_seconds(s.rel.unit) != 0) {
            if (!utc_of(t, u)) return false;
            u += int64_t{s.rel.amount} * unit_seconds(s.rel.unit);
            have_utc = true;
        } else if (!shift_calendar(t, s.rel.unit, s.rel.amount, &why)) {
            error(std::string("relative date (DR) from ") + civil_text(t) + ": " + why);
            return false;
        }
    }
    if (step.unit != 0) {
        if (unit_seconds(step.unit) != 0) {
            if (!have_utc && !utc_of(t, u)) return false;
            u += k * step.amount * unit_seconds(step.unit);
            have_utc = true;
        } else {
            if (have_utc) {
                t = to_local(msg.zone, u);
                have_utc = false;
            }
            if (!shift_calendar(t, step.unit, k * step.amount, &why)) {
                error(std::string("series step (DI) from ") + civil_text(t) + ": " + why);
                month_end_refused = step.unit == 'E';
                return false;
            }
        }
    }
    if (!have_utc) return utc_of(t, utc);
    if (u < kFirstTime || u > kLastTime) {
        error("time out of range");
        return false;
    }
    utc = u;
    return true;
}

// ---------------------------------------------------------------------------
// Values

namespace {

// Digits from the first nonzero one to the last of a number: more than a
// double holds exactly (15) cannot be kept as written.
std::size_t significant_digits(const ValueText &v) {
    if (!v.whole.empty()) return v.whole.size() + v.fraction.size();
    std::size_t zeros = 0;
    while (zeros < v.fraction.size() && v.fraction[zeros] == '0') ++zeros;
    return v.fraction.size() - zeros;
}

bool trace_element(const Code &code) {
    const char a = code.pe[0], b = code.pe[1];
    return (a == 'P' && (b == 'P' || b == 'C' || b == 'Y')) ||
           (a == 'S' && (b == 'D' || b == 'F' || b == 'W'));
}

// Copies a short text (at most 26 bytes) with fixed-size moves: a library
// call, or a call at all, costs more for the few bytes of a value.
[[gnu::always_inline]] inline void copy_short(char *out, std::string_view s) {
    const std::size_t n = s.size();
    const char *q = s.data();
    if (n >= 16) {
        std::memcpy(out, q, 16);
        std::memcpy(out + n - 16, q + n - 16, 16);
    } else if (n >= 8) {
        std::memcpy(out, q, 8);
        std::memcpy(out + n - 8, q + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(out, q, 4);
        std::memcpy(out + n - 4, q + n - 4, 4);
    } else {
        for (std::size_t i = 0; i < n; ++i) out[i] = q[i];
    }
}

// The canonical text of a number (see english_value) when the written text
// holds it whole, as it mostly does: no "+", no leading zeros but the one
// before the point, at most 4 places once the trailing zeros go. Null
// otherwise.
std::string_view written_value(const ValueText &v) {
    if (v.fraction.size() > 4 || v.whole.size() > 15) return {};
    const char *const begin = v.number.data();
    const char *start = v.whole.data();
    if (v.whole.empty()) {
        if (start == begin || start[-1] != '0') return {};
        --start;
    }
    if (v.negative && !(v.whole.empty() && v.fraction.empty())) {
        if (start == begin || start[-1] != '-') return {};
        --start;
    }
    const char *end = v.fraction.empty() ? v.whole.data() + v.whole.size()
                                         : v.fraction.data() + v.fraction.size();
    return {start, static_cast<std::size_t>(end - start)};
}

using detail::precipitation;

}  // namespace

// The English-unit text of a value into value; false with the error told
// when the value is lost.
bool Decoder::Impl::value_text_of(const Code &code, const State &s, const Word &w,
                                  const ValueText &v, bool &missing) {
    missing = false;
    value = {};
    if (v.kind == ValueText::Trace) {
        if (!trace_element(code)) {
            error("trace (T) given for " + std::string(code.pe, 2) +
                  ", not a precipitation or snow element");
            return false;
        }
        value = "0.001";
        return true;
    }
    if (v.kind == ValueText::Missing) {
        missing = true;
        return true;
    }
    if (v.whole.size() + v.fraction.size() > 15 && significant_digits(v) > 15) {
        error("value " + quoted(w.text) + " has more than 15 significant digits; value lost");
        return false;
    }
    value = written_value(v);
    if (value.data() == nullptr) {
        const std::size_t n = english_value(v, false, 1.0, value_text);
        if (n == 0) {
            error("bad value " + quoted(w.text));
            return false;
        }
        value = std::string_view(value_text, n);
    }
    if (value == "-9999") {
        missing = true;
        value = {};
    } else if (!v.point && !s.si && precipitation(code)) {
        value = std::string_view(value_text, hundredths_value(v, value_text));
        if (!msg.hundredths_told) {
            msg.hundredths_told = true;
            warning(std::string(code.pe, 2) + " value " + quoted(w.text) +
                    " without a decimal point read in hundredths of an inch (told once a "
                    "message)");
        }
    } else if (s.si && code.pe_known && code.factor != 1.0) {
        value = std::string_view(value_text, english_value(v, true, code.factor, value_text));
        if (value.empty()) {
            error("value out of range " + quoted(w.text));
            return false;
        }
    }
    return true;
}

// The value's qualifier, else the default one; false with the error told
// when it is unknown (the value is lost).
bool Decoder::Impl::qualifier_of(const State &s, const Word &w, const ValueText &v, char &q) {
    q = v.qualifier;
    if (q == 0) {
        q = s.dq;
    } else if (q == 'Z') {
        q = 0;
    } else if (!parm.qualifier_valid(q)) {
        error("unknown data qualifier '" + std::string(1, q) + "' in " + quoted(w.text) +
              "; value lost");
        return false;
    }
    return true;
}

// A code of duration V takes the DV in force; after DVZ it takes the
// element's default duration, in dflt. False with the error told without a
// DV.
bool Decoder::Impl::duration_of(const State &s, const Code *&code, Code &dflt, int &value) {
    value = code->duration_value;
    if (code->duration != 'V') return true;
    if (s.dv == detail::kNoDv) {
        error("duration V in " + std::string(code->pe, 2) + "V without a variable duration (DV)");
        return false;
    }
    if (s.dv == detail::kDefaultDv) {
        dflt = *code;
        dflt.duration = parm.default_duration(dflt.pe[0], dflt.pe[1]);
        dflt.duration_value = parm.duration_value(dflt.duration);
        value = dflt.duration_value;
        code = &dflt;
        return value >= 0;
    }
    value = s.dv;
    return true;
}

// A creation date should come before its value's time, and a year taken
// from the reference date should agree with the one a creation date names:
// each told once a message.
void Decoder::Impl::creation_checks(const State &s, int64_t utc) {
    char t[24], c[24];
    if (s.dc > utc && !msg.dc_later_told) {
        msg.dc_later_told = true;
        format_utc(utc, t);
        format_utc(s.dc, c);
        warning(std::string("creation date ") + c + " later than the observation time " + t +
                " (told once a message)");
    }
    constexpr int64_t kYear = 366 * int64_t{86400};
    if (s.year_inferred && s.dc_year != 0 && !msg.year_told &&
        (s.dc - utc > kYear || utc - s.dc > kYear)) {
        msg.year_told = true;
        warning("Year inferred as " + std::to_string(s.when.year) +
                ", but the creation date says " + std::to_string(s.dc_year) +
                ": give the product's date with -ho");
    }
}

// A value word read already: placed in time and handed out. The common
// value, a number in English units with no qualifier, of a known element
// of fixed duration and with no creation date, needs none of emit's checks
// but the hundredths of precipitation and the 15 digits: it is handed out
// here.
void Decoder::Impl::value_parsed(std::string_view sta, const Code &code, const State &s,
                                 const Word &w, const ValueText &v, Step step, int64_t k) {
    int64_t utc;
    if (!place(s, code, step, k, utc)) return;
    if (v.kind == ValueText::Number && v.qualifier == 0 && s.dq == 0 && !s.si && !s.has_dc &&
        code.duration != 'V' && code.pe_known && code.ts[0] != 'F' &&
        (v.point || !precipitation(code)) && v.whole.size() + v.fraction.size() <= 15) {
        const std::string_view text = written_value(v);
        if (text.data() != nullptr && text != "-9999") {
            Record r;
            r.station = sta;
            r.obs_time = utc;
            r.code = &code;
            r.duration_value = code.duration_value;
            r.missing = false;
            r.value = text;
            r.qualifier = 0;
            r.has_creation = false;
            r.creation_time = s.dc;
            r.revised = msg.revised;
            r.message = msg.kind;
            r.line = line_no;
            r.comment = w.comment;
            deliver(r);
            return;
        }
    }
    emit(sta, code, s, w, v, utc);
}

// Checks a value word against its code and hands out its record.
void Decoder::Impl::emit(std::string_view sta, const Code &code, const State &s, const Word &w,
                         const ValueText &v, int64_t utc) {
    Record r;
    const Code *used = &code;
    Code dflt;
    if (!value_text_of(code, s, w, v, r.missing) || !qualifier_of(s, w, v, r.qualifier) ||
        !duration_of(s, used, dflt, r.duration_value))
        return;
    if (!used->pe_known) {
        bool &told = unknown_told[(used->pe[0] - 'A') * 26 + (used->pe[1] - 'A')];
        if (!told) {
            told = true;
            warning("unknown physical element " + std::string(used->pe, 2) +
                    ": its values are kept unconverted (told once)");
        }
    }
    if (used->ts[0] == 'F' && !s.has_dc && !msg.forecast_told) {
        msg.forecast_told = true;
        warning("forecast values without a creation date (DC)");
    }
    if (s.has_dc) creation_checks(s, utc);
    r.station = sta;
    r.obs_time = utc;
    r.code = used;
    r.value = value;
    r.has_creation = s.has_dc;
    r.creation_time = s.dc;
    r.revised = msg.revised;
    r.message = msg.kind;
    r.line = line_no;
    r.comment = w.comment;
    deliver(r);
}

// ---------------------------------------------------------------------------
// Handing out: .A and .E values at once, a .B block's at its .END

// A .B block's value: held, or lost with its block.
void Decoder::Impl::deliver_block(const Record &r) {
    if (!block.open) {
        hold(r);
        return;
    }
    if (msg.skipping) return;  // the block is lost already
    block_too_large();
}

// Keeps a value of a .B block; a block grown past kBlockMax values is an
// error: its values are dropped and the rest of it passed over.
void Decoder::Impl::hold(const Record &r) {
    if (msg.skipping) return;  // the block is lost already
    if (block.held.size() >= kBlockMax) {
        block_too_large();
        return;
    }
    Record &h = block.held.emplace_back(r);
    if (r.station.data() != block.station_from.data() ||
        r.station.size() != block.station_from.size()) {
        if (r.station != block.station) block.station = block.texts.keep(r.station);
        block.station_from = r.station;
    }
    h.station = block.station;
    h.value = block.texts.keep(r.value);
    if (!r.comment.empty()) h.comment = block.texts.keep(r.comment);
    // Header parameters stay put until the block ends; another code (the
    // default duration's, after DVZ) is kept.
    const auto at = reinterpret_cast<uintptr_t>(r.code);
    const auto first = reinterpret_cast<uintptr_t>(block.slots.data());
    if (at < first || at >= first + block.slots.size() * sizeof(Slot))
        h.code = &block.codes.emplace_back(*r.code);
}

// A block grown past kBlockMax values: none of them are written, and the
// rest of it is passed over.
void Decoder::Impl::block_too_large() {
    error(".B block of line " + std::to_string(msg.line) + " has more than " +
          std::to_string(kBlockMax) + " values: none of them are written");
    block.drop();
    close_block(false);
    msg.skipping = true;
}

// The values of a block closed by its .END.
void Decoder::Impl::write_block() {
    for (const Record &r : block.held) {
        ++counts.values;
        pass(r);
    }
    block.drop();
}

std::string_view Decoder::Impl::Texts::keep(std::string_view s) {
    const std::size_t n = s.size();
    if (n == 0) return {};
    if (static_cast<std::size_t>(end_ - at_) < n) grow(n);
    char *p = at_;
    at_ += n;
    if (n <= 26)
        copy_short(p, s);
    else
        std::memcpy(p, s.data(), n);
    return {p, n};
}

void Decoder::Impl::Texts::grow(std::size_t n) {
    const std::size_t size = std::max(n, kChunk);
    chunks_.push_back(std::make_unique<char[]>(size));
    at_ = chunks_.back().get();
    end_ = at_ + size;
}

void Decoder::Impl::Texts::clear() {
    // A block's texts past the first chunk are given back.
    if (chunks_.size() > 1) chunks_.resize(1);
    at_ = chunks_.empty() ? nullptr : chunks_[0].get();
    end_ = at_ == nullptr ? nullptr : at_ + kChunk;
}

// ---------------------------------------------------------------------------
// The decoder's face

Decoder::Decoder(const Parm &parm, RefDate ref, ValueCall on_value, OnNote on_note, int)
    : impl_(new Impl(parm, ref, std::move(on_value), std::move(on_note))) {}

Decoder::~Decoder() { delete impl_; }

void Decoder::line(std::string_view text, long number) {
    impl_->line_no = number;
    // The dot of a message line stands in column one, before any comment.
    impl_->handle(impl_->clean(text), !text.empty() && text[0] == '.');
}

void Decoder::skipped_line(long number) {
    Impl &d = *impl_;
    d.line_no = number;
    if (d.msg.kind == 'A' || d.msg.kind == 'E') d.msg.kind = 0;
    if (!d.on_long_line) {
        d.error("longer than 1 MiB skipped");
        return;
    }
    ++d.counts.errors;
    d.on_long_line(number);
}

void Decoder::set_on_long_line(OnLongLine fn) { impl_->on_long_line = std::move(fn); }

void Decoder::set_on_block(OnBlock fn) { impl_->on_block = std::move(fn); }

void Decoder::write_csv(CsvWriter &csv) {
    impl_->csv = &csv;
    impl_->on_block = [&csv](BlockMark m) { csv.block(m); };
}

void Decoder::finish() { impl_->end_message(false); }

const Counts &Decoder::counts() const { return impl_->counts; }

}  // namespace vyr::series
