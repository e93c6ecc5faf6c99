#include "store/Table.h"
#include "store/TableInternal.h"
#include "store/TableSchema.h"

#include "DeliveredSql.h" // generated from demo/*.sql

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

namespace store {

namespace {

QString sqlFor(const TableSchema &schema)
{
    for (const delivered::Script &s : delivered::scripts)
        if (schema.sqlName == QLatin1String(s.table))
            return QString::fromUtf8(reinterpret_cast<const char *>(s.data), int(s.size));
    return QString();
}

// Fills a freshly created table file from its SQL and checks every row it then holds.
void fill(const QString &folder, const TableSchema &schema)
{
    Table table;
    table.setDatabaseName(folder);
    table.setTableName(schema.table);
    table.createTable();

    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(table.filePath()).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw TableError(QStringLiteral("Table \"%1\": cannot open \"%2\"").arg(schema.table, table.filePath()));
    }
    try {
        detail::exec(db, QStringLiteral("BEGIN;") + sqlFor(schema) + QStringLiteral("\nCOMMIT;"), schema.table);
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);

    table.open();
    detail::checkStoredRows(table);
    table.close();
}

} // namespace

void writeDeliveredTables(const QString &folder)
{
    if (!QDir().mkpath(folder))
        throw TableError(QStringLiteral("Cannot create the database folder \"%1\"").arg(folder));

    // Build all four beside the targets first, then move each into place in one rename,
    // so an interrupted run leaves either the old file or the new one, never half of one.
    QTemporaryDir work(QDir(folder).filePath(QStringLiteral(".delivered-XXXXXX")));
    if (!work.isValid())
        throw TableError(QStringLiteral("Cannot create a work folder in \"%1\"").arg(folder));

    QVector<const TableSchema *> delivered;
    for (const TableSchema &s : allSchemas())
        if (s.sqlName != QLatin1String("Config"))
            delivered << &s;

    for (const TableSchema *s : delivered)
        fill(work.path(), *s);

    for (const TableSchema *s : delivered) {
        const QString target = QDir(folder).filePath(s->fileName);
        // A journal left by a crash would be replayed into the new file.
        for (const char *suffix : {"-journal", "-wal", "-shm"})
            QFile::remove(target + QLatin1String(suffix));
        const QString source = QDir(work.path()).filePath(s->fileName);
        if (std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) != 0)
            throw TableError(QStringLiteral("Table \"%1\": cannot write \"%2\"").arg(s->table, target));
    }
}

} // namespace store
