// What the file-name fuzz targets share: a scratch working directory with a
// few data files, the directory resources pointing into it, a fixed clock,
// messages to /dev/null, exits that throw, and a listing that must never
// run. Each input starts from the module's start-up state.
#ifndef VYR_FILE_FUZZ_SETUP_H
#define VYR_FILE_FUZZ_SETUP_H

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "vyr.h"
#include "vyr_int.h"
#include "vyrresrc.h"

namespace file_fuzz {

inline std::string g_dir;

inline void remove_scratch() {
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
}

inline int64_t fixed_now() { return 1796650500; }  // 2026-12-07 13:35 UTC

inline int no_listing(const char *) { std::abort(); }

inline bool set_up() {
    char tmpl[] = "/tmp/vyrfilefuzzXXXXXX";
    if (mkdtemp(tmpl) == nullptr) return false;
    g_dir = tmpl;
    std::atexit(remove_scratch);
    if (chdir(g_dir.c_str()) != 0) return false;
    for (const char *f : {"2026120712.shef", "2026120700.shef", "20261206.obs", "26341.obs"}) {
        FILE *out = std::fopen(f, "w");
        if (out == nullptr) return false;
        std::fputs("data\n", out);
        std::fclose(out);
    }
    setenv("HOME", g_dir.c_str(), 1);
    unsetenv("vyrcurtime");
    FILE *sink = std::fopen("/dev/null", "w");
    vyr::set_message_streams(sink, sink);
    vyr::set_exit_throws(true);
    vyr::set_clock(fixed_now);
    vyr::set_file_lister(no_listing);
    RES_put("data_path", g_dir.c_str());
    RES_put("raw_path", "raw");
    RES_put("region", "west coast");
    RES_put("file_path", g_dir.c_str());
    return true;
}

// A name handed out must fit its 160-byte buffer.
inline void check_name(const char *out) {
    if (std::memchr(out, '\0', 160) == nullptr) std::abort();
}

}  // namespace file_fuzz

#endif  // VYR_FILE_FUZZ_SETUP_H
