// Map domains: the forms of a domain text, stations and regions as centres,
// region files and their menu, the built-in regions and station priorities.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "test_util.h"
#include "vyr.h"
#include "vyr_int.h"
#include "vyrresrc.h"

namespace {

const char *show(const char *s) { return s ? s : "null"; }

// Result and record in one line: "result proj plat/plon clat/clon nx ny dx
// dy ellipse", -9999 shown as M.
std::string decoded(const char *text) {
    Domain d;
    int r = DOM_decode(text, &d);
    auto f = [](float v) {
        char s[32];
        std::snprintf(s, sizeof s, "%g", v);
        return v == -9999.0f ? std::string("M") : std::string(s);
    };
    auto i = [](int v) { return v == VYR_MISSING ? std::string("M") : std::to_string(v); };
    return i(r) + " " + i(d.proj) + " " + f(d.plat) + "/" + f(d.plon) + " " + f(d.clat) + "/" +
           f(d.clon) + " " + i(d.nx) + " " + i(d.ny) + " " + f(d.dx) + " " + f(d.dy) + " " +
           i(d.ellipse);
}

struct Row {
    const char *text;
    const char *want;  // as decoded() shows it; only the result for an invalid text
};

void expect_rows(const Row *begin, const Row *end) {
    for (const Row *r = begin; r != end; ++r) {
        std::string got = decoded(r->text);
        if (std::strcmp(r->want, "-1") == 0) got = got.substr(0, 2);
        EXPECT_EQ(got, r->want) << show(r->text);
    }
}

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

TEST_F(RegionTest, forms_and_their_defaults) {
    const Row rows[] = {
        {"size,640,480", "1 51 M/M M/M 640 480 M M 0"},
        {"SIZE2,640,480", "1 51 M/M M/M 640 480 M M 0"},  // through proj,clat,clon
        {"ps,-97,39,-97,25,17,2.3,2.4", "1 1 M/-97 39/-97 25 17 2.3 2.4 0"},
        {"ps:e:60:-105,40,-100,25,17,1,1", "1 1 60/-105 40/-100 25 17 1 1 1"},
        // Six numbers after a keyword are plon,clat,clon,dx,dy, never nx,ny.
        {"lamb,40,-100,30,20,0.5", "1 4 M/40 -100/30 25 17 20 0.5 0"},
        {"ll,id:KDEN,30,20,0.5", "1 2 M/M 39.86/-104.67 30 20 0.5 0.5 0"},
        {"40,-100,30,20,0.5,0.6", "1 1 M/M 40/-100 30 20 0.5 0.6 0"},
        {"me,40,-100,0.5,0.6", "1 3 M/M 40/-100 25 17 0.5 0.6 0"},
        {"40,-100,30,20,0.5", "1 1 M/M 40/-100 30 20 0.5 0.5 0"},
        {"ps,40,-100,0.5", "1 1 M/M 40/-100 25 17 0.5 0.5 0"},
        {"40,-100,30,20", "1 1 M/M 40/-100 30 20 1.2 1.2 0"},
        {"40,-100,2", "1 1 M/M 40/-100 25 17 2 2 0"},
        {"ps,40,-100", "1 1 M/M 40/-100 25 17 1.2 1.2 0"},
        {"zoom,40,-100", "1 50 M/M 40/-100 25 17 1 1 0"},
        {"40,-100", "1 1 M/M 40/-100 25 17 1.2 1.2 0"},
        {"none", "1 1 M/M M/M 25 17 1.2 1.2 0"},
        {"ps:-105,40,-100", "1 1 M/-105 40/-100 25 17 1.2 1.2 0"},
        {"ps:e,40,-100", "1 1 M/0 40/-100 25 17 1.2 1.2 0"},  // one part: plon
        {"ps::-105,40,-100", "1 1 M/-105 40/-100 25 17 1.2 1.2 0"},
        {"miss", "M M M/M M/M M M M M 0"},
        {"", "M M M/M M/M M M M M 0"},
        {nullptr, "M M M/M M/M M M M M 0"},
        {"foo,bar", "-1"},
        {"xx,40,-100", "-1"},
        {"40,-100,1e99", "-1"},
        {"nosuch", "2 -1 M/M M/M 25 17 1.2 1.2 0"},
        {"US", "2 1 M/-97 39/-97 25 17 2.3 2.3 0"},  // built in
        {"id:KDEN", "1 1 M/M 39.86/-104.67 25 17 1.2 1.2 0"},
        {"id:my.cty:kden,1.0", "1 1 M/M 10.5/-20.5 25 17 1 1 0"},
        {"id:KDEN,30,20", "1 1 M/M 39.86/-104.67 30 20 1.2 1.2 0"},
        {"id:NOPE", "-1"},
        {"ID:NOPE", "2 M M/M M/M M M M M 0"},  // region NOPE of a file ID, not found
    };
    expect_rows(std::begin(rows), std::end(rows));
    Domain d;
    DOM_decode("ps:e:60:-105:1:2:3:4:5,40,-100", &d);
    EXPECT_EQ(d.param[0] + d.param[3], 5);
    EXPECT_EQ(d.param[4], -9999);
    // The city_file resource wins over the file an item names.
    RES_put("city_file", "sao.cty");
    EXPECT_EQ(decoded("id:my.cty:KDEN"), "1 1 M/M 39.86/-104.67 25 17 1.2 1.2 0");
}

TEST_F(RegionTest, flag_key_and_priority) {
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
        Domain d;
        DOM_decode(s.text, &d);
        EXPECT_EQ(flags[FLAG_DOMAIN], s.flag) << s.text;
        EXPECT_STREQ(vyr::file_key('r'), s.key) << s.text;
        EXPECT_EQ(vyr::station_priority(), s.priority) << s.text;
    }
    EXPECT_EQ(err(), "DOM_decode: Invalid plot domain\nDOM_decode: Invalid plot domain\n");
    Domain via_resource;
    EXPECT_EQ(RES_conv_data("ps,40,-100", &via_resource, CV_region), 1);
    EXPECT_EQ(via_resource.nx, 25);

