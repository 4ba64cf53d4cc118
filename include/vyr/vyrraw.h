// vyrraw.h - reading the suite's raw data files.
//
// A raw data file is text: a magic line ("VYRRAW"), a date label line, an
// information line (the title; a leading "!" announces a field list on the
// lines after it, ended by an entry beginning with "$"), then one record
// line per station up to an empty line or the end of the file.
//
// Ownership: a Reader owns what it opened by name (a file or a command's
// pipe) and closes it when it is closed or destroyed; the standard input and
// a stream handed to attach() stay the caller's. The header, the record and
// the values are plain records filled by the reader: copy what must outlive
// the next call. Nothing here throws or prints; failures are Results.
#ifndef VYRRAW_H
#define VYRRAW_H

#include <cstdio>
#include <memory>
#include <string_view>

#include "vyrbase.h"

namespace vyr::raw {

// Capacities, in characters (the buffers hold one more for the terminator).
// Longer texts are cut.
inline constexpr int kLabelMax = 49;   // kept text of the date label line
inline constexpr int kTitleMax = 49;   // title of the information line
inline constexpr int kFieldsMax = 75;  // entries of a field list
inline constexpr int kNameMax = 19;    // field name
inline constexpr int kInfoMax = 59;    // field info text
inline constexpr int kFormatMax = 39;  // display format (field list and values)
inline constexpr int kLineMax = 400;   // record line; the rest of a longer line is dropped
inline constexpr int kIdMax = 29;      // stored identifier
inline constexpr int kValueMax = 29;   // stored value text

enum class Result {
    Ok,
    End,            // no more records: the end of the file or an empty line
    NotOpen,        // nothing open: never opened, closed, or the header failed
    OpenFailed,     // the name could not be opened
    NotRaw,         // empty, or the first character is not the "V" of the magic
    ShortHeader,    // the file ends before its information line
    FieldListOpen,  // the field list has no entry beginning with "$"
    TooManyFields,  // the field list has more than kFieldsMax entries
    ReadFailed,     // a read of the stream failed (not the same as its end)
    NoSeek,         // the stream cannot go back to its first record
};
// A short text for the user, e.g. "not a raw data file".
const char *describe(Result r);

struct Field {
    char name[kNameMax + 1];
    char info[kInfoMax + 1];      // "_" already turned into blanks
    char format[kFormatMax + 1];  // likewise
};

struct Header {
    char label[kLabelMax + 1];  // the date label, line end and trailing blanks removed
    Date date;                  // the label decoded (DATE_decode_label); all fields
                                // missing when it matches no label form
    char title[kTitleMax + 1];  // without the "!" of a field list
    bool has_fields;            // a field list follows the information line
    int nfields;                // its entries, 0 without one
    // Index of the first data field: 3 when the second name is "lat" or "x"
    // (any case) and there are at least 4 names, 2 when it is "p" or "pres"
    // with at least 3, else 1; 0 without a field list. Entry i of the list
    // is word i + 1 of a record, entry 0 being the identifier.
    int first_data;
    Field fields[kFieldsMax];
};

enum class Kind { Missing, Number, Pair, Text };

struct Value {
    Kind kind;
    double first;                 // Number and Pair, else VYR_MISSING
    double second;                // Pair, else VYR_MISSING
    char text[kValueMax + 1];     // the value text, display format removed
    char format[kFormatMax + 1];  // the display format before a ":", else empty
};

struct Record {
    char line[kLineMax + 1];  // the line as read, a final carriage return dropped
    int length;               // its length in bytes
    bool cut;                 // the line was longer than kLineMax
    char id[kIdMax + 1];      // the identifier, the first word
    int number;               // an identifier of more than 4 digits (only), else VYR_MISSING
    double lat, lon;          // the location, VYR_MISSING when not given
    int rest;                 // offset in line of the words after identifier and location
};

// Reads one value text: "-" is missing; a text beginning with "-", a digit
// or "." is a number (its leading number, so "12.5E" is 12.5) or two
// numbers separated by a comma; anything else, or a number that does not
// convert to a finite value, is text only. A ":" separates a display format
// before it from the value after it.
Value read_value(std::string_view text);

class Reader {
  public:
    Reader();
    ~Reader();
    Reader(Reader &&) noexcept;
    Reader &operator=(Reader &&) noexcept;
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    // Opens name for reading through FILE_open (the empty name, "-", "std"
    // and "stdn" are the standard input, "|command" reads a command's
    // output) and reads the header. Anything open before is closed first.
    Result open(const char *name);
    // The same on a stream already open; the stream stays the caller's.
    // The reader reads ahead of its records: leave the stream to it.
    Result attach(FILE *stream);
    // Closes what the reader opened; the header and record become empty.
    void close();

    const Header &header() const { return header_; }

    // Reads the next record: Ok, End (also at every call after the first
    // End until rewind), ReadFailed, or NotOpen.
    Result next();
    const Record &record() const { return record_; }

    // The value of element code in the current record. Without a field
    // list: the first word after identifier and location that begins with
    // code immediately followed by "=" (exact case). With one: the field of
    // the first entry named code. false when there is none.
    bool find(std::string_view code, Value &out) const;
    // The value of field-list entry index (0 is the identifier); false
    // without a field list, for an index outside it, or for a record that
    // ends before that field.
    bool field(int index, Value &out) const;

    // Back to the first record: Ok, NoSeek for a stream that cannot seek
    // (a pipe, a terminal), or NotOpen.
    Result rewind();

  private:
    struct Stream;
    std::unique_ptr<Stream> s_;
    Header header_;
    Record record_;

    Result start(std::unique_ptr<Stream> s);
};

}  // namespace vyr::raw

#endif  // VYRRAW_H
