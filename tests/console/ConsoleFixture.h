#pragma once

// The real main window over a temporary program folder, against the matrix simulator in
// the same process (TCP on 127.0.0.1, or a pseudo-terminal linked at ports/COM1).
//
//   Console c;
//   c.sim.setSize(16, 8);                        // shape the device first
//   c.dir.addMatrix(c.tcpMatrix("A1", "VCA", 16, 8, true));
//   c.start();                                   // shows the window: tab 0 loads
//   c.clickCell(3, 12);                          // a real mouse click on the grid
//   QCOMPARE(c.sim.received(), QByteArray("0312V0312A"));

#include "console/Main.h"
#include "simulator/MatrixSimulator.h"
#include "store/Table.h"
#include "tests/support/TempProgramFolder.h"
#include "tools/Cmdlog.h"
#include "ui/Messages.h"
#include "ui/StringGrid.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTabBar>
#include <QTest>

#include <memory>

namespace consoletest {

inline QString u(const char *text) { return QString::fromUtf8(text); }

inline const QString Tcp = QString::fromUtf8("网口");
inline const QString Serial = QString::fromUtf8("串口");
inline const QString Offline = QString::fromUtf8("离线模式");

// The same TForm1, counting how deep device-started refreshes run inside one another.
class ObservedForm : public TForm1
{
public:
    using TForm1::TForm1;
    int depth = 0;
    int maxDepth = 0;
    int deviceUpdates = 0;
    void deviceUpdate() override
    {
        ++deviceUpdates;
        maxDepth = qMax(maxDepth, ++depth);
        TForm1::deviceUpdate();
        --depth;
    }
};

class Console
{
public:
    testsupport::TempProgramFolder dir;
    sim::MatrixSimulator sim;
    TForm9 history;
    std::unique_ptr<ObservedForm> form;
    int timeout;

    explicit Console(int timeoutMs = 200) : timeout(timeoutMs)
    {
        dir.setTimeout(timeoutMs);
        listenLowPort();
        Messages::clearRecords();
    }

    // The catalogue keeps the port as a signed 16-bit number: listen below 32768.
    void listenLowPort()
    {
        const int span = 32767 - 20000;
        int port = 20000 + int(QRandomGenerator::global()->bounded(span));
        for (int tries = 0; tries < 200; ++tries, port = 20000 + (port - 20000 + 97) % span) {
            if (sim.listenTcp(quint16(port)))
                return;
        }
        qFatal("no free loopback port below 32768");
    }

    ~Console()
    {
        form.reset();
        sim.closeAll();
    }

    // Matrix rows; the simulator's shape is the test's to set to match.
    testsupport::MatrixSpec matrix(const QString &name, const QString &type, int in, int out, bool audio,
                                   const QString &comType) const
    {
        testsupport::MatrixSpec m;
        m.name = name;
        m.type = type;
        m.inNum = in;
        m.outNum = out;
        m.audio = audio;
        m.comType = comType;
        if (comType == Tcp) {
            m.ip = QStringLiteral("127.0.0.1");
            m.port = QString::number(sim.tcpPort());
        } else if (comType == Serial) {
            m.comNum = QStringLiteral("COM1");
        }
        return m;
    }
    testsupport::MatrixSpec tcpMatrix(const QString &name, const QString &type, int in, int out, bool audio) const
    {
        return matrix(name, type, in, out, audio, Tcp);
    }

    void shape(int in, int out, bool audio, bool vca)
    {
        sim.setSize(in, out);
        sim.setAudio(audio);
        sim.setVca(vca);
    }

    bool openPty() { return sim.openPty(dir.appDirectory() + QStringLiteral("ports/COM1")); }

    // COM1 linked to a device that does not exist (without a link the port would fall back
    // to the machine's own /dev/ttyS0).
    bool linkMissingDevice()
    {
        QDir().mkpath(dir.appDirectory() + QStringLiteral("ports"));
        return QFile::link(dir.appDirectory() + QStringLiteral("no-such-device"),
                           dir.appDirectory() + QStringLiteral("ports/COM1"));
    }

    // Shows the window: FormShow loads tab 0. The first load waits with the time-out the
    // window holds at that moment, so it is set short first.
    void start()
    {
        form = std::make_unique<ObservedForm>(dir.appDirectory());
        form->setWindows(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &history);
        form->Link->setCommTimeout(timeout);
        form->show();
    }

    // Starts, then forgets what the load sent and showed.
    void startClean()
    {
        start();
        settle();
        sim.clearLog();
        Messages::clearRecords();
    }

    // Lets late bytes arrive (none are expected) so that asserting on them means something.
    static void settle(int ms = 30) { QTest::qWait(ms); }

