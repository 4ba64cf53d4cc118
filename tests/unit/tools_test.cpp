#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "vyr.h"
#include "vyr_int.h"

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

namespace {

// Every piece a source gives under the suite's line rule, to the end.
std::vector<Piece> all_pieces(vyr::LineSource &src, int limit) {
    std::vector<Piece> out;
    std::vector<char> buf(static_cast<std::size_t>(limit) + 1);
    for (int n; (n = vyr::read_line(src, buf.data(), limit, {vyr::LongLine::Piece, true})) >= 0;)
        out.push_back({n, std::string(buf.data(), static_cast<std::size_t>(n))});
    return out;
}

}  // namespace

// The decoder reads in blocks; it must see exactly the pieces fgetline
// gives, whatever the line lengths, empty lines and block boundaries.
TEST(tools_test, block_reader_gives_the_pieces_of_fgetline) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 300; ++round) {
        const int limit = round % 3 == 0 ? 160 : 1 + static_cast<int>(rng() % 12);
        std::string text;
        const int lines = static_cast<int>(rng() % 40);
        for (int i = 0; i < lines; ++i) {
            // Lengths around the limit and its multiples, empty lines, a NUL.
            const int len = static_cast<int>(rng() % 4 == 0 ? rng() % 3 * limit + rng() % 3
                                                              : rng() % (2 * limit + 2));
            for (int k = 0; k < len; ++k) text += "ab \0"[rng() % 4];
            if (i + 1 < lines || rng() % 2) text += '\n';
        }
        if (round % 50 == 7) text.assign(70000 + rng() % 5000, 'x');  // beyond one block

        File a = stream_of(text), b = stream_of(text);
        ASSERT_TRUE(a && b);
        std::vector<Piece> expect;
        std::vector<char> buf(static_cast<std::size_t>(limit) + 1);
        for (int n; (n = fgetnline(a.get(), buf.data(), limit)) >= 0;)
            expect.push_back({n, std::string(buf.data(), static_cast<std::size_t>(n))});
        vyr::BlockLineSource block(b.get());
        const std::vector<Piece> got = all_pieces(block, limit);
        ASSERT_EQ(got.size(), expect.size()) << "round " << round;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].result, expect[i].result) << "round " << round << " piece " << i;
            EXPECT_EQ(got[i].text, expect[i].text) << "round " << round << " piece " << i;
        }
    }
}

// The other rules of the one reader: a long line skipped whole (and told),
// or read away; the line end taken with its line, so an empty first line
// counts.
TEST(tools_test, long_line_rules) {
    File f = stream_of("\n0123456789\nabc\n0123\n");
    ASSERT_TRUE(f);
    char buf[5];
    bool long_line = false;
    const vyr::LineRule skip{vyr::LongLine::Skip, false}, away{vyr::LongLine::ReadAway, false};
    struct Step {
        vyr::LineRule rule;
        int result;
        const char *text;
        bool long_line;
    } steps[] = {
        {skip, 0, "", false},      {skip, 4, "0123", true}, {away, 3, "abc", false},
        {away, 4, "0123", false},  {away, -1, "0123", false},
    };
    for (const Step &s : steps) {
        vyr::FileLineSource src(f.get());
        EXPECT_EQ(vyr::read_line(src, buf, 4, s.rule, &long_line), s.result);
        EXPECT_STREQ(buf, s.text);
        EXPECT_EQ(long_line, s.long_line);
    }
}
