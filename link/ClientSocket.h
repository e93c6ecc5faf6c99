#pragma once

#include "core/PlatformError.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;

namespace link {

class SocketError : public PlatformError
{
public:
    using PlatformError::PlatformError;
};

// The non-blocking TCP client component over QTcpSocket. Opening starts a connection and
// returns at once; the outcome arrives as OnConnect or OnError. OnError passes an error code
// the handler may set to 0 to mark it handled; a code left non-zero raises a SocketError.
// Every notification runs from its own posted event (so a handler may wait and still see
// later events), except the OnDisconnect of Close(), which runs inside Close(). Codes are
// the Windows Sockets numbers the console's messages were written for (10061: refused).
class ClientSocket : public QObject
{
    Q_OBJECT
public:
    explicit ClientSocket(QObject *parent = nullptr);
    ~ClientSocket() override;

    void setAddress(const QString &address) { m_address = address; }
    QString Address() const { return m_address; }
    void setPort(int port) { m_port = port; }
    int Port() const { return m_port; }

    void setActive(bool active); // true: open (asynchronous connect); false: close
    bool Active() const;         // open or connecting
    void Open() { setActive(true); }
    void Close() { setActive(false); }
    bool Connected() const;

    void SendText(const QByteArray &text);
    QByteArray ReceiveText(); // all text received so far, which leaves the socket

    // Error codes passed to OnError.
    enum {
        ErrorAccess = 10013,
        ErrorAddressInUse = 10048,
        ErrorAddressNotAvailable = 10049, // empty or non-literal address, port out of range
        ErrorNetworkUnreachable = 10051,
        ErrorConnectionReset = 10054,
        ErrorNoBuffers = 10055,
        ErrorTimedOut = 10060,
        ErrorConnectionRefused = 10061,
        ErrorHostNotFound = 11001,
        ErrorOther = 10000,
    };
    static int errorCodeFor(QAbstractSocket::SocketError error);

signals:
    void OnConnect();
    void OnDisconnect();
    void OnRead();
    void OnError(int &errorCode);

private:
    void onSocketError(QAbstractSocket::SocketError error);
    void postError(int code, const QString &why);
    void deliverError(int code, const QString &why);

    QTcpSocket *m_socket;
    QString m_address;
    int m_port = 0;
    quint64 m_generation = 0; // one per Open(): stale notifications of an earlier one are dropped
    bool m_closing = false;
    bool m_readPosted = false;
};

} // namespace link
