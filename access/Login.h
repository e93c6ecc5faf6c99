#pragma once

#include "store/Table.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QCloseEvent;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

// The login window: checks a name and password against RoleDB.db, remembers the last
// successful login in the per-user settings and hands the user's role to the main window.
class TForm6 : public QDialog
{
    Q_OBJECT

public:
    // appDirectory: the program's folder with its trailing "/"; the tables are in
    // appDirectory + "KorvathDB". The window is shown at once.
    explicit TForm6(const QString &appDirectory, QWidget *parent = nullptr);
    ~TForm6() override;

    // ROLE of the last successful login; 0 until one succeeds.
    int UserRole() const { return m_userRole; }

    // The settings store of the remembered login: organisation "sarvelon", group "user".
    static QString settingsFileName();

    QLabel *Label1;
    QLineEdit *Edit1;
    QLabel *Label2;
    QLineEdit *Edit2;
    QCheckBox *CheckBox1;
    QPushButton *Button1;
    QPushButton *Button2;
    store::Table Table1;

    void FormCreate();
    void Button1Click();
    // A character typed in Edit2; returns true when it was taken (Enter runs the login).
    bool Edit2KeyPress(QChar key);
    void Button2Click();
    void FormClose();

signals:
    void loggedIn(int role);
    void terminateRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void rememberLogin();
    void endProgram();

    QString m_appDirectory;
    int m_userRole = 0;
    bool m_ending = false;
};
