#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "test_util.h"
#include "vyr.h"
#include "vyr_int.h"

namespace fs = std::filesystem;

namespace {

using vyr::test::read_file;
using vyr::test::write_file;

class FilesTest : public ::testing::Test {
  protected:
    vyr::test::ScratchDir scratch{"vyrfiles"};
    const std::string dir = scratch.path();
};

std::string home_of_process() {
    const passwd *pw = getpwuid(getuid());
    return pw && pw->pw_dir ? pw->pw_dir : "";
}

// A path of exactly n characters naming the directory d itself ("d/./.").
std::string dir_path_of_length(const std::string &d, std::size_t n) {
    std::string p = d;
    while (p.size() + 2 <= n) p += "/.";
    if (p.size() < n) p += "/";
    return p;
}

}  // namespace

TEST(files_test, stream_names) {
    struct Row {
        const char *name;
        int stdio;
    };
    const Row rows[] = {{"", 1},     {"-", 1},     {"STD", 1}, {"Std", 1}, {"STDN", 1},
                        {"stdn", 1}, {"stdin", 0}, {"-x", 0},  {"st", 0},  {"std/x", 0}};
    for (const Row &r : rows) {
        EXPECT_EQ(FILE_is_stdio(r.name), r.stdio) << r.name;
        // Stream names count as existing without looking.
        if (r.stdio) {
            EXPECT_EQ(FILE_exist(r.name), 1) << r.name;
        }
    }
    EXPECT_EQ(FILE_is_stdio(nullptr), 0);
}

TEST(files_test, fullpath_delim_and_join) {
    EXPECT_EQ(FILE_fullpath("/a"), 1);
    EXPECT_EQ(FILE_fullpath("./a"), 1);
    EXPECT_EQ(FILE_fullpath("~/a"), 1);
    EXPECT_EQ(FILE_fullpath("a/b"), 0);
    EXPECT_EQ(FILE_fullpath(""), 0);

    struct Delim {
        const char *in, *out;
    };
    for (const Delim &d : {Delim{"", ""}, Delim{"a", "a/"}, Delim{"a/", "a/"}, Delim{"/", "/"}}) {
        char buf[8];
        std::strcpy(buf, d.in);
        EXPECT_EQ(FILE_add_path_delim(buf), 0);
        EXPECT_STREQ(buf, d.out) << d.in;
    }

    struct Join {
        const char *path, *file, *want;
    };
    const Join rows[] = {
        {"/usr/data", "x.dat", "/usr/data/x.dat"},
        {"/usr/data/", "x.dat", "/usr/data/x.dat"},
        {nullptr, "x.dat", "x.dat"},
        {"", "x.dat", "x.dat"},
        {"/usr/data", "./x.dat", "./x.dat"},
        {"/usr/data", "~/x.dat", "~/x.dat"},
        {"/usr/data", "/x.dat", "/x.dat"},
        {"/usr/data", "-", "-"},
        {"/usr/data", "STD", "STD"},
    };
    for (const Join &r : rows) {
        char out[160];
        EXPECT_EQ(FILE_add_path(r.path, r.file, out), out) << r.file;
        EXPECT_STREQ(out, r.want) << (r.path ? r.path : "(null)") << " + " << r.file;
    }
}

TEST(files_test, join_refuses_names_past_159_characters) {
    const std::string path(150, 'p');
    char out[160];
    // 150 + "/" + 8 = 159 characters: fits exactly.
    EXPECT_EQ(FILE_add_path(path.c_str(), "12345678", out), out);
    EXPECT_EQ(std::string(out), path + "/12345678");
    // One more character: refused, not cut.
    EXPECT_EQ(FILE_add_path(path.c_str(), "123456789", out), nullptr);
    EXPECT_STREQ(out, "");
    const std::string full = "/" + std::string(159, 'f');
    EXPECT_EQ(FILE_add_path("/d", full.c_str(), out), nullptr);
    EXPECT_STREQ(out, "");
}

