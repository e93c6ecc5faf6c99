#include "simulator/MatrixSimulator.h"

#include "simulator/CommandTokenizer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QPointer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace sim {

namespace {

constexpr int kMaxChannels = 99; // two-digit fields
constexpr int kPresets = 32;
constexpr int kReportedPresets = 8;
constexpr int kPieceGapMs = 8;          // between pieces of a chunked reply
constexpr int kReceivedLogLimit = 1 << 20;
constexpr int kCommandLogLimit = 100000;

QByteArray twoDigits(int n)
{
    return QByteArray::number(n).rightJustified(2, '0');
}

} // namespace

struct Routing
{
    std::array<std::vector<int>, 3> layer; // [layer][output], output 1..outputs, 0 = none

    bool operator==(const Routing &o) const { return layer == o.layer; }
    bool operator!=(const Routing &o) const { return !(*this == o); }
};

struct Scene
{
    bool stored = false;
    Routing routing;
    bool operator==(const Scene &o) const { return stored == o.stored && routing == o.routing; }
};

struct State
{
    Routing routing;
    std::array<Scene, kPresets + 1> presets; // 1..32
    bool powerSaving = false;
    bool mute = false;
    bool freeze = false;

    bool operator==(const State &o) const
    {
        return routing == o.routing && presets == o.presets && powerSaving == o.powerSaving
            && mute == o.mute && freeze == o.freeze;
    }
    bool operator!=(const State &o) const { return !(*this == o); }
};

struct Segment
{
    QByteArray data;
    qint64 due = 0;     // earliest time to send, on the simulator's clock
    bool piece = false; // part of a chunked reply: the next segment waits a gap
};

struct Client
{
    int id = 0;
    QString label;
    bool pty = false;
    QPointer<QTcpSocket> socket;
    CommandTokenizer tokenizer;
    int commands = 0;
    bool closing = false; // close-after reached: close once the outbox is empty
    std::deque<Segment> outbox;
    QTimer *timer = nullptr;
};

struct MatrixSimulator::Private
{
    MatrixSimulator *q;

    int inputs = 16;
    int outputs = 16;
    bool audio = true;
    bool vca = false;
    QByteArray ident = "SARVELON-SIM V1.0";
    State state;

    QTcpServer *server = nullptr;
    int accepted = 0;
    int nextClientId = 1;
    std::vector<std::unique_ptr<Client>> clients;

    int masterFd = -1;
    int slaveFd = -1; // kept open so the master never sees a hangup
    QSocketNotifier *ptyNotifier = nullptr;
    // Opens of the slave by others, seen through inotify: what was written while nobody had
    // the line open is discarded when someone opens it, as a wire would have lost it.
    int inotifyFd = -1;
    int openers = 0;
    QSocketNotifier *openNotifier = nullptr;
    QString slaveName;
    QString linkPath;
    Client *ptyClient = nullptr;

    bool silent = false;
    QSet<QByteArray> dropEcho;
    int replyDelay = 0;
    int chunkSize = 0;
    QByteArray junkLine;
    int identFirst = 0;
    int closeAfter = 0;
    QTimer *updateTimer = nullptr;

    QByteArray received;
    QList<QByteArray> commands;
    QElapsedTimer clock;

    explicit Private(MatrixSimulator *owner) : q(owner) { clock.start(); }

    // --- state -------------------------------------------------------------------------

    Routing emptyRouting() const
    {
        Routing r;
        for (auto &l : r.layer)
            l.assign(outputs + 1, 0);
        return r;
    }

    State factoryState() const
    {
        State s;
        s.routing = emptyRouting();
        for (auto &p : s.presets)
            p.routing = emptyRouting();
        return s;
    }

    // Clears what the matrix's shape cannot carry.
    void fitShape(Routing &r) const
    {
        if (!audio)
            std::fill(r.layer[Audio].begin(), r.layer[Audio].end(), 0);
        if (!vca)
            std::fill(r.layer[Composite].begin(), r.layer[Composite].end(), 0);
    }

