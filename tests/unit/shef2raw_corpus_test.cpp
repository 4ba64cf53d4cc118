// The converter as a whole program over every real product of the corpus:
// it must end with status 0, write a raw file that the format's reader takes
// back whole, and write exactly what it wrote before (a digest per product,
// checked in beside this test, so that any change in decoding shows here
// and must be explained). VYR_UPDATE_DIGESTS=1 rewrites the digests.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "test_util.h"
#include "vyrraw.h"

namespace fs = std::filesystem;

namespace {

const fs::path kDigests = fs::path(VYR_SOURCE_DIR) / "tests" / "unit" / "shef2raw_corpus.digests";

std::string quoted(const std::string &s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::map<std::string, std::string> read_digests() {
    std::map<std::string, std::string> m;
    std::ifstream in(kDigests);
    for (std::string name, d; in >> d >> name;) m[name] = d;
    return m;
}

}  // namespace

TEST(shef2raw_corpus, every_product_converts_reads_back_and_stays_the_same) {
    const fs::path root = fs::path(VYR_SOURCE_DIR) / ".." / "shared" / "corpus";
    if (!fs::is_directory(root)) GTEST_SKIP() << "no corpus beside the project";
    const bool update = std::getenv("VYR_UPDATE_DIGESTS") != nullptr;
    const std::map<std::string, std::string> want = read_digests();
    std::map<std::string, std::string> got;
    vyr::test::ScratchDir dir("vyrcorpus");
    const std::string prog = std::string(VYR_BINARY_DIR) + "/shef2raw";

    for (const auto &e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file() || e.path().extension() == ".md") continue;
        const std::string rel = fs::relative(e.path(), root).string();
        // Literal names ("@"), a fixed output, no convention file in the
        // working directory and no message: the raw file alone is compared.
        const std::string cmd = "cd " + quoted(dir.path()) + " && " + quoted(prog) +
                                " -me none -of @out.raw " + quoted("@" + e.path().string());
        const int status = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << rel;
        const std::string out = vyr::test::read_file(dir.path() + "/out.raw");

        vyr::raw::Reader reader;
        ASSERT_EQ(reader.open((dir.path() + "/out.raw").c_str()), vyr::raw::Result::Ok) << rel;
        EXPECT_STREQ(reader.header().title, "SHEF Data") << rel;
        int records = 0;
        vyr::raw::Result r;
        while ((r = reader.next()) == vyr::raw::Result::Ok) {
            const vyr::raw::Record &rec = reader.record();
            ++records;
            EXPECT_FALSE(rec.cut) << rel << ": " << rec.line;
            EXPECT_GT(std::strlen(rec.id), 0u) << rel << ": " << rec.line;
            EXPECT_LE(std::strlen(rec.id), 10u) << rel << ": " << rec.line;
            // After the identifier, every word is one code and value pair.
            std::istringstream words(rec.line + rec.rest);
            for (std::string w; words >> w;) {
                const std::size_t eq = w.find('=');
                ASSERT_NE(eq, std::string::npos) << rel << ": " << rec.line;
                vyr::raw::Value v;
                EXPECT_TRUE(reader.find(std::string_view(w).substr(0, eq), v)) << rel << ": " << w;
            }
        }
        EXPECT_EQ(r, vyr::raw::Result::End) << rel;
        // Every record was read: no empty line cut the records short.
        EXPECT_EQ(records + 3, static_cast<int>(std::count(out.begin(), out.end(), '\n'))) << rel;
        got[rel] = vyr::test::digest(out);
        if (!update) {
            EXPECT_EQ(got[rel], want.count(rel) ? want.at(rel) : "(none)") << rel;
        }
    }
    EXPECT_GT(got.size(), 50u);
    if (update) {
        std::ofstream o(kDigests);
        for (const auto &[name, d] : got) o << d << ' ' << name << '\n';
    } else {
        EXPECT_EQ(got.size(), want.size()) << "products added or gone: VYR_UPDATE_DIGESTS=1";
    }
}
