#include "core/StatusReply.h"

#include <QtTest>

#include <cstdio>
#include <memory>
#include <vector>

using namespace core;

namespace {

// The state a matrix reports: per output (index o-1) the input on each layer, 0 for none.
struct Device
{
    int outputs = 0;
    bool stored[9] = {}; // presets 1..8
    std::vector<int> video, audio, composite;
    bool power = false, mute = false, freeze = false;
};

std::string fields(const std::vector<int> &inputs)
{
    std::string s;
    for (int i : inputs) {
        char f[8];
        std::snprintf(f, sizeof f, "%02d,", i);
        s += f;
    }
    return s;
}

// The reply a matrix sends to "00#".
std::string reply(const Device &d)
{
    std::string s = "PST:";
    for (int n = 1; n <= 8; ++n)
        s += d.stored[n] ? "01," : "00,";
    s += "\r";
    s += "V" + fields(d.video) + "\r";
    s += "A" + fields(d.audio) + "\r";
    s += "C" + fields(d.composite) + "\r";
    s += std::string("+") + (d.power ? '1' : '0') + "%" + (d.mute ? '1' : '0') + "&"
         + (d.freeze ? '1' : '0') + "\r";
    s += "I";
    return s;
}

// A device with every kind of cell: layers alone and combined, inputs 1 and 72, gaps.
Device busyDevice(int outputs)
{
    Device d;
    d.outputs = outputs;
    d.stored[1] = d.stored[3] = d.stored[8] = true;
    d.power = true;
    d.mute = true;
    for (int o = 1; o <= outputs; ++o) {
        const int v = o % 5 == 0 ? 0 : (o * 7) % 72 + 1;
        d.video.push_back(v);
        d.audio.push_back(o % 3 == 0 ? v : o % 4 == 0 ? 0 : (o * 11) % 72 + 1);
        d.composite.push_back(o % 2 == 0 ? v : o % 7 == 0 ? 72 : 0);
    }
    return d;
}

// Non-zero cells as "output<-input:value", output-major.
QStringList cells(const CrosspointTable &t)
{
    QStringList out;
    for (int o = 1; o <= MaxChannels; ++o)
        for (int i = 1; i <= MaxChannels; ++i)
            if (t.get(o, i))
                out << QStringLiteral("%1<-%2:%3").arg(o).arg(i).arg(t.get(o, i));
    return out;
}

QStringList expectedCells(const Device &d, bool audio)
{
    CrosspointTable t;
    auto add = [&t](int o, int i, LayerMask bit) {
        if (i)
            t.set(o, i, t.get(o, i) | bit);
    };
    for (int o = 1; o <= d.outputs; ++o) {
        add(o, d.video[o - 1], LayerVideo);
        if (audio)
            add(o, d.audio[o - 1], LayerAudio);
        add(o, d.composite[o - 1], LayerComposite);
    }
    return cells(t);
}

QList<int> presets(const StatusReport &r)
{
    QList<int> out;
    for (int n = 1; n <= 32; ++n)
        out << r.presets[n];
    return out;
}

QList<int> presetList(std::initializer_list<int> firstEight)
{
    QList<int> out(firstEight);
    while (out.size() < 32)
        out << 0;
    return out;
}

// A reply with the given section texts (fields only) and no stored preset.
std::string sections(const char *v, const char *a, const char *c, const char *flags = "+0%0&0")
{
    return std::string("PST:00,00,00,00,00,00,00,00,\r") + "V" + v + "\r" + "A" + a + "\r" + "C"
           + c + "\r" + flags + "\r" + "I";
}

} // namespace

class TestStatusReply : public QObject
{
    Q_OBJECT

private slots:
    void readsDeviceReply_data();
    void readsDeviceReply();
    void sectionFields_data();
    void sectionFields();
    void presetLine_data();
    void presetLine();
    void firstLine_data();
    void firstLine();
    void missingMarker_data();
    void missingMarker();
    void missingMarkerNeverReadsBufferStart();
    void sectionEndsBeforeLastCharacter();
    void noPresetMarker_data();
    void noPresetMarker();
    void replyCutShortAtEveryLength_data();
    void replyCutShortAtEveryLength();
    void readField_data();
    void readField();
};

