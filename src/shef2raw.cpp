// shef2raw - SHEF reports to the suite's raw data file.
//
//   shef2raw [-me LEVEL] [-pa date=DATE] [FILE]
//
// Decodes FILE (standard input when absent or "-") and writes the raw data
// file to standard output: the magic line, the date label, the title, then
// one record per decoded station line.
#include <cerrno>
#include <cstring>
#include <string>

#include "shef_decode.h"
#include "vyr.h"
#include "vyr_int.h"

namespace {

int usage() {
    MESS_print(0x00000030, "usage: shef2raw [-me LEVEL] [-pa date=DATE] [FILE]\n");
    return 2;
}

// The filter date: the text after "date" and one separator of the last
// parameter item that begins with "date".
std::string filter_date(const char *parameter) {
    std::string date;
    int n = 0;
    char **items = nullptr;
    if (parse_string(parameter, ',', &n, &items) != 0) return date;
    for (int i = 0; i < n; ++i)
        if (strnicmp(items[i], "date", 4) == 0)
            date = std::strlen(items[i]) > 5 ? items[i] + 5 : "";
    free_parsed_array(n, items);
    return date;
}

}  // namespace

int main(int argc, char **argv) {
    const char *file = nullptr;
    std::string date_str;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-me") == 0) {
            if (++i >= argc) return usage();
            MESS_set_str(argv[i]);
        } else if (std::strcmp(argv[i], "-pa") == 0) {
            if (++i >= argc) return usage();
            date_str = filter_date(argv[i]);
        } else if (file == nullptr) {
            file = argv[i];
        } else {
            return usage();
        }
    }
    MESS_print_prog("SHEF DATA DECODING");

    FILE *in = FILE_open(file ? file : "-", "r");
    if (in == nullptr) {
        MESS_print(0x00000030, "Unable to open file:%s\n", file);
        VYR_exit(VYR_NO_INPUT);
    }
    FILE *out = stdout;

    // Until input files are chosen by their dates, the label carries the
    // reference time the user set (all missing by default).
    Date file_date = vyr::reference_time();
    char label[32];
    DATE_make_label(&file_date, label);
    std::fputs("VYRRAW\n", out);
    std::fprintf(out, "%s\n", label);
    std::fputs("SHEF Data\n", out);

    vyr::shef::decode(in, out, date_str.c_str());
    if (std::fflush(out) != 0 || std::ferror(out)) {
        MESS_print(0x00000030, "Unable to write the output: %s\n", std::strerror(errno));
        return VYR_WRITE_FAILED;
    }
    return VYR_OK;
}
