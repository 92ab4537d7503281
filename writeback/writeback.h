#pragma once

#include "driver/celltable.h"
#include "driver/requestlist.h"
#include "settingsfile/settingsfile.h"
#include "writeback/cellmarks.h"
#include "writeback/cellstate.h"

#include <array>
#include <cstdint>
#include <string>

class Tsdi12d;
class TCellView;

// States of the write-back cycle that the timer advances.
enum class TCycleState : int32_t
{
    Idle = 0,
    Writing = 2,
    ReadingBack = 3,
};

// The start of every tooltip of an edit the instrument has not confirmed yet.
inline constexpr const char* UnconfirmedTip = "Not yet confirmed by the instrument";

// The write-back without widgets: binds the cells to records, reads them in on Connect, writes
// the user's edits and reads them back, and keeps one state per bound cell, from which the
// cell's text and mark follow. Runs on the GUI thread; the driver runs the exchanges.
class TWriteBack
{
public:
    TWriteBack(CellTable& table, Tsdi12d& driver, TCellView& view, int32_t& pendingSaves);

    // What one tick did, for the window's buttons and status.
    struct TickOutcome
    {
        int ValuesArrived = 0;
        bool ExchangeEnded = false;
        bool WritesStarted = false;
        bool NothingToWrite = false;
        bool CycleEnded = false;
        bool DeviceRemoved = false;
        bool NoAnswer = false;      // the exchange ended because nothing answered, or was stopped
        bool NotInstrument = false; // the other end is not the instrument
    };
    // Copies the values read, settles the exchange that ended, notices an unplugged adapter
    // and advances the cycle.
    TickOutcome Tick();
    int32_t WritePass();
    int32_t ReadBackPass();

    // Connect: refused while a commit or exchange is under way; then the grids are reset, the
    // cells bound and the initial read submitted, or the Connect failed.
    bool ConnectRefused(bool tableEnabled) const;
    void GridsReset();
    void BindCell(int32_t gridId, const std::string& key, int32_t col, int32_t row);
    int StartInitialRead(RequestList& list);
    void ConnectFailed();
    bool Connected() const { return IsConnected; }
    // An exchange was handed to the driver and has not been settled by a tick yet.
    bool ExchangeOpen() const { return Running != Exchange::None; }

    // The user changed the text of the cell bound to this slot.
    void UserEdited(int slot);

    // What the instrument is known to hold, in slot order; the keys of the settings whose
    // value is not known (their read went unanswered) go to `unknown`.
    SettingList InstrumentValues(std::vector<std::string>& unknown) const;
    // Puts every value that differs from its cell into that cell as the user's edit, to go out
    // with the next commit. Returns how many cells changed.
    int ImportEdits(const SettingList& values);

    TCycleState CycleState = TCycleState::Idle;
    const TCellState& StateOf(int slot) const;
    const TCellMarks& Marks() const { return CellMarks; }
    // Settings whose cell carries any mark.
    int NotConfirmedCount() const { return CellMarks.Count(); }

private:
    enum class Exchange
    {
        None,
        Reads,
        Writes,
    };

    bool Bound(int slot) const;
    TCellState& State(int slot);
    void CopyReadyValues(TickOutcome& outcome, bool driverIdle);
    void ValueArrived(int slot);
    void ConcludeExchange();
    bool CheckDeviceRemoved();
    void SettleEarlyEnd(TickOutcome& outcome);
    void CycleStep(TickOutcome& outcome);
    bool MarkForWriting(int slot);
    void Confirm(int slot);
    void Submit(const RequestList& list, Exchange kind);
    void Refresh(int slot);

    CellTable& Table;
    Tsdi12d& Driver;
    TCellView& View;
    int32_t& PendingSaves;
    std::array<TCellState, CellTableUsed> States{};
    TCellMarks CellMarks;
    bool IsConnected = false;
    Exchange Running = Exchange::None;
};
