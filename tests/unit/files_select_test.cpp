// File requests and the choice of the input file: the walk that
// completes and dates a name, the forms a request takes, and
// FILE_get_file from the command line, the resources and the prompt.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "files_fixture.h"

namespace {

using namespace vyr::files;
using vyr::test::g_listings;
using vyr::test::kUnset;
using vyr::test::M;

TEST(files_select_test, walk_completes_and_dates_names) {
    Keys keys;
    keys['r'] = "west";
    Context ctx;
    ctx.resource = [](const char *name) -> const char * {
        return std::strcmp(name, "data_path") == 0 ? "/data/shef" : nullptr;
    };
    ctx.keys = &keys;
    struct Row {
        const char *asked, *pattern, *name;
        int year, month, day, hour;
    };
    const Row rows[] = {
        {"2026120712", "%D/%Y%m%d%h.shef", "/data/shef/2026120712.shef", 2026, 12, 7, 12},
        {"2026120712.shef", "%D/%Y%m%d%h.shef", "/data/shef/2026120712.shef", 2026, 12, 7, 12},
        {"/tmp/2026120712.shef", "%D/%Y%m%d%h.shef", "/tmp/2026120712.shef", 2026, 12, 7, 12},
        // A relative directory stays under the pattern's, and the name is dated.
        {"in/2026120712.shef", "%D/%Y%m%d%h.shef", "/data/shef/in/2026120712.shef", 2026, 12, 7, 12},
        {"notes.txt", "%D/%Y%m%d%h.shef", "/data/shef/notes.txt", M, M, M, M},
        {"20261207", "%D/%Y%m%d%h.shef", "/data/shef/20261207", 2026, 12, 7, M},
        {"2026-12-07", "%D/%Y%m%d", "/data/shef/2026-12-07", 2026, M, M, M},
        {"/a/b/dec07_26", "%D/%b%d_%y", "/a/b/dec07_26", 2026, 12, 7, M},
        {"/a/b/26341", "%D%y%j", "/a/b/26341", 2026, 12, 7, M},
        {"26341", "{%D/obs_}%y%j", "/data/shef/obs_26341", 2026, 12, 7, M},
        {"west07", "%r%d.x", "west07.x", M, M, 7, M},
        {"x07", "%q%d", "x07", M, M, M, M},
        {"sub/file", "shef_dat", "sub/file", M, M, M, M},
        {"shef_dat.txt", "shef_dat", "shef_dat", M, M, M, M},
        {"07anything", "%d*", "07anything", M, M, 7, M},
    };
    for (const Row &r : rows) {
        const Walked w = walk(r.asked, r.pattern, kUnset, ctx);
        EXPECT_EQ(w.name, r.name) << r.asked << " along " << r.pattern;
        EXPECT_EQ(w.date.year, r.year) << r.asked;
        EXPECT_EQ(w.date.month, r.month) << r.asked;
        EXPECT_EQ(w.date.day, r.day) << r.asked;
        EXPECT_EQ(w.date.hour, r.hour) << r.asked;
    }
    // Without a known extension the name's own is learnt.
    Walked w = walk("2026120712.grb", "%D/%Y%m%d%h.%e", kUnset, ctx);
    EXPECT_EQ(w.name, "/data/shef/2026120712.grb");
    EXPECT_EQ(w.ext, "grb");
    ctx.ext = "shef";
    w = walk("2026120712", "%D/%Y%m%d%h.%e", kUnset, ctx);
    EXPECT_EQ(w.name, "/data/shef/2026120712.shef");
}

TEST(files_select_test, request_pieces) {
    EXPECT_EQ(read_date_digits("20a6").fields[0], 20);  // a field stops at a non-digit
    EXPECT_EQ(read_date_digits("20a6").count, 1);
    EXPECT_EQ(read_date_digits("202612071230999").used, 12u);

    // A "#" in the first place does not count; the fields read go into set.
    Date set = kUnset;
    std::string asked = "#2026";
    EXPECT_FALSE(cut_date_suffix(asked, set));
    asked = "la#5";
    EXPECT_TRUE(cut_date_suffix(asked, set));
    EXPECT_EQ(asked, "la");
    EXPECT_EQ(set.year, 5);
    EXPECT_EQ(set.month, M);

    asked = "a-b2026#x-1";
    EXPECT_EQ(cut_extra_info(asked), "#x-1");
    EXPECT_EQ(asked, "a-b2026");

    struct Form_ {
        const char *asked, *conv;
        Form form;
        const char *text;
    };
    const Form_ forms[] = {
        {"EXIT", "%Y", Form::Exit, ""},      {"@la.x", "%Y", Form::Literal, "la.x"},
        {"Std", "%Y", Form::Stream, "-"},    {"x", "stdn", Form::Stream, "-"},
        {"cu6", "", Form::Plain, "cu6"},     {"#2026la", "%Y", Form::Current, "#2026la"},
        {"CU+6", "%Y", Form::Current, "+6"}, {"La#5", "%Y", Form::Current, "La#5"},
        {"None", "%Y", Form::None, "None"},  {"/x", "/d/%Y", Form::OwnPath, "/x"},
        {"/x", "%D/%Y", Form::Walk, "/x"},   {"|cat a", "%D/%Y", Form::Literal, "|cat a"},
    };
    for (const Form_ &f : forms) {
        const Classified c = classify(f.asked, f.conv);
        EXPECT_EQ(c.form, f.form) << f.asked;
        EXPECT_EQ(c.text, f.text) << f.asked;
    }
}

class SelectTest : public vyr::test::FilesModuleTest {
  protected:
    void SetUp() override {
        FilesModuleTest::SetUp();
        scratch.write("2026120712.shef", "data");
        scratch.write("2026120709.shef", "data");
        FILE_set_name("@%D/%Y%m%d%h.shef");
    }
    void command_line(const std::string &names) {
        RES_new(RES_filenames, "filename", names.c_str(), CV_strings);
    }
    int get_file_exit(char *out) {
        return exit_status([&] { FILE_get_file("Enter the SHEF filename: ", out); });
    }
};

TEST_F(SelectTest, requests) {
    char out[160];
    // A "#" suffix fixes the date for the rest of the run.
    EXPECT_EQ(FILE_set_file("20261207#2026120106", out), 0);
    EXPECT_EQ(std::string(out), path("20261207"));
    Date d;
    FILE_get_date(&d);
    EXPECT_EQ(d.day, 7);
    EXPECT_EQ(d.hour, 6);
    EXPECT_EQ(vyr::reference_time().day, 1);

    EXPECT_EQ(FILE_set_file("-", out), 0);
    EXPECT_STREQ(out, "-");
    // Three hours back, on the day and at the hour now fixed.
    EXPECT_EQ(FILE_set_file("cu3", out), 0);
    EXPECT_EQ(std::string(out), path("2026120106.shef"));

    FILE_set_name("none");
    EXPECT_EQ(FILE_set_file("la", out), 0);
    EXPECT_STREQ(out, "la");

    // A name past the limit is refused, not cut.
    FILE_set_name("@%D/%Y%m%d%h.shef");
    const std::string long_name(170, 'x');
    EXPECT_EQ(FILE_set_file(long_name.c_str(), out), -1);
    EXPECT_STREQ(out, "");

    vyr::set_file_type(1);
    EXPECT_EQ(FILE_set_file("@abcd-e:f", out), 0);
    EXPECT_STREQ(out, "abcd");
    EXPECT_STREQ(vyr::file_extra_info(), "-e:f");

    EXPECT_EQ(exit_status([&] { FILE_set_file("Exit", out); }), 0);
}

// "@" names a file as written: never a command, never a standard stream,
// whether it is a request or a pattern. The empty type is standard output.
TEST_F(SelectTest, literal_names_are_files) {
    char out[160];
    struct Row {
        const char *request, *name;
    };
    for (const Row &r : {Row{"@|touch pwned", "./|touch pwned"}, Row{"@-", "./-"},
                         Row{"@std", "./std"}, Row{"@a.shef", "a.shef"}}) {
        EXPECT_EQ(FILE_set_file(r.request, out), 0);
        EXPECT_STREQ(out, r.name) << r.request;
    }
    const Date d = {2026, 12, 7, 341, 1, 12, 0, 0};
    FILE_set_name("@|cat%Y");
    EXPECT_EQ(FILE_set_date(&d, out), 0);
    EXPECT_STREQ(out, "./|cat2026");
    FILE_set_name("");
    EXPECT_EQ(FILE_set_date(&d, out), 1);
    EXPECT_STREQ(out, "-");
    // A name too long to build names its pattern.
    const std::string pattern = "@" + std::string(170, 'p') + "%Y";
    FILE_set_name(pattern.c_str());
    clear_output();
    EXPECT_EQ(FILE_set_date(&d, out), -1);
    EXPECT_EQ(err(), "File name too long: " + pattern.substr(1) + "\n");
}

// A convention line names files and commands: a convention file that
// others can write is passed over, and said once however many types are
// asked for.
TEST_F(SelectTest, untrusted_convention_file_is_skipped_once) {
    const std::string conv = scratch.write("name_conv", "shef_dat %D/%Y%m%d%h.shef\n");
    ASSERT_EQ(chmod(conv.c_str(), 0666), 0);
    clear_output();
    EXPECT_EQ(FILE_set_name("shef_dat"), 0);
    EXPECT_EQ(FILE_set_name("shef_raw"), 0);
    EXPECT_EQ(err(), "Convention file skipped, not trusted: " + conv + "\n");
    ASSERT_EQ(chmod(conv.c_str(), 0644), 0);
    EXPECT_EQ(FILE_set_name("shef_dat"), 1);
}

TEST_F(SelectTest, command_line_names) {
    char out[160];
    command_line("2026120712\nignored");
    EXPECT_EQ(FILE_get_file("?", out), 1);
    EXPECT_EQ(std::string(out), path("2026120712.shef"));
    Date d;
    FILE_get_date(&d);
    EXPECT_EQ(d.hour, 12);

    command_line("2026120713");
    EXPECT_EQ(FILE_get_file("?", out), 0);
    EXPECT_EQ(std::string(out), path("2026120713.shef"));

    // Too long a name ends the run: the caller must not open the empty name.
    command_line(std::string(200, 'n'));
    EXPECT_EQ(get_file_exit(out), 10);
    EXPECT_STREQ(out, "");

    command_line("LIST");
    EXPECT_EQ(get_file_exit(out), 0);
    ASSERT_EQ(g_listings.size(), 1u);
    EXPECT_EQ(g_listings[0], "ls -x '" + scratch.path() + "/'?[0-9]??[0-9]?[0-9]?[0-9]?'.shef'");
}

TEST_F(SelectTest, current_resource_and_batch) {
    char out[160];
    RES_put("current", "cu1");  // the file of 12 h
    EXPECT_EQ(FILE_get_file("?", out), 1);
    EXPECT_EQ(std::string(out), path("2026120712.shef"));
    EXPECT_NE(this->out().find("Current filename: " + path("2026120712.shef")), std::string::npos);

    RES_put("current", "");  // the current period: 13 h, missing
    clear_output();
    EXPECT_EQ(get_file_exit(out), 10);
    EXPECT_EQ(err(), "File not found: " + path("2026120713.shef") + "\n");
    EXPECT_EQ(this->out(), "");

    vyr::reset_resources();
    RES_put("data_path", scratch.path().c_str());
    FLAG_set(FLAG_BATCH, 1);
    EXPECT_EQ(FILE_get_file("?", out), 1);
    EXPECT_EQ(std::string(out), path("2026120712.shef"));
}

TEST_F(SelectTest, prompt_answers) {
    char out[160];
    // "list" costs no try; four wrong answers end the run.
    feed("list\nnope1\nlist\nnope2\nnope3\nnope4\n2026120712\n");
    EXPECT_EQ(get_file_exit(out), 10);
    EXPECT_EQ(g_listings.size(), 3u);
    EXPECT_NE(this->out().find("List of available files:\n"), std::string::npos);
    std::size_t not_found = 0;
    for (std::size_t at = 0; (at = err().find("File not found: ", at)) != std::string::npos; ++at)
        ++not_found;
    EXPECT_EQ(not_found, 4u);

    // The prompt answers: latest, offsets, plain names.
    struct Row {
        const char *answers, *want;
    };
    for (const Row &r : {Row{"la\n", "2026120712.shef"}, Row{"x\ncu4\n", "2026120709.shef"},
                         Row{"LA-3\n", "2026120709.shef"}, Row{"#2026120709\n", "2026120709.shef"},
                         Row{"2026120709.shef\n", "2026120709.shef"}}) {
        feed(r.answers);
        EXPECT_EQ(FILE_get_file("?", out), 1) << r.answers;
        EXPECT_EQ(std::string(out), path(r.want)) << r.answers;
    }

    // An answer that is too long for a name, then the end of the input.
    feed(std::string(79, 'y') + "\n");
    RES_put("data_path", (scratch.path() + "/" + std::string(100, 'd')).c_str());
    EXPECT_EQ(get_file_exit(out), 0);
    EXPECT_STREQ(out, "");
}

}  // namespace
