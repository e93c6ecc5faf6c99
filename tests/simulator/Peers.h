#pragma once

// The far end of a matrix line in tests: a loopback TCP client or the slave end of the
// simulator's pseudo-terminal, opened through its link. Both collect what arrives.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QSocketNotifier>
#include <QString>
#include <QTcpSocket>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <termios.h>
#include <unistd.h>

class Peer
{
public:
    virtual ~Peer() = default;
    virtual void send(const QByteArray &bytes) = 0;

    QByteArray in;          // everything received and not yet taken
    QList<int> readSizes;   // size of each read, in order

    bool waitFor(const QByteArray &needle, int ms = 3000)
    {
        return QTest::qWaitFor([&] { return in.contains(needle); }, ms);
    }
    bool waitForSize(int n, int ms = 3000)
    {
        return QTest::qWaitFor([&] { return in.size() >= n; }, ms);
    }
    QByteArray take()
    {
        QByteArray r = in;
        in.clear();
        readSizes.clear();
        return r;
    }
    // Sends bytes followed by "I" and returns everything up to and including the
    // identification answer: as replies come in order, this is exactly what the bytes got.
    QByteArray exchange(const QByteArray &bytes, const QByteArray &ident = "SARVELON-SIM V1.0")
    {
        send(bytes + "I");
        if (!waitFor(ident))
            return "<no answer: " + in + ">";
        return take();
    }

protected:
    void got(const QByteArray &data)
    {
        if (data.isEmpty())
            return;
        in += data;
        readSizes << int(data.size());
    }
};

class TcpPeer : public Peer
{
public:
    bool connectTo(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { got(socket.readAll()); });
        socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; },
                               3000);
    }
    void send(const QByteArray &bytes) override
    {
        socket.write(bytes);
        socket.flush();
    }
    bool waitForClosed(int ms = 3000)
    {
        return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; },
                               ms);
    }

    QTcpSocket socket;
};

class PtyPeer : public Peer
{
public:
    ~PtyPeer() override { close(); }

    // Opens the line as a serial program would: through the link, raw, no echo.
    bool open(const QString &path)
    {
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return false;
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
        notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] {
            char buf[4096];
            ssize_t n;
            while ((n = ::read(fd, buf, sizeof buf)) > 0)
                got(QByteArray(buf, int(n)));
        });
        return true;
    }
    void close()
    {
        notifier.reset();
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    void send(const QByteArray &bytes) override
    {
        [[maybe_unused]] ssize_t n = ::write(fd, bytes.constData(), size_t(bytes.size()));
    }

    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
};
