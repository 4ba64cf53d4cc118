// resrc.cpp - resources: the catalogue and the rows of a program's table,
// start-up (definition files, environment, command line), the conversion of
// values into program state, and the list of gathered values.
//
// Values live in one singly linked list in order of first creation, behind
// a head node that carries nothing, with an index by name beside it so that
// storing stays cheap however many values a definition file holds. Names
// are unique and compared exactly. Nodes live until the process ends. A
// replaced value is freed only when nobody was ever given a pointer to it;
// one that was handed out is retired and kept for the run.
//
// Nothing gathered here is ever used as a format: definition-file lines,
// environment values, window answers and options may hold "%" and any other
// byte, and requests to a display window are built before they are sent.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "vyr.h"
#include "vyr_int.h"
#include "vyrresrc.h"

namespace {

struct State {
    res_obj root_res{};         // head node; carries nothing
    res_obj *last = &root_res;  // most recently created node
    // The nodes by name; the keys are the nodes' own names.
    std::unordered_map<std::string_view, res_obj *> index;
    // Replaced values that had been handed out: readers may still hold them.
    std::vector<char *> retired;
    int clargc = 0;
    char **clargv = nullptr;
    int window_q = -1;   // queue of the connected display window
    int window_id = -1;  // its connection id; -1 when no window is connected
};
State g;

constexpr std::size_t kStrcpyMax = 159;  // a CV_strcpy target is a file-name buffer
constexpr int kNameCap = 50;             // option names: 49 characters
constexpr int kValueCap = 200;           // values from files and environment: 199 characters
constexpr int kAllPositional = 10;
constexpr int kReplyCap = 120;      // a window's reply text with its terminator
constexpr int kRowAlarmFactor = 5;  // a row's answer may take 5 queue time-outs
constexpr const char *kDefaultPath = ".:/home/vyr/etc:/usr/local/vyr/etc";

// ---------------------------------------------------------------------------
// The catalogue

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

// ---------------------------------------------------------------------------
// The value list

char *dup_or_null(const char *s) { return s ? strdup(s) : nullptr; }

res_obj *find(const char *name) {
    auto it = g.index.find(name);
    return it == g.index.end() ? nullptr : it->second;
}

// The node's value is about to change: free the old one unless a reader
// may hold it.
void release_value(res_obj *r) {
    if (r->data != nullptr && r->handed_out) {
        g.retired.push_back(r->data);
    } else {
        std::free(r->data);
    }
    r->data = nullptr;
    r->handed_out = 0;
}

const char *hand_out(res_obj *r) {
    r->handed_out = 1;
    return r->data ? r->data : "";
}

res_obj *append_node(int index, const char *name, const char *data, DEF_convert cvt) {
    auto *r = static_cast<res_obj *>(std::calloc(1, sizeof(res_obj)));
    if (r == nullptr) return nullptr;
    r->name = strdup(name);
    if (r->name == nullptr) {
        std::free(r);
        return nullptr;
    }
    if (data != nullptr) {
        r->data = strdup(data);
        if (r->data == nullptr) {
            std::free(r->name);
            std::free(r);
            return nullptr;
        }
    }
    r->index = index;
    r->cvt = cvt;
    if (!vyr::guarded(false, [&] { return g.index.emplace(r->name, r).second; })) {
        std::free(r->data);
        std::free(r->name);
        std::free(r);
        return nullptr;
    }
    g.last->next = r;
    g.last = r;
    return r;
}

// ---------------------------------------------------------------------------
// Gathering: rows, options and sources

// "-x...", a dash and a letter: what the search-path pre-scan counts.
bool single_dash_option(const char *a) { return a[0] == '-' && vyr::is_letter(a[1]); }

// "-x..." or "--x...". A negative number, "-" and "--" alone are not options.
bool is_option(const char *a) {
    return a[0] == '-' && (vyr::is_letter(a[1]) || (a[1] == '-' && vyr::is_letter(a[2])));
}

bool active(const RES_defobj &row) { return row.def != nullptr && row.def[0] != '\0'; }

int count_rows(const RES_defobj *table) {
    int n = 0;
    if (table != nullptr)
        while (table[n].def != nullptr) ++n;
    return n;
}

void store_for_row(const RES_defobj *table, int row, const char *value) {
    RES_new(row, table[row].def, value, table[row].cvt);
}

// One option of the command line: its name (cut to 49 characters) and its
// value, from after the first "=" or from the next argument.
struct Option {
    char name[kNameCap];
    const char *value;
    bool value_from_next;
};

// Reads the option argv[i] whose name starts at name_start. When the value
// is the next argument, i is moved onto it.
//
// An argument that is itself an option, in either the one-dash or the
// two-dash form, is never taken as a value: otherwise "-cu --fp=/data"
// would swallow the path setting.
Option read_option(int argc, char **argv, int &i, const char *name_start) {
    Option opt{};
    const char *arg = argv[i];
    const char *eq = std::strchr(arg + 1, '=');
    std::size_t n = eq ? static_cast<std::size_t>(eq - name_start) : std::strlen(name_start);
    vyr::copy_text(opt.name, sizeof opt.name, {name_start, n}, vyr::Overflow::Cut);
    if (eq != nullptr) {
        opt.value = eq + 1;
    } else if (i + 1 < argc && argv[i + 1] != nullptr && !is_option(argv[i + 1])) {
        opt.value = argv[++i];
        opt.value_from_next = true;
    }
    return opt;
}

// "n", "na", "nam" or "name": the program title.
bool names_title(const char *name, bool any_case) {
    std::size_t n = std::strlen(name);
    if (n == 0 || n > 4) return false;
    return any_case ? strnicmp(name, "name", static_cast<int>(n)) == 0
                    : std::strncmp(name, "name", n) == 0;
}

// A name beginning with "default" or "df": the resource search path.
bool names_default(const char *name, bool any_case) {
    if (any_case) return strnicmp(name, "default", 7) == 0 || strnicmp(name, "df", 2) == 0;
    return std::strncmp(name, "default", 7) == 0 || std::strncmp(name, "df", 2) == 0;
}

// The keys that steer the search are dealt with before any file is read.
void prescan_steering_keys(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == nullptr || !single_dash_option(argv[i])) continue;
        Option opt = read_option(argc, argv, i, argv[i] + 1);
        if (opt.value == nullptr) continue;
        if (names_title(opt.name, false)) {
            RES_put("name", opt.value);
            DEF_name(opt.value);
        } else if (names_default(opt.name, false)) {
            RES_put("default", opt.value);
        }
    }
}

