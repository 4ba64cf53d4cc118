// mqueue.cpp - the client side of a display window's message queue.
//
// A display process keeps one System V queue per window. Requests travel as
// type 1 and carry the sender's connection id in their first byte; replies
// travel as the connection id (2 for the answer to a connection request) and
// carry a status in their first byte. Exactly 120 bytes of text are sent
// and received. Every wait is bounded by the process alarm, whose handler
// ends the tool rather than let a silent display process hang it.
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base_int.h"
#include "vyrbase.h"

namespace {

using handler_fn = void (*)(int);

constexpr std::size_t kTextBytes = 120;  // bytes of mtext that travel
constexpr long kRequestType = 1;
constexpr int kConnectReplyType = 2;
constexpr int kFirstConnId = 3;
// The id travels as one character, '0' plus the id.
constexpr int kLastConnId = UCHAR_MAX - '0';

struct State {
    int msgqid = 0;                   // queue last opened
    int offset = 0;                   // added to the window number to form the key
    int timeout = 20;                 // seconds of every bounded wait
    handler_fn to_func = nullptr;     // replacement alarm handler; null: MQ_intrp
    mqueuebuf msgb{};                 // scratch message for draining
    vyr::sleep_fn sleeper = nullptr;  // null: VYR_sleep
};
State g;

void install_alarm_handler(handler_fn fn) {
    struct sigaction sa {};
    sa.sa_handler = fn;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGALRM, &sa, nullptr);
}

int pause_for(float secs) { return g.sleeper ? g.sleeper(secs) : VYR_sleep(secs); }

// The pause after receive attempt number `attempts` (counted from 1): the
// first two retries follow at once, then ten a second, then one a second.
float pause_after(int attempts) {
    if (attempts > 200) return 1.0f;
    if (attempts > 2) return 0.1f;
    return 0.0f;
}

// The received text from byte `from` on, cut at its terminator or at the
// end of the bytes received, whichever comes first.
int text_length(const mqueuebuf &m, ssize_t received, std::size_t from) {
    if (received <= static_cast<ssize_t>(from)) return 0;
    std::size_t end = static_cast<std::size_t>(received);
    const void *nul = std::memchr(m.mtext + from, '\0', end - from);
    if (nul != nullptr) end = static_cast<std::size_t>(static_cast<const char *>(nul) - m.mtext);
    return static_cast<int>(end - from);
}

// The connection id of a status-2 reply: a decimal number naming a reply
// type of its own. Ids 1 and 2 are the request and connection-reply types;
// 0 and below would make every later receive take other people's messages.
int parse_conn_id(const char *text) {
    std::string_view s = text;
    while (!s.empty() && vyr::is_space(s.front())) s.remove_prefix(1);
    int64_t id = 0;
    const std::size_t n = vyr::read_integer(s, id, kFirstConnId, kLastConnId);
    if (n == 0) return -1;
    for (char c : s.substr(n))
        if (c != ' ' && c != '\n') return -1;
    return static_cast<int>(id);
}

}  // namespace

namespace vyr {

void set_queue_sleep(sleep_fn fn) { g.sleeper = fn; }

void set_queue_timeout(int secs) { g.timeout = secs; }

int queue_timeout() { return g.timeout; }

}  // namespace vyr

void MQ_intrp(int /*sig*/) {
    // Only async-signal-safe calls here: the wait it interrupts may be inside
    // stdio or the allocator.
    static constexpr char kMessage[] = "Queue not responding!!\n";
    if (MESS_check(M_WARN)) {
        ssize_t n = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
        (void)n;
    }
    _exit(VYR_QUEUE_TIMEOUT);
}

int MQ_enable_alarm() {
    install_alarm_handler(g.to_func ? g.to_func : MQ_intrp);
    alarm(static_cast<unsigned>(g.timeout > 0 ? g.timeout : 0));
    return 0;
}

int MQ_disable_alarm() {
    alarm(0);
    return 0;
}

int MQ_open(int num) {
    install_alarm_handler(MQ_intrp);
    long long key = static_cast<long long>(g.offset) + num;
    if (key < INT_MIN || key > INT_MAX) {
        errno = EINVAL;
        return -1;
    }
    // Key 0 is IPC_PRIVATE: a lookup would create a fresh queue nobody serves.
    if (key == IPC_PRIVATE) {
        errno = ENOENT;
        return -1;
    }
    int id = msgget(static_cast<key_t>(key), 0);
    if (id < 0) return -1;
    g.msgqid = id;
    return id;
}

int MQ_clear(int msgqid, int index) {
    // Types 0 and below select requests and other tools' replies as well.
    if (index <= 0) return -1;
    while (msgrcv(msgqid, &g.msgb, kTextBytes, index, IPC_NOWAIT | MSG_NOERROR) >= 0) {
    }
    return -1;
}

int MQ_put(int msgqid, int conn_id, const char *format, ...) {
    if (format == nullptr) return -1;
    mqueuebuf m{};
    m.mtype = kRequestType;
    m.mtext[0] = static_cast<char>('0' + conn_id);
    // The text and its terminator must fit the bytes that travel.
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(m.mtext + 1, kTextBytes - 1, format, ap);
    va_end(ap);
    MESS_print(M_DEBUG_RES, "PUT:%d:%s\n", conn_id, m.mtext);
    MQ_enable_alarm();
    int rc = msgsnd(msgqid, &m, kTextBytes, 0);
    MQ_disable_alarm();
    return rc < 0 ? -1 : 0;
}

int MQ_get(int msgqid, int conn_id, char *item) {
    if (item != nullptr) item[0] = '\0';
    if (conn_id <= 0) return -1;
    mqueuebuf m{};
    ssize_t received = -1;
    int err = 0;
    int attempts = 0;
    bool miss = false;
    MQ_enable_alarm();
    do {
        std::memset(m.mtext, 0, sizeof m.mtext);
        // A longer message is cut to the bytes that travel rather than left
        // to block the queue.
        received = msgrcv(msgqid, &m, kTextBytes, conn_id, IPC_NOWAIT | MSG_NOERROR);
        err = received < 0 ? errno : 0;
        MESS_print(M_DEBUG_RES, "GET-MSG:%d %d %d %d\n", conn_id, static_cast<int>(received), err,
                   attempts);
        miss = received < 0 && err == ENOMSG;
        float secs = pause_after(++attempts);
        if (secs > 0) pause_for(secs);
    } while (miss);
    MQ_disable_alarm();
    int len = text_length(m, received, 0);
    MESS_print(M_DEBUG_RES, "GET:%.*s\n", len, m.mtext);
    // An empty message has no status character: it counts as an error.
    if (received < 1) return -1;
    if (item != nullptr) {
        int n = text_length(m, received, 1);
        std::memcpy(item, m.mtext + 1, static_cast<std::size_t>(n));
        item[n] = '\0';
    }
    return static_cast<unsigned char>(m.mtext[0]) - '0';
}

int MQ_connect(int msgqid) {
    uid_t uid = getuid();
    MQ_clear(msgqid, kConnectReplyType);
    if (MQ_put(msgqid, -1, "%u", static_cast<unsigned>(uid)) != 0) return -1;
    MQ_enable_alarm();
    char reply[kTextBytes];
    int id = -1;
    if (MQ_get(msgqid, kConnectReplyType, reply) == 2) {
        id = parse_conn_id(reply);
        if (id > 0) MQ_clear(msgqid, id);
    }
    MQ_disable_alarm();
    return id;
}
