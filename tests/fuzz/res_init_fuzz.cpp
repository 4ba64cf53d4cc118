// Resource start-up over an argument vector taken from the input: the
// pieces between NUL bytes, the first being the program's own name.
//
// Runs in a scratch HOME and working directory with the search path on an
// empty scratch directory, so no real definition file is read. Options that
// would name another search path ("-df...", "-default...") get a capital
// "D": the start-up then skips them like any mis-cased steering key, and no
// input can make it open (or run, for "|command") a file of its choosing.
// The message resource is left out for the same reason: its value opens
// log files.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "vyr.h"
#include "vyr_int.h"
#include "vyrresrc.h"

namespace {

constexpr res_type kKeys[] = {
    RES_help,         RES_batch,     RES_file_path, RES_data_path, RES_image_path, RES_city_file,
    RES_stat_prior,   RES_name_conv, RES_in_file,   RES_in_files,  RES_out_file,   RES_file_param,
    RES_current,      RES_hour,      RES_num_hour,  RES_parameter, RES_input,      RES_inputg,
    RES_con_interval, RES_draw,      RES_plot_type, RES_table,     RES_icon,       RES_device,
    RES_region,       RES_null,
};
constexpr res_type kPositional[] = {RES_filename, RES_values, RES_filenames, RES_null};

FILE *g_sink = nullptr;
std::string g_dir;  // the scratch directory, removed at exit

void remove_scratch() {
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
}

bool set_up() {
    char tmpl[] = "/tmp/vyrfuzzXXXXXX";
    if (mkdtemp(tmpl) == nullptr) return false;
    std::string dir = tmpl;
    g_dir = dir;
    std::atexit(remove_scratch);
    std::string empty = dir + "/empty";
    if (mkdir(empty.c_str(), 0700) != 0 || chdir(dir.c_str()) != 0) return false;
    setenv("HOME", dir.c_str(), 1);
    setenv("vyrdefault", empty.c_str(), 1);
    unsetenv("vyrtz");
    g_sink = std::fopen("/dev/null", "w");
    vyr::set_exit_throws(true);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool ready = set_up();
    if (!ready) return 0;
    vyr::reset_library();
    vyr::set_message_streams(g_sink, g_sink);

    std::vector<std::string> args(1);
    for (size_t i = 0; i < size && args.size() < 64; ++i) {
        if (data[i] == '\0')
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    std::vector<char *> argv;
    for (auto &a : args) {
        if (a.size() >= 2 && a[0] == '-' && a[1] == 'd') a[1] = 'D';
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    try {
        RES_init(static_cast<int>(args.size()), argv.data(), kKeys, kPositional);
        RES_list();
        for (const char *name : {"filename", "parameter", "value"}) {
            int n = 0;
            char **v = nullptr;
            RES_getvals(name, &n, &v);
            free_parsed_array(n, v);
        }
    } catch (const vyr::exit_request &) {
    }
    return 0;
}
