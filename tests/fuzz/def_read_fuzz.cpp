// Fuzz target: the content of a resource definition file. Every delivered
// key also goes through the matching and naming functions.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "scratch_file.h"
#include "vyr.h"
#include "vyr_int.h"
#include "vyrresrc.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FILE *sink = std::fopen("/dev/null", "w");
    vyr::set_message_streams(sink, sink);
    vyr::reset_definitions();
    // The first byte picks a title so that both qualifier forms are reached.
    DEF_name(size > 0 && (data[0] & 1) ? "+radar" : "");
    DEF_tag("t");

    const char *path = vyr::fuzz::write_input(data, size);
    if (path == nullptr) return 0;

    if (DEF_open(path) != 0) {
        vyr::fuzz::remove_input(path);
        return 0;
    }
    char key[50], value[200], name[50];
    while (DEF_get(key, value) == 1) {
        DEF_cmp("in_file", key);
        DEF_cmp(value, key);
        if (DEF_valid(key)) DEF_parse_name(key, name);
        DEF_parse_name(value, name);
    }
    DEF_close();
    vyr::fuzz::remove_input(path);
    return 0;
}
