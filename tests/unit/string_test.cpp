#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base_int.h"
#include "vyr.h"

namespace {

TEST(string_test, clean_line_cuts_trailing_controls_and_blanks_inner_ones) {
    struct {
        std::string in, out;
    } rows[] = {
        {"ABC \r\n", "ABC "},  // trailing blank kept, CR and LF cut
        {"a\tb", "a b"},       // inner tab blanked
        {"a\tb\t", "a b"},     // trailing tab cut
        {"\t x\t\r", "  x"},   // leading control blanked
        {"abc  ", "abc  "},    // trailing blanks stay
        {"a\x7f", "a\x7f"},    // DEL is no control here
        {"a\x7f\x7f\n", "a\x7f\x7f"},
        {"ab\xe9", "ab "},  // a trailing high byte becomes a blank
        {"ab\xe9\r\n", "ab "},
        {"a\xe9\xff"
         "b",
         "a  b"},  // inner high bytes too
        {"a\x01\x02", "a"},
        {"a\x01"
         "b",
         "a b"},
        {"\x1f ", "  "},  // a control before a blank is blanked, not cut
        {"\r\n", ""},
        {"~", "~"},
    };
    for (const auto &r : rows) {
        std::vector<char> buf(r.in.begin(), r.in.end());
        buf.push_back('\0');
        EXPECT_EQ(clean_line(buf.data()), 1) << r.in;
        EXPECT_EQ(std::string(buf.data()), r.out) << r.in;
    }
    char empty[1] = "";
    EXPECT_EQ(clean_line(empty), 0);
    EXPECT_EQ(clean_line(static_cast<char *>(nullptr)), 0);
}

TEST(string_test, wstrim_string_drops_line_ends_and_trailing_blanks) {
    struct {
        std::string in, out;
    } rows[] = {
        {"yes  \r\n", "yes"},
        {"a\r\nb", "ab"},  // line ends inside close the gap
        {"a \r ", "a"},
        {"\n\r\n", ""},
        {"   ", ""},
        {"  x", "  x"},       // leading blanks stay
        {"\tx\t ", "\tx\t"},  // only the blank is trimmed
        {"", ""},
    };
    for (const auto &r : rows) {
        std::vector<char> buf(r.in.begin(), r.in.end());
        buf.push_back('\0');
        EXPECT_EQ(wstrim_string(buf.data()), 1) << r.in;
        EXPECT_EQ(std::string(buf.data()), r.out) << r.in;
    }
}

TEST(string_test, fill_string_replaces_every_target) {
    char s[] = "a,b,,c";
    EXPECT_EQ(fill_string(s, ',', '.'), 0);
    EXPECT_STREQ(s, "a.b..c");
    EXPECT_EQ(fill_string(s, 'x', '-'), 0);
    EXPECT_STREQ(s, "a.b..c");

    // A terminator as fill cuts at the first target and leaves the rest.
    char t[] = "a,b,c";
    EXPECT_EQ(fill_string(t, ',', '\0'), 0);
    EXPECT_STREQ(t, "a");
    EXPECT_STREQ(t + 2, "b,c");

    // A terminator as target matches nothing.
    char u[] = "ab";
    EXPECT_EQ(fill_string(u, '\0', 'x'), 0);
    EXPECT_STREQ(u, "ab");
    EXPECT_EQ(u[2], '\0');
    EXPECT_EQ(fill_string(nullptr, ',', '.'), 0);
}

TEST(string_test, low_string_folds_only_ascii_capitals) {
    char s[] = "ABC-xyz 123 @[`{Z\xc9";
    EXPECT_EQ(low_string(s), 1);
    EXPECT_STREQ(s, "abc-xyz 123 @[`{z\xc9");
    char empty[1] = "";
    EXPECT_EQ(low_string(empty), 0);
    EXPECT_EQ(low_string(nullptr), 0);
}

TEST(string_test, parse_string_splits_at_every_delimiter) {
    struct {
        const char *in;
        char delim;
        std::vector<std::string> fields;
    } rows[] = {
        {"a,,b,", ',', {"a", "", "b"}},
        {"x", ',', {"x"}},
        {",,,", ',', {""}},  // only delimiters: one empty field
        {",a", ',', {"", "a"}},
        {",a,,", ',', {"", "a"}},
        {"a,b,c", ',', {"a", "b", "c"}},
        {" a , b ", ',', {" a ", " b "}},  // no trimming
        {"a;b", ',', {"a;b"}},
        {"a  b ", ' ', {"a", "", "b"}},
        {"k=v", '=', {"k", "v"}},
    };
    for (const auto &r : rows) {
        int argc = -5;
        char **argv = nullptr;
        ASSERT_EQ(parse_string(r.in, r.delim, &argc, &argv), 0) << r.in;
        ASSERT_EQ(argc, static_cast<int>(r.fields.size())) << r.in;
        for (int i = 0; i < argc; ++i) EXPECT_EQ(std::string(argv[i]), r.fields[i]) << r.in;
        EXPECT_EQ(free_parsed_array(argc, argv), 0);
    }
}

TEST(string_test, parse_string_works_on_a_private_copy) {
    char in[] = "one:two";
    int argc = 0;
    char **argv = nullptr;
    ASSERT_EQ(parse_string(in, ':', &argc, &argv), 0);
    EXPECT_STREQ(in, "one:two");  // the input is not cut
    in[0] = 'X';
    ASSERT_EQ(argc, 2);
    EXPECT_STREQ(argv[0], "one");
    EXPECT_STREQ(argv[1], "two");
    EXPECT_EQ(argv[1], argv[0] + 4);  // fields share the storage of entry 0
    free_parsed_array(argc, argv);
}

TEST(string_test, parse_string_refuses_empty_and_null_input) {
    char marker = 0;
    for (const char *in : {static_cast<const char *>(""), static_cast<const char *>(nullptr)}) {
        int argc = 7;
        char **argv = reinterpret_cast<char **>(&marker);
        EXPECT_EQ(parse_string(in, ',', &argc, &argv), -1);
        EXPECT_EQ(argc, 0);
        EXPECT_EQ(argv, nullptr);
    }
    EXPECT_EQ(parse_string("a,b", ',', nullptr, nullptr), -1);
    EXPECT_EQ(free_parsed_array(0, nullptr), 0);
    EXPECT_EQ(free_parsed_array(3, nullptr), 0);
}

TEST(string_test, stricmp_compares_lower_cased_characters) {
    struct {
        const char *s1, *s2;
        int result;
    } rows[] = {
        {"Std", "std", 0},         {"", "", 0},
        {"abc", "abd", 'c' - 'd'}, {"abd", "ABC", 'd' - 'c'},
        {"a", "B", 'a' - 'b'},                             // folded before comparing, both sides
        {"B", "a", 'b' - 'a'},     {"[", "a", '[' - 'a'},  // folding goes to lower case, not upper
        {"ab", "abc", -'c'},                               // the end of a string is its terminator
        {"ABC", "ab", 'c'},        {"\xc9", "\xe9", 0xc9 - 0xe9},  // no folding beyond ASCII
    };
    for (const auto &r : rows) EXPECT_EQ(stricmp(r.s1, r.s2), r.result) << r.s1 << " " << r.s2;
    EXPECT_EQ(stricmp(nullptr, "a"), 1);
    EXPECT_EQ(stricmp("a", nullptr), 1);
    EXPECT_EQ(stricmp(nullptr, nullptr), 1);
}

TEST(string_test, strnicmp_compares_at_most_n_characters) {
    struct {
        const char *s1, *s2;
        int n, result;
    } rows[] = {
        {"date=0815", "date", 4, 0},
        {"date=0815", "DATE", 4, 0},
        {"date=0815", "date", 5, '='},
        {"DATE", "datum", 3, 0},
        {"DATE", "datum", 4, 'e' - 'u'},
        {"abc", "ABC", 100, 0},  // stops at the end before n
        {"ab", "abc", 100, -'c'},
        {"abc", "axx", 1, 0},
        {"abc", "axx", 2, 'b' - 'x'},
        {"abc", "axx", 0, 0},  // n below 1 still compares the first characters
        {"b", "a", 0, 1},
        {"b", "A", -5, 1},
        {"", "", 0, 0},
    };
    for (const auto &r : rows)
        EXPECT_EQ(strnicmp(r.s1, r.s2, r.n), r.result) << r.s1 << " " << r.s2 << " " << r.n;
    EXPECT_EQ(strnicmp(nullptr, "a", 1), 1);
    EXPECT_EQ(strnicmp("a", nullptr, 1), 1);
}

}  // namespace

