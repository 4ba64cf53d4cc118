// store_sqlite.cpp - the SQLite backend: a database file in write-ahead
// logging mode, so that readers never wait for a poster and posters wait
// for each other (up to a minute) instead of failing.
//
// Each value meets its key at once, with prepared statements: within one
// process nothing is cheaper than SQLite's own B-tree, and the rules apply
// value by value as they arrive. The log rows, which nothing reads back
// during the product, are written 64 to a statement.
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "schema_sqlite.h"
#include "store.h"

namespace vyr::store {

namespace {

constexpr int kBusyMillis = 60 * 1000;
// Page cache of the connection, in KiB: the keys of a large product are
// looked up all over the observed table, and a larger cache keeps those
// pages from going out and in again. Peak memory stays within 50 MB.
constexpr int kCacheKiB = 24 * 1024;

[[noreturn]] void fail(sqlite3 *db) { throw Error(sqlite3_errmsg(db)); }

// A prepared statement, finalized with its owner. Texts are bound without
// a copy: every parameter is bound again before each step.
class Statement {
  public:
    Statement() = default;
    Statement(sqlite3 *db, const char *sql) : db_(db) {
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s_, nullptr) != SQLITE_OK)
            fail(db);
    }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(Statement &&o) noexcept : db_(o.db_), s_(std::exchange(o.s_, nullptr)) {}
    Statement &operator=(Statement &&o) noexcept {
        std::swap(db_, o.db_);
        std::swap(s_, o.s_);
        return *this;
    }

    void text(int i, std::string_view v) {
        sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
    }
    // An empty text binds null.
    void text_or_null(int i, std::string_view v) {
        if (v.empty())
            sqlite3_bind_null(s_, i);
        else
            text(i, v);
    }
    void integer(int i, int64_t v) { sqlite3_bind_int64(s_, i, v); }
    void real_or_null(int i, bool null, double v) {
        if (null)
            sqlite3_bind_null(s_, i);
        else
            sqlite3_bind_double(s_, i, v);
    }
    // True for a row, false when done; resets the statement when done.
    bool step() {
        const int rc = sqlite3_step(s_);
        if (rc == SQLITE_ROW) return true;
        sqlite3_reset(s_);
        if (rc != SQLITE_DONE) fail_with(rc);
        return false;
    }
    void run() {
        while (step()) {
        }
    }
    void reset() { sqlite3_reset(s_); }
    sqlite3_stmt *get() const { return s_; }
    std::string_view column_text(int i) const {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(s_, i));
        return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(s_, i)))
                 : std::string_view();
    }
    bool column_null(int i) const { return sqlite3_column_type(s_, i) == SQLITE_NULL; }

  private:
    [[noreturn]] void fail_with(int rc) {
        // The statement's reset reports the error of its step.
        (void)rc;
        fail(db_);
    }
    sqlite3 *db_ = nullptr;
    sqlite3_stmt *s_ = nullptr;
};

struct Closer {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};

// Bounded copy of a column's text into a fixed field of a row.
template <std::size_t N>
void field(char (&out)[N], std::string_view v) {
    const std::size_t n = std::min(v.size(), N - 1);
    if (n > 0) std::memcpy(out, v.data(), n);  // a null column has no text at all
    out[n] = '\0';
}

bool fatal(int rc) {
    const int primary = rc & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_CANTOPEN;
}

const char *const kKeyObserved =
    "station = ?1 AND pe = ?2 AND duration = ?3 AND type_source = ?4 AND extremum = ?5 "
    "AND probability = ?6 AND duration_value = ?7 AND obs_time = ?8";
const char *const kKeyForecast =
    "station = ?1 AND pe = ?2 AND duration = ?3 AND type_source = ?4 AND extremum = ?5 "
    "AND probability = ?6 AND basis_time = ?7 AND duration_value = ?8 AND obs_time = ?9";
// Log rows written by one statement: fewer statements to run, and the
// whole batch goes into the table in one pass.
constexpr std::size_t kLogBatch = 64;
constexpr int kLogColumns = 18;
// How far the recent values lean towards stored keys or new ones.
constexpr int kLately = 16;

class SqliteStore final : public Store {
  public:
    SqliteStore(const std::string &file, Policy policy) : Store(policy) {
        sqlite3 *db = nullptr;
        // One connection per store, used by one thread at a time: no mutex.
        const int rc = sqlite3_open_v2(
            file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
            nullptr);
        db_.reset(db);
        if (db == nullptr) throw Error("out of memory");
        if (rc != SQLITE_OK) fail(db);
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_timeout(db, kBusyMillis);
        // A file it may not write is opened for reading only: refuse it
        // before anything is read, let alone written.
        if (sqlite3_db_readonly(db, "main") == 1)
            throw Error("attempt to write a readonly database");
        prepare_schema();
        // In write-ahead logging a commit is safe from corruption without a
        // sync of its own; the log is synced when it is written back.
        exec("PRAGMA synchronous = NORMAL");
        exec("PRAGMA cache_size = -" + std::to_string(kCacheKiB));
        prepare_statements();
    }

