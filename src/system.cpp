// system.cpp - version text, process exit, sleeping and the terminal input
// that prompts and paging holds read.
#include <unistd.h>

#include <cstdlib>

#include "vyr.h"
#include "vyr_int.h"

namespace {

struct State {
    FILE *input = nullptr;  // null: stdin
};
State g;

}  // namespace

namespace vyr {

void set_terminal_input(FILE *in) { g.input = in; }

FILE *terminal_input() { return g.input ? g.input : stdin; }

}  // namespace vyr

const char *VYR_version() { return "5.60.4-LINUX-X11"; }

void VYR_exit(int status) { std::exit(status); }

int VYR_sleep(float secs) {
    if (!(secs > 0)) return -1;
    double us = static_cast<double>(secs) * 1000000.0;
    // usleep takes at most a second on some systems; sleep the whole seconds first.
    auto total = static_cast<unsigned long long>(us);
    if (total >= 1000000ULL) sleep(static_cast<unsigned>(total / 1000000ULL));
    usleep(static_cast<useconds_t>(total % 1000000ULL));
    return 0;
}
