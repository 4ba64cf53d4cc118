// resrc_window.cpp - the exchange of resources with display windows: the
// queries of a "#N" element of the search path, the settings sent back, and
// "quit".
//
// Only one window is connected at a time. When several "#N" elements are on
// the path, each connected window is asked in turn; a window that connects
// sends the one before it "quit", so the last connected window is the one
// that receives the command line's settings and the final "quit". A window
// that cannot be opened or connected leaves an earlier connection in place.
//
// Requests are built before they are sent: a "%" in a value is data.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "resrc_gather.h"

namespace {

struct State {
    int window_q = -1;   // queue of the connected display window
    int window_id = -1;  // its connection id; -1 when no window is connected
};
State g;

constexpr int kReplyCap = 120;      // a window's reply text with its terminator
constexpr int kRowAlarmFactor = 5;  // a row's answer may take 5 queue time-outs

using vyr::resources::active;
using vyr::resources::kValueCap;
using vyr::resources::store_for_row;

void forget() {
    g.window_q = -1;
    g.window_id = -1;
}

bool window_connected() { return g.window_id > 0; }

// Sends one request text as it is: a "%" in a value is data.
bool send_request(const char *text) { return MQ_put(g.window_q, g.window_id, "%s", text) == 0; }

// "set res NAME VALUE", cut like every request to the bytes that travel.
bool send_setting(const char *name, const char *value) {
    char text[kReplyCap];
    std::snprintf(text, sizeof text, "set res %s %s", name, value);
    return send_request(text);
}

// Reads the replies of one answer up to the first non-zero status.
int read_answer() {
    char item[kReplyCap];
    int status = 0;
    while ((status = MQ_get(g.window_q, g.window_id, item)) == 0) {
    }
    return status;
}

// Only a request that went out is answered: waiting for the reply of one
// that did not would end the run through the queue's time-out.
void request_and_wait(const char *text) {
    if (send_request(text)) read_answer();
}

// The decimal window number at the start of the text; false when it does
// not fit an int.
bool window_number(const char *text, int &num) { return vyr::read_integer(text, num) > 0; }

// The answers to the queries, in row order. A value the window does not
// know but an earlier element of the path did is sent to it; returns how
// many of those settings await their acknowledgement.
int read_window_answers(const RES_defobj *table, int rows) {
    int pending = 0;
    const int row_secs = kRowAlarmFactor * vyr::queue_timeout();
    for (int r = 0; r < rows; ++r) {
        if (!active(table[r])) continue;  // not asked: see the query loop
        alarm(static_cast<unsigned>(row_secs > 0 ? row_secs : 0));
        bool got = false;
        char item[kReplyCap];
        int status = 0;
        while ((status = MQ_get(g.window_q, g.window_id, item)) == 0) {
            MQ_disable_alarm();
            // "!" opens an error text and a bare line end stands for no value.
            if (item[0] == '\0' || item[0] == '!' || item[0] == '\n') continue;
            char value[kValueCap];
            vyr::copy_text(value, sizeof value, {item, std::strlen(item) - 1},
                           vyr::Overflow::Cut);  // the line end
            store_for_row(table, r, value);
            got = true;
        }
        if (!got) {
            const char *known = RES_get(table[r].def);
            if (known != nullptr && send_setting(table[r].def, known)) ++pending;
        }
        if (status == -3) MESS_print(M_WARN, "VYRloop not running!\n");
    }
    return pending;
}

void close_connected() {
    if (!window_connected()) return;
    request_and_wait("quit");
    forget();
}

}  // namespace

namespace vyr::resources {

// Exchange of resources with the display window of a "#N" path element;
// number is the text after "#".
void exchange_with_window(const RES_defobj *table, int rows, const char *number) {
    int num = 0;
    errno = 0;
    int q = window_number(number, num) ? MQ_open(num) : -1;
    if (q < 0) {
        if (errno == ENOENT)
            MESS_print(M_WARN, "VYRloop window: %s not running or no message queue exists\n",
                       number);
        else
            MESS_print(M_WARN, "VYRloop window: %s unable to connect\n", number);
        return;
    }
    int id = MQ_connect(q);
    if (id < 0) {
        MESS_print(M_WARN, "VYRloop window: %s unable to connect\n", number);
        return;
    }
    close_connected();
    g.window_q = q;
    g.window_id = id;
    // Inactive rows (an empty name) have nothing to ask for; the answer loop
    // skips the same rows, so answers and rows stay in step.
    for (int r = 0; r < rows; ++r) {
        if (!active(table[r])) continue;
        char text[kReplyCap];
        std::snprintf(text, sizeof text, "query res %s", table[r].def);
        if (!send_request(text)) {
            // The queue went away under us: nothing more can be said to it.
            MESS_print(M_WARN, "VYRloop window: %s unable to connect\n", number);
            forget();
            return;
        }
    }
    int pending = read_window_answers(table, rows);
    std::signal(SIGALRM, SIG_IGN);
    for (; pending > 0; --pending) read_answer();
}

void send_to_window(const char *name, const char *value) {
    if (window_connected() && send_setting(name, value)) read_answer();
}

void close_window() { close_connected(); }

void forget_window() { forget(); }

}  // namespace vyr::resources
