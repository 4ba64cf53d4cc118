// shef_series_records.cpp - the records of decoded values: each value
// placed in UTC time, checked against its code, converted to English units
// and handed out; and the decoder's face.
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
        return true;
    }
    const Fit fit = to_utc(zone, local, utc);
    if (fit == Fit::Exact && utc >= kFirstTime && utc <= kLastTime) {
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
bool Decoder::Impl::place(const State &s, const Code &code, Step step, int64_t k, int64_t &utc) {
    if (code.seven_am) return seven_am(s, code, utc);
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

// The English-unit text of a value into value_text; false with the error
// told when the value is lost.
bool Decoder::Impl::value_text_of(const Code &code, const State &s, const Word &w,
                                  const ValueText &v, bool &missing) {
    missing = false;
    if (v.kind == ValueText::Trace) {
        const char a = code.pe[0], b = code.pe[1];
        if (!((a == 'P' && (b == 'P' || b == 'C')) || (a == 'S' && (b == 'F' || b == 'D')))) {
            error("trace (T) given for " + std::string(code.pe, 2) +
                  ", not a precipitation or snow element");
            return false;
        }
        std::memcpy(value_text, "0.001", 5);
        value_len = 5;
        return true;
    }
    if (v.kind == ValueText::Missing) {
        missing = true;
        value_len = 0;
        return true;
    }
    value_len = english_value(v, false, 1.0, value_text);
    if (value_len == 0) {
        error("bad value " + quoted(w.text));
        return false;
    }
    if (std::string_view(value_text, value_len) == "-9999") {
        missing = true;
        value_len = 0;
    } else if (s.si && code.pe_known && code.factor != 1.0) {
        value_len = english_value(v, true, code.factor, value_text);
        if (value_len == 0) {
            error("value out of range " + quoted(w.text));
            return false;
        }
    }
    return true;
}

// Checks a value word against its code and hands out its record.
void Decoder::Impl::emit(std::string_view sta, const Code &code, const State &s, const Word &w,
                         const ValueText &v, int64_t utc) {
    Record r;
    if (!value_text_of(code, s, w, v, r.missing)) return;
    char q = v.qualifier;
    if (q == 'Z') {
        q = 0;
    } else if (q != 0 && !parm.qualifier_valid(q)) {
        warning("unknown data qualifier '" + std::string(1, q) + "' in " + quoted(w.text) +
                " ignored");
        q = 0;
    }
    if (v.qualifier == 0) q = s.dq;
    if (code.duration == 'V') {
        if (s.dv < 0) {
            error("duration V in " + std::string(code.pe, 2) +
                  "V without a variable duration (DV)");
            return;
        }
        r.duration_value = s.dv;
    } else {
        r.duration_value = code.duration_value;
    }
    if (!code.pe_known) {
        bool &told = unknown_told[(code.pe[0] - 'A') * 26 + (code.pe[1] - 'A')];
        if (!told) {
            told = true;
            warning("unknown physical element " + std::string(code.pe, 2) +
                    ": its values are kept unconverted (told once)");
        }
    }
    if (code.ts[0] == 'F' && !s.has_dc && !msg.forecast_warned) {
        msg.forecast_warned = true;
        warning("forecast values without a creation date (DC)");
    }
    r.station = sta;
    r.obs_time = utc;
    r.code = &code;
    r.value = std::string_view(value_text, value_len);
    r.qualifier = q;
    r.has_creation = s.has_dc;
    r.creation_time = s.dc;
    r.revised = msg.revised;
    r.message = msg.kind;
    r.line = line_no;
    r.comment = w.comment;
    ++counts.values;
    if (on_value) on_value(r);
}

// ---------------------------------------------------------------------------
// The decoder's face

Decoder::Decoder(const Parm &parm, RefDate ref, OnValue on_value, OnNote on_note)
    : impl_(new Impl(parm, ref, std::move(on_value), std::move(on_note))) {}

Decoder::~Decoder() { delete impl_; }

void Decoder::line(std::string_view text, long number) {
    impl_->line_no = number;
    impl_->handle(impl_->clean(text));
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

void Decoder::finish() { impl_->end_message(false); }

const Counts &Decoder::counts() const { return impl_->counts; }

}  // namespace vyr::series
