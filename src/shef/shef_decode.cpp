// shef_decode.cpp - the SHEF decoding loop: .A lines, .B blocks, the date
// filter, the raw records and the element echo.
//
// Every field is taken with one scanner try whose count is compared with
// what the step needs; only a matching try is committed, so a step that
// does not match leaves the cursor for the next one.
#include "shef_decode.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base_int.h"
#include "vyrbase.h"

namespace {

constexpr int kLineLimit = 160;
// Fields come from line pieces of at most 160 characters, so buffers of
// that size keep every field whole.
constexpr std::size_t kField = kLineLimit + 1;

// One element echo row: the code matches when its first n characters equal
// the key's (n == 0: the whole code equals the key).
struct EchoRow {
    const char *key;
    int n;
    const char *format;
};

// Tried in order; the first match prints. XW is handled apart (weather words).
constexpr EchoRow kEchoRows[] = {
    {"EP", 2, "  EP-Evaporation: %s in\n"},
    {"HG", 2, "  HG-River stage: %s ft\n"},
    {"HK", 2, "  HK-Lake height: %s ft\n"},
    {"HT", 2, "  HT-Projected tailwater stage: %s ft\n"},
    {"IC", 2, "  IC-Ice cover: %s ft\n"},
    {"MW", 2, "  MW-Soil moisture: %s %%\n"},
    {"GS", 2, "  GS-Ground state: %s %%\n"},
    {"PC", 2, "  PC-Precipitation accumulated: %s in\n"},
    {"PPM", 3, "  PPM-Monthly precipitation: %s in\n"},
    {"PPW", 3, "  PPW-Weekly precipitation: %s in\n"},
    {"PPD", 3, "  PPD-24 hour precipitation: %s in\n"},
    {"PPH", 3, "  PPH-Hourly precipitation: %s in\n"},
    {"PP", 0, "  PP-Precipitation actual increment: %s in\n"},
    {"PT", 2, "  PT-Precipitation type: %s\n"},
    {"SD", 2, "  SD-Snow depth: %s in\n"},
    {"AM", 2, "  AM-Dew intensity: %s\n"},
    {"UL", 2, "  ULD-Wind travel length for 24 hours: %s mi\n"},
    {"TAWPZNM", 7, "  TAWPZNM-Temperature ave. weekly minimum: %s F\n"},
    {"TAWPZXM", 7, "  TAWPZXM-Temperature ave. weekly maximum: %s F\n"},
    {"TSIRZN", 0, "  TSIRZN-Soil temperature minimum: %s F\n"},
    {"TSIRZX", 0, "  TSIRZX-Soil temperature maximum: %s F\n"},
    {"TA", 0, "  TA-Temperature: %s F\n"},
    {"TAIR", 0, "  TAIR-Temperature: %s F\n"},
    {"TD", 2, "  TD-Dewpoint temperature: %s F\n"},
    {"TX", 2, "  TX-Maximum temperature: %s F\n"},
    {"TN", 2, "  TN-Minimum temperature: %s F\n"},
    {"TW", 2, "  TW-Water temperature: %s F\n"},
    {"PA", 2, "  PA-Pressure: %s mb\n"},
    {"UD", 2, "  UD-Wind direction: %s deg\n"},
    {"US", 2, "  US-Wind speed: %s knt\n"},
    {"XR", 2, "  XR-Relative humidity: %s %%\n"},
    {"XW", 2, nullptr},
    {"AD", 2, "  AD-State division: %s\n"},
};

constexpr int kNumEchoRows = static_cast<int>(sizeof kEchoRows / sizeof kEchoRows[0]);

// The rows in table order, chained by the first letter of their key: only
// rows whose key begins like the code can match it.
struct EchoIndex {
    int first[256];
    int next[kNumEchoRows];
    constexpr EchoIndex() : first{}, next{} {
        for (int &f : first) f = -1;
        for (int i = kNumEchoRows - 1; i >= 0; --i) {
            const auto c = static_cast<unsigned char>(kEchoRows[i].key[0]);
            next[i] = first[c];
            first[c] = i;
        }
    }
};
constexpr EchoIndex kEchoIndex;

// Keys are short: compared in line rather than through the library.
bool row_matches(const EchoRow &row, const char *code) {
    int i = 0;
    for (; row.key[i] != '\0'; ++i) {
        if (row.n != 0 && i == row.n) return true;
        if (code[i] != row.key[i]) return false;
    }
    return row.n != 0 || code[i] == '\0';
}

// The decoder's patterns, parsed once: every field of every line is one
// try of one of these.
using vyr::scan::Pattern;
const Pattern kWord("%s ");
const Pattern kDigits("%[/N] ");
const Pattern kLetters("%[/A] ");
const Pattern kTimeSlash("%*(D)%1[/A]%[/N]%*(/) ");
const Pattern kTimeSlashAfterBlank("%*(D)%1[/A]%[/N] %*(/) ");
const Pattern kTimeSep("%*(D)%1[/A]%[/N]%*(/|,) ");
const Pattern kTimeSepAfterBlank("%*(D)%1[/A]%[/N] %*(/|,) ");
const Pattern kSlash("%*(/) ");
const Pattern kPair("%[/A] %[/N.-+] ");
const Pattern kCode("%[^/: ] ");
const Pattern kCommentOpen("%*(:) ");
const Pattern kCommentRest("%*[^:]: ");
const Pattern kSkipSep("%*(/|,) ");
const Pattern kBodyId("%[^ :] ");
const Pattern kValue("%[/N/A.-+] ");
const Pattern kSep("%(/|,) ");

bool is_date_time_word(const char *s) { return s[0] == 'D'; }

// The record line being built: written whole at its end, so that on a
// shared terminal the echo of its elements never lands inside it.
class Record {
  public:
    void start(const char *id) {
        len_ = 0;
        put(id, strnlen(id, 10));
    }
    void element(const char *code, std::size_t code_len, const char *value) {
        const std::size_t value_len = std::strlen(value);
        reserve(code_len + value_len + 2);
        buf_[len_++] = ' ';
        std::memcpy(&buf_[len_], code, code_len);
        len_ += code_len;
        buf_[len_++] = '=';
        std::memcpy(&buf_[len_], value, value_len);
        len_ += value_len;
    }
    // False when the stream refused the line.
    bool finish(FILE *out) {
        put("\n", 1);
        const bool written = std::fwrite(buf_.data(), 1, len_, out) == len_ && !std::ferror(out);
        len_ = 0;
        return written;
    }