// ---------------------------------------------------------------------------
// Display windows
//
// Only one window is connected at a time. When several "#N" elements are on
// the path, each connected window is asked in turn; a window that connects
// sends the one before it "quit", so the last connected window is the one
// that receives the command line's settings and the final "quit". A window
// that cannot be opened or connected leaves an earlier connection in place.

bool window_connected() { return g.window_id > 0; }

void forget_window() {
    g.window_q = -1;
    g.window_id = -1;
}

// Sends one request text as it is: a "%" in a value is data.
bool send_request(const char *text) { return MQ_put(g.window_q, g.window_id, "%s", text) == 0; }

// "set res NAME VALUE", cut like every request to the bytes that travel.
bool send_setting(const char *name, const char *value) {
    char text[kReplyCap];
    std::snprintf(text, sizeof text, "set res %s %s", name, value);
    return send_request(text);
}

// Reads the replies of one answer up to the first non-zero status.
int read_answer() {
    char item[kReplyCap];
    int status = 0;
    while ((status = MQ_get(g.window_q, g.window_id, item)) == 0) {
    }
    return status;
}

// Only a request that went out is answered: waiting for the reply of one
// that did not would end the run through the queue's time-out.
void request_and_wait(const char *text) {
    if (send_request(text)) read_answer();
}

void close_window() {
    if (!window_connected()) return;
    request_and_wait("quit");
    forget_window();
}

// The decimal window number at the start of the text; false when it does
// not fit an int.
bool window_number(const char *text, int &num) {
    errno = 0;
    char *end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || errno != 0 || v < INT_MIN || v > INT_MAX) return false;
    num = static_cast<int>(v);
    return true;
}

