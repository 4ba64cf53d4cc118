// The decoding loop and the element echo.
#include "shef_decode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "shef_decode_lines.h"
#include "test_util.h"
#include "vyr.h"
#include "vyr_int.h"

namespace {

using vyr::shef::Reader;

std::string decode(const std::string &input, const char *date = "",
                   Reader reader = Reader::Direct) {
    FILE *in = fmemopen(const_cast<char *>(input.data()), input.size(), "r");
    vyr::test::TempStream out;
    vyr::shef::decode(in, out.get(), date, reader);
    std::fclose(in);
    return out.text();
}

// The records and every message (echo on) of one reader.
struct Decoded {
    std::string records, messages;
};
Decoded decode_echoed(FILE *in, Reader reader) {
    vyr::test::CapturedMessages cap(vyr::test::CapturedMessages::one_stream);
    MESS_set_str("out3");
    vyr::test::TempStream out;
    std::rewind(in);
    vyr::shef::decode(in, out.get(), "", reader);
    return {out.text(), cap.out()};
}

class EchoTest : public vyr::test::CapturedMessagesTest {
  protected:
    EchoTest() : CapturedMessagesTest(one_stream) {}
    void SetUp() override {
        CapturedMessagesTest::SetUp();
        MESS_set_str("out3");
    }
};

TEST_F(EchoTest, every_row_of_the_echo_table_and_its_fall_through) {
    struct Row {
        const char *code, *value, *echo;
    } rows[] = {
        {"EPX", "1", "  EP-Evaporation: 1 in\n"},
        {"HGIRZ", "2", "  HG-River stage: 2 ft\n"},
        {"HK", "3", "  HK-Lake height: 3 ft\n"},
        {"HT", "4", "  HT-Projected tailwater stage: 4 ft\n"},
        {"IC", "5", "  IC-Ice cover: 5 ft\n"},
        {"MW", "6", "  MW-Soil moisture: 6 %\n"},
        {"GS", "7", "  GS-Ground state: 7 %\n"},
        {"PC", "8", "  PC-Precipitation accumulated: 8 in\n"},
        {"PPMX", "9", "  PPM-Monthly precipitation: 9 in\n"},
        {"PPW", "10", "  PPW-Weekly precipitation: 10 in\n"},
        {"PPD", "11", "  PPD-24 hour precipitation: 11 in\n"},
        {"PPH", "12", "  PPH-Hourly precipitation: 12 in\n"},
        {"PP", "13", "  PP-Precipitation actual increment: 13 in\n"},
        {"PPQ", "14", "  PARAM: PPQ 14\n"},
        {"PT", "15", "  PT-Precipitation type: 15\n"},
        {"SD", "16", "  SD-Snow depth: 16 in\n"},
        {"AM", "17", "  AM-Dew intensity: 17\n"},
        {"ULX", "18", "  ULD-Wind travel length for 24 hours: 18 mi\n"},
        {"TAWPZNM", "19", "  TAWPZNM-Temperature ave. weekly minimum: 19 F\n"},
        {"TAWPZXM", "20", "  TAWPZXM-Temperature ave. weekly maximum: 20 F\n"},
        {"TSIRZN", "21", "  TSIRZN-Soil temperature minimum: 21 F\n"},
        {"TSIRZNX", "21", "  PARAM: TSIRZNX 21\n"},
        {"TSIRZX", "22", "  TSIRZX-Soil temperature maximum: 22 F\n"},
        {"TA", "23", "  TA-Temperature: 23 F\n"},
        {"TAIR", "24", "  TAIR-Temperature: 24 F\n"},
        {"TAIRZ", "25", "  PARAM: TAIRZ 25\n"},
        {"TAWPZN", "25", "  PARAM: TAWPZN 25\n"},
        {"TD", "26", "  TD-Dewpoint temperature: 26 F\n"},
        {"TX", "27", "  TX-Maximum temperature: 27 F\n"},
        {"TN", "28", "  TN-Minimum temperature: 28 F\n"},
        {"TW", "29", "  TW-Water temperature: 29 F\n"},
        {"PA", "30", "  PA-Pressure: 30 mb\n"},
        {"UD", "31", "  UD-Wind direction: 31 deg\n"},
        {"US", "32", "  US-Wind speed: 32 knt\n"},
        {"XR", "33", "  XR-Relative humidity: 33 %\n"},
        {"XW", "61", "  XW-Present weather: light rain\n"},
        {"XWX", "!+TSRA", "  XW-Present weather: heavy thunderstorm\n"},
        {"XW", "Q", "  XW-Present weather: \n"},
        {"AD", "34", "  AD-State division: 34\n"},
        {"QR", "35", "  PARAM: QR 35\n"},
        {"H", "36", "  PARAM: H 36\n"},
    };
    for (const auto &r : rows) {
        std::string before = out();
        EXPECT_EQ(print_data(r.code, r.value), 0);
        EXPECT_EQ(out().substr(before.size()), r.echo) << r.code;
    }
}

TEST_F(EchoTest, a_percent_in_a_value_is_printed_as_text) {
    print_data("HG", "%s%n");
    EXPECT_EQ(out(), "  HG-River stage: %s%n ft\n");
}

TEST(print_data_test, prints_nothing_while_the_echo_level_is_off) {
    vyr::test::CapturedMessages cap(vyr::test::CapturedMessages::one_stream);
    print_data("HG", "1");
    EXPECT_EQ(cap.out(), "");
}

TEST(decode_test, records_of_reports_and_blocks) {
    vyr::test::CapturedMessages quiet;  // the count of lines passed over
    struct Row {
        const char *input, *date, *records;
    } rows[] = {
        {".A ABC 0815 Z DH12/HG 12.5/PP 0.1\n", "", "ABC HG=12.5 PP=0.1\n"},
        {".A ABC 0815 HG 12.5\n", "", "ABC\n"},
        {".A ABC 0815 Z DH12/HG 12.5\n.A1 TX 75/TN 50\n", "", "ABC HG=12.5\nABC TX=75 TN=50\n"},
        {".A ABC 0816 Z DH12/HG 12.5\n.A1 TX 75/TN 50\n", "0815", ""},
        {".A ABC 081512 Z DH12/HG 1\n", "0815", "ABC HG=1\n"},
        {".A ABC Z DH12/HG 1\n", "0815", "ABC HG=1\n"},
        {".B PDR 0815 Z DH12/HG/PP\nABC 12.5/0.1\nDEF 10.0//\n.END\n", "",
         "ABC HG=12.5 PP=0.1\nDEF HG=10.0\n"},
        {".B PDR 0815 Z DH12/HG/PP\nABC 12.5/0.1\n", "", "ABC HG=12.5 PP=0.1\n"},
        {".B PDR 0815 Z DH12/HG/PP\nABC 12.5/0.1\n.A DEF 0815 Z HG 1\n.A GHI 0815 Z HG 2\n", "",
         "ABC HG=12.5 PP=0.1\nGHI HG=2\n"},
        {".B PDR 0815 Z DH12/HG/PP\nABC 1/2, DEF 3/4\n.END\n", "",
         "ABC HG=1 PP=2\nDEF HG=3 PP=4\n"},
        {".A3 ABC 0815 Z HG 1\n.A1 TX 1\n.A\n", "", ""},
        {".B PDR 0815 Z DH12/HG\n 1\n:x:\n:x: \n.END\n", "", ""},
        {"", "", ""},
        {"\n\n\n", "", ""},
    };
    for (const auto &r : rows)
        for (Reader reader : {Reader::Direct, Reader::Reference})
            EXPECT_EQ(decode(r.input, r.date, reader), r.records) << r.input;
}

TEST(decode_test, the_comma_that_starts_an_entry_must_be_read_in_that_entry) {
    // The comma after GHI's only value is left over when the next line
    // starts: it must not make that line's rest a new entry.
    const std::string in = ".B PDR 0815 Z DH12/HG/PP\nGHI 1,\nJKL 2/3 and more text\n.END\n";
    EXPECT_EQ(decode(in), "GHI HG=1\nJKL HG=2 PP=3\n");
}

TEST(decode_test, lines_with_values_passed_over_are_counted_in_one_warning) {
    const std::string head = ".A ABC 0815 Z DH12";
    std::string long_a = head;  // the line goes on past 160 characters
    for (int i = 0; i < 30; ++i) long_a += "/HG " + std::to_string(i);
    std::string exact = head;  // exactly 160 characters, then CR LF
    exact += "/HG 1" + std::string(160 - exact.size() - 5, ' ');
    // A comment from the first piece to the second; values in the third.
    const std::string long_comment = exact + " :" + std::string(200, 'c') + ": /";
    const std::string third_piece = exact + std::string(170, ' ') + "PP 1";
    std::string long_b = ".B PDR 0815 Z DH12";  // codes beyond the first piece
    while (long_b.size() < 170) long_b += "/HG";
    long_b += "\nABC 1";
    for (int i = 2; i < 60; ++i) long_b += "/" + std::to_string(i);
    struct Row {
        std::string input;
        int count;
        const char *date = "";
    } rows[] = {
        {".A ABC 0815 Z DH12/HG 1/PP 2/\n", 0},
        {".A ABC 0815 Z DH12/HG 1 :a note\n", 0},
        {".A ABC 0815 Z DH24/DC08151200/PPD 1\n", 1},
        {".A ABC 0815 Z DH12/HG 1/UD M/PP 2\n.A1 TX 1/DUE/TN 2\n.A2 TX 1\n", 2},
        {".A ABC 0815 Z DH12/HG 1 :note: PP 2\n", 1},
        {".A1 HG 1/DUE/TX 2\n", 0},                          // before any report
        {".A ABC 0816 Z DH12/HG M\n.A1 HG M\n", 0, "0815"},  // filtered out
        {long_a + "\n", 1},
        {exact + "\r\n", 0},
        {long_comment + "\n" + long_comment + " HG 1\n", 1},
        {third_piece + "\n", 1},
        {".B PDR 0815 Z DH12/HG/PP\nABC 1/2\nDEF 1/2/3\nGHI 1/2, JKL 3/4/5\n.END\n", 2},
        {".B PDR 0815 Z DH12/HG/PP\nABC 1/*/3\n 1/2\n.END\n", 0},  // stuck, not too many
        {".B PDR 0815 Z DH12/HG\nSTU 1, VWX 2 ,  YZA 3\n.END\n", 1},
        {long_b + "\n.END\n", 1},
    };
    for (const auto &r : rows) {
        for (Reader reader : {Reader::Direct, Reader::Reference}) {
            vyr::test::CapturedMessages cap;
            decode(r.input, r.date, reader);
            const std::string want =
                r.count == 0 ? ""
                             : "Lines with values passed over: " + std::to_string(r.count) +
                                   " (the raw format cannot carry them; shef2csv decodes them)\n";
            EXPECT_EQ(cap.err(), want) << r.input;
        }
    }
}

// Every piece of a source, as text, its length and whether it was cut.
template <class Lines>
std::vector<std::string> pieces(Lines &&lines) {
    std::vector<std::string> got;
    for (vyr::shef::Line l; lines.next(l);) {
        EXPECT_EQ(l.text[l.len], '\0');
        got.push_back(std::string(l.text, static_cast<std::size_t>(l.len)) + (l.cut ? "|cut" : ""));
    }
    return got;
}

// The hot path's lines are the suite's line reader's, piece for piece,
// whatever the block size puts at a block's edge.
TEST(decode_test, lines_split_in_blocks_are_the_line_readers_pieces) {
    const std::string x160(160, 'X');
    std::vector<std::string> inputs = {
        "",
        "\n",
        "\n\n",
        "\nA",
        "A",
        "A\n",
        "A\n\n",
        "A\n\nB",
        x160 + "\nB",
        x160 + "Y",
        x160 + x160 + "\n\n",
        x160 + "\r\n",
        std::string("AB\0C\n", 5),
        "ABC\r\r\n",
        "A\x80"
        "B\tC\n",
        std::string("ABC\0\r\n.A", 9),
        " \x7f \x1f\n",
    };
    std::mt19937 rng(18);
    const char letters[] = "AAAA1111    \r\0\x80\t:\x7f";
    const std::string alphabet(letters, sizeof letters - 1);
    for (int k = 0; k < 20; ++k) {
        std::string in;
        for (int line = 0; line < 200; ++line) {
            const int len = std::uniform_int_distribution<int>(0, 400)(rng) >> (line % 3 ? 2 : 0);
            for (int i = 0; i < len; ++i) in += alphabet[rng() % alphabet.size()];
            in += '\n';
        }
        inputs.push_back(in);
    }
    for (const std::string &in : inputs) {
        FILE *f = fmemopen(const_cast<char *>(in.data()), in.size(), "r");
        const std::vector<std::string> want = pieces(vyr::shef::ReadLines(f));
        for (std::size_t block : {161, 162, 200, 4096, 1 << 16}) {
            std::rewind(f);
            EXPECT_EQ(pieces(vyr::shef::SplitLines(f, block)), want) << block << ": " << in;
        }
        std::fclose(f);
    }
}

// The direct reader gives what the scanner's patterns give, record for
// record and message for message, on every real product.
TEST(decode_test, both_field_readers_agree_on_every_corpus_product) {
    namespace fs = std::filesystem;
    fs::path root = fs::path(VYR_SOURCE_DIR) / ".." / "shared" / "corpus";
    if (!fs::is_directory(root)) GTEST_SKIP() << "no corpus beside the project";
    int files = 0;
    std::size_t echoed = 0;
    for (const auto &e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file() || e.path().extension() == ".md") continue;
        FILE *in = std::fopen(e.path().c_str(), "r");
        ASSERT_NE(in, nullptr);
        const Decoded direct = decode_echoed(in, Reader::Direct);
        const Decoded scanned = decode_echoed(in, Reader::Reference);
        std::fclose(in);
        EXPECT_EQ(direct.records, scanned.records) << e.path();
        EXPECT_EQ(direct.messages, scanned.messages) << e.path();
        echoed += direct.messages.size();
        ++files;
    }
    EXPECT_GT(files, 50);
    EXPECT_GT(echoed, 1000000u);  // the echo was on
}

