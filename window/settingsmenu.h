#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

struct TReport;

class QAction;
class QTableWidget;
class QWidget;
class TWriteBack;

// "Export settings...", "Import settings...", "Save dialogue log..." and "Save report..." on both
// tables' context menus and as the window's shortcuts. Export writes what the instrument is known
// to hold; import puts the file's differing values into their cells as the user's edits, for the
// next Save; the dialogue log is this run's, kept in memory, for whoever is asked for help.
// "Compare with file..." marks the cells whose value differs from a file's, sending nothing;
// "Take file values" makes the marked values of the selection (or all) edits, as import does.
// The report is the commissioning record of what the instrument holds and what was written.
class TSettingsMenu : public QObject
{
    Q_OBJECT

public:
    TSettingsMenu(QWidget* window, TWriteBack& writeBack, std::function<QString()> device);
    void AddTo(QTableWidget* grid, int32_t gridId);
    // Import only while connected with the driver idle; export once anything is known.
    void UpdateEnabled(bool driverIdle);

    // Without a dialog, for a chosen file: whether the file was written, and how many cells the
    // import changed (-1: the file was refused, nothing changed).
    bool Export(const QString& path);
    int Import(const QString& path);
    bool SaveLog(const QString& path);
    // How many settings differ (-1: refused), and how many cells taking the values changed.
    int Compare(const QString& path);
    int TakeFileValues();
    // "Save report...": the commissioning report (PDF) of what `made` returns.
    void ReportWith(std::function<TReport()> made) { MakeReport = std::move(made); }
    bool SaveReport(const QString& path);

    QAction* ExportAction = nullptr;
    QAction* ImportAction = nullptr;
    QAction* SaveLogAction = nullptr;
    QAction* CompareAction = nullptr;
    QAction* TakeAction = nullptr;
    QAction* ReportAction = nullptr;

signals:
    void imported(int changed);
    void compared(const QString& status);

private:
    void ExportClick();
    void ImportClick();
    void SaveLogClick();
    void ReportClick();
    void Warn(const QString& title, const QString& text);
    // The file dialogs, from the folder last used; an empty path when cancelled.
    QString OpenFile(const char* title);
    QString SaveFile(const char* title, const char* name, const char* filter);
    // The menu's entries, in the order the menu shows them.
    std::vector<QAction*> Actions() const;

    std::vector<std::pair<QTableWidget*, int32_t>> Grids;

    QWidget* Window;
    TWriteBack& WriteBack;
    std::function<QString()> Device;
    QString LastFolder;
    std::function<TReport()> MakeReport;
};
