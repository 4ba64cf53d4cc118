// The station database: reading records, choosing the file, searching it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "test_util.h"
#include "vyr.h"
#include "vyr_int.h"
#include "vyrcty.h"
#include "vyrresrc.h"

namespace {

class CtyTest : public vyr::test::CapturedMessagesTest {
  protected:
    void SetUp() override {
        vyr::reset_library();
        RES_put("file_path", dir.path().c_str());
    }
    void TearDown() override { vyr::reset_library(); }

    vyr::test::ScratchDir dir{"cty"};
};

// A record's fields in one line, for comparing whole records.
std::string show(const CTY_data &c) {
    char s[200];
    std::snprintf(s, sizeof s, "%s|%s|%s|%s|%c%d%c|%g|%g|%g|%d|%d", c.name, c.state, c.region, c.id,
                  c.mos, c.prior, c.ua, c.lat, c.lon, c.el, c.wmo, c.num);
    return s;
}

TEST_F(CtyTest, record_fields) {
    struct Row {
        const char *text;
        int count;
        const char *want;
    } rows[] = {
        {"DENVER CO US KDEN *2* 39.86 -104.67 1655 72469 7", 10,
         "DENVER|CO|US|KDEN|*2*|39.86|-104.67|1655|72469|7"},
        {"A CO US KA *3 1 2 3 4 5", 10, "A|CO|US|KA|*3 |1|2|3|4|5"},
        {"A CO US KA 3* 1 2 3 4 5", 10, "A|CO|US|KA| 3*|1|2|3|4|5"},
        // No trailing number: num is 0, not what the record before held.
        {"A CO US KA 4 1 2 9999 6", 9, "A|CO|US|KA| 4 |1|2|-9999|6|0"},
        {"A CO US KA 4 1 2 9000 6 1", 10, "A|CO|US|KA| 4 |1|2|9000|6|1"},
        {"A CO US KA 4 1 2 9000.5 6 1", 10, "A|CO|US|KA| 4 |1|2|-9999|6|1"},
        // Long words are cut; the fields after them stay in step.
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ COL USA KLONGIDENT1 1 1 2 3 4 5", 10,
         "ABCDEFGHIJKLMNOPQRST|CO|US|KLONGIDEN| 1 |1|2|3|4|5"},
        // Over two lines, columns run together.
        {"A CO US KA 1\n 39.86-104.67 10 1 0", 10, "A|CO|US|KA| 1 |39.86|-104.67|10|1|0"},
    };
    for (const Row &r : rows) {
        int fd = CTY_open(dir.write("one.cty", r.text).c_str(), 0, 0);
        CTY_data c;
        c.num = 99;
        EXPECT_EQ(CTY_read(fd, &c), r.count) << r.text;
        EXPECT_EQ(show(c), r.want);
    }
}

