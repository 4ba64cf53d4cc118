// region.cpp - map domains: decoding domain and region texts into Domain
// records, the region file and its menu, the built-in regions, and the
// station plotting priority that follows from a domain's size.
//
// Sections: module state; texts and numbers; the projection keywords; one
// form against the items; region items; the fixed-name functions.
#include <climits>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "geo_int.h"
#include "vyrcty.h"
#include "vyrdom.h"
#include "vyrfiles.h"
#include "vyrresrc.h"

// ---------------------------------------------------------------------------
// Module state

namespace {

constexpr float kMissingF = static_cast<float>(VYR_MISSING);
constexpr int kMenuEntries = 19;
constexpr int kRegionLineMax = 499;         // characters of a region-file line
constexpr std::size_t kDomainTextMax = 79;  // characters of a region's domain text
constexpr const char *kRegionFile = "vyr.reg";
constexpr int kInitialPriority = 3;
// A region's text may name another region, which may name the first one
// again: past this depth the text counts as invalid.
constexpr int kNestMax = 8;

// Field codes of the forms.
enum Field : int {
    kProj = 1,
    kPlon = 3,
    kStation = 4,
    kClat = 5,
    kClon = 6,
    kNx = 7,
    kNy = 8,
    kDx = 9,
    kDy = 10,
    kRegion = 11,
};

struct State {
    int priority = kInitialPriority;  // station plotting priority
    bool menu_loaded = false;         // the menu was cleared once
    // Entries 1 to 19; one more so that the next free index always exists.
    vyr::RegionMenuEntry reg_menu[kMenuEntries + 2] = {};
    int num_regs = 0;
    int depth = 0;  // DOM_decode calls under way
};
State g;

// ---------------------------------------------------------------------------
// Texts and numbers

using vyr::iequals;

bool starts_with_nocase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && iequals(s.substr(0, prefix.size()), prefix);
}

// Splits at delim as parse_string does: trailing delimiters dropped, empty
// fields kept, so a text of delimiters alone is one empty field.
std::vector<std::string> split(std::string_view s, char delim) {
    std::vector<std::string> out;
    while (!s.empty() && s.back() == delim) s.remove_suffix(1);
    for (std::size_t start = 0;;) {
        std::size_t end = s.find(delim, start);
        out.emplace_back(s.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) return out;
        start = end + 1;
    }
}

// The blank-separated words of a line.
std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && vyr::is_space(line[i])) ++i;
        std::size_t start = i;
        while (i < line.size() && !vyr::is_space(line[i])) ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

std::string_view skip_blanks(std::string_view s) {
    while (!s.empty() && vyr::is_space(s.front())) s.remove_prefix(1);
    return s;
}

// An item read as a number, leading blanks allowed and trailing text
// ignored, as "%f" and "%d" read them.
bool item_float(std::string_view item, float &out) {
    return vyr::read_decimal(skip_blanks(item), out) > 0;
}
bool item_int(std::string_view item, int &out) {
    return vyr::read_integer(skip_blanks(item), out) > 0;
}
// A projection parameter: a part that is no number counts as 0.
float part_value(std::string_view part) {
    float v = 0.0f;
    item_float(part, v);
    return v;
}

// The whole part of v, or missing when it does not fit an int.
int whole(float v) {
    if (!(v >= static_cast<float>(INT_MIN) && v < static_cast<float>(INT_MAX))) return VYR_MISSING;
    return static_cast<int>(v);
}

float grid_size(const Domain &d) {
    return static_cast<float>(static_cast<double>(d.dy) * (static_cast<double>(d.ny) - 1.0));
}

// ---------------------------------------------------------------------------
// The projection keywords, in the order they are tried: each compared over
// its count of leading characters, so "lambaz" is "lamb" and only the word
// "xp" itself is "xp".

struct Keyword {
    const char *word;
    int chars;
    int code;
};
constexpr Keyword kKeywords[] = {
    {"ll", 2, 2},     {"lat", 3, 2},    {"polar", 5, 1},  {"ps", 2, 1},    {"sat", 3, 9},
    {"lamb", 4, 4},   {"lc", 2, 4},     {"la", 2, 8},     {"gn", 2, 6},    {"or", 2, 5},
    {"mo", 2, 7},     {"me", 2, 3},     {"pix", 3, 99},   {"xy", 2, 20},   {"xlogy", 5, 22},
    {"xlogp", 5, 22}, {"cat", 3, 24},   {"skewt", 5, 40}, {"ema", 3, 42},  {"teph", 4, 43},
    {"rteph", 5, 44}, {"therm", 5, 40}, {"stuve", 5, 41}, {"hodo", 4, 23}, {"vert", 4, 22},
    {"xp", 4, 25},    {"zoom", 4, 50},  {"size", 4, 51},
};
constexpr int kZoom = 50;
constexpr int kSize = 51;

