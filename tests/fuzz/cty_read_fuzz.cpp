// Fuzz target: the content of a station database, read record by record
// and searched by identifier, name and WMO number.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "vyr.h"
#include "vyr_int.h"
#include "vyrcty.h"

namespace {

// One scratch name per process; the file exists only while an input runs,
// since libFuzzer may end the process without running exit handlers.
char g_path[] = "/tmp/vyrctyfuzzXXXXXX";

const char *scratch() {
    static const bool made = [] {
        int fd = mkstemp(g_path);
        if (fd < 0) return false;
        close(fd);
        return true;
    }();
    return made ? g_path : nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FILE *sink = std::fopen("/dev/null", "w");
    vyr::reset_library();
    vyr::set_exit_throws(true);
    vyr::set_message_streams(sink, sink);

    const char *path = scratch();
    FILE *f = path ? std::fopen(path, "wb") : nullptr;
    if (f == nullptr) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    try {
        int fd = CTY_open(path, 0, 0);
        CTY_data c;
        // Every read takes at least one word, so this ends; the bound is
        // only a guard against a fault that would make it spin.
        for (std::size_t i = 0; i <= size && CTY_read(fd, &c) != -1; ++i) {
        }
        CTY_rewind(fd);
        CTY_read(fd, &c);
        CTY_close(fd);
        const char *ids[] = {"KDEN", "denver", "04018", "99999"};
        for (const char *id : ids) CTY_get(path, id, &c);
    } catch (const vyr::exit_request &) {
    }
    std::remove(path);
    return 0;
}
