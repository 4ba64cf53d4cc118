// library.cpp - the whole library back to its start-up state, for fuzz
// targets and tests that run a program's start-up again and again.
#include "files_int.h"
#include "geo_int.h"
#include "resrc_int.h"
#include "startup_int.h"

namespace vyr {

void reset_library() {
    reset_messages();
    reset_resources();
    reset_definitions();
    reset_files();
    reset_time_zone();
    reset_domains();
    FLAG_reset(0);
    FLAG_resetplot(1);
}

}  // namespace vyr
