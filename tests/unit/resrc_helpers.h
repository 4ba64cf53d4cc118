// Shared by the resource tests: capturing what the message routine and the
// direct writes to standard output print.
#ifndef RESRC_HELPERS_H
#define RESRC_HELPERS_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "vyr.h"
#include "vyr_int.h"

// Sends the message streams to temporary files while it lives.
class MessageCapture {
  public:
    MessageCapture() : out_(std::tmpfile()), err_(std::tmpfile()) {
        vyr::set_message_streams(out_, err_);
    }
    ~MessageCapture() {
        vyr::set_message_streams(nullptr, nullptr);
        std::fclose(out_);
        std::fclose(err_);
    }
    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    // What was written so far; the capture starts afresh afterwards.
    std::string out() { return take(out_); }
    std::string err() { return take(err_); }

  private:
    static std::string take(FILE *f) {
        std::fflush(f);
        std::rewind(f);
        std::string s;
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        std::rewind(f);
        (void)!ftruncate(fileno(f), 0);
        return s;
    }
    FILE *out_;
    FILE *err_;
};

// What fn writes to standard output directly.
template <class F>
std::string direct_stdout(F fn) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    fn();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

inline std::vector<std::string> split_lines(const std::string &s) {
    std::vector<std::string> lines;
    std::istringstream in(s);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

#endif  // RESRC_HELPERS_H
