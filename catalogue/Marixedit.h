#pragma once

#include <QDialog>

// The matrix editor: keeps the catalogue of matrices.
class TForm3 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm3(QWidget *parent = nullptr);
};
