#pragma once

// Test support: a throw-away program folder with its KorvathDB tables, filled the way the
// console's own windows fill them. Every helper goes through store::Table, so what it writes
// is what the windows would read; a refusal (duplicate key, ...) throws store::TableError.
//
//   testsupport::TempProgramFolder dir;        // <tmp>/ with an empty KorvathDB/
//   dir.writeDelivered();                      // the four delivered tables (demo catalogue)
//   dir.addMatrix(QStringLiteral("M1"), QStringLiteral("VCA"), 3, 2, true,
//                 QStringLiteral("网口"), {}, QStringLiteral("127.0.0.1"), QStringLiteral("40001"),
//                 {QStringLiteral("摄像机1")});  // In 1 described, the rest empty
//   dir.addUser(QStringLiteral("bob"), QStringLiteral("pw"), 1);
//   dir.setTimeout(250);
//   window.setAppDirectory(dir.appDirectory()) ...
//
// A helper that needs one of the four delivered tables and finds it missing creates it empty,
// so a test can start from an empty catalogue without writeDelivered(). Config.DB is created
// only by ensureConfig() and setTimeout().

#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

namespace testsupport {

// A catalogue row with its channel and preset rows. Fields left empty are not written
// (stay empty), whatever ComType says; so an empty port reads as empty (the console uses 5555).
struct MatrixSpec
{
    QString name;
    QString type = QStringLiteral("VCA");
    int inNum = 4;
    int outNum = 4;
    bool audio = true;
    QString comType = QStringLiteral("离线模式");
    QString comNum;
    QString ip;
    QString port;            // decimal text, or empty
    QString mask;
    QStringList inDescs;     // Desc of "In" 1, 2, ...; missing or empty entries: no description
    QStringList outDescs;    // Desc of "Out" 1, 2, ...
    QMap<int, QString> presetDescs; // DESC of preset n; every other preset "NULL"
};

class TempProgramFolder
{
public:
    TempProgramFolder();     // a fresh temporary folder holding an empty KorvathDB folder
    ~TempProgramFolder();
    TempProgramFolder(const TempProgramFolder &) = delete;
    TempProgramFolder &operator=(const TempProgramFolder &) = delete;

    bool isValid() const;
    QString appDirectory() const;   // the program folder, with a trailing "/"
    QString databaseFolder() const; // appDirectory() + "KorvathDB"

    void writeDelivered();          // MatrixDB.DB, ChannelDescDB.DB, ScreenDescDB.DB, RoleDB.db
    void ensureConfig();            // Config.DB as the program's start creates it ("timeout" = "1000")
    void setTimeout(int milliseconds);
    void setTimeout(const QString &value); // any text, e.g. "abc" to test a bad value

    // The catalogue row (Name, Type, InNum, OutNum, Audio, ComType and the non-empty ComNum,
    // IP, Port, Mask), then the channel rows "In" 1..InNum and "Out" 1..OutNum with their
    // descriptions, then the 32 preset rows, as the matrix editor adds a matrix.
    void addMatrix(const MatrixSpec &matrix);
    // The same; channelDescs holds the descriptions of In 1..InNum followed by Out 1..OutNum.
    void addMatrix(const QString &name, const QString &type, int inNum, int outNum, bool audio,
                   const QString &comType, const QString &comNum = QString(), const QString &ip = QString(),
                   const QString &port = QString(), const QStringList &channelDescs = QStringList());

    void addUser(const QString &userName, const QString &password, int role);

    void createEmptyTable(const QString &table); // e.g. "MatrixDB.DB"; nothing when it exists
    void removeTable(const QString &table);      // delete the table's file

    // Every row the table shows (with the filter "Field = 'value'" when one is given), each as
    // its fields' texts in declared order; an empty field is "".
    QVector<QStringList> rows(const QString &table, const QString &filter = QString()) const;

private:
    QTemporaryDir m_dir;
};

} // namespace testsupport
