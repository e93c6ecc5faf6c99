// The default error display and the message module's test mode.
#include "core/PlatformError.h"
#include "ui/Application.h"
#include "ui/Messages.h"

#include <QPushButton>
#include <QTest>

class ErrorDisplayTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Messages::setTestMode(true); }

    void raisedErrorIsShownAndProgramGoesOn()
    {
        Messages::clearRecords();
        QPushButton button;
        int after = 0;
        QObject::connect(&button, &QPushButton::clicked, [] { throw PlatformError("表 \"MatrixDB.DB\": 缺失"); });
        QObject::connect(&button, &QPushButton::clicked, [&] { ++after; });
        button.show();
        QTest::mouseClick(&button, Qt::LeftButton);
        // Only the handler that was running ends; the error is shown once.
        const auto records = Messages::records();
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.at(0).text, QString::fromUtf8("表 \"MatrixDB.DB\": 缺失"));
        QCOMPARE(after, 0);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(Messages::records().size(), 2);
    }

    void testModeRecordsAndAnswers()
    {
        Messages::clearRecords();
        Messages::info(QStringLiteral("a"));
        Messages::error(QStringLiteral("b"));
        Messages::plain(QStringLiteral("c"));
        QVERIFY(!Messages::question(QStringLiteral("d"), QString::fromUtf8("警告"))); // none queued: No
        Messages::queueQuestionAnswer(true);
        QVERIFY(Messages::question(QStringLiteral("e"), QString::fromUtf8("警告")));
        QString value = QStringLiteral("1000");
        Messages::queueInputAnswer(true, QStringLiteral("250"));
        QVERIFY(Messages::input(QStringLiteral("t"), QStringLiteral("p"), value));
        QCOMPARE(value, QStringLiteral("250"));
        QVERIFY(!Messages::input(QStringLiteral("t"), QStringLiteral("p"), value));
        QCOMPARE(value, QStringLiteral("250"));
        const auto r = Messages::records();
        QCOMPARE(r.size(), 7);
        QCOMPARE(r.at(0).caption, QString::fromUtf8("信息提示"));
        QCOMPARE(r.at(1).caption, QString::fromUtf8("错误提示"));
        QCOMPARE(r.at(2).caption, QString::fromUtf8("Sarvelon矩阵管理系统"));
        QVERIFY(r.at(2).kind == Messages::Kind::Plain);
    }
};

int main(int argc, char **argv)
{
    SarvelonApplication app(argc, argv);
    ErrorDisplayTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_errordisplay.moc"
