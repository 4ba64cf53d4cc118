// Reads any text as a date label, then labels the decoded date again: the
// decoder must stay inside the text and the new label inside its 32 bytes.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "label_check.h"
#include "vyr.h"
#include "vyr_int.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    Date d;
    DATE_decode_label(text.c_str(), &d);
    if (d.jday != VYR_MISSING || d.wday != VYR_MISSING) std::abort();

    vyr::reset_time_zone();
    check_label(d);
    // The widest clock style and a zone that shifts across days.
    DATE_set_TZ("-ABCD:-11.5");
    check_label(d);
    vyr::reset_time_zone();
    return 0;
}
