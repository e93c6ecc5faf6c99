// Figures of the device link: what a wait costs, and what a command through the link costs
// next to a plain blocking client talking to the same simulator.

#include "Bench.h"
#include "RawIo.h"
#include "SimulatorThread.h"

#include "link/DeviceLink.h"
#include "link/MSComm.h"
#include "simulator/MatrixSimulator.h"

#include <QDir>
#include <QMap>
#include <QTemporaryDir>

#include <cstdio>

namespace bench {

namespace {

class QuietHost : public link::LinkHost
{
public:
    QMap<int, QString> panels;
    int boxes = 0;
    void setPanelText(int panel, const QString &text) override { panels[panel] = text; }
    QString panelText(int panel) const override { return panels.value(panel); }
    void showInfoBox(const QString &) override { ++boxes; }
    void deviceUpdate() override {}
};

// A 16 x 16 matrix on a free loopback port and, when a link path is given, on a pty.
SimulatorThread::Setup plainMatrix(const QString &ptyLink = QString())
{
    return [ptyLink](sim::MatrixSimulator &sim) {
        sim.setSize(16, 16);
        sim.setAudio(true);
        return sim.listenTcp(0) && (ptyLink.isEmpty() || sim.openPty(ptyLink));
    };
}

const QByteArray kCommand = "0312V";
const QByteArray kEcho = "V0312";

std::string micros(double seconds)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f us", seconds * 1e6);
    return buf;
}

} // namespace

double waitCpuFraction()
{
    QuietHost host;
    link::DeviceLink link(&host);
    const int runs = 5; // each wait takes its full 2 s
    const int ms = 2000;
    std::vector<double> fractions;
    for (int i = 0; i < runs; ++i) {
        const double c0 = processCpuSeconds(), w0 = wallSeconds();
        link.WaitForReply(kEcho, ms); // nothing will answer
        const double c1 = processCpuSeconds(), w1 = wallSeconds();
        fractions.push_back((c1 - c0) / (w1 - w0));
    }
    note("wait_cpu_fraction", std::to_string(runs) + " unanswered waits of " + std::to_string(ms)
                                  + " ms; CPU time / wall time, median");
    return median(fractions);
}

double tcpCommandRatio()
{
    SimulatorThread sim(plainMatrix());
    if (!sim.begin())
        return -1;
    QuietHost host;
    link::DeviceLink link(&host);
    link.setConnection(QString::fromUtf8(link::DeviceLink::Network), QStringLiteral("127.0.0.1"),
                       sim.port());
    link.setCommTimeout(1000);
    const std::string command = kCommand.toStdString(), echo = kEcho.toStdString();

    const int warmUp = 20, runs = 400;
    std::vector<double> viaLink, raw;
    int failures = 0;
    for (int i = 0; i < warmUp + runs; ++i) {
        // Each pair side by side, the order alternating.
        for (int k = 0; k < 2; ++k) {
            const bool rawTurn = (i + k) % 2 == 0;
            const double t0 = wallSeconds();
            const bool ok = rawTurn ? rawTcpExchange(sim.port(), command, echo, 1000)
                                    : link.SendCommand(kCommand, kEcho);
            const double t = wallSeconds() - t0;
            failures += ok ? 0 : 1;
            if (i >= warmUp)
                (rawTurn ? raw : viaLink).push_back(t);
        }
    }
    link.closeLinks();
    if (failures) {
        note("tcp_command_ratio", std::to_string(failures) + " exchanges failed");
        return -1;
    }
    const double l = median(viaLink), r = median(raw);
    note("tcp_command_ratio", std::to_string(runs) + " pairs, a fresh connection each; SendCommand "
                                  + micros(l) + ", raw blocking client " + micros(r)
                                  + " (medians); simulator in a thread of its own");
    return l / r;
}

double serialCommandRatio()
{
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + QStringLiteral("/ports"));
    const QString ptyLink = dir.path() + QStringLiteral("/ports/COM1");
    SimulatorThread sim(plainMatrix(ptyLink));
    if (!sim.begin())
        return -1;
    QuietHost host;
    link::DeviceLink link(&host);
    link.setAppDirectory(dir.path() + QLatin1Char('/'));
    link.setConnection(QString::fromUtf8(link::DeviceLink::Serial), QString(), 5555);
    link.setCommTimeout(1000);
    if (!link.OpenSerialPort(QStringLiteral("COM1")))
        return -1;
    const std::string command = kCommand.toStdString(), echo = kEcho.toStdString();

    // One pty cannot have two readers: blocks of each in turn, the link's port closed while
    // the raw client has the line (and reopened by PortOpen alone, as the tools do).
    const int rounds = 6, perRound = 100, warmUp = 10;
    std::vector<double> viaLink, raw;
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        link.MSComm1()->setPortOpen(false);
        {
            RawSerial line(ptyLink.toStdString());
            if (!line.isOpen())
                return -1;
            for (int i = 0; i < warmUp + perRound; ++i) {
                const double t0 = wallSeconds();
                failures += line.exchange(command, echo, 1000) ? 0 : 1;
                if (i >= warmUp)
                    raw.push_back(wallSeconds() - t0);
            }
        }
        link.MSComm1()->setPortOpen(true);
        for (int i = 0; i < warmUp + perRound; ++i) {
            const double t0 = wallSeconds();
            failures += link.SendCommand(kCommand, kEcho) ? 0 : 1;
            if (i >= warmUp)
                viaLink.push_back(wallSeconds() - t0);
        }
    }
    link.closeLinks();
    if (failures) {
        note("serial_command_ratio", std::to_string(failures) + " exchanges failed");
        return -1;
    }
    const double l = median(viaLink), r = median(raw);
    note("serial_command_ratio",
         std::to_string(rounds * perRound) + " exchanges each, in alternating blocks of "
             + std::to_string(perRound) + "; SendCommand " + micros(l) + ", raw blocking read/write "
             + micros(r) + " (medians); simulator in a thread of its own");
    return l / r;
}

} // namespace bench
