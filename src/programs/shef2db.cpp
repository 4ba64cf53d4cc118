// shef2db - SHEF products posted into a database: every decoded value into
// the value log, and the current value of each key into observed or
// forecast under the standard's repetition and revision rules (or the
// site's duplicate policy).
//
// Start-up is that of the other programs: resources, a help answer, the
// banner, the SHEFPARM tables (a site's own in file_path, else the
// built-in ones). The database is the "database" resource (a SQLite file
// or a postgresql:// URI), else the site's "shef_db" convention, else
// shef.db in the working directory. Every positional name is one product,
// posted in the order given; with none, the file selection chooses one.
// Each product is one transaction. Years are inferred against the input's
// date, else the "hour" resource, else "vyrcurtime", else the clock.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base_int.h"
#include "program.h"
#include "resrc_int.h"
#include "shef2db_keys.h"
#include "shef_series.h"
#include "store.h"
#include "vyr.h"
#include "vyrresrc.h"

namespace {

using vyr::series::Parm;
using vyr::series::RefDate;
using vyr::series::Severity;
namespace store = vyr::store;

void db_failure(const std::string &shown, const char *why) {
    MESS_print(M_ERROR, "Unable to post to database:%s (%s)\n", shown.c_str(), why);
}

// The database: the "database" resource, else the file that the site's
// "shef_db" convention names, else shef.db here.
std::string database_name() {
    const char *own = RES_get("database");
    if (own != nullptr && *own != '\0') return own;
    if (FILE_set_name("shef_db") == 1) {
        Date undated;
        for (int32_t *f : {&undated.year, &undated.month, &undated.day, &undated.jday,
                           &undated.wday, &undated.hour, &undated.min, &undated.sec})
            *f = VYR_MISSING;
        char out[VYR_NAME_BUFFER] = "";
        if (FILE_set_date(&undated, out) >= 0 && out[0] != '\0') return out;
    }
    return "shef.db";
}

bool replay_asked() {
    const char *v = RES_get("replay");
    if (v == nullptr) return false;
    int32_t on = 0;
    RES_conv_data(*v != '\0' ? v : nullptr, &on, CV_bool);
    return on == 1;
}

bool is_set(int32_t field) { return field != VYR_MISSING; }

// The input's date as a time: the fields it gives, the least value for
// the others. False for an undated input.
bool product_time(const Date &d, char *out) {
    if (!is_set(d.year) || d.year < 1 || d.year > 9999) return false;
    auto within = [](int32_t v, int lo, int hi, int fallback) {
        return is_set(v) && v >= lo && v <= hi ? v : fallback;
    };
    vyr::series::Civil t{d.year,
                         within(d.month, 1, 12, 1),
                         1,
                         within(d.hour, 0, 23, 0),
                         within(d.min, 0, 59, 0),
                         within(d.sec, 0, 59, 0)};
    t.day = within(d.day, 1, vyr::series::days_in_month(t.year, t.month), 1);
    vyr::series::format_utc(vyr::series::seconds_of(t), out);
    return true;
}

// An input opened by FILE_open, closed on every way out.
class Input {
  public:
    explicit Input(std::string name) : name_(std::move(name)), f_(FILE_open(name_.c_str(), "r")) {}
    ~Input() {
        if (f_ != nullptr) vyr::close_opened(f_, name_.c_str(), false);
    }
    Input(const Input &) = delete;
    Input &operator=(const Input &) = delete;
    FILE *get() const { return f_; }
    // Closes it; false when reading failed or its command did.
    bool close() {
        FILE *f = std::exchange(f_, nullptr);
        return f != nullptr && vyr::close_opened(f, name_.c_str());
    }

  private:
    std::string name_;
    FILE *f_;
};

class Poster {
  public:
    Poster(store::Store &db, std::string shown_db, const Parm &parm)
        : db_(db), shown_db_(std::move(shown_db)), parm_(parm) {}

