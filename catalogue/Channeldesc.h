#pragma once

#include <QDialog>

// The channel descriptions of one matrix.
class TForm7 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm7(QWidget *parent = nullptr);
};
