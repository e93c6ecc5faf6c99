// Routing from the main window against the simulator: grid clicks (connect, disconnect,
// time-out, offline), the wheel guard, keyboard navigation, the channel information box,
// the command history rule, and the channel selection bar.

#include "ConsoleFixture.h"

#include "link/MSComm.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWheelEvent>

using namespace consoletest;
using Sim = sim::MatrixSimulator;

namespace {

struct Route
{
    Sim::LayerIndex layer;
    int output;
    int input;
};

} // namespace

Q_DECLARE_METATYPE(QList<Route>)

class TestRouting : public QObject
{
    Q_OBJECT

    // A 16 x 8 matrix of the given series, routed as given, loaded and quiet.
    void open(Console &c, const QString &type, bool audio, const QString &comType, const QList<Route> &routes = {})
    {
        c.shape(16, 8, audio, type == QLatin1String("VCA"));
        for (const Route &r : routes)
            c.sim.setRoute(r.layer, r.output, r.input);
        if (comType == Serial)
            QVERIFY(c.openPty());
        c.dir.addMatrix(c.matrix(QStringLiteral("A1"), type, 16, 8, audio, comType));
        c.startClean();
    }

private slots:
    void initTestCase() { Messages::setTestMode(true); }
    void connectClick_data();
    void connectClick();
    void disconnectClick_data();
    void disconnectClick();
    void timeOutReadsBack_data();
    void timeOutReadsBack();
    void busyGuard();
    void noLayerTicked();
    void offlineToggles();
    void historyRule_data();
    void historyRule();
    void wheelThenClick();
    void keyboardRoutesLikeAClick();
    void channelInfo_data();
    void channelInfo();
    void channelSelect_data();
    void channelSelect();
    void typedSelectors_data();
    void typedSelectors();
    void tabLeavesSelector_data();
    void tabLeavesSelector();
};

void TestRouting::connectClick_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("audio");
    QTest::addColumn<QString>("comType");
    QTest::addColumn<int>("layers");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QString>("history");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("formerLabel"); // input 5 had video and audio of output 3
    QTest::addColumn<int>("formerValue");

    const QString vca = QStringLiteral("VCA"), vga = QStringLiteral("VGA");
    QTest::newRow("VCA, video+audio") << vca << true << Tcp << 3 << QByteArray("0312V0312A") << "0312C" << "VA"
                                      << "" << 0;
    QTest::newRow("VCA, video") << vca << true << Tcp << 1 << QByteArray("0312V") << "0312V" << " V" << " A" << 2;
    QTest::newRow("VCA, audio") << vca << true << Tcp << 2 << QByteArray("0312A") << "0312A" << " A" << " V" << 1;
    QTest::newRow("VCA, all three") << vca << true << Tcp << 7 << QByteArray("0312V0312A0312C") << "0312C" << "VAC"
                                    << "" << 0;
    QTest::newRow("VCA over pty, video+audio") << vca << true << Serial << 3 << QByteArray("0312V0312A") << "0312C"
                                               << "VA" << "" << 0;
    QTest::newRow("VGA, video+audio") << vga << true << Tcp << 3 << QByteArray("0312C") << "0312C" << "VA" << "" << 0;
    QTest::newRow("VGA without audio, video") << vga << false << Tcp << 1 << QByteArray("0312C") << "0312C" << " V"
                                              << "" << 0;
    // Composite left ticked from a VCA matrix (its hidden box keeps its state): on this series
    // composite carries video and audio together.
    QTest::newRow("VGA, video+composite") << vga << true << Tcp << 5 << QByteArray("0312C") << "0312C" << "VC" << " A"
                                          << 2;
    QTest::newRow("VGA, all three") << vga << true << Tcp << 7 << QByteArray("0312C") << "0312C" << "VAC" << "" << 0;
}

