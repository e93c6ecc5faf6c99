// Start-up of the whole program: the windows in their order, the login hand-over, the main
// window's layout, its tables and the default error display.
#include "access/Login.h"
#include "access/Usermgr.h"
#include "catalogue/Channeldesc.h"
#include "catalogue/Marixedit.h"
#include "console/Preset.h"
#include "tools/Comtest.h"
#include "tools/Nettest.h"
#include "app/Startup.h"
#include "console/Main.h"
#include "link/DeviceLink.h"
#include "link/MSComm.h"
#include "simulator/MatrixSimulator.h"
#include "tests/support/TempProgramFolder.h"
#include "tools/Cmdlog.h"
#include "ui/Application.h"
#include "ui/Messages.h"
#include "ui/StringGrid.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QToolBar>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QFile>
#include <QTemporaryDir>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <QTimer>
#include <QTreeWidget>

using testsupport::MatrixSpec;
using testsupport::TempProgramFolder;

namespace {
QString u(const char *s) { return QString::fromUtf8(s); }

MatrixSpec offlineMatrix(const QString &name, int in = 4, int out = 4)
{
    MatrixSpec m;
    m.name = name;
    m.type = QStringLiteral("DVI");
    m.inNum = in;
    m.outNum = out;
    m.audio = false;
    m.comType = u("离线模式");
    return m;
}

void login(TForm6 *form, const QString &name, const QString &password)
{
    form->Edit1->setText(name);
    form->Edit2->setText(password);
    QTest::mouseClick(form->Button1, Qt::LeftButton);
}
} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Messages::setTestMode(true);
    }
    void init() { Messages::clearRecords(); }

    void windowsAndHandOver_data();
    void windowsAndHandOver();
    void cancelEndsWithoutMainWindow();
    void layoutAndStartTexts();
    void configTableAndTimeout_data();
    void configTableAndTimeout();
    void emptyCatalogueHidesGrid();
    void missingTableIsShownAndProgramGoesOn_data();
    void missingTableIsShownAndProgramGoesOn();
    void closingClosesSerialPort();
    void nameWithAQuoteLoadsLikeAnyOther();
    void historyWindow_data();
    void historyWindow();
};

void StartupTest::windowsAndHandOver_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<int>("role");
    QTest::newRow("operator") << "oper" << 1;
    QTest::newRow("administrator") << "admin" << 0;
}

void StartupTest::windowsAndHandOver()
{
    QFETCH(QString, user);
    QFETCH(int, role);
    TempProgramFolder dir;
    dir.addMatrix(offlineMatrix(QStringLiteral("B")));
    dir.addMatrix(offlineMatrix(QStringLiteral("A")));
    dir.addUser(user, QStringLiteral("pw"), role);

    Windows w;
    createWindows(w, dir.appDirectory());
    // Only the login window is on screen.
    QVERIFY(w.Form6->isVisible());
    QVERIFY(!w.Form1->isVisible());
    const QList<QWidget *> others{(QWidget *)w.Form2, w.Form3, w.Form4, w.Form5, w.Form7, w.Form8, w.Form9};
    for (QWidget *other : others)
        QVERIFY(!other->isVisible());
    QCOMPARE(w.Form1->windowTitle(), u("Sarvelon矩阵管理系统"));
    QCOMPARE(w.Form6->windowTitle(), u("登录"));
    QCOMPARE(w.Form2->windowTitle(), u("串口调试助手"));
    QCOMPARE(w.Form3->windowTitle(), u("矩阵编辑"));
    QCOMPARE(w.Form4->windowTitle(), u("用户权限管理"));
    QCOMPARE(w.Form5->windowTitle(), u("网络调试助手"));
    QCOMPARE(w.Form7->windowTitle(), u("通道描述"));
    QCOMPARE(w.Form8->windowTitle(), u("预置存储"));
    QCOMPARE(w.Form9->windowTitle(), u("历史操作指令"));

    login(w.Form6, user, QStringLiteral("pw"));
    QVERIFY(!w.Form6->isVisible());
    QVERIFY(w.Form1->isVisible());
    QCOMPARE(w.Form1->UserRole, role);
    const bool enabled = role != 1;
    QCOMPARE(w.Form1->U1->isEnabled(), enabled);
    QCOMPARE(w.Form1->N4->isEnabled(), enabled);
    QCOMPARE(w.Form1->ToolButton1->isEnabled(), enabled);
    QCOMPARE(w.Form1->ToolButton2->isEnabled(), enabled);
    for (QAction *always : {w.Form1->N6, w.Form1->S1, w.Form1->N9, w.Form1->E2})
        QVERIFY(always->isEnabled());
    // The tabs in key order, the first one loaded.
    QCOMPARE(w.Form1->TabControl1->count(), 2);
    QCOMPARE(w.Form1->TabControl1->tabText(0), QStringLiteral("A"));
    QCOMPARE(w.Form1->TabControl1->tabText(1), QStringLiteral("B"));
    QCOMPARE(w.Form1->CurrentMatrixName, QStringLiteral("A"));
    QVERIFY(w.Form1->TabControl1->isEnabled());
    QVERIFY(Messages::records().isEmpty());
}

