// Loading a matrix into the main window: grid, captions, selectors, status bar, layer boxes,
// the serial, TCP and offline paths with their panel texts and messages.

#include "ConsoleFixture.h"

#include "store/GbkText.h"

using namespace consoletest;
using Sim = sim::MatrixSimulator;

class TestLoading : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Messages::setTestMode(true); }
    void shapeAndCaptions();
    void offline();
    void layerBoxesAcrossTabs();
    void serialIdentification_data();
    void serialIdentification();
    void noChannelRows();
    void outcomes_data();
    void outcomes();
    void replyBeyondTheMatrix();
    void firstLoadWaitsWithTheStartTimeout();
    void emptyPortGoesTo5555();
};

void TestLoading::shapeAndCaptions()
{
    Console c;
    c.shape(8, 4, true, true);
    c.sim.setRoute(Sim::Video, 1, 3);
    c.sim.setRoute(Sim::Audio, 1, 3);
    c.sim.setRoute(Sim::Composite, 4, 8);
    testsupport::MatrixSpec m = c.tcpMatrix(QStringLiteral("A1"), QStringLiteral("VCA"), 8, 4, true);
    m.inDescs = QStringList{u("摄像机1")};
    m.outDescs = QStringList{QString(), u("投影")};
    c.dir.addMatrix(m);

    // The tab control stays disabled while the load waits for the device.
    QList<bool> tabsEnabledDuringLoad;
    QObject::connect(&c.sim, &Sim::commandReceived, [&] { tabsEnabledDuringLoad << c.form->TabControl1->isEnabled(); });
    c.start();
    c.settle();

    QCOMPARE(c.sim.received(), QByteArray("00#"));
    QCOMPARE(tabsEnabledDuringLoad, QList<bool>{false});
    QVERIFY(c.form->TabControl1->isEnabled());
    QCOMPARE(messageLog(), QStringList());

    StringGrid *g = c.grid();
    QCOMPARE(g->RowCount(), 9);
    QCOMPARE(g->ColCount(), 5);
    for (int r = 1; r <= 8; ++r)
        QCOMPARE(g->Cells(0, r), QStringLiteral(" %1").arg(r));
    for (int col = 1; col <= 4; ++col)
        QCOMPARE(g->Cells(col, 0), QStringLiteral(" %1").arg(col));
    QCOMPARE(g->Cells(1, 3), QStringLiteral("AV"));
    QCOMPARE(g->Cells(4, 8), QStringLiteral(" C"));
    QCOMPARE(g->Cells(2, 3), QString());
    QCOMPARE(c.form->CrosspointTable.get(1, 3), 3);

    QStringList inputs{QStringLiteral("0")}, outputs{QStringLiteral("All")};
    for (int i = 1; i <= 8; ++i)
        inputs << QString::number(i);
    for (int o = 1; o <= 4; ++o)
        outputs << QString::number(o);
    QStringList items1, items2;
    for (int i = 0; i < c.form->ComboBox1->count(); ++i)
        items1 << c.form->ComboBox1->itemText(i);
    for (int i = 0; i < c.form->ComboBox2->count(); ++i)
        items2 << c.form->ComboBox2->itemText(i);
    QCOMPARE(items1, inputs);
    QCOMPARE(items2, outputs);
    QCOMPARE(c.form->ComboBox1->currentIndex(), 0);
    QCOMPARE(c.form->ComboBox2->currentText(), QStringLiteral("All"));

    QCOMPARE(c.form->panelText(0), u("名称：A1"));
    QCOMPARE(c.form->panelText(1), u("规格：8 X 4"));
    QCOMPARE(c.form->panelText(2), u("类型：VCA"));
    QCOMPARE(c.form->panelText(3), u("联机状态:Online"));
    QCOMPARE(c.form->panelText(4), u("通信方式:网口"));
    QCOMPARE(c.form->panelText(5), QString());
    QCOMPARE(c.form->panelText(6), QStringLiteral("Ver: 2.00"));

    QCOMPARE(c.form->ListBox1->count(), 32);
    QCOMPARE(c.form->ListBox1->item(0)->text(), u("1:NULL"));
    QCOMPARE(c.form->ListBox1->item(31)->text(), u("32:NULL"));
    QCOMPARE(c.form->ListBox2->count(), 8);
    QCOMPARE(c.form->ListBox2->item(0)->text(), u("摄像机1"));
    QCOMPARE(c.form->ListBox2->item(1)->text(), u("NULL"));
    QCOMPARE(c.form->ListBox3->count(), 4);
    QCOMPARE(c.form->ListBox3->item(1)->text(), u("投影"));
    QCOMPARE(c.form->Label8->text(), u("输\n入\n通\n道"));
}

