#include "writeback/writeback.h"

#include "driver/valuecheck.h"
#include "session/instrumentsession.h"
#include "writeback/cellslots.h"
#include "writeback/cellview.h"

namespace {

QString Latin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString Quoted(const std::string& text)
{
    return "\"" + Latin1(text) + "\"";
}

QString Holds(const TCellState& state)
{
    return state.Instrument ? "; the instrument holds " + Quoted(*state.Instrument)
                            : QStringLiteral("; the instrument's value is not known");
}

struct TMarkAndTip
{
    TCellMark Mark = TCellMark::None;
    QString Tip;
};

TMarkAndTip Unconfirmed(const QString& why)
{
    return {TCellMark::Unconfirmed, QString::fromLatin1(UnconfirmedTip) + ": " + why};
}

TMarkAndTip NoAnswer(const TCellState& state)
{
    QString tip =
        QStringLiteral("No answer: the instrument did not answer when this setting was read");
    tip += state.Instrument ? "; it last reported " + Quoted(*state.Instrument)
                            : QStringLiteral(". Press Connect to read it again.");
    return {TCellMark::NoAnswer, tip};
}

TMarkAndTip Overlong(const TCellState& state)
{
    QString tip = QStringLiteral("Reply too long: the instrument's reply to this setting was "
                                 "longer than any setting, so nothing of it was kept");
    tip += state.Instrument ? "; it last reported " + Quoted(*state.Instrument)
                            : QStringLiteral(". Check the instrument and its cable, then "
                                             "press Connect to read it again.");
    return {TCellMark::Overlong, tip};
}

TMarkAndTip LooksWrong(const TCellState& state)
{
    return {TCellMark::LooksWrong,
            "Looks wrong: the instrument holds " + Quoted(*state.Instrument) + ", " +
                QString::fromLatin1(LooksWrongText) + ". Type a number and Save to repair it."};
}

TMarkAndTip MarkFor(const TCellState& state, const std::string& key)
{
    switch (state.Stage) {
    case TEditStage::NotSent:
        return Unconfirmed("not written yet" + Holds(state));
    case TEditStage::AwaitingAnswer:
        return Unconfirmed(QStringLiteral("being written"));
    case TEditStage::AwaitingReadBack:
        return Unconfirmed(QStringLiteral("written, being read back"));
    case TEditStage::Unanswered:
        return Unconfirmed("no answer, so it is written again at the next Save" + Holds(state));
    case TEditStage::Unsafe:
        return {TCellMark::Unsafe, state.UnsafeReason};
    case TEditStage::NotTaken:
        return {TCellMark::NotTaken, "Not taken: the instrument kept " + Quoted(state.Kept) +
                                         "; you wrote " + Quoted(state.Sent)};
    case TEditStage::None:
    case TEditStage::Confirmed:
        break;
    }
    if (state.ReadOverlong)
        return Overlong(state);
    if (state.ReadUnanswered)
        return NoAnswer(state);
    if (state.Instrument && !TLineJudge::ValueFits(key, *state.Instrument))
        return LooksWrong(state);
    return {};
}

} // namespace

TWriteBack::TWriteBack(CellTable& table, TInstrumentSession& session, TCellView& view,
                       int32_t& pendingSaves)
    : Table(table), Session(session), View(view), PendingSaves(pendingSaves)
{
}

const TCellState& TWriteBack::StateOf(int slot) const
{
    static const TCellState none;
    return slot >= 0 && slot < CellTableUsed ? States[static_cast<size_t>(slot)] : none;
}

bool TWriteBack::Bound(int slot) const
{
    return slot >= 0 && slot < CellTableUsed &&
           Table[static_cast<size_t>(slot)].Magic == BoundMagic;
}

TCellState& TWriteBack::State(int slot)
{
    return States[static_cast<size_t>(slot)];
}

// ---- Connect ----

