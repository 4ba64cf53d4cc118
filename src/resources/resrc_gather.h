// resrc_gather.h - what the gathering of resource values shares with the
// exchange with display windows (resources layer, internal).
#ifndef VYR_RESRC_GATHER_H
#define VYR_RESRC_GATHER_H

#include "resrc_int.h"
#include "vyrresrc.h"

namespace vyr::resources {

// A row with a name: an inactive row (an unknown key) is never asked for.
inline bool active(const RES_defobj &row) { return row.def != nullptr && row.def[0] != '\0'; }

// Stores a value under the row's name, with the row's index and conversion.
inline void store_for_row(const RES_defobj *table, int row, const char *value) {
    RES_new(row, table[row].def, value, table[row].cvt);
}

// The exchange with the display window of a "#N" element of the search path
// (number: the text after "#"): the rows' values are asked for, and values
// the window lacks but earlier elements gave are sent to it. A window that
// connects takes the place of one connected before, which gets "quit".
void exchange_with_window(const RES_defobj *table, int rows, const char *number);
// A setting of the command line, sent to the connected window (if any).
void send_to_window(const char *name, const char *value);
// "quit" to the connected window, if any.
void close_window();
// The connection is forgotten, with nothing sent.
void forget_window();

}  // namespace vyr::resources

#endif  // VYR_RESRC_GATHER_H