TEST(files_test, home_expansion) {
    const std::string home = home_of_process();
    ASSERT_FALSE(home.empty());
    char out[160];
    EXPECT_EQ(FILE_add_user_path("~", out), 0);
    EXPECT_EQ(std::string(out), home);
    EXPECT_EQ(FILE_add_user_path("~/x", out), 0);
    EXPECT_EQ(std::string(out), home + "/x");
    EXPECT_EQ(FILE_add_user_path("plain/x~", out), 0);
    EXPECT_STREQ(out, "plain/x~");

    if (getpwnam("nobodyknown") == nullptr) {
        EXPECT_EQ(FILE_add_user_path("~nobodyknown/x", out), 0);
        EXPECT_STREQ(out, "~nobodyknown/x");
    }
    if (const passwd *root = getpwnam("root")) {
        EXPECT_EQ(FILE_add_user_path("~root/etc", out), 0);
        EXPECT_EQ(std::string(out), std::string(root->pw_dir) + "/etc");
    }

    // The same buffer may be given for both names.
    std::strcpy(out, "~/y");
    EXPECT_EQ(FILE_add_user_path(out, out), 0);
    EXPECT_EQ(std::string(out), home + "/y");
}

TEST(files_test, home_expansion_past_159_characters_is_refused) {
    const std::string home = home_of_process();
    if (home.size() < 2) GTEST_SKIP() << "home directory too short to grow a name";
    // 159 characters as written, more once "~" is replaced by the home.
    const std::string name = "~/" + std::string(157, 'n');
    char out[160];
    EXPECT_EQ(FILE_add_user_path(name.c_str(), out), -1);
    EXPECT_STREQ(out, "");

    // "~/./././..." names the home directory itself, which exists: only the
    // length can make it fail.
    std::string walk = "~";
    while (walk.size() + 2 <= 159) walk += "/.";
    ASSERT_LE(walk.size(), 159u);
    EXPECT_EQ(FILE_is_dir("~/./."), 1);
    EXPECT_EQ(FILE_exist(walk.c_str()), 0);
    EXPECT_EQ(FILE_is_dir(walk.c_str()), 0);
    EXPECT_EQ(FILE_size(walk.c_str()), -1);
    EXPECT_EQ(FILE_open(walk.c_str(), "r"), nullptr);
}

TEST_F(FilesTest, exist_dir_and_size) {
    const std::string empty = dir + "/empty", five = dir + "/five", missing = dir + "/missing";
    write_file(empty, "");
    write_file(five, "12345");
    struct Row {
        std::string name;
        int exist, is_dir;
        int64_t size;
    };
    const Row rows[] = {{missing, 0, 0, -1}, {empty, 1, 0, 0}, {five, 1, 0, 5}};
    for (const Row &r : rows) {
        EXPECT_EQ(FILE_exist(r.name.c_str()), r.exist) << r.name;
        EXPECT_EQ(FILE_is_dir(r.name.c_str()), r.is_dir) << r.name;
        EXPECT_EQ(FILE_size(r.name.c_str()), r.size) << r.name;
    }
    EXPECT_EQ(FILE_exist(dir.c_str()), 1);
    EXPECT_EQ(FILE_is_dir(dir.c_str()), 1);

    // Sizes beyond 32 bits come back whole (a sparse file takes no room).
    const std::string big = dir + "/big";
    const int64_t five_gb = 5'000'000'000LL;
    write_file(big, "");
    if (truncate(big.c_str(), five_gb) != 0)
        GTEST_SKIP() << "file system refuses a 5 GB sparse file";
    EXPECT_EQ(FILE_size(big.c_str()), five_gb);
}

