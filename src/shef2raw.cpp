// shef2raw - SHEF reports to the suite's raw data file.
//
// Start-up gathers the converter's resources (definition files, display
// windows, environment, command line), answers a help request, reads the
// filter date from the "parameter" item "date" and prints the banner. The
// input is the first file name of the command line (standard input when
// there is none, or "-"); the raw data file goes to standard output.
#include <sys/wait.h>
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

// The first input file name given on the command line, or "" for standard
// input.
std::string input_name() {
    std::string name;
    int n = 0;
    char **names = nullptr;
    RES_getvals("filename", &n, &names);
    if (n > 0) name = names[0];
    free_parsed_array(n, names);
    return name;
}

// Closes the input; false when it was a command that failed (a nonzero
// status or a signal). A command cut short because decoding stopped early
// dies of the closed pipe: that is no failure of its own.
bool close_input(FILE *in, const std::string &name, bool read_to_end) {
    if (in == stdin) return true;
    if (name.empty() || name[0] != '|') {
        std::fclose(in);
        return true;
    }
    const int status = pclose(in);
    if (!read_to_end) return true;
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char **argv) {
    // Raw data and the element echo can run to hundreds of megabytes: write
    // them in large blocks unless a person is watching.
    if (!isatty(STDOUT_FILENO)) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    RES_init(argc, argv, shef2raw_res_key, shef2raw_res_pos);
    if (FLAG_help()) {
        char prog[80];
        RES_get_progname(prog, sizeof prog);
        MESS_print(M_PRINT, "%s: This program decodes SHEF data and puts it in a VYR raw file\n",
                   prog);
        RES_help_print(prog, shef2raw_res_key, shef2raw_res_pos);
        VYR_exit(VYR_OK);
    }
    const std::string date_str = filter_date();
    MESS_print_prog("SHEF DATA DECODING");

    const std::string file = input_name();
    FILE *in = FILE_open(file.c_str(), "r");
    if (in == nullptr) {
        MESS_print(M_ERROR, "Unable to open file:%s\n", file.c_str());
        VYR_exit(VYR_NO_INPUT);
    }
    FILE *out = stdout;

    // Until input files are chosen by their dates, the label carries the
    // reference time the user set with the "hour" resource (by default
    // none, which labels as the year alone).
    Date file_date = vyr::reference_time();
    char label[32];
    DATE_make_label(&file_date, label);
    std::fputs("VYRRAW\n", out);
    std::fprintf(out, "%s\n", label);
    std::fputs("SHEF Data\n", out);

    const int result = vyr::shef::decode(in, out, date_str.c_str());
    bool write_failed = (result & vyr::shef::kDecodeWriteFailed) != 0;
    const int write_errno = errno;
    bool read_failed = (result & vyr::shef::kDecodeReadFailed) != 0;
    // Every record decoded before a failure is kept: the output is flushed
    // before anything is reported.
    if (std::fflush(out) != 0 || std::ferror(out)) write_failed = true;
    if (!close_input(in, file, !write_failed && result == 0)) read_failed = true;
    if (result & vyr::shef::kDecodeNoMemory)
        MESS_print(M_ERROR, "Not enough memory to decode file:%s\n",
                   file.empty() ? "-" : file.c_str());
    if (read_failed)
        MESS_print(M_ERROR, "Unable to read file:%s\n", file.empty() ? "-" : file.c_str());
    if (write_failed) {
        MESS_print(M_ERROR, "Unable to write the output: %s\n",
                   std::strerror(errno != 0 ? errno : write_errno));
        return VYR_WRITE_FAILED;
    }
    return read_failed || (result & vyr::shef::kDecodeNoMemory) ? VYR_NO_INPUT : VYR_OK;
}