// A Connect must not close the port or replace the driver's list under a running exchange or
// write-back cycle, nor drop a commit the timer has not taken up yet.
bool TWriteBack::ConnectRefused(bool tableEnabled) const
{
    return (tableEnabled && PendingSaves != 0) || !Session.Idle() ||
           CycleState != TCycleState::Idle;
}

// Nothing is known of the instrument until its values are read again; edits not yet confirmed
// stay, shown and marked, for the next Save, and a refusal stays marked until the next edit.
void TWriteBack::GridsReset()
{
    // The instrument may be another one: old texts are not brought back into its cells, nor
    // compared with the file compared with before.
    History.Clear();
    Compare.Clear();
    LookWrongShown.clear();
    for (int slot = 0; slot < CellTableUsed; ++slot) {
        if (!Bound(slot))
            continue;
        TCellState& state = State(slot);
        state.Instrument.reset();
        state.ReadPending = false;
        state.ReadUnanswered = false;
        state.ReadOverlong = false;
        state.Written = false;
        if (state.Stage == TEditStage::Confirmed)
            state.Stage = TEditStage::None;
        else if (state.Stage == TEditStage::AwaitingAnswer ||
                 state.Stage == TEditStage::AwaitingReadBack)
            state.Stage = TEditStage::Unanswered;
        Refresh(slot);
    }
}

// Values and flags stay as they are: a second Connect keeps what a write-back left in them.
void TWriteBack::BindCell(int32_t gridId, const std::string& key, int32_t col, int32_t row)
{
    const int slot = SlotOf(gridId, col, row);
    if (slot < 0)
        return;
    Table[static_cast<size_t>(slot)].Bind(gridId, key, col, row);
}

int TWriteBack::StartInitialRead(RequestList& list)
{
    list.clear();
    for (int slot = 0; slot < CellTableUsed; ++slot) {
        if (!Bound(slot))
            continue;
        list.push_back(&Table[static_cast<size_t>(slot)]);
        State(slot).ReadPending = true;
    }
    IsConnected = true;
    Submit(list, Exchange::Reads);
    return static_cast<int>(list.size());
}

// The cells are no longer those of a connected instrument: commits write nothing.
void TWriteBack::ConnectFailed()
{
    IsConnected = false;
}

// ---- Edits ----

void TWriteBack::UserEdited(int slot)
{
    if (!Bound(slot))
        return;
    const dev_opt& record = Table[static_cast<size_t>(slot)];
    const QString before = Shown(slot);
    const QString after = View.CellText(record.GridId, record.Col, record.Row);
    ApplyEdit(slot);
    if (before != after)
        History.Add({{slot, before, after}});
}

// The latest edit replaces every earlier one, sent or not; the driver skips a write whose flag
// is lowered before it goes out. Typing the instrument's own value back withdraws the edit,
// unless a write may have changed that value in the meantime.
void TWriteBack::ApplyEdit(int slot)
{
    dev_opt& record = Table[static_cast<size_t>(slot)];
    TCellState& state = State(slot);
    const QString text = View.CellText(record.GridId, record.Col, record.Row);
    const bool written =
        state.Stage == TEditStage::AwaitingAnswer || state.Stage == TEditStage::AwaitingReadBack;
    dev_opt::Lower(record.WriteNeeded);

    std::optional<std::string> reason = UnrepresentableTextReason(text.toStdU16String());
    const std::string latin = text.toLatin1().toStdString();
    // The instrument's own value withdraws the edit even where it could not be sent (a value
    // that looks wrong), so that an undo or a revert brings back the cell as it was.
    const bool own = !reason && !written && state.Instrument && latin == *state.Instrument;
    if (!reason && !own)
        reason = UnsafeValueReason(record.WriteKey, latin);
    if (own) {
        state.Edit.reset();
        state.Stage = TEditStage::None;
    } else if (reason) {
        state.Edit = text;
        state.Stage = TEditStage::Unsafe;
        state.UnsafeReason = QString::fromStdString(*reason);
    } else {
        state.Edit = text;
        state.Stage = TEditStage::NotSent;
    }
    Refresh(slot);
}

