// shef_decode.cpp - the SHEF decoding loop: .A lines, .B blocks, the date
// filter, the raw records, the element echo and the count of lines whose
// values the raw format could not take.
//
// Lines come from a line source (shef_decode_lines.h); every field is taken
// by a field reader (shef_decode_fields.h) that either reads it whole and
// moves the cursor past it, or leaves the cursor for the next step.
#include "shef_decode.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base_int.h"
#include "shef_decode_fields.h"
#include "shef_decode_lines.h"
#include "vyrbase.h"

namespace {

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

using vyr::shef::DirectFields;
using vyr::shef::Field;
using vyr::shef::Line;
using vyr::shef::ReadLines;
using vyr::shef::ScannedFields;
using vyr::shef::SplitLines;

// The echo prints texts that end with a NUL: a field (80 characters at
// most) is copied out first.
class Text {
  public:
    explicit Text(Field f) {
        const std::size_t n = std::min(f.size(), sizeof buf_ - 1);
        std::memcpy(buf_, f.data(), n);
        buf_[n] = '\0';
    }
    const char *c_str() const { return buf_; }

  private:
    char buf_[vyr::shef::kFieldKept + 1];
};

// The fields of a record line, copied by the one short-copy helper; whether
// to inline it here is left to the compiler, which does better than forcing
// it into each record's code.
inline void copy_field(char *d, const char *s, std::size_t n) { vyr::copy_short(d, s, n); }

// The record lines, gathered into blocks of the output. While messages
// can come between records (the echo, the scanner's trace), each record is
// written as soon as it ends instead, so that on a shared terminal the echo
// of its elements comes before it and never lands inside it.
class Records {
  public:
    Records(FILE *out, bool one_by_one) : out_(out), one_by_one_(one_by_one) {}
    // Records gathered when decoding ended on an exception are still written.
    ~Records() { flush(); }
    Records(const Records &) = delete;
    Records &operator=(const Records &) = delete;

    // The identifier keeps its first 10 characters.
    void start(Field id) {
        const std::size_t n = std::min<std::size_t>(id.size(), 10);
        reserve(n);
        copy_field(&buf_[len_], id.data(), n);
        len_ += n;
    }
    void element(Field code, Field value) {
        reserve(code.size() + value.size() + 2);
        char *p = &buf_[len_];
        *p++ = ' ';
        copy_field(p, code.data(), code.size());
        p += code.size();
        *p++ = '=';
        copy_field(p, value.data(), value.size());
        len_ += code.size() + value.size() + 2;
    }
    // Ends the record; false when the output refused what was written.
    bool finish() {
        reserve(1);
        buf_[len_++] = '\n';
        return one_by_one_ || len_ >= kBlock ? flush() : true;
    }
    // Writes what was gathered; false when the output refused it.
    bool flush() {
        if (len_ == 0) return true;
        const bool written = std::fwrite(buf_.data(), 1, len_, out_) == len_ && !std::ferror(out_);
        len_ = 0;
        return written;
    }

  private:
    static constexpr std::size_t kBlock = std::size_t{1} << 16;
    void reserve(std::size_t more) {
        if (len_ + more > buf_.size()) buf_.resize(std::max(2 * buf_.size(), len_ + more));
    }
    FILE *out_;
    const bool one_by_one_;
    std::vector<char> buf_ = std::vector<char>(kBlock + 4096);
    std::size_t len_ = 0;
};

// What a line holds from a place on: only blanks, separators and comments
// (Nothing), or values the raw format could not take (Values); OpenComment:
// nothing but a comment that goes on past the line's end. in_comment: the
// place is inside a comment already.
enum class Left { Nothing, Values, OpenComment };
Left left_from(const char *p, bool in_comment) {
    for (; *p != '\0'; ++p) {
        if (in_comment || *p == ':') {
            p = std::strchr(in_comment ? p : p + 1, ':');
            if (p == nullptr) return Left::OpenComment;
            in_comment = false;
        } else if (*p != ' ' && *p != '/' && *p != ',') {
            return Left::Values;
        }
    }
    return in_comment ? Left::OpenComment : Left::Nothing;
}

// The decoding loop over either pair of line source and field reader: the
// records, the echo, the date filter and the count of lines whose values
// were passed over are the same whichever pair reads the input.
template <class Lines, class Fields>
class Decoder {
  public:
    Decoder(FILE *in, FILE *out, const char *date_str)
        : lines_(in),
          date_str_(date_str ? date_str : ""),
          records_(out, echo_ || MESS_check(M_DEBUG_RES) != 0) {}

