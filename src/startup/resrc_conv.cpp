// resrc_conv.cpp - the conversion of resource values into program state:
// the switches and settings that act on the process (help, batch,
// messages, the wanted file time, file parameter, plot type, draw list)
// and the kinds that write into a caller's target (numbers, texts, paths,
// devices, regions and domains).
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "files_int.h"
#include "geo_int.h"
#include "resrc_int.h"
#include "startup_int.h"
#include "vyrdom.h"
#include "vyrfiles.h"
#include "vyrresrc.h"

namespace {

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

// The fields of a wanted time that are set name a date that exists.
// Negative hours and minutes are offsets, not dates.
bool wanted_time_valid(const Date &d) {
    const bool month = d.month != VYR_MISSING, day = d.day != VYR_MISSING;
    if (month && (d.month < 1 || d.month > 12)) return false;
    if (day &&
        (d.day < 1 ||
         d.day > (month ? vyr::days_in_month(d.year == VYR_MISSING ? 2000 : d.year, d.month) : 31)))
        return false;
    if (d.hour != VYR_MISSING && d.hour > 23) return false;
    return d.min == VYR_MISSING || d.min <= 59;
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
            if (n > VYR_NAME_MAX) return 0;
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

namespace vyr {

Date hour_setting(const char *text) {
    if (text == nullptr) text = "";
    return parse_hour(text);
}

}  // namespace vyr

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
            // A date that does not exist would name files of no date at all.
            if (wanted_time_valid(d))
                FILE_set_time(&d);
            else
                MESS_print(M_WARN, "Date not valid: %s\n", data);
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
