#include "console/Main.h"

#include "catalogue/Channeldesc.h"
#include "catalogue/Marixedit.h"
#include "console/Preset.h"
#include "access/Usermgr.h"
#include "core/Commands.h"
#include "core/StatusReply.h"
#include "link/MSComm.h"
#include "store/TableScope.h"
#include "tools/Cmdlog.h"
#include "tools/Comtest.h"
#include "tools/Nettest.h"
#include "ui/Application.h"
#include "ui/Messages.h"
#include "ui/StringGrid.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QStringDecoder>
#include <QStyle>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

const char *const OnlineText = "联机状态:Online";
const char *const OfflineText = "联机状态:Offline";

// Keeps the busy flag and the disabled grid honest on every way out of an operation,
// a raised table error included, so the console never stays frozen.
// Disables a control for one operation and enables it again on every way out.
class DisabledUntilExit
{
public:
    explicit DisabledUntilExit(QWidget *widget) : m_widget(widget) { m_widget->setEnabled(false); }
    ~DisabledUntilExit() { m_widget->setEnabled(true); }
    DisabledUntilExit(const DisabledUntilExit &) = delete;
    DisabledUntilExit &operator=(const DisabledUntilExit &) = delete;

private:
    QWidget *m_widget;
};

// Holds the tabs while an exchange waits: a tab change inside the wait would load another
// matrix under it, and the exchange would finish on the new matrix's table and grid.
class TabsHeld
{
public:
    explicit TabsHeld(QWidget *tabs) : m_tabs(tabs), m_wereEnabled(tabs->isEnabled()) { m_tabs->setEnabled(false); }
    ~TabsHeld()
    {
        if (m_wereEnabled)
            m_tabs->setEnabled(true);
    }

private:
    QWidget *m_tabs;
    bool m_wereEnabled;
};

class BusyScope
{
public:
    BusyScope(bool &flag, QWidget *grid, QWidget *tabs) : m_flag(flag), m_grid(grid), m_tabs(tabs) { m_flag = true; }
    ~BusyScope()
    {
        m_flag = false;
        m_grid->setEnabled(true);
    }

private:
    bool &m_flag;
    QWidget *m_grid;
    TabsHeld m_tabs;
};

// A grid disabled for its operation gives the keyboard focus away, to the next widget in
// the chain: the tabs, where the operator's next arrow key would load another matrix. The
// grid takes the focus back when it is enabled again, unless the operator has put the focus
// somewhere else meanwhile.
class GridFocus
{
public:
    explicit GridFocus(QWidget *grid) : m_grid(grid), m_had(grid->window()->focusWidget() == grid) {}
    // Notes where the focus went when the grid was disabled.
    void disabled()
    {
        if (m_had)
            m_tookOver = m_grid->window()->focusWidget();
    }
    ~GridFocus()
    {
        if (!m_had || !m_grid->isEnabled())
            return;
        QWidget *now = m_grid->window()->focusWidget();
        if (now == nullptr || now == m_tookOver)
            m_grid->setFocus();
    }

private:
    QWidget *m_grid;
    bool m_had;
    QPointer<QWidget> m_tookOver;
};

bool allDigits(const QString &text)
{
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

// Only the digits 0 to 9 may be typed into a channel selector; everything else typed,
// Backspace included, is dropped, and so is text composed by an input method.
bool isDiscardedInput(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        // Tab and Shift+Tab move the focus on, as from any field; they are not typed text.
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
            return false;
        return !allDigits(key->text());
    }
    if (event->type() == QEvent::InputMethod) {
        const auto *im = static_cast<QInputMethodEvent *>(event);
        return !allDigits(im->commitString()) || !im->preeditString().isEmpty();
    }
    return false;
}

// What a device sends is text in code page 936, like every text of the system.
QString fromDeviceText(const QByteArray &bytes)
{
    QStringDecoder gbk("GBK");
    if (!gbk.isValid())
        return QString::fromLatin1(bytes);
    return gbk.decode(bytes);
}

} // namespace

struct TForm1::RefreshTexts
{
    QString success;      // plain message after a good parse; empty: none
    QString parseFailure; // box when the answer had no "P"
    QString tcpFailure;   // box when the TCP connection cannot be brought up
    QString noAnswer;     // plain message when nothing came; empty: none
};

TForm1::TForm1(const QString &programFolder, QWidget *parent)
    : QMainWindow(parent)
    , Link(new link::DeviceLink(this, this))
    , m_programFolder(programFolder)
{
    AppDirectory.clear();
    CurrentMatrixName.clear();
    CommandBusy = false;

    setWindowTitle(u(Messages::AppTitle));
    resize(925, 549);
    setWindowState(Qt::WindowMaximized);

    buildMenus();
    buildToolBar();
    auto *central = new QWidget(this);
    auto *layout = new QHBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(buildLeftPanel());
    layout->addWidget(buildRoutingArea(), 1);
    setCentralWidget(central);
    buildStatusBar();

    try {
        FormCreate();
    } catch (const PlatformError &e) {
        SarvelonApplication::showError(QString::fromUtf8(e.what()));
    }
}

TForm1::~TForm1() = default;

void TForm1::setWindows(TForm2 *form2, TForm3 *form3, TForm4 *form4, TForm5 *form5, TForm8 *form8,
                        TForm7 *form7, TForm9 *form9)
{
    Form2 = form2;
    Form3 = form3;
    Form4 = form4;
    Form5 = form5;
    Form8 = form8;
    Form7 = form7;
    Form9 = form9;
}

// ---------------------------------------------------------------- layout