int proj_code(const char *text) {
    if (text == nullptr || text[0] == '\0') return -1;
    for (const Keyword &k : kKeywords)
        if (strnicmp(text, k.word, k.chars) == 0) return k.code;
    return stricmp(text, "miss") == 0 ? VYR_MISSING : -1;
}

// ---------------------------------------------------------------------------
// One form against the items

int decode(const char *str, Domain &d);
void region_item(const std::string &item, Domain &d);

// The projection item: its keyword, then ":" parts: one part is plon;
// more are an optional "e" (ellipsoidal earth), plat, plon and four more
// parameters, an empty part leaving its value as it was.
bool projection_item(const std::string &item, Domain &d) {
    d.proj = proj_code(item.c_str());
    if (d.proj == -1) {
        d.proj = 1;
        return false;
    }
    std::vector<std::string> parts = split(item, ':');
    if (parts.size() == 2) {
        d.plon = part_value(parts[1]);
    } else if (parts.size() > 2) {
        std::size_t p = 1;
        if (parts[1] == "e") {
            d.ellipse = 1;
            p = 2;
        }
        float *targets[] = {&d.plat, &d.plon, &d.param[0], &d.param[1], &d.param[2], &d.param[3]};
        for (float *t : targets) {
            if (p >= parts.size()) break;
            if (!parts[p].empty()) *t = part_value(parts[p]);
            ++p;
        }
    }
    return true;
}

// "id:" and a station, or "id:", a database file, ":" and a station: the
// station's position is the centre.
bool station_item(const std::string &item, Domain &d) {
    if (!starts_with_nocase(item, "id:")) return false;
    std::string rest = item.substr(3);
    std::size_t colon = rest.rfind(':');
    std::string file = colon == std::string::npos ? "" : rest.substr(0, colon);
    std::string id = colon == std::string::npos ? rest : rest.substr(colon + 1);
    return CTY_get_loc(file.empty() ? nullptr : file.c_str(), id.c_str(), &d.clat, &d.clon) == 1;
}

// The form's field codes as they apply to these items: a centre latitude
// whose item begins with "id:" is a station, which stands for the centre
// longitude as well.
std::vector<int> form_for(const int (&codes)[8], const std::vector<std::string> &items) {
    std::vector<int> form;
    for (int c : codes) {
        if (c == 0) break;
        form.push_back(c);
    }
    for (std::size_t k = 0; k < form.size(); ++k) {
        if (form[k] != kClat || k >= items.size() || !starts_with_nocase(items[k], "id:")) continue;
        form[k] = kStation;
        if (k + 1 < form.size() && form[k + 1] == kClon) form.erase(form.begin() + k + 1);
    }
    return form;
}

int set_params(const std::vector<std::string> &items, Domain &d, const int (&codes)[8]) {
    std::vector<int> form = form_for(codes, items);
    if (form.size() != items.size()) return -1;
    DOM_init(&d);
    // A missing domain fits any form of the right length.
    if (!items.empty() && (iequals(items[0], "miss") || iequals(items[0], "none"))) return 0;
    for (std::size_t k = 0; k < form.size(); ++k) {
        const std::string &item = items[k];
        bool ok = true;
        switch (form[k]) {
            case kProj: ok = projection_item(item, d); break;
            case kPlon: ok = item_float(item, d.plon); break;
            case kClat: ok = item_float(item, d.clat); break;
            case kClon: ok = item_float(item, d.clon); break;
            case kDx: ok = item_float(item, d.dx); break;
            case kDy: ok = item_float(item, d.dy); break;
            case kNx: ok = item_int(item, d.nx); break;
            case kNy: ok = item_int(item, d.ny); break;
            case kStation: ok = station_item(item, d); break;
            case kRegion:
                if (item.compare(0, 3, "id:") == 0) return kRegion;
                region_item(item, d);
                break;
            default: return form[k];
        }
        if (!ok) return form[k];
    }
    return 0;
}