    struct Prior {
        float size;
        const char *stat_prior;  // null: not given
        int want;
    } priors[] = {{50.01f, nullptr, 1}, {50, nullptr, 2}, {25, nullptr, 3}, {12.5f, nullptr, 4},
                  {6.25f, nullptr, 5},  {3, nullptr, 6},  {36.8f, "+1", 3}, {36.8f, "-1", 1},
                  {36.8f, "7", 7},      {36.8f, "x", 2},  {36.8f, "+", 2},  {3, "+9", 15}};
    for (const Prior &p : priors) {
        vyr::reset_resources();
        if (p.stat_prior) RES_put("stat_prior", p.stat_prior);
        DOM_set_base_prior(p.size);
        EXPECT_EQ(vyr::station_priority(), p.want) << p.size << " " << show(p.stat_prior);
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
        {"us", "2 1 M/M 40/-90 10 10 3 3 0"},  // the file wins over the table
        {"fi:one.reg", "2 1 M/M 50/-150 25 17 1.2 1.2 0"},
        {"fi:my.reg", "2 2 M/M 41/-75 25 17 1.2 1.2 0"},
        {"my.reg:SW", "2 2 M/M 35/-110 25 17 1.2 1.2 0"},
        {"my.reg:xx", "2 M M/M M/M M M M M 0"},
        {"nofile.reg:ne", "2 M M/M M/M M M M M 0"},
        {"after", "2 -1 M/M M/M 25 17 1.2 1.2 0"},   // past the empty line
        {"ne", "2 1 M/-76 42/-76 25 17 0.9 0.9 0"},  // built in
    };
    expect_rows(std::begin(rows), std::end(rows));
    EXPECT_EQ(out() + err(), "");  // a region file not found is only traced

    // A region that names itself ends, at a bounded depth.
    EXPECT_EQ(decoded("loop"), "2 M M/M M/M M M M M 0");
    EXPECT_EQ(err(), "DOM_decode: Regions nested too deep: loop\n");
    EXPECT_EQ(decoded("my.reg:ne"), "2 2 M/M 41/-75 25 17 1.2 1.2 0");
}