    void fitShape()
    {
        fitShape(state.routing);
        for (auto &p : state.presets)
            fitShape(p.routing);
        if (!audio)
            state.mute = false;
    }

    // The layers a route letter acts on for this matrix.
    std::vector<int> layersFor(char letter) const
    {
        switch (letter) {
        case 'V':
            return {Video};
        case 'A':
            return audio ? std::vector<int>{Audio} : std::vector<int>{};
        case 'C':
            if (vca)
                return {Composite};
            return audio ? std::vector<int>{Video, Audio} : std::vector<int>{Video};
        default:
            return {};
        }
    }

    // Upper case sets the layer to the input (input 0: none); lower case clears it where that
    // input is the one routed. Output 0 means every output. Out of range: nothing changes.
    void applyRoute(char letter, int output, int input)
    {
        if (output < 0 || output > outputs || input < 0 || input > inputs)
            return;
        const bool connect = letter >= 'A' && letter <= 'Z';
        const char upper = connect ? letter : char(letter - 'a' + 'A');
        const int from = output == 0 ? 1 : output;
        const int to = output == 0 ? outputs : output;
        for (int l : layersFor(upper)) {
            auto &routes = state.routing.layer[l];
            for (int o = from; o <= to; ++o) {
                if (connect)
                    routes[o] = input;
                else if (input != 0 && routes[o] == input)
                    routes[o] = 0;
            }
        }
    }

    void setFunction(char letter, bool on)
    {
        switch (letter) {
        case 'W':
            state.powerSaving = on;
            break;
        case 'O':
            if (audio)
                state.mute = on;
            break;
        case 'Q':
            state.freeze = on;
            break;
        }
    }

    QByteArray statusBody() const // the status reply without its closing "I"
    {
        QByteArray r = "PST:";
        for (int n = 1; n <= kReportedPresets; ++n)
            r += (state.presets[n].stored ? "01" : "00") + QByteArray(",");
        r += '\r';
        const char letters[3] = {'V', 'A', 'C'};
        for (int l = 0; l < 3; ++l) {
            r += letters[l];
            for (int o = 1; o <= outputs; ++o)
                r += twoDigits(state.routing.layer[l][o]) + ',';
            r += '\r';
        }
        r += '+';
        r += state.powerSaving ? '1' : '0';
        r += '%';
        r += state.mute ? '1' : '0';
        r += '&';
        r += state.freeze ? '1' : '0';
        r += '\r';
        return r;
    }

    // Runs a change made outside any client and tells every client when it changed something.
    template <typename F>
    void changeFromApi(F &&change)
    {
        const State before = state;
        change();
        if (state != before)
            changed(nullptr);
    }

    void changed(Client *origin)
    {
        for (auto &c : clients) {
            if (c.get() != origin && !c->closing)
                enqueue(c.get(), "update", 0);
        }
        emit q->stateChanged();
    }

    // --- sending -----------------------------------------------------------------------

    void watchOpens()
    {
        if (inotifyFd < 0)
            return;
        alignas(inotify_event) char buf[4096];
        for (;;) {
            const ssize_t n = ::read(inotifyFd, buf, sizeof buf);
            if (n <= 0)
                return;
            for (ssize_t at = 0; at < n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(buf + at);
                if (e->mask & IN_Q_OVERFLOW)
                    openers = 0;
                if (e->mask & IN_OPEN) {
                    if (openers == 0)
                        ::tcflush(slaveFd, TCIFLUSH);
                    ++openers;
                }
                if ((e->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) && openers > 0)
                    --openers;
                at += ssize_t(sizeof(inotify_event) + e->len);
            }
        }
    }

    void writeRaw(Client *c, const QByteArray &data)
    {
        if (c->pty) {
            watchOpens();
            const char *p = data.constData();
            qsizetype left = data.size();
            while (left > 0 && masterFd >= 0) {
                const ssize_t n = ::write(masterFd, p, size_t(left));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break; // nobody reads the line and it is full: the rest is lost, as on a wire
                p += n;
                left -= n;
            }
        } else if (c->socket && c->socket->state() == QAbstractSocket::ConnectedState) {
            c->socket->write(data);
            c->socket->flush();
        }
    }

