// shef_series_impl.h - the SHEF message decoder's inside, shared by its
// files: lexing (shef_series_lex.cpp), date/data-type elements and values
// (shef_series_elements.cpp), the .A, .B and .E messages
// (shef_series_messages.cpp) and the records handed out
// (shef_series_records.cpp). Internal to the decoder.
#ifndef SHEF_SERIES_IMPL_H
#define SHEF_SERIES_IMPL_H

#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "shef_series.h"
#include "shef_series_text.h"

namespace vyr::series::detail {

// The limits of the four-digit years that the output can show.
extern const int64_t kFirstTime, kLastTime;

// A relative offset (DR) or a series interval (DI): unit 0 means none.
struct Step {
    char unit = 0;
    int amount = 0;
};

// What a message carries from field to field.
struct State {
    Civil when{};                // the last explicit time, as written (wall time)
    bool hour_given = false;     // an element named the hour (else the default)
    bool year_inferred = false;  // the year came from the reference date
    Step rel;                    // DR in force
    bool has_dc = false;
    int64_t dc = 0;   // creation time, UTC
    int dc_year = 0;  // the year the creation date wrote, 0 for none
    bool si = false;
    char dq = 0;  // default qualifier, 0 for none
    int dv = -1;  // variable duration value: kNoDv, kDefaultDv (DVZ) or a number
    // The UTC time of when, kept once found exact: the values of a line
    // share it. Whatever changes when clears it.
    mutable bool when_known = false;
    mutable int64_t when_utc = 0;
};
constexpr int kNoDv = -1;
constexpr int kDefaultDv = -2;

// One date/data-type element.
struct Elem {
    char kind = 0;  // S N H D M Y T J (times), R C U Q V I
    std::string_view digits;
    Step step;        // R, I
    char letter = 0;  // U: E or S; Q: the qualifier; V: the unit
    int value = 0;    // V: the duration value, kDefaultDv for DVZ
};

inline bool is_element(std::string_view w) {
    return w.size() >= 2 && w[0] == 'D' && vyr::is_upper(w[1]);
}
// The elements that name an observation time.
inline bool is_time_kind(char k) {
    switch (k) {
        case 'S':
        case 'N':
        case 'H':
        case 'D':
        case 'M':
        case 'Y':
        case 'T':
        case 'J': return true;
        default: return false;
    }
}
// A station identifier or message source.
bool valid_id(std::string_view id);
// Where a valid identifier ends that is joined to a date element (DH, DD,
// DM, DY, DT, DJ and digits), or 0.
std::size_t joined_element(std::string_view token);

// Reads an element word ("DH0830", "DRH-6"); false when it is none.
bool parse_element(const Parm &parm, std::string_view w, Elem &e);
// Merges a time element into the time of s: the fields it names replace
// those of the time; naming the hour or a lower field sets the unnamed
// lower fields to 0. A minute or second put on the default hour 24 lands
// in the first hour of the next day. s is unchanged unless Ok.
enum class Merge { Ok, BadTime, BadYear };
Merge merge_time(State &s, const Elem &e, const RefDate &ref);
// DHhh, the commonest element, applied to s as parse_element, merge_time
// and the ending of the relative date apply it: the hour set, minutes and
// seconds cleared (the date of s is always valid, so the time is too).
// False, with s unchanged, for any other word.
bool apply_hour(State &s, std::string_view w);
// The years that a message may name (1753 to 2199).
inline bool year_in_range(int year) { return year >= 1753 && year <= 2199; }
// PC, PP and PY: in hundredths of an inch when written without a point.
inline bool precipitation(const Code &code) {
    return code.pe[0] == 'P' && (code.pe[1] == 'P' || code.pe[1] == 'C' || code.pe[1] == 'Y');
}
// Hour 24 as 00:00 of the next day.
Civil normalised(Civil t);
std::string civil_text(const Civil &t);

}  // namespace vyr::series::detail

namespace vyr::series {

using detail::Elem;
using detail::State;
using detail::Step;
using detail::Word;

struct Decoder::Impl {
    Impl(const Parm &p, RefDate r, ValueCall v, OnNote n)
        : parm(p), ref(r), on_value(std::move(v)), on_note(std::move(n)) {}

    const Parm &parm;
    RefDate ref;
    ValueCall on_value;
    OnNote on_note;
    OnLongLine on_long_line;
    OnBlock on_block;
    CsvWriter *csv = nullptr;  // write_csv's writer: it takes the values
    Counts counts;

