// resrc.cpp - resource start-up: a program's table built from its key
// lists, the values gathered from every source, then converted once into
// the state they act on (help, batch, messages, the wanted file time, ...).
#include <cstdlib>
#include <vector>

#include "resrc_int.h"
#include "startup_int.h"
#include "vyrresrc.h"

namespace {

// Every value that belongs to a row is converted once, in list order.
void convert_values(const RES_defobj *table, int rows) {
    // The inputs named on the command line, before any log item opens.
    int n = 0;
    char **names = nullptr;
    RES_getvals("filename", &n, &names);
    for (int i = 0; i < n; ++i) vyr::keep_logs_off(names[i]);
    free_parsed_array(n, names);
    for (res_obj *node = vyr::first_resource(); node; node = node->next) {
        if (node->index < 0 || node->index >= rows) continue;
        const RES_defobj &row = table[node->index];
        if (node->cvt == CV_strings && row.out != nullptr) {
            int n = 0;
            char **vec = nullptr;
            parse_string(node->data, '\n', &n, &vec);
            *static_cast<char ***>(row.out) = vec;
            if (row.num) *row.num = n;
        } else {
            // These kinds point the target into the value itself.
            if (row.out != nullptr && (node->cvt == CV_string || node->cvt == CV_device))
                node->handed_out = 1;
            RES_conv_data(node->data, row.out, node->cvt);
        }
    }
}

}  // namespace

int RES_init(int argc, char **argv, const res_type *res_key, const res_type *res_pos) {
    FLAG_reset(VYR_MISSING);
    // The table has a row for every listed key, however many, and the end row.
    std::vector<RES_defobj> table;
    vyr::guarded(0, [&] {
        for (const res_type *list : {res_key, res_pos})
            for (; list != nullptr && *list != RES_null; ++list)
                RES_enter(&table.emplace_back(), *list);
        table.emplace_back().def = nullptr;
        return 0;
    });
    if (table.empty() || table.back().def != nullptr) return 1;  // no memory for the table
    if (argv == nullptr) argc = 0;
    RES_decode(argc > 0 ? argv[0] : nullptr, "Vyr", argc, argv, table.data());
    if (const char *tz = std::getenv("vyrtz")) DATE_set_TZ(tz);
    return 1;
}

int RES_decode(const char *progname, const char *cls, int argc, char **argv,
               RES_defobj *def_table) {
    (void)progname;  // the name is taken from the saved command line
    (void)cls;
    if (argv == nullptr || argc < 0) argc = 0;
    vyr::gather_resources(def_table, argc, argv);
    int rows = 0;
    if (def_table != nullptr)
        while (def_table[rows].def != nullptr) ++rows;
    convert_values(def_table, rows);
    return 0;
}
