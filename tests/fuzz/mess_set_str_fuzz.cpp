// Fuzz target: message resource values, then one message through whatever
// destinations and paging they set up.
//
// Log items open files, so every run happens in a fresh scratch directory
// (the working directory is given back after each run, for libFuzzer's
// relative corpus paths), and every character that could lead out of it
// ("/", "\", "~") or start a command ("|") is turned into "_" first. The rest
// of the input goes through unchanged.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "vyr.h"
#include "vyr_int.h"

namespace {

namespace fs = std::filesystem;

struct Scratch {
    fs::path dir;
    FILE *sink = nullptr;
    FILE *answers = nullptr;
    Scratch() {
        std::string tmpl = (fs::temp_directory_path() / "mess_fuzzXXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) std::abort();
        dir = tmpl;
        sink = std::fopen("/dev/null", "w");
        answers = std::fopen("/dev/null", "r");  // a hold reads end of input at once
        if (!sink || !answers) std::abort();
        vyr::set_message_streams(sink, sink);
        vyr::set_terminal_input(answers);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void clean() {
        std::error_code ec;
        for (const auto &e : fs::directory_iterator(dir, ec)) fs::remove_all(e.path(), ec);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Scratch scratch;
    std::string value(reinterpret_cast<const char *>(data), size);
    value.resize(value.find('\0') == std::string::npos ? value.size() : value.find('\0'));
    for (char &c : value)
        if (c == '/' || c == '\\' || c == '~' || c == '|') c = '_';

    std::error_code ec;
    fs::path back = fs::current_path(ec);
    fs::current_path(scratch.dir, ec);
    if (ec) std::abort();
    vyr::reset_messages();
    MESS_set_str(value.c_str());
    MESS_print(0xFFFFFFFF, "%s\n", "fuzz");
    MESS_print_prog("FUZZ");
    vyr::reset_messages();
    scratch.clean();
    fs::current_path(back, ec);
    return 0;
}
