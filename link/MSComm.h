#pragma once

#include "core/PlatformError.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;

namespace link {

class SerialError : public PlatformError
{
public:
    using PlatformError::PlatformError;
};

// The serial port component: the members the windows set and read, over QSerialPort.
// Port n opens the device <appDirectory>ports/COM<n> points to, else /dev/ttyS<n-1>.
// Received bytes are delivered on the UI thread as OnComm with CommEvent 2.
class MSComm : public QObject
{
    Q_OBJECT
public:
    enum { comEvReceive = 2 };

    explicit MSComm(QObject *parent = nullptr);
    ~MSComm() override;

    void setAppDirectory(const QString &dir); // with trailing "/"
    QString devicePath() const;               // the device port n resolves to

    int CommPort() const { return m_commPort; }
    void setCommPort(int port) { m_commPort = port; }
    QString Settings() const { return m_settings; }
    void setSettings(const QString &settings); // "9600,N,8,1  "; throws SerialError if malformed

    bool PortOpen() const;
    void setPortOpen(bool open); // true: throws SerialError when the port cannot be opened

    int InBufferCount() const;
    void setInBufferCount(int n); // 0 discards pending input
    int OutBufferCount() const;
    void setOutBufferCount(int n); // 0 discards pending output

    int RThreshold() const { return m_rThreshold; }
    void setRThreshold(int n) { m_rThreshold = n; }
    int SThreshold() const { return m_sThreshold; }
    void setSThreshold(int n) { m_sThreshold = n; }
    int InputMode() const { return m_inputMode; }
    void setInputMode(int mode) { m_inputMode = mode; }

    void setOutput(const QByteArray &text); // written as is; only while open
    QByteArray Input();                     // all waiting bytes, which leave the buffer
    int CommEvent() const { return m_commEvent; }

    // Parsed settings, for tests.
    int baudRate() const { return m_baud; }
    char parity() const { return m_parity; }
    int dataBits() const { return m_dataBits; }
    int stopBits() const { return m_stopBits; } // 1, 2, or 3 for 1.5 (as QSerialPort counts)

signals:
    void OnComm();

private:
    void onReadyRead();
    void deliverReceive();
    void onPortError();
    void applySettings();
    QString openFailureReason(const QString &path) const;

    QSerialPort *m_port;
    QString m_appDirectory;
    QString m_openPath; // the device last opened
    int m_commPort = 1;
    QString m_settings;
    int m_baud = 9600;
    char m_parity = 'N';
    int m_dataBits = 8;
    int m_stopBits = 1;
    int m_rThreshold = 0;
    int m_sThreshold = 0;
    int m_inputMode = 0;
    int m_commEvent = 0;
    bool m_receivePosted = false;
    quint64 m_openGeneration = 0;
    bool m_faultPosted = false;
};

} // namespace link