    ~SqliteStore() override { rollback(); }

    sqlite3 *connection() const { return db_.get(); }

    void begin(const Product &product) override {
        product_ = product;
        totals_ = {};
        seq_ = 0;
        held_ = 0;
        exec("BEGIN IMMEDIATE");
        open_ = true;
        product_insert_.text(1, product_.name);
        product_insert_.text_or_null(2, product_.dated ? product_.product_time : "");
        product_insert_.text(3, product_.posting_time);
        product_insert_.run();
        product_id_ = sqlite3_last_insert_rowid(db_.get());
    }

    void add(const Row &row) override {
        ++seq_;
        ++totals_.values;
        const Action a = apply(row, row.forecast() ? basis_of(row, product_) : nullptr, product_id_,
                               product_.posting_time);
        count(a);
        LogRow &l = pending_[held_++];
        l.row = row;
        l.station.assign(row.station);
        l.comment.assign(row.comment);
        l.row.station = l.station;
        l.row.comment = l.comment;
        l.seq = seq_;
        l.action = a;
        if (held_ == kLogBatch) write_log();
    }

    Totals commit(long errors) override {
        write_log();
        totals_.errors = errors;
        product_totals_.integer(1, totals_.values);
        product_totals_.integer(2, totals_.inserted);
        product_totals_.integer(3, totals_.overwritten);
        product_totals_.integer(4, totals_.kept);
        product_totals_.integer(5, totals_.errors);
        product_totals_.integer(6, product_id_);
        checked([&] { product_totals_.run(); });
        exec("COMMIT");
        open_ = false;
        return totals_;
    }

