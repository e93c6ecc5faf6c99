#include "access/Login.h"

#include "access/FormLook.h"
#include "store/TableScope.h"
#include "ui/Messages.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

#include <utility>

namespace {

const QString SettingsOrganisation = QStringLiteral("sarvelon");
const QString SettingsGroup = QStringLiteral("user");
const QString UserNameValue = QStringLiteral("USER_NAME");
const QString PasswordValue = QStringLiteral("PWD");
const QString SaveFlagValue = QStringLiteral("SAVE_FLAG");

// The settings of the remembered login (registry key \Software\sarvelon\user on Windows).
class LoginSettings : public QSettings
{
public:
    LoginSettings() : QSettings(QSettings::NativeFormat, QSettings::UserScope, SettingsOrganisation) {}
};

constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// The file holds a password: it is never readable by anybody but its owner, not even for the
// moment between its creation and the first write.
void prepareOwnerOnly(const QString &fileName)
{
    if (fileName.isEmpty())
        return;
    if (QFileInfo::exists(fileName)) {
        QFile::setPermissions(fileName, OwnerOnly);
        return;
    }
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QFile file(fileName);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly, OwnerOnly))
        file.close();
}

} // namespace

TForm6::TForm6(const QString &appDirectory, QWidget *parent)
    : QDialog(parent), m_appDirectory(appDirectory)
{
    setWindowTitle(QStringLiteral("登录"));
    access::setDialogFrame(this, 565, 227, 211, 249);

    Label1 = new QLabel(QStringLiteral("用户名"), this);
    Label1->setGeometry(32, 30, 49, 13);
    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(32, 51, 145, 21);
    Label2 = new QLabel(QStringLiteral("密码"), this);
    Label2->setGeometry(32, 79, 33, 13);
    Edit2 = new QLineEdit(this);
    Edit2->setGeometry(32, 100, 145, 21);
    access::setPasswordEcho(Edit2);
    Edit2->installEventFilter(this);
    CheckBox1 = new QCheckBox(QStringLiteral("记住用户名和密码"), this);
    CheckBox1->setGeometry(32, 136, 145, 25);
    Button1 = new QPushButton(QStringLiteral("登录"), this);
    Button1->setGeometry(31, 171, 65, 25);
    Button2 = new QPushButton(QStringLiteral("取消"), this);
    Button2->setGeometry(113, 171, 65, 25);

    // Enter belongs to the password box alone; it must not press a default button.
    for (QPushButton *button : {Button1, Button2}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    const std::pair<QWidget *, const char *> names[] = {
        {Label1, "Label1"}, {Edit1, "Edit1"}, {Label2, "Label2"}, {Edit2, "Edit2"},
        {CheckBox1, "CheckBox1"}, {Button1, "Button1"}, {Button2, "Button2"}};
    for (const auto &[widget, name] : names)
        widget->setObjectName(QLatin1String(name));

    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, CheckBox1);
    Edit1->setFocus();

    connect(Button1, &QPushButton::clicked, this, &TForm6::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm6::Button2Click);

    FormCreate();
    show();
}

TForm6::~TForm6() = default;

QString TForm6::settingsFileName()
{
    return LoginSettings().fileName();
}

void TForm6::FormCreate()
{
    {
        LoginSettings settings;
        // Only look: a first start leaves no trace in the settings store.
        if (settings.childGroups().contains(SettingsGroup)) {
            settings.beginGroup(SettingsGroup);
            bool ok = false;
            const bool saved = settings.value(SaveFlagValue).toInt(&ok) != 0 && ok;
            if (saved) {
                CheckBox1->setChecked(true);
                Edit1->setText(settings.value(UserNameValue).toString());
                Edit2->setText(settings.value(PasswordValue).toString());
            }
            settings.endGroup();
        }
    }
    Table1.setDatabaseName(m_appDirectory + QStringLiteral("KorvathDB"));
    Table1.setTableName(QStringLiteral("RoleDB.db"));
}

void TForm6::Button1Click()
{
    int role = 0;
    {
        const store::TableScope scope(Table1);
        Table1.first();

        const QString name = Edit1->text();
        // The lookup compares the stored (width-cut) form of the text: the row's name must
        // also be the typed one exactly.
        if (!Table1.findKey(name) || Table1.fieldByName(QStringLiteral("USERNAME")).asString() != name) {
            Messages::error(QStringLiteral("用户名错误！"), this);
            Edit1->setFocus();
            return;
        }
        if (Table1.fieldByName(QStringLiteral("PASSWORD")).asString() != Edit2->text()) {
            Messages::error(QStringLiteral("密码错误！"), this);
            Edit2->setFocus();
            return;
        }
        store::Field roleField = Table1.fieldByName(QStringLiteral("ROLE"));
        role = roleField.isNull() ? 0 : roleField.asInteger();
    }
    m_userRole = role;
    rememberLogin();
    hide();
    emit loggedIn(role);
}

void TForm6::rememberLogin()
{
    const QString fileName = settingsFileName();
    prepareOwnerOnly(fileName);
    {
        LoginSettings settings;
        settings.beginGroup(SettingsGroup);
        settings.setValue(UserNameValue, Edit1->text());
        settings.setValue(PasswordValue, Edit2->text());
        settings.setValue(SaveFlagValue, CheckBox1->isChecked() ? 1 : 0);
        settings.endGroup();
        settings.sync();
    }
    // A store that cannot be written remembers nothing; the login still succeeds.
    if (QFileInfo::exists(fileName))
        QFile::setPermissions(fileName, OwnerOnly);
}

bool TForm6::Edit2KeyPress(QChar key)
{
    if (key != QChar(13))
        return false;
    Button1Click();
    return true;
}

void TForm6::Button2Click()
{
    endProgram();
}

void TForm6::FormClose()
{
    endProgram();
}

void TForm6::endProgram()
{
    // Ending the event loop closes the windows still shown, this one included: ask once.
    if (m_ending)
        return;
    m_ending = true;
    emit terminateRequested();
    QCoreApplication::quit();
}

bool TForm6::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Edit2 && event->type() == QEvent::KeyPress) {
        const auto *keyEvent = static_cast<QKeyEvent *>(event);
        const int key = keyEvent->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            return Edit2KeyPress(QChar(13));
    }
    return QDialog::eventFilter(watched, event);
}

void TForm6::closeEvent(QCloseEvent *event)
{
    QDialog::closeEvent(event);
    FormClose();
}

void TForm6::keyPressEvent(QKeyEvent *event)
{
    // Escape does not hide the window behind the program's back.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
