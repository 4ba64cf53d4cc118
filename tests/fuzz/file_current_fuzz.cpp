// A current expression run over a scratch directory: the first byte picks a
// pattern, the second the wanted file time, the rest is the expression.
#include <cstdint>
#include <string>

#include "file_fuzz_setup.h"

namespace {

constexpr const char *kPatterns[] = {
    "%D/%Y%m%d%h.shef", "%D/%Y%m%d.obs", "%D/%y%j.obs", "%D/%Y%m%d%3h%n", "%D/fixed.obs", "", "-",
    "%D/%b%d%h",        "%D/%r%2d",
};
constexpr int M = VYR_MISSING;
constexpr Date kSettings[] = {
    {M, M, M, M, M, M, M, 0},   {M, M, M, M, M, 12, M, 0},      {M, M, M, M, M, -306, M, 0},
    {M, 3, 15, M, M, 6, 30, 0}, {2026, M, -2, M, M, M, -15, 0},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool ready = file_fuzz::set_up();
    if (!ready || size < 2) return 0;
    const char *pattern = kPatterns[data[0] % (sizeof kPatterns / sizeof *kPatterns)];
    const Date &set = kSettings[data[1] % (sizeof kSettings / sizeof *kSettings)];
    const std::string expr(reinterpret_cast<const char *>(data) + 2, size - 2);

    vyr::reset_files();
    FILE_set_key('r', "west");
    FILE_set_time(&set);
    FILE_set_name((std::string("@") + pattern).c_str());
    char out[160];
    FILE_set_current(expr.c_str(), out);
    file_fuzz::check_name(out);
    return 0;
}
