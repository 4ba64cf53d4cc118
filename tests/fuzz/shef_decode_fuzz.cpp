// Any bytes through the SHEF decoder; the records must stay well formed:
// no empty line and no record that begins with a blank.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shef_decode.h"
#include "vyr.h"
#include "vyr_int.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FILE *sink = std::fopen("/dev/null", "w");
    if (size == 0) return 0;
    vyr::reset_library();
    vyr::set_message_streams(sink, sink);
    MESS_set_str("out3");  // exercise the echo as well
    FILE *in = fmemopen(const_cast<uint8_t *>(data), size, "r");
    if (in == nullptr) return 0;
    char *buf = nullptr;
    size_t len = 0;
    FILE *out = open_memstream(&buf, &len);
    // The first byte, when it is a digit, gives a filter date.
    const char *date = (data[0] >= '0' && data[0] <= '9') ? "0815" : "";
    if (vyr::shef::decode(in, out, date) != 0) std::abort();  // memory streams never fail
    std::fclose(in);
    std::fclose(out);
    for (size_t i = 0; i < len; i = static_cast<size_t>(std::strchr(buf + i, '\n') - buf) + 1) {
        if (buf[i] == '\n' || buf[i] == ' ') std::abort();
        if (std::memchr(buf + i, '\n', len - i) == nullptr) std::abort();
    }
    std::free(buf);
    return 0;
}
