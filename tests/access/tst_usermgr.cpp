#include "AccessTest.h"

#include "access/Login.h"
#include "access/Usermgr.h"

#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyle>

using testsupport::TempProgramFolder;

namespace {

QStringList listed(const TForm4 &form)
{
    QStringList names;
    for (int i = 0; i < form.ListBox1->count(); ++i)
        names << form.ListBox1->item(i)->text();
    return names;
}

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

void select(TForm4 &form, const QString &name)
{
    const QList<QListWidgetItem *> items = form.ListBox1->findItems(name, Qt::MatchExactly);
    QVERIFY2(items.size() == 1, qPrintable(name));
    const QRect rect = form.ListBox1->visualItemRect(items.first());
    QTest::mouseClick(form.ListBox1->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(form.ListBox1->selectedItems(), items);
}

// Types text as an operator does: ASCII by key, Chinese through the input method.
void type(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(widget, char(c.unicode()));
            continue;
        }
        QInputMethodEvent commit;
        commit.setCommitString(QString(c));
        QCoreApplication::sendEvent(widget, &commit);
    }
}

void click(QWidget *widget)
{
    QTest::mouseClick(widget, Qt::LeftButton);
}

} // namespace

class TestUsermgr : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void opensSortedNothingSelected();
    void selectShowsUser_data();
    void selectShowsUser();
    void addWithRole_data();
    void addWithRole();
    void typedAsStored_data();
    void typedAsStored();
    void emptyNameOrPassword_data();
    void emptyNameOrPassword();
    void modifyRoleOnly();
    void modifyActsOnSelectedEntry();
    void deleteSelected();
    void duplicateRefused_data();
    void duplicateRefused();
    void closeEndsTableUse_data();
    void closeEndsTableUse();
    void missingTable();

private:
    QTemporaryDir m_settingsDir;
    std::unique_ptr<TempProgramFolder> m_dir;
    std::unique_ptr<TForm4> m_form;

    TForm4 &openForm();
};

void TestUsermgr::initTestCase()
{
    QVERIFY(accesstest::isolateSettings(m_settingsDir));
    Messages::setTestMode(true);
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

void TestUsermgr::init()
{
    accesstest::clearSettings();
    Messages::clearRecords();
    m_dir = std::make_unique<TempProgramFolder>();
    QVERIFY(m_dir->isValid());
    m_dir->writeDelivered();
}

void TestUsermgr::cleanup()
{
    m_form.reset();
    m_dir.reset();
}

TForm4 &TestUsermgr::openForm()
{
    m_form = std::make_unique<TForm4>(m_dir->appDirectory());
    m_form->show();
    return *m_form;
}

void TestUsermgr::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<QString>("text");
    QTest::newRow("Label1") << "Label1" << QRect(24, 16, 57, 13) << "用户列表";
    QTest::newRow("ListBox1") << "ListBox1" << QRect(24, 32, 145, 233) << "";
    QTest::newRow("Label2") << "Label2" << QRect(200, 35, 41, 13) << "用户名";
    QTest::newRow("Edit1") << "Edit1" << QRect(255, 29, 89, 21) << "";
    QTest::newRow("Label3") << "Label3" << QRect(202, 63, 39, 13) << "密    码";
    QTest::newRow("Edit2") << "Edit2" << QRect(256, 58, 89, 21) << "";
    QTest::newRow("GroupBox1") << "GroupBox1" << QRect(200, 88, 146, 177) << "";
    QTest::newRow("RadioButton1") << "RadioButton1" << QRect(24, 41, 89, 25) << "一般操作员";
    QTest::newRow("RadioButton2") << "RadioButton2" << QRect(24, 97, 89, 25) << "系统管理员";
    QTest::newRow("BitBtn1") << "BitBtn1" << QRect(21, 288, 65, 25) << "添加";
    QTest::newRow("BitBtn2") << "BitBtn2" << QRect(100, 288, 65, 25) << "删除";
    QTest::newRow("BitBtn4") << "BitBtn4" << QRect(180, 287, 65, 25) << "修改";
    QTest::newRow("BitBtn3") << "BitBtn3" << QRect(282, 287, 65, 25) << "退出";
}

