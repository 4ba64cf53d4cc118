// store_pg.cpp - the PostgreSQL backend, for a database that many posters
// and readers share.
//
// A product's values go to a temporary staging table with COPY (data
// only, never SQL text), outside the posting transaction, so that a retry
// needs nothing from the input again. The posting transaction then reads
// the staged values with what their keys hold, sorted by key and input
// order, applies the rules value by value here (the same decide() as the
// SQLite backend), sends the outcome back with COPY, and posts with
// set-based statements.
//
// Concurrency: the transaction runs at REPEATABLE READ and first takes a
// share lock on every stored row its values touch. A row changed by a
// poster that committed after this one began, or a key another poster
// inserts meanwhile, makes the server abort with a serialization failure;
// that and a deadlock are retried. Kept rows stay locked until commit, so
// the tables always equal a serial posting in commit order.
#include <libpq-fe.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
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
constexpr const char *kFetch = "20000";  // rows per fetch of the fold
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

bool column_bool(PGresult *r, int row, int col) { return PQgetvalue(r, row, col)[0] == 't'; }
int64_t column_int(PGresult *r, int row, int col) {
    return std::strtoll(PQgetvalue(r, row, col), nullptr, 10);
}
double column_double(PGresult *r, int row, int col) {
    const char *p = PQgetvalue(r, row, col);
    double v = 0;
    std::from_chars(p, p + PQgetlength(r, row, col), v);
    return v;
}

// The key of a value: the columns that name it, in primary-key order.
constexpr const char *kObservedKey =
    "station, pe, duration, type_source, extremum, probability, duration_value, obs_time";
constexpr const char *kForecastKey =
    "station, pe, duration, type_source, extremum, probability, basis_time, duration_value, "
    "obs_time";

std::string key_join(const char *a, const char *b, bool forecast) {
    std::string s;
    const char *cols[] = {"station",  "pe",          "duration",       "type_source",
                          "extremum", "probability", "duration_value", "obs_time"};
    for (const char *c : cols) {
        if (!s.empty()) s += " AND ";
        s += std::string(a) + "." + c + " = " + b + "." + c;
    }
    if (forecast) s += std::string(" AND ") + a + ".basis_time = " + b + ".key_basis";
    return s;
}

std::string prefixed(const char *alias, const char *key) {
    std::string s, col;
    for (const char *p = key;; ++p) {
        if (*p == ',' || *p == '\0') {
            if (!s.empty()) s += ", ";
            s += std::string(alias) + "." + col;
            col.clear();
            if (*p == '\0') break;
        } else if (*p != ' ') {
            col += *p;
        }
    }
    return s;
}

// The rules over values sorted by key and arrival: the state a key holds
// as each value arrives, the action of each, and the value a key ends with
// when any changed it.
class Fold {
  public:
    explicit Fold(Policy policy) : policy_(policy) {}
    // The first value of a key starts from what the key holds.
    Action next(bool first, const Stored &held, bool missing, double value, bool revised) {
        if (first) {
            end_key();
            state_ = held;
        }
        const Action a = decide(policy_, state_, missing, value, revised);
        if (a != Action::Keep) {
            state_ = {true, missing, value};
            changed_ = true;
        }
        return a;
    }
    // True when the key ended changed: its last change is final.
    bool end_key() {
        const bool c = changed_;
        changed_ = false;
        return c;
    }

