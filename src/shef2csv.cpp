// shef2csv - SHEF data to a CSV time series, one row per value.
//
// Start-up gathers the program's resources (definition files, display
// windows, environment, command line) and answers a help request. The
// parameter tables are the built-in SHEFPARM, or a site's own SHEFPARM in
// the file_path directory. Years are inferred against the reference date:
// the "hour" resource, else "vyrcurtime", else the clock. When the CSV goes
// to standard output, messages go to standard error, and those below the
// warning level are shown only when asked for or logged to a file.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shef2csv_keys.h"
#include "shef_series.h"
#include "vyr.h"
#include "vyr_int.h"
#include "vyrresrc.h"

namespace {

using vyr::series::Parm;
using vyr::series::RefDate;
using vyr::series::Severity;

constexpr std::size_t kNameBuffer = 160;  // a file name and its terminator

// The input to decode, chosen by the file selection under the "shef_dat"
// convention (or the in_file resource): a name from the command line, the
// current file, the latest one in batch mode, or the user's answer. Its
// date comes with it.
std::string input_name(Date &date) {
    char file[kNameBuffer] = "";
    FILE_set_name("shef_dat");
    if (const char *own = RES_get("in_file")) FILE_set_name(own);
    FILE_get_file("Enter the SHEF filename: ", file);
    FILE_get_date(&date);
    return file;
}

// The CSV output: named after the input's date by the out_file resource or
// by the site's "shef_csv" convention when either is given, else standard
// output ("-"), so that a redirection takes it. Empty when a name would be
// too long: such a name is never opened in its place.
std::string output_name(const Date &date, bool csv_convention, const char *own) {
    if (!csv_convention && own == nullptr) return "-";
    if (csv_convention) FILE_set_name("shef_csv");
    if (own != nullptr) FILE_set_name(own);
    char out[kNameBuffer] = "";
    return FILE_set_date(&date, out) >= 0 ? std::string(out) : std::string();
}

// True when the message resource names a log file (fi, +fi, -fi, @fi, dfi).
bool log_file_named() {
    int n = 0;
    char **items = nullptr;
    RES_getvals("message", &n, &items);
    bool named = false;
    for (int i = 0; i < n; ++i) {
        const char *it = items[i];
        if (*it == '+' || *it == '-' || *it == '@' || *it == 'd' || *it == 'D') ++it;
        named = named || strnicmp(it, "fi", 2) == 0;
    }
    free_parsed_array(n, items);
    return named;
}

// The date that years given without a century or without a year are
// inferred against: the clock, or "vyrcurtime" (digits YYYY[MM[DD...]],
// optionally after "#"), with the fields that the "hour" resource fixes.
RefDate reference_date() {
    const vyr::series::Civil now = vyr::series::civil_of(vyr::clock_now());
    RefDate r{now.year, now.month, now.day};
    const char *cur = std::getenv("vyrcurtime");
    if (cur != nullptr) {
        if (*cur == '#') ++cur;
        std::size_t n = 0;
        while (cur[n] >= '0' && cur[n] <= '9') ++n;
        auto field = [&](std::size_t pos, std::size_t len) {
            int v = 0;
            for (std::size_t i = pos; i < pos + len; ++i) v = v * 10 + (cur[i] - '0');
            return v;
        };
        if (n >= 4) r = RefDate{field(0, 4), 1, 1};
        if (n >= 6) r.month = field(4, 2);
        if (n >= 8) r.day = field(6, 2);
    }
    const Date &fixed = vyr::reference_time();
    if (fixed.year >= 0) r.year = fixed.year;
    if (fixed.month >= 1 && fixed.month <= 12) r.month = fixed.month;
    if (fixed.day >= 1) r.day = fixed.day;
    if (r.month < 1 || r.month > 12) r.month = 1;
    const int last = vyr::series::days_in_month(r.year, r.month);
    if (r.day < 1 || r.day > last) r.day = r.day < 1 ? 1 : last;
    return r;
}

// The parameter tables: a site's SHEFPARM in the file_path directory when
// there is one, else the built-in copy.
Parm load_parm() {
    char path[160];
    if (FILE_add_path(RES_get("file_path"), "SHEFPARM", path) == nullptr || !FILE_exist(path) ||
        FILE_is_stdio(path) || FILE_is_dir(path))
        return Parm::builtin();
    MESS_print(M_MESS, "SHEFPARM: %s\n", path);
    FILE *f = FILE_open(path, "r");
    std::string text;
    if (f != nullptr) {
        char buf[8192];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
        if (!vyr::close_opened(f, path)) f = nullptr;  // a read that failed
    }
    if (f == nullptr) {
        MESS_print(M_ERROR, "Unable to read file:%s\n", path);
        VYR_exit(VYR_NO_INPUT);
    }
    return Parm::parse(text, [&](int line, std::string_view why) {
        MESS_print(M_ERROR, "%s line %d: %.*s\n", path, line, static_cast<int>(why.size()),
                   why.data());
    });
}

}  // namespace