void StartupTest::cancelEndsWithoutMainWindow()
{
    TempProgramFolder dir;
    dir.addMatrix(offlineMatrix(QStringLiteral("A")));
    dir.addUser(QStringLiteral("admin"), QStringLiteral("admin"), 0);
    for (int way = 0; way < 2; ++way) {
        Windows w;
        createWindows(w, dir.appDirectory());
        QSignalSpy terminate(w.Form6, &TForm6::terminateRequested);
        if (way == 0)
            QTest::mouseClick(w.Form6->Button2, Qt::LeftButton);
        else
            w.Form6->close();
        QCOMPARE(terminate.count(), 1);
        QVERIFY(!w.Form1->isVisible());
        QCOMPARE(w.Form1->TabControl1->count(), 0); // never shown, nothing loaded
    }
}

void StartupTest::layoutAndStartTexts()
{
    TempProgramFolder dir;
    dir.addMatrix(offlineMatrix(QStringLiteral("A")));
    TForm1 form(dir.appDirectory());
    const char *const startTexts[7] = {"名称：", "规格：", "类型：", "联机状态：OffLine", "通信方式：",
                                       "通信状态：", "Ver: 2.00"};
    for (int i = 0; i < 7; ++i)
        QCOMPARE(form.panelText(i), u(startTexts[i]));

    QStringList menus;
    for (QAction *a : form.menuBar()->actions())
        menus << a->text();
    QCOMPARE(menus, QStringList({u("系统(&S)"), u("调试工具(&T)"), u("矩阵管理(&M)"), u("语言(&L)"), u("帮助(&H)")}));
    QCOMPARE(form.U1->text(), u("用户管理(&U)..."));
    QCOMPARE(form.N6->text(), u("历史操作指令(&H)"));
    QCOMPARE(form.E2->text(), u("退出(E)..."));
    QCOMPARE(form.S1->text(), u("串口调试助手(&S)..."));
    QCOMPARE(form.N9->text(), u("网络调试助手(&N)..."));
    QCOMPARE(form.N8->text(), u("设置通讯超时时间..."));
    QCOMPARE(form.N4->text(), u("矩阵编辑(&V)"));
    QCOMPARE(form.N12->text(), u("中文(&C)"));
    QCOMPARE(form.N15->text(), u("英文(&E)"));
    QCOMPARE(form.U2->text(), u("用户指南(&U)..."));
    QCOMPARE(form.N10->text(), u("关于(&A)..."));
    // Tool buttons mirror their menu items.
    QCOMPARE(form.ToolButton1->defaultAction(), form.U1);
    QCOMPARE(form.ToolButton2->defaultAction(), form.N4);
    QCOMPARE(form.ToolButton3->defaultAction(), form.S1);
    QCOMPARE(form.ToolButton7->defaultAction(), form.N9);
    QCOMPARE(form.ToolButton11->defaultAction(), form.N6);
    QCOMPARE(form.Button1->text(), u("通道选择"));
    QStringList labels;
    for (QLabel *l : form.ToolBar2->findChildren<QLabel *>())
        labels << l->text();
    QVERIFY(labels.contains(u("      输入通道")));
    QVERIFY(labels.contains(u("        输出通道     ")));
    QCOMPARE(form.CheckBox5->text(), u("节电模式"));
    QCOMPARE(form.CheckBox6->text(), u("静音状态"));
    QCOMPARE(form.CheckBox7->text(), u("止像状态"));
    QCOMPARE(form.Button2->text(), u("更新状态"));
    QCOMPARE(form.Button3->text(), u("机器复位"));
    QCOMPARE(form.Button4->text(), u("存储"));
    QCOMPARE(form.Button5->text(), u("调用"));
    QCOMPARE(form.TabControl1->shape(), QTabBar::RoundedSouth);
    QVERIFY(!form.ListBox2->isVisibleTo(&form));
    QVERIFY(!form.Memo2->isVisibleTo(&form));
    QCOMPARE(form.CommTimeout(), 1000);

    form.show();
    QCOMPARE(form.Label8->text(), u("输\n入\n通\n道"));
    QCOMPARE(form.StringGrid1->Selection(), QRect(150, 150, 1, 1));
    QCOMPARE(form.StringGrid1->RowCount(), 5);
    QCOMPARE(form.StringGrid1->ColCount(), 5);
    // The user guide and the language items do nothing.
    form.U2->trigger();
    form.N12->trigger();
    form.N15->trigger();
    QTest::mouseClick(form.ToolButton5, Qt::LeftButton);
    QVERIFY(Messages::records().isEmpty());
}

