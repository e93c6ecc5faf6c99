#include "CrosspointTable.h"

namespace core {

std::string CellLabel(LayerMask value, LabelSet set)
{
    switch (value) {
    case 1: return " V";
    case 2: return " A";
    // The grid's own routing writes the letters in connect order; the full redraw does not.
    case 3: return set == LabelSet::Redraw ? "AV" : "VA";
    case 4: return " C";
    case 5: return "VC";
    case 6: return "AC";
    case 7: return "VAC";
    default: return std::string();
    }
}

void CrosspointTable::clear()
{
    for (auto &row : m_cells)
        for (auto &cell : row)
            cell = 0;
}

LayerMask CrosspointTable::get(int output, int input) const
{
    if (!inRange(output) || !inRange(input))
        return 0;
    return m_cells[output][input];
}

void CrosspointTable::set(int output, int input, LayerMask mask)
{
    if (!inRange(output) || !inRange(input))
        return;
    m_cells[output][input] = mask;
}

void RedrawGrid(const CrosspointTable &table, int rowCount, int colCount,
                const std::function<void(int column, int row, const std::string &text)> &setCellText)
{
    RedrawGrid(table, rowCount, colCount, [&setCellText](int c, int r, LayerMask value) {
        setCellText(c, r, CellLabel(value, LabelSet::Redraw));
    });
}

void RedrawGrid(const CrosspointTable &table, int rowCount, int colCount,
                const std::function<void(int column, int row, LayerMask value)> &setCellValue)
{
    // Column c is output c, row r is input r; row 0 and column 0 are the caption cells.
    for (int r = 1; r < rowCount; ++r)
        for (int c = 1; c < colCount; ++c)
            setCellValue(c, r, table.get(c, r));
}

} // namespace core
