// Sets the display time zone from any text, then labels a few dates, the
// extreme ones included: every label must fit its 32 bytes uncut.
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "label_check.h"
#include "vyr.h"
#include "vyr_int.h"

namespace {

constexpr int M = VYR_MISSING;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    vyr::reset_time_zone();
    DATE_set_TZ(text.c_str());
    const Date dates[] = {
        {2026, 12, 7, M, M, 12, 35, 6},
        {2026, 12, 31, M, M, 23, 59, M},
        {2026, 12, 7, M, M, 0, M, M},
        {2026, 12, 7, M, M, M, M, M},
        {2026, M, M, M, M, M, M, M},
        {M, M, M, M, M, M, M, M},
        {1902, 1, 1, M, M, 0, 0, 0},
        {INT32_MAX, INT32_MAX, INT32_MAX, 0, 0, INT32_MAX, INT32_MAX, INT32_MAX},
        {INT32_MIN, INT32_MIN, INT32_MIN, 0, 0, INT32_MIN, INT32_MIN, INT32_MIN},
    };
    for (const Date &d : dates) check_label(d);
    vyr::reset_time_zone();
    return 0;
}
