#include "core/CrosspointTable.h"

#include <QtTest>

using namespace core;

class TestCrosspointTable : public QObject
{
    Q_OBJECT

private slots:
    void labels_data();
    void labels();
    void getSetStayInsideTable();
    void clearEmptiesEveryCell();
    void redrawGrid_data();
    void redrawGrid();
};

void TestCrosspointTable::labels_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("redraw");
    QTest::addColumn<QByteArray>("routing");

    QTest::newRow("0 none") << 0 << QByteArray("") << QByteArray("");
    QTest::newRow("1 V") << 1 << QByteArray(" V") << QByteArray(" V");
    QTest::newRow("2 A") << 2 << QByteArray(" A") << QByteArray(" A");
    QTest::newRow("3 V+A") << 3 << QByteArray("AV") << QByteArray("VA");
    QTest::newRow("4 C") << 4 << QByteArray(" C") << QByteArray(" C");
    QTest::newRow("5 V+C") << 5 << QByteArray("VC") << QByteArray("VC");
    QTest::newRow("6 A+C") << 6 << QByteArray("AC") << QByteArray("AC");
    QTest::newRow("7 V+A+C") << 7 << QByteArray("VAC") << QByteArray("VAC");
    QTest::newRow("8 no layer set") << 8 << QByteArray("") << QByteArray("");
    QTest::newRow("-1 no layer set") << -1 << QByteArray("") << QByteArray("");
}

void TestCrosspointTable::labels()
{
    QFETCH(int, value);
    QFETCH(QByteArray, redraw);
    QFETCH(QByteArray, routing);
    QCOMPARE(QByteArray::fromStdString(CellLabel(value, LabelSet::Redraw)), redraw);
    QCOMPARE(QByteArray::fromStdString(CellLabel(value, LabelSet::Routing)), routing);
}

void TestCrosspointTable::getSetStayInsideTable()
{
    CrosspointTable t;
    t.set(1, 1, 1);
    t.set(72, 72, 7);
    t.set(3, 12, 5);
    QCOMPARE(t.get(1, 1), 1);
    QCOMPARE(t.get(72, 72), 7);
    QCOMPARE(t.get(3, 12), 5);
    QCOMPARE(t.get(12, 3), 0); // output first, input second

    // Nothing outside 1..72 is written, and reading there gives 0.
    const int outside[] = {0, -1, 73, 1000, INT_MIN, INT_MAX};
    for (int bad : outside) {
        t.set(bad, 5, 7);
        t.set(5, bad, 7);
        t.set(bad, bad, 7);
        QCOMPARE(t.get(bad, 5), 0);
        QCOMPARE(t.get(5, bad), 0);
        QCOMPARE(t.get(bad, bad), 0);
    }
    int nonZero = 0;
    for (int o = 1; o <= MaxChannels; ++o)
        for (int i = 1; i <= MaxChannels; ++i)
            nonZero += t.get(o, i) != 0;
    QCOMPARE(nonZero, 3);
}

void TestCrosspointTable::clearEmptiesEveryCell()
{
    CrosspointTable t;
    for (int o = 1; o <= MaxChannels; ++o)
        for (int i = 1; i <= MaxChannels; ++i)
            t.set(o, i, 7);
    t.clear();
    for (int o = 1; o <= MaxChannels; ++o)
        for (int i = 1; i <= MaxChannels; ++i)
            QCOMPARE(t.get(o, i), 0);
}

void TestCrosspointTable::redrawGrid_data()
{
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<int>("colCount");
    QTest::addColumn<QStringList>("writes"); // "column,row=text" in call order

    QTest::newRow("no rows, no columns") << 0 << 0 << QStringList();
    QTest::newRow("0 inputs, 3 outputs") << 1 << 4 << QStringList();
    QTest::newRow("3 inputs, 0 outputs") << 4 << 1 << QStringList();
    QTest::newRow("negative counts") << -3 << -3 << QStringList();
    // Rows outer, columns inner; cell (c, r) shows entry [c][r].
    QTest::newRow("3 inputs, 2 outputs")
        << 4 << 3
        << QStringList{"1,1= V", "2,1=", "1,2=", "2,2=", "1,3=", "2,3=AV"};
    QTest::newRow("1 input, 3 outputs") << 2 << 4 << QStringList{"1,1= V", "2,1=", "3,1=VAC"};
}

void TestCrosspointTable::redrawGrid()
{
    QFETCH(int, rowCount);
    QFETCH(int, colCount);
    QFETCH(QStringList, writes);

    CrosspointTable t;
    t.set(1, 1, 1);
    t.set(2, 3, 3);
    t.set(3, 1, 7);
    QStringList seen;
    RedrawGrid(t, rowCount, colCount, [&](int column, int row, const std::string &text) {
        seen << QStringLiteral("%1,%2=%3").arg(column).arg(row).arg(QString::fromStdString(text));
    });
    QCOMPARE(seen, writes);
}

QTEST_APPLESS_MAIN(TestCrosspointTable)
#include "tst_crosspointtable.moc"
