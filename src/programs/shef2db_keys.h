// shef2db_keys.h - the resources of the SHEF poster: the keyed list (in the
// order of its help listing, which also decides prefix matches of
// command-line keys) and the positional list. Both end with RES_null.
#ifndef SHEF2DB_KEYS_H
#define SHEF2DB_KEYS_H

#include "vyrresrc.h"

inline constexpr res_type shef2db_res_key[] = {
    RES_help,      RES_batch,      RES_message,        RES_file_path,  RES_data_path,
    RES_con_path,  RES_grid_path,  RES_raw_path,       RES_image_path, RES_watch_path,
    RES_text_path, RES_model_path, RES_sat_path,       RES_city_file,  RES_stat_prior,
    RES_name_conv, RES_in_file,    RES_file_param,     RES_current,    RES_hour,
    RES_num_hour,  RES_database,   RES_shef_duplicate, RES_replay,     RES_null,
};

inline constexpr res_type shef2db_res_pos[] = {RES_filenames, RES_null};

#endif  // SHEF2DB_KEYS_H