  private:
    void reserve(std::size_t more) {
        if (len_ + more > buf_.size()) buf_.resize(std::max(2 * buf_.size(), len_ + more));
    }
    void put(const char *s, std::size_t n) {
        reserve(n);
        std::memcpy(&buf_[len_], s, n);
        len_ += n;
    }
    std::vector<char> buf_ = std::vector<char>(512);
    std::size_t len_ = 0;
};

class Decoder {
  public:
    Decoder(FILE *in, FILE *out, const char *date_str)
        : in_(in), out_(out), date_str_(date_str ? date_str : "") {}

    void run();
    int status() const {
        using namespace vyr::shef;
        return (in_.failed() ? kDecodeReadFailed : 0) | (write_failed_ ? kDecodeWriteFailed : 0);
    }

  private:
    bool next_line();
    void set_cursor() { scanp_set(&param_, line_); }
    // Whether a try that needs the character c first could match. The
    // scanner's trace shows every try, so while it is on every try is made;
    // otherwise a try bound to fail is passed over: this is the hot path.
    bool may_start(char c) const {
        return tracing_ || (param_.off < param_.length && line_[param_.off] == c);
    }
    // One scanner try, committed when it matched `want` directives.
    template <class... D>
    bool take(int want, const Pattern &pat, D &&...dests) {
        if (scanp(&param_, pat, dests...) != want) return false;
        scanp_inc(&param_);
        return true;
    }
    void filter_date(const char *token);
    void take_date_and_zone();
    bool take_date_time(bool comma_too);
    void skip_comment();
    void collect_codes();
    void decode_a();
    bool decode_b();
    enum class Entry { LineDone, NextEntry, BlockEnd };
    Entry decode_body_entry();
    void end_record();