void TestStatusReply::readsDeviceReply_data()
{
    QTest::addColumn<int>("outputs");
    QTest::addColumn<bool>("audio");

    for (int outputs : {4, 16, 72}) {
        QTest::newRow(qPrintable(QStringLiteral("%1 outputs with audio").arg(outputs))) << outputs << true;
        QTest::newRow(qPrintable(QStringLiteral("%1 outputs no audio").arg(outputs))) << outputs << false;
    }
}

void TestStatusReply::readsDeviceReply()
{
    QFETCH(int, outputs);
    QFETCH(bool, audio);

    const Device d = busyDevice(outputs);
    std::string buffer = reply(d);
    const std::string sent = buffer;
    StatusReport r;
    QVERIFY(ParseStatusReply(buffer, outputs, audio, r));

    QCOMPARE(QByteArray::fromStdString(buffer), QByteArray::fromStdString(sent));
    QCOMPARE(presets(r), presetList({1, 0, 1, 0, 0, 0, 0, 1}));
    QCOMPARE(cells(r.routes), expectedCells(d, audio));
    QVERIFY(r.powerSaving);
    QCOMPARE(r.muteRead, audio);
    QCOMPARE(r.mute, audio); // "%1", read only with audio
    QVERIFY(!r.freeze);
}

void TestStatusReply::sectionFields_data()
{
    QTest::addColumn<int>("outNum");
    QTest::addColumn<bool>("audio");
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QStringList>("routes");

    auto row = [](const char *name, int outNum, bool audio, const std::string &buffer,
                  const QStringList &routes) {
        QTest::newRow(name) << outNum << audio << QByteArray::fromStdString(buffer) << routes;
    };

    row("05,00,12 on three outputs", 3, true, sections("05,00,12,", "00,00,00,", "00,00,00,"),
        {"1<-5:1", "3<-12:1"});
    row("video and audio from one input", 1, true, sections("05,", "05,", "00,"), {"1<-5:3"});
    row("video and composite", 1, true, sections("05,", "00,", "05,"), {"1<-5:5"});
    row("audio and composite", 1, true, sections("00,", "05,", "05,"), {"1<-5:6"});
    row("all three", 1, true, sections("05,", "05,", "05,"), {"1<-5:7"});
    row("layers from different inputs", 1, true, sections("01,", "02,", "03,"),
        {"1<-1:1", "1<-2:2", "1<-3:4"});
    row("no audio: audio section not read", 2, false, sections("05,06,", "07,08,", "00,00,"),
        {"1<-5:1", "2<-6:1"});
    row("fewer fields than outputs", 4, true, sections("05,", "", "09,"), {"1<-5:1", "1<-9:4"});
    row("more fields than outputs", 1, true, sections("05,06,", "", ""), {"1<-5:1"});
    row("spaces and sign", 3, true, sections(" 7,+8,-0,", "", ""), {"1<-7:1", "2<-8:1"});
    row("no digits", 3, true, sections("ab,,,  ,", "", ""), {});
    row("input above 72 or below 1 is no route", 4, true,
        sections("73,99,-1,-9,", "80,-5,00,", "90,"), {});
    row("inputs 72 and beyond the grid's inputs still land", 2, true,
        sections("72,40,", "", ""), {"1<-72:1", "2<-40:1"});
    row("no outputs", 0, true, sections("05,", "05,", "05,"), {});
    row("negative output count", -3, true, sections("05,", "05,", "05,"), {});
}

