#include "core/Commands.h"

#include <QtTest>

using namespace core;

namespace {

// A sequence as "text/ack" items, so a failing comparison shows every command.
QStringList show(const CommandSequence &seq)
{
    QStringList out;
    for (const Command &c : seq)
        out << QString::fromStdString(c.text) + '/' + QString::fromStdString(c.ack);
    return out;
}

// The commands a crosspoint expects for the given letters, in order.
QStringList expected(const QString &channels, const QString &letters)
{
    QStringList out;
    for (QChar l : letters)
        out << channels + l + '/' + l + channels;
    return out;
}

QByteArray b(const std::string &s) { return QByteArray::fromStdString(s); }

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void commandTable_data();
    void commandTable();
    void selection_data();
    void selection();
    void routeToAll_data();
    void routeToAll();
    void numbersThatDoNotFitFormNoCommand_data();
    void numbersThatDoNotFitFormNoCommand();
    void containsUpdate_data();
    void containsUpdate();
};

void TestCommands::commandTable_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("ack");
    QTest::addColumn<QByteArray>("wantText");
    QTest::addColumn<QByteArray>("wantAck");

    auto row = [](const char *name, const Command &c, const char *text, const char *ack) {
        QTest::newRow(name) << b(c.text) << b(c.ack) << QByteArray(text) << QByteArray(ack);
    };
    auto plain = [](const char *name, const std::string &sent, const char *text) {
        QTest::newRow(name) << b(sent) << QByteArray() << QByteArray(text) << QByteArray();
    };

    plain("link test", LinkTest, "test");
    plain("identification query", IdentifyQuery, "I");
    plain("status query", StatusQuery, "00#");
    plain("factory reset", FactoryReset, "R");

    row("connect video 3<-12", crosspointCommand(3, 12, 'V'), "0312V", "V0312");
    row("connect audio", crosspointCommand(3, 12, 'A'), "0312A", "A0312");
    row("connect composite", crosspointCommand(3, 12, 'C'), "0312C", "C0312");
    row("disconnect video", crosspointCommand(3, 12, 'v'), "0312v", "v0312");
    row("disconnect audio 3<-12", crosspointCommand(3, 12, 'a'), "0312a", "a0312");
    row("disconnect composite", crosspointCommand(3, 12, 'c'), "0312c", "c0312");
    row("channel 1 and 72", crosspointCommand(1, 72, 'V'), "0172V", "V0172");
    row("channel 72 and 1", crosspointCommand(72, 1, 'c'), "7201c", "c7201");

    row("input 5 to all, composite", routeToAllSequence(5, true).at(0), "0005C", "C0005");
    row("input 5 to all, audio", routeToAllSequence(5, true).at(1), "0005A", "A0005");
    row("input 5 to all, video", routeToAllSequence(5, true).at(2), "0005V", "V0005");
    row("input 0 to all", routeToAllSequence(0, false).at(0), "0000C", "C0000");

    row("store preset 7", storePresetCommand(7), "07K", "K07");
    row("store preset 32", storePresetCommand(32), "32K", "K32");
    row("recall preset 1", recallPresetCommand(1), "01P", "P01");
    row("recall preset 32", recallPresetCommand(32), "32P", "P32");

    plain("power saving on", powerSavingCommand(true), "1W");
    plain("power saving off", powerSavingCommand(false), "0W");
    plain("mute on", muteCommand(true), "1O");
    plain("mute off", muteCommand(false), "0O");
    plain("freeze on", freezeCommand(true), "1Q");
    plain("freeze off", freezeCommand(false), "0Q");
}

void TestCommands::commandTable()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, ack);
    QFETCH(QByteArray, wantText);
    QFETCH(QByteArray, wantAck);
    QCOMPARE(text, wantText);
    QCOMPARE(ack, wantAck);
}

