// vyrresrc.h - the resource catalogue, conversion kinds, table rows and the
// list of gathered values.
//
// Ownership: every gathered value lives in one process-wide list until the
// process ends; texts returned by RES_get stay owned by that list. A value
// once handed out (by RES_get, RES_getvals, or as a CV_string or CV_device
// target) stays valid for the whole run, even after it is replaced.
#ifndef VYRRESRC_H
#define VYRRESRC_H

#include "vyrbase.h"

// The resource catalogue. RES_null ends every key list. The numbers are fixed.
enum res_type : int {
    RES_null = 0,
    RES_age = 1,
    RES_background = 2,
    RES_batch = 3,
    RES_bin_path = 4,
    RES_bull_file = 5,
    RES_city_file = 6,
    RES_color_cgrid = 7,
    RES_color_clabel = 8,
    RES_color_cloud = 9,
    RES_color_cmap = 10,
    RES_color_cont = 11,
    RES_color_conts = 12,
    RES_color_data = 13,
    RES_color_echo = 14,
    RES_color_fill = 15,
    RES_color_front = 16,
    RES_color_grid = 17,
    RES_color_hodo = 18,
    RES_color_hodtxt = 19,
    RES_color_label = 20,
    RES_color_labels = 21,
    RES_color_line = 22,
    RES_color_map = 23,
    RES_color_pop = 24,
    RES_color_rep = 25,
    RES_color_sound = 26,
    RES_color_table = 27,
    RES_color_text = 28,
    RES_color_therm = 29,
    RES_color_thrmtxt = 30,
    RES_color_wind = 31,
    RES_color_wx = 32,
    RES_command = 33,
    RES_commands = 34,
    RES_con_base = 35,
    RES_con_bases = 36,
    RES_con_interval = 37,
    RES_con_intervals = 38,
    RES_con_path = 39,
    RES_current = 40,
    RES_data_path = 41,
    RES_data_src = 42,
    RES_default = 43,
    RES_draw = 44,
    RES_decode_hour = 45,
    RES_device = 46,
    RES_file_param = 47,
    RES_file_path = 48,
    RES_filename = 49,
    RES_filenames = 50,
    RES_font_list = 51,
    RES_forecast = 52,
    RES_geometry = 53,
    RES_grid_num = 54,
    RES_grid_path = 55,
    RES_grid_type = 56,
    RES_help = 57,
    RES_hour = 58,
    RES_icon = 59,
    RES_identifier = 60,
    RES_identifiers = 61,
    RES_identifierp = 62,
    RES_image_path = 63,
    RES_in_file = 64,
    RES_in_files = 65,
    RES_ingest_port = 66,
    RES_ingestor = 67,
    RES_input = 68,
    RES_label = 69,
    RES_labels = 70,
    RES_level = 71,
    RES_map_file = 72,
    RES_message = 73,
    RES_model = 74,
    RES_name = 75,
    RES_name_conv = 76,
    RES_num_grid = 77,
    RES_num_hour = 78,
    RES_object_param = 79,
    RES_out_file = 80,
    RES_out_files = 81,
    RES_output = 82,
    RES_parameter = 83,
    RES_plot_domain = 84,
    RES_plot_format = 85,
    RES_plot_param = 86,
    RES_plot_range = 87,
    RES_plot_scale = 88,
    RES_plot_type = 89,
    RES_plot_types = 90,
    RES_position = 91,
    RES_product = 92,
    RES_program = 93,
    RES_raw_path = 94,
    RES_read_conf = 95,
    RES_region = 96,
    RES_save_param = 97,
    RES_stat_prior = 98,
    RES_state = 99,
    RES_table = 100,
    RES_time = 101,
    RES_title = 102,
    RES_unit = 103,
    RES_values = 104,
    RES_variable = 105,
    RES_watch_path = 106,
    RES_window_num = 107,
    RES_color_watch = 108,
    RES_log_file = 109,
    RES_grid_domain = 110,
    RES_inputg = 111,
    RES_text_path = 112,
    RES_model_path = 113,
    RES_sat_path = 114,
    RES_database = 115,
    RES_shef_duplicate = 116,
    RES_replay = 117,
};

// How a resource value is converted into program state.
enum DEF_convert : int {
    CV_none = 0,
    CV_bool = 1,
    CV_int = 2,
    CV_short = 3,
    CV_long = 4,
    CV_float = 5,
    CV_string = 6,
    CV_strcpy = 7,
    CV_path = 8,
    CV_mess = 9,
    CV_draw = 10,
    CV_current = 11,
    CV_hour = 12,
    CV_region = 13,
    CV_name = 14,
    CV_ingestor = 15,
    CV_file_param = 16,
    CV_device = 17,
    CV_plot_type = 18,
    CV_color = 19,
    CV_domain = 20,
    CV_strings = 21,
    CV_batch = 22,
    CV_help = 23,
};

