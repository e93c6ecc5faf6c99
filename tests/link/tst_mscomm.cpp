#include "Pty.h"
#include "link/MSComm.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using link::MSComm;

// The serial component against a real pseudo-terminal linked at <appDir>ports/COM1.
class TestMSComm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString appDir() const { return m_dir.path() + QLatin1Char('/'); }
    void linkPort(int n, const QString &target)
    {
        QDir().mkpath(appDir() + QStringLiteral("ports"));
        const QString link = appDir() + QStringLiteral("ports/COM%1").arg(n);
        QFile::remove(link);
        QVERIFY(QFile::link(target, link));
    }

private slots:
    void settings_data();
    void settings();
    void devicePath();
    void openFailures_data();
    void openFailures();
    void receiveAndSend();
    void thresholdZeroRaisesNoEvent();
    void reopenKeepsSettings();
    void clearingInputDiscardsIt();
    void vanishedDeviceClosesPort();
};

void TestMSComm::settings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("baud");
    QTest::addColumn<char>("parity");
    QTest::addColumn<int>("data");
    QTest::addColumn<int>("stop");

    QTest::newRow("console form") << "9600,N,8,1  " << true << 9600 << 'N' << 8 << 1;
    QTest::newRow("blanks in fields") << " 19200 , e , 7 , 2 " << true << 19200 << 'E' << 7 << 2;
    QTest::newRow("odd 1.5") << "4800,O,8,1.5" << true << 4800 << 'O' << 8 << 3;
    QTest::newRow("mark") << "115200,M,5,1" << true << 115200 << 'M' << 5 << 1;
    QTest::newRow("space") << "1200,S,6,2" << true << 1200 << 'S' << 6 << 2;
    QTest::newRow("empty") << "" << false << 0 << 'N' << 0 << 0;
    QTest::newRow("baud only") << "9600" << false << 0 << 'N' << 0 << 0;
    QTest::newRow("three fields") << "9600,N,8" << false << 0 << 'N' << 0 << 0;
    QTest::newRow("five fields") << "9600,N,8,1,1" << false << 0 << 'N' << 0 << 0;
    QTest::newRow("baud not a number") << "fast,N,8,1" << false << 0 << 'N' << 0 << 0;
    QTest::newRow("baud zero") << "0,N,8,1" << false << 0 << 'N' << 0 << 0;
    QTest::newRow("baud negative") << "-9600,N,8,1" << false << 0 << 'N' << 0 << 0;
    QTest::newRow("parity unknown") << "9600,X,8,1" << false << 0 << 'N' << 0 << 0;
    QTest::newRow("parity word") << "9600,NO,8,1" << false << 0 << 'N' << 0 << 0;
    QTest::newRow("data bits 9") << "9600,N,9,1" << false << 0 << 'N' << 0 << 0;
    QTest::newRow("data bits 4") << "9600,N,4,1" << false << 0 << 'N' << 0 << 0;
    QTest::newRow("stop bits 3") << "9600,N,8,3" << false << 0 << 'N' << 0 << 0;
    QTest::newRow("stop bits empty") << "9600,N,8," << false << 0 << 'N' << 0 << 0;
}

void TestMSComm::settings()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    MSComm comm;
    comm.setSettings(QStringLiteral("2400,E,7,2")); // a pty takes 8 bits, no parity only
    if (!valid) {
        QVERIFY_THROWS_EXCEPTION(link::SerialError, comm.setSettings(text));
        // The previous settings stand.
        QCOMPARE(comm.Settings(), QStringLiteral("2400,E,7,2"));
        QCOMPARE(comm.baudRate(), 2400);
        QCOMPARE(comm.parity(), 'E');
        return;
    }
    comm.setSettings(text);
    QCOMPARE(comm.Settings(), text); // kept as written
    QFETCH(int, baud);
    QFETCH(char, parity);
    QFETCH(int, data);
    QFETCH(int, stop);
    QCOMPARE(comm.baudRate(), baud);
    QCOMPARE(comm.parity(), parity);
    QCOMPARE(comm.dataBits(), data);
    QCOMPARE(comm.stopBits(), stop);
}

void TestMSComm::devicePath()
{
    Pty pty;
    QVERIFY(pty.isOpen());
    linkPort(1, pty.slaveName());
    MSComm comm;
    comm.setAppDirectory(m_dir.path()); // the trailing "/" is added
    comm.setCommPort(1);
    QCOMPARE(comm.devicePath(), pty.slaveName());
    comm.setCommPort(4);
    QCOMPARE(comm.devicePath(), QStringLiteral("/dev/ttyS3"));
    comm.setCommPort(0);
    QCOMPARE(comm.devicePath(), QString());
}

void TestMSComm::openFailures_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("linkTarget"); // empty: no link
    QTest::addColumn<QString>("warning");

    QTest::newRow("port 0") << 0 << QString() << "COM0: no such port";
    QTest::newRow("negative port") << -1 << QString() << "COM-1: no such port";
    QTest::newRow("dangling link") << 7 << "/nonexistent/ttyX"
                                   << "COM7 \\(/nonexistent/ttyX\\): cannot open: no such device";
    QTest::newRow("no ttyS") << 300 << QString()
                             << "COM300 \\(/dev/ttyS299\\): cannot open: no such device";
}

