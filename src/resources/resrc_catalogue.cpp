// resrc_catalogue.cpp - the resource catalogue: every key with its name,
// environment variable, command-line key, conversion and help entry; the
// rows of a program's table; the help listing.
#include <cstdio>

#include "resrc_int.h"
#include "vyrresrc.h"

namespace {

using vyr::resources::kAllPositional;

struct CatalogueRow {
    res_type key;
    const char *def;
    const char *env;
    const char *cmd;  // null for a positional row
    DEF_convert cvt;
    int pos;  // positional marker, 0 for a keyed row
    // The help entry: synopsis, then the description on the same line (null:
    // the synopsis stands alone), then continuation lines (null-terminated).
    const char *synopsis;
    const char *text;
    const char *const *more;
};

constexpr const char *kMessageMore[] = {
    "               none,print,error,warn,mess,out1,*out2,out3,out4,debug\n", nullptr};

#define VYR_DOMAIN_FORM                                                                     \
    "               region=predefined region:\n",                                           \
        "                  us,ne,at,se,mw,sp,nw,sw,etc\n",                                  \
        "               proj=projection, clat=central latitude, clon=central longitude,\n", \
        "               nx,ny=number of gridpoints and dx,dy=grid spacing\n"

constexpr const char *kRegionMore[] = {"             Region to be used for plotting and gridding\n",
                                       VYR_DOMAIN_FORM,
                                       "               us,ne,at,se,mw,sp,nw,sw,var\n", nullptr};
constexpr const char *kPlotDomainMore[] = {"             Output plot domain\n", VYR_DOMAIN_FORM,
                                           nullptr};
constexpr const char *kGridDomainMore[] = {"             Grid domain\n", VYR_DOMAIN_FORM, nullptr};
#undef VYR_DOMAIN_FORM

constexpr const char *kObjectMore[] = {"             Objective analysis parameters\n", nullptr};

constexpr const char *kDuplicateMore[] = {
    "               *standard,always,revised,different,different_or_revised,\n",
    "               different_and_revised\n", nullptr};

// One row per key that has one, carrying its help entry, so that no key
// can be catalogued without one; the order is that of the suite's reference
// table. Shared names and the key "in" stay shared on purpose.
constexpr CatalogueRow kCatalogue[] = {
    {RES_help, "help", "vyrhelp", "h", CV_help, 0, "-h", "Print this help", nullptr},
    {RES_batch, "batch", "vyrbatch", "ba", CV_batch, 0, "-ba", "Run program in batch mode",
     nullptr},
    {RES_message, "message", "vyrmess", "me", CV_mess, 0, "-me level",
     "Message level to be displayed:", kMessageMore},
    {RES_ingestor, "ingestor", "vyringestor", "di", CV_ingestor, 0, "-di type",
     "Data ingestor type", nullptr},
    {RES_name_conv, "name_conv", "vyrnameconv", "nc", CV_name, 0, "-nc type",
     "Naming convention file name", nullptr},
    {RES_in_file, "in_file", "vyrinfile", "if", CV_string, 0, "-if type", "Input data file type",
     nullptr},
    {RES_in_files, "in_file", "vyrinfile", "if", CV_string, 0, "-if type[,...]",
     "Input data file types", nullptr},
    {RES_out_file, "out_file", "vyroutfile", "of", CV_string, 0, "-of type", "Output file type",
     nullptr},
    {RES_input, "input", "vyrin", "in", CV_string, 0, "-in file", "Input file name", nullptr},
    {RES_inputg, "input", "vyrin", "inp", CV_string, 0, "-inp file", "Input grid file name",
     nullptr},
    {RES_output, "output", "vyrout", "ou", CV_string, 0, "-ou file", "Output file name", nullptr},
    {RES_file_path, "file_path", "vyrfile", "fp", CV_path, 0, "-fp path", "File path", nullptr},
    {RES_data_path, "data_path", "vyrdata", "dp", CV_path, 0, "-dp path", "Raw data path", nullptr},
    {RES_con_path, "con_path", "vyrcon", "cp", CV_path, 0, "-cp path", "Converted data path",
     nullptr},
    {RES_raw_path, "raw_path", "vyrraw", "rp", CV_path, 0, "-rp path", "Raw files path", nullptr},
    {RES_grid_path, "grid_path", "vyrgrid", "gp", CV_path, 0, "-gp path", "Gridded data path",
     nullptr},
    {RES_watch_path, "watch_path", "vyrwatch", "wp", CV_path, 0, "-wp path", "Watch file data path",
     nullptr},
    {RES_image_path, "image_path", "vyrimage", "ip", CV_string, 0, "-ip path", "Image file path",
     nullptr},
    {RES_text_path, "text_path", "vyrtext", "tp", CV_path, 0, "-tp path", "Text file path",
     nullptr},
    {RES_model_path, "model_path", "vyrmpath", "mp", CV_path, 0, "-mp path", "Model file path",
     nullptr},
    {RES_sat_path, "sat_path", "vyrsat", "sp", CV_path, 0, "-sp path", "Satellite file path",
     nullptr},
    {RES_database, "database", "vyrdatabase", "db", CV_string, 0, "-db name",
     "Database: a SQLite file or a postgresql:// URI", nullptr},
    {RES_shef_duplicate, "shef_duplicate", "vyrshef_duplicate", "dup", CV_string, 0, "-dup policy",
     "Duplicate policy of SHEF posting:", kDuplicateMore},
    {RES_replay, "replay", "vyrreplay", "replay", CV_bool, 0, "-replay",
     "Rebuild the current values from the value log", nullptr},
    {RES_map_file, "map_file", "vyrmap", "mf", CV_string, 0, "-mf file", "Map file name", nullptr},
    {RES_bull_file, "bull_file", "vyrbullfile", "bf", CV_string, 0, "-bf file",
     "Bulletin file name", nullptr},
    {RES_log_file, "log_file", "vyrlog", "lf", CV_string, 0, "-lf file", "Log file name", nullptr},
    {RES_city_file, "city_file", "vyrcity", "cf", CV_string, 0, "-cf file",
     "City database file name", nullptr},
    {RES_file_param, "file_param", "vyrfileparam", "pf", CV_file_param, 0, "-pf param",
     "File parameters: use,calc,over,app", nullptr},
    {RES_current, "current", "vyrcurrent", "cu", CV_current, 0, "-cu [hour]",
     "Use current data file", nullptr},
    {RES_hour, "hour", "vyrhour", "ho", CV_hour, 0, "-ho hour", "Actual hour of the file", nullptr},
    {RES_num_hour, "num_hour", "vyrnumhour", "nh", CV_string, 0, "-nh hour[,step]",
     "Number of hours to view", nullptr},
    {RES_decode_hour, "decode_hour", "vyrdecode", "dh", CV_string, 0, "-dh hour",
     "Hour of the data to decode", nullptr},
    {RES_model, "model", "vyrmodel", "mo", CV_string, 0, "-mo model", "Model name", nullptr},
    {RES_grid_type, "grid_type", "vyrgridtype", "gt", CV_int, 0, "-gt type", "Grid type number",
     nullptr},
    {RES_grid_num, "grid_num", "vyrgridnum", "gn", CV_string, 0, "-gn num[,...]", "Grid numbers",
     nullptr},
    {RES_identifier, "identifier", "vyrident", "id", CV_string, 0, "-id ident",
     "Station identifier", nullptr},
    {RES_product, "product", "vyrproduct", "ph", CV_string, 0, "-ph product", "Product name",
     nullptr},
    {RES_forecast, "forecast", "vyrforecast", "fc", CV_string, 0, "-fc hour[,...]",
     "Forecast hours", nullptr},
    {RES_state, "state", "vyrstate", "st", CV_string, 0, "-st state", "State abbreviation",
     nullptr},
    {RES_plot_domain, "plot_domain", "vyrdomain", "pd", CV_domain, 0,
     "-pd region or [proj],clat,clon[,nx,ny][,dx,dy]", nullptr, kPlotDomainMore},
    {RES_grid_domain, "grid_domain", "vyrgrddomain", "gd", CV_domain, 0,
     "-gd region or [proj],clat,clon[,nx,ny][,dx,dy]", nullptr, kGridDomainMore},
    {RES_region, "region", "vyrregion", "re", CV_region, 0,
     "-re region or [proj],clat,clon[,nx,ny][,dx,dy]", nullptr, kRegionMore},
    {RES_time, "time", "vyrtime", "ft", CV_string, 0, "-ft time", "Forecast time", nullptr},
    {RES_level, "level", "vyrlevel", "le", CV_string, 0, "-le level", "Level of the data", nullptr},
    {RES_variable, "variable", "vyrvar", "va", CV_string, 0, "-va var[,...]", "Variables to use",
     nullptr},
    {RES_stat_prior, "stat_prior", "vyrprior", "pr", CV_int, 0, "-pr prior",
     "Priority of stations used in the plot", nullptr},
    {RES_object_param, "object_param", "vyrobject", "oa", CV_string, 0,
     "-oa smooth[,radinf,pass,conv,min]", nullptr, kObjectMore},
    {RES_con_interval, "con_interval", "vyrconint", "in", CV_float, 0, "-in interval",
     "Contour interval", nullptr},
    {RES_plot_type, "plot_type", "vyrplot", "pl", CV_plot_type, 0, "-pl type",
     "Plot type: cf,lcf,ln,dln,ndln,value,none", nullptr},
    {RES_draw, "draw", "vyrdraw", "dr", CV_draw, 0, "-dr param[,...]",
     "Draw components: text,data,sum,map,none", nullptr},
    {RES_parameter, "parameter", "vyrparam", "pa", CV_string, 0, "-pa param[,...]",
     "Program parameters", nullptr},
    {RES_table, "table", "vyrtable", "ta", CV_bool, 0, "-ta", "Print a table of the values",
     nullptr},
    {RES_plot_scale, "plot_scale", "vyrscale", "sc", CV_float, 0, "-sc scale", "Plot scale factor",
     nullptr},
    {RES_con_base, "con_base", "vyrconbase", "cb", CV_float, 0, "-cb base", "Contour base value",
     nullptr},
    {RES_plot_format, "plot_format", "vyrformat", "fm", CV_string, 0, "-fm format", "Plot format",
     nullptr},
    {RES_plot_param, "plot_param", "vyrpltparam", "pp", CV_string, 0, "-pp param[,...]",
     "Plot parameters", nullptr},
    {RES_label, "label", "vyrlabel", "la", CV_string, 0, "-la label", "Plot label", nullptr},
    {RES_color_table, "color_table", "vyrclrtbl", "ct", CV_string, 0, "-ct file",
     "Color table file name", nullptr},
    {RES_background, "background", "vyrback", "bg", CV_string, 0, "-bg color", "Background color",
     nullptr},
    {RES_color_text, "color_text", "vyrclrtext", "cot", CV_string, 0, "-cot color", "Text color",
     nullptr},
    {RES_color_data, "color_data", "vyrclrdata", "cod", CV_string, 0, "-cod color", "Data color",
     nullptr},
    {RES_color_map, "color_map", "vyrclrmap", "com", CV_string, 0, "-com color", "Map color",
     nullptr},
    {RES_color_grid, "color_grid", "vyrclrgrid", "cogr", CV_string, 0, "-cogr color", "Grid color",
     nullptr},
    {RES_color_line, "color_line", "vyrclrln", "coln", CV_string, 0, "-coln color", "Line color",
     nullptr},
    {RES_color_cmap, "color_cmap", "vyrclrcmap", "cocm", CV_string, 0, "-cocm color",
     "Contour color map", nullptr},
    {RES_color_cont, "color_cont", "vyrclrcont", "coco", CV_string, 0, "-coco color",
     "Contour color", nullptr},
    {RES_color_label, "color_label", "vyrclrlab", "cola", CV_string, 0, "-cola color",
     "Label color", nullptr},
    {RES_color_clabel, "color_clabel", "vyrclrclab", "cocl", CV_string, 0, "-cocl color",
     "Contour label color", nullptr},
    {RES_color_front, "color_front", "vyrclrfront", "cofr", CV_string, 0, "-cofr color",
     "Front color", nullptr},
    {RES_color_watch, "color_watch", "vyrclrwatch", "cowa", CV_string, 0, "-cowa color",
     "Watch box color", nullptr},
    {RES_color_fill, "color_fill", "vyrclrfill", "cof", CV_string, 0, "-cof color", "Fill color",
     nullptr},
    {RES_color_wind, "color_wind", "vyrclrwind", "cowd", CV_string, 0, "-cowd color", "Wind color",
     nullptr},
    {RES_color_cloud, "color_cloud", "vyrclrcld", "cocd", CV_string, 0, "-cocd color",
     "Cloud color", nullptr},
    {RES_color_wx, "color_wx", "vyrclrwx", "cowx", CV_string, 0, "-cowx color", "Weather color",
     nullptr},
    {RES_color_pop, "color_pop", "vyrclrpop", "copp", CV_string, 0, "-copp color",
     "Precipitation probability color", nullptr},
    {RES_color_sound, "color_sound", "vyrclrsnd", "cosd", CV_string, 0, "-cosd color",
     "Sounding color", nullptr},
    {RES_color_therm, "color_therm", "vyrclrtherm", "coth", CV_string, 0, "-coth color",
     "Thermodynamic diagram color", nullptr},
    {RES_color_thrmtxt, "color_thrmtxt", "vyrclrthtxt", "cott", CV_string, 0, "-cott color",
     "Thermodynamic diagram text color", nullptr},
    {RES_color_hodo, "color_hodo", "vyrclrhodo", "coh", CV_string, 0, "-coh color",
     "Hodograph color", nullptr},
    {RES_color_hodtxt, "color_hodtxt", "vyrclrhdtxt", "coht", CV_string, 0, "-coht color",
     "Hodograph text color", nullptr},
    {RES_font_list, "font_list", "vyrfontlist", "fl", CV_string, 0, "-fl font[,...]", "Font list",
     nullptr},
    {RES_window_num, "window_num", "vyrwindownum", "wn", CV_int, 0, "-wn num", "Window number",
     nullptr},
    {RES_device, "device", "vyrdevice", "de", CV_device, 0, "-de dev[,name]",
     "Output device: d,p,q,w,m", nullptr},
    {RES_title, "title", "vyrtitle", "ti", CV_string, 0, "-ti title", "Window title", nullptr},
    {RES_geometry, "geometry", "vyrgeometry", "ge", CV_string, 0, "-ge geometry", "Window geometry",
     nullptr},
    {RES_icon, "icon", "vyricon", "ic", CV_bool, 0, "-ic", "Start the window as an icon", nullptr},
    {RES_command, "command", "vyrcommand", nullptr, CV_strings, kAllPositional, "command [arg...]",
     "Command to run", nullptr},
    {RES_commands, "command", "vyrcommand", "cd", CV_string, 0, "-cd command", "Command to run",
     nullptr},
    {RES_filename, "filename", "vyrfilename", nullptr, CV_strcpy, 1, "file", "Input file name",
     nullptr},
    {RES_filenames, "filename", "vyrfilename", nullptr, CV_strings, kAllPositional,
     "file [file...]", "Input file names", nullptr},
    {RES_values, "value", "vyrvalue", nullptr, CV_strings, kAllPositional, "val1 val2 ...",
     "Input values:", nullptr},
};
static_assert(sizeof(kCatalogue) / sizeof(kCatalogue[0]) == 92);

const CatalogueRow *catalogue_row(res_type key) {
    for (const auto &row : kCatalogue)
        if (row.key == key) return &row;
    return nullptr;
}

}  // namespace

