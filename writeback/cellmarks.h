#pragma once

#include "driver/celltable.h"

#include <QString>

#include <array>

// How a cell is marked.
enum class TCellMark
{
    None,
    Unconfirmed, // an edit the instrument has not confirmed yet
    Unsafe,      // an edit that is never sent
    NotTaken,    // the instrument kept its own value over an answered write
    NoAnswer,    // the last read of the setting went unanswered
    Overlong,    // the last read's reply was too long to be the setting
    LooksWrong,  // the instrument holds text where it holds a number
};

// The mark and its tooltip of every slot, as last shown.
class TCellMarks
{
public:
    TCellMark MarkOf(int slot) const;
    QString TipOf(int slot) const;
    // Returns whether anything changed.
    bool Set(int slot, TCellMark mark, const QString& tip);
    // Slots carrying any mark but LooksWrong (the instrument's value is known there).
    int Count() const;
    // Slots marked for an edit the instrument has not confirmed: not yet confirmed, never sent
    // or not taken.
    int EditCount() const;

private:
    struct Entry
    {
        TCellMark Mark = TCellMark::None;
        QString Tip;
    };
    std::array<Entry, CellTableUsed> Entries{};
};
