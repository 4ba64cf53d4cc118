#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "vyr.h"

namespace {

struct Closer {
    void operator()(FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, Closer>;

// A stream holding exactly the given bytes, read from the start.
File stream_of(const std::string &content) {
    File f(std::tmpfile());
    if (!f) return f;
    if (!content.empty()) std::fwrite(content.data(), 1, content.size(), f.get());
    std::rewind(f.get());
    return f;
}

enum class Reader { Line, NLine, String };

int read_with(Reader reader, FILE *f, char *buf, int len) {
    switch (reader) {
        case Reader::Line: return fgetline(f, buf);
        case Reader::NLine: return fgetnline(f, buf, len);
        case Reader::String: return fgetstring(f, buf, len);
    }
    return -2;
}

struct Piece {
    int result;
    std::string text;
};

struct Case {
    const char *name;
    std::string content;
    Reader reader;
    int len;  // limit for fgetnline and fgetstring
    std::vector<Piece> pieces;
};

const std::string k160(160, 'a');
const std::string k40(40, 'b');

std::vector<Case> cases() {
    return {
        {"empty line between lines",
         "abc\n\ndef\n",
         Reader::Line,
         0,
         {{3, "abc"}, {0, ""}, {3, "def"}}},
        {"two empty lines", "a\n\n\nb\n", Reader::Line, 0, {{1, "a"}, {0, ""}, {0, ""}, {1, "b"}}},
        {"empty first line passed over", "\nabc\n", Reader::Line, 0, {{3, "abc"}}},
        {"only the first empty line passed over",
         "\n\nabc\n",
         Reader::Line,
         0,
         {{0, ""}, {3, "abc"}}},
        {"last line without newline", "abc\ndef", Reader::Line, 0, {{3, "abc"}, {3, "def"}}},
        {"leading blanks and CR stay", "  x \r\n", Reader::Line, 0, {{5, "  x \r"}}},
        {"line of 200 in pieces", k160 + k40 + "\n", Reader::Line, 0, {{160, k160}, {40, k40}}},
        {"line of exactly 160", k160 + "\nnext\n", Reader::Line, 0, {{160, k160}, {4, "next"}}},
        {"line of exactly 160, then empty",
         k160 + "\n\nz\n",
         Reader::Line,
         0,
         {{160, k160}, {0, ""}, {1, "z"}}},
        {"line of 161", k160 + "c\nz\n", Reader::Line, 0, {{160, k160}, {1, "c"}, {1, "z"}}},
        {"line of 320",
         k160 + k160 + "\nz\n",
         Reader::Line,
         0,
         {{160, k160}, {160, k160}, {1, "z"}}},
        {"small limit splits",
         "abcdef\nxy\n",
         Reader::NLine,
         4,
         {{4, "abcd"}, {2, "ef"}, {2, "xy"}}},
        {"line of exactly the limit", "abc\nde\n", Reader::NLine, 3, {{3, "abc"}, {2, "de"}}},
        {"limit of one", "ab\n\nc", Reader::NLine, 1, {{1, "a"}, {1, "b"}, {0, ""}, {1, "c"}}},
        {"fgetstring says 1 for text",
         "abc\n\nlonger-text\n",
         Reader::String,
         4,
         {{1, "abc"}, {0, ""}, {1, "long"}, {1, "er-t"}, {1, "ext"}}},
        {"empty input", "", Reader::Line, 0, {}},
        {"only a newline", "\n", Reader::Line, 0, {}},
        {"only a newline, fgetstring", "\n", Reader::String, 8, {}},
    };
}

TEST(tools_test, lines_come_back_by_the_piece_rules) {
    for (const Case &c : cases()) {
        SCOPED_TRACE(c.name);
        File f = stream_of(c.content);
        ASSERT_TRUE(f);
        char buf[200];
        for (const Piece &p : c.pieces) {
            ASSERT_EQ(read_with(c.reader, f.get(), buf, c.len), p.result);
            EXPECT_EQ(std::string(buf), p.text);
        }
        // At the end the buffer keeps the last line read (or its old text).
        const std::string last = c.pieces.empty() ? "untouched" : c.pieces.back().text;
        std::strcpy(buf, last.c_str());
        EXPECT_EQ(read_with(c.reader, f.get(), buf, c.len), -1);
        EXPECT_EQ(std::string(buf), last);
        EXPECT_EQ(read_with(c.reader, f.get(), buf, c.len), -1);  // and stays at the end
    }
}

TEST(tools_test, end_of_input_leaves_the_buffer_as_it_was) {
    File f = stream_of("abc\n\ndef\n");
    ASSERT_TRUE(f);
    char buf[161];
    EXPECT_EQ(fgetline(f.get(), buf), 3);
    EXPECT_EQ(fgetline(f.get(), buf), 0);
    EXPECT_EQ(fgetline(f.get(), buf), 3);
    EXPECT_EQ(fgetline(f.get(), buf), -1);
    EXPECT_STREQ(buf, "def");
}

TEST(tools_test, reads_never_write_past_the_limit) {
    File f = stream_of("abcdefghij\n");
    ASSERT_TRUE(f);
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(fgetnline(f.get(), buf, 4), 4);
    EXPECT_STREQ(buf, "abcd");
    for (std::size_t i = 5; i < sizeof buf; ++i) EXPECT_EQ(buf[i], '#') << i;

    File g = stream_of(std::string(300, 'x'));
    ASSERT_TRUE(g);
    char line[170];
    std::memset(line, '#', sizeof line);
    EXPECT_EQ(fgetline(g.get(), line), 160);
    EXPECT_EQ(line[160], '\0');
    for (std::size_t i = 161; i < sizeof line; ++i) EXPECT_EQ(line[i], '#') << i;
}

TEST(tools_test, unusable_arguments_read_nothing) {
    File f = stream_of("abc\n");
    ASSERT_TRUE(f);
    char buf[8] = "old";
    // A limit below one leaves room for nothing: no read, stream unmoved.
    EXPECT_EQ(fgetnline(f.get(), buf, 0), -1);
    EXPECT_EQ(fgetstring(f.get(), buf, -3), -1);
    EXPECT_STREQ(buf, "old");
    EXPECT_EQ(fgetnline(f.get(), buf, 7), 3);
    EXPECT_STREQ(buf, "abc");

    EXPECT_EQ(fgetline(nullptr, buf), -1);
    EXPECT_EQ(fgetnline(f.get(), nullptr, 7), -1);
}

}  // namespace
