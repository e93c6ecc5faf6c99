#include "tests/support/TempProgramFolder.h"

#include "store/Table.h"

#include <QDir>
#include <QFile>

namespace testsupport {

namespace {

void openTable(store::Table &t, const QString &folder, const QString &name)
{
    t.setDatabaseName(folder);
    t.setTableName(name);
    if (!t.exists())
        t.createTable();
    t.open();
}

void setIfGiven(store::Table &t, const char *field, const QString &value)
{
    if (!value.isEmpty())
        t.fieldByName(QLatin1String(field)).setAsString(value);
}

} // namespace

TempProgramFolder::TempProgramFolder()
{
    if (m_dir.isValid())
        QDir().mkpath(databaseFolder());
}

TempProgramFolder::~TempProgramFolder() = default;

bool TempProgramFolder::isValid() const { return m_dir.isValid() && QDir(databaseFolder()).exists(); }

QString TempProgramFolder::appDirectory() const { return m_dir.path() + QLatin1Char('/'); }

QString TempProgramFolder::databaseFolder() const { return appDirectory() + QStringLiteral("KorvathDB"); }

void TempProgramFolder::writeDelivered() { store::writeDeliveredTables(databaseFolder()); }

void TempProgramFolder::ensureConfig() { store::ensureConfigTable(databaseFolder()); }

void TempProgramFolder::setTimeout(int milliseconds) { setTimeout(QString::number(milliseconds)); }

void TempProgramFolder::setTimeout(const QString &value)
{
    ensureConfig();
    store::Table t;
    openTable(t, databaseFolder(), QStringLiteral("Config.DB"));
    if (!t.findKey(QStringLiteral("timeout"))) {
        t.append();
        t.fieldByName(QStringLiteral("Key")).setAsString(QStringLiteral("timeout"));
    } else {
        t.edit();
    }
    t.fieldByName(QStringLiteral("Value")).setAsString(value);
    t.post();
}

void TempProgramFolder::addMatrix(const MatrixSpec &m)
{
    const QString folder = databaseFolder();
    {
        store::Table t;
        openTable(t, folder, QStringLiteral("MatrixDB.DB"));
        t.append();
        t.fieldByName(QStringLiteral("Name")).setAsString(m.name);
        t.fieldByName(QStringLiteral("Type")).setAsString(m.type);
        t.fieldByName(QStringLiteral("InNum")).setAsInteger(m.inNum);
        t.fieldByName(QStringLiteral("OutNum")).setAsInteger(m.outNum);
        t.fieldByName(QStringLiteral("Audio")).setAsBoolean(m.audio);
        t.fieldByName(QStringLiteral("ComType")).setAsString(m.comType);
        setIfGiven(t, "ComNum", m.comNum);
        setIfGiven(t, "IP", m.ip);
        setIfGiven(t, "Port", m.port);
        setIfGiven(t, "Mask", m.mask);
        t.post();
    }
    {
        store::Table t;
        openTable(t, folder, QStringLiteral("ChannelDescDB.DB"));
        const auto addChannels = [&](const QString &kind, int count, const QStringList &descs) {
            for (int k = 1; k <= count; ++k) {
                t.append();
                t.fieldByName(QStringLiteral("MatrixName")).setAsString(m.name);
                t.fieldByName(QStringLiteral("ChannelType")).setAsString(kind);
                t.fieldByName(QStringLiteral("ChannelNo")).setAsInteger(k);
                setIfGiven(t, "Desc", descs.value(k - 1));
                t.post();
            }
        };
        addChannels(QStringLiteral("In"), m.inNum, m.inDescs);
        addChannels(QStringLiteral("Out"), m.outNum, m.outDescs);
    }
    {
        store::Table t;
        openTable(t, folder, QStringLiteral("ScreenDescDB"));
        for (int n = 1; n <= 32; ++n) {
            t.append();
            t.fieldByName(QStringLiteral("Name")).setAsString(m.name);
            t.fieldByName(QStringLiteral("SCREEN_NO")).setAsInteger(n);
            t.fieldByName(QStringLiteral("DESC")).setAsString(m.presetDescs.value(n, QStringLiteral("NULL")));
            t.post();
        }
    }
}

void TempProgramFolder::addMatrix(const QString &name, const QString &type, int inNum, int outNum, bool audio,
                                  const QString &comType, const QString &comNum, const QString &ip,
                                  const QString &port, const QStringList &channelDescs)
{
    MatrixSpec m;
    m.name = name;
    m.type = type;
    m.inNum = inNum;
    m.outNum = outNum;
    m.audio = audio;
    m.comType = comType;
    m.comNum = comNum;
    m.ip = ip;
    m.port = port;
    m.inDescs = channelDescs.mid(0, inNum);
    m.outDescs = channelDescs.mid(inNum);
    addMatrix(m);
}

void TempProgramFolder::addUser(const QString &userName, const QString &password, int role)
{
    store::Table t;
    openTable(t, databaseFolder(), QStringLiteral("RoleDB.db"));
    t.append();
    setIfGiven(t, "USERNAME", userName);
    setIfGiven(t, "PASSWORD", password);
    t.fieldByName(QStringLiteral("ROLE")).setAsInteger(role);
    t.post();
}

void TempProgramFolder::createEmptyTable(const QString &table)
{
    store::Table t;
    t.setDatabaseName(databaseFolder());
    t.setTableName(table);
    if (!t.exists())
        t.createTable();
}

void TempProgramFolder::removeTable(const QString &table)
{
    store::Table t;
    t.setDatabaseName(databaseFolder());
    t.setTableName(table);
    QFile::remove(t.filePath());
}

QVector<QStringList> TempProgramFolder::rows(const QString &table, const QString &filter) const
{
    store::Table t;
    t.setDatabaseName(databaseFolder());
    t.setTableName(table);
    t.setFilter(filter);
    t.setFiltered(!filter.isEmpty());
    t.open();
    QVector<QStringList> out;
    for (t.first(); !t.eof(); t.next()) {
        QStringList row;
        for (int i = 0; i < t.fieldCount(); ++i)
            row << t.field(i).asString();
        out << row;
    }
    return out;
}

} // namespace testsupport