void StartupTest::configTableAndTimeout_data()
{
    QTest::addColumn<QString>("stored"); // empty: no Config.DB at start
    QTest::addColumn<int>("timeout");
    QTest::addColumn<bool>("error");
    QTest::newRow("first start") << QString() << 1000 << false;
    QTest::newRow("stored 3000") << "3000" << 3000 << false;
    QTest::newRow("not a number") << "abc" << 1000 << true;
}

void StartupTest::configTableAndTimeout()
{
    QFETCH(QString, stored);
    QFETCH(int, timeout);
    QFETCH(bool, error);
    TempProgramFolder dir;
    dir.addMatrix(offlineMatrix(QStringLiteral("A")));
    if (!stored.isEmpty())
        dir.setTimeout(stored);
    {
        TForm1 form(dir.appDirectory());
        form.show();
        QCOMPARE(form.CommTimeout(), timeout);
        QCOMPARE(Messages::records().size(), error ? 1 : 0);
    }
    // A second start adds no second row.
    { TForm1 again(dir.appDirectory()); }
    const auto rows = dir.rows(QStringLiteral("Config.DB"));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0), QStringList({QStringLiteral("timeout"), stored.isEmpty() ? QStringLiteral("1000") : stored}));
}

void StartupTest::emptyCatalogueHidesGrid()
{
    TempProgramFolder dir;
    dir.createEmptyTable(QStringLiteral("MatrixDB.DB"));
    dir.createEmptyTable(QStringLiteral("ChannelDescDB.DB"));
    dir.createEmptyTable(QStringLiteral("ScreenDescDB"));
    TForm1 form(dir.appDirectory());
    form.show();
    QCOMPARE(form.TabControl1->count(), 0);
    QVERIFY(!form.StringGrid1->isVisible());
    // With no tab the refresh does nothing.
    form.Button2Click();
    QVERIFY(Messages::records().isEmpty());
    QVERIFY(form.StringGrid1->isEnabled());
}

void StartupTest::missingTableIsShownAndProgramGoesOn_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("tabs");
    // The catalogue itself, or the channel rows the first load reads.
    QTest::newRow("MatrixDB, administrator") << "MatrixDB.DB" << 0 << 0;
    QTest::newRow("MatrixDB, operator") << "MatrixDB.DB" << 1 << 0;
    QTest::newRow("ChannelDescDB, operator") << "ChannelDescDB.DB" << 1 << 1;
}

void StartupTest::missingTableIsShownAndProgramGoesOn()
{
    QFETCH(QString, table);
    QFETCH(int, role);
    QFETCH(int, tabs);
    TempProgramFolder dir;
    dir.addMatrix(offlineMatrix(QStringLiteral("A")));
    dir.removeTable(table);
    TForm1 form(dir.appDirectory());
    form.UserRole = role;
    form.show(); // the show event runs through the application's dispatch
    QCOMPARE(Messages::records().size(), 1);
    QVERIFY(Messages::records().at(0).text.contains(table.section(QLatin1Char('.'), 0, 0)));
    QCOMPARE(form.TabControl1->count(), tabs);
    QVERIFY(form.isVisible());
    QVERIFY(form.TabControl1->isEnabled());
    // An operator keeps out of user management and matrix editing all the same.
    const bool enabled = role != 1;
    QCOMPARE(form.U1->isEnabled(), enabled);
    QCOMPARE(form.N4->isEnabled(), enabled);
    QCOMPARE(form.ToolButton1->isEnabled(), enabled);
    QCOMPARE(form.ToolButton2->isEnabled(), enabled);
}

