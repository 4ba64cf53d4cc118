// Present-weather values of any bytes: the phrase must fit the caller's
// 26 bytes and agree with the count, whatever the notation.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vyr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string value(reinterpret_cast<const char *>(data), size);  // stops at a NUL
    char out[26];
    const int count = WX_weather_text(value.c_str(), out);
    const std::size_t len = strnlen(out, sizeof out);
    if (len >= sizeof out) std::abort();
    if (count < 0 || count > 4 || (count == 0) != (len == 0)) std::abort();

    char code[15];
    WX_metar_weather(value.c_str(), code);
    if (strnlen(code, sizeof code) > 5) std::abort();
    return 0;
}
