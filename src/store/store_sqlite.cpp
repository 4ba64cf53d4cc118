// store_sqlite.cpp - the SQLite backend: a database file in write-ahead
// logging mode, so that readers never wait for a poster and posters wait
// for each other (up to a minute) instead of failing.
//
// A product's values are held in chunks of bounded size. Each chunk is
// sorted by key (input order within a key) and meets the keyed tables in
// that order: one look-up and at most one write per key, on pages that
// follow each other instead of pages all over the table. The rules only
// ever compare values of the same key, so applying a key's values in
// input order gives what applying every value as it arrived gives. The
// chunk's log rows then follow in input order, 64 to a statement.
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "schema_sqlite.h"
#include "sqlite_statement.h"
#include "store.h"

namespace vyr::store {

namespace {

using sqlite::Closer;
using sqlite::fail;
using sqlite::fatal;
using sqlite::field;
using sqlite::Statement;

constexpr int kBusyMillis = 60 * 1000;
// Page cache of the connection, in KiB, and the most a chunk of held
// values takes: together with the program they stay within 50 MB. A larger
// chunk saves more than a larger cache: each chunk goes over the keyed
// table's pages once.
constexpr int kCacheKiB = 8 * 1024;
constexpr std::size_t kChunkBytes = 24u << 20;

const char *const kKeyObserved =
    "station = ?1 AND pe = ?2 AND duration = ?3 AND type_source = ?4 AND extremum = ?5 "
    "AND probability = ?6 AND duration_value = ?7 AND obs_time = ?8";
const char *const kKeyForecast =
    "station = ?1 AND pe = ?2 AND duration = ?3 AND type_source = ?4 AND extremum = ?5 "
    "AND probability = ?6 AND basis_time = ?7 AND duration_value = ?8 AND obs_time = ?9";
// Rows written by one statement, log rows and new keys: fewer statements
// to run, and the batch goes into its table in one pass.
constexpr std::size_t kLogBatch = 64;
constexpr int kLogColumns = 18;
constexpr std::size_t kKeyBatch = 64;
// How far the recent keys lean towards stored keys or new ones.
constexpr int kLately = 16;

// A text field zero-padded to its size, so that fields compare as bytes in
// the order their texts do.
template <std::size_t N>
void padded(char (&out)[N], const char *in) {
    std::size_t n = 0;
    for (; n + 1 < N && in[n] != '\0'; ++n) out[n] = in[n];
    for (; n < N; ++n) out[n] = '\0';
}

// The codes of a key, each zero-padded.
struct Codes {
    char pe[3], duration[2], type_source[3], extremum[2], probability[2];
};

// A value held until its chunk is posted: the row's fields, its texts in
// the chunk's text buffer, and what the rules made of it.
struct Held {
    int64_t line, duration_value;
    double value;
    uint32_t station, station_size, comment, comment_size;
    Codes codes;
    char obs_time[kTimeText], basis_time[kTimeText];
    char qualifier[2], message[3];
    bool missing, revised, forecast;
    uint8_t action;  // an Action
    Action outcome() const { return static_cast<Action>(action); }
};

// A value's place in the chunk with the start of its key, most keys
// apart without looking further: observed before forecast, then the
// first bytes of the station.
struct Sorted {
    uint64_t prefix;
    uint32_t index;
};
uint64_t key_prefix(bool forecast, std::string_view station) {
    uint64_t p = forecast ? 1 : 0;
    for (std::size_t i = 0; i < 7; ++i)
        p = p << 8 | (i < station.size() ? static_cast<unsigned char>(station[i]) : 0u);
    return p;
}

// The statements of one table of current values, and its keys waiting.
struct Keyed {
    Statement find, insert, update, batch;
    int stored_lately = 0;  // recent keys found stored (+) or new (-)
    // Keys taken as new, waiting to be inserted: the places [b, e) of their
    // values in the chunk's order; those being inserted.
    std::vector<std::pair<uint32_t, uint32_t>> pending, taken;
};

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
        // Reserved once: a chunk that grew by doubling would hold two copies
        // of itself for a moment. Pages are only taken as they are written.
        held_.reserve(kChunkBytes / (sizeof(Held) + sizeof(Sorted)) + 1);
        order_.reserve(held_.capacity());
        text_.reserve(kChunkBytes);
    }

    ~SqliteStore() override { rollback(); }

    sqlite3 *connection() const { return db_.get(); }

    void begin(const Product &product) override {
        product_ = product;
        totals_ = {};
        drop_chunk();
        chunk_seq_ = 1;
        logging_ = true;
        exec("BEGIN IMMEDIATE");
        open_ = true;
        product_insert_.text(1, product_.name);
        product_insert_.text_or_null(2, product_.dated ? product_.product_time : "");
        product_insert_.text(3, product_.posting_time);
        product_insert_.run();
        product_id_ = sqlite3_last_insert_rowid(db_.get());
    }

