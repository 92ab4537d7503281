#include "window/filedialogs.h"
#include "window/dialogstateguard.h"

#include <QFileDialog>

QString TFileDialogs::Open(QWidget* parent, const QString& title, const QString& folder,
                           const QString& filter)
{
    const TDialogStateGuard leaveNoState;
    return QFileDialog::getOpenFileName(parent, title, folder, filter);
}

QString TFileDialogs::Save(QWidget* parent, const QString& title, const QString& suggested,
                           const QString& filter)
{
    const TDialogStateGuard leaveNoState;
    return QFileDialog::getSaveFileName(parent, title, suggested, filter);
}
