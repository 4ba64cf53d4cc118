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

    // Opens text as the database and reads its first record into c.
    int first_record(const std::string &text, CTY_data &c) {
        int fd = CTY_open(dir.write("one.cty", text).c_str(), 0, 0);
        EXPECT_GE(fd, 0);
        return CTY_read(fd, &c);
    }

    vyr::test::ScratchDir dir{"cty"};
};

TEST_F(CtyTest, record_fields) {
    struct Row {
        const char *text;
        int count;
        const char *name, *id;
        int prior;
        char mos, ua;
        float lat, lon, el;
        int wmo, num;
    } rows[] = {
        {"DENVER CO US KDEN *2* 39.86 -104.67 1655 72469 7", 10, "DENVER", "KDEN", 2, '*', '*',
         39.86f, -104.67f, 1655, 72469, 7},
        {"A CO US KA *3 1 2 3 4 5", 10, "A", "KA", 3, '*', ' ', 1, 2, 3, 4, 5},
        {"A CO US KA 3* 1 2 3 4 5", 10, "A", "KA", 3, ' ', '*', 1, 2, 3, 4, 5},
        // No trailing number: num is 0, not the last record's.
        {"A CO US KA 4 1 2 9999 6", 9, "A", "KA", 4, ' ', ' ', 1, 2, -9999, 6, 0},
        {"A CO US KA 4 1 2 9000 6 1", 10, "A", "KA", 4, ' ', ' ', 1, 2, 9000, 6, 1},
        {"A CO US KA 4 1 2 9000.5 6 1", 10, "A", "KA", 4, ' ', ' ', 1, 2, -9999, 6, 1},
        // A long name is cut; the fields after it stay in step.
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ CO US KLONGIDENT1 1 1 2 3 4 5", 10, "ABCDEFGHIJKLMNOPQRST",
         "KLONGIDEN", 1, ' ', ' ', 1, 2, 3, 4, 5},
        // Columns run together: the second number starts where the first ends.
        {"A CO US KA 1\n 39.86-104.67 10 1 0", 10, "A", "KA", 1, ' ', ' ', 39.86f, -104.67f, 10, 1,
         0},
    };
    for (const Row &r : rows) {
        CTY_data c;
        c.num = 99;
        EXPECT_EQ(first_record(r.text, c), r.count) << r.text;
        EXPECT_STREQ(c.name, r.name) << r.text;
        EXPECT_STREQ(c.state, "CO") << r.text;
        EXPECT_STREQ(c.region, "US") << r.text;
        EXPECT_STREQ(c.id, r.id) << r.text;
        EXPECT_EQ(c.prior, r.prior) << r.text;
        EXPECT_EQ(c.mos, r.mos) << r.text;
        EXPECT_EQ(c.ua, r.ua) << r.text;
        EXPECT_FLOAT_EQ(c.lat, r.lat) << r.text;
        EXPECT_FLOAT_EQ(c.lon, r.lon) << r.text;
        EXPECT_FLOAT_EQ(c.el, r.el) << r.text;
        EXPECT_EQ(c.wmo, r.wmo) << r.text;
        EXPECT_EQ(c.num, r.num) << r.text;
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
    EXPECT_EQ(CTY_read(fd, &c), 5);
    EXPECT_EQ(CTY_read(fd, &c), 5);
    EXPECT_STREQ(c.name, "north");
    EXPECT_EQ(CTY_read(fd, &c), 10);
    EXPECT_STREQ(c.name, "B");
    EXPECT_EQ(CTY_read(fd, &c), -1);
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
    EXPECT_EQ(lat, 1);
    EXPECT_EQ(lon, 2);
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
    EXPECT_FLOAT_EQ(lat, 3);

    clear_output();
    RES_put("city_file", "NONE");
    int n = 7;
    EXPECT_EQ(CTY_open_file("my.cty", &n), -1);
    EXPECT_EQ(CTY_get_loc("my.cty", "KBBB", &lat, &lon), 0);
    EXPECT_EQ(out() + err(), "");  // no database, no message

    RES_put("city_file", "missing.cty");
    EXPECT_EQ(CTY_get_loc(nullptr, "KAAA", &lat, &lon), 0);
    EXPECT_EQ(err(), "CTY_open_file: Database file not found: " + dir.path() + "/missing.cty\n");

    // The station count is estimated from the size, at most 4000.
    RES_put("city_file", "");
    dir.write("big.cty", std::string(59 * 4001, ' '));
    dir.write("small.cty", std::string(59 * 3 + 58, ' '));
    struct Row {
        const char *file;
        int want;
    } rows[] = {{"small.cty", 3}, {"big.cty", 4000}};
    for (const Row &r : rows) {
        int fd = CTY_open_file(r.file, &n);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(n, r.want) << r.file;
        CTY_close(fd);
    }
}

// The shipped database: every record whole and in the form the generator
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
        EXPECT_EQ(std::string(c.region), "US") << c.id;
        EXPECT_EQ(std::string(c.state).size(), 2u) << c.id;
        EXPECT_TRUE(c.prior == 1 || c.prior == 2) << c.id;
        EXPECT_TRUE(c.lat > 15 && c.lat < 72 && c.lon > -180 && c.lon < -60) << c.id;
        EXPECT_EQ(c.wmo, 99999) << c.id;
    }
    CTY_close(fd);
    EXPECT_EQ(records, lines);
    CTY_data den;
    ASSERT_EQ(CTY_get(path.c_str(), "kden", &den), 1);
    EXPECT_STREQ(den.name, "DENVER");
    EXPECT_EQ(den.prior, 1);
    EXPECT_NEAR(den.lat, 39.86, 0.01);
    EXPECT_NEAR(den.lon, -104.67, 0.01);
    EXPECT_NEAR(den.el, 1655, 1);
}

}  // namespace
