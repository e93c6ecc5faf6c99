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
namespace detail { void checkStoredRows(Table &table); }

// One field of the current row of a table handle.
//
// Reading: an empty (null) field reads as "" / 0 / false, except that an empty text field
// read as an integer throws, as any other text that is not a number does. A bool reads as
// text "True" or "False"; an integer as its decimal text.
// Writing (only between append()/edit() and post()): "" or clear() makes the field empty.
// A text(n) field keeps at most n bytes of its code page 936 form, cut on a character
// boundary. Integer fields take decimal text; int16 fields (Port, ROLE) refuse values
// outside -32768..32767. Refused writes throw TableError and leave the field as it was.
class Field
{
public:
    QString asString() const;
    int asInteger() const;  // throws TableError when the text is empty or not a decimal integer
    bool asBoolean() const;
    bool isNull() const;
    void setAsString(const QString &value);
    void setAsInteger(int value);
    void setAsBoolean(bool value);
    void clear();           // make it empty (null)

    QString fieldName() const; // the declared form ("Name" for a lookup of "NAME")
    int index() const { return m_index; }

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
//
// Files: the table name is the file name in the database folder; a name without extension
// stands for name + ".DB" ("ScreenDescDB" is ScreenDescDB.DB).
//
// Order: MatrixDB.DB, Config.DB and RoleDB.db read in order of their key (the byte order of
// its code page 936 form); ChannelDescDB.DB and ScreenDescDB in the order rows were added.
//
// Freshness: open(), first(), findKey() and gotoKey() read the table anew, so rows stored
// through another handle (of this or another process) show up; next() skips rows that
// another handle has deleted meanwhile.
//
// Refused post (duplicate key, required field empty, value out of range): post() throws
// TableError, nothing is stored, and the handle stays in its edit or insert state with the
// values written so far, so that the caller may correct a field and post again, or cancel().
// close() then drops the unposted row.
//
// Moving (first, next, findKey, gotoKey, append) while a row is being edited posts it first
// when a field was written, and cancels it otherwise; a refusal of that post throws and the
// move does not happen. A row whose write or post was refused is never posted by a move: the
// move drops it (the operation that wrote it was abandoned), so only an explicit post()
// stores a corrected row.
class Table
{
public:
    enum class State { Inactive, Browse, Edit, Insert, SetKey };

    Table();
    ~Table();
    Table(const Table &) = delete;
    Table &operator=(const Table &) = delete;

    void setDatabaseName(const QString &folder); // throws while open
    QString databaseName() const;
    void setTableName(const QString &name); // "MatrixDB.DB", "ScreenDescDB", "Config.DB", ...
    QString tableName() const;
    QString filePath() const;                // folder + "/" + the table's file

    bool exists() const;
    void createTable(); // from the declared schema (the program creates only Config.DB);
                        // throws when the file already exists or cannot be made

    void open();        // opening an open table does nothing; throws when the table is missing
    void close();       // closing a closed table does nothing; an unposted row is dropped
    bool active() const;
    State state() const;

    void first();
    void next();
    bool bof() const;
    bool eof() const;
    bool isEmpty();     // first(), then at beginning and at end
    int recordCount() const;

    // Position among the rows the handle shows (0 = first row), -1 when there is none.
    // moveTo() makes the row at that position current (the data-aware grid's click);
    // false, and nothing changes, when there is no such row.
    int position() const;
    bool moveTo(int position);

    Field fieldByName(const QString &name); // case-insensitive; throws on an unknown name
    Field field(int index);                 // by declared position; throws when out of range
    int fieldCount() const;
    QString fieldName(int index) const;

    void append();      // on an empty table edit() is append()
    void edit();
    void post();
    void cancel();
    void deleteRow();   // the next row becomes current; at end when none is left after it.
                        // In insert state it cancels the new row; on an empty table it throws.

    // Only on keyed tables (throws otherwise). The value is cut to the key's width as a
    // stored key would be, then compared exactly.
    bool findKey(const QVariant &value);           // positions on the row with this key
    void setKey();                                 // key lookup, step 1
    void setKeyValue(const QString &field, const QVariant &value); // step 2 (the key field)
    bool gotoKey();                                // step 3

    // Filter of the form "Field = 'value'", run as a parameterised query. The value is the
    // text between the first "'" after the "=" and the last "'" (so it may hold quotes) and
    // is matched exactly, case-sensitive; a text value is cut to the field's width first.
    // An empty filter text means no filter. Any other form throws TableError. Changing the
    // filter or the switch on an open table reads it anew and goes to the first row.
    void setFilter(const QString &filter);
    QString filter() const;
    void setFiltered(bool on);
    bool filtered() const;

    const TableSchema *schema() const;      // nullptr for a name that is not one of the five

private:
    friend class Field;
    friend void detail::checkStoredRows(Table &table);
    struct Private;
    std::unique_ptr<Private> d;
};

// The program's start-up step for the configuration table: when Config.DB is missing from
// folder, create it, open it, append the row "timeout" = "1000", post and close. An existing
// Config.DB is left as it is. Returns true when it created the table.
bool ensureConfigTable(const QString &folder);

// Writes the delivered tables MatrixDB.DB, ChannelDescDB.DB, ScreenDescDB.DB and RoleDB.db
// (demo catalogue and the users admin and oper) into folder, creating the folder and
// replacing those four files; Config.DB is never touched. Throws TableError on failure.
void writeDeliveredTables(const QString &folder);

} // namespace store
