#include "catalogue/Marixedit.h"

TForm3::TForm3(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint)
{
    setWindowTitle(QString::fromUtf8("矩阵编辑"));
    resize(630, 397);
}