// The forms in the order they are tried, with the defaults each fills in.
enum Fill : unsigned {
    kFillNone = 0,
    kProj1 = 1,      // polar stereographic
    kGrid25x17 = 2,  // nx 25, ny 17
    kDyIsDx = 4,     // dy = dx
    kSpacing12 = 8,  // dx = dy = 1.2
    kCentreForm = 16,
};
struct Form {
    int codes[8];
    unsigned fill;
    const char *trace;
    bool size_only;  // tried only when the first item is "size"
    int result;
};
constexpr Form kForms[] = {
    {{kProj, kNx, kNy}, kFillNone, "proj,nx,ny", true, 1},
    {{kProj, kPlon, kClat, kClon, kNx, kNy, kDx, kDy},
     kFillNone,
     "proj,plon,clat,clon,nx,ny,dx,dy",
     false,
     1},
    {{kProj, kClat, kClon, kNx, kNy, kDx, kDy}, kFillNone, "proj,clat,clon,nx,ny,dx,dy", false, 1},
    {{kProj, kPlon, kClat, kClon, kDx, kDy}, kGrid25x17, "proj,plon,clat,clon,dx,dy", false, 1},
    {{kProj, kClat, kClon, kNx, kNy, kDx}, kDyIsDx, "proj,clat,clon,nx,ny,dx", false, 1},
    {{kClat, kClon, kNx, kNy, kDx, kDy}, kProj1, "clat,clon,nx,ny,dx,dy", false, 1},
    {{kProj, kClat, kClon, kDx, kDy}, kGrid25x17, "proj,clat,clon,dx,dy", false, 1},
    {{kClat, kClon, kNx, kNy, kDx}, kProj1 | kDyIsDx, "clat,clon,nx,ny,dx", false, 1},
    {{kProj, kClat, kClon, kDx}, kGrid25x17 | kDyIsDx, "proj,clat,clon,dx", false, 1},
    {{kClat, kClon, kNx, kNy}, kProj1 | kSpacing12, "clat,clon,nx,ny", false, 1},
    {{kClat, kClon, kDx}, kProj1 | kGrid25x17 | kDyIsDx, "clat,clon,dx", false, 1},
    {{kProj, kClat, kClon}, kCentreForm, "proj,clat,clon", false, 1},
    {{kClat, kClon}, kProj1 | kGrid25x17 | kSpacing12, "clat,clon", false, 1},
    {{kStation}, kProj1 | kGrid25x17 | kSpacing12, "id:###", false, 1},
    {{kRegion}, kFillNone, "reg:REG", false, 2},
};

void fill_defaults(unsigned fill, Domain &d) {
    if (fill & kProj1) d.proj = 1;
    if (fill & kGrid25x17) {
        d.nx = 25;
        d.ny = 17;
    }
    if (fill & kDyIsDx) d.dy = d.dx;
    if (fill & kSpacing12) d.dx = d.dy = 1.2f;
    if (fill & kCentreForm) {
        if (d.proj == kSize) {
            // "size,640,480" spelled with a longer keyword: the two numbers
            // are the grid size, not a centre.
            d.nx = whole(d.clat);
            d.ny = whole(d.clon);
            d.clat = d.clon = kMissingF;
            return;
        }
        d.dx = d.dy = d.proj == kZoom ? 1.0f : 1.2f;
        d.nx = 25;
        d.ny = 17;
    }
}

// ---------------------------------------------------------------------------
// Region items and the region file

// Keeps the nesting count right even when a prompt inside ends the run.
struct Nesting {
    Nesting() { ++g.depth; }
    ~Nesting() { --g.depth; }
    Nesting(const Nesting &) = delete;
    Nesting &operator=(const Nesting &) = delete;
};

// A region file as named, in the file_path directory; the empty name is the
// default file rather than standard input.
class RegionFile {
  public:
    explicit RegionFile(const char *file) {
        const char *name = file != nullptr && file[0] != '\0' ? file : kRegionFile;
        if (FILE_add_path(RES_get("file_path"), name, full_) == nullptr) {
            vyr::copy_text(full_, sizeof full_, name, vyr::Overflow::Cut);
        } else {
            f_ = FILE_open(full_, "r");
        }
        if (f_ == nullptr) MESS_print(M_DEBUG_RES, "Unable to open region file: %s\n", full_);
    }
    ~RegionFile() { vyr::close_opened(f_, full_); }
    RegionFile(const RegionFile &) = delete;
    RegionFile &operator=(const RegionFile &) = delete;

    FILE *get() const { return f_; }

  private:
    char full_[VYR_NAME_BUFFER] = {};
    FILE *f_ = nullptr;
};