// The answers to the queries, in row order. A value the window does not
// know but an earlier element of the path did is sent to it; returns how
// many of those settings await their acknowledgement.
int read_window_answers(const RES_defobj *table, int rows) {
    int pending = 0;
    const int row_secs = kRowAlarmFactor * vyr::queue_timeout();
    for (int r = 0; r < rows; ++r) {
        if (!active(table[r])) continue;  // not asked: see the query loop
        alarm(static_cast<unsigned>(row_secs > 0 ? row_secs : 0));
        bool got = false;
        char item[kReplyCap];
        int status = 0;
        while ((status = MQ_get(g.window_q, g.window_id, item)) == 0) {
            MQ_disable_alarm();
            // "!" opens an error text and a bare line end stands for no value.
            if (item[0] == '\0' || item[0] == '!' || item[0] == '\n') continue;
            char value[kValueCap];
            vyr::copy_text(value, sizeof value, {item, std::strlen(item) - 1},
                           vyr::Overflow::Cut);  // the line end
            store_for_row(table, r, value);
            got = true;
        }
        if (!got) {
            const char *known = RES_get(table[r].def);
            if (known != nullptr && send_setting(table[r].def, known)) ++pending;
        }
        if (status == -3) MESS_print(M_WARN, "VYRloop not running!\n");
    }
    return pending;
}

// Exchange of resources with the display window of a "#N" path element;
// number is the text after "#".
void exchange_with_window(const RES_defobj *table, int rows, const char *number) {
    int num = 0;
    errno = 0;
    int q = window_number(number, num) ? MQ_open(num) : -1;
    if (q < 0) {
        if (errno == ENOENT)
            MESS_print(M_WARN, "VYRloop window: %s not running or no message queue exists\n",
                       number);
        else
            MESS_print(M_WARN, "VYRloop window: %s unable to connect\n", number);
        return;
    }
    int id = MQ_connect(q);
    if (id < 0) {
        MESS_print(M_WARN, "VYRloop window: %s unable to connect\n", number);
        return;
    }
    close_window();
    g.window_q = q;
    g.window_id = id;
    // Inactive rows (an empty name) have nothing to ask for; the answer loop
    // skips the same rows, so answers and rows stay in step.
    for (int r = 0; r < rows; ++r) {
        if (!active(table[r])) continue;
        char text[kReplyCap];
        std::snprintf(text, sizeof text, "query res %s", table[r].def);
        if (!send_request(text)) {
            // The queue went away under us: nothing more can be said to it.
            MESS_print(M_WARN, "VYRloop window: %s unable to connect\n", number);
            forget_window();
            return;
        }
    }
    int pending = read_window_answers(table, rows);
    std::signal(SIGALRM, SIG_IGN);
    for (; pending > 0; --pending) read_answer();
}

// Offers every live line of one definition file (or directory) to the rows.
void read_definition_file(const RES_defobj *table, int rows, const char *element) {
    DEF_open(element);
    char key[kNameCap];
    char value[kValueCap];
    while (DEF_get(key, value) >= 0) {
        key[kNameCap - 1] = '\0';
        value[kValueCap - 1] = '\0';
        bool matched = false;
        for (int r = 0; r < rows; ++r) {
            if (!active(table[r]) || !DEF_cmp(table[r].def, key)) continue;
            MESS_print(M_DEBUG_RES, "RESRC: %s=%s\n", key, value);
            store_for_row(table, r, value);
            matched = true;
        }
        if (!matched && DEF_valid(key)) {
            char name[kNameCap] = "";  // the tail of key, so no longer than it
            if (DEF_parse_name(key, name) == 1) {
                name[kNameCap - 1] = '\0';
                RES_put(name, value);
            }
        }
    }
    DEF_close();
}

void walk_search_path(const RES_defobj *table, int rows) {
    const char *path = RES_get("default");
    if (path == nullptr) path = kDefaultPath;
    int n = 0;
    char **elements = nullptr;
    if (path[0] == '\0') {
        // An empty path is one empty element: ".vyrdef" here.
        static char empty[] = "";
        static char *only[] = {empty};
        n = 1;
        elements = only;
    } else {
        parse_string(path, ':', &n, &elements);
    }
    DEF_clr_tag();
    for (int k = 0; k < n; ++k) {
        const char *e = elements[k];
        if (e[0] == '+')
            DEF_tag(e + 1);
        else if (e[0] == '#' && vyr::is_digit(e[1]))
            exchange_with_window(table, rows, e + 1);
        else
            read_definition_file(table, rows, e);
    }
    if (path[0] != '\0') free_parsed_array(n, elements);
}