    vyr::BlockLineSource in_;
    FILE *out_;
    bool write_failed_ = false;  // the output refused a record: decoding stops
    std::string date_str_;
    char line_[kLineLimit + 1] = {};
    parse_param param_{};
    char string_[kField] = {};
    char id_[kField] = {};
    char type_[kField] = {};
    char value_[kField] = {};
    char temp_str_[kField] = {};  // separator after the last body value
    std::vector<std::string> types_;
    int good_date_ = 0;  // no report read yet: continuation lines write nothing
    Record record_;
    const bool tracing_ = MESS_check(M_DEBUG_RES) != 0;
};

// Reads and cleans the next line; false at the end of the input.
bool Decoder::next_line() {
    // Once the output refuses records, reading on would only lose more.
    if (write_failed_) return false;
    if (vyr::read_line(in_, line_, kLineLimit, {vyr::LongLine::Piece, true}) < 0) return false;
    clean_line(line_);
    return true;
}

void Decoder::filter_date(const char *token) {
    if (!date_str_.empty() && std::strncmp(token, date_str_.c_str(), 4) != 0) good_date_ = 0;
}

// The date of a report header (filtered) and its time zone.
void Decoder::take_date_and_zone() {
    if (take(1, kDigits, string_)) {
        MESS_print(M_OUT3, "  DATE: %s\n", string_);
        filter_date(string_);
    }
    // A first word beginning with D is a date/time code, not a zone.
    if (scanp(&param_, kLetters, string_) == 1 && !is_date_time_word(string_)) {
        MESS_print(M_OUT3, "  ZONE: %s\n", string_);
        scanp_inc(&param_);
    }
}

// A date/time code such as DH12: D, one letter, digits and a separator,
// directly or after blanks. Echoed only; it does not change the record.
bool Decoder::take_date_time(bool comma_too) {
    if (!may_start('D')) return false;
    const Pattern &tight = comma_too ? kTimeSep : kTimeSlash;
    const Pattern &loose = comma_too ? kTimeSepAfterBlank : kTimeSlashAfterBlank;
    if (scanp(&param_, tight, type_, value_) != 4 && scanp(&param_, loose, type_, value_) != 4)
        return false;
    MESS_print(M_OUT3, "  TIME: %s %s\n", type_, value_);
    scanp_inc(&param_);
    return true;
}

// A comment between colons; an unclosed one runs to the end of the line.
void Decoder::skip_comment() {
    if (!may_start(':') || !take(1, kCommentOpen)) return;
    scanp(&param_, kCommentRest);
    scanp_inc(&param_);
}

// Element codes of a .B header line; date/time and unit codes (D...) are
// consumed but not listed.
void Decoder::collect_codes() {
    bool found = true;
    while (found) {
        found = false;
        if (take(1, kCode, type_)) {
            if (!is_date_time_word(type_)) {
                types_.emplace_back(type_);
                MESS_print(M_OUT3, "  TYPE: %s\n", type_);
            }
            found = true;
        }
        skip_comment();
        take(1, kSkipSep);
    }
}

void Decoder::end_record() {
    if (!record_.finish(out_)) write_failed_ = true;
}

void Decoder::decode_a() {
    MESS_print(M_OUT3, "SHEFA %s\n", line_);
    set_cursor();
    take(1, kWord, string_);
    const char third = line_[2];
    if (third == ' ' || third == 'R') {
        good_date_ = 1;
        id_[0] = '\0';
        if (take(1, kWord, id_)) MESS_print(M_OUT3, "ID: %s\n", id_);
        take_date_and_zone();
        take_date_time(false);
    } else if (third != '1' && third != '2') {
        return;  // not a report line we know: nothing is written for it
    }
    // A record needs an identifier: lines before any report write nothing.
    if (good_date_ != 1 || id_[0] == '\0') return;
    record_.start(id_);

    bool found = true;
    while (found) {
        found = false;
        if (may_start('/')) take(1, kSlash);
        if (take(2, kPair, type_, value_)) {
            print_data(type_, value_);
            record_.element(type_, std::strlen(type_), value_);
            found = true;
        }
        if (may_start('/')) take(1, kSlash);
    }
    end_record();
}

// One station entry of a body line at the cursor: identifier, date/time
// code, then one value per listed code. Another entry follows on the same
// line only after a comma read within this entry, when enough text is left.
Decoder::Entry Decoder::decode_body_entry() {
    const int start = param_.off;
    bool comma_here = false;
    bool have_id = false;
    if (scanp(&param_, kBodyId, string_) == 1) {
        if (std::strcmp(string_, ".END") == 0 || std::strcmp(string_, "$$") == 0)
            return Entry::BlockEnd;
        MESS_print(M_OUT3, "ID: %s\n", string_);
        record_.start(string_);
        have_id = true;
        scanp_inc(&param_);
    }
    take_date_time(true);
    for (const auto &code : types_) {
        skip_comment();
        if (take(1, kValue, value_) && have_id && std::strcmp(value_, "+") != 0) {
            print_data(code.c_str(), value_);
            record_.element(code.data(), code.size(), value_);
        }
        if ((may_start('/') || may_start(',')) && take(1, kSep, temp_str_))
            comma_here = temp_str_[0] == ',';
    }
    if (have_id) end_record();
    const bool consumed = param_.off > start;
    if (comma_here && consumed && param_.length - param_.off > 5) return Entry::NextEntry;
    return Entry::LineDone;
}

// A .B block: header, optional .B1 line, body lines up to a block end.
// Returns false when the input ended inside the block.
bool Decoder::decode_b() {
    MESS_print(M_OUT3, "SHEFB %s\n", line_);
    set_cursor();
    good_date_ = 1;
    take(1, kWord, string_);
    if (take(1, kWord, string_)) MESS_print(M_OUT3, "ID: %s\n", string_);
    take_date_and_zone();
    take_date_time(true);
    if (good_date_ == 0) {
        MESS_print(M_OUT3, "  Bad date\n");
        return true;
    }
    types_.clear();
    collect_codes();

    if (!next_line()) return false;
    set_cursor();
    if (std::strncmp(line_, ".B1", 3) == 0) {
        MESS_print(M_OUT3, "SHEFB1 %s\n", line_);
        take(1, kWord, string_);
        collect_codes();
        if (!next_line()) return false;
        set_cursor();
    }

    for (;;) {
        if (line_[0] == '\0') {
            if (!next_line()) return false;
            set_cursor();
            continue;
        }
        if (line_[0] == ':') {
            const char *second = std::strchr(line_ + 1, ':');
            if (second == nullptr) {
                if (!next_line()) return false;
                set_cursor();
                continue;
            }
            param_.off = static_cast<int>(second - line_) + 1;
        }
        if (std::strncmp(line_, "** ", 3) == 0 || line_[0] == '.') return true;
        Entry e;
        while ((e = decode_body_entry()) == Entry::NextEntry) {
        }
        if (e == Entry::BlockEnd) return true;
        if (!next_line()) return false;
        set_cursor();
    }
}

void Decoder::run() {
    while (next_line()) {
        if (line_[0] == ':') continue;
        if (std::strncmp(line_, ".A", 2) == 0) {
            decode_a();
        } else if (std::strncmp(line_, ".B", 2) == 0 && std::strncmp(line_, ".B1", 3) != 0) {
            if (!decode_b()) return;
        }
    }
}

}  // namespace

int print_data(const char *type, const char *value) {
    if (!MESS_check(M_OUT3)) return 0;
    for (int i = kEchoIndex.first[static_cast<unsigned char>(type[0])]; i >= 0;
         i = kEchoIndex.next[i]) {
        const EchoRow &row = kEchoRows[i];
        if (!row_matches(row, type)) continue;
        if (row.format == nullptr) {
            char phrase[50];
            WX_weather_text(value, phrase);
            MESS_print(M_OUT3, "  XW-Present weather: %s\n", phrase);
        } else {
            MESS_print(M_OUT3, row.format, value);
        }
        return 0;
    }
    MESS_print(M_OUT3, "  PARAM: %s %s\n", type, value);
    return 0;
}

namespace vyr::shef {

int decode(FILE *in, FILE *out, const char *date_str) {
    if (in == nullptr || out == nullptr) return kDecodeReadFailed;
    return vyr::guarded(kDecodeNoMemory, [&] {
        Decoder d(in, out, date_str);
        d.run();
        return d.status();
    });
}

}  // namespace vyr::shef
