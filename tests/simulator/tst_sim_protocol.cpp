#include "simulator/MatrixSimulator.h"

#include "Peers.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using sim::MatrixSimulator;

namespace {

const QByteArray kIdent = "SARVELON-SIM V1.0";

// "2,0,0": the inputs of outputs 1..n on one layer.
QString layerText(const MatrixSimulator &s, MatrixSimulator::LayerIndex layer)
{
    QStringList parts;
    for (int o = 1; o <= s.outputs(); ++o)
        parts << QString::number(s.route(layer, o));
    return parts.join(',');
}

} // namespace

class TstSimProtocol : public QObject
{
    Q_OBJECT
private slots:
    void echoes_data();
    void echoes();
    void statusReply_data();
    void statusReply();
    void layers_data();
    void layers();
    void presetsFlagsAndReset();
    void logsEveryByteAndCommand();
    void updateGoesToTheOtherClients();

    void faultSilent();
    void faultDropEcho();
    void faultDelay();
    void faultChunks();
    void faultJunkLine();
    void faultIdentFirst();
    void faultUpdateStorm();
    void faultCloseAfter();

    void ptyLine();
    void ptyWithSerialPort();
    void ptyLinkNeverReplacesAFile();

private:
    QTemporaryDir tmp;
};

void TstSimProtocol::echoes_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");

    for (const char *l : {"V", "A", "C", "v", "a", "c"})
        QTest::newRow(l) << QByteArray("0312") + l << QByteArray(l) + "0312";
    QTest::newRow("to every output") << QByteArray("0005C") << QByteArray("C0005");
    QTest::newRow("out of range, still echoed") << QByteArray("9917V") << QByteArray("V9917");
    QTest::newRow("store") << QByteArray("07K") << QByteArray("K07");
    QTest::newRow("recall") << QByteArray("07P") << QByteArray("P07");
    QTest::newRow("preset beyond 32") << QByteArray("40K") << QByteArray("K40");
    QTest::newRow("identification") << QByteArray("I") << kIdent;
    for (const char *silentOne : {"test", "R", "1W", "0W", "1O", "1Q"})
        QTest::newRow(silentOne) << QByteArray(silentOne) << QByteArray();
    QTest::newRow("several at once") << QByteArray("0102V07K1W0203a")
                                     << QByteArray("V0102K07a0203");
}

void TstSimProtocol::echoes()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    MatrixSimulator s;
    QVERIFY(s.listenTcp());
    TcpPeer a;
    QVERIFY(a.connectTo(s.tcpPort()));
    QCOMPARE(a.exchange(command), reply + kIdent);
}

void TstSimProtocol::statusReply_data()
{
    QTest::addColumn<bool>("vca");
    QTest::addColumn<bool>("audio");
    QTest::addColumn<QByteArray>("commands");
    QTest::addColumn<QByteArray>("status");

    QTest::newRow("VCA") << true << true << QByteArray("0102V0203A0304C02K08K1W1Q")
                         << QByteArray("PST:00,01,00,00,00,00,00,01,\r"
                                       "V02,00,00,\rA00,03,00,\rC00,00,04,\r+1%0&1\rI");
    QTest::newRow("other series: C is video and audio")
        << false << true << QByteArray("0102C0304C0203A1O")
        << QByteArray("PST:00,00,00,00,00,00,00,00,\r"
                      "V02,00,04,\rA02,03,04,\rC00,00,00,\r+0%1&0\rI");
    QTest::newRow("no audio") << false << false << QByteArray("0102C0203A1O")
                              << QByteArray("PST:00,00,00,00,00,00,00,00,\r"
                                            "V02,00,00,\rA00,00,00,\rC00,00,00,\r+0%0&0\rI");
}

