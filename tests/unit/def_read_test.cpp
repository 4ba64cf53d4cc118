#include <gtest/gtest.h>
#include <stdlib.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "test_util.h"
#include "vyr.h"
#include "vyr_int.h"
#include "vyrresrc.h"

namespace fs = std::filesystem;

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// The saved command line must outlive the test: RES_setCL keeps argv.
char g_arg0[64];
char *g_argv[] = {g_arg0, nullptr};

void set_program(const char *name, const char *title) {
    std::snprintf(g_arg0, sizeof g_arg0, "/usr/local/bin/%s", name);
    RES_setCL(1, g_argv);
    DEF_prog();
    DEF_name(title);
}

class DefRead : public vyr::test::CapturedMessagesTest {
  protected:
    void SetUp() override {
        CapturedMessagesTest::SetUp();
        vyr::reset_definitions();
        set_program("prog", "");
    }
    void TearDown() override {
        vyr::reset_definitions();
        CapturedMessagesTest::TearDown();
    }
    // Every live line of one file (or directory).
    static Pairs read_all(const std::string &name) {
        Pairs out;
        if (DEF_open(name.c_str()) != 0) return out;
        char key[50], value[200];
        while (DEF_get(key, value) == 1) out.emplace_back(key, value);
        DEF_close();
        return out;
    }
    vyr::test::ScratchDir scratch{"vyrdef"};
    const std::string dir = scratch.path();
};

}  // namespace

TEST_F(DefRead, keys_match_full_names) {
    struct Row {
        const char *prog, *title, *resrc, *key;
        int want;
    };
    const Row rows[] = {
        {"shef2raw", "", "file_path", "*.file_path", 1},
        {"shef2raw", "", "file_path", "otherprog.file_path", 0},
        {"shef2raw", "", "file_path", "shef2raw.file_path", 1},
        {"shef2raw", "", "in_files", "shef2raw.in_file", 0},
        {"shef2raw", "", "in_file", "shef2raw.in_files", 0},
        {"shef2raw", "+radar", "in_file", "shef2raw.radar.in_file", 1},
        {"shef2raw", "+radar", "in_file", "radar.in_file", 0},
        {"shef2raw", "radar", "in_file", "radar.in_file", 1},
        {"shef2raw", "radar", "in_file", "shef2raw.in_file", 0},
        {"myprog", "", "in_file", "myprog.in_file", 1},
        {"MyProg", "", "in_file", "myprog.in_file", 0},
        {"shef2raw", "", "in_file", "*raw.in_*", 0},
        {"shef2raw", "", "in_file", "shef2raw.*", 0},
        {"shef2raw", "", "in_file", "in_file", 0},
        {"shef2raw", "+radar", "in_file", "*.radar.*file", 1},
        {"shef2raw", "", "in_file", "s*2*.in_file", 1},
        // "*" takes the first occurrence and never looks further.
        {"a.x", "", "x", "*.x", 0},
    };
    for (const Row &r : rows) {
        set_program(r.prog, r.title);
        EXPECT_EQ(DEF_cmp(r.resrc, r.key), r.want)
            << r.prog << " title " << r.title << ": " << r.key << " vs " << r.resrc;
    }
    EXPECT_EQ(DEF_cmp(nullptr, "*.x"), 0);
}

TEST_F(DefRead, valid_and_parse_name_give_free_resources) {
    struct Row {
        const char *title, *key;
        int valid;
        const char *name;
    };
    const Row rows[] = {
        {"", "prog.foo", 1, "foo"},       {"", "other.foo", 0, "foo"},
        {"", "*.foo", 1, "foo"},          {"+radar", "prog.radar.foo", 1, "foo"},
        {"+radar", "prog.foo", 0, "foo"}, {"", "foo", 0, "foo"},
        {"", "prog.x*", 0, ""},
    };
    for (const Row &r : rows) {
        set_program("prog", r.title);
        char name[50] = "junk";
        EXPECT_EQ(DEF_valid(r.key), r.valid) << r.key;
        EXPECT_EQ(DEF_parse_name(r.key, name), 1) << r.key;
        EXPECT_STREQ(name, r.name) << r.key;
    }
    // A resource name beyond 29 characters, a key beyond 49.
    const std::string res30 = "prog." + std::string(30, 'r');
    EXPECT_EQ(DEF_valid(res30.c_str()), 0);
    const std::string key = "prog." + std::string(50, 'k');
    char name[50];
    EXPECT_EQ(DEF_parse_name(key.c_str(), name), 0);
    EXPECT_STREQ(name, "");
}

TEST_F(DefRead, lines_become_keys_and_values) {
    const std::string f = scratch.write("defs",
                                        "# comment line\n"
                                        "\n"
                                        "   \t \n"
                                        "MyProg.In_File: x\n"
                                        "only_key\n"
                                        "a.b   value  ignored words\n"
                                        "a.q \"two words\" tail\n"
                                        "a.u \"unterminated value\n"
                                        "a.e \"\"\n"
                                        "a.p %s%n%x%%\n"
                                        "a.crlf dos\r\n"
                                        "#a.hidden x\n"
                                        "a.last final");
    const Pairs want = {{"myprog.in_file", "x"},
                        {"a.b", "value"},
                        {"a.q", "two words"},
                        {"a.u", "unterminated value"},
                        {"a.e", ""},
                        {"a.p", "%s%n%x%%"},
                        {"a.crlf", "dos"},
                        {"a.last", "final"}};
    EXPECT_EQ(read_all(f), want);
    set_program("myprog", "");
    EXPECT_EQ(DEF_cmp("in_file", "myprog.in_file"), 1);
    EXPECT_EQ(err(), "");
}

