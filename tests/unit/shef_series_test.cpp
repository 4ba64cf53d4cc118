// Messages: .A, .B and .E with revisions and continuations, null fields,
// body overrides, retained comments, errors and what they cost, line
// handling and the CSV rows.
#include "shef_series.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base_int.h"
#include "shef_series_text.h"
#include "shef_series_util.h"
#include "test_util.h"

namespace {

long g_function_records = 0;

using vyr::test::decode_text;
using vyr::test::Decoded;

std::string notes_of(const Decoded &d) {
    std::string s;
    for (const std::string &n : d.notes) s += n + "\n";
    return s;
}

// The rules of the SHEF Code Manual that a first reading got wrong, each
// row named by the manual's section (and its Appendix J message), then the
// choices made where the manual leaves a case open.
struct ManualCase {
    const char *name;
    const char *input;
    vyr::series::RefDate ref;
    const char *rows;   // joined by "|"
    const char *notes;  // every note, "E1: text\n" each
};
const ManualCase kManualCases[] = {
    {"4 intro: lower case is upper case, but in retained comments",
     ".a abe 20240815 e dh07/hg 1.5/pp .25e 'Gage Iced'", vyr::test::kRef,
     "ABE 2024-08-15T11:00:00Z HGIRZZZ 1.5|ABE 2024-08-15T11:00:00Z PPDRZZZ 0.25 q=E #Gage Iced",
     ""},
    {"5.1.2 J-058: PC, PP, PY without a decimal point in hundredths, English units only",
     ".A STN1 20240815 C DH08/PP 125/PC 5/PY -5/PP 1.25/HG 125/DUS/PP 125", vyr::test::kRef,
     "STN1 2024-08-15T13:00:00Z PPDRZZZ 1.25|STN1 2024-08-15T13:00:00Z PCIRZZZ 0.05|"
     "STN1 2024-08-15T12:00:00Z PPDRZZZ -0.05|STN1 2024-08-15T13:00:00Z PPDRZZZ 1.25|"
     "STN1 2024-08-15T13:00:00Z HGIRZZZ 125|STN1 2024-08-15T13:00:00Z PPDRZZZ 4.9213",
     "W1: PP value \"125\" without a decimal point read in hundredths of an inch (told once a "
     "message)\n"},
    {"5.2.6: on the fall-back day local times up to 02:00 are daylight time",
     ".A STNX 991031 C DH01/HG 1/DH02/HG 2/DRH+1/HG 3/DH03/HG 4", vyr::test::kRef,
     "STNX 1999-10-31T06:00:00Z HGIRZZZ 1|STNX 1999-10-31T07:00:00Z HGIRZZZ 2|"
     "STNX 1999-10-31T08:00:00Z HGIRZZZ 3|STNX 1999-10-31T09:00:00Z HGIRZZZ 4",
     "W1: local time 1999-10-31 01:00:00 occurs twice in zone C: the first (daylight) time "
     "taken\n"
     "W1: local time 1999-10-31 02:00:00 occurs twice in zone C: the first (daylight) time "
     "taken\n"
     "W1: local time 1999-10-31 02:00:00 occurs twice in zone C: the first (daylight) time "
     "taken\n"},
    {"4.1.5 J-083: a bad zone refuses the message", ".A BADTZ 820209 QS DH07/HG 1.5",
     vyr::test::kRef, "", "E1: bad time zone \"QS\" (or a data string without its \"/\")\n"},
    {"4.1.1 5.3.2 J-006: the dot of a message in column one, before comments",
     ":WAVERLY:.A WVYM6 0810 C DH07/PPP 1.38\n.A WVYM6 0810 C DH07/PPP 1.38", vyr::test::kRef,
     "WVYM6 2026-08-10T12:00:00Z PPPRZZZ 1.38",
     "E1: message line without its dot in column one: \".A WVYM6 0810 C DH07\"\n"},
    {"4.6 J-046: a .B block without .END writes none of its values",
     ".B SRC 20240715 Z DH12/HG\nSTN1 1.0\n.A STN2 20240715 Z DH12/HG 2.0\n"
     ".B SRC 20240715 Z DH12/HG\nSTN3 3.0",
     vyr::test::kRef, "STN2 2024-07-15T12:00:00Z HGIRZZZ 2",
     "E3: .B block of line 1 not closed by .END before the next message: its values are not "
     "written\n"
     "E5: .B block of line 4 not closed by .END at the end of the input: its values are not "
     "written\n"},
    {"5.1.1 4.4.7 J-031 J-051: missing codes and trace, with qualifiers; others no values",
     ".A STN1 20240715 Z DH12/HG +/HG -Q/HG mmq/HG M/PP TQ/SW t/HG ++/HG ./HG mmm/HG +++",
     vyr::test::kRef,
     "STN1 2024-07-15T12:00:00Z HGIRZZZ M|STN1 2024-07-15T12:00:00Z HGIRZZZ M q=Q|"
     "STN1 2024-07-15T12:00:00Z HGIRZZZ M q=Q|STN1 2024-07-15T12:00:00Z HGIRZZZ M|"
     "STN1 2024-07-15T12:00:00Z PPDRZZZ 0.001 q=Q|STN1 2024-07-15T12:00:00Z SWIRZZZ 0.001",
     "E1: bad value \"++\" for HG\nE1: bad value \".\" for HG\nE1: bad value \"MMM\" for HG\n"
     "E1: bad value \"+++\" for HG\n"},
    {"4.4.1: DN without DH takes hour 24 local, 12 Zulu",
     ".A ABC 0705 C DN30/HG 1.0/DH06/HG 2.0\n.A ABC 0705 Z DN30/HG 3.0", vyr::test::kRef,
     "ABC 2026-07-06T05:30:00Z HGIRZZZ 1|ABC 2026-07-05T11:00:00Z HGIRZZZ 2|"
     "ABC 2026-07-05T12:30:00Z HGIRZZZ 3",
     ""},
    {"4.1.1 J-009 J-010 J-011: continuations in sequence, of their message, after no error",
     ".A STN1 20240715 Z DH12/HG 1.0\n.A2 HG 2.0\n.A3 HG 3.0\n"
     ".AR STN2 20240715 Z DH12/HG 4.0\n.AR0 HG 5.0\n"
     ".A STN3 20240715 Z DH12/HG 6.0\n.AR1 HG 7.0\n"
     ".E STN4 20240715 Z DH12/HG/DIH1/8.0\n.A1 HG 9.0",
     vyr::test::kRef,
     "STN1 2024-07-15T12:00:00Z HGIRZZZ 1|STN2 2024-07-15T12:00:00Z HGIRZZZ 4 rev|"
     "STN3 2024-07-15T12:00:00Z HGIRZZZ 6|STN4 2024-07-15T12:00:00Z HGIRZZZ 8",
     "E2: continuation line .A2 out of sequence: .A1 expected\n"
     "E3: continuation line .A3 continues a line with an error: not decoded\n"
     "E5: continuation line .AR0 out of sequence: .AR1 expected\n"
     "E7: continuation line .AR1 does not belong to the .A message\n"
     "E9: continuation line .A1 does not belong to the .E message\n"},
    {"Table 9b J-039, 4.1.2 J-047: years 1753 to 2199, identifiers of 3 to 8 characters",
     ".A STN1 82010224 Z DH12/HG 1.0\n.A STN1 20240715 Z DH12/HG 1.0/DT23/HG 2.0\n"
     ".A AB 20240715 Z DH12/HG 3.0\n.A ABCDEFGHI 20240715 Z DH12/HG 4.0\n"
     ".A ABC 20240715 Z DH12/HG 5.0",
     vyr::test::kRef, "STN1 2024-07-15T12:00:00Z HGIRZZZ 1|ABC 2024-07-15T12:00:00Z HGIRZZZ 5",
     "E1: date \"82010224\" names a year outside 1753 to 2199\n"
     "E2: date/time element DT23 names a year outside 1753 to 2199\n"
     "E3: identifier \"AB\" must have 3 to 8 characters\n"
     "E4: identifier \"ABCDEFGHI\" must have 3 to 8 characters\n"},
    {"J-030: a send code followed by more letters is no code",
     ".A STN1 20240715 C DH08/QYD 1.0/QY 2.0", vyr::test::kRef,
     "STN1 2024-07-15T12:00:00Z QRIRZZZ 2",
     "E1: parameter code \"QYD\" begins with the send code QY, which is written alone\n"},
    {"J-021: an unknown qualifier loses its value", ".A STN1 20240715 Z DH12/HG 6A/HG 7E",
     vyr::test::kRef, "STN1 2024-07-15T12:00:00Z HGIRZZZ 7 q=E",
     "E1: unknown data qualifier 'A' in \"6A\"; value lost\n"},
    {"4.4.2: a creation date's year by the reference date, and it comes first",
     ".A STN1 20240715 Z DH12/DC07141800/HGIF 2.0/DC2407141800/HGIF 3.0",
     {2024, 7, 20},
     "STN1 2024-07-15T12:00:00Z HGIFZZZ 2 dc=2024-07-14T18:00:00Z|"
     "STN1 2024-07-15T12:00:00Z HGIFZZZ 3 dc=2024-07-14T18:00:00Z",
     ""},
    {"4.4.2: a creation date after its observation is told",
     ".A STN1 20240715 Z DH12/DC07141800/HGIF 2.0", vyr::test::kRef,
     "STN1 2024-07-15T12:00:00Z HGIFZZZ 2 dc=2026-07-14T18:00:00Z",
     "W1: creation date 2026-07-14T18:00:00Z later than the observation time "
     "2024-07-15T12:00:00Z (told once a message)\n"},
    {"4.1.4 4.4.2: a year inferred far from the creation date's is told",
     ".A STN1 0715 Z DH12/DC201307141800/HGIF 2.0/HGIF 3.0", vyr::test::kRef,
     "STN1 2026-07-15T12:00:00Z HGIFZZZ 2 dc=2013-07-14T18:00:00Z|"
     "STN1 2026-07-15T12:00:00Z HGIFZZZ 3 dc=2013-07-14T18:00:00Z",
     "W1: Year inferred as 2026, but the creation date says 2013: give the product's date with "
     "-ho\n"},
    {"Table 9b note 2 J-079: DJ of 3, 5 or 7 digits",
     ".A STN1 20240101 Z DH06/DJ060/HG 1.0/DJ60/HG 2.0", vyr::test::kRef,
     "STN1 2024-02-29T06:00:00Z HGIRZZZ 1",
     "E1: bad date/data-type element \"DJ60\"; rest of the message dropped\n"},
    {"4.4.4: an interval of zero is no interval", ".E STN1 20240715 Z DH12/HG/DIH0/1/2",
     vyr::test::kRef, "", "E1: bad date/data-type element \"DIH0\"; rest of the message dropped\n"},
    {"J-049: a byte outside ASCII is an error of its field",
     ".A AB\xC3\x87 20240715 Z DH12/HG 1.0\n.A STN1 20240715 Z DH12/PP \xC3\xA9/HG 1.0",
     vyr::test::kRef, "STN1 2024-07-15T12:00:00Z HGIRZZZ 1",
     "E1: bad station identifier \"AB\\xC3\\x87\"\nE2: bad value \"\\xC3\\xA9\" for PP\n"},
    {"4.4.7: a value of more than 15 significant digits cannot be kept as written",
     ".A STN1 20240715 Z DH12/HG 99999999999999999999/HG 000123456789012345", vyr::test::kRef,
     "STN1 2024-07-15T12:00:00Z HGIRZZZ 123456789012345",
     "E1: value \"99999999999999999999\" has more than 15 significant digits; value lost\n"},
    // Kept on purpose, and the choices where the manual leaves a case open.
    {"4.3 J-057: a blank for the slash of a .B header is read, with a warning",
     ".B KILG 20210920 DH0500 PPH/TA\nSTN1 0.10/50\n.END", vyr::test::kRef,
     "STN1 2021-09-20T05:00:00Z PPHRZZZ 0.1|STN1 2021-09-20T05:00:00Z TAIRZZZ 50",
     "W1: blank instead of \"/\" between \"DH0500\" and \"PPH\" in the .B header (told once a "
     "message)\n"},
    {"4.5.2 5.2.1: a body date after a body DR keeps the DR",
     ".B SRC 20240715 Z DH12/HG/HG/DRH-2/HG\nSTN1 DRH-1/1.0/DH08/2.0/3.0\n.END", vyr::test::kRef,
     "STN1 2024-07-15T11:00:00Z HGIRZZZ 1|STN1 2024-07-15T07:00:00Z HGIRZZZ 2|"
     "STN1 2024-07-15T07:00:00Z HGIRZZZ 3",
     ""},
    {"4.4.3 Table 11a: after DVZ a code of duration V takes its element's default",
     ".A STN1 20240715 Z DH12/DVH06/PPV 0.50/DVZ/PPV 1.00/QRV 2.0", vyr::test::kRef,
     "STN1 2024-07-15T12:00:00Z PPVRZZZ 0.5 dv=1006|STN1 2024-07-15T12:00:00Z PPDRZZZ 1|"
     "STN1 2024-07-15T12:00:00Z QRIRZZZ 2",
     ""},
    {"4.4.4 J-038: a DIE series restarted off a month end is lost, told once, to a month end",
     ".E STN1 20240131 Z DH12/HG/DIE1/1.0/2.0/DD15/3.0/4.0/DM0331/5.0/6.0", vyr::test::kRef,
     "STN1 2024-01-31T12:00:00Z HGIRZZZ 1|STN1 2024-02-29T12:00:00Z HGIRZZZ 2|"
     "STN1 2024-03-31T12:00:00Z HGIRZZZ 5|STN1 2024-04-30T12:00:00Z HGIRZZZ 6",
     "E1: series step (DI) from 2024-01-15 12:00:00: a month-end step needs a month's last "
     "day\n"},
};

TEST(shef_series, the_manuals_rules) {
    for (const ManualCase &c : kManualCases) {
        const Decoded d = decode_text(c.input, c.ref);
        EXPECT_EQ(d.all(), c.rows) << c.name;
        EXPECT_EQ(notes_of(d), c.notes) << c.name;
    }
}

// A block holds its values until its .END, up to a bound: past it the block
// is an error of its own, and decoding goes on after its .END.
TEST(shef_series, a_block_too_large_is_refused) {
    std::string text = ".B SRC 20240715 Z DH12/HG/HG\n";
    for (int i = 0; i < 50000; ++i) text += "ST" + std::to_string(i % 1000 + 100) + " 1.0/2.0\n";
    text += "STX 3.0\n.END\n.A STN1 20240715 Z DH12/HG 4.0\n";
    Decoded d = decode_text(text);
    EXPECT_EQ(d.all(), "STN1 2024-07-15T12:00:00Z HGIRZZZ 4");
    EXPECT_EQ(notes_of(d),
              "E50002: .B block of line 1 has more than 100000 values: none of them "
              "are written\n");
    // One value fewer is written whole, at the .END.
    text = ".B SRC 20240715 Z DH12/HG/HG\n";
    for (int i = 0; i < 50000; ++i) text += "ST" + std::to_string(i % 1000 + 100) + " 1.0/2.0\n";
    d = decode_text(text + ".END");
    EXPECT_EQ(d.counts.values, 100000);
    EXPECT_EQ(d.lines.back(), 50001);
    EXPECT_TRUE(d.notes.empty());
}

TEST(shef_series, continuation_lines_and_revisions) {
    Decoded d = decode_text(
        ".AR STN1 20240715 Z DH12/HG 1\n"
        ": a comment line neither starts nor ends a message\n"
        ".A1 PP 2.0\n"
        ".AR2 TA 3\n");
    EXPECT_EQ(d.all(),
              "STN1 2024-07-15T12:00:00Z HGIRZZZ 1 rev|STN1 2024-07-15T12:00:00Z PPDRZZZ 2 rev|"
              "STN1 2024-07-15T12:00:00Z TAIRZZZ 3 rev");
    EXPECT_EQ(d.lines, (std::vector<long>{1, 3, 4}));
    EXPECT_TRUE(d.notes.empty()) << notes_of(d);

    // A revision continuation does not belong to a plain message, nor a .B
    // header line to an .A; once one is refused, so are the later ones; any
    // other line ends the message.
    d = decode_text(
        ".A STN1 20240715 Z DH12/HG 1\n"
        ".AR1 PP 2.0\n"
        ".B1 PP\n"
        ".A2 TA 3\n"
        "some text\n"
        ".A3 TA 4\n"
        ".A101 TA 5\n");
    EXPECT_EQ(d.all(), "STN1 2024-07-15T12:00:00Z HGIRZZZ 1");
    EXPECT_EQ(notes_of(d),
              "E2: continuation line .AR1 does not belong to the .A message\n"
              "E3: continuation line .B1 does not belong to the .A message\n"
              "E4: continuation line .A2 continues a line with an error: not decoded\n"
              "E6: continuation line .A3 without a message\n"
              "E7: not a SHEF message line: \".A101 TA 5\"\n");

    // A rejected message takes its continuation lines with it.
    d = decode_text(".A STN1 20241332 Z DH12/HG 1\n.A1 PP 2.0\n.A STN2 20240715 Z DH12/HG 3\n");
    EXPECT_EQ(d.all(), "STN2 2024-07-15T12:00:00Z HGIRZZZ 3");
    EXPECT_EQ(notes_of(d),
              "E1: bad date \"20241332\"\n"
              "E2: continuation line .A1 continues a line with an error: not decoded\n");
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
        {".AR STN1 20240715 Z DH12/HPIRWZZ/ 529.52/HG/PP 1.0",
         "STN1 2024-07-15T12:00:00Z HPIRWZZ 529.52 rev|STN1 2024-07-15T12:00:00Z PPDRZZZ 1 rev",
         ""},
        // A bad value or code costs that value; a detached qualifier is
        // dropped, its value kept.
        {".A STN1 20240715 Z DH12/HG 1,5/HG? 2/HG 1.5 Q/HG 3",
         "STN1 2024-07-15T12:00:00Z HGIRZZZ 1.5|STN1 2024-07-15T12:00:00Z HGIRZZZ 3",
         "E1: bad value \"1,5\" for HG\nE1: bad character in parameter code \"HG?\"\n"
         "E1: qualifier \"Q\" apart from its value dropped\n"},
        // A bad element costs the rest of the message.
        {".A STN1 20240715 Z DH12/HG 1/DH25/HG 2\n.A1 HG 3", "STN1 2024-07-15T12:00:00Z HGIRZZZ 1",
         "E1: bad date/data-type element \"DH25\"; rest of the message dropped\n"
         "E2: continuation line .A1 continues a line with an error: not decoded\n"},
        // A word after the date that is no zone and no start of the data
        // string refuses the message.
        {".A STN1 20240715 QS DH07/HG 1.5", "",
         "E1: bad time zone \"QS\" (or a data string without its \"/\")\n"},
        {".A STN1 20240715 Z DH12/DQE/HG 2/HG 3R/HG 4Z/DQZ/HG 5/HG 6A",
         "STN1 2024-07-15T12:00:00Z HGIRZZZ 2 q=E|STN1 2024-07-15T12:00:00Z HGIRZZZ 3 q=R|"
         "STN1 2024-07-15T12:00:00Z HGIRZZZ 4|STN1 2024-07-15T12:00:00Z HGIRZZZ 5",
         "E1: unknown data qualifier 'A' in \"6A\"; value lost\n"},
        {".A STN1 20240715 Z DH12/DVH06/PPV 0.5/DVZ/PPV 1.0/HG T",
         "STN1 2024-07-15T12:00:00Z PPVRZZZ 0.5 dv=1006|STN1 2024-07-15T12:00:00Z PPDRZZZ 1",
         "E1: trace (T) given for HG, not a precipitation or snow element\n"},
        {".APPLE AND LUCERNE VALLEYS\n.C KCDM7 820102 Z DH12/HG 9.9\n.TODAY...SUNNY\n"
         " .A STN1 20240715 Z DH12/HG 1",
         "",
         "E1: not a SHEF message line: \".APPLE AND LUCERNE V\"\n"
         "E2: not a SHEF message line: \".C KCDM7 820102 Z DH\"\n"
         "E4: message line without its dot in column one: \".A STN1 20240715 Z D\"\n"},
        {".A STN1 20240715 Z DH12/HG 1 \"gage iced, \"\"est\"/PP 2.0'late/PP 3.0\"open",
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
    // column; a block left open loses its values.
    const char *block =
        ".B SRC 20240715 Z DH12/HG/13/PP\n"
        "ST1 1/2/3.0, ST2 4/DH99/5/6\n"
        "ST3 7/8/9.0\n"
        ".B1 TA\n"
        "S*4 1\n";
    d = decode_text(std::string(block) + ".END");
    EXPECT_EQ(d.all(),
              "ST1 2024-07-15T12:00:00Z HGIRZZZ 1|ST1 2024-07-15T12:00:00Z PPDRZZZ 3|"
              "ST2 2024-07-15T12:00:00Z HGIRZZZ 4|ST3 2024-07-15T12:00:00Z HGIRZZZ 7|"
              "ST3 2024-07-15T12:00:00Z PPDRZZZ 9");
    EXPECT_EQ(notes_of(d),
              "E1: bad physical element in \"13\"\n"
              "E2: bad date/data-type element \"DH99\" for ST2; rest of its values dropped\n"
              "E4: continuation line .B1 in the body of a .B block\n"
              "E5: bad station identifier \"S*4\" in .B body\n");
    d = decode_text(std::string(block) + ".A STN1 20240715 Z DH12/HG 1\n" +
                    ".B SRC 20240715 Z DH12/HG\nST5 1\n");
    EXPECT_EQ(d.all(), "STN1 2024-07-15T12:00:00Z HGIRZZZ 1");
    EXPECT_EQ(d.counts.values, 1);
    EXPECT_EQ(d.notes[4],
              "E6: .B block of line 1 not closed by .END before the next message: its "
              "values are not written");
    EXPECT_EQ(d.notes[5],
              "E8: .B block of line 7 not closed by .END at the end of the input: its "
              "values are not written");

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
         "E1: bad value \"X\" for HG\n"},
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
// Through the stream reader, or line by line from the suite's line reader:
// what the stream reader must give.
StreamResult decode_bytes(std::string bytes, bool by_lines = false) {
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
    if (by_lines)
        vyr::test::decode_by_lines(in, dec);
    else
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
    std::string big =
        ".A STN1 20240715 Z DH12/HG 1\n" + std::string(vyr::series::kLineMax + 1, 'x');
    big += "\n.A1 PP 2.0\n.A STN2 20240715 Z DH12/HG 3\n";
    r = decode_bytes(big);
    EXPECT_EQ(r.skipped, 2);
    EXPECT_EQ(r.rows, (std::vector<std::string>{"1:STN1 2024-07-15T12:00:00Z HGIRZZZ 1",
                                                "4:STN2 2024-07-15T12:00:00Z HGIRZZZ 3"}));
    EXPECT_EQ(r.notes, (std::vector<std::string>{"3: continuation line .A1 without a message"}));
}

// Random texts of SHEF words, line ends of every kind, lower case, colons,
// tabs and bytes outside ASCII, over several read blocks: the stream reader,
// which finds lines and their need of cleaning a word at a time, gives what
// the suite's line reader gives.
TEST(shef_series, stream_reader_finds_the_lines_of_the_line_reader) {
    static const char *const kPieces[] = {".A STN1 0715 Z DH12/HG 1.5",
                                          ".B SRC 0715 Z DH12/HG/PP",
                                          "STN2 1.0/2.",
                                          ".END",
                                          ".E STN3 0715 Z DH00/HG/DIH01/1/2",
                                          "/PP 0.12E",
                                          ":comment: ",
                                          "\r",
                                          "\n",
                                          "\r\n",
                                          "\r\r\n",
                                          "\t",
                                          "\xC3\xA9",
                                          "\x7F",
                                          "a",
                                          "z",
                                          "{",
                                          "~",
                                          "'retained Text'",
                                          " ",
                                          "=",
                                          "&",
                                          "0"};
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    std::size_t rows = 0;
    for (int round = 0; round < 12; ++round) {
        std::string text = round % 3 == 0 ? "\xEF\xBB\xBF" : "";
        const std::size_t size = round < 4 ? 300 : 70000 + round * 9000;
        while (text.size() < size) text += kPieces[(next() >> 8) % std::size(kPieces)];
        if (round == 5) text += std::string(1 << 16, 'x');  // a long last line, no end
        const StreamResult got = decode_bytes(text), want = decode_bytes(text, true);
        EXPECT_EQ(got.rows, want.rows) << round;
        EXPECT_EQ(got.notes, want.notes) << round;
        EXPECT_EQ(got.skipped, want.skipped) << round;
        rows += want.rows.size();
    }
    EXPECT_GT(rows, 1000u);  // the texts hold values, not only errors
    // A line of exactly the limit is read, one byte more is skipped.
    for (std::size_t n : {vyr::series::kLineMax - 1, vyr::series::kLineMax}) {
        const std::string text =
            ".A STN1 0715 Z DH12/HG 1\n:" + std::string(n, 'x') + "\r\n.A1 PP 2";
        const StreamResult got = decode_bytes(text), want = decode_bytes(text, true);
        EXPECT_EQ(got.rows, want.rows) << n;
        EXPECT_EQ(got.skipped, want.skipped) << n;
    }
}

// The reader's scans stop at the first byte of their set wherever it
// stands in a word, the wide scan as the word-at-a-time one.
TEST(shef_series, line_scans_stop_at_the_first_byte_of_their_set) {
    auto marked = [](unsigned char c) {
        return c < 0x20 || c >= 0x61 || c == ':' || c == ',' || c == '"' || c == '\'';
    };
    auto line_end = [](unsigned char c) { return c == '\n' || c == '\r'; };
    static constexpr char kCommon[] = "ABCZ 0189./-+";
    uint32_t seed = 7;
    auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    for (int round = 0; round < 3000; ++round) {
        std::vector<char> buf(96 + 32);
        for (char &b : buf)
            b = next() % 10 < 8 ? kCommon[next() % (sizeof kCommon - 1)]
                                : static_cast<char>(next());
        const std::size_t stop = next() % 96;
        buf[stop] = '\n';
        const char *const b = buf.data();
        for (std::size_t from = 0; from <= stop; from += 1 + next() % 7) {
            std::size_t mark = from, end = from;
            while (!marked(static_cast<unsigned char>(b[mark]))) ++mark;
            while (!line_end(static_cast<unsigned char>(b[end]))) ++end;
            using namespace vyr::series::detail;
            ASSERT_EQ(first_mark(b + from), b + mark) << round;
            ASSERT_EQ(first_mark_words(b + from), b + mark) << round;
            ASSERT_EQ(first_line_end(b + from), b + end) << round;
            ASSERT_EQ(first_line_end_words(b + from), b + end) << round;
        }
    }
}

// With block marks, a writer takes a block's values as they are read and
// takes them back at a Drop: what stands must be what holding gives.
TEST(shef_series, block_marks_give_what_holding_gives) {
    const char *const kTexts[] = {
        ".B SRC 0715 Z DH12/HG/PP\nST1 1/2\nST2 3/4 'c'\n.END\n.A ST3 0715 Z DH12/HG 5",
        ".B SRC 0715 Z DH12/HG\nST1 1\n.A ST3 0715 Z DH12/HG 5\nST4 6",  // closed by a message
        ".B SRC 0715 Z DH12/HG\nST1 1\nST2 2",                           // by the end
        ".B SRC 0715 QQ DH12/HG\nST1 1\n.END\n.B SRC 0715 Z DH12/HG\nST2 2\n.END",
        ".A ST3 0715 Z DH12/HG 5\n.END\n.B SRC 0715 Z DH12/HG/DVZ/PPV\nST1 1/2\n.END",
        ".B SRC 0715 Z DH12/HG\n.END\n.END\n.B SRC 0715 Z DH12/HG\nST1 7\n.B1 PP\n.END",
        // Cleaned lines share one buffer: each group keeps its own station.
        ".B SRC 0715 Z DH12/HG\nST1 1 :a:\nST2 2 :b:\nST2 3 :c:\n.END",
    };
    for (const char *text : kTexts) {
        const Decoded held = decode_text(text);
        std::vector<std::string> rows, marks;
        std::size_t block_start = 0;
        bool open = false;
        vyr::series::Decoder dec(
            vyr::series::Parm::builtin(), vyr::test::kRef,
            [&](const vyr::series::Record &r) { rows.push_back(vyr::test::row_text(r)); }, {});
        dec.set_on_block([&](vyr::series::Decoder::BlockMark m) {
            using M = vyr::series::Decoder::BlockMark;
            marks.push_back(m == M::Begin ? "B" : m == M::Keep ? "K" : "D");
            EXPECT_EQ(open, m != M::Begin) << text;  // marks come in pairs
            open = m == M::Begin;
            if (m == M::Begin) block_start = rows.size();
            if (m == M::Drop) rows.resize(block_start);
        });
        std::string_view rest = text;
        for (long n = 1; !rest.empty(); ++n) {
            const std::size_t nl = rest.find('\n');
            dec.line(rest.substr(0, nl), n);
            rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
        }
        dec.finish();
        EXPECT_FALSE(open) << text;
        EXPECT_EQ(rows, held.rows) << text;
        EXPECT_EQ(rows.size(), static_cast<std::size_t>(held.counts.values)) << text;
        EXPECT_EQ(dec.counts().values, held.counts.values) << text;
        EXPECT_EQ(dec.counts().errors, held.counts.errors) << text;
    }
}

// Any callable takes the values: a lambda, a function, an OnValue, none.
void count_record(const vyr::series::Record &) { ++g_function_records; }
TEST(shef_series, any_callable_takes_the_values) {
    const std::string_view line = ".A STN1 0715 Z DH12/HG 1/PP 2";
    long lambda_records = 0, function_records = 0;
    auto decode = [&](auto &&on_value) {
        vyr::series::Decoder dec(vyr::series::Parm::builtin(), vyr::test::kRef,
                                 std::forward<decltype(on_value)>(on_value), {});
        dec.line(line, 1);
        dec.finish();
        return dec.counts().values;
    };
    EXPECT_EQ(decode([&](const vyr::series::Record &) { ++lambda_records; }), 2);
    EXPECT_EQ(lambda_records, 2);
    vyr::series::Decoder::OnValue fn = [&](const vyr::series::Record &) { ++function_records; };
    EXPECT_EQ(decode(fn), 2);
    EXPECT_EQ(function_records, 2);
    g_function_records = 0;
    EXPECT_EQ(decode(&count_record), 2);
    EXPECT_EQ(g_function_records, 2);
    EXPECT_EQ(decode(vyr::series::Decoder::OnValue()), 2);  // none: counted all the same
    EXPECT_EQ(decode(nullptr), 2);
}

// The writer keeps the text of the row before; each part that changes
// must be made again: line numbers counted on across their digits, a
// station, a time or a qualifier of its own, a creation date that comes
// and goes, durations that take turns.
TEST(shef_series, csv_rows_made_from_the_row_before) {
    const vyr::series::Code hg{{'H', 'G'}, 'I', {'R', 'Z'}, 'Z', 'Z', 0, false, {}, true, 1};
    const vyr::series::Code pp{{'P', 'P'}, 'H', {'R', 'G'}, 'X', 'Z', 1001, false, {}, true, 1};
    struct Row {
        const char *station;
        long line;
        int64_t obs;
        const vyr::series::Code *code;
        int duration;
        char qualifier;
        int64_t creation;  // -1: none
        const char *want;  // the row after its station
    } rows[] = {
        {"ST1", 8, 0, &hg, 0, 0, -1, "1970-01-01T00:00:00Z,HG,I,RZ,Z,Z,1,,,0,.A,8,0,"},
        {"ST1", 9, 0, &pp, 1001, 0, -1, "1970-01-01T00:00:00Z,PP,H,RG,X,Z,1,,,0,.A,9,1001,"},
        {"ST1", 10, 0, &hg, 0, 'E', -1, "1970-01-01T00:00:00Z,HG,I,RZ,Z,Z,1,E,,0,.A,10,0,"},
        {"ST1", 11, 0, &hg, 0, 'E', -1, "1970-01-01T00:00:00Z,HG,I,RZ,Z,Z,1,E,,0,.A,11,0,"},
        {"ST2", 99, 60, &hg, 0, 0, -1, "1970-01-01T00:01:00Z,HG,I,RZ,Z,Z,1,,,0,.A,99,0,"},
        {"ST2", 100, 60, &hg, 1009, 0, 86400,
         "1970-01-01T00:01:00Z,HG,I,RZ,Z,Z,1,,1970-01-02T00:00:00Z,0,.A,100,1009,"},
        {"ST22", 101, 60, &hg, 0, 0, -1, "1970-01-01T00:01:00Z,HG,I,RZ,Z,Z,1,,,0,.A,101,0,"},
        {"ST2", 1999, -1, &hg, 0, 0, -1, "1969-12-31T23:59:59Z,HG,I,RZ,Z,Z,1,,,0,.A,1999,0,"},
        {"ST2", 2000, -1, &hg, 9, 0, -1, "1969-12-31T23:59:59Z,HG,I,RZ,Z,Z,1,,,0,.A,2000,9,"},
        {"ST2", 2000, -1, &hg, 0, 0, -1, "1969-12-31T23:59:59Z,HG,I,RZ,Z,Z,1,,,0,.A,2000,0,"},
        {"ST2", 7, -1, &hg, 0, 0, -1, "1969-12-31T23:59:59Z,HG,I,RZ,Z,Z,1,,,0,.A,7,0,"},
    };
    vyr::test::TempStream out;
    std::string want;
    {
        vyr::series::CsvWriter csv(out.get());
        for (const Row &w : rows) {
            vyr::series::Record r{
                w.station,       w.obs,      w.code, w.duration, false,  "1", w.qualifier,
                w.creation >= 0, w.creation, false,  'A',        w.line, {}};
            csv.row(r);
            want += std::string(w.station) + "," + w.want + "\n";
        }
        EXPECT_TRUE(csv.flush());
    }
    EXPECT_EQ(out.text(), want);
}

// A decoder writing to the CSV writer itself writes the rows that handing
// each record to row() gives: quick and general values mixed on a line,
// lines of every message type, blocks kept and dropped, and two inputs in
// turn into one writer, as the program decodes them.
TEST(shef_series, write_csv_gives_the_rows_of_row) {
    const std::string texts[] = {
        ".A STN1 20240715 Z DH12/HG 1.5/HG 2.5E/HG 3.5/PP 125/TA M/TA MMQ/HG -9999/HG 1.23456\n"
        ".A1 DC202407141800/HG 3.0 'c, \"q\"'/HG 4/DH13/HG 5/DRH-1/HG 6\n"
        ".AR STN1 20240715 Z DH12/HGIF 7/HG 8\n",
        ".B SRC 20240715 Z DH12/HG/PP/TA/DUS/TA\nST1 1/2.00/M/20\nST2 3/4E/ 7/21\n"
        "ST3 DH13/5/6\nST4 7,ST5 8/9\n.END\n.B SRC 20240715 Z DH12/HG\nST6 9\n"
        ".A STN2 0715 C DH24/HG 0.0/HG -0.50/HG 00.5\n",
        ".E SER1 20240715 Z DH12/HG/DIH06/1/2//4\n.E1 5/6\n.A STN3 20240715 Z DH12/HG 1\n"
        ".A STN3 20240715 Z DH12/HG 1\n.A STN4 20240715 Z DH12/HG 1\n",
    };
    auto decode = [&](bool direct) {
        vyr::test::TempStream out;
        {
            vyr::series::CsvWriter csv(out.get());
            csv.header();
            for (const std::string &text : texts) {
                std::string bytes = text;
                FILE *in = fmemopen(bytes.data(), bytes.size(), "r");
                vyr::series::Decoder dec(vyr::series::Parm::builtin(), vyr::test::kRef,
                                         [&](const vyr::series::Record &r) { csv.row(r); }, {});
                if (direct)
                    dec.write_csv(csv);
                else
                    dec.set_on_block([&](vyr::series::Decoder::BlockMark m) { csv.block(m); });
                EXPECT_TRUE(vyr::series::decode_stream(in, dec));
                std::fclose(in);
            }
            EXPECT_TRUE(csv.flush());
        }
        return out.text();
    };
    const std::string by_row = decode(false);
    EXPECT_EQ(decode(true), by_row);
    EXPECT_EQ(std::count(by_row.begin(), by_row.end(), '\n'), 39);  // the header and 38 rows
}

// The writer keeps a block's rows apart until its end, however many: a
// Drop takes them all back, a Keep writes them in their place.
TEST(shef_series, csv_writer_takes_a_block_back) {
    using M = vyr::series::Decoder::BlockMark;
    const vyr::series::Code code{{'H', 'G'}, 'I', {'R', 'Z'}, 'Z', 'Z', 0, false, {}, true, 1};
    vyr::series::Record r{"STN1", 0, &code, 0, false, "1.5", 0, false, 0, false, 'B', 1, {}};
    for (const M end : {M::Drop, M::Keep}) {
        vyr::test::TempStream out;
        {
            vyr::series::CsvWriter csv(out.get());
            r.line = 1;
            csv.row(r);
            csv.block(M::Begin);
            for (r.line = 2; r.line < 20000; ++r.line) csv.row(r);  // far more than a block
            csv.block(end);
            r.line = 20000;
            csv.row(r);
            csv.block(M::Begin);
            csv.row(r);  // never ended: dropped at the flush
            EXPECT_TRUE(csv.flush());
        }
        const std::string text = out.text();
        const std::size_t rows =
            static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
        EXPECT_EQ(rows, end == M::Keep ? 20000u : 2u);
        EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1),
                  "STN1,1970-01-01T00:00:00Z,HG,I,RZ,Z,Z,1.5,,,0,.B,20000,0,\n");
    }
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
    // A child starts as a copy of this process, and the kernel counts that
    // copy's size too: the bound is above this process's own peak.
    struct rusage self {
    }, ru{};
    ASSERT_EQ(getrusage(RUSAGE_SELF, &self), 0);
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &ru), 0);
    EXPECT_LT(ru.ru_maxrss, self.ru_maxrss + 16 * 1024) << "KiB";  // the line alone is 64 MiB
    EXPECT_NE(vyr::test::read_file(err).find("Line 1 longer than 1 MiB skipped\n"),
              std::string::npos)
        << vyr::test::read_file(err);
#endif
}

TEST(shef_series, csv_rows) {
    std::string text =
        ".AR STN1 20240715 Z DH12/DC202407141800/HGIF 2.50 'a, \"b\"'\n"
        ".E SER1 20240715 Z DH12/DVH06/PPV/DIH6/M/1.0\n";
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