void TstSimProtocol::statusReply()
{
    QFETCH(bool, vca);
    QFETCH(bool, audio);
    QFETCH(QByteArray, commands);
    QFETCH(QByteArray, status);

    MatrixSimulator s;
    s.setSize(4, 3);
    s.setVca(vca);
    s.setAudio(audio);
    s.setPresetStored(9, true); // only presets 1..8 are reported
    QVERIFY(s.listenTcp());
    TcpPeer a;
    QVERIFY(a.connectTo(s.tcpPort()));
    a.exchange(commands);
    a.send("00#");
    QVERIFY(a.waitFor("\rI"));
    QCOMPARE(a.take(), status);
    QCOMPARE(s.statusReply(), status);
}

void TstSimProtocol::layers_data()
{
    QTest::addColumn<bool>("vca");
    QTest::addColumn<bool>("audio");
    QTest::addColumn<QByteArray>("commands");
    QTest::addColumn<QString>("video");
    QTest::addColumn<QString>("audioLayer");
    QTest::addColumn<QString>("composite");

    // A 4 x 3 matrix.
    QTest::newRow("other: C sets video and audio") << false << true << QByteArray("0102C")
                                                   << "2,0,0" << "2,0,0" << "0,0,0";
    QTest::newRow("other: c clears both") << false << true << QByteArray("0102C0102c")
                                          << "0,0,0" << "0,0,0" << "0,0,0";
    QTest::newRow("other: V and A apart") << false << true << QByteArray("0102V0103A")
                                          << "2,0,0" << "3,0,0" << "0,0,0";
    QTest::newRow("VCA: C is composite only") << true << true << QByteArray("0102C")
                                              << "0,0,0" << "0,0,0" << "2,0,0";
    QTest::newRow("VCA: independent") << true << true << QByteArray("0102V0103A0104C0103a")
                                      << "2,0,0" << "0,0,0" << "4,0,0";
    QTest::newRow("lower case of another input") << true << true << QByteArray("0102V0103v")
                                                 << "2,0,0" << "0,0,0" << "0,0,0";
    QTest::newRow("upper case replaces") << true << true << QByteArray("0102V0103V")
                                         << "3,0,0" << "0,0,0" << "0,0,0";
    QTest::newRow("input 00 clears") << true << true << QByteArray("0102V0100V")
                                     << "0,0,0" << "0,0,0" << "0,0,0";
    QTest::newRow("output 00: every output") << true << true << QByteArray("0004V")
                                             << "4,4,4" << "0,0,0" << "0,0,0";
    QTest::newRow("output 00 lower case: where routed") << true << true
                                                        << QByteArray("0004V0203V0004v")
                                                        << "0,3,0" << "0,0,0" << "0,0,0";
    QTest::newRow("output out of range") << true << true << QByteArray("0402V")
                                         << "0,0,0" << "0,0,0" << "0,0,0";
    QTest::newRow("input out of range") << true << true << QByteArray("0105V0005V")
                                        << "0,0,0" << "0,0,0" << "0,0,0";
    QTest::newRow("no audio: A ignored") << true << false << QByteArray("0102A")
                                         << "0,0,0" << "0,0,0" << "0,0,0";
    QTest::newRow("no audio: C is video") << false << false << QByteArray("0102C")
                                          << "2,0,0" << "0,0,0" << "0,0,0";
}

void TstSimProtocol::layers()
{
    QFETCH(bool, vca);
    QFETCH(bool, audio);
    QFETCH(QByteArray, commands);

    MatrixSimulator s;
    s.setSize(4, 3);
    s.setVca(vca);
    s.setAudio(audio);
    QVERIFY(s.listenTcp());
    TcpPeer a;
    QVERIFY(a.connectTo(s.tcpPort()));
    a.exchange(commands);
    QTEST(layerText(s, MatrixSimulator::Video), "video");
    QTEST(layerText(s, MatrixSimulator::Audio), "audioLayer");
    QTEST(layerText(s, MatrixSimulator::Composite), "composite");
}

