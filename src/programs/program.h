// program.h - what the SHEF programs share around their decoders: the
// inputs of a run, the output named after an input's date, the refusal to
// write over an input, and the reference date that years are inferred
// against.
#ifndef VYR_PROGRAM_H
#define VYR_PROGRAM_H

#include <string>
#include <vector>

#include "shef_series.h"
#include "vyr.h"

namespace vyr::program {

// The start of every SHEF program: closed standard descriptors opened on
// /dev/null, standard output in large blocks unless a person watches it,
// the resources gathered from the key lists, and a help request answered
// with the purpose line (the run then ends).
void start(int argc, char **argv, const res_type *keys, const res_type *positional,
           const char *purpose);

// A name as messages show it: standard streams by "-".
const char *shown(const std::string &name);

// Selects the convention of a file type, or the user's own type or
// pattern when the resource gives one.
void select_convention(const char *type, const char *resource);

// One input of the run and the date the file selection gave it (fields
// missing when undated).
struct Input {
    std::string name;
    Date date;
};

// The inputs, under the "shef_dat" convention (or in_file): the first name
// of the command line, or every one in order when all is true. Without a
// name: standard input when piped is true, standard input is not a
// terminal and neither batch mode nor "current" chooses; otherwise the
// current file, the latest one in batch mode, or the user's answer.
std::vector<Input> inputs(const char *prompt, bool all, bool piped);

// The name the active convention gives a date, or false when it would be
// too long (told by the files module).
bool output_name(const Date &date, std::string &name);

// True, told at error level, when writing out would write over the input:
// the same file through any name or link.
bool output_is_input(const std::string &in, const std::string &out);

// The parameter tables: a site's SHEFPARM in the file_path directory when
// there is one (read only when it is a regular file), else the built-in
// copy. A site file that cannot be read ends the run with status 10.
series::Parm parameter_tables();

// The notes of a decoding as messages: "Line N: text" at error or warning
// level; errors past the tables' limit are only counted, once said so.
class DecoderNotes {
  public:
    explicit DecoderNotes(long limit) : limit_(limit) {}
    void operator()(series::Severity s, long line, std::string_view text);

  private:
    long limit_;
    long shown_errors_ = 0;
};

// Lines too long to hold, told at error level as the decoder skips them.
void tell_long_lines(series::Decoder &decoder);

// The date that years given without a century or without a year are
// inferred against, field by field: the input's own date, else the "hour"
// setting, else "vyrcurtime", else the clock.
series::RefDate reference_date(const Date &input);

}  // namespace vyr::program

#endif  // VYR_PROGRAM_H
