#pragma once

#include <QString>

#include <vector>

// The undo history of the user's edits. One step is one typed cell, one paste, one import or
// one revert; each change keeps the text its cell showed before and after.
class TEditHistory
{
public:
    struct Change
    {
        int Slot = 0;
        QString Before;
        QString After;
    };
    using Step = std::vector<Change>;

    // Steps kept; the oldest goes first.
    static constexpr size_t Depth = 200;

    // A new step drops every step undone before it.
    void Add(Step step);
    bool CanUndo() const { return Done > 0; }
    bool CanRedo() const { return Done < Steps.size(); }
    // The step to take back, or to make again; empty when there is none.
    Step Undo();
    Step Redo();
    void Clear();

private:
    std::vector<Step> Steps;
    // Steps[0, Done) are in effect, the rest were undone.
    size_t Done = 0;
};
