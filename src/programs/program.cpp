// program.cpp - the inputs and outputs of the SHEF programs; see program.h.
#include "program.h"

#include <unistd.h>

#include <cstdlib>

#include "base_int.h"
#include "files_rules.h"
#include "resrc_int.h"
#include "vyrresrc.h"

namespace vyr::program {

namespace {

constexpr Date kUndated = {VYR_MISSING, VYR_MISSING, VYR_MISSING, VYR_MISSING,
                           VYR_MISSING, VYR_MISSING, VYR_MISSING, VYR_MISSING};

// The names of the command line, in order.
std::vector<std::string> command_line_names() {
    int n = 0;
    char **names = nullptr;
    RES_getvals("filename", &n, &names);
    std::vector<std::string> out(names, names + n);
    free_parsed_array(n, names);
    return out;
}

}  // namespace

void start(int argc, char **argv, const res_type *keys, const res_type *positional,
           const char *purpose) {
    open_standard_descriptors();
    if (!isatty(STDOUT_FILENO)) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    RES_init(argc, argv, keys, positional);
    answer_help(purpose, keys, positional);
}

const char *shown(const std::string &name) {
    return FILE_is_stdio(name.c_str()) ? "-" : name.c_str();
}

void select_convention(const char *type, const char *resource) {
    FILE_set_name(type);
    if (const char *own = RES_get(resource)) FILE_set_name(own);
}

std::vector<Input> inputs(const char *prompt, bool all, bool piped) {
    select_convention("shef_dat", "in_file");
    const std::vector<std::string> names = command_line_names();
    // A filter reads what is piped to it; only a person is asked.
    if (names.empty() && piped && !FLAG_batch() && RES_get("current") == nullptr &&
        !isatty(STDIN_FILENO))
        return {{"-", kUndated}};
    std::vector<Input> out;
    char file[VYR_NAME_BUFFER] = "";
    Date date;
    FILE_get_file(prompt, file);
    FILE_get_date(&date);
    out.push_back({file, date});
    for (std::size_t i = 1; all && i < names.size(); ++i) {
        // A name too long to complete is kept as written: its open fails
        // and says so.
        if (FILE_set_file(names[i].c_str(), file) != 0) {
            out.push_back({names[i], kUndated});
            continue;
        }
        FILE_get_date(&date);
        out.push_back({file, date});
    }
    return out;
}

bool output_name(const Date &date, std::string &name) {
    char out[VYR_NAME_BUFFER] = "";
    if (FILE_set_date(&date, out) < 0) return false;
    name = out;
    return true;
}

bool output_is_input(const std::string &in, const std::string &out) {
    if (!vyr::same_file(in.c_str(), out.c_str())) return false;
    MESS_print(M_ERROR, "Output file is the input file: %s\n", shown(out));
    return true;
}

series::Parm parameter_tables() {
    char path[VYR_NAME_BUFFER];
    if (FILE_add_path(RES_get("file_path"), "SHEFPARM", path) == nullptr || !FILE_exist(path) ||
        FILE_is_stdio(path))
        return series::Parm::builtin();
    // A FIFO would hang the run and a device never ends.
    if (check_config_file(path) == ConfigCheck::NotRegular) {
        if (!FILE_is_dir(path))
            MESS_print(M_WARN, "Definition file skipped, not a regular file: %s\n", path);
        return series::Parm::builtin();
    }
    MESS_print(M_MESS, "SHEFPARM: %s\n", path);
    FILE *f = FILE_open(path, "r");
    std::string text;
    if (f != nullptr) {
        char buf[8192];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
        if (!close_opened(f, path)) f = nullptr;  // a read that failed
    }
    if (f == nullptr) {
        MESS_print(M_ERROR, "Unable to read file:%s\n", path);
        VYR_exit(VYR_NO_INPUT);
    }
    return series::Parm::parse(text, [&](int line, std::string_view why) {
        MESS_print(M_ERROR, "%s line %d: %.*s\n", path, line, static_cast<int>(why.size()),
                   why.data());
    });
}

void DecoderNotes::operator()(series::Severity s, long line, std::string_view text) {
    if (s == series::Severity::Error && ++shown_errors_ > limit_) {
        if (shown_errors_ == limit_ + 1)
            MESS_print(M_ERROR, "Error limit of %ld reached: later errors are only counted\n",
                       limit_);
        return;
    }
    MESS_print(s == series::Severity::Error ? M_ERROR : M_WARN, "Line %ld: %.*s\n", line,
               static_cast<int>(text.size()), text.data());
}

void tell_long_lines(series::Decoder &decoder) {
    decoder.set_on_long_line(
        [](long line) { MESS_print(M_ERROR, "Line %ld longer than 1 MiB skipped\n", line); });
}

series::RefDate reference_date(const Date &input) {
    const series::Civil now = series::civil_of(clock_now());
    series::RefDate r{now.year, now.month, now.day};
    files::DateDigits cur;
    if (files::env_date(std::getenv("vyrcurtime"), cur))
        r = {cur.fields[0], cur.count >= 2 ? cur.fields[1] : 1, cur.count >= 3 ? cur.fields[2] : 1};
    // The fixed fields of "hour", then the input's own date, each win.
    for (const Date *d : {&reference_time(), &input}) {
        if (d->year >= 0) r.year = d->year;
        if (d->month >= 1 && d->month <= 12) r.month = d->month;
        if (d->day >= 1) r.day = d->day;
    }
    if (r.month < 1 || r.month > 12) r.month = 1;
    const int last = days_in_month(r.year, r.month);
    if (r.day < 1 || r.day > last) r.day = r.day < 1 ? 1 : last;
    return r;
}

}  // namespace vyr::program
