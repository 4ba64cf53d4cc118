#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "test_util.h"
#include "vyr.h"
#include "vyr_int.h"

using vyr::scan::Dest;
using vyr::scan::Kind;

namespace {

constexpr int kIntUntouched = 4242;
constexpr float kFloatUntouched = 42.5f;

// One scan with destinations of the kinds named in order (T char[81], I int,
// F float), each reported afterwards as its contents, or "#" when untouched.
struct Row {
    const char *pat;
    const char *text;
    const char *kinds;
    int result;
    std::vector<std::string> want;
    int len, done, assigned;
};

// Each row is scanned twice, from the pattern's text and from the pattern
// parsed once (vyr::scan::Pattern): both must give the same results.
void check_rows(const std::vector<Row> &rows) {
    for (const Row &r : rows) {
        const vyr::scan::Pattern parsed(r.pat);
        for (const bool use_parsed : {false, true}) {
            SCOPED_TRACE(std::string("pattern \"") + r.pat + "\" on \"" + r.text + "\"" +
                         (use_parsed ? " (parsed)" : ""));
            char texts[4][81];
            int ints[4];
            float floats[4];
            std::vector<Dest> dests;
            for (int i = 0; r.kinds[i] != '\0'; ++i) {
                switch (r.kinds[i]) {
                    case 'T':
                        std::strcpy(texts[i], "#");
                        dests.push_back(vyr::scan::dest(texts[i]));
                        break;
                    case 'I':
                        ints[i] = kIntUntouched;
                        dests.push_back(vyr::scan::dest(&ints[i]));
                        break;
                    default:
                        floats[i] = kFloatUntouched;
                        dests.push_back(vyr::scan::dest(&floats[i]));
                }
            }
            parse_param p{};
            scanp_set(&p, r.text);
            const int n = static_cast<int>(dests.size());
            const int result = use_parsed ? scanp_args(&p, parsed, dests.data(), n)
                                          : scanp_args(&p, r.pat, dests.data(), n);
            EXPECT_EQ(result, r.result);
            EXPECT_EQ(p.matched, r.result);
            EXPECT_EQ(p.len, r.len);
            EXPECT_EQ(p.done, r.done);
            EXPECT_EQ(p.assigned, r.assigned);
            ASSERT_EQ(r.want.size(), dests.size());
            for (std::size_t i = 0; i < dests.size(); ++i) {
                char num[40] = "#";
                if (r.kinds[i] == 'I' && ints[i] != kIntUntouched)
                    std::snprintf(num, sizeof num, "%d", ints[i]);
                if (r.kinds[i] == 'F' && floats[i] != kFloatUntouched)
                    std::snprintf(num, sizeof num, "%g", static_cast<double>(floats[i]));
                EXPECT_EQ(r.kinds[i] == 'T' ? std::string(texts[i]) : std::string(num), r.want[i])
                    << "destination " << i;
            }
        }
    }
}

// What the message module prints, errors and traces alike, while it lives.
struct Capture : vyr::test::CapturedMessages {
    Capture() : CapturedMessages(one_stream) {}
};

}  // namespace

