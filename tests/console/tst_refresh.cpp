// The main window's status refresh against the simulator: the update button, RefreshStatus
// with its callers' messages, the after-recall flag, three tries, and "update" from the device.

#include "ConsoleFixture.h"

#include "link/MSComm.h"

#include <QPushButton>
#include <QTimer>

using namespace consoletest;

class TestRefresh : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Messages::setTestMode(true); }
    void outcomes_data();
    void outcomes();
    void serialTries_data();
    void serialTries();
    void updateFromDevice_data();
    void updateFromDevice();
    void updateStorm_data();
    void updateStorm();
};

namespace {

// How a refresh is started.
enum class Op { Refresh, DeviceTexts, Button2, Recall };

void run(TForm1 &form, Op op)
{
    switch (op) {
    case Op::Refresh:
        form.RefreshStatus(u("通道选择成功!"), u("更新状态失败!"));
        break;
    case Op::DeviceTexts:
        form.RefreshStatus(QString(), u("更新矩阵失败!"));
        break;
    case Op::Button2:
        QTest::mouseClick(form.Button2, Qt::LeftButton);
        break;
    case Op::Recall:
        form.DelegateButton2Click(form.Button2, true);
        break;
    }
}

} // namespace

Q_DECLARE_METATYPE(Op)

void TestRefresh::outcomes_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("panel5");
    QTest::addColumn<QByteArray>("received");

    const struct { const char *name; Op op; const char *ok; const char *noP; const char *noAnswer; const char *tcp; } ops[] = {
        {"RefreshStatus", Op::Refresh, "通道选择成功!", "更新状态失败!", "更新状态失败!", "更新状态失败!"},
        {"device texts", Op::DeviceTexts, nullptr, "更新矩阵失败!", "更新矩阵失败!", "更新矩阵失败!"},
        {"Button2", Op::Button2, "更新状态成功!", "获取机器状态信息失败！", "矩阵连接失败!", "矩阵连接失败!"},
        {"after recall", Op::Recall, "场景调用成功!", "获取机器状态信息失败！", "矩阵连接失败!", "矩阵连接失败!"},
    };
    for (const auto &o : ops) {
        QTest::addRow("%s: answered", o.name)
            << o.op << "none" << (o.ok ? QStringList{plain(o.ok)} : QStringList{}) << QString() << QByteArray("00#");
        // Only the "I" comes in time: an answer without "P".
        QTest::addRow("%s: no P", o.name)
            << o.op << "identFirst" << QStringList{box(o.noP)} << QString() << QByteArray("00#");
        QTest::addRow("%s: silent", o.name)
            << o.op << "silent" << QStringList{plain(o.noAnswer)} << u("通信超时") << QByteArray("00#00#00#");
        QTest::addRow("%s: refused", o.name)
            << o.op << "refused" << QStringList{box("网络连接失败！"), box(o.tcp)} << u("网络连接失败") << QByteArray();
    }
}

