// Messages: .A, .B and .E with revisions and continuations, null fields,
// body overrides, retained comments, errors and what they cost, line
// handling and the CSV rows.
#include "shef_series.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "shef_series_util.h"
#include "test_util.h"

namespace {

using vyr::test::decode_text;
using vyr::test::Decoded;

std::string notes_of(const Decoded &d) {
    std::string s;
    for (const std::string &n : d.notes) s += n + "\n";
    return s;
}

TEST(shef_series, continuation_lines_and_revisions) {
    Decoded d = decode_text(
        ".AR STN1 20240715 Z DH12/HG 1\n"
        ": a comment line neither starts nor ends a message\n"
        ".A1 PP 2\n"
        ".AR9 TA 3\n");
    EXPECT_EQ(d.all(),
              "STN1 2024-07-15T12:00:00Z HGIRZZZ 1 rev|STN1 2024-07-15T12:00:00Z PPDRZZZ 2 rev|"
              "STN1 2024-07-15T12:00:00Z TAIRZZZ 3 rev");
    EXPECT_EQ(d.lines, (std::vector<long>{1, 3, 4}));
    EXPECT_TRUE(d.notes.empty()) << notes_of(d);

    // A revision continuation does not belong to a plain message, nor a .B
    // header line to an .A; any other line ends the message.
    d = decode_text(
        ".A STN1 20240715 Z DH12/HG 1\n"
        ".AR1 PP 2\n"
        ".B1 PP\n"
        ".A2 TA 3\n"
        "some text\n"
        ".A3 TA 4\n"
        ".A101 TA 5\n");
    EXPECT_EQ(d.all(), "STN1 2024-07-15T12:00:00Z HGIRZZZ 1|STN1 2024-07-15T12:00:00Z TAIRZZZ 3");
    EXPECT_EQ(notes_of(d),
              "E2: continuation line .ARn does not belong to the .A message\n"
              "E3: continuation line .Bn does not belong to the .A message\n"
              "E6: continuation line .An without a message\n"
              "E7: not a SHEF message line: \".A101 TA 5\"\n");

    // A rejected message takes its continuation lines with it, quietly.
    d = decode_text(".A STN1 20241332 Z DH12/HG 1\n.A1 PP 2\n.A STN2 20240715 Z DH12/HG 3\n");
    EXPECT_EQ(d.all(), "STN2 2024-07-15T12:00:00Z HGIRZZZ 3");
    EXPECT_EQ(notes_of(d), "E1: bad date \"20241332\"\n");
    EXPECT_EQ(d.counts.messages, 2);
}

TEST(shef_series, a_fields_and_what_errors_cost) {
    struct Case {
        const char *input, *rows, *notes;
    } cases[] = {
        // Elements may share a field with each other and with a code.
        {".A STN1 20240715 Z DD16 DH01 /PP 1.5/DH13 HG .05",
         "STN1 2024-07-16T01:00:00Z PPDRZZZ 1.5|STN1 2024-07-16T13:00:00Z HGIRZZZ 0.05", ""},
        // A code alone takes the lone value of the next field.
        {".AR STN1 20240715 Z DH12/HPIRWZZ/ 529.52/HG/PP 1",
         "STN1 2024-07-15T12:00:00Z HPIRWZZ 529.52 rev|STN1 2024-07-15T12:00:00Z PPDRZZZ 1 rev", ""},
        // A bad value or code costs that value; a detached qualifier is
        // dropped, its value kept.
        {".A STN1 20240715 Z DH12/HG 1,5/HG? 2/HG 1.5 Q/HG 3",
         "STN1 2024-07-15T12:00:00Z HGIRZZZ 1.5|STN1 2024-07-15T12:00:00Z HGIRZZZ 3",
         "E1: bad value \"1,5\" for HG\nE1: bad character in parameter code \"HG?\"\n"
         "E1: qualifier \"Q\" apart from its value dropped\n"},
        // A bad element costs the rest of the message.
        {".A STN1 20240715 Z DH12/HG 1/DH25/HG 2\n.A1 HG 3", "STN1 2024-07-15T12:00:00Z HGIRZZZ 1",
         "E1: bad date/data-type element \"DH25\"; rest of the message dropped\n"},
        // A token that is no zone is data; the zone stays Z.
        {".A STN1 20240715 QS DH07/HG 1.5", "STN1 2024-07-15T12:00:00Z HGIRZZZ 1.5",
         "E1: bad value \"DH07\" for QS\n"},
        {".A STN1 20240715 Z DH12/DQE/HG 2/HG 3R/HG 4Z/DQZ/HG 5/HG 6A",
         "STN1 2024-07-15T12:00:00Z HGIRZZZ 2 q=E|STN1 2024-07-15T12:00:00Z HGIRZZZ 3 q=R|"
         "STN1 2024-07-15T12:00:00Z HGIRZZZ 4|STN1 2024-07-15T12:00:00Z HGIRZZZ 5|"
         "STN1 2024-07-15T12:00:00Z HGIRZZZ 6",
         "W1: unknown data qualifier 'A' in \"6A\" ignored\n"},
        {".A STN1 20240715 Z DH12/DVH06/PPV 0.5/DVZ/PPV 1/HG T",
         "STN1 2024-07-15T12:00:00Z PPVRZZZ 0.5 dv=1006",
         "E1: duration V in PPV without a variable duration (DV)\n"
         "E1: trace (T) given for HG, not a precipitation or snow element\n"},
        {".APPLE AND LUCERNE VALLEYS\n.C KCDM7 820102 Z DH12/HG 9.9\n.TODAY...SUNNY\n"
         " .A STN1 20240715 Z DH12/HG 1",
         "",
         "E1: not a SHEF message line: \".APPLE AND LUCERNE V\"\n"
         "E2: not a SHEF message line: \".C KCDM7 820102 Z DH\"\n"},
        {".A STN1 20240715 Z DH12/HG 1 \"gage iced, \"\"est\"/PP 2'late/PP 3\"open",
         "STN1 2024-07-15T12:00:00Z HGIRZZZ 1 #gage iced, |STN1 2024-07-15T12:00:00Z PPDRZZZ 2 "
         "#late|STN1 2024-07-15T12:00:00Z PPDRZZZ 3 #open",
         ""},
    };
    for (const Case &c : cases) {
        const Decoded d = decode_text(c.input);
        EXPECT_EQ(d.all(), c.rows) << c.input;
        EXPECT_EQ(notes_of(d), c.notes) << c.input;
    }
}

TEST(shef_series, b_blocks) {
    // Header elements and codes take the state at their place; body
    // elements act from where they stand to the end of their station.
    Decoded d = decode_text(
        ".B SRC 20240715 C DH07/HG/DRH-12/HG/DUS/TA\n"
        ".B1 /DQE/PP\n"
        "ST1 DH0815/1.0/DRH-1/2.0/21.5/0.25 , ST2 2.0//DUE/70\n"
        "ST3 M / T / DUS 20 / 1 \"est\" / 9\n"
        ".End");
    EXPECT_EQ(d.all(),
              "ST1 2024-07-15T13:15:00Z HGIRZZZ 1|ST1 2024-07-15T12:15:00Z HGIRZZZ 2|"
              "ST1 2024-07-15T12:15:00Z TAIRZZZ 70.7|"
              "ST1 2024-07-15T12:15:00Z PPDRZZZ 0.0098 q=E|"
              "ST2 2024-07-15T12:00:00Z HGIRZZZ 2|ST2 2024-07-15T00:00:00Z TAIRZZZ 70|"
              "ST3 2024-07-15T12:00:00Z HGIRZZZ M|ST3 2024-07-15T00:00:00Z TAIRZZZ 68|"
              "ST3 2024-07-15T00:00:00Z PPDRZZZ 0.0394 q=E #est");
    EXPECT_EQ(notes_of(d),
              "E4: trace (T) given for HG, not a precipitation or snow element\n"
              "W4: 1 value(s) for ST3 beyond the .B header's parameters ignored\n");

    // A bad element costs the rest of its station; a bad header code its
    // column; a block left open keeps its values.
    d = decode_text(
        ".B SRC 20240715 Z DH12/HG/13/PP\n"
        "ST1 1/2/3, ST2 4/DH99/5/6\n"
        "ST3 7/8/9\n"
        ".B1 TA\n"
        "S*4 1\n"
        ".A STN1 20240715 Z DH12/HG 1\n"
        ".B SRC 20240715 Z DH12/HG\n"
        "ST5 1\n");
    EXPECT_EQ(d.all(),
              "ST1 2024-07-15T12:00:00Z HGIRZZZ 1|ST1 2024-07-15T12:00:00Z PPDRZZZ 3|"
              "ST2 2024-07-15T12:00:00Z HGIRZZZ 4|ST3 2024-07-15T12:00:00Z HGIRZZZ 7|"
              "ST3 2024-07-15T12:00:00Z PPDRZZZ 9|STN1 2024-07-15T12:00:00Z HGIRZZZ 1|"
              "ST5 2024-07-15T12:00:00Z HGIRZZZ 1");
    EXPECT_EQ(notes_of(d),
              "E1: bad physical element in \"13\"\n"
              "E2: bad date/data-type element \"DH99\" for ST2; rest of its values dropped\n"
              "E4: .B header continuation after the first body line\n"
              "E5: bad station identifier \"S*4\" in .B body\n"
              "E6: .B block not closed by .END before the next message\n"
              "E8: .B block not closed by .END at the end of the input\n");

    // A name between colons may leave an identifier joined to its time.
    d = decode_text(".BR SRC 0410 P DH15/TAIRZX\nEAGC2: AURORA ::  :DH0716/  61\n.END");
    EXPECT_EQ(d.all(), "EAGC2 2027-04-10T14:16:00Z TAIRZXZ 61 rev");
}

TEST(shef_series, e_series) {
    struct Case {
        const char *input, *rows, *notes;
    } cases[] = {
        {".E STN1 20240715 Z DH00/HGIRG/DIH06/1.0/2.0//4.0/M",
         "STN1 2024-07-15T00:00:00Z HGIRGZZ 1|STN1 2024-07-15T06:00:00Z HGIRGZZ 2|"
         "STN1 2024-07-15T18:00:00Z HGIRGZZ 4|STN1 2024-07-16T00:00:00Z HGIRGZZ M",
         ""},
        // "/" ending a line and "/" starting the next make a null field;
        // blanks separate values too.
        {".E STN1 20240715 Z DH00/HG/DIH1/1.0/2.0/\n.E1 /4.0\n.E2 5 6\n.E3 /7",
         "STN1 2024-07-15T00:00:00Z HGIRZZZ 1|STN1 2024-07-15T01:00:00Z HGIRZZZ 2|"
         "STN1 2024-07-15T03:00:00Z HGIRZZZ 4|STN1 2024-07-15T04:00:00Z HGIRZZZ 5|"
         "STN1 2024-07-15T05:00:00Z HGIRZZZ 6|STN1 2024-07-15T06:00:00Z HGIRZZZ 7",
         ""},
        {".E STN1 20240131 Z DH12/DIE1/HG/1/2/3",
         "STN1 2024-01-31T12:00:00Z HGIRZZZ 1|STN1 2024-02-29T12:00:00Z HGIRZZZ 2|"
         "STN1 2024-03-31T12:00:00Z HGIRZZZ 3",
         ""},
        // Steps count from the start: no drift after a short month.
        {".E STN1 20240131 Z DH12/HG/DIM1/1/2/3",
         "STN1 2024-01-31T12:00:00Z HGIRZZZ 1|STN1 2024-02-29T12:00:00Z HGIRZZZ 2|"
         "STN1 2024-03-31T12:00:00Z HGIRZZZ 3",
         ""},
        // An explicit element restarts the series, a DR restarts it from the
        // explicit time moved.
        {".E STN1 20240715 Z DH00/HG/DIH-1/1/2/DH12/3/4/DRD+1/5",
         "STN1 2024-07-15T00:00:00Z HGIRZZZ 1|STN1 2024-07-14T23:00:00Z HGIRZZZ 2|"
         "STN1 2024-07-15T12:00:00Z HGIRZZZ 3|STN1 2024-07-15T11:00:00Z HGIRZZZ 4|"
         "STN1 2024-07-16T12:00:00Z HGIRZZZ 5",
         ""},
        {".E STN1 20240715 Z DH12/HG/6.6/7.7", "",
         "E1: .E value \"6.6\" before the time interval (DI); message dropped\n"},
        {".E STN1 20240715 Z DH12/1.0/HG/DIH1", "",
         "E1: .E value \"1.0\" before the parameter code; message dropped\n"},
        {".E STN1 20240715 Z DH12/HG/DIH1/1/DIH2/2", "STN1 2024-07-15T12:00:00Z HGIRZZZ 1",
         "E1: second time interval \"DIH2\"; rest of the message dropped\n"},
        {".E STN1 20240715 Z DH12/HG/DIH1/1/PP/2", "STN1 2024-07-15T12:00:00Z HGIRZZZ 1",
         "E1: second parameter code \"PP\"; rest of the message dropped\n"},
        {".E STN1 20240715 Z DH12/HG/DIH1/1/x/3",
         "STN1 2024-07-15T12:00:00Z HGIRZZZ 1|STN1 2024-07-15T14:00:00Z HGIRZZZ 3",
         "E1: bad value \"x\" for HG\n"},
        {".E STN1 20240715 C DH12/PY/DIH1/1", "",
         "E1: send code \"PY\" cannot be used in .E; message dropped\n"},
        {".E STN1 20240730 Z DH12/HG/DIE1/1", "",
         "E1: series step (DI) from 2024-07-30 12:00:00: a month-end step needs a month's "
         "last day\n"},
    };
    for (const Case &c : cases) {
        const Decoded d = decode_text(c.input);
        EXPECT_EQ(d.all(), c.rows) << c.input;
        EXPECT_EQ(notes_of(d), c.notes) << c.input;
    }
}

TEST(shef_series, raw_lines_whole_and_cleaned) {
    // CR CR LF ends, tabs, colon comments anywhere, a trailing "=", and a
    // line far longer than a read block.
    std::string text = ".B:x:R MCI:y: 0810\tDH12/HG=\r\r\nST1 1.5 :two: \r\r\n.END\r\n";
    text += ".E STN1 20240715 Z DH00/HG/DIN01";
    for (int i = 0; i < 40000; ++i) text += "/" + std::to_string(i % 10);
    text += "\n";
    FILE *in = fmemopen(text.data(), text.size(), "r");
    ASSERT_NE(in, nullptr);
    std::vector<std::string> rows;
    vyr::series::Decoder dec(
        vyr::series::Parm::builtin(), vyr::test::kRef,
        [&](const vyr::series::Record &r) { rows.push_back(vyr::test::row_text(r)); }, {});
    EXPECT_TRUE(vyr::series::decode_stream(in, dec));
    std::fclose(in);
    ASSERT_EQ(rows.size(), 40001u);
    EXPECT_EQ(rows[0], "ST1 2026-08-10T12:00:00Z HGIRZZZ 1.5 rev");
    EXPECT_EQ(rows[40000], "STN1 2024-08-11T18:39:00Z HGIRZZZ 9");  // 39999 minutes on
    EXPECT_EQ(dec.counts().errors, 0);
}

// Decodes bytes through the stream reader; rows with their line numbers.
struct StreamResult {
    std::vector<std::string> rows;  // "line:row_text"
    std::vector<std::string> notes;
    long skipped = 0;  // the number of the line skipped for its length
};
StreamResult decode_bytes(std::string bytes) {
    StreamResult r;
    FILE *in = fmemopen(bytes.data(), bytes.size(), "r");
    if (in == nullptr) return r;
    vyr::series::Decoder dec(
        vyr::series::Parm::builtin(), vyr::test::kRef,
        [&](const vyr::series::Record &rec) {
            r.rows.push_back(std::to_string(rec.line) + ":" + vyr::test::row_text(rec));
        },
        [&](vyr::series::Severity, long line, std::string_view text) {
            r.notes.push_back(std::to_string(line) + ": " + std::string(text));
        });
    dec.set_on_long_line([&](long line) { r.skipped = line; });
    EXPECT_TRUE(vyr::series::decode_stream(in, dec));
    std::fclose(in);
    return r;
}

TEST(shef_series, line_ends_byte_order_mark_and_long_lines) {
    // LF, CR LF and CR CR LF end one line, a CR alone ends one too, and two
    // lone CRs end two; a byte-order mark at the start is passed over.
    StreamResult r = decode_bytes(
        "\xEF\xBB\xBF.A STN1 20240715 Z DH12/HG 1\r\n"
        ".A STN1 20240715 Z DH12/HG 2\r\r\n"
        ".A STN1 20240715 Z DH12/HG 3\r.A STN1 20240715 Z DH12/HG 4\r\r"
        ".A STN1 20240715 Z DH12/HG 5\r\r\r\n"
        ".A STN1 20240715 Z DH12/HG 6\n");
    EXPECT_EQ(r.rows, (std::vector<std::string>{
                          "1:STN1 2024-07-15T12:00:00Z HGIRZZZ 1",
                          "2:STN1 2024-07-15T12:00:00Z HGIRZZZ 2",
                          "3:STN1 2024-07-15T12:00:00Z HGIRZZZ 3",
                          "4:STN1 2024-07-15T12:00:00Z HGIRZZZ 4",
                          "6:STN1 2024-07-15T12:00:00Z HGIRZZZ 5",
                          "8:STN1 2024-07-15T12:00:00Z HGIRZZZ 6",
                      }));
    EXPECT_TRUE(r.notes.empty());

    // Line ends on the edge of a read block (64 KiB): a CR as its last byte
    // and the LF in the next; a line that runs over it is read whole.
    std::string edge = ":" + std::string((1 << 16) - 2, 'x') + "\r\n";
    edge += ".E STN1 20240715 Z DH00/HG/DIN01";
    for (int i = 0; i < 20000; ++i) edge += "/" + std::to_string(i % 10);
    edge += "\n.A STN1 20240715 Z DH12/HG 7";
    r = decode_bytes(edge);
    ASSERT_EQ(r.rows.size(), 20001u);
    EXPECT_EQ(r.rows[19999], "2:STN1 2024-07-28T21:19:00Z HGIRZZZ 9");  // 19999 minutes on
    EXPECT_EQ(r.rows[20000], "3:STN1 2024-07-15T12:00:00Z HGIRZZZ 7");

    // A line over 1 MiB is skipped, counted and told; its .A message ends
    // there, and the lines after it keep their numbers.
    std::string big = ".A STN1 20240715 Z DH12/HG 1\n" + std::string(vyr::series::kLineMax + 1, 'x');
    big += "\n.A1 PP 2.0\n.A STN2 20240715 Z DH12/HG 3\n";
    r = decode_bytes(big);
    EXPECT_EQ(r.skipped, 2);
    EXPECT_EQ(r.rows, (std::vector<std::string>{"1:STN1 2024-07-15T12:00:00Z HGIRZZZ 1",
                                                "4:STN2 2024-07-15T12:00:00Z HGIRZZZ 3"}));
    EXPECT_EQ(r.notes, (std::vector<std::string>{"3: continuation line .An without a message"}));
}

// The real program keeps its memory bounded on a line without end: its
// peak resident memory is taken from the kernel's record of its children.
TEST(shef_series, program_memory_bounded_on_endless_line) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' own memory hides the program's";
#else
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "the sanitizers' own memory hides the program's";
#endif
#endif
    const std::string bin = std::string(VYR_BINARY_DIR) + "/shef2csv";
    if (access(bin.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << bin;
    vyr::test::ScratchDir dir("csvmem");
    const std::string err = dir.path() + "/err";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (chdir(dir.path().c_str()) != 0) _exit(127);
        setenv("HOME", dir.path().c_str(), 1);
        execl("/bin/sh", "sh", "-c", "head -c 64M /dev/zero | \"$0\" - >/dev/null 2>\"$1\"",
              bin.c_str(), err.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    struct rusage ru {};
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &ru), 0);
    EXPECT_LT(ru.ru_maxrss, 16 * 1024) << "KiB";  // the line alone is 64 MiB
    EXPECT_NE(vyr::test::read_file(err).find("Line 1: longer than 1 MiB skipped"),
              std::string::npos)
        << vyr::test::read_file(err);
#endif
}

TEST(shef_series, csv_rows) {
    std::string text =
        ".AR STN1 20240715 Z DH12/DC202407141800/HGIF 2.50 'a, \"b\"'\n"
        ".E SER1 20240715 Z DH12/DVH06/PPV/DIH6/M/1\n";
    FILE *in = fmemopen(text.data(), text.size(), "r");
    vyr::test::TempStream out;
    const vyr::series::Conversion c =
        vyr::series::convert(in, out.get(), vyr::series::Parm::builtin(), vyr::test::kRef, {});
    std::fclose(in);
    EXPECT_TRUE(c.read_ok);
    EXPECT_TRUE(c.write_ok);
    EXPECT_EQ(c.counts.values, 3);
    EXPECT_EQ(out.text(),
              "station,obs_time,pe,duration,type_source,extremum,probability,value,qualifier,"
              "creation_time,revised,message,line,duration_value,comment\n"
              "STN1,2024-07-15T12:00:00Z,HG,I,FZ,Z,Z,2.5,,2024-07-14T18:00:00Z,1,.A,1,0,"
              "\"a, \"\"b\"\"\"\n"
              "SER1,2024-07-15T12:00:00Z,PP,V,RZ,Z,Z,,,,0,.E,2,1006,\n"
              "SER1,2024-07-15T18:00:00Z,PP,V,RZ,Z,Z,1,,,0,.E,2,1006,\n");

    // A write that fails is told.
    FILE *full = std::fopen("/dev/full", "w");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    in = fmemopen(text.data(), text.size(), "r");
    const vyr::series::Conversion f =
        vyr::series::convert(in, full, vyr::series::Parm::builtin(), vyr::test::kRef, {});
    std::fclose(in);
    std::fclose(full);
    EXPECT_FALSE(f.write_ok);
}

}  // namespace