    // Posts one product; its exit status.
    int post(const std::string &name, const Date &date) {
        const std::string shown = FILE_is_stdio(name.c_str()) ? "-" : name;
        Input in(name);
        if (in.get() == nullptr) {
            MESS_print(M_ERROR, "Unable to open file:%s\n", shown.c_str());
            return VYR_NO_INPUT;
        }
        store::Product p{};
        p.name = shown;
        p.dated = product_time(date, p.product_time);
        vyr::series::format_utc(vyr::clock_now(), p.posting_time);
        vyr::program::DecoderNotes notes(parm_.error_limit());
        try {
            db_.begin(p);
            store::RowMaker maker;
            store::Row row{};
            vyr::series::Decoder decoder(
                parm_, vyr::program::reference_date(date),
                [&](const vyr::series::Record &r) {
                    maker.make(r, row);
                    db_.add(row);
                },
                [&](Severity s, long line, std::string_view text) { notes(s, line, text); });
            vyr::program::tell_long_lines(decoder);
            bool read_ok = false;
            try {
                read_ok = vyr::series::decode_stream(in.get(), decoder);
            } catch (const std::bad_alloc &) {
                // A line too long to hold: the input cannot be read.
            }
            read_ok = in.close() && read_ok;
            if (!read_ok) {
                db_.rollback();
                MESS_print(M_ERROR, "Unable to read file:%s\n", shown.c_str());
                return VYR_NO_INPUT;
            }
            const store::Totals t = db_.commit(decoder.counts().errors);
            MESS_print(M_MESS,
                       "%s: values: %ld, inserted: %ld, overwritten: %ld, kept: %ld, errors: %ld\n",
                       shown.c_str(), t.values, t.inserted, t.overwritten, t.kept, t.errors);
            return VYR_OK;
        } catch (const store::Error &e) {
            db_.rollback();
            db_failure(shown_db_, e.what());
            return VYR_DB_FAILED;
        }
    }

  private:
    store::Store &db_;
    std::string shown_db_;
    const Parm &parm_;
};

}  // namespace

int main(int argc, char **argv) {
    vyr::program::start(argc, argv, shef2db_res_key, shef2db_res_pos,
                        "posts SHEF data into a database");
    MESS_print_prog("SHEF DATA POSTING");
    const Parm parm = vyr::program::parameter_tables();

    const std::string db_name = database_name();
    const std::string shown_db = store::shown_name(db_name);
    store::Policy policy = store::Policy::Standard;
    if (const char *dup = RES_get("shef_duplicate");
        dup != nullptr && !store::parse_policy(dup, policy)) {
        const std::string why = std::string("unknown duplicate policy: ") + dup;
        db_failure(shown_db, why.c_str());
        return VYR_DB_FAILED;
    }
    MESS_print(M_OUT1, "Database: %s\n", shown_db.c_str());
    if (!store::is_uri(db_name) && !FILE_exist(db_name.c_str())) {
        // A new database file gets its missing directories, as any file the
        // suite writes.
        std::string dirs = db_name;
        FILE_make_dir(dirs.data(), 1);
    }
    std::unique_ptr<store::Store> db;
    try {
        db = store::open(db_name, policy);
    } catch (const store::Error &e) {
        db_failure(shown_db, e.what());
        return VYR_DB_FAILED;
    }

    const bool replay = replay_asked();
    if (replay) {
        try {
            const store::Totals t = db->replay();
            MESS_print(
                M_MESS,
                "Replayed under %s: values: %ld, inserted: %ld, overwritten: %ld, kept: %ld\n",
                store::policy_name(policy), t.values, t.inserted, t.overwritten, t.kept);
        } catch (const store::Error &e) {
            db_failure(shown_db, e.what());
            return VYR_DB_FAILED;
        }
    }

    // With -replay alone no input is read.
    int n_names = 0;
    char **names = nullptr;
    RES_getvals("filename", &n_names, &names);
    free_parsed_array(n_names, names);
    if (replay && n_names == 0) return VYR_OK;
    const std::vector<vyr::program::Input> inputs =
        vyr::program::inputs("Enter the SHEF filename: ", true, false);
    Poster poster(*db, shown_db, parm);
    int status = VYR_OK;
    for (const vyr::program::Input &input : inputs) {
        // A database failure outranks an input that could not be read.
        const int s = poster.post(input.name, input.date);
        status = std::max(status, s);
        if (s == VYR_DB_FAILED && !db->usable()) break;
    }
    return status;
}
