// files_rules.h - the rules of the files module that hold no state: name
// patterns written for a date, read back from a name and turned into a
// wildcard; convention lines; file requests; current expressions.
//
// Each rule takes what it reads of the outside world (resource values, keys,
// file sizes, the clock) as arguments, so the tests need no module state.
// src/files.cpp keeps the state and calls these rules from its FILE_*
// functions. Nothing here is part of the suite's API.
#ifndef VYR_FILES_RULES_H
#define VYR_FILES_RULES_H

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files_int.h"
#include "vyrfiles.h"
#include "vyrresrc.h"

namespace vyr::files {

constexpr int64_t kNoPeriod = VYR_MISSING;

// Substitution keys by character; an empty text is an unset key.
using Keys = std::array<std::string, 256>;

// A resource value by name, or null when the resource is not given.
using Lookup = std::function<const char *(const char *name)>;

// What the pattern rules read besides the pattern.
struct Context {
    Lookup resource;             // empty: no resource is given
    const Keys *keys = nullptr;  // null: no key is set
    std::string ext;             // the extension of the active convention
    Date set{VYR_MISSING, VYR_MISSING, VYR_MISSING, VYR_MISSING,
             VYR_MISSING, VYR_MISSING, VYR_MISSING, 0};  // reference-time settings
};

// True when a begins with b, compared without regard to case.
bool istarts(std::string_view a, std::string_view b);
bool carries_path(std::string_view name);
// A name or pattern given after "@" is a file, never a command or a
// standard stream: those it would read as one get "./" in front.
std::string literal_path(std::string_view name);  // begins with "/", "." or "~"

// ---------------------------------------------------------------------------
// Pattern tokens (files_pattern.cpp)

// One element of a name pattern: a literal character, or "%", an optional
// width N and a code ("{name}" for a resource).
struct Token {
    bool literal = true;
    char code = 0;         // the literal character, or the token's code
    int n = 1;             // N; 1 when not written
    bool n_given = false;  // N was written
    std::string name;      // the resource name of %{name}
    std::size_t len = 1;   // pattern characters taken
};
Token next_token(std::string_view pattern, std::size_t pos);

// The resource behind a directory token (%C %D %F %R %G %W %I %T %M %S), or
// null for any other code.
const char *directory_resource(char code);

// ---------------------------------------------------------------------------
// Naming a date (files_pattern.cpp)

struct Named {
    std::string name;
    Date date;       // the file date: each field written, as written
    int64_t period;  // seconds between two files; kNoPeriod without a date token
};
// Writes the name of source under pattern. date is the file date before
// the walk (the fields no token writes stay as they are). A directory token
// or %{name} writes dir_override instead of a resource value when given.
Named write_name(std::string_view pattern, const Date &source, const Date &date, const Context &ctx,
                 const std::string *dir_override);

// The directory of the current file name that a name built for it keeps: the
// text before the separator that leaves as many separators ("/", and ":" as
// a drive letter) after it as the pattern has; none when the pattern has no
// separator or the name none.
std::optional<std::string> extracted_path(std::string_view filename, std::string_view pattern);

// The shell command that lists the files of a pattern: "ls -x " and the
// pattern as a wildcard. Only the wildcard characters the pattern produced
// reach the shell unquoted; a leading "~" is expanded by expand_home first.
std::string list_command(std::string_view pattern, const Context &ctx,
                         const std::function<std::string(const std::string &)> &expand_home);

// ---------------------------------------------------------------------------
// Conventions (files_conv.cpp)

// A file type with its key assignments (":k=value") taken off.
struct TypeName {
    std::string name;
    struct Key {
        char key;
        std::string value;
    };
    std::vector<Key> keys;
};
TypeName split_type(std::string_view type);

// One line of the convention file.
struct ConventionLine {
    std::string type, pattern, header;  // header: empty for "-"
    int min_size = 0;
};
// False for a comment or a line without a type name.
bool read_convention_line(std::string_view line, ConventionLine &out);

enum class Match { None, Exact, Prefix };
Match match_type(std::string_view line_type, std::string_view type);
// The extension a prefix match gives: the type after its last "_".
std::string type_extension(std::string_view type);

// ---------------------------------------------------------------------------
// File requests (files_select.cpp)

// Date digits YYYY[MM[DD[HH[NN]]]]: each field read only when its first
// character is a digit, up to its width, stopping at the first non-digit.
struct DateDigits {
    int fields[5] = {0, 0, 0, 0, 0};  // year, month, day, hour, minute
    int count = 0;                    // fields read
    std::size_t used = 0;             // characters read
};
DateDigits read_date_digits(std::string_view text);

// Cuts a "#" date suffix (a "#" after the first character) off asked; the
// fields read go into set. True when there was one.
bool cut_date_suffix(std::string &asked, Date &set);

// Extra information of a request: from its fourth character on, the
// first "#", "-", "+" or ":" and what follows (cut to 39 characters) is
// taken off asked and returned.
std::string cut_extra_info(std::string &asked);

enum class Form {
    Exit,     // end the program
    Literal,  // "@name" (the name as written) or "|command" (whole)
    Stream,   // a standard stream
    Plain,    // no convention: the request is the name
    Current,  // a current expression
    None,     // the word none
    OwnPath,  // pattern and name both carry their own path
    Walk,     // completed and dated by the pattern
};
struct Classified {
    Form form;
    std::string text;  // the name, or the current expression
};
Classified classify(std::string_view asked, std::string_view conv);

struct Walked {
    std::string name;
    Date date;
    int where;        // 0 nothing matched, 1 directory, 2 date read, 3 name used up
    std::string ext;  // the extension, learnt from the name when the convention has none
};
// Reads the name asked along pattern: completes it into a name and reads the
// date fields it holds into date.
Walked walk(std::string_view asked, std::string_view pattern, const Date &date, const Context &ctx);

// ---------------------------------------------------------------------------
// Current expressions (files_current.cpp)

// The reference time of an expression: a leading "#" and date digits, else
// env (the "vyrcurtime" value, "#" optional) when it holds digits, else now.
// used: characters of the expression taken.
struct Reference {
    int64_t secs;
    std::size_t used;
};
// A "#" date or an env date that does not exist (month 13, day 99) is
// told ("Date not valid") and passed over.
Reference reference_time(std::string_view expr, const char *env, int64_t now);
// Whether the fields read are a date that exists.
bool date_digits_valid(const DateDigits &d);
// The date of a "vyrcurtime" value ("#" optional, then YYYY[MM[DD[HH[NN]]]]):
// false when it holds none, or one that does not exist (told).
bool env_date(const char *env, DateDigits &d);

// Moves t to the most recent time at or before it whose month, day, hour and
// minute agree with the fixed fields (0 or more) of set.
int64_t align(int64_t t, const Date &set);

// An offset at the start of text: hours[:minutes], or days "d" hours[:minutes]
// when a "d" follows the first number. Seconds and characters taken.
struct Offset {
    int64_t secs = 0;
    int days = 0, hours = 0, minutes = 0;
    std::size_t used = 0;
};
Offset read_offset(std::string_view text);

// Names a time (its breakdown) under the active pattern: the name, the
// naming period (kNoPeriod when the pattern has none).
struct CandidateName {
    std::string name;
    int64_t period;
};
using Namer = std::function<CandidateName(const Date &)>;
using Sizer = std::function<int64_t(const std::string &)>;

struct Chosen {
    int64_t secs;  // the chosen time, not lowered
    CandidateName named;
};
// Runs the expression (without its reference date) from time t: offsets, a
// latest search for a file bigger than min_size, a second offset; names the
// chosen time.
Chosen run_current(std::string_view rest, int64_t t, const Namer &name_of, const Sizer &size_of,
                   int64_t min_size);

// t lowered to a multiple of period; t itself when there is no period.
int64_t lower_to_period(int64_t t, int64_t period);

}  // namespace vyr::files

#endif  // VYR_FILES_RULES_H