    // The message being decoded: all of it goes at the next message start.
    struct Message {
        char kind = 0;  // 'A', 'B', 'E', or 0 outside a message
        bool revised = false;
        bool skipping = false;  // rejected or cut short: its lines are passed over
        long line = 0;          // its start line
        int next_continuation = 1;
        bool broken = false;  // a continuation line was refused: so are the later ones
        std::string_view station;  // in station_text: identifiers have at most 8 characters
        char station_text[8] = {};
        Zone zone = utc_zone();
        State st;
        bool trailing_slash = false;  // .E: the last line ended with "/"
        std::string a_pending;        // .A: a code still waiting for its value
        // Warnings told once a message.
        bool forecast_told = false, hundredths_told = false, dc_later_told = false,
             year_told = false, blank_told = false;
        // A new message: all as at first, the texts keeping their room.
        void reset(char type, bool rev, long at) {
            kind = type;
            revised = rev;
            skipping = broken = trailing_slash = false;
            line = at;
            next_continuation = 1;
            station = {};
            zone = utc_zone();
            st = State{};
            a_pending.clear();
            forecast_told = hundredths_told = dc_later_told = year_told = blank_told = false;
        }
    };
    // An .E message's series.
    struct Series {
        bool have_code = false;
        Code code{};
        bool have_di = false;
        Step di;
        int64_t k = 0;              // position of the next value
        bool stretch_lost = false;  // DIE from no month end: lost to the next restart
    };
    // A .B header parameter, with the state at its place.
    struct Slot {
        bool bad;
        Code code;
        State st;
        bool quick = false;          // quick_fits(code, st)
        bool precipitation = false;  // of code
    };
    // Texts kept until a block's .END, in chunks that never move, so that
    // records can point into them.
    class Texts {
      public:
        Texts() = default;
        Texts(const Texts &) = delete;
        Texts &operator=(const Texts &) = delete;
        std::string_view keep(std::string_view s);
        // Back to empty; the first chunk stays for the next block.
        void clear();

      private:
        static constexpr std::size_t kChunk = 1 << 16;
        void grow(std::size_t n);
        std::vector<std::unique_ptr<char[]>> chunks_;
        char *at_ = nullptr, *end_ = nullptr;
    };
    // The values of a .B block, written at its .END, as whole records: the
    // lines they came from are gone by then, so their texts are kept, and a
    // code that is not a header parameter's.
    struct Block {
        std::vector<Slot> slots;
        std::vector<Record> held;
        Texts texts;
        std::deque<Code> codes;
        // The station text kept last, and where it came from: the values
        // of a station group share one text.
        std::string_view station, station_from;
        bool body_started = false;
        bool header_broken = false;  // later parameters of the header are lost
        bool joined_told = false;
        // With an OnBlock function: Begin was given and no end yet, and the
        // values handed out since.
        bool open = false;
        std::size_t passed = 0;
        // The values held so far are dropped.
        void drop() {
            held.clear();
            texts.clear();
            codes.clear();
            station = station_from = {};
        }
        // Back to an empty block; the lists keep their room for the next,
        // unless a large block left much of it.
        void reset() {
            slots.clear();
            if (held.capacity() > 4096) std::vector<Record>().swap(held);
            drop();
            body_started = header_broken = joined_told = false;
        }
    };
    // The most values a .B block may hold until its .END.
    static constexpr std::size_t kBlockMax = 100000;
    Message msg;
    Series series;
    Block block;
    bool block_used = false;  // block holds what a .B message left

    // Scratch and run-wide memory.
    long line_no = 0;
    std::string clean_buf;
    std::vector<Word> words;
    std::vector<Word> group_words;
    std::vector<Elem> body_ops;
    State group_over;  // the values a .B station group's elements set
    char value_text[kValueMax];
    std::string_view value;  // the value's text: in the word itself, or in value_text
    Code code_scratch{};     // a code resolved without the cache
    bool unknown_told[26 * 26] = {};  // unknown elements already told, once a run

