// store_pg.cpp - the PostgreSQL backend, for a database that many posters
// and readers share.
//
// A product's values go to a temporary staging table with COPY (data
// only, never SQL text) as they are decoded, outside the posting
// transaction, so that a retry needs nothing from the input again. The
// posting transaction then reads the staged values with what their keys
// hold, sorted by key and input order, and applies the rules value by
// value here (the same decide() as the SQLite backend). What they decide
// goes back with COPY as it is read: every value into value_log, the last
// value of each new key into observed or forecast (in key order, which
// keeps the index's pages at hand), that of each stored key changed into a
// temporary table from which one statement updates them.
//
// Concurrency: the transaction runs at REPEATABLE READ and first locks
// every stored row its values touch, in key order so that posters lock
// alike. A row changed by a poster that committed after this one began
// makes the server abort with a serialization failure, a key another
// poster inserted meanwhile fails this one's insert; those and deadlocks
// are retried. Kept rows stay locked until commit, so the tables always
// equal a serial posting in commit order.
#include <libpq-fe.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "schema_pg.h"
#include "store.h"

namespace vyr::store {

namespace {

constexpr int kRetries = 5;              // after the first try
constexpr const char *kFetch = "20000";  // rows per fetch of a fold
constexpr std::size_t kCopyChunk = 1 << 20;
// Serializes the creation of the schema by posters that find none.
constexpr const char *kCreateLock = "7561637201";

// An abort the server asks to retry: serialization failure or deadlock.
class Retry : public Error {
  public:
    using Error::Error;
};

struct ResultFree {
    void operator()(PGresult *r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

struct ConnFinish {
    void operator()(PGconn *c) const { PQfinish(c); }
};

// libpq's messages come on several lines: one line for ours.
std::string one_line(std::string_view text) {
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == '\n' || c == '\t' || c == '\r' || c == ' ') {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

std::string percent_decoded(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned v = 0;
        if (s[i] == '%' && i + 2 < s.size() &&
            std::from_chars(s.data() + i + 1, s.data() + i + 3, v, 16).ptr == s.data() + i + 3) {
            out += static_cast<char>(v);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The passwords a URI carries (in the user part or as parameters), as
// written and decoded: no message may show them.
std::vector<std::string> passwords_of(std::string_view uri) {
    std::vector<std::string> found;
    auto add = [&](std::string_view p) {
        for (const std::string &s : {std::string(p), percent_decoded(p)})
            if (s.size() >= 3) found.push_back(s);
    };
    const std::size_t auth = uri.find("://");
    if (auth == std::string_view::npos) return found;
    const std::size_t stop = uri.find_first_of("@/", auth + 3);
    if (stop != std::string_view::npos && uri[stop] == '@') {
        const std::size_t colon = uri.find(':', auth + 3);
        if (colon < stop) add(uri.substr(colon + 1, stop - colon - 1));
    }
    for (std::size_t p = uri.find("password=", auth); p != std::string_view::npos;
         p = uri.find("password=", p + 1)) {
        if (uri[p - 1] != '?' && uri[p - 1] != '&') continue;
        const std::size_t start = p + 9;
        add(uri.substr(start, uri.find('&', start) - start));
    }
    return found;
}

// Appends a text field in COPY's text format.
void put_field(std::string &out, std::string_view s) {
    for (char c : s) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
}
void put_text_or_null(std::string &out, std::string_view s) {
    if (s.empty())
        out += "\\N";
    else
        put_field(out, s);
}
void put_int(std::string &out, int64_t v) {
    char buf[24];
    out.append(buf, static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, v).ptr - buf));
}

// The columns of a key, in primary-key order; in a forecast the basis
// time follows the probability.
constexpr const char *kKeyColumns[] = {"station",  "pe",          "duration",   "type_source",
                                       "extremum", "probability", "basis_time", "duration_value",
                                       "obs_time"};

// "a.col = b.col AND ..." over a key; the basis time is b's basis_column.
std::string key_match(const char *a, const char *b, bool forecast,
                      const char *basis_column = "basis_time") {
    std::string s;
    for (const char *c : kKeyColumns) {
        const bool basis = std::strcmp(c, "basis_time") == 0;
        if (basis && !forecast) continue;
        if (!s.empty()) s += " AND ";
        s += std::string(a) + "." + c + " = " + b + "." + (basis ? basis_column : c);
    }
    return s;
}

// "a.col, ..." over a key; the basis time is the given expression.
std::string key_list(const char *a, bool forecast, const std::string &basis) {
    std::string s;
    for (const char *c : kKeyColumns) {
        const bool is_basis = std::strcmp(c, "basis_time") == 0;
        if (is_basis && !forecast) continue;
        if (!s.empty()) s += ", ";
        s += is_basis ? basis : std::string(a) + "." + c;
    }
    return s;
}

// The rules over values sorted by key and arrival: the state a key holds
// as each value arrives, the action of each, and whether the key changed.
class Fold {
  public:
    explicit Fold(Policy policy) : policy_(policy) {}
    // The first value of a key starts from what the key holds.
    Action next(bool first, const Stored &held, bool missing, double value, bool revised) {
        if (first) {
            state_ = held;
            changed_ = false;
        }
        const Action a = decide(policy_, state_, missing, value, revised);
        if (a != Action::Keep) {
            state_ = {true, missing, value};
            changed_ = true;
        }
        return a;
    }
    bool changed() const { return changed_; }

  private:
    Policy policy_;
    Stored state_{};
    bool changed_ = false;
};

// One fetched row of a fold as COPY text: columns by number, null as \N.
class Fields {
  public:
    Fields(PGresult *r, int row) : r_(r), row_(row) {}
    bool null(int col) const { return PQgetisnull(r_, row_, col) != 0; }
    const char *text(int col) const { return PQgetvalue(r_, row_, col); }
    bool flag(int col) const { return text(col)[0] == 't'; }
    double number(int col) const {
        double v = 0;
        std::from_chars(text(col), text(col) + PQgetlength(r_, row_, col), v);
        return v;
    }
    void put(std::string &out, int col) const {
        if (null(col))
            out += "\\N";
        else
            put_field(out, std::string_view(text(col), PQgetlength(r_, row_, col)));
    }
    // The columns in order, tab-separated; a negative number stands for
    // the text extra[-n - 1].
    void line(std::string &out, std::initializer_list<int> cols,
              std::initializer_list<const char *> extra = {}) const {
        bool tab = false;
        for (int c : cols) {
            if (tab) out += '\t';
            tab = true;
            if (c >= 0)
                put(out, c);
            else
                put_field(out, extra.begin()[-c - 1]);
        }
        out += '\n';
    }

  private:
    PGresult *r_;
    int row_;
};

class PgStore final : public Store {
  public:
    PgStore(const std::string &uri, Policy policy) : Store(policy), passwords_(passwords_of(uri)) {
        conn_.reset(PQconnectdb(uri.c_str()));
        if (!conn_) throw Error("out of memory");
        if (PQstatus(conn_.get()) != CONNECTION_OK)
            throw Error(hidden(PQerrorMessage(conn_.get())));
        exec(
            "SET TimeZone = 'UTC'; SET DateStyle = 'ISO'; SET extra_float_digits = 1; "
            "SET client_min_messages = warning; SET temp_buffers = '64MB'");
        prepare_schema();
        exec(
            "CREATE TEMP TABLE vyr_stage (seq bigint, station text COLLATE \"C\", "
            "obs_time timestamptz, pe text COLLATE \"C\", duration text COLLATE \"C\", "
            "type_source text COLLATE \"C\", extremum text COLLATE \"C\", "
            "probability text COLLATE \"C\", duration_value bigint, basis_time timestamptz, "
            "value double precision, qualifier text, revised smallint, message text, "
            "line bigint, comment text, forecast boolean, key_basis timestamptz); "
            "CREATE TEMP TABLE vyr_current AS SELECT * FROM forecast WITH NO DATA");
    }

    ~PgStore() override { rollback(); }

    void begin(const Product &product) override {
        product_ = product;
        totals_ = {};
        seq_ = 0;
        copy_.clear();
        exec("TRUNCATE vyr_stage");
        start_copy("COPY vyr_stage FROM STDIN");
    }

    // The value as a line of the staging table's COPY text: seq, the value
    // log's columns from station to comment, whether it is a forecast, and
    // the basis time of its key.
    void add(const Row &row) override {
        std::string &o = copy_;
        put_int(o, ++seq_);
        o += '\t';
        put_field(o, row.station);
        o += '\t';
        o += row.obs_time;
        o += '\t';
        put_field(o, row.pe);
        o += '\t';
        put_field(o, row.duration);
        o += '\t';
        put_field(o, row.type_source);
        o += '\t';
        put_field(o, row.extremum);
        o += '\t';
        put_field(o, row.probability);
        o += '\t';
        put_int(o, row.duration_value);
        o += '\t';
        put_text_or_null(o, row.basis_time);
        o += '\t';
        // The decoder's canonical decimal text reads as the same double.
        put_text_or_null(o, row.missing ? std::string_view() : row.value_text);
        o += '\t';
        put_text_or_null(o, row.qualifier);
        o += row.revised ? "\t1\t" : "\t0\t";
        put_field(o, row.message);
        o += '\t';
        put_int(o, row.line);
        o += '\t';
        put_text_or_null(o, row.comment);
        if (row.forecast()) {
            o += "\tt\t";
            o += basis_of(row, product_);
            o += '\n';
        } else {
            o += "\tf\t\\N\n";
        }
        ++totals_.values;
        if (o.size() >= kCopyChunk) {
            send(o);
            o.clear();
        }
    }

    Totals commit(long errors) override {
        send(copy_);
        copy_.clear();
        end_copy();
        totals_.errors = errors;
        exec("ANALYZE vyr_stage");
        for (int attempt = 0;; ++attempt) {
            try {
                post_staged();
                return totals_;
            } catch (const Retry &e) {
                abandon();
                if (attempt == kRetries) throw Error(e.what());
            }
        }
    }

    void rollback() noexcept override {
        if (!conn_) return;
        if (copying_) {
            copying_ = false;
            PQputCopyEnd(conn_.get(), "posting abandoned");
            while (PGresult *r = PQgetResult(conn_.get())) PQclear(r);
        }
        abandon();
    }

    Totals replay() override {
        for (int attempt = 0;; ++attempt) {
            try {
                return rebuild();
            } catch (const Retry &e) {
                abandon();
                if (attempt == kRetries) throw Error(e.what());
            } catch (...) {
                abandon();
                throw;
            }
        }
    }

    bool usable() const override { return conn_ && PQstatus(conn_.get()) == CONNECTION_OK; }

  private:
    std::string hidden(std::string_view text) const {
        std::string s = one_line(text);
        for (const std::string &p : passwords_)
            for (std::size_t at; (at = s.find(p)) != std::string::npos;)
                s.replace(at, p.size(), "***");
        return s;
    }

    // A failure of the server: a serialization failure, a deadlock, or a
    // key that another poster inserted first is retried.
    [[noreturn]] void fail(PGresult *r) const {
        const char *state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
        const char *primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        const std::string why = hidden(primary != nullptr ? primary : PQerrorMessage(conn_.get()));
        if (state != nullptr &&
            (std::strcmp(state, "40001") == 0 || std::strcmp(state, "40P01") == 0 ||
             (std::strcmp(state, "23505") == 0 && posting_)))
            throw Retry(why);
        throw Error(why);
    }

    Result check(PGresult *raw) const {
        Result r(raw);
        const ExecStatusType s = raw ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
        if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK && s != PGRES_COPY_IN) fail(raw);
        return r;
    }

    Result exec(const char *sql) const { return check(PQexec(conn_.get(), sql)); }
    Result exec(const std::string &sql) const { return exec(sql.c_str()); }
    Result exec(const std::string &sql, const std::vector<const char *> &params) const {
        return check(PQexecParams(conn_.get(), sql.c_str(), static_cast<int>(params.size()),
                                  nullptr, params.data(), nullptr, nullptr, 0));
    }

    // Rolls back what the server holds of a transaction; never throws.
    void abandon() noexcept {
        posting_ = false;
        if (!conn_ || PQstatus(conn_.get()) != CONNECTION_OK) return;
        if (PQtransactionStatus(conn_.get()) != PQTRANS_IDLE)
            PQclear(PQexec(conn_.get(), "ROLLBACK"));
    }

    void start_copy(const char *sql) {
        exec(sql);
        copying_ = true;
    }
    void send(std::string_view text) {
        if (!text.empty() &&
            PQputCopyData(conn_.get(), text.data(), static_cast<int>(text.size())) != 1)
            throw Error(hidden(PQerrorMessage(conn_.get())));
    }
    void end_copy() {
        copying_ = false;
        if (PQputCopyEnd(conn_.get(), nullptr) != 1)
            throw Error(hidden(PQerrorMessage(conn_.get())));
        Result failed;
        while (PGresult *r = PQgetResult(conn_.get())) {
            Result cur(r);
            if (PQresultStatus(r) != PGRES_COMMAND_OK && !failed) failed = std::move(cur);
        }
        if (failed) fail(failed.get());
    }
    // One COPY of the given rows.
    void copy_data(const std::string &sql, std::string_view text) {
        if (text.empty()) return;
        start_copy(sql.c_str());
        for (std::size_t at = 0; at < text.size(); at += kCopyChunk)
            send(text.substr(at, kCopyChunk));
        end_copy();
    }
    // The same, emptying the text.
    void copy_rows(const std::string &sql, std::string &text) {
        copy_data(sql, text);
        text.clear();
    }

    // A new database (none of the tables) gets the schema; any other must
    // carry this version of it. Nothing is written to one that is refused.
    void prepare_schema() {
        auto state = [&] {
            Result r = exec(
                "SELECT to_regclass('schema_info') IS NOT NULL, count(*) FROM pg_class c "
                "WHERE c.relnamespace = to_regnamespace(current_schema()) AND c.relname IN "
                "('schema_info', 'product', 'value_log', 'observed', 'forecast', "
                "'latest_observed')");
            return std::pair(PQgetvalue(r.get(), 0, 0)[0] == 't',
                             std::strtoll(PQgetvalue(r.get(), 0, 1), nullptr, 10));
        };
        auto [has_info, ours] = state();
        if (!has_info && ours == 0) {
            exec("BEGIN");
            try {
                exec("SELECT pg_advisory_xact_lock($1)", {kCreateLock});
                std::tie(has_info, ours) = state();
                if (!has_info && ours == 0) exec(kPgSchema);
                exec("COMMIT");
            } catch (...) {
                abandon();
                throw;
            }
            std::tie(has_info, ours) = state();
        }
        if (!has_info) throw Error("not a SHEF database of this program (no schema_info table)");
        Result v = exec("SELECT version FROM schema_info");
        const bool one = PQntuples(v.get()) == 1;
        const long long version = one ? std::strtoll(PQgetvalue(v.get(), 0, 0), nullptr, 10) : 0;
        if (!one || version != kSchemaVersion)
            throw Error("schema version " + (one ? std::to_string(version) : "unknown") +
                        ", this program writes version " + std::to_string(kSchemaVersion));
    }

    // Reads a fold's cursor a batch at a time; body gets each batch and
    // sends what it gathered before the next fetch.
    template <class F>
    void each_batch(const std::string &query, F body) {
        exec("DECLARE vyr_fold NO SCROLL CURSOR FOR " + query);
        for (;;) {
            Result r = exec(std::string("FETCH ") + kFetch + " FROM vyr_fold");
            if (PQntuples(r.get()) == 0) break;
            body(r.get());
        }
        exec("CLOSE vyr_fold");
    }

    // The staged values of one table in key and input order, with what
    // their keys hold, through the rules; the outcome goes back with COPY
    // as it is read.
    void fold_staged(bool forecast, const std::string &id) {
        const std::string table = forecast ? "forecast" : "observed";
        const std::string match = key_match("c", "s", forecast, "key_basis");
        const std::string which = std::string(forecast ? "" : "NOT ") + "s.forecast";
        const std::string key = key_list("s", forecast, "s.key_basis");
        // The stored keys, locked in key order so that posters lock alike: a
        // poster that would change one waits for this one to commit.
        exec("SELECT count(*) FROM (SELECT 1 FROM " + table + " c JOIN vyr_stage s ON " + match +
             " WHERE " + which + " ORDER BY " + key_list("c", forecast, "c.basis_time") +
             " FOR UPDATE OF c) AS locked");
        const std::string q =
            "SELECT row_number() OVER (PARTITION BY " + key +
            " ORDER BY s.seq) = 1, s.seq, s.station, s.obs_time, s.pe, s.duration, "
            "s.type_source, s.extremum, s.probability, s.duration_value, s.basis_time, s.value, "
            "s.qualifier, s.revised, s.message, s.line, s.comment, s.key_basis, "
            "c.line IS NOT NULL, c.value IS NULL, c.value FROM vyr_stage s LEFT JOIN " +
            table + " c ON " + match + " WHERE " + which + " ORDER BY " + key + ", s.seq";
        // Columns: 0 first, 1 seq, 2 station, 3 obs_time, 4 pe, 5 duration,
        // 6 type_source, 7 extremum, 8 probability, 9 duration_value,
        // 10 basis_time, 11 value, 12 qualifier, 13 revised, 14 message,
        // 15 line, 16 comment, 17 key_basis, 18 stored, 19 stored missing,
        // 20 stored value.
        Fold fold(policy_);
        std::string log, fresh, changed, last;
        bool key_new = false, updates = false;
        auto end_key = [&] {
            if (fold.changed()) (key_new ? fresh : changed) += last;
            last.clear();
        };
        // Stored keys that changed wait in a table of the same columns.
        const std::string into_current =
            forecast ? "COPY vyr_current FROM STDIN"
                     : "COPY vyr_current (station, pe, duration, type_source, extremum, "
                       "probability, duration_value, obs_time, value, qualifier, revised, "
                       "product_id, line, posting_time) FROM STDIN";
        auto send_all = [&] {
            copy_rows("COPY value_log FROM STDIN", log);
            copy_rows("COPY " + table + " FROM STDIN", fresh);
            updates = updates || !changed.empty();
            copy_rows(into_current, changed);
        };
        const char *posting = product_.posting_time;
        each_batch(q, [&](PGresult *r) {
            for (int i = 0, n = PQntuples(r); i < n; ++i) {
                const Fields f(r, i);
                const bool first = f.flag(0);
                if (first) {
                    end_key();
                    key_new = !f.flag(18);
                }
                const Stored held{f.flag(18), f.flag(19), f.flag(19) ? 0 : f.number(20)};
                const bool missing = f.null(11);
                const Action a = fold.next(first, held, missing, missing ? 0 : f.number(11),
                                           f.text(13)[0] == '1');
                count(a);
                f.line(log, {-1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, -2},
                       {id.c_str(), action_name(a)});
                if (a == Action::Keep) continue;
                last.clear();
                if (forecast)
                    f.line(last, {2, 4, 5, 6, 7, 8, 17, 9, 3, 11, 12, 13, -1, 15, -2},
                           {id.c_str(), posting});
                else
                    f.line(last, {2, 4, 5, 6, 7, 8, 9, 3, 11, 12, 13, -1, 15, -2},
                           {id.c_str(), posting});
            }
            send_all();
        });
        end_key();
        send_all();
        if (!updates) return;
        exec("UPDATE " + table +
             " c SET value = u.value, qualifier = u.qualifier, revised = u.revised, "
             "product_id = u.product_id, line = u.line, posting_time = u.posting_time "
             "FROM vyr_current u WHERE " +
             key_match("c", "u", forecast));
        exec("TRUNCATE vyr_current");
    }

    void post_staged() {
        totals_.inserted = totals_.overwritten = totals_.kept = 0;
        exec("BEGIN ISOLATION LEVEL REPEATABLE READ");
        posting_ = true;
        exec("SET LOCAL work_mem = '128MB'");
        Result p = exec(
            "INSERT INTO product (name, product_time, posting_time) VALUES ($1, $2, $3) "
            "RETURNING product_id",
            {product_.name.c_str(), product_.dated ? product_.product_time : nullptr,
             product_.posting_time});
        const std::string id = PQgetvalue(p.get(), 0, 0);
        fold_staged(false, id);
        fold_staged(true, id);
        const std::string counts[] = {std::to_string(totals_.values),
                                      std::to_string(totals_.inserted),
                                      std::to_string(totals_.overwritten),
                                      std::to_string(totals_.kept), std::to_string(totals_.errors)};
        exec(
            "UPDATE product SET values_read = $1, inserted = $2, overwritten = $3, kept = $4, "
            "errors = $5 WHERE product_id = $6",
            {counts[0].c_str(), counts[1].c_str(), counts[2].c_str(), counts[3].c_str(),
             counts[4].c_str(), id.c_str()});
        exec("COMMIT");
        posting_ = false;
    }

    Totals rebuild() {
        totals_ = {};
        exec("BEGIN ISOLATION LEVEL REPEATABLE READ");
        // Locks before the first query, so that the rebuild sees every
        // product committed before it and none posts while it runs.
        exec("LOCK TABLE product, value_log IN SHARE MODE");
        exec("LOCK TABLE observed, forecast IN EXCLUSIVE MODE");
        exec("SET LOCAL work_mem = '128MB'");
        exec("DELETE FROM observed");
        exec("DELETE FROM forecast");
        const std::string basis = "coalesce(v.basis_time, p.product_time, p.posting_time)";
        for (bool forecast : {false, true}) {
            const std::string key = key_list("v", forecast, basis);
            const std::string q =
                "SELECT row_number() OVER (PARTITION BY " + key +
                " ORDER BY v.product_id, v.seq) = 1, v.station, v.pe, v.duration, "
                "v.type_source, v.extremum, v.probability, " +
                basis +
                ", v.duration_value, v.obs_time, v.value, v.qualifier, v.revised, v.product_id, "
                "v.line, p.posting_time FROM value_log v JOIN product p ON p.product_id = "
                "v.product_id WHERE " +
                (forecast ? "" : "NOT ") + "left(v.type_source, 1) IN ('F', 'C') ORDER BY " + key +
                ", v.product_id, v.seq";
            // Columns: 0 first, 1 station, 2 pe, 3 duration, 4 type_source,
            // 5 extremum, 6 probability, 7 basis, 8 duration_value,
            // 9 obs_time, 10 value, 11 qualifier, 12 revised, 13 product_id,
            // 14 line, 15 posting_time.
            Fold fold(policy_);
            std::string rows, last;
            const std::string into =
                std::string("COPY ") + (forecast ? "forecast" : "observed") + " FROM STDIN";
            auto end_key = [&] {
                if (fold.changed()) rows += last;
                last.clear();
            };
            each_batch(q, [&](PGresult *r) {
                for (int i = 0, n = PQntuples(r); i < n; ++i) {
                    const Fields f(r, i);
                    const bool first = f.flag(0);
                    if (first) end_key();
                    const bool missing = f.null(10);
                    const Action a = fold.next(first, Stored{false, false, 0}, missing,
                                               missing ? 0 : f.number(10), f.text(12)[0] == '1');
                    ++totals_.values;
                    count(a);
                    if (a == Action::Keep) continue;
                    last.clear();
                    if (forecast)
                        f.line(last, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
                    else
                        f.line(last, {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15});
                }
                copy_rows(into, rows);
            });
            end_key();
            copy_rows(into, rows);
        }
        exec("COMMIT");
        return totals_;
    }

    void count(Action a) {
        switch (a) {
            case Action::Insert: ++totals_.inserted; break;
            case Action::Overwrite: ++totals_.overwritten; break;
            case Action::Keep: ++totals_.kept; break;
        }
    }

    std::vector<std::string> passwords_;
    std::unique_ptr<PGconn, ConnFinish> conn_;
    Product product_{};
    Totals totals_;
    int64_t seq_ = 0;
    std::string copy_;
    bool copying_ = false;
    bool posting_ = false;  // inside the posting transaction
};

}  // namespace

std::unique_ptr<Store> open_postgres(const std::string &uri, Policy policy) {
    return std::make_unique<PgStore>(uri, policy);
}

}  // namespace vyr::store
