#pragma once

#include <QString>
#include <QVariant>

#include <map>

// Qt's file dialog saves its own state (folders visited, view mode) under "QtProject" in the
// user's settings, even when cancelled; this program keeps nothing on the PC. Held around a
// file dialog, the guard puts that group back as it was before: the program's traces go,
// and what other Qt programs keep there stays.
class TDialogStateGuard
{
public:
    TDialogStateGuard();
    ~TDialogStateGuard();
    TDialogStateGuard(const TDialogStateGuard&) = delete;
    TDialogStateGuard& operator=(const TDialogStateGuard&) = delete;

    static constexpr const char* Organization = "QtProject";
    static constexpr const char* Group = "FileDialog";

private:
    std::map<QString, QVariant> Before;
    bool Existed = false;
};