void TstSimProtocol::presetsFlagsAndReset()
{
    MatrixSimulator s;
    s.setSize(4, 3);
    s.setVca(true);
    QVERIFY(s.listenTcp());
    TcpPeer a;
    QVERIFY(a.connectTo(s.tcpPort()));

    QCOMPARE(a.exchange("0102V0203A0304C05K"), "V0102A0203C0304K05" + kIdent);
    QVERIFY(s.presetStored(5));
    a.exchange("0000V0000A0000C");
    QCOMPARE(layerText(s, MatrixSimulator::Video), QString("0,0,0"));

    QCOMPARE(a.exchange("06P"), "P06" + kIdent); // not stored: nothing applied
    QCOMPARE(layerText(s, MatrixSimulator::Video), QString("0,0,0"));
    QCOMPARE(a.exchange("05P"), "P05" + kIdent);
    QCOMPARE(layerText(s, MatrixSimulator::Video), QString("2,0,0"));
    QCOMPARE(layerText(s, MatrixSimulator::Audio), QString("0,3,0"));
    QCOMPARE(layerText(s, MatrixSimulator::Composite), QString("0,0,4"));

    a.exchange("1W1O1Q");
    QVERIFY(s.powerSaving() && s.mute() && s.freeze());
    a.exchange("0O2W");
    QVERIFY(s.powerSaving() && !s.mute() && s.freeze());

    a.exchange("R");
    QVERIFY(!s.presetStored(5));
    QVERIFY(!s.powerSaving() && !s.freeze());
    QCOMPARE(s.statusReply(), QByteArray("PST:00,00,00,00,00,00,00,00,\r"
                                         "V00,00,00,\rA00,00,00,\rC00,00,00,\r+0%0&0\rI"));

    s.setIdentification("MX-0808");
    QCOMPARE(a.exchange("", "MX-0808"), QByteArray("MX-0808"));
}

void TstSimProtocol::logsEveryByteAndCommand()
{
    MatrixSimulator s;
    QVERIFY(s.listenTcp());
    QSignalSpy spy(&s, &MatrixSimulator::commandReceived);
    TcpPeer a;
    QVERIFY(a.connectTo(s.tcpPort()));
    a.send("xx03");
    QTRY_COMPARE(s.received(), QByteArray("xx03"));
    a.send("12V\r\n00#");
    QVERIFY(a.waitFor("\rI"));
    QCOMPARE(s.received(), QByteArray("xx0312V\r\n00#"));
    QCOMPARE(s.commands(), (QList<QByteArray>{"0312V", "00#"}));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toByteArray(), QByteArray("0312V"));
    s.clearLog();
    QVERIFY(s.received().isEmpty() && s.commands().isEmpty());
}

void TstSimProtocol::updateGoesToTheOtherClients()
{
    MatrixSimulator s;
    s.setSize(4, 3);
    QVERIFY(s.listenTcp());
    QVERIFY(s.openPty(tmp.filePath("update/COM1")));
    TcpPeer a, b;
    PtyPeer p;
    QVERIFY(a.connectTo(s.tcpPort()));
    QVERIFY(b.connectTo(s.tcpPort()));
    QVERIFY(p.open(tmp.filePath("update/COM1")));
    QTRY_COMPARE(s.clientCount(), 2);
    QSignalSpy changed(&s, &MatrixSimulator::stateChanged);

    // A change from one client: the others hear of it, the client itself does not.
    QCOMPARE(a.exchange("0102V"), "V0102" + kIdent);
    QCOMPARE(b.exchange(""), "update" + kIdent);
    QCOMPARE(p.exchange(""), "update" + kIdent);
    QCOMPARE(changed.count(), 1);

    // The same route again changes nothing: no notice.
    QCOMPARE(a.exchange("0102V0203v"), "V0102v0203" + kIdent);
    QCOMPARE(b.exchange(""), kIdent);
    QCOMPARE(p.exchange(""), kIdent);

    // From the pty side.
    QCOMPARE(p.exchange("1W"), kIdent);
    QCOMPARE(a.exchange(""), "update" + kIdent);
    QCOMPARE(b.exchange(""), "update" + kIdent);

    // From the simulator's own API: everybody.
    s.setRoute(MatrixSimulator::Audio, 3, 4);
    s.setFlags(true, false, false); // no change
    for (Peer *peer : std::initializer_list<Peer *>{&a, &b, &p})
        QCOMPARE(peer->exchange(""), "update" + kIdent);
    QCOMPARE(s.route(MatrixSimulator::Audio, 3), 4);
    QCOMPARE(changed.count(), 3);
}