void TestUsermgr::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, place);
    QFETCH(QString, text);
    TForm4 &form = openForm();
    auto *widget = form.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), place);
    if (!text.isEmpty())
        QCOMPARE(widget->property("text").toString(), text);

    if (name != QLatin1String("Edit2"))
        return;
    QCOMPARE(form.windowTitle(), QStringLiteral("用户权限管理"));
    QCOMPARE(form.GroupBox1->title(), QStringLiteral("权限设置"));
    const Qt::WindowFlags flags = form.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(form.Edit2->echoMode(), QLineEdit::Password);
    QCOMPARE(form.Edit2->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, form.Edit2),
             int('*'));
    QVERIFY(form.RadioButton1->isChecked());
    // Longer names and passwords cannot be typed.
    QTest::keyClicks(form.Edit1, QStringLiteral("abcdefghijkl"));
    QCOMPARE(form.Edit1->text(), QStringLiteral("abcdefghij"));
    QTest::keyClicks(form.Edit2, QStringLiteral("123456789"));
    QCOMPARE(form.Edit2->text(), QStringLiteral("12345678"));

    const QList<QWidget *> order{form.ListBox1, form.Edit1, form.Edit2, form.RadioButton1,
                                 form.RadioButton2, form.BitBtn1, form.BitBtn2, form.BitBtn3,
                                 form.BitBtn4};
    QWidget *w = form.ListBox1;
    for (QWidget *expected : order) {
        QCOMPARE(w, expected);
        do
            w = w->nextInFocusChain();
        while (!order.contains(w));
    }
    QCOMPARE(w, form.ListBox1);
}

void TestUsermgr::opensSortedNothingSelected()
{
    m_dir->addUser(QStringLiteral("zeta"), QStringLiteral("z"), 1);
    m_dir->addUser(QStringLiteral("beta"), QStringLiteral("b"), 0);
    TForm4 &form = openForm();
    const QStringList users{QStringLiteral("admin"), QStringLiteral("beta"), QStringLiteral("oper"),
                            QStringLiteral("zeta")};
    QCOMPARE(listed(form), users);
    QVERIFY(form.ListBox1->selectedItems().isEmpty());

    // Without a selection, delete and modify do nothing, whatever the boxes hold.
    form.Edit1->setText(QStringLiteral("admin"));
    form.Edit2->setText(QStringLiteral("x"));
    const QVector<QStringList> before = m_dir->rows(QStringLiteral("RoleDB.db"));
    click(form.BitBtn2);
    click(form.BitBtn4);
    QCOMPARE(m_dir->rows(QStringLiteral("RoleDB.db")), before);
    QCOMPARE(listed(form), users);
    QVERIFY(Messages::records().isEmpty());

    // Each opening reads the table afresh.
    form.close();
    m_dir->addUser(QStringLiteral("alpha"), QStringLiteral("a"), 1);
    form.show();
    QCOMPARE(listed(form), QStringList{QStringLiteral("admin")} << QStringLiteral("alpha") << users.mid(1));
    QVERIFY(form.ListBox1->selectedItems().isEmpty());
}

void TestUsermgr::selectShowsUser_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("operatorRole");
    QTest::newRow("ROLE 0") << "admin" << "admin" << false;
    QTest::newRow("ROLE 1") << "oper" << "1234" << true;
    QTest::newRow("ROLE 7") << "odd" << "7" << false;
}

void TestUsermgr::selectShowsUser()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(bool, operatorRole);
    m_dir->addUser(QStringLiteral("odd"), QStringLiteral("7"), 7);
    TForm4 &form = openForm();
    // Start from the opposite radio button, so that the click must set it.
    (operatorRole ? form.RadioButton2 : form.RadioButton1)->setChecked(true);
    select(form, name);
    QCOMPARE(form.Edit1->text(), name);
    QCOMPARE(form.Edit2->text(), password);
    QCOMPARE(form.RadioButton1->isChecked(), operatorRole);
    QCOMPARE(form.RadioButton2->isChecked(), !operatorRole);

    // A click on the selected entry refills what was typed over.
    form.Edit1->setText(QStringLiteral("typed"));
    select(form, name);
    QCOMPARE(form.Edit1->text(), name);
}

