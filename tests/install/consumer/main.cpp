// Another program built against the installed library: every public header
// by its installed name, then a date label and the version text.
#include <vyr/vyr.h>
#include <vyr/vyrcty.h>
#include <vyr/vyrdom.h>
#include <vyr/vyrraw.h>
#include <vyr/vyrresrc.h>

#include <cstdio>
#include <cstring>

static_assert(__cplusplus >= 202002L, "the exported target must ask for C++20");

int main() {
    Date d{2026, 12, 7, VYR_MISSING, VYR_MISSING, 12, 35, 0};
    char label[32];
    DATE_make_label(&d, label);
    std::puts(label);
    std::puts(VYR_version());
    return std::strcmp(label, "1235Z  7 DEC 26") == 0 ? 0 : 1;
}