void TstSimProtocol::faultSilent()
{
    MatrixSimulator s;
    QVERIFY(s.listenTcp());
    s.setSilent(true);
    TcpPeer a;
    QVERIFY(a.connectTo(s.tcpPort()));
    a.send("0102V00#I");
    QTRY_COMPARE(s.commands().size(), 3);
    QCOMPARE(s.route(MatrixSimulator::Video, 1), 2); // acts, but says nothing
    s.setSilent(false);
    QCOMPARE(a.exchange(""), kIdent); // nothing was held back
}

void TstSimProtocol::faultDropEcho()
{
    MatrixSimulator s;
    QVERIFY(s.listenTcp());
    s.setDropEcho({"0102V", "00#"});
    TcpPeer a;
    QVERIFY(a.connectTo(s.tcpPort()));
    QCOMPARE(a.exchange("0102V0103V00#0102V"), "V0103" + kIdent);
    QCOMPARE(s.route(MatrixSimulator::Video, 1), 2);
}

void TstSimProtocol::faultDelay()
{
    MatrixSimulator s;
    QVERIFY(s.listenTcp());
    s.setReplyDelay(150);
    TcpPeer a;
    QVERIFY(a.connectTo(s.tcpPort()));
    QElapsedTimer t;
    t.start();
    a.send("0102V0103V");
    QVERIFY(a.waitFor("V0103"));
    QVERIFY2(t.elapsed() >= 150, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(a.take(), QByteArray("V0102V0103"));
}

void TstSimProtocol::faultChunks()
{
    MatrixSimulator s;
    s.setSize(8, 8);
    QVERIFY(s.listenTcp());
    s.setChunkSize(8);
    TcpPeer a;
    QVERIFY(a.connectTo(s.tcpPort()));
    a.send("00#");
    QVERIFY(a.waitForSize(int(s.statusReply().size())));
    QVERIFY2(a.readSizes.size() >= 2, "the reply came in one read");
    QCOMPARE(a.take(), s.statusReply());
    a.send("0102V");
    QVERIFY(a.waitFor("V0102"));
    QCOMPARE(a.take(), QByteArray("V0102"));
}

void TstSimProtocol::faultJunkLine()
{
    MatrixSimulator s;
    QVERIFY(s.listenTcp());
    s.setJunkLine("JUNK");
    TcpPeer a;
    QVERIFY(a.connectTo(s.tcpPort()));
    const QByteArray got = a.exchange("0102V00#");
    QCOMPARE(got, "V0102JUNK\r" + s.statusReply() + kIdent);
}

void TstSimProtocol::faultIdentFirst()
{
    MatrixSimulator s;
    s.setSize(4, 2);
    QVERIFY(s.listenTcp());
    s.setIdentFirst(300);
    TcpPeer a;
    QVERIFY(a.connectTo(s.tcpPort()));
    a.send("00#");
    QVERIFY(a.waitForSize(1));
    QCOMPARE(a.in, QByteArray("I"));
    QVERIFY(a.waitFor("&0\r"));
    QCOMPARE(a.take(), "I" + s.statusReply().chopped(1));
}

void TstSimProtocol::faultUpdateStorm()
{
    MatrixSimulator s;
    QVERIFY(s.listenTcp());
    QVERIFY(s.openPty(tmp.filePath("storm/COM1")));
    TcpPeer a;
    PtyPeer p;
    QVERIFY(a.connectTo(s.tcpPort()));
    QVERIFY(p.open(tmp.filePath("storm/COM1")));
    s.setUpdateInterval(40);
    QVERIFY(QTest::qWaitFor([&] { return a.in.count("update") >= 2; }, 3000));
    QVERIFY(QTest::qWaitFor([&] { return p.in.count("update") >= 2; }, 3000));
    s.setUpdateInterval(0);
    QVERIFY(a.in.replace("update", "").isEmpty());
}

void TstSimProtocol::faultCloseAfter()
{
    MatrixSimulator s;
    QVERIFY(s.listenTcp());
    QVERIFY(s.openPty(tmp.filePath("close/COM1")));
    s.setCloseAfter(2);
    TcpPeer a;
    QVERIFY(a.connectTo(s.tcpPort()));
    a.send("0102V0103V0104V");
    QVERIFY(a.waitForClosed());
    QCOMPARE(a.in, QByteArray("V0102V0103")); // both answered, the third not served
    QCOMPARE(s.commands(), (QList<QByteArray>{"0102V", "0103V"}));
    QCOMPARE(s.route(MatrixSimulator::Video, 1), 3);
    QTRY_COMPARE(s.clientCount(), 0);

    // Counted per connection: a new one is served again.
    TcpPeer b;
    QVERIFY(b.connectTo(s.tcpPort()));
    QCOMPARE(b.exchange("0101V"), "V0101" + kIdent);
    QVERIFY(b.waitForClosed());
    QCOMPARE(s.connectionCount(), 2);

    // The serial line has no connection to close.
    PtyPeer p;
    QVERIFY(p.open(tmp.filePath("close/COM1")));
    QCOMPARE(p.exchange("0102V0103V0104V"), "V0102V0103V0104" + kIdent);
}

void TstSimProtocol::ptyLine()
{
    const QString link = tmp.filePath("line/ports/COM1"); // folder made on demand
    QVERIFY(QDir().mkpath(tmp.filePath("line/ports")));
    QVERIFY(QFile::link("/nonexistent/ttyX", link)); // an old link is replaced

    MatrixSimulator s;
    QVERIFY(s.openPty(link));
    QVERIFY(s.ptySlaveName().startsWith("/dev/pts/"));
    QCOMPARE(QFileInfo(link).symLinkTarget(), s.ptySlaveName());

    // Notices sent while nobody has the line open are lost, as on a wire, not kept for later.
    s.setRoute(MatrixSimulator::Video, 1, 2);
    PtyPeer p;
    QVERIFY(p.open(link));
    p.send("0312V");
    QVERIFY(p.waitFor("V0312"));
    QCOMPARE(p.take(), QByteArray("V0312"));

    // Closing and reopening the line keeps it working: the master does not hang up.
    p.close();
    s.setRoute(MatrixSimulator::Video, 1, 3);
    QVERIFY(p.open(link));
    QCOMPARE(p.exchange("0312v"), "v0312" + kIdent);
    QCOMPARE(s.received(), QByteArray("0312V0312vI"));

    s.closeAll();
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(s.ptySlaveName().isEmpty());
}

void TstSimProtocol::ptyWithSerialPort()
{
    const QString link = tmp.filePath("serial/COM2");
    MatrixSimulator s;
    QVERIFY(s.openPty(link));
    QSerialPort port(link);
    port.setBaudRate(9600);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    port.write("0312V00#");
    QByteArray in;
    QVERIFY(QTest::qWaitFor([&] { in += port.readAll(); return in.endsWith("\rI"); }, 3000));
    QCOMPARE(in, "V0312" + s.statusReply());
    port.close();
}

void TstSimProtocol::ptyLinkNeverReplacesAFile()
{
    const QString path = tmp.filePath("file-COM3");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("keep");
    f.close();
    MatrixSimulator s;
    QVERIFY(!s.openPty(path));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("keep"));
}

QTEST_GUILESS_MAIN(TstSimProtocol)
#include "tst_sim_protocol.moc"