// What the cell shows while the user leaves it alone.
QString TWriteBack::Shown(int slot) const
{
    const TCellState& state = StateOf(slot);
    if (state.Edit)
        return *state.Edit;
    return state.Instrument ? Latin1(*state.Instrument) : QString();
}

int TWriteBack::EditCells(const std::vector<CellEdit>& edits)
{
    TEditHistory::Step step;
    for (const CellEdit& edit : edits) {
        if (!Bound(edit.Slot))
            continue;
        const dev_opt& record = Table[static_cast<size_t>(edit.Slot)];
        const QString before = View.CellText(record.GridId, record.Col, record.Row);
        if (before == edit.Text)
            continue;
        View.ShowCellText(record.GridId, record.Col, record.Row, edit.Text);
        ApplyEdit(edit.Slot);
        step.push_back({edit.Slot, before, edit.Text});
    }
    const int changed = static_cast<int>(step.size());
    History.Add(std::move(step));
    return changed;
}

int TWriteBack::UserEdits(int32_t gridId, const std::vector<TPastePlan::Edit>& edits)
{
    std::vector<CellEdit> cells;
    for (const TPastePlan::Edit& edit : edits)
        cells.push_back({SlotOf(gridId, edit.Col, edit.Row), edit.Text});
    return EditCells(cells);
}

int TWriteBack::RevertToInstrument(int32_t gridId, const std::vector<std::pair<int, int>>& cells)
{
    std::vector<CellEdit> edits;
    for (const auto& [col, row] : cells) {
        const int slot = SlotOf(gridId, col, row);
        if (!Bound(slot) || !State(slot).Instrument)
            continue;
        // A refused write shows the instrument's value already; only its mark goes.
        if (State(slot).Stage == TEditStage::NotTaken)
            ApplyEdit(slot);
        edits.push_back({slot, Latin1(*State(slot).Instrument)});
    }
    return EditCells(edits);
}

void TWriteBack::Undo()
{
    Replay(History.Undo(), true);
}

void TWriteBack::Redo()
{
    Replay(History.Redo(), false);
}

void TWriteBack::Replay(const TEditHistory::Step& step, bool undo)
{
    for (size_t i = 0; i < step.size(); ++i) {
        const TEditHistory::Change& change = step[undo ? step.size() - 1 - i : i];
        if (!Bound(change.Slot))
            continue;
        const dev_opt& record = Table[static_cast<size_t>(change.Slot)];
        View.ShowCellText(record.GridId, record.Col, record.Row,
                          undo ? change.Before : change.After);
        ApplyEdit(change.Slot);
    }
}

// ---- Settings files ----

SettingList TWriteBack::InstrumentValues(std::vector<std::string>& unknown) const
{
    SettingList values;
    for (int slot = 0; slot < CellTableUsed; ++slot) {
        if (!Bound(slot))
            continue;
        const std::string& key = Table[static_cast<size_t>(slot)].ReadKey;
        const TCellState& state = States[static_cast<size_t>(slot)];
        if (state.Instrument)
            values.push_back({key, *state.Instrument});
        else
            unknown.push_back(key);
    }
    return values;
}

int TWriteBack::ImportEdits(const SettingList& values)
{
    std::vector<CellEdit> edits;
    for (const TSettingValue& setting : values)
        edits.push_back({SlotOfKey(setting.Key), Latin1(setting.Value)});
    return EditCells(edits);
}

int TWriteBack::CompareWithFile(const QString& fileName, const SettingList& values)
{
    Compare.Start(fileName, values);
    RefreshAll();
    return DifferingFromFile();
}