    void add(const Row &row) override {
        ++totals_.values;
        hold(row);
    }

    Totals commit(long errors) override {
        post_chunk();
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
        drop_chunk();
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
        drop_chunk();
        logging_ = false;
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
            product_id_ = 0;
            checked([&] {
                while (all.step()) {
                    sqlite3_stmt *s = all.get();
                    // Each product's values meet the keys with its own basis
                    // and posting time.
                    if (const int64_t id = sqlite3_column_int64(s, 0); id != product_id_) {
                        post_chunk();
                        product_id_ = id;
                        product_.dated = !all.column_null(14);
                        field(product_.product_time, all.column_text(14));
                        field(product_.posting_time, all.column_text(15));
                    }
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
                    ++totals_.values;
                    hold(r);
                }
                post_chunk();
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

    // "(?1, ?2), (?3, ?4)" for rows of columns.
    static std::string rows_of(std::size_t rows, int columns) {
        std::string s;
        for (int r = 0; r < static_cast<int>(rows); ++r) {
            s += r ? ", (" : "(";
            for (int c = 1; c <= columns; ++c)
                s += (c > 1 ? ", ?" : "?") + std::to_string(r * columns + c);
            s += ")";
        }
        return s;
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
            Keyed k;
            k.find = Statement(
                db, (std::string("SELECT value FROM ") + table + " WHERE " + where).c_str());
            k.insert = Statement(
                db, (std::string("INSERT OR IGNORE INTO ") + table + " VALUES (" + values + ")")
                        .c_str());
            k.update = Statement(db, (std::string("UPDATE ") + table +
                                      " SET value = ?1, qualifier = ?2, revised = ?3, "
                                      "product_id = ?4, line = ?5, posting_time = ?6 WHERE " +
                                      shifted)
                                         .c_str());
            k.batch = Statement(
                db, (std::string("INSERT INTO ") + table + " VALUES " + rows_of(kKeyBatch, columns))
                        .c_str());
            return k;
        };
        observed_ = keyed("observed", 14, kKeyObserved);
        forecast_ = keyed("forecast", 15, kKeyForecast);
        log_batch_ = Statement(
            db, ("INSERT INTO value_log VALUES " + rows_of(kLogBatch, kLogColumns)).c_str());
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

    // Holds a value in the chunk, posting the chunk first when it is full.
    void hold(const Row &row) {
        if (held_.size() * (sizeof(Held) + sizeof(Sorted)) + text_.size() + row.station.size() +
                    row.comment.size() >=
                kChunkBytes &&
            !held_.empty())
            post_chunk();
        Held &h = held_.emplace_back();
        h.line = row.line;
        h.duration_value = row.duration_value;
        h.value = row.value;
        h.station = static_cast<uint32_t>(text_.size());
        h.station_size = static_cast<uint32_t>(row.station.size());
        text_ += row.station;
        h.comment = static_cast<uint32_t>(text_.size());
        h.comment_size = static_cast<uint32_t>(row.comment.size());
        text_ += row.comment;
        padded(h.codes.pe, row.pe);
        padded(h.codes.duration, row.duration);
        padded(h.codes.type_source, row.type_source);
        padded(h.codes.extremum, row.extremum);
        padded(h.codes.probability, row.probability);
        padded(h.obs_time, row.obs_time);
        padded(h.basis_time, row.basis_time);
        padded(h.qualifier, row.qualifier);
        padded(h.message, row.message);
        h.missing = row.missing;
        h.revised = row.revised;
        h.forecast = row.forecast();
        h.action = static_cast<uint8_t>(Action::Keep);
    }

    std::string_view station(const Held &h) const {
        return std::string_view(text_.data() + h.station, h.station_size);
    }
    std::string_view comment(const Held &h) const {
        return std::string_view(text_.data() + h.comment, h.comment_size);
    }
    // The basis time of a forecast's key.
    const char *key_basis(const Held &h) const {
        if (h.basis_time[0] != '\0') return h.basis_time;
        return product_.dated ? product_.product_time : product_.posting_time;
    }

    // The order of the keyed tables' primary keys: observed before
    // forecast, then station, codes, basis time, duration and time.
    int key_order(const Held &a, const Held &b) const {
        if (a.forecast != b.forecast) return a.forecast ? 1 : -1;
        if (const int c = station(a).compare(station(b))) return c;
        if (const int c = std::memcmp(&a.codes, &b.codes, sizeof a.codes)) return c;
        if (a.forecast)
            if (const int c = std::strcmp(key_basis(a), key_basis(b))) return c;
        if (a.duration_value != b.duration_value)
            return a.duration_value < b.duration_value ? -1 : 1;
        return std::memcmp(a.obs_time, b.obs_time, sizeof a.obs_time);
    }

    // The held values through the rules, key by key in key order, then
    // (when posting) into the log in input order.
    void post_chunk() {
        if (held_.empty()) return;
        order_.clear();
        for (uint32_t i = 0; i < held_.size(); ++i)
            order_.push_back({key_prefix(held_[i].forecast, station(held_[i])), i});
        std::sort(order_.begin(), order_.end(), [&](const Sorted &a, const Sorted &b) {
            if (a.prefix != b.prefix) return a.prefix < b.prefix;
            const int c = key_order(held_[a.index], held_[b.index]);
            return c != 0 ? c < 0 : a.index < b.index;
        });
        checked([&] {
            for (std::size_t b = 0, e; b < order_.size(); b = e) {
                const Sorted &first = order_[b];
                for (e = b + 1; e < order_.size() && order_[e].prefix == first.prefix &&
                                key_order(held_[first.index], held_[order_[e].index]) == 0;
                     ++e) {
                }
                apply(b, e);
            }
            insert_pending(observed_);
            insert_pending(forecast_);
        });
        for (const Held &h : held_) count(h.outcome());
        if (logging_) write_log();
        chunk_seq_ += static_cast<int64_t>(held_.size());
        drop_chunk();
    }

    void drop_chunk() noexcept {
        held_.clear();
        text_.clear();
        for (Keyed *k : {&observed_, &forecast_}) {
            k->pending.clear();
            k->taken.clear();
        }
    }

    // The rules over the values of one key (order_[b, e)), in input order,
    // from what the key holds; the value that changed it last, or null when
    // none did.
    const Held *fold(std::size_t b, std::size_t e, Stored state) {
        const Held *change = nullptr;
        for (std::size_t i = b; i != e; ++i) {
            Held &h = held_[order_[i].index];
            const Action a = decide(policy_, state, h.missing, h.value, h.revised);
            h.action = static_cast<uint8_t>(a);
            if (a != Action::Keep) {
                state = {true, h.missing, h.value};
                change = &h;
            }
        }
        return change;
    }

    // One key's values against what it holds; its row changes once, to
    // what the last value that changed it brought. A product's keys mostly
    // all arrive new (a first posting) or mostly all stored (a repeat):
    // what the last keys found decides whether a key is first taken as new
    // (and inserted with others in one statement) or looked up. Either way
    // the rules see the same state.
    void apply(std::size_t b, std::size_t e) {
        const Held &key = held_[order_[b].index];
        Keyed &k = key.forecast ? forecast_ : observed_;
        if (k.stored_lately <= 0) {
            fold(b, e, Stored{false, false, 0});
            pend(k, b, e);
            return;
        }
        look_up(k, b, e);
    }

    // A key looked up first: inserted when new, else changed when its
    // values say so.
    void look_up(Keyed &k, std::size_t b, std::size_t e) {
        const Held &key = held_[order_[b].index];
        const char *basis = key.forecast ? key_basis(key) : nullptr;
        Stored stored{false, false, 0};
        bind_key(k.find, key, basis);
        if (k.find.step()) {
            stored = {true, k.find.column_null(0), sqlite3_column_double(k.find.get(), 0)};
            k.find.reset();
        }
        k.stored_lately = stored.present ? std::min(k.stored_lately + 1, kLately)
                                         : std::max(k.stored_lately - 1, -kLately);
        const Held *change = fold(b, e, stored);
        if (!stored.present) {
            pend(k, b, e);
        } else if (change != nullptr) {
            // The key follows the six set columns, from parameter 11 on.
            bind_current(k.update, *change, 1);
            bind_key(k.update, key, basis, 11);
            k.update.run();
        }
    }

    // A key taken as new, its values folded from nothing, waits to be
    // inserted with others.
    void pend(Keyed &k, std::size_t b, std::size_t e) {
        k.pending.push_back({static_cast<uint32_t>(b), static_cast<uint32_t>(e)});
        // Keys looked up while a batch is being inserted wait for its end.
        if (k.pending.size() == kKeyBatch && k.taken.empty()) insert_pending(k);
    }

    // Inserts the pending keys: a full batch in one statement, else one by
    // one. A key found stored after all (the statement fails on it as a
    // whole, and nothing of it stays) is looked up, and so are the others
    // of its batch; those found new wait again, fewer than a batch.
    void insert_pending(Keyed &k) {
        while (!k.pending.empty()) {
            k.taken.swap(k.pending);
            const std::size_t n = k.taken.size();
            if (n == kKeyBatch) {
                int i = 1;
                for (const auto &[b, e] : k.taken) i = bind_new(k.batch, b, e, i);
                if (k.batch.run_unless(SQLITE_CONSTRAINT_PRIMARYKEY)) {
                    k.stored_lately = std::max(k.stored_lately - static_cast<int>(n), -kLately);
                } else {
                    for (const auto &[b, e] : k.taken) look_up(k, b, e);
                }
            } else {
                for (const auto &[b, e] : k.taken) {
                    bind_new(k.insert, b, e, 1);
                    k.insert.run();
                    if (sqlite3_changes(db_.get()) == 0) look_up(k, b, e);
                }
            }
            k.taken.clear();
        }
    }

    // Binds the row of a new key (the values order_[b, e) folded from
    // nothing) from parameter i on; the next parameter's number.
    int bind_new(Statement &s, std::size_t b, std::size_t e, int i) {
        const Held &key = held_[order_[b].index];
        const Held *change = fold(b, e, Stored{false, false, 0});
        return bind_current(s, *change,
                            bind_key(s, key, key.forecast ? key_basis(key) : nullptr, i));
    }

    // Binds the key of a value; the next parameter's number.
    int bind_key(Statement &s, const Held &h, const char *basis, int first = 1) const {
        s.text(first, station(h));
        s.text(first + 1, h.codes.pe);
        s.text(first + 2, h.codes.duration);
        s.text(first + 3, h.codes.type_source);
        s.text(first + 4, h.codes.extremum);
        s.text(first + 5, h.codes.probability);
        int i = first + 6;
        if (basis != nullptr) s.text(i++, basis);
        s.integer(i++, h.duration_value);
        s.text(i++, h.obs_time);
        return i;
    }

    // Binds what a key holds once a value changed it: value, qualifier,
    // revised, product, line, posting time.
    int bind_current(Statement &s, const Held &h, int i) const {
        s.real_or_null(i++, h.missing, h.value);
        s.text_or_null(i++, h.qualifier);
        s.integer(i++, h.revised ? 1 : 0);
        s.integer(i++, product_id_);
        s.integer(i++, h.line);
        s.text(i++, product_.posting_time);
        return i;
    }

    // The chunk's log rows, with as few statements as they allow.
    void write_log() {
        checked([&] {
            std::size_t done = 0;
            for (; held_.size() - done >= kLogBatch; done += kLogBatch)
                bind_log(log_batch_, done, kLogBatch);
            for (; done < held_.size(); ++done) bind_log(log_one_, done, 1);
        });
    }

    void bind_log(Statement &s, std::size_t from, std::size_t n) {
        for (std::size_t r = 0; r < n; ++r) {
            const Held &h = held_[from + r];
            const int b = static_cast<int>(r) * kLogColumns;
            s.integer(b + 1, product_id_);
            s.integer(b + 2, chunk_seq_ + static_cast<int64_t>(from + r));
            s.text(b + 3, station(h));
            s.text(b + 4, h.obs_time);
            s.text(b + 5, h.codes.pe);
            s.text(b + 6, h.codes.duration);
            s.text(b + 7, h.codes.type_source);
            s.text(b + 8, h.codes.extremum);
            s.text(b + 9, h.codes.probability);
            s.integer(b + 10, h.duration_value);
            s.text_or_null(b + 11, h.basis_time);
            s.real_or_null(b + 12, h.missing, h.value);
            s.text_or_null(b + 13, h.qualifier);
            s.integer(b + 14, h.revised ? 1 : 0);
            s.text(b + 15, h.message);
            s.integer(b + 16, h.line);
            s.text_or_null(b + 17, comment(h));
            s.text(b + 18, action_name(h.outcome()));
        }
        s.run();
    }

    void count(Action a) {
        switch (a) {
            case Action::Insert: ++totals_.inserted; break;
            case Action::Overwrite: ++totals_.overwritten; break;
            case Action::Keep: ++totals_.kept; break;
        }
    }

    std::unique_ptr<sqlite3, Closer> db_;
    Keyed observed_, forecast_;
    Statement log_batch_, log_one_, product_insert_, product_totals_;
    // The chunk: values in input order, their texts, and their order by key.
    std::vector<Held> held_;
    std::string text_;
    std::vector<Sorted> order_;
    bool logging_ = true;  // false when replaying the log
    Product product_{};
    Totals totals_;
    int64_t product_id_ = 0;
    int64_t chunk_seq_ = 1;  // the seq of the chunk's first value
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
