// Current expressions: reference times, alignment with the wanted file
// time, offsets, the latest-file search, and FILE_set_current over files.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <string>

#include "files_fixture.h"

namespace {

using namespace vyr::files;
using vyr::test::at;
using vyr::test::kNow;
using vyr::test::M;

constexpr int64_t kHour = 3600, kDay = 86400;

TEST(files_current_test, reference_offsets_and_alignment) {
    // Month 0 counts as January and day 0 as the day before; a "#" without
    // digits and a "vyrcurtime" without digits give no reference.
    EXPECT_EQ(reference_time("#2026", nullptr, kNow).secs, at(2025, 12, 31, 0, 0));
    EXPECT_EQ(reference_time("#2026", nullptr, kNow).used, 5u);
    EXPECT_EQ(reference_time("#-6", "#2026120100", kNow).secs, at(2026, 12, 1, 0, 0));
    EXPECT_EQ(reference_time("#-6", "#2026120100", kNow).used, 1u);
    EXPECT_EQ(reference_time("6", "never", kNow).secs, kNow);
    // A date that does not exist is passed over, its digits used up.
    EXPECT_EQ(reference_time("#20261399", "#2026120100", kNow).secs, at(2026, 12, 1, 0, 0));
    EXPECT_EQ(reference_time("#20261399", "#2026120100", kNow).used, 9u);
    EXPECT_EQ(reference_time("", "2026023012", kNow).secs, kNow);

    struct Off {
        const char *text;
        int64_t secs;
        std::size_t used;
    };
    for (const Off &o :
         {Off{"6:30", 6 * kHour + 1800, 4}, Off{"2d6:30la", 2 * kDay + 6 * kHour + 1800, 6},
          Off{"6la-1d", 6 * kHour, 1}, Off{"1d:30", kDay, 2}, Off{"12:", 12 * kHour, 2}}) {
        EXPECT_EQ(read_offset(o.text).secs, o.secs) << o.text;
        EXPECT_EQ(read_offset(o.text).used, o.used) << o.text;
    }

    struct Align {
        int64_t t;
        Date set;
        int64_t want;
    };
    const Align aligns[] = {
        {at(2026, 12, 7, 11, 35), {M, M, M, M, M, 12, M, 0}, at(2026, 12, 6, 12, 35)},
        {kNow, {M, M, M, M, M, M, 40, 0}, at(2026, 12, 7, 12, 40)},
        {at(2026, 1, 3, 5, 0), {M, M, 15, M, M, M, M, 0}, at(2025, 12, 15, 5, 0)},
        {kNow, {M, 3, M, M, M, -306, -15, 0}, at(2026, 3, 7, 13, 35)},  // step codes do not act
    };
    for (const Align &a : aligns) EXPECT_EQ(align(a.t, a.set), a.want) << a.want;
}

// An hourly convention over a set of files given by their hours on 7 Dec
// (sizes in bytes), searched from 13:35.
class Search {
  public:
    std::map<int64_t, int64_t> sizes;  // hour start -> size
    int64_t period = kHour;
    int named = 0;
    Chosen run(const char *expr, int64_t min_size = 0) {
        const Namer namer = [this](const Date &d) {
            ++named;
            Date h = d;
            h.min = h.sec = 0;
            return CandidateName{std::to_string(DATE_num_sec(&h)), period};
        };
        const Sizer sizer = [this](const std::string &name) -> int64_t {
            auto it = sizes.find(std::stoll(name));
            return it == sizes.end() ? -1 : it->second;
        };
        return run_current(expr, kNow, namer, sizer, min_size);
    }
};

int64_t hour_of(const Chosen &c) { return std::stoll(c.named.name); }

TEST(files_current_test, expressions_and_the_latest_search) {
    Search s;
    s.sizes = {
        {at(2026, 12, 7, 10, 0), 50}, {at(2026, 12, 7, 11, 0), 0}, {at(2026, 12, 7, 16, 0), 9}};
    struct Row {
        const char *expr;
        int64_t hour;
    };
    const Row rows[] = {
        {"", at(2026, 12, 7, 13, 0)},      {"6", at(2026, 12, 7, 7, 0)},
        {"-6", at(2026, 12, 7, 7, 0)},     {"+6", at(2026, 12, 7, 19, 0)},
        {"-1d", at(2026, 12, 6, 13, 0)},   {"la", at(2026, 12, 7, 10, 0)},
        {"la-12", at(2026, 12, 6, 22, 0)}, {"+la", at(2026, 12, 7, 16, 0)},
        {"2la", at(2026, 12, 7, 10, 0)},   {"la#3", at(2026, 12, 7, 10, 0)},
        {"la#2", at(2026, 12, 7, 11, 0)},  // two tried, the name one step beyond
        {"LA+1", at(2026, 12, 7, 11, 0)},
    };
    for (const Row &r : rows) EXPECT_EQ(hour_of(s.run(r.expr)), r.hour) << r.expr;

    // The minimum size: a file of exactly that size does not count.
    EXPECT_EQ(hour_of(s.run("la", 9)), at(2026, 12, 7, 10, 0));
    EXPECT_EQ(hour_of(s.run("+la", 8)), at(2026, 12, 7, 16, 0));
    EXPECT_EQ(hour_of(s.run("+la#5", 9)), at(2026, 12, 7, 18, 0));

    // A pattern without a period names one file whatever the time: the
    // search tries the reference time's name once.
    s.period = kNoPeriod;
    s.named = 0;
    s.run("la");
    EXPECT_EQ(s.named, 2);  // the one candidate, then the chosen time
    s.named = 0;
    EXPECT_EQ(s.run("la#50").secs, kNow);
    EXPECT_EQ(s.named, 2);
}

TEST(files_current_test, chosen_times_are_lowered_only_by_a_period) {
    EXPECT_EQ(lower_to_period(kNow, kHour), at(2026, 12, 7, 13, 0));
    EXPECT_EQ(lower_to_period(kNow, 3 * kHour), at(2026, 12, 7, 12, 0));
    EXPECT_EQ(lower_to_period(kNow, kNoPeriod), kNow);
    EXPECT_EQ(lower_to_period(-1, kDay), -kDay);  // before 1970: still downwards
}

class CurrentTest : public vyr::test::FilesModuleTest {
  protected:
    std::string current(const char *expr, int64_t *secs = nullptr) {
        char out[160];
        const int64_t t = FILE_set_current(expr, out);
        if (secs) *secs = t;
        return std::string(out).substr(scratch.path().size() + 1);
    }
};

TEST_F(CurrentTest, searches_files_of_a_convention) {
    scratch.write("name_conv", "daily %D/%Y%m%d.obs - 3\nfixed %D/latest.obs\n");
    scratch.write("20261206.obs", "123");
    scratch.write("20261205.obs", "1234");
    ASSERT_EQ(FILE_set_name("daily"), 1);
    int64_t t = 0;
    EXPECT_EQ(current("la", &t), "20261205.obs");  // the 6th holds only 3 bytes
    EXPECT_EQ(t, at(2026, 12, 5, 0, 0));
    Date d;
    FILE_get_date(&d);
    EXPECT_EQ(d.day, 5);
    EXPECT_EQ(current(nullptr), "20261205.obs");

    setenv("vyrcurtime", "#2026120423", 1);
    // Ten days tried, none big enough: the day beyond the last one tried.
    EXPECT_EQ(current("la#10"), "20261124.obs");

    // With the hour fixed at 14, at 13:35 the current file is the day
    // before's, and the time is lowered to the day.
    unsetenv("vyrcurtime");
    Date set = {M, M, M, M, M, 14, M, 0};
    FILE_set_time(&set);
    EXPECT_EQ(current("", &t), "20261206.obs");
    EXPECT_EQ(t, at(2026, 12, 6, 0, 0));

    ASSERT_EQ(FILE_set_name("fixed"), 1);
    EXPECT_EQ(current("-1", &t), "latest.obs");
    EXPECT_EQ(t, at(2026, 12, 6, 13, 35));  // no period: the time unchanged
}

}  // namespace
