#include "tools/Cmdlog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TForm9::TForm9(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint)
{
    setWindowTitle(QString::fromUtf8("历史操作指令"));
    resize(369, 386);

    ListView1 = new QTreeWidget(this);
    ListView1->setColumnCount(2);
    ListView1->setHeaderLabels({QString::fromUtf8("矩阵标识"), QString::fromUtf8("通信代码")});
    ListView1->setColumnWidth(0, 240);
    ListView1->setColumnWidth(1, 80);
    ListView1->setRootIsDecorated(false);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setUniformRowHeights(true);
    QFont f = ListView1->font();
    f.setPointSize(f.pointSize() + 2);
    ListView1->setFont(f);

    Button1 = new QPushButton(QString::fromUtf8("清   空"), this);
    Button2 = new QPushButton(QString::fromUtf8("返   回"), this);
    connect(Button1, &QPushButton::clicked, this, &TForm9::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm9::Button2Click);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(ListView1);
    layout->addLayout(buttons);
}

void TForm9::AddHistoryEntry(const QString &matrixName, const QString &command)
{
    auto *item = new QTreeWidgetItem(ListView1);
    item->setText(0, matrixName);
    item->setText(1, command);
}

int TForm9::count() const
{
    return ListView1->topLevelItemCount();
}

void TForm9::clear()
{
    ListView1->clear();
}

QString TForm9::matrixAt(int i) const
{
    const QTreeWidgetItem *item = ListView1->topLevelItem(i);
    return item ? item->text(0) : QString();
}

QString TForm9::commandAt(int i) const
{
    const QTreeWidgetItem *item = ListView1->topLevelItem(i);
    return item ? item->text(1) : QString();
}

void TForm9::Button1Click()
{
    clear();
}

void TForm9::Button2Click()
{
    close();
}