void TestStatusReply::sectionFields()
{
    QFETCH(int, outNum);
    QFETCH(bool, audio);
    QFETCH(QByteArray, buffer);
    QFETCH(QStringList, routes);

    std::string b = buffer.toStdString();
    StatusReport r;
    r.routes.set(9, 9, 7); // the table is rebuilt, not added to
    QVERIFY(ParseStatusReply(b, outNum, audio, r));
    QCOMPARE(cells(r.routes), routes);
}

void TestStatusReply::presetLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QList<int>>("presets");

    const QByteArray rest = "V00,\rA00,\rC00,\r+0%0&0\rI";
    QTest::newRow("none stored") << "PST:00,00,00,00,00,00,00,00,\r" + rest << presetList({});
    QTest::newRow("01 in position 3") << "PST:00,00,01,00,00,00,00,00,\r" + rest
                                      << presetList({0, 0, 1});
    QTest::newRow("all eight") << "PST:01,01,01,01,01,01,01,01,\r" + rest
                               << presetList({1, 1, 1, 1, 1, 1, 1, 1});
    QTest::newRow("other numbers") << "PST:99, 5,+7,-0,ab,00,00,12,\r" + rest
                                   << presetList({99, 5, 7, 0, 0, 0, 0, 12});
    QTest::newRow("negative keeps its low eight bits") << "PST:-1,00,00,00,00,00,00,00,\r" + rest
                                                        << presetList({255});
    // No CR at all: there is no first line to drop and no section to read.
    QTest::newRow("no CR") << QByteArray("PST:01,00,01") << presetList({1, 0, 1});
}

void TestStatusReply::presetLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QList<int>, presets);

    std::string b = line.toStdString();
    StatusReport r;
    r.presets[20] = 3; // entries 9 to 32 always come out empty
    QVERIFY(ParseStatusReply(b, 1, true, r));
    QCOMPARE(::presets(r), presets);
    QCOMPARE(QByteArray::fromStdString(b), line);
}

void TestStatusReply::firstLine_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("dropped");     // the text in front is gone afterwards
    QTest::addColumn<bool>("presetsRead"); // the preset fields are where they are read

    QTest::newRow("preset line starts the buffer") << QByteArray() << true << true;
    QTest::newRow("short junk line") << QByteArray("xyz\r") << true << true;
    QTest::newRow("bare CR") << QByteArray("\r") << true << true;
    QTest::newRow("notice") << QByteArray("update\r") << true << true;
    QTest::newRow("junk holding every marker") << QByteArray("P V A C +1 %1 &1 I\r") << true << true;
    // Text in front of the "P" on the preset line itself leaves the line its length to the
    // CR, so nothing is dropped; the preset fields are still counted from the "P".
    QTest::newRow("junk on the preset line") << QByteArray("x") << false << true;
    QTest::newRow("early I on the preset line") << QByteArray("I") << false << true;
    QTest::newRow("two characters in front") << QByteArray("xy") << false << true;
}

void TestStatusReply::firstLine()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, dropped);
    QFETCH(bool, presetsRead);

    Device d = busyDevice(8);
    d.power = false;
    d.mute = false;
    d.freeze = true;
    const std::string sent = reply(d);
    std::string b = before.toStdString() + sent;
    StatusReport r;
    QVERIFY(ParseStatusReply(b, 8, true, r));

    const std::string left = dropped ? sent : before.toStdString() + sent;
    QCOMPARE(QByteArray::fromStdString(b), QByteArray::fromStdString(left));
    if (presetsRead)
        QCOMPARE(presets(r), presetList({1, 0, 1, 0, 0, 0, 0, 1}));
    QCOMPARE(cells(r.routes), expectedCells(d, true));
    QVERIFY(!r.powerSaving);
    QVERIFY(!r.mute);
    QVERIFY(r.freeze);
}