int TWriteBack::DifferingFromFile() const
{
    int differing = 0;
    for (int slot = 0; slot < CellTableUsed; ++slot)
        if (Bound(slot) && Compare.Differs(slot, StateOf(slot).Instrument))
            ++differing;
    return differing;
}

void TWriteBack::ClearCompare()
{
    if (!Compare.Active())
        return;
    Compare.Clear();
    RefreshAll();
}

int TWriteBack::TakeFileValues(int32_t gridId, const std::vector<std::pair<int, int>>& selected)
{
    std::vector<int> chosen;
    for (const auto& [col, row] : selected)
        chosen.push_back(SlotOf(gridId, col, row));
    std::vector<CellEdit> edits;
    for (int slot : TFileCompare::ToTake(chosen, CellMarks))
        if (const std::optional<std::string> value = Compare.FileValueOf(slot))
            edits.push_back({slot, Latin1(*value)});
    return EditCells(edits);
}

// ---- The tick ----

TWriteBack::TickOutcome TWriteBack::Tick()
{
    TickOutcome outcome;
    // Sampled before the copy: once the driver is idle, every value it read is ready, so the
    // copy takes them all before an exchange is settled or a write pass looks at any cell.
    const bool driverIdle = Session.Idle();
    CopyReadyValues(outcome, driverIdle);
    if (!driverIdle)
        return outcome;
    if (Running != Exchange::None) {
        const TExchangeEnd end = Session.Conclusion();
        ConcludeExchange(end);
        outcome.ExchangeEnded = true;
        outcome.EndedBy = end.Why;
        if (KeysLookingWrong() != LookWrongShown)
            outcome.LookWrong = LookWrongShown = KeysLookingWrong();
        SettleEarlyEnd(end, outcome);
        outcome.DeviceRemoved = CheckDeviceRemoved(end);
    }
    CycleStep(outcome);
    return outcome;
}

// Runs on every tick, also while the driver is busy, so values show as they arrive. Only
// raised flags are looked at: the driver stores the value before it raises the flag.
// Values wait while the line is not judged yet (a few replies on an instrument), so that
// nothing a device that is not the instrument sent ever reaches a cell.
void TWriteBack::CopyReadyValues(TickOutcome& outcome, bool driverIdle)
{
    const TLineVerdict verdict = Session.Verdict();
    if (verdict == TLineVerdict::Pending && !driverIdle)
        return;
    for (int slot = 0; slot < CellTableUsed; ++slot) {
        dev_opt& record = Table[static_cast<size_t>(slot)];
        if (!dev_opt::IsRaised(record.ResultReady))
            continue;
        if (verdict == TLineVerdict::NotInstrument) {
            dev_opt::Lower(record.ResultReady);
            continue;
        }
        ValueArrived(slot);
        dev_opt::Lower(record.ResultReady);
        ++outcome.ValuesArrived;
    }
}

void TWriteBack::ValueArrived(int slot)
{
    const dev_opt& record = Table[static_cast<size_t>(slot)];
    if (record.Magic != BoundMagic) {
        View.ShowCellText(record.GridId, record.Col, record.Row, Latin1(record.ValueRead));
        return;
    }
    TCellState& state = State(slot);
    state.ReadPending = false;
    state.ReadUnanswered = false;
    state.ReadOverlong = false;
    state.Instrument = record.ValueRead;
    const bool holdsEdit = state.Edit && *state.Edit == Latin1(record.ValueRead);
    switch (state.Stage) {
    case TEditStage::NotSent:
    case TEditStage::Unanswered:
        if (holdsEdit)
            Confirm(slot);
        break;
    case TEditStage::AwaitingReadBack:
        if (holdsEdit) {
            Confirm(slot);
        } else {
            state.Edit.reset();
            state.Stage = TEditStage::NotTaken;
            state.Kept = record.ValueRead;
        }
        break;
    case TEditStage::NotTaken:
        state.Kept = record.ValueRead;
        break;
    default:
        break;
    }
    Refresh(slot);
}

