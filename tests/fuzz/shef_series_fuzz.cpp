// Any bytes through the SHEF time-series decoder and the CSV writer. Every
// record must be placed in a four-digit year, carry an identifier of 3 to 8
// characters, a well-formed code, value and qualifier, and the CSV must hold
// the header and one line per record. The same bytes decoded three ways
// must give the same CSV and messages: through the stream reader with a .B
// block's values held by the decoder and each record handed to the
// writer's row(); through the stream reader with the decoder writing to the
// writer itself (write_csv: block marks, and the plainest rows by
// context); and line by line from the suite's own line reader with block
// marks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "base_int.h"
#include "shef_series.h"
#include "shef_series_util.h"

namespace {

using vyr::series::Decoder;

bool code_char(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

void check(const vyr::series::Record &r) {
    static const int64_t first = vyr::series::days_from_civil(1, 1, 1) * 86400;
    static const int64_t last = vyr::series::days_from_civil(10000, 1, 1) * 86400;
    if (r.obs_time < first || r.obs_time >= last) std::abort();
    if (r.has_creation && (r.creation_time < first || r.creation_time >= last)) std::abort();
    if (r.station.size() < 3 || r.station.size() > 8) std::abort();
    // A value with an unknown qualifier is lost, never written.
    if (r.qualifier != 0 && !vyr::series::Parm::builtin().qualifier_valid(r.qualifier))
        std::abort();
    const vyr::series::Code &c = *r.code;
    const char parts[] = {c.pe[0], c.pe[1],    c.duration,   c.ts[0],
                          c.ts[1], c.extremum, c.probability};
    for (char p : parts)
        if (!code_char(p)) std::abort();
    if (r.missing != r.value.empty()) std::abort();
    // English value: optional sign, digits, at most four places.
    const std::string_view v = r.value;
    const std::size_t dot = v.find('.');
    if (v.find_first_not_of("-0123456789.") != std::string_view::npos) std::abort();
    if (dot != std::string_view::npos && (v.size() - dot - 1 > 4 || v.back() == '0')) std::abort();
    if (r.line < 1) std::abort();
}

enum class Way { Held, Direct, ByLines };

struct Output {
    std::string csv, notes;
    vyr::series::Counts counts;
};

Output decode(const uint8_t *data, size_t size, vyr::series::RefDate ref, Way way) {
    Output o;
    FILE *in = fmemopen(const_cast<uint8_t *>(data), size, "r");
    if (in == nullptr) std::abort();
    char *buf = nullptr;
    size_t len = 0;
    FILE *out = open_memstream(&buf, &len);
    long records = 0, block_start = 0;
    {
        vyr::series::CsvWriter csv(out);
        csv.header();
        Decoder decoder(
            vyr::series::Parm::builtin(), ref,
            [&](const vyr::series::Record &r) {
                check(r);
                csv.row(r);
                ++records;
            },
            [&](vyr::series::Severity s, long line, std::string_view text) {
                o.notes += (s == vyr::series::Severity::Error ? "E" : "W") + std::to_string(line) +
                           ": " + std::string(text) + "\n";
            });
        if (way == Way::ByLines) {
            decoder.set_on_block([&](Decoder::BlockMark m) {
                csv.block(m);
                if (m == Decoder::BlockMark::Begin) block_start = records;
                if (m == Decoder::BlockMark::Drop) records = block_start;
            });
        }
        if (way == Way::Direct) decoder.write_csv(csv);
        if (way == Way::ByLines)
            vyr::test::decode_by_lines(in, decoder);
        else
            vyr::series::decode_stream(in, decoder);
        o.counts = decoder.counts();
        if (way == Way::Direct) records = o.counts.values;  // the writer took them itself
        if (o.counts.values != records) std::abort();
        csv.flush();
    }
    std::fclose(in);
    std::fclose(out);
    o.csv.assign(buf, len);
    std::free(buf);
    // Header plus one line per record: count line ends outside quotes.
    long lines = 0;
    bool quoted = false;
    for (char c : o.csv) {
        if (c == '"') quoted = !quoted;
        if (c == '\n' && !quoted) ++lines;
    }
    if (quoted || lines != records + 1) std::abort();
    return o;
}

bool same(const Output &a, const Output &b) {
    return a.csv == b.csv && a.notes == b.notes && a.counts.messages == b.counts.messages &&
           a.counts.values == b.counts.values && a.counts.errors == b.counts.errors &&
           a.counts.warnings == b.counts.warnings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;  // an empty stream in memory cannot be opened everywhere
    // The first byte moves the reference date across a year.
    const vyr::series::RefDate ref{2026, 1 + data[0] % 12, 1 + data[0] / 12 % 28};
    const Output held = decode(data + 1, size - 1, ref, Way::Held);
    if (!same(held, decode(data + 1, size - 1, ref, Way::Direct))) std::abort();
    if (!same(held, decode(data + 1, size - 1, ref, Way::ByLines))) std::abort();
    return 0;
}
