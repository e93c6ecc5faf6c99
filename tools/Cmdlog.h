#pragma once

#include <QDialog>

class QPushButton;
class QTreeWidget;

// The command history: routing commands sent during this run, each with its matrix.
class TForm9 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm9(QWidget *parent = nullptr);

    void AddHistoryEntry(const QString &matrixName, const QString &command);
    int count() const;
    void clear();
    QString matrixAt(int i) const;
    QString commandAt(int i) const;

    void Button1Click(); // "清   空"
    void Button2Click(); // "返   回"

    QTreeWidget *ListView1;
    QPushButton *Button1;
    QPushButton *Button2;
};