  private:
    Policy policy_;
    Stored state_{};
    bool changed_ = false;
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
            "SET client_min_messages = warning");
        prepare_schema();
        exec(
            "CREATE TEMP TABLE vyr_stage (seq bigint, station text COLLATE \"C\", "
            "obs_time timestamptz, pe text COLLATE \"C\", duration text COLLATE \"C\", "
            "type_source text COLLATE \"C\", extremum text COLLATE \"C\", "
            "probability text COLLATE \"C\", duration_value bigint, basis_time timestamptz, "
            "value double precision, qualifier text, revised smallint, message text, "
            "line bigint, comment text, forecast boolean, key_basis timestamptz); "
            "CREATE TEMP TABLE vyr_act (seq bigint, action smallint); "
            "CREATE TEMP TABLE vyr_rebuilt (product_id bigint, seq bigint)");
    }

    ~PgStore() override { rollback(); }

    void begin(const Product &product) override {
        product_ = product;
        totals_ = {};
        seq_ = 0;
        copy_.clear();
        exec("TRUNCATE vyr_stage, vyr_act");
        start_copy("COPY vyr_stage FROM STDIN");
    }

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
        if (o.size() >= kCopyChunk) send_copy();
    }

    Totals commit(long errors) override {
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

    [[noreturn]] void fail(PGresult *r) const {
        const char *state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
        const char *primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        const std::string why = hidden(primary != nullptr ? primary : PQerrorMessage(conn_.get()));
        if (state != nullptr &&
            (std::strcmp(state, "40001") == 0 || std::strcmp(state, "40P01") == 0))
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
        if (!conn_ || PQstatus(conn_.get()) != CONNECTION_OK) return;
        if (PQtransactionStatus(conn_.get()) != PQTRANS_IDLE)
            PQclear(PQexec(conn_.get(), "ROLLBACK"));
    }

    void start_copy(const char *sql) {
        exec(sql);
        copying_ = true;
    }
    void send_copy() {
        if (!copy_.empty() &&
            PQputCopyData(conn_.get(), copy_.data(), static_cast<int>(copy_.size())) != 1)
            throw Error(hidden(PQerrorMessage(conn_.get())));
        copy_.clear();
    }
    void end_copy() {
        send_copy();
        copying_ = false;
        if (PQputCopyEnd(conn_.get(), nullptr) != 1)
            throw Error(hidden(PQerrorMessage(conn_.get())));
        Result last;
        while (PGresult *r = PQgetResult(conn_.get())) {
            Result cur(r);
            if (PQresultStatus(r) != PGRES_COMMAND_OK && !last) last = std::move(cur);
        }
        if (last) fail(last.get());
    }
    // One COPY of the text gathered in copy_.
    void copy_rows(const char *sql) {
        if (copy_.empty()) return;
        start_copy(sql);
        end_copy();
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
            return std::pair(column_bool(r.get(), 0, 0), column_int(r.get(), 0, 1));
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
        const int64_t version = one ? column_int(v.get(), 0, 0) : 0;
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

    void fold_staged(bool forecast) {
        const char *table = forecast ? "forecast" : "observed";
        const std::string skey = prefixed("s",
                                          "station, pe, duration, type_source, extremum, "
                                          "probability, key_basis, duration_value, obs_time");
        const std::string key = forecast ? skey
                                         : prefixed("s",
                                                    "station, pe, duration, type_source, "
                                                    "extremum, probability, duration_value, "
                                                    "obs_time");
        const std::string q =
            std::string("SELECT s.seq, row_number() OVER (PARTITION BY ") + key +
            " ORDER BY s.seq) = 1, s.value IS NULL, s.value, s.revised = 1, o.line IS NOT NULL, "
            "o.value IS NULL, o.value FROM vyr_stage s LEFT JOIN " +
            table + " o ON " + key_join("o", "s", forecast) + " WHERE " + (forecast ? "" : "NOT ") +
            "s.forecast ORDER BY " + key + ", s.seq";
        Fold fold(policy_);
        int64_t last_change = 0;
        auto final_of_key = [&] {
            if (fold.end_key()) {
                put_int(copy_, last_change);
                copy_ += "\t3\n";
            }
        };
        each_batch(q, [&](PGresult *r) {
            for (int i = 0, n = PQntuples(r); i < n; ++i) {
                const int64_t seq = column_int(r, i, 0);
                const bool first = column_bool(r, i, 1);
                if (first) final_of_key();
                const Stored held{column_bool(r, i, 5), column_bool(r, i, 6),
                                  column_bool(r, i, 6) ? 0 : column_double(r, i, 7)};
                const bool missing = column_bool(r, i, 2);
                const Action a =
                    fold.next(first, held, missing, missing ? 0 : column_double(r, i, 3),
                              column_bool(r, i, 4));
                if (a != Action::Keep) last_change = seq;
                count(a);
                put_int(copy_, seq);
                copy_ += a == Action::Insert ? "\t0\n" : a == Action::Overwrite ? "\t1\n" : "\t2\n";
            }
            copy_rows("COPY vyr_act FROM STDIN");
        });
        final_of_key();
        copy_rows("COPY vyr_act FROM STDIN");
    }

    void post_staged() {
        totals_.inserted = totals_.overwritten = totals_.kept = 0;
        copy_.clear();
        exec("BEGIN ISOLATION LEVEL REPEATABLE READ");
        exec("SET LOCAL work_mem = '64MB'");
        // Every stored row the product touches is locked, in key order so
        // that posters lock alike; kept rows then cannot change under it.
        for (bool forecast : {false, true}) {
            const char *table = forecast ? "forecast" : "observed";
            const char *key = forecast ? kForecastKey : kObservedKey;
            exec(std::string("SELECT count(*) FROM (SELECT 1 FROM ") + table +
                 " o WHERE EXISTS (SELECT 1 FROM vyr_stage s WHERE " + (forecast ? "" : "NOT ") +
                 "s.forecast AND " + key_join("o", "s", forecast) + ") ORDER BY " +
                 prefixed("o", key) + " FOR SHARE OF o) AS locked");
        }
        fold_staged(false);
        fold_staged(true);
        const std::string counts[] = {std::to_string(totals_.values),
                                      std::to_string(totals_.inserted),
                                      std::to_string(totals_.overwritten),
                                      std::to_string(totals_.kept), std::to_string(totals_.errors)};
        Result p = exec(
            "INSERT INTO product (name, product_time, posting_time, values_read, inserted, "
            "overwritten, kept, errors) VALUES ($1, $2, $3, $4, $5, $6, $7, $8) "
            "RETURNING product_id",
            {product_.name.c_str(), product_.dated ? product_.product_time : nullptr,
             product_.posting_time, counts[0].c_str(), counts[1].c_str(), counts[2].c_str(),
             counts[3].c_str(), counts[4].c_str()});
        const std::string id = PQgetvalue(p.get(), 0, 0);
        exec(
            "INSERT INTO value_log SELECT $1, s.seq, s.station, s.obs_time, s.pe, s.duration, "
            "s.type_source, s.extremum, s.probability, s.duration_value, s.basis_time, s.value, "
            "s.qualifier, s.revised, s.message, s.line, s.comment, "
            "CASE a.action WHEN 0 THEN 'insert' WHEN 1 THEN 'overwrite' ELSE 'keep' END "
            "FROM vyr_stage s JOIN vyr_act a ON a.seq = s.seq AND a.action < 3 ORDER BY s.seq",
            {id.c_str()});
        for (bool forecast : {false, true}) {
            const char *key = forecast ? kForecastKey : kObservedKey;
            const std::string cols =
                forecast ? "s.station, s.pe, s.duration, s.type_source, s.extremum, "
                           "s.probability, s.key_basis, s.duration_value, s.obs_time"
                         : prefixed("s", kObservedKey);
            exec(std::string("INSERT INTO ") + (forecast ? "forecast" : "observed") + " SELECT " +
                     cols +
                     ", s.value, s.qualifier, s.revised, $1, s.line, $2 FROM vyr_stage s "
                     "JOIN vyr_act f ON f.seq = s.seq AND f.action = 3 WHERE " +
                     (forecast ? "" : "NOT ") + "s.forecast ORDER BY " + cols + " ON CONFLICT (" +
                     key +
                     ") DO UPDATE SET value = EXCLUDED.value, qualifier = EXCLUDED.qualifier, "
                     "revised = EXCLUDED.revised, product_id = EXCLUDED.product_id, "
                     "line = EXCLUDED.line, posting_time = EXCLUDED.posting_time",
                 {id.c_str(), product_.posting_time});
        }
        exec("COMMIT");
    }

    Totals rebuild() {
        totals_ = {};
        copy_.clear();
        exec("BEGIN ISOLATION LEVEL REPEATABLE READ");
        // Locks before the first query, so that the rebuild sees every
        // product committed before it and none posts while it runs.
        exec("LOCK TABLE product, value_log IN SHARE MODE");
        exec("LOCK TABLE observed, forecast IN EXCLUSIVE MODE");
        exec("SET LOCAL work_mem = '64MB'");
        exec("DELETE FROM observed");
        exec("DELETE FROM forecast");
        exec("TRUNCATE vyr_rebuilt");
        const char *basis = "coalesce(v.basis_time, p.product_time, p.posting_time)";
        for (bool forecast : {false, true}) {
            const std::string key =
                forecast ? std::string(
                               "v.station, v.pe, v.duration, v.type_source, v.extremum, "
                               "v.probability, ") +
                               basis + ", v.duration_value, v.obs_time"
                         : prefixed("v", kObservedKey);
            const std::string where =
                std::string(forecast ? "" : "NOT ") + "left(v.type_source, 1) IN ('F', 'C')";
            const std::string q =
                "SELECT v.product_id, v.seq, row_number() OVER (PARTITION BY " + key +
                " ORDER BY v.product_id, v.seq) = 1, v.value IS NULL, v.value, v.revised = 1 "
                "FROM value_log v JOIN product p ON p.product_id = v.product_id WHERE " +
                where + " ORDER BY " + key + ", v.product_id, v.seq";
            Fold fold(policy_);
            std::string last_change;
            auto final_of_key = [&] {
                if (fold.end_key()) copy_ += last_change;
            };
            each_batch(q, [&](PGresult *r) {
                for (int i = 0, n = PQntuples(r); i < n; ++i) {
                    const bool first = column_bool(r, i, 2);
                    if (first) final_of_key();
                    const bool missing = column_bool(r, i, 3);
                    const Action a =
                        fold.next(first, Stored{false, false, 0}, missing,
                                  missing ? 0 : column_double(r, i, 4), column_bool(r, i, 5));
                    if (a != Action::Keep)
                        last_change =
                            std::string(PQgetvalue(r, i, 0)) + '\t' + PQgetvalue(r, i, 1) + '\n';
                    ++totals_.values;
                    count(a);
                }
                copy_rows("COPY vyr_rebuilt FROM STDIN");
            });
            final_of_key();
            copy_rows("COPY vyr_rebuilt FROM STDIN");
            const std::string cols =
                forecast ? std::string(
                               "v.station, v.pe, v.duration, v.type_source, v.extremum, "
                               "v.probability, ") +
                               basis + ", v.duration_value, v.obs_time"
                         : prefixed("v", kObservedKey);
            exec(std::string("INSERT INTO ") + (forecast ? "forecast" : "observed") + " SELECT " +
                 cols +
                 ", v.value, v.qualifier, v.revised, v.product_id, v.line, p.posting_time "
                 "FROM vyr_rebuilt f JOIN value_log v ON v.product_id = f.product_id AND "
                 "v.seq = f.seq JOIN product p ON p.product_id = v.product_id WHERE " +
                 where + " ORDER BY " + cols);
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
};

}  // namespace

std::unique_ptr<Store> open_postgres(const std::string &uri, Policy policy) {
    return std::make_unique<PgStore>(uri, policy);
}

}  // namespace vyr::store