void TestRouting::connectClick()
{
    QFETCH(QString, type);
    QFETCH(bool, audio);
    QFETCH(QString, comType);
    QFETCH(int, layers);
    QFETCH(QByteArray, received);
    QFETCH(QString, history);
    QFETCH(QString, label);
    QFETCH(QString, formerLabel);
    QFETCH(int, formerValue);

    Console c;
    const Sim::LayerIndex first = type == QLatin1String("VCA") ? Sim::Video : Sim::Composite;
    open(c, type, audio, comType, {{first, 3, 5}, {Sim::Audio, 3, 5}, {Sim::Video, 4, 12}});
    QCOMPARE(c.form->CrosspointTable.get(3, 5), audio ? 3 : 1);
    if (layers & core::LayerComposite && type != QLatin1String("VCA"))
        c.form->CheckBox1->setChecked(true);
    c.tick(layers);
    QCOMPARE(c.form->ActiveLayers, layers);

    c.clickCell(3, 12);
    c.settle();

    QCOMPARE(c.sim.received(), received);
    QCOMPARE(c.historyCommands(), QStringList{history});
    QCOMPARE(c.history.matrixAt(0), QStringLiteral("A1"));
    QCOMPARE(messageLog(), QStringList());
    QCOMPARE(c.grid()->Cells(3, 12), label);
    QCOMPARE(c.form->CrosspointTable.get(3, 12), layers);
    QCOMPARE(c.grid()->Cells(3, 5), formerLabel);
    QCOMPARE(c.form->CrosspointTable.get(3, 5), formerValue);
    QCOMPARE(c.grid()->Cells(4, 12), QStringLiteral(" V")); // another output keeps its input
    QCOMPARE(c.form->panelText(5), QString());
    QVERIFY(c.grid()->isEnabled());
    QVERIFY(!c.form->CommandBusy);
    QCOMPARE(c.grid()->Selection().topLeft(), QPoint(150, 150)); // the current cell never moves
}

void TestRouting::disconnectClick_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("comType");
    QTest::addColumn<QList<Route>>("routes");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QString>("history");

    const QList<Route> va{{Sim::Video, 3, 12}, {Sim::Audio, 3, 12}};
    const QList<Route> vac{{Sim::Video, 3, 12}, {Sim::Audio, 3, 12}, {Sim::Composite, 3, 12}};
    const QString vca = QStringLiteral("VCA");
    QTest::newRow("VCA, 3") << vca << Tcp << va << "" << QByteArray("0312v0312a") << "0312c";
    QTest::newRow("VGA, 3") << QStringLiteral("VGA") << Tcp << QList<Route>{{Sim::Composite, 3, 12}} << ""
                            << QByteArray("0312c") << "0312c";
    QTest::newRow("VCA over tcp, 7") << vca << Tcp << vac << "" << QByteArray("0312v0312a0312c") << "0312c";
    QTest::newRow("VCA over pty, 7") << vca << Serial << vac << "" << QByteArray("0312a0312v0312c") << "0312c";
    // A disconnect from the grid that is not acknowledged shows nothing.
    QTest::newRow("VCA, 3, first echo lost") << vca << Tcp << va << "dropEcho" << QByteArray("0312v0312a") << "0312c";
    QTest::newRow("VCA, 3, port closed") << vca << Serial << va << "portClosed" << QByteArray() << "0312c";
}

