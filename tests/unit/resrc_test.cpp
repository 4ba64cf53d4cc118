// The catalogue, the value list and start-up: definition files, environment
// and command line, with the converter's resource lists.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "resrc_helpers.h"
#include "shef2raw_keys.h"
#include "test_util.h"
#include "vyr.h"
#include "vyr_int.h"
#include "vyrresrc.h"

namespace fs = std::filesystem;

namespace {

constexpr int M = VYR_MISSING;

// Start-up in a scratch working directory and HOME, with no vyr* variable
// but "vyrdefault", which names an empty directory unless a test says else.
class resrc_startup : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directory(dir + "/empty");
        old_cwd = fs::current_path();
        fs::current_path(dir);
        setenv("HOME", dir.c_str(), 1);
        reset();
    }
    void TearDown() override {
        reset();
        unset_vyr_environment();
        fs::current_path(old_cwd);
    }

    // Everything start-up touches, back to its state at load.
    void reset() {
        reset_startup();
        setenv("vyrdefault", (dir + "/empty").c_str(), 1);
    }

    // RES_init with the converter's lists; argv stays alive for the saved
    // command line.
    void run(const std::vector<std::string> &args, const char *prog = "shef2raw") {
        storage.assign(1, prog);
        storage.insert(storage.end(), args.begin(), args.end());
        argv.clear();
        for (auto &s : storage) argv.push_back(s.data());
        argv.push_back(nullptr);
        RES_init(static_cast<int>(storage.size()), argv.data(), shef2raw_res_key, shef2raw_res_pos);
    }

    // Every stored resource as RES_list prints it, without the "default"
    // line that the test's own search path puts first.
    std::string listing() {
        vyr::test::CapturedMessages cap;
        RES_list();
        std::string s = cap.out();
        const char *def = getenv("vyrdefault");
        std::string own = std::string("default: ") + (def ? def : "") + "\n";
        if (def && s.compare(0, own.size(), own) == 0) s.erase(0, own.size());
        return s;
    }

    vyr::test::ScratchDir scratch{"vyrres"};
    const std::string dir = scratch.path();
    fs::path old_cwd;
    std::vector<std::string> storage;
    std::vector<char *> argv;
};

}  // namespace

// ---------------------------------------------------------------------------
// The catalogue

TEST(resrc_catalogue, rows_as_tabled) {
    struct Row {
        res_type key;
        const char *def, *env, *cmd;
        DEF_convert cvt;
        int pos;
    };
    const Row rows[] = {
        {RES_help, "help", "vyrhelp", "h", CV_help, 0},
        {RES_batch, "batch", "vyrbatch", "ba", CV_batch, 0},
        {RES_message, "message", "vyrmess", "me", CV_mess, 0},
        {RES_in_file, "in_file", "vyrinfile", "if", CV_string, 0},
        {RES_in_files, "in_file", "vyrinfile", "if", CV_string, 0},  // identical rows
        {RES_input, "input", "vyrin", "in", CV_string, 0},
        {RES_inputg, "input", "vyrin", "inp", CV_string, 0},
        {RES_con_interval, "con_interval", "vyrconint", "in", CV_float, 0},
        {RES_file_path, "file_path", "vyrfile", "fp", CV_path, 0},
        {RES_image_path, "image_path", "vyrimage", "ip", CV_string, 0},
        {RES_model_path, "model_path", "vyrmpath", "mp", CV_path, 0},
        {RES_grid_domain, "grid_domain", "vyrgrddomain", "gd", CV_domain, 0},
        {RES_region, "region", "vyrregion", "re", CV_region, 0},
        {RES_stat_prior, "stat_prior", "vyrprior", "pr", CV_int, 0},
        {RES_table, "table", "vyrtable", "ta", CV_bool, 0},
        {RES_color_line, "color_line", "vyrclrln", "coln", CV_string, 0},
        {RES_color_watch, "color_watch", "vyrclrwatch", "cowa", CV_string, 0},
        {RES_color_hodtxt, "color_hodtxt", "vyrclrhdtxt", "coht", CV_string, 0},
        {RES_device, "device", "vyrdevice", "de", CV_device, 0},
        {RES_commands, "command", "vyrcommand", "cd", CV_string, 0},
        {RES_command, "command", "vyrcommand", nullptr, CV_strings, 10},
        {RES_filename, "filename", "vyrfilename", nullptr, CV_strcpy, 1},
        {RES_filenames, "filename", "vyrfilename", nullptr, CV_strings, 10},
        {RES_values, "value", "vyrvalue", nullptr, CV_strings, 10},
    };
    for (const Row &r : rows) {
        RES_defobj obj{};
        obj.out = &obj;  // must be cleared
        obj.num = &obj.pos;
        obj.pos = 7;
        EXPECT_EQ(RES_enter(&obj, r.key), 1);
        SCOPED_TRACE(r.def);
        EXPECT_STREQ(obj.def, r.def);
        EXPECT_STREQ(obj.env, r.env);
        if (r.cmd)
            EXPECT_STREQ(obj.cmd, r.cmd);
        else
            EXPECT_EQ(obj.cmd, nullptr);
        EXPECT_EQ(obj.cvt, r.cvt);
        EXPECT_EQ(obj.pos, r.pos);
        EXPECT_EQ(obj.out, nullptr);
        EXPECT_EQ(obj.num, nullptr);
    }
}

