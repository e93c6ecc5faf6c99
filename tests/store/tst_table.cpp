#include "store/GbkText.h"
#include "store/Table.h"
#include "tests/support/TempProgramFolder.h"

#include <QTest>

#include <sqlite3.h>

#include <algorithm>
#include <memory>

using store::Field;
using store::Table;
using store::TableError;
using testsupport::TempProgramFolder;

namespace {

QString u(const char *utf8) { return QString::fromUtf8(utf8); }

using Row = QStringList;
using Rows = QVector<QStringList>;

// Runs f and returns the text of the TableError it throws; fails the test when it does not throw.
template <typename F>
QString refusal(F &&f)
{
    try {
        f();
    } catch (const TableError &e) {
        return e.message();
    }
    return QStringLiteral("<no TableError>");
}

} // namespace

class TestTable : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TempProgramFolder> dir;

    // A handle on one of the tables of the test's folder, opened.
    std::unique_ptr<Table> open(const QString &name, const QString &filter = QString())
    {
        auto t = std::make_unique<Table>();
        t->setDatabaseName(dir->databaseFolder());
        t->setTableName(name);
        if (!filter.isEmpty()) {
            t->setFilter(filter);
            t->setFiltered(true);
        }
        t->open();
        return t;
    }

    // Appends and posts one row of (field, text) pairs.
    void addRow(Table &t, const QVector<QPair<QString, QString>> &values)
    {
        t.append();
        for (const auto &v : values)
            t.fieldByName(v.first).setAsString(v.second);
        t.post();
    }

    QStringList column(const QString &table, int field, const QString &filter = QString())
    {
        QStringList out;
        for (const Row &r : dir->rows(table, filter))
            out << r.at(field);
        return out;
    }