void StartupTest::closingClosesSerialPort()
{
    TempProgramFolder dir;
    sim::MatrixSimulator device;
    device.setSize(4, 4);
    QVERIFY(device.openPty(dir.appDirectory() + QStringLiteral("ports/COM1")));
    MatrixSpec m = offlineMatrix(QStringLiteral("S"));
    m.comType = u("串口");
    m.comNum = QStringLiteral("COM1");
    dir.addMatrix(m);
    dir.setTimeout(200);
    TForm1 form(dir.appDirectory());
    form.show();
    QVERIFY(form.Link->MSComm1()->PortOpen());
    QVERIFY(device.received().startsWith("test"));
    form.close();
    QVERIFY(!form.Link->MSComm1()->PortOpen());
}

void StartupTest::nameWithAQuoteLoadsLikeAnyOther()
{
    TempProgramFolder dir;
    MatrixSpec quoted = offlineMatrix(QStringLiteral("A'B"), 2, 1);
    quoted.inDescs = QStringList{u("摄像机1"), u("摄像机2")};
    quoted.outDescs = QStringList{u("投影机")};
    dir.addMatrix(quoted);
    MatrixSpec other = offlineMatrix(QStringLiteral("A"), 3, 3);
    other.inDescs = QStringList{QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")};
    dir.addMatrix(other);
    TForm1 form(dir.appDirectory());
    form.show();
    QCOMPARE(form.TabControl1->tabText(1), QStringLiteral("A'B"));
    form.TabControl1->setCurrentIndex(1);
    QCOMPARE(form.CurrentMatrixName, QStringLiteral("A'B"));
    QCOMPARE(form.ListBox2->count(), 2);
    QCOMPARE(form.ListBox2->item(1)->text(), u("摄像机2"));
    QCOMPARE(form.ListBox3->count(), 1);
    QCOMPARE(form.ListBox3->item(0)->text(), u("投影机"));
    QVERIFY(Messages::records().isEmpty());
}

void StartupTest::historyWindow_data()
{
    QTest::addColumn<bool>("fromToolBar");
    QTest::newRow("menu item") << false;
    QTest::newRow("tool button") << true;
}

// The command history opens modally from the system menu or its tool button, lists what the
// routing entered, empties on "清   空" and goes on "返   回"; the list outlives the window.
void StartupTest::historyWindow()
{
    QFETCH(bool, fromToolBar);
    TempProgramFolder dir;
    dir.addMatrix(offlineMatrix(QStringLiteral("A")));
    dir.addUser(QStringLiteral("oper"), QStringLiteral("pw"), 1); // operators may read it too
    Windows w;
    createWindows(w, dir.appDirectory());
    login(w.Form6, QStringLiteral("oper"), QStringLiteral("pw"));
    QVERIFY(w.Form1->isVisible());
    w.Form1->AddHistoryEntry(u("网口矩阵"), QStringLiteral("0312C"));
    w.Form1->AddHistoryEntry(u("网口矩阵"), QStringLiteral("0305v"));

    // What the open window shows, then a press of each of its buttons.
    auto inspect = [&](QStringList &rows, bool clear) {
        QTimer::singleShot(0, [&rows, &w, clear] {
            TForm9 *h = w.Form9;
            if (!h->isVisible() || !h->isModal()) {
                h->close();
                return;
            }
            rows << h->ListView1->headerItem()->text(0) + QLatin1Char('|') + h->ListView1->headerItem()->text(1);
            for (int i = 0; i < h->count(); ++i)
                rows << h->matrixAt(i) + QLatin1Char('|') + h->commandAt(i);
            if (clear) {
                QTest::mouseClick(h->Button1, Qt::LeftButton);
                rows << QString::number(h->count());
            }
            QTest::mouseClick(h->Button2, Qt::LeftButton);
        });
        if (fromToolBar)
            QTest::mouseClick(w.Form1->ToolButton11, Qt::LeftButton);
        else
            w.Form1->N6->trigger();
    };
    const QString head = u("矩阵标识|通信代码");
    QStringList first;
    inspect(first, false);
    QCOMPARE(first, (QStringList{head, u("网口矩阵|0312C"), u("网口矩阵|0305v")}));
    QVERIFY(!w.Form9->isVisible());
    QCOMPARE(w.Form9->count(), 2); // closing keeps the entries

    QStringList second;
    inspect(second, true);
    QCOMPARE(second, (QStringList{head, u("网口矩阵|0312C"), u("网口矩阵|0305v"), QStringLiteral("0")}));
    QVERIFY(!w.Form9->isVisible());
    QCOMPARE(w.Form9->count(), 0);
    QCOMPARE(w.Form9->ListView1->columnWidth(0), 240);
    QVERIFY(Messages::records().isEmpty());
}

int main(int argc, char **argv)
{
    // The remembered login goes to a folder of this run, never to the user's settings.
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path()));
    SarvelonApplication app(argc, argv);
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
