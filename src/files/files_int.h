// files_int.h - what the files module shares with the layers above and the
// tests: its reference time, keys, convention and hooks.
#ifndef VYR_FILES_INT_H
#define VYR_FILES_INT_H

#include <string>

#include "base_int.h"
#include "vyrfiles.h"

namespace vyr {

// Reference-time settings of file naming (files.cpp): what FILE_set_time
// stored last. The reset restores the start-up value: every field missing
// except sec, which is 0.
const Date &reference_time();
void reset_reference_time();
// Back to the start-up state of the files module: reference time, keys,
// convention, current file name, its date and kind, naming period.
void reset_files();
// The text of substitution key k, empty when unset.
const char *file_key(char k);
// The listing of matching files runs its shell command through this
// function; null restores the shell. A reset of the module keeps it.
using list_fn = int (*)(const char *command);
void set_file_lister(list_fn fn);
// The active convention as FILE_set_name left it.
struct FileConvention {
    std::string conv, hconv, ext;
    int min_size;
};
FileConvention file_convention();
// Whether file requests carry extra information (1) or a "#" date
// suffix (0, every program of the suite so far); what the last one carried.
void set_file_type(int type);
const char *file_extra_info();

}  // namespace vyr

#endif  // VYR_FILES_INT_H
