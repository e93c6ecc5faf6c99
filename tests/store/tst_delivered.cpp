#include "store/Table.h"
#include "tests/support/TempProgramFolder.h"

#include <QDir>
#include <QProcess>
#include <QTest>

using testsupport::TempProgramFolder;

namespace {
QString u(const char *utf8) { return QString::fromUtf8(utf8); }
using Rows = QVector<QStringList>;
const QStringList deliveredFiles = {u("MatrixDB.DB"), u("ChannelDescDB.DB"), u("ScreenDescDB.DB"), u("RoleDB.db")};
} // namespace

// What the delivered tables hold is what the README promises: three demo matrices, one per
// connection mode, with their channel and preset rows, and the users admin and oper.
class TestDelivered : public QObject
{
    Q_OBJECT

private slots:
    void catalogue()
    {
        TempProgramFolder dir;
        dir.writeDelivered();
        // Name order (code page 936): 串 B4AE, 离 C0EB, 网 CDF8.
        // Fields: Name Type InNum OutNum Audio ComType ComNum IP Port Mask
        QCOMPARE(dir.rows(u("MatrixDB.DB")),
                 Rows({{u("串口演示矩阵"), u("HDMIA"), u("8"), u("8"), u("True"), u("串口"), u("COM1"), u(""), u(""), u("")},
                       {u("离线演示矩阵"), u("DVI"), u("72"), u("72"), u("False"), u("离线模式"), u(""), u(""), u(""), u("")},
                       {u("网口演示矩阵"), u("VCA"), u("16"), u("16"), u("True"), u("网口"), u(""), u("127.0.0.1"), u(""), u("255.255.255.0")}}));
        QVERIFY(!QFile::exists(dir.databaseFolder() + u("/Config.DB")));
    }

    void channelsAndPresets_data()
    {
        QTest::addColumn<QString>("matrix");
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<QStringList>("described");   // "In1=摄像机1", ...
        QTest::addColumn<QStringList>("presetDescs"); // "1=会议模式", ...
        QTest::newRow("network") << u("网口演示矩阵") << 16 << 16
                                 << QStringList{u("In1=摄像机1"), u("In2=摄像机2"), u("In3=电脑"), u("Out1=投影机"), u("Out2=监视器")}
                                 << QStringList{u("1=会议模式"), u("2=演示模式")};
        QTest::newRow("serial") << u("串口演示矩阵") << 8 << 8
                                << QStringList{u("In1=蓝光播放机"), u("Out1=大屏幕")} << QStringList{u("1=全屏播放")};
        QTest::newRow("offline") << u("离线演示矩阵") << 72 << 72 << QStringList() << QStringList();
    }

    void channelsAndPresets()
    {
        QFETCH(QString, matrix);
        QFETCH(int, inputs);
        QFETCH(int, outputs);
        QFETCH(QStringList, described);
        QFETCH(QStringList, presetDescs);
        TempProgramFolder dir;
        dir.writeDelivered();

        // In 1..InNum, then Out 1..OutNum, in that order; the listed ones described.
        const Rows channels = dir.rows(u("ChannelDescDB.DB"), u("MatrixName = '") + matrix + u("'"));
        QCOMPARE(channels.size(), inputs + outputs);
        QStringList seenDescs;
        for (int i = 0; i < channels.size(); ++i) {
            const QStringList &r = channels.at(i);
            const bool in = i < inputs;
            const QString kind = in ? u("In") : u("Out");
            const int no = in ? i + 1 : i - inputs + 1;
            QCOMPARE(r.at(1), kind);
            QCOMPARE(r.at(3).toInt(), no);
            if (!r.at(2).isEmpty())
                seenDescs << kind + QString::number(no) + u("=") + r.at(2);
        }
        QCOMPARE(seenDescs, described);

        // 32 preset rows, SCREEN_NO 1..32, "NULL" unless described.
        const Rows presets = dir.rows(u("ScreenDescDB"), u("NAME = '") + matrix + u("'"));
        QCOMPARE(presets.size(), 32);
        QStringList seenPresets;
        for (int i = 0; i < presets.size(); ++i) {
            QCOMPARE(presets.at(i).at(1).toInt(), i + 1);
            if (presets.at(i).at(2) != u("NULL"))
                seenPresets << presets.at(i).at(1) + u("=") + presets.at(i).at(2);
        }
        QCOMPARE(seenPresets, presetDescs);
    }

    void users()
    {
        TempProgramFolder dir;
        dir.writeDelivered();
        QCOMPARE(dir.rows(u("RoleDB.db")), Rows({{u("admin"), u("admin"), u("0")}, {u("oper"), u("1234"), u("1")}}));
    }

    void rewriteReplacesTablesButNotConfig()
    {
        TempProgramFolder dir;
        dir.writeDelivered();
        dir.setTimeout(300);
        dir.addMatrix(u("自建矩阵"), u("AV"), 1, 1, false, u("离线模式"));
        dir.addUser(u("guest"), u("g"), 1);

        dir.writeDelivered();
        QCOMPARE(dir.rows(u("MatrixDB.DB")).size(), 3);
        QCOMPARE(dir.rows(u("ChannelDescDB.DB")).size(), 2 * (16 + 8 + 72));
        QCOMPARE(dir.rows(u("ScreenDescDB")).size(), 3 * 32);
        QCOMPARE(dir.rows(u("RoleDB.db")).size(), 2);
        QCOMPARE(dir.rows(u("Config.DB")), Rows({{u("timeout"), u("300")}}));
        // Nothing of the work left behind in the database folder.
        QCOMPARE(QDir(dir.databaseFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 5);
    }

    void mkdbProgram()
    {
        TempProgramFolder dir;
        const QString target = dir.appDirectory() + u("安装 目录/KorvathDB"); // a folder yet to be made
        QProcess mkdb;
        mkdb.start(QStringLiteral(MKDB_PATH), {target});
        QVERIFY(mkdb.waitForFinished(30000));
        QCOMPARE(mkdb.exitCode(), 0);
        QCOMPARE(QDir(target).entryList(QDir::Files, QDir::Name), QStringList({u("ChannelDescDB.DB"), u("MatrixDB.DB"), u("RoleDB.db"), u("ScreenDescDB.DB")}));
        // A program folder with a blank and Chinese characters in its path works as any other.
        QVERIFY(store::ensureConfigTable(target));
        store::Table t;
        t.setDatabaseName(target);
        t.setTableName(u("ChannelDescDB.DB"));
        t.setFilter(u("MatrixName = '串口演示矩阵'"));
        t.setFiltered(true);
        t.open();
        QCOMPARE(t.recordCount(), 16);
        QCOMPARE(t.filePath(), target + u("/ChannelDescDB.DB"));
        t.close();

        mkdb.start(QStringLiteral(MKDB_PATH), {});
        QVERIFY(mkdb.waitForFinished(30000));
        QVERIFY(mkdb.exitCode() != 0);
    }

    void builtProgramFolderHasTheTables()
    {
        // The build writes the delivered tables beside the executables.
        for (const QString &file : deliveredFiles)
            QVERIFY2(QFile::exists(QStringLiteral(BUILT_DB_FOLDER "/") + file), qPrintable(file));
        store::Table t;
        t.setDatabaseName(QStringLiteral(BUILT_DB_FOLDER));
        t.setTableName(u("RoleDB.db"));
        t.open(); // a table file of ours (its rows may have been edited since)
        QVERIFY(t.active());
    }
};

QTEST_GUILESS_MAIN(TestDelivered)
#include "tst_delivered.moc"
