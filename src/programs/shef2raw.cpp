// shef2raw - SHEF reports to the suite's raw data file.
//
// Start-up gathers the converter's resources (definition files, display
// windows, environment, command line), answers a help request, reads the
// filter date from the "parameter" item "date" and prints the banner. The
// input is chosen by the file selection under the "shef_dat" convention (or
// in_file); the raw file is named after the input file's date under the
// "shef_raw" convention (or out_file). This is the one place where the
// converter's exit statuses are decided.

#include <cerrno>
#include <cstring>
#include <string>

#include "base_int.h"
#include "program.h"
#include "resrc_int.h"
#include "shef2raw_keys.h"
#include "shef_decode.h"
#include "vyr.h"
#include "vyrresrc.h"

namespace {

using vyr::program::shown;

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

}  // namespace

int main(int argc, char **argv) {
    // The element echo can run to hundreds of megabytes: standard output is
    // written in large blocks unless a person is watching.
    vyr::program::start(argc, argv, shef2raw_res_key, shef2raw_res_pos,
                        "decodes SHEF data and puts it in a VYR raw file");
    const std::string date_str = filter_date();
    MESS_print_prog("SHEF DATA DECODING");

    // The input, and the date it stands for.
    const vyr::program::Input input =
        vyr::program::inputs("Enter the SHEF filename: ", false, false)[0];
    const char *file = input.name.c_str();

    // The output, named after the input's date. A name that cannot be built
    // (too long) is never opened in its place: it counts as one that cannot
    // be opened. Nothing is opened when it would write over the input.
    std::string outfile;
    vyr::program::select_convention("shef_raw", "out_file");
    const bool named = vyr::program::output_name(input.date, outfile);
    if (named && vyr::program::output_is_input(input.name, outfile)) VYR_exit(VYR_WRITE_FAILED);
    FILE *in = FILE_open(file, "r");
    if (in == nullptr) {
        MESS_print(M_ERROR, "Unable to open file:%s\n", file);
        VYR_exit(VYR_NO_INPUT);
    }
    MESS_print(M_OUT1, "Output file: %s\n", outfile.c_str());
    vyr::OutputFile output;
    FILE *out = named ? output.open(outfile.c_str()) : nullptr;
    if (out == nullptr) {
        out = stdout;
        MESS_print(M_WARN, "Unable to open output file\n");
    }
    const char *out_name = out == stdout ? "-" : outfile.c_str();

    char label[50];
    Date label_date = input.date;
    DATE_make_label(&label_date, label);
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
    errno = 0;
    if (!(out == stdout ? vyr::close_opened(out, out_name) : output.close(!write_failed))) {
        if (!write_failed) write_errno = errno;
        write_failed = true;
    }
    if (!vyr::close_opened(in, file, result == 0)) read_failed = true;

    if (no_memory) MESS_print(M_ERROR, "Not enough memory to decode file:%s\n", shown(input.name));
    if (read_failed) MESS_print(M_ERROR, "Unable to read file:%s\n", shown(input.name));
    if (write_failed) {
        MESS_print(M_ERROR, "Unable to write output file:%s (%s)\n", out_name,
                   std::strerror(write_errno != 0 ? write_errno : EIO));
        return VYR_WRITE_FAILED;
    }
    return read_failed || no_memory ? VYR_NO_INPUT : VYR_OK;
}
