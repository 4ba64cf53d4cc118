// rawfile.cpp - the reader of the suite's raw data files.
//
// Sections: text helpers; values; the header; records; the reader.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "base_int.h"
#include "vyrbase.h"
#include "vyrraw.h"

namespace vyr::raw {

namespace {

constexpr double kMissing = VYR_MISSING;

// Lines longer than the limit keep their first kLineMax characters; the rest
// is read away rather than handed out as a line of its own, which would turn
// the tail of a long record into a record with a made-up identifier.
constexpr LineRule kLineRule{LongLine::ReadAway, false};

// ---------------------------------------------------------------------------
// Text helpers

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim_end(std::string_view s) {
    while (!s.empty() && vyr::is_space(s.back())) s.remove_suffix(1);
    return s;
}

// The kept form of a header text: line end and trailing blanks removed, at
// most cap characters, and no blank left at the end by the cut.
void keep(char *dst, int cap, std::string_view s) {
    s = trim_end(s);
    if (s.size() > static_cast<std::size_t>(cap)) s = trim_end(s.substr(0, cap));
    copy_text(dst, cap + 1, s, Overflow::Cut);
}

// The next blank-separated word of line from pos on; empty at the end.
std::string_view next_word(std::string_view line, std::size_t &pos) {
    while (pos < line.size() && is_blank(line[pos])) ++pos;
    const std::size_t from = pos;
    while (pos < line.size() && !is_blank(line[pos])) ++pos;
    return line.substr(from, pos - from);
}

bool read_number(const char *&p, const char *end, double &out) {
    double d = 0;
    const auto r = std::from_chars(p, end, d);
    if (r.ec != std::errc() || !std::isfinite(d)) return false;
    p = r.ptr;
    out = d;
    return true;
}

// A location word: "-" (missing) or a word that is a number as a whole.
bool location_word(std::string_view w, double &out) {
    if (w == "-") {
        out = kMissing;
        return true;
    }
    if (w.empty() || !(w[0] == '-' || w[0] == '.' || (w[0] >= '0' && w[0] <= '9'))) return false;
    const char *p = w.data();
    return read_number(p, w.data() + w.size(), out) && p == w.data() + w.size();
}

// A station number only when the identifier is digits from end to end: a
// leading number of "72451A" would name another station.
int station_number(std::string_view id) {
    if (id.size() <= 4) return VYR_MISSING;
    for (char c : id)
        if (c < '0' || c > '9') return VYR_MISSING;
    int n = 0;
    const auto r = std::from_chars(id.data(), id.data() + id.size(), n);
    return r.ec == std::errc() ? n : VYR_MISSING;
}

}  // namespace

// ---------------------------------------------------------------------------
// Values

Value read_value(std::string_view text) {
    Value v{Kind::Text, kMissing, kMissing, {}, {}};
    // The display format stands before the ":" and the value after it: the
    // value is what gets classified by its first character, and a format
    // such as "%5.1f" never begins like a number, so "%5.1f:12.5" reads as
    // 12.5 shown with "%5.1f". Only the first ":" separates.
    if (const auto colon = text.find(':'); colon != std::string_view::npos) {
        copy_text(v.format, sizeof v.format, text.substr(0, colon), Overflow::Cut);
        text.remove_prefix(colon + 1);
    }
    copy_text(v.text, sizeof v.text, text, Overflow::Cut);
    if (text == "-") {
        v.kind = Kind::Missing;
        return v;
    }
    if (text.empty() || !(text[0] == '-' || text[0] == '.' || (text[0] >= '0' && text[0] <= '9')))
        return v;
    const char *p = text.data();
    const char *end = p + text.size();
    if (!read_number(p, end, v.first)) {
        v.first = kMissing;
        return v;
    }
    v.kind = Kind::Number;
    if (p < end && *p == ',') {
        ++p;
        if (read_number(p, end, v.second))
            v.kind = Kind::Pair;
        else
            v.second = kMissing;
    }
    return v;
}

const char *describe(Result r) {
    switch (r) {
        case Result::Ok: return "ok";
        case Result::End: return "end of the records";
        case Result::NotOpen: return "no raw data file open";
        case Result::OpenFailed: return "cannot open the file";
        case Result::NotRaw: return "not a raw data file";
        case Result::ShortHeader: return "the file ends inside its header";
        case Result::FieldListOpen: return "the field list has no \"$\" end";
        case Result::TooManyFields: return "the field list has too many entries";
        case Result::ReadFailed: return "read failure";
        case Result::NoSeek: return "the stream cannot be rewound";
    }
    return "unknown result";
}

// ---------------------------------------------------------------------------
// The stream: a block reader that counts what it hands out, so the offset
// of the first record is known without asking the stream.

namespace {

class CountedSource final : public LineSource {
  public:
    // One line into buf (kLineMax + 1 bytes): its length, -1 at the end.
    int line(char *buf, bool *cut = nullptr) {
        return read_line(*this, buf, kLineMax, kLineRule, cut);
    }
    void restart(FILE *f) { block_ = std::make_unique<BlockLineSource>(f); }
    std::string_view peek() override { return block_->peek(); }
    void consume(std::size_t n) override {
        block_->consume(n);
        taken_ += static_cast<long>(n);
    }
    long taken() const { return taken_; }
    bool failed() const { return block_->failed(); }

