// The real SHEF products of ../shared/corpus: the manual's examples against
// their golden CSV, and every file against its recorded digest. Skipped
// when the corpus is absent. VYR_UPDATE_GOLDEN=1 rewrites both records
// (review the difference before committing it).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "shef_series.h"
#include "shef_series_util.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(VYR_SOURCE_DIR) / ".." / "shared" / "corpus";
const fs::path kGolden = fs::path(VYR_SOURCE_DIR) / "tests" / "shef";

bool updating() {
    const char *u = std::getenv("VYR_UPDATE_GOLDEN");
    return u != nullptr && *u == '1';
}

struct Result {
    std::string csv;
    vyr::series::Counts counts;
};

Result convert_file(const fs::path &p) {
    FILE *in = std::fopen(p.c_str(), "rb");
    vyr::test::TempStream out;
    Result r;
    if (in == nullptr) return r;
    const vyr::series::Conversion c =
        vyr::series::convert(in, out.get(), vyr::series::Parm::builtin(), vyr::test::kRef, {});
    std::fclose(in);
    EXPECT_TRUE(c.read_ok && c.write_ok) << p;
    r.csv = out.text();
    r.counts = c.counts;
    return r;
}

TEST(shef_corpus, manual_examples_match_their_golden_csv) {
    const fs::path src = kCorpus / "manual" / "shef_code_manual_2012_examples.shef";
    if (!fs::exists(src)) GTEST_SKIP() << "no corpus at " << kCorpus;
    const Result r = convert_file(src);
    const fs::path golden = kGolden / "manual_2012_examples.csv";
    if (updating()) vyr::test::write_file(golden, r.csv);
    EXPECT_EQ(r.csv, vyr::test::read_file(golden));
}

TEST(shef_corpus, every_file_decodes_to_its_recorded_digest) {
    if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no corpus at " << kCorpus;
    std::map<std::string, std::string> got;  // file -> "digest rows errors warnings"
    for (const auto &e : fs::recursive_directory_iterator(kCorpus)) {
        if (!e.is_regular_file() || e.path().filename() == "SOURCES.md") continue;
        const Result r = convert_file(e.path());
        std::ostringstream line;
        line << vyr::test::digest(r.csv) << ' ' << r.counts.values << ' ' << r.counts.errors << ' '
             << r.counts.warnings;
        got[fs::relative(e.path(), kCorpus).string()] = line.str();
    }
    const fs::path record = kGolden / "corpus_digests.txt";
    if (updating()) {
        std::string text;
        for (const auto &[file, line] : got) text += file + ' ' + line + '\n';
        vyr::test::write_file(record, text);
    }
    std::map<std::string, std::string> want;
    std::istringstream in(vyr::test::read_file(record));
    for (std::string file, rest; in >> file && std::getline(in, rest);) want[file] = rest.substr(1);
    EXPECT_EQ(got.size(), want.size());
    for (const auto &[file, line] : got) {
        const auto it = want.find(file);
        ASSERT_NE(it, want.end()) << file << " has no recorded digest";
        EXPECT_EQ(line, it->second) << file;
    }
}

}  // namespace
