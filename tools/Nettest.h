#pragma once

#include <QDialog>

// The network debug assistant: a terminal for one TCP connection.
class TForm5 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm5(QWidget *parent = nullptr);
};