void read_environment(const RES_defobj *table, int rows) {
    for (int r = 0; r < rows; ++r) {
        if (!active(table[r])) continue;
        char value[kValueCap] = "";
        if (DEF_env(table[r].def, table[r].env ? table[r].env : "", value) != 1) continue;
        value[kValueCap - 1] = '\0';
        store_for_row(table, r, value);
    }
}

// The first keyed row the option name selects: by key, by name, by a
// leading part of the name; -1 when none does.
int find_keyed_row(const RES_defobj *table, int rows, const char *name) {
    for (int r = 0; r < rows; ++r)
        if (active(table[r]) && table[r].pos == 0 && table[r].cmd &&
            stricmp(name, table[r].cmd) == 0)
            return r;
    for (int r = 0; r < rows; ++r)
        if (active(table[r]) && table[r].pos == 0 && stricmp(name, table[r].def) == 0) return r;
    auto n = static_cast<int>(std::strlen(name));
    for (int r = 0; r < rows; ++r)
        if (active(table[r]) && table[r].pos == 0 && strnicmp(name, table[r].def, n) == 0) return r;
    return -1;
}

int find_positional_row(const RES_defobj *table, int rows, int count) {
    for (int r = 0; r < rows; ++r)
        if (active(table[r]) && table[r].pos == count) return r;
    for (int r = 0; r < rows; ++r)
        if (active(table[r]) && table[r].pos == kAllPositional) return r;
    return -1;
}

bool flag_like(DEF_convert cvt) { return cvt == CV_bool || cvt == CV_batch || cvt == CV_help; }

void read_command_line(const RES_defobj *table, int rows, int argc, char **argv) {
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (arg == nullptr || std::strcmp(arg, "--") == 0) continue;
        if (!is_option(arg)) {
            ++count;
            int r = find_positional_row(table, rows, count);
            if (r < 0) continue;
            if (table[r].pos == kAllPositional && count > 1)
                RES_append(r, table[r].def, arg, table[r].cvt);
            else
                store_for_row(table, r, arg);
            continue;
        }
        const char *name_start = arg[1] == '-' ? arg + 2 : arg + 1;
        Option opt = read_option(argc, argv, i, name_start);
        // The pre-scan has dealt with these, whatever row they might match.
        if (names_title(opt.name, true) || names_default(opt.name, true)) continue;
        int r = find_keyed_row(table, rows, opt.name);
        if (r < 0) {
            RES_put(opt.name, opt.value);
            continue;
        }
        if (opt.value_from_next && flag_like(table[r].cvt)) {
            --i;  // a switch takes no value: the argument is read again
            opt.value = nullptr;
        }
        store_for_row(table, r, opt.value);
        // A free resource is not sent: the window keeps only rows' settings.
        if (window_connected() && send_setting(table[r].def, opt.value ? opt.value : ""))
            read_answer();
    }
}

// Every value that belongs to a row is converted once, in list order.
void convert_values(const RES_defobj *table, int rows) {
    for (res_obj *node = g.root_res.next; node; node = node->next) {
        if (node->index < 0 || node->index >= rows) continue;
        const RES_defobj &row = table[node->index];
        if (node->cvt == CV_strings && row.out != nullptr) {
            int n = 0;
            char **vec = nullptr;
            parse_string(node->data, '\n', &n, &vec);
            *static_cast<char ***>(row.out) = vec;
            if (row.num) *row.num = n;
        } else {
            // These kinds point the target into the value itself.
            if (row.out != nullptr && (node->cvt == CV_string || node->cvt == CV_device))
                node->handed_out = 1;
            RES_conv_data(node->data, row.out, node->cvt);
        }
    }
}

// ---------------------------------------------------------------------------
// Conversion