namespace vyr {

void answer_help(const char *purpose, const res_type *res_key, const res_type *res_pos) {
    if (!FLAG_help()) return;
    char prog[80];
    RES_get_progname(prog, sizeof prog);
    MESS_print(M_PRINT, "%s: This program %s\n", prog, purpose);
    RES_help_print(prog, res_key, res_pos);
    VYR_exit(VYR_OK);
}

}  // namespace vyr

int RES_fill_obj(RES_defobj *obj, const char *def, const char *env, const char *cmd,
                 DEF_convert cvt, void *out, int *num) {
    if (obj == nullptr) return 1;
    obj->def = def;
    obj->env = env;
    obj->cmd = cmd;
    obj->cvt = cvt;
    obj->out = out;
    obj->num = num;
    obj->pos = 0;
    return 1;
}

int RES_enter(RES_defobj *obj, res_type key) {
    if (obj == nullptr) return 1;
    const CatalogueRow *row = catalogue_row(key);
    if (row == nullptr) {
        // An inactive row; the number tells the developer which key is unknown.
        obj->def = "";
        std::printf("%d\n", static_cast<int>(key));
        return 1;
    }
    RES_fill_obj(obj, row->def, row->env, row->cmd, row->cvt, nullptr, nullptr);
    obj->pos = row->pos;
    return 1;
}

