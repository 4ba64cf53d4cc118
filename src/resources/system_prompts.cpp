// system_prompts.cpp - the terminal prompts of the system module, with the
// commands every prompt understands: "set" (list or change a resource) and
// "exit".
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "resrc_int.h"
#include "vyrresrc.h"

namespace {

constexpr std::size_t kAnswerMax = 79;        // characters kept of one answer line
constexpr std::size_t kResourceNameMax = 19;  // longest name a "set" answer may give

using Answer = char[kAnswerMax + 1];

// Reads one answer line; the rest of a longer line is read away so that it
// cannot answer the next question. False at end of input before any
// character.
bool read_answer(Answer &line) {
    vyr::FileLineSource src(vyr::terminal_input());
    return vyr::read_line(src, line, static_cast<int>(kAnswerMax),
                          {vyr::LongLine::ReadAway, false}) >= 0;
}

// Shows the prompt and waits for the answer, without its line end. End of
// input is taken as "exit": an unattended prompt must neither spin nor take
// an empty answer, which would name standard input at a file prompt.
void ask(const char *prompt, Answer &line) {
    MESS_print(M_PRINT, "%s", prompt ? prompt : "");
    vyr::flush_messages();
    if (!read_answer(line)) VYR_exit(VYR_OK);
    wstrim_string(line);
}

// "set NAME VALUE", read as the first word skipped, a name up to the first
// "=" or blank, then a run of "=" and blanks skipped; the rest is the value.
// A name with nothing after it gets the empty value.
int set_command(std::string_view s) {
    std::size_t pos = 0, n = s.size();
    while (pos < n && vyr::is_space(s[pos])) ++pos;
    while (pos < n && !vyr::is_space(s[pos])) ++pos;
    while (pos < n && vyr::is_space(s[pos])) ++pos;
    std::size_t name_start = pos;
    while (pos < n && s[pos] != '=' && s[pos] != ' ') ++pos;
    std::string_view name = s.substr(name_start, pos - name_start);
    if (name.empty()) {
        MESS_print(M_MESS_LIST, "Set resources\n");
        RES_list();
        MESS_print(M_MESS_LIST, "\n");
        return 1;
    }
    if (name.size() > kResourceNameMax) {
        // Cutting the name would store the value under another resource.
        MESS_print(M_WARN, "Resource name too long: %.*s\n", static_cast<int>(name.size()),
                   name.data());
        return 1;
    }
    while (pos < n && (s[pos] == '=' || s[pos] == ' ')) ++pos;
    std::string key(name), value(s.substr(pos));
    RES_put(key.c_str(), value.c_str());
    return 1;
}

// The first word of line, at most max characters of it, into str; a blank
// line leaves str as it was.
void first_word(const char *line, char *str, std::size_t max) {
    while (*line && vyr::is_space(*line)) ++line;
    if (*line == '\0') return;
    std::size_t n = 0;
    while (line[n] && !vyr::is_space(line[n]) && n < max) ++n;
    std::memcpy(str, line, n);
    str[n] = '\0';
}

}  // namespace

int VYR_set_command(const char *string) {
    if (string == nullptr) return 0;
    std::string_view s(string);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.remove_suffix(1);
    if (strnicmp(string, "set", 3) == 0) {
        // No memory for the value: the command is dropped.
        return vyr::guarded(1, [&] { return set_command(s); });
    }
    if (strnicmp(string, "exit", 4) == 0) VYR_exit(VYR_OK);
    return 0;
}

char *VYR_prompts(const char *prompt, char *str, int length) {
    if (length <= 1) length = 2;
    if (str == nullptr) {
        str = static_cast<char *>(std::calloc(static_cast<std::size_t>(length) + 1, 1));
        if (str == nullptr) return nullptr;
    }
    Answer line;
    for (;;) {
        ask(prompt, line);
        // A command answer leaves the caller's text alone and asks again.
        if (VYR_set_command(line)) continue;
        first_word(line, str, static_cast<std::size_t>(length) - 1);
        return str;
    }
}

float VYR_promptf(const char *prompt) {
    Answer line;
    for (;;) {
        ask(prompt, line);
        if (VYR_set_command(line)) continue;
        const char *p = line;
        while (*p && vyr::is_space(*p)) ++p;
        if (*p == '\0') return 0.0f;
        char *end = nullptr;
        float v = std::strtof(p, &end);
        // "nan", "inf" and out-of-range numbers are not answers to a number prompt.
        if (end != p && std::isfinite(v)) return v;
    }
}
