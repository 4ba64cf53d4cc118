// Conversion of resource values into targets and process state.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "test_util.h"
#include "vyr.h"
#include "vyr_int.h"
#include "vyrresrc.h"

namespace {

constexpr int M = VYR_MISSING;
constexpr int32_t kUntouched = 4242;

// The value (null for none) and the expected target, kUntouched when the
// conversion must leave it alone.
struct IntRow {
    const char *data;
    int64_t want;
};

}  // namespace

TEST(resrc_conv, integers) {
    const IntRow ints[] = {
        {"0x10", 16},
        {"0X1f", 31},
        {"+7", 7},
        {"-12", -12},
        {"12abc", 12},
        {"abc", kUntouched},
        {"", kUntouched},
        {" 5", kUntouched},
        {"-", 0},
        {"0xFFFFFFFF", -1},
        {"99999999999", INT32_MAX},
        {"-99999999999", INT32_MIN},
        {"0xzz", 0},
    };
    for (const IntRow &r : ints) {
        int32_t v = kUntouched;
        EXPECT_EQ(RES_conv_data(r.data, &v, CV_int), 1);
        EXPECT_EQ(v, r.want) << r.data;
    }
    const IntRow shorts[] = {{"123", 123},
                             {"70000", INT16_MAX},
                             {"-5", kUntouched},
                             {"+5", kUntouched},
                             {"x", kUntouched}};
    for (const IntRow &r : shorts) {
        int16_t v = static_cast<int16_t>(kUntouched);
        EXPECT_EQ(RES_conv_data(r.data, &v, CV_short), 1);
        EXPECT_EQ(v, r.want) << r.data;
    }
    const IntRow longs[] = {
        {"123456789012", 123456789012LL}, {"-1", kUntouched}, {"x", kUntouched}};
    for (const IntRow &r : longs) {
        int64_t v = kUntouched;
        EXPECT_EQ(RES_conv_data(r.data, &v, CV_long), 1);
        EXPECT_EQ(v, r.want) << r.data;
    }
    const IntRow colors[] = {{"12", 12}, {"-3", -3}, {"x", 0}, {"99999999999", INT32_MAX}};
    for (const IntRow &r : colors) {
        int64_t v = kUntouched;
        EXPECT_EQ(RES_conv_data(r.data, &v, CV_color), 1);
        EXPECT_EQ(v, r.want) << r.data;
    }
}

TEST(resrc_conv, floats_and_booleans) {
    struct FloatRow {
        const char *data;
        float want;
    };
    const FloatRow floats[] = {{"2.5", 2.5f}, {"-1e3", -1000.f}, {"abc", 0.f}, {"7x", 7.f}};
    for (const FloatRow &r : floats) {
        float v = 99.f;
        EXPECT_EQ(RES_conv_data(r.data, &v, CV_float), 1);
        EXPECT_FLOAT_EQ(v, r.want) << r.data;
    }
    const IntRow bools[] = {{nullptr, 1},     {"TRUE", 1},      {"On", 1}, {"yes", 1},
                            {"false", 0},     {"OFF", 0},       {"No", 0}, {"maybe", kUntouched},
                            {"", kUntouched}, {"1", kUntouched}};
    for (const IntRow &r : bools) {
        int32_t v = kUntouched;
        EXPECT_EQ(RES_conv_data(r.data, &v, CV_bool), 1);
        EXPECT_EQ(v, r.want) << (r.data ? r.data : "(none)");
    }
}

TEST(resrc_conv, missing_value_or_target) {
    int32_t v = kUntouched;
    // Without a value only the switches act.
    const DEF_convert need_value[] = {CV_int,  CV_float, CV_string, CV_path,
                                      CV_mess, CV_hour,  CV_draw,   CV_device};
    for (DEF_convert c : need_value) EXPECT_EQ(RES_conv_data(nullptr, &v, c), 0) << c;
    const DEF_convert need_target[] = {CV_bool,   CV_int,    CV_short, CV_long,   CV_float,
                                       CV_string, CV_strcpy, CV_path,  CV_region, CV_device};
    for (DEF_convert c : need_target) EXPECT_EQ(RES_conv_data("1", nullptr, c), 0) << c;
    // Kinds with no action succeed and leave the target alone.
    const DEF_convert inert[] = {CV_none, CV_current, CV_name, CV_ingestor, CV_strings};
    for (DEF_convert c : inert) EXPECT_EQ(RES_conv_data("1", &v, c), 1) << c;
    EXPECT_EQ(v, kUntouched);
}

