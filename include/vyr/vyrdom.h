// vyrdom.h - map domains: the domain record and the decoding of domain and
// region texts (region.cpp). Included by vyr.h.
//
// A domain text is a comma-separated list in one of fifteen forms, tried in
// order: a projection keyword (with ":" parts for its parameters), centre,
// grid size and spacing in various combinations, with defaults filled in;
// "id:" and a station of the station database for the centre; or the name
// of a region, looked up in a region file ("vyr.reg" in the file_path
// directory) or in the built-in table.
#ifndef VYRDOM_H
#define VYRDOM_H

#include "vyrbase.h"

// A map domain: projection, its parameters, centre, grid spacing and size.
// Unset fields hold the missing value (-9999, or -9999.0 for the floats).
struct Domain {
    int proj;        // projection code
    float plat;      // projection latitude parameter
    float plon;      // projection longitude parameter
    float param[5];  // further projection parameters
    float clat;      // centre latitude
    float clon;      // centre longitude, west negative
    float dx;        // grid spacing in x
    float dy;        // grid spacing in y
    int nx;          // grid points in x
    int ny;          // grid points in y
    int ellipse;     // 1 for the ellipsoidal earth, else 0
};

// Sets every field of domain to missing (ellipse to 0); returns 0.
int DOM_init(Domain *domain);
// Decodes a domain or region text into domain: 1 explicit domain, 2 region,
// -1 invalid text (warned; the record is not to be used), -9999 missing
// text (null, empty or "miss"). Except for a missing text it sets run flag
// 5 to the result, the file-name key r to str and the station priority from
// the domain's size. A null domain decodes into a scratch record.
int DOM_decode(const char *str, Domain *domain);
// Tries one form: up to eight field codes (1 projection item, 3 plon,
// 4 station item, 5 clat, 6 clon, 7 nx, 8 ny, 9 dx, 10 dy, 11 region item;
// a 0 ends the form) against the paramc items of paramv. 0 when the items
// fit (domain filled), -1 when their number does not fit the form (domain
// untouched), else the code of the first field whose item does not read.
int DOM_set_params(int paramc, char **paramv, Domain *domain, int i1, int i2 = 0, int i3 = 0,
                   int i4 = 0, int i5 = 0, int i6 = 0, int i7 = 0, int i8 = 0);
// The projection code of a keyword (compared without regard to case over
// its leading characters); -9999 for "miss", -1 for anything else.
int DOM_proj_str(const char *proj);
// Fills domain with the built-in region named region (any case; "var" asks
// for the centre on the terminal): 1, or 0 for an unknown name, with proj
// 1, nx 25, ny 17 and dx = dy = 1.2 set either way. On success also sets the
// station priority and run flag 5 to 1.
int DOM_get_def_region(const char *region, Domain *domain);
// Looks region str (any case; null: the first region) up in a region file
// (in the file_path directory; empty: "vyr.reg"), reading up to the first
// empty line. 1 with its domain text in domstr (80 bytes), else 0.
int DOM_search_file(const char *file, const char *str, char *domstr);
// Loads the region menu (entries 1 to 19) from a region file; 1, or 0 when
// the file cannot be opened.
int DOM_read_menu(const char *file);
// Sets the station plotting priority from a domain size, adjusted by the
// stat_prior resource ("+N", "-N", or a digit that replaces it); 0.
int DOM_set_base_prior(float size);

#endif  // VYRDOM_H