void TForm1::buildMenus()
{
    QMenuBar *bar = menuBar();
    QStyle *st = style();

    QMenu *system = bar->addMenu(u("系统(&S)"));
    U1 = system->addAction(st->standardIcon(QStyle::SP_DirHomeIcon), u("用户管理(&U)..."));
    N6 = system->addAction(st->standardIcon(QStyle::SP_FileDialogDetailedView), u("历史操作指令(&H)"));
    N11 = system->addSeparator();
    E2 = system->addAction(st->standardIcon(QStyle::SP_DialogCloseButton), u("退出(E)..."));

    QMenu *tools = bar->addMenu(u("调试工具(&T)"));
    S1 = tools->addAction(st->standardIcon(QStyle::SP_DriveFDIcon), u("串口调试助手(&S)..."));
    N9 = tools->addAction(st->standardIcon(QStyle::SP_DriveNetIcon), u("网络调试助手(&N)..."));
    N8 = tools->addAction(u("设置通讯超时时间..."));

    QMenu *matrices = bar->addMenu(u("矩阵管理(&M)"));
    N4 = matrices->addAction(st->standardIcon(QStyle::SP_FileDialogListView), u("矩阵编辑(&V)"));

    QMenu *language = bar->addMenu(u("语言(&L)"));
    N12 = language->addAction(u("中文(&C)"));
    N15 = language->addAction(u("英文(&E)"));

    QMenu *help = bar->addMenu(u("帮助(&H)"));
    U2 = help->addAction(st->standardIcon(QStyle::SP_DialogHelpButton), u("用户指南(&U)..."));
    N10 = help->addAction(u("关于(&A)..."));

    connect(U1, &QAction::triggered, this, &TForm1::U1Click);
    connect(N6, &QAction::triggered, this, &TForm1::N6Click);
    connect(E2, &QAction::triggered, this, &TForm1::E2Click);
    connect(S1, &QAction::triggered, this, &TForm1::S1Click);
    connect(N9, &QAction::triggered, this, &TForm1::N9Click);
    connect(N8, &QAction::triggered, this, &TForm1::N8Click);
    connect(N4, &QAction::triggered, this, &TForm1::N4Click);
    connect(N10, &QAction::triggered, this, &TForm1::N10Click);
}

void TForm1::buildToolBar()
{
    ToolBar2 = addToolBar(QStringLiteral("ToolBar2"));
    ToolBar2->setMovable(false);
    ToolBar2->setFixedHeight(30);
    ToolBar2->setToolButtonStyle(Qt::ToolButtonIconOnly);

    // Each button mirrors its menu item: same image, same enabled state, same handler.
    auto mirror = [this](QAction *item) {
        auto *button = new QToolButton(ToolBar2);
        button->setDefaultAction(item);
        button->setAutoRaise(true);
        ToolBar2->addWidget(button);
        ToolBar2->addSeparator();
        return button;
    };
    ToolButton1 = mirror(U1);
    ToolButton2 = mirror(N4);
    ToolButton3 = mirror(S1);
    ToolButton7 = mirror(N9);
    ToolButton11 = mirror(N6);
    // The user guide button shows the guide's image and has a handler of its own that does nothing.
    ToolButton5 = new QToolButton(ToolBar2);
    ToolButton5->setIcon(U2->icon());
    ToolButton5->setToolTip(U2->text());
    ToolButton5->setAutoRaise(true);
    ToolBar2->addWidget(ToolButton5);
    connect(ToolButton5, &QToolButton::clicked, this, &TForm1::ToolButton5Click);

    ToolBar2->addWidget(new QLabel(u("      输入通道"), ToolBar2));
    ComboBox1 = new QComboBox(ToolBar2);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setMinimumWidth(60);
    ToolBar2->addWidget(ComboBox1);
    ToolBar2->addWidget(new QLabel(u("        输出通道     "), ToolBar2));
    ComboBox2 = new QComboBox(ToolBar2);
    ComboBox2->setEditable(true);
    ComboBox2->setInsertPolicy(QComboBox::NoInsert);
    ComboBox2->setMinimumWidth(60);
    ToolBar2->addWidget(ComboBox2);
    Button1 = new QPushButton(u("通道选择"), ToolBar2);
    ToolBar2->addWidget(Button1);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    // The focused combo box hands its keys straight to its line edit, past any filter of the
    // line edit's own: both are filtered.
    for (QComboBox *box : {ComboBox1, ComboBox2}) {
        box->installEventFilter(this);
        box->lineEdit()->installEventFilter(this);
    }
}

