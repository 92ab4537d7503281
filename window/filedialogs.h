#pragma once

#include <QString>

class QWidget;

// The program's file dialogs. Each leaves nothing of Qt's own dialog state on the PC (see
// TDialogStateGuard); an empty path when the user cancels.
class TFileDialogs
{
public:
    static QString Open(QWidget* parent, const QString& title, const QString& folder,
                        const QString& filter);
    static QString Save(QWidget* parent, const QString& title, const QString& suggested,
                        const QString& filter);
};
