#include "link/ClientSocket.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using link::ClientSocket;

// The TCP client component against a real loopback server.
class TestClientSocket : public QObject
{
    Q_OBJECT

    // A loopback port nothing listens on: bound, then released.
    static quint16 refusedPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        return port;
    }

private slots:
    void connectSendReceive();
    void closeReportsDisconnectAtOnce();
    void closeWhileConnectingReportsNothing();
    void peerCloseIsADisconnect();
    void refusedConnection();
    void unusableAddress_data();
    void unusableAddress();
    void unhandledErrorRaises();
};

void TestClientSocket::connectSendReceive()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    ClientSocket client;
    QSignalSpy connects(&client, &ClientSocket::OnConnect);
    QSignalSpy reads(&client, &ClientSocket::OnRead);
    client.setAddress(QStringLiteral("127.0.0.1"));
    client.setPort(server.serverPort());
    client.Open();
    QVERIFY(client.Active());
    QCOMPARE(connects.count(), 0); // asynchronous: never inside Open()
    QTRY_COMPARE_WITH_TIMEOUT(connects.count(), 1, 5000);
    QVERIFY(client.Connected());

    QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 5000);
    QPointer<QTcpSocket> peer = server.nextPendingConnection();
    client.SendText("0312V");
    QByteArray got;
    QTRY_VERIFY_WITH_TIMEOUT((got += peer->readAll()) == "0312V", 5000);

    QByteArray received;
    connect(&client, &ClientSocket::OnRead, this, [&] { received += client.ReceiveText(); });
    peer->write("V03");
    QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("V03"), 5000);
    peer->write("12");
    QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("V0312"), 5000);
    QVERIFY(reads.count() >= 2);
}

void TestClientSocket::closeReportsDisconnectAtOnce()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    ClientSocket client;
    QSignalSpy connects(&client, &ClientSocket::OnConnect);
    QSignalSpy disconnects(&client, &ClientSocket::OnDisconnect);
    int errors = 0;
    connect(&client, &ClientSocket::OnError, this, [&](int &code) { ++errors, code = 0; });
    client.setAddress(QStringLiteral("127.0.0.1"));
    client.setPort(server.serverPort());
    for (int round = 1; round <= 2; ++round) {
        client.Open();
        QTRY_COMPARE_WITH_TIMEOUT(connects.count(), round, 5000);
        client.Close();
        QCOMPARE(disconnects.count(), round); // already, inside Close()
        QVERIFY(!client.Active());
        QVERIFY(!client.Connected());
    }
    QTest::qWait(20); // nothing of a closed connection turns up later
    QCOMPARE(disconnects.count(), 2);
    QCOMPARE(connects.count(), 2);
    QCOMPARE(errors, 0);
    client.Close(); // closing a closed client is nothing
    QCOMPARE(disconnects.count(), 2);
}

void TestClientSocket::closeWhileConnectingReportsNothing()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    ClientSocket client;
    QSignalSpy connects(&client, &ClientSocket::OnConnect);
    QSignalSpy disconnects(&client, &ClientSocket::OnDisconnect);
    client.setAddress(QStringLiteral("127.0.0.1"));
    client.setPort(server.serverPort());
    client.Open();
    client.Close(); // before any event ran: the connect of the closed attempt is dropped
    QTest::qWait(20);
    QCOMPARE(connects.count(), 0);
    QCOMPARE(disconnects.count(), 0);
}

void TestClientSocket::peerCloseIsADisconnect()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    ClientSocket client;
    QSignalSpy disconnects(&client, &ClientSocket::OnDisconnect);
    int errors = 0;
    connect(&client, &ClientSocket::OnError, this, [&](int &code) { ++errors, code = 0; });
    QByteArray received;
    connect(&client, &ClientSocket::OnRead, this, [&] { received += client.ReceiveText(); });
    client.setAddress(QStringLiteral("127.0.0.1"));
    client.setPort(server.serverPort());
    client.Open();
    QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 5000);
    QTcpSocket *peer = server.nextPendingConnection();
    QTRY_VERIFY_WITH_TIMEOUT(client.Connected(), 5000);
    peer->write("P07");
    peer->disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(disconnects.count(), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("P07"), 5000);
    QCOMPARE(errors, 0);
    QVERIFY(!client.Active());
}

void TestClientSocket::refusedConnection()
{
    ClientSocket client;
    QList<int> codes;
    connect(&client, &ClientSocket::OnError, this, [&](int &code) {
        codes << code;
        code = 0;
    });
    QSignalSpy connects(&client, &ClientSocket::OnConnect);
    client.setAddress(QStringLiteral("127.0.0.1"));
    client.setPort(refusedPort());
    client.Open();
    QTRY_COMPARE_WITH_TIMEOUT(codes.size(), 1, 5000);
    QCOMPARE(codes.first(), int(ClientSocket::ErrorConnectionRefused));
    QVERIFY(!client.Active());
    QTest::qWait(20);
    QCOMPARE(codes.size(), 1);
    QCOMPARE(connects.count(), 0);
}

void TestClientSocket::unusableAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::newRow("empty address") << QString() << 5555;
    QTest::newRow("blank address") << QStringLiteral("   ") << 5555;
    QTest::newRow("name, not looked up") << QStringLiteral("matrix.invalid") << 5555;
    QTest::newRow("port 0") << QStringLiteral("127.0.0.1") << 0;
    QTest::newRow("negative port") << QStringLiteral("127.0.0.1") << -1;
    QTest::newRow("port past 65535") << QStringLiteral("127.0.0.1") << 70000;
}

void TestClientSocket::unusableAddress()
{
    QFETCH(QString, address);
    QFETCH(int, port);
    ClientSocket client;
    QList<int> codes;
    connect(&client, &ClientSocket::OnError, this, [&](int &code) {
        codes << code;
        code = 0;
    });
    client.setAddress(address);
    client.setPort(port);
    client.Open();
    QVERIFY(!client.Active()); // no connection is even attempted
    QVERIFY(codes.isEmpty());  // the refusal arrives as an event, like any connect error
    QTRY_COMPARE_WITH_TIMEOUT(codes.size(), 1, 5000);
    QCOMPARE(codes.first(), int(ClientSocket::ErrorAddressNotAvailable));
}

void TestClientSocket::unhandledErrorRaises()
{
    ClientSocket client;
    int seen = 0;
    connect(&client, &ClientSocket::OnError, this, [&](int &) { ++seen; }); // leaves the code
    client.setAddress(QString());
    client.setPort(5555);
    client.Open();
    // The notification's own event raises it, where the application's dispatch shows it.
    bool raised = false;
    try {
        QCoreApplication::sendPostedEvents(&client, QEvent::MetaCall);
    } catch (const link::SocketError &e) {
        raised = true;
        QVERIFY(QByteArray(e.what()).contains("10049"));
    }
    QVERIFY(raised);
    QCOMPARE(seen, 1);
}

QTEST_GUILESS_MAIN(TestClientSocket)
#include "tst_clientsocket.moc"
