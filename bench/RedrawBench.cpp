// redraw_72_ratio: a full status refresh of a 72 x 72 matrix in the main window over a pty
// (query, reply, parse, grid redraw), next to a raw blocking round trip of the same query and
// reply on the same pty.

#include "Bench.h"
#include "RawIo.h"
#include "SimulatorThread.h"

#include "console/Main.h"
#include "core/CrosspointTable.h"
#include "link/MSComm.h"
#include "simulator/MatrixSimulator.h"
#include "store/Table.h"
#include "ui/Messages.h"
#include "ui/StringGrid.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>

namespace bench {

namespace {

const int kSize = 72;

// A 72 x 72 "VCA" matrix with every output routed on all three layers, each layer from its
// own input.
SimulatorThread::Setup fullMatrix(const QString &ptyLink)
{
    return [ptyLink](sim::MatrixSimulator &sim) {
        sim.setSize(kSize, kSize);
        sim.setAudio(true);
        sim.setVca(true);
        for (int o = 1; o <= kSize; ++o) {
            sim.setRoute(sim::MatrixSimulator::Video, o, o);
            sim.setRoute(sim::MatrixSimulator::Audio, o, kSize + 1 - o);
            sim.setRoute(sim::MatrixSimulator::Composite, o, (o * 5) % kSize + 1);
        }
        return sim.openPty(ptyLink); // after the routing, so no "update" is pending
    };
}

// The catalogue row of the serial 72 x 72 matrix and one channel row (so that it opens its link).
bool writeTables(const QString &folder)
{
    try {
        QDir().mkpath(folder);
        store::Table t;
        t.setDatabaseName(folder);
        t.setTableName(QStringLiteral("MatrixDB.DB"));
        t.createTable();
        t.open();
        t.append();
        t.fieldByName(QStringLiteral("Name")).setAsString(QStringLiteral("M72"));
        t.fieldByName(QStringLiteral("Type")).setAsString(QStringLiteral("VCA"));
        t.fieldByName(QStringLiteral("InNum")).setAsInteger(kSize);
        t.fieldByName(QStringLiteral("OutNum")).setAsInteger(kSize);
        t.fieldByName(QStringLiteral("Audio")).setAsBoolean(true);
        t.fieldByName(QStringLiteral("ComType")).setAsString(QString::fromUtf8(link::DeviceLink::Serial));
        t.fieldByName(QStringLiteral("ComNum")).setAsString(QStringLiteral("COM1"));
        t.post();
        t.close();

        store::Table c;
        c.setDatabaseName(folder);
        c.setTableName(QStringLiteral("ChannelDescDB.DB"));
        c.createTable();
        c.open();
        c.append();
        c.fieldByName(QStringLiteral("MatrixName")).setAsString(QStringLiteral("M72"));
        c.fieldByName(QStringLiteral("ChannelType")).setAsString(QStringLiteral("In"));
        c.fieldByName(QStringLiteral("ChannelNo")).setAsInteger(1);
        c.post();
        c.close();

        store::Table s;
        s.setDatabaseName(folder);
        s.setTableName(QStringLiteral("ScreenDescDB"));
        s.createTable();
    } catch (const std::exception &e) {
        note("redraw_72_ratio", std::string("tables: ") + e.what());
        return false;
    }
    return true;
}

std::string micros(double seconds)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f us", seconds * 1e6);
    return buf;
}

// Lets the window repaint what changed (a window repaints on a timer of a few ms after a
// change), so that no repaint falls into the next timed refresh.
void settlePaint()
{
    QEventLoop loop;
    QTimer::singleShot(12, &loop, &QEventLoop::quit);
    loop.exec();
}

// The grid as it stood before every route of the matrix moved (each layer of every output
// one input further on), its repaint done: the timed refresh then changes every routed cell
// back, the most a refresh can change (a cell per layer and output, old and new).
void staleGrid(StringGrid *grid)
{
    core::CrosspointTable before;
    for (int o = 1; o <= kSize; ++o) {
        const int v = o % kSize + 1, a = (kSize + 1 - o) % kSize + 1, c = ((o * 5) % kSize + 1) % kSize + 1;
        before.set(o, v, before.get(o, v) | core::LayerVideo);
        before.set(o, a, before.get(o, a) | core::LayerAudio);
        before.set(o, c, before.get(o, c) | core::LayerComposite);
    }
    for (int r = 1; r < grid->RowCount(); ++r)
        for (int c = 1; c < grid->ColCount(); ++c)
            grid->setCells(c, r, QString::fromStdString(core::CellLabel(before.get(c, r), core::LabelSet::Redraw)));
    settlePaint();
}

} // namespace

