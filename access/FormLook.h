#pragma once

class QDialog;
class QLineEdit;
class QWidget;

namespace access {

// Title-bar close box only, the outer place and size of the window, the small dialog font.
void setDialogFrame(QDialog *dialog, int left, int top, int outerWidth, int outerHeight);
// Every character of the edit shown as "*".
void setPasswordEcho(QLineEdit *edit);
// The text of a label or group box in the highlight colour.
void setHighlightText(QWidget *widget);

} // namespace access