TEST_F(CtyTest, reading_stops_and_resumes) {
    CTY_data c;
    EXPECT_EQ(CTY_read(3, &c), -1);  // nothing open
    int fd = CTY_open(
        dir.write("two.cty", "A CO US KA 1 north 2 3 4 5\nB CO US KB 1 1 2 3 4 5\n").c_str(), 0, 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(CTY_read(fd + 1, &c), -1);  // not the open database
    // A word that is no number ends the record and starts the next one.
    const int counts[] = {5, 5, 10, -1};
    const char *names[] = {"A", "north", "B", "B"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(CTY_read(fd, &c), counts[i]) << i;
        EXPECT_STREQ(c.name, names[i]) << i;
    }
    EXPECT_EQ(CTY_rewind(fd), 0);
    EXPECT_EQ(CTY_read(fd, &c), 5);
    EXPECT_STREQ(c.name, "A");
    EXPECT_EQ(CTY_close(fd), 0);
    EXPECT_EQ(CTY_close(fd), -1);
    EXPECT_EQ(CTY_rewind(fd), -1);
    EXPECT_EQ(CTY_open(dir.write("x", "").c_str(), 2, 0), -1);
}

TEST_F(CtyTest, search_by_identifier_name_or_wmo_number) {
    dir.write("sao.cty",
              "DENVER CO US KDEN 1 39.86 -104.67 1655 72469 0\n"
              "BOULDER CO US KBDU 2 40.04 -105.23 1612 4018 0\n"
              "SHORT CO US KSHO 2 41 -100\n"  // cut short: never a match
              "DENVER CO US KAPA 2 39.57 -104.85 1793 99999 0\n");
    struct Row {
        const char *id;
        const char *found;  // identifier found, null for none
    } rows[] = {{"kden", "KDEN"},  {"denver", "KDEN"}, {"72469", "KDEN"}, {"04018", "KBDU"},
                {"4018", nullptr}, {"KAPA", "KAPA"},   {"KSHO", nullptr}, {"", nullptr}};
    for (const Row &r : rows) {
        CTY_data c;
        EXPECT_EQ(CTY_get(nullptr, r.id, &c), r.found ? 1 : 0) << r.id;
        if (r.found) {
            EXPECT_STREQ(c.id, r.found) << r.id;
        }
    }
    float lat = 1, lon = 2;
    EXPECT_EQ(CTY_get_loc(nullptr, "nowhere", &lat, &lon), 0);
    EXPECT_EQ(lat + lon, 3);  // unchanged
    EXPECT_EQ(CTY_get_loc(nullptr, "KBDU", &lat, &lon), 1);
    EXPECT_FLOAT_EQ(lat, 40.04f);
    EXPECT_FLOAT_EQ(lon, -105.23f);
    EXPECT_NE(out().find("Searching the city database file for: kden ...\n"), std::string::npos);
    EXPECT_EQ(err(), "");
}

TEST_F(CtyTest, choosing_the_database) {
    dir.write("sao.cty", "A CO US KAAA 1 1 1 1 1 0\n");
    dir.write("my.cty", "B CO US KBBB 1 2 2 2 2 0\n");
    dir.write("other.cty", "C CO US KCCC 1 3 3 3 3 0\n");
    float lat = 0, lon = 0;
    EXPECT_EQ(CTY_get_loc("my.cty", "KBBB", &lat, &lon), 1);
    EXPECT_EQ(CTY_get_loc("", "KAAA", &lat, &lon), 1);  // empty: the default, not stdin
    RES_put("city_file", "other.cty");                  // wins over the caller's file
    EXPECT_EQ(CTY_get_loc("my.cty", "KBBB", &lat, &lon), 0);
    EXPECT_EQ(CTY_get_loc("my.cty", "KCCC", &lat, &lon), 1);

    clear_output();
    RES_put("city_file", "NONE");
    EXPECT_EQ(CTY_get_loc("my.cty", "KBBB", &lat, &lon), 0);
    EXPECT_EQ(out() + err(), "");  // no database, no message
    RES_put("city_file", "missing.cty");
    EXPECT_EQ(CTY_get_loc(nullptr, "KAAA", &lat, &lon), 0);
    EXPECT_EQ(err(), "CTY_open_file: Database file not found: " + dir.path() + "/missing.cty\n");

    // The station count is estimated from the size, at most 4000.
    RES_put("city_file", "");
    dir.write("small.cty", std::string(59 * 3 + 58, ' '));
    dir.write("big.cty", std::string(59 * 4001, ' '));
    int n = 0;
    CTY_close(CTY_open_file("small.cty", &n));
    EXPECT_EQ(n, 3);
    CTY_close(CTY_open_file("big.cty", &n));
    EXPECT_EQ(n, 4000);
}

// The shipped database: every record whole and in the form its generator
// promises, and Denver where it is.
TEST_F(CtyTest, shipped_database_loads) {
    std::string path = std::string(VYR_SOURCE_DIR) + "/etc/sao.cty";
    std::ifstream in(path);
    int lines = 0;
    for (std::string l; std::getline(in, l);) ++lines;
    ASSERT_GT(lines, 200);
    int fd = CTY_open(path.c_str(), 0, 0);
    ASSERT_GE(fd, 0);
    CTY_data c;
    int records = 0;
    for (int n; (n = CTY_read(fd, &c)) != -1; ++records) {
        ASSERT_EQ(n, 10) << records;
        EXPECT_TRUE(std::string(c.region) == "US" && std::string(c.state).size() == 2 &&
                    (c.prior == 1 || c.prior == 2) && c.lat > 15 && c.lat < 72 && c.lon > -180 &&
                    c.lon < -60 && c.wmo == 99999)
            << show(c);
    }
    CTY_close(fd);
    EXPECT_EQ(records, lines);
    ASSERT_EQ(CTY_get(path.c_str(), "kden", &c), 1);
    EXPECT_EQ(show(c), "DENVER|CO|US|KDEN| 1 |39.8617|-104.673|1655|99999|0");
}

}  // namespace