void TestLoading::offline()
{
    Console c;
    c.dir.addMatrix(c.matrix(QStringLiteral("A1"), QStringLiteral("VCA"), 3, 2, true, Offline));
    c.start();
    c.settle();

    QCOMPARE(c.sim.received(), QByteArray());
    QCOMPARE(c.sim.connectionCount(), 0);
    QCOMPARE(messageLog(), QStringList());
    for (int col = 1; col <= 2; ++col)
        for (int r = 1; r <= 3; ++r)
            QCOMPARE(c.grid()->Cells(col, r), QStringLiteral(" "));
    QCOMPARE(c.grid()->Cells(1, 0), QStringLiteral(" 1"));
    QCOMPARE(c.form->panelText(5), QStringLiteral(" "));
    QCOMPARE(c.form->panelText(3), u("联机状态:Offline"));
    QCOMPARE(c.form->panelText(4), u("通信方式:离线模式"));
}

void TestLoading::layerBoxesAcrossTabs()
{
    Console c;
    c.shape(4, 4, true, true);
    c.dir.addMatrix(c.tcpMatrix(QStringLiteral("A1"), QStringLiteral("VCA"), 4, 4, true));
    c.dir.addMatrix(c.matrix(QStringLiteral("B2"), QStringLiteral("VGA"), 4, 4, false, Offline));
    c.start();
    QCOMPARE(c.form->TabControl1->count(), 2);
    QCOMPARE(c.form->TabControl1->tabText(0), QStringLiteral("A1"));

    QVERIFY(c.form->CheckBox4->isEnabled());
    QVERIFY(c.form->CheckBox4->isChecked());
    QVERIFY(c.form->CheckBox6->isEnabled());
    QVERIFY(c.form->CheckBox3->isChecked());
    QVERIFY(c.form->CheckBox1->isVisible());
    QVERIFY(c.form->Label2->isVisible());
    QCOMPARE(c.form->ActiveLayers, 3);
    c.tick(7); // the operator ticks composite too
    QCOMPARE(c.form->ActiveLayers, 7);
    QTRY_COMPARE(c.sim.clientCount(), 1); // the load's connection stays open
    c.sim.clearLog();

    // To the offline matrix without audio of another series: the TCP connection goes first.
    c.form->TabControl1->setCurrentIndex(1);
    QTRY_COMPARE(c.sim.clientCount(), 0);
    QCOMPARE(c.form->CurrentMatrixName, QStringLiteral("B2"));
    QVERIFY(!c.form->CheckBox4->isEnabled());
    QVERIFY(!c.form->CheckBox4->isChecked());
    QVERIFY(!c.form->CheckBox6->isEnabled());
    QVERIFY(!c.form->CheckBox1->isVisible());
    QVERIFY(!c.form->Label2->isVisible());
    QVERIFY(c.form->CheckBox1->isChecked()); // hidden, not unchecked
    QCOMPARE(c.form->ActiveLayers, 5);         // audio bit gone with its box
    QCOMPARE(c.form->panelText(1), u("规格：4 X 4"));
    QCOMPARE(c.form->panelText(2), u("类型：VGA"));

    // And back: audio comes back ticked, composite is still ticked.
    c.form->TabControl1->setCurrentIndex(0);
    QVERIFY(c.form->CheckBox4->isEnabled());
    QVERIFY(c.form->CheckBox4->isChecked());
    QVERIFY(c.form->CheckBox6->isEnabled());
    QVERIFY(c.form->CheckBox1->isVisible());
    QCOMPARE(c.form->ActiveLayers, 7);
    c.settle();
    QCOMPARE(c.sim.received(), QByteArray("00#"));
    QCOMPARE(messageLog(), QStringList());
}

void TestLoading::serialIdentification_data()
{
    QTest::addColumn<QByteArray>("ident");
    QTest::addColumn<bool>("dropped");
    QTest::addColumn<QString>("panel6");

    QTest::newRow("answered") << QByteArray("VER 3.1") << false << QStringLiteral("VER 3.1");
    QTest::newRow("code page 936 text") << store::toGbk(u("矩阵V2")) << false << u("矩阵V2");
    QTest::newRow("no answer to I") << QByteArray("VER 3.1") << true << QStringLiteral("Ver: 2.00");
}