// Reads a decimal integer the way a "%d" scan (or "%Nd" with width N) does:
// leading white space skipped, an optional sign, at least one digit, the
// width counting sign and digits. Saturates at +-INT_MAX instead of
// overflowing, so the result can always be negated.
bool scan_int(const char *&p, int width, int &out) {
    const char *q = p;
    while (vyr::is_space(*q)) ++q;
    int used = 0;
    bool negative = false;
    auto room = [&] { return width == 0 || used < width; };
    if ((*q == '+' || *q == '-') && room()) {
        negative = *q == '-';
        ++q;
        ++used;
    }
    long long v = 0;
    int digits = 0;
    while (vyr::is_digit(*q) && room()) {
        if (v <= INT_MAX) v = v * 10 + (*q - '0');
        ++q;
        ++used;
        ++digits;
    }
    if (digits == 0) return false;
    if (v > INT_MAX) v = INT_MAX;
    out = static_cast<int>(negative ? -v : v);
    p = q;
    return true;
}

// Scans the fields in order, each of the given width; stops at the first
// that does not scan.
void scan_fields(const char *p, std::initializer_list<std::pair<int *, int>> fields) {
    for (auto [field, width] : fields)
        if (!scan_int(p, width, *field)) return;
}

Date parse_hour(const char *s) {
    Date d{VYR_MISSING, VYR_MISSING, VYR_MISSING, VYR_MISSING,
           VYR_MISSING, VYR_MISSING, VYR_MISSING, VYR_MISSING};
    std::size_t len = std::strlen(s);
    bool colon = std::strchr(s, ':') != nullptr;
    const char *p = s;
    if (s[0] == '#') {
        // "#YYYY[MM[DD[HH[NN]]]]": each further field only while digits follow.
        if (!vyr::is_digit(s[1])) return d;
        p = s + 1;
        if (!scan_int(p, 4, d.year)) return d;
        for (int *field : {&d.month, &d.day, &d.hour, &d.min})
            if (!vyr::is_digit(*p) || !scan_int(p, 2, *field)) break;
    } else if (len == 6 && !colon) {
        scan_fields(s, {{&d.month, 2}, {&d.day, 2}, {&d.hour, 2}});
    } else if (len == 4 && vyr::is_digit(s[0]) && !colon) {
        scan_fields(s, {{&d.day, 2}, {&d.hour, 2}});
    } else if (len == 3 && vyr::is_digit(s[0]) && !colon) {
        scan_fields(s, {{&d.day, 1}, {&d.hour, 2}});
    } else if (std::strchr(s, 'd') != nullptr) {
        // "DdHH:NN"
        if (scan_int(p, 0, d.day) && *p == 'd' && scan_int(++p, 0, d.hour) && *p == ':')
            scan_int(++p, 0, d.min);
    } else if (s[0] == ':') {
        scan_int(++p, 0, d.min);
    } else if (s[0] == '-' && s[1] == ':') {
        p = s + 2;
        int m = 0;
        if (scan_int(p, 0, m)) d.min = -m;
    } else {
        bool hour = scan_int(p, 0, d.hour);
        bool min = hour && *p == ':' && scan_int(++p, 0, d.min);
        // "-0:30" is half an hour back: the sign belongs to the minutes.
        // Without minutes there is nothing to negate, and "-0" sets nothing.
        if (hour && s[0] == '-' && d.hour == 0) {
            d.hour = VYR_MISSING;
            if (min) d.min = -d.min;
        }
    }
    return d;
}

struct Keyword {
    const char *word;
    int code;
};

constexpr Keyword kFileParams[] = {{"use", 3},   {"over", 1},   {"calc", 1},
                                   {"reuse", 3}, {"recalc", 1}, {"app", 2}};

constexpr Keyword kPlotTypes[] = {
    {"raw", 0},   {"none", 99},   {"value", 17}, {"gvalue", 17}, {"cf", 15},    {"lcf", 16},
    {"ln", 12},   {"dln", 13},    {"ndln", 14},  {"vect", 21},   {"stuve", 61}, {"barb", 22},
    {"strm", 23}, {"stream", 23}, {"an", 54},    {"number", 54}, {"pm", 55},    {"skewt", 62},
    {"ema", 63},  {"teph", 64},   {"rteph", 65}, {"hodo", 69},
};

