#pragma once

#include <QString>
#include <QVector>

namespace store {

enum class FieldType { Text, Int16, Int32, Bool };

struct FieldDef
{
    QString name;        // declared form; looked up without regard to case
    FieldType type;
    int width;           // text(n): at most n bytes of the code page 936 form; 0 for others
    bool required;
};

// The declared fields and key of one of the five tables.
struct TableSchema
{
    QString table;       // "MatrixDB.DB", "ScreenDescDB", ...
    QString fileName;    // the file in the database folder
    QString sqlName;     // the SQLite table inside that file
    QVector<FieldDef> fields;
    int keyField;        // index of the unique key, -1 for a table without key

    int indexOf(const QString &fieldName) const; // case-insensitive, -1 when unknown
    bool keyed() const { return keyField >= 0; }
};

// The schema for a table name as the windows give it ("MatrixDB.DB", "ScreenDescDB",
// "RoleDB.db"; the extension and the letter case do not matter); nullptr when unknown.
const TableSchema *schemaFor(const QString &tableName);

// All five, in the order MatrixDB.DB, ChannelDescDB.DB, ScreenDescDB, Config.DB, RoleDB.db.
const QVector<TableSchema> &allSchemas();

// The file a table name stands for: the name itself, or name + ".DB" when it has no extension.
QString tableFileName(const QString &tableName);

// SQL that creates the table of a schema in an empty SQLite file.
QString createTableSql(const TableSchema &schema);

} // namespace store