    void enqueue(Client *c, const QByteArray &data, int delayMs)
    {
        if (data.isEmpty())
            return;
        const qint64 due = clock.elapsed() + qMax(0, delayMs);
        if (chunkSize > 0) {
            for (qsizetype at = 0; at < data.size(); at += chunkSize)
                c->outbox.push_back({data.mid(at, chunkSize), due, true});
        } else {
            c->outbox.push_back({data, due, false});
        }
        pump(c);
    }

    // Sends what is due, in order; a segment never overtakes the one before it.
    void pump(Client *c)
    {
        const qint64 now = clock.elapsed();
        while (!c->outbox.empty() && c->outbox.front().due <= now) {
            const Segment s = c->outbox.front();
            c->outbox.pop_front();
            writeRaw(c, s.data);
            if (s.piece && !c->outbox.empty())
                c->outbox.front().due = qMax(c->outbox.front().due, now + kPieceGapMs);
        }
        if (!c->outbox.empty())
            c->timer->start(int(qMax<qint64>(0, c->outbox.front().due - now)));
        else if (c->closing && c->socket)
            c->socket->disconnectFromHost(); // writes what is buffered, then closes
    }

    void reply(Client *c, const QByteArray &command, const QByteArray &data)
    {
        if (silent || dropEcho.contains(command))
            return;
        enqueue(c, data, replyDelay);
    }

    void replyStatus(Client *c)
    {
        if (silent || dropEcho.contains("00#"))
            return;
        QByteArray junk = junkLine;
        if (!junk.isEmpty() && !junk.endsWith('\r'))
            junk += '\r';
        if (identFirst > 0) {
            enqueue(c, "I", replyDelay);
            enqueue(c, junk + statusBody(), replyDelay + identFirst);
        } else {
            enqueue(c, junk + statusBody() + 'I', replyDelay);
        }
    }

    // --- receiving ---------------------------------------------------------------------

    void logReceived(const QByteArray &data)
    {
        received += data;
        if (received.size() > kReceivedLogLimit)
            received.remove(0, received.size() - kReceivedLogLimit / 2);
    }

    void handleBytes(Client *c, const QByteArray &data)
    {
        logReceived(data);
        const std::vector<Token> tokens = c->tokenizer.feed(data.constData(), size_t(data.size()));
        const int id = c->id;
        for (const Token &t : tokens) {
            if (c->closing)
                break; // the connection is on its way out: the rest is not served
            handleCommand(c, t);
            if (!alive(id))
                return; // a slot of ours closed it (closeAll from a signal)
        }
    }

    bool alive(int id) const
    {
        return std::any_of(clients.begin(), clients.end(),
                           [id](const std::unique_ptr<Client> &c) { return c->id == id; });
    }

    void handleCommand(Client *c, const Token &t)
    {
        const QByteArray text = QByteArray::fromStdString(t.text);
        ++c->commands;
        commands.append(text);
        if (commands.size() > kCommandLogLimit)
            commands.erase(commands.begin(), commands.begin() + kCommandLogLimit / 2);
        const int id = c->id;
        emit q->commandReceived(text);
        emit q->commandFrom(c->label, text);
        if (!alive(id))
            return;

        const State before = state;
        switch (t.kind) {
        case Token::Test:
            break;
        case Token::Identify:
            reply(c, text, ident);
            break;
        case Token::Reset:
            state = factoryState();
            break;
        case Token::Status:
            replyStatus(c);
            break;
        case Token::Route:
            applyRoute(t.letter, t.first, t.second);
            reply(c, text, t.letter + text.left(4));
            break;
        case Token::StorePreset:
            if (t.first >= 1 && t.first <= kPresets)
                state.presets[t.first] = {true, state.routing};
            reply(c, text, "K" + text.left(2));
            break;
        case Token::RecallPreset:
            if (t.first >= 1 && t.first <= kPresets && state.presets[t.first].stored)
                state.routing = state.presets[t.first].routing;
            reply(c, text, "P" + text.left(2));
            break;
        case Token::Function:
            if (t.first == 0 || t.first == 1)
                setFunction(t.letter, t.first == 1);
            break;
        }
        if (state != before)
            changed(c);
        if (!alive(id))
            return;

        if (!c->pty && closeAfter > 0 && c->commands >= closeAfter) {
            c->closing = true;
            if (c->outbox.empty())
                pump(c);
        }
    }