// Plot-element switches by word; "text" also switches the border (11).
constexpr Keyword kDrawWords[] = {
    {"text", 0},    {"text_ul", 1}, {"text_uc", 2}, {"text_ur", 3}, {"text_ll", 4}, {"text_lc", 5},
    {"text_lr", 6}, {"data", 7},    {"map", 8},     {"grid", 9},    {"sum", 10},    {"bord", 11},
};

template <std::size_t N>
const Keyword *find_keyword(const Keyword (&table)[N], const char *word) {
    for (const auto &k : table)
        if (stricmp(word, k.word) == 0) return &k;
    return nullptr;
}

void apply_draw(const char *data) {
    int n = 0;
    char **items = nullptr;
    if (parse_string(data, ',', &n, &items) != 0) return;
    for (int k = 0; k < n; ++k) {
        const char *word = items[k];
        int value = 1;
        if (word[0] == '+') {
            ++word;
        } else if (word[0] == '-') {
            ++word;
            value = 0;
        } else if (k == 0) {
            FLAG_resetplot(0);  // a plain first word says what to draw, nothing else
        }
        if (stricmp(word, "none") == 0) {
            FLAG_setplot(12, 0);
        } else if (stricmp(word, "all") == 0) {
            FLAG_setplot(12, 1);
        } else if (const Keyword *kw = find_keyword(kDrawWords, word)) {
            FLAG_setplot(kw->code, value);
            if (kw->code == 0) FLAG_setplot(11, value);
        }
    }
    free_parsed_array(n, items);
}

