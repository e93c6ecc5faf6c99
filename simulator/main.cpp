// matrix-sim: a matrix on the loopback interface and/or a pseudo-terminal, for the demo,
// for tests and for technicians without hardware. Runs until SIGTERM or SIGINT.

#include "simulator/MatrixSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char b = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[0], &b, 1);
}

bool readNumber(const QCommandLineParser &p, const QString &name, int min, int max, int &out)
{
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const int v = p.value(name).toInt(&ok);
    if (!ok || v < min || v > max) {
        std::fprintf(stderr, "matrix-sim: --%s wants a number from %d to %d, not \"%s\"\n",
                     qPrintable(name), min, max, qPrintable(p.value(name)));
        return false;
    }
    out = v;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("matrix-sim"));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "A crosspoint matrix speaking the console's command protocol over TCP on 127.0.0.1 "
        "and/or a pseudo-terminal. Without --tcp-port or --pty-link it listens on port 5555."));
    p.addHelpOption();
    p.addOptions({
        {"inputs", "Number of inputs (1-99, default 16).", "N"},
        {"outputs", "Number of outputs (1-99, default 16).", "N"},
        {"audio", "The matrix has audio (default)."},
        {"no-audio", "The matrix has no audio layer."},
        {"vca", "Series \"VCA\": V, A and C are independent layers."},
        {"tcp-port", "Listen on 127.0.0.1:P (0 picks a free port).", "P"},
        {"pty-link", "Open a pseudo-terminal and link its slave end at PATH.", "PATH"},
        {"ident", "Answer to \"I\" (default \"SARVELON-SIM V1.0\").", "TEXT"},
        {"silent", "Receive and log, never reply."},
        {"drop-echo", "Do not answer this command text (repeatable, or a comma list).", "CMD"},
        {"delay", "Delay every reply by MS milliseconds.", "MS"},
        {"chunk", "Deliver replies in pieces of N bytes.", "N"},
        {"junk", "Send a junk line \"JUNK\" before every status reply."},
        {"ident-first", "Send the \"I\" of the status reply first, the rest MS ms later.", "MS"},
        {"update-every", "Send \"update\" to every client every MS milliseconds.", "MS"},
        {"close-after", "Close a TCP connection after it sent N commands.", "N"},
    });
    p.process(app);

    int inputs = 16, outputs = 16, tcpPort = -1, delay = 0, chunk = 0, identFirst = 0,
        updateEvery = 0, closeAfter = 0;
    if (!readNumber(p, "inputs", 1, 99, inputs) || !readNumber(p, "outputs", 1, 99, outputs)
        || !readNumber(p, "tcp-port", 0, 65535, tcpPort) || !readNumber(p, "delay", 0, 600000, delay)
        || !readNumber(p, "chunk", 0, 1 << 20, chunk)
        || !readNumber(p, "ident-first", 0, 600000, identFirst)
        || !readNumber(p, "update-every", 0, 600000, updateEvery)
        || !readNumber(p, "close-after", 0, 1 << 30, closeAfter))
        return 2;
    if (p.isSet("audio") && p.isSet("no-audio")) {
        std::fprintf(stderr, "matrix-sim: --audio and --no-audio exclude each other\n");
        return 2;
    }
    const QString ptyLink = p.value("pty-link");
    if (p.isSet("pty-link") && ptyLink.isEmpty()) {
        std::fprintf(stderr, "matrix-sim: --pty-link wants a path\n");
        return 2;
    }
    if (tcpPort < 0 && ptyLink.isEmpty())
        tcpPort = 5555;

    sim::MatrixSimulator sim;
    sim.setSize(inputs, outputs);
    sim.setAudio(!p.isSet("no-audio"));
    sim.setVca(p.isSet("vca"));
    if (p.isSet("ident"))
        sim.setIdentification(p.value("ident").toLocal8Bit());
    sim.setSilent(p.isSet("silent"));
    QSet<QByteArray> drop;
    for (const QString &v : p.values("drop-echo")) {
        for (const QString &cmd : v.split(QLatin1Char(','), Qt::SkipEmptyParts))
            drop.insert(cmd.trimmed().toLatin1());
    }
    sim.setDropEcho(drop);
    sim.setReplyDelay(delay);
    sim.setChunkSize(chunk);
    if (p.isSet("junk"))
        sim.setJunkLine("JUNK");
    sim.setIdentFirst(identFirst);
    sim.setUpdateInterval(updateEvery);
    sim.setCloseAfter(closeAfter);

    QObject::connect(&sim, &sim::MatrixSimulator::commandFrom, &app,
                     [](const QString &client, const QByteArray &command) {
                         std::fprintf(stderr, "%s %s %s\n",
                                      qPrintable(QDateTime::currentDateTime().toString(
                                          QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"))),
                                      qPrintable(client), command.constData());
                     });

    // SIGTERM/SIGINT end the event loop through a socket pair, so that the link is removed.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        std::perror("matrix-sim: socketpair");
        return 1;
    }
    QSocketNotifier quitNotifier(signalPipe[1], QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, &app, [] {
        char b;
        [[maybe_unused]] ssize_t n = ::read(signalPipe[1], &b, 1);
        QCoreApplication::quit();
    });
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (tcpPort >= 0) {
        if (!sim.listenTcp(quint16(tcpPort))) {
            std::fprintf(stderr, "matrix-sim: cannot listen on 127.0.0.1:%d\n", tcpPort);
            return 1;
        }
    }
    if (!ptyLink.isEmpty()) {
        if (!sim.openPty(ptyLink)) {
            std::fprintf(stderr, "matrix-sim: cannot open a pseudo-terminal linked at %s: %s\n",
                         qPrintable(ptyLink), std::strerror(errno));
            return 1;
        }
    }
    if (tcpPort >= 0)
        std::printf("listening tcp 127.0.0.1:%u\n", unsigned(sim.tcpPort()));
    if (!ptyLink.isEmpty())
        std::printf("pty %s linked at %s\n", qPrintable(sim.ptySlaveName()),
                    qPrintable(sim.ptyLinkPath()));
    std::fflush(stdout);

    const int rc = app.exec();
    sim.closeAll();
    return rc;
}
