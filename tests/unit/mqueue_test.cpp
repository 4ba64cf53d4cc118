// Queue client tests on private System V queues, removed in teardown.
#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "vyr.h"
#include "vyr_int.h"

namespace {

// A queue that is removed whatever happens to the test.
struct Queue {
    int id;
    explicit Queue(int i) : id(i) {}
    ~Queue() {
        if (id >= 0) msgctl(id, IPC_RMID, nullptr);
    }
};

struct Raw {
    long mtype;
    char mtext[256];
};

// Sends bytes as they are: no padding, no terminator added.
void post(int q, long type, const std::string &bytes) {
    Raw m{};
    m.mtype = type;
    std::memcpy(m.mtext, bytes.data(), bytes.size());
    ASSERT_EQ(msgsnd(q, &m, bytes.size(), IPC_NOWAIT), 0) << std::strerror(errno);
}

// A reply as the display process sends it: status, text, zeros to 120 bytes.
std::string reply(char status, const std::string &text) {
    std::string r(1, status);
    r += text;
    r.resize(120, '\0');
    return r;
}

bool waiting(int q, long type) {
    Raw m{};
    return msgrcv(q, &m, sizeof m.mtext, type, IPC_NOWAIT) >= 0;
}

std::vector<float> g_sleeps;
std::function<void()> g_on_sleep;  // run at the first pause only

int record_sleep(float secs) {
    g_sleeps.push_back(secs);
    if (g_on_sleep) std::exchange(g_on_sleep, nullptr)();
    return 0;
}

// A message stream that hands every finished line to a callback.
struct Lines {
    std::string all, line;
    std::function<void(const std::string &)> on_line;
};

ssize_t lines_write(void *cookie, const char *buf, size_t n) {
    auto *l = static_cast<Lines *>(cookie);
    for (size_t i = 0; i < n; ++i) {
        l->all += buf[i];
        l->line += buf[i];
        if (buf[i] == '\n') {
            if (l->on_line) l->on_line(l->line);
            l->line.clear();
        }
    }
    return static_cast<ssize_t>(n);
}

class MqueueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        q_.id = msgget(IPC_PRIVATE, IPC_CREAT | 0600);
        ASSERT_GE(q_.id, 0) << std::strerror(errno);
        g_sleeps.clear();
        g_on_sleep = nullptr;
        vyr::set_queue_sleep(record_sleep);
    }
    void TearDown() override {
        vyr::set_queue_sleep(nullptr);
        vyr::set_queue_timeout(20);
        vyr::set_message_streams(nullptr, nullptr);
        vyr::reset_messages();
        if (trace_) std::fclose(trace_);
        alarm(0);
    }
    // Debug traces of the queue go to lines_.
    void capture_traces() {
        trace_ = fopencookie(&lines_, "w", {nullptr, lines_write, nullptr, nullptr});
        ASSERT_NE(trace_, nullptr);
        std::setvbuf(trace_, nullptr, _IONBF, 0);
        vyr::set_message_streams(trace_, trace_);
        MESS_set(1, M_DEBUG_RES);
    }
    int q() const { return q_.id; }

    Queue q_{-1};
    Lines lines_;
    FILE *trace_ = nullptr;
};

TEST_F(MqueueTest, put_writes_id_character_and_text_within_120_bytes) {
    const std::string x118(118, 'x');
    struct Row {
        int conn_id;
        std::string text;
        char id_char;
        std::string arrives;
    } rows[] = {
        {-1, "1000", '/', "1000"},  {3, "query res colour", '3', "query res colour"},
        {21, "quit", 'E', "quit"},  {3, x118, '3', x118},
        {3, x118 + "y", '3', x118}, {3, std::string(400, 'z'), '3', std::string(118, 'z')},
        {3, "50%d", '3', "50%d"},  // data is never a format
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.text.substr(0, 20));
        ASSERT_EQ(MQ_put(q(), r.conn_id, "%s", r.text.c_str()), 0);
        Raw m{};
        ASSERT_EQ(msgrcv(q(), &m, sizeof m.mtext, 0, IPC_NOWAIT), 120);
        EXPECT_EQ(m.mtype, 1);
        EXPECT_EQ(m.mtext[0], r.id_char);
        EXPECT_EQ(std::string(m.mtext + 1), r.arrives);
    }
}