void TestRouting::disconnectClick()
{
    QFETCH(QString, type);
    QFETCH(QString, comType);
    QFETCH(QList<Route>, routes);
    QFETCH(QString, fault);
    QFETCH(QByteArray, received);
    QFETCH(QString, history);

    Console c;
    open(c, type, true, comType, routes);
    QVERIFY(c.form->CrosspointTable.get(3, 12) >= 3);
    if (fault == QLatin1String("dropEcho"))
        c.sim.setDropEcho({QByteArray("0312v")});
    else if (fault == QLatin1String("portClosed"))
        c.form->Link->MSComm1()->setPortOpen(false);
    c.tick(core::LayerAudio); // the whole crosspoint goes, whatever is ticked

    c.clickCell(3, 12);
    c.settle();

    QCOMPARE(c.sim.received(), received);
    QCOMPARE(c.historyCommands(), QStringList{history});
    QCOMPARE(messageLog(), QStringList());
    QCOMPARE(c.grid()->Cells(3, 12), QString());
    QCOMPARE(c.form->CrosspointTable.get(3, 12), 0);
    if (fault != QLatin1String("portClosed")) {
        for (Sim::LayerIndex l : {Sim::Video, Sim::Audio, Sim::Composite})
            QCOMPARE(c.sim.route(l, 3), 0);
    }
}

void TestRouting::timeOutReadsBack_data()
{
    QTest::addColumn<QString>("comType");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("label");

    const QStringList readBack{plain("通讯超时，将更新状态!"), plain("更新状态成功!")};
    QTest::newRow("tcp, first echo lost") << Tcp << "dropEcho" << QByteArray("0312V0312A00#") << readBack << "AV";
    QTest::newRow("pty, first echo lost") << Serial << "dropEcho" << QByteArray("0312V0312A00#") << readBack << "AV";
    // Nothing can be sent or read back: the ticked layers stay taken from the output.
    QTest::newRow("pty, port closed") << Serial << "portClosed" << QByteArray()
                                      << QStringList{plain("通讯超时，将更新状态!"), plain("矩阵连接失败!")} << "";
}

void TestRouting::timeOutReadsBack()
{
    QFETCH(QString, comType);
    QFETCH(QString, fault);
    QFETCH(QByteArray, received);
    QFETCH(QStringList, messages);
    QFETCH(QString, label);

    Console c;
    open(c, QStringLiteral("VCA"), true, comType, {{Sim::Video, 3, 5}});
    if (fault == QLatin1String("dropEcho"))
        c.sim.setDropEcho({QByteArray("0312V")}); // the matrix switches but its echo is lost
    else
        c.form->Link->MSComm1()->setPortOpen(false);

    c.clickCell(3, 12);
    c.settle();

    QCOMPARE(c.sim.received(), received);
    QCOMPARE(messageLog(), messages);
    QCOMPARE(c.historyCommands(), QStringList{QStringLiteral("0312C")}); // entered before sending
    QCOMPARE(c.grid()->Cells(3, 12), label);
    QCOMPARE(c.grid()->Cells(3, 5), QString());
    QVERIFY(c.grid()->isEnabled());
    QVERIFY(!c.form->CommandBusy);
}

// While a grid click waits for its echo, the update button, the channel selection bar and
// further grid clicks are ignored.
void TestRouting::busyGuard()
{
    Console c;
    open(c, QStringLiteral("VCA"), true, Tcp);
    c.form->ComboBox1->setCurrentIndex(2);
    c.form->ComboBox2->setCurrentIndex(2);
    bool fired = false;
    QObject::connect(&c.sim, &Sim::commandReceived, [&](const QByteArray &cmd) {
        if (cmd != "0312V" || fired)
            return;
        fired = true;
        QTimer::singleShot(0, [&] { // inside the console's wait for "V0312"
            QVERIFY(!c.grid()->isEnabled());
            // No other matrix can be loaded under the running operation.
            QVERIFY(!c.form->TabControl1->isEnabled());
            QTest::mouseClick(c.form->Button2, Qt::LeftButton);
            QTest::mouseClick(c.form->Button1, Qt::LeftButton);
            bool allow = true;
            c.form->StringGrid1SelectCell(5, 1, allow);
            QVERIFY(!allow);
        });
    });

    c.clickCell(3, 12);
    c.settle();

    QVERIFY(fired);
    QCOMPARE(c.sim.received(), QByteArray("0312V0312A"));
    QCOMPARE(c.historyCommands(), QStringList{QStringLiteral("0312C")});
    QCOMPARE(messageLog(), QStringList());
    QCOMPARE(c.grid()->Cells(3, 12), QStringLiteral("VA"));
    QCOMPARE(c.grid()->Cells(5, 1), QString());
    QVERIFY(c.grid()->isEnabled());
    QVERIFY(c.form->TabControl1->isEnabled());
    QVERIFY(!c.form->CommandBusy);
}