// One gathered value.
typedef struct resource {
    int index;   // table row, or VYR_MISSING for a free resource
    char *name;  // private copy
    char *data;  // private copy, or null when given without a value
    DEF_convert cvt;
    struct resource *next;
    int handed_out;  // 1 once data was handed out: it is then never freed
} res_obj;

// One row of a program's resource table. def null ends the table; def ""
// marks an inactive row. A row is keyed by its command-line key (cmd) or,
// when pos is 1 to 10, positional: pos N claims the N-th positional
// argument, 10 every one that no exact marker claims.
struct RES_defobj {
    const char *def;  // resource name
    const char *env;  // environment variable
    const char *cmd;  // command-line key; null for a positional row
    DEF_convert cvt;
    void *out;  // conversion target, or null
    int *num;   // count target of CV_strings, or null
    int pos;    // positional marker 1-10, or 0 for a keyed row
};

// ---------------------------------------------------------------------------
// The catalogue and start-up (resrc.cpp)

int RES_fill_obj(RES_defobj *obj, const char *def, const char *env, const char *cmd,
                 DEF_convert cvt, void *out, int *num);
int RES_enter(RES_defobj *obj, res_type key);
int RES_init(int argc, char **argv, const res_type *res_key, const res_type *res_pos);
int RES_decode(const char *progname, const char *cls, int argc, char **argv, RES_defobj *def_table);
int RES_conv_data(const char *data, void *out, DEF_convert cvt);
int RES_set_device(const char *str);
int RES_help_print(const char *name, const res_type *res_key, const res_type *res_pos);
int RES_help_item(res_type res);

// ---------------------------------------------------------------------------
// Definition files (def_read.cpp). Keys are patterns matched against full
// names: the program qualifier, "." and the resource name.

// Takes the program name from the saved command line; 0.
int DEF_prog();
// Sets the program title (the "name" key); a leading "+" appends it to the
// program name in the qualifier. 0.
int DEF_name(const char *name);
// Forgets all tags; 0.
int DEF_clr_tag();
// Adds a tag (copied); 0, or -1 when 10 tags are defined.
int DEF_tag(const char *str);
// Opens a definition file, or the first of "vyr.cfg", ".vyrdef", "Vyr.res"
// in a directory ("" and null: ".vyrdef"); 0, or -1 when none opens.
int DEF_open(const char *filename);
int DEF_close();
// Next live key (lower case, 50 bytes) and value (200 bytes); 1, or -1 at
// the end of the file. Lines over 249 characters, keys over 49 and values
// over 199 are skipped whole.
int DEF_get(char *resrc, char *value);
// 1 when key string matches the full name of resource resrc, else 0.
int DEF_cmp(const char *resrc, const char *string);
// 1 when key string matches this program for the resource it ends with.
int DEF_valid(const char *string);
// The resource name of key str (after its last "." or "*") into ostr
// (50 bytes); 1, or 0 with ostr empty when it would not fit.
int DEF_parse_name(const char *str, char *ostr);
// Environment value for resrc (200 bytes): "vyr" and the full name, then
// env, then "vyr" and resrc. 1 when found, else 0 (also when the value is
// over 199 characters: refused, value empty).
int DEF_env(const char *resrc, const char *env, char *value);

// ---------------------------------------------------------------------------
// The value list (resrc.cpp)

// Stores data (may be null) under name, replacing an old value. 0 or -1.
int RES_new(int index, const char *name, const char *data, DEF_convert cvt);
// Like RES_new, but an existing value gets "\n" and str appended. 0 or -1.
int RES_append(int index, const char *name, const char *str, DEF_convert cvt);
// Stores value as a free resource; 0 or -1.
int RES_put(const char *name, const char *value);
// The stored text ("" when given without value), null when unknown.
const char *RES_get(const char *name);
// Splits the value (at newlines for CV_strings, else commas); the pieces
// are new storage owned by the caller. Returns their number.
int RES_getvals(const char *name, int *paramc, char ***paramv);
// Prints every stored resource at level 0x00000008; 0.
int RES_list();
// Saves the command line; 1.
int RES_setCL(int argc, char **argv);
// argv[0] of the saved command line, or null.
const char *RES_get_prog();
// The program name (argv[0] after its last "/") into prog (size bytes), or
// into a new buffer when prog is null; "VYR" when no buffer can be had.
char *RES_get_progname(char *prog, std::size_t size = 80);

// ---------------------------------------------------------------------------
// Prompts that understand the resource commands "set" and "exit"

// 1 for a "set" command, 0 for no command; does not return for "exit".
int VYR_set_command(const char *string);
// Asks for one word of at most length-1 characters into str (length bytes),
// or into a new buffer (length+1 bytes, the caller's) when str is null.
char *VYR_prompts(const char *prompt, char *str, int length);
float VYR_promptf(const char *prompt);

#endif  // VYRRESRC_H
