#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_util.h"
#include "vyr.h"
#include "vyr_int.h"

namespace {

namespace fs = std::filesystem;

constexpr M_type kAll = 0xFFFFFFFF;
const char kHold[] = "Press return to continue\n";

// 7 Dec 2026 12:35:06 UTC.
int64_t fixed_clock() { return 1796646906; }

using vyr::test::read_file;
using vyr::test::write_file;

// The active mask, read back bit by bit.
M_type mask() {
    M_type m = 0;
    for (int i = 0; i < 32; ++i)
        if (MESS_check(M_type{1} << i)) m |= M_type{1} << i;
    return m;
}

class MessTest : public vyr::test::CapturedMessagesTest {
  protected:
    void SetUp() override {
        CapturedMessagesTest::SetUp();
        vyr::set_clock(fixed_clock);
        FLAG_reset(0);
        cwd_ = fs::current_path();
    }
    void TearDown() override {
        CapturedMessagesTest::TearDown();
        vyr::set_clock(nullptr);
        fs::current_path(cwd_);
    }

    // A fresh start between the rows of a table.
    void restart() {
        vyr::reset_messages();
        FLAG_reset(0);
        clear_output();
    }
    std::string path(const std::string &name) const { return (dir_ / name).string(); }

    vyr::test::ScratchDir scratch_{"vyrmess"};
    const fs::path dir_ = scratch_.path();
    fs::path cwd_;
};

TEST_F(MessTest, set_str_level_words) {
    struct Row {
        const char *value;
        M_type want;
    } rows[] = {
        {"warn", 0x000000FF},
        {"errora", 0x0000001F},  // fill-down from bit 4
        {"warna", 0x00000000},   // warnings have no sub-level a
        {"warnc", 0x0000007F},
        {"WARNC", 0x0000007F},
        {"+debugd", 0x800FFFFF},
        {"-warn", 0x000FFF3F},
        {"none", 0x00000000},
        {"foo", 0x00000000},
        {"+foo", 0x000FFFFF},
        {"-foo", 0x000FFFFF},
        {"out3", 0x00FFFFFF},
        {"mess", 0x00000FFF},
        {"debug", 0xFFFFFFFF},
        {"print", 0x0000000F},
        {"print,+out3", 0x00F0000F},
        {"out3,-out2b", 0x00FDFFFF},
        {"+out4a", 0x010FFFFF},
        {"none,+errorb", 0x00000020},
        {"out3,", 0x00FFFFFF},  // trailing separators are dropped
        {"", 0x000FFFFF},
        {"line=0", 0x000FFFFF},  // not a level word
        {"nopage", 0x000FFFFF},
    };
    for (const auto &r : rows) {
        restart();
        EXPECT_EQ(MESS_set_str(r.value), 0);
        EXPECT_EQ(mask(), r.want) << r.value;
        EXPECT_EQ(MESS_check_set(), 1) << r.value;
    }
}

TEST_F(MessTest, set_tiers) {
    struct Row {
        bool user_first;  // the message resource was given before
        int oper;
        M_type level;
        M_type want;
        int set_count;
    } rows[] = {
        {false, 0, 0x00000F00, 0x00000FFF, 1},
        {false, 1, 0x00F00000, 0x00FFFFFF, 1},
        {false, -1, 0x000000C0, 0x000FFF3F, 1},
        {false, 10, 0x000000FF, 0x000000FF, 0},
        {false, 11, 0x80000000, 0x800FFFFF, 0},
        {false, 9, 0x0000F000, 0x000F0FFF, 0},
        {false, 20, 0x000000FF, 0x000000FF, 0},
        {false, 21, 0x00F00000, 0x00FFFFFF, 0},
        {false, 19, 0x00000F00, 0x000FF0FF, 0},
        {false, 3, 0x000000FF, 0x000FFFFF, 1},   // unknown, still counts
        {false, -7, 0x000000FF, 0x000FFFFF, 1},  // unknown, still counts
        {false, 5, 0x000000FF, 0x000FFFFF, 0},
        {false, 16, 0x000000FF, 0x000FFFFF, 0},
        {true, 20, 0x00000F00, 0x000000FF, 1},  // defaults yield to the user
        {true, 21, 0x00F00000, 0x000000FF, 1},
        {true, 19, 0x000000C0, 0x000000FF, 1},
        {true, 10, 0x00000F00, 0x00000FFF, 1},  // program settings always apply
        {true, 11, 0x0000F000, 0x0000F0FF, 1},
        {true, 9, 0x000000C0, 0x0000003F, 1},
        {true, 0, 0x0000F000, 0x0000FFFF, 2},
    };
    for (const auto &r : rows) {
        restart();
        if (r.user_first) MESS_set_str("warn");
        EXPECT_EQ(MESS_set(r.oper, r.level), 0);
        EXPECT_EQ(mask(), r.want) << r.user_first << " " << r.oper;
        EXPECT_EQ(MESS_check_set(), r.set_count) << r.user_first << " " << r.oper;
    }
}

TEST_F(MessTest, routing_to_terminal_streams) {
    struct Row {
        M_type level;
        int ret;
        bool on_err;
    } rows[] = {
        {0x0000000F, 1, false}, {0x00000008, 1, false}, {0x00000030, 1, true},
        {0x00000010, 1, true},  {0x000000C0, 1, true},  {0x00000080, 1, true},
        {0x00000F00, 1, false}, {0x0000F000, 1, false}, {0x00000110, 1, true},
        {0x00F00000, 0, false},  // out3 is off at start
        {0xF0000000, 0, false},
    };
    for (const auto &r : rows) {
        restart();
        EXPECT_EQ(MESS_print(r.level, "%d-%s\n", 42, "x"), r.ret) << std::hex << r.level;
        std::string shown = r.ret ? "42-x\n" : "";
        EXPECT_EQ(out(), r.on_err ? "" : shown) << std::hex << r.level;
        EXPECT_EQ(err(), r.on_err ? shown : "") << std::hex << r.level;
    }
    // After "out3" the element echo is shown, with every more important class.
    restart();
    MESS_set_str("out3");
    EXPECT_EQ(MESS_print(0x00F00000, "  HG-River stage: %s ft\n", "12.5"), 1);
    EXPECT_EQ(MESS_print(0x0000F000, "o1\n"), 1);
    EXPECT_EQ(MESS_print(0x0F000000, "o4\n"), 0);
    EXPECT_EQ(out(), "  HG-River stage: 12.5 ft\no1\n");
}

TEST_F(MessTest, log_modes) {
    const std::string stamp = "26 DEC 07  12:35:06Z -- ";
    struct Row {
        const char *keyword;
        int ret;           // MESS_print's result
        std::string file;  // log file afterwards, "old\n" there before
        std::string term;  // standard output
    } rows[] = {
        {"fi", 0, "old\nm1\nm2\n", ""},
        {"FI", 0, "old\nm1\nm2\n", ""},
        {"+fi", 1, "old\nm1\nm2\n", "m1\nm2\n"},
        {"-fi", 1, "m1\nm2\n", "m1\nm2\n"},
        {"@fi", 1, "old\n" + stamp + "m1\n" + stamp + "m2\n", "m1\nm2\n"},
        {"dfi", 1, "old\nm1\nm2\n", "m1\nm2\n"},
    };
    for (const auto &r : rows) {
        restart();
        std::string log = path("a.log");
        write_file(log, "old\n");
        MESS_set_str((std::string(r.keyword) + "=" + log).c_str());
        EXPECT_EQ(MESS_print(M_MESS, "m%d\n", 1), r.ret) << r.keyword;
        EXPECT_EQ(MESS_print(0x00F00000, "off\n"), 0) << r.keyword;
        EXPECT_EQ(MESS_print(M_MESS, "m%d\n", 2), r.ret) << r.keyword;
        vyr::reset_messages();  // closes and so flushes the log
        EXPECT_EQ(read_file(log), r.file) << r.keyword;
        EXPECT_EQ(out(), r.term) << r.keyword;
        EXPECT_EQ(err(), "") << r.keyword;
    }
}

TEST_F(MessTest, dfi_reopens_the_file_for_every_message) {
    std::string log = path("d.log");
    MESS_set_str(("out1,dfi=" + log).c_str());
    EXPECT_FALSE(fs::exists(log));  // nothing is opened by the setting
    EXPECT_EQ(MESS_print(0x00F00000, "off\n"), 0);
    EXPECT_FALSE(fs::exists(log));  // an inactive level touches nothing
    MESS_print(M_OUT1, "first\n");
    EXPECT_EQ(read_file(log), "first\n");  // already closed, so complete
    fs::remove(log);
    MESS_print(M_OUT1, "second\n");
    EXPECT_EQ(read_file(log), "second\n");
}

TEST_F(MessTest, one_text_for_every_destination) {
    // Longer than any stack buffer, with arguments consumed once per format.
    std::string big(3000, 'z');
    std::string log = path("big.log");
    MESS_set_str(("+fi=" + log).c_str());
    EXPECT_EQ(MESS_print(M_PRINT, "<%s|%d>\n", big.c_str(), 7), 1);
    vyr::reset_messages();
    std::string want = "<" + big + "|7>\n";
    EXPECT_EQ(out(), want);
    EXPECT_EQ(read_file(log), want);
}

TEST_F(MessTest, a_new_log_replaces_the_old_one) {
    std::string a = path("a.log"), b = path("b.log");
    MESS_set_str(("+fi=" + a + ",+fi=" + b).c_str());
    MESS_print(M_PRINT, "x\n");
    vyr::reset_messages();
    EXPECT_EQ(read_file(a), "");
    EXPECT_EQ(read_file(b), "x\n");
    // After the reset no log is open any more.
    MESS_print(M_PRINT, "y\n");
    EXPECT_EQ(read_file(b), "x\n");
}

TEST_F(MessTest, file_keyword_takes_the_rest_as_name) {
    fs::current_path(dir_);
    MESS_set_str("file=x");
    EXPECT_EQ(MESS_print(M_PRINT, "hi\n"), 0);
    vyr::reset_messages();
    EXPECT_EQ(read_file(dir_ / "e=x"), "hi\n");
    EXPECT_EQ(out(), "");
}

TEST_F(MessTest, unusable_log_files_keep_the_terminal) {
    fs::current_path(dir_);  // a refused long name must not appear here
    write_file(path("plain"), "");
    const std::string bad = path("plain") + "/x.log";  // under a regular file
    const std::string too_long(160, 'n');
    struct Row {
        std::string item;
        std::string name;  // in the warning
    } rows[] = {
        {"fi=" + bad, bad},
        {"+fi=" + bad, bad},
        {"-fi=" + bad, bad},
        {"@fi=" + bad, bad},
        {"fi", ""},
        {"@fi", ""},
        {"dfi", ""},
        {"fi=", ""},
        {"-fi=", ""},
        {"fi=" + too_long, too_long},
        {"dfi=" + too_long, too_long},
    };
    for (const auto &r : rows) {
        restart();
        MESS_set_str(r.item.c_str());
        EXPECT_EQ(err(), "Unable to open log file: " + r.name + "\n") << r.item;
        EXPECT_EQ(MESS_print(M_MESS, "m\n"), 1) << r.item;
        EXPECT_EQ(out(), "m\n") << r.item;
    }
    EXPECT_FALSE(fs::exists(too_long));

    // A failed item leaves an earlier log in place.
    restart();
    std::string good = path("good.log");
    MESS_set_str(("@fi=" + good + ",fi=" + bad).c_str());
    MESS_print(M_MESS, "kept\n");
    vyr::reset_messages();
    EXPECT_EQ(read_file(good), "26 DEC 07  12:35:06Z -- kept\n");
    EXPECT_EQ(out(), "kept\n");
}

TEST_F(MessTest, longest_log_name_is_accepted) {
    fs::current_path(dir_);
    const std::string name(159, 'k');
    MESS_set_str(("dfi=" + name).c_str());
    MESS_print(M_MESS, "m\n");
    EXPECT_EQ(err(), "");
    EXPECT_EQ(read_file(dir_ / name), "m\n");
}

// A log that cannot be written loses the record of the run: said once,
// and the messages still reach the terminal.
TEST_F(MessTest, log_failures_are_told_once) {
    write_file(path("plain"), "");
    const std::string dfi = path("plain") + "/x.log";
    MESS_set_str(("dfi=" + dfi).c_str());
    EXPECT_EQ(err(), "");  // nothing is opened by the setting
    EXPECT_EQ(MESS_print(M_MESS, "one\n"), 1);
    EXPECT_EQ(MESS_print(M_WARN, "two\n"), 1);
    EXPECT_EQ(out(), "one\n");
    EXPECT_EQ(err(), "Unable to write log file: " + dfi + " (Not a directory)\ntwo\n");

    restart();
    MESS_set_str("+fi=/dev/full");
    for (int i = 0; i < 2000; ++i) MESS_print(M_MESS, "a message long enough to fill a buffer\n");
    EXPECT_EQ(err(), "Unable to write log file: /dev/full (No space left on device)\n");
}

TEST_F(MessTest, page_length_items) {
    struct Row {
        const char *item;
        int max_lines;
    } rows[] = {
        {"line=0", 22}, {"lines=40", 22}, {"line=5", 5},   {"LINE:7", 7},
        {"line", 22},   {"line=", 22},    {"line=-3", 22}, {"line=x", 22},
    };
    for (const auto &r : rows) {
        restart();
        feed(std::string(100, '\n'));
        MESS_set_str((std::string("page,") + r.item).c_str());
        int printed = 0;
        while (consumed() == 0 && printed < 60) {
            MESS_print(M_PRINT, "x\n");
            ++printed;
        }
        // The hold comes when the count exceeds the page length.
        EXPECT_EQ(printed, r.max_lines + 1) << r.item;
        EXPECT_EQ(consumed(), 1) << r.item;
    }
}

TEST_F(MessTest, paging_holds_after_a_page) {
    feed("abc\n");
    MESS_set_str("page,line=3");
    for (int i = 0; i < 3; ++i) MESS_print(M_PRINT, "l\n");
    EXPECT_EQ(consumed(), 0);
    MESS_print(M_PRINT, "l\n");
    EXPECT_EQ(out(), "l\nl\nl\nl\n" + std::string(kHold));
    EXPECT_EQ(consumed(), 1);  // one character; the rest stays typed
    // The count starts again after a hold.
    for (int i = 0; i < 3; ++i) MESS_print(M_PRINT, "l\n");
    EXPECT_EQ(consumed(), 1);
    MESS_print(M_PRINT, "two\nlines\n");
    EXPECT_EQ(consumed(), 2);
}

TEST_F(MessTest, paging_counts_the_format_newlines_only) {
    feed("\n\n\n\n");
    MESS_set_str("page,line=3");
    for (int i = 0; i < 10; ++i) MESS_print(M_PRINT, "%s", "a\nb\nc\n");
    EXPECT_EQ(consumed(), 0);
    EXPECT_EQ(out().find(kHold), std::string::npos);
    MESS_print(M_PRINT, "1\n2\n3\n4\n");
    EXPECT_EQ(consumed(), 1);
}

TEST_F(MessTest, batch_mode_never_holds_but_keeps_counting) {
    feed("\n\n");
    MESS_set_str("page,line=3");
    FLAG_set(19, 1);
    for (int i = 0; i < 10; ++i) MESS_print(M_PRINT, "l\n");
    EXPECT_EQ(consumed(), 0);
    EXPECT_EQ(out().find(kHold), std::string::npos);
    FLAG_set(19, 0);
    MESS_print(M_PRINT, "%s", "");  // no newline, but the count is over
    EXPECT_EQ(consumed(), 1);
}

TEST_F(MessTest, an_errors_hold_prompt_goes_to_standard_output) {
    feed("\n");
    MESS_set_str("page,line=2");
    for (int i = 0; i < 3; ++i) MESS_print(0x00000030, "e\n");
    EXPECT_EQ(err(), "e\ne\ne\n");
    EXPECT_EQ(out(), kHold);
    EXPECT_EQ(consumed(), 1);
}

TEST_F(MessTest, nopage_and_log_only_never_hold) {
    for (const char *value : {"page,line=1,nopage", "page,line=1,fi=LOG"}) {
        restart();
        feed("\n\n");
        std::string v = value;
        if (auto at = v.find("LOG"); at != std::string::npos) v.replace(at, 3, path("l.log"));
        MESS_set_str(v.c_str());
        for (int i = 0; i < 5; ++i) MESS_print(M_PRINT, "l\n");
        EXPECT_EQ(consumed(), 0) << value;
    }
}

TEST_F(MessTest, hold) {
    struct Row {
        const char *setting;  // message value first, null for none
        bool batch;
        M_type type;
        const char *out, *err;
        long read;
    } rows[] = {
        {nullptr, false, M_PRINT, "Hold on\n", "", 1},  // page 1 still honours holds
        {nullptr, false, 0x00000030, "Hold on\n", "", 1},
        {nullptr, false, 0x000000F0, "", "Hold on\n", 1},  // error and warning bits
        {nullptr, false, 0x00000090, "", "Hold on\n", 1},
        {nullptr, false, 0x000000C0, "Hold on\n", "", 1},
        {nullptr, false, 0x00F00000, "", "", 0},  // level off
        {nullptr, true, M_PRINT, "", "", 0},
        {"nopage", false, M_PRINT, "", "", 0},
        {"fi=LOG", false, M_PRINT, "", "", 0},
        {"@fi=LOG", false, M_PRINT, "Hold on\n", "", 1},
    };
    for (const auto &r : rows) {
        restart();
        feed("xy\n");
        if (r.setting) {
            std::string v = r.setting;
            if (auto at = v.find("LOG"); at != std::string::npos) v.replace(at, 3, path("h.log"));
            MESS_set_str(v.c_str());
        }
        FLAG_set(19, r.batch ? 1 : 0);
        EXPECT_EQ(MESS_hold(r.type, "Hold on\n"), 0);
        EXPECT_EQ(out(), r.out) << std::hex << r.type << " " << (r.setting ? r.setting : "");
        EXPECT_EQ(err(), r.err) << std::hex << r.type;
        EXPECT_EQ(consumed(), r.read) << std::hex << r.type;
    }
    // The text is shown as it stands, never read as a format.
    restart();
    feed("\n");
    MESS_hold(M_PRINT, "100% %s %n\n");
    EXPECT_EQ(out(), "100% %s %n\n");
}

TEST_F(MessTest, banner) {
    EXPECT_EQ(MESS_print_prog("SHEF DATA DECODING"), 0);
    EXPECT_EQ(out(), "      SHEF DATA DECODING (Ver 5.60.4-LINUX-X11)\n\n");
    restart();
    MESS_set_str("warn");
    MESS_print_prog("SHEF DATA DECODING");
    EXPECT_EQ(out(), "");
}

TEST_F(MessTest, reset_restores_the_start) {
    feed(std::string(40, '\n'));
    std::string log = path("r.log");
    MESS_set_str(("none,page,line=1,fi=" + log).c_str());
    vyr::reset_messages();
    EXPECT_EQ(mask(), 0x000FFFFFu);
    EXPECT_EQ(MESS_check_set(), 0);
    for (int i = 0; i < 30; ++i) EXPECT_EQ(MESS_print(M_PRINT, "l\n"), 1);
    EXPECT_EQ(consumed(), 0);  // paging back to no counting
    EXPECT_EQ(read_file(log), "");
    EXPECT_EQ(out().size(), 60u);
    EXPECT_EQ(MESS_check(kAll), 1);
}

}  // namespace