void TestRouting::noLayerTicked()
{
    Console c;
    open(c, QStringLiteral("VCA"), true, Tcp, {{Sim::Video, 3, 12}});
    c.tick(0);
    QCOMPARE(c.form->ActiveLayers, 0);

    c.clickCell(3, 12);
    c.clickCell(2, 1);
    c.form->ComboBox1->setCurrentIndex(12);
    c.form->ComboBox2->setCurrentIndex(3);
    QTest::mouseClick(c.form->Button1, Qt::LeftButton);
    c.settle();

    QCOMPARE(c.sim.received(), QByteArray());
    QCOMPARE(c.history.count(), 0);
    QCOMPARE(messageLog(), QStringList(3, box("请先选择输出内容!")));
    QCOMPARE(c.grid()->Cells(3, 12), QStringLiteral(" V"));
    QCOMPARE(c.grid()->Cells(2, 1), QString());
    QVERIFY(c.grid()->isEnabled());
}

void TestRouting::offlineToggles()
{
    Console c;
    open(c, QStringLiteral("VCA"), true, Offline);
    QCOMPARE(c.grid()->Cells(3, 12), QStringLiteral(" "));

    c.clickCell(3, 12);
    QCOMPARE(c.grid()->Cells(3, 12), QStringLiteral("VA"));
    QCOMPARE(c.form->CrosspointTable.get(3, 12), 3);
    QCOMPARE(c.grid()->Cells(3, 1), QString()); // the output's column is relabelled
    QCOMPARE(c.grid()->Cells(4, 1), QStringLiteral(" "));
    c.clickCell(3, 1);
    QCOMPARE(c.grid()->Cells(3, 1), QStringLiteral("VA"));
    QCOMPARE(c.grid()->Cells(3, 12), QString()); // the layers moved to input 1
    c.clickCell(3, 1);
    QCOMPARE(c.grid()->Cells(3, 1), QString());
    QCOMPARE(c.form->CrosspointTable.get(3, 1), 0);
    c.settle();

    QCOMPARE(c.sim.received(), QByteArray());
    QCOMPARE(c.sim.connectionCount(), 0);
    QCOMPARE(c.history.count(), 0);
    QCOMPARE(messageLog(), QStringList());
}

void TestRouting::historyRule_data()
{
    QTest::addColumn<int>("prefill");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("last");

    QTest::newRow("100, connect") << 100 << "connect" << 101 << "0312V";
    QTest::newRow("101, connect") << 101 << "connect" << 1 << "0312V";
    QTest::newRow("101, disconnect") << 101 << "disconnect" << 102 << "0305v";
    QTest::newRow("101, output disconnected by input 0") << 101 << "input0" << 102 << "0305v";
    // A channel selection on a routed crosspoint: its disconnect entry, then the connect empties
    // the list before its own.
    QTest::newRow("101, channel selection") << 101 << "select" << 1 << "0305V";
}

void TestRouting::historyRule()
{
    QFETCH(int, prefill);
    QFETCH(QString, action);
    QFETCH(int, count);
    QFETCH(QString, last);

    Console c;
    open(c, QStringLiteral("VCA"), true, Tcp, {{Sim::Video, 3, 5}});
    c.tick(core::LayerVideo);
    for (int i = 0; i < prefill; ++i)
        c.form->AddHistoryEntry(QStringLiteral("X"), QStringLiteral("9999V"));

    if (action == QLatin1String("connect")) {
        c.clickCell(3, 12);
    } else if (action == QLatin1String("disconnect")) {
        c.clickCell(3, 5);
    } else {
        c.form->ComboBox1->setCurrentIndex(action == QLatin1String("input0") ? 0 : 5);
        c.form->ComboBox2->setCurrentIndex(3);
        QTest::mouseClick(c.form->Button1, Qt::LeftButton);
    }
    c.settle();

    QCOMPARE(c.history.count(), count);
    QCOMPARE(c.history.commandAt(count - 1), last);
    QCOMPARE(c.history.matrixAt(count - 1), QStringLiteral("A1"));
    QCOMPARE(messageLog(), QStringList());
}

