#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

class QTcpServer;
class QTcpSocket;
class QSocketNotifier;
class QTimer;

namespace sim {

// A matrix that speaks the command protocol over TCP (127.0.0.1 only) and over a
// pseudo-terminal whose slave end is linked at a given path. Used in-process by tests and
// wrapped by the matrix-sim program.
class MatrixSimulator : public QObject
{
    Q_OBJECT
public:
    enum LayerIndex { Video = 0, Audio = 1, Composite = 2 };

    explicit MatrixSimulator(QObject *parent = nullptr);
    ~MatrixSimulator() override;

    // Shape.
    void setSize(int inputs, int outputs);
    int inputs() const;
    int outputs() const;
    void setAudio(bool audio);
    void setVca(bool vca); // series "VCA": V, A, C independent; otherwise C carries V and A
    void setIdentification(const QByteArray &text); // answer to "I"
    bool audio() const;
    bool vca() const;
    QByteArray identification() const;

    // Transports.
    bool listenTcp(quint16 port = 0); // 0 picks a free port
    quint16 tcpPort() const;
    bool openPty(const QString &linkPath); // symlink to the slave end, replaced if present
    QString ptySlaveName() const;
    QString ptyLinkPath() const;
    void closeAll();
    int clientCount() const;     // TCP clients connected now
    int connectionCount() const; // TCP connections accepted so far

    // What it has received: every byte, and every command token in order.
    QByteArray received() const;
    QList<QByteArray> commands() const;
    void clearLog();

    // State (1-based channels; input 0 means none).
    int route(LayerIndex layer, int output) const;
    void setRoute(LayerIndex layer, int output, int input); // from the API: "update" to all
    bool presetStored(int preset) const;
    void setPresetStored(int preset, bool stored);
    bool powerSaving() const;
    bool mute() const;
    bool freeze() const;
    void setFlags(bool powerSaving, bool mute, bool freeze);
    QByteArray statusReply() const; // the reply to "00#"
    void factoryReset();            // as "R" from the API: "update" to all when it changes

    // Faults.
    void setSilent(bool silent);
    void setDropEcho(const QSet<QByteArray> &commands); // exact command texts, e.g. "0312V"
    void setReplyDelay(int ms);
    void setChunkSize(int bytes);                       // 0: whole replies
    void setJunkLine(const QByteArray &line);           // sent before the status reply, with CR
    void setIdentFirst(int laterMs);                    // "I" of the status reply first, rest later
    void setUpdateInterval(int ms);                     // 0: off
    void setCloseAfter(int commands);                   // 0: never
    // Line noise: these bytes go out to every client as they are, through the same
    // delivery as replies (in pieces when chunking is on).
    void sendToAll(const QByteArray &bytes);

signals:
    void commandReceived(const QByteArray &command);
    // The same, with the client it came from ("tcp#<n>" in order of connection, or "pty").
    void commandFrom(const QString &client, const QByteArray &command);
    void stateChanged(); // routing, presets or flags changed, from anywhere

private:
    struct Private;
    Private *d;
};

} // namespace sim
