// startup_int.h - what resource start-up and conversion share with the
// programs and the tests.
#ifndef VYR_STARTUP_INT_H
#define VYR_STARTUP_INT_H

#include "base_int.h"

namespace vyr {

// Back to the start-up state of every module: messages, resources,
// definition files, files and names, time zone, run flags. For fuzz targets
// and tests that run a whole program's start-up again and again.
void reset_library();

// The wanted-file time that an "hour" resource value stands for: the record
// the conversion hands to FILE_set_time, unscanned fields missing.
Date hour_setting(const char *text);

}  // namespace vyr

#endif  // VYR_STARTUP_INT_H