void TestRouting::wheelThenClick()
{
    Console c;
    open(c, QStringLiteral("VCA"), true, Tcp);

    const QPoint at = c.cellRect(3, 12).center();
    QWheelEvent wheel(at, c.grid()->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(c.grid()->viewport(), &wheel);
    QVERIFY(c.form->WheelScrolled);

    c.clickCell(3, 12);
    c.settle();
    QCOMPARE(c.sim.received(), QByteArray());
    QCOMPARE(c.history.count(), 0);
    QCOMPARE(messageLog(), QStringList());
    QCOMPARE(c.grid()->Cells(3, 12), QString());

    // Moving the mouse over the grid lifts the guard.
    c.moveOver(3, 12);
    QVERIFY(!c.form->WheelScrolled);
    c.clickCell(3, 12);
    c.settle();
    QCOMPARE(c.sim.received(), QByteArray("0312V0312A"));
    QCOMPARE(c.grid()->Cells(3, 12), QStringLiteral("VA"));
}

void TestRouting::keyboardRoutesLikeAClick()
{
    Console c;
    c.dir.addMatrix(c.matrix(QStringLiteral("B2"), QStringLiteral("VCA"), 16, 8, true, Offline));
    open(c, QStringLiteral("VCA"), true, Tcp);
    c.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(c.form.get()));
    c.grid()->setFocus();
    QTRY_VERIFY(c.grid()->hasFocus());

    // Keys go where the keyboard sends them: to the focused widget. The grid keeps the focus
    // through each operation, so no arrow key reaches the tabs.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right); // from the first body cell to output 2
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);  // input 2 of the same output
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right); // output 3, input 2
    c.settle();

    QVERIFY(c.grid()->hasFocus());
    QCOMPARE(c.form->CurrentMatrixName, QStringLiteral("A1"));
    QCOMPARE(c.sim.received(), QByteArray("0201V0201A0202V0202A0302V0302A"));
    QCOMPARE(c.historyCommands(),
             (QStringList{QStringLiteral("0201C"), QStringLiteral("0202C"), QStringLiteral("0302C")}));
    QCOMPARE(c.grid()->Cells(2, 1), QString());
    QCOMPARE(c.grid()->Cells(2, 2), QStringLiteral("VA"));
    QCOMPARE(c.grid()->Cells(3, 2), QStringLiteral("VA"));
    QCOMPARE(c.grid()->Selection().topLeft(), QPoint(150, 150));
    QCOMPARE(messageLog(), QStringList());

    // The time-out path's messages do not keep the focus from coming back either.
    c.sim.setDropEcho({QByteArray("0402V")});
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    c.settle();
    QCOMPARE(messageLog(), (QStringList{plain("通讯超时，将更新状态!"), plain("更新状态成功!")}));
    QVERIFY(c.grid()->hasFocus());

    // Focus the operator moved elsewhere meanwhile stays where it was put.
    c.sim.setDropEcho({});
    QObject::connect(&c.sim, &Sim::commandReceived, c.form->Button2, [&](const QByteArray &cmd) {
        if (cmd == "0502V")
            c.form->ComboBox1->setFocus();
    });
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    c.settle();
    QCOMPARE(c.grid()->Cells(5, 2), QStringLiteral("VA"));
    QVERIFY(c.form->ComboBox1->hasFocus());
}