TEST(scanp_test, worked_results_and_edge_cases) {
    check_rows({
        {"%s ", ".A ABC 0815", "T", 1, {".A"}, 3, 1, 1},
        {"%[/A] %[/N.-+] ", "HG 12.5/PP 0.1", "TT", 2, {"HG", "12.5"}, 7, 0, 2},
        {"%*(D)%1[/A]%[/N]%*(/) ", "DH12/HG 1.2", "TT", 4, {"H", "12"}, 5, 0, 2},
        {"%[/N] ", "Z DH12", "T", 0, {"#"}, 0, 0, 0},
        {"%*(/|,) ", ", ABC", "", 1, {}, 2, 1, 0},
        // A trailing blank fails at the end of the input without lowering the count.
        {"%[/A] %[/N.-+] ", "HG 12.5", "TT", 2, {"HG", "12.5"}, 7, 0, 2},
        {"%[/N] ", "N12 x", "T", 1, {"N12"}, 4, 1, 1},
        {"%3N", "12A", "T", 0, {"#"}, 0, 0, 0},
        {"%<3N", "12A", "T", 1, {"12"}, 2, 1, 1},
        {"%(ab|a)", "abc", "T", 1, {"ab"}, 2, 1, 1},
        {"%(a|ab)", "abc", "T", 1, {"a"}, 1, 1, 1},
        {"%<(X)", "Y", "T", 1, {"#"}, 0, 1, 1},
        {"%d", "-", "I", 0, {"#"}, 0, 0, 0},
        {"%!M!d", "M", "I", 1, {"-9999"}, 1, 1, 1},
        // The passed-over directive uses up its int; %s takes the text destination.
        {"%!MM!d%s", "M5", "IT", 1, {"#", "M5"}, 2, 1, 1},
        {"%f", "12e", "F", 1, {"12"}, 2, 1, 1},
        {"%f", "1.5e-3", "F", 1, {"0.0015"}, 6, 1, 1},
        {"%f", ".", "F", 1, {"0"}, 1, 1, 1},
    });
}

TEST(scanp_test, text_conversions_sets_blanks_and_literals) {
    check_rows({
        {"%A", "abcXYZ12", "T", 1, {"abcXYZ"}, 6, 1, 1},
        {"%2A%N", "abc", "TT", 1, {"ab", "#"}, 2, 0, 1},
        {"%N%A", "0815Z", "TT", 2, {"0815", "Z"}, 5, 1, 2},
        {"%s%s", "a\vb", "TT", 1, {"a", "#"}, 1, 0, 1},
        {"%S", "rest\tof it", "T", 1, {"rest\tof it"}, 10, 1, 1},
        {"%<4S", "abcdef", "T", 1, {"abcd"}, 4, 1, 1},
        {"%4S", "abc", "T", 0, {"#"}, 0, 0, 0},
        {"%w%A", " \n\r\tX", "TT", 2, {" \n\r\t", "X"}, 5, 1, 2},
        {"%W%A", " \r\t\nX", "TT", 1, {" \r\t", "#"}, 3, 0, 1},
        {"%w", "\vX", "T", 0, {"#"}, 0, 0, 0},
        {"%[^/: ] ", "HG/PP", "T", 1, {"HG"}, 2, 0, 1},
        {"%[^/:] ", "a b:c", "T", 1, {"a b"}, 3, 0, 1},
        {"%[/N/A.-+] ", "-12.5e+3 x", "T", 1, {"-12.5e+3"}, 9, 1, 1},
        {"%[//A]", "/x/Y1", "T", 1, {"/x/Y"}, 4, 1, 1},
        {"%[/N]", "/12", "T", 0, {"#"}, 0, 0, 0},
        {"%[/x]", "/x/y", "T", 1, {"/x/"}, 3, 1, 1},
        {"%[ab/]", "b/a]", "T", 1, {"b/a"}, 3, 1, 1},
        {"%[]", "abc", "T", 0, {"#"}, 0, 0, 0},
        {"%[^]", "a]b", "T", 1, {"a]b"}, 3, 1, 1},
        {"%[a]]", "aa]", "T", 1, {"aa"}, 3, 1, 1},
        {"%A  %A", "a b", "TT", 1, {"a", "#"}, 2, 0, 1},
        {"%A %A", "a \t\n\r b", "TT", 2, {"a", "b"}, 7, 1, 2},
        {"%A %A", "a\vb", "TT", 1, {"a", "#"}, 1, 0, 1},
        {"x%Ny", "x12y", "T", 1, {"12"}, 4, 1, 1},
        {"X%A", "xab", "T", 0, {"#"}, 0, 0, 0},
        {"%*A%A", "ab12", "T", 1, {"#"}, 2, 0, 0},
    });
}