void TestUsermgr::addWithRole_data()
{
    QTest::addColumn<bool>("operatorRole");
    QTest::addColumn<QString>("role");
    QTest::newRow("一般操作员") << true << "1";
    QTest::newRow("系统管理员") << false << "0";
}

void TestUsermgr::addWithRole()
{
    QFETCH(bool, operatorRole);
    QFETCH(QString, role);
    TForm4 &form = openForm();
    QTest::keyClicks(form.Edit1, QStringLiteral("bob"));
    QTest::keyClicks(form.Edit2, QStringLiteral("pw"));
    click(operatorRole ? form.RadioButton1 : form.RadioButton2);
    click(form.BitBtn1);

    QVERIFY(Messages::records().isEmpty());
    QCOMPARE(accesstest::storedUser(*m_dir, QStringLiteral("bob")),
             (QStringList{QStringLiteral("bob"), QStringLiteral("pw"), role}));
    // Appended at the end, not sorted in; nothing becomes selected.
    QCOMPARE(listed(form), (QStringList{QStringLiteral("admin"), QStringLiteral("oper"), QStringLiteral("bob")}));
    QVERIFY(form.ListBox1->selectedItems().isEmpty());

    // The login reads what was written.
    TForm6 login(m_dir->appDirectory());
    QSignalSpy loggedIn(&login, &TForm6::loggedIn);
    login.Edit1->setText(QStringLiteral("bob"));
    login.Edit2->setText(QStringLiteral("pw"));
    click(login.Button1);
    QCOMPARE(loggedIn.size(), 1);
    QCOMPARE(loggedIn.at(0).at(0).toString(), role);
}

void TestUsermgr::typedAsStored_data()
{
    // The boxes hold as many bytes of code page 936 text as the fields store (a Chinese
    // character takes two), so a typed name and password are stored uncut and log in.
    QTest::addColumn<QString>("typedName");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typedPassword");
    QTest::addColumn<QString>("password");
    QTest::newRow("ascii") << "abcdefghijkl" << "abcdefghij" << "123456789" << "12345678";
    QTest::newRow("chinese") << "张三李四王五赵" << "张三李四王" << "密码口令暗号" << "密码口令";
    QTest::newRow("odd byte left") << "a张三李四王五" << "a张三李四" << "1密码口令" << "1密码口";
    QTest::newRow("ascii after chinese") << "张三李四ab" << "张三李四ab" << "密码口令x" << "密码口令";
}

void TestUsermgr::typedAsStored()
{
    QFETCH(QString, typedName);
    QFETCH(QString, name);
    QFETCH(QString, typedPassword);
    QFETCH(QString, password);
    TForm4 &form = openForm();
    type(form.Edit1, typedName);
    type(form.Edit2, typedPassword);
    QCOMPARE(form.Edit1->text(), name);
    QCOMPARE(form.Edit2->text(), password);
    click(form.BitBtn1);
    QVERIFY(Messages::records().isEmpty());
    QCOMPARE(accesstest::storedUser(*m_dir, name), (QStringList{name, password, QStringLiteral("1")}));
    QCOMPARE(listed(form).last(), name);

    TForm6 login(m_dir->appDirectory());
    QSignalSpy loggedIn(&login, &TForm6::loggedIn);
    login.Edit1->setText(name);
    login.Edit2->setText(password);
    click(login.Button1);
    QVERIFY(Messages::records().isEmpty());
    QCOMPARE(loggedIn.size(), 1);
}

void TestUsermgr::emptyNameOrPassword_data()
{
    QTest::addColumn<bool>("modify");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::newRow("add, empty name") << false << "" << "pw";
    QTest::newRow("add, empty password") << false << "bob" << "";
    QTest::newRow("modify, empty name") << true << "" << "pw";
    QTest::newRow("modify, empty password") << true << "oper" << "";
}

