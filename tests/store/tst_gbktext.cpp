#include "store/GbkText.h"

#include <QTest>

using store::cutToBytes;
using store::gbkLength;
using store::toGbk;

class TestGbkText : public QObject
{
    Q_OBJECT

private slots:
    void encodes_data();
    void encodes();
    void cuts_data();
    void cuts();
    void iconvAgreesWithQt();
};

static QString u(const char *utf8) { return QString::fromUtf8(utf8); }
static QString repeated(const char *utf8, int n) { return u(utf8).repeated(n); }

void TestGbkText::encodes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("gbk");
    QTest::newRow("ascii") << u("COM1") << QByteArray("COM1");
    QTest::newRow("chinese") << u("网口") << QByteArray::fromHex("cdf8bfda");
    QTest::newRow("mixed") << u("A矩阵b") << QByteArray::fromHex("41bed8d5f362");
    QTest::newRow("empty") << QString() << QByteArray();
    // Outside code page 936: its one-byte replacement, and a surrogate pair is one character.
    QTest::newRow("emoji") << u("a\xF0\x9F\x98\x80" "b") << QByteArray("a?b");
}

void TestGbkText::encodes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, gbk);
    QCOMPARE(toGbk(text), gbk);
    QCOMPARE(gbkLength(text), int(gbk.size()));
}

void TestGbkText::cuts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<QString>("kept");
    QTest::newRow("ascii 45 into 40") << QString(45, QLatin1Char('x')) << 40 << QString(40, QLatin1Char('x'));
    QTest::newRow("21 chinese into 40") << repeated("矩", 21) << 40 << repeated("矩", 20);
    QTest::newRow("20 chinese fit 40") << repeated("矩", 20) << 40 << repeated("矩", 20);
    // One ASCII byte first: the 20th Chinese character would take bytes 40 and 41, so it goes.
    QTest::newRow("odd boundary") << u("a") + repeated("矩", 20) << 40 << u("a") + repeated("矩", 19);
    QTest::newRow("odd boundary then ascii") << u("ab网口c") << 5 << u("ab网");
    QTest::newRow("room for ascii after chinese") << u("网a口") << 3 << u("网a");
    QTest::newRow("short text kept") << u("COM1") << 5 << u("COM1");
    QTest::newRow("nothing fits") << u("网") << 1 << QString();
    QTest::newRow("zero bytes") << u("abc") << 0 << QString();
    QTest::newRow("surrogate pair whole") << u("\xF0\x9F\x98\x80\xF0\x9F\x98\x80") << 1 << u("\xF0\x9F\x98\x80");
}

void TestGbkText::cuts()
{
    QFETCH(QString, text);
    QFETCH(int, maxBytes);
    QFETCH(QString, kept);
    const QString cut = cutToBytes(text, maxBytes);
    QCOMPARE(cut, kept);
    QVERIFY(gbkLength(cut) <= maxBytes);
}

void TestGbkText::iconvAgreesWithQt()
{
    if (!store::detail::gbkUsesQt())
        QSKIP("Qt has no GBK codec here; iconv is the converter in use");
    const QStringList samples = {u("网口演示矩阵"), u("摄像机1 投影机"), u("COM1"), u("一般操作员/系统管理员"),
                                 u("预置场景：会议"), u("啊齄丂")};
    for (const QString &s : samples)
        QCOMPARE(store::detail::toGbkIconv(s), toGbk(s));
}

QTEST_APPLESS_MAIN(TestGbkText)
#include "tst_gbktext.moc"