TEST_F(MqueueTest, get_returns_status_and_text_never_written_past_120_bytes) {
    struct Row {
        const char *what;
        std::string sent;
        int status;
        std::string item;
    } rows[] = {
        {"value", reply('0', "red\n"), 0, "red\n"},
        {"closing", reply('1', ""), 1, ""},
        {"connection", reply('2', "5"), 2, "5"},
        {"refusal", reply('-', ""), -3, ""},
        {"no terminator", "0" + std::string(119, 'A'), 0, std::string(119, 'A')},
        {"too long", "0" + std::string(199, 'B'), 0, std::string(119, 'B')},
        {"short", "1ab", 1, "ab"},
        {"empty", "", -1, ""},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        post(q(), 3, r.sent);
        char item[130];
        std::memset(item, '#', sizeof item);
        EXPECT_EQ(MQ_get(q(), 3, item), r.status);
        EXPECT_EQ(std::string(item), r.item);
        EXPECT_EQ(std::string(item + 120, 10), std::string(10, '#'));
    }
}

TEST_F(MqueueTest, get_and_clear_take_only_their_own_type) {
    post(q(), 4, reply('0', "four"));
    post(q(), 3, reply('0', "three"));
    char item[120];
    EXPECT_EQ(MQ_get(q(), 3, item), 0);
    EXPECT_STREQ(item, "three");

    for (int i = 0; i < 3; ++i) post(q(), 2, reply('2', "7"));
    post(q(), 2, std::string(200, 'L'));  // too long for a plain receive
    EXPECT_EQ(MQ_clear(q(), 2), -1);
    EXPECT_FALSE(waiting(q(), 2));

    // Type 0 and below would take requests and other tools' replies.
    post(q(), 1, "3quit");
    EXPECT_EQ(MQ_get(q(), 0, item), -1);
    EXPECT_EQ(MQ_get(q(), -1, item), -1);
    MQ_clear(q(), 0);
    EXPECT_TRUE(waiting(q(), 1));
    EXPECT_TRUE(waiting(q(), 4));
}

TEST_F(MqueueTest, receive_error_ends_wait_at_once_with_empty_text) {
    Queue gone(msgget(IPC_PRIVATE, IPC_CREAT | 0600));
    ASSERT_GE(gone.id, 0);
    ASSERT_EQ(msgctl(gone.id, IPC_RMID, nullptr), 0);
    char item[120] = "stale";
    EXPECT_EQ(MQ_get(gone.id, 3, item), -1);
    EXPECT_STREQ(item, "");
    EXPECT_TRUE(g_sleeps.empty());
    gone.id = -1;
}

// The pauses after each attempt when the reply comes at attempt `at`.
TEST_F(MqueueTest, retries_pause_only_from_the_third_attempt) {
    capture_traces();
    struct Row {
        int at;
        int short_pauses, long_pauses;
    } rows[] = {{1, 0, 0}, {2, 0, 0}, {3, 1, 0}, {4, 2, 0}, {200, 198, 0}, {202, 198, 2}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.at);
        g_sleeps.clear();
        // The reply is posted while attempt at-1 is traced (its count is at-2).
        lines_.on_line = [&](const std::string &l) {
            int type, got, err, count;
            if (std::sscanf(l.c_str(), "GET-MSG:%d %d %d %d", &type, &got, &err, &count) == 4 &&
                count == r.at - 2)
                post(q(), 3, reply('0', "v"));
        };
        if (r.at == 1) post(q(), 3, reply('0', "v"));
        char item[120];
        ASSERT_EQ(MQ_get(q(), 3, item), 0);
        EXPECT_EQ(std::count(g_sleeps.begin(), g_sleeps.end(), 0.1f), r.short_pauses);
        EXPECT_EQ(std::count(g_sleeps.begin(), g_sleeps.end(), 1.0f), r.long_pauses);
        EXPECT_EQ(g_sleeps.size(), static_cast<size_t>(r.short_pauses + r.long_pauses));
    }
    lines_.on_line = nullptr;
}

TEST_F(MqueueTest, traces_show_put_each_attempt_and_reply) {
    capture_traces();
    lines_.on_line = [&](const std::string &l) {
        if (l.rfind("GET-MSG:3 -1", 0) == 0) post(q(), 3, reply('0', "red\n"));
    };
    MQ_put(q(), 3, "query res %s", "colour");
    char item[120];
    MQ_get(q(), 3, item);
    char expected[200];
    std::snprintf(expected, sizeof expected,
                  "PUT:3:3query res colour\nGET-MSG:3 -1 %d 0\nGET-MSG:3 120 0 1\nGET:0red\n\n",
                  ENOMSG);
    EXPECT_EQ(lines_.all, expected);
}