TEST(scanp_test, alternatives_and_miss_texts) {
    check_rows({
        {"%(/|,) ", "/ x", "T", 1, {"/"}, 2, 1, 1},
        {"%(a/b)", "a/b", "T", 1, {"a/b"}, 3, 1, 1},
        {"%(|a)", "abc", "T", 1, {""}, 0, 1, 1},
        {"%(ab|cd)", "cx", "T", 0, {"#"}, 0, 0, 0},
        {"%!MSG!(ab)", "MSx", "T", 1, {""}, 2, 1, 1},
        {"%2!MSG!(ab)", "MSG", "T", 1, {""}, 2, 1, 1},
        {"%<2(X)", "Y", "T", 0, {"#"}, 0, 0, 0},
        {"%*<(X)Y", "Y", "", 1, {}, 1, 1, 0},
        {"%!M!D", " M", "I", 0, {"#"}, 0, 1, 0},
        {"%1!MM!d", "MM", "I", 0, {"#"}, 0, 1, 0},
        {"%!M!f", "M", "F", 1, {"-9999"}, 1, 1, 1},
        // Miss texts are cut to 19 characters.
        {"%!ABCDEFGHIJKLMNOPQRSTUVWXYZ!d",
         "ABCDEFGHIJKLMNOPQRSTUVWXYZ",
         "I",
         1,
         {"-9999"},
         19,
         1,
         1},
    });
}

TEST(scanp_test, numbers_and_positions) {
    check_rows({
        {"%d", "-12x", "I", 1, {"-12"}, 3, 1, 1},
        {"%d", " 12", "I", 0, {"#"}, 0, 0, 0},
        {"%2d", "-12", "I", 1, {"-1"}, 2, 1, 1},
        {"%D", "  -42  x", "I", 1, {"-42"}, 7, 1, 1},
        {"%3D", " 5 ", "I", 1, {"5"}, 3, 1, 1},
        {"%D", "- 5", "I", 0, {"#"}, 0, 0, 0},
        {"%d", "99999999999999999999", "I", 1, {"2147483647"}, 20, 1, 1},
        {"%d", "-99999999999999999999", "I", 1, {"-2147483648"}, 21, 1, 1},
        {"%f", "-", "F", 0, {"#"}, 0, 0, 0},
        {"%f", "1.2.3", "F", 1, {"1.2"}, 3, 1, 1},
        {"%f", "-.5E+2x", "F", 1, {"-50"}, 6, 1, 1},
        {"%f", "2e+", "F", 1, {"2"}, 1, 1, 1},
        {"%F", " \t-2.5 /", "F", 1, {"-2.5"}, 7, 1, 1},
        {"%3f", "1e57", "F", 1, {"100000"}, 3, 1, 1},
        {"%2f", "1e5", "F", 0, {"#"}, 0, 0, 0},
        {"%f", "1e999", "F", 1, {"inf"}, 5, 1, 1},
        // An exponent alone holds a digit: a field whose text converts to 0.
        {"%f", "e5/", "F", 1, {"0"}, 2, 1, 1},
        {"%F", " E-2 x", "F", 1, {"0"}, 5, 1, 1},
        {"%f", "e/", "F", 0, {"#"}, 0, 0, 0},
        {"%n%A %n", "ab  c", "ITI", 3, {"0", "ab", "4"}, 4, 1, 3},
        {"%A%*n%5n", "ab", "TI", 3, {"ab", "2"}, 2, 1, 2},
    });
}

