// Fuzz target: the content of a station database, read record by record
// and searched by identifier, name and WMO number.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "scratch_file.h"
#include "vyr.h"
#include "vyr_int.h"
#include "vyrcty.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FILE *sink = std::fopen("/dev/null", "w");
    vyr::reset_library();
    vyr::set_exit_throws(true);
    vyr::set_message_streams(sink, sink);

    const char *path = vyr::fuzz::write_input(data, size);
    if (path == nullptr) return 0;

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
    vyr::fuzz::remove_input(path);
    return 0;
}