    // --- clients -----------------------------------------------------------------------

    Client *addClient(const QString &label, bool pty, QTcpSocket *socket)
    {
        auto c = std::make_unique<Client>();
        c->id = nextClientId++;
        c->label = label;
        c->pty = pty;
        c->socket = socket;
        c->timer = new QTimer(q);
        c->timer->setSingleShot(true);
        c->timer->setTimerType(Qt::PreciseTimer); // a delayed reply never leaves early
        Client *raw = c.get();
        QObject::connect(c->timer, &QTimer::timeout, q, [this, raw] { pump(raw); });
        clients.push_back(std::move(c));
        return raw;
    }

    void removeClient(int id)
    {
        for (auto it = clients.begin(); it != clients.end(); ++it) {
            if ((*it)->id != id)
                continue;
            Client *c = it->get();
            delete c->timer;
            if (c->socket) {
                c->socket->disconnect(q);
                c->socket->deleteLater();
            }
            if (c == ptyClient)
                ptyClient = nullptr;
            clients.erase(it);
            return;
        }
    }

    void acceptConnections()
    {
        while (server && server->hasPendingConnections()) {
            QTcpSocket *s = server->nextPendingConnection();
            s->setParent(q); // outlives a server replaced by listenTcp()
            s->setSocketOption(QAbstractSocket::LowDelayOption, 1); // pieces stay pieces
            ++accepted;
            Client *c = addClient(QStringLiteral("tcp#%1").arg(accepted), false, s);
            const int id = c->id;
            QObject::connect(s, &QTcpSocket::readyRead, q, [this, s, c] {
                handleBytes(c, s->readAll());
            });
            // Queued: the socket may report it is gone from inside our own processing.
            QObject::connect(s, &QTcpSocket::disconnected, q, [this, id] { removeClient(id); },
                             Qt::QueuedConnection);
            if (s->bytesAvailable() > 0)
                handleBytes(c, s->readAll());
        }
    }

    void readPty()
    {
        watchOpens();
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(masterFd, buf, sizeof buf);
            if (n > 0) {
                if (ptyClient)
                    handleBytes(ptyClient, QByteArray(buf, int(n)));
                if (masterFd < 0)
                    return;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                return;
            // Should not happen while we hold the slave; stop rather than spin.
            if (ptyNotifier)
                ptyNotifier->setEnabled(false);
            return;
        }
    }

    void removeLink()
    {
        if (linkPath.isEmpty())
            return;
        const QByteArray path = QFile::encodeName(linkPath);
        char target[4096];
        const ssize_t n = ::readlink(path.constData(), target, sizeof target - 1);
        if (n > 0 && QByteArray(target, int(n)) == QFile::encodeName(slaveName))
            ::unlink(path.constData()); // only our own link
        linkPath.clear();
    }

    void closePty()
    {
        delete ptyNotifier;
        ptyNotifier = nullptr;
        delete openNotifier;
        openNotifier = nullptr;
        if (inotifyFd >= 0)
            ::close(inotifyFd);
        inotifyFd = -1;
        openers = 0;
        if (ptyClient)
            removeClient(ptyClient->id);
        removeLink();
        if (masterFd >= 0)
            ::close(masterFd);
        if (slaveFd >= 0)
            ::close(slaveFd);
        masterFd = slaveFd = -1;
        slaveName.clear();
    }
};

