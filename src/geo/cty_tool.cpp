// cty_tool.cpp - looking stations up in the station database: choosing the
// database file and searching it by identifier, name or WMO number.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "geo_int.h"
#include "vyrcty.h"
#include "vyrdom.h"
#include "vyrfiles.h"
#include "vyrresrc.h"

namespace {

constexpr int kRecordBytes = 59;     // a typical record line, for the estimate
constexpr int kMostStations = 4000;  // the estimate's ceiling
constexpr int kWmoField = 9;         // fields up to and including the WMO number
constexpr const char *kDefaultDatabase = "sao.cty";

// The database's name before it is placed in the file_path directory, or
// the empty text for none. An empty name would stand for standard input,
// so an empty resource or argument counts as not given.
std::string database_name(const char *city_file) {
    const char *res = RES_get("city_file");
    if (res != nullptr && res[0] != '\0') return stricmp(res, "none") == 0 ? "" : res;
    if (city_file != nullptr && city_file[0] != '\0') return city_file;
    return kDefaultDatabase;
}

// A record is the station sought when its identifier or name equals id, or
// its WMO number written with five digits does: "4018" is not station 4018,
// "04018" is.
bool matches(const CTY_data &rec, const char *id) {
    if (stricmp(id, rec.id) == 0 || stricmp(id, rec.name) == 0) return true;
    char wmo[16];
    std::snprintf(wmo, sizeof wmo, "%05d", rec.wmo);
    return stricmp(id, wmo) == 0;
}

}  // namespace

int CTY_open_file(const char *city_file, int *num_stats) {
    if (num_stats != nullptr) *num_stats = 0;
    return vyr::guarded(-1, [&] {
        std::string name = database_name(city_file);
        if (name.empty()) return -1;
        char full[VYR_NAME_BUFFER];
        if (FILE_add_path(RES_get("file_path"), name.c_str(), full) == nullptr) {
            MESS_print(M_WARN, "CTY_open_file: Database file not found: %s\n", name.c_str());
            return -1;
        }
        if (num_stats != nullptr) {
            int64_t size = FILE_size(full);
            *num_stats =
                size > 0 ? static_cast<int>(std::min<int64_t>(size / kRecordBytes, kMostStations))
                         : 0;
        }
        int fd = CTY_open(full, 0, 0);
        if (fd < 0) MESS_print(M_WARN, "CTY_open_file: Database file not found: %s\n", full);
        return fd;
    });
}

int CTY_get(const char *city_file, const char *id, CTY_data *data) {
    if (id == nullptr) return 0;
    return vyr::guarded(0, [&] {
        int fd = CTY_open_file(city_file, nullptr);
        if (fd < 0) return 0;
        MESS_print(M_MESS, "Searching the city database file for: %s ...\n", id);
        CTY_rewind(fd);
        CTY_data rec{};
        bool found = false;
        for (int n; (n = CTY_read(fd, &rec)) > 0;) {
            // A record cut short holds the fields of the one before it:
            // its position or number would be another station's.
            if (n >= kWmoField && matches(rec, id)) {
                found = true;
                break;
            }
        }
        CTY_close(fd);
        if (data != nullptr) *data = rec;
        return found ? 1 : 0;
    });
}

int CTY_get_loc(const char *city_file, const char *id, float *lat, float *lon) {
    CTY_data rec;
    if (CTY_get(city_file, id, &rec) != 1) return 0;
    if (lat != nullptr) *lat = rec.lat;
    if (lon != nullptr) *lon = rec.lon;
    return 1;
}
