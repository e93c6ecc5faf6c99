#include "access/Usermgr.h"

#include "access/FormLook.h"
#include "ui/Messages.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>

#include <utility>

namespace {

const QString UserNameField = QStringLiteral("USERNAME");
const QString PasswordField = QStringLiteral("PASSWORD");
const QString RoleField = QStringLiteral("ROLE");

constexpr int OperatorRole = 1;
constexpr int AdministratorRole = 0;

const QString EmptyInput = QStringLiteral("用户名或密码不能为空!");

} // namespace

TForm4::TForm4(const QString &appDirectory, QWidget *parent)
    : QDialog(parent), m_appDirectory(appDirectory)
{
    setWindowTitle(QStringLiteral("用户权限管理"));
    access::setDialogFrame(this, 214, 125, 374, 370);

    Label1 = new QLabel(QStringLiteral("用户列表"), this);
    Label1->setGeometry(24, 16, 57, 13);
    access::setHighlightText(Label1);
    ListBox1 = new QListWidget(this);
    ListBox1->setGeometry(24, 32, 145, 233);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    Label2 = new QLabel(QStringLiteral("用户名"), this);
    Label2->setGeometry(200, 35, 41, 13);
    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(255, 29, 89, 21);
    access::setByteLimit(Edit1, 10);
    Label3 = new QLabel(QStringLiteral("密    码"), this);
    Label3->setGeometry(202, 63, 39, 13);
    Edit2 = new QLineEdit(this);
    Edit2->setGeometry(256, 58, 89, 21);
    access::setByteLimit(Edit2, 8);
    access::setPasswordEcho(Edit2);
    GroupBox1 = new QGroupBox(QStringLiteral("权限设置"), this);
    GroupBox1->setGeometry(200, 88, 146, 177);
    access::setHighlightText(GroupBox1);
    RadioButton1 = new QRadioButton(QStringLiteral("一般操作员"), GroupBox1);
    RadioButton1->setGeometry(24, 41, 89, 25);
    RadioButton1->setChecked(true);
    RadioButton2 = new QRadioButton(QStringLiteral("系统管理员"), GroupBox1);
    RadioButton2->setGeometry(24, 97, 89, 25);
    BitBtn1 = new QPushButton(QStringLiteral("添加"), this);
    BitBtn1->setGeometry(21, 288, 65, 25);
    BitBtn2 = new QPushButton(QStringLiteral("删除"), this);
    BitBtn2->setGeometry(100, 288, 65, 25);
    BitBtn4 = new QPushButton(QStringLiteral("修改"), this);
    BitBtn4->setGeometry(180, 287, 65, 25);
    BitBtn3 = new QPushButton(QStringLiteral("退出"), this);
    BitBtn3->setGeometry(282, 287, 65, 25);

    for (QPushButton *button : {BitBtn1, BitBtn2, BitBtn3, BitBtn4}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    const std::pair<QWidget *, const char *> names[] = {
        {Label1, "Label1"}, {ListBox1, "ListBox1"}, {Label2, "Label2"}, {Edit1, "Edit1"},
        {Label3, "Label3"}, {Edit2, "Edit2"}, {GroupBox1, "GroupBox1"},
        {RadioButton1, "RadioButton1"}, {RadioButton2, "RadioButton2"}, {BitBtn1, "BitBtn1"},
        {BitBtn2, "BitBtn2"}, {BitBtn4, "BitBtn4"}, {BitBtn3, "BitBtn3"}};
    for (const auto &[widget, name] : names)
        widget->setObjectName(QLatin1String(name));

    setTabOrder(ListBox1, Edit1);
    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, RadioButton1);
    setTabOrder(RadioButton1, RadioButton2);
    setTabOrder(RadioButton2, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, BitBtn3);
    setTabOrder(BitBtn3, BitBtn4);

    // A click on the selected entry refills the boxes too, as does a keyboard move.
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, &TForm4::ListBox1Click);
    connect(ListBox1, &QListWidget::itemClicked, this, &TForm4::ListBox1Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm4::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm4::BitBtn2Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TForm4::BitBtn4Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm4::BitBtn3Click);

    FormCreate();
}

