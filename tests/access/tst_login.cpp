#include "AccessTest.h"

#include "access/Login.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTimer>

#include <sys/stat.h>

using testsupport::TempProgramFolder;

class TestLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void firstStart();
    void layout_data();
    void layout();
    void rememberedAcrossStarts_data();
    void rememberedAcrossStarts();
    void failedAttempt_data();
    void failedAttempt();
    void enterOnlyInPasswordBox();
    void endsProgram_data();
    void endsProgram();
    void missingUserTable();

private:
    QTemporaryDir m_settingsDir;
    std::unique_ptr<TempProgramFolder> m_dir;
};

void TestLogin::initTestCase()
{
    QVERIFY(accesstest::isolateSettings(m_settingsDir));
    Messages::setTestMode(true);
    // Only the window's own request may end the event loop.
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

void TestLogin::init()
{
    accesstest::clearSettings();
    Messages::clearRecords();
    m_dir = std::make_unique<TempProgramFolder>();
    QVERIFY(m_dir->isValid());
    m_dir->writeDelivered();
}

void TestLogin::firstStart()
{
    TForm6 form(m_dir->appDirectory());
    QVERIFY(form.isVisible());
    QCOMPARE(form.windowTitle(), QStringLiteral("登录"));
    QVERIFY(form.Edit1->text().isEmpty());
    QVERIFY(form.Edit2->text().isEmpty());
    QVERIFY(!form.CheckBox1->isChecked());
    QCOMPARE(form.UserRole(), 0);
    // Looking for a remembered login writes nothing.
    QVERIFY(!QFileInfo::exists(TForm6::settingsFileName()));
    QVERIFY(Messages::records().isEmpty());
}

void TestLogin::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<QString>("text");
    QTest::newRow("Label1") << "Label1" << QRect(32, 30, 49, 13) << "用户名";
    QTest::newRow("Edit1") << "Edit1" << QRect(32, 51, 145, 21) << "";
    QTest::newRow("Label2") << "Label2" << QRect(32, 79, 33, 13) << "密码";
    QTest::newRow("Edit2") << "Edit2" << QRect(32, 100, 145, 21) << "";
    QTest::newRow("CheckBox1") << "CheckBox1" << QRect(32, 136, 145, 25) << "记住用户名和密码";
    QTest::newRow("Button1") << "Button1" << QRect(31, 171, 65, 25) << "登录";
    QTest::newRow("Button2") << "Button2" << QRect(113, 171, 65, 25) << "取消";
}

void TestLogin::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, place);
    QFETCH(QString, text);
    TForm6 form(m_dir->appDirectory());
    auto *widget = form.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), place);
    if (!text.isEmpty())
        QCOMPARE(widget->property("text").toString(), text);

    // Shared checks, once: window frame, masked password, tab order.
    if (name != QLatin1String("Edit2"))
        return;
    const Qt::WindowFlags flags = form.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(form.Edit2->echoMode(), QLineEdit::Password);
    QCOMPARE(form.Edit2->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, form.Edit2),
             int('*'));
    QVERIFY(form.Edit1->maxLength() >= 32767);
    QVERIFY(form.Edit2->maxLength() >= 32767);
    const QList<QWidget *> order{form.Edit1, form.Edit2, form.Button1, form.Button2, form.CheckBox1};
    QWidget *w = form.Edit1;
    for (QWidget *expected : order) {
        QCOMPARE(w, expected);
        do
            w = w->nextInFocusChain();
        while (!order.contains(w));
    }
    QCOMPARE(w, form.Edit1);
}

void TestLogin::rememberedAcrossStarts_data()
{
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("role");
    QTest::newRow("unticked, administrator") << false << "admin" << "admin" << 0;
    QTest::newRow("ticked, administrator") << true << "admin" << "admin" << 0;
    QTest::newRow("ticked, operator") << true << "oper" << "1234" << 1;
}

void TestLogin::rememberedAcrossStarts()
{
    QFETCH(bool, ticked);
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(int, role);

    {
        TForm6 first(m_dir->appDirectory());
        QSignalSpy loggedIn(&first, &TForm6::loggedIn);
        QSignalSpy terminate(&first, &TForm6::terminateRequested);
        QTest::keyClicks(first.Edit1, name);
        QTest::keyClicks(first.Edit2, password);
        if (ticked)
            QTest::mouseClick(first.CheckBox1, Qt::LeftButton);
        QCOMPARE(first.CheckBox1->isChecked(), ticked);
        QTest::mouseClick(first.Button1, Qt::LeftButton);

        QCOMPARE(Messages::records().size(), 0);
        QCOMPARE(loggedIn.size(), 1);
        QCOMPARE(loggedIn.at(0).at(0).toInt(), role);
        QCOMPARE(first.UserRole(), role);
        QVERIFY(first.isHidden());
        QCOMPARE(terminate.size(), 0);
    }

    // Name and password are kept either way; the box only decides the next start.
    const QString file = TForm6::settingsFileName();
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0600));
    {
        QSettings raw(file, QSettings::IniFormat);
        raw.beginGroup(QStringLiteral("user"));
        QCOMPARE(raw.value(QStringLiteral("USER_NAME")).toString(), name);
        QCOMPARE(raw.value(QStringLiteral("PWD")).toString(), password);
        QCOMPARE(raw.value(QStringLiteral("SAVE_FLAG")).toString(), ticked ? QStringLiteral("1") : QStringLiteral("0"));
    }

    TForm6 second(m_dir->appDirectory());
    QCOMPARE(second.CheckBox1->isChecked(), ticked);
    QCOMPARE(second.Edit1->text(), ticked ? name : QString());
    QCOMPARE(second.Edit2->text(), ticked ? password : QString());
    if (!ticked)
        return;
    QSignalSpy loggedIn(&second, &TForm6::loggedIn);
    QTest::keyClick(second.Edit2, Qt::Key_Return);
    QCOMPARE(loggedIn.size(), 1);
    QCOMPARE(loggedIn.at(0).at(0).toInt(), role);
}