  private:
    std::unique_ptr<BlockLineSource> block_;
    long taken_ = 0;
};

enum class Owner { Caller, File, Pipe };

}  // namespace

struct Reader::Stream {
    FILE *f = nullptr;
    Owner owner = Owner::Caller;
    long start = -1;  // offset of the first record; -1 when the stream cannot seek
    CountedSource src;
    bool ended = false;  // an empty line or the end was reached

    Stream(FILE *stream, Owner o) : f(stream), owner(o) { src.restart(f); }
    ~Stream() {
        if (owner != Owner::Caller) vyr::close_opened(f, owner == Owner::Pipe ? "|" : nullptr);
    }
    Stream(const Stream &) = delete;
    Stream &operator=(const Stream &) = delete;
};

// ---------------------------------------------------------------------------
// The header

namespace {

// The next whitespace-separated word of a field list, across lines, cut at
// kLineMax characters; false at the end of the input.
bool list_word(LineSource &src, std::string &w) {
    w.clear();
    for (;;) {
        const std::string_view v = src.peek();
        if (v.empty()) return false;
        std::size_t k = 0;
        while (k < v.size() && vyr::is_space(v[k])) ++k;
        src.consume(k);
        if (k < v.size()) break;
    }
    for (;;) {
        const std::string_view v = src.peek();
        std::size_t k = 0;
        while (k < v.size() && !vyr::is_space(v[k])) ++k;
        if (w.size() < static_cast<std::size_t>(kLineMax))
            w.append(v.data(), std::min(k, static_cast<std::size_t>(kLineMax) - w.size()));
        src.consume(k);
        if (k < v.size() || v.empty()) return true;
    }
}

// "_" stands for a blank in info and format texts.
void copy_spaced(char *dst, std::size_t cap, std::string_view s) {
    copy_text(dst, cap, s, Overflow::Cut);
    for (char *p = dst; *p != '\0'; ++p)
        if (*p == '_') *p = ' ';
}

// name, name:info or name:info:format (the format is the rest, colons and all).
void split_entry(std::string_view w, Field &f) {
    std::string_view name = w, info, format;
    if (const auto c1 = w.find(':'); c1 != std::string_view::npos) {
        name = w.substr(0, c1);
        info = w.substr(c1 + 1);
        if (const auto c2 = info.find(':'); c2 != std::string_view::npos) {
            format = info.substr(c2 + 1);
            info = info.substr(0, c2);
        }
    }
    copy_text(f.name, sizeof f.name, name, Overflow::Cut);
    copy_spaced(f.info, sizeof f.info, info);
    copy_spaced(f.format, sizeof f.format, format);
}

int first_data(const Header &h) {
    if (h.nfields < 2) return 1;
    const std::string_view second = h.fields[1].name;
    if ((icompare(second, "lat") == 0 || icompare(second, "x") == 0) && h.nfields >= 4) return 3;
    if ((icompare(second, "p") == 0 || icompare(second, "pres") == 0) && h.nfields >= 3) return 2;
    return 1;
}

Result read_field_list(CountedSource &src, Header &h) {
    std::string w;
    while (list_word(src, w)) {
        if (w[0] == '$') {
            char rest[kLineMax + 1];
            src.line(rest);  // the rest of the "$" line
            if (src.failed()) return Result::ReadFailed;
            h.first_data = first_data(h);
            return Result::Ok;
        }
        if (h.nfields == kFieldsMax) return Result::TooManyFields;
        split_entry(w, h.fields[h.nfields++]);
    }
    return src.failed() ? Result::ReadFailed : Result::FieldListOpen;
}

Result read_header(CountedSource &src, Header &h) {
    char buf[kLineMax + 1];
    int n = src.line(buf);
    if (src.failed()) return Result::ReadFailed;
    // The magic is known by its first letter; the rest of its line is passed over.
    if (n <= 0 || buf[0] != 'V') return Result::NotRaw;

    n = src.line(buf);
    if (src.failed()) return Result::ReadFailed;
    if (n < 0) return Result::ShortHeader;
    keep(h.label, kLabelMax, {buf, static_cast<std::size_t>(n)});
    DATE_decode_label(h.label, &h.date);

    n = src.line(buf);
    if (src.failed()) return Result::ReadFailed;
    if (n < 0) return Result::ShortHeader;
    std::string_view info(buf, static_cast<std::size_t>(n));
    h.has_fields = !info.empty() && info[0] == '!';
    if (h.has_fields) info.remove_prefix(1);
    keep(h.title, kTitleMax, info);
    return h.has_fields ? read_field_list(src, h) : Result::Ok;
}

// ---------------------------------------------------------------------------
// Records

const Header kEmptyHeader{{},
                          {VYR_MISSING, VYR_MISSING, VYR_MISSING, VYR_MISSING, VYR_MISSING,
                           VYR_MISSING, VYR_MISSING, VYR_MISSING},
                          {},
                          false,
                          0,
                          0,
                          {}};
const Record kEmptyRecord{{}, 0, false, {}, VYR_MISSING, kMissing, kMissing, 0};

// Fills r from a line that holds an identifier.
void parse_record(std::string_view line, bool cut, const Header &h, Record &r) {
    r = kEmptyRecord;
    copy_text(r.line, sizeof r.line, line, Overflow::Cut);
    r.length = static_cast<int>(line.size());
    r.cut = cut;
    std::size_t pos = 0;
    const std::string_view id = next_word(line, pos);
    copy_text(r.id, sizeof r.id, id, Overflow::Cut);
    r.number = station_number(id);
    r.rest = static_cast<int>(pos);

    std::size_t after = pos;
    double lat = kMissing, lon = kMissing;
    const bool pair =
        location_word(next_word(line, after), lat) && location_word(next_word(line, after), lon);
    if (h.has_fields) {
        // The words are fields in list order; a list that begins with a
        // location still gives one, field by field.
        if (h.first_data == 3) {
            after = pos;
            if (location_word(next_word(line, after), lat)) r.lat = lat;
            if (location_word(next_word(line, after), lon)) r.lon = lon;
        }
    } else if (pair) {
        // Without two location words nothing is consumed: a converter record
        // goes on with a code and value pair.
        r.lat = lat;
        r.lon = lon;
        r.rest = static_cast<int>(after);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// The reader

Reader::Reader() : header_(kEmptyHeader), record_(kEmptyRecord) {}
Reader::~Reader() = default;
Reader::Reader(Reader &&) noexcept = default;
Reader &Reader::operator=(Reader &&) noexcept = default;

void Reader::close() {
    s_.reset();
    header_ = kEmptyHeader;
    record_ = kEmptyRecord;
}

Result Reader::start(std::unique_ptr<Stream> s) {
    const long at = std::ftell(s->f);
    const Result r = read_header(s->src, header_);
    if (r != Result::Ok) {
        close();  // what s opened closes with it
        return r;
    }
    s->start = at < 0 ? -1 : at + s->src.taken();
    s_ = std::move(s);
    return Result::Ok;
}

Result Reader::open(const char *name) {
    return guarded(Result::OpenFailed, [&] {
        close();
        if (name == nullptr) return Result::OpenFailed;
        FILE *f = FILE_open(name, "r");
        if (f == nullptr) return Result::OpenFailed;
        const Owner o = FILE_is_stdio(name) ? Owner::Caller
                        : name[0] == '|'    ? Owner::Pipe
                                            : Owner::File;
        auto s = std::make_unique<Stream>(f, o);
        return start(std::move(s));
    });
}

Result Reader::attach(FILE *stream) {
    return guarded(Result::NotOpen, [&] {
        close();
        if (stream == nullptr) return Result::NotOpen;
        return start(std::make_unique<Stream>(stream, Owner::Caller));
    });
}

Result Reader::next() {
    if (!s_) return Result::NotOpen;
    if (s_->ended) return Result::End;
    char buf[kLineMax + 1];
    bool cut = false;
    const int n = s_->src.line(buf, &cut);
    if (s_->src.failed()) return Result::ReadFailed;
    std::string_view line(buf, n < 0 ? 0 : static_cast<std::size_t>(n));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // A line of blanks holds no identifier and looks empty: it ends the
    // records like an empty one.
    if (n < 0 || line.find_first_not_of(" \t") == std::string_view::npos) {
        s_->ended = true;
        return Result::End;
    }
    parse_record(line, cut, header_, record_);
    return Result::Ok;
}

bool Reader::field(int index, Value &out) const {
    if (!s_ || !header_.has_fields || index < 0 || index >= header_.nfields) return false;
    const std::string_view line(record_.line, static_cast<std::size_t>(record_.length));
    std::size_t pos = 0;
    std::string_view w;
    for (int i = 0; i <= index; ++i) w = next_word(line, pos);
    if (w.empty()) return false;
    out = read_value(w);
    return true;
}

bool Reader::find(std::string_view code, Value &out) const {
    if (!s_ || code.empty()) return false;
    if (header_.has_fields) {
        for (int i = 0; i < header_.nfields; ++i)
            if (code == header_.fields[i].name) return field(i, out);
        return false;
    }
    const std::string_view line(record_.line, static_cast<std::size_t>(record_.length));
    std::size_t pos = static_cast<std::size_t>(record_.rest);
    for (std::string_view w; !(w = next_word(line, pos)).empty();) {
        if (w.size() > code.size() && w[code.size()] == '=' && w.starts_with(code)) {
            out = read_value(w.substr(code.size() + 1));
            return true;
        }
    }
    return false;
}

Result Reader::rewind() {
    return guarded(Result::NoSeek, [&] {
        if (!s_) return Result::NotOpen;
        if (s_->start < 0) return Result::NoSeek;
        std::clearerr(s_->f);
        if (std::fseek(s_->f, s_->start, SEEK_SET) != 0) return Result::NoSeek;
        s_->src.restart(s_->f);
        s_->ended = false;
        record_ = kEmptyRecord;
        return Result::Ok;
    });
}

}  // namespace vyr::raw
