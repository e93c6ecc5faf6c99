#pragma once

#include <functional>
#include <string>

namespace core {

// Bit set of signal layers: video 1, audio 2, composite 4.
using LayerMask = int;

enum Layer : LayerMask { LayerVideo = 1, LayerAudio = 2, LayerComposite = 4 };

constexpr int MaxChannels = 72;

// Which of the two label sets: the full redraw writes "AV" for 3, grid routing writes "VA".
enum class LabelSet { Redraw, Routing };

std::string CellLabel(LayerMask value, LabelSet set);

// Routing of the loaded matrix, indexed [output][input], 1-based; index 0 is never used.
// Reads and writes outside 1..72 are ignored (get gives 0), so nothing a device or an
// operator sends can reach outside the table.
class CrosspointTable
{
public:
    CrosspointTable() { clear(); }

    void clear();
    LayerMask get(int output, int input) const;
    void set(int output, int input, LayerMask mask);
    static bool inRange(int channel) { return channel >= 1 && channel <= MaxChannels; }

private:
    LayerMask m_cells[MaxChannels + 1][MaxChannels + 1];
};

// Writes the redraw label of every body entry through setCellText(column, row, text),
// for rows 1..rowCount-1 (outer) and columns 1..colCount-1 (inner).
void RedrawGrid(const CrosspointTable &table, int rowCount, int colCount,
                const std::function<void(int column, int row, const std::string &text)> &setCellText);

// The same walk, handing over each entry's value instead of its label, for a grid that keeps
// its eight labels ready made.
void RedrawGrid(const CrosspointTable &table, int rowCount, int colCount,
                const std::function<void(int column, int row, LayerMask value)> &setCellValue);

} // namespace core
