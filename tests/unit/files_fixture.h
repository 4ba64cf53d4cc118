// The tests of file names and selection: a scratch directory named by
// data_path and file_path, a fixed clock, exits that throw, listings
// recorded instead of run, the module and resources at start-up state.
#ifndef VYR_FILES_FIXTURE_H
#define VYR_FILES_FIXTURE_H

#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

#include "files_rules.h"
#include "test_util.h"
#include "vyr.h"
#include "vyr_int.h"
#include "vyrresrc.h"

namespace vyr::test {

constexpr int M = VYR_MISSING;
constexpr Date kUnset = {M, M, M, M, M, M, M, 0};
constexpr int64_t kNow = 1796650500;  // 2026-12-07 13:35:00 UTC

inline int64_t fixed_now() { return kNow; }

inline int64_t at(int y, int mo, int d, int h, int mi) {
    Date date{y, mo, d, 0, 0, h, mi, 0};
    return DATE_num_sec(&date);
}

// Resource values for the rules, by name.
inline files::Lookup table(std::map<std::string, std::string> values) {
    return [values = std::move(values)](const char *name) -> const char * {
        auto it = values.find(name);
        return it == values.end() ? nullptr : it->second.c_str();
    };
}

inline std::vector<std::string> g_listings;
inline int record_listing(const char *cmd) {
    g_listings.emplace_back(cmd);
    return 0;
}

class FilesModuleTest : public CapturedMessagesTest {
  protected:
    ScratchDir scratch{"vyrfn"};
    void SetUp() override {
        CapturedMessagesTest::SetUp();
        restore();
        set_exit_throws(true);
        set_clock(fixed_now);
        set_file_lister(record_listing);
        RES_put("data_path", scratch.path().c_str());
        RES_put("file_path", scratch.path().c_str());
    }
    void TearDown() override {
        restore();
        set_exit_throws(false);
        set_clock(nullptr);
        set_file_lister(nullptr);
        CapturedMessagesTest::TearDown();
    }
    std::string path(const std::string &name) const { return scratch.path() + "/" + name; }
    // The status the call ended the program with, or -1 when it returned.
    template <class F>
    int exit_status(F call) {
        try {
            call();
        } catch (const exit_request &e) {
            return e.status;
        }
        return -1;
    }

  private:
    static void restore() {
        reset_files();
        reset_resources();
        FLAG_reset(0);
        g_listings.clear();
        unsetenv("vyrcurtime");
    }
};

}  // namespace vyr::test

#endif  // VYR_FILES_FIXTURE_H