    // Decodes the whole input, then writes the records still gathered.
    void run();
    int status() const {
        using namespace vyr::shef;
        return (lines_.failed() ? kDecodeReadFailed : 0) | (write_failed_ ? kDecodeWriteFailed : 0);
    }
    int passed_over() const { return passed_over_; }

  private:
    void decode_lines();
    bool next_line();
    void filter_date(Field token);
    void take_date_and_zone();
    void take_date_time(bool comma_too);
    void collect_codes();
    void decode_a();
    bool decode_b();
    enum class Entry { LineDone, NextEntry, BlockEnd };
    Entry decode_body_entry();
    void end_record();

    void echo(const char *format, Field f) const {
        if (echo_) MESS_print(M_OUT3, format, Text(f).c_str());
    }
    void echo_element(Field code, Field value) const {
        if (echo_) print_data(Text(code).c_str(), Text(value).c_str());
    }

    const bool echo_ = MESS_check(M_OUT3) != 0;
    Lines lines_;
    bool write_failed_ = false;  // the output refused a record: decoding stops
    std::string date_str_;
    const char *line_ = "";  // the line being decoded, cleaned
    int line_len_ = 0;
    Fields fields_;
    // The identifier of the last report: continuation lines write under it.
    char id_[vyr::shef::kFieldKept] = {};
    std::size_t id_len_ = 0;
    std::vector<std::string> types_;
    int good_date_ = 0;  // no report read yet: continuation lines write nothing
    Records records_;
    int passed_over_ = 0;
    bool entry_placed_all_ = false;  // every code of the last body entry had its turn
    bool cut_ = false;               // the line goes on past this piece
    bool rest_pending_ = false;      // a decoded .A line goes on past its piece
    bool rest_in_comment_ = false;   // and its piece ended inside a comment
};

// Takes the next line; false at the end of the input.
template <class Lines, class Fields>
bool Decoder<Lines, Fields>::next_line() {
    // Once the output refuses records, reading on would only lose more.
    if (write_failed_) return false;
    Line line;
    if (!lines_.next(line)) return false;
    line_ = line.text;
    line_len_ = line.len;
    cut_ = line.cut;
    if (rest_pending_) {
        // The rest of a decoded .A line is never decoded: it counts when it
        // holds values.
        const Left left = left_from(line_, rest_in_comment_);
        if (left == Left::Values) ++passed_over_;
        rest_pending_ = left != Left::Values && cut_;
        rest_in_comment_ = left == Left::OpenComment;
    }
    return true;
}

// Reports whose date token differs from the filter date in its first 4
// characters (compared as strncmp does) are dropped.
template <class Lines, class Fields>
void Decoder<Lines, Fields>::filter_date(Field token) {
    if (date_str_.empty()) return;
    const char *want = date_str_.c_str();
    for (std::size_t i = 0; i < 4; ++i) {
        const char c = i < token.size() ? token[i] : '\0';
        if (c != want[i]) {
            good_date_ = 0;
            return;
        }
        if (c == '\0') return;
    }
}

// The date of a report header (filtered) and its time zone.
template <class Lines, class Fields>
void Decoder<Lines, Fields>::take_date_and_zone() {
    Field f;
    if (fields_.digits(f)) {
        echo("  DATE: %s\n", f);
        filter_date(f);
    }
    if (fields_.zone(f)) echo("  ZONE: %s\n", f);
}

// A date/time code such as DH12. Echoed only; it does not change the record.
template <class Lines, class Fields>
void Decoder<Lines, Fields>::take_date_time(bool comma_too) {
    Field type, value;
    if (fields_.date_time(comma_too, type, value) && echo_)
        MESS_print(M_OUT3, "  TIME: %s %s\n", Text(type).c_str(), Text(value).c_str());
}

// Element codes of a .B header line; date/time and unit codes (D...) are
// consumed but not listed.
template <class Lines, class Fields>
void Decoder<Lines, Fields>::collect_codes() {
    bool found = true;
    while (found) {
        found = false;
        Field code;
        if (fields_.code(code)) {
            if (code[0] != 'D') {
                types_.emplace_back(code);
                echo("  TYPE: %s\n", code);
            }
            found = true;
        }
        fields_.skip_comment();
        fields_.skip_sep();
    }
}

template <class Lines, class Fields>
void Decoder<Lines, Fields>::end_record() {
    if (!records_.finish()) write_failed_ = true;
}

template <class Lines, class Fields>
void Decoder<Lines, Fields>::decode_a() {
    if (echo_) MESS_print(M_OUT3, "SHEFA %s\n", line_);
    fields_.set(line_);
    Field word;
    fields_.word(word);
    const char third = line_[2];
    if (third == ' ' || third == 'R') {
        good_date_ = 1;
        id_len_ = 0;
        if (fields_.word(word)) {
            id_len_ = std::min(word.size(), sizeof id_);
            std::memcpy(id_, word.data(), id_len_);
            echo("ID: %s\n", word);
        }
        take_date_and_zone();
        take_date_time(false);
    } else if (third != '1' && third != '2') {
        return;  // not a report line we know: nothing is written for it
    }
    // A record needs an identifier: lines before any report write nothing.
    if (good_date_ != 1 || id_len_ == 0) return;
    records_.start(Field(id_, id_len_));

    // Elements up to the first one the raw format cannot carry (a code
    // without a numeric value, such as a creation date or a missing value).
    bool found = true;
    while (found) {
        found = false;
        fields_.slash();
        Field type, value;
        if (fields_.pair(type, value)) {
            echo_element(type, value);
            records_.element(type, value);
            found = true;
        }
        fields_.slash();
    }
    end_record();
    const Left left = left_from(line_ + fields_.offset(), false);
    if (left == Left::Values) {
        ++passed_over_;
    } else if (cut_) {
        rest_pending_ = true;
        rest_in_comment_ = left == Left::OpenComment;
    }
}

// One station entry of a body line at the cursor: identifier, date/time
// code, then one value per listed code. Another entry follows on the same
// line only after a comma read within this entry, when enough text is left.
template <class Lines, class Fields>
typename Decoder<Lines, Fields>::Entry Decoder<Lines, Fields>::decode_body_entry() {
    const int start = fields_.offset();
    bool comma_here = false;
    bool have_id = false;
    Field id;
    if (fields_.body_id(id)) {
        if (id == ".END" || id == "$$") return Entry::BlockEnd;
        echo("ID: %s\n", id);
        records_.start(id);
        have_id = true;
    }
    take_date_time(true);
    // Whether the last code had its turn at a value or an empty field: text
    // left after that is values beyond the codes. (A line that stuck before,
    // on text that is no value, is not counted as one.)
    entry_placed_all_ = true;
    for (const std::string &code : types_) {
        const int before = fields_.offset();
        fields_.skip_comment();
        Field value;
        if (fields_.value(value) && have_id && value != "+") {
            echo_element(code, value);
            records_.element(code, value);
        }
        char sep;
        if (fields_.sep(sep)) comma_here = sep == ',';
        entry_placed_all_ = fields_.offset() > before;
    }
    if (have_id) end_record();
    const int off = fields_.offset();
    if (comma_here && off > start && line_len_ - off > 5) return Entry::NextEntry;
    return Entry::LineDone;
}

// A .B block: header, optional .B1 line, body lines up to a block end.
// Returns false when the input ended inside the block.
template <class Lines, class Fields>
bool Decoder<Lines, Fields>::decode_b() {
    if (echo_) MESS_print(M_OUT3, "SHEFB %s\n", line_);
    fields_.set(line_);
    good_date_ = 1;
    Field word;
    fields_.word(word);
    if (fields_.word(word)) echo("ID: %s\n", word);
    take_date_and_zone();
    take_date_time(true);
    if (good_date_ == 0) {
        if (echo_) MESS_print(M_OUT3, "  Bad date\n");
        return true;
    }
    // The codes come from the header's first piece alone: body values
    // beyond them are passed over.
    types_.clear();
    collect_codes();

    if (!next_line()) return false;
    fields_.set(line_);
    if (std::strncmp(line_, ".B1", 3) == 0) {
        if (echo_) MESS_print(M_OUT3, "SHEFB1 %s\n", line_);
        fields_.word(word);
        collect_codes();
        if (!next_line()) return false;
        fields_.set(line_);
    }

    for (;;) {
        if (line_[0] == '\0') {
            if (!next_line()) return false;
            fields_.set(line_);
            continue;
        }
        if (line_[0] == ':') {
            const char *second = std::strchr(line_ + 1, ':');
            if (second == nullptr) {
                if (!next_line()) return false;
                fields_.set(line_);
                continue;
            }
            fields_.seek(static_cast<int>(second - line_) + 1);
        }
        if (std::strncmp(line_, "** ", 3) == 0 || line_[0] == '.') return true;
        Entry e;
        while ((e = decode_body_entry()) == Entry::NextEntry) {
        }
        if (e == Entry::BlockEnd) return true;
        if (entry_placed_all_ && left_from(line_ + fields_.offset(), false) == Left::Values)
            ++passed_over_;
        if (!next_line()) return false;
        fields_.set(line_);
    }
}

template <class Lines, class Fields>
void Decoder<Lines, Fields>::run() {
    decode_lines();
    if (!records_.flush()) write_failed_ = true;
}

template <class Lines, class Fields>
void Decoder<Lines, Fields>::decode_lines() {
    while (next_line()) {
        if (line_[0] == ':') continue;
        if (std::strncmp(line_, ".A", 2) == 0) {
            decode_a();
        } else if (std::strncmp(line_, ".B", 2) == 0 && std::strncmp(line_, ".B1", 3) != 0) {
            if (!decode_b()) return;
        }
    }
}

template <class Lines, class Fields>
int decode_with(FILE *in, FILE *out, const char *date_str) {
    Decoder<Lines, Fields> d(in, out, date_str);
    d.run();
    if (d.passed_over() > 0)
        MESS_print(M_WARN,
                   "Lines with values passed over: %d (the raw format cannot carry them; "
                   "shef2csv decodes them)\n",
                   d.passed_over());
    return d.status();
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

int decode(FILE *in, FILE *out, const char *date_str, Reader reader) {
    if (in == nullptr || out == nullptr) return kDecodeReadFailed;
    return vyr::guarded(kDecodeNoMemory, [&] {
        return reader == Reader::Direct ? decode_with<SplitLines, DirectFields>(in, out, date_str)
                                        : decode_with<ReadLines, ScannedFields>(in, out, date_str);
    });
}

int decode(FILE *in, FILE *out, const char *date_str) {
    // The scanner's trace shows each of its tries: only the reference makes them.
    const bool tracing = MESS_check(M_DEBUG_RES) != 0;
    return decode(in, out, date_str, tracing ? Reader::Reference : Reader::Direct);
}

}  // namespace vyr::shef