// Decimal text as a 32-bit integer, saturating.
int32_t decimal32(const char *s) {
    long long v = std::strtoll(s, nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// Hexadecimal text keeps its bit pattern in 32 bits: "0xFFFFFFFF" is -1.
int32_t hex32(const char *s) {
    return static_cast<int32_t>(static_cast<uint32_t>(std::strtoull(s, nullptr, 16)));
}

void convert_path(const char *data, void *out) {
    auto *target = static_cast<char **>(out);
    if (stricmp(data, "none") == 0) {
        static char empty[] = "";
        *target = empty;
        return;
    }
    std::size_t n = std::strlen(data);
    auto *copy = static_cast<char *>(std::malloc(n + 2));  // room for the "/"
    if (copy != nullptr) {
        std::memcpy(copy, data, n + 1);
        FILE_add_path_delim(copy);
    }
    *target = copy;
}

void convert_device(const char *data, void *out) {
    int n = 0;
    char **items = nullptr;
    parse_string(data, ',', &n, &items);
    if (n == 0) {
        FLAG_set(FLAG_DEVICE, 1);
    } else {
        FLAG_set(FLAG_DEVICE, RES_set_device(items[0]));
        if (n > 1) *static_cast<const char **>(out) = std::strchr(data, ',') + 1;
    }
    free_parsed_array(n, items);
}

// The kinds that write into a target.
int convert_into(const char *data, void *out, DEF_convert cvt) {
    switch (cvt) {
        case CV_int: {
            if (!vyr::is_digit(data[0]) && data[0] != '-' && data[0] != '+') return 1;
            bool hex = data[1] == 'x' || data[1] == 'X';
            *static_cast<int32_t *>(out) = hex ? hex32(data) : decimal32(data);
            return 1;
        }
        case CV_short: {
            if (!vyr::is_digit(data[0])) return 1;
            int32_t v = decimal32(data);
            *static_cast<int16_t *>(out) = static_cast<int16_t>(v > INT16_MAX ? INT16_MAX : v);
            return 1;
        }
        case CV_long:
            if (vyr::is_digit(data[0]))
                *static_cast<int64_t *>(out) = std::strtoll(data, nullptr, 10);
            return 1;
        case CV_float: *static_cast<float *>(out) = std::strtof(data, nullptr); return 1;
        case CV_color: *static_cast<int64_t *>(out) = decimal32(data); return 1;
        case CV_string: *static_cast<const char **>(out) = data; return 1;
        case CV_strcpy: {
            // The target is a file-name buffer; a value that does not fit is
            // refused and the target keeps what it held.
            std::size_t n = std::strlen(data);
            if (n > kStrcpyMax) return 0;
            std::memcpy(out, data, n + 1);
            return 1;
        }
        case CV_path: convert_path(data, out); return 1;
        case CV_region:
        case CV_domain: DOM_decode(data, static_cast<Domain *>(out)); return 1;
        case CV_device: convert_device(data, out); return 1;
        default: return 1;
    }
}

}  // namespace

// ===========================================================================
// Hooks and cores (vyr_int.h)

namespace vyr {

void reset_resources() {
    res_obj *r = g.root_res.next;
    while (r != nullptr) {
        res_obj *next = r->next;
        std::free(r->name);
        std::free(r->data);
        std::free(r);
        r = next;
    }
    for (char *v : g.retired) std::free(v);
    g.retired.clear();
    g.index.clear();
    g.root_res.next = nullptr;
    g.last = &g.root_res;
    g.clargc = 0;
    g.clargv = nullptr;
    forget_window();
}

void answer_help(const char *purpose, const res_type *res_key, const res_type *res_pos) {
    if (!FLAG_help()) return;
    char prog[80];
    RES_get_progname(prog, sizeof prog);
    MESS_print(M_PRINT, "%s: This program %s\n", prog, purpose);
    RES_help_print(prog, res_key, res_pos);
    VYR_exit(VYR_OK);
}

Date hour_setting(const char *text) {
    if (text == nullptr) text = "";
    return parse_hour(text);
}

}  // namespace vyr

// ===========================================================================
// The catalogue and table rows

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

// ===========================================================================
// Start-up

int RES_init(int argc, char **argv, const res_type *res_key, const res_type *res_pos) {
    FLAG_reset(VYR_MISSING);
    // The table has a row for every listed key, however many, and the end row.
    std::vector<RES_defobj> table;
    vyr::guarded(0, [&] {
        for (const res_type *list : {res_key, res_pos})
            for (; list != nullptr && *list != RES_null; ++list)
                RES_enter(&table.emplace_back(), *list);
        table.emplace_back().def = nullptr;
        return 0;
    });
    if (table.empty() || table.back().def != nullptr) return 1;  // no memory for the table
    if (argv == nullptr) argc = 0;
    RES_decode(argc > 0 ? argv[0] : nullptr, "Vyr", argc, argv, table.data());
    if (const char *tz = std::getenv("vyrtz")) DATE_set_TZ(tz);
    return 1;
}

int RES_decode(const char *progname, const char *cls, int argc, char **argv,
               RES_defobj *def_table) {
    (void)progname;  // the name is taken from the saved command line
    (void)cls;
    if (argv == nullptr || argc < 0) argc = 0;
    int rows = count_rows(def_table);

    RES_setCL(argc, argv);
    DEF_prog();
    if (const char *path = std::getenv("vyrdefault")) {
        char value[kValueCap];
        vyr::copy_text(value, sizeof value, path, vyr::Overflow::Cut);
        RES_put("default", value);
    }
    prescan_steering_keys(argc, argv);
    walk_search_path(def_table, rows);
    read_environment(def_table, rows);
    read_command_line(def_table, rows, argc, argv);
    close_window();
    convert_values(def_table, rows);
    return 0;
}

// ===========================================================================
// Conversion

int RES_conv_data(const char *data, void *out, DEF_convert cvt) {
    switch (cvt) {
        case CV_batch:
            FLAG_set(FLAG_BATCH, 1);
            if (MESS_check_set() == 0) MESS_set(0, M_PRINT | M_ERROR | M_WARN);
            return 1;
        case CV_help: FLAG_set(FLAG_HELP, 1); return 1;
        case CV_bool:
            if (out == nullptr) break;
            if (data == nullptr || stricmp(data, "true") == 0 || stricmp(data, "on") == 0 ||
                stricmp(data, "yes") == 0)
                *static_cast<int32_t *>(out) = 1;
            else if (stricmp(data, "false") == 0 || stricmp(data, "off") == 0 ||
                     stricmp(data, "no") == 0)
                *static_cast<int32_t *>(out) = 0;
            return 1;
        default: break;
    }
    if (data == nullptr) return 0;
    switch (cvt) {
        case CV_mess: MESS_set_str(data); return 1;
        case CV_hour: {
            Date d = parse_hour(data);
            FILE_set_time(&d);
            return 1;
        }
        case CV_file_param:
            if (const Keyword *k = find_keyword(kFileParams, data))
                FLAG_set(FLAG_FILE_PARAM, k->code);
            return 1;
        case CV_plot_type:
            if (const Keyword *k = find_keyword(kPlotTypes, data))
                FLAG_set(FLAG_PLOT_TYPE, k->code);
            return 1;
        case CV_draw: apply_draw(data); return 1;
        default: break;
    }
    if (out == nullptr) return 0;
    return convert_into(data, out, cvt);
}

int RES_set_device(const char *str) {
    switch (str ? str[0] : '\0') {
        case 'P':
        case 'p': return 4;
        case 'H':
        case 'h':
        case 'Q':
        case 'q': return 5;
        case 'M':
        case 'm': return 3;
        case 'W':
        case 'w': return 6;
        default: return 1;
    }
}

// ===========================================================================
// Help listing

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

// ===========================================================================
// The value list

int RES_new(int index, const char *name, const char *data, DEF_convert cvt) {
    if (name == nullptr) return -1;
    res_obj *r = find(name);
    if (r == nullptr) return append_node(index, name, data, cvt) ? 0 : -1;
    char *copy = dup_or_null(data);
    if (data != nullptr && copy == nullptr) return -1;
    release_value(r);
    r->data = copy;
    r->index = index;
    r->cvt = cvt;
    return 0;
}

int RES_append(int index, const char *name, const char *str, DEF_convert cvt) {
    if (name == nullptr) return -1;
    res_obj *r = find(name);
    if (r == nullptr) return append_node(index, name, str, cvt) ? 0 : -1;
    if (str == nullptr) return 0;
    if (r->data == nullptr) {
        r->data = strdup(str);
        return r->data ? 0 : -1;
    }
    std::size_t a = std::strlen(r->data), b = std::strlen(str);
    auto *joined = static_cast<char *>(std::malloc(a + b + 2));
    if (joined == nullptr) return -1;
    std::memcpy(joined, r->data, a);
    joined[a] = '\n';
    std::memcpy(joined + a + 1, str, b + 1);
    release_value(r);
    r->data = joined;
    return 0;
}

int RES_put(const char *name, const char *value) {
    return RES_new(VYR_MISSING, name, value, CV_string);
}

const char *RES_get(const char *name) {
    if (name == nullptr) return nullptr;
    return vyr::guarded<const char *>(nullptr, [&]() -> const char * {
        res_obj *r = find(name);
        return r ? hand_out(r) : nullptr;
    });
}

int RES_getvals(const char *name, int *paramc, char ***paramv) {
    if (paramc) *paramc = 0;
    if (paramv) *paramv = nullptr;
    if (name == nullptr || paramc == nullptr || paramv == nullptr) return 0;
    return vyr::guarded(0, [&] {
        res_obj *r = find(name);
        if (r == nullptr || r->data == nullptr) return 0;
        hand_out(r);
        parse_string(r->data, r->cvt == CV_strings ? '\n' : ',', paramc, paramv);
        return *paramc;
    });
}

int RES_list() {
    for (res_obj *r = g.root_res.next; r; r = r->next) {
        if (r->data)
            MESS_print(M_PRINT_LIST, "%s: %s\n", r->name, r->data);
        else
            MESS_print(M_PRINT_LIST, "%s:\n", r->name);
    }
    return 0;
}

int RES_setCL(int argc, char **argv) {
    g.clargc = argc;
    g.clargv = argv;
    return 1;
}

const char *RES_get_prog() { return (g.clargv && g.clargc > 0) ? g.clargv[0] : nullptr; }

char *RES_get_progname(char *prog, std::size_t size) {
    const char *full = RES_get_prog();
    if (full == nullptr) full = "";
    const char *slash = std::strrchr(full, '/');
    const char *base = slash ? slash + 1 : full;
    std::size_t n = std::strlen(base);
    if (prog == nullptr) {
        prog = static_cast<char *>(std::malloc(std::strlen(full) + 1));
        if (prog == nullptr) return const_cast<char *>("VYR");
        size = n + 1;
    }
    vyr::copy_text(prog, size, {base, n}, vyr::Overflow::Cut);
    return prog;
}