void TestMSComm::openFailures()
{
    QFETCH(int, port);
    QFETCH(QString, linkTarget);
    QFETCH(QString, warning);
    if (!linkTarget.isEmpty())
        linkPort(port, linkTarget);
    MSComm comm;
    comm.setAppDirectory(appDir());
    comm.setCommPort(port);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
    QVERIFY_THROWS_EXCEPTION(link::SerialError, comm.setPortOpen(true));
    QVERIFY(!comm.PortOpen());
}

void TestMSComm::receiveAndSend()
{
    Pty pty;
    QVERIFY(pty.isOpen());
    linkPort(1, pty.slaveName());
    MSComm comm;
    comm.setAppDirectory(appDir());
    comm.setCommPort(1);
    comm.setSettings(QStringLiteral("9600,N,8,1  "));
    comm.setRThreshold(1);
    comm.setPortOpen(true);
    QVERIFY(comm.PortOpen());

    QByteArray received;
    QSignalSpy events(&comm, &MSComm::OnComm);
    connect(&comm, &MSComm::OnComm, this, [&] {
        QCOMPARE(comm.CommEvent(), int(MSComm::comEvReceive));
        QVERIFY(comm.InBufferCount() > 0);
        received += comm.Input();
        QCOMPARE(comm.InBufferCount(), 0);
    });
    pty.write("V03");
    QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("V03"), 5000);
    pty.write("12\r\xb8\xfc"); // bytes pass unchanged, CR and non-ASCII included
    QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("V0312\r\xb8\xfc"), 5000);
    QVERIFY(events.count() >= 2);

    comm.setOutput("0312V");
    QCOMPARE(pty.read(5, 5000), QByteArray("0312V"));
    comm.setPortOpen(false);
    QVERIFY(!comm.PortOpen());
    comm.setOutput("lost"); // closed: nothing is written
    QCOMPARE(pty.read(1, 50), QByteArray());
}

void TestMSComm::thresholdZeroRaisesNoEvent()
{
    Pty pty;
    linkPort(1, pty.slaveName());
    MSComm comm;
    comm.setAppDirectory(appDir());
    comm.setCommPort(1);
    QCOMPARE(comm.RThreshold(), 0); // the component's own default
    comm.setPortOpen(true);
    QSignalSpy events(&comm, &MSComm::OnComm);
    pty.write("I");
    QTRY_VERIFY_WITH_TIMEOUT(comm.InBufferCount() > 0, 5000);
    QCoreApplication::processEvents();
    QCOMPARE(events.count(), 0);
    QCOMPARE(comm.Input(), QByteArray("I"));
}

void TestMSComm::reopenKeepsSettings()
{
    Pty pty;
    linkPort(2, pty.slaveName());
    MSComm comm;
    comm.setAppDirectory(appDir());
    comm.setCommPort(2);
    comm.setSettings(QStringLiteral("19200,N,8,2"));
    comm.setRThreshold(1);
    comm.setSThreshold(0);
    comm.setPortOpen(true);
    comm.setPortOpen(false);
    comm.setPortOpen(true); // PortOpen alone, as the tools do
    QVERIFY(comm.PortOpen());
    QCOMPARE(comm.CommPort(), 2);
    QCOMPARE(comm.Settings(), QStringLiteral("19200,N,8,2"));
    QCOMPARE(comm.baudRate(), 19200);
    QCOMPARE(comm.RThreshold(), 1);
    QSignalSpy events(&comm, &MSComm::OnComm);
    pty.write("K07");
    QTRY_VERIFY_WITH_TIMEOUT(events.count() > 0, 5000);
    QCOMPARE(comm.Input(), QByteArray("K07"));
}

void TestMSComm::clearingInputDiscardsIt()
{
    Pty pty;
    linkPort(1, pty.slaveName());
    MSComm comm;
    comm.setAppDirectory(appDir());
    comm.setCommPort(1);
    comm.setPortOpen(true);
    pty.write("stale");
    QTRY_VERIFY_WITH_TIMEOUT(comm.InBufferCount() == 5, 5000);
    comm.setInBufferCount(0);
    QCOMPARE(comm.InBufferCount(), 0);
    QCOMPARE(comm.Input(), QByteArray());
    pty.write("new");
    QTRY_COMPARE_WITH_TIMEOUT(comm.InBufferCount(), 3, 5000);
    QCOMPARE(comm.Input(), QByteArray("new"));
}

void TestMSComm::vanishedDeviceClosesPort()
{
    Pty pty;
    linkPort(1, pty.slaveName());
    MSComm comm;
    comm.setAppDirectory(appDir());
    comm.setCommPort(1);
    comm.setRThreshold(1);
    comm.setPortOpen(true);
    QByteArray received;
    connect(&comm, &MSComm::OnComm, this, [&] { received += comm.Input(); });
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("COM1 .*closing it"));
    pty.write("last");
    QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("last"), 5000);
    pty.closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(!comm.PortOpen(), 5000);
}

QTEST_GUILESS_MAIN(TestMSComm)
#include "tst_mscomm.moc"
