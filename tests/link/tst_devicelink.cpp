#include "Pty.h"
#include "link/ClientSocket.h"
#include "link/DeviceLink.h"
#include "link/MSComm.h"
#include "simulator/MatrixSimulator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <cstdio>
#include <functional>

using link::DeviceLink;

namespace {

// The window's side of the link: it keeps the panel texts and the boxes it was asked to show.
class Host : public link::LinkHost
{
public:
    QMap<int, QString> panels;
    QStringList panel3History;
    QStringList boxes;
    int updates = 0;
    int depth = 0;
    int maxDepth = 0;
    std::function<void()> onUpdate;

    void setPanelText(int panel, const QString &text) override
    {
        panels[panel] = text;
        if (panel == 3)
            panel3History << text;
    }
    QString panelText(int panel) const override { return panels.value(panel); }
    void showInfoBox(const QString &text) override { boxes << text; }
    void deviceUpdate() override
    {
        ++updates;
        maxDepth = qMax(maxDepth, ++depth);
        if (onUpdate)
            onUpdate();
        --depth;
    }
};

const QString kSerial = QString::fromUtf8(DeviceLink::Serial);
const QString kNetwork = QString::fromUtf8(DeviceLink::Network);
const QString kOffline = QString::fromUtf8(DeviceLink::Offline);
const QString kOnline3 = QStringLiteral("联机状态:Online");
const QString kOffline3 = QStringLiteral("联机状态:Offline");
const int kTimeout = 300;

quint16 refusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

core::CommandSequence vaC(int output, int input, const char *letters)
{
    core::CommandSequence s;
    for (const char *l = letters; *l; ++l) {
        char text[8], ack[8];
        std::snprintf(text, sizeof text, "%02d%02d%c", output, input, *l);
        std::snprintf(ack, sizeof ack, "%c%02d%02d", *l, output, input);
        s.push_back({text, ack});
    }
    return s;
}

} // namespace

// The main window's device link against the matrix simulator: a pty linked at
// <appDir>ports/COM1 and a loopback TCP port.
class TestDeviceLink : public QObject
{
    Q_OBJECT

    QTemporaryDir *m_dir = nullptr; // a program folder of its own for each test
    sim::MatrixSimulator *m_sim = nullptr;
    Host *m_host = nullptr;
    DeviceLink *m_link = nullptr;

    QString appDir() const { return m_dir->path() + QLatin1Char('/'); }

    void serialLink()
    {
        m_link->setConnection(kSerial, QString(), 5555);
        QVERIFY(m_link->OpenSerialPort(QStringLiteral("COM1")));
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->commands().contains("test"), 5000);
        m_sim->clearLog();
    }
    void tcpLink(quint16 port = 0)
    {
        m_link->setConnection(kNetwork, QStringLiteral("127.0.0.1"), port ? port : m_sim->tcpPort());
    }

private slots:
    void init();
    void cleanup();

    void openSerialPort_data();
    void openSerialPort();
    void replyInPieces_data();
    void replyInPieces();
    void emptyExpectedNeverMatches_data();
    void emptyExpectedNeverMatches();
    void timeoutsOfZeroOrLessEndAtOnce_data();
    void timeoutsOfZeroOrLessEndAtOnce();
    void eachTcpCommandHasItsOwnConnection();
    void refusedTcpConnection();
    void noLinkSendsNothing_data();
    void noLinkSendsNothing();
    void updateInAnyCase_data();
    void updateInAnyCase();
    void updateOverTcp();
    void updateDuringRefreshServedOnceAfter();
    void tenThousandUpdatesInARow();
    void chatterStaysBounded();
    void splitSequence_data();
    void splitSequence();
    void sequenceOverClosedSerialPort();
    void sequenceWithoutTcpConnection();
};