// The one integer reader: every digit is taken however many there are, and
// a value out of range fails or takes the nearer bound.
TEST(string_test, integers_within_a_range) {
    using vyr::OutOfRange;
    struct Row {
        const char *text;
        int64_t lo, hi;
        OutOfRange rule;
        std::size_t used;
        int64_t value;  // -1: left as it was
    };
    const Row rows[] = {
        {"42abc", 0, 100, OutOfRange::Fail, 2, 42},
        {"+7", -10, 10, OutOfRange::Fail, 2, 7},
        {"-7", -10, 10, OutOfRange::Fail, 2, -7},
        {"-", -10, 10, OutOfRange::Fail, 0, -1},
        {" 5", 0, 10, OutOfRange::Fail, 0, -1},
        {"101", 0, 100, OutOfRange::Fail, 0, -1},
        {"101", 0, 100, OutOfRange::Clamp, 3, 100},
        {"99999999999999999999999x", 0, 1000, OutOfRange::Clamp, 23, 1000},
        {"-99999999999999999999999", INT64_MIN, 0, OutOfRange::Fail, 24, INT64_MIN},
        {"9223372036854775807", INT64_MIN, INT64_MAX, OutOfRange::Fail, 19, INT64_MAX},
    };
    for (const Row &r : rows) {
        int64_t v = -1;
        EXPECT_EQ(vyr::read_integer(r.text, v, r.lo, r.hi, r.rule), r.used) << r.text;
        EXPECT_EQ(v, r.value) << r.text;
    }
    int i = -1;
    EXPECT_EQ(vyr::read_integer("2147483648", i), 0u);
    EXPECT_EQ(i, -1);
    double d = 0;
    EXPECT_EQ(vyr::read_decimal("-1.5e3x", d), 6u);
    EXPECT_EQ(d, -1500.0);
    EXPECT_EQ(vyr::read_decimal("nan", d), 0u);
}
