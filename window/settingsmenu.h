#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QTableWidget;
class QWidget;
class TWriteBack;

// "Export settings..." and "Import settings..." on both tables' context menus and as the
// window's shortcuts. Export writes what the instrument is known to hold; import puts the
// file's differing values into their cells as the user's edits, for the next Save.
class TSettingsMenu : public QObject
{
    Q_OBJECT

public:
    TSettingsMenu(QWidget* window, TWriteBack& writeBack, std::function<QString()> device);
    void AddTo(QTableWidget* grid);
    // Import only while connected with the driver idle; export once anything is known.
    void UpdateEnabled(bool driverIdle);

    // Without a dialog, for a chosen file: whether the file was written, and how many cells the
    // import changed (-1: the file was refused, nothing changed).
    bool Export(const QString& path);
    int Import(const QString& path);

    QAction* ExportAction = nullptr;
    QAction* ImportAction = nullptr;

signals:
    void imported(int changed);

private:
    void ExportClick();
    void ImportClick();
    void Warn(const QString& title, const QString& text);

    QWidget* Window;
    TWriteBack& WriteBack;
    std::function<QString()> Device;
    QString LastFolder;
};