TForm4::~TForm4() = default;

void TForm4::FormCreate()
{
    Table1.setDatabaseName(m_appDirectory + QStringLiteral("KorvathDB"));
    Table1.setTableName(QStringLiteral("RoleDB.db"));
}

void TForm4::FormShow()
{
    {
        const QSignalBlocker blocker(ListBox1);
        ListBox1->clear();
    }
    Table1.open();
    Table1.first();
    QStringList names;
    while (!Table1.eof()) {
        names << Table1.fieldByName(UserNameField).asString();
        Table1.next();
    }
    {
        const QSignalBlocker blocker(ListBox1);
        ListBox1->addItems(names);
        ListBox1->clearSelection();
        ListBox1->setCurrentRow(-1);
    }
    Table1.first();
}

void TForm4::FormClose()
{
    Table1.close();
}

int TForm4::selectedRow() const
{
    const QList<QListWidgetItem *> selected = ListBox1->selectedItems();
    return selected.isEmpty() ? -1 : ListBox1->row(selected.first());
}

int TForm4::roleFromRadioButtons() const
{
    return RadioButton1->isChecked() ? OperatorRole : AdministratorRole;
}

void TForm4::ListBox1Click()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    if (!Table1.findKey(ListBox1->item(row)->text()))
        return;
    Edit1->setText(Table1.fieldByName(UserNameField).asString());
    Edit2->setText(Table1.fieldByName(PasswordField).asString());
    store::Field role = Table1.fieldByName(RoleField);
    if (!role.isNull() && role.asInteger() == OperatorRole)
        RadioButton1->setChecked(true);
    else
        RadioButton2->setChecked(true);
}

// Fills the started row from the boxes and stores it. A refused row is dropped again, so
// that the handle is left on the stored rows; the refusal goes on to the error display.
void TForm4::writeRow()
{
    try {
        Table1.fieldByName(UserNameField).setAsString(Edit1->text());
        Table1.fieldByName(PasswordField).setAsString(Edit2->text());
        Table1.fieldByName(RoleField).setAsInteger(roleFromRadioButtons());
        Table1.post();
    } catch (...) {
        Table1.cancel();
        throw;
    }
}

void TForm4::BitBtn1Click()
{
    if (Edit1->text().isEmpty() || Edit2->text().isEmpty()) {
        Messages::error(EmptyInput, this);
        return;
    }
    Table1.append();
    writeRow();
    // The list shows the name as stored, which is also the key later lookups use.
    const QSignalBlocker blocker(ListBox1);
    ListBox1->addItem(Table1.fieldByName(UserNameField).asString());
}

void TForm4::BitBtn2Click()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    if (Table1.findKey(ListBox1->item(row)->text()))
        Table1.deleteRow();
    const QSignalBlocker blocker(ListBox1);
    delete ListBox1->takeItem(row);
    ListBox1->clearSelection();
    ListBox1->setCurrentRow(-1);
}

void TForm4::BitBtn4Click()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    if (!Table1.findKey(ListBox1->item(row)->text()))
        return;
    if (Edit1->text().isEmpty() || Edit2->text().isEmpty()) {
        Messages::error(EmptyInput, this);
        return;
    }
    Table1.edit();
    writeRow();
    // Only a stored change reaches the list; a renamed user keeps its entry.
    const QSignalBlocker blocker(ListBox1);
    ListBox1->item(row)->setText(Table1.fieldByName(UserNameField).asString());
}

void TForm4::BitBtn3Click()
{
    Table1.close();
    close();
}

void TForm4::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TForm4::closeEvent(QCloseEvent *event)
{
    QDialog::closeEvent(event);
    FormClose();
}

void TForm4::keyPressEvent(QKeyEvent *event)
{
    // Escape does not leave the window with its table open.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
