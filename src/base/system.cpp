// system.cpp - version text, process exit, sleeping, and where the
// terminal's answers are read. The prompts, which understand the resource
// commands, are in system_prompts.cpp, above the resources.
#include <unistd.h>

#include <cstdlib>

#include "base_int.h"
#include "vyr_build.h"
#include "vyrbase.h"

namespace {

struct State {
    FILE *input = nullptr;  // null: stdin
    bool exit_throws = false;
};
State g;

}  // namespace

namespace vyr {

void set_terminal_input(FILE *in) { g.input = in; }

FILE *terminal_input() { return g.input ? g.input : stdin; }

void set_exit_throws(bool on) { g.exit_throws = on; }

}  // namespace vyr

// The project version, set once in CMakeLists.txt.
const char *VYR_version() { return VYR_VERSION_TEXT; }

void VYR_exit(int status) {
    if (g.exit_throws) throw vyr::exit_request{status};
    std::exit(status);
}

int VYR_sleep(float secs) {
    if (!(secs > 0)) return -1;
    double us = static_cast<double>(secs) * 1000000.0;
    constexpr double kLongest = 1e15;  // some thirty years; keeps the conversion defined
    if (us > kLongest) us = kLongest;
    // usleep takes at most a second on some systems; sleep the whole seconds first.
    auto total = static_cast<unsigned long long>(us);
    if (total >= 1000000ULL) sleep(static_cast<unsigned>(total / 1000000ULL));
    usleep(static_cast<useconds_t>(total % 1000000ULL));
    return 0;
}