QWidget *TForm1::buildLeftPanel()
{
    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedWidth(132);
    auto *v = new QVBoxLayout(panel);
    v->setContentsMargins(2, 2, 2, 2);
    v->setSpacing(3);

    auto heading = [panel](const char *text, bool dark) {
        auto *label = new QLabel(u(text), panel);
        if (dark) {
            label->setAlignment(Qt::AlignCenter);
            label->setFrameShape(QFrame::Box);
            label->setStyleSheet(QStringLiteral("background-color: #404040; color: white;"));
        }
        return label;
    };
    v->addWidget(heading("矩阵控制", true));

    auto *layers = new QGridLayout;
    layers->addWidget(new QLabel(u("视频 "), panel), 0, 1);
    layers->addWidget(new QLabel(u("音频 "), panel), 0, 2);
    Label2 = new QLabel(u("复合"), panel);
    layers->addWidget(Label2, 0, 3);
    layers->addWidget(new QLabel(u("输出"), panel), 1, 0);
    CheckBox3 = new QCheckBox(panel);
    CheckBox4 = new QCheckBox(panel);
    CheckBox1 = new QCheckBox(panel);
    layers->addWidget(CheckBox3, 1, 1);
    layers->addWidget(CheckBox4, 1, 2);
    layers->addWidget(CheckBox1, 1, 3);
    v->addLayout(layers);
    // A box's state set by the program runs its handler too, so ActiveLayers follows.
    connect(CheckBox3, &QCheckBox::toggled, this, &TForm1::CheckBox3Click);
    connect(CheckBox4, &QCheckBox::toggled, this, &TForm1::CheckBox4Click);
    connect(CheckBox1, &QCheckBox::toggled, this, &TForm1::CheckBox1Click);

    auto *line = new QFrame(panel);
    line->setFrameShape(QFrame::HLine);
    v->addWidget(line);

    CheckBox5 = new QCheckBox(u("节电模式"), panel);
    CheckBox6 = new QCheckBox(u("静音状态"), panel);
    CheckBox7 = new QCheckBox(u("止像状态"), panel);
    v->addWidget(CheckBox5);
    v->addWidget(CheckBox6);
    v->addWidget(CheckBox7);

    v->addWidget(heading("预置信息列表", false));
    ListBox1 = new QListWidget(panel);
    ListBox1->setSelectionMode(QAbstractItemView::MultiSelection);
    v->addWidget(ListBox1, 2);
    auto *presetButtons = new QHBoxLayout;
    Button4 = new QPushButton(u("存储"), panel);
    Button5 = new QPushButton(u("调用"), panel);
    presetButtons->addWidget(Button4);
    presetButtons->addWidget(Button5);
    v->addLayout(presetButtons);

    v->addWidget(heading("通道信息", false));
    Memo1 = new QPlainTextEdit(panel);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setBackgroundRole(QPalette::Button);
    Memo1->setStyleSheet(QStringLiteral("QPlainTextEdit { background-color: palette(button); }"));
    v->addWidget(Memo1, 1);

    Button2 = new QPushButton(u("更新状态"), panel);
    Button3 = new QPushButton(u("机器复位"), panel);
    v->addWidget(Button2);
    v->addWidget(Button3);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);

    ListBox2 = new QListWidget(panel);
    ListBox3 = new QListWidget(panel);
    Memo2 = new QPlainTextEdit(panel);
    for (QWidget *hidden : {static_cast<QWidget *>(ListBox2), static_cast<QWidget *>(ListBox3),
                            static_cast<QWidget *>(Memo2)}) {
        hidden->setVisible(false);
    }
    return panel;
}

QWidget *TForm1::buildRoutingArea()
{
    auto *area = new QWidget(this);
    area->setObjectName(QStringLiteral("Panel3"));
    auto *outer = new QVBoxLayout(area);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto *page = new QFrame(area);
    page->setFrameShape(QFrame::StyledPanel);
    auto *grid = new QGridLayout(page);
    auto *outputHead = new QLabel(u("输出通道"), page);
    QFont headFont = outputHead->font();
    headFont.setBold(true);
    headFont.setPointSize(12);
    outputHead->setFont(headFont);
    grid->addWidget(outputHead, 0, 1, Qt::AlignLeft);
    Label8 = new QLabel(page);
    Label8->setFont(headFont);
    Label8->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    grid->addWidget(Label8, 1, 0, Qt::AlignTop);

    StringGrid1 = new StringGrid(page);
    QFont gridFont = StringGrid1->font();
    gridFont.setBold(true);
    gridFont.setPointSize(12);
    StringGrid1->setFont(gridFont);
    StringGrid1->setDefaultColWidth(40);
    StringGrid1->setDefaultRowHeight(40);
    grid->addWidget(StringGrid1, 1, 1);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(1, 1);
    StringGrid1->onSelectCell = [this](int col, int row, bool &allow) { StringGrid1SelectCell(col, row, allow); };
    connect(StringGrid1, &StringGrid::mouseMoved, this, &TForm1::StringGrid1MouseMove);
    connect(StringGrid1, &StringGrid::mouseWheelDown, this, &TForm1::StringGrid1MouseWheelDown);
    connect(StringGrid1, &StringGrid::mouseWheelUp, this, &TForm1::StringGrid1MouseWheelUp);

    TabControl1 = new QTabBar(area);
    TabControl1->setShape(QTabBar::RoundedSouth);
    TabControl1->setExpanding(false);
    TabControl1->setUsesScrollButtons(true);
    connect(TabControl1, &QTabBar::currentChanged, this, [this](int) { TabControl1Change(); });

    outer->addWidget(page, 1);
    outer->addWidget(TabControl1);
    return area;
}

void TForm1::buildStatusBar()
{
    static const int widths[7] = {250, 100, 100, 150, 170, 300, 50};
    static const char *const texts[7] = {"名称：", "规格：", "类型：", "联机状态：OffLine",
                                         "通信方式：", "通信状态：", "Ver: 2.00"};
    for (int i = 0; i < 7; ++i) {
        StatusPanels[i] = new QLabel(u(texts[i]), this);
        StatusPanels[i]->setMinimumWidth(widths[i]);
        StatusPanels[i]->setFrameShape(QFrame::Panel);
        StatusPanels[i]->setFrameShadow(QFrame::Sunken);
        statusBar()->addWidget(StatusPanels[i], i == 6 ? 1 : 0);
    }
}

// ---------------------------------------------------------------- start-up

