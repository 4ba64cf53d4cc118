// Fuzz target: domain and region texts, decoded with a small region file
// and station database in a scratch file_path directory, which is also the
// working directory and HOME. The first byte sets stat_prior and city_file;
// the rest is the text. Prompts ("var") read from an empty input, so they
// end the run through the exit hook. An input naming a command ("|") or a
// device or process file ("/dev", "/proc") is skipped: such names are opened
// as they stand.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "vyr.h"
#include "vyr_int.h"
#include "vyrcty.h"
#include "vyrresrc.h"

namespace {

FILE *g_sink = nullptr;
FILE *g_no_answers = nullptr;
std::string g_dir;  // the scratch directory, removed at exit

void remove_scratch() {
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
}

void write(const std::string &name, const char *text) { std::ofstream(g_dir + "/" + name) << text; }

bool set_up() {
    char tmpl[] = "/tmp/vyrdomfuzzXXXXXX";
    if (mkdtemp(tmpl) == nullptr) return false;
    g_dir = tmpl;
    std::atexit(remove_scratch);
    if (chdir(g_dir.c_str()) != 0) return false;
    setenv("HOME", g_dir.c_str(), 1);
    write("vyr.reg",
          "# regions\n"
          "us United_States 1 ps:-97,39,-97,25,17,2.3,2.3\n"
          "den Denver 0 id:KDEN,0.5\n"
          "self Loop 0 self\n"
          "other Other 2 my.reg:a\n"
          "word\n");
    write("my.reg", "a A_region 1 ll,40,-100,31,21,0.5\nb B 1 fi:vyr.reg\n");
    write("sao.cty",
          "DENVER CO US KDEN 1 39.8617 -104.6730 1655 72469 0\n"
          "BOULDER CO US KBDU *2* 40.04 -105.23 9999 4018 3\n");
    write("my.cty", "X XX XX KXXX 3 10 20 30 12345\n");
    g_sink = std::fopen("/dev/null", "w");
    g_no_answers = std::tmpfile();
    return g_sink != nullptr && g_no_answers != nullptr;
}

bool unsafe(std::string_view s) {
    return s.find('|') != s.npos || s.find("/dev") != s.npos || s.find("/proc") != s.npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool ready = set_up();
    if (!ready || size == 0) return 0;
    std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
    if (unsafe(text)) return 0;

    vyr::reset_library();
    vyr::set_exit_throws(true);
    vyr::set_message_streams(g_sink, g_sink);
    vyr::set_terminal_input(g_no_answers);
    RES_put("file_path", g_dir.c_str());
    if (data[0] & 1) RES_put("stat_prior", (data[0] & 2) ? "-3" : "+2");
    if (data[0] & 4) RES_put("city_file", "my.cty");

    try {
        Domain d;
        DOM_decode(text.c_str(), &d);
        DOM_proj_str(text.c_str());
        char domstr[80];
        DOM_search_file(nullptr, text.c_str(), domstr);
        if (data[0] & 8) DOM_read_menu(text.c_str());
    } catch (const vyr::exit_request &) {
    }
    return 0;
}
