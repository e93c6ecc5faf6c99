#pragma once

#include <QRect>
#include <QTableView>

#include <functional>

class StringGridModel;

// The string grid: cell texts held in a model of our own (no item objects), one fixed row
// and one fixed column, a selection rectangle, and the cell-selection, mouse-move and
// mouse-wheel events. A click or keyboard navigation onto a cell asks onSelectCell first;
// the current cell moves only when the handler allows it.
class StringGrid : public QTableView
{
    Q_OBJECT
public:
    explicit StringGrid(QWidget *parent = nullptr);
    ~StringGrid() override;

    int RowCount() const;
    int ColCount() const;
    void setRowCount(int rows);
    void setColCount(int cols);
    void setDefaultColWidth(int width);
    void setDefaultRowHeight(int height);

    QString Cells(int col, int row) const;
    void setCells(int col, int row, const QString &text);

    // The selection rectangle (left, top, right, bottom); outside the grid selects nothing.
    QRect Selection() const { return m_selection; }
    void setSelection(const QRect &rect);
    int currentCol() const { return m_selection.left(); }
    int currentRow() const { return m_selection.top(); }

    // Cell under a point of the viewport; false when the point is over no cell.
    bool MouseToCell(const QPoint &pos, int &col, int &row) const;

    // Raised for a click on a cell and for keyboard navigation; allow starts true.
    std::function<void(int col, int row, bool &allow)> onSelectCell;

    // Rect of a cell in viewport coordinates (for tests that click).
    QRect cellRect(int col, int row) const;

signals:
    void mouseMoved(Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseWheelDown();
    void mouseWheelUp();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void requestCell(int col, int row);

    StringGridModel *m_model;
    QRect m_selection;
    int m_keyCol = 1; // keyboard cursor
    int m_keyRow = 1;
};