TEST_F(RegionTest, search_file_lines) {
    dir.write("a.reg", "#c x 1 skipped\none One 1 ll,1,2\ntwo Two 1 " + std::string(80, '9') +
                           "\nthree Three 1 ll,3,4\nword\nfour Four 1 ll,5,6\n");
    dir.write("b.reg", "   \none One 1 ll,1,2\n");
    struct Row {
        const char *file, *str;
        const char *text;  // null: not found
    } rows[] = {
        {"a.reg", "ONE", "ll,1,2"},   {"a.reg", nullptr, "ll,1,2"}, {"a.reg", "two", nullptr},
        {"a.reg", "three", "ll,3,4"}, {"a.reg", "four", "word"},    {"b.reg", "one", nullptr},
    };
    for (const Row &r : rows) {
        char text[80] = "";
        EXPECT_EQ(DOM_search_file(r.file, r.str, text), r.text ? 1 : 0) << show(r.str);
        EXPECT_STREQ(text, r.text ? r.text : "") << show(r.str);
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
    EXPECT_STREQ(m[2].name, "A name longer than t");
    EXPECT_EQ(m[2].index * 10 + m[2].menu, 22);
    EXPECT_STREQ(m[19].abbr, "r16");
    EXPECT_STREQ(m[20].name, "");
    // Through a region item the record stays missing.
    EXPECT_EQ(decoded("s.reg:"), "2 M M/M M/M M M M M 0");
    m = vyr::region_menu(&n);
    EXPECT_EQ(n, 2);
    EXPECT_STREQ(m[1].name, "Beta");
    EXPECT_STREQ(m[2].name, "");
}

TEST_F(RegionTest, var_asks_for_the_centre) {
    feed("set stat_prior 5\n40\nnorth\n-100\n");
    EXPECT_EQ(decoded("var"), "2 1 M/-100 40/-100 25 17 1.2 1.2 0");
    EXPECT_EQ(vyr::station_priority(), 5);
    EXPECT_NE(out().find("Enter the central longitude: "), std::string::npos);

    // An exit at the prompt leaves the decoder ready for the next text.
    vyr::set_exit_throws(true);
    feed("exit\n");
    Domain d;
    EXPECT_THROW(DOM_decode("var", &d), vyr::exit_request);
    dir.write("vyr.reg", "a A 0 b\nb B 0 c\nc C 0 d\nd D 0 e\ne E 0 f\nf F 0 g\ng G 0 ps,1,2\n");
    EXPECT_EQ(decoded("a"), "2 1 M/M 1/2 25 17 1.2 1.2 0");  // as deep as allowed
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
    for (const char *name : {"us", "ne", "at", "se", "mw", "sp", "nw", "sw"}) {
        char text[80];
        ASSERT_EQ(DOM_search_file(nullptr, name, text), 1) << name;
        Domain from_file, table;
        EXPECT_EQ(DOM_decode(text, &from_file), 1) << name;
        DOM_init(&table);
        ASSERT_EQ(DOM_get_def_region(name, &table), 1);
        EXPECT_EQ(std::memcmp(&from_file, &table, sizeof table), 0) << name;
    }
    ASSERT_EQ(DOM_read_menu(nullptr), 1);
    int n = 0;
    EXPECT_STREQ(vyr::region_menu(&n)[1].name, "United States");
    EXPECT_GT(n, 9);
    std::ifstream in(VYR_SOURCE_DIR "/etc/vyr.reg");
    for (std::string line; std::getline(in, line);) {
        if (line[0] == '#') continue;
        Domain d;
        EXPECT_EQ(DOM_decode(line.substr(0, line.find(' ')).c_str(), &d), 2) << line;
        EXPECT_TRUE((d.proj == 1 || d.proj == 2) && d.clat != -9999 && d.nx > 0) << line;
    }
    EXPECT_EQ(err(), "");
}

}  // namespace
