#pragma once

#include "store/TableError.h"

#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>

struct sqlite3;

namespace store {

struct TableSchema;
class Table;

// One field of the current row of a table handle.
class Field
{
public:
    QString asString() const;
    int asInteger() const;  // throws TableError when the text is not a decimal integer
    bool asBoolean() const;
    bool isNull() const;
    void setAsString(const QString &value);
    void setAsInteger(int value);
    void setAsBoolean(bool value);
    void clear();           // make it empty (null)

private:
    friend class Table;
    Field(Table *table, int index) : m_table(table), m_index(index) {}
    Table *m_table;
    int m_index;
};

// A table handle over one SQLite file in the database folder. Offers what the windows
// need of a table: cursor, field access, append/edit/post/delete, key find, filter.
// Every post and delete is one atomic transaction; refusals throw TableError and leave
// the stored rows as they were.
class Table
{
public:
    Table();
    ~Table();
    Table(const Table &) = delete;
    Table &operator=(const Table &) = delete;

    void setDatabaseName(const QString &folder);
    QString databaseName() const;
    void setTableName(const QString &name); // "MatrixDB.DB", "ScreenDescDB", "Config.DB", ...
    QString tableName() const;

    bool exists() const;
    void createTable(); // from the declared schema (the program creates only Config.DB)

    void open();        // opening an open table does nothing; throws when the table is missing
    void close();       // closing a closed table does nothing; an unposted row is dropped
    bool active() const;

    void first();
    void next();
    bool bof() const;
    bool eof() const;
    bool isEmpty();     // first(), then at beginning and at end
    int recordCount() const;

    Field fieldByName(const QString &name); // case-insensitive; throws on an unknown name

    void append();
    void edit();
    void post();
    void cancel();
    void deleteRow();   // the next row becomes current; at end when none is left

    bool findKey(const QVariant &value);           // positions on the row with this key
    void setKey();                                 // key lookup, step 1
    void setKeyValue(const QString &field, const QVariant &value); // step 2
    bool gotoKey();                                // step 3

    // Filter of the form "Field = 'value'", run as a parameterised query.
    void setFilter(const QString &filter);
    QString filter() const;
    void setFiltered(bool on);
    bool filtered() const;

private:
    friend class Field;
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace store
