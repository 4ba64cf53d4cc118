// resrc_store.cpp - the resources module's value store: every gathered
// value by name, and the saved command line.
//
// Values live in one singly linked list in order of first creation, behind
// a head node that carries nothing, with an index by name beside it so that
// storing stays cheap however many values a definition file holds. Names
// are unique and compared exactly. Nodes live until the process ends. A
// replaced value is freed only when nobody was ever given a pointer to it;
// one that was handed out is retired and kept for the run. The store calls
// nothing above the base layer.
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "resrc_int.h"
#include "vyrresrc.h"

namespace {

struct State {
    res_obj root_res{};         // head node; carries nothing
    res_obj *last = &root_res;  // most recently created node
    // The nodes by name; the keys are the nodes' own names.
    std::unordered_map<std::string_view, res_obj *> index;
    // Replaced values that had been handed out: readers may still hold them.
    std::vector<char *> retired;
    int clargc = 0;
    char **clargv = nullptr;
};
// Never destroyed: values handed out stay valid to the very end, through
// other modules' exit handlers, and stay reachable for leak checkers.
State &g = *new State;

char *dup_or_null(const char *s) { return s ? strdup(s) : nullptr; }

res_obj *find(const char *name) {
    auto it = g.index.find(name);
    return it == g.index.end() ? nullptr : it->second;
}

// The node's value is about to change: free the old one unless a reader
// may hold it.
void release_value(res_obj *r) {
    if (r->data != nullptr && r->handed_out) {
        g.retired.push_back(r->data);
    } else {
        std::free(r->data);
    }
    r->data = nullptr;
    r->handed_out = 0;
}

const char *hand_out(res_obj *r) {
    r->handed_out = 1;
    return r->data ? r->data : "";
}

res_obj *append_node(int index, const char *name, const char *data, DEF_convert cvt) {
    auto *r = static_cast<res_obj *>(std::calloc(1, sizeof(res_obj)));
    if (r == nullptr) return nullptr;
    r->name = strdup(name);
    if (r->name == nullptr) {
        std::free(r);
        return nullptr;
    }
    if (data != nullptr) {
        r->data = strdup(data);
        if (r->data == nullptr) {
            std::free(r->name);
            std::free(r);
            return nullptr;
        }
    }
    r->index = index;
    r->cvt = cvt;
    if (!vyr::guarded(false, [&] { return g.index.emplace(r->name, r).second; })) {
        std::free(r->data);
        std::free(r->name);
        std::free(r);
        return nullptr;
    }
    g.last->next = r;
    g.last = r;
    return r;
}

}  // namespace

namespace vyr {

res_obj *first_resource() { return g.root_res.next; }

void reset_value_store() {
    res_obj *r = g.root_res.next;
    while (r != nullptr) {
        res_obj *next = r->next;
        std::free(r->name);
        std::free(r->data);
        std::free(r);
        r = next;
    }
    for (char *v : g.retired) std::free(v);
    g.retired.clear();
    g.index.clear();
    g.root_res.next = nullptr;
    g.last = &g.root_res;
    g.clargc = 0;
    g.clargv = nullptr;
}

}  // namespace vyr

int RES_new(int index, const char *name, const char *data, DEF_convert cvt) {
    if (name == nullptr) return -1;
    res_obj *r = find(name);
    if (r == nullptr) return append_node(index, name, data, cvt) ? 0 : -1;
    char *copy = dup_or_null(data);
    if (data != nullptr && copy == nullptr) return -1;
    release_value(r);
    r->data = copy;
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
        return r->data ? 0 : -1;
    }
    std::size_t a = std::strlen(r->data), b = std::strlen(str);
    auto *joined = static_cast<char *>(std::malloc(a + b + 2));
    if (joined == nullptr) return -1;
    std::memcpy(joined, r->data, a);
    joined[a] = '\n';
    std::memcpy(joined + a + 1, str, b + 1);
    release_value(r);
    r->data = joined;
    return 0;
}

int RES_put(const char *name, const char *value) {
    return RES_new(VYR_MISSING, name, value, CV_string);
}

const char *RES_get(const char *name) {
    if (name == nullptr) return nullptr;
    return vyr::guarded<const char *>(nullptr, [&]() -> const char * {
        res_obj *r = find(name);
        return r ? hand_out(r) : nullptr;
    });
}

int RES_getvals(const char *name, int *paramc, char ***paramv) {
    if (paramc) *paramc = 0;
    if (paramv) *paramv = nullptr;
    if (name == nullptr || paramc == nullptr || paramv == nullptr) return 0;
    return vyr::guarded(0, [&] {
        res_obj *r = find(name);
        if (r == nullptr || r->data == nullptr) return 0;
        hand_out(r);
        parse_string(r->data, r->cvt == CV_strings ? '\n' : ',', paramc, paramv);
        return *paramc;
    });
}

int RES_list() {
    for (res_obj *r = g.root_res.next; r; r = r->next) {
        if (r->data)
            MESS_print(M_PRINT_LIST, "%s: %s\n", r->name, r->data);
        else
            MESS_print(M_PRINT_LIST, "%s:\n", r->name);
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
    vyr::copy_text(prog, size, {base, n}, vyr::Overflow::Cut);
    return prog;
}
