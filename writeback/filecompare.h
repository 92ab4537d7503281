#pragma once

#include "driver/celltable.h"
#include "settingsfile/settingsfile.h"
#include "writeback/cellmarks.h"

#include <QString>

#include <array>
#include <optional>
#include <string>
#include <vector>

// The settings file the window last compared the instrument with: the file's value of each
// setting it holds, by slot, and the words the window shows for it. Whether a value differs is
// asked of the instrument's value as it is now, so that a Save of the file's value, or the
// undo of taking it, shows at once. Nothing here sends anything.
class TFileCompare
{
public:
    // Forgets any file compared with before and keeps this one's values; `fileName` is the
    // file's name without its folder.
    void Start(const QString& fileName, const SettingList& file);
    void Clear();
    bool Active() const { return IsActive; }
    // The compared file's name, without its folder, as it was given.
    const QString& FileName() const { return Name; }

    std::optional<std::string> FileValueOf(int slot) const;
    // A setting the file does not hold, or whose value in the instrument is not known, does not
    // differ.
    bool Differs(int slot, const std::optional<std::string>& instrument) const;
    // The tooltip of a cell that differs: the file's value and the instrument's, escaped.
    QString Tip(int slot, const std::string& instrument) const;
    // The status bar's words after a compare: "3 settings differ from PLANT-A.txt".
    QString Summary(int differing) const;
    // The message of a file the checks refuse.
    static QString Refused(const TSettingsFileResult& file);

    // The slots "Take file values" makes edits of: the selected ones marked as differing, or
    // every marked one when the selection holds none.
    static std::vector<int> ToTake(const std::vector<int>& selected, const TCellMarks& marks);

private:
    QString ShownName() const;

    bool IsActive = false;
    QString Name;
    std::array<std::optional<std::string>, CellTableUsed> Values{};
};
