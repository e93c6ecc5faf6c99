#include "store/TableSchema.h"

#include <QFileInfo>

namespace store {

namespace {

QString baseName(const QString &tableName)
{
    const int dot = tableName.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? tableName.left(dot) : tableName;
}

QVector<TableSchema> makeSchemas()
{
    using T = FieldType;
    return {
        {QStringLiteral("MatrixDB.DB"), QStringLiteral("MatrixDB.DB"), QStringLiteral("MatrixDB"),
         {{QStringLiteral("Name"), T::Text, 40, true},
          {QStringLiteral("Type"), T::Text, 10, false},
          {QStringLiteral("InNum"), T::Int32, 0, false},
          {QStringLiteral("OutNum"), T::Int32, 0, false},
          {QStringLiteral("Audio"), T::Bool, 0, false},
          {QStringLiteral("ComType"), T::Text, 10, false},
          {QStringLiteral("ComNum"), T::Text, 5, false},
          {QStringLiteral("IP"), T::Text, 15, false},
          {QStringLiteral("Port"), T::Int16, 0, false},
          {QStringLiteral("Mask"), T::Text, 15, false}},
         0},
        {QStringLiteral("ChannelDescDB.DB"), QStringLiteral("ChannelDescDB.DB"), QStringLiteral("ChannelDescDB"),
         {{QStringLiteral("MatrixName"), T::Text, 40, true},
          {QStringLiteral("ChannelType"), T::Text, 40, false},
          {QStringLiteral("Desc"), T::Text, 40, false},
          {QStringLiteral("ChannelNo"), T::Int32, 0, false}},
         -1},
        {QStringLiteral("ScreenDescDB"), QStringLiteral("ScreenDescDB.DB"), QStringLiteral("ScreenDescDB"),
         {{QStringLiteral("Name"), T::Text, 40, true},
          {QStringLiteral("SCREEN_NO"), T::Int32, 0, false},
          {QStringLiteral("DESC"), T::Text, 40, false}},
         -1},
        {QStringLiteral("Config.DB"), QStringLiteral("Config.DB"), QStringLiteral("Config"),
         {{QStringLiteral("Key"), T::Text, 40, true},
          {QStringLiteral("Value"), T::Text, 40, false}},
         0},
        {QStringLiteral("RoleDB.db"), QStringLiteral("RoleDB.db"), QStringLiteral("RoleDB"),
         {{QStringLiteral("USERNAME"), T::Text, 10, false},
          {QStringLiteral("PASSWORD"), T::Text, 8, false},
          {QStringLiteral("ROLE"), T::Int16, 0, false}},
         0},
    };
}

QString quoted(const QString &identifier)
{
    QString q = identifier;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace

int TableSchema::indexOf(const QString &fieldName) const
{
    for (int i = 0; i < fields.size(); ++i)
        if (fields.at(i).name.compare(fieldName, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

const QVector<TableSchema> &allSchemas()
{
    static const QVector<TableSchema> schemas = makeSchemas();
    return schemas;
}

const TableSchema *schemaFor(const QString &tableName)
{
    const QString base = baseName(QFileInfo(tableName).fileName());
    for (const TableSchema &s : allSchemas())
        if (s.sqlName.compare(base, Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

QString tableFileName(const QString &tableName)
{
    return QFileInfo(tableName).suffix().isEmpty() ? tableName + QStringLiteral(".DB") : tableName;
}

QString createTableSql(const TableSchema &schema)
{
    // Plain SQLite types, so the files stay readable with any SQLite tool. The unique index
    // backs up the key check the handle makes itself (which also allows one empty key only).
    QStringList columns;
    for (const FieldDef &f : schema.fields) {
        QString col = quoted(f.name) + (f.type == FieldType::Text ? QStringLiteral(" TEXT") : QStringLiteral(" INTEGER"));
        if (f.required)
            col += QStringLiteral(" NOT NULL");
        columns << col;
    }
    QString sql = QStringLiteral("CREATE TABLE %1 (%2);").arg(quoted(schema.sqlName), columns.join(QStringLiteral(", ")));
    if (schema.keyed())
        sql += QStringLiteral("CREATE UNIQUE INDEX %1 ON %2 (%3);")
                   .arg(quoted(schema.sqlName + QStringLiteral("_key")), quoted(schema.sqlName),
                        quoted(schema.fields.at(schema.keyField).name));
    return sql;
}

} // namespace store