TEST(resrc_catalogue, keys_without_row_print_their_number) {
    const res_type rowless[] = {
        RES_age,          RES_bin_path,    RES_color_cgrid, RES_color_conts,   RES_color_echo,
        RES_color_labels, RES_color_rep,   RES_con_bases,   RES_con_intervals, RES_data_src,
        RES_default,      RES_identifiers, RES_identifierp, RES_ingest_port,   RES_labels,
        RES_name,         RES_num_grid,    RES_out_files,   RES_plot_range,    RES_plot_types,
        RES_position,     RES_program,     RES_read_conf,   RES_save_param,    RES_unit,
    };
    ASSERT_EQ(std::size(rowless), 25u);
    for (res_type k : rowless) {
        RES_defobj obj{};
        int rc = 0;
        std::string out = direct_stdout([&] { rc = RES_enter(&obj, k); });
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(out, std::to_string(static_cast<int>(k)) + "\n");
        ASSERT_NE(obj.def, nullptr);
        EXPECT_STREQ(obj.def, "");
    }
    // Every other key has a row and prints nothing.
    int rows = 0;
    for (int k = 1; k <= RES_replay; ++k) {
        RES_defobj obj{};
        std::string out = direct_stdout([&] { RES_enter(&obj, static_cast<res_type>(k)); });
        if (out.empty()) {
            ++rows;
            EXPECT_GT(std::strlen(obj.def), 0u) << k;
        }
    }
    EXPECT_EQ(rows, 92);
}

// ---------------------------------------------------------------------------
// The value list