// The exchange handed to the driver has ended: a write whose flag is still raised went
// unanswered, and so did every read that brought no value; a read whose reply was too long
// says so.
void TWriteBack::ConcludeExchange(const TExchangeEnd& end)
{
    for (const dev_opt* record : end.Overlong) {
        const int slot = SlotOf(record->GridId, record->Col, record->Row);
        if (Bound(slot) && State(slot).ReadPending)
            State(slot).ReadOverlong = true;
    }
    for (int slot = 0; slot < CellTableUsed; ++slot) {
        TCellState& state = State(slot);
        bool changed = false;
        if (state.Stage == TEditStage::AwaitingAnswer) {
            const bool answered = !dev_opt::IsRaised(Table[static_cast<size_t>(slot)].WriteNeeded);
            state.Stage = answered ? TEditStage::AwaitingReadBack : TEditStage::Unanswered;
            changed = true;
        }
        if (state.ReadPending) {
            state.ReadPending = false;
            state.ReadUnanswered = true;
            if (state.Stage == TEditStage::AwaitingReadBack)
                state.Stage = TEditStage::Unanswered;
            changed = true;
        }
        if (changed)
            Refresh(slot);
    }
    Running = Exchange::None;
}

// The driver ended its exchange because the adapter was unplugged. Nothing can be written or
// read back until the next Connect, so the cycle is dropped; the edits stay marked.
bool TWriteBack::CheckDeviceRemoved(const TExchangeEnd& end)
{
    if (!IsConnected || end.Why != TEndReason::Unplugged)
        return false;
    IsConnected = false;
    CycleState = TCycleState::Idle;
    PendingSaves = 0;
    return true;
}

// An exchange the user stopped, or one at a device that is not the instrument, ends the
// cycle: no read-back follows. Edits stay marked for the next Save; the wrong device gets no
// write at all. An exchange that ended because nothing answered still has its read-back (a
// write whose answer was lost may have been taken), which itself ends at its first silence.
void TWriteBack::SettleEarlyEnd(const TExchangeEnd& end, TickOutcome& outcome)
{
    const bool notInstrument = end.Why == TEndReason::NotInstrument;
    if (!notInstrument && end.Why != TEndReason::Stopped)
        return;
    if (notInstrument)
        IsConnected = false;
    outcome.CycleEnded = CycleState != TCycleState::Idle;
    CycleState = TCycleState::Idle;
    PendingSaves = 0;
}

QStringList TWriteBack::KeysLookingWrong() const
{
    QStringList keys;
    for (int slot = 0; slot < CellTableUsed; ++slot) {
        // Asked of the state, not of the mark shown: a differing value may hide it.
        const std::string& key = Table[static_cast<size_t>(slot)].ReadKey;
        if (Bound(slot) && MarkFor(StateOf(slot), key).Mark == TCellMark::LooksWrong)
            keys << QString::fromStdString(key);
    }
    return keys;
}

void TWriteBack::CycleStep(TickOutcome& outcome)
{
    switch (CycleState) {
    case TCycleState::Idle:
        if (PendingSaves == 0)
            break;
        PendingSaves = 0;
        if (WritePass() > 0) {
            outcome.WritesStarted = true;
            CycleState = TCycleState::Writing;
        } else {
            // No exchange will come to lower the flag that focusing the table raised. The
            // driver is idle, so it does not write the flag now.
            Session.LowerExchangeRunning();
            outcome.NothingToWrite = true;
        }
        break;
    case TCycleState::Writing:
        ReadBackPass();
        CycleState = TCycleState::ReadingBack;
        break;
    case TCycleState::ReadingBack:
        outcome.CycleEnded = true;
        CycleState = TCycleState::Idle;
        break;
    }
}

void TWriteBack::RefreshAll()
{
    for (int slot = 0; slot < CellTableUsed; ++slot)
        if (Bound(slot))
            Refresh(slot);
}