double redraw72Ratio()
{
    QTemporaryDir dir;
    const QString appDir = dir.path() + QLatin1Char('/');
    const QString ptyLink = appDir + QStringLiteral("ports/COM1");
    QDir().mkpath(appDir + QStringLiteral("ports"));
    if (!writeTables(appDir + QStringLiteral("KorvathDB")))
        return -1;
    SimulatorThread sim(fullMatrix(ptyLink));
    if (!sim.begin())
        return -1;

    Messages::setTestMode(true);
    Messages::clearRecords();
    TForm1 form(appDir);
    form.Link->setCommTimeout(1000);
    form.show(); // loads the matrix: "test", "I", "00#"
    if (form.CrosspointTable.get(1, 1) != 1 || form.StringGrid1->RowCount() != kSize + 1) {
        note("redraw_72_ratio", "the 72 x 72 matrix did not load");
        return -1;
    }
    const QString expected = form.StringGrid1->Cells(kSize, kSize);
    const QString ok = QString::fromUtf8("更新状态成功!");

    // One pty cannot have two readers: blocks of each in turn, the window's port closed while
    // the raw client has the line. Every timed exchange, raw or not, starts after the same
    // pause (the one that lets the window repaint outside the timing), as an operator's
    // refresh starts from an idle console.
    const int rounds = 6, perRound = 50, warmUp = 5;
    std::vector<double> refresh, refreshUnchanged, raw; // every route moved / none
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        form.Link->MSComm1()->setPortOpen(false);
        {
            RawSerial line(ptyLink.toStdString());
            if (!line.isOpen())
                return -1;
            for (int i = 0; i < warmUp + perRound; ++i) {
                settlePaint(); // the same pause as before each refresh
                const double t0 = wallSeconds();
                failures += line.exchange("00#", "I", 1000) ? 0 : 1;
                if (i >= warmUp)
                    raw.push_back(wallSeconds() - t0);
            }
        }
        form.Link->MSComm1()->setPortOpen(true);
        for (int i = 0; i < warmUp + perRound; ++i) {
            const bool stale = i % 2 == 0;
            if (stale)
                staleGrid(form.StringGrid1);
            Messages::clearRecords();
            const double t0 = wallSeconds();
            form.DelegateButton2Click(form.Button2, false);
            const double t = wallSeconds() - t0;
            const bool good = Messages::texts() == QStringList{ok} && form.StringGrid1->Cells(kSize, kSize) == expected
                && form.StringGrid1->Cells(1, 1) == QStringLiteral(" V");
            failures += good ? 0 : 1;
            if (i >= warmUp)
                (stale ? refresh : refreshUnchanged).push_back(t);
            settlePaint(); // the repaint, outside the timing
        }
    }
    form.Link->closeLinks();
    if (failures) {
        note("redraw_72_ratio", std::to_string(failures) + " exchanges or refreshes failed");
        return -1;
    }
    const double f = median(refresh), u = median(refreshUnchanged), r = median(raw);
    note("redraw_72_ratio",
         std::to_string(refresh.size()) + " refreshes after every route moved " + micros(f) + ", "
             + std::to_string(refreshUnchanged.size()) + " refreshes of an unchanged grid " + micros(u) + ", "
             + std::to_string(raw.size()) + " raw blocking \"00#\" round trips " + micros(r)
             + " (medians, alternating blocks, each after a 12 ms pause); simulator in a thread of its own;"
               " figure: every route moved");
    return f / r;
}

} // namespace bench
