// wx_tool.cpp - present-weather values put into words.
//
// A value is a WMO ww code (leading digit), a METAR group (leading "!") or
// a letter code. The first two are turned into a letter code, and only the
// first weather element of the letter code is put into words.
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "base_int.h"
#include "vyrbase.h"

namespace {

// The module keeps no state between calls: every conversion works on its
// own locals, so the functions below may be called in any order.

constexpr std::size_t kCodeMax = 14;    // letter code, without terminator
constexpr std::size_t kPhraseMax = 25;  // output phrase, without terminator
constexpr std::size_t kWmoMax = 6;      // longest letter code of a WMO code
constexpr std::size_t kMetarMax = 5;    // longest letter code of a METAR group

// ---------------------------------------------------------------------------
// Letter code to phrase

struct PhraseRow {
    std::string_view prefix;
    std::string_view text;
    int count;
};

// Tried in order, first match wins: within each weather letter the longer
// prefixes stand before the shorter ones, so a shorter row catches whatever
// the longer ones did not ("TR" followed by anything but W, + or -).
constexpr PhraseRow kPhrases[] = {
    {"A", "hail", 1},
    {"K", "smoke", 1},
    {"H", "haze", 1},
    {"F", "fog", 1},
    {"GF", "ground fog", 2},
    {"TRW+", "heavy thunderstorm", 4},
    {"TRW-", "light thunderstorm", 4},
    {"TRW", "moderate thunderstorm", 3},
    {"TR+", "heavy thunderstorm", 3},
    {"TR-", "light thunderstorm", 3},
    {"TR", "moderate thunderstorm", 2},
    {"T+", "heavy thunder", 2},
    {"T-", "light thunder", 2},
    {"T", "thunder", 1},
    {"RW+", "heavy rain showers", 3},
    {"RW-", "light rain showers", 3},
    {"RW", "moderate rain showers", 2},
    {"R+", "heavy rain", 2},
    {"R-", "light rain", 2},
    {"R", "moderate rain", 1},
    {"SW+", "heavy snow showers", 3},
    {"SW-", "light snow showers", 3},
    {"SW", "moderate snow showers", 2},
    {"S+", "heavy snow", 2},
    {"S-", "light snow", 2},
    {"SG", "snow grains", 2},
    {"SP", "snow pellets", 2},
    {"S", "moderate snow", 1},
    {"L+", "heavy drizzle", 2},
    {"L-", "light drizzle", 2},
    {"L", "moderate drizzle", 1},
    {"ZR+", "heavy freezing rain", 3},
    {"ZR-", "light freezing rain", 3},
    {"ZR", "moderate freezing rain", 2},
    {"ZL+", "heavy freezing drizzle", 3},
    {"ZL-", "light freezing drizzle", 3},
    {"ZL", "moderate freezing drizzle", 2},
    {"BD", "blowing dust", 2},
    {"BS", "blowing snow", 2},
    {"IP", "ice pellets", 2},
    {"IC", "ice crystals", 2},
    {"IF", "ice fog", 2},
    {"D", "dust", 1},
};

const PhraseRow *find_phrase(std::string_view code) {
    for (const PhraseRow &row : kPhrases)
        if (code.starts_with(row.prefix)) return &row;
    return nullptr;
}

// ---------------------------------------------------------------------------
// WMO ww code to letter code

struct WmoRow {
    int last;  // the row covers the codes above the previous row's last up to this
    std::string_view code;
};

// Codes of 3 or less fall into the first row, codes above 99 into none.
constexpr WmoRow kWmo[] = {
    {3, " "},    {4, "K"},       {5, "H"},     {9, "D"},      {12, "F"},   {16, " "},
    {17, "T"},   {27, " "},      {28, "F"},    {29, "T"},     {35, "D"},   {39, "BS"},
    {49, "F"},   {51, "L-"},     {53, "L"},    {55, "L+"},    {56, "ZL-"}, {57, "ZL"},
    {58, "L-R"}, {59, "LR"},     {61, "R-"},   {63, "R"},     {65, "R+"},  {66, "ZR-"},
    {67, "ZR"},  {68, "R-L"},    {69, "RL"},   {71, "S-"},    {73, "S"},   {75, "S+"},
    {76, "IC"},  {77, "SG"},     {78, "IC"},   {79, "IP"},    {80, "RW-"}, {81, "RW"},
    {82, "RW+"}, {83, "RW-SW-"}, {84, "RWSW"}, {85, "SW-"},   {86, "SW"},  {88, "IPW"},
    {90, "A"},   {91, "R-"},     {92, "R"},    {93, "S-"},    {94, "S"},   {95, "TRW-"},
    {96, "TRW"}, {97, "TRW+"},   {98, "TRWD"}, {99, "TRW+A"},
};

std::string_view wmo_code(int wx) {
    for (const WmoRow &row : kWmo)
        if (wx <= row.last) return row.code;
    return " ";
}

// The leading decimal number of text, stopping at the first non-digit. Long
// digit runs saturate instead of overflowing; any code above 99 is blank.
int leading_number(std::string_view text) {
    int64_t n = 0;
    if (!text.empty() && vyr::is_digit(text[0]))
        vyr::read_integer(text, n, 0, 1000, vyr::OutOfRange::Clamp);
    return static_cast<int>(n);
}

// ---------------------------------------------------------------------------
// METAR group to letter code

// The parts found so far; each points into the tables below or is empty.
struct Metar {
    std::string_view intens;  // "+" or "-"
    std::string_view descri;  // B blowing, T thunderstorm, W showers, Z freezing
    std::string_view wxtype;  // L, R, S, SG, IP or IC
    std::string_view obscur;  // F fog, H haze, D dust, K smoke
};

struct Pair {
    std::string_view group;
    std::string_view letter;
};

constexpr Pair kDescriptors[] = {
    {"DR", "B"}, {"BL", "B"}, {"TS", "T"}, {"SH", "W"}, {"FZ", "Z"},
};
constexpr Pair kPrecipitation[] = {
    {"DZ", "L"},  {"RA", "R"},  {"SN", "S"},  {"SG", "SG"},
    {"GS", "IP"}, {"PE", "IP"}, {"PL", "IP"}, {"IC", "IC"},
};
constexpr Pair kObscurations[] = {
    {"FG", "F"}, {"BR", "H"}, {"HZ", "H"}, {"SA", "D"}, {"DU", "D"}, {"FU", "K"},
};

template <std::size_t N>
const Pair *find_pair(const Pair (&rows)[N], std::string_view group) {
    for (const Pair &row : rows)
        if (row.group == group) return &row;
    return nullptr;
}

std::string metar_code(std::string_view wx) {
    if (wx.starts_with('!')) wx.remove_prefix(1);
    Metar m;
    std::size_t pos = 0;
    while (pos < wx.size()) {
        const char c = wx[pos];
        if (c == '-' || c == '+') {
            m.intens = c == '-' ? "-" : "+";
            ++pos;
            continue;
        }
        // Every other group is two letters; a lone last letter ends the scan.
        const std::string_view group = wx.substr(pos, 2);
        if (group.size() < 2) break;
        if (group == "VC") return {};  // weather in the vicinity is not reported
        if (group == "MI" || group == "BC") {
            pos += 2;
            continue;
        }
        if (const Pair *p = find_pair(kDescriptors, group)) {
            m.descri = p->letter;
        } else if (const Pair *q = m.wxtype.empty() ? find_pair(kPrecipitation, group) : nullptr) {
            m.wxtype = q->letter;
        } else if (const Pair *o = find_pair(kObscurations, group)) {
            m.obscur = o->letter;
        } else {
            break;  // unknown group or a second precipitation type
        }
        pos += 2;
    }

    if (m.wxtype.empty() && !m.obscur.empty()) return std::string(m.obscur);
    if (m.wxtype.empty() && m.descri == "T") return "T";
    std::string code;
    if (m.descri == "W") {
        code.append(m.wxtype).append("W");
    } else {
        code.append(m.descri).append(m.wxtype);
    }
    return code.append(m.intens);
}

// The table row for a present-weather value in any notation, or null.
const PhraseRow *weather_phrase(std::string_view value) {
    std::string code;
    if (!value.empty() && value[0] >= '0' && value[0] <= '9')
        code = wmo_code(leading_number(value));
    else if (value.starts_with('!'))
        code = metar_code(value);
    else
        code = value.substr(0, kCodeMax);  // only the first element matters
    return find_phrase(code);
}

}  // namespace

int WX_weather_text(const char *str, char *out_str) {
    if (out_str == nullptr) return 0;
    out_str[0] = '\0';  // what an allocation failure leaves
    return vyr::guarded(0, [&] {
        const PhraseRow *row = weather_phrase(str ? std::string_view(str) : std::string_view());
        vyr::copy_text(out_str, kPhraseMax + 1, row ? row->text : std::string_view(),
                       vyr::Overflow::Cut);
        return row ? row->count : 0;
    });
}

int WX_wmo_weather(int wx, char *wx_str) {
    vyr::copy_text(wx_str, kWmoMax + 1, wmo_code(wx), vyr::Overflow::Cut);
    return 0;
}

int WX_metar_weather(const char *wx, char *wx_str) {
    if (wx_str == nullptr) return 0;
    wx_str[0] = '\0';  // what an allocation failure leaves
    return vyr::guarded(0, [&] {
        vyr::copy_text(wx_str, kMetarMax + 1,
                       metar_code(wx ? std::string_view(wx) : std::string_view()),
                       vyr::Overflow::Cut);
        return 0;
    });
}
