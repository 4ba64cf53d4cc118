// Reads any text as a date label, then labels the decoded date again: the
// decoder must stay inside the text and the new label inside its 32 bytes.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vyr.h"
#include "vyr_int.h"

namespace {

// Every label ends in the two digits of its year; a cut label would not.
void check_label(Date d) {
    char buf[48];
    std::memset(buf, '#', sizeof buf);
    if (DATE_make_label(&d, buf) != 0) std::abort();
    const std::size_t n = std::strlen(buf);
    if (n < 2 || n > 31) std::abort();
    for (std::size_t i = 32; i < sizeof buf; ++i)
        if (buf[i] != '#') std::abort();
    if (!std::isdigit(static_cast<unsigned char>(buf[n - 1])) ||
        !std::isdigit(static_cast<unsigned char>(buf[n - 2])))
        std::abort();
}

}  // namespace

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