// The domain text of region str (null: the first region) of a region file.
// Lines are read up to the first empty one; a line holding only its
// abbreviation, or no number in its third field, gives that word.
bool search_file(const char *file, const char *str, std::string &out) {
    RegionFile rf(file);
    if (rf.get() == nullptr) return false;
    char line[kRegionLineMax + 1];
    while (fgetnline(rf.get(), line, kRegionLineMax) > 0) {
        if (line[0] == '#') continue;
        std::vector<std::string_view> w = words(line);
        if (w.empty()) return false;
        int number;
        bool full = w.size() >= 4 && vyr::read_integer(w[2], number) > 0;
        std::string_view text;
        if (!full)
            text = w[0];
        else if (str == nullptr || iequals(str, w[0]))
            text = w[3];
        else
            continue;
        if (text.size() > kDomainTextMax) {
            // A cut text would be another domain.
            MESS_print(M_WARN, "Region %.*s: domain text longer than %zu characters\n",
                       static_cast<int>(w[0].size()), w[0].data(), kDomainTextMax);
            return false;
        }
        out.assign(text);
        return true;
    }
    return false;
}

// Entries 1 to 19 of the menu from a region file: abbreviation, display
// name and menu number of each line; a line whose number is 0 is not
// offered, the next line takes its place.
bool read_menu(const char *file) {
    if (!g.menu_loaded) {
        for (int i = 1; i <= kMenuEntries; ++i) g.reg_menu[i] = {};
        g.menu_loaded = true;
    }
    RegionFile rf(file);
    if (rf.get() == nullptr) return false;
    char line[kRegionLineMax + 1];
    int next = 1;
    for (int n; next <= kMenuEntries && (n = fgetnline(rf.get(), line, kRegionLineMax)) >= 0;) {
        if (n == 0 || line[0] == '#') continue;
        std::vector<std::string_view> w = words(line);
        if (w.empty()) continue;
        vyr::RegionMenuEntry &e = g.reg_menu[next];
        vyr::copy_text(e.abbr, sizeof e.abbr, w[0], vyr::Overflow::Cut);
        vyr::copy_text(e.name, sizeof e.name, w.size() > 1 ? w[1] : "", vyr::Overflow::Cut);
        e.menu = 0;
        if (w.size() > 2) vyr::read_integer(w[2], e.menu);
        if (e.menu == 0) continue;
        fill_string(e.name, '_', ' ');
        e.index = next++;
    }
    g.num_regs = next;
    g.reg_menu[next].name[0] = '\0';
    return true;
}

// A region item: "fi:" and a region file (its first region), a region file,
// ":" and a region, a region file and ":" alone (loads the menu), or a bare
// region name, looked up in the default region file, then among the
// built-in regions. It always fits; a region found nowhere leaves proj -1.
void region_item(const std::string &item, Domain &d) {
    std::string text;
    if (item.compare(0, 3, "fi:") == 0) {
        if (search_file(item.c_str() + 3, nullptr, text)) decode(text.c_str(), d);
        return;
    }
    std::size_t colon = item.rfind(':');
    if (colon != std::string::npos) {
        std::string file = item.substr(0, colon), name = item.substr(colon + 1);
        if (name.empty())
            read_menu(file.c_str());
        else if (search_file(file.c_str(), name.c_str(), text))
            decode(text.c_str(), d);
        return;
    }
    if (search_file(kRegionFile, item.c_str(), text)) {
        decode(text.c_str(), d);
        return;
    }
    if (DOM_get_def_region(item.c_str(), &d) == 0) d.proj = -1;
}

// ---------------------------------------------------------------------------
// The built-in regions

struct BuiltIn {
    const char *name;
    float clat, clon, spacing;
};
constexpr BuiltIn kBuiltIns[] = {
    {"us", 39.0f, -97.0f, 2.3f},  {"ne", 42.0f, -76.0f, 0.9f},  {"at", 37.0f, -82.0f, 0.9f},
    {"se", 31.0f, -88.0f, 1.1f},  {"mw", 43.0f, -93.0f, 1.1f},  {"sp", 32.5f, -100.0f, 1.2f},
    {"nw", 44.0f, -112.0f, 1.0f}, {"sw", 37.0f, -112.0f, 1.0f},
};

int def_region(const char *region, Domain &d) {
    d.proj = 1;
    d.nx = 25;
    d.ny = 17;
    d.dx = d.dy = 1.2f;
    if (stricmp(region, "var") == 0) {
        d.clat = VYR_promptf("Enter the central latitude: ");
        d.clon = VYR_promptf("Enter the central longitude: ");
    } else {
        const BuiltIn *found = nullptr;
        for (const BuiltIn &b : kBuiltIns)
            if (stricmp(region, b.name) == 0) found = &b;
        if (found == nullptr) return 0;
        d.clat = found->clat;
        d.clon = found->clon;
        d.dx = d.dy = found->spacing;
    }
    d.plon = d.clon;
    DOM_set_base_prior(grid_size(d));
    FLAG_set(FLAG_DOMAIN, 1);
    return 1;
}

