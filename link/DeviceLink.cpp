#include "link/DeviceLink.h"

#include "core/PlatformError.h"
#include "link/ClientSocket.h"
#include "link/MSComm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace link {

const char *const DeviceLink::Serial = "串口";
const char *const DeviceLink::Network = "网口";
const char *const DeviceLink::Offline = "离线模式";

namespace {

const char *const SerialSettings = "9600,N,8,1  ";

QString linkOkText() { return QStringLiteral("矩阵连接正常!"); }
QString linkFailedText() { return QStringLiteral("矩阵连接失败!"); }

// "COM3" -> 3: blanks trimmed, the first three characters dropped, leading decimal digits
// read; no digits give 0. Numbers past the 16-bit port range give -1 (no such port).
int portNumberFromName(const QString &name)
{
    const QString rest = name.trimmed().mid(3);
    int n = 0;
    for (const QChar c : rest) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        n = n * 10 + (c.unicode() - '0');
        if (n > 32767)
            return -1;
    }
    return n;
}

} // namespace

QString DeviceLink::onlineText() { return QStringLiteral("联机状态:Online"); }
QString DeviceLink::offlineText() { return QStringLiteral("联机状态:Offline"); }

DeviceLink::DeviceLink(LinkHost *host, QObject *parent)
    : QObject(parent), m_host(host), m_comm(new MSComm(this)), m_socket(new ClientSocket(this))
{
    // The main window's serial control is laid out with a receive threshold of 1.
    m_comm->setRThreshold(1);
    connect(m_comm, &MSComm::OnComm, this, &DeviceLink::MSComm1Comm);
    connect(m_socket, &ClientSocket::OnRead, this, &DeviceLink::ClientSocket1Read);
    connect(m_socket, &ClientSocket::OnConnect, this, &DeviceLink::ClientSocket1Connect);
    connect(m_socket, &ClientSocket::OnDisconnect, this, &DeviceLink::ClientSocket1Disconnect);
    connect(m_socket, &ClientSocket::OnError, this, &DeviceLink::ClientSocket1Error);
}

DeviceLink::~DeviceLink()
{
    // The host may already be half torn down: close without telling it.
    disconnect(m_comm, nullptr, this, nullptr);
    disconnect(m_socket, nullptr, this, nullptr);
    m_socket->Close();
    m_comm->setPortOpen(false);
}

void DeviceLink::setAppDirectory(const QString &dir)
{
    m_comm->setAppDirectory(dir);
}

void DeviceLink::setConnection(const QString &comType, const QString &ip, int port)
{
    m_mode = comType;
    m_ip = ip;
    m_port = port;
}

bool DeviceLink::isSerial() const { return m_mode == QString::fromUtf8(Serial); }
bool DeviceLink::isNetwork() const { return m_mode == QString::fromUtf8(Network); }
bool DeviceLink::isOffline() const { return m_mode == QString::fromUtf8(Offline); }

bool DeviceLink::OpenSerialPort(const QString &name)
{
    const int port = portNumberFromName(name);
    try {
        // A port left open would keep its old number: the new one takes effect on reopening.
        m_comm->setPortOpen(false);
        m_comm->setCommPort(port);
        m_comm->setSettings(QString::fromLatin1(SerialSettings));
        m_comm->setPortOpen(true);
        m_comm->setOutBufferCount(0);
        m_comm->setInBufferCount(0);
        m_comm->setSThreshold(0);
        m_comm->setInputMode(0);
        m_comm->setOutput(QByteArray(core::LinkTest));
    } catch (const PlatformError &) {
        m_comm->setPortOpen(false);
        m_host->showInfoBox(linkFailedText());
        m_host->setPanelText(5, linkFailedText());
        return false;
    }
    m_host->setPanelText(5, linkOkText());
    return true;
}

bool DeviceLink::EnsureTcpConnected()
{
    m_socket->Close(); // an open connection runs ClientSocket1Disconnect here
    setOnlineState(false);
    m_socket->setAddress(m_ip);
    m_socket->setPort(m_port);
    m_socket->Open();
    if (!WaitForOnline(m_commTimeout))
        return false;
    return m_socket->Connected();
}

// Every wait's polling loop, asleep between events: events are processed, then the
// condition is tested; the wait ends when it holds or the time is up. A time-out of 0 or
// less ends at once without processing events (a negative one is not a huge unsigned one).
// Each wait has its own loop and deadline, so a wait may run inside another's events.
template <typename Cond>
bool DeviceLink::waitUntil(int ms, Cond cond)
{
    if (ms <= 0)
        return false;
    QElapsedTimer clock;
    clock.start();

    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (cond())
        return true;

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &DeviceLink::activity, &loop, &QEventLoop::quit);
    for (;;) {
        const qint64 left = ms - clock.elapsed();
        if (left <= 0)
            return false;
        deadline.start(static_cast<int>(left));
        // Returns on activity() or at the deadline; at once, with -1, while the application
        // is quitting, which would otherwise turn this into a busy loop until the deadline.
        const int how = loop.exec();
        if (cond())
            return true;
        if (how < 0)
            return false;
    }
}