void TestRefresh::outcomes()
{
    QFETCH(Op, op);
    QFETCH(QString, fault);
    QFETCH(QStringList, messages);
    QFETCH(QString, panel5);
    QFETCH(QByteArray, received);

    Console c;
    c.shape(4, 4, true, true);
    testsupport::MatrixSpec m = c.tcpMatrix(QStringLiteral("A1"), QStringLiteral("VCA"), 4, 4, true);
    m.presetDescs[2] = u("会议");
    c.dir.addMatrix(m);
    c.removePresetRow(QStringLiteral("A1"), 4);
    c.start();
    QCOMPARE(c.grid()->Cells(2, 3), QString());

    // The device changes while the console holds no connection, so it is not told.
    c.form->Link->closeLinks();
    QTRY_COMPARE(c.sim.clientCount(), 0);
    c.sim.setRoute(sim::MatrixSimulator::Video, 2, 3);
    c.sim.setRoute(sim::MatrixSimulator::Audio, 2, 3);
    c.sim.setRoute(sim::MatrixSimulator::Composite, 4, 1);
    for (int p : {2, 3, 4})
        c.sim.setPresetStored(p, true);
    c.sim.setFlags(true, true, true);
    if (fault == QLatin1String("identFirst"))
        c.sim.setIdentFirst(5000);
    else if (fault == QLatin1String("silent"))
        c.sim.setSilent(true);
    else if (fault == QLatin1String("refused"))
        c.sim.closeAll();
    c.sim.clearLog();
    Messages::clearRecords();
    c.form->ListBox1->item(4)->setSelected(true); // the operator's choice of preset

    run(*c.form, op);
    c.settle();

    QCOMPARE(c.sim.received(), received);
    QCOMPARE(messageLog(), messages);
    QCOMPARE(c.form->panelText(5), panel5);
    QVERIFY(!c.form->CommandBusy);
    QVERIFY(c.grid()->isEnabled());

    const bool parsed = fault == QLatin1String("none");
    QCOMPARE(c.grid()->Cells(2, 3), parsed ? QStringLiteral("AV") : QString());
    QCOMPARE(c.grid()->Cells(4, 1), parsed ? QStringLiteral(" C") : QString());
    QCOMPARE(c.form->CrosspointTable.get(2, 3), parsed ? 3 : 0);
    // The flags are only shown: nothing is sent for them.
    QCOMPARE(c.form->CheckBox5->isChecked(), parsed);
    QCOMPARE(c.form->CheckBox6->isChecked(), parsed);
    QCOMPARE(c.form->CheckBox7->isChecked(), parsed);
    QCOMPARE(c.form->ListBox1->count(), 32);
    // The list is rebuilt by a good answer (the choice goes with it) and left alone otherwise.
    QCOMPARE(c.form->ListBox1->selectedItems().size(), parsed ? 0 : 1);
    if (parsed) {
        QCOMPARE(c.form->ListBox1->item(0)->text(), u("1:NULL"));
        QCOMPARE(c.form->ListBox1->item(1)->text(), u("2:会议"));
        QCOMPARE(c.form->ListBox1->item(2)->text(), u("3:预置场景"));
        QCOMPARE(c.form->ListBox1->item(3)->text(), u("4:预置场景")); // no description row at all
        QCOMPARE(c.form->ListBox1->item(8)->text(), u("9:NULL"));
        QCOMPARE(c.form->ListBox1->item(31)->text(), u("32:NULL"));
    } else {
        QCOMPARE(c.form->ListBox1->item(1)->text(), u("2:NULL"));
    }
}

void TestRefresh::serialTries_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("panel5");

    QTest::newRow("answered") << "none" << QByteArray("00#") << QStringList{plain("更新状态成功!")} << QString();
    QTest::newRow("silent") << "silent" << QByteArray("00#00#00#") << QStringList{plain("矩阵连接失败!")}
                            << u("通信超时");
    // The port closed under the console: nothing is written, the three waits still run.
    QTest::newRow("port closed") << "closed" << QByteArray() << QStringList{plain("矩阵连接失败!")} << u("通信超时");
}

void TestRefresh::serialTries()
{
    QFETCH(QString, fault);
    QFETCH(QByteArray, received);
    QFETCH(QStringList, messages);
    QFETCH(QString, panel5);

    Console c;
    c.shape(4, 4, true, true);
    QVERIFY(c.openPty());
    c.dir.addMatrix(c.matrix(QStringLiteral("S1"), QStringLiteral("VCA"), 4, 4, true, Serial));
    c.start();
    QCOMPARE(c.form->panelText(3), u("联机状态:Online"));
    c.sim.setRoute(sim::MatrixSimulator::Video, 1, 2); // tells the console: let that refresh pass
    QTRY_COMPARE(c.grid()->Cells(1, 2), QStringLiteral(" V"));
    c.settle();
    c.sim.clearLog();
    Messages::clearRecords();

    if (fault == QLatin1String("silent"))
        c.sim.setSilent(true);
    else if (fault == QLatin1String("closed"))
        c.form->Link->MSComm1()->setPortOpen(false);

    QElapsedTimer clock;
    clock.start();
    run(*c.form, Op::Button2);
    c.settle();
    if (fault != QLatin1String("none"))
        QVERIFY(clock.elapsed() >= 3 * c.timeout - 10); // three whole waits

    QCOMPARE(c.sim.received(), received);
    QCOMPARE(messageLog(), messages);
    QCOMPARE(c.form->panelText(5), panel5);
    QCOMPARE(c.grid()->Cells(1, 2), QStringLiteral(" V"));
}

