#include "access/FormLook.h"

#include "store/GbkText.h"

#include <QDialog>
#include <QFont>
#include <QLineEdit>
#include <QPalette>
#include <QValidator>

namespace access {

namespace {
// Border and caption of the window frame the places were laid out for.
constexpr int FrameWidth = 8;
constexpr int FrameHeight = 34;

class ByteLimit : public QValidator
{
public:
    ByteLimit(int maxBytes, QObject *parent) : QValidator(parent), m_maxBytes(maxBytes) {}
    State validate(QString &input, int &) const override
    {
        return store::gbkLength(input) <= m_maxBytes ? Acceptable : Invalid;
    }

private:
    int m_maxBytes;
};
} // namespace

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

void setByteLimit(QLineEdit *edit, int maxBytes)
{
    edit->setMaxLength(maxBytes); // never more characters than bytes
    edit->setValidator(new ByteLimit(maxBytes, edit));
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
