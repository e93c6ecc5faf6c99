#pragma once

// Store-internal helpers shared by the table handle and the delivered tables.

#include <QString>

struct sqlite3;

namespace store {

class Table;

namespace detail {

// Runs sql on db; throws TableError naming table on failure.
void exec(sqlite3 *db, const QString &sql, const QString &table);

// Checks every stored row of an open handle against the declared fields (widths, required
// fields, integer ranges, types, unique key); throws TableError at the first fault.
void checkStoredRows(Table &table);

} // namespace detail
} // namespace store
