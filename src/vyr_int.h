// vyr_int.h - every layer's internal header, for the tests and fuzz
// targets. The library's own sources include their layer's header instead.
#ifndef VYR_INT_H
#define VYR_INT_H

#include "base_int.h"
#include "files_int.h"
#include "geo_int.h"
#include "resrc_int.h"
#include "startup_int.h"
#include "vyr.h"

#endif  // VYR_INT_H