int main(int argc, char **argv) {
    if (!isatty(STDOUT_FILENO)) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    RES_init(argc, argv, shef2csv_res_key, shef2csv_res_pos);
    vyr::answer_help("decodes SHEF data into a CSV time series", shef2csv_res_key,
                     shef2csv_res_pos);
    // Where the CSV goes decides where messages go, before the first one:
    // standard output carries the CSV alone.
    const char *own_out = RES_get("out_file");
    const bool csv_convention = own_out == nullptr && FILE_set_name("shef_csv") == 1;
    const bool to_stdout = own_out != nullptr ? FILE_is_stdio(own_out) != 0 : !csv_convention;
    if (to_stdout) {
        vyr::set_message_streams(stderr, stderr);
        if (!log_file_named() && MESS_check_set() == 0) MESS_set(10, M_WARN);
    }
    MESS_print_prog("SHEF TIME SERIES DECODING");
    const Parm parm = load_parm();
    const RefDate ref = reference_date();

    Date file_date;
    const std::string in_name = input_name(file_date);
    FILE *in = FILE_open(in_name.c_str(), "r");
    if (in == nullptr) {
        MESS_print(M_ERROR, "Unable to open file:%s\n", in_name.c_str());
        VYR_exit(VYR_NO_INPUT);
    }
    const std::string out_name = output_name(file_date, csv_convention, own_out);
    MESS_print(M_OUT1, "Output file: %s\n", out_name.c_str());
    FILE *out = out_name.empty() ? nullptr : FILE_open(out_name.c_str(), "w");
    const char *shown_out = FILE_is_stdio(out_name.c_str()) ? "-" : out_name.c_str();
    if (out == nullptr) {
        MESS_print(M_ERROR, "Unable to write output file:%s (%s)\n", shown_out,
                   std::strerror(errno));
        VYR_exit(VYR_WRITE_FAILED);
    }

    const long limit = parm.error_limit();
    long shown_errors = 0;
    auto on_note = [&](Severity s, long line, std::string_view text) {
        if (s == Severity::Error && ++shown_errors > limit) {
            if (shown_errors == limit + 1)
                MESS_print(M_ERROR, "Error limit of %ld reached: later errors are only counted\n",
                           limit);
            return;
        }
        MESS_print(s == Severity::Error ? M_ERROR : M_WARN, "Line %ld: %.*s\n", line,
                   static_cast<int>(text.size()), text.data());
    };
    errno = 0;
    vyr::series::Conversion c{};
    // Without memory (a line too long to hold) the input cannot be read.
    if (!vyr::guarded(false, [&] {
            c = vyr::series::convert(in, out, parm, ref, on_note);
            return true;
        })) {
        c.read_ok = false;
        c.write_ok = true;
    }
    int write_errno = c.write_ok ? 0 : errno;
    const bool read_ok = vyr::close_opened(in, in_name.c_str()) && c.read_ok;
    errno = 0;
    const bool write_ok = vyr::close_opened(out, out_name.c_str()) && c.write_ok;
    if (write_errno == 0) write_errno = errno;
    MESS_print(M_MESS, "Messages: %ld, values: %ld, errors: %ld, warnings: %ld\n",
               c.counts.messages, c.counts.values, c.counts.errors, c.counts.warnings);
    if (!read_ok) {
        MESS_print(M_ERROR, "Unable to read file:%s\n",
                   FILE_is_stdio(in_name.c_str()) ? "-" : in_name.c_str());
        return VYR_NO_INPUT;
    }
    if (!write_ok) {
        MESS_print(M_ERROR, "Unable to write output file:%s (%s)\n", shown_out,
                   std::strerror(write_errno != 0 ? write_errno : EIO));
        return VYR_WRITE_FAILED;
    }
    return VYR_OK;
}
