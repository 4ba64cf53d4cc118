// shef2raw - SHEF reports to the suite's raw data file.
//
// Start-up gathers the converter's resources (definition files, display
// windows, environment, command line), answers a help request, reads the
// filter date from the "parameter" item "date" and prints the banner. The
// input is chosen by the file selection under the "shef_dat" convention (or
// in_file); the raw file is named after the input file's date under the
// "shef_raw" convention (or out_file). This is the one place where the
// converter's exit statuses are decided.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "shef2raw_keys.h"
#include "shef_decode.h"
#include "vyr.h"
#include "vyr_int.h"
#include "vyrresrc.h"

namespace {

constexpr std::size_t kNameBuffer = 160;  // a file name and its terminator

// The filter date: the text from the sixth character on of the last
// "parameter" item that begins with "date" (any case), e.g. date=0815.
std::string filter_date() {
    std::string date;
    int n = 0;
    char **items = nullptr;
    RES_getvals("parameter", &n, &items);
    for (int i = 0; i < n; ++i)
        if (strnicmp(items[i], "date", 4) == 0)
            date = std::strlen(items[i]) > 5 ? items[i] + 5 : "";
    free_parsed_array(n, items);
    return date;
}

// Selects the convention of a file type, or the user's own type or pattern
// given by a resource.
void select_convention(const char *type, const char *resource) {
    FILE_set_name(type);
    if (const char *own = RES_get(resource)) FILE_set_name(own);
}

// A name as messages show it: standard streams by "-".
const char *shown(const char *name) { return FILE_is_stdio(name) ? "-" : name; }

}  // namespace

int main(int argc, char **argv) {
    // The element echo can run to hundreds of megabytes: write it in large
    // blocks unless a person is watching.
    if (!isatty(STDOUT_FILENO)) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);

    RES_init(argc, argv, shef2raw_res_key, shef2raw_res_pos);
    vyr::answer_help("decodes SHEF data and puts it in a VYR raw file", shef2raw_res_key,
                     shef2raw_res_pos);
    const std::string date_str = filter_date();
    MESS_print_prog("SHEF DATA DECODING");

    // The input, and the date it stands for.
    char file[kNameBuffer] = "";
    select_convention("shef_dat", "in_file");
    FILE_get_file("Enter the SHEF filename: ", file);
    Date file_date;
    FILE_get_date(&file_date);
    FILE *in = FILE_open(file, "r");
    if (in == nullptr) {
        MESS_print(M_ERROR, "Unable to open file:%s\n", file);
        VYR_exit(VYR_NO_INPUT);
    }

    // The output, named after the input's date. A name that cannot be built
    // (too long) is never opened in its place: it counts as one that cannot
    // be opened.
    char outfile[kNameBuffer] = "";
    select_convention("shef_raw", "out_file");
    const bool named = FILE_set_date(&file_date, outfile) >= 0;
    MESS_print(M_OUT1, "Output file: %s\n", outfile);
    FILE *out = named ? FILE_open(outfile, "w") : nullptr;
    if (out == nullptr) {
        out = stdout;
        MESS_print(M_WARN, "Unable to open output file\n");
    }
    const char *out_name = out == stdout ? "-" : outfile;

    char label[50];
    DATE_make_label(&file_date, label);
    std::fputs("VYRRAW\n", out);
    std::fprintf(out, "%s\n", label);
    std::fputs("SHEF Data\n", out);

    const int result = vyr::shef::decode(in, out, date_str.c_str());
    int write_errno = errno;
    bool write_failed = (result & vyr::shef::kDecodeWriteFailed) != 0;
    bool read_failed = (result & vyr::shef::kDecodeReadFailed) != 0;
    const bool no_memory = (result & vyr::shef::kDecodeNoMemory) != 0;
    // Every record decoded before a failure is kept: the output is finished
    // before anything is reported.
    if (!vyr::close_opened(out, out_name)) {
        if (!write_failed) write_errno = errno;
        write_failed = true;
    }
    if (!vyr::close_opened(in, file, result == 0)) read_failed = true;

    if (no_memory) MESS_print(M_ERROR, "Not enough memory to decode file:%s\n", shown(file));
    if (read_failed) MESS_print(M_ERROR, "Unable to read file:%s\n", shown(file));
    if (write_failed) {
        MESS_print(M_ERROR, "Unable to write output file:%s (%s)\n", out_name,
                   std::strerror(write_errno != 0 ? write_errno : EIO));
        return VYR_WRITE_FAILED;
    }
    return read_failed || no_memory ? VYR_NO_INPUT : VYR_OK;
}
