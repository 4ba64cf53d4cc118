// resrc.cpp - resources: the list of gathered values and its readers.
//
// Values live in one singly linked list in order of first creation, behind
// a head node that carries nothing. Names are unique and compared exactly.
// Nodes live until the process ends; a replaced value is freed.
#include <cstdlib>
#include <cstring>

#include "vyr.h"
#include "vyrresrc.h"

namespace {

struct State {
    res_obj root_res{};          // head node; carries nothing
    res_obj *last = &root_res;   // most recently created node
    res_obj *prev = &root_res;   // node before the one last searched for by a store
    int clargc = 0;
    char **clargv = nullptr;
};
State g;

char *dup_or_null(const char *s) { return s ? strdup(s) : nullptr; }

res_obj *find(const char *name) {
    g.prev = &g.root_res;
    for (res_obj *r = g.root_res.next; r; r = r->next) {
        if (std::strcmp(r->name, name) == 0) return r;
        g.prev = r;
    }
    return nullptr;
}

res_obj *append_node(int index, const char *name, const char *data, DEF_convert cvt) {
    auto *r = static_cast<res_obj *>(std::calloc(1, sizeof(res_obj)));
    if (r == nullptr) return nullptr;
    r->name = strdup(name);
    if (r->name == nullptr) {
        std::free(r);
        return nullptr;
    }
    r->data = dup_or_null(data);
    r->index = index;
    r->cvt = cvt;
    g.last->next = r;
    g.last = r;
    return r;
}

}  // namespace

int RES_new(int index, const char *name, const char *data, DEF_convert cvt) {
    if (name == nullptr) return -1;
    res_obj *r = find(name);
    if (r == nullptr) return append_node(index, name, data, cvt) ? 0 : -1;
    std::free(r->data);
    r->data = dup_or_null(data);
    r->index = index;
    r->cvt = cvt;
    return 0;
}

int RES_append(int index, const char *name, const char *str, DEF_convert cvt) {
    if (name == nullptr) return -1;
    res_obj *r = find(name);
    if (r == nullptr) return append_node(index, name, str, cvt) ? 0 : -1;
    if (str == nullptr) return 0;
    if (r->data == nullptr) {
        r->data = strdup(str);
        return 0;
    }
    std::size_t a = std::strlen(r->data), b = std::strlen(str);
    auto *joined = static_cast<char *>(std::malloc(a + b + 2));
    if (joined == nullptr) return -1;
    std::memcpy(joined, r->data, a);
    joined[a] = '\n';
    std::memcpy(joined + a + 1, str, b + 1);
    std::free(r->data);
    r->data = joined;
    return 0;
}

int RES_put(const char *name, const char *value) { return RES_new(VYR_MISSING, name, value, CV_string); }

const char *RES_get(const char *name) {
    if (name == nullptr) return nullptr;
    for (res_obj *r = g.root_res.next; r; r = r->next)
        if (std::strcmp(r->name, name) == 0) return r->data ? r->data : "";
    return nullptr;
}

int RES_getvals(const char *name, int *paramc, char ***paramv) {
    if (paramc) *paramc = 0;
    if (paramv) *paramv = nullptr;
    if (name == nullptr || paramc == nullptr || paramv == nullptr) return 0;
    for (res_obj *r = g.root_res.next; r; r = r->next) {
        if (std::strcmp(r->name, name) != 0) continue;
        if (r->data == nullptr) return 0;
        parse_string(r->data, r->cvt == CV_strings ? '\n' : ',', paramc, paramv);
        return *paramc;
    }
    return 0;
}

int RES_list() {
    for (res_obj *r = g.root_res.next; r; r = r->next) {
        if (r->data)
            MESS_print(0x00000008, "%s: %s\n", r->name, r->data);
        else
            MESS_print(0x00000008, "%s:\n", r->name);
    }
    return 0;
}

int RES_setCL(int argc, char **argv) {
    g.clargc = argc;
    g.clargv = argv;
    return 1;
}

const char *RES_get_prog() { return (g.clargv && g.clargc > 0) ? g.clargv[0] : nullptr; }

char *RES_get_progname(char *prog, std::size_t size) {
    const char *full = RES_get_prog();
    if (full == nullptr) full = "";
    const char *slash = std::strrchr(full, '/');
    const char *base = slash ? slash + 1 : full;
    std::size_t n = std::strlen(base);
    if (prog == nullptr) {
        prog = static_cast<char *>(std::malloc(std::strlen(full) + 1));
        if (prog == nullptr) return const_cast<char *>("VYR");
        size = n + 1;
    }
    if (size == 0) return prog;
    if (n >= size) n = size - 1;
    std::memcpy(prog, base, n);
    prog[n] = '\0';
    return prog;
}
