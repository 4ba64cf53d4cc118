// The display process as a child, talked to through the queue client. Its
// window number comes from the test's pid; teardown kills it and removes
// the queue, so nothing is left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "test_util.h"
#include "vyr.h"

namespace {

const char kVyrloop[] = VYR_BINARY_DIR "/vyrloop";

void remove_queue(int key) {
    if (int id = msgget(key, 0); id >= 0) msgctl(id, IPC_RMID, nullptr);
}

std::string uid_text() { return std::to_string(static_cast<unsigned>(getuid())); }

class VyrloopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = 0x5600000 + getpid() % 0x100000;
        remove_queue(window_);  // left over from an earlier crashed run
        log_ = scratch_.write("log", "");
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        remove_queue(window_);
    }

    // Runs vyrloop with its output in the log; returns the child's pid.
    pid_t spawn(std::vector<std::string> args) {
        args.insert(args.begin(), "vyrloop");
        std::vector<char *> argv;
        for (auto &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            int fd = open(log_.c_str(), O_WRONLY | O_APPEND);
            if (fd < 0) _exit(126);
            dup2(fd, STDOUT_FILENO);
            dup2(fd, STDERR_FILENO);
            execv(kVyrloop, argv.data());
            _exit(127);
        }
        return pid;
    }

    // Exit status of a child, -1 when it did not exit normally.
    static int status_of(pid_t pid) {
        int st = 0;
        if (waitpid(pid, &st, 0) != pid) return -1;
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }

    // Waits, within bounds, for a stopped window to end; the signal is sent
    // again now and then, as a person would, should it land just before the
    // window's blocking receive. -1 when it does not end normally.
    static int stopped_status(pid_t pid, int sig) {
        int st = 0;
        for (int i = 0; i < 2000; ++i) {
            if (i % 200 == 0) kill(pid, sig);
            if (waitpid(pid, &st, WNOHANG) == pid) return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
            usleep(5000);
        }
        return -1;
    }

    // Starts the window and opens its queue once it exists.
    void launch(std::vector<std::string> opts, const std::vector<std::string> &seeds) {
        opts.push_back(std::to_string(window_));
        opts.insert(opts.end(), seeds.begin(), seeds.end());
        pid_ = spawn(opts);
        ASSERT_GT(pid_, 0);
        for (int i = 0; i < 2000 && (q_ = MQ_open(window_)) < 0; ++i) {
            ASSERT_EQ(waitpid(pid_, nullptr, WNOHANG), 0) << "vyrloop ended: " << log();
            usleep(5000);
        }
        ASSERT_GE(q_, 0) << "no queue for window " << window_;
    }

    // Sends one request and reads exactly the replies expected.
    void exchange(int id, const char *request,
                  const std::vector<std::pair<int, std::string>> &want) {
        SCOPED_TRACE(request);
        ASSERT_EQ(MQ_put(q_, id, "%s", request), 0);
        for (const auto &[status, text] : want) {
            char item[120];
            EXPECT_EQ(MQ_get(q_, id, item), status);
            EXPECT_EQ(std::string(item), text);
        }
    }

    std::string log() const { return vyr::test::read_file(log_); }

    int window_ = 0;
    pid_t pid_ = -1;
    int q_ = -1;
    vyr::test::ScratchDir scratch_{"vyrloop_test_"};
    std::string log_;
};

TEST_F(VyrloopTest, answers_queries_stores_settings_and_frees_on_quit) {
    launch({}, {"colour=red", "title=Hourly rain"});
    int id = MQ_connect(q_);
    ASSERT_EQ(id, 3);
    const struct {
        const char *request;
        std::vector<std::pair<int, std::string>> replies;
    } rows[] = {
        {"query res colour", {{0, "red\n"}, {1, ""}}},
        {"query res title", {{0, "Hourly rain\n"}, {1, ""}}},
        {"query res size", {{1, ""}}},
        {"set res size 12  pt", {{1, ""}}},
        {"query res size", {{0, "12  pt\n"}, {1, ""}}},
        {"set res size", {{1, ""}}},
        {"query res size", {{0, "\n"}, {1, ""}}},
        {"query res Colour", {{1, ""}}},
        {"hello", {{1, ""}}},
        {"quit", {{1, ""}}},
    };
    for (const auto &r : rows) exchange(id, r.request, r.replies);
    EXPECT_EQ(MQ_connect(q_), 3);  // the slot was freed by quit
    std::string out = log();
    EXPECT_NE(out.find("vyrloop: -1: " + uid_text() + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("vyrloop: 3: set res size 12  pt\n"), std::string::npos) << out;
}

TEST_F(VyrloopTest, refuses_connections_when_every_slot_is_taken) {
    launch({"-q"}, {});
    for (int want = 3; want <= 21; ++want) ASSERT_EQ(MQ_connect(q_), want);
    ASSERT_EQ(MQ_put(q_, -1, "%s", uid_text().c_str()), 0);
    char item[120];
    EXPECT_EQ(MQ_get(q_, 2, item), -3);
    EXPECT_EQ(MQ_connect(q_), -1);
    exchange(5, "quit", {{1, ""}});
    exchange(5, "query res x", {{-3, ""}});  // no longer connected
    EXPECT_EQ(MQ_connect(q_), 5);
    EXPECT_EQ(log().find("vyrloop: "), std::string::npos) << "-q still shows requests";
}

TEST_F(VyrloopTest, second_process_on_same_window_fails_and_first_serves_on) {
    launch({}, {"colour=red"});
    pid_t second = spawn({std::to_string(window_)});
    ASSERT_GT(second, 0);
    EXPECT_NE(status_of(second), 0);
    EXPECT_NE(log().find("exists already"), std::string::npos) << log();
    EXPECT_EQ(MQ_open(window_), q_);
    int id = MQ_connect(q_);
    ASSERT_EQ(id, 3);
    exchange(id, "query res colour", {{0, "red\n"}, {1, ""}});
}

TEST_F(VyrloopTest, stop_signals_remove_the_queue) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        launch({}, {});
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_EQ(MQ_connect(q_), 3);
        ASSERT_EQ(stopped_status(pid_, sig), 0);
        pid_ = -1;
        errno = 0;
        EXPECT_LT(msgget(window_, 0), 0);
        EXPECT_EQ(errno, ENOENT);
    }
}

TEST_F(VyrloopTest, misuse_ends_with_status_2_and_no_queue) {
    const std::vector<std::vector<std::string>> rows = {
        {}, {"abc"}, {"0"}, {"5x"}, {"-me"}, {std::to_string(window_), "novalue"}};
    for (const auto &args : rows) {
        SCOPED_TRACE(args.empty() ? "(none)" : args.back());
        EXPECT_EQ(status_of(spawn(args)), 2);
    }
    EXPECT_NE(log().find("usage: vyrloop"), std::string::npos);
    EXPECT_LT(msgget(window_, 0), 0);
}

}  // namespace