    // Codes resolved before, by their text: the same few codes come back
    // on every line of a product.
    struct CachedCode {
        uint64_t key = 0;
        std::size_t len = 0;  // 0: empty
        Code code{};
    };
    static constexpr std::size_t kCodeBuckets = 64;
    CachedCode code_cache[kCodeBuckets][2];
    // A code text of 2 to 7 characters as one number, its length apart:
    // two overlapping loads fix every byte.
    static uint64_t code_key(std::string_view text) {
        const std::size_t n = text.size();
        const char *p = text.data();
        if (n >= 4) {
            uint32_t a, b;
            std::memcpy(&a, p, 4);
            std::memcpy(&b, p + n - 4, 4);
            return uint64_t{a} | uint64_t{b} << 32;
        }
        uint16_t a;
        std::memcpy(&a, p, 2);
        return uint64_t{a} | uint64_t{static_cast<unsigned char>(p[n - 1])} << 16;
    }
    static std::size_t code_bucket(uint64_t key, std::size_t n) {
        uint64_t h = (key + n) * 0x9E3779B97F4A7C15ULL;
        h ^= h >> 32;
        return h % kCodeBuckets;
    }
    // The code of a text when the cache holds it, else null: no call, and
    // no text for an error, for the codes that come back on every line.
    const Code *cached_code(std::string_view text) const {
        const std::size_t n = text.size();
        if (n < 2 || n > 7) return nullptr;
        const uint64_t key = code_key(text);
        const CachedCode *const way = code_cache[code_bucket(key, n)];
        if (way[0].key == key && way[0].len == n) return &way[0].code;
        if (way[1].key == key && way[1].len == n) return &way[1].code;
        return nullptr;
    }

    // The last wall time converted, and its UTC time.
    bool memo_valid = false;
    Civil memo_local{};
    Zone memo_zone{};
    int64_t memo_utc = 0;

    void note(Severity s, const std::string &text);
    void error(const std::string &text) { note(Severity::Error, text); }
    void warning(const std::string &text) { note(Severity::Warning, text); }

    // Lines (shef_series_lex.cpp)
    std::string_view clean(std::string_view raw);
    // A simple line: nothing in it that cleaning changes but its end, no
    // comma and no quote.
    void simple_line(std::string_view text, long number) {
        line_no = number;
        std::string_view s = text;
        while (!s.empty() && (s.back() == ' ' || s.back() == '=' || s.back() == '&'))
            s.remove_suffix(1);
        line_simple = true;
        handle(s, !text.empty() && text[0] == '.');
        line_simple = false;
    }
    bool line_simple = false;  // the line in hand is simple
    void handle(std::string_view text, bool dot_in_column_one);
    // Apart, so that the many body lines of .B blocks pay for none of a
    // message line's work.
    [[gnu::noinline]] void message_line(std::string_view text);
    void other_line(std::string_view text);

    // Elements and values (shef_series_elements.cpp)
    const Code *code_ref(std::string_view text, std::string &why);
    [[gnu::noinline]] const Code *code_told(std::string_view text);
    bool code_of(std::string_view text, Code &code, std::string &why);
    bool element(std::string_view w, Elem &e, std::string_view cost, std::string_view id,
                 bool interval_ok);
    bool apply(State &s, const Elem &e);
    bool merge(State &s, const Elem &e, const Code *code, std::string_view id);
    bool creation(const Elem &e, State &s);
    bool value_word(std::string_view sta, const Code &code, const State &s, const Word &w,
                    Step step, int64_t k);
    void value_parsed(std::string_view sta, const Code &code, const State &s, const Word &w,
                      const ValueText &v, Step step, int64_t k);

    // Messages (shef_series_messages.cpp)
    void end_message(bool by_new_start);
    void end_block();
    void start(char type, bool rev, std::string_view rest);
    bool positional(char type, std::string_view rest, std::string_view &data);
    bool positional_date(std::string_view date);
    bool positional_zone(std::string_view rest, std::size_t p, std::string_view &data);
    void continuation(char type, bool rev, int number, std::string_view data);
    bool continues(char type, bool rev, int number);
    void a_data(std::string_view data);
    void a_field(std::string_view field);
    const char *a_quick(const char *p, const char *end);
    bool a_pending_value();
    void e_data(std::string_view data, bool continued);
    bool e_word(const Word &w, bool after_value);
    bool e_element(const Word &w);
    void e_code(const Word &w, bool is_value);
    void b_header(std::string_view data);
    void b_body(std::string_view text);
    void b_station(std::string_view group);
    void b_group(std::string_view id, std::string_view rest);
    struct Group;
    const char *b_quick(Group &g, const char *p, const char *end, bool first);
    bool b_field(Group &g, std::string_view f, bool first, bool last);
    bool b_override(Group &g, const Word &w);
    void b_value(Group &g, const Word &w);

