#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "vyr.h"

namespace {

struct Phrase {
    std::string text;
    int count;
};

Phrase text_of(const char *value) {
    char out[26];
    std::memset(out, 'x', sizeof out);
    const int count = WX_weather_text(value, out);
    return {std::string(out, strnlen(out, sizeof out)), count};
}

std::string wmo_code(int wx) {
    char code[7];
    std::memset(code, 'x', sizeof code);
    EXPECT_EQ(WX_wmo_weather(wx, code), 0);
    return std::string(code, strnlen(code, sizeof code));
}

std::string metar_code(const char *group) {
    char code[15];
    std::memset(code, 'x', sizeof code);
    EXPECT_EQ(WX_metar_weather(group, code), 0);
    return std::string(code, strnlen(code, sizeof code));
}

// The WMO ww table as ranges; every code from 0 to 100 must fall in a row.
struct WmoRow {
    int first, last;
    const char *code;
    const char *text;
    int count;
};

const WmoRow kWmoRows[] = {
    {0, 3, " ", "", 0},
    {4, 4, "K", "smoke", 1},
    {5, 5, "H", "haze", 1},
    {6, 9, "D", "dust", 1},
    {10, 12, "F", "fog", 1},
    {13, 16, " ", "", 0},
    {17, 17, "T", "thunder", 1},
    {18, 27, " ", "", 0},
    {28, 28, "F", "fog", 1},
    {29, 29, "T", "thunder", 1},
    {30, 35, "D", "dust", 1},
    {36, 39, "BS", "blowing snow", 2},
    {40, 49, "F", "fog", 1},
    {50, 51, "L-", "light drizzle", 2},
    {52, 53, "L", "moderate drizzle", 1},
    {54, 55, "L+", "heavy drizzle", 2},
    {56, 56, "ZL-", "light freezing drizzle", 3},
    {57, 57, "ZL", "moderate freezing drizzle", 2},
    {58, 58, "L-R", "light drizzle", 2},
    {59, 59, "LR", "moderate drizzle", 1},
    {60, 61, "R-", "light rain", 2},
    {62, 63, "R", "moderate rain", 1},
    {64, 65, "R+", "heavy rain", 2},
    {66, 66, "ZR-", "light freezing rain", 3},
    {67, 67, "ZR", "moderate freezing rain", 2},
    {68, 68, "R-L", "light rain", 2},
    {69, 69, "RL", "moderate rain", 1},
    {70, 71, "S-", "light snow", 2},
    {72, 73, "S", "moderate snow", 1},
    {74, 75, "S+", "heavy snow", 2},
    {76, 76, "IC", "ice crystals", 2},
    {77, 77, "SG", "snow grains", 2},
    {78, 78, "IC", "ice crystals", 2},
    {79, 79, "IP", "ice pellets", 2},
    {80, 80, "RW-", "light rain showers", 3},
    {81, 81, "RW", "moderate rain showers", 2},
    {82, 82, "RW+", "heavy rain showers", 3},
    {83, 83, "RW-SW-", "light rain showers", 3},
    {84, 84, "RWSW", "moderate rain showers", 2},
    {85, 85, "SW-", "light snow showers", 3},
    {86, 86, "SW", "moderate snow showers", 2},
    {87, 88, "IPW", "ice pellets", 2},
    {89, 90, "A", "hail", 1},
    {91, 91, "R-", "light rain", 2},
    {92, 92, "R", "moderate rain", 1},
    {93, 93, "S-", "light snow", 2},
    {94, 94, "S", "moderate snow", 1},
    {95, 95, "TRW-", "light thunderstorm", 4},
    {96, 96, "TRW", "moderate thunderstorm", 3},
    {97, 97, "TRW+", "heavy thunderstorm", 4},
    {98, 98, "TRWD", "moderate thunderstorm", 3},
    {99, 99, "TRW+A", "heavy thunderstorm", 4},
    {100, 100, " ", "", 0},
};

TEST(wx_tool_test, wmo_table_covers_every_code) {
    for (int wx = 0; wx <= 100; ++wx) {
        const WmoRow *row = nullptr;
        for (const WmoRow &r : kWmoRows)
            if (wx >= r.first && wx <= r.last) row = &r;
        ASSERT_NE(row, nullptr) << wx;
        EXPECT_EQ(wmo_code(wx), row->code) << wx;
        const Phrase p = text_of(std::to_string(wx).c_str());
        EXPECT_EQ(p.text, row->text) << wx;
        EXPECT_EQ(p.count, row->count) << wx;
    }
}

TEST(wx_tool_test, wmo_codes_outside_the_table_are_blank) {
    for (int wx : {-1, -9999, INT_MIN, 101, 150, 999, INT_MAX}) EXPECT_EQ(wmo_code(wx), " ") << wx;
    struct {
        const char *value, *text;
        int count;
    } rows[] = {
        {"101", "", 0},
        {"999", "", 0},
        {"99999999999999999999999999999999", "", 0},  // no overflow, just too large
        {"4294967357", "", 0},  // 2^32 + 61: a wrapped conversion would say light rain
        {"0000000000000000000000000000061", "light rain", 2},
        {"61.0", "light rain", 2},  // the conversion stops at the point
        {"61abc", "light rain", 2},
        {"9 ", "dust", 1},
        {"-1", "", 0},  // a sign, not a number: a letter code that matches nothing
    };
    for (const auto &r : rows) {
        const Phrase p = text_of(r.value);
        EXPECT_EQ(p.text, r.text) << r.value;
        EXPECT_EQ(p.count, r.count) << r.value;
    }
}

TEST(wx_tool_test, letter_codes_give_phrase_and_count) {
    struct {
        const char *code, *text;
        int count;
    } rows[] = {
        {"A", "hail", 1},
        {"K", "smoke", 1},
        {"H", "haze", 1},
        {"F", "fog", 1},
        {"GF", "ground fog", 2},
        {"TRW+", "heavy thunderstorm", 4},
        {"TRW-", "light thunderstorm", 4},
        {"TRW", "moderate thunderstorm", 3},
        {"TRWD", "moderate thunderstorm", 3},
        {"TRW+A", "heavy thunderstorm", 4},
        {"TR+", "heavy thunderstorm", 3},
        {"TR-", "light thunderstorm", 3},
        {"TR", "moderate thunderstorm", 2},
        {"TRS", "moderate thunderstorm", 2},
        {"T+", "heavy thunder", 2},
        {"T-", "light thunder", 2},
        {"T", "thunder", 1},
        {"TS", "thunder", 1},
        {"RW+", "heavy rain showers", 3},
        {"RW-", "light rain showers", 3},
        {"RW", "moderate rain showers", 2},
        {"RWS", "moderate rain showers", 2},
        {"R+", "heavy rain", 2},
        {"R-", "light rain", 2},
        {"R", "moderate rain", 1},
        {"RL", "moderate rain", 1},
        {"SW+", "heavy snow showers", 3},
        {"SW-", "light snow showers", 3},
        {"SW", "moderate snow showers", 2},
        {"SWX", "moderate snow showers", 2},
        {"S+", "heavy snow", 2},
        {"S-", "light snow", 2},
        {"SG", "snow grains", 2},
        {"SP", "snow pellets", 2},
        {"S", "moderate snow", 1},
        {"SR", "moderate snow", 1},
        {"L+", "heavy drizzle", 2},
        {"L-", "light drizzle", 2},
        {"L-R", "light drizzle", 2},
        {"L", "moderate drizzle", 1},
        {"LW", "moderate drizzle", 1},
        {"ZR+", "heavy freezing rain", 3},
        {"ZR-", "light freezing rain", 3},
        {"ZR", "moderate freezing rain", 2},
        {"ZRX", "moderate freezing rain", 2},
        {"ZL+", "heavy freezing drizzle", 3},
        {"ZL-", "light freezing drizzle", 3},
        {"ZL", "moderate freezing drizzle", 2},
        {"ZL ", "moderate freezing drizzle", 2},
        {"BD", "blowing dust", 2},
        {"BS", "blowing snow", 2},
        {"IP", "ice pellets", 2},
        {"IPW", "ice pellets", 2},
        {"IC", "ice crystals", 2},
        {"IF", "ice fog", 2},
        {"D", "dust", 1},
        // Nothing matches: the empty text and a count of 0.
        {"", "", 0},
        {" ", "", 0},
        {" R", "", 0},
        {"+", "", 0},
        {"-", "", 0},
        {"-R", "", 0},
        {"W", "", 0},
        {"X", "", 0},
        {"G", "", 0},
        {"GX", "", 0},
        {"Z", "", 0},
        {"ZX", "", 0},
        {"B", "", 0},
        {"BX", "", 0},
        {"I", "", 0},
        {"IX", "", 0},
        {"r", "", 0},  // letters are compared exactly
        {"rw+", "", 0},
        {"tRW", "", 0},
    };
    for (const auto &r : rows) {
        const Phrase p = text_of(r.code);
        EXPECT_EQ(p.text, r.text) << '"' << r.code << '"';
        EXPECT_EQ(p.count, r.count) << '"' << r.code << '"';
    }
}

TEST(wx_tool_test, metar_groups_give_letter_codes) {
    struct {
        const char *group, *code;
    } rows[] = {
        {"+TSRA", "TR+"},
        {"!+TSRA", "TR+"},
        {"-SHRA", "RW-"},
        {"FZDZ", "ZL"},
        {"-FZRA", "ZR-"},
        {"BLSN", "BS"},
        {"DRSN", "BS"},
        {"BLDU", "D"},
        {"BR", "H"},
        {"HZ", "H"},
        {"FG", "F"},
        {"MIFG", "F"},
        {"BCFG", "F"},
        {"SA", "D"},
        {"DU", "D"},
        {"FU", "K"},
        {"RASN", "R"},  // a second precipitation type ends the scan
        {"SNRA", "S"},
        {"SHRASN", "RW"},
        {"TSSN", "TS"},
        {"TS", "T"},
        {"+TS", "T"},  // thunder alone carries no sign
        {"SH", "W"},
        {"SHGS", "IPW"},
        {"+SHSN", "SW+"},
        {"PE", "IP"},
        {"PL", "IP"},
        {"GS", "IP"},
        {"SG", "SG"},
        {"IC", "IC"},
        {"-SN", "S-"},
        {"-+RA", "R+"},    // a later sign replaces an earlier one
        {"SHTSRA", "TR"},  // and so does a later descriptor
        {"HZFG", "F"},     // and a later obscuration
        {"-RABR", "R-"},   // precipitation wins over obscuration
        {"BRRA", "R"},
        {"FGTS", "F"},
        {"RA SN", "R"},  // no separators: the blank ends the
                         // scan
        {"RAXXSN", "R"},
        {"VCSH", ""},
        {"!VCTS", ""},
        {"+VCTS", ""},
        {"RAVC", ""},  // the vicinity empties the code wherever it stands
        {"GR", ""},    // hail is not recognised
        {"XXRA", ""},
        {"R", ""},  // a lone last letter is no group
        {"RAF", "R"},
        {"-", "-"},
        {"!", ""},
        {"", ""},
        {"ra", ""},
        {"!!RA", ""},  // only one marker is skipped
    };
    for (const auto &r : rows) EXPECT_EQ(metar_code(r.group), r.code) << '"' << r.group << '"';
}

TEST(wx_tool_test, metar_values_give_phrases) {
    struct {
        const char *value, *text;
        int count;
    } rows[] = {
        {"!+TSRA", "heavy thunderstorm", 3},
        {"!-SHRA", "light rain showers", 3},
        {"!FZDZ", "moderate freezing drizzle", 2},
        {"!BLSN", "blowing snow", 2},
        {"!BLDU", "dust", 1},
        {"!BR", "haze", 1},
        {"!MIFG", "fog", 1},
        {"!RASN", "moderate rain", 1},
        {"!TSSN", "thunder", 1},
        {"!SHGS", "ice pellets", 2},
        {"!VCSH", "", 0},
        {"!VCTS", "", 0},
        {"!GR", "", 0},
        {"!", "", 0},
    };
    for (const auto &r : rows) {
        const Phrase p = text_of(r.value);
        EXPECT_EQ(p.text, r.text) << r.value;
        EXPECT_EQ(p.count, r.count) << r.value;
    }
}

TEST(wx_tool_test, long_values_are_handled_safely) {
    // A letter code longer than the work buffer is cut; only its start counts.
    const std::string code = "RW+" + std::string(500, 'S');
    Phrase p = text_of(code.c_str());
    EXPECT_EQ(p.text, "heavy rain showers");
    EXPECT_EQ(p.count, 3);

    // A very long METAR group is scanned to its end.
    std::string group = "!-SHRA";
    for (int i = 0; i < 5000; ++i) group += "FG";
    EXPECT_EQ(metar_code(group.c_str()), "RW-");
    group += "VC";
    EXPECT_EQ(metar_code(group.c_str()), "");

    // The longest phrase fills the 26 bytes exactly; nothing is written past.
    char out[40];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(WX_weather_text("ZL", out), 2);
    EXPECT_STREQ(out, "moderate freezing drizzle");
    for (std::size_t i = 26; i < sizeof out; ++i) EXPECT_EQ(out[i], '#') << i;

    // The longest WMO letter code fits its 7 bytes.
    char wmo[12];
    std::memset(wmo, '#', sizeof wmo);
    WX_wmo_weather(83, wmo);
    EXPECT_STREQ(wmo, "RW-SW-");
    for (std::size_t i = 7; i < sizeof wmo; ++i) EXPECT_EQ(wmo[i], '#') << i;
}

TEST(wx_tool_test, null_arguments_are_harmless) {
    char out[26] = "stale";
    EXPECT_EQ(WX_weather_text(nullptr, out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(WX_weather_text("R", nullptr), 0);
    char code[15] = "stale";
    EXPECT_EQ(WX_metar_weather(nullptr, code), 0);
    EXPECT_STREQ(code, "");
    EXPECT_EQ(WX_metar_weather("RA", nullptr), 0);
    EXPECT_EQ(WX_wmo_weather(61, nullptr), 0);
}

}  // namespace
