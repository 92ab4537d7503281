#include "window/cellsreport.h"

#include "settingsfile/settingsfile.h"
#include "writeback/cellslots.h"
#include "writeback/writeback.h"

namespace {

TReportState StateOf(CellMark mark, const TCellState& state)
{
    switch (mark) {
    case CellMark::None:
        if (!state.Instrument)
            return TReportState::NeverSent; // not read since Connect
        return state.Stage == EditStage::Confirmed ? TReportState::Confirmed : TReportState::Read;
    case CellMark::Unconfirmed:
        return TReportState::NotConfirmed;
    case CellMark::Unsafe:
        return TReportState::NeverSent;
    case CellMark::NotTaken:
        return TReportState::NotTaken;
    case CellMark::NoAnswer:
        return TReportState::NoAnswer;
    case CellMark::Overlong:
        return TReportState::Overlong;
    case CellMark::LooksWrong:
        return TReportState::LooksWrong;
    }
    return TReportState::NotConfirmed;
}

// Confirmed only when a read showed the instrument holding what was sent.
TReportState WriteOutcome(const TCellState& state)
{
    if (state.Stage == EditStage::NotTaken)
        return TReportState::NotTaken;
    if (state.Stage == EditStage::Unanswered)
        return TReportState::NoAnswer;
    const bool holdsSent = state.Instrument && *state.Instrument == state.Sent && !state.Edit;
    return holdsSent && (state.Stage == EditStage::Confirmed || state.Stage == EditStage::None)
               ? TReportState::Confirmed
               : TReportState::NotConfirmed;
}

} // namespace

TReport TCellsReport::Of(const TWriteBack& cells, const std::optional<AdapterInfo>& adapter,
                         const std::string& port)
{
    TReport report;
    report.At = std::time(nullptr);
    if (adapter) {
        report.AdapterDescription = adapter->Description;
        report.AdapterSerial = adapter->SerialNumber;
    }
    report.Port = port;
    report.Run = "The settings as the window shows them";
    for (std::size_t i = 0; i < SettingKeys::All().size(); ++i) {
        const SettingKey& key = SettingKeys::All()[i];
        const int slot = SlotOf(key.GridId, key.Col, key.Row);
        const TCellState& state = cells.StateOf(slot);
        TReport::Value& value = report.Values[i];
        value.Text = state.Edit         ? state.Edit->toStdString()
                     : state.Instrument ? TSettingsFile::Utf8Of(*state.Instrument)
                                        : std::string();
        value.State = StateOf(cells.Marks().MarkOf(slot), state);
        if (state.Written)
            report.Writes.push_back({key.Key, TSettingsFile::Utf8Of(state.Before),
                                     TSettingsFile::Utf8Of(state.Sent), WriteOutcome(state)});
    }
    return report;
}
