// resrc_int.h - what the resources layer shares with the layers above and
// the tests.
#ifndef VYR_RESRC_INT_H
#define VYR_RESRC_INT_H

#include "base_int.h"
#include "vyrresrc.h"

namespace vyr {

// Back to the start-up state of the definition files (def_read.cpp): file
// closed, program "Vyr" without title, no tags, no open IF.
void reset_definitions();

// A program's answer to a help request, when one was made: its purpose
// line ("NAME: This program PURPOSE"), the listing of its resources, and the
// end of the run with status 0. Returns when no help was asked for.
void answer_help(const char *purpose, const res_type *res_key, const res_type *res_pos);

// Resources (resrc.cpp). Back to the start-up state of the value list and
// the saved command line (nodes freed), for tests and fuzzing.
void reset_resources();

}  // namespace vyr

#endif  // VYR_RESRC_INT_H
