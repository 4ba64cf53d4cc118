// The raw data file reader: header, records, values, field lists, rewinding.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "shef_decode.h"
#include "test_util.h"
#include "vyr.h"
#include "vyrraw.h"

namespace {

using vyr::raw::Kind;
using vyr::raw::Reader;
using vyr::raw::Result;
using vyr::raw::Value;
constexpr double kMiss = VYR_MISSING;
constexpr int kM = VYR_MISSING;

// A reader on text held by a temporary file, which can seek like a raw file.
struct Text {
    vyr::test::TempStream file;
    Reader r;
    Result opened;
    explicit Text(const std::string &text) {
        vyr::test::refill(file.get(), text);
        opened = r.attach(file.get());
    }
    std::vector<std::string> ids() {
        std::vector<std::string> out;
        while (r.next() == Result::Ok) out.push_back(r.record().id);
        return out;
    }
};

TEST(rawfile_test, a_file_the_converter_writes_reads_back) {
    vyr::test::TempStream in, out;
    vyr::test::refill(in.get(),
                      ".A ABC 1207 Z DH1235/HG 12.5/PP 0.1\n"
                      ".A ABCDEFGHIJKLMN 1207 Z DH12/HG -\n");
    Date d{2026, 12, 7, VYR_MISSING, VYR_MISSING, 12, 35, 0};
    char label[32];
    DATE_make_label(&d, label);
    std::fprintf(out.get(), "VYRRAW\n%s\nSHEF Data\n", label);
    ASSERT_EQ(vyr::shef::decode(in.get(), out.get(), ""), 0);
    ASSERT_EQ(out.text(),
              "VYRRAW\n1235Z  7 DEC 26\nSHEF Data\nABC HG=12.5 PP=0.1\nABCDEFGHIJ HG=-\n");

    std::rewind(out.get());
    Reader r;
    ASSERT_EQ(r.attach(out.get()), Result::Ok);
    const auto &h = r.header();
    EXPECT_STREQ(h.label, "1235Z  7 DEC 26");
    EXPECT_EQ((std::vector<int>{h.date.year, h.date.month, h.date.day, h.date.hour, h.date.min}),
              (std::vector<int>{2026, 12, 7, 12, 35}));
    EXPECT_STREQ(h.title, "SHEF Data");
    EXPECT_FALSE(h.has_fields);
    Value v;
    ASSERT_EQ(r.next(), Result::Ok);
    EXPECT_STREQ(r.record().id, "ABC");
    EXPECT_EQ(r.record().lat, kMiss);
    ASSERT_TRUE(r.find("PP", v));
    EXPECT_EQ(v.kind, Kind::Number);
    EXPECT_DOUBLE_EQ(v.first, 0.1);
    ASSERT_EQ(r.next(), Result::Ok);
    EXPECT_STREQ(r.record().id, "ABCDEFGHIJ");
    ASSERT_TRUE(r.find("HG", v));
    EXPECT_EQ(v.kind, Kind::Missing);
    EXPECT_EQ(r.next(), Result::End);
}

TEST(rawfile_test, values) {
    struct Row {
        const char *text;
        Kind kind;
        double first, second;
        const char *kept, *format;
    } rows[] = {
        {"12.5", Kind::Number, 12.5, kMiss, "12.5", ""},
        {"M", Kind::Text, kMiss, kMiss, "M", ""},
        {"-", Kind::Missing, kMiss, kMiss, "-", ""},
        {"-.5,3e2", Kind::Pair, -0.5, 300, "-.5,3e2", ""},
        {"3,x", Kind::Number, 3, kMiss, "3,x", ""},
        {"12.5E", Kind::Number, 12.5, kMiss, "12.5E", ""},  // a SHEF qualifier after the value
        {"%5.1f:12.5", Kind::Number, 12.5, kMiss, "12.5", "%5.1f"},
        {"f:-", Kind::Missing, kMiss, kMiss, "-", "f"},
        {"-inf", Kind::Text, kMiss, kMiss, "-inf", ""},
        {"1e999", Kind::Text, kMiss, kMiss, "1e999", ""},
        {"-x", Kind::Text, kMiss, kMiss, "-x", ""},
        {"+5", Kind::Text, kMiss, kMiss, "+5", ""},
        {"", Kind::Text, kMiss, kMiss, "", ""},
        {"123456789012345678901234567890123", Kind::Number, 1.2345678901234568e32, kMiss,
         "12345678901234567890123456789", ""},
    };
    for (const auto &r : rows) {
        const Value v = vyr::raw::read_value(r.text);
        EXPECT_EQ(v.kind, r.kind) << r.text;
        EXPECT_DOUBLE_EQ(v.first, r.first) << r.text;
        EXPECT_DOUBLE_EQ(v.second, r.second) << r.text;
        EXPECT_STREQ(v.text, r.kept) << r.text;
        EXPECT_STREQ(v.format, r.format) << r.text;
    }
}

TEST(rawfile_test, records_without_a_field_list) {
    const std::string id40(40, 'Q');
    struct Row {
        std::string line;
        const char *id;
        int number;
        double lat, lon;
        const char *code, *value;  // null value: not found
    } rows[] = {
        {"ABC HGIRZ=3.1 HG=2", "ABC", kM, kMiss, kMiss, "HG", "2"},
        {"ABC HGIRZ=3.1", "ABC", kM, kMiss, kMiss, "HG", nullptr},
        {"ABC HG=1 HG=2", "ABC", kM, kMiss, kMiss, "HG", "1"},
        {"ABC hg=1", "ABC", kM, kMiss, kMiss, "HG", nullptr},
        {"ABC HG", "ABC", kM, kMiss, kMiss, "HG", nullptr},
        {"ABC HG=", "ABC", kM, kMiss, kMiss, "HG", ""},
        {" \t72451 40.5 -105.2 TT=3,4\r", "72451", 72451, 40.5, -105.2, "TT", "3,4"},
        {"72451A - 7 X=1", "72451A", kM, kMiss, 7, "X", "1"},
        {"1234 40 X=1", "1234", kM, kMiss, kMiss, "X", "1"},
        {"ABC 40 5x X=1", "ABC", kM, kMiss, kMiss, "X", "1"},
        {"ABC 1 2", "ABC", kM, 1, 2, "1", nullptr},
        {id40 + " HG=1", "QQQQQQQQQQQQQQQQQQQQQQQQQQQQQ", kM, kMiss, kMiss, "HG", "1"},
    };
    for (const auto &row : rows) {
        Text t("VYRRAW\nL\nT\n" + row.line + "\n");
        ASSERT_EQ(t.r.next(), Result::Ok) << row.line;
        const auto &rec = t.r.record();
        EXPECT_STREQ(rec.id, row.id) << row.line;
        EXPECT_EQ(rec.number, row.number) << row.line;
        EXPECT_EQ(rec.lat, row.lat) << row.line;
        EXPECT_EQ(rec.lon, row.lon) << row.line;
        Value v;
        EXPECT_EQ(t.r.find(row.code, v), row.value != nullptr) << row.line;
        if (row.value) {
            EXPECT_STREQ(v.text, row.value) << row.line;
        }
    }
}

TEST(rawfile_test, where_the_records_end) {
    const std::string long_line = "L" + std::string(420, 'x');
    struct Row {
        std::string text;
        std::vector<std::string> ids;
    } rows[] = {
        {"A\n\nB\n", {"A"}},
        {"A\r\n\r\nB\r\n", {"A"}},
        {"A\n \t \nB\n", {"A"}},
        {"A\nB", {"A", "B"}},
        {"", {}},
        {long_line + "\nB X=1\n", {"L" + std::string(28, 'x'), "B"}},
    };
    for (const auto &row : rows) {
        Text t("VYRRAW\nL\nT\n" + row.text);
        EXPECT_EQ(t.ids(), row.ids) << row.text;
        EXPECT_EQ(t.r.next(), Result::End) << row.text;  // and stays ended
    }
    Text t("VYRRAW\nL\nT\n" + long_line + "\n");
    ASSERT_EQ(t.r.next(), Result::Ok);
    EXPECT_TRUE(t.r.record().cut);
    EXPECT_EQ(t.r.record().length, vyr::raw::kLineMax);
}

TEST(rawfile_test, headers) {
    const std::string title60 = "T" + std::string(48, 't') + "  xxxxxxxxxx";
    struct Row {
        std::string text;
        Result result;
        std::string label, title;
        int year, hour;
    } rows[] = {
        {"", Result::NotRaw, "", "", kM, kM},
        {"\nVYRRAW\nL\nT\n", Result::NotRaw, "", "", kM, kM},
        {"VYRRAW\n12Z  7 DEC 26\n", Result::ShortHeader, "", "", kM, kM},
        {"Vxx\n12Z  7 DEC 26 \t\r\nT\n", Result::Ok, "12Z  7 DEC 26", "T", 2026, 12},
        {"V\nsomething else\n" + title60 + "\n", Result::Ok, "something else",
         "T" + std::string(48, 't'), kM, kM},
    };
    for (const auto &row : rows) {
        Text t(row.text);
        EXPECT_EQ(t.opened, row.result) << row.text;
        EXPECT_EQ(t.r.header().label, row.label) << row.text;
        EXPECT_EQ(t.r.header().title, row.title) << row.text;
        EXPECT_EQ(t.r.header().date.year, row.year) << row.text;
        EXPECT_EQ(t.r.header().date.hour, row.hour) << row.text;
        if (row.result != Result::Ok) {
            EXPECT_EQ(t.r.next(), Result::NotOpen);
        }
    }
}

std::string entries(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "f" + std::to_string(i) + (i % 10 == 9 ? "\n" : " ");
    return s;
}

TEST(rawfile_test, field_list_shapes) {
    struct Row {
        std::string list;
        Result result;
        int nfields, first_data;
    } rows[] = {
        {"id lat lon\nT\n$\n", Result::Ok, 4, 3},
        {"id X y\n$\n", Result::Ok, 3, 1},  // a location needs a data field after it
        {"id PRES T $ rest\n", Result::Ok, 3, 2},
        {"id p\n$\n", Result::Ok, 2, 1},
        {"id lon lat T\n$\n", Result::Ok, 4, 1},
        {"$\n", Result::Ok, 0, 1},
        {"id lat lon\nT\n", Result::FieldListOpen, 0, 0},
        {entries(75) + "$\n", Result::Ok, 75, 1},
        {entries(76) + "$\n", Result::TooManyFields, 0, 0},
    };
    for (const auto &row : rows) {
        Text t("VYRRAW\nL\n!Title\n" + row.list + "A 1\n");
        EXPECT_EQ(t.opened, row.result) << row.list;
        EXPECT_EQ(t.r.header().nfields, row.nfields) << row.list;
        EXPECT_EQ(t.r.header().first_data, row.first_data) << row.list;
        if (row.result == Result::Ok) {
            EXPECT_EQ(t.ids(), std::vector<std::string>{"A"}) << row.list;
        }
    }
}

TEST(rawfile_test, records_with_a_field_list_are_positional) {
    Text t(
        "VYRRAW\nL\n!Obs\nid lat lon\nT:Air_temperature:%5.1f TD:Dew_point\n$ end\n"
        "KDEN 39.8 - 12.5 M TD=3\nKBOU x\n");
    ASSERT_EQ(t.opened, Result::Ok);
    const auto &h = t.r.header();
    EXPECT_STREQ(h.title, "Obs");
    EXPECT_STREQ(h.fields[3].info, "Air temperature");
    EXPECT_STREQ(h.fields[3].format, "%5.1f");
    EXPECT_STREQ(h.fields[4].name, "TD");
    Value v;
    ASSERT_EQ(t.r.next(), Result::Ok);
    EXPECT_EQ(t.r.record().lat, 39.8);
    EXPECT_EQ(t.r.record().lon, kMiss);
    ASSERT_TRUE(t.r.find("T", v));
    EXPECT_EQ(v.first, 12.5);
    ASSERT_TRUE(t.r.find("TD", v));  // the field, not the word "TD=3"
    EXPECT_STREQ(v.text, "M");
    ASSERT_TRUE(t.r.field(0, v));
    EXPECT_STREQ(v.text, "KDEN");
    EXPECT_FALSE(t.r.find("t", v));
    EXPECT_FALSE(t.r.field(5, v));
    ASSERT_EQ(t.r.next(), Result::Ok);
    EXPECT_EQ(t.r.record().lat, kMiss);
    EXPECT_FALSE(t.r.find("T", v));  // the record ends before it
}

TEST(rawfile_test, rewinding_goes_back_to_the_first_record) {
    Text t("VYRRAW\nL\n!T\nid\n$\nA\nB\n\nC\n");
    ASSERT_EQ(t.opened, Result::Ok);
    const std::vector<std::string> ab{"A", "B"};
    EXPECT_EQ(t.ids(), ab);
    EXPECT_EQ(t.r.rewind(), Result::Ok);
    EXPECT_EQ(t.ids(), ab);

    Reader r;
    EXPECT_EQ(r.rewind(), Result::NotOpen);
    ASSERT_EQ(r.open("|printf 'VYRRAW\\nL\\nT\\nP X=1\\n'"), Result::Ok);
    ASSERT_EQ(r.next(), Result::Ok);
    EXPECT_STREQ(r.record().id, "P");
    EXPECT_EQ(r.rewind(), Result::NoSeek);
}

TEST(rawfile_test, opening_by_name) {
    vyr::test::ScratchDir dir;
    const std::string file = dir.write("a.raw", "VYRRAW\nL\nT\nA\n");
    Reader r;
    ASSERT_EQ(r.open(file.c_str()), Result::Ok);
    ASSERT_EQ(r.next(), Result::Ok);
    EXPECT_STREQ(r.record().id, "A");
    EXPECT_EQ(r.open((dir.path() + "/none").c_str()), Result::OpenFailed);
    EXPECT_EQ(r.next(), Result::NotOpen);
    // A directory opens but cannot be read: a failure, not an empty file.
    EXPECT_EQ(r.open(dir.path().c_str()), Result::ReadFailed);
    EXPECT_EQ(r.open(nullptr), Result::OpenFailed);
}

}  // namespace
