#include "access/FormLook.h"

#include <QDialog>
#include <QFont>
#include <QLineEdit>
#include <QPalette>

namespace access {

namespace {
// Border and caption of the window frame the places were laid out for.
constexpr int FrameWidth = 8;
constexpr int FrameHeight = 34;
}

void setDialogFrame(QDialog *dialog, int left, int top, int outerWidth, int outerHeight)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                           | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    QFont font = dialog->font();
    font.setPixelSize(12);
    dialog->setFont(font);
    dialog->setFixedSize(outerWidth - FrameWidth, outerHeight - FrameHeight);
    dialog->move(left, top);
}

void setPasswordEcho(QLineEdit *edit)
{
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
}

void setHighlightText(QWidget *widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Highlight));
    widget->setPalette(palette);
}

} // namespace access