TEST(scanp_test, malformed_patterns_and_unknown_letters) {
    check_rows({
        {"%qz", "qz", "", 0, {}, 2, 1, 0},
        {"%*<3!x!qA", "qA", "T", 0, {"#"}, 2, 1, 0},
        {"%%A", "abc", "T", 1, {"abc"}, 3, 1, 1},  // no escape for a literal %
        {"%[/A", "ABC", "T", 0, {"#"}, 0, 0, 0},
        {"%(a|b", "a", "T", 0, {"#"}, 0, 0, 0},
        {"%!MM", "MM", "I", 0, {"#"}, 0, 0, 0},
        {"A%", "A", "", 0, {}, 1, 0, 0},
        {"A%*<12", "A", "", 0, {}, 1, 0, 0},
        {"%99999999999999999999N", "123", "T", 0, {"#"}, 0, 0, 0},
        {"%<99999999999999999999N", "123", "T", 1, {"123"}, 3, 1, 1},
    });
}

TEST(scanp_test, destination_of_wrong_kind_stops_unwritten) {
    check_rows({
        {"%d", "12", "T", 0, {"#"}, 0, 0, 0},
        {"%A", "ab", "I", 0, {"#"}, 0, 0, 0},
        {"%f", "1.5", "I", 0, {"#"}, 0, 0, 0},
        {"%n", "x", "F", 0, {"#"}, 0, 0, 0},
        {"%A%d", "ab12", "TF", 1, {"ab", "#"}, 2, 0, 1},
        {"%!M!d", "M", "F", 0, {"#"}, 0, 0, 0},
        {"%A", "ab", "", 0, {}, 0, 0, 0},
        {"%*d%A", "12ab", "T", 2, {"ab"}, 4, 1, 1},
    });
    parse_param p{};
    scanp_set(&p, "ab");
    const Dest null_text{Kind::Text, nullptr, 0};
    EXPECT_EQ(scanp_args(&p, "%A", &null_text, 1), 0);
}

TEST(scanp_test, char_conversion_copies_without_terminator) {
    struct {
        const char *pat, *text;
        int result;
        const char *buffer;
        int len;
    } rows[] = {
        {"%c", "XY", 1, "Xbcdefgh", 1},    {"%<c", "XY", 1, "Xbcdefgh", 1},
        {"%3c", "XYZW", 1, "XYZdefgh", 3}, {"%3c", "XY", 0, "abcdefgh", 0},
        {"%<3c", "XY", 1, "XYcdefgh", 2},  {"%c", " ", 1, " bcdefgh", 1},
    };
    for (const auto &r : rows) {
        char buf[9] = "abcdefgh";
        parse_param p{};
        scanp_set(&p, r.text);
        EXPECT_EQ(scanp(&p, r.pat, buf), r.result) << r.pat;
        EXPECT_STREQ(buf, r.buffer) << r.pat;
        EXPECT_EQ(p.len, r.len) << r.pat;
    }
}

TEST(scanp_test, copies_are_cut_to_the_destination) {
    struct {
        char buf[5];
        char guard[4];
    } small = {{}, {'g', 'g', 'g', 'g'}};
    parse_param p{};
    scanp_set(&p, "ABCDEFGH 12");
    EXPECT_EQ(scanp(&p, "%A %N", small.buf, small.buf), 2);
    EXPECT_STREQ(small.buf, "12");
    EXPECT_EQ(scanp(&p, "%A", small.buf), 1);
    EXPECT_STREQ(small.buf, "ABCD");
    EXPECT_EQ(p.len, 8);  // the whole field is consumed
    EXPECT_EQ(scanp(&p, "%8c", small.buf), 1);
    EXPECT_EQ(std::string(small.buf, 5), "ABCDE");
    EXPECT_EQ(std::string(small.guard, 4), "gggg");

    const std::string word(100, 'w');
    char field[81];
    scanp_set(&p, word.c_str());
    EXPECT_EQ(scanp(&p, "%s ", field), 1);  // %s stops at 80
    EXPECT_EQ(p.len, 80);
    EXPECT_EQ(p.done, 0);
    EXPECT_EQ(std::string(field), word.substr(0, 80));

    // A bare pointer is taken to hold 81 bytes; %S consumes all of its field.
    char big[120];
    std::memset(big, 'z', sizeof big);
    char *bare = big;
    EXPECT_EQ(scanp(&p, "%S", bare), 1);
    EXPECT_EQ(p.len, 100);
    EXPECT_EQ(std::strlen(big), 80u);
    EXPECT_EQ(big[81], 'z');
}

