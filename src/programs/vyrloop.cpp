// vyrloop.cpp - the least display process: one window, one resource list,
// served on the window's message queue.
//
//   vyrloop [-q] [-me LEVEL] N [name=value ...]
//
// Creates the queue keyed by window number N, hands out connection ids to
// tools, answers their resource queries from the list (seeded from the
// arguments) and stores the values they set. Every request received is shown
// at the "mess" level so a person can watch a tool talk to the window; -q
// shows only errors and warnings, -me applies a message setting. The queue
// is removed at the end, also on SIGINT, SIGTERM and SIGHUP.
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <string>
#include <string_view>

#include "base_int.h"
#include "vyr.h"

namespace {

constexpr std::size_t kTextBytes = 120;  // bytes of mtext that travel
constexpr long kRequestType = 1;
constexpr long kConnectReplyType = 2;
constexpr int kFirstId = 3;
constexpr int kLastId = 21;
constexpr int kUsageStatus = 2;

struct State {
    int qid = -1;  // our queue, -1 until created
    int window = 0;
    std::array<bool, kLastId + 1> used{};  // connection slots by id
    std::map<std::string, std::string, std::less<>> resources;
};
State g;

volatile std::sig_atomic_t g_stop = 0;

void on_signal(int) { g_stop = 1; }

void remove_queue() {
    if (g.qid >= 0) msgctl(g.qid, IPC_RMID, nullptr);
    g.qid = -1;
}

// Without SA_RESTART a blocked msgrcv returns EINTR, so the loop sees the
// flag. A signal that lands between the test of the flag and the receive is
// only seen at the next request; a second signal then ends the wait.
void install_signals() {
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
}

void usage() { MESS_print(M_ERROR, "usage: vyrloop [-q] [-me LEVEL] N [name=value ...]\n"); }

// The window number: a whole decimal number other than 0, which as a key
// would ask for a private queue nobody could find.
bool parse_window(const char *s, int &n) {
    int v = 0;
    if (vyr::read_integer(s, v) != std::strlen(s) || v == 0) return false;
    n = v;
    return true;
}

// Options, the window number and the name=value seeds. False on a misuse.
bool parse_args(int argc, char **argv) {
    bool have_window = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        if (a == "-q") {
            MESS_set_str("warn");
        } else if (a == "-me") {
            if (i + 1 >= argc) return false;
            MESS_set_str(argv[++i]);
        } else if (!have_window) {
            if (!parse_window(argv[i], g.window)) return false;
            have_window = true;
        } else {
            std::size_t eq = a.find('=');
            if (eq == std::string_view::npos || eq == 0) return false;
            g.resources[std::string(a.substr(0, eq))] = std::string(a.substr(eq + 1));
        }
    }
    return have_window;
}

// Sends one reply: the status character, then text cut so that it and its
// terminator fit the bytes that travel. Blocks while the queue is full,
// unless a stop signal interrupts.
void reply(long type, int status, std::string_view text) {
    mqueuebuf m{};
    m.mtype = type;
    m.mtext[0] = static_cast<char>('0' + status);
    std::size_t n = std::min(text.size(), kTextBytes - 2);
    std::memcpy(m.mtext + 1, text.data(), n);
    while (msgsnd(g.qid, &m, kTextBytes, 0) < 0) {
        if (errno != EINTR || g_stop) {
            if (!g_stop)
                MESS_print(M_WARN, "vyrloop: reply to %ld lost: %s\n", type, std::strerror(errno));
            return;
        }
    }
}

void connect_request() {
    for (int id = kFirstId; id <= kLastId; ++id) {
        if (!g.used[id]) {
            g.used[id] = true;
            reply(kConnectReplyType, 2, std::to_string(id));
            return;
        }
    }
    reply(kConnectReplyType, -3, "");
}

// "query res NAME": the value and a line end at status 0, then the closing
// status 1; an unknown name gets the closing reply only.
void query(int id, std::string_view name) {
    auto it = g.resources.find(name);
    if (it != g.resources.end()) reply(id, 0, it->second.substr(0, kTextBytes - 3) + "\n");
    reply(id, 1, "");
}

// "set res NAME VALUE": the value is everything after the name and one
// blank, possibly empty.
void set_value(int id, std::string_view rest) {
    std::size_t blank = rest.find(' ');
    std::string_view name = rest.substr(0, blank);
    std::string_view value = blank == std::string_view::npos ? "" : rest.substr(blank + 1);
    if (!name.empty()) g.resources[std::string(name)] = std::string(value);
    reply(id, 1, "");
}

void request(int id, std::string_view text) {
    constexpr std::string_view kQuery = "query res ";
    constexpr std::string_view kSet = "set res ";
    // A reply type must name a connection: 1 and 2 are taken, below is invalid.
    if (id < kFirstId || id > kLastId) return;
    if (!g.used[id]) {
        reply(id, -3, "");
        return;
    }
    if (text.starts_with(kQuery)) {
        query(id, text.substr(kQuery.size()));
    } else if (text.starts_with(kSet)) {
        set_value(id, text.substr(kSet.size()));
    } else if (text == "quit") {
        reply(id, 1, "");
        g.used[id] = false;
    } else {
        reply(id, 1, "");
    }
}

// False when the queue failed under us (removed by someone else).
bool serve() {
    while (!g_stop) {
        mqueuebuf m{};
        // A longer message is cut rather than left to block the queue.
        ssize_t got = msgrcv(g.qid, &m, kTextBytes, kRequestType, MSG_NOERROR);
        if (got < 0) {
            if (errno == EINTR) continue;
            MESS_print(M_ERROR, "vyrloop: window %d: receive failed: %s\n", g.window,
                       std::strerror(errno));
            return false;
        }
        if (got < 1) continue;
        std::size_t len = strnlen(m.mtext + 1, static_cast<std::size_t>(got) - 1);
        std::string_view text(m.mtext + 1, len);
        int id = static_cast<unsigned char>(m.mtext[0]) - '0';
        MESS_print(M_MESS, "vyrloop: %d: %.*s\n", id, static_cast<int>(text.size()), text.data());
        if (id == -1)
            connect_request();
        else
            request(id, text);
    }
    return true;
}

int run(int argc, char **argv) {
    // A person watches the requests as they come, also through a pipe.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (!parse_args(argc, argv)) {
        usage();
        return kUsageStatus;
    }
    // Handlers first: a stop signal that comes once the queue exists must
    // never leave it behind.
    install_signals();
    int qid = msgget(static_cast<key_t>(g.window), IPC_CREAT | IPC_EXCL | 0600);
    if (qid < 0) {
        if (errno == EEXIST)
            MESS_print(M_ERROR, "vyrloop: window %d: a message queue exists already\n", g.window);
        else
            MESS_print(M_ERROR, "vyrloop: window %d: cannot create the message queue: %s\n",
                       g.window, std::strerror(errno));
        return 1;
    }
    g.qid = qid;
    std::atexit(remove_queue);
    MESS_print(M_MESS, "vyrloop: window %d ready, queue %d\n", g.window, qid);
    bool ok = serve();
    remove_queue();
    MESS_print(M_MESS, "vyrloop: window %d closed\n", g.window);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
    // An exception must not end the process past the queue's removal.
    try {
        return run(argc, argv);
    } catch (const std::exception &e) {
        MESS_print(M_ERROR, "vyrloop: %s\n", e.what());
        return 1;
    }
}
