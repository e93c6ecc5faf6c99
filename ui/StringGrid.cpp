#include "ui/StringGrid.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QVector>
#include <QWheelEvent>

// Cell texts of the whole grid, fixed row and column included. The body (col >= 1, row >= 1)
// is the model; row 0 and column 0 are the view's headers, so they stay put when scrolling.
class StringGridModel : public QAbstractTableModel
{
public:
    explicit StringGridModel(QObject *parent) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : qMax(0, m_rows - 1);
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : qMax(0, m_cols - 1);
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return {};
        const int col = index.column() + 1;
        const int row = index.row() + 1;
        if (role == Qt::DisplayRole)
            return text(col, row);
        if (role == Qt::BackgroundRole && col == m_selCol && row == m_selRow)
            return QColor(Qt::darkBlue);
        if (role == Qt::ForegroundRole && col == m_selCol && row == m_selRow)
            return QColor(Qt::white);
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role == Qt::DisplayRole)
            return orientation == Qt::Horizontal ? text(section + 1, 0) : text(0, section + 1);
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
    }

    int rows() const { return m_rows; }
    int cols() const { return m_cols; }

    void resize(int rows, int cols)
    {
        rows = qMax(0, rows);
        cols = qMax(0, cols);
        if (rows == m_rows && cols == m_cols)
            return;
        QVector<QString> cells(rows * cols);
        for (int r = 0; r < qMin(rows, m_rows); ++r)
            for (int c = 0; c < qMin(cols, m_cols); ++c)
                cells[r * cols + c] = m_cells[r * m_cols + c];
        beginResetModel();
        m_rows = rows;
        m_cols = cols;
        m_cells.swap(cells);
        endResetModel();
    }

    QString text(int col, int row) const
    {
        if (col < 0 || row < 0 || col >= m_cols || row >= m_rows)
            return {};
        return m_cells[row * m_cols + col];
    }

    void setText(int col, int row, const QString &value)
    {
        if (col < 0 || row < 0 || col >= m_cols || row >= m_rows)
            return;
        QString &cell = m_cells[row * m_cols + col];
        if (cell == value)
            return;
        cell = value;
        if (col >= 1 && row >= 1) {
            const QModelIndex i = index(row - 1, col - 1);
            emit dataChanged(i, i, {Qt::DisplayRole});
        } else if (row == 0 && col >= 1) {
            emit headerDataChanged(Qt::Horizontal, col - 1, col - 1);
        } else if (col == 0 && row >= 1) {
            emit headerDataChanged(Qt::Vertical, row - 1, row - 1);
        }
    }

    void setSelected(int col, int row)
    {
        const int oldCol = m_selCol, oldRow = m_selRow;
        m_selCol = col;
        m_selRow = row;
        for (auto [c, r] : {std::pair{oldCol, oldRow}, std::pair{col, row}}) {
            if (c >= 1 && r >= 1 && c < m_cols && r < m_rows) {
                const QModelIndex i = index(r - 1, c - 1);
                emit dataChanged(i, i);
            }
        }
    }

private:
    int m_rows = 0;
    int m_cols = 0;
    QVector<QString> m_cells;
    int m_selCol = -1;
    int m_selRow = -1;
};

