#pragma once

#include "editing/clipboardblock.h"

#include <QString>

#include <optional>
#include <vector>

// Where a pasted block goes: each value becomes the user's edit of one cell. A block that does
// not fit is refused whole, so a paste never changes part of what the user meant.
class TPastePlan
{
public:
    struct Edit
    {
        int Col = 0;
        int Row = 0;
        QString Text;
    };

    // The current cell and the selected cells, by data column and row (from 1; 0 or less is
    // no cell); the size of the table's data.
    struct Target
    {
        int Col = 0;
        int Row = 0;
        std::vector<std::pair<int, int>> Selected;
        int Columns = 0;
        int Rows = 0;
        // Values go only into the cells of a connected instrument.
        bool Connected = true;
    };

    std::vector<Edit> Edits;
    // Why nothing is pasted, said to the user.
    std::optional<QString> Refusal;

    // One value goes into every selected cell; a block starts at the current cell.
    static TPastePlan Make(const TClipboardBlock::Rows& block, const Target& target);
};