void TestDeviceLink::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    QDir().mkpath(appDir() + QStringLiteral("ports"));
    m_sim = new sim::MatrixSimulator;
    m_sim->setSize(16, 16);
    m_sim->setAudio(true);
    QVERIFY(m_sim->listenTcp(0));
    QVERIFY(m_sim->openPty(appDir() + QStringLiteral("ports/COM1")));
    m_host = new Host;
    m_link = new DeviceLink(m_host);
    m_link->setAppDirectory(appDir());
    m_link->setCommTimeout(kTimeout);
}

void TestDeviceLink::cleanup()
{
    delete m_link;
    delete m_host;
    delete m_sim;
    delete m_dir;
    m_dir = nullptr;
    m_link = nullptr;
    m_host = nullptr;
    m_sim = nullptr;
}

void TestDeviceLink::openSerialPort_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("opens");
    QTest::newRow("COM1") << "COM1" << true;
    QTest::newRow("blanks around") << " COM1 " << true;
    QTest::newRow("digits then text") << "COM1x" << true;
    QTest::newRow("no digit") << "COMX" << false;
    QTest::newRow("COM alone") << "COM" << false;
    QTest::newRow("empty") << "" << false;
}

void TestDeviceLink::openSerialPort()
{
    QFETCH(QString, name);
    QFETCH(bool, opens);
    m_link->setConnection(kSerial, QString(), 5555);
    if (!opens)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("COM0: no such port"));
    QCOMPARE(m_link->OpenSerialPort(name), opens);
    QCOMPARE(m_link->serialOpen(), opens);
    if (opens) {
        QCOMPARE(m_host->panels.value(5), QStringLiteral("矩阵连接正常!"));
        QVERIFY(m_host->boxes.isEmpty());
        QCOMPARE(m_link->MSComm1()->CommPort(), 1);
        QCOMPARE(m_link->MSComm1()->Settings(), QStringLiteral("9600,N,8,1  "));
        // The link test goes out at once, no reply awaited.
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->received(), QByteArray("test"), 5000);
    } else {
        QCOMPARE(m_host->boxes, QStringList{QStringLiteral("矩阵连接失败!")});
        QCOMPARE(m_host->panels.value(5), QStringLiteral("矩阵连接失败!"));
        QCOMPARE(m_link->MSComm1()->CommPort(), 0);
    }
}

void TestDeviceLink::replyInPieces_data()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("serial") << true;
    QTest::newRow("tcp") << false;
}

void TestDeviceLink::replyInPieces()
{
    QFETCH(bool, serial);
    if (serial)
        serialLink();
    else
        tcpLink();
    m_sim->setChunkSize(2); // "V0312" arrives as "V0", "31", "2"
    QVERIFY(m_link->SendCommand("0312V", "V0312"));
    QCOMPARE(m_link->ReceiveBuffer, QByteArray("V0312")); // every piece kept, in order
    QCOMPARE(m_sim->commands(), QList<QByteArray>{"0312V"});
    QCOMPARE(m_sim->route(sim::MatrixSimulator::Video, 3), 12);

    m_sim->setChunkSize(40);
    QVERIFY(m_link->SendCommand(core::StatusQuery, "I"));
    QCOMPARE(m_link->ReceiveBuffer, m_sim->statusReply());
}

void TestDeviceLink::emptyExpectedNeverMatches_data()
{
    replyInPieces_data();
}

void TestDeviceLink::emptyExpectedNeverMatches()
{
    QFETCH(bool, serial);
    if (serial)
        serialLink();
    else
        tcpLink();
    QVERIFY(!m_link->SendCommand("0312V", ""));
    QCOMPARE(m_link->ReceiveBuffer, QByteArray("V0312")); // the device did answer
    QVERIFY(!m_link->WaitForReply("", kTimeout));
}

void TestDeviceLink::timeoutsOfZeroOrLessEndAtOnce_data()
{
    QTest::addColumn<int>("timeout");
    QTest::newRow("zero") << 0;
    QTest::newRow("minus one") << -1;
    QTest::newRow("most negative") << INT_MIN;
}