// ---------------------------------------------------------------------------
// Decoding a text

int decode(const char *str, Domain &d) {
    DOM_init(&d);
    if (str == nullptr || str[0] == '\0' || stricmp(str, "miss") == 0) return VYR_MISSING;
    Nesting nest;
    int result = -1;
    if (g.depth > kNestMax) {
        MESS_print(M_WARN, "DOM_decode: Regions nested too deep: %s\n", str);
    } else {
        std::vector<std::string> items = split(str, ',');
        MESS_print(M_DEBUG_DOM, "******** PARSING DOMAIN: %d %s\n", static_cast<int>(items.size()),
                   str);
        for (const Form &f : kForms) {
            if (f.size_only && !iequals(items[0], "size")) continue;
            if (set_params(items, d, f.codes) != 0) continue;
            fill_defaults(f.fill, d);
            MESS_print(M_DEBUG_DOM, "%2d %s\n", 0, f.trace);
            result = f.result;
            break;
        }
        if (result == -1) MESS_print(M_WARN, "DOM_decode: Invalid plot domain\n");
    }
    FLAG_set(FLAG_DOMAIN, result);
    FILE_set_key('r', str);
    DOM_set_base_prior(grid_size(d));
    return result;
}

int base_priority(float size) {
    if (size > 50.0f) return 1;
    if (size > 25.0f) return 2;
    if (size > 12.5f) return 3;
    if (size > 6.25f) return 4;
    if (size > 3.0f) return 5;
    return 6;
}

}  // namespace

// ---------------------------------------------------------------------------
// The fixed-name functions

namespace vyr {

void reset_domains() {
    g = State{};
    reset_stations();
}

int station_priority() { return g.priority; }

const RegionMenuEntry *region_menu(int *num_regs) {
    if (num_regs != nullptr) *num_regs = g.num_regs;
    return g.reg_menu;
}

}  // namespace vyr

int DOM_init(Domain *domain) {
    if (domain == nullptr) return 0;
    domain->proj = VYR_MISSING;
    domain->plat = kMissingF;
    domain->plon = kMissingF;
    for (float &p : domain->param) p = kMissingF;
    domain->clat = kMissingF;
    domain->clon = kMissingF;
    domain->dx = kMissingF;
    domain->dy = kMissingF;
    domain->nx = VYR_MISSING;
    domain->ny = VYR_MISSING;
    domain->ellipse = 0;
    return 0;
}

int DOM_decode(const char *str, Domain *domain) {
    Domain scratch;
    Domain &d = domain != nullptr ? *domain : scratch;
    return vyr::guarded(-1, [&] { return decode(str, d); });
}

int DOM_set_params(int paramc, char **paramv, Domain *domain, int i1, int i2, int i3, int i4,
                   int i5, int i6, int i7, int i8) {
    if (domain == nullptr || (paramc > 0 && paramv == nullptr)) return -1;
    return vyr::guarded(-1, [&] {
        std::vector<std::string> items;
        for (int i = 0; i < paramc; ++i) items.emplace_back(paramv[i] ? paramv[i] : "");
        const int codes[8] = {i1, i2, i3, i4, i5, i6, i7, i8};
        return set_params(items, *domain, codes);
    });
}

int DOM_proj_str(const char *proj) { return proj_code(proj); }

int DOM_get_def_region(const char *region, Domain *domain) {
    if (domain == nullptr) return 0;
    return vyr::guarded(0, [&] { return def_region(region, *domain); });
}

int DOM_search_file(const char *file, const char *str, char *domstr) {
    return vyr::guarded(0, [&] {
        std::string text;
        if (!search_file(file, str, text)) return 0;
        if (domstr != nullptr) vyr::copy_text(domstr, kDomainTextMax + 1, text, vyr::Overflow::Cut);
        return 1;
    });
}

int DOM_read_menu(const char *file) {
    return vyr::guarded(0, [&] { return read_menu(file) ? 1 : 0; });
}

int DOM_set_base_prior(float size) {
    int p = base_priority(size);
    // stat_prior shifts the priority ("+1", "-2") or sets it ("4").
    const char *adjust = RES_get("stat_prior");
    if (adjust != nullptr) {
        if (adjust[0] == '+' && vyr::is_digit(adjust[1]))
            p += adjust[1] - '0';
        else if (adjust[0] == '-' && vyr::is_digit(adjust[1]))
            p -= adjust[1] - '0';
        else if (vyr::is_digit(adjust[0]))
            p = adjust[0] - '0';
    }
    g.priority = p;
    return 0;
}
