#pragma once

#include "core/Commands.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace link {

class MSComm;
class ClientSocket;

// What the link needs of the window that owns it: the status bar panels and the boxes.
class LinkHost
{
public:
    virtual ~LinkHost() = default;
    virtual void setPanelText(int panel, const QString &text) = 0;
    virtual QString panelText(int panel) const = 0;
    virtual void showInfoBox(const QString &text) = 0; // box, caption "信息提示"
    // The device announced a change ("update" in the receive buffer). Never called
    // nested: an "update" arriving while a device-started refresh runs is served once
    // after it ends.
    virtual void deviceUpdate() = 0;
};

// The main window's connection to the loaded matrix: serial, TCP, or none (offline).
// Waits process events while they sleep in a nested event loop, and end as soon as their
// condition holds or their time is up.
class DeviceLink : public QObject
{
    Q_OBJECT
public:
    static const char *const Serial;  // "串口"
    static const char *const Network; // "网口"
    static const char *const Offline; // "离线模式"

    explicit DeviceLink(LinkHost *host, QObject *parent = nullptr);
    ~DeviceLink() override;

    MSComm *MSComm1() const { return m_comm; }
    ClientSocket *ClientSocket1() const { return m_socket; }

    void setAppDirectory(const QString &dir);

    // The loaded matrix's connection settings (from CurrentMatrix).
    void setConnection(const QString &comType, const QString &ip, int port);
    QString connectionMode() const { return m_mode; }
    bool isSerial() const;
    bool isNetwork() const;
    bool isOffline() const;

    QByteArray ReceiveBuffer;
    static constexpr qsizetype MaxReceiveBuffer = 1 << 20;  // past this, older text goes
    static constexpr qsizetype KeptReceiveBuffer = 64 << 10;
    int CommTimeout() const { return m_commTimeout; }
    void setCommTimeout(int ms) { m_commTimeout = ms; }

    bool OpenSerialPort(const QString &name);
    bool EnsureTcpConnected();
    bool WaitForOnline(int ms);
    bool WaitForReply(const QByteArray &expected, int ms);
    void PumpEvents(int ms);
    bool SendCommand(const QByteArray &command, const QByteArray &expected);

    // The two write primitives: serial only while the port is open.
    bool serialOpen() const;
    void writeSerial(const QByteArray &text);
    void writeTcp(const QByteArray &text);

    // Sends one crosspoint's sequence: true when every acknowledgement came. tcpFailed is
    // set when the TCP connection could not be brought up (nothing sent, box is the caller's).
    // A disconnect over a closed serial port leaves the result true, a connect fails.
    // An empty sequence (a layer set with no command of its own) sends nothing and fails.
    bool sendSequence(const core::CommandSequence &sequence, bool isDisconnect, bool &tcpFailed);

    void closeLinks(); // closes the serial port if open and the TCP client if active

    // Status bar texts the link writes.
    static QString onlineText();  // "联机状态:Online"
    static QString offlineText(); // "联机状态:Offline"

    // Handlers.
    void MSComm1Comm();
    void ClientSocket1Read();
    void ClientSocket1Connect();
    void ClientSocket1Disconnect();
    void ClientSocket1Error(int &errorCode);

signals:
    // Something a wait may be waiting for has changed (received text, online state).
    void activity();

private:
    void setOnlineState(bool online);
    void received(const QByteArray &bytes);
    void updateCheck();
    template <typename Cond> bool waitUntil(int ms, Cond cond);

    LinkHost *m_host;
    MSComm *m_comm;
    ClientSocket *m_socket;
    QString m_mode;
    QString m_ip;
    int m_port = 5555;
    int m_commTimeout = 1000;
    bool m_inDeviceRefresh = false;
    bool m_updatePending = false;
};

} // namespace link