void TestRouting::channelInfo_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("lines");

    const QString list = QStringLiteral("------- List--------");
    QTest::newRow("input heading 4") << 0 << 4
                                     << QStringList{u("输入通道:4"), u("<讲台>"), list, u("|V|->输出通道:1"),
                                                    u("|VA|->输出通道:3"), u("|A|->输出通道:6")};
    QTest::newRow("output heading 1") << 1 << 0
                                      << QStringList{u("输出通道:1"), u("<大屏>"), list, u("输入通道:4->V")};
    // Output 6 has no description row at all.
    QTest::newRow("output heading 6") << 6 << 0 << QStringList{u("输出通道:6"), u("<-->"), list, u("输入通道:4->A")};
    QTest::newRow("cell 6, 4") << 6 << 4
                               << QStringList{u("输入通道:4"), u("<讲台>"), u("-------------------"), u("输出通道:6"),
                                              u("<-->")};
    QTest::newRow("cell 5, 2, no descriptions")
        << 5 << 2 << QStringList{u("输入通道:2"), u("<-->"), u("-------------------"), u("输出通道:5"), u("<-->")};
}

void TestRouting::channelInfo()
{
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(QStringList, lines);

    Console c;
    c.shape(6, 6, true, true);
    // Input 4 feeds output 1 on video, 3 on video and audio, 6 on audio, 2 on composite only.
    for (const Route &r : QList<Route>{{Sim::Video, 1, 4}, {Sim::Video, 3, 4}, {Sim::Audio, 3, 4},
                                       {Sim::Audio, 6, 4}, {Sim::Composite, 2, 4}, {Sim::Video, 5, 2}})
        c.sim.setRoute(r.layer, r.output, r.input);
    testsupport::MatrixSpec m = c.tcpMatrix(QStringLiteral("A1"), QStringLiteral("VCA"), 6, 6, true);
    m.inDescs = QStringList{u("摄像机"), QString(), QString(), u("讲台")};
    m.outDescs = QStringList{u("大屏")};
    c.dir.addMatrix(m);
    c.removeChannelRows(QStringLiteral("A1"), QStringLiteral("Out"), 6);
    c.startClean();
    QCOMPARE(c.form->ListBox3->count(), 5);

    c.moveOver(col, row);
    QCOMPARE(c.memoLines(), lines);
    QCOMPARE(c.sim.received(), QByteArray());
}