void TestDeviceLink::timeoutsOfZeroOrLessEndAtOnce()
{
    QFETCH(int, timeout);
    serialLink();
    m_link->setCommTimeout(timeout);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!m_link->SendCommand("0312V", "V0312"));
    // The echo may be on its way, but no event was processed to take it in.
    QCOMPARE(m_link->ReceiveBuffer, QByteArray());
    QVERIFY(!m_link->WaitForReply("V0312", timeout));
    QVERIFY(!m_link->WaitForOnline(timeout));
    m_link->PumpEvents(timeout);
    tcpLink();
    QVERIFY(!m_link->EnsureTcpConnected());
    QVERIFY(!m_link->SendCommand("0312V", "V0312"));
    QVERIFY2(clock.elapsed() < 5000, "a time-out of zero or less must not wait");
}

void TestDeviceLink::eachTcpCommandHasItsOwnConnection()
{
    tcpLink();
    QVERIFY(m_link->SendCommand("0312V", "V0312"));
    QCOMPARE(m_host->panels.value(3), kOnline3);
    QCOMPARE(m_sim->connectionCount(), 1);
    m_host->panel3History.clear();

    QVERIFY(m_link->SendCommand("0401A", "A0401"));
    QCOMPARE(m_sim->connectionCount(), 2);
    // The first connection dropped (disconnect handler and the link itself), then online.
    QVERIFY(m_host->panel3History.size() >= 2);
    QCOMPARE(m_host->panel3History.first(), kOffline3);
    QCOMPARE(m_host->panel3History.last(), kOnline3);
    QVERIFY(!m_host->panel3History.mid(0, m_host->panel3History.size() - 1).contains(kOnline3));
    QCOMPARE(m_sim->commands(), (QList<QByteArray>{"0312V", "0401A"}));
    QVERIFY(m_host->boxes.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(m_sim->clientCount(), 1, 5000);

    m_link->closeLinks();
    QCOMPARE(m_host->panels.value(3), kOffline3);
    QVERIFY(!m_link->ClientSocket1()->Active());
    QTRY_COMPARE_WITH_TIMEOUT(m_sim->clientCount(), 0, 5000);
}

void TestDeviceLink::refusedTcpConnection()
{
    tcpLink(refusedPort());
    m_host->panels[5] = QStringLiteral("矩阵连接正常!");
    QVERIFY(!m_link->EnsureTcpConnected());
    QCOMPARE(m_host->boxes, QStringList{QStringLiteral("网络连接失败！")});
    QCOMPARE(m_host->panels.value(3), kOffline3);
    QCOMPARE(m_host->panels.value(5), QStringLiteral("网络连接失败"));

    m_host->boxes.clear();
    QVERIFY(!m_link->SendCommand("0312V", "V0312"));
    QCOMPARE(m_host->boxes, QStringList{QStringLiteral("网络连接失败！")});
}

void TestDeviceLink::noLinkSendsNothing_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("offline") << kOffline;
    QTest::newRow("unknown") << QStringLiteral("红外");
    QTest::newRow("empty") << QString();
}

void TestDeviceLink::noLinkSendsNothing()
{
    QFETCH(QString, mode);
    serialLink(); // a port left open must not carry it either
    m_link->setConnection(mode, QStringLiteral("127.0.0.1"), m_sim->tcpPort());
    m_link->ReceiveBuffer = "stale";
    QVERIFY(!m_link->SendCommand("0312V", "V0312"));
    QCOMPARE(m_link->ReceiveBuffer, QByteArray());
    bool tcpFailed = true;
    QVERIFY(!m_link->sendSequence(vaC(3, 12, "V"), false, tcpFailed));
    QVERIFY(!tcpFailed);
    QVERIFY(!m_link->sendSequence(vaC(3, 12, "v"), true, tcpFailed));
    QTest::qWait(50);
    QCOMPARE(m_sim->received(), QByteArray());
    QCOMPARE(m_sim->connectionCount(), 0);
    QVERIFY(m_host->boxes.isEmpty());
}

