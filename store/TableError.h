#pragma once

#include "core/PlatformError.h"

#include <QString>

namespace store {

// A refusal of the tables: its text names the table, the field and the reason.
class TableError : public PlatformError
{
public:
    explicit TableError(const QString &message) : PlatformError(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

} // namespace store
