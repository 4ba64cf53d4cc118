// Name patterns: names written for a date, the directory a name keeps, the
// listing's wildcard, the convention file, and FILE_set_date around them.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "files_fixture.h"

namespace {

using namespace vyr::files;
using vyr::test::kUnset;
using vyr::test::M;
using vyr::test::table;

constexpr Date kDec7 = {2026, 12, 7, 341, 1, 13, 35, 0};  // 7 Dec 2026 13:35

Date with_set(int day, int hour, int min) {
    Date s = kUnset;
    s.day = day;
    s.hour = hour;
    s.min = min;
    return s;
}

TEST(files_pattern_test, names_and_periods) {
    Keys keys;
    keys['r'] = "west";
    Context ctx;
    ctx.resource = table({{"raw_path", "/data/raw"}, {"region", "r1"}});
    ctx.keys = &keys;
    ctx.ext = "shef";
    struct Row {
        const char *pattern;
        Date source, set;
        const char *name;
        int64_t period;
    };
    const Row rows[] = {
        {"%R/%Y%m%d%h.raw", kDec7, kUnset, "/data/raw/2026120713.raw", 3600},
        {"%R/%y%m%d%3h.raw", kDec7, kUnset, "/data/raw/26120712.raw", 10800},
        {"%R/%b%d_%Y", kDec7, kUnset, "/data/raw/dec07_2026", 86400},
        {"%D/%y%j.%e", kDec7, kUnset, "./26341.shef", 86400},
        {"sfc obs.%Y", kDec7, kUnset, "sfc_obs.2026", kNoPeriod},
        {"%y%m%d%3h", kDec7, with_set(M, -306, M), "26120715", 21600},
        {"%2d", kDec7, kUnset, "06", 172800},
        {"%d%12h%n", {2026, 1, 9, M, M, 11, 5, 0}, kUnset, "090005", 60},
        {"%3h", {2026, 1, 9, M, M, 23, 0, 0}, kUnset, "21", 10800},
        {"%d", kDec7, with_set(-2, M, M), "06", 172800},
        {"%Y%m%d%h", {M, M, M, M, M, M, M, 0}, kUnset, "0000000000", 3600},
        {"%b", {2026, M, 7, M, M, 1, 0, 0}, kUnset, "xxx", kNoPeriod},
        {"%2r-%r-%q-%3q", kDec7, kUnset, "we-west-0-0", kNoPeriod},
        {"{%%}%{region}%{nowhere}", kDec7, kUnset, "%r1", kNoPeriod},
        {"%j", {2024, 3, 7, M, M, 0, 0, 0}, with_set(1, M, M), "061", 86400},
        {"%h%n", kDec7, with_set(M, 12, -1530), "1245", 1800},
        {"%", kDec7, kUnset, "%", kNoPeriod},
    };
    for (const Row &r : rows) {
        ctx.set = r.set;
        const Named n = write_name(r.pattern, r.source, kUnset, ctx, nullptr);
        EXPECT_EQ(n.name, r.name) << r.pattern;
        EXPECT_EQ(n.period, r.period) << r.pattern;
    }

    // The file date holds what was written; fields not written stay.
    ctx.set = kUnset;
    Named n = write_name("%Y%m%d%3h", kDec7, kUnset, ctx, nullptr);
    EXPECT_EQ(n.date.hour, 12);
    EXPECT_EQ(n.date.min, M);
    n = write_name("%Y%m%d", {2026, M, 7, M, M, 3, 0, 0}, kUnset, ctx, nullptr);
    EXPECT_EQ(n.name, "20260007");
    EXPECT_EQ(n.date.month, M);
    EXPECT_EQ(n.date.day, 7);
}

TEST(files_pattern_test, directory_kept_from_the_current_name) {
    struct Row {
        const char *filename, *pattern;
        const char *path;  // null: none
    };
    const Row rows[] = {
        {"/tmp/in/2026/1207.shef", "%R/%Y/%m%d.raw", "/tmp/in"},
        {"/x.shef", "%R/%Y/%m%d.raw", ""},
        {"./x.shef", "%R%Y", nullptr},
    };
    for (const Row &r : rows) {
        const auto p = extracted_path(r.filename, r.pattern);
        ASSERT_EQ(p.has_value(), r.path != nullptr) << r.filename;
        if (p) {
            EXPECT_EQ(*p, r.path) << r.filename;
        }
    }
    // It replaces every directory token and resource.
    Context ctx;
    ctx.resource = table({{"raw_path", "/data/raw"}, {"sub", "s"}});
    const std::string dir = "/tmp/in";
    EXPECT_EQ(write_name("%R/%{sub}/%D", kDec7, kUnset, ctx, &dir).name, "/tmp/in//tmp/in//tmp/in");
}

// The listing's wildcard, run through the shell with printf in place of ls:
// the files it names are exactly those of the pattern, whatever the
// resource values hold.
TEST(files_pattern_test, listing_quotes_all_but_its_wildcards) {
    vyr::test::ScratchDir scratch("vyrlist");
    const std::string dir = scratch.path() + "/it's $(touch pwned) `x` \"q\" *";
    for (const char *f :
         {"2026120712.shef", "2026120713.shef", "2026120713.txt", "x026120713.shef", "notes.shef"})
        scratch.write(std::string("it's $(touch pwned) `x` \"q\" */") + f, "x");
    Context ctx;
    ctx.resource = table({{"data_path", dir}});
    std::string cmd = list_command("%D/%Y%m%d%h.shef", ctx, nullptr);
    ASSERT_EQ(cmd.rfind("ls -x ", 0), 0u);
    cmd = "cd " + scratch.path() + " && printf '%s\\n' " + cmd.substr(6);
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string listed;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) listed += buf;
    pclose(p);
    EXPECT_EQ(listed,
              dir + "/2026120712.shef\n" + dir + "/2026120713.shef\n" + dir + "/x026120713.shef\n");
    EXPECT_FALSE(std::filesystem::exists(scratch.path() + "/pwned"));