void TestLoading::serialIdentification()
{
    QFETCH(QByteArray, ident);
    QFETCH(bool, dropped);
    QFETCH(QString, panel6);

    Console c;
    c.shape(4, 2, true, true);
    c.sim.setIdentification(ident);
    if (dropped)
        c.sim.setDropEcho({QByteArray("I")});
    c.sim.setRoute(Sim::Video, 2, 4);
    QVERIFY(c.openPty());
    c.dir.addMatrix(c.matrix(QStringLiteral("S1"), QStringLiteral("VCA"), 4, 2, true, Serial));

    QStringList panel5DuringStatusQuery;
    QObject::connect(&c.sim, &Sim::commandReceived, [&](const QByteArray &cmd) {
        if (cmd == "00#")
            panel5DuringStatusQuery << c.form->panelText(5);
    });
    c.start();
    c.settle();

    QCOMPARE(c.sim.received(), QByteArray("testI00#"));
    QCOMPARE(panel5DuringStatusQuery, QStringList{dropped ? u("通信超时") : QString()});
    QCOMPARE(c.form->panelText(6), panel6);
    QCOMPARE(c.form->panelText(5), QString());
    QCOMPARE(c.form->panelText(3), u("联机状态:Online"));
    QCOMPARE(c.form->panelText(4), u("通信方式:串口"));
    QCOMPARE(c.grid()->Cells(2, 4), QStringLiteral(" V"));
    QCOMPARE(messageLog(), QStringList());
}

void TestLoading::noChannelRows()
{
    Console c;
    c.shape(4, 4, true, true);
    c.dir.addMatrix(c.tcpMatrix(QStringLiteral("A1"), QStringLiteral("VCA"), 4, 4, true));
    c.removeChannelRows(QStringLiteral("A1"));
    c.start();
    c.settle();

    QCOMPARE(c.sim.received(), QByteArray());
    QCOMPARE(c.sim.connectionCount(), 0);
    QCOMPARE(messageLog(), QStringList());
    QCOMPARE(c.form->panelText(3), u("联机状态:Offline"));
    QCOMPARE(c.form->panelText(5), u("通信状态：")); // untouched
    QCOMPARE(c.form->panelText(1), u("规格：4 X 4"));
    QCOMPARE(c.grid()->RowCount(), 5);
    QCOMPARE(c.grid()->Cells(0, 4), QStringLiteral(" 4"));
    QCOMPARE(c.form->ComboBox2->count(), 5);
    QCOMPARE(c.form->ListBox1->count(), 32);
    QCOMPARE(c.form->ListBox2->count(), 0);
}

void TestLoading::outcomes_data()
{
    QTest::addColumn<QString>("comType");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("panel3");
    QTest::addColumn<QString>("panel5");
    QTest::addColumn<bool>("drawn");

    const QString online = u("联机状态:Online"), offline = u("联机状态:Offline");
    QTest::newRow("tcp, junk line first") << Tcp << "junk" << QByteArray("00#") << QStringList{} << online
                                          << QString() << true;
    QTest::newRow("pty, reply in pieces") << Serial << "pieces" << QByteArray("testI00#") << QStringList{}
                                          << online << QString() << true;
    QTest::newRow("tcp, no P") << Tcp << "identFirst" << QByteArray("00#")
                               << QStringList{box("获取机器状态信息失败！")} << online << QString() << false;
    QTest::newRow("tcp, silent") << Tcp << "silent" << QByteArray("00#") << QStringList{plain("矩阵连接失败!")}
                                 << online << u("通信超时") << false;
    QTest::newRow("pty, silent") << Serial << "silent" << QByteArray("testI00#")
                                 << QStringList{plain("矩阵连接失败!")} << online << u("通信超时") << false;
    QTest::newRow("tcp, refused") << Tcp << "refused" << QByteArray()
                                  << QStringList{box("网络连接失败！")} << offline << u("网口未打开!") << false;
    QTest::newRow("serial, no device") << Serial << "noDevice" << QByteArray()
                                       << QStringList{box("矩阵连接失败!")} << offline << u("矩阵连接失败!") << false;
}

void TestLoading::outcomes()
{
    QFETCH(QString, comType);
    QFETCH(QString, fault);
    QFETCH(QByteArray, received);
    QFETCH(QStringList, messages);
    QFETCH(QString, panel3);
    QFETCH(QString, panel5);
    QFETCH(bool, drawn);

    Console c;
    c.shape(4, 4, true, true);
    c.sim.setRoute(Sim::Video, 1, 2);
    if (fault != QLatin1String("noDevice"))
        QVERIFY(c.openPty());
    else
        QVERIFY(c.linkMissingDevice());
    if (fault == QLatin1String("junk"))
        c.sim.setJunkLine("JUNK");
    else if (fault == QLatin1String("pieces"))
        c.sim.setChunkSize(7);
    else if (fault == QLatin1String("identFirst"))
        c.sim.setIdentFirst(5000);
    else if (fault == QLatin1String("silent"))
        c.sim.setSilent(true);
    c.dir.addMatrix(c.matrix(QStringLiteral("A1"), QStringLiteral("VCA"), 4, 4, true, comType));
    if (fault == QLatin1String("refused"))
        c.sim.closeAll();
    c.start();
    c.settle();

    QCOMPARE(c.sim.received(), received);
    QCOMPARE(messageLog(), messages);
    QCOMPARE(c.form->panelText(3), panel3);
    QCOMPARE(c.form->panelText(5), panel5);
    QCOMPARE(c.grid()->Cells(1, 2), drawn ? QStringLiteral(" V") : QString());
    QCOMPARE(c.form->CrosspointTable.get(1, 2), drawn ? 1 : 0);
    QVERIFY(c.form->TabControl1->isEnabled());
    if (fault == QLatin1String("junk")) // the junk line left the receive buffer itself
        QVERIFY(c.form->ReceiveBuffer().startsWith("PST:"));
}