TEST_F(FilesTest, names_of_159_and_160_characters) {
    ASSERT_LT(dir.size() + 1, 159u);
    const std::string n159 = dir + "/" + std::string(159 - dir.size() - 1, 'a');
    const std::string n160 = dir + "/" + std::string(160 - dir.size() - 1, 'b');
    ASSERT_EQ(n159.size(), 159u);
    ASSERT_EQ(n160.size(), 160u);
    write_file(n159, "abc");
    write_file(n160, "abc");

    EXPECT_EQ(FILE_exist(n159.c_str()), 1);
    EXPECT_EQ(FILE_size(n159.c_str()), 3);
    FILE *f = FILE_open(n159.c_str(), "r");
    ASSERT_NE(f, nullptr);
    std::fclose(f);

    // The file is there, but its name is beyond the limit.
    EXPECT_EQ(FILE_exist(n160.c_str()), 0);
    EXPECT_EQ(FILE_size(n160.c_str()), -1);
    EXPECT_EQ(FILE_open(n160.c_str(), "r"), nullptr);
    EXPECT_EQ(FILE_open(n160.c_str(), "a"), nullptr);
    EXPECT_EQ(read_file(n160), "abc");

    const std::string d159 = dir_path_of_length(dir, 159), d160 = dir_path_of_length(dir, 160);
    EXPECT_EQ(FILE_is_dir(d159.c_str()), 1);
    EXPECT_EQ(FILE_is_dir(d160.c_str()), 0);

    const std::string cmd = "|echo " + std::string(154, 'x');
    EXPECT_EQ(FILE_open(cmd.c_str(), "r"), nullptr);
}

TEST(files_test, stream_names_open_the_standard_streams) {
    EXPECT_EQ(FILE_open("-", "w"), stdout);
    EXPECT_EQ(FILE_open("-", "r"), stdin);
    EXPECT_EQ(FILE_open("", "a"), stdout);
    EXPECT_EQ(FILE_open("Stdn", "r"), stdin);
}