TEST(scanp_test, exhausted_cursor_or_empty_pattern_gives_minus_one) {
    char field[81] = "#";
    parse_param p{};
    scanp_set(&p, "AB");
    EXPECT_EQ(scanp(&p, "%A", field), 1);
    EXPECT_EQ(scanp(&p, "", field), -1);
    EXPECT_EQ(p.len, 0);
    EXPECT_EQ(p.matched, 0);
    EXPECT_EQ(p.assigned, 0);
    EXPECT_EQ(scanp(&p, nullptr, field), -1);
    EXPECT_EQ(scanp(&p, "%A", field), 1);
    scanp_inc(&p);
    EXPECT_EQ(p.off, 2);
    EXPECT_STREQ(scanp_str(&p), "");
    EXPECT_EQ(scanp(&p, "%n", field), -1);
    EXPECT_EQ(p.len, 0);
    scanp_inc(&p);
    EXPECT_EQ(p.off, 2);
    scanp_set(&p, "");
    EXPECT_EQ(scanp(&p, "%S", field), -1);
    EXPECT_EQ(scanp(nullptr, "%S", field), -1);
}

TEST(scanp_test, input_ends_at_length_or_terminator) {
    char field[81];
    parse_param p{};
    const char line[] = "ABCDEF";
    scanp_set(&p, line);
    p.length = 3;
    EXPECT_EQ(scanp(&p, "%S", field), 1);
    EXPECT_STREQ(field, "ABC");

    // Exactly three bytes, no terminator: nothing past them is read.
    std::unique_ptr<char[]> bytes(new char[3]{'A', 'B', 'C'});
    p = {bytes.get(), 3, 0, 0, 0, 0, 0};
    Capture cap;
    MESS_set_str("+debugd");
    EXPECT_EQ(scanp(&p, "%c%(BCD|B)%S", field, field, field), 3);
    EXPECT_STREQ(field, "C");
    EXPECT_NE(cap.out().find("SCANP:ABC:"), std::string::npos);

    const char nul[] = "AB\0CD";
    p = {nul, 5, 0, 0, 0, 0, 0};
    EXPECT_EQ(scanp(&p, "%c%c%c", field, field, field), 2);
    EXPECT_EQ(p.len, 2);
}

TEST(scanp_test, traces_only_at_their_level) {
    char a[81], b[81];
    int n = 0;
    parse_param p{};
    scanp_set(&p, ".A ABC");
    {
        Capture cap;
        EXPECT_EQ(scanp(&p, "%s ", a), 1);
        EXPECT_EQ(cap.out(), "");
    }
    Capture cap;
    MESS_set_str("+debugd");
    EXPECT_EQ(scanp(&p, "%s ", a), 1);
    EXPECT_EQ(cap.out(), "     : : ABC:\n     ::ABC:\nSCANP:.A ABC:%s :0:3:1:1:1\n");
    scanp_inc(&p);

    // Passed-over numbers and unknown letters trace; the failing element does not.
    Capture cap2;
    MESS_set_str("+debugd");
    EXPECT_EQ(scanp(&p, "%!M!dA%BC%N", &n, b), 0);
    EXPECT_EQ(cap2.out(),
              "     :A%BC%N:ABC:\n     :%BC%N:BC:\n     :BC%N:BC:\n     :C%N:C:\n     :%N::\n"
              "SCANP:ABC:%!M!dA%BC%N:3:3:0:0:0\n");

    const std::string long_line(70, 'x');
    scanp_set(&p, long_line.c_str());
    Capture cap3;
    MESS_set_str("+debugd");
    EXPECT_EQ(scanp(&p, "%N", a), 0);
    EXPECT_EQ(cap3.out(), "SCANP:" + long_line.substr(0, 50) + ":%N:0:0:0:0:0\n");
    EXPECT_EQ(scanp(&p, "", a), -1);
    EXPECT_EQ(cap3.out(), "SCANP:" + long_line.substr(0, 50) + ":%N:0:0:0:0:0\n");
}