void TestLogin::failedAttempt_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    QTest::newRow("unknown name") << "nobody" << "admin" << "用户名错误！" << "Edit1";
    QTest::newRow("empty name") << "" << "admin" << "用户名错误！" << "Edit1";
    QTest::newRow("name past the key width") << "abcdefghijk" << "pw" << "用户名错误！" << "Edit1";
    QTest::newRow("wrong password") << "admin" << "nimda" << "密码错误！" << "Edit2";
    QTest::newRow("empty password") << "oper" << "" << "密码错误！" << "Edit2";
    QTest::newRow("password in other case") << "admin" << "ADMIN" << "密码错误！" << "Edit2";
    // Only 8 bytes are stored: a longer password starting with the stored one never matches.
    QTest::newRow("password past 8") << "long8" << "12345678x" << "密码错误！" << "Edit2";
}

void TestLogin::failedAttempt()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    m_dir->addUser(QStringLiteral("abcdefghij"), QStringLiteral("pw"), 0);
    m_dir->addUser(QStringLiteral("long8"), QStringLiteral("12345678x"), 0);
    QCOMPARE(accesstest::storedUser(*m_dir, QStringLiteral("long8")).value(1), QStringLiteral("12345678"));

    TForm6 form(m_dir->appDirectory());
    QSignalSpy loggedIn(&form, &TForm6::loggedIn);
    form.Edit1->setText(name);
    form.Edit2->setText(password);
    form.CheckBox1->setChecked(true);
    QTest::mouseClick(form.Button1, Qt::LeftButton);

    const QList<Messages::Record> records = Messages::records();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.at(0).kind, Messages::Kind::Box);
    QCOMPARE(records.at(0).text, message);
    QCOMPARE(records.at(0).caption, QStringLiteral("错误提示"));
    QCOMPARE(form.focusWidget()->objectName(), focus);
    QCOMPARE(loggedIn.size(), 0);
    QVERIFY(form.isVisible());
    QCOMPARE(form.Edit1->text(), name);
    QCOMPARE(form.Edit2->text(), password);
    QVERIFY(!QFileInfo::exists(TForm6::settingsFileName()));

    // The attempt closed its table: another attempt can follow.
    form.Edit1->setText(QStringLiteral("oper"));
    form.Edit2->setText(QStringLiteral("1234"));
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QCOMPARE(loggedIn.size(), 1);
    QCOMPARE(form.UserRole(), 1);
}

void TestLogin::enterOnlyInPasswordBox()
{
    TForm6 form(m_dir->appDirectory());
    QSignalSpy loggedIn(&form, &TForm6::loggedIn);
    form.Edit1->setText(QStringLiteral("admin"));
    form.Edit2->setText(QStringLiteral("admin"));
    QTest::keyClick(form.Edit1, Qt::Key_Return);
    QTest::keyClick(form.Edit1, Qt::Key_Enter);
    QTest::keyClick(form.Edit2, Qt::Key_A);
    QCOMPARE(loggedIn.size(), 0);
    QCOMPARE(form.Edit2->text(), QStringLiteral("admina"));
    QTest::keyClick(form.Edit2, Qt::Key_Backspace);
    QTest::keyClick(form.Edit2, Qt::Key_Enter);
    QCOMPARE(loggedIn.size(), 1);
    QCOMPARE(loggedIn.at(0).at(0).toInt(), 0);
    QVERIFY(Messages::records().isEmpty());
}

void TestLogin::endsProgram_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("取消") << 0;
    QTest::newRow("close box") << 1;
}

void TestLogin::endsProgram()
{
    QFETCH(int, how);
    TForm6 form(m_dir->appDirectory());
    form.Edit1->setText(QStringLiteral("admin"));
    form.Edit2->setText(QStringLiteral("admin"));
    QSignalSpy loggedIn(&form, &TForm6::loggedIn);
    QSignalSpy terminate(&form, &TForm6::terminateRequested);

    // The event loop really ends; the guard would end it with 2.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(2); });
    guard.start(10000);
    QTimer::singleShot(0, &form, [&] {
        if (how == 0)
            QTest::mouseClick(form.Button2, Qt::LeftButton);
        else
            form.close();
    });
    QCOMPARE(QCoreApplication::exec(), 0);

    QCOMPARE(terminate.size(), 1);
    QCOMPARE(loggedIn.size(), 0);
    QCOMPARE(form.UserRole(), 0);
    QVERIFY(!QFileInfo::exists(TForm6::settingsFileName()));
}

void TestLogin::missingUserTable()
{
    m_dir->removeTable(QStringLiteral("RoleDB.db"));
    TForm6 form(m_dir->appDirectory());
    QSignalSpy loggedIn(&form, &TForm6::loggedIn);
    form.Edit1->setText(QStringLiteral("admin"));
    form.Edit2->setText(QStringLiteral("admin"));
    QTest::mouseClick(form.Button1, Qt::LeftButton);

    // The table's own error, shown once by the default error display.
    const QList<Messages::Record> records = Messages::records();
    QCOMPARE(records.size(), 1);
    QVERIFY2(records.at(0).text.contains(QStringLiteral("RoleDB")), qPrintable(records.at(0).text));
    QCOMPARE(loggedIn.size(), 0);
    QVERIFY(form.isVisible());
    QVERIFY(!QFileInfo::exists(TForm6::settingsFileName()));
}

ACCESS_TEST_MAIN(TestLogin)
#include "tst_login.moc"