TEST_F(FilesTest, writing_creates_the_directory_chain) {
    const std::string name = dir + "/a/b/c/f.txt";
    EXPECT_EQ(FILE_open(name.c_str(), "r"), nullptr);
    EXPECT_FALSE(fs::exists(dir + "/a"));

    FILE *f = FILE_open(name.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("x\n", f);
    std::fclose(f);
    EXPECT_EQ(read_file(name), "x\n");

    f = FILE_open((dir + "/a/b/g.txt").c_str(), "a");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(fs::is_regular_file(dir + "/a/b/g.txt"));

    // Backslashes are separators when writing.
    f = FILE_open((dir + "/d\\e\\f.txt").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(fs::is_regular_file(dir + "/d/e/f.txt"));

    // A chain of more than 100 characters.
    std::string deep = dir;
    for (int i = 0; i < 12; ++i) deep += "/abcdefghi";
    f = FILE_open((deep + "/f").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(fs::is_regular_file(deep + "/f"));
}

TEST_F(FilesTest, make_dir_reports_an_existing_parent) {
    std::string name = dir + "/x/y.raw";
    EXPECT_EQ(FILE_make_dir(name.data(), 1), 0);
    EXPECT_TRUE(fs::is_directory(dir + "/x"));
    EXPECT_FALSE(fs::exists(dir + "/x/y.raw"));
    EXPECT_EQ(FILE_make_dir(name.data(), 1), 1);

    std::string back = dir + "\\p\\q";
    EXPECT_EQ(FILE_make_dir(back.data(), 1), 0);
    EXPECT_EQ(back, dir + "/p/q");
    EXPECT_TRUE(fs::is_directory(dir + "/p"));
}

TEST_F(FilesTest, unknown_user_is_never_created_literally) {
    if (getpwnam("nobodyknown") != nullptr) GTEST_SKIP() << "user nobodyknown exists";
    const fs::path old = fs::current_path();
    fs::current_path(dir);
    EXPECT_EQ(FILE_open("~nobodyknown/x", "w"), nullptr);
    EXPECT_EQ(FILE_open("~nobodyknown/x", "r"), nullptr);
    EXPECT_EQ(FILE_exist("~nobodyknown/x"), 0);
    fs::current_path(old);
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(FilesTest, commands_through_pipes) {
    FILE *f = FILE_open("|echo hi", "r");
    ASSERT_NE(f, nullptr);
    char line[16] = {};
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "hi\n");
    EXPECT_EQ(pclose(f), 0);

    const std::string out = dir + "/piped.txt";
    f = FILE_open(("|cat > " + out).c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("through the pipe\n", f);
    EXPECT_EQ(pclose(f), 0);
    EXPECT_EQ(read_file(out), "through the pipe\n");
}

TEST(files_test, reference_time_is_copied_whole) {
    vyr::reset_reference_time();
    const Date &set = vyr::reference_time();
    const Date unset = {-9999, -9999, -9999, -9999, -9999, -9999, -9999, 0};
    EXPECT_EQ(std::memcmp(&set, &unset, sizeof unset), 0);

    const Date d = {2026, 12, 7, 341, 1, -306, -15, 42};
    EXPECT_EQ(FILE_set_time(&d), 0);
    EXPECT_EQ(std::memcmp(&vyr::reference_time(), &d, sizeof d), 0);
    EXPECT_EQ(FILE_set_time(nullptr), -1);
    EXPECT_EQ(vyr::reference_time().hour, -306);

    vyr::reset_reference_time();
    EXPECT_EQ(std::memcmp(&set, &unset, sizeof unset), 0);
}

// An output replaces its file whole, and only after a clean close: two
// writers of one name leave one of them, a failed writer leaves the earlier
// file, and the file keeps its mode; links are followed, devices written in
// place, and no temporary is left behind.
TEST_F(FilesTest, outputs_replace_whole_files) {
    const std::string target = dir + "/out/x.csv";
    auto write_with = [](vyr::OutputFile &o, const std::string &name, const char *text) {
        FILE *f = o.open(name.c_str());
        if (f == nullptr) return false;
        return std::fputs(text, f) >= 0;
    };
    vyr::OutputFile a, b;
    ASSERT_TRUE(write_with(a, target, "first\n"));
    ASSERT_TRUE(write_with(b, target, "second\n"));
    EXPECT_FALSE(fs::exists(target));  // nothing is visible before the close
    EXPECT_TRUE(b.close(true));
    EXPECT_TRUE(a.close(true));
    EXPECT_EQ(read_file(target), "first\n");

    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    vyr::OutputFile failed;
    ASSERT_TRUE(write_with(failed, target, "torn"));
    EXPECT_FALSE(failed.close(false));
    EXPECT_EQ(read_file(target), "first\n");

    const std::string link = dir + "/link.csv";
    fs::create_symlink(target, link);
    vyr::OutputFile through;
    ASSERT_TRUE(write_with(through, link, "third\n"));
    EXPECT_TRUE(through.close(true));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read_file(target), "third\n");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    vyr::OutputFile device;
    ASSERT_TRUE(write_with(device, "/dev/null", "x"));
    EXPECT_TRUE(device.close(true));
    EXPECT_TRUE(fs::exists("/dev/null"));
    std::size_t entries = 0;
    for (const auto &e : fs::directory_iterator(dir + "/out")) entries += e.exists();
    EXPECT_EQ(entries, 1u);  // x.csv alone
}

TEST_F(FilesTest, same_file_through_any_name) {
    const std::string file = dir + "/in.shef";
    write_file(file, ".A STN 0815 Z DH12/HG 1\n");
    fs::create_symlink(file, dir + "/link");
    const char *in = file.c_str();
    EXPECT_TRUE(vyr::same_file(in, (dir + "/link").c_str()));
    EXPECT_TRUE(vyr::same_file(in, (dir + "/./in.shef").c_str()));
    EXPECT_FALSE(vyr::same_file(in, (dir + "/other").c_str()));
    EXPECT_FALSE(vyr::same_file(in, "|cat"));
    EXPECT_FALSE(vyr::same_file(dir.c_str(), dir.c_str()));  // only files are read
}