void TestCommands::selection_data()
{
    QTest::addColumn<int>("layers");
    QTest::addColumn<bool>("vca");
    QTest::addColumn<bool>("audio");
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QString>("connect");       // letters sent, in order
    QTest::addColumn<QString>("disconnect");
    QTest::addColumn<QString>("connectHistory"); // the single-form letter
    QTest::addColumn<QString>("disconnectHistory");
    QTest::addColumn<bool>("split");

    struct Rule
    {
        int layers;
        bool vca, audio;
        const char *connect, *disconnectSerial, *disconnectTcp, *history;
    };
    // Sets 5, 6 and 7 on a matrix that is not "VCA" go as composite, which carries
    // video and audio together there.
    const Rule rules[] = {
        {0, false, true, "", "", "", ""},
        {0, false, false, "", "", "", ""},
        {0, true, true, "", "", "", ""},
        {0, true, false, "", "", "", ""},
        {1, false, true, "V", "v", "v", "V"},
        {1, false, false, "C", "c", "c", "C"},
        {1, true, true, "V", "v", "v", "V"},
        {1, true, false, "C", "c", "c", "C"},
        {2, false, true, "A", "a", "a", "A"},
        {2, false, false, "A", "a", "a", "A"},
        {2, true, true, "A", "a", "a", "A"},
        {2, true, false, "A", "a", "a", "A"},
        {3, false, true, "C", "c", "c", "C"},
        {3, false, false, "C", "c", "c", "C"},
        {3, true, true, "VA", "va", "va", "C"},
        {3, true, false, "VA", "va", "va", "C"},
        {4, false, true, "C", "c", "c", "C"},
        {4, false, false, "C", "c", "c", "C"},
        {4, true, true, "C", "c", "c", "C"},
        {4, true, false, "C", "c", "c", "C"},
        {5, false, true, "C", "c", "c", "C"},
        {5, false, false, "C", "c", "c", "C"},
        {5, true, true, "VC", "vc", "vc", "C"},
        {5, true, false, "VC", "vc", "vc", "C"},
        {6, false, true, "C", "c", "c", "C"},
        {6, false, false, "C", "c", "c", "C"},
        {6, true, true, "AC", "ac", "ac", "C"},
        {6, true, false, "AC", "ac", "ac", "C"},
        {7, false, true, "C", "c", "c", "C"},
        {7, false, false, "C", "c", "c", "C"},
        {7, true, true, "VAC", "avc", "vac", "C"},
        {7, true, false, "VAC", "avc", "vac", "C"},
    };
    for (const Rule &r : rules) {
        for (bool serial : {true, false}) {
            const QString name = QStringLiteral("L%1 %2 %3 %4")
                                     .arg(r.layers)
                                     .arg(r.vca ? "VCA" : "other")
                                     .arg(r.audio ? "audio" : "no-audio")
                                     .arg(serial ? "serial" : "tcp");
            const QString history = QString::fromLatin1(r.history);
            QTest::newRow(qPrintable(name))
                << r.layers << r.vca << r.audio << serial << QString::fromLatin1(r.connect)
                << QString::fromLatin1(serial ? r.disconnectSerial : r.disconnectTcp) << history
                << history.toLower() << (QString::fromLatin1(r.connect).size() > 1);
        }
    }
}

void TestCommands::selection()
{
    QFETCH(int, layers);
    QFETCH(bool, vca);
    QFETCH(bool, audio);
    QFETCH(bool, serial);
    QFETCH(QString, connect);
    QFETCH(QString, disconnect);
    QFETCH(QString, connectHistory);
    QFETCH(QString, disconnectHistory);
    QFETCH(bool, split);

    RouteContext ctx;
    ctx.vca = vca;
    ctx.audioEnabled = audio;
    ctx.serial = serial;
    const QString channels = QStringLiteral("0312");

    QCOMPARE(show(connectSequence(3, 12, layers, ctx)), expected(channels, connect));
    QCOMPARE(show(disconnectSequence(3, 12, layers, ctx)), expected(channels, disconnect));
    QCOMPARE(isSplitForm(layers, ctx), split);
    QCOMPARE(QString::fromStdString(connectHistoryText(3, 12, layers, ctx)),
             connectHistory.isEmpty() ? QString() : channels + connectHistory);
    QCOMPARE(QString::fromStdString(disconnectHistoryText(3, 12, layers, ctx)),
             disconnectHistory.isEmpty() ? QString() : channels + disconnectHistory);
}