void TForm1::FormCreate()
{
    GridLoading = false;
    AppDirectory = m_programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : m_programFolder;
    if (!AppDirectory.endsWith(QLatin1Char('/')))
        AppDirectory += QLatin1Char('/');
    DatabaseFolder = AppDirectory + QStringLiteral("KorvathDB");
    Link->setAppDirectory(AppDirectory);

    Table1.setDatabaseName(DatabaseFolder);
    Table1.setTableName(QStringLiteral("MatrixDB.DB"));
    Table2.setDatabaseName(DatabaseFolder);
    Table2.setTableName(QStringLiteral("ChannelDescDB.DB"));
    Table3.setDatabaseName(DatabaseFolder);
    Table3.setTableName(QStringLiteral("ScreenDescDB"));
    Table4.setDatabaseName(DatabaseFolder);
    Table4.setTableName(QStringLiteral("Config.DB"));

    if (!Table4.exists()) {
        Table4.createTable();
        store::TableScope scope(Table4);
        Table4.append();
        Table4.fieldByName(QStringLiteral("Key")).setAsString(QStringLiteral("timeout"));
        Table4.fieldByName(QStringLiteral("Value")).setAsString(QStringLiteral("1000"));
        Table4.post();
    }
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    FormShow();
}

void TForm1::FormShow()
{
    try {
        {
            const QSignalBlocker blocker(TabControl1);
            while (TabControl1->count() > 0)
                TabControl1->removeTab(0);
            store::TableScope scope(Table1);
            Table1.first();
            StringGrid1->setVisible(!Table1.isEmpty());
            Table1.first();
            while (!Table1.eof()) {
                TabControl1->addTab(Table1.fieldByName(QStringLiteral("NAME")).asString());
                Table1.next();
            }
        }
        if (TabControl1->count() > 0) {
            const QSignalBlocker blocker(TabControl1);
            TabControl1->setCurrentIndex(0);
        }
        TabControl1Change();
    } catch (...) {
        // A table that cannot be read ends this handler, but never leaves an ordinary
        // operator with user management and matrix editing.
        applyUserRole();
        throw;
    }

    Label8->setText(u("输\n入\n通\n道"));
    applyUserRole();
    StringGrid1->setSelection(QRect(150, 150, 1, 1));

    store::TableScope scope(Table4);
    Table4.setKey();
    Table4.setKeyValue(QStringLiteral("Key"), QStringLiteral("timeout"));
    if (!Table4.gotoKey())
        Table4.first();
    Link->setCommTimeout(Table4.fieldByName(QStringLiteral("Value")).asInteger());
}

void TForm1::applyUserRole()
{
    if (UserRole == 1) {
        U1->setEnabled(false);
        N4->setEnabled(false);
        ToolButton1->setEnabled(false);
        ToolButton2->setEnabled(false);
    }
}

void TForm1::closeEvent(QCloseEvent *event)
{
    event->accept();
    FormClose();
}

