// flag.cpp - process-wide run flags and plot-element switches.
#include "base_int.h"
#include "vyrbase.h"

int64_t flags[30];
int plot_it[13] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

namespace {

// Index 0 says whether any text position is on, index 12 whether anything is.
void recompute_sums() {
    int text = 0;
    for (int i = 1; i <= 6; ++i) text += plot_it[i];
    plot_it[0] = text;
    int all = 0;
    for (int i = 0; i <= 11; ++i) all += plot_it[i];
    plot_it[12] = all;
}

}  // namespace

int FLAG_set(int flag, int value) {
    if (flag < 0 || flag >= 30) return -1;
    flags[flag] = value;
    return 0;
}

int FLAG_reset(int value) {
    for (auto &f : flags) f = value;
    return 0;
}

int FLAG_batch() { return flags[FLAG_BATCH] > 0; }

int FLAG_help() { return flags[FLAG_HELP] > 0; }

int FLAG_setplot(int type, int val) {
    if (type < 0 || type > 12) return 0;
    if (type == 12)
        for (int i = 0; i <= 11; ++i) plot_it[i] = val;
    else if (type == 0)
        for (int i = 0; i <= 6; ++i) plot_it[i] = val;
    plot_it[type] = val;
    recompute_sums();
    return 0;
}

int FLAG_resetplot(int val) {
    for (auto &p : plot_it) p = val;
    return 0;
}
