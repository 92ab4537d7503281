#pragma once

#include "driver/celltable.h"
#include "driver/requestlist.h"
#include "window/portstatus.h"
#include "window/replugwatch.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

class commthread;
class QLabel;
class QTableWidget;
class QTableWidgetItem;

namespace Ui {
class MainWindow;
}

// States of the write-back cycle that the timer advances.
constexpr int32_t CycleIdle = 0;
constexpr int32_t CycleWriting = 2;
constexpr int32_t CycleReadingBack = 3;

// The timer's period.
constexpr int Timer1IntervalMs = 200;

// Where the cells live in the cell table: sensor cell (k, r) in slot 10 + 10r + k (21 to 218),
// thermistor cell (k, r) in slot 220 + 10r + k (231 to 257).
constexpr int32_t SensorSlotBase = 10;
constexpr int32_t ThermistorSlotBase = 220;
constexpr int32_t ConnectBaudRate = 115200;

// Texts the window shows.
inline constexpr const char* NotIdentifiedText = "NOT IDENTIFIED - PLEASE TRY AGAIN ";
inline constexpr const char* BusyText = "Update In Progress";
inline constexpr const char* BusyCaption = "please try again";
inline constexpr const char* UnconfirmedTip = "Not yet confirmed by the instrument";
inline constexpr const char* ManualFile = "manual.pdf";

// Program-wide objects of the window unit; they outlive the window and are reached directly.
extern RequestList InitialReadList;
extern CellTable cellTable;
// Commits not yet served by a write pass (Save clicks and sensor cell selections).
extern int32_t PendingSaves;
// Raised by a key typed in the sensor table, lowered by Save.
extern int32_t TypedSinceSave;

// The one window: the sensor and thermistor tables, the buttons and the status bar. It owns
// the comms thread, so destroying the window stops and joins that thread before the driver
// and the cell table are torn down.
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

    int32_t CycleState = CycleIdle;

    // The cell table slot of a data cell, or -1 for a cell that no setting is bound to.
    static int SlotOf(int32_t gridId, int32_t col, int32_t row);

    // How a cell is marked: waiting for the instrument to confirm an edit, or holding a value
    // that is never sent.
    enum class CellMark
    {
        None,
        Unconfirmed,
        Unsafe,
    };
    CellMark MarkOf(int slot) const;

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

private:
    void BindCell(int32_t gridId, int32_t slotBase, const std::string& key, int32_t col,
                  int32_t row);
    bool ConnectRefused() const;
    void ShowBusyBox();
    void ConnectFailed(const QString& status);
    void SetStatus(const QString& text);
    QString CellQText(int32_t gridId, int32_t col, int32_t row) const;
    QTableWidgetItem* CellItem(int32_t gridId, int32_t col, int32_t row);
    void CycleStep(bool driverIdle);
    void NothingToWrite();
    void MarkForWriting(dev_opt& record, const std::string& text);
    void SetMark(int slot, CellMark mark, const QString& tip = QString());
    void RefreshMarks();
    void OnCellEdited(int32_t gridId, QTableWidgetItem* item);
    void StartProgress(int total);
    void UpdateProgress(bool driverIdle);
    void CheckDeviceRemoved(bool driverIdle);
    void ReplugStep();
    QString PortStatusText(const QString& device) const;
    void ShowReadValue(int slot, dev_opt& record);

    void FormCreate();
    void LabelGrids();
    void ApplyFonts();
    void SetUpGrid(QTableWidget* grid, const int* widths, int columnCount);
    void CentreOnScreen();
    QTableWidget* GridOf(int32_t gridId) const;
    void StoreCellText(QTableWidget* grid, int32_t col, int32_t row, const QString& value);
    void CopyReadyValues();
    void UpdateButtons();

    friend void ResetGrids(TMainWindow& window);

    std::unique_ptr<Ui::MainWindow> ui;
    QTimer Timer1;
    std::unique_ptr<commthread> CommsThread;
    bool Centred = false;
    // The last Connect bound the cells and opened the port: commits and focus act only then.
    bool Connected = false;
    // How the status bar named the device of the last Connect.
    QString ConnectedDevice;
    // Set while the window itself writes a cell, so that only the user's edits count.
    bool WritingCells = false;
    std::array<CellMark, CellTableUsed> Marks{};
    // Progress of the initial read, shown beside the status text.
    QLabel* ReadProgress = nullptr;
    bool InitialReadRunning = false;
    // Looks for the adapter again after it was pulled out.
    TReplugWatch Replug;
    int InitialReadTotal = 0;
    int InitialReadArrived = 0;
};

// Labels both tables again as at start-up and empties every sensor data cell; thermistor
// values stay, so a second Connect shows them until new ones arrive.
void ResetGrids(TMainWindow& window);
