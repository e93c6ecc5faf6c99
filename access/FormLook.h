#pragma once

class QDialog;
class QLineEdit;
class QWidget;

namespace access {

// Title-bar close box only, the outer place and size of the window, the small dialog font.
void setDialogFrame(QDialog *dialog, int left, int top, int outerWidth, int outerHeight);
// The edit takes at most maxBytes bytes of code page 936 text (a Chinese character takes two),
// the width of the table field it is stored in, so what is typed is stored uncut.
void setByteLimit(QLineEdit *edit, int maxBytes);
// Every character of the edit shown as "*".
void setPasswordEcho(QLineEdit *edit);
// The text of a label or group box in the highlight colour.
void setHighlightText(QWidget *widget);

} // namespace access