void TestUsermgr::emptyNameOrPassword()
{
    QFETCH(bool, modify);
    QFETCH(QString, name);
    QFETCH(QString, password);
    TForm4 &form = openForm();
    if (modify)
        select(form, QStringLiteral("oper"));
    form.Edit1->setText(name);
    form.Edit2->setText(password);
    click(form.RadioButton2);
    const QVector<QStringList> before = m_dir->rows(QStringLiteral("RoleDB.db"));
    const QStringList list = listed(form);
    click(modify ? form.BitBtn4 : form.BitBtn1);

    const QList<Messages::Record> records = Messages::records();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.at(0).kind, Messages::Kind::Box);
    QCOMPARE(records.at(0).text, QStringLiteral("用户名或密码不能为空!"));
    QCOMPARE(records.at(0).caption, QStringLiteral("错误提示"));
    QCOMPARE(m_dir->rows(QStringLiteral("RoleDB.db")), before);
    QCOMPARE(listed(form), list);

    // Nothing is left half-written: the next change of the row goes through alone.
    select(form, QStringLiteral("oper"));
    click(form.RadioButton2);
    click(form.BitBtn4);
    QCOMPARE(accesstest::storedUser(*m_dir, QStringLiteral("oper")),
             (QStringList{QStringLiteral("oper"), QStringLiteral("1234"), QStringLiteral("0")}));
}

void TestUsermgr::modifyRoleOnly()
{
    TForm4 &form = openForm();
    select(form, QStringLiteral("oper"));
    QVERIFY(form.RadioButton1->isChecked());
    click(form.RadioButton2);
    click(form.BitBtn4);
    QVERIFY(Messages::records().isEmpty());
    QCOMPARE(m_dir->rows(QStringLiteral("RoleDB.db")),
             (QVector<QStringList>{{QStringLiteral("admin"), QStringLiteral("admin"), QStringLiteral("0")},
                                   {QStringLiteral("oper"), QStringLiteral("1234"), QStringLiteral("0")}}));
    QCOMPARE(listed(form), (QStringList{QStringLiteral("admin"), QStringLiteral("oper")}));

    // The next login of that user carries the new role.
    TForm6 login(m_dir->appDirectory());
    QSignalSpy loggedIn(&login, &TForm6::loggedIn);
    login.Edit1->setText(QStringLiteral("oper"));
    login.Edit2->setText(QStringLiteral("1234"));
    click(login.Button1);
    QCOMPARE(loggedIn.size(), 1);
    QCOMPARE(loggedIn.at(0).at(0).toInt(), 0);
}

void TestUsermgr::modifyActsOnSelectedEntry()
{
    TForm4 &form = openForm();
    select(form, QStringLiteral("oper"));
    form.Edit1->setText(QStringLiteral("bob"));
    form.Edit2->setText(QStringLiteral("pw"));
    click(form.BitBtn1);
    QCOMPARE(accesstest::storedNames(*m_dir),
             (QStringList{QStringLiteral("admin"), QStringLiteral("bob"), QStringLiteral("oper")}));

    // The new row is the table's current row, but "修改" changes the selected entry's row.
    form.Edit1->setText(QStringLiteral("carol"));
    form.Edit2->setText(QStringLiteral("c"));
    click(form.RadioButton2);
    click(form.BitBtn4);
    QVERIFY(Messages::records().isEmpty());
    QCOMPARE(m_dir->rows(QStringLiteral("RoleDB.db")),
             (QVector<QStringList>{{QStringLiteral("admin"), QStringLiteral("admin"), QStringLiteral("0")},
                                   {QStringLiteral("bob"), QStringLiteral("pw"), QStringLiteral("1")},
                                   {QStringLiteral("carol"), QStringLiteral("c"), QStringLiteral("0")}}));
    QCOMPARE(listed(form), (QStringList{QStringLiteral("admin"), QStringLiteral("carol"), QStringLiteral("bob")}));
    QCOMPARE(form.ListBox1->selectedItems().value(0)->text(), QStringLiteral("carol"));
}