void TForm1::FormClose()
{
    if (Link->MSComm1()->PortOpen())
        Link->MSComm1()->setPortOpen(false);
    QCoreApplication::quit();
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == ComboBox1 || watched == ComboBox1->lineEdit()) && ComboBox1KeyPress(event))
        return true;
    if ((watched == ComboBox2 || watched == ComboBox2->lineEdit()) && ComboBox2KeyPress(event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

bool TForm1::ComboBox1KeyPress(QEvent *event)
{
    return isDiscardedInput(event);
}

bool TForm1::ComboBox2KeyPress(QEvent *event)
{
    return isDiscardedInput(event);
}

// ---------------------------------------------------------------- menu items

void TForm1::U1Click()
{
    if (Form4)
        Form4->exec();
}

void TForm1::N6Click()
{
    if (Form9)
        Form9->exec();
}

void TForm1::E2Click()
{
    close();
}

void TForm1::S1Click()
{
    if (Form2)
        Form2->exec();
}

void TForm1::N9Click()
{
    if (Form5)
        Form5->exec();
}

void TForm1::N8Click() {}

void TForm1::N4Click()
{
    if (Form3)
        Form3->exec();
}

void TForm1::N10Click() {}

void TForm1::AddHistoryEntry(const QString &matrixName, const QString &command)
{
    if (Form9)
        Form9->AddHistoryEntry(matrixName, command);
}

// ---------------------------------------------------------------- link host

void TForm1::setPanelText(int panel, const QString &text)
{
    if (panel >= 0 && panel < 7)
        StatusPanels[panel]->setText(text);
}

QString TForm1::panelText(int panel) const
{
    return panel >= 0 && panel < 7 ? StatusPanels[panel]->text() : QString();
}

void TForm1::showInfoBox(const QString &text)
{
    Messages::info(text, this);
}

void TForm1::deviceUpdate()
{
    TabsHeld tabs(TabControl1);
    RefreshStatus(QString(), u("更新矩阵失败!"));
}

// ---------------------------------------------------------------- loading

void TForm1::TabControl1Change()
{
    const DisabledUntilExit whileLoading(TabControl1);
    DelegateTabControl1Change();
}

bool TForm1::isOffline() const
{
    return Link->isOffline();
}

core::RouteContext TForm1::routeContext() const
{
    core::RouteContext ctx;
    ctx.vca = CurrentMatrix.Type == QLatin1String("VCA");
    ctx.audioEnabled = CheckBox4->isEnabled();
    ctx.serial = Link->isSerial();
    return ctx;
}

void TForm1::DelegateTabControl1Change()
{
    // 1. Links closed and the table cleared before anything else is read or sent.
    Link->ReceiveBuffer.clear();
    Link->closeLinks();
    CrosspointTable.clear();

    // 2-4. The record of the selected tab.
    {
        store::TableScope scope(Table1);
        Table1.first();
        if (Table1.isEmpty())
            return;
        if (TabControl1->currentIndex() < 0 || !Table1.findKey(TabControl1->tabText(TabControl1->currentIndex())))
            return;
        MatrixRecord m;
        m.Name = Table1.fieldByName(QStringLiteral("NAME")).asString();
        m.Type = Table1.fieldByName(QStringLiteral("TYPE")).asString();
        // A catalogue row may hold any number; the grid and the table have room for 72.
        m.InNum = qBound(0, Table1.fieldByName(QStringLiteral("InNum")).asInteger(), core::MaxChannels);
        m.OutNum = qBound(0, Table1.fieldByName(QStringLiteral("OutNum")).asInteger(), core::MaxChannels);
        m.ComType = Table1.fieldByName(QStringLiteral("ComType")).asString();
        m.Audio = Table1.fieldByName(QStringLiteral("Audio")).asBoolean();
        store::Field comNum = Table1.fieldByName(QStringLiteral("ComNum"));
        m.ComNum = comNum.isNull() ? QString() : comNum.asString();
        store::Field ip = Table1.fieldByName(QStringLiteral("IP"));
        m.IP = ip.isNull() ? QString() : ip.asString();
        store::Field port = Table1.fieldByName(QStringLiteral("PORT"));
        m.Port = port.isNull() ? 5555 : port.asInteger();
        CurrentMatrix = m;
        CurrentMatrixName = m.Name;
    }
    Link->setConnection(CurrentMatrix.ComType, CurrentMatrix.IP, CurrentMatrix.Port);
    const int inNum = CurrentMatrix.InNum;
    const int outNum = CurrentMatrix.OutNum;

    // 5. Size and clear the grid; resizing must never route anything.
    GridLoading = true;
    StringGrid1->setRowCount(inNum + 1);
    StringGrid1->setColCount(outNum + 1);
    for (int c = 1; c <= outNum; ++c)
        for (int r = 1; r <= inNum; ++r)
            StringGrid1->setCells(c, r, QString());
    GridLoading = false;

    // 6. Axis captions.
    for (int r = 1; r <= inNum; ++r)
        StringGrid1->setCells(0, r, QStringLiteral(" ") + QString::number(r));
    for (int c = 1; c <= outNum; ++c)
        StringGrid1->setCells(c, 0, QStringLiteral(" ") + QString::number(c));

    // 7. Offline cells.
    if (isOffline()) {
        for (int c = 1; c <= outNum; ++c)
            for (int r = 1; r <= inNum; ++r)
                StringGrid1->setCells(c, r, QStringLiteral(" "));
    }

    // 8. Status bar.
    setPanelText(0, u("名称：") + CurrentMatrix.Name);
    setPanelText(1, u("规格：") + QString::number(inNum) + QStringLiteral(" X ") + QString::number(outNum));
    setPanelText(2, u("类型：") + CurrentMatrix.Type);
    setPanelText(3, u(OfflineText));
    setPanelText(4, u("通信方式:") + CurrentMatrix.ComType);

    // 9. Layer boxes.
    if (!CurrentMatrix.Audio) {
        CheckBox4->setEnabled(false);
        CheckBox4->setChecked(false);
        CheckBox6->setEnabled(false);
    } else {
        CheckBox4->setEnabled(true);
        CheckBox6->setEnabled(true);
        CheckBox4->setChecked(true);
    }
    CheckBox3->setChecked(true);
    const bool vca = CurrentMatrix.Type == QLatin1String("VCA");
    CheckBox1->setVisible(vca);
    Label2->setVisible(vca);

    // 10. Preset list.
    ListBox1->clear();
    for (int n = 1; n <= 32; ++n)
        ListBox1->addItem(QString::number(n) + QStringLiteral(":NULL"));

    // 11. Selectors.
    ComboBox1->clear();
    ComboBox1->addItem(QStringLiteral("0"));
    for (int i = 1; i <= inNum; ++i)
        ComboBox1->addItem(QString::number(i));
    ComboBox1->setCurrentIndex(0);
    ComboBox2->clear();
    ComboBox2->addItem(QStringLiteral("All"));
    for (int o = 1; o <= outNum; ++o)
        ComboBox2->addItem(QString::number(o));
    ComboBox2->setCurrentIndex(0);

    // 12. Channel descriptions; a matrix without any opens no link.
    bool found = false;
    loadChannelDescriptions(found);
    if (!found)
        return;

    // 13. Connect and read the state.
    connectAndRead();
}

void TForm1::loadChannelDescriptions(bool &found)
{
    Table2.setFilter(QStringLiteral("MatrixName = '") + CurrentMatrix.Name + QStringLiteral("'"));
    Table2.setFiltered(true);
    store::TableScope scope(Table2);
    Table2.first();
    ListBox2->clear();
    ListBox3->clear();
    found = !Table2.isEmpty();
    if (!found)
        return;
    Table2.first();
    while (!Table2.eof()) {
        store::Field desc = Table2.fieldByName(QStringLiteral("DESC"));
        const QString text = desc.isNull() || desc.asString().isEmpty() ? QStringLiteral("NULL") : desc.asString();
        if (Table2.fieldByName(QStringLiteral("ChannelType")).asString() == QLatin1String("In"))
            ListBox2->addItem(text);
        else
            ListBox3->addItem(text);
        Table2.next();
    }
}

void TForm1::connectAndRead()
{
    const int timeout = Link->CommTimeout();
    if (Link->isSerial()) {
        if (!Link->OpenSerialPort(CurrentMatrix.ComNum)) {
            setPanelText(3, u(OfflineText));
            return;
        }
        setPanelText(3, u(OnlineText));
        if (!Link->serialOpen()) {
            Messages::info(u("矩阵连接失败!"), this);
            return;
        }
        Link->ReceiveBuffer.clear();
        Link->writeSerial(core::IdentifyQuery);
        Link->PumpEvents(timeout);
        if (Link->ReceiveBuffer.isEmpty()) {
            setPanelText(5, u("通信超时"));
        } else {
            setPanelText(5, QString());
            setPanelText(6, fromDeviceText(Link->ReceiveBuffer));
        }
        Link->ReceiveBuffer.clear();
        Link->writeSerial(core::StatusQuery);
        if (!Link->WaitForReply("I", Link->CommTimeout())) {
            setPanelText(5, u("通信超时"));
            Messages::plain(u("矩阵连接失败!"), this);
            return;
        }
    } else if (Link->isNetwork()) {
        if (!Link->EnsureTcpConnected()) {
            setPanelText(5, u("网口未打开!"));
            return;
        }
        setPanelText(3, u(OnlineText));
        Link->ReceiveBuffer.clear();
        Link->writeTcp(core::StatusQuery);
        if (!Link->WaitForReply("I", Link->CommTimeout())) {
            setPanelText(5, u("通信超时"));
            Messages::plain(u("矩阵连接失败!"), this);
            return;
        }
    } else {
        setPanelText(5, QStringLiteral(" "));
        return;
    }
    setPanelText(5, QString());
    if (ParseStatusReply())
        RedrawGrid();
    else
        Messages::info(u("获取机器状态信息失败！"), this);
}

// ---------------------------------------------------------------- status refresh

void TForm1::RedrawGrid()
{
    // The eight labels made once; a refresh of a 72 x 72 matrix writes 5,184 cells.
    static const std::array<QString, 8> labels = [] {
        std::array<QString, 8> l;
        for (int v = 0; v < 8; ++v)
            l[v] = QString::fromStdString(core::CellLabel(v, core::LabelSet::Redraw));
        return l;
    }();
    // Cells are written with the model quiet and the grid repainted once: one change
    // notice per cell would cost more than the whole exchange with the device.
    bool changed = false;
    {
        const QSignalBlocker quiet(StringGrid1->model());
        core::RedrawGrid(CrosspointTable, StringGrid1->RowCount(), StringGrid1->ColCount(),
                         [this, &changed](int c, int r, core::LayerMask value) {
                             const QString &label = labels[value & 7];
                             if (StringGrid1->Cells(c, r) != label) {
                                 StringGrid1->setCells(c, r, label);
                                 changed = true;
                             }
                         });
    }
    if (changed)
        StringGrid1->viewport()->update();
}

bool TForm1::ParseStatusReply()
{
    std::string buffer = Link->ReceiveBuffer.toStdString();
    core::StatusReport report;
    if (!core::ParseStatusReply(buffer, CurrentMatrix.OutNum, CurrentMatrix.Audio, report))
        return false;
    // The parser may have removed a junk first line: the receive buffer loses it too.
    Link->ReceiveBuffer = QByteArray::fromStdString(buffer);

    applyStatusToPresets(report.presets);
    CrosspointTable = report.routes;
    CheckBox5->setChecked(report.powerSaving);
    if (CurrentMatrix.Audio)
        CheckBox6->setChecked(report.mute);
    CheckBox7->setChecked(report.freeze);
    return true;
}

void TForm1::applyStatusToPresets(const std::array<int, 33> &presets)
{
    bool anyStored = false;
    for (int n = 1; n <= 32; ++n)
        anyStored = anyStored || presets[n] != 0;
    std::unique_ptr<store::TableScope> scope;
    if (anyStored)
        scope = std::make_unique<store::TableScope>(Table3);
    QStringList entries;
    for (int n = 1; n <= 32; ++n) {
        const QString number = QString::number(n);
        if (presets[n] == 0) {
            entries << number + QStringLiteral(":NULL");
            continue;
        }
        // A stored preset with no description row of its own still gets its entry, since
        // the entry's position is the preset number.
        QString text = number + u(":预置场景");
        Table3.first();
        while (!Table3.eof()) {
            if (Table3.fieldByName(QStringLiteral("NAME")).asString() == CurrentMatrixName
                && Table3.fieldByName(QStringLiteral("SCREEN_NO")).asInteger() == n) {
                const QString desc = Table3.fieldByName(QStringLiteral("DESC")).asString();
                if (desc != QLatin1String("NULL"))
                    text = number + QStringLiteral(":") + desc;
                break;
            }
            Table3.next();
        }
        entries << text;
    }
    // The list comes out as emptied and refilled: the entries above, nothing selected, no
    // current entry, scrolled to the top. Entries that read the same are kept rather than
    // made anew, which a refresh of an unchanged matrix would otherwise pay for every time.
    if (ListBox1->count() != entries.size()) {
        ListBox1->clear();
        ListBox1->addItems(entries);
        return;
    }
    for (int i = 0; i < entries.size(); ++i) {
        QListWidgetItem *item = ListBox1->item(i);
        if (item->text() != entries[i])
            item->setText(entries[i]);
    }
    ListBox1->clearSelection();
    ListBox1->setCurrentItem(nullptr);
    ListBox1->scrollToTop();
}

void TForm1::runRefresh(const RefreshTexts &texts)
{
    if (TabControl1->count() == 0 || isOffline())
        return;
    for (int attempt = 0; attempt < 3; ++attempt) {
        Link->ReceiveBuffer.clear();
        if (Link->isSerial()) {
            if (Link->serialOpen())
                Link->writeSerial(core::StatusQuery);
        } else if (Link->isNetwork()) {
            if (!Link->EnsureTcpConnected()) {
                if (!texts.tcpFailure.isEmpty())
                    Messages::info(texts.tcpFailure, this);
                return;
            }
            Link->writeTcp(core::StatusQuery);
        }
        if (Link->WaitForReply("I", Link->CommTimeout()))
            break;
    }
    if (!Link->ReceiveBuffer.isEmpty()) {
        setPanelText(5, QString());
        if (ParseStatusReply()) {
            RedrawGrid();
            if (!texts.success.isEmpty())
                Messages::plain(texts.success, this);
        } else if (!texts.parseFailure.isEmpty()) {
            Messages::info(texts.parseFailure, this);
        }
    } else {
        setPanelText(5, u("通信超时"));
        if (!texts.noAnswer.isEmpty())
            Messages::plain(texts.noAnswer, this);
    }
}

void TForm1::RefreshStatus(const QString &successMessage, const QString &failureMessage)
{
    runRefresh({successMessage, failureMessage, failureMessage, failureMessage});
}

void TForm1::DelegateButton2Click(QObject *, bool afterPresetRecall)
{
    runRefresh({afterPresetRecall ? u("场景调用成功!") : u("更新状态成功!"), u("获取机器状态信息失败！"),
                u("矩阵连接失败!"), u("矩阵连接失败!")});
}

void TForm1::Button2Click()
{
    StringGrid1->setEnabled(false);
    if (CommandBusy)
        return;
    BusyScope busy(CommandBusy, StringGrid1, TabControl1);
    DelegateButton2Click(Button2, false);
}

// ---------------------------------------------------------------- grid routing

void TForm1::CheckBox3Click()
{
    ActiveLayers = CheckBox3->isChecked() ? (ActiveLayers | core::LayerVideo) : (ActiveLayers & ~core::LayerVideo);
}

void TForm1::CheckBox4Click()
{
    ActiveLayers = CheckBox4->isChecked() ? (ActiveLayers | core::LayerAudio) : (ActiveLayers & ~core::LayerAudio);
}

void TForm1::CheckBox1Click()
{
    ActiveLayers = CheckBox1->isChecked() ? (ActiveLayers | core::LayerComposite)
                                          : (ActiveLayers & ~core::LayerComposite);
}

void TForm1::setCellLabel(int output, int input, core::LayerMask value)
{
    StringGrid1->setCells(output, input, QString::fromStdString(core::CellLabel(value, core::LabelSet::Routing)));
}

void TForm1::StringGrid1SelectCell(int column, int row, bool &allow)
{
    // The grid's current cell never moves: every request is answered with allow = false.
    allow = false;
    GridFocus focus(StringGrid1);
    StringGrid1->setEnabled(false);
    if (CommandBusy) {
        focus.disabled();
        return;
    }
    BusyScope busy(CommandBusy, StringGrid1, TabControl1);
    focus.disabled(); // after the tabs went too: the focus has moved on past them
    DelegateStringGrid1SelectCell(StringGrid1, column, row, true, allow);
}

bool TForm1::DelegateStringGrid1SelectCell(QObject *, int output, int input, bool fromGrid, bool &allow)
{
    allow = false;
    if (GridLoading)
        return true;
    if (ActiveLayers == 0) {
        Messages::info(u("请先选择输出内容!"), this);
        return false;
    }
    if (WheelScrolled)
        return true;
    // Only crosspoints of the loaded matrix can be routed.
    if (output < 1 || output > CurrentMatrix.OutNum || input < 1 || input > CurrentMatrix.InNum)
        return false;

    setPanelText(5, QString());
    bool ok = true;
    const bool offline = isOffline();
    const core::RouteContext ctx = routeContext();

    const core::LayerMask value = CrosspointTable.get(output, input);
    if (value != 0) {
        if (!offline) {
            Link->ReceiveBuffer.clear();
            const core::CommandSequence sequence = core::disconnectSequence(output, input, value, ctx);
            AddHistoryEntry(CurrentMatrixName,
                            QString::fromStdString(core::disconnectHistoryText(output, input, value, ctx)));
            bool tcpFailed = false;
            ok = Link->sendSequence(sequence, true, tcpFailed) && ok;
            if (tcpFailed) {
                Messages::info(u("矩阵连接失败!"), this);
                return false;
            }
        }
        CrosspointTable.set(output, input, 0);
        StringGrid1->setCells(output, input, QString());
        if (fromGrid)
            return true;
    }

    for (int i = 1; i <= CurrentMatrix.InNum; ++i) {
        CrosspointTable.set(output, i, CrosspointTable.get(output, i) & ~ActiveLayers);
        setCellLabel(output, i, CrosspointTable.get(output, i));
    }
    const QString label = QString::fromStdString(core::CellLabel(ActiveLayers, core::LabelSet::Routing));
    if (!offline) {
        Link->ReceiveBuffer.clear();
        const core::CommandSequence sequence = core::connectSequence(output, input, ActiveLayers, ctx);
        if (Form9 && Form9->count() > 100)
            Form9->clear();
        AddHistoryEntry(CurrentMatrixName,
                        QString::fromStdString(core::connectHistoryText(output, input, ActiveLayers, ctx)));
        bool tcpFailed = false;
        ok = Link->sendSequence(sequence, false, tcpFailed) && ok;
        if (tcpFailed) {
            Messages::info(u("矩阵连接失败!"), this);
            return false;
        }
    }
    if (ok) {
        StringGrid1->setCells(output, input, label);
        CrosspointTable.set(output, input, ActiveLayers);
        return true;
    }
    Messages::plain(u("通讯超时，将更新状态!"), this);
    DelegateButton2Click(Button2, false);
    return false;
}

QString TForm1::inputDescription(int input) const
{
    const QListWidgetItem *item = ListBox2->item(input - 1);
    return item ? item->text() : QStringLiteral("NULL");
}

QString TForm1::outputDescription(int output) const
{
    const QListWidgetItem *item = ListBox3->item(output - 1);
    return item ? item->text() : QStringLiteral("NULL");
}

void TForm1::StringGrid1MouseWheelDown()
{
    WheelScrolled = true;
}

void TForm1::StringGrid1MouseWheelUp()
{
    WheelScrolled = true;
}

void TForm1::StringGrid1MouseMove(Qt::KeyboardModifiers, int x, int y)
{
    WheelScrolled = false;
    int c = 0, r = 0;
    if (!StringGrid1->MouseToCell(QPoint(x, y), c, r))
        return;
    // A channel beyond the end of its description list shows as having none.
    auto descLine = [](const QString &desc) {
        return desc == QLatin1String("NULL") ? QStringLiteral("<-->") : QStringLiteral("<") + desc + QStringLiteral(">");
    };
    QStringList lines;
    if (c >= 1 && r >= 1) {
        lines << u("输入通道:") + QString::number(r) << descLine(inputDescription(r))
              << QStringLiteral("-------------------") << u("输出通道:") + QString::number(c)
              << descLine(outputDescription(c));
    } else if (c == 0 && r >= 1) {
        lines << u("输入通道:") + QString::number(r) << descLine(inputDescription(r))
              << QStringLiteral("------- List--------");
        for (int o = 1; o <= CurrentMatrix.OutNum; ++o) {
            switch (CrosspointTable.get(o, r)) {
            case 1: lines << u("|V|->输出通道:") + QString::number(o); break;
            case 2: lines << u("|A|->输出通道:") + QString::number(o); break;
            case 3: lines << u("|VA|->输出通道:") + QString::number(o); break;
            default: break;
            }
        }
    } else if (c >= 1 && r == 0) {
        lines << u("输出通道:") + QString::number(c) << descLine(outputDescription(c))
              << QStringLiteral("------- List--------");
        for (int i = 1; i <= CurrentMatrix.InNum; ++i) {
            switch (CrosspointTable.get(c, i)) {
            case 1: lines << u("输入通道:") + QString::number(i) + QStringLiteral("->V"); break;
            case 2: lines << u("输入通道:") + QString::number(i) + QStringLiteral("->A"); break;
            case 3: lines << u("输入通道:") + QString::number(i) + QStringLiteral("->VA"); break;
            default: break;
            }
        }
    }
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));
}

