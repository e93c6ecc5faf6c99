#pragma once

#include "store/Table.h"

#include <QDialog>
#include <QString>

class QCloseEvent;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QShowEvent;

// The user manager: lists the users of RoleDB.db and adds, deletes and changes them.
// Opened modally from the main window.
class TForm4 : public QDialog
{
    Q_OBJECT

public:
    // appDirectory: the program's folder with its trailing "/".
    explicit TForm4(const QString &appDirectory, QWidget *parent = nullptr);
    ~TForm4() override;

    QLabel *Label1;
    QListWidget *ListBox1;
    QLabel *Label2;
    QLineEdit *Edit1;
    QLabel *Label3;
    QLineEdit *Edit2;
    QGroupBox *GroupBox1;
    QRadioButton *RadioButton1;
    QRadioButton *RadioButton2;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;
    QPushButton *BitBtn4;
    QPushButton *BitBtn3;
    store::Table Table1;

    void FormCreate();
    void FormShow();
    void FormClose();
    void ListBox1Click();
    void BitBtn1Click(); // add
    void BitBtn2Click(); // delete
    void BitBtn4Click(); // modify
    void BitBtn3Click(); // exit

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    int selectedRow() const;
    int roleFromRadioButtons() const;
    void writeRow();

    QString m_appDirectory;
};
