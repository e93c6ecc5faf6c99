#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;

namespace link {

// The non-blocking TCP client component over QTcpSocket. Opening starts a connection and
// returns at once; the outcome arrives as OnConnect or OnError. OnError passes an error code
// the handler may set to 0 to mark it handled; a code left non-zero raises a SocketError.
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

signals:
    void OnConnect();
    void OnDisconnect();
    void OnRead();
    void OnError(int &errorCode);

private:
    QTcpSocket *m_socket;
    QString m_address;
    int m_port = 0;
};

} // namespace link
