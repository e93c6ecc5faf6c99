#pragma once

#include "store/Table.h"

namespace store {

// Opens a table for one operation and closes it on every way out, errors included, so a
// refused operation never leaves a handle open for the next one.
class TableScope
{
public:
    explicit TableScope(Table &table) : m_table(table) { m_table.open(); }
    ~TableScope()
    {
        try {
            m_table.close();
        } catch (...) {
        }
    }
    TableScope(const TableScope &) = delete;
    TableScope &operator=(const TableScope &) = delete;

private:
    Table &m_table;
};

} // namespace store