// ---- Passes ----

// Only the user's pending edits are written, each with the text last typed into its cell; a
// record's flag left raised by anything else is lowered.
int32_t TWriteBack::WritePass()
{
    if (!IsConnected)
        return 0;
    RequestList writes;
    for (int slot = 0; slot < CellTableUsed; ++slot) {
        if (!Bound(slot))
            continue;
        dev_opt& record = Table[static_cast<size_t>(slot)];
        if (MarkForWriting(slot))
            writes.push_back(&record);
        else
            dev_opt::Lower(record.WriteNeeded);
    }
    Submit(writes, Exchange::Writes);
    return static_cast<int32_t>(writes.size());
}

bool TWriteBack::MarkForWriting(int slot)
{
    TCellState& state = State(slot);
    if (!state.HasPendingEdit())
        return false;
    const std::string text = state.Edit->toLatin1().toStdString();
    if (state.Instrument && text == *state.Instrument) {
        Confirm(slot);
        Refresh(slot);
        return false;
    }
    TInstrumentSession::MarkWrite(Table[static_cast<size_t>(slot)], text);
    if (!state.Written)
        state.Before = state.Instrument.value_or(std::string());
    state.Written = true;
    state.Sent = text;
    state.Stage = TEditStage::AwaitingAnswer;
    Refresh(slot);
    return true;
}

// Every setting written since start-up is read again.
int32_t TWriteBack::ReadBackPass()
{
    RequestList reads;
    for (int slot = 0; slot < CellTableUsed; ++slot) {
        dev_opt& record = Table[static_cast<size_t>(slot)];
        if (!Bound(slot) || !dev_opt::IsRaised(record.ReadBackNeeded))
            continue;
        TInstrumentSession::MarkRead(record);
        reads.push_back(&record);
        State(slot).ReadPending = true;
    }
    Submit(reads, Exchange::Reads);
    return static_cast<int32_t>(reads.size());
}

void TWriteBack::Submit(const RequestList& list, Exchange kind)
{
    if (list.empty())
        return;
    Running = kind;
    Session.Submit(list);
}

void TWriteBack::Confirm(int slot)
{
    TCellState& state = State(slot);
    state.Edit.reset();
    state.Stage = TEditStage::Confirmed;
    dev_opt::Lower(Table[static_cast<size_t>(slot)].WriteNeeded);
}

// The cell shows the edit while there is one, otherwise what the instrument last reported;
// while neither is known it keeps its text.
void TWriteBack::Refresh(int slot)
{
    const dev_opt& record = Table[static_cast<size_t>(slot)];
    const TCellState& state = State(slot);
    if (state.Edit || state.Instrument) {
        const QString text = state.Edit ? *state.Edit : Latin1(*state.Instrument);
        if (View.CellText(record.GridId, record.Col, record.Row) != text)
            View.ShowCellText(record.GridId, record.Col, record.Row, text);
    }
    TMarkAndTip mark = MarkFor(state, record.ReadKey);
    // A difference from the file shows where the cell shows the instrument's value and no
    // read of it failed: an edit's mark wins, since the edit is what goes out, and a failed
    // read's, since the value may be stale. It wins over "looks wrong", whose words it keeps,
    // so that taking the file's value can repair the setting.
    if ((mark.Mark == TCellMark::None || mark.Mark == TCellMark::LooksWrong) &&
        Compare.Differs(slot, state.Instrument)) {
        QString tip = Compare.Tip(slot, *state.Instrument);
        if (mark.Mark == TCellMark::LooksWrong)
            tip += '\n' + mark.Tip;
        mark = {TCellMark::DiffersFromFile, tip};
    }
    if (CellMarks.Set(slot, mark.Mark, mark.Tip))
        View.ShowMark(record.GridId, record.Col, record.Row, mark.Mark, mark.Tip);
}