TEST_F(DefRead, oversized_lines_keys_and_values_are_skipped_whole) {
    const std::string lines[] = {
        "a." + std::string(48, 'k') + " key_of_50",
        "a." + std::string(47, 'k') + " fits",
        "a.v " + std::string(200, 'v'),
        "a.w " + std::string(199, 'w'),
        // 258 characters: its tail must not pass for a line of its own.
        "a.long " + std::string(242, 'v') + " a.tail x",
        "a.ok 1",
        std::string("a.nul \0zz", 9),
        "a.bytes \xff\x01%n",
    };
    std::string text;
    for (const std::string &l : lines) text += l + "\n";
    const std::string f = scratch.write("defs", text);
    const Pairs got = read_all(f);
    const Pairs want = {{"a." + std::string(47, 'k'), "fits"},
                        {"a.w", std::string(199, 'w')},
                        {"a.ok", "1"},
                        {"a.bytes", "\xff\x01%n"}};
    EXPECT_EQ(got, want);

    char key[50], value[200];
    EXPECT_EQ(DEF_get(key, value), -1);  // no file open
    ASSERT_EQ(DEF_open(f.c_str()), 0);
    EXPECT_EQ(DEF_get(nullptr, value), -1);
}

TEST_F(DefRead, conditional_sections) {
    std::string deep_dead, deep_live = "DEF t\n";
    for (int i = 0; i < 12; ++i) deep_dead += "IF nope\n", deep_live += "IF t\n";
    deep_dead += "a.inner 1\n";
    deep_live += "a.inner 1\n";
    for (int i = 0; i < 12; ++i) deep_dead += "END\n", deep_live += "END\n";
    struct Row {
        std::string text;
        std::vector<std::string> keys;
    };
    const Row rows[] = {
        {"IF nope\na.if 1\nELSE\na.else 2\nEND\na.after 3\n", {"a.else", "a.after"}},
        {"DEF x\nIF x\na.if 1\nELIF x\na.elif 2\nELSE\na.else 3\nEND\n", {"a.if"}},
        {"DEF y\nIF x\na.if 1\nELIF y\na.elif 2\nELSE\na.else 3\nEND\n", {"a.elif"}},
        {"IF no\nIF no\nELSE\na.x 1\nEND\nELSE\na.y 2\nEND\n", {"a.y"}},
        {"DEF t\nUNDEF T\nIF t\na.x 1\nEND\n", {}},
        {"DEF t\nUNDEF never\nIF t\na.x 1\nEND\n", {"a.x"}},
        {"IF no\nDEF late\nEND\nIF LATE\na.x 1\nEND\n", {"a.x"}},
        // "If" is a key like any other; IF without a name is no directive.
        {"If x\na.x 1\nIF\na.y 2\nDEF\nIF \"\"\na.z 3\n", {"if", "a.x", "a.y"}},
        {deep_dead + "a.out 2\n", {"a.out"}},
        {deep_live + "a.out 2\n", {"a.inner", "a.out"}},
    };
    for (const Row &r : rows) {
        vyr::reset_definitions();
        std::vector<std::string> keys;
        for (const auto &kv : read_all(scratch.write("defs", r.text))) keys.push_back(kv.first);
        EXPECT_EQ(keys, r.keys) << r.text;
    }
    EXPECT_EQ(err(), "");
}

TEST_F(DefRead, misplaced_directives_are_reported_and_ignored) {
    const Pairs got = read_all(scratch.write("defs", "ELSE\nELIF x\nEND\nELIF\na.k v\n"));
    EXPECT_EQ(got, (Pairs{{"a.k", "v"}}));
    EXPECT_EQ(err(),
              "DEF_get: else without an if\n"
              "DEF_get: elif without an if\n"
              "DEF_get: end without an if\n");
}

TEST_F(DefRead, tags_from_the_search_path) {
    const std::string f = scratch.write("defs", "IF t3\na.x 1\nEND\n");
    // DEF_tag copies: the names need not outlive the calls.
    for (char i = '0'; i <= '9'; ++i) {
        const char name[] = {'t', i, '\0'};
        EXPECT_EQ(DEF_tag(name), 0);
    }
    EXPECT_EQ(DEF_tag("t10"), -1);
    EXPECT_EQ(read_all(f).size(), 1u);
    // A DEF line cannot pass the limit either: t11 stays undefined.
    EXPECT_TRUE(read_all(scratch.write("more", "DEF t11\nIF t11\na.x 1\nEND\n")).empty());
    DEF_clr_tag();
    EXPECT_TRUE(read_all(f).empty());
}

