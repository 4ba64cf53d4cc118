// Shared by the label fuzz targets: a label must fit its 32 bytes, leave
// the bytes after them alone and end in the two digits of its year (a cut
// label would not).
#ifndef LABEL_CHECK_H
#define LABEL_CHECK_H

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "vyr.h"

inline void check_label(Date d) {
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

#endif  // LABEL_CHECK_H