private slots:
    void init()
    {
        dir = std::make_unique<TempProgramFolder>();
        QVERIFY(dir->isValid());
    }
    void cleanup() { dir.reset(); }

    // --- files and the configuration table -------------------------------------------------

    void firstStartCreatesConfigOnce()
    {
        dir->writeDelivered();
        QVERIFY(!QFile::exists(dir->databaseFolder() + u("/Config.DB")));

        QVERIFY(store::ensureConfigTable(dir->databaseFolder()));
        QCOMPARE(dir->rows(u("Config.DB")), Rows({{u("timeout"), u("1000")}}));

        // Second start: the table is there, nothing is added.
        QVERIFY(!store::ensureConfigTable(dir->databaseFolder()));
        QCOMPARE(dir->rows(u("Config.DB")), Rows({{u("timeout"), u("1000")}}));

        // The start-up read: key lookup in three steps, Value as an integer.
        auto t = open(u("Config.DB"));
        t->setKey();
        t->setKeyValue(u("Key"), u("timeout"));
        QVERIFY(t->gotoKey());
        QCOMPARE(t->fieldByName(u("Value")).asInteger(), 1000);
    }

    void timeoutWriteAndRead()
    {
        dir->setTimeout(250);
        auto t = open(u("Config.DB"));
        t->setKey();
        t->fieldByName(u("key")).setAsString(u("timeout")); // writing the key field in key mode works too
        QVERIFY(t->gotoKey());
        QCOMPARE(t->fieldByName(u("VALUE")).asInteger(), 250);
        QCOMPARE(t->recordCount(), 1);
    }

    void tableNamesAndFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("file");
        QTest::newRow("MatrixDB.DB") << u("MatrixDB.DB") << u("MatrixDB.DB");
        QTest::newRow("ScreenDescDB") << u("ScreenDescDB") << u("ScreenDescDB.DB");
        QTest::newRow("RoleDB.db") << u("RoleDB.db") << u("RoleDB.db");
    }

    void tableNamesAndFiles()
    {
        QFETCH(QString, name);
        QFETCH(QString, file);
        dir->writeDelivered();
        Table t;
        t.setDatabaseName(dir->databaseFolder());
        t.setTableName(name);
        QCOMPARE(t.filePath(), dir->databaseFolder() + u("/") + file);
        QVERIFY(t.exists());
        t.open();
        QVERIFY(!t.isEmpty());
    }

    void missingTableOnOpen()
    {
        Table t;
        t.setDatabaseName(dir->databaseFolder());
        t.setTableName(u("RoleDB.db"));
        QVERIFY(!t.exists());
        const QString msg = refusal([&] { t.open(); });
        QVERIFY2(msg.contains(u("RoleDB.db")) && msg.contains(u("does not exist")), qPrintable(msg));
        QVERIFY(!t.active());
        t.close(); // closing a closed table does nothing
    }

    void openAndCloseTwice()
    {
        dir->addUser(u("admin"), u("admin"), 0);
        auto t = open(u("RoleDB.db"));
        t->next();
        QVERIFY(t->eof());
        t->open(); // nothing: stays where it is
        QVERIFY(t->eof());
        t->close();
        t->close();
        QVERIFY(!t->active());
    }

    void rawStorageIsPlainSqlite()
    {
        // Bool as 0/1, texts as UTF-8, empty fields as NULL: readable with any SQLite tool.
        dir->addMatrix(u("网口矩阵"), u("VCA"), 0, 0, true, u("网口"), QString(), u("127.0.0.1"), QString());
        dir->addMatrix(u("离线矩阵"), u("DVI"), 0, 0, false, u("离线模式"));
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open_v2(QFile::encodeName(dir->databaseFolder() + u("/MatrixDB.DB")).constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt *st = nullptr;
        QCOMPARE(sqlite3_prepare_v2(db, "SELECT Name, Audio, typeof(Audio), typeof(Port), ComType FROM MatrixDB ORDER BY Audio DESC", -1, &st, nullptr), SQLITE_OK);
        const auto text = [&](int c) { return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, c))); };
        QCOMPARE(sqlite3_step(st), SQLITE_ROW);
        QCOMPARE(text(0), u("网口矩阵"));
        QCOMPARE(sqlite3_column_int(st, 1), 1);
        QCOMPARE(text(2), u("integer"));
        QCOMPARE(text(3), u("null"));
        QCOMPARE(text(4), u("网口"));
        QCOMPARE(sqlite3_step(st), SQLITE_ROW);
        QCOMPARE(sqlite3_column_int(st, 1), 0);
        sqlite3_finalize(st);
        sqlite3_close(db);
    }

    // --- fields -----------------------------------------------------------------------------

    void fieldNameForms_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("declared");
        QTest::newRow("MatrixDB NAME") << u("MatrixDB.DB") << u("NAME") << u("Name");
        QTest::newRow("MatrixDB TYPE") << u("MatrixDB.DB") << u("TYPE") << u("Type");
        QTest::newRow("MatrixDB PORT") << u("MatrixDB.DB") << u("PORT") << u("Port");
        QTest::newRow("MatrixDB MASK") << u("MatrixDB.DB") << u("MASK") << u("Mask");
        QTest::newRow("MatrixDB ip") << u("MatrixDB.DB") << u("ip") << u("IP");
        QTest::newRow("ScreenDescDB NAME") << u("ScreenDescDB") << u("NAME") << u("Name");
        QTest::newRow("ScreenDescDB Desc") << u("ScreenDescDB") << u("Desc") << u("DESC");
        QTest::newRow("ChannelDescDB DESC") << u("ChannelDescDB.DB") << u("DESC") << u("Desc");
        QTest::newRow("RoleDB username") << u("RoleDB.db") << u("username") << u("USERNAME");
    }

    void fieldNameForms()
    {
        QFETCH(QString, table);
        QFETCH(QString, form);
        QFETCH(QString, declared);
        dir->writeDelivered();
        auto t = open(table);
        QCOMPARE(t->fieldByName(form).fieldName(), declared);
        QCOMPARE(t->fieldByName(form).asString(), t->fieldByName(declared).asString());
        const QString msg = refusal([&] { t->fieldByName(u("NoSuchField")); });
        QVERIFY2(msg.contains(table) && msg.contains(u("NoSuchField")), qPrintable(msg));
    }

    void textWidths_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("stored");
        const QString chinese21 = u("演").repeated(21);
        QTest::newRow("identifier of 45 bytes") << u("MatrixDB.DB") << u("Name") << u("M").repeated(45) << u("M").repeated(40);
        QTest::newRow("21 chinese into text(40)") << u("MatrixDB.DB") << u("Name") << chinese21 << u("演").repeated(20);
        QTest::newRow("mixed at odd boundary") << u("MatrixDB.DB") << u("Name") << u("1") + chinese21 << u("1") + u("演").repeated(19);
        QTest::newRow("ComNum text(5)") << u("MatrixDB.DB") << u("ComNum") << u("COM123") << u("COM12");
        QTest::newRow("ComType text(10)") << u("MatrixDB.DB") << u("ComType") << u("离线模式") << u("离线模式");
        QTest::newRow("IP text(15)") << u("MatrixDB.DB") << u("IP") << u("192.168.100.200.1") << u("192.168.100.200");
        QTest::newRow("channel Desc") << u("ChannelDescDB.DB") << u("Desc") << u("x") + chinese21 << u("x") + u("演").repeated(19);
        QTest::newRow("USERNAME text(10), 11 bytes") << u("RoleDB.db") << u("USERNAME") << u("a用户名称五") << u("a用户名称");
        QTest::newRow("PASSWORD text(8)") << u("RoleDB.db") << u("PASSWORD") << u("123456789") << u("12345678");
    }

    void textWidths()
    {
        QFETCH(QString, table);
        QFETCH(QString, field);
        QFETCH(QString, written);
        QFETCH(QString, stored);
        dir->createEmptyTable(table);
        {
            auto t = open(table);
            t->append();
            const QString required = table == u("ChannelDescDB.DB") ? u("MatrixName") : table == u("MatrixDB.DB") ? u("Name") : QString();
            if (!required.isEmpty() && required != field)
                t->fieldByName(required).setAsString(u("M"));
            t->fieldByName(field).setAsString(written);
            QCOMPARE(t->fieldByName(field).asString(), stored); // cut on writing
            t->post();
        }
        auto t = open(table); // and stored so
        QCOMPARE(t->fieldByName(field).asString(), stored);
    }

    void emptyPortAndConnectionTexts()
    {
        dir->addMatrix(u("网口矩阵"), u("VCA"), 2, 2, true, u("网口"), QString(), QString(), QString());
        auto t = open(u("MatrixDB.DB"));
        QVERIFY(t->findKey(u("网口矩阵")));
        QVERIFY(t->fieldByName(u("PORT")).isNull());
        QCOMPARE(t->fieldByName(u("PORT")).asString(), QString());
        QCOMPARE(t->fieldByName(u("Port")).asInteger(), 0);
        QVERIFY(t->fieldByName(u("ComNum")).isNull());
        QCOMPARE(t->fieldByName(u("IP")).asString(), QString());
        QCOMPARE(t->fieldByName(u("Audio")).asBoolean(), true);
        QCOMPARE(t->fieldByName(u("InNum")).asInteger(), 2);

        // Writing "" empties a field again.
        t->edit();
        t->fieldByName(u("Port")).setAsString(u("5000"));
        t->post();
        QCOMPARE(t->fieldByName(u("Port")).asInteger(), 5000);
        t->edit();
        t->fieldByName(u("Port")).setAsString(QString());
        t->post();
        QVERIFY(t->fieldByName(u("Port")).isNull());
    }

    void int16Range_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("Port 32767") << u("MatrixDB.DB") << u("Port") << u("32767") << true;
        QTest::newRow("Port -32768") << u("MatrixDB.DB") << u("Port") << u("-32768") << true;
        QTest::newRow("Port 32768") << u("MatrixDB.DB") << u("Port") << u("32768") << false;
        QTest::newRow("Port 65535") << u("MatrixDB.DB") << u("Port") << u("65535") << false;
        QTest::newRow("Port -32769") << u("MatrixDB.DB") << u("Port") << u("-32769") << false;
        QTest::newRow("ROLE 40000") << u("RoleDB.db") << u("ROLE") << u("40000") << false;
        QTest::newRow("ROLE 1") << u("RoleDB.db") << u("ROLE") << u("1") << true;
    }

    void int16Range()
    {
        QFETCH(QString, table);
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(bool, accepted);
        dir->createEmptyTable(table);
        for (const bool asText : {true, false}) {
            auto t = open(table);
            t->append();
            if (table == u("MatrixDB.DB"))
                t->fieldByName(u("Name")).setAsString(asText ? u("text") : u("int"));
            else
                t->fieldByName(u("USERNAME")).setAsString(asText ? u("text") : u("int"));
            const QString msg = refusal([&] {
                if (asText)
                    t->fieldByName(field).setAsString(value);
                else
                    t->fieldByName(field).setAsInteger(value.toInt());
            });
            if (accepted) {
                QCOMPARE(msg, u("<no TableError>"));
                t->post();
                QVERIFY(t->findKey(asText ? u("text") : u("int")));
                QCOMPARE(t->fieldByName(field).asInteger(), value.toInt());
            } else {
                QVERIFY2(msg.contains(table) && msg.contains(field) && msg.contains(u("out of range")), qPrintable(msg));
                QVERIFY(t->fieldByName(field).isNull()); // the field kept what it had
                t->cancel();
            }
        }
        QCOMPARE(dir->rows(table).size(), accepted ? 2 : 0);
    }

    void numbers_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("numberFieldTakesIt");
        QTest::newRow("digits") << u("1000") << true << 1000 << true;
        QTest::newRow("negative") << u("-5") << true << -5 << true;
        QTest::newRow("abc") << u("abc") << false << 0 << false;
        QTest::newRow("digits then letters") << u("12abc") << false << 0 << false;
        QTest::newRow("decimal point") << u("1.5") << false << 0 << false;
        QTest::newRow("beyond int") << u("99999999999") << false << 0 << false;
        // An empty "timeout" holds no digits: no time-out of 0 ms. Written into a number
        // field, "" empties it.
        QTest::newRow("empty") << QString() << false << 0 << true;
    }

    void numbers()
    {
        QFETCH(QString, stored);
        QFETCH(bool, isNumber);
        QFETCH(int, value);
        QFETCH(bool, numberFieldTakesIt);
        dir->setTimeout(stored);
        auto t = open(u("Config.DB"));
        QVERIFY(t->findKey(u("timeout")));
        const Field v = t->fieldByName(u("Value"));
        if (isNumber) {
            QCOMPARE(v.asInteger(), value);
        } else {
            const QString msg = refusal([&] { v.asInteger(); });
            QVERIFY2(msg.contains(u("Config.DB")) && msg.contains(u("Value")), qPrintable(msg));
        }
        // The same text written into an integer field.
        dir->createEmptyTable(u("MatrixDB.DB"));
        auto m = open(u("MatrixDB.DB"));
        m->append();
        const QString msg = refusal([&] { m->fieldByName(u("InNum")).setAsString(stored); });
        QCOMPARE(msg == u("<no TableError>"), numberFieldTakesIt);
        if (numberFieldTakesIt && stored.isEmpty())
            QCOMPARE(m->fieldByName(u("InNum")).asInteger(), 0); // an empty number field is 0
        m->cancel();
    }

    // --- order ------------------------------------------------------------------------------

    void keyOrder_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("read");
        // Code page 936 bytes, not Unicode: 啊 B0A1 < 串 B4AE < 网 CDF8 < 一 D2BB (Unicode puts 一 first).
        QTest::newRow("MatrixDB by Name")
            << u("MatrixDB.DB")
            << QStringList{u("一号"), u("网口"), u("a"), u("啊"), u("Z矩阵"), u("串口"), u("B")}
            << QStringList{u("B"), u("Z矩阵"), u("a"), u("啊"), u("串口"), u("网口"), u("一号")};
        QTest::newRow("RoleDB by USERNAME")
            << u("RoleDB.db")
            << QStringList{u("oper"), u("admin"), u("Zed"), u("张三")}
            << QStringList{u("Zed"), u("admin"), u("oper"), u("张三")};
        QTest::newRow("Config by Key")
            << u("Config.DB") << QStringList{u("timeout"), u("alpha")} << QStringList{u("alpha"), u("timeout")};
    }

    void keyOrder()
    {
        QFETCH(QString, table);
        QFETCH(QStringList, added);
        QFETCH(QStringList, read);
        dir->createEmptyTable(table);
        auto t = open(table);
        for (const QString &k : added) {
            t->append();
            t->field(0).setAsString(k);
            t->post();
            QCOMPARE(t->field(0).asString(), k); // the new row is current
        }
        QCOMPARE(column(table, 0), read);
        QStringList byGbk = added;
        std::sort(byGbk.begin(), byGbk.end(), [](const QString &a, const QString &b) { return store::toGbk(a) < store::toGbk(b); });
        QCOMPARE(column(table, 0), byGbk);
    }

    void channelRowsInOrderOfAdding()
    {
        dir->addMatrix(u("M"), u("VCA"), 3, 2, true, u("离线模式"));
        dir->addMatrix(u("A"), u("VCA"), 1, 1, true, u("离线模式"));
        const Rows all = dir->rows(u("ChannelDescDB.DB"));
        QStringList seen;
        for (const Row &r : all)
            seen << r.at(0) + u(" ") + r.at(1) + r.at(3);
        QCOMPARE(seen, QStringList({u("M In1"), u("M In2"), u("M In3"), u("M Out1"), u("M Out2"), u("A In1"), u("A Out1")}));

        // Rows removed and added again come after the others: order of adding, not of content.
        {
            auto t = open(u("ChannelDescDB.DB"), u("MatrixName = 'M'"));
            while (!t->eof())
                t->deleteRow();
        }
        dir->addMatrix(u("M2"), u("VCA"), 1, 0, true, u("离线模式"));
        QCOMPARE(column(u("ChannelDescDB.DB"), 0), QStringList({u("A"), u("A"), u("M2")}));
        QCOMPARE(column(u("ScreenDescDB"), 1, u("NAME = 'M2'")).size(), 32);
        QCOMPARE(column(u("ScreenDescDB"), 1, u("NAME = 'M2'")).first(), u("1"));
        QCOMPARE(column(u("ScreenDescDB"), 1, u("NAME = 'M2'")).last(), u("32"));
    }

    // --- refusals ---------------------------------------------------------------------------

    void duplicateKeyRefused_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("keyField");
        QTest::newRow("MatrixDB Name") << u("MatrixDB.DB") << u("Name");
        QTest::newRow("RoleDB USERNAME") << u("RoleDB.db") << u("USERNAME");
        QTest::newRow("Config Key") << u("Config.DB") << u("Key");
    }

    void duplicateKeyRefused()
    {
        QFETCH(QString, table);
        QFETCH(QString, keyField);
        dir->createEmptyTable(table);
        auto t = open(table);
        addRow(*t, {{keyField, u("第一")}});
        addRow(*t, {{keyField, u("second")}});
        const Rows before = dir->rows(table);

        // A new row with a key already there.
        t->append();
        t->fieldByName(keyField).setAsString(u("第一"));
        QString msg = refusal([&] { t->post(); });
        QVERIFY2(msg.contains(table) && msg.contains(keyField) && msg.contains(u("第一")), qPrintable(msg));
        QCOMPARE(t->state(), Table::State::Insert); // still in insert state, for the caller to cancel
        QCOMPARE(dir->rows(table), before);
        t->fieldByName(keyField).setAsString(u("third")); // or to correct and post again
        t->post();
        QCOMPARE(dir->rows(table).size(), 3);

        // Changing a row's key to one already there.
        QVERIFY(t->findKey(u("second")));
        t->edit();
        t->fieldByName(keyField).setAsString(u("第一"));
        msg = refusal([&] { t->post(); });
        QVERIFY2(msg.contains(u("第一")), qPrintable(msg));
        QCOMPARE(t->state(), Table::State::Edit);
        t->cancel();
        QCOMPARE(t->state(), Table::State::Browse);
        QCOMPARE(t->fieldByName(keyField).asString(), u("second"));
        // Keeping its own key is no violation.
        t->edit();
        if (t->fieldCount() > 1)
            t->field(1).setAsString(u("1"));
        t->post();
        QCOMPARE(dir->rows(table).size(), 3);
    }

    void requiredFieldRefused_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("required");
        QTest::addColumn<QString>("other");
        QTest::newRow("MatrixDB Name") << u("MatrixDB.DB") << u("Name") << u("Type");
        QTest::newRow("ChannelDescDB MatrixName") << u("ChannelDescDB.DB") << u("MatrixName") << u("ChannelType");
        QTest::newRow("ScreenDescDB Name") << u("ScreenDescDB") << u("Name") << u("DESC");
        QTest::newRow("Config Key") << u("Config.DB") << u("Key") << u("Value");
    }

    void requiredFieldRefused()
    {
        QFETCH(QString, table);
        QFETCH(QString, required);
        QFETCH(QString, other);
        dir->createEmptyTable(table);
        auto t = open(table);
        addRow(*t, {{required, u("kept")}, {other, u("x")}});
        const Rows before = dir->rows(table);

        for (const bool writeEmptyText : {false, true}) {
            t->append();
            t->fieldByName(other).setAsString(u("y"));
            if (writeEmptyText)
                t->fieldByName(required).setAsString(QString());
            const QString msg = refusal([&] { t->post(); });
            QVERIFY2(msg.contains(table) && msg.contains(required) && msg.contains(u("required")), qPrintable(msg));
            QCOMPARE(t->state(), Table::State::Insert);
            t->cancel();
            QCOMPARE(dir->rows(table), before);
        }
        // Emptying it on an existing row is refused alike.
        t->first();
        t->edit();
        t->fieldByName(required).clear();
        QVERIFY(refusal([&] { t->post(); }).contains(required));
        t->cancel();
        QCOMPARE(dir->rows(table), before);
    }

    // A refused write or post abandons the operation: the next move (the editor's next list
    // click, its exit) must not store the half-written row, nor fail again on it.
    void abandonedRowNotStoredByMove_data()
    {
        QTest::addColumn<bool>("editing");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("refusedOnPost");
        QTest::newRow("new row, port out of range") << false << u("新") << u("65535") << false;
        QTest::newRow("new row, port not a number") << false << u("新") << u("5a") << false;
        QTest::newRow("new row, name already there") << false << u("已有") << u("5000") << true;
        QTest::newRow("new row, name empty") << false << QString() << u("5000") << true;
        QTest::newRow("changed row, port out of range") << true << u("已有") << u("40000") << false;
        QTest::newRow("changed row, renamed onto another") << true << u("另一") << u("5000") << true;
    }

    void abandonedRowNotStoredByMove()
    {
        QFETCH(bool, editing);
        QFETCH(QString, name);
        QFETCH(QString, port);
        QFETCH(bool, refusedOnPost);
        dir->addMatrix(u("已有"), u("VCA"), 0, 0, true, u("网口"), QString(), u("127.0.0.1"), u("1108"));
        dir->addMatrix(u("另一"), u("AV"), 0, 0, true, u("离线模式"));
        const Rows before = dir->rows(u("MatrixDB.DB"));

        auto t = open(u("MatrixDB.DB"));
        if (editing) {
            QVERIFY(t->findKey(u("已有")));
            t->edit();
        } else {
            t->append();
        }
        const QString msg = refusal([&] {
            t->fieldByName(u("Type")).setAsString(u("HDMI"));
            t->fieldByName(u("Name")).setAsString(name);
            t->fieldByName(u("Port")).setAsString(port);
            t->post();
        });
        QVERIFY2(msg.contains(refusedOnPost ? u("MatrixDB") : u("Port")), qPrintable(msg));

        t->first(); // nothing stored, nothing thrown
        QCOMPARE(t->state(), Table::State::Browse);
        QCOMPARE(dir->rows(u("MatrixDB.DB")), before);
        QVERIFY(t->findKey(u("已有")));
        QCOMPARE(t->fieldByName(u("Type")).asString(), u("VCA"));
        QCOMPARE(t->fieldByName(u("Port")).asInteger(), 1108);

        // A later operation of the same handle stores its own row alone.
        addRow(*t, {{u("Name"), u("后来")}, {u("Port"), u("5555")}});
        QCOMPARE(dir->rows(u("MatrixDB.DB")).size(), before.size() + 1);
    }

    void writingOutsideEditRefused()
    {
        dir->addUser(u("admin"), u("admin"), 0);
        auto t = open(u("RoleDB.db"));
        QVERIFY(refusal([&] { t->fieldByName(u("PASSWORD")).setAsString(u("x")); }).contains(u("PASSWORD")));
        QCOMPARE(dir->rows(u("RoleDB.db")), Rows({{u("admin"), u("admin"), u("0")}}));
    }

    void closeDropsUnpostedRow()
    {
        dir->createEmptyTable(u("RoleDB.db"));
        auto t = open(u("RoleDB.db"));
        t->append();
        t->fieldByName(u("USERNAME")).setAsString(u("ghost"));
        t->close();
        QVERIFY(dir->rows(u("RoleDB.db")).isEmpty());
    }

    void movingPostsWrittenRow()
    {
        dir->addUser(u("admin"), u("admin"), 0);
        auto t = open(u("RoleDB.db"));
        t->edit();
        t->fieldByName(u("PASSWORD")).setAsString(u("new"));
        t->first(); // stores it first
        QCOMPARE(t->state(), Table::State::Browse);
        QCOMPARE(dir->rows(u("RoleDB.db")), Rows({{u("admin"), u("new"), u("0")}}));
    }

    // --- cursor -----------------------------------------------------------------------------

    void beginningAndEnd()
    {
        dir->createEmptyTable(u("ScreenDescDB"));
        auto t = open(u("ScreenDescDB"));
        QVERIFY(t->isEmpty());
        t->next();
        QVERIFY(t->bof() && t->eof());
        QVERIFY(refusal([&] { t->deleteRow(); }).contains(u("ScreenDescDB")));

        addRow(*t, {{u("Name"), u("M")}, {u("SCREEN_NO"), u("1")}});
        QVERIFY(!t->isEmpty());
        QVERIFY(t->bof() && !t->eof());
        t->next();
        QVERIFY(!t->bof() && t->eof());
        QCOMPARE(t->fieldByName(u("SCREEN_NO")).asInteger(), 1); // still on the last row
    }

    void deleteMovesToNextRow()
    {
        dir->addMatrix(u("M"), u("VCA"), 3, 2, true, u("离线模式"));
        dir->addMatrix(u("Other"), u("VCA"), 1, 1, true, u("离线模式"));
        auto t = open(u("ChannelDescDB.DB"), u("MatrixName = 'M'"));
        QCOMPARE(t->recordCount(), 5);
        t->next(); // In 2
        t->deleteRow();
        QVERIFY(!t->eof());
        QCOMPARE(t->fieldByName(u("ChannelType")).asString() + t->fieldByName(u("ChannelNo")).asString(), u("In3"));

        // Deleting the last row leaves the table at its end.
        while (!t->eof())
            t->next();
        QCOMPARE(t->fieldByName(u("ChannelType")).asString() + t->fieldByName(u("ChannelNo")).asString(), u("Out2"));
        t->deleteRow();
        QVERIFY(t->eof());

        // Removing all matching rows: first, then delete until at the end.
        int deleted = 0;
        for (t->first(); !t->eof(); ++deleted)
            t->deleteRow();
        QCOMPARE(deleted, 3);
        QVERIFY(t->isEmpty());
        QCOMPARE(column(u("ChannelDescDB.DB"), 0), QStringList({u("Other"), u("Other")}));
    }

    void findKeyMissKeepsCurrentRow()
    {
        dir->writeDelivered();
        auto t = open(u("MatrixDB.DB"));
        QVERIFY(t->findKey(u("离线演示矩阵")));
        QCOMPARE(t->fieldByName(u("Type")).asString(), u("DVI"));
        QVERIFY(!t->findKey(u("不存在的矩阵")));
        QCOMPARE(t->fieldByName(u("NAME")).asString(), u("离线演示矩阵"));
        QVERIFY(!t->findKey(u("离线演示矩")));  // exact, not a prefix
        QVERIFY(!t->findKey(u("离线演示矩阵 "))); // nor with a trailing space
        QCOMPARE(t->fieldByName(u("NAME")).asString(), u("离线演示矩阵"));
        t->next();
        QCOMPARE(t->fieldByName(u("Name")).asString(), u("网口演示矩阵"));

        QVERIFY(refusal([&] { open(u("ScreenDescDB"))->findKey(u("x")); }).contains(u("no key")));
    }

    void findKeyOfLongIdentifier()
    {
        // An identifier stored cut to 40 bytes is found by the text it was written with.
        const QString longName = u("矩阵").repeated(11); // 44 bytes
        dir->addMatrix(longName, u("VCA"), 0, 0, true, u("离线模式"));
        auto t = open(u("MatrixDB.DB"));
        QVERIFY(t->findKey(longName));
        QCOMPARE(t->fieldByName(u("Name")).asString(), longName.left(20));
        QCOMPARE(dir->rows(u("ScreenDescDB"), u("Name = '") + longName + u("'")).size(), 32);
    }

    // --- filters ----------------------------------------------------------------------------

    void filterMatchesExactlyThatName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("quote inside") << u("A'B");
        QTest::newRow("quote at end") << u("AB'");
        QTest::newRow("injection") << u("x' OR '1'='1");
        QTest::newRow("statement") << u("'; DROP TABLE ChannelDescDB; --");
        QTest::newRow("like wildcards") << u("%_*");
        QTest::newRow("double quote and backslash") << u("a\"b\\c");
        QTest::newRow("equals and spaces") << u("a = 'b'");
        QTest::newRow("chinese") << u("矩阵A");
    }

    void filterMatchesExactlyThatName()
    {
        QFETCH(QString, name);
        for (const QString &other : {u("A"), u("B"), u("a'b"), u("矩阵a"), u("x"), u("1")})
            dir->addMatrix(other, u("VCA"), 1, 0, true, u("离线模式"));
        dir->addMatrix(name, u("VCA"), 2, 1, true, u("离线模式"));
        const int total = dir->rows(u("ChannelDescDB.DB")).size();

        const Rows rows = dir->rows(u("ChannelDescDB.DB"), u("MatrixName = '") + name + u("'"));
        QCOMPARE(rows.size(), 3);
        for (const Row &r : rows)
            QCOMPARE(r.at(0), name);
        QCOMPARE(dir->rows(u("ScreenDescDB"), u("NAME = '") + name + u("'")).size(), 32);

        // Deleting through the filter removes those rows and no others.
        {
            auto t = open(u("ChannelDescDB.DB"), u("MatrixName = '") + name + u("'"));
            while (!t->eof())
                t->deleteRow();
        }
        QCOMPARE(dir->rows(u("ChannelDescDB.DB")).size(), total - 3);
    }

    void filterIsCaseSensitiveAndSwitchable()
    {
        dir->addMatrix(u("Abc"), u("VCA"), 1, 1, true, u("离线模式"));
        dir->addMatrix(u("abc"), u("VCA"), 2, 0, true, u("离线模式"));
        Table t;
        t.setDatabaseName(dir->databaseFolder());
        t.setTableName(u("ChannelDescDB.DB"));
        t.setFilter(u("MatrixName = 'abc'"));
        QCOMPARE(t.filter(), u("MatrixName = 'abc'"));
        t.open();
        QCOMPARE(t.recordCount(), 4); // the text alone does not filter
        t.setFiltered(true);
        QCOMPARE(t.recordCount(), 2);
        QCOMPARE(t.fieldByName(u("MatrixName")).asString(), u("abc"));
        t.setFilter(u("matrixname = 'Abc'")); // the field name in any case
        QCOMPARE(t.recordCount(), 2);
        QCOMPARE(t.fieldByName(u("ChannelType")).asString(), u("In"));
        t.setFilter(u("Desc = ''")); // empty value: rows whose field is empty
        QCOMPARE(t.recordCount(), 4);
        t.setFiltered(false);
        QCOMPARE(t.recordCount(), 4);
    }

    void unknownFilterFormsThrow_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::newRow("no quotes") << u("MatrixName = abc");
        QTest::newRow("open quote") << u("MatrixName = 'abc");
        QTest::newRow("like") << u("MatrixName LIKE 'abc'");
        QTest::newRow("no field") << u("= 'abc'");
        QTest::newRow("trailing condition") << u("MatrixName = 'a' OR 1=1");
        QTest::newRow("two conditions") << u("MatrixName = 'a' AND ChannelNo = '1");
    }

    void unknownFilterFormsThrow()
    {
        QFETCH(QString, filter);
        Table t;
        t.setTableName(u("ChannelDescDB.DB"));
        QVERIFY(refusal([&] { t.setFilter(filter); }).contains(u("filter")));
        QCOMPARE(t.filter(), QString()); // the refused text is not kept
    }

    void filterOnUnknownFieldThrowsOnOpen()
    {
        dir->createEmptyTable(u("ChannelDescDB.DB"));
        Table t;
        t.setDatabaseName(dir->databaseFolder());
        t.setTableName(u("ChannelDescDB.DB"));
        t.setFilter(u("Nope = 'x'"));
        t.setFiltered(true);
        QVERIFY(refusal([&] { t.open(); }).contains(u("Nope")));
        QVERIFY(!t.active());
    }

    // --- several handles --------------------------------------------------------------------

    void twoHandlesSeeEachOther()
    {
        dir->writeDelivered();
        auto a = open(u("MatrixDB.DB"));
        auto b = open(u("MatrixDB.DB"));
        QCOMPARE(a->recordCount(), 3);

        addRow(*b, {{u("Name"), u("新矩阵")}, {u("Type"), u("AV")}});
        QVERIFY(a->findKey(u("新矩阵")));
        QCOMPARE(a->fieldByName(u("Type")).asString(), u("AV"));
        a->first();
        QCOMPARE(a->recordCount(), 4);

        // A row deleted through one handle is skipped by the other's next().
        QVERIFY(b->findKey(u("离线演示矩阵")));
        b->deleteRow();
        QCOMPARE(a->fieldByName(u("Name")).asString(), u("串口演示矩阵"));
        a->next();
        QCOMPARE(a->fieldByName(u("Name")).asString(), u("网口演示矩阵"));

        // Editing a row the other handle has deleted is refused, nothing is written.
        QVERIFY(a->findKey(u("新矩阵")));
        QVERIFY(b->findKey(u("新矩阵")));
        b->deleteRow();
        QVERIFY(refusal([&] { a->edit(); }).contains(u("deleted")));
        QCOMPARE(column(u("MatrixDB.DB"), 0), QStringList({u("串口演示矩阵"), u("网口演示矩阵")}));

        // A filtered handle kept open (the channel description window) sees a Desc written elsewhere.
        auto channels = open(u("ChannelDescDB.DB"), u("MatrixName = '网口演示矩阵'"));
        auto writer = open(u("ChannelDescDB.DB"), u("MatrixName = '网口演示矩阵'"));
        writer->next();
        writer->edit();
        writer->fieldByName(u("DESC")).setAsString(u("新描述"));
        writer->post();
        channels->first();
        channels->next();
        QCOMPARE(channels->fieldByName(u("Desc")).asString(), u("新描述"));
    }

    void moveToPositions()
    {
        dir->addMatrix(u("M"), u("VCA"), 3, 0, true, u("离线模式"));
        auto t = open(u("ChannelDescDB.DB"));
        QVERIFY(t->moveTo(2));
        QCOMPARE(t->position(), 2);
        QCOMPARE(t->fieldByName(u("ChannelNo")).asInteger(), 3);
        QVERIFY(!t->moveTo(3));
        QCOMPARE(t->position(), 2);
    }
};

QTEST_GUILESS_MAIN(TestTable)
#include "tst_table.moc"