// Every real product decodes without an empty record line or a record that
// begins with a blank, and with identifiers of at most 10 characters.
TEST(decode_test, corpus_products_give_well_formed_records) {
    namespace fs = std::filesystem;
    fs::path root = fs::path(VYR_SOURCE_DIR) / ".." / "shared" / "corpus";
    if (!fs::is_directory(root)) GTEST_SKIP() << "no corpus beside the project";
    vyr::test::CapturedMessages quiet;  // the count of lines passed over
    int files = 0, records = 0;
    for (const auto &e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file() || e.path().extension() == ".md") continue;
        FILE *in = std::fopen(e.path().c_str(), "r");
        ASSERT_NE(in, nullptr);
        vyr::test::TempStream out;
        vyr::shef::decode(in, out.get(), "");
        std::fclose(in);
        ++files;
        std::string text = out.text();
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t end = text.find('\n', pos);
            ASSERT_NE(end, std::string::npos) << e.path();
            std::string line = text.substr(pos, end - pos);
            ASSERT_FALSE(line.empty()) << e.path();
            ASSERT_NE(line[0], ' ') << e.path();
            EXPECT_LE(line.find(' ') == std::string::npos ? line.size() : line.find(' '), 10u)
                << e.path() << ": " << line;
            ++records;
            pos = end + 1;
        }
    }
    EXPECT_GT(files, 50);
    EXPECT_GT(records, 100000);
}

}  // namespace
