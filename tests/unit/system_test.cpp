#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "test_util.h"
#include "vyr.h"
#include "vyr_int.h"
#include "vyrresrc.h"

namespace {

// ---------------------------------------------------------------------------
// Run flags and plot switches

TEST(flag_test, batch_and_help_need_a_positive_flag) {
    struct Row {
        int value;
        int want;
    } rows[] = {{0, 0}, {VYR_MISSING, 0}, {-1, 0}, {1, 1}, {7, 1}};
    for (const auto &r : rows) {
        FLAG_reset(r.value);
        EXPECT_EQ(FLAG_batch(), r.want) << r.value;
        EXPECT_EQ(FLAG_help(), r.want) << r.value;
    }
    FLAG_reset(VYR_MISSING);
    FLAG_set(19, 1);
    EXPECT_EQ(FLAG_batch(), 1);
    EXPECT_EQ(FLAG_help(), 0);
}

TEST(flag_test, set_checks_the_index) {
    struct Row {
        int index;
        int ret;
    } rows[] = {{-1, -1}, {30, -1}, {1000, -1}, {0, 0}, {29, 0}};
    for (const auto &r : rows) {
        FLAG_reset(VYR_MISSING);
        EXPECT_EQ(FLAG_set(r.index, 5), r.ret) << r.index;
        for (int i = 0; i < 30; ++i)
            EXPECT_EQ(flags[i], i == r.index ? 5 : VYR_MISSING) << r.index << " " << i;
    }
}

TEST(flag_test, plot_switch_sequences) {
    struct Step {
        int type, val;
    };
    struct Row {
        const char *name;
        std::vector<Step> steps;
        std::vector<int> want;  // plot_it[0..12]
    } rows[] = {
        {"all off", {{12, 0}}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"all off, map on", {{12, 0}, {8, 1}}, {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1}},
        {"text on", {{12, 0}, {0, 1}}, {6, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 12}},
        {"text on from all on", {{0, 1}}, {6, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 17}},
        {"one text off", {{3, 0}}, {5, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 15}},
        {"text off", {{0, 0}}, {0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 5}},
        {"out of range", {{13, 0}, {-1, 0}}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
    };
    for (const auto &r : rows) {
        FLAG_resetplot(1);
        for (const auto &s : r.steps) EXPECT_EQ(FLAG_setplot(s.type, s.val), 0) << r.name;
        std::vector<int> got(plot_it, plot_it + 13);
        EXPECT_EQ(got, r.want) << r.name;
    }
}

// ---------------------------------------------------------------------------
// Prompts

int count(const std::string &hay, const std::string &needle) {
    int n = 0;
    for (auto at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) ++n;
    return n;
}

class PromptTest : public vyr::test::CapturedMessagesTest {
  protected:
    void restart(const std::string &answers) {
        clear_output();
        feed(answers);
    }
};

TEST_F(PromptTest, set_command_results) {
    struct Row {
        const char *answer;
        int ret;
    } rows[] = {
        {"set a=1", 1}, {"SET a 1", 1}, {"settle", 1}, {"set", 1},    {"set\n", 1},
        {"hello", 0},   {"", 0},        {"se", 0},     {" set a", 0}, {"reset a=1", 0},
    };
    for (const auto &r : rows) {
        restart("");
        EXPECT_EQ(VYR_set_command(r.answer), r.ret) << r.answer;
    }
    EXPECT_EQ(VYR_set_command(nullptr), 0);
}

TEST_F(PromptTest, set_answers_store_resources) {
    struct Row {
        const char *answer;
        const char *name;
        const char *value;  // null: nothing stored
    } rows[] = {
        {"set title=My plot", "title", "My plot"},
        {"SET title My plot", "title", "My plot"},
        {"set title", "title", ""},  // neither "=" nor blank after the name
        {"set title=", "title", ""},
        {"set  title = = a b ", "title", "a b "},
        {"set\ttitle=x", "title", "x"},
        {"set title=a=b", "title", "a=b"},
        {"set title=x\r\n", "title", "x"},
        {"set abcdefghijklmnopqrs=19", "abcdefghijklmnopqrs", "19"},
        {"set abcdefghijklmnopqrst=20", "abcdefghijklmnopqrst", nullptr},
        {"set abcdefghijklmnopqrst=20", "abcdefghijklmnopqrs", nullptr},
    };
    for (const auto &r : rows) {
        restart("");
        RES_new(VYR_MISSING, r.name, "before", CV_string);
        EXPECT_EQ(VYR_set_command(r.answer), 1) << r.answer;
        EXPECT_STREQ(RES_get(r.name), r.value ? r.value : "before") << r.answer;
        EXPECT_EQ(err().empty(), r.value != nullptr) << r.answer;  // a long name is refused aloud
    }
}

TEST_F(PromptTest, word_prompt_answers) {
    const std::string over_long = std::string(100, 'a') + "\nnext\n";
    struct Row {
        const char *answers;
        int length;
        const char *want;
        int asked;
    } rows[] = {
        {"hello\n", 20, "hello", 1},
        {"  word  more\n", 20, "word", 1},
        {"abcdefgh\n", 5, "abcd", 1},
        {"xyz\n", 0, "x", 1},  // a length of 1 or less is taken as 2
        {"xyz\n", 1, "x", 1},
        {"\n", 20, "keep", 1},
        {"   \n", 20, "keep", 1},
        {"last", 20, "last", 1},  // no line end before the end of input
        {"set\nabc\n", 20, "abc", 2},
        {"set\n\n", 20, "keep", 2},  // a command answer leaves the text alone
        {"set title=My plot\nnext\n", 20, "next", 2},
        {over_long.c_str(), 20, "aaaaaaaaaaaaaaaaaaa", 1},
    };
    for (const auto &r : rows) {
        restart(r.answers);
        char buf[200] = "keep";
        EXPECT_EQ(VYR_prompts("Word? ", buf, r.length), buf);
        EXPECT_STREQ(buf, r.want) << r.answers;
        EXPECT_EQ(count(out(), "Word? "), r.asked) << r.answers;
    }
}

TEST_F(PromptTest, long_answers_are_cut_and_read_away) {
    restart(std::string(100, 'b') + " tail\nnext\n");
    char buf[200] = "";
    VYR_prompts("? ", buf, 200);
    EXPECT_EQ(std::string(buf), std::string(79, 'b'));
    VYR_prompts("? ", buf, 200);
    EXPECT_STREQ(buf, "next");
}

TEST_F(PromptTest, set_lists_resources_and_asks_again) {
    restart("set\nabc\n");
    RES_new(VYR_MISSING, "zz_listed", "shown", CV_string);
    char buf[20] = "";
    VYR_prompts("Name? ", buf, 20);
    EXPECT_STREQ(buf, "abc");
    std::string o = out();
    auto list = o.find("Name? Set resources\n");
    auto item = o.find("zz_listed: shown\n");
    auto again = o.rfind("\nName? ");
    ASSERT_NE(list, std::string::npos) << o;
    ASSERT_NE(item, std::string::npos) << o;
    ASSERT_NE(again, std::string::npos) << o;
    EXPECT_LT(list, item);
    EXPECT_LT(item, again);
    EXPECT_EQ(o.substr(again - 1), "\n\nName? ");  // the listing ends with an empty line
}

TEST_F(PromptTest, word_prompt_allocates_when_given_no_buffer) {
    struct Row {
        const char *answers;
        const char *want;
    } rows[] = {{"hello\n", "hello"}, {"\n", ""}, {"toolongforit\n", "toolong"}};
    for (const auto &r : rows) {
        restart(r.answers);
        char *s = VYR_prompts("? ", nullptr, 8);
        ASSERT_NE(s, nullptr);
        EXPECT_STREQ(s, r.want) << r.answers;
        std::free(s);
    }
}

TEST_F(PromptTest, prompt_text_is_not_a_format) {
    restart("x\n");
    char buf[10] = "";
    VYR_prompts("100% %s %n: ", buf, 10);
    EXPECT_EQ(out(), "100% %s %n: ");
}

TEST_F(PromptTest, number_prompt_answers) {
    struct Row {
        const char *answers;
        float want;
        int asked;
    } rows[] = {
        {"12.5\n", 12.5f, 1},
        {"\n", 0.0f, 1},
        {"   \n", 0.0f, 1},
        {"north\n7\n", 7.0f, 2},
        {"abc\n-3e2\n", -300.0f, 2},
        {"  42 knots\n", 42.0f, 1},
        {"nan\ninf\n1e99\n2\n", 2.0f, 4},
        {"set\n3\n", 3.0f, 2},
        {"set num=4\n\n", 0.0f, 2},
    };
    for (const auto &r : rows) {
        restart(r.answers);
        EXPECT_EQ(VYR_promptf("Number? "), r.want) << r.answers;
        EXPECT_EQ(count(out(), "Number? "), r.asked) << r.answers;
    }
    EXPECT_STREQ(RES_get("num"), "4");
}

using PromptDeathTest = PromptTest;

TEST_F(PromptDeathTest, exit_answer_ends_with_status_0) {
    struct Row {
        const char *answers;
        bool number;
    } rows[] = {
        {"exit\n", false},
        {"EXIT\n", true},
        {"Exiting\n", false},
        {"set\nexit\n", true},
    };
    for (const auto &r : rows) {
        restart(r.answers);
        char buf[20] = "";
        if (r.number)
            EXPECT_EXIT(VYR_promptf("? "), testing::ExitedWithCode(0), "") << r.answers;
        else
            EXPECT_EXIT(VYR_prompts("? ", buf, 20), testing::ExitedWithCode(0), "") << r.answers;
    }
}

TEST_F(PromptDeathTest, end_of_input_ends_with_status_0) {
    for (const char *answers : {"", "set\n", "set title=x\n"}) {
        restart(answers);
        char buf[20] = "";
        EXPECT_EXIT(VYR_prompts("? ", buf, 20), testing::ExitedWithCode(0), "") << answers;
    }
    for (const char *answers : {"", "set\n", "north\n"}) {
        restart(answers);
        EXPECT_EXIT(VYR_promptf("? "), testing::ExitedWithCode(0), "") << answers;
    }
}

// With exits turned into exceptions, code that ends the process runs in a
// test (or a fuzz target) and the test goes on with the status it gave.
TEST_F(PromptTest, exits_can_be_caught) {
    vyr::set_exit_throws(true);
    for (const char *answers : {"exit\n", "", "set\n"}) {
        restart(answers);
        char buf[20] = "";
        try {
            VYR_prompts("? ", buf, 20);
            ADD_FAILURE() << "no exit for " << answers;
        } catch (const vyr::exit_request &e) {
            EXPECT_EQ(e.status, 0) << answers;
        }
    }
    vyr::set_exit_throws(false);
}

TEST(system_test, sleep_refuses_no_time) {
    EXPECT_EQ(VYR_sleep(0.0f), -1);
    EXPECT_EQ(VYR_sleep(-1.0f), -1);
    EXPECT_EQ(VYR_sleep(std::nanf("")), -1);
}

}  // namespace
