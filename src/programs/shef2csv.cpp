// shef2csv - SHEF data to a CSV time series, one row per value.
//
// Start-up gathers the program's resources (definition files, display
// windows, environment, command line) and answers a help request. The
// parameter tables are the built-in SHEFPARM, or a site's own SHEFPARM in
// the file_path directory. Every file named on the command line is decoded
// in order; without one, what is piped in, else the file the selection
// chooses. Years are inferred against each input's own date, else the
// "hour" resource, "vyrcurtime" or the clock. Rows go to one CSV (standard
// output or a fixed name), or to the file each input's date names. When the
// CSV goes to standard output, messages go to standard error, and those
// below the warning level are shown only when asked for or logged to a file.

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base_int.h"
#include "program.h"
#include "resrc_int.h"
#include "shef2csv_keys.h"
#include "shef_series.h"
#include "vyr.h"
#include "vyrresrc.h"

namespace {

using vyr::program::shown;
using vyr::series::Parm;
using vyr::series::Severity;

// True when the message resource names a log file (fi, +fi, -fi, @fi, dfi).
bool log_file_named() {
    int n = 0;
    char **items = nullptr;
    RES_getvals("message", &n, &items);
    bool named = false;
    for (int i = 0; i < n; ++i) {
        const char *it = items[i];
        if (*it == '+' || *it == '-' || *it == '@' || *it == 'd' || *it == 'D') ++it;
        named = named || strnicmp(it, "fi", 2) == 0;
    }
    free_parsed_array(n, items);
    return named;
}

// The CSV files of a run. Inputs whose dates name one file share it, in
// input order, under one header; only the file being written holds a
// descriptor. Each file replaces its earlier self at the end, whole, or
// not at all when writing it failed.
class CsvOutputs {
  public:
    // The writer for a name, its header written when the file is new; null
    // when it cannot be opened (told).
    vyr::series::CsvWriter *writer(const std::string &name) {
        if (current_ != nullptr && current_->name == name) return current_->csv.get();
        park();
        auto [it, added] = files_.try_emplace(name);
        File &f = it->second;
        f.name = name;
        FILE *stream = added ? f.file.open(name.c_str()) : f.file.resume();
        if (stream == nullptr) {
            fail(f, errno);
            return nullptr;
        }
        f.csv = std::make_unique<vyr::series::CsvWriter>(stream);
        if (added) f.csv->header();
        current_ = &f;
        return f.csv.get();
    }
    // Ends every file; false when any could not be written (told).
    bool close() {
        park();
        bool ok = true;
        for (auto &[name, f] : files_) {
            errno = 0;
            if (!f.file.close(!f.failed) && !f.failed) fail(f, errno);
            ok = ok && !f.failed;
        }
        return ok;
    }

