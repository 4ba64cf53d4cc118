// Resource start-up talking to display windows: the least display process
// as a child, or a window whose answers the test scripts. Window numbers
// come from the test's pid; teardown kills every child and removes the
// queues, so nothing is left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "resrc_helpers.h"
#include "shef2raw_keys.h"
#include "test_util.h"
#include "vyr.h"
#include "vyr_int.h"
#include "vyrresrc.h"

namespace fs = std::filesystem;

namespace {

const char kVyrloop[] = VYR_BINARY_DIR "/vyrloop";

// The converter's rows in table order: what every window is asked.
const char *const kRowNames[] = {
    "help",       "batch",     "message",    "file_path",  "data_path", "con_path",
    "grid_path",  "raw_path",  "image_path", "watch_path", "text_path", "model_path",
    "sat_path",   "city_file", "stat_prior", "name_conv",  "in_file",   "out_file",
    "file_param", "current",   "hour",       "num_hour",   "parameter", "filename",
};

struct Reply {
    int status;
    std::string text;
};

void remove_queue(int key) {
    if (int id = msgget(key, 0); id >= 0) msgctl(id, IPC_RMID, nullptr);
}

void send_reply(int q, long type, int status, const std::string &text) {
    mqueuebuf m{};
    m.mtype = type;
    m.mtext[0] = static_cast<char>('0' + status);
    std::strncpy(m.mtext + 1, text.c_str(), 118);
    msgsnd(q, &m, 120, 0);
}

using vyr::test::read_file;

// Receive retries a thousand times a second: the exchanges stay quick.
int short_pause(float) { return usleep(1000); }

std::string uid_text() { return std::to_string(static_cast<unsigned>(getuid())); }

// "-1: <uid>", then "3: query res NAME" for every row: the opening of every
// exchange with a window that hands out id 3.
std::vector<std::string> opening() {
    std::vector<std::string> v{"-1: " + uid_text()};
    for (const char *name : kRowNames) v.push_back(std::string("3: query res ") + name);
    return v;
}

class window_startup : public ::testing::Test {
  protected:
    void SetUp() override {
        // Two windows of our own, in a range no other test uses.
        win[0] = 0x5700000 + 2 * (getpid() % 0x80000);
        win[1] = win[0] + 1;
        for (int w : win) remove_queue(w);  // left over from a crashed run
        vyr::set_queue_sleep(short_pause);
        old_cwd = fs::current_path();
        fs::current_path(dir);
        setenv("HOME", dir.c_str(), 1);
        reset_startup();
    }
    void TearDown() override {
        for (pid_t p : children) {
            kill(p, SIGKILL);
            waitpid(p, nullptr, 0);
        }
        for (int w : win) remove_queue(w);
        vyr::set_queue_sleep(nullptr);
        reset_startup();
        fs::current_path(old_cwd);
    }

    std::string log_of(int k) const { return dir + "/window" + std::to_string(k) + ".log"; }

