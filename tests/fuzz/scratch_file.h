// One scratch file per fuzz process that holds the current input, for
// targets whose code under test reads a file by name. The file exists only
// while an input runs (remove_input), since libFuzzer may end the process
// without running exit handlers. It lives in a directory of its own, mode
// 0700, so that files read as definitions count as the user's own.
#ifndef VYR_FUZZ_SCRATCH_FILE_H
#define VYR_FUZZ_SCRATCH_FILE_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace vyr::fuzz {

// Writes the input into the scratch file; its name, or null when no
// scratch file can be had.
inline const char *write_input(const uint8_t *data, size_t size) {
    static char dir[] = "/tmp/vyrfuzzXXXXXX";
    static char path[sizeof dir + 8];
    static const bool made = [] {
        if (mkdtemp(dir) == nullptr) return false;
        std::snprintf(path, sizeof path, "%s/input", dir);
        std::atexit([] { rmdir(dir); });
        return true;
    }();
    FILE *f = made ? std::fopen(path, "wb") : nullptr;
    if (f == nullptr) return nullptr;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path;
}

inline void remove_input(const char *path) {
    if (path != nullptr) std::remove(path);
}

}  // namespace vyr::fuzz

#endif  // VYR_FUZZ_SCRATCH_FILE_H