int RES_help_item(res_type res) {
    const CatalogueRow *e = catalogue_row(res);
    if (e == nullptr) {
        std::printf("%d\n", static_cast<int>(res));
        return 1;
    }
    if (e->text != nullptr)
        MESS_print(M_PRINT, " %-10s  %s\n", e->synopsis, e->text);
    else
        MESS_print(M_PRINT, " %-10s\n", e->synopsis);
    for (const char *const *line = e->more; line && *line; ++line) MESS_print(M_PRINT, "%s", *line);
    return 1;
}

int RES_help_print(const char *name, const res_type *res_key, const res_type *res_pos) {
    if (name == nullptr) name = "";
    MESS_print(M_PRINT, "%s syntax (version:%s)\n", name, VYR_version());
    MESS_print(M_PRINT, "   %s [options...]\n", name);
    MESS_print(M_PRINT, "Keyed options...\n");
    MESS_print(M_PRINT, " %-10s  Resource/defaults file name\n", "-df file");
    MESS_print(M_PRINT, " %-10s  Program name\n", "-na name");
    for (; res_key != nullptr && *res_key != RES_null; ++res_key) RES_help_item(*res_key);
    MESS_print(M_PRINT, "Positional options...\n");
    for (; res_pos != nullptr && *res_pos != RES_null; ++res_pos) RES_help_item(*res_pos);
    return 1;
}