    // A long pattern is never cut; "~" is expanded before quoting; keys and
    // the extension are text, unset ones wildcards.
    Keys keys;
    keys['r'] = "a*b";
    ctx.keys = &keys;
    const std::string long_dir(120, 'd');
    ctx.resource = table({{"data_path", long_dir}});
    EXPECT_EQ(list_command("%D/%r%2q%q.%e", ctx, nullptr), "ls -x '" + long_dir + "/a*b'??*'.'*");
    ctx.resource = table({{"data_path", "~/in"}});
    EXPECT_EQ(
        list_command("%D/x", ctx, [](const std::string &s) { return "/home/u" + s.substr(1); }),
        "ls -x '/home/u/in/x'");
    EXPECT_EQ(list_command("-x%y", ctx, nullptr), "ls -x -- '-x'[0-9]?");
}

class ConventionTest : public vyr::test::FilesModuleTest {
  protected:
    void SetUp() override {
        FilesModuleTest::SetUp();
        RES_put("raw_path", "/data/raw");
        scratch.write("name_conv",
                      "# type pattern header size\n"
                      "\n"
                      "shef_raw %R/%Y%m%d%h.%e %R/h%Y 100\n"
                      "shef_raw_west %R/west/%Y -\n"
                      "bare\n"
                      "dash -\n");
    }
    std::string name_for(const Date &d, int expect = 0) {
        char out[160];
        EXPECT_EQ(FILE_set_date(&d, out), expect);
        return out;
    }
};

TEST_F(ConventionTest, types_select_patterns) {
    EXPECT_EQ(FILE_set_name("SHEF_RAW"), 1);
    vyr::FileConvention c = vyr::file_convention();
    EXPECT_EQ(c.conv, "%R/%Y%m%d%h.%e");
    EXPECT_EQ(c.hconv, "%R/h%Y");
    EXPECT_EQ(c.min_size, 100);

    // The earlier prefix line wins over the later exact one.
    EXPECT_EQ(FILE_set_name("shef_raw_west"), 1);
    EXPECT_EQ(name_for(kDec7), "/data/raw/2026120713.west");

    // Keys come off a copy of the caller's text; a ":" without one stays.
    char type[] = "shef_raw:q=1:x:r=west coast and far more than twenty-nine";
    const std::string given = type;
    EXPECT_EQ(FILE_set_name(type), 1);
    EXPECT_EQ(type, given);
    EXPECT_STREQ(vyr::file_key('r'), "west_coast_and_far_more_than_");
    EXPECT_STREQ(vyr::file_key('q'), "1");
    EXPECT_EQ(vyr::file_convention().ext, "");
    EXPECT_EQ(FILE_set_name("other:x"), 0);
    EXPECT_EQ(vyr::file_convention().conv, "other:x");

    // No line: the type is the pattern, with no line's header or size.
    EXPECT_EQ(FILE_set_name("unknown.txt"), 0);
    c = vyr::file_convention();
    EXPECT_EQ(c.conv, "unknown.txt");
    EXPECT_EQ(c.hconv, "");
    EXPECT_EQ(c.min_size, 0);
    EXPECT_EQ(name_for(kDec7), "unknown.txt");

    // A line with only a type leaves no pattern: the word filename.
    EXPECT_EQ(FILE_set_name("bare"), 1);
    EXPECT_EQ(name_for(kDec7, 1), "filename");
    EXPECT_EQ(FILE_set_name("dash"), 1);
    EXPECT_EQ(name_for(kDec7, 1), "-");
    EXPECT_EQ(FILE_set_name("NONE"), 0);
    EXPECT_EQ(name_for(kDec7, 1), "filename");
    EXPECT_EQ(FILE_set_name("@%R/%y"), 1);
    EXPECT_EQ(name_for(kDec7), "/data/raw/26");

    RES_put("file_path", (scratch.path() + "/nowhere").c_str());
    EXPECT_EQ(FILE_set_name("shef_raw"), 0);
    EXPECT_NE(err().find("FILE_set_name: No file name convention file: " + scratch.path() +
                         "/nowhere/name_conv\n"),
              std::string::npos);
    EXPECT_EQ(vyr::file_convention().conv, "shef_raw");
}

TEST_F(ConventionTest, names_past_159_characters_are_refused) {
    const std::string dir(150, 'd');
    RES_put("raw_path", dir.c_str());
    FILE_set_name("@%R/%Y%m%d");  // 150 + 9 = 159 characters
    EXPECT_EQ(name_for(kDec7), dir + "/20261207");
    FILE_set_name("@%R/%Y%m%d%h");
    char out[160] = "old";
    EXPECT_EQ(FILE_set_date(&kDec7, out), -1);
    EXPECT_STREQ(out, "");
}

TEST_F(ConventionTest, a_name_without_year_keeps_the_current_name) {
    FILE_set_name("@%R/%Y%m%d%h.raw");
    const Date no_year = {M, 12, 7, M, M, 13, 0, 0};
    char out[160];
    EXPECT_EQ(FILE_set_date(&no_year, out), 0);  // no current name: zeros
    EXPECT_STREQ(out, "/data/raw/0000120713.raw");
    EXPECT_EQ(FILE_set_date(&no_year, out), 1);  // now the one just built
    EXPECT_STREQ(out, "/data/raw/0000120713.raw");
}

}  // namespace