MatrixSimulator::MatrixSimulator(QObject *parent) : QObject(parent), d(new Private(this))
{
    d->state = d->factoryState();
    d->updateTimer = new QTimer(this);
    connect(d->updateTimer, &QTimer::timeout, this, [this] {
        for (auto &c : d->clients) {
            if (!c->closing)
                d->enqueue(c.get(), "update", 0);
        }
    });
}

MatrixSimulator::~MatrixSimulator()
{
    closeAll();
    delete d;
}

// --- shape ---------------------------------------------------------------------------------

void MatrixSimulator::setSize(int inputs, int outputs)
{
    d->inputs = qBound(1, inputs, kMaxChannels);
    d->outputs = qBound(1, outputs, kMaxChannels);
    d->state = d->factoryState();
}

int MatrixSimulator::inputs() const { return d->inputs; }
int MatrixSimulator::outputs() const { return d->outputs; }

void MatrixSimulator::setAudio(bool audio)
{
    d->audio = audio;
    d->fitShape();
}

void MatrixSimulator::setVca(bool vca)
{
    d->vca = vca;
    d->fitShape();
}

bool MatrixSimulator::audio() const { return d->audio; }
bool MatrixSimulator::vca() const { return d->vca; }
void MatrixSimulator::setIdentification(const QByteArray &text) { d->ident = text; }
QByteArray MatrixSimulator::identification() const { return d->ident; }

// --- transports ----------------------------------------------------------------------------

bool MatrixSimulator::listenTcp(quint16 port)
{
    if (d->server) {
        d->server->close();
        delete d->server;
    }
    d->server = new QTcpServer(this);
    connect(d->server, &QTcpServer::newConnection, this, [this] { d->acceptConnections(); });
    if (!d->server->listen(QHostAddress(QHostAddress::LocalHost), port)) {
        delete d->server;
        d->server = nullptr;
        return false;
    }
    return true;
}

quint16 MatrixSimulator::tcpPort() const
{
    return d->server ? d->server->serverPort() : 0;
}

bool MatrixSimulator::openPty(const QString &linkPath)
{
    d->closePty();

    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return false;
    char name[256];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0
        || ::ptsname_r(master, name, sizeof name) != 0) {
        ::close(master);
        return false;
    }
    int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        ::close(master);
        return false;
    }
    termios tio{};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B9600);
        tio.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);

    // Link the slave at the path: replace an old link, never a real file.
    const QString absLink = QFileInfo(linkPath).absoluteFilePath();
    QDir().mkpath(QFileInfo(absLink).absolutePath());
    const QByteArray path = QFile::encodeName(absLink);
    struct stat st{};
    if (::lstat(path.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode) || ::unlink(path.constData()) != 0) {
            ::close(slave);
            ::close(master);
            return false;
        }
    }
    if (::symlink(name, path.constData()) != 0) {
        ::close(slave);
        ::close(master);
        return false;
    }

    d->masterFd = master;
    d->slaveFd = slave;
    d->slaveName = QString::fromLocal8Bit(name);
    d->linkPath = absLink;
    d->ptyClient = d->addClient(QStringLiteral("pty"), true, nullptr);
    // Watched after our own open, so only the others count.
    d->inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (d->inotifyFd >= 0 && ::inotify_add_watch(d->inotifyFd, name, IN_OPEN | IN_CLOSE) < 0) {
        ::close(d->inotifyFd);
        d->inotifyFd = -1; // without it, bytes for an absent reader simply wait in the line
    }
    if (d->inotifyFd >= 0) {
        d->openNotifier = new QSocketNotifier(d->inotifyFd, QSocketNotifier::Read, this);
        connect(d->openNotifier, &QSocketNotifier::activated, this, [this] { d->watchOpens(); });
    }
    d->ptyNotifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(d->ptyNotifier, &QSocketNotifier::activated, this, [this] { d->readPty(); });
    return true;
}

