// Parameter codes with the standard's defaults, value texts, units, and the
// SHEFPARM tables they come from.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "shef_series.h"
#include "shef_series_text.h"
#include "shef_series_util.h"

namespace {

using vyr::series::Code;
using vyr::series::Parm;

std::string full(const Code &c) {
    return std::string(c.pe, 2) + c.duration + std::string(c.ts, 2) + c.extremum + c.probability;
}

TEST(shef_parm, codes_take_the_defaults_and_send_codes_expand) {
    struct Row {
        const char *text, *code;
        int duration_value;
        bool seven_am;
    } rows[] = {
        {"HG", "HGIRZZZ", 0, false},
        {"PP", "PPDRZZZ", 2001, false},
        {"PPZ", "PPDRZZZ", 2001, false},
        {"HGIZ", "HGIRZZZ", 0, false},
        {"HGIRG", "HGIRGZZ", 0, false},
        {"TCZ", "TCSRZZZ", 5001, false},
        {"XG", "XGJRZZZ", 30, false},
        {"XP", "XPQRZZZ", 1006, false},
        {"QV", "QVZRZZZ", 5000, false},
        {"PPH", "PPHRZZZ", 1001, false},
        {"HGIRZP", "HGIRZPZ", 0, false},
        {"HGIRVZ5", "HGIRVZ5", 0, false},
        {"HGI1A", "HGI1AZZ", 0, false},
        {"PF", "PPTCFZZ", 1003, false},
        {"AD", "ADZRZZZ", 5000, false},
        {"TX", "TAIRZXZ", 0, false},
        {"TN", "TAIRZNZ", 0, false},
        {"QN", "QRIRZNZ", 0, false},
        {"HY", "HGIRZZZ", 0, true},
        {"PY", "PPDRZZZ", 2001, true},
        {"QY", "QRIRZZZ", 0, true},
        // Elements whose default duration *6 gives take it.
        {"SFZ", "SFDRZZZ", 2001, false},
    };
    for (const Row &r : rows) {
        Code c;
        std::string why;
        ASSERT_TRUE(vyr::series::resolve_code(Parm::builtin(), r.text, c, why)) << r.text << why;
        EXPECT_EQ(full(c), r.code) << r.text;
        EXPECT_EQ(c.duration_value, r.duration_value) << r.text;
        EXPECT_EQ(c.seven_am, r.seven_am) << r.text;
    }
    struct Bad {
        const char *text, *why;
    } bad[] = {
        {"H", "2 to 7 characters"},
        {"HGDRVP5A", "2 to 7 characters"},
        {"HG?", "bad character"},
        {"hg", "bad character"},
        {"1G", "bad physical element"},
        {"HGO", "unknown duration 'O'"},
        {"HGD0", "type and source \"0Z\""},
        {"HGDRE", "type and source \"RE\""},
        {"HGIM", "type and source \"MZ\""},
        {"HGDRVQ", "unknown extremum 'Q'"},
        {"HGDRVPR", "unknown probability 'R'"},
        // Send codes are written alone.
        {"HYI", "begins with the send code HY"},
        {"TXI", "begins with the send code TX"},
        {"QYD", "begins with the send code QY"},
        {"ADZ", "begins with the send code AD"},
    };
    for (const Bad &b : bad) {
        Code c;
        std::string why;
        EXPECT_FALSE(vyr::series::resolve_code(Parm::builtin(), b.text, c, why)) << b.text;
        EXPECT_NE(why.find(b.why), std::string::npos) << b.text << ": " << why;
    }
    Code c;
    std::string why;
    ASSERT_TRUE(vyr::series::resolve_code(Parm::builtin(), "MHI", c, why));
    EXPECT_FALSE(c.pe_known);
    EXPECT_EQ(c.factor, 1.0);
}

TEST(shef_parm, value_texts) {
    struct Row {
        const char *text;
        const char *english;  // canonical text; "M" missing, "T" trace, null refused
        char qualifier;
    } rows[] = {
        {"12.5E", "12.5", 'E'}, {"250.", "250", 0},
        {".12", "0.12", 0},     {"+5", "5", 0},
        {"-0.00", "0", 0},      {"007.50", "7.5", 0},
        {"-3.25", "-3.25", 0},  {"1.23456", "1.2346", 0},
        {"1.99999", "2", 0},    {"M", "M", 0},
        {"m", "M", 0},          {"MM", "M", 0},
        {"mm", "M", 0},         {"+", "M", 0},
        {"-", "M", 0},          {"++", nullptr, 0},
        {".", nullptr, 0},      {"MQ", "M", 'Q'},
        {"MMQ", "M", 'Q'},      {"+Q", "M", 'Q'},
        {"-Q", "M", 'Q'},       {"-9999Q", "-9999", 'Q'},
        {"MMM", nullptr, 0},    {"+++", nullptr, 0},
        {"TT", nullptr, 0},     {"TQ", "T", 'Q'},
        {"T", "T", 0},          {"t", "T", 0},
        {"1,5", nullptr, 0},    {"2X3", nullptr, 0},
        {"1.2.3", nullptr, 0},  {"6O.O", nullptr, 0},
        {"??", nullptr, 0},     {"--", nullptr, 0},
        {"1EE", nullptr, 0},    {"1.5e", nullptr, 0},
        {"1e5", nullptr, 0},    {"", nullptr, 0},
    };
    char out[vyr::series::kValueMax];
    for (const Row &r : rows) {
        vyr::series::ValueText v;
        const bool ok = vyr::series::parse_value(r.text, v);
        EXPECT_EQ(ok, r.english != nullptr) << r.text;
        if (!ok) continue;
        EXPECT_EQ(v.qualifier, r.qualifier) << r.text;
        std::string got =
            v.kind == vyr::series::ValueText::Missing ? "M"
            : v.kind == vyr::series::ValueText::Trace
                ? "T"
                : std::string(out, vyr::series::english_value(v.number, false, 1.0, out));
        EXPECT_EQ(got, r.english) << r.text;
    }
    // No exponent, however large the number.
    const std::size_t n = vyr::series::english_value("12345678901234567890123", true, 1000, out);
    EXPECT_EQ(std::string(out, n).find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(n, 26u);
}

// The decoder reads the plainest values straight off the line: whatever it
// takes whole that way must read the same as parse_value and english_value
// read it, and the table's values of other forms must be left to them.
TEST(shef_parm, plain_values_read_as_every_value_reads) {
    std::vector<std::string> words = {"0",     "0.",   "0.0",  "-0",     "-0.5", "00.5",    "012",
                                      ".5",    "-.5",  "5.",   "140.00", "-12",  "+5",      "M",
                                      "MM",    "MMM",  "MQ",   "-M",     "+",    "+M",      "-",
                                      "-9999", "1.2345", "1.23456", "123456789012345",
                                      "1234567890123456", "12345678901.2345", "1234567890.12345"};
    uint32_t seed = 3;
    auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    static constexpr char kChars[] = "0000123456789..-+MQT";
    for (int i = 0; i < 20000; ++i) {
        std::string w;
        for (std::size_t n = 1 + next() % 9; n > 0; --n) w += kChars[next() % (sizeof kChars - 1)];
        words.push_back(w);
    }
    char out[vyr::series::kValueMax];
    std::size_t plain = 0;
    for (const std::string &w : words) {
        vyr::series::detail::PlainValue n;
        const char *end = vyr::series::detail::plain_value(w.data(), w.data() + w.size(), n);
        if (end != w.data() + w.size()) continue;  // not a plain value as a whole word
        ++plain;
        vyr::series::ValueText v;
        ASSERT_TRUE(vyr::series::parse_value(w, v)) << w;
        EXPECT_EQ(v.qualifier, 0) << w;
        if (n.missing) {
            EXPECT_EQ(v.kind, vyr::series::ValueText::Missing) << w;
            continue;
        }
        ASSERT_EQ(v.kind, vyr::series::ValueText::Number) << w;
        EXPECT_EQ(n.point, v.point) << w;
        EXPECT_LE(v.whole.size() + v.fraction.size(), 15u) << w;
        EXPECT_EQ(n.text, std::string_view(out, vyr::series::english_value(v, false, 1.0, out)))
            << w;
    }
    EXPECT_GT(plain, 2000u);
    for (const char *w : {"-0", "00.5", "012", ".5", "-.5", "+5", "MMM", "1.23456",
                          "1234567890123456", "1234567890.12345"}) {
        vyr::series::detail::PlainValue n;
        const std::string_view t = w;
        EXPECT_NE(vyr::series::detail::plain_value(t.data(), t.data() + t.size(), n),
                  t.data() + t.size())
            << w;
    }
}

TEST(shef_parm, si_values_convert_to_english_units) {
    const vyr::test::Decoded d = vyr::test::decode_text(
        ".A STN1 20240715 Z DH12/DUS/HG 2.0/PP 25.4/QR 1/TA 21.5/TA -40/HG -9999/PP T/MH 3/HP 1.5"
        "/DUE/HG 2.0");
    const std::vector<std::string> want = {
        "STN1 2024-07-15T12:00:00Z HGIRZZZ 6.5617", "STN1 2024-07-15T12:00:00Z PPDRZZZ 1",
        "STN1 2024-07-15T12:00:00Z QRIRZZZ 0.0353", "STN1 2024-07-15T12:00:00Z TAIRZZZ 70.7",
        "STN1 2024-07-15T12:00:00Z TAIRZZZ -40",    "STN1 2024-07-15T12:00:00Z HGIRZZZ M",
        "STN1 2024-07-15T12:00:00Z PPDRZZZ 0.001",  "STN1 2024-07-15T12:00:00Z MHIRZZZ 3",
        "STN1 2024-07-15T12:00:00Z HPIRZZZ 4.9213", "STN1 2024-07-15T12:00:00Z HGIRZZZ 2",
    };
    EXPECT_EQ(d.rows, want);
}

TEST(shef_parm, a_site_file_replaces_the_tables) {
    const char *text =
        "$ a site's own tables\n"
        "SHEFPARM\n"
        "*1\n"
        "HG 3.2808399\n"
        "XX 2.0\n"
        "X 1.0\n"
        "*2\n"
        "I   0000\n"
        "D   2001\n"
        "*3\n"
        "RZ  1\n"
        "RG  0\n"
        "*4\n"
        "Z   1\n"
        "*5\n"
        "Z  -1.0\n"
        "*6\n"
        "XX XXD\n"
        "XY XXIRZZZ  1\n"
        "PP PQ\n"
        "*7\n"
        "E\n"
        "**\n"
        "  12\n"
        "**\n";
    std::vector<int> problems;
    const Parm p = Parm::parse(text, [&](int line, std::string_view) { problems.push_back(line); });
    EXPECT_EQ(problems, (std::vector<int>{6, 20}));
    EXPECT_EQ(p.error_limit(), 12);
    EXPECT_EQ(Parm::builtin().error_limit(), 500);
    Code c;
    std::string why;
    ASSERT_TRUE(vyr::series::resolve_code(p, "XX", c, why)) << why;
    EXPECT_EQ(full(c), "XXDRZZZ");
    EXPECT_EQ(c.factor, 2.0);
    ASSERT_TRUE(vyr::series::resolve_code(p, "XY", c, why)) << why;
    EXPECT_TRUE(c.seven_am);
    EXPECT_FALSE(vyr::series::resolve_code(p, "HGIRG", c, why));  // disabled in *3
    EXPECT_FALSE(vyr::series::resolve_code(p, "HGH", c, why));    // H not in *2
    EXPECT_TRUE(p.qualifier_valid('E'));
    EXPECT_FALSE(p.qualifier_valid('F'));
}

}  // namespace
