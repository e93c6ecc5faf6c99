#include "store/Table.h"

namespace store {

bool ensureConfigTable(const QString &folder)
{
    Table config;
    config.setDatabaseName(folder);
    config.setTableName(QStringLiteral("Config.DB"));
    if (config.exists())
        return false;
    config.createTable();
    config.open();
    config.append();
    config.fieldByName(QStringLiteral("Key")).setAsString(QStringLiteral("timeout"));
    config.fieldByName(QStringLiteral("Value")).setAsString(QStringLiteral("1000"));
    config.post();
    config.close();
    return true;
}

} // namespace store
