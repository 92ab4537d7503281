#pragma once
// The write-back unit with the real driver and comms thread, against the simulated instrument
// on a pseudo-terminal; the cells are kept in memory where the window would show them.
#include "driver/sdi12d.h"
#include "serial/adapterlocator.h"
#include "session/instrumentsession.h"
#include "sim/instrumentsim.h"
#include "writeback/cellslots.h"
#include "writeback/cellview.h"
#include "writeback/writeback.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

class MemoryCells : public TCellView
{
public:
    struct Cell
    {
        QString Text;
        TCellMark Mark = TCellMark::None;
        QString Tip;
    };

    QString CellText(int32_t gridId, int32_t col, int32_t row) const override
    {
        const auto it = Cells.find({gridId, col, row});
        return it == Cells.end() ? QString() : it->second.Text;
    }
    void ShowCellText(int32_t gridId, int32_t col, int32_t row, const QString& text) override
    {
        Cells[{gridId, col, row}].Text = text;
    }
    void ShowMark(int32_t gridId, int32_t col, int32_t row, TCellMark mark,
                  const QString& tip) override
    {
        Cell& cell = Cells[{gridId, col, row}];
        cell.Mark = mark;
        cell.Tip = tip;
    }
    // What Connect does to the tables: the sensor cells are emptied, marks stay.
    void EmptySensors()
    {
        for (auto& [name, cell] : Cells)
            if (std::get<0>(name) == GridSensor)
                cell.Text.clear();
    }

    std::map<std::tuple<int32_t, int32_t, int32_t>, Cell> Cells;
};

// A setting and the cell it is bound to; the instrument's keys come in slot order.
struct BoundCell
{
    std::string Key;
    int32_t Grid = 0;
    int32_t Col = 0;
    int32_t Row = 0;
    int Slot = -1;
};

inline const std::vector<BoundCell>& AllCells()
{
    static const std::vector<BoundCell> cells = [] {
        std::vector<BoundCell> all;
        for (const TSettingKey& key : TSettingKeys::All())
            all.push_back(
                {key.Key, key.GridId, key.Col, key.Row, SlotOf(key.GridId, key.Col, key.Row)});
        return all;
    }();
    return cells;
}

inline const BoundCell& CellOf(const std::string& key)
{
    for (const BoundCell& cell : AllCells())
        if (cell.Key == key)
            return cell;
    throw std::invalid_argument("no such key: " + key);
}

class WriteBackRig
{
public:
    explicit WriteBackRig(uint32_t replyLimitMs = 150)
        : Sim(std::make_unique<TInstrumentSim>()), Driver(replyLimitMs)
    {
        Session.StartThread();
    }
    ~WriteBackRig() { Session.StopThread(); }

    std::unique_ptr<TInstrumentSim> Sim;
    std::unique_ptr<CellTable> Table = std::make_unique<CellTable>();
    Tsdi12d Driver;
    TAdapterLocator Locator;
    TInstrumentSession Session{Driver, Locator};
    MemoryCells View;
    int32_t PendingSaves = 0;
    TWriteBack Unit{*Table, Session, View, PendingSaves};
    RequestList InitialRead;
    // Called after every tick the rig makes.
    std::function<void(const TWriteBack::TickOutcome&)> OnTick;

    TWriteBack::TickOutcome Tick()
    {
        const TWriteBack::TickOutcome outcome = Unit.Tick();
        if (OnTick)
            OnTick(outcome);
        return outcome;
    }

    // Connect as the window does it; false when the guard refuses it.
    bool Connect()
    {
        if (Unit.ConnectRefused(true))
            return false;
        Session.Disconnect();
        View.EmptySensors();
        Unit.GridsReset();
        Locator.UseDevice(Sim->SlavePath());
        if (!Session.Connect(Session.Adapters()).Opened()) {
            Unit.ConnectFailed();
            return true;
        }
        Session.RaiseExchangeRunning();
        for (const BoundCell& cell : AllCells())
            Unit.BindCell(cell.Grid, cell.Key, cell.Col, cell.Row);
        Unit.StartInitialRead(InitialRead);
        return true;
    }

    // The user's edit, committed into the cell.
    void Edit(const std::string& key, const QString& text)
    {
        const BoundCell& cell = CellOf(key);
        View.ShowCellText(cell.Grid, cell.Col, cell.Row, text);
        Unit.UserEdited(cell.Slot);
    }
    void Commit() { ++PendingSaves; }

    bool Idle() const
    {
        return Session.Idle() && Unit.CycleState == TCycleState::Idle && PendingSaves == 0 &&
               !Unit.ExchangeOpen();
    }
    // Ticks until every exchange and cycle has ended.
    bool Settle(std::chrono::milliseconds limit = std::chrono::seconds(20))
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        do {
            Tick();
            if (Idle())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } while (std::chrono::steady_clock::now() < end);
        return false;
    }
    // Ticks until the cycle has handed its writes to the driver.
    bool TickUntilWriting()
    {
        for (int i = 0; i < 1000 && Unit.CycleState != TCycleState::Writing; ++i)
            Tick();
        return Unit.CycleState == TCycleState::Writing;
    }

    // The adapter comes back: the same instrument at a new line.
    void Replug()
    {
        auto next = std::make_unique<TInstrumentSim>();
        for (const std::string& key : TInstrumentSim::Keys())
            next->SetSetting(key, Sim->Setting(key));
        Sim = std::move(next);
    }

    const MemoryCells::Cell& Shown(const std::string& key)
    {
        const BoundCell& cell = CellOf(key);
        return View.Cells[{cell.Grid, cell.Col, cell.Row}];
    }
    const TCellState& State(const std::string& key) const { return Unit.StateOf(CellOf(key).Slot); }
    dev_opt& Record(const std::string& key) { return (*Table)[size_t(CellOf(key).Slot)]; }
    std::vector<std::string> Writes() const
    {
        std::vector<std::string> writes;
        for (const std::string& command : Sim->Commands())
            if (command.find('=') != std::string::npos)
                writes.push_back(command);
        return writes;
    }
};