void TestRouting::channelSelect_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("comType");
    QTest::addColumn<QList<Route>>("routes");
    QTest::addColumn<int>("layers");
    QTest::addColumn<QString>("dropped");
    QTest::addColumn<int>("input");  // entry of ComboBox1
    QTest::addColumn<int>("output"); // entry of ComboBox2
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QStringList>("history");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("cell"); // "output,input=label" checked afterwards

    const QString vca = QStringLiteral("VCA"), vga = QStringLiteral("VGA");
    QTest::newRow("input 0 disconnects output 5")
        << vca << Tcp << QList<Route>{{Sim::Video, 5, 2}, {Sim::Audio, 5, 7}} << 3 << "" << 0 << 5
        << QByteArray("0502v0507a") << QStringList{"0502v", "0507a"} << QStringList{} << "5,2=";
    QTest::newRow("12 to 3, video, empty") << vca << Tcp << QList<Route>{} << 1 << "" << 12 << 3 << QByteArray("0312V")
                                           << QStringList{"0312V"} << QStringList{} << "3,12= V";
    QTest::newRow("12 to 3, video, holds video")
        << vca << Tcp << QList<Route>{{Sim::Video, 3, 12}} << 1 << "" << 12 << 3 << QByteArray("0312v0312V")
        << QStringList{"0312v", "0312V"} << QStringList{} << "3,12= V";
    // The disconnect's echo is lost: the connect still goes, then the time-out and the read-back.
    QTest::newRow("12 to 3, video, holds video, disconnect echo lost")
        << vca << Tcp << QList<Route>{{Sim::Video, 3, 12}} << 1 << "0312v" << 12 << 3 << QByteArray("0312v0312V00#")
        << QStringList{"0312v", "0312V"} << QStringList{plain("通讯超时，将更新状态!"), plain("更新状态成功!")}
        << "3,12= V";
    QTest::newRow("All from 4, VCA") << vca << Tcp << QList<Route>{} << 3 << "" << 4 << 0 << QByteArray("0004C0004A0004V00#")
                                     << QStringList{} << QStringList{plain("通道选择成功!")} << "8,4=VAC";
    QTest::newRow("All from 4, VCA, first echo lost")
        << vca << Tcp << QList<Route>{} << 3 << "0004C" << 4 << 0 << QByteArray("0004C0004A0004V00#") << QStringList{}
        << QStringList{plain("通道选择成功!")} << "1,4=VAC";
    QTest::newRow("All from 4, VCA, last echo lost")
        << vca << Tcp << QList<Route>{} << 3 << "0004V" << 4 << 0 << QByteArray("0004C0004A0004V00#") << QStringList{}
        << QStringList{plain("通讯超时，将更新状态!"), plain("更新状态成功!")} << "1,4=VAC";
    QTest::newRow("All from 4, VGA") << vga << Tcp << QList<Route>{} << 3 << "" << 4 << 0 << QByteArray("0004C00#")
                                     << QStringList{} << QStringList{plain("通道选择成功!")} << "8,4=AV";
    QTest::newRow("All from 0, VCA") << vca << Tcp << QList<Route>{{Sim::Video, 2, 9}} << 3 << "" << 0 << 0
                                     << QByteArray("0000C0000A0000V00#") << QStringList{}
                                     << QStringList{plain("通道选择成功!")} << "2,9=";
    // Offline nothing is sent, so nothing is acknowledged; the refresh does nothing.
    QTest::newRow("All from 4, offline") << vca << Offline << QList<Route>{} << 3 << "" << 4 << 0 << QByteArray()
                                         << QStringList{} << QStringList{plain("通讯超时，将更新状态!")} << "1,4= ";
}

void TestRouting::channelSelect()
{
    QFETCH(QString, type);
    QFETCH(QString, comType);
    QFETCH(QList<Route>, routes);
    QFETCH(int, layers);
    QFETCH(QString, dropped);
    QFETCH(int, input);
    QFETCH(int, output);
    QFETCH(QByteArray, received);
    QFETCH(QStringList, history);
    QFETCH(QStringList, messages);
    QFETCH(QString, cell);

    Console c;
    open(c, type, true, comType, routes);
    if (!dropped.isEmpty())
        c.sim.setDropEcho({dropped.toLatin1()});
    c.tick(layers);
    c.form->ComboBox1->setCurrentIndex(input);
    c.form->ComboBox2->setCurrentIndex(output);

    QTest::mouseClick(c.form->Button1, Qt::LeftButton);
    c.settle();

    QCOMPARE(c.sim.received(), received);
    QCOMPARE(c.historyCommands(), history);
    QCOMPARE(messageLog(), messages);
    const QStringList where = cell.section(QLatin1Char('='), 0, 0).split(QLatin1Char(','));
    QCOMPARE(c.grid()->Cells(where[0].toInt(), where[1].toInt()), cell.section(QLatin1Char('='), 1));
    if (input == 0 && output != 0) {
        for (int i = 1; i <= 16; ++i)
            QCOMPARE(c.form->CrosspointTable.get(output, i), 0);
    }
    QVERIFY(c.grid()->isEnabled());
    QVERIFY(!c.form->CommandBusy);
}

