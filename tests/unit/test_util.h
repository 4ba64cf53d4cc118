// Scaffolding the unit tests share: reading back captured streams, scratch
// directories, small files, and the message streams and terminal input sent
// to temporary files.
#ifndef VYR_TEST_UTIL_H
#define VYR_TEST_UTIL_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>

#include "vyr_int.h"

namespace vyr::test {

// Everything written to f so far. The stream is left at its end, so writing
// goes on after the text read, and a later call returns it again.
inline std::string read_all(FILE *f) {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
    std::fseek(f, 0, SEEK_END);
    return s;
}

// Empties f: read_all returns only what is written afterwards.
inline void clear(FILE *f) {
    std::fflush(f);
    ASSERT_EQ(ftruncate(fileno(f), 0), 0);
    std::rewind(f);
}

// Makes f hold exactly text (embedded NULs included), to be read from its start.
inline void refill(FILE *f, const std::string &text) {
    clear(f);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fflush(f);
    std::rewind(f);
}

// The whole content of a file; empty when it cannot be read.
inline std::string read_file(const std::filesystem::path &p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void write_file(const std::filesystem::path &p, const std::string &text) {
    std::ofstream(p, std::ios::binary) << text;
}

// A temporary file open for update, closed (and so gone) with its owner.
// Failing to make one throws, which fails the test that asked.
class TempStream {
  public:
    TempStream() : f_(std::tmpfile()) {
        if (f_ == nullptr) throw std::runtime_error("no temporary file");
    }
    ~TempStream() { std::fclose(f_); }
    TempStream(const TempStream &) = delete;
    TempStream &operator=(const TempStream &) = delete;

    FILE *get() const { return f_; }
    std::string text() const { return read_all(f_); }

  private:
    FILE *f_;
};

// A fresh directory "/tmp/<prefix>XXXXXX", removed with all it holds when
// its owner goes. The name stays short, for tests of name-length limits.
class ScratchDir {
  public:
    explicit ScratchDir(const std::string &prefix = "vyr") {
        std::string tmpl = "/tmp/" + prefix + "XXXXXX";
        if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp " + tmpl);
        path_ = tmpl;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::string &path() const { return path_; }

    // Writes text to name below the directory, making the directories on the
    // way; returns the file's path.
    std::string write(const std::string &name, const std::string &text) const {
        std::string p = path_ + "/" + name;
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(p).parent_path(), ec);
        write_file(p, text);
        return p;
    }

  private:
    std::string path_;
};

// Sends the message streams and the terminal input to temporary files while
// it lives; on its way out it puts the message module back to its start-up
// state (closing a log file left open) and restores the standard streams.
// It leaves the module's settings alone when it starts, so a test may set a
// level first and capture what follows.
class CapturedMessages {
  public:
    // one_stream: errors and warnings share the file of the rest, so a check
    // of out() sees everything in the order written.
    enum Streams { two_streams, one_stream };

    explicit CapturedMessages(Streams s = two_streams) {
        vyr::set_message_streams(out_.get(), s == one_stream ? out_.get() : err_.get());
        vyr::set_terminal_input(in_.get());
    }
    ~CapturedMessages() {
        vyr::reset_messages();
        vyr::set_message_streams(nullptr, nullptr);
        vyr::set_terminal_input(nullptr);
    }
    CapturedMessages(const CapturedMessages &) = delete;
    CapturedMessages &operator=(const CapturedMessages &) = delete;

    // What was printed so far.
    std::string out() const { return out_.text(); }
    std::string err() const { return err_.text(); }
    // Forgets what was printed so far.
    void clear_output() {
        clear(out_.get());
        clear(err_.get());
    }
    // What the user types next, replacing any answers not yet read.
    void feed(const std::string &answers) { refill(in_.get(), answers); }
    // How many characters of the answers have been read.
    long consumed() const { return std::ftell(in_.get()); }

  private:
    TempStream out_, err_, in_;
};

// A fixture with the messages captured and the message module at its
// start-up state when a test begins and ends.
class CapturedMessagesTest : public testing::Test, protected CapturedMessages {
  protected:
    explicit CapturedMessagesTest(Streams s = two_streams) : CapturedMessages(s) {}
    void SetUp() override { vyr::reset_messages(); }
    void TearDown() override { vyr::reset_messages(); }
};

// A 64-bit FNV-1a digest of bytes, as 16 hex digits: enough to tell two
// outputs apart in a checked-in list, with no dependency.
inline std::string digest(const std::string &bytes) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ULL;
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

}  // namespace vyr::test

#endif  // VYR_TEST_UTIL_H
