#pragma once

#include <cstddef>
#include <string>
#include <vector>

// A batch run's progress on a terminal: one line per instrument, redrawn in place. Each line
// is cut to the width of the narrowest terminal, so that none wraps and the block keeps its
// height.
class TBatchProgress
{
public:
    static constexpr std::size_t Width = 79;

    // What brings the block on the terminal up to `lines`; the first call draws it below the
    // cursor, later ones go back up over it. The cursor is left below the block.
    std::string Redraw(const std::vector<std::string>& lines);
    // What removes the block, leaving the cursor where the block began.
    std::string Clear() const;

private:
    std::size_t Drawn = 0; // lines on the terminal
};