void TestRouting::typedSelectors_data()
{
    QTest::addColumn<int>("box");        // 1: input selector, 2: output selector
    QTest::addColumn<bool>("intoCombo"); // keys to the focused combo box rather than its line edit
    QTest::addColumn<QString>("keys");   // typed after selecting the whole text
    QTest::addColumn<QString>("text");   // the box's text afterwards
    QTest::addColumn<QByteArray>("received");

    QTest::newRow("letters, line edit") << 1 << false << "ab" << "5" << QByteArray("0305V");
    QTest::newRow("letters and backspace, combo") << 1 << true << "x\b" << "5" << QByteArray("0305V");
    QTest::newRow("letters, output combo") << 2 << true << "All" << "3" << QByteArray("0305V");
    QTest::newRow("input method text, combo") << 1 << true << u("IME:一") << "5" << QByteArray("0305V");
    QTest::newRow("input method digits, combo") << 1 << true << u("IME:12") << "12" << QByteArray("0312V");
    QTest::newRow("typed 12") << 1 << true << "12" << "12" << QByteArray("0312V");
    QTest::newRow("typed 12, line edit") << 1 << false << "12" << "12" << QByteArray("0312V");
    QTest::newRow("typed 99, no such input") << 1 << true << "99" << "99" << QByteArray();
    QTest::newRow("typed 9, no such output") << 2 << true << "9" << "9" << QByteArray();
    QTest::newRow("typed 05, no such entry") << 1 << true << "05" << "05" << QByteArray();
}

void TestRouting::typedSelectors()
{
    QFETCH(int, box);
    QFETCH(bool, intoCombo);
    QFETCH(QString, keys);
    QFETCH(QString, text);
    QFETCH(QByteArray, received);

    Console c;
    open(c, QStringLiteral("VCA"), true, Tcp);
    c.tick(core::LayerVideo);
    c.form->ComboBox1->setCurrentIndex(5);
    c.form->ComboBox2->setCurrentIndex(3);
    QComboBox *combo = box == 1 ? c.form->ComboBox1 : c.form->ComboBox2;
    combo->setFocus();
    combo->lineEdit()->selectAll();
    QWidget *target = intoCombo ? static_cast<QWidget *>(combo) : combo->lineEdit();
    if (keys.startsWith(QLatin1String("IME:"))) {
        // Text composed by an input method and committed at once.
        QInputMethodEvent commit;
        commit.setCommitString(keys.mid(4));
        QApplication::sendEvent(target, &commit);
    } else if (intoCombo)
        QTest::keyClicks(combo, keys);
    else
        QTest::keyClicks(combo->lineEdit(), keys);
    QCOMPARE(combo->currentText(), text);

    QTest::mouseClick(c.form->Button1, Qt::LeftButton);
    c.settle();
    QCOMPARE(c.sim.received(), received);
    QCOMPARE(messageLog(), QStringList());
    QCOMPARE(c.history.count(), received.isEmpty() ? 0 : 1);
}

void TestRouting::tabLeavesSelector_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<bool>("back"); // Shift+Tab
    QTest::newRow("input, Tab") << 1 << false;
    QTest::newRow("input, Shift+Tab") << 1 << true;
    QTest::newRow("output, Tab") << 2 << false;
}

// Tab is no typed character: it moves the focus on from a selector as from any field, and
// leaves the selector's text as it was.
void TestRouting::tabLeavesSelector()
{
    QFETCH(int, box);
    QFETCH(bool, back);

    Console c;
    open(c, QStringLiteral("VCA"), true, Offline);
    c.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(c.form.get()));
    QComboBox *combo = box == 1 ? c.form->ComboBox1 : c.form->ComboBox2;
    combo->setCurrentIndex(2);
    combo->setFocus();
    QTRY_VERIFY(combo->hasFocus());

    QTest::keyClick(QApplication::focusWidget(), back ? Qt::Key_Backtab : Qt::Key_Tab,
                    back ? Qt::ShiftModifier : Qt::NoModifier);
    QVERIFY(!combo->hasFocus());
    QCOMPARE(combo->currentText(), combo->itemText(2));
}

QTEST_MAIN(TestRouting)
#include "tst_routing.moc"