void TestCommands::routeToAll_data()
{
    QTest::addColumn<int>("input");
    QTest::addColumn<bool>("vca");
    QTest::addColumn<QStringList>("commands");

    QTest::newRow("other type: composite only") << 5 << false << QStringList{"0005C/C0005"};
    QTest::newRow("VCA: composite, audio, video")
        << 5 << true << QStringList{"0005C/C0005", "0005A/A0005", "0005V/V0005"};
    QTest::newRow("input 72 VCA")
        << 72 << true << QStringList{"0072C/C0072", "0072A/A0072", "0072V/V0072"};
    QTest::newRow("input 0") << 0 << false << QStringList{"0000C/C0000"};
}

void TestCommands::routeToAll()
{
    QFETCH(int, input);
    QFETCH(bool, vca);
    QFETCH(QStringList, commands);
    QCOMPARE(show(routeToAllSequence(input, vca)), commands);
}

void TestCommands::numbersThatDoNotFitFormNoCommand_data()
{
    QTest::addColumn<int>("output");
    QTest::addColumn<int>("input");

    QTest::newRow("output -1") << -1 << 12;
    QTest::newRow("output 100") << 100 << 12;
    QTest::newRow("input 100") << 3 << 100;
    QTest::newRow("input -5") << 3 << -5;
    QTest::newRow("output INT_MIN") << INT_MIN << 1;
    QTest::newRow("input INT_MAX") << 1 << INT_MAX;
}

void TestCommands::numbersThatDoNotFitFormNoCommand()
{
    QFETCH(int, output);
    QFETCH(int, input);

    QVERIFY(crosspointCommand(output, input, 'V') == Command{});
    for (bool vca : {false, true}) {
        const RouteContext ctx{vca, true, true};
        for (LayerMask l = 1; l <= 7; ++l) {
            QVERIFY(connectSequence(output, input, l, ctx).empty());
            QVERIFY(disconnectSequence(output, input, l, ctx).empty());
            QVERIFY(connectHistoryText(output, input, l, ctx).empty());
            QVERIFY(disconnectHistoryText(output, input, l, ctx).empty());
        }
    }
    // The same numbers as an input to all outputs, or as a preset.
    for (int n : {output, input}) {
        if (n >= 0 && n <= 99)
            continue;
        QVERIFY(routeToAllSequence(n, true).empty());
        QVERIFY(storePresetCommand(n) == Command{});
        QVERIFY(recallPresetCommand(n) == Command{});
    }
}

void TestCommands::containsUpdate_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<bool>("found");

    QTest::newRow("update") << QByteArray("update") << true;
    QTest::newRow("UPDATE") << QByteArray("UPDATE") << true;
    QTest::newRow("Update") << QByteArray("Update") << true;
    QTest::newRow("inside other text") << QByteArray("V0312uPdAtE\r") << true;
    QTest::newRow("after an earlier near miss") << QByteArray("updatupdate") << true;
    QTest::newRow("beside code page 936 text") << QByteArray("\xb8\xfc\xd0\xc2UPDATE") << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("cut short") << QByteArray("updat") << false;
    QTest::newRow("split by a space") << QByteArray("up date") << false;
    QTest::newRow("an echo only") << QByteArray("V0312") << false;
    // Bytes above 127 never fold onto ASCII letters.
    QTest::newRow("high byte in place of u") << QByteArray("\xd5pdate") << false;
}

void TestCommands::containsUpdate()
{
    QFETCH(QByteArray, received);
    QFETCH(bool, found);
    QCOMPARE(core::containsUpdate(received.toStdString()), found);
}

QTEST_APPLESS_MAIN(TestCommands)
#include "tst_commands.moc"
