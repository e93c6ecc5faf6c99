#include "link/MSComm.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSerialPort>
#include <QStringList>
#include <QtDebug>


namespace link {

namespace {

// Parses "9600,N,8,1" (blanks around the text and its fields allowed) or throws.
struct ParsedSettings
{
    int baud = 9600;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
};

[[noreturn]] void badSettings(const QString &settings, const char *why)
{
    throw SerialError(QStringLiteral("Invalid serial settings \"%1\": %2")
                          .arg(settings, QLatin1String(why))
                          .toStdString());
}

ParsedSettings parseSettings(const QString &settings)
{
    const QStringList fields = settings.trimmed().split(QLatin1Char(','));
    if (fields.size() != 4)
        badSettings(settings, "expected baud,parity,data bits,stop bits");
    ParsedSettings p;
    bool ok = false;
    const QString baud = fields[0].trimmed();
    p.baud = baud.toInt(&ok);
    if (!ok || p.baud <= 0 || baud.startsWith(QLatin1Char('+')))
        badSettings(settings, "baud rate is not a positive number");

    const QString parity = fields[1].trimmed().toUpper();
    if (parity.size() != 1 || !QStringLiteral("NEOMS").contains(parity[0]))
        badSettings(settings, "parity is not one of N, E, O, M, S");
    p.parity = parity[0].toLatin1();

    const QString data = fields[2].trimmed();
    p.dataBits = data.toInt(&ok);
    if (!ok || data.size() != 1 || p.dataBits < 5 || p.dataBits > 8)
        badSettings(settings, "data bits are not 5 to 8");

    const QString stop = fields[3].trimmed();
    if (stop == QLatin1String("1"))
        p.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        p.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        p.stopBits = QSerialPort::TwoStop;
    else
        badSettings(settings, "stop bits are not 1, 1.5 or 2");
    return p;
}

QSerialPort::Parity toParity(char c)
{
    switch (c) {
    case 'E': return QSerialPort::EvenParity;
    case 'O': return QSerialPort::OddParity;
    case 'M': return QSerialPort::MarkParity;
    case 'S': return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

} // namespace

MSComm::MSComm(QObject *parent)
    : QObject(parent), m_port(new QSerialPort(this)), m_settings(QStringLiteral("9600,N,8,1"))
{
    connect(m_port, &QSerialPort::readyRead, this, &MSComm::onReadyRead);
    connect(m_port, &QSerialPort::errorOccurred, this, &MSComm::onPortError);
}

MSComm::~MSComm()
{
    if (m_port->isOpen())
        m_port->close();
}

void MSComm::setAppDirectory(const QString &dir)
{
    m_appDirectory = dir;
    if (!m_appDirectory.isEmpty() && !m_appDirectory.endsWith(QLatin1Char('/')))
        m_appDirectory += QLatin1Char('/');
}

QString MSComm::devicePath() const
{
    if (m_commPort <= 0)
        return QString();
    QString dir = m_appDirectory;
    if (dir.isEmpty() && QCoreApplication::instance())
        dir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    if (!dir.isEmpty()) {
        const QString link = dir + QStringLiteral("ports/COM%1").arg(m_commPort);
        const QFileInfo info(link);
        if (info.isSymLink())
            return info.symLinkTarget(); // may dangle: the open then fails as a missing device
        if (info.exists())
            return link;
    }
    return QStringLiteral("/dev/ttyS%1").arg(m_commPort - 1);
}

void MSComm::setSettings(const QString &settings)
{
    const ParsedSettings p = parseSettings(settings);
    m_settings = settings;
    m_baud = p.baud;
    m_parity = p.parity;
    m_dataBits = p.dataBits;
    m_stopBits = p.stopBits;
    if (m_port->isOpen())
        applySettings();
}

void MSComm::applySettings()
{
    const bool ok = m_port->setBaudRate(m_baud) && m_port->setParity(toParity(m_parity))
                    && m_port->setDataBits(static_cast<QSerialPort::DataBits>(m_dataBits))
                    && m_port->setStopBits(static_cast<QSerialPort::StopBits>(m_stopBits))
                    && m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
        const QString why = m_port->errorString();
        throw SerialError(QStringLiteral("COM%1 (%2): settings \"%3\" not supported: %4")
                              .arg(m_commPort)
                              .arg(m_openPath, m_settings, why)
                              .toStdString());
    }
}

bool MSComm::PortOpen() const
{
    return m_port->isOpen();
}

QString MSComm::openFailureReason(const QString &path) const
{
    if (!QFileInfo::exists(path))
        return QStringLiteral("no such device");
    const QFileInfo info(path);
    if (!info.isReadable() || !info.isWritable())
        return QStringLiteral("permission denied (is the user in the dialout group?)");
    switch (m_port->error()) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("no such device (%1)").arg(m_port->errorString());
    case QSerialPort::PermissionError:
        // Present and accessible, yet refused: another program holds it (lock or exclusive use).
        return QStringLiteral("busy, in use by another program (%1)").arg(m_port->errorString());
    default:
        return m_port->errorString();
    }
}

void MSComm::setPortOpen(bool open)
{
    if (!open) {
        if (m_port->isOpen())
            m_port->close();
        m_receivePosted = false;
        return;
    }
    if (m_port->isOpen())
        return;

    const QString path = devicePath();
    if (path.isEmpty()) {
        qWarning("serial port COM%d: no such port", m_commPort);
        throw SerialError(QStringLiteral("Invalid port number %1").arg(m_commPort).toStdString());
    }
    m_openPath = path;
    m_port->setPortName(path);
    // Stored before the open, applied by it.
    m_port->setBaudRate(m_baud);
    m_port->setParity(toParity(m_parity));
    m_port->setDataBits(static_cast<QSerialPort::DataBits>(m_dataBits));
    m_port->setStopBits(static_cast<QSerialPort::StopBits>(m_stopBits));
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port->open(QIODevice::ReadWrite)) {
        const QString reason = openFailureReason(path);
        qWarning("serial port COM%d (%s): cannot open: %s", m_commPort, qPrintable(path),
                 qPrintable(reason));
        throw SerialError(QStringLiteral("Cannot open COM%1 (%2): %3")
                              .arg(m_commPort)
                              .arg(path, reason)
                              .toStdString());
    }
    ++m_openGeneration;
    m_faultPosted = false;
    try {
        applySettings();
    } catch (...) {
        m_port->close();
        throw;
    }
}