TEST(resrc_conv, texts_and_paths) {
    const char *data = "value";
    const char *p = nullptr;
    EXPECT_EQ(RES_conv_data(data, &p, CV_string), 1);
    EXPECT_EQ(p, data);  // the list's own text, not a copy

    // A copied text goes into a file-name buffer: 159 characters at most; a
    // longer one is refused and the target keeps what it held.
    char buf[160] = "old";
    EXPECT_EQ(RES_conv_data("abc", buf, CV_strcpy), 1);
    EXPECT_STREQ(buf, "abc");
    const std::string longest(159, 'n'), over(160, 'o');
    EXPECT_EQ(RES_conv_data(longest.c_str(), buf, CV_strcpy), 1);
    EXPECT_EQ(buf, longest);
    EXPECT_EQ(RES_conv_data(over.c_str(), buf, CV_strcpy), 0);
    EXPECT_EQ(buf, longest);

    struct PathRow {
        const char *data;
        const char *want;
        bool owned;
    };
    const PathRow paths[] = {
        {"none", "", false},        {"NONE", "", false}, {"/data", "/data/", true},
        {"/data/", "/data/", true}, {"", "", true},      {"rel", "rel/", true}};
    for (const PathRow &r : paths) {
        char *out = nullptr;
        EXPECT_EQ(RES_conv_data(r.data, &out, CV_path), 1);
        ASSERT_NE(out, nullptr);
        EXPECT_STREQ(out, r.want) << r.data;
        if (r.owned) std::free(out);
    }
}

TEST(resrc_conv, device) {
    struct Row {
        const char *data;
        int flag;
        const char *name;  // null: target untouched
    };
    const Row rows[] = {
        {"p,laser", 4, "laser"}, {"P", 4, nullptr}, {"h", 5, nullptr},  {"Q", 5, nullptr},
        {"m", 3, nullptr},       {"W", 6, nullptr}, {"d", 1, nullptr},  {"", 1, nullptr},
        {"x,a,b", 1, "a,b"},     {",lp", 1, "lp"},  {"q,", 5, nullptr},
    };
    for (const Row &r : rows) {
        FLAG_reset(M);
        const char *name = "untouched";
        EXPECT_EQ(RES_conv_data(r.data, &name, CV_device), 1);
        EXPECT_EQ(flags[2], r.flag) << r.data;
        EXPECT_STREQ(name, r.name ? r.name : "untouched") << r.data;
    }
    EXPECT_EQ(RES_set_device(nullptr), 1);
    EXPECT_EQ(RES_set_device("printer"), 4);
}

TEST(resrc_conv, keyword_flags) {
    struct Row {
        DEF_convert cvt;
        int flag;
        const char *data;
        int want;
    };
    const Row rows[] = {
        {CV_file_param, 15, "Use", 3},    {CV_file_param, 15, "REUSE", 3},
        {CV_file_param, 15, "over", 1},   {CV_file_param, 15, "calc", 1},
        {CV_file_param, 15, "recalc", 1}, {CV_file_param, 15, "app", 2},
        {CV_file_param, 15, "append", M}, {CV_file_param, 15, "", M},
        {CV_plot_type, 11, "stream", 23}, {CV_plot_type, 11, "STRM", 23},
        {CV_plot_type, 11, "contour", M}, {CV_plot_type, 11, "raw", 0},
        {CV_plot_type, 11, "none", 99},   {CV_plot_type, 11, "gvalue", 17},
        {CV_plot_type, 11, "number", 54}, {CV_plot_type, 11, "stuve", 61},
        {CV_plot_type, 11, "rteph", 65},  {CV_plot_type, 11, "hodo", 69},
    };
    for (const Row &r : rows) {
        FLAG_reset(M);
        EXPECT_EQ(RES_conv_data(r.data, nullptr, r.cvt), 1);
        EXPECT_EQ(flags[r.flag], r.want) << r.data;
    }
}

TEST(resrc_conv, draw_switches) {
    struct Row {
        const char *data;
        int want[13];
    };
    const Row rows[] = {
        {"data,map", {0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 2}},
        {"+grid", {6, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 17}},
        {"-text", {0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 4}},
        {"text", {6, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1, 13}},
        {"none", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"-all", {6, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 17}},
        {"+none", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"TEXT_UL,+sum", {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 3}},
        {"foo,map", {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1}},
        {"-data,-bord", {6, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 0, 15}},
        {"text_lr,text_lc,text_ll", {3, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0, 6}},
    };
    for (const Row &r : rows) {
        FLAG_resetplot(1);
        EXPECT_EQ(RES_conv_data(r.data, nullptr, CV_draw), 1);
        for (int i = 0; i < 13; ++i) EXPECT_EQ(plot_it[i], r.want[i]) << r.data << " [" << i << "]";
    }
}

