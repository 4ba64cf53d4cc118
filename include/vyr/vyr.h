// vyr.h - the suite's library: every layer's records and functions.
//
// Conventions: functions return an integer status (1/0 for found/not found,
// 0/-1 for success/failure) or a pointer that is null on failure. No
// exception ever leaves one of these functions. Output buffers belong to the
// caller; each prototype states the capacity it relies on.
//
// Programs include this header. The library's own sources include the
// header of their layer: vyrbase.h (text, scanner, messages, flags, process
// services, file access, dates, display queue), vyrresrc.h (resources),
// vyrfiles.h (conventions and file selection), vyrdom.h and vyrcty.h
// (domains and stations), vyrraw.h (the raw file reader).
#ifndef VYR_H
#define VYR_H

#include "vyrbase.h"
#include "vyrcty.h"
#include "vyrdom.h"
#include "vyrfiles.h"
#include "vyrresrc.h"

#endif  // VYR_H
