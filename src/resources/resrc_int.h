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

// Resources. Back to the start-up state of the value list and the saved
// command line (nodes freed) and the display-window connection
// (forgotten), for tests and fuzzing.
void reset_resources();
// The value store alone back to its start-up state (resrc_store.cpp).
void reset_value_store();
// The first gathered value; the others follow through next, in order of
// first creation.
res_obj *first_resource();
// Gathers the values of a table's rows (ended by a row without a name) from
// the definition files and display windows along the search path, the
// environment and the command line, in rising precedence; saves the command
// line (resrc_gather.cpp).
void gather_resources(const RES_defobj *table, int argc, char **argv);

namespace resources {
constexpr int kNameCap = 50;        // option and key names: 49 characters
constexpr int kValueCap = 200;      // values from files, windows and the environment: 199
constexpr int kAllPositional = 10;  // the row position that takes every further name
}  // namespace resources

}  // namespace vyr

#endif  // VYR_RESRC_INT_H
