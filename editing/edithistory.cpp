#include "editing/edithistory.h"

void TEditHistory::Add(Step step)
{
    if (step.empty())
        return;
    Steps.resize(Done);
    Steps.push_back(std::move(step));
    if (Steps.size() > Depth)
        Steps.erase(Steps.begin());
    Done = Steps.size();
}

TEditHistory::Step TEditHistory::Undo()
{
    if (!CanUndo())
        return {};
    return Steps[--Done];
}

TEditHistory::Step TEditHistory::Redo()
{
    if (!CanRedo())
        return {};
    return Steps[Done++];
}

void TEditHistory::Clear()
{
    Steps.clear();
    Done = 0;
}
