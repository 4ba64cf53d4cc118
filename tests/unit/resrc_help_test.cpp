// The help listing: the converter's listing as users see it, and an entry of
// the same form for every catalogued resource.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "resrc_helpers.h"
#include "shef2raw_keys.h"
#include "test_util.h"
#include "vyr.h"
#include "vyr_int.h"
#include "vyrresrc.h"

TEST(resrc_help, converter_listing) {
    const std::vector<std::string> want = {
        "shef2raw syntax (version:5.60.4-LINUX-X11)",
        "   shef2raw [options...]",
        "Keyed options...",
        " -df file    Resource/defaults file name",
        " -na name    Program name",
        " -h          Print this help",
        " -ba         Run program in batch mode",
        " -me level   Message level to be displayed:",
        "               none,print,error,warn,mess,out1,*out2,out3,out4,debug",
        " -fp path    File path",
        " -dp path    Raw data path",
        " -cp path    Converted data path",
        " -gp path    Gridded data path",
        " -rp path    Raw files path",
        " -ip path    Image file path",
        " -wp path    Watch file data path",
        " -tp path    Text file path",
        " -mp path    Model file path",
        " -sp path    Satellite file path",
        " -cf file    City database file name",
        " -pr prior   Priority of stations used in the plot",
        " -nc type    Naming convention file name",
        " -if type    Input data file type",
        " -of type    Output file type",
        " -pf param   File parameters: use,calc,over,app",
        " -cu [hour]  Use current data file",
        " -ho hour    Actual hour of the file",
        " -nh hour[,step]  Number of hours to view",
        " -pa param[,...]  Program parameters",
        "Positional options...",
        " file [file...]  Input file names",
    };
    vyr::reset_messages();
    vyr::test::CapturedMessages cap;
    std::string direct = direct_stdout(
        [] { EXPECT_EQ(RES_help_print("shef2raw", shef2raw_res_key, shef2raw_res_pos), 1); });
    EXPECT_EQ(direct, "");
    std::string text = cap.out();
    EXPECT_EQ(cap.err(), "");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::vector<std::string> got = split_lines(text);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got[i], want[i]) << "line " << i + 1;
}

TEST(resrc_help, obeys_the_message_mask) {
    vyr::reset_messages();
    MESS_set_str("none");
    vyr::test::CapturedMessages cap;
    std::string direct =
        direct_stdout([] { RES_help_print("shef2raw", shef2raw_res_key, shef2raw_res_pos); });
    EXPECT_EQ(cap.out() + cap.err() + direct, "");
    vyr::reset_messages();
}

TEST(resrc_help, telling_entries) {
    const std::string domain_form =
        "               region=predefined region:\n"
        "                  us,ne,at,se,mw,sp,nw,sw,etc\n"
        "               proj=projection, clat=central latitude, clon=central longitude,\n"
        "               nx,ny=number of gridpoints and dx,dy=grid spacing\n";
    struct Row {
        res_type key;
        std::string text;
    };
    const Row rows[] = {
        {RES_region,
         " -re region or [proj],clat,clon[,nx,ny][,dx,dy]\n"
         "             Region to be used for plotting and gridding\n" +
             domain_form + "               us,ne,at,se,mw,sp,nw,sw,var\n"},
        {RES_plot_domain,
         " -pd region or [proj],clat,clon[,nx,ny][,dx,dy]\n"
         "             Output plot domain\n" +
             domain_form},
        {RES_grid_domain,
         " -gd region or [proj],clat,clon[,nx,ny][,dx,dy]\n"
         "             Grid domain\n" +
             domain_form},
        {RES_object_param,
         " -oa smooth[,radinf,pass,conv,min]\n"
         "             Objective analysis parameters\n"},
        {RES_plot_type, " -pl type    Plot type: cf,lcf,ln,dln,ndln,value,none\n"},
        {RES_draw, " -dr param[,...]  Draw components: text,data,sum,map,none\n"},
        {RES_device, " -de dev[,name]  Output device: d,p,q,w,m\n"},
        {RES_filename, " file        Input file name\n"},
        {RES_values, " val1 val2 ...  Input values:\n"},
    };
    vyr::reset_messages();
    for (const Row &r : rows) {
        vyr::test::CapturedMessages cap;
        EXPECT_EQ(RES_help_item(r.key), 1);
        EXPECT_EQ(cap.out(), r.text);
    }
}

// Every key with a catalogue row has an entry whose synopsis starts with its
// own command-line key; the others print their number directly.
TEST(resrc_help, entry_for_every_catalogued_key) {
    vyr::reset_messages();
    int entries = 0;
    for (int k = 1; k <= RES_replay; ++k) {
        auto key = static_cast<res_type>(k);
        RES_defobj row{};
        bool has_row = direct_stdout([&] { RES_enter(&row, key); }).empty();
        vyr::test::CapturedMessages cap;
        std::string direct = direct_stdout([&] { EXPECT_EQ(RES_help_item(key), 1); });
        std::string text = cap.out();
        SCOPED_TRACE(k);
        if (!has_row) {
            EXPECT_EQ(direct, std::to_string(k) + "\n");
            EXPECT_EQ(text, "");
            continue;
        }
        ++entries;
        EXPECT_EQ(direct, "");
        ASSERT_GT(text.size(), 13u);
        EXPECT_EQ(text.back(), '\n');
        if (row.pos == 0) {
            std::string lead = std::string(" -") + row.cmd;
            EXPECT_EQ(text.compare(0, lead.size(), lead), 0) << text;
            EXPECT_TRUE(text[lead.size()] == ' ' || text[lead.size()] == '\n') << text;
        } else {
            EXPECT_NE(text.compare(0, 2, " -"), 0) << text;
        }
    }
    EXPECT_EQ(entries, 92);
}
