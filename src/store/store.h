// store.h - decoded SHEF values posted into a database under the
// standard's repetition and revision rules (or a site's duplicate policy),
// with the log of every value that arrived.
//
// Two backends sit behind one interface: SQLite (a file) and PostgreSQL
// (a connection URI). Each owns its connection and prepared statements.
// One product is one transaction: begin, the values in input order, then
// commit, which posts it whole, or rollback, which leaves no trace of it.
// Failures throw store::Error with the reason the library or the server
// gave; texts handed in stay owned by the caller and are copied as needed.
#ifndef VYR_STORE_H
#define VYR_STORE_H

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "shef_series.h"

struct sqlite3;

namespace vyr::store {

// ---------------------------------------------------------------------------
// The rules (policy.cpp)

// What a value arriving for a stored key may do. Standard is the manual's:
// a revised value overwrites whatever is stored; a value that is not
// revised overwrites only a stored missing value, and only when it is not
// missing itself. The others are the duplicate policies sites choose from.
enum class Policy { Standard, Always, Revised, Different, DifferentOrRevised, DifferentAndRevised };

// "standard", "always", "revised", "different", "different_or_revised",
// "different_and_revised" (any case); false for another text.
bool parse_policy(std::string_view text, Policy &policy);
const char *policy_name(Policy policy);

enum class Action { Insert, Overwrite, Keep };
// "insert", "overwrite", "keep": the value_log texts.
const char *action_name(Action action);

// The state of a key: nothing stored, a missing value or a number.
struct Stored {
    bool present;
    bool missing;
    double value;
};

// The outcome of one value against what its key holds. A key not yet
// stored is inserted under every policy.
Action decide(Policy policy, const Stored &stored, bool missing, double value, bool revised);

// ---------------------------------------------------------------------------
// Values as the log keeps them

constexpr std::size_t kTimeText = 21;  // "YYYY-MM-DDTHH:MM:SSZ" and its terminator

// One decoded value with the texts shef2csv writes for it. The views point
// into the decoder's buffers (or the caller's) and live as long as they do.
struct Row {
    std::string_view station;
    char obs_time[kTimeText];
    char pe[3], duration[2], type_source[3], extremum[2], probability[2];
    int64_t duration_value;
    char basis_time[kTimeText];  // the creation date; empty when none
    bool missing;
    std::string_view value_text;  // canonical decimal text when not missing
    double value;
    char qualifier[2];  // empty when none
    bool revised;
    char message[3];  // ".A", ".B", ".E"
    int64_t line;
    std::string_view comment;

    // Values of type F (forecast) or C (the forecast's creation) go to the
    // forecast table.
    bool forecast() const { return type_source[0] == 'F' || type_source[0] == 'C'; }
};

// Fills rows from decoded records. Times repeat from value to value, so
// their text is kept from the one before.
class RowMaker {
  public:
    void make(const vyr::series::Record &r, Row &row);

  private:
    int64_t last_obs_ = INT64_MIN, last_basis_ = INT64_MIN;
    char obs_[kTimeText] = {}, basis_[kTimeText] = {};
};

// ---------------------------------------------------------------------------
// The stores

struct Product {
    std::string name;              // as shown in messages: "-" for standard input
    bool dated;                    // the file selection gave the input a date
    char product_time[kTimeText];  // when dated
    char posting_time[kTimeText];
};

struct Totals {
    long values = 0, inserted = 0, overwritten = 0, kept = 0, errors = 0;
};

class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class Store {
  public:
    virtual ~Store() = default;
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    // Starts a product; its values follow in input order.
    virtual void begin(const Product &product) = 0;
    virtual void add(const Row &row) = 0;
    // Posts the product whole, with the decoder's error count, and returns
    // its totals.
    virtual Totals commit(long errors) = 0;
    // Drops the product begun; never throws.
    virtual void rollback() noexcept = 0;
    // Rebuilds observed and forecast from value_log under the policy, in
    // one transaction; the totals of what the rebuild did.
    virtual Totals replay() = 0;
    // False once the connection or file can take no further product.
    virtual bool usable() const = 0;

  protected:
    explicit Store(Policy policy) : policy_(policy) {}
    // The basis time of a forecast: its creation date, else the product's
    // date, else its posting time.
    static const char *basis_of(const Row &row, const Product &product) {
        if (row.basis_time[0] != '\0') return row.basis_time;
        return product.dated ? product.product_time : product.posting_time;
    }
    Policy policy_;
};

// A PostgreSQL connection URI: "postgresql://" or "postgres://".
bool is_uri(std::string_view name);
// The name as messages may show it: a URI without its password, whether in
// the user part or in a password parameter.
std::string shown_name(std::string_view name);

// Opens (creating when new) the database a name gives: a URI, else a SQLite
// file. Throws Error when it cannot be opened or created, is no database,
// or holds another schema; the database is then left as it was.
std::unique_ptr<Store> open(const std::string &name, Policy policy);
std::unique_ptr<Store> open_sqlite(const std::string &file, Policy policy);
std::unique_ptr<Store> open_postgres(const std::string &uri, Policy policy);
// The connection of a store that open_sqlite opened, else null: for what a
// test sets on the connection itself (a page limit).
sqlite3 *sqlite_connection(Store &store);

// The schema version this program writes and reads.
constexpr int kSchemaVersion = 1;

}  // namespace vyr::store

#endif  // VYR_STORE_H
