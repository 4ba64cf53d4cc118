// shef2db as users run it, over both databases: four posters at once
// (their keys apart, then all on the same keys), and every product of the
// corpus, whose value log must hold exactly the rows shef2csv writes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "shef_series.h"
#include "shef_series_util.h"
#include "store_util.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using vyr::test::one;
using vyr::test::query;
using vyr::test::TestDatabase;

const fs::path kCorpus = fs::path(VYR_SOURCE_DIR) / ".." / "shared" / "corpus";

// Starts shef2db with the reference date of the worked examples, messages
// to a file in dir; the process id.
pid_t start(const std::string &db, const std::vector<std::string> &files, const std::string &dir,
            const std::string &log) {
    std::vector<std::string> args = {
        std::string(VYR_BINARY_DIR) + "/shef2db", "-ho", "#20261208", "-me", "error", "-db", db};
    args.insert(args.end(), files.begin(), files.end());
    const pid_t pid = fork();
    if (pid != 0) return pid;
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int out = open((dir + "/" + log).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (chdir(dir.c_str()) != 0 || out < 0) _exit(99);
    dup2(out, 1);
    dup2(out, 2);
    execv(argv[0], argv.data());
    _exit(98);
}

int finish(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int run(const std::string &db, const std::vector<std::string> &files, const std::string &dir) {
    return finish(start(db, files, dir, "serial.log"));
}

class store_program : public testing::TestWithParam<const char *> {
  protected:
    void SetUp() override {
        if (db.name().empty()) GTEST_SKIP() << "PostgreSQL tests skipped: " << db.why();
    }
    TestDatabase db{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(both, store_program, testing::ValuesIn(vyr::test::kKinds),
                         [](const testing::TestParamInfo<const char *> &i) {
                             return std::string(i.param);
                         });

// Product k of poster p: its own stations, repeated and revised values,
// missing ones, and a forecast series.
std::string product_text(int p, int k) {
    char t[512];
    std::snprintf(t, sizeof t,
                  ".A P%dS%d 1208 Z DH%02d/HG %d.%d/PP %d\n"
                  ".A%s P%dS%d 1208 Z DH%02d/HG %s\n"
                  ".A P%dS%d 1208 Z DH%02d/HG M/TA %d\n"
                  ".E P%dF 1208 Z DH00/HGIFF/DIH01/%d/%d/%d\n",
                  p, k % 4, k % 6, k, p, k % 3, k % 3 == 0 ? "R" : "", p, (k + 1) % 4, k % 5,
                  k % 2 ? "M" : std::to_string(k * 3).c_str(), p, k % 3, k % 4, k, p, k, k + 1,
                  k + 2);
    return t;
}

// Four posters at once, 25 products each, their keys apart: every value
// logged once, every product there, and the same tables as one poster
// posting them all in turn.
TEST_P(store_program, four_posters_at_once_equal_a_serial_posting) {
    TestDatabase serial(GetParam());
    std::vector<std::vector<std::string>> files(4);
    std::vector<std::string> all;
    for (int p = 0; p < 4; ++p)
        for (int k = 0; k < 25; ++k) {
            const std::string name = "p" + std::to_string(p) + "_" + std::to_string(k) + ".shef";
            vyr::test::write_file(db.dir() + "/" + name, product_text(p, k));
            files[p].push_back(name);
            all.push_back(name);
        }
    std::vector<pid_t> posters;
    for (int p = 0; p < 4; ++p)
        posters.push_back(start(db.name(), files[p], db.dir(), "p" + std::to_string(p) + ".log"));
    for (int p = 0; p < 4; ++p)
        EXPECT_EQ(finish(posters[p]), 0)
            << vyr::test::read_file(db.dir() + "/p" + std::to_string(p) + ".log");
    ASSERT_EQ(run(serial.name(), all, db.dir()), 0)
        << vyr::test::read_file(db.dir() + "/serial.log");

    EXPECT_EQ(one(db.name(), "SELECT count(*), count(DISTINCT name) FROM product"), "100|100");
    const std::string log =
        "SELECT p.name, v.seq, v.station, v.obs_time, v.pe, v.type_source, v.value, v.revised, "
        "v.action FROM value_log v JOIN product p ON p.product_id = v.product_id "
        "ORDER BY p.name, v.seq";
    const std::vector<std::string> logged = query(db.name(), log);
    EXPECT_EQ(logged.size(), 100u * 8u);
    EXPECT_EQ(logged, query(serial.name(), log));
    for (const char *table : {"observed", "forecast"}) {
        const std::string current =
            std::string(
                "SELECT * FROM (SELECT station, pe, obs_time, type_source, value, "
                "revised, line FROM ") +
            table + ") AS t ORDER BY 1, 2, 3, 4";
        EXPECT_EQ(query(db.name(), current), query(serial.name(), current)) << table;
    }
}

// Four posters on the very same keys: whichever commits first inserts a
// key, a real value replaces its missing one once, and every other value
// is kept, as when posted one after another. A lost update would show as
// a second insert or overwrite.
TEST_P(store_program, posters_on_the_same_keys_lose_nothing) {
    std::vector<pid_t> posters;
    for (int p = 0; p < 4; ++p) {
        std::vector<std::string> files;
        for (int k = 0; k < 10; ++k) {
            std::string text = ".A SHARED 1208 Z DH00";
            for (int h = 0; h < 10; ++h)
                text +=
                    "/DH" + std::string(h < 10 ? "0" : "") + std::to_string(h) + "/HG " +
                    ((k + p) % 3 == 0 && h < 5 ? std::string("M") : std::to_string(100 * p + k));
            const std::string name = "s" + std::to_string(p) + "_" + std::to_string(k) + ".shef";
            vyr::test::write_file(db.dir() + "/" + name, text + "\n");
            files.push_back(name);
        }
        posters.push_back(start(db.name(), files, db.dir(), "s" + std::to_string(p) + ".log"));
    }
    for (int p = 0; p < 4; ++p)
        EXPECT_EQ(finish(posters[p]), 0)
            << vyr::test::read_file(db.dir() + "/s" + std::to_string(p) + ".log");
    EXPECT_EQ(one(db.name(), "SELECT count(*) FROM value_log"), "400");
    EXPECT_EQ(query(db.name(),
                    "SELECT count(*) FROM (SELECT obs_time FROM value_log GROUP BY obs_time "
                    "HAVING sum(CASE action WHEN 'insert' THEN 1 ELSE 0 END) <> 1 "
                    "OR sum(CASE action WHEN 'overwrite' THEN 1 ELSE 0 END) > 1) AS bad"),
              std::vector<std::string>{"0"});
    // The current value is the one of the key's last change.
    EXPECT_EQ(query(db.name(),
                    "SELECT count(*) FROM observed o WHERE o.value IS DISTINCT FROM (SELECT "
                    "v.value FROM value_log v WHERE v.obs_time = o.obs_time AND v.action <> "
                    "'keep' ORDER BY v.action = 'overwrite' DESC LIMIT 1)"),
              std::vector<std::string>{"0"});
}

// The fields of one CSV line (RFC 4180 quoting).
std::vector<std::string> csv_fields(const std::string &line) {
    std::vector<std::string> f(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            f.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            f.emplace_back();
        } else {
            f.back() += c;
        }
    }
    return f;
}

// The CSV rows of a file in the value log's columns and texts.
std::vector<std::string> csv_rows(const fs::path &file, long &errors) {
    FILE *in = std::fopen(file.c_str(), "rb");
    vyr::test::TempStream out;
    const vyr::series::Conversion c =
        vyr::series::convert(in, out.get(), vyr::series::Parm::builtin(), vyr::test::kRef, {});
    std::fclose(in);
    errors = c.counts.errors;
    std::vector<std::string> rows;
    std::istringstream lines(out.text());
    std::string line, pending;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) {
        // A quoted comment may hold a line end.
        pending += pending.empty() ? line : "\n" + line;
        if (std::count(pending.begin(), pending.end(), '"') % 2 != 0) continue;
        const std::vector<std::string> f = csv_fields(pending);
        pending.clear();
        // station,obs_time,pe,duration,type_source,extremum,probability,value,qualifier,
        // creation_time,revised,message,line,duration_value,comment
        std::string row;
        for (int i : {0, 1, 2, 3, 4, 5, 6, 13, 9, 7, 8, 10, 11, 12, 14}) {
            if (i != 0) row += '|';
            row += vyr::test::same_text(f[i].c_str(), f[i].empty());
        }
        rows.push_back(row);
    }
    return rows;
}

// Every corpus file posted (one run, one product each): status 0, and the
// value log holds exactly the rows shef2csv writes for the same file.
TEST_P(store_program, corpus_value_log_equals_the_csv) {
    if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no corpus at " << kCorpus;
    std::vector<std::string> files;
    for (const auto &e : fs::recursive_directory_iterator(kCorpus))
        if (e.is_regular_file() && e.path().filename() != "SOURCES.md")
            files.push_back(fs::canonical(e.path()).string());
    std::sort(files.begin(), files.end());
    ASSERT_EQ(run(db.name(), files, db.dir()), 0) << vyr::test::read_file(db.dir() + "/serial.log");
    std::map<std::string, std::vector<std::string>> logged;
    for (const std::string &r :
         query(db.name(),
               "SELECT p.name, v.station, v.obs_time, v.pe, v.duration, v.type_source, "
               "v.extremum, v.probability, v.duration_value, v.basis_time, v.value, v.qualifier, "
               "v.revised, v.message, v.line, v.comment FROM value_log v JOIN product p "
               "ON p.product_id = v.product_id ORDER BY v.product_id, v.seq")) {
        const std::size_t bar = r.find('|');
        logged[r.substr(0, bar)].push_back(r.substr(bar + 1));
    }
    const std::vector<std::string> products =
        query(db.name(), "SELECT name, values_read, errors FROM product ORDER BY product_id");
    ASSERT_EQ(products.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        long errors = 0;
        const std::vector<std::string> want = csv_rows(files[i], errors);
        EXPECT_EQ(products[i],
                  files[i] + "|" + std::to_string(want.size()) + "|" + std::to_string(errors));
        EXPECT_TRUE(logged[files[i]] == want) << files[i];
    }
}

}  // namespace
