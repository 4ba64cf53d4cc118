// The raw data file reader: header, records, values, field lists, rewinding.
#include <gtest/gtest.h>

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
using Texts = std::vector<std::string>;

// A reader on text held by a temporary file, which can seek like a raw file.
struct Text {
    vyr::test::TempStream file;
    Reader r;
    Result opened;
    explicit Text(const std::string &text) {
        vyr::test::refill(file.get(), text);
        opened = r.attach(file.get());
    }
};

// The value text of code in the current record, "(none)" when not found.
std::string look(const Reader &r, const char *code) {
    Value v;
    return r.find(code, v) ? v.text : "(none)";
}

TEST(rawfile_test, a_file_the_converter_writes_reads_back) {
    vyr::test::TempStream in, out;
    vyr::test::refill(in.get(), ".A ABC 1207 Z DH1235/HG 12.5/PP 0.1\n");
    Date d{2026, 12, 7, kM, kM, 12, 35, 0};
    char label[32];
    DATE_make_label(&d, label);
    std::fprintf(out.get(), "VYRRAW\n%s\nSHEF Data\n", label);
    ASSERT_EQ(vyr::shef::decode(in.get(), out.get(), ""), 0);
    ASSERT_EQ(out.text(), "VYRRAW\n1235Z  7 DEC 26\nSHEF Data\nABC HG=12.5 PP=0.1\n");

    std::rewind(out.get());
    Reader r;
    ASSERT_EQ(r.attach(out.get()), Result::Ok);
    const Date &h = r.header().date;
    EXPECT_EQ((std::vector<int>{h.year, h.month, h.day, h.hour, h.min, h.sec}),
              (std::vector<int>{2026, 12, 7, 12, 35, kM}));
    EXPECT_STREQ(r.header().title, "SHEF Data");
    ASSERT_EQ(r.next(), Result::Ok);
    EXPECT_EQ((Texts{r.record().id, look(r, "HG"), look(r, "PP")}), (Texts{"ABC", "12.5", "0.1"}));
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
        {"12.5E", Kind::Number, 12.5, kMiss, "12.5E", ""},  // a SHEF qualifier after the value
        {"%5.1f:12.5", Kind::Number, 12.5, kMiss, "12.5", "%5.1f"},
        {"-inf", Kind::Text, kMiss, kMiss, "-inf", ""},
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
    struct Row {
        std::string line;
        const char *id;
        int number;
        double lat, lon;
        const char *code, *value;
    } rows[] = {
        {"ABC HGIRZ=3.1 HG=2", "ABC", kM, kMiss, kMiss, "HG", "2"},
        {"ABC HGIRZ=3.1", "ABC", kM, kMiss, kMiss, "HG", "(none)"},
        {"ABC HG=1 HG=2", "ABC", kM, kMiss, kMiss, "HG", "1"},
        {"ABC hg=1", "ABC", kM, kMiss, kMiss, "HG", "(none)"},
        {"ABC HG", "ABC", kM, kMiss, kMiss, "HG", "(none)"},
        {" \t72451 40.5 -105.2 TT=3,4\r", "72451", 72451, 40.5, -105.2, "TT", "3,4"},
        {"72451A - 7 X=1", "72451A", kM, kMiss, 7, "X", "1"},
        {"1234 40 5x X=1", "1234", kM, kMiss, kMiss, "X", "1"},
        {"123456789012345678901234567890X HG=1", "12345678901234567890123456789", kM, kMiss, kMiss,
         "HG", "1"},
    };
    for (const auto &row : rows) {
        Text t("VYRRAW\nL\nT\n" + row.line + "\n");
        ASSERT_EQ(t.r.next(), Result::Ok) << row.line;
        const auto &rec = t.r.record();
        EXPECT_STREQ(rec.id, row.id) << row.line;
        EXPECT_EQ(rec.number, row.number) << row.line;
        EXPECT_EQ(rec.lat, row.lat) << row.line;
        EXPECT_EQ(rec.lon, row.lon) << row.line;
        EXPECT_EQ(look(t.r, row.code), row.value) << row.line;
    }
}

// What a reader makes of a whole file: result, label, title, field count
// and first data field, then the identifiers up to the end of the records.
std::string summary(const std::string &text) {
    Text t(text);
    const auto &h = t.r.header();
    std::string s = std::string(vyr::raw::describe(t.opened)) + "|" + h.label + "|" + h.title +
                    "|" + std::to_string(h.nfields) + "/" + std::to_string(h.first_data);
    while (t.r.next() == Result::Ok) s += std::string("|") + t.r.record().id;
    return t.r.next() == Result::End || t.opened != Result::Ok ? s : s + "|not ended";
}