bool DeviceLink::WaitForOnline(int ms)
{
    return waitUntil(ms, [this] { return m_host->panelText(3).contains(QLatin1String("Online")); });
}

bool DeviceLink::WaitForReply(const QByteArray &expected, int ms)
{
    return waitUntil(ms, [this, &expected] {
        return !expected.isEmpty() && ReceiveBuffer.contains(expected);
    });
}

void DeviceLink::PumpEvents(int ms)
{
    waitUntil(ms, [] { return false; });
}

bool DeviceLink::SendCommand(const QByteArray &command, const QByteArray &expected)
{
    ReceiveBuffer.clear();
    if (isOffline())
        return false;
    if (serialOpen() && isSerial()) {
        writeSerial(command);
        return WaitForReply(expected, m_commTimeout);
    }
    if (isNetwork() && EnsureTcpConnected()) {
        writeTcp(command);
        return WaitForReply(expected, m_commTimeout);
    }
    return false;
}

bool DeviceLink::serialOpen() const
{
    return m_comm->PortOpen();
}

void DeviceLink::writeSerial(const QByteArray &text)
{
    if (m_comm->PortOpen())
        m_comm->setOutput(text);
}

void DeviceLink::writeTcp(const QByteArray &text)
{
    m_socket->SendText(text);
}

bool DeviceLink::sendSequence(const core::CommandSequence &sequence, bool isDisconnect,
                              bool &tcpFailed)
{
    tcpFailed = false;
    bool success = true;
    if (isSerial()) {
        if (!serialOpen())
            return isDisconnect ? success : false;
        if (sequence.empty())
            return false;
        // Single form: the caller cleared the buffer. Split form: each reply from empty.
        const bool split = sequence.size() > 1;
        for (const core::Command &c : sequence) {
            if (split)
                ReceiveBuffer.clear();
            writeSerial(QByteArray::fromStdString(c.text));
            const bool acked = WaitForReply(QByteArray::fromStdString(c.ack), m_commTimeout);
            success = success && acked;
        }
        return success;
    }
    if (isNetwork()) {
        if (sequence.empty())
            return false;
        if (!EnsureTcpConnected()) {
            tcpFailed = true;
            return false;
        }
        ReceiveBuffer.clear(); // once: the echoes of a split sequence accumulate
        for (const core::Command &c : sequence) {
            writeTcp(QByteArray::fromStdString(c.text));
            const bool acked = WaitForReply(QByteArray::fromStdString(c.ack), m_commTimeout);
            success = success && acked;
        }
        return success;
    }
    return false; // offline, or no known link
}

void DeviceLink::closeLinks()
{
    if (m_comm->PortOpen())
        m_comm->setPortOpen(false);
    if (m_socket->Active())
        m_socket->Close();
}

void DeviceLink::MSComm1Comm()
{
    if (m_comm->CommEvent() != MSComm::comEvReceive || m_comm->InBufferCount() == 0)
        return;
    received(m_comm->Input());
}

void DeviceLink::ClientSocket1Read()
{
    // Appended, as on the serial line: a reply split over two reads is still found whole.
    received(m_socket->ReceiveText());
}

void DeviceLink::received(const QByteArray &bytes)
{
    // Only the new text (and the few characters before it that an "update" may straddle)
    // is searched: a device that chatters without end must not cost more with every read.
    qsizetype from = qMax<qsizetype>(0, ReceiveBuffer.size() - 5);
    ReceiveBuffer.append(bytes);
    // A reply is a few hundred bytes; a buffer past this holds line noise, of which only
    // the newest part can matter to a wait.
    if (ReceiveBuffer.size() > MaxReceiveBuffer) {
        const qsizetype drop = ReceiveBuffer.size() - KeptReceiveBuffer;
        ReceiveBuffer.remove(0, drop);
        from = qMax<qsizetype>(0, from - drop);
    }
    emit activity();
    if (QByteArrayView(ReceiveBuffer).sliced(from).toByteArray().toLower().contains("update"))
        updateCheck();
}

void DeviceLink::ClientSocket1Connect()
{
    setOnlineState(true);
}

void DeviceLink::ClientSocket1Disconnect()
{
    setOnlineState(false);
}

void DeviceLink::ClientSocket1Error(int &errorCode)
{
    m_host->showInfoBox(QStringLiteral("网络连接失败！"));
    setOnlineState(false);
    m_host->setPanelText(5, QStringLiteral("网络连接失败"));
    errorCode = 0;
}

void DeviceLink::setOnlineState(bool online)
{
    m_host->setPanelText(3, online ? onlineText() : offlineText());
    emit activity();
}

void DeviceLink::updateCheck()
{
    if (m_inDeviceRefresh) {
        m_updatePending = true; // served by the running refresh's loop below, once
        return;
    }
    struct Guard
    {
        DeviceLink *d;
        ~Guard() { d->m_inDeviceRefresh = d->m_updatePending = false; }
    } guard{this};
    m_inDeviceRefresh = true;
    do {
        m_updatePending = false;
        m_host->deviceUpdate();
    } while (m_updatePending);
}

} // namespace link
