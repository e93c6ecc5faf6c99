// The matrix-sim program: ready lines, options, clean stop on SIGTERM.

#include "Peers.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

const QByteArray kIdent = "SARVELON-SIM V1.0";

// One running matrix-sim, stopped by its pid with SIGTERM.
struct Program
{
    QProcess proc;
    QStringList ready; // the lines printed on stdout when ready
    quint16 port = 0;

    bool start(const QStringList &args, int readyLines = 1)
    {
        proc.start(QStringLiteral(MATRIX_SIM_PATH), args);
        if (!proc.waitForStarted(5000))
            return false;
        while (ready.size() < readyLines) {
            if (!proc.canReadLine() && !proc.waitForReadyRead(5000))
                return false;
            while (proc.canReadLine())
                ready << QString::fromLocal8Bit(proc.readLine()).trimmed();
        }
        const auto m = QRegularExpression("^listening tcp 127\\.0\\.0\\.1:(\\d+)$").match(ready[0]);
        if (m.hasMatch())
            port = quint16(m.captured(1).toUInt());
        return true;
    }

    bool stop()
    {
        if (proc.state() == QProcess::NotRunning)
            return false;
        ::kill(pid_t(proc.processId()), SIGTERM);
        return proc.waitForFinished(5000) && proc.exitStatus() == QProcess::NormalExit
            && proc.exitCode() == 0;
    }

    ~Program()
    {
        if (proc.state() != QProcess::NotRunning) {
            ::kill(pid_t(proc.processId()), SIGKILL);
            proc.waitForFinished(5000);
        }
    }
};

} // namespace

class TstSimProgram : public QObject
{
    Q_OBJECT
private slots:
    void readyLinesAndCleanStop();
    void options_data();
    void options();
    void silent();
    void badOptions_data();
    void badOptions();

private:
    QTemporaryDir tmp;
};

void TstSimProgram::readyLinesAndCleanStop()
{
    const QString link = tmp.filePath("app/ports/COM1");
    Program p;
    QVERIFY(p.start({"--tcp-port", "0", "--pty-link", link, "--inputs", "4", "--outputs", "4"}, 2));
    QVERIFY2(p.port != 0, qPrintable(p.ready.join('|')));
    const auto m = QRegularExpression("^pty (/dev/pts/\\d+) linked at (.+)$").match(p.ready[1]);
    QVERIFY2(m.hasMatch(), qPrintable(p.ready[1]));
    QCOMPARE(m.captured(2), link);
    QCOMPARE(QFileInfo(link).symLinkTarget(), m.captured(1));

    TcpPeer tcp;
    PtyPeer line;
    QVERIFY(tcp.connectTo(p.port));
    QVERIFY(line.open(link));
    QCOMPARE(tcp.exchange("0102V"), "V0102" + kIdent);
    QCOMPARE(line.exchange("0203A"), "update" "A0203" + kIdent);
    QCOMPARE(tcp.exchange(""), "update" + kIdent);

    // Each command on stderr with a time stamp and where it came from.
    line.close();
    QVERIFY(p.stop());
    const QString log = QString::fromLocal8Bit(p.proc.readAllStandardError());
    QVERIFY2(log.contains(QRegularExpression(
                 "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} tcp#1 0102V$",
                 QRegularExpression::MultilineOption)),
             qPrintable(log));
    QVERIFY2(log.contains(QRegularExpression(" pty 0203A$", QRegularExpression::MultilineOption)),
             qPrintable(log));
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TstSimProgram::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("send");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("closes");

    const QByteArray noPresets = "PST:00,00,00,00,00,00,00,00,\r";
    QTest::newRow("size and VCA") << QStringList{"--inputs", "2", "--outputs", "2", "--vca"}
                                  << QByteArray("0102C0203C00#")
                                  << "C0102C0203" + noPresets
                                         + "V00,00,\rA00,00,\rC02,00,\r+0%0&0\rI"
                                  << false;
    QTest::newRow("no audio") << QStringList{"--inputs", "2", "--outputs", "2", "--no-audio"}
                              << QByteArray("0102C0101A00#")
                              << "C0102A0101" + noPresets
                                     + "V02,00,\rA00,00,\rC00,00,\r+0%0&0\rI"
                              << false;
    QTest::newRow("ident") << QStringList{"--ident", "MX 0808"} << QByteArray("I")
                           << QByteArray("MX 0808") << false;
    QTest::newRow("drop-echo repeated")
        << QStringList{"--drop-echo", "0101V", "--drop-echo", "0102V"}
        << QByteArray("0101V0102V0103V") << QByteArray("V0103") << false;
    QTest::newRow("drop-echo list") << QStringList{"--drop-echo", "0101V,0102V"}
                                    << QByteArray("0101V0102V0103V") << QByteArray("V0103")
                                    << false;
    QTest::newRow("delay") << QStringList{"--delay", "100"} << QByteArray("0101V")
                           << QByteArray("V0101") << false;
    QTest::newRow("chunk") << QStringList{"--chunk", "4"} << QByteArray("I") << kIdent << false;
    QTest::newRow("junk") << QStringList{"--junk", "--inputs", "1", "--outputs", "1"}
                          << QByteArray("00#")
                          << "JUNK\r" + noPresets + "V00,\rA00,\rC00,\r+0%0&0\rI" << false;
    QTest::newRow("ident-first") << QStringList{"--ident-first", "100", "--inputs", "1",
                                                "--outputs", "1"}
                                 << QByteArray("00#")
                                 << "I" + noPresets + "V00,\rA00,\rC00,\r+0%0&0\r" << false;
    QTest::newRow("update-every") << QStringList{"--update-every", "30"} << QByteArray()
                                  << QByteArray("updateupdate") << false;
    QTest::newRow("close-after") << QStringList{"--close-after", "1"}
                                 << QByteArray("0101V0102V") << QByteArray("V0101") << true;
}