TEST_F(DefRead, state_goes_on_into_the_next_file) {
    const std::string one = scratch.write("one", "DEF t\nIF nope\na.first 1\n");
    const std::string two = scratch.write("two", "a.second 2\nEND\nIF t\na.third 3\nEND\n");
    EXPECT_TRUE(read_all(one).empty());
    EXPECT_EQ(read_all(two), (Pairs{{"a.third", "3"}}));
}

TEST_F(DefRead, directories_and_the_default_name) {
    const std::string d = dir + "/etc";
    fs::create_directory(d);
    EXPECT_EQ(DEF_open(d.c_str()), -1);
    char key[50], value[200];
    EXPECT_EQ(DEF_get(key, value), -1);

    scratch.write("etc/Vyr.res", "a.from res\n");
    scratch.write("etc/.vyrdef", "a.from vyrdef\n");
    scratch.write("etc/vyr.cfg", "a.from cfg\n");
    const char *order[] = {"cfg", "vyrdef", "res"};
    const char *files[] = {"/vyr.cfg", "/.vyrdef", "/Vyr.res"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(read_all(d), (Pairs{{"a.from", order[i]}}));
        EXPECT_EQ(read_all(d + "/"), (Pairs{{"a.from", order[i]}}));
        fs::remove(d + files[i]);
    }
    EXPECT_EQ(err(), "");

    scratch.write(".vyrdef", "a.here 1\n");
    const fs::path old = fs::current_path();
    fs::current_path(dir);
    EXPECT_EQ(read_all(""), (Pairs{{"a.here", "1"}}));
    EXPECT_EQ(DEF_open(nullptr), 0);
    DEF_close();
    fs::current_path(old);
}

TEST_F(DefRead, environment_lookup_order) {
    set_program("prog", "+radar");
    const char *vars[] = {"vyrprog.radar.in_file", "VYRTEST_IN", "vyrin_file"};
    for (const char *v : vars) setenv(v, v, 1);
    char value[200];
    for (const char *want : vars) {
        ASSERT_EQ(DEF_env("in_file", "VYRTEST_IN", value), 1);
        EXPECT_STREQ(value, want);
        unsetenv(want);
    }
    EXPECT_EQ(DEF_env("in_file", "VYRTEST_IN", value), 0);

    // An empty row variable is skipped; an oversized value is refused.
    setenv("vyrin_file", "third", 1);
    EXPECT_EQ(DEF_env("in_file", "", value), 1);
    EXPECT_STREQ(value, "third");
    setenv("vyrin_file", std::string(200, 'v').c_str(), 1);
    EXPECT_EQ(DEF_env("in_file", nullptr, value), 0);
    unsetenv("vyrin_file");
}

// A FIFO would block the open and a device never ends: both are passed over
// with a warning that names them, and opening never waits.
TEST_F(DefRead, fifos_and_devices_are_skipped) {
    const std::string fifo = dir + "/vyr.cfg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string &name : {fifo, dir, std::string("/dev/zero")}) {
        EXPECT_EQ(DEF_open(name.c_str()), -1) << name;
        char key[50], value[200];
        EXPECT_EQ(DEF_get(key, value), -1);
    }
    EXPECT_EQ(err(), "Definition file skipped, not a regular file: " + fifo + "\n" +
                             "Definition file skipped, not a regular file: " + fifo + "\n" +
                             "Definition file skipped, not a regular file: /dev/zero\n");
}

// A definition can run a command (a log item "fi=|cmd"): a file that
// someone else wrote or could have swapped in is never read.
TEST_F(DefRead, files_others_could_write_are_not_trusted) {
    struct Row {
        const char *name;
        mode_t file_mode, dir_mode;
        bool to_nobody;  // the file's owner becomes "nobody"
        bool trusted;
    };
    const Row rows[] = {
        {"own", 0644, 0755, false, true},
        {"group_writable", 0664, 0775, false, true},
        {"others_write_file", 0646, 0755, false, false},
        {"others_write_dir", 0644, 0777, false, false},
        {"sticky_dir", 0644, 01777, false, true},
        {"someone_elses", 0644, 0755, true, false},
    };
    const passwd *nobody = getpwnam("nobody");
    for (const Row &r : rows) {
        if (r.to_nobody && (geteuid() != 0 || nobody == nullptr)) continue;  // needs root
        const std::string sub = dir + "/" + r.name;
        const std::string file = scratch.write(std::string(r.name) + "/vyr.cfg", "*.hour 12\n");
        ASSERT_EQ(chmod(file.c_str(), r.file_mode), 0);
        ASSERT_EQ(chmod(sub.c_str(), r.dir_mode), 0);
        if (r.to_nobody) {
            ASSERT_EQ(chown(file.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        }
        clear_output();
        // Named as a file and as its directory.
        for (const std::string &name : {file, sub}) {
            EXPECT_EQ(read_all(name).size(), r.trusted ? 1u : 0u) << r.name;
            EXPECT_EQ(err(), r.trusted ? "" : "Definition file skipped, not trusted: " + file + "\n")
                << r.name;
            clear_output();
        }
    }
}
