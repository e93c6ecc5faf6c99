#include "tools/Comtest.h"

TForm2::TForm2(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint)
{
    setWindowTitle(QString::fromUtf8("串口调试助手"));
    resize(500, 400);
}
