// mess.cpp - leveled message output.
//
// Every text for the user goes through MESS_print. A message is shown when
// its level shares a bit with the active mask; errors and warnings go to
// standard error, everything else to standard output.
#include <cstdarg>
#include <cstring>

#include "vyr.h"
#include "vyr_int.h"

namespace {

constexpr M_type kInitialMask = 0x000FFFFF;
constexpr M_type kErrorWarnBits = 0x000000F0;

struct State {
    M_type mess_level = kInitialMask;
    int mess_set = 0;  // user settings so far
    FILE *out = nullptr;  // null: stdout
    FILE *err = nullptr;  // null: stderr
};
State g;

FILE *out_stream() { return g.out ? g.out : stdout; }
FILE *err_stream() { return g.err ? g.err : stderr; }

// Sets every bit below the highest set bit: a class shows itself and every
// more important class.
M_type fill_down(M_type v) {
    if (v == 0) return 0;
    M_type r = v;
    r |= r >> 1;
    r |= r >> 2;
    r |= r >> 4;
    r |= r >> 8;
    r |= r >> 16;
    return r;
}

struct LevelWord {
    const char *word;
    int n;  // characters compared
    M_type mask;
};
constexpr LevelWord kWords[] = {
    {"none", 4, 0x00000000},  {"print", 5, 0x0000000F}, {"error", 5, 0x00000030},
    {"warn", 4, 0x000000C0},  {"mess", 4, 0x00000F00},  {"out1", 4, 0x0000F000},
    {"out2", 4, 0x000F0000},  {"out3", 4, 0x00F00000},  {"out4", 4, 0x0F000000},
    {"debug", 5, 0xF0000000},
};

// A level word with its optional operator and sub-level letter.
void apply_level_word(const char *item) {
    char op = 0;
    if (item[0] == '+' || item[0] == '-') op = *item++;
    M_type mask = 0;
    for (const auto &w : kWords) {
        if (strnicmp(item, w.word, w.n) == 0) {
            mask = w.mask;
            break;
        }
    }
    std::size_t n = std::strlen(item);
    if (n > 0) {
        switch (item[n - 1]) {
            case 'a': mask &= 0x11111111; break;
            case 'b': mask &= 0x22222222; break;
            case 'c': mask &= 0x44444444; break;
            case 'd': mask &= 0x88888888; break;
            default: break;
        }
    }
    if (op == '+')
        g.mess_level |= mask;
    else if (op == '-')
        g.mess_level &= ~mask;
    else
        g.mess_level = fill_down(mask);
}

}  // namespace

namespace vyr {

void set_message_streams(FILE *out, FILE *err) {
    g.out = out;
    g.err = err;
}

void reset_messages() {
    g.mess_level = kInitialMask;
    g.mess_set = 0;
}

}  // namespace vyr

int MESS_check(M_type level) { return (level & g.mess_level) != 0; }

int MESS_check_set() { return g.mess_set; }

int MESS_set(int oper, M_type level) {
    if (oper <= 4) ++g.mess_set;
    if (oper >= 16 && g.mess_set != 0) return 0;
    switch (oper) {
        case 0: case 10: case 20: g.mess_level = fill_down(level); break;
        case 1: case 11: case 21: g.mess_level |= level; break;
        case -1: case 9: case 19: g.mess_level &= ~level; break;
        default: break;
    }
    return 0;
}

int MESS_set_str(const char *str) {
    int argc = 0;
    char **argv = nullptr;
    ++g.mess_set;
    if (parse_string(str, ',', &argc, &argv) != 0) return 0;
    for (int i = 0; i < argc; ++i) apply_level_word(argv[i]);
    free_parsed_array(argc, argv);
    return 0;
}

int MESS_print(M_type type, const char *mess, ...) {
    if (!MESS_check(type) || mess == nullptr) return 0;
    FILE *dest = (type & kErrorWarnBits) ? err_stream() : out_stream();
    va_list ap;
    va_start(ap, mess);
    std::vfprintf(dest, mess, ap);
    va_end(ap);
    return 1;
}
