// Times the pattern scanner on the SHEF decoder's own patterns and lines:
// one benchmark per pattern family, and the whole element walk of a .A line.
#include <benchmark/benchmark.h>

#include "vyr.h"

namespace {

constexpr const char *kALine = ".A ABC 0815 Z DH12/HG 12.5/PP 0.1/TX 75";
constexpr const char *kBBody = "ABC 12.5/0.1/M/+";

// One try of pat on text, with two text destinations (unused ones are fine).
void BM_pattern(benchmark::State &state, const char *pat, const char *text) {
    char a[81], b[81];
    parse_param p{};
    scanp_set(&p, text);
    for (auto _ : state) {
        benchmark::DoNotOptimize(scanp(&p, pat, a, b));
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(BM_pattern, token, "%s ", kALine);
BENCHMARK_CAPTURE(BM_pattern, date_digits, "%[/N] ", "0815 Z DH12/HG 12.5/PP 0.1/TX 75");
BENCHMARK_CAPTURE(BM_pattern, zone_letters, "%[/A] ", "Z DH12/HG 12.5/PP 0.1/TX 75");
BENCHMARK_CAPTURE(BM_pattern, time_code, "%*(D)%1[/A]%[/N]%*(/) ", "DH12/HG 12.5/PP 0.1/TX 75");
BENCHMARK_CAPTURE(BM_pattern, time_code_blank, "%*(D)%1[/A]%[/N] %*(/) ",
                  "DH12 /HG 12.5/PP 0.1/TX 75");
BENCHMARK_CAPTURE(BM_pattern, element_pair, "%[/A] %[/N.-+] ", "HG 12.5/PP 0.1/TX 75");
BENCHMARK_CAPTURE(BM_pattern, pair_miss, "%[/A] %[/N.-+] ", "/PP 0.1/TX 75");
BENCHMARK_CAPTURE(BM_pattern, slash_skip, "%*(/) ", "/PP 0.1/TX 75");
BENCHMARK_CAPTURE(BM_pattern, header_code, "%[^/: ] ", "HG/PP/TX/TN");
BENCHMARK_CAPTURE(BM_pattern, comment_open, "%*(:) ", "HG/PP/TX/TN");
BENCHMARK_CAPTURE(BM_pattern, comment_skip, "%*[^:]: ", "late: 12.5/0.1/M/+");
BENCHMARK_CAPTURE(BM_pattern, separator_skip, "%*(/|,) ", "/PP/TX/TN");
BENCHMARK_CAPTURE(BM_pattern, body_id, "%[^ :] ", kBBody);
BENCHMARK_CAPTURE(BM_pattern, body_value, "%[/N/A.-+] ", "12.5/0.1/M/+");
BENCHMARK_CAPTURE(BM_pattern, body_separator, "%(/|,) ", "/0.1/M/+");

// The decoder's walk of a .A line: header fields, then element pairs with
// their slashes, each try committed only when its count is right.
void BM_a_line_walk(benchmark::State &state) {
    char token[50], id[20], type[30], value[30];
    parse_param p{};
    int elements = 0;
    for (auto _ : state) {
        scanp_set(&p, kALine);
        if (scanp(&p, "%s ", token) == 1) scanp_inc(&p);
        if (scanp(&p, "%s ", id) == 1) scanp_inc(&p);
        if (scanp(&p, "%[/N] ", token) == 1) scanp_inc(&p);
        if (scanp(&p, "%[/A] ", token) == 1 && token[0] != 'D') scanp_inc(&p);
        if (scanp(&p, "%*(D)%1[/A]%[/N]%*(/) ", type, value) == 4 ||
            scanp(&p, "%*(D)%1[/A]%[/N] %*(/) ", type, value) == 4)
            scanp_inc(&p);
        for (bool found = true; found;) {
            if (scanp(&p, "%*(/) ") == 1) scanp_inc(&p);
            found = scanp(&p, "%[/A] %[/N.-+] ", type, value) == 2;
            if (found) {
                ++elements;
                scanp_inc(&p);
            }
            if (scanp(&p, "%*(/) ") == 1) scanp_inc(&p);
        }
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(elements);
}
BENCHMARK(BM_a_line_walk);

}  // namespace

BENCHMARK_MAIN();
