#pragma once

// Shared by the login and user manager tests: a real application object whose event
// dispatch shows the errors handlers let through, and a settings store in a temporary folder.

#include "access/Login.h"
#include "tests/support/TempProgramFolder.h"
#include "ui/Application.h"
#include "ui/Messages.h"

#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

namespace accesstest {

// Must run before anything touches QSettings: the user's own settings stay untouched.
inline bool isolateSettings(const QTemporaryDir &dir)
{
    if (!dir.isValid())
        return false;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const QString prefix = dir.path() + QLatin1Char('/');
    return QSettings().fileName().startsWith(prefix) && TForm6::settingsFileName().startsWith(prefix);
}

// Forgets every remembered login.
inline void clearSettings()
{
    {
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("sarvelon"));
        settings.clear();
        settings.sync();
    }
    QFile::remove(TForm6::settingsFileName());
}

// USERNAME of every stored user, in key order.
inline QStringList storedNames(const testsupport::TempProgramFolder &dir)
{
    QStringList names;
    for (const QStringList &row : dir.rows(QStringLiteral("RoleDB.db")))
        names << row.value(0);
    return names;
}

// The stored row of a user (USERNAME, PASSWORD, ROLE), empty when there is none.
inline QStringList storedUser(const testsupport::TempProgramFolder &dir, const QString &name)
{
    for (const QStringList &row : dir.rows(QStringLiteral("RoleDB.db")))
        if (row.value(0) == name)
            return row;
    return {};
}

} // namespace accesstest

#define ACCESS_TEST_MAIN(TestClass)                                                        \
    int main(int argc, char **argv)                                                        \
    {                                                                                      \
        SarvelonApplication app(argc, argv);                                               \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                           \
        TestClass tc;                                                                      \
        QTEST_SET_MAIN_SOURCE_PATH                                                         \
        return QTest::qExec(&tc, argc, argv);                                              \
    }