    void rollback() noexcept override {
        held_ = 0;
        if (!open_) return;
        open_ = false;
        // Some failures (a full disk, a lock not had) roll the transaction
        // back on their own.
        if (sqlite3_get_autocommit(db_.get()) == 0 &&
            sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr) != SQLITE_OK)
            usable_ = false;
    }

    Totals replay() override {
        totals_ = {};
        exec("BEGIN IMMEDIATE");
        open_ = true;
        try {
            exec("DELETE FROM observed; DELETE FROM forecast");
            Statement all(db_.get(),
                          "SELECT v.product_id, v.station, v.obs_time, v.pe, v.duration, "
                          "v.type_source, v.extremum, v.probability, v.duration_value, "
                          "v.basis_time, v.value, v.qualifier, v.revised, v.line, "
                          "p.product_time, p.posting_time "
                          "FROM value_log v JOIN product p ON p.product_id = v.product_id "
                          "ORDER BY v.product_id, v.seq");
            Row r{};
            std::string posting;
            checked([&] {
                while (all.step()) {
                    sqlite3_stmt *s = all.get();
                    r.station = all.column_text(1);
                    field(r.obs_time, all.column_text(2));
                    field(r.pe, all.column_text(3));
                    field(r.duration, all.column_text(4));
                    field(r.type_source, all.column_text(5));
                    field(r.extremum, all.column_text(6));
                    field(r.probability, all.column_text(7));
                    r.duration_value = sqlite3_column_int64(s, 8);
                    field(r.basis_time, all.column_text(9));
                    r.missing = all.column_null(10);
                    r.value = sqlite3_column_double(s, 10);
                    field(r.qualifier, all.column_text(11));
                    r.revised = sqlite3_column_int(s, 12) != 0;
                    r.line = sqlite3_column_int64(s, 13);
                    posting = all.column_text(15);
                    const char *basis = nullptr;
                    char basis_text[kTimeText];
                    if (r.forecast()) {
                        field(basis_text, r.basis_time[0] != '\0' ? std::string_view(r.basis_time)
                                          : !all.column_null(14)  ? all.column_text(14)
                                                                  : std::string_view(posting));
                        basis = basis_text;
                    }
                    ++totals_.values;
                    count(apply(r, basis, sqlite3_column_int64(s, 0), posting.c_str()));
                }
            });
            exec("COMMIT");
            open_ = false;
        } catch (...) {
            rollback();
            throw;
        }
        return totals_;
    }

    bool usable() const override { return usable_; }

  private:
    void exec(const std::string &sql) {
        const int rc = sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            if (fatal(rc)) usable_ = false;
            fail(db_.get());
        }
    }

    template <class F>
    void checked(F body) {
        try {
            body();
        } catch (const Error &) {
            if (fatal(sqlite3_extended_errcode(db_.get()))) usable_ = false;
            throw;
        }
    }

    // A new (empty) file gets the schema; any other must carry this
    // version of it. Nothing is written to a file that is refused.
    void prepare_schema() {
        if (table_count() == 0) {
            exec("PRAGMA journal_mode = WAL");
            exec("BEGIN IMMEDIATE");
            // Another poster may have created it while this one waited.
            if (table_count() == 0) {
                const int rc = sqlite3_exec(db_.get(), kSqliteSchema, nullptr, nullptr, nullptr);
                if (rc != SQLITE_OK) {
                    const std::string why = sqlite3_errmsg(db_.get());
                    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
                    throw Error(why);
                }
            }
            exec("COMMIT");
        }
        check_version();
        Statement mode(db_.get(), "PRAGMA journal_mode");
        if (mode.step() && mode.column_text(0) != "wal") {
            mode.reset();
            exec("PRAGMA journal_mode = WAL");
        }
    }

    int table_count() {
        Statement n(db_.get(), "SELECT count(*) FROM sqlite_master");
        const int count = n.step() ? sqlite3_column_int(n.get(), 0) : 0;
        n.reset();
        return count;
    }

    void check_version() {
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(db_.get(), "SELECT version FROM schema_info", -1, &s, nullptr) !=
            SQLITE_OK) {
            sqlite3_finalize(s);
            throw Error("not a SHEF database of this program (no schema_info table)");
        }
        const int rc = sqlite3_step(s);
        const bool has = rc == SQLITE_ROW;
        const int64_t version = has ? sqlite3_column_int64(s, 0) : 0;
        sqlite3_finalize(s);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) fail(db_.get());
        if (!has || version != kSchemaVersion)
            throw Error("schema version " + (has ? std::to_string(version) : "unknown") +
                        ", this program writes version " + std::to_string(kSchemaVersion));
    }

    void prepare_statements() {
        sqlite3 *db = db_.get();
        auto keyed = [&](const char *table, int columns, const char *where) {
            std::string values;
            for (int i = 1; i <= columns; ++i) values += (i > 1 ? ", ?" : "?") + std::to_string(i);
            // The key's parameters follow the six set ones.
            std::string shifted;
            for (const char *p = where; *p != '\0'; ++p) {
                if (*p == '?') {
                    const int n = std::atoi(p + 1);
                    shifted += "?" + std::to_string(n + 10);
                    while (p[1] >= '0' && p[1] <= '9') ++p;
                } else {
                    shifted += *p;
                }
            }
            return Keyed{
                Statement(db,
                          (std::string("SELECT value FROM ") + table + " WHERE " + where).c_str()),
                Statement(
                    db, (std::string("INSERT OR IGNORE INTO ") + table + " VALUES (" + values + ")")
                            .c_str()),
                Statement(db, (std::string("UPDATE ") + table +
                               " SET value = ?1, qualifier = ?2, revised = ?3, product_id = ?4, "
                               "line = ?5, posting_time = ?6 WHERE " +
                               shifted)
                                  .c_str()),
                0};
        };
        observed_ = keyed("observed", 14, kKeyObserved);
        forecast_ = keyed("forecast", 15, kKeyForecast);
        std::string rows;
        for (int r = 0; r < static_cast<int>(kLogBatch); ++r) {
            rows += r ? ", (" : "(";
            for (int c = 1; c <= kLogColumns; ++c)
                rows += (c > 1 ? ", ?" : "?") + std::to_string(r * kLogColumns + c);
            rows += ")";
        }
        log_batch_ = Statement(db, ("INSERT INTO value_log VALUES " + rows).c_str());
        log_one_ = Statement(db,
                             "INSERT INTO value_log VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, "
                             "?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18)");
        product_insert_ = Statement(
            db, "INSERT INTO product (name, product_time, posting_time) VALUES (?1, ?2, ?3)");
        product_totals_ = Statement(db,
                                    "UPDATE product SET values_read = ?1, inserted = ?2, "
                                    "overwritten = ?3, kept = ?4, errors = ?5 "
                                    "WHERE product_id = ?6");
    }

    // Binds the key of a row; the next parameter's number.
    static int bind_key(Statement &s, const Row &row, const char *basis, int first = 1) {
        s.text(first, row.station);
        s.text(first + 1, row.pe);
        s.text(first + 2, row.duration);
        s.text(first + 3, row.type_source);
        s.text(first + 4, row.extremum);
        s.text(first + 5, row.probability);
        int i = first + 6;
        if (basis != nullptr) s.text(i++, basis);
        s.integer(i++, row.duration_value);
        s.text(i++, row.obs_time);
        return i;
    }

    // The rules for one value against what its key holds; the current value
    // changes when they say so. basis is null for an observed value.
    Action apply(const Row &row, const char *basis, int64_t product_id, const char *posting) {
        Keyed &k = basis ? forecast_ : observed_;
        // A product's keys mostly all arrive new (a first posting) or mostly
        // all stored (a repeat): what the last values found decides whether
        // the insert or the look-up comes first. Either way the rules see
        // the same state.
        if (k.stored_lately <= 0) {
            if (insert(k.insert, row, basis, product_id, posting)) {
                k.stored_lately = std::max(k.stored_lately - 1, -kLately);
                return Action::Insert;
            }
        }
        Stored stored{false, false, 0};
        bind_key(k.find, row, basis);
        checked([&] {
            if (k.find.step()) {
                stored = {true, k.find.column_null(0), sqlite3_column_double(k.find.get(), 0)};
                k.find.reset();
            }
        });
        k.stored_lately = stored.present ? std::min(k.stored_lately + 1, kLately)
                                         : std::max(k.stored_lately - 1, -kLately);
        const Action a = decide(policy_, stored, row.missing, row.value, row.revised);
        if (a == Action::Insert) {
            insert(k.insert, row, basis, product_id, posting);
        } else if (a == Action::Overwrite) {
            Statement &u = k.update;
            u.real_or_null(1, row.missing, row.value);
            u.text_or_null(2, row.qualifier);
            u.integer(3, row.revised ? 1 : 0);
            u.integer(4, product_id);
            u.integer(5, row.line);
            u.text(6, posting);
            // The key follows, from parameter 11 on.
            bind_key(u, row, basis, 11);
            checked([&] { u.run(); });
        }
        return a;
    }

    // Inserts the current value of a key not stored; false when it is.
    bool insert(Statement &s, const Row &row, const char *basis, int64_t product_id,
                const char *posting) {
        int i = bind_key(s, row, basis);
        s.real_or_null(i++, row.missing, row.value);
        s.text_or_null(i++, row.qualifier);
        s.integer(i++, row.revised ? 1 : 0);
        s.integer(i++, product_id);
        s.integer(i++, row.line);
        s.text(i, posting);
        checked([&] { s.run(); });
        return sqlite3_changes(db_.get()) == 1;
    }

    // The gathered log rows, written with as few statements as they allow.
    void write_log() {
        std::size_t done = 0;
        for (; held_ - done >= kLogBatch; done += kLogBatch) bind_log(log_batch_, done, kLogBatch);
        for (; done < held_; ++done) bind_log(log_one_, done, 1);
        held_ = 0;
    }

    void bind_log(Statement &s, std::size_t from, std::size_t n) {
        for (std::size_t r = 0; r < n; ++r) {
            const LogRow &l = pending_[from + r];
            const Row &row = l.row;
            const int b = static_cast<int>(r) * kLogColumns;
            s.integer(b + 1, product_id_);
            s.integer(b + 2, l.seq);
            s.text(b + 3, row.station);
            s.text(b + 4, row.obs_time);
            s.text(b + 5, row.pe);
            s.text(b + 6, row.duration);
            s.text(b + 7, row.type_source);
            s.text(b + 8, row.extremum);
            s.text(b + 9, row.probability);
            s.integer(b + 10, row.duration_value);
            s.text_or_null(b + 11, row.basis_time);
            s.real_or_null(b + 12, row.missing, row.value);
            s.text_or_null(b + 13, row.qualifier);
            s.integer(b + 14, row.revised ? 1 : 0);
            s.text(b + 15, row.message);
            s.integer(b + 16, row.line);
            s.text_or_null(b + 17, row.comment);
            s.text(b + 18, action_name(l.action));
        }
        checked([&] { s.run(); });
    }

    void count(Action a) {
        switch (a) {
            case Action::Insert: ++totals_.inserted; break;
            case Action::Overwrite: ++totals_.overwritten; break;
            case Action::Keep: ++totals_.kept; break;
        }
    }

    std::unique_ptr<sqlite3, Closer> db_;
    // The statements of one table of current values.
    struct Keyed {
        Statement find, insert, update;
        int stored_lately;  // recent values found stored (+) or new (-)
    };
    // A log row held until a batch of them is written: the row with its
    // texts copied.
    struct LogRow {
        Row row;
        std::string station, comment;
        int64_t seq;
        Action action;
    };
    Keyed observed_, forecast_;
    Statement log_batch_, log_one_, product_insert_, product_totals_;
    std::vector<LogRow> pending_ = std::vector<LogRow>(kLogBatch);
    std::size_t held_ = 0;
    Product product_{};
    Totals totals_;
    int64_t product_id_ = 0, seq_ = 0;
    bool open_ = false;
    bool usable_ = true;
};

}  // namespace

std::unique_ptr<Store> open_sqlite(const std::string &file, Policy policy) {
    return std::make_unique<SqliteStore>(file, policy);
}

sqlite3 *sqlite_connection(Store &store) {
    auto *s = dynamic_cast<SqliteStore *>(&store);
    return s ? s->connection() : nullptr;
}

}  // namespace vyr::store
