// store_pg.cpp - the PostgreSQL backend, for a database that many posters
// and readers share.
//
// A product's values go to a temporary staging table with COPY (binary
// data only, never SQL text) as they are decoded, outside the posting
// transaction, so that a retry needs nothing from the input again. The
// posting transaction then applies the rules on the server, set-based,
// per table: the staged values sorted by key and arrival, with what their
// keys hold, get their action from window functions over the values of
// their key before them (the rules, written in SQL, need no more than
// that: see overwrites()). From that one sort every value goes into
// value_log, each new key's insert into observed or forecast, and the
// last overwrite of each key updates it. The product thus crosses the
// connection once.
//
// Concurrency: the transaction runs at REPEATABLE READ and first locks
// every stored row its values touch, in key order so that posters lock
// alike. A row changed by a poster that committed after this one began
// makes the server abort with a serialization failure, a key another
// poster inserted meanwhile fails this one's insert; those and deadlocks
// are retried. Kept rows stay locked until commit, so the tables always
// equal a serial posting in commit order.
#include <libpq-fe.h>

#include <bit>
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

constexpr int kRetries = 5;  // after the first try
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

// The staging rows go in COPY's binary format: nothing for the server to
// parse, which is most of what a text COPY costs it. Integers and floats
// are big-endian, times microseconds since 2000-01-01 UTC.
constexpr char kCopyHeader[] = "PGCOPY\n\377\r\n\0\0\0\0\0\0\0\0\0";
constexpr int16_t kStageColumns = 18;
constexpr int64_t kPgEpoch = 946684800;  // 2000-01-01 in seconds since 1970

void put_be(std::string &out, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}
void put_null(std::string &out) { put_be(out, 0xffffffffu, 4); }
void put_text(std::string &out, std::string_view s) {
    put_be(out, s.size(), 4);
    out += s;
}
void put_text_or_null(std::string &out, std::string_view s) {
    if (s.empty())
        put_null(out);
    else
        put_text(out, s);
}
void put_int8(std::string &out, int64_t v) {
    put_be(out, 8, 4);
    put_be(out, static_cast<uint64_t>(v), 8);
}
void put_float8(std::string &out, double v) {
    put_be(out, 8, 4);
    put_be(out, std::bit_cast<uint64_t>(v), 8);
}