TEST(rawfile_test, whole_files) {
    const std::string head = "VYRRAW\nL\nT\n", list = "VYRRAW\nL\n!T\n";
    std::string many;
    for (int i = 0; i < 76; ++i) many += "f ";
    const std::pair<std::string, std::string> rows[] = {
        {"", "not a raw data file|||0/0"},
        {"\nVYRRAW\nL\nT\n", "not a raw data file|||0/0"},
        {"VYRRAW\nL\n", "the file ends inside its header|||0/0"},
        {"Vxx\n12Z  7 DEC 26 \t\r\nSHEF Data  \r\n", "ok|12Z  7 DEC 26|SHEF Data|0/0"},
        {"V\nL\nT" + std::string(48, 't') + "  xxx\n", "ok|L|T" + std::string(48, 't') + "|0/0"},
        // An empty line ends the records, whatever follows it.
        {head + "A\n\nB\n", "ok|L|T|0/0|A"},
        {head + "A\r\n\r\nB\r\n", "ok|L|T|0/0|A"},
        {head + "A\n \t \nB\n", "ok|L|T|0/0|A"},
        {head + "A\nB", "ok|L|T|0/0|A|B"},
        // The rest of a long line is dropped, not read as a record.
        {head + "L" + std::string(420, 'x') + "\nB\n",
         "ok|L|T|0/0|L" + std::string(28, 'x') + "|B"},
        {list + "id lat lon\nT\n$\nA\n", "ok|L|T|4/3|A"},
        {list + "id X y\n$\nA\n", "ok|L|T|3/1|A"},  // a location needs a data field after it
        {list + "id PRES T $ rest\nA\n", "ok|L|T|3/2|A"},
        {list + "id p\n$\nA\n", "ok|L|T|2/1|A"},
        {list + "$\nA\n", "ok|L|T|0/1|A"},
        {list + "id lat lon\nT\n", "the field list has no \"$\" end|||0/0"},
        {list + many.substr(2) + "$\nA\n", "ok|L|T|75/1|A"},
        {list + many + "$\nA\n", "the field list has too many entries|||0/0"},
    };
    for (const auto &[text, expected] : rows) EXPECT_EQ(summary(text), expected) << text;
}

TEST(rawfile_test, records_with_a_field_list_are_positional) {
    Text t(
        "VYRRAW\nL\n!Obs\nid lat lon\nT:Air_temperature:%5.1f TD:Dew_point\n$ end\n"
        "KDEN 39.8 - 12.5 M TD=3\nKBOU x\n");
    ASSERT_EQ(t.opened, Result::Ok);
    const auto &h = t.r.header();
    EXPECT_STREQ(h.title, "Obs");
    EXPECT_EQ((Texts{h.fields[3].name, h.fields[3].info, h.fields[3].format, h.fields[4].info}),
              (Texts{"T", "Air temperature", "%5.1f", "Dew point"}));
    ASSERT_EQ(t.r.next(), Result::Ok);
    EXPECT_EQ(t.r.record().lat, 39.8);
    EXPECT_EQ(t.r.record().lon, kMiss);
    // TD is the field, not the word "TD=3"; names are exact.
    EXPECT_EQ((Texts{look(t.r, "id"), look(t.r, "T"), look(t.r, "TD"), look(t.r, "t")}),
              (Texts{"KDEN", "12.5", "M", "(none)"}));
    ASSERT_EQ(t.r.next(), Result::Ok);
    EXPECT_EQ(t.r.record().lat, kMiss);
    EXPECT_EQ(look(t.r, "T"), "(none)");  // the record ends before it
}

TEST(rawfile_test, opening_and_rewinding) {
    vyr::test::ScratchDir dir;
    const std::string file = dir.write("a.raw", "VYRRAW\nL\n!T\nid\n$\nA\nB\n\nC\n");
    Reader r;
    EXPECT_EQ(r.rewind(), Result::NotOpen);
    ASSERT_EQ(r.open(file.c_str()), Result::Ok);
    Texts ids;
    while (r.next() == Result::Ok) ids.push_back(r.record().id);
    ASSERT_EQ(r.rewind(), Result::Ok);
    while (r.next() == Result::Ok) ids.push_back(r.record().id);
    EXPECT_EQ(ids, (Texts{"A", "B", "A", "B"}));

    ASSERT_EQ(r.open("|printf 'VYRRAW\\nL\\nT\\nP X=1\\n'"), Result::Ok);
    ASSERT_EQ(r.next(), Result::Ok);
    EXPECT_STREQ(r.record().id, "P");
    EXPECT_EQ(r.rewind(), Result::NoSeek);

    EXPECT_EQ(r.open((dir.path() + "/none").c_str()), Result::OpenFailed);
    EXPECT_EQ(r.next(), Result::NotOpen);
    // A directory opens but cannot be read: a failure, not an empty file.
    EXPECT_EQ(r.open(dir.path().c_str()), Result::ReadFailed);
}

}  // namespace