void TestStatusReply::missingMarker_data()
{
    QTest::addColumn<char>("marker");
    QTest::addColumn<QStringList>("routes");
    QTest::addColumn<bool>("power");
    QTest::addColumn<bool>("mute");
    QTest::addColumn<bool>("freeze");

    // Full reply: output 1 video 5, audio 6, composite 7; every flag on.
    QTest::newRow("V") << 'V' << QStringList{"1<-6:2", "1<-7:4"} << true << true << true;
    QTest::newRow("A") << 'A' << QStringList{"1<-5:1", "1<-7:4"} << true << true << true;
    QTest::newRow("C") << 'C' << QStringList{"1<-5:1", "1<-6:2"} << true << true << true;
    QTest::newRow("+") << '+' << QStringList{"1<-5:1", "1<-6:2", "1<-7:4"} << false << true << true;
    QTest::newRow("%") << '%' << QStringList{"1<-5:1", "1<-6:2", "1<-7:4"} << true << false << true;
    QTest::newRow("&") << '&' << QStringList{"1<-5:1", "1<-6:2", "1<-7:4"} << true << true << false;
}

void TestStatusReply::missingMarker()
{
    QFETCH(char, marker);
    QFETCH(QStringList, routes);
    QFETCH(bool, power);
    QFETCH(bool, mute);
    QFETCH(bool, freeze);

    std::string b = sections("05,", "06,", "07,", "+1%1&1");
    b[b.find(marker)] = 'x';
    StatusReport r;
    QVERIFY(ParseStatusReply(b, 1, true, r));
    QCOMPARE(cells(r.routes), routes);
    QCOMPARE(r.powerSaving, power);
    QCOMPARE(r.mute, mute);
    QCOMPARE(r.freeze, freeze);
}

void TestStatusReply::missingMarkerNeverReadsBufferStart()
{
    // The preset line keeps its length with text in front, so nothing is dropped, and the
    // buffer starts with fields that would route if read as a section.
    std::string b = "15,06,1PST:01,00,00,00,00,00,00,00,\r";
    QCOMPARE(b.find('\r') - b.find('P'), std::size_t(28));
    b += "V\rI";
    StatusReport r;
    QVERIFY(ParseStatusReply(b, 2, true, r));
    QCOMPARE(cells(r.routes), QStringList());
    QVERIFY(!r.powerSaving);
    QVERIFY(!r.mute);
    QVERIFY(!r.freeze);
}

void TestStatusReply::sectionEndsBeforeLastCharacter()
{
    // A section's CR counts only before the buffer's last character (normally the "I").
    std::string b = "PST:00,00,00,00,00,00,00,00,\rV05,\rC07,\r";
    StatusReport r;
    QVERIFY(ParseStatusReply(b, 1, true, r));
    QCOMPARE(cells(r.routes), QStringList{"1<-5:1"});

    b += "I";
    QVERIFY(ParseStatusReply(b, 1, true, r));
    QCOMPARE(cells(r.routes), (QStringList{"1<-5:1", "1<-7:4"}));
}

void TestStatusReply::noPresetMarker_data()
{
    QTest::addColumn<QByteArray>("buffer");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("acknowledgement only") << QByteArray("I");
    QTest::newRow("sections without preset line") << QByteArray("V01,\rA01,\rC01,\r+1%1&1\rI");
    QTest::newRow("lower-case p") << QByteArray("pst:01,00,00,00,00,00,00,00,\rV01,\rI");
}

void TestStatusReply::noPresetMarker()
{
    QFETCH(QByteArray, buffer);

    std::string b = buffer.toStdString();
    StatusReport r;
    r.presets[2] = 1;
    r.routes.set(1, 1, 7);
    r.powerSaving = r.muteRead = r.mute = r.freeze = true;
    QVERIFY(!ParseStatusReply(b, 4, true, r));
    QCOMPARE(QByteArray::fromStdString(b), buffer);
    QCOMPARE(presets(r), presetList({0, 1}));
    QCOMPARE(cells(r.routes), QStringList{"1<-1:7"});
    QVERIFY(r.powerSaving && r.muteRead && r.mute && r.freeze);
}