// ---------------------------------------------------------------- channel selection bar

void TForm1::Button1Click()
{
    const DisabledUntilExit whileSelecting(StringGrid1);

    const QString inputText = ComboBox1->currentText();
    const QString outputText = ComboBox2->currentText();
    if (inputText.isEmpty() || outputText.isEmpty())
        return;
    if (ActiveLayers == 0) {
        Messages::info(u("请先选择输出内容!"), this);
        return;
    }
    if (TabControl1->count() == 0)
        return;
    // A typed number selects the entry with that text; one that matches no entry is no channel.
    const int input = ComboBox1->findText(inputText, Qt::MatchExactly | Qt::MatchCaseSensitive);
    const int output = ComboBox2->findText(outputText, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (input < 0 || output < 0)
        return;
    if (CommandBusy)
        return;

    BusyScope busy(CommandBusy, StringGrid1, TabControl1);

    if (outputText != QLatin1String("All")) {
        if (inputText != QLatin1String("0")) {
            bool allow = false;
            DelegateStringGrid1SelectCell(Button1, output, input, false, allow);
        } else {
            DisconnectOutput(output);
        }
        return;
    }

    const bool vca = CurrentMatrix.Type == QLatin1String("VCA");
    bool acknowledged = false;
    for (const core::Command &command : core::routeToAllSequence(input, vca))
        acknowledged = Link->SendCommand(QByteArray::fromStdString(command.text), QByteArray::fromStdString(command.ack));
    if (acknowledged) {
        RefreshStatus(u("通道选择成功!"), u("更新状态失败!"));
    } else {
        Messages::plain(u("通讯超时，将更新状态!"), this);
        RefreshStatus(u("更新状态成功!"), u("更新状态失败!"));
    }
}

void TForm1::DisconnectOutput(int output)
{
    if (output < 1 || output > CurrentMatrix.OutNum)
        return;
    const bool offline = isOffline();
    const core::RouteContext ctx = routeContext();
    for (int i = 1; i <= CurrentMatrix.InNum; ++i) {
        const core::LayerMask value = CrosspointTable.get(output, i);
        if (value == 0)
            continue;
        if (!offline) {
            Link->ReceiveBuffer.clear();
            const core::CommandSequence sequence = core::disconnectSequence(output, i, value, ctx);
            AddHistoryEntry(CurrentMatrixName,
                            QString::fromStdString(core::disconnectHistoryText(output, i, value, ctx)));
            bool tcpFailed = false;
            Link->sendSequence(sequence, true, tcpFailed);
            if (tcpFailed) {
                Messages::info(u("矩阵连接失败!"), this);
                return;
            }
        }
        CrosspointTable.set(output, i, 0);
        StringGrid1->setCells(output, i, QString());
    }
}
