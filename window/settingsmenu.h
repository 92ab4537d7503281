#pragma once

#include <QObject>
#include <QString>

#include <functional>

struct TReport;

class QAction;
class QTableWidget;
class QWidget;
class TWriteBack;

// "Export settings...", "Import settings...", "Save dialogue log..." and "Save report..." on both
// tables' context menus and as the window's shortcuts. Export writes what the instrument is known
// to hold; import puts the file's differing values into their cells as the user's edits, for the
// next Save; the dialogue log is this run's, kept in memory, for whoever is asked for help.
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
    bool SaveLog(const QString& path);
    // "Save report...": the commissioning report (PDF) of what `made` returns.
    void ReportWith(std::function<TReport()> made) { MakeReport = std::move(made); }
    bool SaveReport(const QString& path);

    QAction* ExportAction = nullptr;
    QAction* ImportAction = nullptr;
    QAction* SaveLogAction = nullptr;
    QAction* ReportAction = nullptr;

signals:
    void imported(int changed);

private:
    void ExportClick();
    void ImportClick();
    void SaveLogClick();
    void ReportClick();
    void Warn(const QString& title, const QString& text);

    QWidget* Window;
    TWriteBack& WriteBack;
    std::function<QString()> Device;
    QString LastFolder;
    std::function<TReport()> MakeReport;
};