int MSComm::InBufferCount() const
{
    return m_port->isOpen() ? static_cast<int>(m_port->bytesAvailable()) : 0;
}

void MSComm::setInBufferCount(int n)
{
    if (n == 0 && m_port->isOpen())
        m_port->clear(QSerialPort::Input);
}

int MSComm::OutBufferCount() const
{
    return m_port->isOpen() ? static_cast<int>(m_port->bytesToWrite()) : 0;
}

void MSComm::setOutBufferCount(int n)
{
    if (n == 0 && m_port->isOpen())
        m_port->clear(QSerialPort::Output);
}

void MSComm::setOutput(const QByteArray &text)
{
    if (!m_port->isOpen() || text.isEmpty())
        return;
    m_port->write(text);
    m_port->flush(); // hand it to the driver now rather than on the next event loop pass
}

QByteArray MSComm::Input()
{
    return m_port->isOpen() ? m_port->readAll() : QByteArray();
}

void MSComm::onReadyRead()
{
    // OnComm runs from its own posted event, not inside readyRead: a handler that waits
    // (and so processes events) must still see later input, and QSerialPort does not emit
    // readyRead again while a readyRead handler is running.
    if (m_receivePosted)
        return;
    m_receivePosted = true;
    QMetaObject::invokeMethod(this, &MSComm::deliverReceive, Qt::QueuedConnection);
}

void MSComm::deliverReceive()
{
    if (!m_receivePosted)
        return; // the port was closed meanwhile
    m_receivePosted = false;
    if (!m_port->isOpen() || m_rThreshold <= 0 || m_port->bytesAvailable() < m_rThreshold)
        return;
    m_commEvent = comEvReceive;
    emit OnComm();
}

void MSComm::onPortError()
{
    // The device went away (unplugged adapter, closed pty master): the port would report
    // readiness and fail to read forever. Close it; senders then find it closed. The close
    // is posted after any receive already queued, so bytes read before the fault arrive.
    const QSerialPort::SerialPortError error = m_port->error();
    if ((error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        || !m_port->isOpen() || m_faultPosted)
        return;
    m_faultPosted = true;
    qWarning("serial port COM%d (%s): %s; closing it", m_commPort, qPrintable(m_openPath),
             qPrintable(m_port->errorString()));
    const quint64 generation = m_openGeneration;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == m_openGeneration)
                setPortOpen(false);
        },
        Qt::QueuedConnection);
}

} // namespace link
