// A date named under a pattern: the first 64 bytes of the input are the
// date and the reference-time settings (eight 32-bit fields each), the
// rest is the pattern. The listing's wildcard for the pattern is built too
// (never run): outside its quotes it may hold only the wildcards it made.
#include <cstdint>
#include <cstring>
#include <string>

#include "file_fuzz_setup.h"
#include "files_rules.h"

namespace {

// "ls -x ", an optional "-- ", then quoted text and wildcard characters.
void check_command(const std::string &cmd) {
    if (cmd.rfind("ls -x ", 0) != 0) std::abort();
    std::size_t i = 6;
    if (cmd.compare(i, 3, "-- ") == 0) i += 3;
    bool quoted = false;
    for (; i < cmd.size(); ++i) {
        const char c = cmd[i];
        if (quoted) {
            if (c == '\'') quoted = false;
        } else if (c == '\'') {
            quoted = true;
        } else if (c == '\\') {
            if (cmd.compare(i, 2, "\\'") != 0) std::abort();
            ++i;
        } else if (!std::strchr("?*[]09az-", c)) {
            std::abort();
        }
    }
    if (quoted) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool ready = file_fuzz::set_up();
    if (!ready || size < 2 * sizeof(Date)) return 0;
    Date source, set;
    std::memcpy(&source, data, sizeof source);
    std::memcpy(&set, data + sizeof source, sizeof set);
    const std::string pattern(reinterpret_cast<const char *>(data) + 2 * sizeof(Date),
                              size - 2 * sizeof(Date));

    vyr::reset_files();
    FILE_set_key('r', "west");
    FILE_set_time(&set);
    FILE_set_name(("@" + pattern).c_str());
    char out[160];
    const int r = FILE_set_date(&source, out);
    if (r == -1 && out[0] != '\0') std::abort();
    file_fuzz::check_name(out);
    FILE_set_date(nullptr, out);
    file_fuzz::check_name(out);

    vyr::files::Context ctx;
    ctx.resource = [](const char *name) { return RES_get(name); };
    check_command(vyr::files::list_command(pattern, ctx, nullptr));
    return 0;
}
