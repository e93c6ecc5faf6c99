#include "link/ClientSocket.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QNetworkProxy>
#include <QTcpSocket>

namespace link {

ClientSocket::ClientSocket(QObject *parent) : QObject(parent), m_socket(new QTcpSocket(this))
{
    // Loopback and plain addresses only: no proxy is ever consulted.
    m_socket->setProxy(QNetworkProxy::NoProxy);

    connect(m_socket, &QTcpSocket::connected, this, [this] {
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        const quint64 generation = m_generation;
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == m_generation)
                    emit OnConnect();
            },
            Qt::QueuedConnection);
    });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        if (m_closing)
            return; // Close() reports it itself
        const quint64 generation = m_generation;
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == m_generation)
                    emit OnDisconnect();
            },
            Qt::QueuedConnection);
    });
    connect(m_socket, &QTcpSocket::readyRead, this, [this] {
        if (m_readPosted)
            return;
        m_readPosted = true;
        const quint64 generation = m_generation;
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation != m_generation)
                    return;
                m_readPosted = false;
                if (m_socket->bytesAvailable() > 0)
                    emit OnRead();
            },
            Qt::QueuedConnection);
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, &ClientSocket::onSocketError);
}

ClientSocket::~ClientSocket()
{
    disconnect(m_socket, nullptr, this, nullptr);
    m_socket->abort();
}

bool ClientSocket::Active() const
{
    return m_socket->state() != QAbstractSocket::UnconnectedState;
}

bool ClientSocket::Connected() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

void ClientSocket::setActive(bool active)
{
    if (!active) {
        // Nothing of the connection being closed is reported after this point.
        ++m_generation;
        m_readPosted = false;
        if (m_socket->state() == QAbstractSocket::UnconnectedState)
            return;
        const bool wasConnected = m_socket->state() == QAbstractSocket::ConnectedState;
        m_closing = true;
        m_socket->abort();
        m_closing = false;
        // QTcpSocket emits disconnected() inside abort() only in some states; the link
        // relies on OnDisconnect having run when Close() returns, so it is raised here.
        if (wasConnected)
            emit OnDisconnect();
        return;
    }

    if (Active())
        return;
    ++m_generation;
    m_readPosted = false;
    // The address is used as given: a numeric address, never a name to look up.
    QHostAddress address;
    const QString text = m_address.trimmed();
    if (text.isEmpty() || !address.setAddress(text)) {
        postError(ErrorAddressNotAvailable,
                  text.isEmpty() ? QStringLiteral("no address given")
                                 : QStringLiteral("\"%1\" is not a numeric address").arg(text));
        return;
    }
    if (m_port < 1 || m_port > 65535) {
        postError(ErrorAddressNotAvailable, QStringLiteral("port %1 is out of range").arg(m_port));
        return;
    }
    m_socket->connectToHost(address, static_cast<quint16>(m_port));
}

void ClientSocket::SendText(const QByteArray &text)
{
    if (!Connected() || text.isEmpty())
        return;
    m_socket->write(text);
    m_socket->flush(); // to the kernel now, not on the next event loop pass
}

QByteArray ClientSocket::ReceiveText()
{
    return m_socket->readAll();
}

int ClientSocket::errorCodeFor(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return ErrorConnectionRefused;
    case QAbstractSocket::RemoteHostClosedError: return ErrorConnectionReset;
    case QAbstractSocket::HostNotFoundError: return ErrorHostNotFound;
    case QAbstractSocket::SocketAccessError: return ErrorAccess;
    case QAbstractSocket::SocketResourceError: return ErrorNoBuffers;
    case QAbstractSocket::SocketTimeoutError: return ErrorTimedOut;
    case QAbstractSocket::NetworkError: return ErrorNetworkUnreachable;
    case QAbstractSocket::AddressInUseError: return ErrorAddressInUse;
    case QAbstractSocket::SocketAddressNotAvailableError: return ErrorAddressNotAvailable;
    default: return ErrorOther;
    }
}

void ClientSocket::onSocketError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError)
        return; // the peer closed: reported as OnDisconnect
    postError(errorCodeFor(error), m_socket->errorString());
}

void ClientSocket::postError(int code, const QString &why)
{
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation, code, why] {
            if (generation == m_generation)
                deliverError(code, why);
        },
        Qt::QueuedConnection);
}

void ClientSocket::deliverError(int code, const QString &why)
{
    int errorCode = code;
    emit OnError(errorCode);
    if (errorCode != 0) {
        // Raised from the notification's own event, so the application's dispatch shows it.
        throw SocketError(QStringLiteral("Socket error %1 (%2:%3): %4")
                              .arg(errorCode)
                              .arg(m_address)
                              .arg(m_port)
                              .arg(why)
                              .toStdString());
    }
}

} // namespace link