TEST_F(MqueueTest, wait_arms_the_alarm_and_leaves_it_cancelled) {
    post(q(), 3, reply('1', ""));
    char item[120];
    MQ_get(q(), 3, item);
    EXPECT_EQ(alarm(0), 0u);  // a forgotten alarm would end the tool later
    MQ_enable_alarm();
    struct sigaction sa {};
    sigaction(SIGALRM, nullptr, &sa);
    EXPECT_EQ(sa.sa_handler, MQ_intrp);
    unsigned left = alarm(0);
    EXPECT_TRUE(left > 0 && left <= 20) << left;
    MQ_enable_alarm();
    MQ_disable_alarm();
    EXPECT_EQ(alarm(0), 0u);
}

// The server's part, played at the first pause of the connection wait.
struct Answer {
    char status;
    const char *text;
    int id;
};

TEST_F(MqueueTest, connect_drops_stale_replies_and_reads_the_id) {
    const Answer rows[] = {{'2', "3", 3},  {'2', "21", 21}, {'-', "", -1},
                           {'2', "1", -1}, {'2', "x", -1},  {'1', "5", -1}};
    for (const auto &r : rows) {
        SCOPED_TRACE(std::string(1, r.status) + r.text);
        post(q(), 2, reply('2', "9"));  // left by an aborted connection
        if (r.id > 0) post(q(), r.id, reply('0', "stale"));
        std::string request;
        g_on_sleep = [&] {
            Raw m{};
            if (msgrcv(q(), &m, sizeof m.mtext, 1, IPC_NOWAIT) == 120) request = m.mtext;
            post(q(), 2, reply(r.status, r.text));
        };
        EXPECT_EQ(MQ_connect(q()), r.id);
        char want[32];
        std::snprintf(want, sizeof want, "/%u", static_cast<unsigned>(getuid()));
        EXPECT_EQ(request, want);
        if (r.id > 0) {
            EXPECT_FALSE(waiting(q(), r.id));
        }
    }
}

TEST(MqueueOpen, finds_existing_queue_and_reports_missing_with_enoent) {
    const int key = 0x5700000 + getpid() % 0x100000;
    if (int old = msgget(key, 0); old >= 0) msgctl(old, IPC_RMID, nullptr);
    Queue made(msgget(key, IPC_CREAT | IPC_EXCL | 0600));
    ASSERT_GE(made.id, 0) << std::strerror(errno);
    EXPECT_EQ(MQ_open(key), made.id);
    ASSERT_EQ(msgctl(made.id, IPC_RMID, nullptr), 0);
    made.id = -1;
    for (int num : {key, 0}) {
        errno = 0;
        EXPECT_EQ(MQ_open(num), -1) << num;
        EXPECT_EQ(errno, ENOENT) << num;
    }
    EXPECT_LT(msgget(key, 0), 0);
}

TEST_F(MqueueTest, silent_display_process_ends_tool_with_status_7) {
    vyr::set_queue_timeout(1);
    vyr::set_queue_sleep(nullptr);
    char item[120];
    EXPECT_EXIT(MQ_get(q(), 3, item), ::testing::ExitedWithCode(7), "^Queue not responding!!\n$");
    // Warnings off: the same end without a word.
    MESS_set(0, M_ERROR);
    EXPECT_EXIT(MQ_get(q(), 3, item), ::testing::ExitedWithCode(7), "^$");
}

TEST_F(MqueueTest, send_blocked_on_full_queue_ends_tool_with_status_7) {
    msqid_ds ds{};
    ASSERT_EQ(msgctl(q(), IPC_STAT, &ds), 0);
    ds.msg_qbytes = 120;
    ASSERT_EQ(msgctl(q(), IPC_SET, &ds), 0);
    post(q(), 5, reply('0', "fills the queue"));
    vyr::set_queue_timeout(1);
    EXPECT_EXIT(MQ_put(q(), 3, "quit"), ::testing::ExitedWithCode(7), "Queue not responding!!");
}

}  // namespace
