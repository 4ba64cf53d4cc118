// vyrfiles.h - file-name conventions, date-based names, the current-file
// search and the choice of the input file.
#ifndef VYRFILES_H
#define VYRFILES_H

#include "vyrbase.h"

// File-name conventions, date-based names, the current-file search and the
// choice of the input file (files.cpp). The module keeps one active name
// pattern, the current file name and the date it stands for. Every name
// built here that would exceed 159 characters is refused: the caller's
// buffer gets the empty text (a standard stream name, so the result must be
// checked) and the module treats the file as one that does not exist.

// Selects the convention of a file type: "none" (any case) for none, "@"
// and a pattern for that pattern, else a type name with optional key
// assignments ":k=value", looked up in the convention file ("name_conv" in
// file_path). 1 when a convention was found or given, 0 otherwise (the type
// name then serves as the pattern). Empties the current file name. The
// caller's text is never changed.
int FILE_set_name(const char *type);
// Stores the first 29 characters of str (blanks turned into "_") as the
// substitution key k of name patterns; 0.
int FILE_set_key(char key, const char *str);
// Stores the reference-time settings used when naming files (all eight
// fields are copied); 0, or -1 for a null date.
int FILE_set_time(const Date *datim);
// Writes the name of datim (null: the current file date) under the active
// pattern into out_file (160 bytes) and makes it the current file name.
// 0 when built from the pattern; 1 when not (no pattern: the current name or
// the word "filename"; a stream pattern: "-"; no year: the current name);
// -1 when the name would exceed 159 characters.
int FILE_set_date(const Date *datim, char *out_file);
// Runs a current expression (null: "la"): "#" and a reference date, an
// offset, "la" with an optional "#" count for the newest file bigger than
// the convention's minimum size, a second offset. Writes the chosen file's
// name into filename (160 bytes; may be null), leaves its date as the
// current file date, and returns the chosen time in seconds since 1970,
// lowered to the pattern's naming period when it has one.
int64_t FILE_set_current(const char *cur, char *filename);
// Chooses the input file: the first command-line name ("list" lists the
// files and ends the program), else the "current" resource, else the
// latest file in batch mode, else the user's answer to prompt (four tries).
// The name goes to outfile (160 bytes; may be null). 1 when the file exists,
// 0 when a command-line name does not; every other failure ends the program
// with status 10, and "exit" with status 0.
int FILE_get_file(const char *prompt, char *outfile);
// Interprets a file request into out_file (160 bytes): a "#" date
// suffix fixes reference-time fields, "@name" is literal, a stream name
// gives "-", "#...", "cu..." and "la..." are current expressions, others are
// completed and dated along the pattern. Sets the current file date; "exit"
// ends the program. 0, or -1 when the name would exceed 159 characters.
int FILE_set_file(const char *file, char *out_file);
// Lists the files that match the active pattern on the terminal; 0.
int FILE_list_file();
// Copies the current file date (all eight fields) into date; 0.
int FILE_get_date(Date *date);
// Cuts the extra information of a request off file: from its fourth
// character on, the first "#", "-", "+" or ":" and what follows (kept, cut
// to 39 characters, for the programs that read it); 0.
int FILE_extract_extra_info(char *file);

#endif  // VYRFILES_H
