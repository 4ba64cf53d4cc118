// vyrcty.h - the station database: one station per record, looked up by
// identifier, name or WMO number.
//
// The database is a text file of records, each ten fields separated by
// white space: name, state, region, identifier, flags word, latitude,
// longitude, elevation, WMO number, number. It is chosen by the city_file
// resource, by the caller, or is "sao.cty", placed in the file_path
// directory. One database is open at a time; lookups open and close it
// themselves, and nothing is cached between them.
#ifndef VYRCTY_H
#define VYRCTY_H

#include "vyrbase.h"

// One station. Texts are terminated and cut to their fields' sizes.
struct CTY_data {
    char name[21];   // station name, no blanks
    char state[3];   // state
    char region[3];  // country or region code
    char id[10];     // station identifier
    int prior;       // plotting priority digit
    char mos;        // '*' when the flags word begins with one, else ' '
    char ua;         // '*' when the flags word has one after its digit, else ' '
    float lat;       // latitude in degrees
    float lon;       // longitude in degrees, west negative
    float el;        // elevation; -9999.0 when the file gives more than 9000
    int wmo;         // WMO station number
    int num;         // further number, 0 when the record has none
};

// Looks station id up with CTY_get; 1 with its position in lat and lon,
// else 0 with both unchanged.
int CTY_get_loc(const char *city_file, const char *id, float *lat, float *lon);
// Searches the database for the first record whose identifier or name
// equals id (any case), or whose WMO number written "%05d" does. 1 with
// the record in data, else 0. Records whose fields up to the WMO number
// could not all be read are passed over.
int CTY_get(const char *city_file, const char *id, CTY_data *data);
// Opens the database for reading: the city_file resource ("none": no
// database, -1 at once), else city_file, else "sao.cty"; a null or empty
// name counts as not given. Returns the descriptor or -1 (with a warning
// when the file cannot be opened); num_stats (may be null) gets an
// estimate of the station count, at most 4000.
int CTY_open_file(const char *city_file, int *num_stats);
// Opens filename through FILE_open for reading (f_access 0) or writing (1),
// closing a database still open; f_type is remembered. The descriptor, or
// -1 for another access or a file that cannot be opened.
int CTY_open(const char *filename, int f_access, int f_type);
// Back to the first record of the open database; 0, or -1 when none is open.
int CTY_rewind(int city_fd);
// Closes the open database; 0, or -1 when none is open.
int CTY_close(int city_fd);
// Reads the next record into city: the number of fields read (a field that
// cannot be read ends the record and starts the next one), or -1 when no
// database is open or its end is reached. num is 0 unless read; texts
// longer than their fields are cut, and the fields after them stay in step.
int CTY_read(int city_fd, CTY_data *city);

#endif  // VYRCTY_H
