// What the store tests share: a throwaway database of either kind, read
// back as text rows that look alike whichever database holds them.
//
// PostgreSQL databases live in the cluster the test command starts
// (tests/pg/cluster.sh, state file in the build directory), or on the
// server VYR_PG_URI names; each test gets a database of its own, dropped
// at its end. Without a server the PostgreSQL tests skip and say why.
#ifndef VYR_STORE_UTIL_H
#define VYR_STORE_UTIL_H

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "store.h"
#include "test_util.h"

namespace vyr::test {

// The state the cluster script left: "uri ...", "pw_uri ..." or "absent why".
inline std::string cluster_field(const std::string &key) {
    std::ifstream in(std::string(VYR_BINARY_DIR) + "/pgtest.state");
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, key.size() + 1, key + " ") == 0) return line.substr(key.size() + 1);
    return "";
}

// The URI of the server's maintenance database, or empty with why set.
inline std::string server_uri(std::string &why) {
    if (const char *own = std::getenv("VYR_PG_URI"); own != nullptr && *own != '\0') return own;
    const std::string uri = cluster_field("uri");
    if (uri.empty()) {
        why = cluster_field("absent");
        if (why.empty()) why = "no test cluster is running (the tests start one under ctest)";
    }
    return uri;
}

// The URI with its database (the path after the host part) replaced.
inline std::string with_database(const std::string &uri, const std::string &db) {
    const std::size_t auth = uri.find("://") + 3;
    const std::size_t slash = uri.find('/', auth);
    const std::size_t query = uri.find('?', auth);
    const std::size_t end = query == std::string::npos ? uri.size() : query;
    const std::size_t start = slash == std::string::npos || slash > end ? end : slash;
    return uri.substr(0, start) + "/" + db + uri.substr(end);
}

// A column as text, the same in both databases: times as
// "YYYY-MM-DDTHH:MM:SSZ", numbers in their shortest form, null as "-".
inline std::string same_text(const char *v, bool null) {
    if (null) return "-";
    std::string s = v;
    // PostgreSQL's "2026-12-12 14:00:00+00".
    if (s.size() == 22 && s[10] == ' ' && s.compare(19, 3, "+00") == 0)
        return s.substr(0, 10) + "T" + s.substr(11, 8) + "Z";
    char *end = nullptr;
    const double d = std::strtod(s.c_str(), &end);
    if (!s.empty() && *end == '\0' && s.find_first_not_of("0123456789.-e+") == std::string::npos) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.15g", d);
        return buf;
    }
    return s;
}

// Every row of a query, its columns joined by "|".
inline std::vector<std::string> query(const std::string &db, const std::string &sql) {
    std::vector<std::string> rows;
    if (vyr::store::is_uri(db)) {
        PGconn *c = PQconnectdb(db.c_str());
        PQclear(PQexec(c, "SET TimeZone = 'UTC'"));
        PGresult *r = PQexec(c, sql.c_str());
        const bool ok =
            PQresultStatus(r) == PGRES_TUPLES_OK || PQresultStatus(r) == PGRES_COMMAND_OK;
        std::string err = ok ? "" : PQerrorMessage(c);
        for (int i = 0; ok && i < PQntuples(r); ++i) {
            std::string row;
            for (int j = 0; j < PQnfields(r); ++j) {
                if (j > 0) row += '|';
                row += same_text(PQgetvalue(r, i, j), PQgetisnull(r, i, j));
            }
            rows.push_back(row);
        }
        PQclear(r);
        PQfinish(c);
        if (!ok) throw std::runtime_error(sql + ": " + err);
        return rows;
    }
    sqlite3 *h = nullptr;
    sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3 *)> owner(h, sqlite3_close_v2);
    sqlite3_busy_timeout(h, 60000);
    const char *tail = sql.c_str();
    while (*tail != '\0') {
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(h, tail, -1, &s, &tail) != SQLITE_OK)
            throw std::runtime_error(sql + ": " + sqlite3_errmsg(h));
        if (s == nullptr) break;
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            std::string row;
            for (int j = 0; j < sqlite3_column_count(s); ++j) {
                if (j > 0) row += '|';
                row += same_text(reinterpret_cast<const char *>(sqlite3_column_text(s, j)),
                                 sqlite3_column_type(s, j) == SQLITE_NULL);
            }
            rows.push_back(row);
        }
        sqlite3_finalize(s);
        if (rc != SQLITE_DONE) throw std::runtime_error(sql + ": " + sqlite3_errmsg(h));
    }
    return rows;
}

inline std::string one(const std::string &db, const std::string &sql) {
    const std::vector<std::string> rows = query(db, sql);
    return rows.empty() ? "" : rows.front();
}

// A fresh database of one kind ("sqlite" or "postgres") for one test:
// name() is what shef2db and store::open take.
class TestDatabase {
  public:
    explicit TestDatabase(const std::string &kind) {
        if (kind == "sqlite") {
            name_ = dir_.path() + "/shef.db";
            return;
        }
        const std::string server = server_uri(why_);
        if (server.empty()) return;
        static std::atomic<int> serial{0};
        db_ = "vyrt_" + std::to_string(getpid()) + "_" + std::to_string(serial++);
        query(server, "DROP DATABASE IF EXISTS " + db_);
        query(server, "CREATE DATABASE " + db_);
        server_ = server;
        name_ = with_database(server, db_);
    }
    ~TestDatabase() {
        if (!db_.empty() && !server_.empty()) {
            try {
                query(server_, "DROP DATABASE IF EXISTS " + db_ + " WITH (FORCE)");
            } catch (const std::exception &) {
            }
        }
    }
    TestDatabase(const TestDatabase &) = delete;
    TestDatabase &operator=(const TestDatabase &) = delete;

    // Empty when the kind is not available; why() says why.
    const std::string &name() const { return name_; }
    const std::string &why() const { return why_; }
    const std::string &dir() const { return dir_.path(); }
    bool postgres() const { return !db_.empty(); }

  private:
    ScratchDir dir_{"vyrdb"};
    std::string name_, why_, db_, server_;
};

// The kinds every store test runs over.
inline const char *const kKinds[] = {"sqlite", "postgres"};

}  // namespace vyr::test

#endif  // VYR_STORE_UTIL_H