void TestUsermgr::deleteSelected()
{
    m_dir->addUser(QStringLiteral("zeta"), QStringLiteral("z"), 1);
    TForm4 &form = openForm();
    select(form, QStringLiteral("oper"));
    click(form.BitBtn2);
    QVERIFY(Messages::records().isEmpty());
    QCOMPARE(accesstest::storedNames(*m_dir), (QStringList{QStringLiteral("admin"), QStringLiteral("zeta")}));
    QCOMPARE(listed(form), (QStringList{QStringLiteral("admin"), QStringLiteral("zeta")}));
    QVERIFY(form.ListBox1->selectedItems().isEmpty());

    // Nothing is selected now, so a second press removes nobody.
    click(form.BitBtn2);
    QCOMPARE(accesstest::storedNames(*m_dir), (QStringList{QStringLiteral("admin"), QStringLiteral("zeta")}));

    // Deleting the last administrator is not prevented.
    select(form, QStringLiteral("admin"));
    click(form.BitBtn2);
    QCOMPARE(accesstest::storedNames(*m_dir), QStringList{QStringLiteral("zeta")});
    QCOMPARE(listed(form), QStringList{QStringLiteral("zeta")});
}

void TestUsermgr::duplicateRefused_data()
{
    QTest::addColumn<bool>("modify");
    QTest::newRow("add an existing name") << false;
    QTest::newRow("rename to another user's name") << true;
}

void TestUsermgr::duplicateRefused()
{
    QFETCH(bool, modify);
    TForm4 &form = openForm();
    if (modify)
        select(form, QStringLiteral("oper"));
    form.Edit1->setText(modify ? QStringLiteral("admin") : QStringLiteral("oper"));
    form.Edit2->setText(QStringLiteral("new"));
    const QVector<QStringList> before = m_dir->rows(QStringLiteral("RoleDB.db"));
    click(modify ? form.BitBtn4 : form.BitBtn1);

    // The table's refusal is shown once; the list shows the stored users only.
    const QList<Messages::Record> records = Messages::records();
    QCOMPARE(records.size(), 1);
    QVERIFY2(records.at(0).text.contains(QStringLiteral("USERNAME")), qPrintable(records.at(0).text));
    QCOMPARE(m_dir->rows(QStringLiteral("RoleDB.db")), before);
    QCOMPARE(listed(form), accesstest::storedNames(*m_dir));

    // The refused row is gone from the handle: the next add stores just its own row.
    Messages::clearRecords();
    form.Edit1->setText(QStringLiteral("fresh"));
    click(form.BitBtn1);
    QVERIFY(Messages::records().isEmpty());
    QCOMPARE(accesstest::storedNames(*m_dir),
             (QStringList{QStringLiteral("admin"), QStringLiteral("fresh"), QStringLiteral("oper")}));
    QCOMPARE(sorted(listed(form)), accesstest::storedNames(*m_dir));
}

void TestUsermgr::closeEndsTableUse_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("退出") << false;
    QTest::newRow("close box") << true;
}

void TestUsermgr::closeEndsTableUse()
{
    QFETCH(bool, closeBox);
    TForm4 &form = openForm();
    QVERIFY(form.Table1.active());
    if (closeBox)
        form.close();
    else
        click(form.BitBtn3);
    QVERIFY(form.isHidden());
    QVERIFY(!form.Table1.active());
    QVERIFY(Messages::records().isEmpty());
}

void TestUsermgr::missingTable()
{
    m_dir->removeTable(QStringLiteral("RoleDB.db"));
    TForm4 form(m_dir->appDirectory());
    QVERIFY_THROWS_EXCEPTION(store::TableError, form.FormShow());
    QCOMPARE(form.ListBox1->count(), 0);
}

ACCESS_TEST_MAIN(TestUsermgr)
#include "tst_usermgr.moc"
