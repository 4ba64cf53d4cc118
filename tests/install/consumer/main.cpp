// Another program built against the installed library: labels a date.
#include <cstdio>
#include <cstring>

#include <vyr.h>

int main() {
    Date d{2026, 12, 7, VYR_MISSING, VYR_MISSING, 12, 35, 0};
    char label[32];
    DATE_make_label(&d, label);
    std::puts(label);
    return std::strcmp(label, "1235Z  7 DEC 26") == 0 ? 0 : 1;
}