StringGrid::StringGrid(QWidget *parent)
    : QTableView(parent)
    , m_model(new StringGridModel(this))
    , m_selection(150, 150, 1, 1)
{
    setModel(m_model);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setMouseTracking(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    for (QHeaderView *h : {horizontalHeader(), verticalHeader()}) {
        h->setSectionResizeMode(QHeaderView::Fixed);
        h->setSectionsClickable(false);
        h->setHighlightSections(false);
        h->setMouseTracking(true);
        h->viewport()->setMouseTracking(true);
        h->viewport()->installEventFilter(this);
    }
    viewport()->setMouseTracking(true);
    setStyleSheet(QStringLiteral(
        "QHeaderView::section { background-color: #505050; color: white; border: 1px solid #303030; }"
        "QTableCornerButton::section { background-color: #505050; border: 1px solid #303030; }"));
    setDefaultColWidth(40);
    setDefaultRowHeight(40);
    m_model->resize(5, 5);
}

StringGrid::~StringGrid() = default;

int StringGrid::RowCount() const { return m_model->rows(); }
int StringGrid::ColCount() const { return m_model->cols(); }
void StringGrid::setRowCount(int rows) { m_model->resize(rows, m_model->cols()); }
void StringGrid::setColCount(int cols) { m_model->resize(m_model->rows(), cols); }

void StringGrid::setDefaultColWidth(int width)
{
    horizontalHeader()->setDefaultSectionSize(width);
    verticalHeader()->setFixedWidth(width);
}

void StringGrid::setDefaultRowHeight(int height)
{
    verticalHeader()->setDefaultSectionSize(height);
    horizontalHeader()->setFixedHeight(height);
}

QString StringGrid::Cells(int col, int row) const { return m_model->text(col, row); }
void StringGrid::setCells(int col, int row, const QString &text) { m_model->setText(col, row, text); }

void StringGrid::setSelection(const QRect &rect)
{
    m_selection = rect;
    m_model->setSelected(rect.left(), rect.top());
}

bool StringGrid::MouseToCell(const QPoint &pos, int &col, int &row) const
{
    // pos is in this widget's coordinates: headers and body alike.
    const QPoint inViewport = viewport()->mapFrom(this, pos);
    const QPoint inHHeader = horizontalHeader()->mapFrom(this, pos);
    const QPoint inVHeader = verticalHeader()->mapFrom(this, pos);
    const bool overHHeader = horizontalHeader()->rect().contains(inHHeader);
    const bool overVHeader = verticalHeader()->rect().contains(inVHeader);
    const bool overBody = viewport()->rect().contains(inViewport);
    if (overBody) {
        const int c = columnAt(inViewport.x());
        const int r = rowAt(inViewport.y());
        if (c < 0 || r < 0)
            return false;
        col = c + 1;
        row = r + 1;
        return true;
    }
    if (overHHeader) {
        const int c = horizontalHeader()->logicalIndexAt(inHHeader.x());
        if (c < 0 || RowCount() < 1)
            return false;
        col = c + 1;
        row = 0;
        return true;
    }
    if (overVHeader) {
        const int r = verticalHeader()->logicalIndexAt(inVHeader.y());
        if (r < 0 || ColCount() < 1)
            return false;
        col = 0;
        row = r + 1;
        return true;
    }
    // The corner above the row headings and left of the column headings.
    if (pos.x() >= frameWidth() && pos.y() >= frameWidth() && inVHeader.x() >= 0
        && inVHeader.x() < verticalHeader()->width() && inHHeader.y() >= 0
        && inHHeader.y() < horizontalHeader()->height() && RowCount() > 0 && ColCount() > 0) {
        col = 0;
        row = 0;
        return true;
    }
    return false;
}

QRect StringGrid::cellRect(int col, int row) const
{
    if (col >= 1 && row >= 1)
        return visualRect(m_model->index(row - 1, col - 1));
    return {};
}

void StringGrid::requestCell(int col, int row)
{
    if (col < 1 || row < 1 || col >= ColCount() || row >= RowCount())
        return;
    bool allow = true;
    if (onSelectCell)
        onSelectCell(col, row, allow);
    if (allow)
        setSelection(QRect(col, row, 1, 1));
}

void StringGrid::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid())
        requestCell(index.column() + 1, index.row() + 1);
}

void StringGrid::mouseReleaseEvent(QMouseEvent *) {}

void StringGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    mousePressEvent(event);
}

void StringGrid::mouseMoveEvent(QMouseEvent *event)
{
    // Moves arrive from the viewport and from the frame itself; the global position serves both.
    const QPoint p = mapFromGlobal(event->globalPosition().toPoint());
    emit mouseMoved(event->modifiers(), p.x(), p.y());
}

bool StringGrid::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove) {
        auto *me = static_cast<QMouseEvent *>(event);
        const QPoint p = mapFromGlobal(me->globalPosition().toPoint());
        emit mouseMoved(me->modifiers(), p.x(), p.y());
    }
    return QTableView::eventFilter(watched, event);
}

void StringGrid::wheelEvent(QWheelEvent *event)
{
    if (event->angleDelta().y() < 0)
        emit mouseWheelDown();
    else if (event->angleDelta().y() > 0)
        emit mouseWheelUp();
    QTableView::wheelEvent(event);
}

void StringGrid::keyPressEvent(QKeyEvent *event)
{
    // The keyboard cursor moves on its own; the cell it reaches is requested like a click,
    // and becomes current only when the handler allows it.
    int col = m_keyCol, row = m_keyRow;
    switch (event->key()) {
    case Qt::Key_Left: --col; break;
    case Qt::Key_Right: ++col; break;
    case Qt::Key_Up: --row; break;
    case Qt::Key_Down: ++row; break;
    case Qt::Key_Home: col = 1; break;
    case Qt::Key_End: col = ColCount() - 1; break;
    default:
        QTableView::keyPressEvent(event);
        return;
    }
    if (col < 1 || row < 1 || col >= ColCount() || row >= RowCount())
        return;
    m_keyCol = col;
    m_keyRow = row;
    scrollTo(m_model->index(row - 1, col - 1));
    requestCell(col, row);
}
