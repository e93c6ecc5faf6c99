#include "catalogue/Channeldesc.h"

TForm7::TForm7(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint)
{
    setWindowTitle(QString::fromUtf8("通道描述"));
    resize(486, 383);
}
