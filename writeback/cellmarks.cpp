#include "writeback/cellmarks.h"

#include <algorithm>

namespace {

bool InRange(int slot)
{
    return slot >= 0 && slot < CellTableUsed;
}

} // namespace

TCellMark TCellMarks::MarkOf(int slot) const
{
    return InRange(slot) ? Entries[static_cast<size_t>(slot)].Mark : TCellMark::None;
}

QString TCellMarks::TipOf(int slot) const
{
    return InRange(slot) ? Entries[static_cast<size_t>(slot)].Tip : QString();
}

bool TCellMarks::Set(int slot, TCellMark mark, const QString& tip)
{
    if (!InRange(slot))
        return false;
    Entry& entry = Entries[static_cast<size_t>(slot)];
    if (entry.Mark == mark && entry.Tip == tip)
        return false;
    entry.Mark = mark;
    entry.Tip = tip;
    return true;
}

int TCellMarks::Count() const
{
    return static_cast<int>(std::count_if(Entries.begin(), Entries.end(), [](const Entry& e) {
        return e.Mark != TCellMark::None && e.Mark != TCellMark::LooksWrong;
    }));
}

int TCellMarks::EditCount() const
{
    return static_cast<int>(std::count_if(Entries.begin(), Entries.end(), [](const Entry& e) {
        return e.Mark == TCellMark::Unconfirmed || e.Mark == TCellMark::Unsafe ||
               e.Mark == TCellMark::NotTaken;
    }));
}