void TestDeviceLink::updateInAnyCase_data()
{
    QTest::addColumn<QByteArray>("notice");
    QTest::newRow("lower") << QByteArray("update");
    QTest::newRow("upper") << QByteArray("UPDATE");
    QTest::newRow("capital") << QByteArray("Update");
    QTest::newRow("mixed, inside text") << QByteArray("V0312\rupDaTe\r");
    QTest::newRow("across two reads") << QByteArray("upd|ate");
}

void TestDeviceLink::updateInAnyCase()
{
    QFETCH(QByteArray, notice);
    // A pty of the test's own, to put any text on the line.
    Pty pty;
    QVERIFY(pty.isOpen());
    QVERIFY(QFile::link(pty.slaveName(), appDir() + QStringLiteral("ports/COM2")));
    m_link->setConnection(kSerial, QString(), 5555);
    QVERIFY(m_link->OpenSerialPort(QStringLiteral("COM2")));
    QCOMPARE(pty.read(4, 5000), QByteArray("test"));
    const QList<QByteArray> parts = notice.split('|');
    for (const QByteArray &part : parts) {
        pty.write(part);
        QVERIFY(m_link->WaitForReply(part, 5000));
    }
    QCOMPARE(m_host->updates, 1);
}

void TestDeviceLink::updateOverTcp()
{
    tcpLink();
    QVERIFY(m_link->EnsureTcpConnected());
    QTRY_COMPARE_WITH_TIMEOUT(m_sim->clientCount(), 1, 5000);
    // The refresh runs its own exchange on a new connection, from inside the read handler.
    bool refreshed = false;
    m_host->onUpdate = [&] { refreshed = m_link->SendCommand(core::StatusQuery, "I"); };
    m_sim->setRoute(sim::MatrixSimulator::Video, 1, 2); // a change from elsewhere: "update"
    QTRY_COMPARE_WITH_TIMEOUT(m_host->updates, 1, 5000);
    QVERIFY(refreshed);
    QCOMPARE(m_link->ReceiveBuffer, m_sim->statusReply());
    QCOMPARE(m_sim->connectionCount(), 2);
    QCOMPARE(m_host->panels.value(3), kOnline3);
}

void TestDeviceLink::chatterStaysBounded()
{
    tcpLink();
    QVERIFY(m_link->EnsureTcpConnected());
    QTRY_COMPARE_WITH_TIMEOUT(m_sim->clientCount(), 1, 5000);
    // Three MiB of line noise, an "update" cut in two across reads, then a marker: the
    // buffer keeps its newest part, the notice is seen once, and the marker is found.
    const QByteArray noise(256 * 1024, 'x');
    for (int i = 0; i < 12; ++i)
        m_sim->sendToAll(noise);
    m_sim->sendToAll("...upD");
    m_link->PumpEvents(200); // the first half arrives in a read of its own
    m_sim->sendToAll("aTe...END");
    QVERIFY(m_link->WaitForReply("END", 5000));
    QCOMPARE(m_host->updates, 1);
    QVERIFY(m_link->ReceiveBuffer.size() <= DeviceLink::MaxReceiveBuffer);
    QVERIFY(m_link->ReceiveBuffer.endsWith("...upDaTe...END"));
}

void TestDeviceLink::updateDuringRefreshServedOnceAfter()
{
    Pty pty;
    QVERIFY(QFile::link(pty.slaveName(), appDir() + QStringLiteral("ports/COM2")));
    m_link->setConnection(kSerial, QString(), 5555);
    QVERIFY(m_link->OpenSerialPort(QStringLiteral("COM2")));
    QCOMPARE(pty.read(4, 5000), QByteArray("test"));

    // Each refresh clears the buffer and runs an exchange of its own; during the first one
    // the device announces three more changes.
    m_host->onUpdate = [&] {
        m_link->ReceiveBuffer.clear();
        if (m_host->updates == 1) {
            for (int i = 0; i < 3; ++i) {
                pty.write("update");
                QVERIFY(m_link->WaitForReply("update", 5000));
                m_link->ReceiveBuffer.clear();
            }
        }
        pty.write("I");
        QVERIFY(m_link->WaitForReply("I", 5000));
        if (m_host->updates == 2)
            pty.write("end");
    };
    pty.write("update");
    // An outer wait (a routing wait, say) goes on around the refreshes.
    QVERIFY(m_link->WaitForReply("end", 5000));
    QCOMPARE(m_host->updates, 2);
    QCOMPARE(m_host->maxDepth, 1);
}