    StringGrid *grid() const { return form->StringGrid1; }

    QRect cellRect(int col, int row) const
    {
        grid()->scrollTo(grid()->model()->index(row - 1, col - 1));
        return grid()->cellRect(col, row);
    }

    // A real left click on a body cell.
    void clickCell(int col, int row) const
    {
        const QRect r = cellRect(col, row);
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, r.center());
    }

    // A real mouse move over a body cell, an input heading (col 0) or an output heading (row 0).
    void moveOver(int col, int row) const
    {
        QHeaderView *vh = grid()->verticalHeader();
        QHeaderView *hh = grid()->horizontalHeader();
        QWidget *from = nullptr;
        QPoint at;
        if (col >= 1 && row >= 1) {
            from = grid()->viewport();
            at = cellRect(col, row).center();
        } else if (col == 0 && row >= 1) {
            grid()->scrollTo(grid()->model()->index(row - 1, 0));
            from = vh->viewport();
            at = QPoint(vh->width() / 2, vh->sectionViewportPosition(row - 1) + vh->sectionSize(row - 1) / 2);
        } else if (row == 0 && col >= 1) {
            grid()->scrollTo(grid()->model()->index(0, col - 1));
            from = hh->viewport();
            at = QPoint(hh->sectionViewportPosition(col - 1) + hh->sectionSize(col - 1) / 2, hh->height() / 2);
        }
        if (from)
            QTest::mouseMove(from, at);
    }

    QStringList memoLines() const { return form->Memo1->toPlainText().split(QLatin1Char('\n')); }

    QStringList historyCommands() const
    {
        QStringList out;
        for (int i = 0; i < history.count(); ++i)
            out << history.commandAt(i);
        return out;
    }

    // Ticks exactly the given layers with real clicks on the visible, enabled boxes.
    void tick(core::LayerMask layers) const
    {
        const struct { QCheckBox *box; core::LayerMask bit; } boxes[] = {
            {form->CheckBox3, core::LayerVideo}, {form->CheckBox4, core::LayerAudio},
            {form->CheckBox1, core::LayerComposite}};
        for (const auto &b : boxes) {
            if (b.box->isChecked() != bool(layers & b.bit))
                QTest::keyClick(b.box, Qt::Key_Space); // as the operator toggles it from the keyboard
        }
    }

    // Removes every channel description row of a matrix (as if they had never been made),
    // or only the one of the given kind and number.
    void removeChannelRows(const QString &matrix, const QString &kind = QString(), int number = 0)
    {
        store::Table t;
        t.setDatabaseName(dir.databaseFolder());
        t.setTableName(QStringLiteral("ChannelDescDB.DB"));
        t.setFilter(QStringLiteral("MatrixName = '") + matrix + QStringLiteral("'"));
        t.setFiltered(true);
        t.open();
        t.first();
        while (!t.eof()) {
            const bool match = kind.isEmpty()
                || (t.fieldByName(QStringLiteral("ChannelType")).asString() == kind
                    && t.fieldByName(QStringLiteral("ChannelNo")).asInteger() == number);
            if (match)
                t.deleteRow();
            else
                t.next();
        }
        t.close();
    }

    // Removes the preset description row of one preset of a matrix.
    void removePresetRow(const QString &matrix, int preset)
    {
        store::Table t;
        t.setDatabaseName(dir.databaseFolder());
        t.setTableName(QStringLiteral("ScreenDescDB"));
        t.open();
        t.first();
        while (!t.eof()) {
            if (t.fieldByName(QStringLiteral("NAME")).asString() == matrix
                && t.fieldByName(QStringLiteral("SCREEN_NO")).asInteger() == preset) {
                t.deleteRow();
                break;
            }
            t.next();
        }
        t.close();
    }
};

inline QStringList messageTexts() { return Messages::texts(); }

// "kind|caption|text" of every recorded message, so that a test states the form too.
inline QStringList messageLog()
{
    QStringList out;
    for (const Messages::Record &r : Messages::records()) {
        const char *kind = r.kind == Messages::Kind::Box ? "box" : r.kind == Messages::Kind::Plain ? "plain" : "other";
        out << QString::fromLatin1(kind) + QLatin1Char('|') + r.caption + QLatin1Char('|') + r.text;
    }
    return out;
}

inline QString box(const char *text) { return QStringLiteral("box|") + u("信息提示") + QLatin1Char('|') + u(text); }
inline QString plain(const char *text)
{
    return QStringLiteral("plain|") + u(Messages::AppTitle) + QLatin1Char('|') + u(text);
}

} // namespace consoletest
