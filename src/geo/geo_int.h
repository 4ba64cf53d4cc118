// geo_int.h - what the domain and station modules share with the layers
// above and the tests.
#ifndef VYR_GEO_INT_H
#define VYR_GEO_INT_H

#include "base_int.h"
#include "vyrcty.h"
#include "vyrdom.h"

namespace vyr {

// Map domains and the station database (region.cpp, cty_read.cpp). Back to
// the start-up state: reset_stations closes an open database; reset_domains
// does that too and sets the station priority to 3 and the region menu to
// never loaded.
void reset_domains();
void reset_stations();
// The station plotting priority DOM_set_base_prior set last.
int station_priority();
// One entry of the region menu.
struct RegionMenuEntry {
    char name[21];  // display name, underscores turned into blanks
    char abbr[6];   // abbreviation
    int index;      // the entry's own index once filled, else 0
    int menu;       // menu number from the file
};
// The region menu as DOM_read_menu left it: entries 1 to 19 (0 unused),
// and in *num_regs the next free index, whose name is empty.
const RegionMenuEntry *region_menu(int *num_regs);

}  // namespace vyr

#endif  // VYR_GEO_INT_H