void TstSimProgram::options()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, send);
    QFETCH(QByteArray, expected);
    QFETCH(bool, closes);

    Program p;
    QVERIFY(p.start(QStringList{"--tcp-port", "0"} + args));
    TcpPeer tcp;
    QVERIFY(tcp.connectTo(p.port));
    tcp.send(send);
    QVERIFY2(tcp.waitForSize(int(expected.size())), tcp.in.constData());
    QCOMPARE(tcp.in.left(expected.size()), expected);
    if (closes) {
        QVERIFY(tcp.waitForClosed());
        QCOMPARE(tcp.in, expected);
    }
    QVERIFY(p.stop());
}

void TstSimProgram::silent()
{
    Program p;
    QVERIFY(p.start({"--tcp-port", "0", "--silent"}));
    TcpPeer tcp;
    QVERIFY(tcp.connectTo(p.port));
    tcp.send("0101V00#I");
    QByteArray log;
    QVERIFY(QTest::qWaitFor([&] {
        log += p.proc.readAllStandardError();
        return log.contains("tcp#1 I\n");
    }, 5000));
    QTest::qWait(200); // anything it did send would have come by now
    QVERIFY2(tcp.in.isEmpty(), tcp.in.constData());
    QVERIFY(p.stop());
}

void TstSimProgram::badOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no inputs") << QStringList{"--inputs", "0"};
    QTest::newRow("too many outputs") << QStringList{"--outputs", "100"};
    QTest::newRow("delay not a number") << QStringList{"--delay", "soon"};
    QTest::newRow("audio both ways") << QStringList{"--audio", "--no-audio"};
    QTest::newRow("port out of range") << QStringList{"--tcp-port", "70000"};
}

void TstSimProgram::badOptions()
{
    QFETCH(QStringList, args);
    QProcess proc;
    proc.start(QStringLiteral(MATRIX_SIM_PATH), args);
    QVERIFY(proc.waitForFinished(5000));
    QCOMPARE(proc.exitCode(), 2);
    QVERIFY(proc.readAllStandardOutput().isEmpty());
    QVERIFY(!proc.readAllStandardError().isEmpty());
}

QTEST_GUILESS_MAIN(TstSimProgram)
#include "tst_sim_program.moc"
