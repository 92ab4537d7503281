#pragma once

#include "driver/celltable.h"
#include "driver/requestlist.h"

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

class commthread;
class QTableWidget;

namespace Ui {
class MainWindow;
}

// States of the write-back cycle that the timer advances.
constexpr int32_t CycleIdle = 0;
constexpr int32_t CycleWriting = 2;
constexpr int32_t CycleReadingBack = 3;

// The timer's period.
constexpr int Timer1IntervalMs = 200;

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

public slots:
    void Timer1Timer();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void LabelGrids();
    void ApplyFonts();
    void SetUpGrid(QTableWidget* grid, const int* widths, int columnCount);
    void CentreOnScreen();
    QTableWidget* GridOf(int32_t gridId) const;
    void CopyReadyValues();
    void UpdateButtons();

    friend void ResetGrids(TMainWindow& window);

    std::unique_ptr<Ui::MainWindow> ui;
    QTimer Timer1;
    std::unique_ptr<commthread> CommsThread;
    bool Centred = false;
};

// Labels both tables again as at start-up and empties every sensor data cell; thermistor
// values stay, so a second Connect shows them until new ones arrive.
void ResetGrids(TMainWindow& window);