void TestStatusReply::replyCutShortAtEveryLength_data()
{
    QTest::addColumn<QByteArray>("before");

    QTest::newRow("reply alone") << QByteArray();
    QTest::newRow("after a junk line") << QByteArray("junk\r");
}

void TestStatusReply::replyCutShortAtEveryLength()
{
    // A reply arrives in pieces; whatever is in the buffer when it is read, the parser
    // reads only what has come, and never anything the full reply does not say.
    QFETCH(QByteArray, before);

    const Device d = busyDevice(16);
    const std::string whole = before.toStdString() + reply(d);
    std::string full = whole;
    StatusReport all;
    QVERIFY(ParseStatusReply(full, 16, true, all));

    for (std::size_t len = 0; len <= whole.size(); ++len) {
        // An exact-length heap copy, so a sanitizer sees any read past the text.
        std::unique_ptr<char[]> piece(new char[len ? len : 1]);
        std::memcpy(piece.get(), whole.data(), len);
        std::string b(piece.get(), len);
        piece.reset();

        StatusReport r;
        const bool hasP = b.find('P') != std::string::npos;
        QCOMPARE(ParseStatusReply(b, 16, true, r), hasP);
        if (!hasP)
            continue;
        for (int n = 1; n <= 32; ++n)
            QVERIFY2(r.presets[n] == 0 || r.presets[n] == all.presets[n], qPrintable(QString::number(len)));
        for (int o = 1; o <= MaxChannels; ++o)
            for (int i = 1; i <= MaxChannels; ++i)
                QVERIFY2((r.routes.get(o, i) & ~all.routes.get(o, i)) == 0,
                         qPrintable(QStringLiteral("len %1 cell %2<-%3").arg(len).arg(o).arg(i)));
        QVERIFY(!r.powerSaving || all.powerSaving);
        QVERIFY(!r.mute || all.mute);
        QVERIFY(!r.freeze || all.freeze);
        if (len == whole.size()) {
            QCOMPARE(cells(r.routes), expectedCells(d, true));
            QCOMPARE(presets(r), presets(all));
        }
    }
}

void TestStatusReply::readField_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("value");

    QTest::newRow("two digits") << QByteArray("05,12,") << 0 << 2 << 5;
    QTest::newRow("second field") << QByteArray("05,12,") << 3 << 2 << 12;
    QTest::newRow("leading space") << QByteArray(" 7") << 0 << 2 << 7;
    QTest::newRow("plus") << QByteArray("+7") << 0 << 2 << 7;
    QTest::newRow("minus") << QByteArray("-7") << 0 << 2 << -7;
    QTest::newRow("digit then stop") << QByteArray("7,") << 0 << 2 << 7;
    QTest::newRow("no digit first") << QByteArray(",7") << 0 << 2 << 0;
    QTest::newRow("sign alone") << QByteArray("--1") << 0 << 3 << 0;
    QTest::newRow("spaces only") << QByteArray("  ") << 0 << 2 << 0;
    QTest::newRow("width holds digits back") << QByteArray("123") << 0 << 2 << 12;
    QTest::newRow("cut at end") << QByteArray("05,1") << 3 << 2 << 1;
    QTest::newRow("at end") << QByteArray("05,") << 3 << 2 << 0;
    QTest::newRow("far beyond end") << QByteArray("05,") << 1000 << 2 << 0;
    QTest::newRow("empty") << QByteArray() << 0 << 2 << 0;
    QTest::newRow("wide field stops before overflow") << QByteArray("99999999999") << 0 << 11
                                                       << 999999999;
}

void TestStatusReply::readField()
{
    QFETCH(QByteArray, text);
    QFETCH(int, offset);
    QFETCH(int, width);
    QFETCH(int, value);
    QCOMPARE(core::readField(text.toStdString(), std::size_t(offset), std::size_t(width)), value);
}

QTEST_APPLESS_MAIN(TestStatusReply)
#include "tst_statusreply.moc"
