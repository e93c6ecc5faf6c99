#include "tools/Nettest.h"

TForm5::TForm5(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint)
{
    setWindowTitle(QString::fromUtf8("网络调试助手"));
    resize(500, 400);
}
