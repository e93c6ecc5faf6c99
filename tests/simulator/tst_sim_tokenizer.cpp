#include "simulator/CommandTokenizer.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

using sim::CommandTokenizer;
using sim::Token;

namespace {

QStringList texts(const std::vector<Token> &tokens)
{
    QStringList out;
    for (const Token &t : tokens)
        out << QString::fromStdString(t.text);
    return out;
}

} // namespace

class TstSimTokenizer : public QObject
{
    Q_OBJECT
private slots:
    void stream_data();
    void stream();
    void fields();
    void floodOfDigitsStaysBounded();
    void randomBytesInRandomPieces();
};

void TstSimTokenizer::stream_data()
{
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QString>("pending");

    QTest::newRow("concatenated") << QStringList{"0312V0312A00#"}
                                  << QStringList{"0312V", "0312A", "00#"} << "";
    QTest::newRow("every kind")
        << QStringList{"testIR00#0312v0312a0312c0312C07K07P1W0O1Q"}
        << QStringList{"test", "I", "R", "00#", "0312v", "0312a", "0312c", "0312C",
                       "07K", "07P", "1W", "0O", "1Q"}
        << "";
    QTest::newRow("split into bytes") << QStringList{"0", "3", "1", "2", "V"}
                                      << QStringList{"0312V"} << "";
    QTest::newRow("split mid-word") << QStringList{"te", "st0", "0#03"}
                                    << QStringList{"test", "00#"} << "03";
    QTest::newRow("junk letters dropped") << QStringList{"X0312VZz07K"}
                                          << QStringList{"0312V", "07K"} << "";
    QTest::newRow("line ends dropped") << QStringList{"\r\n0312V\r\n1W\n"}
                                       << QStringList{"0312V", "1W"} << "";
    QTest::newRow("stray digit in front") << QStringList{"90312V"} << QStringList{"0312V"} << "";
    QTest::newRow("lost letter, next command counts") << QStringList{"0312", "00#"}
                                                      << QStringList{"00#"} << "";
    QTest::newRow("digits before I") << QStringList{"12I"} << QStringList{"I"} << "";
    QTest::newRow("too few digits") << QStringList{"312V2K"} << QStringList{} << "";
    QTest::newRow("status only as 00#") << QStringList{"01#0#"} << QStringList{} << "";
    QTest::newRow("byte inside a command breaks it") << QStringList{"03 12V03\r12V"}
                                                     << QStringList{} << "";
    QTest::newRow("broken test word") << QStringList{"tesI", "ttest"}
                                      << QStringList{"I", "test"} << "";
    QTest::newRow("update text is no command") << QStringList{"update"} << QStringList{} << "te";
    QTest::newRow("partial waits") << QStringList{"0312V03"} << QStringList{"0312V"} << "03";
}

void TstSimTokenizer::stream()
{
    QFETCH(QStringList, pieces);
    QFETCH(QStringList, commands);
    QFETCH(QString, pending);

    CommandTokenizer tok;
    QStringList got;
    for (const QString &p : pieces)
        got += texts(tok.feed(p.toStdString()));
    QCOMPARE(got, commands);
    QCOMPARE(QString::fromStdString(tok.pending()), pending);

    // Every byte is either in a command, still pending, or counted as dropped.
    std::size_t total = 0, used = 0;
    for (const QString &p : pieces)
        total += std::size_t(p.size());
    for (const QString &c : commands)
        used += std::size_t(c.size());
    QCOMPARE(tok.discarded() + used + tok.pending().size(), total);
}

void TstSimTokenizer::fields()
{
    CommandTokenizer tok;
    const std::vector<Token> t = tok.feed(std::string("0312c32P1Q00#"));
    QCOMPARE(t.size(), std::size_t(4));
    QCOMPARE(int(t[0].kind), int(Token::Route));
    QCOMPARE(t[0].letter, 'c');
    QCOMPARE(t[0].first, 3);
    QCOMPARE(t[0].second, 12);
    QCOMPARE(int(t[1].kind), int(Token::RecallPreset));
    QCOMPARE(t[1].first, 32);
    QCOMPARE(int(t[2].kind), int(Token::Function));
    QCOMPARE(t[2].letter, 'Q');
    QCOMPARE(t[2].first, 1);
    QCOMPARE(int(t[3].kind), int(Token::Status));
}

void TstSimTokenizer::floodOfDigitsStaysBounded()
{
    CommandTokenizer tok;
    const std::string flood(200000, '7');
    QVERIFY(tok.feed(flood).empty());
    QVERIFY(tok.pending().size() <= CommandTokenizer::MaxPending);
    QCOMPARE(texts(tok.feed(std::string("V"))), QStringList{"7777V"});
}

void TstSimTokenizer::randomBytesInRandomPieces()
{
    // Biased towards protocol characters so that real commands turn up among the junk.
    const std::string alphabet = "0123456789VACvacKPWOQIR#test\r\nXu";
    QRandomGenerator rng(20240611);
    std::string stream;
    for (int i = 0; i < 20000; ++i)
        stream += alphabet[rng.bounded(int(alphabet.size()))];

    CommandTokenizer whole, pieces;
    std::vector<Token> a = whole.feed(stream);
    std::vector<Token> b;
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t n = std::min<std::size_t>(stream.size() - at, rng.bounded(1, 9));
        for (Token &t : pieces.feed(stream.data() + at, n))
            b.push_back(std::move(t));
        QVERIFY(pieces.pending().size() <= CommandTokenizer::MaxPending);
        at += n;
    }
    QCOMPARE(texts(b), texts(a)); // how the bytes were cut up does not matter
    QVERIFY(!a.empty());
    std::size_t used = 0;
    for (const Token &t : a)
        used += t.text.size();
    QCOMPARE(whole.discarded() + used + whole.pending().size(), stream.size());
}

QTEST_APPLESS_MAIN(TstSimTokenizer)
#include "tst_sim_tokenizer.moc"
