#pragma once

#include <QDialog>

// The serial debug assistant: a terminal for one serial port.
class TForm2 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm2(QWidget *parent = nullptr);
};
