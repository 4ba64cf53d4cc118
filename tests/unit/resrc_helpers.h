// Shared by the resource tests: capturing the direct writes to standard
// output, and start-up state put back between runs.
#ifndef RESRC_HELPERS_H
#define RESRC_HELPERS_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "vyr.h"
#include "vyr_int.h"

extern char **environ;

// Removes every environment variable whose name begins with "vyr".
inline void unset_vyr_environment() {
    std::vector<std::string> names;
    for (char **e = environ; *e; ++e)
        if (std::strncmp(*e, "vyr", 3) == 0) names.emplace_back(*e, std::strcspn(*e, "="));
    for (const auto &n : names) unsetenv(n.c_str());
}

// Everything resource start-up touches, back to its state at load, with no
// vyr* variable set.
inline void reset_startup() {
    vyr::reset_resources();
    vyr::reset_messages();
    vyr::reset_reference_time();
    vyr::reset_time_zone();
    vyr::reset_definitions();
    FLAG_reset(0);
    unset_vyr_environment();
}

// What fn writes to standard output directly.
template <class F>
std::string direct_stdout(F fn) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    fn();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

inline std::vector<std::string> split_lines(const std::string &s) {
    std::vector<std::string> lines;
    std::istringstream in(s);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

#endif  // RESRC_HELPERS_H
