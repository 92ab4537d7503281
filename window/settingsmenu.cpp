#include "window/settingsmenu.h"
#include "window/filedialogs.h"

#include "report/reportpdf.h"
#include "session/programlog.h"
#include "settingsfile/showntext.h"
#include "writeback/writeback.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <QStringList>
#include <QTableWidget>

#include <ctime>

namespace {

const char* const ExportTitle = "Export settings";
const char* const ImportTitle = "Import settings";
const char* const CompareTitle = "Compare with file";
const char* const FileFilter = "Settings files (*.txt);;All files (*)";
const char* const SaveLogTitle = "Save dialogue log";
const char* const LogFilter = "Log files (*.log);;All files (*)";
const char* const ReportTitle = "Save report";
const char* const ReportFilter = "PDF files (*.pdf);;All files (*)";

std::string LocalPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString DocumentsFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? QDir::homePath() : documents;
}

// Gives the keyboard back to the control that had it before a dialog, so that the table's keys
// and the shortcuts work again at once.
class TFocusKeeper
{
public:
    TFocusKeeper() : Widget(QApplication::focusWidget()) {}
    ~TFocusKeeper()
    {
        if (Widget != nullptr)
            Widget->setFocus(Qt::OtherFocusReason);
    }
    TFocusKeeper(const TFocusKeeper&) = delete;
    TFocusKeeper& operator=(const TFocusKeeper&) = delete;

private:
    QPointer<QWidget> Widget;
};

} // namespace

TSettingsMenu::TSettingsMenu(QWidget* window, TWriteBack& writeBack,
                             std::function<QString()> device)
    : QObject(window), Window(window), WriteBack(writeBack), Device(std::move(device)),
      LastFolder(DocumentsFolder())
{
    ExportAction = new QAction(QStringLiteral("Export settings..."), this);
    ExportAction->setObjectName(QStringLiteral("ExportAction"));
    ExportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    ImportAction = new QAction(QStringLiteral("Import settings..."), this);
    ImportAction->setObjectName(QStringLiteral("ImportAction"));
    ImportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    SaveLogAction = new QAction(QStringLiteral("Save dialogue log..."), this);
    SaveLogAction->setObjectName(QStringLiteral("SaveLogAction"));
    SaveLogAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    SaveLogAction->setEnabled(ProgramLog() != nullptr);
    CompareAction = new QAction(QStringLiteral("Compare with file..."), this);
    CompareAction->setObjectName(QStringLiteral("CompareAction"));
    CompareAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    TakeAction = new QAction(QStringLiteral("Take file values"), this);
    TakeAction->setObjectName(QStringLiteral("TakeAction"));
    TakeAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    ReportAction = new QAction(QStringLiteral("Save report..."), this);
    ReportAction->setObjectName(QStringLiteral("ReportAction"));
    ReportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    for (QAction* action : Actions())
        window->addAction(action);
    connect(CompareAction, &QAction::triggered, this, [this] {
        const QString path = OpenFile(CompareTitle);
        if (!path.isEmpty())
            Compare(path);
    });
    connect(TakeAction, &QAction::triggered, this, &TSettingsMenu::TakeFileValues);
    connect(ReportAction, &QAction::triggered, this, &TSettingsMenu::ReportClick);
    connect(SaveLogAction, &QAction::triggered, this, &TSettingsMenu::SaveLogClick);
    connect(ExportAction, &QAction::triggered, this, &TSettingsMenu::ExportClick);
    connect(ImportAction, &QAction::triggered, this, &TSettingsMenu::ImportClick);
    UpdateEnabled(true);
}

std::vector<QAction*> TSettingsMenu::Actions() const
{
    return {ExportAction, ImportAction, CompareAction, TakeAction, ReportAction, SaveLogAction};
}

