// store.cpp - a store opened by its name: a PostgreSQL connection URI, or
// else an SQLite file. Above both backends, which share the rules below.
#include "store.h"

#include <string>

namespace vyr::store {

std::unique_ptr<Store> open(const std::string &name, Policy policy) {
    if (is_uri(name)) return open_postgres(name, policy);
    return open_sqlite(name, policy);
}

}  // namespace vyr::store
