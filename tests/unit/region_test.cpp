// Map domains: the forms of a domain text, stations and regions as centres,
// region files and their menu, the built-in regions and station priorities.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "test_util.h"
#include "vyr.h"
#include "vyr_int.h"
#include "vyrresrc.h"

namespace {

constexpr float M = -9999.0f;
constexpr int MI = VYR_MISSING;

const char *show(const char *s) { return s ? s : "null"; }

class RegionTest : public vyr::test::CapturedMessagesTest {
  protected:
    void SetUp() override {
        vyr::reset_library();
        RES_put("file_path", dir.path().c_str());
        dir.write("sao.cty", "DENVER CO US KDEN 1 39.86 -104.67 1655 72469 0\n");
        dir.write("my.cty", "DENVER CO US KDEN 1 10.5 -20.5 1655 72469 0\n");
    }
    void TearDown() override {
        vyr::set_exit_throws(false);
        vyr::reset_library();
    }

    vyr::test::ScratchDir dir{"dom"};
};

struct Want {
    int result, proj;
    float plat, plon, clat, clon;
    int nx, ny;
    float dx, dy;
    int ellipse;
};

void expect_domain(const char *text, const Domain &d, const Want &w) {
    EXPECT_EQ(d.proj, w.proj) << text;
    EXPECT_FLOAT_EQ(d.plat, w.plat) << text;
    EXPECT_FLOAT_EQ(d.plon, w.plon) << text;
    EXPECT_FLOAT_EQ(d.clat, w.clat) << text;
    EXPECT_FLOAT_EQ(d.clon, w.clon) << text;
    EXPECT_EQ(d.nx, w.nx) << text;
    EXPECT_EQ(d.ny, w.ny) << text;
    EXPECT_FLOAT_EQ(d.dx, w.dx) << text;
    EXPECT_FLOAT_EQ(d.dy, w.dy) << text;
    EXPECT_EQ(d.ellipse, w.ellipse) << text;
}

constexpr Want kInvalid = {-1, MI, M, M, M, M, MI, MI, M, M, 0};
constexpr Want kMissing = {MI, MI, M, M, M, M, MI, MI, M, M, 0};
// A region item that found no domain text.
constexpr Want kRegionMissing = {2, MI, M, M, M, M, MI, MI, M, M, 0};

struct Row {
    const char *text;
    Want want;
};

void expect_rows(const Row *begin, const Row *end) {
    for (const Row *r = begin; r != end; ++r) {
        Domain d;
        EXPECT_EQ(DOM_decode(r->text, &d), r->want.result) << r->text;
        if (r->want.result != -1) expect_domain(r->text, d, r->want);
    }
}

TEST_F(RegionTest, forms_and_their_defaults) {
    const Row rows[] = {
        {"size,640,480", {1, 51, M, M, M, M, 640, 480, M, M, 0}},
        {"SIZE2,640,480", {1, 51, M, M, M, M, 640, 480, M, M, 0}},  // the centre form
        {"ps,-97,39,-97,25,17,2.3,2.4", {1, 1, M, -97, 39, -97, 25, 17, 2.3f, 2.4f, 0}},
        {"ps:e:60:-105,40,-100,25,17,1,1", {1, 1, 60, -105, 40, -100, 25, 17, 1, 1, 1}},
        {"ll,-97,39,-97,0.5,0.6", {1, 2, M, -97, 39, -97, 25, 17, 0.5f, 0.6f, 0}},
        // Six numbers after a keyword fit plon,clat,clon,dx,dy before nx,ny.
        {"lamb,40,-100,30,20,0.5", {1, 4, M, 40, -100, 30, 25, 17, 20, 0.5f, 0}},
        {"40,-100,30,20,0.5,0.6", {1, 1, M, M, 40, -100, 30, 20, 0.5f, 0.6f, 0}},
        {"me,40,-100,0.5,0.6", {1, 3, M, M, 40, -100, 25, 17, 0.5f, 0.6f, 0}},
        {"40,-100,30,20,0.5", {1, 1, M, M, 40, -100, 30, 20, 0.5f, 0.5f, 0}},
        {"ps,40,-100,0.5", {1, 1, M, M, 40, -100, 25, 17, 0.5f, 0.5f, 0}},
        {"40,-100,30,20", {1, 1, M, M, 40, -100, 30, 20, 1.2f, 1.2f, 0}},
        {"40,-100,2", {1, 1, M, M, 40, -100, 25, 17, 2, 2, 0}},
        {"ps,40,-100", {1, 1, M, M, 40, -100, 25, 17, 1.2f, 1.2f, 0}},
        {"zoom,40,-100", {1, 50, M, M, 40, -100, 25, 17, 1, 1, 0}},
        {"40,-100", {1, 1, M, M, 40, -100, 25, 17, 1.2f, 1.2f, 0}},
        {"none", {1, 1, M, M, M, M, 25, 17, 1.2f, 1.2f, 0}},
        // Projection parameters: one part is plon; "e" then counts as 0.
        {"ps:-105,40,-100", {1, 1, M, -105, 40, -100, 25, 17, 1.2f, 1.2f, 0}},
        {"ps:e,40,-100", {1, 1, M, 0, 40, -100, 25, 17, 1.2f, 1.2f, 0}},
        {"ps::-105,40,-100", {1, 1, M, -105, 40, -100, 25, 17, 1.2f, 1.2f, 0}},
        {"miss", kMissing},
        {"", kMissing},
        {"foo,bar", kInvalid},
        {"xx,40,-100", kInvalid},
        {"40,-100,1e99", kInvalid},
        {"nosuch", {2, -1, M, M, M, M, 25, 17, 1.2f, 1.2f, 0}},
        {"US", {2, 1, M, -97, 39, -97, 25, 17, 2.3f, 2.3f, 0}},  // built in
    };
    expect_rows(std::begin(rows), std::end(rows));
    Domain d;
    DOM_decode("ps:e:60:-105:1:2:3:4:5,40,-100", &d);
    EXPECT_EQ(d.param[0], 1);
    EXPECT_EQ(d.param[3], 4);
    EXPECT_EQ(d.param[4], M);
}

TEST_F(RegionTest, stations_as_centres) {
    const Row rows[] = {
        {"id:KDEN", {1, 1, M, M, 39.86f, -104.67f, 25, 17, 1.2f, 1.2f, 0}},
        {"id:my.cty:kden,1.0", {1, 1, M, M, 10.5f, -20.5f, 25, 17, 1, 1, 0}},
        {"id:KDEN,30,20", {1, 1, M, M, 39.86f, -104.67f, 30, 20, 1.2f, 1.2f, 0}},
        {"ll,id:KDEN,30,20,0.5", {1, 2, M, M, 39.86f, -104.67f, 30, 20, 0.5f, 0.5f, 0}},
        {"id:NOPE", kInvalid},
        // Not "id:" exactly: a region file ID and region NOPE, found nowhere.
        {"ID:NOPE", kRegionMissing},
    };
    expect_rows(std::begin(rows), std::end(rows));
    // The city_file resource wins over the file an item names.
    RES_put("city_file", "sao.cty");
    Domain d;
    EXPECT_EQ(DOM_decode("id:my.cty:KDEN", &d), 1);
    EXPECT_FLOAT_EQ(d.clat, 39.86f);
}

TEST_F(RegionTest, side_effects_of_decoding) {
    Domain d;
    struct Step {
        const char *text;
        int flag;
        const char *key;
        int priority;
    } steps[] = {
        {"us", 2, "us", 2},  // 2.3 * 16 = 36.8
        {"miss", 2, "us", 2},
        {"40,-100,4,4,0.5", 1, "40,-100,4,4,0.5", 6},
        {"foo,bar", -1, "foo,bar", 1},  // the missing values make a huge size
        {"ps,40,-100,25,17,0.5,0.5,a long name here", -1, "ps,40,-100,25,17,0.5,0.5,a_lo", 1},
    };
    for (const Step &s : steps) {
        DOM_decode(s.text, &d);
        EXPECT_EQ(flags[FLAG_DOMAIN], s.flag) << s.text;
        EXPECT_STREQ(vyr::file_key('r'), s.key) << s.text;
        EXPECT_EQ(vyr::station_priority(), s.priority) << s.text;
    }
    EXPECT_EQ(err(), "DOM_decode: Invalid plot domain\nDOM_decode: Invalid plot domain\n");

    Domain via_resource;
    EXPECT_EQ(RES_conv_data("ps,40,-100", &via_resource, CV_region), 1);
    EXPECT_EQ(via_resource.nx, 25);
}

TEST_F(RegionTest, priority_from_size_and_stat_prior) {
    struct Row {
        float size;
        const char *stat_prior;  // null: not given
        int want;
    } rows[] = {{50.01f, nullptr, 1}, {50, nullptr, 2}, {25, nullptr, 3}, {12.5f, nullptr, 4},
                {6.25f, nullptr, 5},  {3, nullptr, 6},  {36.8f, "+1", 3}, {36.8f, "-1", 1},
                {36.8f, "7", 7},      {36.8f, "x", 2},  {36.8f, "+", 2},  {3, "+9", 15}};
    for (const Row &r : rows) {
        vyr::reset_resources();
        if (r.stat_prior) RES_put("stat_prior", r.stat_prior);
        DOM_set_base_prior(r.size);
        EXPECT_EQ(vyr::station_priority(), r.want) << r.size << " " << show(r.stat_prior);
    }
}

TEST_F(RegionTest, region_files) {
    dir.write("vyr.reg",
              "# a comment\n"
              "us United_States 1 ps,40,-90,10,10,3,3\n"
              "loop Loop 0 loop\n"
              "\n"
              "after After 1 40,-100\n");
    dir.write("my.reg", "ne Northeast 1 ll,41,-75\nsw Southwest 0 ll,35,-110\n");
    dir.write("one.reg", "50,-150\n");
    const Row rows[] = {
        {"us", {2, 1, M, M, 40, -90, 10, 10, 3, 3, 0}},  // the file wins over the table
        {"fi:one.reg", {2, 1, M, M, 50, -150, 25, 17, 1.2f, 1.2f, 0}},
        {"fi:my.reg", {2, 2, M, M, 41, -75, 25, 17, 1.2f, 1.2f, 0}},
        {"my.reg:SW", {2, 2, M, M, 35, -110, 25, 17, 1.2f, 1.2f, 0}},
        {"my.reg:xx", kRegionMissing},
        {"nofile.reg:ne", kRegionMissing},
        {"after", {2, -1, M, M, M, M, 25, 17, 1.2f, 1.2f, 0}},   // past the empty line
        {"ne", {2, 1, M, -76, 42, -76, 25, 17, 0.9f, 0.9f, 0}},  // built in
    };
    expect_rows(std::begin(rows), std::end(rows));
    EXPECT_EQ(out() + err(), "");  // a region file not found is only traced

    // A region that names itself ends, at a bounded depth.
    Domain d;
    EXPECT_EQ(DOM_decode("loop", &d), 2);
    EXPECT_EQ(d.proj, MI);
    EXPECT_EQ(err(), "DOM_decode: Regions nested too deep: loop\n");
    EXPECT_EQ(DOM_decode("my.reg:ne", &d), 2);
    EXPECT_EQ(d.proj, 2);
}

TEST_F(RegionTest, search_file_lines) {
    dir.write("a.reg",
              "#c x 1 skipped\n"
              "one One 1 ll,1,2\n"
              "two Two 1 " +
                  std::string(80, '9') +
                  "\n"
                  "three Three 1 ll,3,4\n"
                  "word\n"
                  "four Four 1 ll,5,6\n");
    dir.write("b.reg", "   \none One 1 ll,1,2\n");
    struct Row {
        const char *file, *str;
        int found;
        const char *text;
    } rows[] = {
        {"a.reg", "ONE", 1, "ll,1,2"},   {"a.reg", nullptr, 1, "ll,1,2"},
        {"a.reg", "two", 0, ""},  // too long to hold
        {"a.reg", "three", 1, "ll,3,4"}, {"a.reg", "four", 1, "word"},
        {"b.reg", "one", 0, ""},         {"none.reg", "one", 0, ""},
    };
    for (const Row &r : rows) {
        char text[80] = "";
        EXPECT_EQ(DOM_search_file(r.file, r.str, text), r.found) << show(r.str);
        EXPECT_STREQ(text, r.text) << show(r.str);
    }
}

TEST_F(RegionTest, menu) {
    std::string text =
        "a Alpha_One 1 x\n# skipped\nz Zero 0 x\nlong A_name_longer_than_twenty 2 x\n";
    for (int i = 0; i < 25; ++i) text += "r" + std::to_string(i) + " R 3 x\n";
    dir.write("m.reg", text);
    dir.write("s.reg", "b Beta 4 x\n");
    int n = 0;
    EXPECT_EQ(DOM_read_menu("nofile.reg"), 0);
    EXPECT_EQ(DOM_read_menu("m.reg"), 1);
    const vyr::RegionMenuEntry *m = vyr::region_menu(&n);
    EXPECT_EQ(n, 20);  // 19 entries at most
    EXPECT_STREQ(m[1].name, "Alpha One");
    EXPECT_STREQ(m[2].abbr, "long");
    EXPECT_STREQ(m[2].name, "A name longer than t");
    EXPECT_EQ(m[2].index, 2);
    EXPECT_EQ(m[2].menu, 2);
    EXPECT_STREQ(m[19].abbr, "r16");
    EXPECT_STREQ(m[20].name, "");
    // Through a region item: the record stays missing.
    Domain d;
    EXPECT_EQ(DOM_decode("s.reg:", &d), 2);
    EXPECT_EQ(d.proj, MI);
    m = vyr::region_menu(&n);
    EXPECT_EQ(n, 2);
    EXPECT_STREQ(m[1].name, "Beta");
    EXPECT_STREQ(m[2].name, "");
}

TEST_F(RegionTest, var_asks_for_the_centre) {
    feed("set stat_prior 5\n40\nnorth\n-100\n");
    Domain d;
    EXPECT_EQ(DOM_decode("var", &d), 2);
    EXPECT_FLOAT_EQ(d.clat, 40);
    EXPECT_FLOAT_EQ(d.clon, -100);
    EXPECT_FLOAT_EQ(d.plon, -100);
    EXPECT_EQ(vyr::station_priority(), 5);
    EXPECT_NE(out().find("Enter the central longitude: "), std::string::npos);

    // An exit at the prompt leaves the decoder ready for the next text.
    vyr::set_exit_throws(true);
    feed("exit\n");
    EXPECT_THROW(DOM_decode("var", &d), vyr::exit_request);
    EXPECT_EQ(DOM_decode("ps,40,-100", &d), 1);
    dir.write("vyr.reg", "a A 0 b\nb B 0 c\nc C 0 d\nd D 0 e\ne E 0 f\nf F 0 g\ng G 0 ps,1,2\n");
    EXPECT_EQ(DOM_decode("a", &d), 2);
    EXPECT_EQ(d.clat, 1);  // eight levels deep, as deep as allowed
}

TEST(region_proj, keywords_in_order) {
    struct Row {
        const char *text;
        int code;
    } rows[] = {{"lat", 2},      {"LAMBAZ", 4}, {"la", 8},     {"lc", 4},    {"Polar", 1},
                {"pola", -1},    {"xp", 25},    {"xpx", -1},   {"xy", 20},   {"xlogy", 22},
                {"therm", 40},   {"teph", 43},  {"rteph", 44}, {"hodo", 23}, {"miss", VYR_MISSING},
                {"missing", -1}, {"", -1},      {nullptr, -1}};
    for (const Row &r : rows) EXPECT_EQ(DOM_proj_str(r.text), r.code) << show(r.text);
}

// The shipped region file: every region decodes, and those of the built-in
// table give the table's record.
TEST_F(RegionTest, shipped_region_file) {
    RES_put("file_path", VYR_SOURCE_DIR "/etc");
    const char *builtins[] = {"us", "ne", "at", "se", "mw", "sp", "nw", "sw"};
    for (const char *name : builtins) {
        char text[80];
        ASSERT_EQ(DOM_search_file(nullptr, name, text), 1) << name;
        Domain from_file, table;
        EXPECT_EQ(DOM_decode(text, &from_file), 1) << name;
        DOM_init(&table);
        ASSERT_EQ(DOM_get_def_region(name, &table), 1);
        EXPECT_EQ(memcmp(&from_file, &table, sizeof table), 0) << name;
    }
    ASSERT_EQ(DOM_read_menu(nullptr), 1);
    int n = 0;
    const vyr::RegionMenuEntry *m = vyr::region_menu(&n);
    EXPECT_GT(n, 9);
    EXPECT_STREQ(m[1].name, "United States");
    std::ifstream in(VYR_SOURCE_DIR "/etc/vyr.reg");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::string abbr = line.substr(0, line.find(' '));
        Domain d;
        EXPECT_EQ(DOM_decode(abbr.c_str(), &d), 2) << abbr;
        EXPECT_GT(d.nx, 0) << abbr;
        EXPECT_NE(d.clat, M) << abbr;
    }
    EXPECT_EQ(err(), "");
}

}  // namespace
