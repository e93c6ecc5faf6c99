#include "console/Preset.h"

TForm8::TForm8(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint)
{
    setWindowTitle(QString::fromUtf8("预置存储"));
    resize(300, 150);
}