TEST(resrc_list, store_append_and_split) {
    vyr::reset_resources();
    EXPECT_EQ(RES_get("x"), nullptr);
    EXPECT_EQ(RES_new(3, "x", nullptr, CV_int), 0);
    EXPECT_STREQ(RES_get("x"), "");  // given without a value
    EXPECT_EQ(RES_append(5, "x", "a", CV_strings), 0);
    EXPECT_EQ(RES_append(5, "x", "b", CV_strings), 0);
    EXPECT_EQ(RES_append(5, "x", nullptr, CV_strings), 0);
    EXPECT_STREQ(RES_get("x"), "a\nb");
    // Appending keeps the kind of the existing node: split at commas.
    int n = 0;
    char **v = nullptr;
    EXPECT_EQ(RES_getvals("x", &n, &v), 1);
    free_parsed_array(n, v);
    EXPECT_EQ(RES_new(3, "X", "other", CV_string), 0);  // names are case-sensitive
    EXPECT_STREQ(RES_get("x"), "a\nb");
    EXPECT_EQ(RES_put("x", "p,q"), 0);
    EXPECT_EQ(RES_getvals("x", &n, &v), 2);
    EXPECT_STREQ(v[0], "p");
    EXPECT_STREQ(v[1], "q");
    free_parsed_array(n, v);
    EXPECT_EQ(RES_getvals("missing", &n, &v), 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(v, nullptr);

    vyr::test::CapturedMessages cap;
    RES_list();
    EXPECT_EQ(cap.out(), "x: p,q\nX: other\n");
    vyr::reset_resources();
    EXPECT_EQ(RES_get("x"), nullptr);
}

// A reader may hold a value across its replacement (file selection reads
// "in_file", then a "set" answer at its prompt replaces it): what was handed
// out stays readable for the run.
TEST(resrc_list, handed_out_values_outlive_their_replacement) {
    vyr::reset_resources();
    RES_put("in_file", "first.shef");
    const char *first = RES_get("in_file");
    RES_put("in_file", "second.shef");
    EXPECT_STREQ(first, "first.shef");
    const char *second = RES_get("in_file");
    EXPECT_EQ(VYR_set_command("set in_file third.shef"), 1);
    EXPECT_STREQ(second, "second.shef");
    EXPECT_STREQ(RES_get("in_file"), "third.shef");

    RES_new(1, "filename", "a", CV_strings);
    const char *before = RES_get("filename");
    RES_append(1, "filename", "b", CV_strings);
    EXPECT_STREQ(before, "a");
    EXPECT_STREQ(RES_get("filename"), "a\nb");
    vyr::reset_resources();
}

TEST(resrc_list, program_name) {
    char a0[] = "/usr/local/bin/shef2raw", a1[] = "x";
    char *argv[] = {a0, a1, nullptr};
    RES_setCL(2, argv);
    EXPECT_STREQ(RES_get_prog(), "/usr/local/bin/shef2raw");
    char buf[80];
    EXPECT_STREQ(RES_get_progname(buf), "shef2raw");
    char small[4];
    EXPECT_STREQ(RES_get_progname(small, sizeof small), "she");
    char *own = RES_get_progname(nullptr);
    EXPECT_STREQ(own, "shef2raw");
    std::free(own);
    vyr::reset_resources();
    EXPECT_EQ(RES_get_prog(), nullptr);
}

// ---------------------------------------------------------------------------
// The command line

TEST_F(resrc_startup, command_line_cases) {
    const std::string long_name(60, 'a');
    struct Case {
        std::vector<std::string> args;
        std::string listing;
    };
    const Case cases[] = {
        {{"-fp", "/data"}, "file_path: /data\n"},
        {{"-fp=/data"}, "file_path: /data\n"},
        {{"--file_path=/data"}, "file_path: /data\n"},
        {{"-file", "/data"}, "file_path: /data\n"},
        {{"-FP", "/data"}, "file_path: /data\n"},
        {{"-File_Path", "/data"}, "file_path: /data\n"},
        {{"-fp="}, "file_path: \n"},
        {{"-h", "input.txt"}, "help:\nfilename: input.txt\n"},
        {{"-h=1"}, "help: 1\n"},
        {{"-ba", "x", "-pf", "use"}, "batch:\nfilename: x\nfile_param: use\n"},
        {{"-cu"}, "current:\n"},
        {{"-cu", "-ho", "12"}, "current:\nhour: 12\n"},
        {{"-i", "x"}, "image_path: x\n"},
        {{"-in", "x"}, "in_file: x\n"},
        {{"-c", "x"}, "con_path: x\n"},
        {{"-n", "Title"}, "name: Title\n"},
        {{"-na=Title", "a"}, "name: Title\nfilename: a\n"},
        {{"-Name", "Title"}, ""},
        {{"--name", "Title"}, ""},
        {{"-n"}, ""},
        {{"-df", "/nowhere", "a"}, "default: /nowhere\nfilename: a\n"},
        {{"--default=/nowhere"}, ""},
        {{"-DF", "/nowhere"}, ""},
        {{"-xyz", "3"}, "xyz: 3\n"},
        {{"-xyz"}, "xyz:\n"},
        {{"-xyz", "-5"}, "xyz: -5\n"},
        {{"a", "b"}, "filename: a\nb\n"},
        {{"-", "-5"}, "filename: -\n-5\n"},
        {{"--", "--5", "a"}, "filename: --5\na\n"},
        {{"-fp", "/a", "-fp=/b"}, "file_path: /b\n"},
        {{"-pa", "%s%n%x"}, "parameter: %s%n%x\n"},
        // An option is never the value of the one before it.
        {{"-cu", "--fp=/data"}, "current:\nfile_path: /data\n"},
        {{"-" + long_name, "v"}, std::string(49, 'a') + ": v\n"},
        {{"-" + long_name + "=v"}, std::string(49, 'a') + ": v\n"},
    };
    for (const Case &c : cases) {
        std::string shown;
        for (const auto &a : c.args) shown += a + " ";
        SCOPED_TRACE(shown);
        run(c.args);
        EXPECT_EQ(listing(), c.listing);
        reset();
    }
}

TEST_F(resrc_startup, title_from_command_line_qualifies_files) {
    // -n goes to the definition-file reader before any file is read;
    // "-Name" does not.
    std::string f = scratch.write("defs", "radar.file_path /radar\n");
    struct Case {
        std::vector<std::string> args;
        const char *file_path;
    };
    const Case cases[] = {{{"-n", "radar"}, "/radar"}, {{"-Name", "radar"}, nullptr}};
    for (const Case &c : cases) {
        setenv("vyrdefault", f.c_str(), 1);
        run(c.args);
        if (c.file_path)
            EXPECT_STREQ(RES_get("file_path"), c.file_path);
        else
            EXPECT_EQ(RES_get("file_path"), nullptr);
        reset();
    }
}

TEST_F(resrc_startup, parameter_items) {
    run({"-pa", "date=2024,x", "a", "b"});
    int n = 0;
    char **v = nullptr;
    ASSERT_EQ(RES_getvals("parameter", &n, &v), 2);
    EXPECT_STREQ(v[0], "date=2024");
    EXPECT_STREQ(v[1], "x");
    free_parsed_array(n, v);
    // The positional list splits at newlines.
    ASSERT_EQ(RES_getvals("filename", &n, &v), 2);
    EXPECT_STREQ(v[0], "a");
    EXPECT_STREQ(v[1], "b");
    free_parsed_array(n, v);
    EXPECT_EQ(RES_getvals("hour", &n, &v), 0);
    EXPECT_EQ(v, nullptr);
}

// ---------------------------------------------------------------------------
// Conversion at the end of start-up

TEST_F(resrc_startup, conversions_act_on_process_state) {
    run({});
    for (int i = 0; i < 30; ++i) EXPECT_EQ(flags[i], M) << i;
    EXPECT_EQ(FLAG_help(), 0);
    EXPECT_EQ(FLAG_batch(), 0);
    reset();

    run({"-h", "-ba", "-pf", "Use", "-ho", "1512"});
    EXPECT_EQ(flags[20], 1);
    EXPECT_EQ(flags[19], 1);
    EXPECT_EQ(flags[15], 3);
    EXPECT_EQ(vyr::reference_time().day, 15);
    EXPECT_EQ(vyr::reference_time().hour, 12);
    EXPECT_EQ(MESS_check(M_MESS), 0);  // batch: print, error and warn only
    EXPECT_EQ(MESS_check(M_WARN), 1);
    reset();

    // The user's message setting beats the batch default in either order.
    for (auto args : {std::vector<std::string>{"-ba", "-me", "out3"},
                      std::vector<std::string>{"-me", "out3", "-ba"}}) {
        run(args);
        EXPECT_EQ(flags[19], 1);
        EXPECT_EQ(MESS_check(M_OUT3), 1);
        EXPECT_EQ(MESS_check(M_OUT4), 0);
        reset();
    }

    // The display time zone comes from "vyrtz" after everything else.
    setenv("vyrtz", "CST:-6", 1);
    run({});
    Date noon{2024, 3, 15, M, M, 12, M, M};
    char label[32];
    DATE_make_label(&noon, label);
    EXPECT_NE(std::string(label).find(" CST"), std::string::npos) << label;
    reset();

    // A free resource is never converted, even under a converting name.
    run({});
    RES_put("file_param", "use");
    EXPECT_EQ(flags[15], M);
}

// ---------------------------------------------------------------------------
// Definition files and the search path

TEST_F(resrc_startup, definition_file_keys) {
    struct Case {
        const char *prog;
        std::vector<std::string> args;
        const char *file;
        const char *listing;
    };
    const std::string long_value(300, 'v');
    const Case cases[] = {
        {"shef2raw", {}, "*.file_path /data\n", "file_path: /data\n"},
        {"shef2raw", {}, "otherprog.file_path /data\n", ""},
        {"shef2raw", {}, "shef2raw.file_path /data\n", "file_path: /data\n"},
        {"/opt/bin/shef2raw", {}, "shef2raw.file_path /data\n", "file_path: /data\n"},
        {"shef2raw",
         {"-n", "+radar"},
         "shef2raw.radar.in_file x\nradar.in_file y\n",
         "name: +radar\nin_file: x\n"},
        {"shef2raw",
         {"-n", "radar"},
         "shef2raw.radar.in_file x\nradar.in_file y\n",
         "name: radar\nin_file: y\n"},
        {"myprog", {}, "MyProg.In_File: x\n", "in_file: x\n"},
        {"MyProg", {}, "MyProg.In_File: x\n", ""},
        {"shef2raw", {}, "shef2raw.foo bar\n", "foo: bar\n"},
        {"shef2raw", {}, "other.foo bar\n", ""},
        {"shef2raw", {}, "*.parameter \"date=2024, x\" rest\n", "parameter: date=2024, x\n"},
        {"shef2raw", {}, "*.file_path /a\n*.file_path /b\n", "file_path: /b\n"},
        {"shef2raw", {}, "*.parameter %s%n%p\n", "parameter: %s%n%p\n"},
        {"shef2raw", {}, "*.filename f1\n", "filename: f1\n"},
        {"shef2raw", {"a"}, "*.filename f1\n", "filename: a\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        setenv("vyrdefault", scratch.write("defs", c.file).c_str(), 1);
        run(c.args, c.prog);
        EXPECT_EQ(listing(), c.listing);
        reset();
    }
}

TEST_F(resrc_startup, long_values_never_overflow) {
    // The reader refuses file and environment values over 199 characters
    // whole; the search path from the environment is cut to 199.
    setenv("vyrdefault",
           scratch.write("defs", "*.parameter " + std::string(300, 'p') + "\n*.hour 6\n").c_str(),
           1);
    setenv("vyrcity", std::string(300, 'c').c_str(), 1);
    run({});
    EXPECT_EQ(RES_get("parameter"), nullptr);
    EXPECT_STREQ(RES_get("hour"), "6");
    EXPECT_EQ(RES_get("city_file"), nullptr);
    reset();

    std::string long_path = dir + "/" + std::string(250, 'd');
    setenv("vyrdefault", long_path.c_str(), 1);
    run({});
    EXPECT_EQ(std::string(RES_get("default")), long_path.substr(0, 199));
}

TEST_F(resrc_startup, trace_of_matched_lines) {
    setenv("vyrdefault", scratch.write("defs", "*.file_path /d%s\nshef2raw.foo x\n").c_str(), 1);
    MESS_set(11, M_DEBUG_RES);
    vyr::test::CapturedMessages cap;
    run({});
    // Only lines that match a row are traced.
    EXPECT_EQ(cap.out(), "RESRC: *.file_path=/d%s\n");
}

TEST_F(resrc_startup, search_path_elements) {
    std::string one = scratch.write("one", "*.file_path /one\n");
    std::string two = scratch.write("two", "*.file_path /two\n*.city_file two\n");
    scratch.write("cfgdir/vyr.cfg", "*.file_path /cfg\n");
    scratch.write("cfgdir/Vyr.res", "*.file_path /res\n");
    std::string cond = scratch.write("cond",
                                     "IF metar\n*.hour 12\nELSE\n*.hour 6\nEND\n"
                                     "IF synop\n*.num_hour 3\nEND\n");
    struct Case {
        std::string path;
        const char *listing;
    };
    const Case cases[] = {
        {one + ":" + two, "file_path: /two\ncity_file: two\n"},
        {two + ":" + one, "file_path: /one\ncity_file: two\n"},
        {dir + "/cfgdir", "file_path: /cfg\n"},
        {dir + "/missing:" + one, "file_path: /one\n"},
        {"+metar:" + cond, "hour: 12\n"},
        {cond, "hour: 6\n"},
        {cond + ":+metar", "hour: 6\n"},  // a tag acts on later files only
        {"+synop:+metar:" + cond, "hour: 12\nnum_hour: 3\n"},
        {"#3:" + one, "file_path: /one\n"},  // a display window is passed over
        {one + "::", "file_path: /one\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        setenv("vyrdefault", c.path.c_str(), 1);
        run({});
        EXPECT_EQ(listing(), c.listing);
        reset();
    }
}

TEST_F(resrc_startup, default_path_and_its_overrides) {
    scratch.write(".vyrdef", "*.file_path /dot\n");
    std::string other = scratch.write("other", "*.file_path /other\n");

    // An empty path is one empty element: .vyrdef in the working directory.
    setenv("vyrdefault", "", 1);
    run({});
    EXPECT_STREQ(RES_get("file_path"), "/dot");
    reset();

    // Without vyrdefault the path begins with the working directory.
    unsetenv("vyrdefault");
    run({});
    EXPECT_STREQ(RES_get("file_path"), "/dot");
    EXPECT_EQ(RES_get("default"), nullptr);
    reset();

    // The command line overrides vyrdefault, in either spelling.
    for (auto args :
         {std::vector<std::string>{"-df", other}, std::vector<std::string>{"-default=" + other}}) {
        run(args);
        EXPECT_STREQ(RES_get("file_path"), "/other");
        EXPECT_EQ(RES_get("filename"), nullptr);
        reset();
    }
}

// ---------------------------------------------------------------------------
// Environment and precedence

TEST_F(resrc_startup, environment_lookup_order) {
    struct Case {
        std::vector<std::pair<const char *, const char *>> vars;
        const char *file_path;
    };
    const Case cases[] = {
        {{{"vyrshef2raw.file_path", "/full"}, {"vyrfile", "/own"}, {"vyrfile_path", "/name"}},
         "/full"},
        {{{"vyrfile", "/own"}, {"vyrfile_path", "/name"}}, "/own"},
        {{{"vyrfile_path", "/name"}}, "/name"},
        {{{"vyrother.file_path", "/x"}}, nullptr},
        {{{"vyrfile", "%s%n"}}, "%s%n"},
    };
    for (const Case &c : cases) {
        for (auto [k, v] : c.vars) setenv(k, v, 1);
        run({});
        if (c.file_path)
            EXPECT_STREQ(RES_get("file_path"), c.file_path);
        else
            EXPECT_EQ(RES_get("file_path"), nullptr);
        reset();
    }
}

TEST_F(resrc_startup, precedence_file_environment_command_line) {
    std::string f = scratch.write("defs", "*.file_path /file\n*.city_file file\n*.hour 6\n");
    struct Case {
        bool env;
        std::vector<std::string> args;
        const char *file_path;
    };
    const Case cases[] = {
        {false, {}, "/file"},
        {true, {}, "/env"},
        {true, {"-fp", "/cmd"}, "/cmd"},
        {false, {"-fp", "/cmd"}, "/cmd"},
    };
    for (const Case &c : cases) {
        setenv("vyrdefault", f.c_str(), 1);
        if (c.env) setenv("vyrfile", "/env", 1);
        run(c.args);
        EXPECT_STREQ(RES_get("file_path"), c.file_path);
        EXPECT_STREQ(RES_get("city_file"), "file");  // untouched by the others
        reset();
    }
}

// A text target points into the stored value, which must survive a later
// replacement of the resource.
TEST_F(resrc_startup, text_targets_outlive_replacement) {
    const char *title = nullptr;
    RES_defobj table[2]{};
    RES_fill_obj(&table[0], "title", "vyrtitle", "ti", CV_string, &title, nullptr);
    table[1].def = nullptr;
    char a0[] = "prog", a1[] = "-ti", a2[] = "Plot one";
    char *args[] = {a0, a1, a2, nullptr};
    RES_decode(a0, "Vyr", 3, args, table);
    ASSERT_STREQ(title, "Plot one");
    RES_put("title", "Plot two");
    EXPECT_STREQ(title, "Plot one");
}

// A program may list any number of keys: rows past the first 74 are kept.
TEST_F(resrc_startup, tables_take_every_listed_key) {
    std::vector<res_type> keys;
    for (int k = 1; k <= RES_replay; ++k) keys.push_back(static_cast<res_type>(k));
    keys.push_back(RES_null);
    const res_type pos[] = {RES_null};
    setenv("vyrsat", "/data/sat", 1);
    char a0[] = "prog";
    char *args[] = {a0, nullptr};
    direct_stdout([&] { RES_init(1, args, keys.data(), pos); });  // numbers of rowless keys
    EXPECT_STREQ(RES_get("sat_path"), "/data/sat");
}