// "YYYY-MM-DDTHH:MM:SSZ" as microseconds since 2000; false when the text
// is not such a time.
bool pg_time(const char *text, int64_t &micros) {
    int f[6];
    constexpr int kAt[] = {0, 5, 8, 11, 14, 17}, kWidth[] = {4, 2, 2, 2, 2, 2};
    for (int i = 0; i < 6; ++i) {
        const char *p = text + kAt[i];
        if (std::from_chars(p, p + kWidth[i], f[i]).ptr != p + kWidth[i]) return false;
    }
    const int64_t days = vyr::series::days_from_civil(f[0], f[1], f[2]);
    micros = ((days * 86400 + f[3] * 3600 + f[4] * 60 + f[5]) - kPgEpoch) * 1000000;
    return true;
}
void put_time_or_null(std::string &out, const char *text) {
    int64_t micros = 0;
    if (text[0] == '\0') {
        put_null(out);
        return;
    }
    if (!pg_time(text, micros)) throw Error(std::string("time not valid: ") + text);
    put_int8(out, micros);
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

// "a.col, ..." over a key (bare column names when a is empty); the basis
// time is the given column of a.
std::string key_list(const char *a, bool forecast, const char *basis_column = "basis_time") {
    std::string s;
    for (const char *c : kKeyColumns) {
        const bool basis = std::strcmp(c, "basis_time") == 0;
        if (basis && !forecast) continue;
        if (!s.empty()) s += ", ";
        if (*a != '\0') s += std::string(a) + ".";
        s += basis ? basis_column : c;
    }
    return s;
}

// When a value overwrites what its key holds, in SQL over the window w of
// its key's values in arrival order (ord), framed to those that came
// before it (one window for all: row_number() and lag() ignore the
// frame, and first_value() needs only a frame that starts with the key's
// first value, as that of every value but the first does); stored_value
// is what the key held before the product (null when missing or when
// nothing was stored). What decide()
// says value by value, without the state of the key before each value,
// which these policies never need in full:
// - standard needs only whether the key holds a missing value: the last
//   value that set it does, where every number sets it (a number is
//   posted over a missing value and stays), as does a revised missing
//   value; a missing value that is not revised sets nothing.
// - under different and different_or_revised a key always holds, after a
//   value, that value's number (a value that does not differ from it is
//   equal): the value before is the previous one, lag().
// - under different_and_revised only a revised value sets the key, to its
//   own number: the value before is that of the last revised value, else
//   what was stored, else (a new key) its first value.
std::string overwrites(Policy policy) {
    const std::string differs_from_previous =
        "CASE WHEN row_number() OVER w = 1 THEN s.value IS DISTINCT FROM stored_value "
        "ELSE s.value IS DISTINCT FROM lag(s.value) OVER w END";
    switch (policy) {
        case Policy::Standard:
            // The last value before that set the key, as 2 ord + 1 when it
            // was missing: its parity.
            return "s.revised = 1 OR (s.value IS NOT NULL AND coalesce(max(CASE WHEN s.value IS "
                   "NOT NULL OR s.revised = 1 THEN 2 * s.ord + (s.value IS NULL)::int END) OVER w "
                   "% 2 = 1, stored_value IS NULL))";
        case Policy::Always: return "true";
        case Policy::Revised: return "s.revised = 1";
        case Policy::Different: return differs_from_previous;
        case Policy::DifferentOrRevised: return "s.revised = 1 OR " + differs_from_previous;
        case Policy::DifferentAndRevised:
            return "s.revised = 1 AND s.value IS DISTINCT FROM CASE WHEN max(ARRAY[s.ord::float8, "
                   "s.value]) FILTER (WHERE s.revised = 1) OVER w IS NOT NULL THEN (max("
                   "ARRAY[s.ord::float8, s.value]) FILTER (WHERE s.revised = 1) OVER w)[2] "
                   "WHEN stored IS NULL THEN first_value(s.value) OVER w ELSE stored_value END";
    }
    return "false";
}

// The values of one table (source, a query with the staging table's
// columns, the key's basis time as key_basis and the arrival order as ord)
// through the rules, from what their keys hold in that table when
// against_stored: every value with stored (true, or null for a key not
// stored) and its action, in the order of their keys. A key's first value
// is its insert when it was not stored.
std::string acted_query(Policy policy, bool forecast, const std::string &source,
                        bool against_stored) {
    const char *table = forecast ? "forecast" : "observed";
    const std::string stored = against_stored
                                   ? std::string("LEFT JOIN (SELECT ") + key_list("t", forecast) +
                                         ", true AS stored, t.value AS stored_value FROM " + table +
                                         " t) AS c ON " + key_match("c", "s", forecast, "key_basis")
                                   : "CROSS JOIN (SELECT NULL::boolean AS stored, NULL::float8 AS "
                                     "stored_value) AS c";
    return "SELECT s.*, c.stored, CASE WHEN c.stored IS NULL AND row_number() OVER w = 1 THEN "
           "'insert' WHEN " +
           overwrites(policy) + " THEN 'overwrite' ELSE 'keep' END AS action FROM (" + source +
           ") AS s " + stored + " WHERE " + (forecast ? "" : "NOT ") +
           "s.forecast WINDOW w AS (PARTITION BY " + key_list("s", forecast, "key_basis") +
           " ORDER BY s.ord ROWS BETWEEN UNBOUNDED PRECEDING AND 1 PRECEDING)";
}

// The acted values with last_change, true for the value that changed its
// key last.
std::string fold_query(Policy policy, bool forecast, const std::string &source,
                       bool against_stored) {
    return "SELECT a.*, max(CASE WHEN a.action <> 'keep' THEN a.ord END) OVER (PARTITION BY " +
           key_list("a", forecast, "key_basis") + ") = a.ord AS last_change FROM (" +
           acted_query(policy, forecast, source, against_stored) + ") AS a";
}

// The columns of a keyed table, from the folded values f.
std::string current_columns(bool forecast) {
    return std::string("f.station, f.pe, f.duration, f.type_source, f.extremum, f.probability, ") +
           (forecast ? "f.key_basis, " : "") +
           "f.duration_value, f.obs_time, f.value, f.qualifier, f.revised, f.product_id, f.line, "
           "f.posting_time";
}

// The counts of the actions of the rows of r.
std::string counts_of(std::string_view r) {
    std::string s =
        "SELECT count(*) FILTER (WHERE action = 'insert'), count(*) FILTER (WHERE action = "
        "'overwrite'), count(*) FILTER (WHERE action = 'keep') FROM ";
    s += r;
    return s;
}

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
            "CREATE TEMP TABLE vyr_overwrite (station text COLLATE \"C\", pe text COLLATE \"C\", "
            "duration text COLLATE \"C\", type_source text COLLATE \"C\", "
            "extremum text COLLATE \"C\", probability text COLLATE \"C\", "
            "basis_time timestamptz, duration_value bigint, obs_time timestamptz, "
            "value double precision, qualifier text, revised smallint, line bigint, seq bigint)");
    }

    ~PgStore() override { rollback(); }

    void begin(const Product &product) override {
        product_ = product;
        totals_ = {};
        seq_ = 0;
        forecasts_ = 0;
        copy_.assign(kCopyHeader, sizeof kCopyHeader - 1);
        exec("TRUNCATE vyr_stage");
        start_copy("COPY vyr_stage FROM STDIN (FORMAT binary)");
    }

    // The value as a row of the staging table: seq, the value log's
    // columns from station to comment, whether it is a forecast, and the
    // basis time of its key.
    void add(const Row &row) override {
        std::string &o = copy_;
        put_be(o, kStageColumns, 2);
        put_int8(o, ++seq_);
        put_text(o, row.station);
        put_time_or_null(o, row.obs_time);
        put_text(o, row.pe);
        put_text(o, row.duration);
        put_text(o, row.type_source);
        put_text(o, row.extremum);
        put_text(o, row.probability);
        put_int8(o, row.duration_value);
        put_time_or_null(o, row.basis_time);
        if (row.missing)
            put_null(o);
        else
            put_float8(o, row.value);
        put_text_or_null(o, row.qualifier);
        put_be(o, 2, 4);
        put_be(o, row.revised ? 1 : 0, 2);
        put_text(o, row.message);
        put_int8(o, row.line);
        put_text_or_null(o, row.comment);
        put_be(o, 1, 4);
        o += row.forecast() ? '\1' : '\0';
        if (row.forecast()) {
            put_time_or_null(o, basis_of(row, product_));
            ++forecasts_;
        } else {
            put_null(o);
        }
        ++totals_.values;
        if (o.size() >= kCopyChunk) {
            send(o);
            o.clear();
        }
    }

    Totals commit(long errors) override {
        put_be(copy_, 0xffff, 2);  // the end of the rows
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

    // The staged values of one table through the rules, into value_log
    // and the table; adds the counts to the totals. The values come out
    // of the rules in key order and go into value_log as they come, and
    // from there a new key's insert goes into the table, still in key
    // order (cheapest for its primary key), and the overwrites aside. The
    // last overwrite of each key then updates it, in a statement of its
    // own so that it sees the keys just inserted.
    void post_table(bool forecast, const std::string &id) {
        const char *table = forecast ? "forecast" : "observed";
        const std::string which = std::string(forecast ? "" : "NOT ") + "s.forecast";
        // The stored keys, locked in key order so that posters lock alike: a
        // poster that would change one waits for this one to commit.
        // None (a product of new keys) spares the rules the stored table.
        Result locked = exec(
            std::string("SELECT count(*) FROM (SELECT 1 FROM ") + table +
            " c JOIN vyr_stage s ON " + key_match("c", "s", forecast, "key_basis") + " WHERE " +
            which + " ORDER BY " + key_list("c", forecast) + " FOR UPDATE OF c) AS locked");
        const bool stored = std::strtoll(PQgetvalue(locked.get(), 0, 0), nullptr, 10) > 0;
        exec("TRUNCATE vyr_overwrite");
        // The key of a logged value l; a forecast without a creation date
        // has the product's basis time, $3.
        std::string key = "l.station, l.pe, l.duration, l.type_source, l.extremum, l.probability, ";
        if (forecast) key += "coalesce(l.basis_time, $3), ";
        key += "l.duration_value, l.obs_time";
        std::string sql =
            "WITH logged AS (INSERT INTO value_log SELECT $1, f.seq, f.station, f.obs_time, f.pe, "
            "f.duration, f.type_source, f.extremum, f.probability, f.duration_value, "
            "f.basis_time, f.value, f.qualifier, f.revised, f.message, f.line, f.comment, "
            "f.action FROM (";
        sql += acted_query(policy_, forecast, "SELECT v.*, v.seq AS ord FROM vyr_stage v", stored);
        sql +=
            ") AS f RETURNING station, pe, duration, type_source, extremum, probability, "
            "basis_time, duration_value, obs_time, value, qualifier, revised, line, seq, action), "
            "inserted AS (INSERT INTO ";
        sql += table;
        sql += " SELECT " + key +
               ", l.value, l.qualifier, l.revised, $1, l.line, $2 FROM logged l WHERE l.action = "
               "'insert'), aside AS (INSERT INTO vyr_overwrite (";
        sql += key_list("", forecast);
        sql += ", value, qualifier, revised, line, seq) SELECT " + key;
        sql +=
            ", l.value, l.qualifier, l.revised, l.line, l.seq FROM logged l WHERE l.action = "
            "'overwrite') ";
        sql += counts_of("logged");
        const char *basis = product_.dated ? product_.product_time : product_.posting_time;
        std::vector<const char *> params = {id.c_str(), product_.posting_time};
        if (forecast) params.push_back(basis);
        Result counts = exec(sql, params);
        add_counts(counts.get());
        if (std::strtoll(PQgetvalue(counts.get(), 0, 1), nullptr, 10) == 0) return;
        exec(std::string("UPDATE ") + table +
                 " c SET value = o.value, qualifier = o.qualifier, revised = o.revised, "
                 "product_id = $1, line = o.line, posting_time = $2 FROM (SELECT DISTINCT ON (" +
                 key_list("w", forecast) + ") w.* FROM vyr_overwrite w ORDER BY " +
                 key_list("w", forecast) + ", w.seq DESC) AS o WHERE " +
                 key_match("c", "o", forecast),
             {id.c_str(), product_.posting_time});
    }

    void add_counts(PGresult *r) {
        totals_.inserted += std::strtol(PQgetvalue(r, 0, 0), nullptr, 10);
        totals_.overwritten += std::strtol(PQgetvalue(r, 0, 1), nullptr, 10);
        totals_.kept += std::strtol(PQgetvalue(r, 0, 2), nullptr, 10);
    }

    void post_staged() {
        totals_.inserted = totals_.overwritten = totals_.kept = 0;
        exec("BEGIN ISOLATION LEVEL REPEATABLE READ");
        posting_ = true;
        exec("SET LOCAL work_mem = '128MB'; SET LOCAL jit = off");
        Result p = exec(
            "INSERT INTO product (name, product_time, posting_time) VALUES ($1, $2, $3) "
            "RETURNING product_id",
            {product_.name.c_str(), product_.dated ? product_.product_time : nullptr,
             product_.posting_time});
        const std::string id = PQgetvalue(p.get(), 0, 0);
        // A table none of the product's values goes to is left alone.
        if (forecasts_ < totals_.values) post_table(false, id);
        if (forecasts_ > 0) post_table(true, id);
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

    // The log, in the order products and their values arrived, through the
    // rules into empty tables.
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
        const std::string source =
            "SELECT v.station, v.obs_time, v.pe, v.duration, v.type_source, v.extremum, "
            "v.probability, v.duration_value, v.value, v.qualifier, v.revised, v.line, "
            "v.product_id, coalesce(v.basis_time, p.product_time, p.posting_time) AS key_basis, "
            "left(v.type_source, 1) IN ('F', 'C') AS forecast, row_number() OVER (ORDER BY "
            "v.product_id, v.seq) AS ord, p.posting_time FROM value_log v JOIN product p ON "
            "p.product_id = v.product_id";
        for (bool forecast : {false, true}) {
            Result r =
                exec(std::string("WITH f AS MATERIALIZED (") +
                     fold_query(policy_, forecast, source, false) + "), inserted AS (INSERT INTO " +
                     (forecast ? "forecast" : "observed") + " SELECT " + current_columns(forecast) +
                     " FROM f WHERE f.last_change) " + counts_of("f"));
            add_counts(r.get());
        }
        totals_.values = totals_.inserted + totals_.overwritten + totals_.kept;
        exec("COMMIT");
        return totals_;
    }

    std::vector<std::string> passwords_;
    std::unique_ptr<PGconn, ConnFinish> conn_;
    Product product_{};
    Totals totals_;
    int64_t seq_ = 0;
    int64_t forecasts_ = 0;  // of the product's values
    std::string copy_;
    bool copying_ = false;
    bool posting_ = false;  // inside the posting transaction
};

}  // namespace

std::unique_ptr<Store> open_postgres(const std::string &uri, Policy policy) {
    return std::make_unique<PgStore>(uri, policy);
}

}  // namespace vyr::store