    // Records (shef_series_records.cpp)
    bool utc_of(const Civil &local, int64_t &utc);
    // The time of a value of a line whose time is known already needs no
    // call.
    bool place(const State &s, const Code &code, Step step, int64_t k, int64_t &utc) {
        if (s.when_known && s.rel.unit == 0 && step.unit == 0 && !code.seven_am) {
            month_end_refused = false;
            utc = s.when_utc;
            return true;
        }
        return place_slow(s, code, step, k, utc);
    }
    bool place_slow(const State &s, const Code &code, Step step, int64_t k, int64_t &utc);
    bool seven_am(const State &s, const Code &code, int64_t &utc);
    bool month_end_refused = false;  // the last place() failed on a DIE step
    bool last_exact = false;         // the last utc_of() found one time, in range
    bool value_text_of(const Code &code, const State &s, const Word &w, const ValueText &v,
                       bool &missing);
    bool qualifier_of(const State &s, const Word &w, const ValueText &v, char &q);
    bool duration_of(const State &s, const Code *&code, Code &dflt, int &value);
    void creation_checks(const State &s, int64_t utc);
    void emit(std::string_view sta, const Code &code, const State &s, const Word &w,
              const ValueText &v, int64_t utc);
    // Hands out a record, or holds it for its block's .END; inline for the
    // common cases, the value of an .A line and of a block given to OnBlock.
    [[gnu::always_inline]] void deliver(const Record &r) {
        if (takes_now())
            pass(r);
        else
            deliver_block(r);
    }
    // Whether a value goes out at once (counted as it does), not held for
    // its block's .END or lost with its block.
    [[gnu::always_inline]] bool takes_now() {
        if (msg.kind != 'B') {
            ++counts.values;
            return true;
        }
        if (!block.open || msg.skipping || block.passed >= kBlockMax) return false;
        ++block.passed;
        return true;
    }
    void pass(const Record &r) {
        if (csv != nullptr)
            csv->row(r);
        else if (on_value)
            on_value(r);
    }
    // The parts the quick values of a line or station group share, for
    // write_csv's writer.
    void row_context(std::string_view station) {
        if (csv != nullptr) csv->set_context(station, line_no, msg.revised, msg.kind);
    }
    void deliver_block(const Record &r);
    [[gnu::always_inline]] bool quick_value(std::string_view sta, const Code &code,
                                            const State &s, const detail::PlainValue &n);
    // quick_value in two parts: whether a code in a state can take the
    // quick path at all, known for a .B header parameter once; and the
    // value's own checks and its record.
    static bool quick_fits(const Code &code, const State &s) {
        return s.rel.unit == 0 && s.dq == 0 && !s.si && !s.has_dc && code.duration != 'V' &&
               code.pe_known && code.ts[0] != 'F' && !code.seven_am;
    }
    [[gnu::always_inline]] bool quick_emit(std::string_view sta, const Code &code, const State &s,
                                           const detail::PlainValue &n, bool precipitation);
    void hold(const Record &r);
    void block_too_large();
    void write_block();
    // A block handed to OnBlock ends: its values stand or are void.
    void close_block(bool keep) {
        if (!block.open) return;
        block.open = false;
        if (keep) counts.values += static_cast<long>(block.passed);
        block.passed = 0;
        if (on_block) on_block(keep ? BlockMark::Keep : BlockMark::Drop);
    }
};

// A plain value (see plain_value) handed out with none of emit's checks
// when none applies: no qualifier, English units, a known element of fixed
// duration, no creation date, no forecast, no send code, no hundredths of
// precipitation, no relative date. False, with nothing done, for any other
// value: the general path takes it.
inline bool Decoder::Impl::quick_value(std::string_view sta, const Code &code, const State &s,
                                       const detail::PlainValue &n) {
    return quick_fits(code, s) && quick_emit(sta, code, s, n, detail::precipitation(code));
}

inline bool Decoder::Impl::quick_emit(std::string_view sta, const Code &code, const State &s,
                                      const detail::PlainValue &n, bool precipitation) {
    if (!n.missing && ((!n.point && precipitation) || n.text == "-9999")) return false;
    int64_t utc;
    if (!place(s, code, Step{}, 0, utc)) return true;  // told, and the value lost
    const std::string_view value = n.missing ? std::string_view() : n.text;
    if (csv != nullptr && takes_now()) {
        csv->plain_row(utc, code, code.duration_value, value);  // in the line's context
        return true;
    }
    const Record r{sta, utc,   &code, code.duration_value, n.missing,
                   value, 0,   false, s.dc,                msg.revised,
                   msg.kind, line_no, std::string_view()};
    deliver(r);
    return true;
}

}  // namespace vyr::series

#endif  // SHEF_SERIES_IMPL_H