  private:
    struct File {
        std::string name;
        vyr::OutputFile file;
        std::unique_ptr<vyr::series::CsvWriter> csv;
        bool failed = false;
    };
    void park() {
        if (current_ == nullptr) return;
        File &f = *current_;
        current_ = nullptr;
        errno = 0;
        const bool written = f.csv->flush();
        const int err = errno;
        f.csv.reset();
        if (!written) fail(f, err);
        if (!f.file.suspend() && !f.failed) fail(f, errno);
    }
    void fail(File &f, int err) {
        if (f.failed) return;
        f.failed = true;
        MESS_print(M_ERROR, "Unable to write output file:%s (%s)\n", shown(f.name),
                   std::strerror(err != 0 ? err : EIO));
    }
    std::map<std::string, File> files_;
    File *current_ = nullptr;
};

enum class Outcome { Decoded, Unreadable, Unwritable };

// Decodes one input into the CSV named out: told when the input could not
// be opened or read, or the output opened.
Outcome decode_input(const vyr::program::Input &input, const std::string &out, CsvOutputs &csv,
                     const Parm &parm, vyr::program::DecoderNotes &notes) {
    MESS_print(M_MESS, "Input file: %s\n", shown(input.name));
    FILE *in = FILE_open(input.name.c_str(), "r");
    if (in == nullptr) {
        MESS_print(M_ERROR, "Unable to open file:%s\n", input.name.c_str());
        return Outcome::Unreadable;
    }
    vyr::series::CsvWriter *w = csv.writer(out);
    if (w == nullptr) {
        vyr::close_opened(in, input.name.c_str(), false);
        return Outcome::Unwritable;
    }
    vyr::series::Decoder decoder(
        parm, vyr::program::reference_date(input.date),
        [w](const vyr::series::Record &r) { w->row(r); },
        [&](Severity s, long line, std::string_view text) { notes(s, line, text); });
    decoder.set_on_long_line(
        [](long line) { MESS_print(M_ERROR, "Line %ld longer than 1 MiB skipped\n", line); });
    decoder.write_csv(*w);
    // Without memory (a line too long to hold) the input cannot be read.
    const bool decoded =
        vyr::guarded(false, [&] { return vyr::series::decode_stream(in, decoder); });
    const bool read_ok = vyr::close_opened(in, input.name.c_str()) && decoded;
    const vyr::series::Counts &c = decoder.counts();
    MESS_print(c.errors > 0 ? M_WARN : M_MESS,
               "Messages: %ld, values: %ld, errors: %ld, warnings: %ld\n", c.messages, c.values,
               c.errors, c.warnings);
    if (read_ok) return Outcome::Decoded;
    MESS_print(M_ERROR, "Unable to read file:%s\n", shown(input.name));
    return Outcome::Unreadable;
}

}  // namespace

int main(int argc, char **argv) {
    vyr::program::start(argc, argv, shef2csv_res_key, shef2csv_res_pos,
                        "decodes SHEF data into a CSV time series");
    // Where the CSV goes decides where messages go, before the first one:
    // standard output carries the CSV alone.
    const char *own_out = RES_get("out_file");
    const bool csv_convention = own_out == nullptr && FILE_set_name("shef_csv") == 1;
    const bool to_stdout = own_out != nullptr ? FILE_is_stdio(own_out) != 0 : !csv_convention;
    if (to_stdout) {
        vyr::set_message_streams(stderr, stderr);
        if (!log_file_named() && MESS_check_set() == 0) MESS_set(10, M_WARN);
    }
    MESS_print_prog("SHEF TIME SERIES DECODING");
    const Parm parm = vyr::program::parameter_tables();
    const std::vector<vyr::program::Input> inputs =
        vyr::program::inputs("Enter the SHEF filename: ", true, true);

    // Every output is named, and checked against its input, before anything
    // is opened.
    std::vector<std::string> outputs(inputs.size(), "-");
    if (!to_stdout) {
        vyr::program::select_convention("shef_csv", "out_file");
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            if (!vyr::program::output_name(inputs[i].date, outputs[i])) {
                MESS_print(M_ERROR, "Unable to write output file:%s (%s)\n",
                           own_out ? own_out : "shef_csv", std::strerror(ENAMETOOLONG));
                return VYR_WRITE_FAILED;
            }
        }
    }
    for (std::size_t i = 0; i < inputs.size(); ++i)
        if (vyr::program::output_is_input(inputs[i].name, outputs[i])) return VYR_WRITE_FAILED;

    vyr::program::DecoderNotes notes(parm.error_limit());
    CsvOutputs csv;
    bool read_ok = true;
    std::string shown_out;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (outputs[i] != shown_out) MESS_print(M_OUT1, "Output file: %s\n", outputs[i].c_str());
        shown_out = outputs[i];
        const Outcome o = decode_input(inputs[i], outputs[i], csv, parm, notes);
        if (o == Outcome::Unwritable) break;
        read_ok = read_ok && o == Outcome::Decoded;
    }
    if (!csv.close()) return VYR_WRITE_FAILED;
    return read_ok ? VYR_OK : VYR_NO_INPUT;
}