TEST(scanp_test, decoder_patterns_on_shef_fragments) {
    check_rows({
        {"%s ", "SJSM7 820109 Z", "T", 1, {"SJSM7"}, 6, 1, 1},
        {"%[/N] ", "820109 Z DH12", "T", 1, {"820109"}, 7, 1, 1},
        {"%[/A] ", "Z DH12/HG", "T", 1, {"Z"}, 2, 1, 1},
        {"%*(D)%1[/A]%[/N]%*(/) ", "DH12 /HG", "TT", 3, {"H", "12"}, 4, 0, 2},
        {"%*(D)%1[/A]%[/N] %*(/) ", "DH12 /HG", "TT", 4, {"H", "12"}, 6, 0, 2},
        {"%*(/) ", "/HG 13.5", "", 1, {}, 1, 0, 0},
        {"%[/A] %[/N.-+] ", "HG 13.5 : NOTIFY", "TT", 2, {"HG", "13.5"}, 8, 1, 2},
        {"%[/A] %[/N.-+] ", "HG M/PP 1", "TT", 1, {"HG", "#"}, 3, 0, 1},
        {"%[^/: ] ", "HG: 6AM STAGES", "T", 1, {"HG"}, 2, 0, 1},
        {"%*(:) ", ": 6AM STAGES", "", 1, {}, 2, 1, 0},
        {"%*[^:]: ", "late: 12.5/0.1", "", 1, {}, 6, 1, 0},
        {"%*[^:]: ", "unclosed comment", "", 1, {}, 16, 0, 0},
        {"%*(/|,) ", "/PP/TA", "", 1, {}, 1, 0, 0},
        {"%[/N/A.-+] ", "12.5/0.1/M/+", "T", 1, {"12.5"}, 4, 0, 1},
        {"%(/|,) ", ",DEF 10.0", "T", 1, {","}, 1, 0, 1},
        {"%(/|,) ", "/", "T", 1, {"/"}, 1, 0, 1},
        {"%[^ :] ", "ABC 12.5/0.1", "T", 1, {"ABC"}, 4, 1, 1},
        {"%[^ :] ", ":late: 12.5", "T", 0, {"#"}, 0, 0, 0},
    });
}

// The decoder's element walk of a .A line: try, and commit only what counted.
TEST(scanp_test, try_then_commit_walk_of_a_report) {
    char token[50], id[20], type[30], value[30], date[50];
    parse_param p{};
    scanp_set(&p, ".A ABC 0815 Z DH12/HG 12.5/PP 0.1/ TX M");
    ASSERT_EQ(scanp(&p, "%s ", token), 1);
    scanp_inc(&p);
    ASSERT_EQ(scanp(&p, "%s ", id), 1);
    scanp_inc(&p);
    ASSERT_EQ(scanp(&p, "%[/N] ", date), 1);
    scanp_inc(&p);
    ASSERT_EQ(scanp(&p, "%[/A] ", date), 1);
    scanp_inc(&p);
    ASSERT_EQ(scanp(&p, "%*(D)%1[/A]%[/N]%*(/) ", type, value), 4);
    scanp_inc(&p);
    std::string record = id;
    for (bool found = true; found;) {
        if (scanp(&p, "%*(/) ") == 1) scanp_inc(&p);
        found = scanp(&p, "%[/A] %[/N.-+] ", type, value) == 2;
        if (found) {
            record += std::string(" ") + type + "=" + value;
            scanp_inc(&p);
        }
        if (scanp(&p, "%*(/) ") == 1) scanp_inc(&p);
    }
    EXPECT_EQ(record, "ABC HG=12.5 PP=0.1");
    EXPECT_STREQ(scanp_str(&p), "TX M");
}