QString MatrixSimulator::ptySlaveName() const { return d->slaveName; }
QString MatrixSimulator::ptyLinkPath() const { return d->linkPath; }

void MatrixSimulator::closeAll()
{
    if (d->server) {
        d->server->close();
        delete d->server;
        d->server = nullptr;
    }
    d->closePty();
    while (!d->clients.empty()) {
        Client *c = d->clients.back().get();
        if (c->socket) {
            c->socket->disconnect(this);
            c->socket->abort();
        }
        d->removeClient(c->id);
    }
}

int MatrixSimulator::clientCount() const
{
    int n = 0;
    for (const auto &c : d->clients) {
        if (!c->pty && c->socket && c->socket->state() == QAbstractSocket::ConnectedState)
            ++n;
    }
    return n;
}

int MatrixSimulator::connectionCount() const { return d->accepted; }

// --- log -----------------------------------------------------------------------------------

QByteArray MatrixSimulator::received() const { return d->received; }
QList<QByteArray> MatrixSimulator::commands() const { return d->commands; }

void MatrixSimulator::clearLog()
{
    d->received.clear();
    d->commands.clear();
}

// --- state ---------------------------------------------------------------------------------

int MatrixSimulator::route(LayerIndex layer, int output) const
{
    if (layer < Video || layer > Composite || output < 1 || output > d->outputs)
        return 0;
    return d->state.routing.layer[layer][output];
}

void MatrixSimulator::setRoute(LayerIndex layer, int output, int input)
{
    const char letters[3] = {'V', 'A', 'C'};
    if (layer < Video || layer > Composite)
        return;
    d->changeFromApi([&] { d->applyRoute(letters[layer], output, input); });
}

bool MatrixSimulator::presetStored(int preset) const
{
    return preset >= 1 && preset <= kPresets && d->state.presets[preset].stored;
}

void MatrixSimulator::setPresetStored(int preset, bool stored)
{
    if (preset < 1 || preset > kPresets)
        return;
    d->changeFromApi([&] {
        d->state.presets[preset] = {stored, stored ? d->state.routing : d->emptyRouting()};
    });
}

bool MatrixSimulator::powerSaving() const { return d->state.powerSaving; }
bool MatrixSimulator::mute() const { return d->state.mute; }
bool MatrixSimulator::freeze() const { return d->state.freeze; }

void MatrixSimulator::setFlags(bool powerSaving, bool mute, bool freeze)
{
    d->changeFromApi([&] {
        d->setFunction('W', powerSaving);
        d->setFunction('O', mute);
        d->setFunction('Q', freeze);
    });
}

QByteArray MatrixSimulator::statusReply() const
{
    return d->statusBody() + 'I';
}

void MatrixSimulator::factoryReset()
{
    d->changeFromApi([&] { d->state = d->factoryState(); });
}

// --- faults --------------------------------------------------------------------------------

void MatrixSimulator::setSilent(bool silent) { d->silent = silent; }
void MatrixSimulator::setDropEcho(const QSet<QByteArray> &commands) { d->dropEcho = commands; }
void MatrixSimulator::setReplyDelay(int ms) { d->replyDelay = qMax(0, ms); }
void MatrixSimulator::setChunkSize(int bytes) { d->chunkSize = qMax(0, bytes); }
void MatrixSimulator::setJunkLine(const QByteArray &line) { d->junkLine = line; }
void MatrixSimulator::setIdentFirst(int laterMs) { d->identFirst = qMax(0, laterMs); }

void MatrixSimulator::setUpdateInterval(int ms)
{
    if (ms > 0)
        d->updateTimer->start(ms);
    else
        d->updateTimer->stop();
}

void MatrixSimulator::setCloseAfter(int commands) { d->closeAfter = qMax(0, commands); }

void MatrixSimulator::sendToAll(const QByteArray &bytes)
{
    for (auto &c : d->clients) {
        if (!c->closing)
            d->enqueue(c.get(), bytes, 0);
    }
}

} // namespace sim