void TSettingsMenu::AddTo(QTableWidget* grid, int32_t gridId)
{
    Grids.emplace_back(grid, gridId);
    for (QAction* action : Actions())
        grid->addAction(action);
    grid->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TSettingsMenu::UpdateEnabled(bool driverIdle)
{
    std::vector<std::string> unknown;
    ExportAction->setEnabled(!WriteBack.InstrumentValues(unknown).empty());
    ImportAction->setEnabled(WriteBack.Connected() && driverIdle &&
                             WriteBack.CycleState == TCycleState::Idle);
    CompareAction->setEnabled(ImportAction->isEnabled());
    // A report is of an instrument: there is none before the first Connect that opened one.
    ReportAction->setEnabled(!Device().isEmpty());
    TakeAction->setEnabled(ImportAction->isEnabled() &&
                           WriteBack.Marks().CountOf(TCellMark::DiffersFromFile) > 0);
}

void TSettingsMenu::ExportClick()
{
    const QString path = SaveFile(ExportTitle, "devconfig-settings.txt", FileFilter);
    if (!path.isEmpty())
        Export(path);
}

void TSettingsMenu::ImportClick()
{
    const QString path = OpenFile(ImportTitle);
    if (!path.isEmpty())
        Import(path);
}

QString TSettingsMenu::OpenFile(const char* title)
{
    const TFocusKeeper focus;
    const QString path = TFileDialogs::Open(Window, QString::fromLatin1(title), LastFolder,
                                            QString::fromLatin1(FileFilter));
    if (!path.isEmpty())
        LastFolder = QFileInfo(path).absolutePath();
    return path;
}

QString TSettingsMenu::SaveFile(const char* title, const char* name, const char* filter)
{
    const TFocusKeeper focus;
    const QString path = TFileDialogs::Save(Window, QString::fromLatin1(title),
                                            LastFolder + '/' + QString::fromLatin1(name),
                                            QString::fromLatin1(filter));
    if (!path.isEmpty())
        LastFolder = QFileInfo(path).absolutePath();
    return path;
}

void TSettingsMenu::SaveLogClick()
{
    const QString path = SaveFile(SaveLogTitle, "devconfig-dialogue.log", LogFilter);
    if (!path.isEmpty())
        SaveLog(path);
}

void TSettingsMenu::ReportClick()
{
    const QString path = SaveFile(ReportTitle, "devconfig-report.pdf", ReportFilter);
    if (!path.isEmpty())
        SaveReport(path);
}

bool TSettingsMenu::SaveReport(const QString& path)
{
    if (!ReportAction->isEnabled()) {
        Warn(QString::fromLatin1(ReportTitle),
             QStringLiteral("There is no instrument to report on yet. Press Connect first."));
        return false;
    }
    const std::optional<std::string> problem =
        MakeReport ? TReportPdf::Write(MakeReport(), LocalPath(path))
                   : std::optional<std::string>("The report was not written: nothing to report");
    const QString shownPath =
        QString::fromStdString(TShownText::Of(QDir::toNativeSeparators(path).toStdString()));
    if (problem) {
        Warn(QString::fromLatin1(ReportTitle),
             QString::fromStdString(TShownText::Of(*problem)) +
                 "\nChoose a folder that exists and that you may write to, or another file name.");
        return false;
    }
    QMessageBox::information(Window, QString::fromLatin1(ReportTitle),
                             QStringLiteral("The report was saved to %1.").arg(shownPath));
    return true;
}

bool TSettingsMenu::SaveLog(const QString& path)
{
    const TDialogueLog* log = ProgramLog();
    const std::optional<std::string> problem =
        log != nullptr ? log->SaveTo(LocalPath(path))
                       : std::optional<std::string>("The dialogue log was not saved: this "
                                                    "program keeps no dialogue log");
    if (problem) {
        Warn(QString::fromLatin1(SaveLogTitle), QString::fromStdString(TShownText::Of(*problem)) +
                                                    "\nChoose another folder or file name.");
        return false;
    }
    QMessageBox::information(Window, QString::fromLatin1(SaveLogTitle),
                             QStringLiteral("The dialogue log was saved to %1.")
                                 .arg(QString::fromStdString(TShownText::Of(
                                     QDir::toNativeSeparators(path).toStdString()))));
    return true;
}

bool TSettingsMenu::Export(const QString& path)
{
    std::vector<std::string> unknown;
    const SettingList values = WriteBack.InstrumentValues(unknown);
    if (values.empty()) {
        Warn(QString::fromLatin1(ExportTitle),
             QStringLiteral("Nothing to export: no setting has been read from the instrument. "
                            "Press Connect first."));
        return false;
    }
    TSettingsFileHeader header;
    header.Device = Device().toStdString();
    header.ReadAt = std::time(nullptr);
    QStringList left;
    for (const std::string& key : unknown)
        left << QString::fromStdString(key);
    if (!unknown.empty())
        header.Notes.push_back(std::to_string(unknown.size()) +
                               " settings left out, the instrument did not answer their read: " +
                               left.join(' ').toStdString());
    const std::optional<std::string> error = TSettingsFile::Write(LocalPath(path), values, header);
    if (error) {
        Warn(QString::fromLatin1(ExportTitle),
             "The settings were not exported: " + QString::fromStdString(TShownText::Of(*error)) +
                 "\nChoose another folder or file name.");
        return false;
    }
    QString done = QStringLiteral("%1 settings exported to %2.")
                       .arg(values.size())
                       .arg(QString::fromStdString(
                           TShownText::Of(QDir::toNativeSeparators(path).toStdString())));
    if (!unknown.empty())
        done += QStringLiteral("\n%1 settings were left out, because the instrument did not "
                               "answer when they were read: %2.\nPress Connect to read them "
                               "again.")
                    .arg(unknown.size())
                    .arg(left.join(", "));
    QMessageBox::information(Window, QString::fromLatin1(ExportTitle), done);
    return true;
}

int TSettingsMenu::Import(const QString& path)
{
    if (!ImportAction->isEnabled()) {
        Warn(QString::fromLatin1(ImportTitle),
             QStringLiteral("Settings can be imported only while the instrument is connected "
                            "and idle. Press Connect, wait for the read to end, then import."));
        return -1;
    }
    const TSettingsFileResult file = TSettingsFile::Read(LocalPath(path));
    if (!file.Ok()) {
        Warn(QString::fromLatin1(ImportTitle),
             QString::fromStdString(file.Message()) +
                 "\nNothing was imported. Correct the file and import it again.");
        return -1;
    }
    const int changed = WriteBack.ImportEdits(file.Settings);
    emit imported(changed);
    return changed;
}

int TSettingsMenu::Compare(const QString& path)
{
    if (!CompareAction->isEnabled()) {
        Warn(QString::fromLatin1(CompareTitle),
             QStringLiteral("The instrument can be compared with a file only while it is "
                            "connected and idle. Press Connect, wait for the read to end, then "
                            "compare."));
        return -1;
    }
    // A second compare clears the first one's marks, whether or not its file is taken.
    WriteBack.ClearCompare();
    const TSettingsFileResult file = TSettingsFile::Read(LocalPath(path));
    if (!file.Ok()) {
        UpdateEnabled(true);
        Warn(QString::fromLatin1(CompareTitle), TFileCompare::Refused(file));
        return -1;
    }
    const int differing = WriteBack.CompareWithFile(QFileInfo(path).fileName(), file.Settings);
    UpdateEnabled(true);
    emit compared(WriteBack.Compared().Summary(differing));
    return differing;
}

// The cells selected in the table shown: its marked ones, or all marked when none of them is.
int TSettingsMenu::TakeFileValues()
{
    if (!TakeAction->isEnabled())
        return 0;
    for (const auto& [grid, gridId] : Grids) {
        if (!grid->isVisible())
            continue;
        std::vector<std::pair<int, int>> selected;
        for (const QModelIndex& index : grid->selectionModel()->selectedIndexes())
            selected.emplace_back(index.column() + 1, index.row() + 1);
        const int changed = WriteBack.TakeFileValues(gridId, selected);
        emit imported(changed);
        return changed;
    }
    return 0;
}

void TSettingsMenu::Warn(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, Window);
    box.exec();
}