void TestDeviceLink::tenThousandUpdatesInARow()
{
    Pty pty;
    QVERIFY(QFile::link(pty.slaveName(), appDir() + QStringLiteral("ports/COM2")));
    m_link->setConnection(kSerial, QString(), 5555);
    QVERIFY(m_link->OpenSerialPort(QStringLiteral("COM2")));
    QCOMPARE(pty.read(4, 5000), QByteArray("test"));

    // Every refresh sees the next announcement arrive during its own wait.
    const int total = 10000;
    m_host->onUpdate = [&] {
        m_link->ReceiveBuffer.clear();
        if (m_host->updates < total) {
            pty.write("update");
            QVERIFY(m_link->WaitForReply("update", 5000));
        }
    };
    pty.write("update");
    QTRY_COMPARE_WITH_TIMEOUT(m_host->updates, total, 60000);
    QCOMPARE(m_host->maxDepth, 1);
}

void TestDeviceLink::splitSequence_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<bool>("dropFirst");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArray>("bufferAfter");
    // Serial clears before each command of a split sequence; TCP once before the first.
    QTest::newRow("serial, all acknowledged") << true << false << true << QByteArray("C0312");
    QTest::newRow("serial, first dropped") << true << true << false << QByteArray("C0312");
    QTest::newRow("tcp, all acknowledged") << false << false << true
                                           << QByteArray("V0312A0312C0312");
    QTest::newRow("tcp, first dropped") << false << true << false << QByteArray("A0312C0312");
}

void TestDeviceLink::splitSequence()
{
    QFETCH(bool, serial);
    QFETCH(bool, dropFirst);
    QFETCH(bool, result);
    QFETCH(QByteArray, bufferAfter);
    m_sim->setVca(true);
    if (serial)
        serialLink();
    else
        tcpLink();
    if (dropFirst)
        m_sim->setDropEcho({"0312V"});
    bool tcpFailed = true;
    QCOMPARE(m_link->sendSequence(vaC(3, 12, "VAC"), false, tcpFailed), result);
    QVERIFY(!tcpFailed);
    QCOMPARE(m_sim->commands(), (QList<QByteArray>{"0312V", "0312A", "0312C"}));
    QCOMPARE(m_link->ReceiveBuffer, bufferAfter);
}

void TestDeviceLink::sequenceOverClosedSerialPort()
{
    m_link->setConnection(kSerial, QString(), 5555); // never opened
    bool tcpFailed = true;
    QVERIFY(!m_link->sendSequence(vaC(3, 12, "V"), false, tcpFailed));
    QVERIFY(!tcpFailed);
    QVERIFY(m_link->sendSequence(vaC(3, 12, "v"), true, tcpFailed)); // unchanged success
    QVERIFY(m_link->sendSequence(vaC(3, 12, "avc"), true, tcpFailed));
    QVERIFY(!m_link->SendCommand("0312V", "V0312"));
    QTest::qWait(50);
    QCOMPARE(m_sim->received(), QByteArray());
}

void TestDeviceLink::sequenceWithoutTcpConnection()
{
    tcpLink(refusedPort());
    bool tcpFailed = false;
    QVERIFY(!m_link->sendSequence(vaC(3, 12, "VA"), false, tcpFailed));
    QVERIFY(tcpFailed);
    QCOMPARE(m_host->boxes, QStringList{QStringLiteral("网络连接失败！")}); // the caller adds its own
}

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "tst_devicelink.moc"