    // The least display process on window k, seeded with name=value texts;
    // returns once its queue exists.
    void start_loop(int k, const std::vector<std::string> &seeds) {
        std::vector<std::string> args{"vyrloop", std::to_string(win[k])};
        args.insert(args.end(), seeds.begin(), seeds.end());
        std::vector<char *> argv;
        for (auto &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::string log = log_of(k);
        pid_t pid = fork();
        if (pid == 0) {
            int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            if (fd < 0) _exit(126);
            dup2(fd, STDOUT_FILENO);
            dup2(fd, STDERR_FILENO);
            execv(kVyrloop, argv.data());
            _exit(127);
        }
        ASSERT_GT(pid, 0);
        children.push_back(pid);
        for (int i = 0; i < 2000 && msgget(win[k], 0) < 0; ++i) {
            ASSERT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << read_file(log);
            usleep(5000);
        }
        ASSERT_GE(msgget(win[k], 0), 0) << "no queue for window " << win[k];
    }

    // A window played by a child: it hands out id 3, answers a query from
    // the script (an unlisted name gets the closing reply only), closes
    // every other request with status 1, and logs what it receives the way
    // the display process does.
    void start_scripted(int k, const std::map<std::string, std::vector<Reply>> &script) {
        int q = msgget(win[k], IPC_CREAT | IPC_EXCL | 0600);
        ASSERT_GE(q, 0);
        std::string log = log_of(k);
        pid_t pid = fork();
        if (pid == 0) {
            FILE *out = std::fopen(log.c_str(), "w");
            if (out == nullptr) _exit(126);
            for (;;) {
                mqueuebuf m{};
                if (msgrcv(q, &m, 120, 1, MSG_NOERROR) < 1) _exit(1);
                int id = m.mtext[0] - '0';
                std::string text(m.mtext + 1);
                std::fprintf(out, "vyrloop: %d: %s\n", id, text.c_str());
                std::fflush(out);
                if (id == -1) {
                    send_reply(q, 2, 2, "3");
                    continue;
                }
                auto it = script.end();
                if (text.starts_with("query res ")) it = script.find(text.substr(10));
                if (it == script.end()) {
                    send_reply(q, id, 1, "");
                } else {
                    for (const Reply &r : it->second) send_reply(q, id, r.status, r.text);
                }
                if (text == "quit") _exit(0);
            }
        }
        ASSERT_GT(pid, 0);
        children.push_back(pid);
    }

    // The requests a window received, as "<id>: <text>".
    std::vector<std::string> requests(int k) const {
        std::vector<std::string> v;
        std::istringstream in(read_file(log_of(k)));
        for (std::string line; std::getline(in, line);)
            if (line.starts_with("vyrloop: ") && !line.starts_with("vyrloop: window"))
                v.push_back(line.substr(9));
        return v;
    }

    // RES_init with the converter's lists; argv stays alive for the saved
    // command line.
    void run(const std::string &path, const std::vector<std::string> &args) {
        setenv("vyrdefault", path.c_str(), 1);
        storage.assign(1, "shef2raw");
        storage.insert(storage.end(), args.begin(), args.end());
        argv.clear();
        for (auto &s : storage) argv.push_back(s.data());
        argv.push_back(nullptr);
        RES_init(static_cast<int>(storage.size()), argv.data(), shef2raw_res_key, shef2raw_res_pos);
    }

    std::string get(const char *name) {
        const char *v = RES_get(name);
        return v ? v : "(null)";
    }

    int win[2] = {0, 0};
    std::vector<pid_t> children;
    vyr::test::ScratchDir scratch{"vyrwin"};
    const std::string dir = scratch.path();
    fs::path old_cwd;
    std::vector<std::string> storage;
    std::vector<char *> argv;
};

TEST_F(window_startup, requests_in_order_and_values_by_precedence) {
    start_loop(
        0, {"file_path=/win", "num_hour=6", "parameter=win", "city_file=win", "stat_prior=5%d"});
    ASSERT_FALSE(HasFatalFailure());
    std::string before = scratch.write("before", "*.data_path /defs%s\n*.num_hour 1\n");
    std::string after = scratch.write("after", "*.city_file after\n");
    setenv("vyrparam", "env", 1);
    vyr::test::CapturedMessages cap;
    run(before + ":#" + std::to_string(win[0]) + ":" + after,
        {"-fp", "/cl", "-xyz", "3", "-of=%s%n", "-cu"});

    std::vector<std::string> want = opening();
    for (const char *r :
         {"3: set res data_path /defs%s",  // known to an earlier file only
          "3: set res file_path /cl", "3: set res out_file %s%n", "3: set res current ", "3: quit"})
        want.push_back(r);
    EXPECT_EQ(requests(0), want);  // the free option -xyz sends nothing
    msqid_ds st{};
    ASSERT_EQ(msgctl(msgget(win[0], 0), IPC_STAT, &st), 0);
    EXPECT_EQ(st.msg_qnum, 0u);  // every reply was read

    const struct {
        const char *name, *value;
    } rows[] = {
        {"num_hour", "6"},         // the window over an earlier file
        {"stat_prior", "5%d"},     // taken as answered
        {"city_file", "after"},    // a later file over the window
        {"parameter", "env"},      // the environment over the window
        {"file_path", "/cl"},      // the command line over the window
        {"data_path", "/defs%s"},  // the window did not know it
        {"xyz", "3"},
    };
    for (const auto &r : rows) EXPECT_EQ(get(r.name), r.value) << r.name;
    EXPECT_EQ(cap.err(), "");
}

TEST_F(window_startup, several_windows_the_last_connected_one_takes_the_command_line) {
    start_loop(0, {"file_path=/one", "city_file=c1"});
    start_loop(1, {"file_path=/two"});
    ASSERT_FALSE(HasFatalFailure());
    run("#" + std::to_string(win[0]) + ":#" + std::to_string(win[1]), {"-nh", "3"});

    std::vector<std::string> first = opening();
    first.push_back("3: quit");
    EXPECT_EQ(requests(0), first);
    std::vector<std::string> last = opening();
    for (const char *r : {"3: set res city_file c1", "3: set res num_hour 3", "3: quit"})
        last.push_back(r);
    EXPECT_EQ(requests(1), last);
    EXPECT_EQ(get("file_path"), "/two");
    EXPECT_EQ(get("city_file"), "c1");
    EXPECT_EQ(get("num_hour"), "3");
}

TEST_F(window_startup, windows_that_cannot_be_reached_are_reported_and_skipped) {
    start_loop(0, {"file_path=/win"});
    ASSERT_FALSE(HasFatalFailure());
    // Every connection slot of window 0 taken: it refuses the next one.
    int q = MQ_open(win[0]);
    ASSERT_GE(q, 0);
    for (int id = 3; id <= 21; ++id) ASSERT_EQ(MQ_connect(q), id);
    std::string defs = scratch.write("defs", "*.file_path /defs\n");
    std::string w0 = std::to_string(win[0]), w1 = std::to_string(win[1]);
    vyr::test::CapturedMessages cap;
    run("#" + w1 + ":#99999999999:#" + w0 + ":" + defs, {"-nh", "3"});

    EXPECT_EQ(cap.err(), "VYRloop window: " + w1 +
                             " not running or no message queue exists\n"
                             "VYRloop window: 99999999999 unable to connect\n"
                             "VYRloop window: " +
                             w0 + " unable to connect\n");
    EXPECT_EQ(get("file_path"), "/defs");
    EXPECT_EQ(get("num_hour"), "3");
    // Nineteen connections of the test and the one refused; nothing else.
    std::vector<std::string> got = requests(0);
    EXPECT_EQ(got.size(), 20u);
    for (const std::string &r : got) EXPECT_EQ(r, "-1: " + uid_text());
}

TEST_F(window_startup, answer_forms) {
    const std::map<std::string, std::vector<Reply>> script = {
        {"file_path", {{0, "/a\n"}, {0, "/b\n"}, {1, ""}}},    // the last value wins
        {"stat_prior", {{0, "%s%n\n"}, {2, ""}}},              // any closing status
        {"parameter", {{0, "!no such resource\n"}, {1, ""}}},  // an error text
        {"num_hour", {{0, "\n"}, {1, ""}}},                    // a bare line end
        {"city_file", {{0, "x"}, {1, ""}}},                    // one character: empty
        {"hour", {{-3, ""}}},                                  // not connected
    };
    start_scripted(0, script);
    ASSERT_FALSE(HasFatalFailure());
    std::string defs = scratch.write("defs", "*.parameter p\n*.num_hour 9\n*.file_path /defs\n");
    vyr::test::CapturedMessages cap;
    run(defs + ":#" + std::to_string(win[0]), {});

    const struct {
        const char *name, *value;
    } rows[] = {{"file_path", "/b"}, {"stat_prior", "%s%n"}, {"parameter", "p"},
                {"num_hour", "9"},   {"city_file", ""},      {"hour", "(null)"}};
    for (const auto &r : rows) EXPECT_EQ(get(r.name), r.value) << r.name;
    std::vector<std::string> want = opening();
    for (const char *r : {"3: set res num_hour 9", "3: set res parameter p", "3: quit"})
        want.push_back(r);
    EXPECT_EQ(requests(0), want);
    EXPECT_EQ(cap.err(), "VYRloop not running!\n");
}

TEST_F(window_startup, silent_window_ends_the_run_with_status_7) {
    // Only the test itself is on this queue: it grants the connection and
    // then answers nothing.
    int q = msgget(win[0], IPC_CREAT | IPC_EXCL | 0600);
    ASSERT_GE(q, 0);
    std::string err = dir + "/err";
    std::string path = "#" + std::to_string(win[0]);
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) _exit(126);
        dup2(fd, STDERR_FILENO);
        vyr::set_queue_timeout(1);
        run(path, {});
        _exit(0);
    }
    ASSERT_GT(pid, 0);
    children.push_back(pid);

    mqueuebuf m{};
    bool asked = false;
    for (int i = 0; i < 2000 && !asked; ++i) {
        asked = msgrcv(q, &m, 120, 1, IPC_NOWAIT | MSG_NOERROR) > 0;
        if (!asked) usleep(1000);
    }
    ASSERT_TRUE(asked);
    EXPECT_EQ(std::string(m.mtext), "/" + uid_text());
    send_reply(q, 2, 2, "3");

    int st = 0;
    ASSERT_EQ(waitpid(pid, &st, 0), pid);
    children.clear();
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 7);
    EXPECT_EQ(read_file(err), "Queue not responding!!\n");
    // Every query went out before the wait for the first answer.
    int queries = 0;
    while (msgrcv(q, &m, 120, 1, IPC_NOWAIT | MSG_NOERROR) > 0) {
        EXPECT_TRUE(std::string(m.mtext).starts_with("3query res ")) << m.mtext;
        ++queries;
    }
    EXPECT_EQ(queries, static_cast<int>(std::size(kRowNames)));
}

}  // namespace