void TestRefresh::updateFromDevice_data()
{
    QTest::addColumn<QString>("comType");
    QTest::newRow("tcp") << Tcp;
    QTest::newRow("pty") << Serial;
}

void TestRefresh::updateFromDevice()
{
    QFETCH(QString, comType);

    Console c;
    c.shape(4, 4, true, true);
    QVERIFY(c.openPty());
    c.dir.addMatrix(c.matrix(QStringLiteral("A1"), QStringLiteral("VCA"), 4, 4, true, comType));
    c.startClean();

    // A change made on the device's own panel: it sends "update" to the console. While the
    // refresh waits, no other matrix can be loaded under it.
    QList<bool> tabsEnabled;
    QObject::connect(&c.sim, &sim::MatrixSimulator::commandReceived, [&] { tabsEnabled << c.form->TabControl1->isEnabled(); });
    c.sim.setRoute(sim::MatrixSimulator::Video, 2, 3);
    QTRY_COMPARE(c.grid()->Cells(2, 3), QStringLiteral(" V"));
    c.settle();
    QCOMPARE(tabsEnabled, QList<bool>{false});
    QVERIFY(c.form->TabControl1->isEnabled());
    QCOMPARE(c.sim.received(), QByteArray("00#"));
    QCOMPARE(c.form->CrosspointTable.get(2, 3), 1);
    QCOMPARE(messageLog(), QStringList()); // no success message for a device-started refresh
    QCOMPARE(c.form->deviceUpdates, 1);
}

void TestRefresh::updateStorm_data()
{
    QTest::addColumn<QString>("comType");
    QTest::newRow("tcp") << Tcp;
    QTest::newRow("pty") << Serial;
}

void TestRefresh::updateStorm()
{
    QFETCH(QString, comType);

    Console c;
    c.shape(4, 4, true, true);
    QVERIFY(c.openPty());
    c.dir.addMatrix(c.matrix(QStringLiteral("A1"), QStringLiteral("VCA"), 4, 4, true, comType));
    c.startClean();

    // A device that never stops announcing changes. The console keeps serving its events
    // meanwhile: a timer of the window's thread keeps firing.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    bool stormOver = false;
    QTimer::singleShot(1200, [&] {
        c.sim.setUpdateInterval(0);
        stormOver = true;
    });
    c.sim.setUpdateInterval(2);
    QTRY_VERIFY_WITH_TIMEOUT(stormOver, 10000);
    QTRY_COMPARE(c.form->depth, 0);
    ticker.stop();

    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    QVERIFY(c.form->deviceUpdates >= 2);
    QCOMPARE(c.form->maxDepth, 1); // refreshes never ran inside one another
    QVERIFY(c.sim.commands().count("00#") >= 2);
    QCOMPARE(messageLog(), QStringList());

    // And the window still routes.
    c.settle(100);
    c.sim.clearLog();
    c.clickCell(3, 2);
    QCOMPARE(c.sim.received(), QByteArray("0302V0302A"));
    QCOMPARE(c.grid()->Cells(3, 2), QStringLiteral("VA"));
    QCOMPARE(messageLog(), QStringList());
}

QTEST_MAIN(TestRefresh)
#include "tst_refresh.moc"