// A device larger than its catalogue row: inputs beyond InNum land in cells the grid does not
// show, outputs beyond OutNum are not read, and nothing reaches outside the table.
void TestLoading::replyBeyondTheMatrix()
{
    Console c;
    c.shape(80, 8, true, true);
    c.sim.setRoute(Sim::Video, 1, 9);
    c.sim.setRoute(Sim::Audio, 1, 75);
    c.sim.setRoute(Sim::Video, 6, 2);
    c.sim.setRoute(Sim::Audio, 2, 3);
    c.dir.addMatrix(c.tcpMatrix(QStringLiteral("A1"), QStringLiteral("VCA"), 4, 4, true));
    c.start();
    c.settle();

    QCOMPARE(messageLog(), QStringList());
    QCOMPARE(c.grid()->Cells(2, 3), QStringLiteral(" A"));
    QCOMPARE(c.form->CrosspointTable.get(1, 9), 1);
    QCOMPARE(c.form->CrosspointTable.get(1, 75), 0);
    QCOMPARE(c.form->CrosspointTable.get(6, 2), 0);
    QCOMPARE(c.grid()->RowCount(), 5);
    for (int col = 1; col <= 4; ++col)
        for (int r = 1; r <= 4; ++r)
            QCOMPARE(c.grid()->Cells(col, r), col == 2 && r == 3 ? QStringLiteral(" A") : QString());
    c.moveOver(1, 0); // input 9 of output 1 is not one of this matrix's inputs
    QCOMPARE(c.memoLines(), (QStringList{u("输出通道:1"), u("<-->"), QStringLiteral("------- List--------")}));
}

// The stored time-out is read only after the first load: that load waits with the 1000 ms
// the window starts with, every later one with the stored value.
void TestLoading::firstLoadWaitsWithTheStartTimeout()
{
    Console c(250);
    c.shape(4, 4, true, true);
    c.dir.addMatrix(c.tcpMatrix(QStringLiteral("A1"), QStringLiteral("VCA"), 4, 4, true));
    c.dir.addMatrix(c.tcpMatrix(QStringLiteral("A2"), QStringLiteral("VCA"), 4, 4, true));
    QList<int> timeouts;
    QObject::connect(&c.sim, &Sim::commandReceived, [&](const QByteArray &cmd) {
        if (cmd == "00#")
            timeouts << c.form->CommTimeout();
    });
    c.form = std::make_unique<ObservedForm>(c.dir.appDirectory());
    c.form->setWindows(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &c.history);
    c.form->show();
    QCOMPARE(c.form->CommTimeout(), 250);
    c.form->TabControl1->setCurrentIndex(1);
    c.settle();

    QCOMPARE(timeouts, (QList<int>{1000, 250}));
    QCOMPARE(c.form->CurrentMatrixName, QStringLiteral("A2"));
    QCOMPARE(messageLog(), QStringList());
}

// A catalogue row without a port reaches the matrix on port 5555.
void TestLoading::emptyPortGoesTo5555()
{
    Console c;
    Sim device;
    device.setSize(4, 4);
    device.setRoute(Sim::Video, 2, 3);
    if (!device.listenTcp(5555))
        QSKIP("port 5555 of 127.0.0.1 is taken");
    testsupport::MatrixSpec m = c.tcpMatrix(QStringLiteral("A1"), QStringLiteral("VCA"), 4, 4, true);
    m.port.clear();
    c.dir.addMatrix(m);
    c.start();
    c.settle();

    QCOMPARE(c.form->CurrentMatrix.Port, 5555);
    QCOMPARE(device.received(), QByteArray("00#"));
    QCOMPARE(c.sim.connectionCount(), 0);
    QCOMPARE(c.grid()->Cells(2, 3), QStringLiteral(" V"));
    QCOMPARE(messageLog(), QStringList());
    c.form.reset();
    device.closeAll();
}

QTEST_MAIN(TestLoading)
#include "tst_loading.moc"
