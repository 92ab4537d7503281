#pragma once

#include "driver/celltable.h"
#include "driver/requestlist.h"
#include "session/instrumentsession.h"
#include "session/linewords.h"
#include "session/replugwatch.h"
#include "window/gridcellview.h"
#include "writeback/cellslots.h"
#include "writeback/writeback.h"

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class TSettingsMenu;
class TWindowAccess;
class QLabel;
class QShortcut;
class QTableWidgetItem;

namespace Ui {
class MainWindow;
}

// The timer's period.
constexpr int Timer1IntervalMs = 200;

// Texts the window shows.
inline constexpr const char* BusyText = "Update In Progress";
inline constexpr const char* BusyCaption = "please try again";
inline constexpr const char* ManualFile = "manual.pdf";

// Program-wide objects of the window unit; they outlive the window and are reached directly.
extern RequestList InitialReadList;
extern CellTable cellTable;
// Commits not yet served by a write pass (Save clicks and sensor cell selections).
extern int32_t PendingSaves;
// Raised by a key typed in the sensor table, lowered by Save.
extern int32_t TypedSinceSave;

// The one window: the sensor and thermistor tables, the buttons and the status bar, a face over
// the instrument session. Its session owns the comms thread, so destroying the window stops
// and joins that thread before the driver and the cell table are torn down.
class TMainWindow : public QWidget
{
    Q_OBJECT

public:
    explicit TMainWindow(QWidget* parent = nullptr);
    ~TMainWindow() override;

    // Cell text by grid id (GridSensor, GridThermistor) and the (column, row) of a table
    // whose row 0 and column 0 are its headers: data start at column 1 and row 1.
    // Any other id names no grid: the text is empty and a store does nothing.
    std::string GetCellText(int32_t gridId, int32_t col, int32_t row) const;
    void SetCellText(int32_t gridId, int32_t col, int32_t row, const std::string& text);

private:
    std::unique_ptr<Ui::MainWindow> ui;
    TGridCellView CellView;
    TInstrumentSession Session;
    TWriteBack WriteBack;

public:
    // What the cells hold and how they are marked, and the cycle state; read-only.
    const TWriteBack& Cells() const { return WriteBack; }
    // Export and import of settings files.
    TSettingsMenu* SettingsMenu() const { return Menu; }

public slots:
    void Timer1Timer();
    void ConnectBtnClick();
    void SaveBtnClick();
    void CancelBtnClick();
    void HelpBtnClick();
    // (col, row) as the cell table counts them: data from column 1 and row 1.
    void SensorSGSelectCell(int32_t col, int32_t row);
    void SensorSGKeyPress();
    void SensorSGEnter();

public:
    void FillCellRequests();
    void BindSensorCell(const std::string& key, int32_t col, int32_t row);
    void BindThermistorCell(const std::string& key, int32_t col, int32_t row);
    int32_t WritePass();
    int32_t ReadBackPass();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowBusyBox();
    bool CloseConfirmed();
    void ConnectFailed(const QString& status, const QString& reason = {});
    // The status bar's text, and its tooltip: the reason behind a failure, else the adapter.
    void SetStatus(const QString& text, const QString& reason = {});
    void OnCellEdited(int32_t gridId, QTableWidgetItem* item);
    void StartProgress(int total);
    void UpdateProgress(const TWriteBack::TickOutcome& outcome);
    void ApplyTick(const TWriteBack::TickOutcome& outcome);
    void ShowNotConfirmed();
    void WatchForReplug(const TWriteBack::TickOutcome& outcome);
    // With several adapters the user chooses: the index chosen, -1 when cancelled. With one
    // or none nothing is asked (-2: the search decides).
    int PickAdapter(const std::vector<TAdapterInfo>& adapters);
    void ShowAdapter(const TAdapterInfo* adapter);
    void Connected(const TConnectResult& connected);
    void ShowWaitNotice();

    void FormCreate();
    void LabelGrids();
    void ApplyFonts();
    void SetUpGrid(QTableWidget* grid, const int* widths, int columnCount);
    void CentreOnScreen();
    void UpdateButtons();

    friend void ResetGrids(TMainWindow& window);

    QTimer Timer1;
    bool Centred = false;
    // How the status bar named the device of the last Connect, and what it said of the open.
    QString ConnectedDevice;
    QString OpenedStatus;
    // Progress of the initial read, and afterwards how many settings are not confirmed,
    // shown beside the status text.
    QLabel* ReadProgress = nullptr;
    // Set at the end of a cycle that left marks; the count then shows until none is left.
    bool ShowingNotConfirmed = false;
    TSettingsMenu* Menu = nullptr;
    bool InitialReadRunning = false;
    // Looks for the adapter again after it was pulled out.
    TReplugWatch Replug;
    int InitialReadTotal = 0;
    int InitialReadArrived = 0;
    // Esc while a reply is overdue: stops the exchange.
    QShortcut* StopShortcut = nullptr;
    // A Connect of the replug watch takes the adapter of the last Connect without asking.
    bool Reconnecting = false;
    // A Connect is under way (it may be asking which adapter to open).
    bool Connecting = false;
    std::string ChosenSerial;
    // The adapter of the port last opened, for the report.
    std::optional<TAdapterInfo> OpenedAdapter;
    // The status bar's tooltip while no failure has a reason to show: which adapter is used.
    QString AdapterTip;
    TWindowAccess* Access = nullptr;
};

// Labels both tables again as at start-up and empties every sensor data cell; thermistor
// values stay, so a second Connect shows them until new ones arrive.
void ResetGrids(TMainWindow& window);
