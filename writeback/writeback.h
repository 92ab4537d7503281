#pragma once

#include "driver/celltable.h"
#include "driver/requestlist.h"
#include "editing/edithistory.h"
#include "editing/pasteplan.h"
#include "session/exchangeend.h"
#include "settingsfile/settingsfile.h"
#include "writeback/cellmarks.h"
#include "writeback/cellstate.h"
#include "writeback/filecompare.h"

#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class TInstrumentSession;
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
// cell's text and mark follow. Runs on the GUI thread; the session's driver runs the exchanges.
class TWriteBack
{
public:
    TWriteBack(CellTable& table, TInstrumentSession& session, TCellView& view,
               int32_t& pendingSaves);

    // What one tick did, for the window's buttons and status.
    struct TickOutcome
    {
        int ValuesArrived = 0;
        bool ExchangeEnded = false;
        bool WritesStarted = false;
        bool NothingToWrite = false;
        bool CycleEnded = false;
        bool DeviceRemoved = false;
        // Why the exchange settled by this tick ended (Completed when none was).
        TEndReason EndedBy = TEndReason::Completed;
        // Set when an exchange ended and the settings whose value looks wrong changed.
        std::optional<QStringList> LookWrong;
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
    // Puts each text into its cell of the grid as the user's edit, as one step of the undo
    // history. Returns how many cells changed.
    int UserEdits(int32_t gridId, const std::vector<TPastePlan::Edit>& edits);
    // Drops the edits of these cells (column, row) of the grid: they show the instrument's
    // value again. Cells whose value is not known keep their edit. One step of the history.
    int RevertToInstrument(int32_t gridId, const std::vector<std::pair<int, int>>& cells);
    // Undoing makes a step's old texts the user's edits again: an edit not yet written is
    // withdrawn, one already written is followed by the old value at the next commit.
    bool CanUndo() const { return History.CanUndo(); }
    bool CanRedo() const { return History.CanRedo(); }
    void Undo();
    void Redo();

    // What the instrument is known to hold, in slot order; the keys of the settings whose
    // value is not known (their read went unanswered) go to `unknown`.
    SettingList InstrumentValues(std::vector<std::string>& unknown) const;
    // Puts every value that differs from its cell into that cell as the user's edit, to go out
    // with the next commit. Returns how many cells changed.
    int ImportEdits(const SettingList& values);
    // Marks every cell whose known value differs from the file's, in place of any earlier
    // compare's marks; nothing is sent. Returns how many differ. A new Connect clears it.
    int CompareWithFile(const QString& fileName, const SettingList& values);
    void ClearCompare();
    const TFileCompare& Compared() const { return Compare; }
    // How many known values differ from the compared file's now, after what was saved since.
    int DifferingFromFile() const;
    // Makes the file's value the user's edit in the cells TFileCompare::ToTake names among
    // these cells (column, row) of the grid, as one step of the history. Returns how many
    // cells changed.
    int TakeFileValues(int32_t gridId, const std::vector<std::pair<int, int>>& selected);

    TCycleState CycleState = TCycleState::Idle;
    const TCellState& StateOf(int slot) const;
    const TCellMarks& Marks() const { return CellMarks; }
    // Settings whose cell carries any mark.
    int NotConfirmedCount() const { return CellMarks.Count(); }
    // The user's edits the instrument has not confirmed (marked yellow, red or violet).
    int UnconfirmedEditCount() const { return CellMarks.EditCount(); }

private:
    enum class Exchange
    {
        None,
        Reads,
        Writes,
    };

    struct CellEdit
    {
        int Slot = 0;
        QString Text;
    };

    bool Bound(int slot) const;
    void ApplyEdit(int slot);
    QString Shown(int slot) const;
    int EditCells(const std::vector<CellEdit>& edits);
    void Replay(const TEditHistory::Step& step, bool undo);
    TCellState& State(int slot);
    void CopyReadyValues(TickOutcome& outcome, bool driverIdle);
    void ValueArrived(int slot);
    void ConcludeExchange(const TExchangeEnd& end);
    bool CheckDeviceRemoved(const TExchangeEnd& end);
    void SettleEarlyEnd(const TExchangeEnd& end, TickOutcome& outcome);
    void CycleStep(TickOutcome& outcome);
    bool MarkForWriting(int slot);
    void Confirm(int slot);
    void Submit(const RequestList& list, Exchange kind);
    void Refresh(int slot);
    QStringList KeysLookingWrong() const;
    void RefreshAll();

    CellTable& Table;
    TInstrumentSession& Session;
    TCellView& View;
    int32_t& PendingSaves;
    std::array<TCellState, CellTableUsed> States{};
    TCellMarks CellMarks;
    TEditHistory History;
    TFileCompare Compare;
    bool IsConnected = false;
    Exchange Running = Exchange::None;
    QStringList LookWrongShown;
};