TEST(resrc_conv, hour_forms) {
    struct Row {
        const char *text;
        int year, month, day, hour, min;
    };
    const Row rows[] = {
        {"#2024031512", 2024, 3, 15, 12, M},
        {"#202403151230", 2024, 3, 15, 12, 30},
        {"#2024", 2024, M, M, M, M},
        {"#20", 20, M, M, M, M},
        {"#2024a03", 2024, M, M, M, M},
        {"#x", M, M, M, M, M},
        {"#", M, M, M, M, M},
        {"031512", M, 3, 15, 12, M},
        {"abcdef", M, M, M, M, M},
        {"03x512", M, 3, M, M, M},
        {"1512", M, M, 15, 12, M},
        {"1d12", M, M, 1, M, M},
        {"512", M, M, 5, 12, M},
        {"2d12:30", M, M, 2, 12, 30},
        {"1d12:00", M, M, 1, 12, 0},
        {"2d", M, M, 2, M, M},
        {"d", M, M, M, M, M},
        {":45", M, M, M, M, 45},
        {"-:30", M, M, M, M, -30},
        {"12", M, M, M, 12, M},
        {"12:30", M, M, M, 12, 30},
        {"-0:30", M, M, M, M, -30},
        {"-1:30", M, M, M, -1, 30},
        {"-3", M, M, M, -3, M},
        {"-0", M, M, M, M, M},
        {"x", M, M, M, M, M},
        {"", M, M, M, M, M},
        {"99999999999", M, M, M, INT_MAX, M},
        {"-0:-99999999999", M, M, M, M, INT_MAX},
    };
    for (const Row &r : rows) {
        Date d = vyr::hour_setting(r.text);
        SCOPED_TRACE(r.text);
        EXPECT_EQ(d.year, r.year);
        EXPECT_EQ(d.month, r.month);
        EXPECT_EQ(d.day, r.day);
        EXPECT_EQ(d.hour, r.hour);
        EXPECT_EQ(d.min, r.min);
        EXPECT_EQ(d.jday, M);
        EXPECT_EQ(d.wday, M);
        EXPECT_EQ(d.sec, M);
    }
    // The conversion hands the same record to file naming, even one that
    // scanned nothing.
    vyr::reset_reference_time();
    EXPECT_EQ(RES_conv_data("2d12:30", nullptr, CV_hour), 1);
    EXPECT_EQ(vyr::reference_time().day, 2);
    EXPECT_EQ(vyr::reference_time().min, 30);
    EXPECT_EQ(RES_conv_data("abcdef", nullptr, CV_hour), 1);
    EXPECT_EQ(vyr::reference_time().day, M);
    // A date that does not exist is told and not used: the setting before stays.
    vyr::test::CapturedMessages captured;
    for (const char *bad : {"#2026130112", "#2025022912", "139912", "9912", "#202612072400", "25"}) {
        EXPECT_EQ(RES_conv_data(bad, nullptr, CV_hour), 1);
        EXPECT_EQ(vyr::reference_time().day, M) << bad;
        EXPECT_EQ(captured.err(), std::string("Date not valid: ") + bad + "\n");
        captured.clear_output();
    }
    EXPECT_EQ(RES_conv_data("#2024022912", nullptr, CV_hour), 1);
    EXPECT_EQ(vyr::reference_time().day, 29);
}

TEST(resrc_conv, batch_help_and_messages) {
    FLAG_reset(M);
    vyr::reset_messages();
    EXPECT_EQ(RES_conv_data(nullptr, nullptr, CV_batch), 1);
    EXPECT_EQ(flags[19], 1);
    EXPECT_EQ(MESS_check(M_MESS), 0);
    EXPECT_EQ(MESS_check(M_WARN), 1);
    EXPECT_EQ(RES_conv_data("anything", nullptr, CV_help), 1);
    EXPECT_EQ(flags[20], 1);

    // The user's choice stands.
    vyr::reset_messages();
    EXPECT_EQ(RES_conv_data("out3", nullptr, CV_mess), 1);
    EXPECT_EQ(RES_conv_data("no", nullptr, CV_batch), 1);
    EXPECT_EQ(MESS_check(M_OUT3), 1);
    vyr::reset_messages();
}

TEST(resrc_conv, domains) {
    Domain d{};
    EXPECT_EQ(DOM_init(&d), 0);
    EXPECT_EQ(d.proj, M);
    for (float f : {d.plat, d.plon, d.param[0], d.param[4], d.clat, d.clon, d.dx, d.dy})
        EXPECT_EQ(f, -9999.0f);
    EXPECT_EQ(d.nx, M);
    EXPECT_EQ(d.ny, M);
    EXPECT_EQ(d.ellipse, 0);

    // A missing domain leaves the record all missing.
    for (DEF_convert c : {CV_region, CV_domain}) {
        Domain x{};
        x.nx = 5;
        x.ellipse = 1;
        EXPECT_EQ(RES_conv_data("miss", &x, c), 1);
        EXPECT_EQ(x.nx, M);
        EXPECT_EQ(x.ellipse, 0);
    }
}
