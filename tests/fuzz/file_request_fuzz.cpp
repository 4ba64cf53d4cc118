// A file request read along a name pattern, both from the input:
// pattern, a NUL byte, then the request. Current expressions run
// their search over a scratch directory; inputs naming a command ("|") are
// skipped.
#include <cstdint>
#include <string>

#include "file_fuzz_setup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool ready = file_fuzz::set_up();
    if (!ready) return 0;
    const std::string input(reinterpret_cast<const char *>(data), size);
    if (input.find('|') != std::string::npos) return 0;
    const std::size_t nul = input.find('\0');
    const std::string pattern = input.substr(0, nul);
    const std::string asked = nul == std::string::npos ? "" : input.substr(nul + 1);

    vyr::reset_files();
    FILE_set_key('r', "west");
    FILE_set_name(("@" + pattern).c_str());
    char out[160];
    try {
        if (FILE_set_file(asked.c_str(), out) == -1 && out[0] != '\0') std::abort();
        file_fuzz::check_name(out);
        Date d;
        FILE_get_date(&d);
        // The date read names a file again under the same pattern.
        if (FILE_set_date(&d, out) == -1 && out[0] != '\0') std::abort();
        file_fuzz::check_name(out);
    } catch (const vyr::exit_request &) {
    }
    return 0;
}
