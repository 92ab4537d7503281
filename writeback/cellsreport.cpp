#include "writeback/cellsreport.h"

#include "settingsfile/settingsfile.h"
#include "writeback/cellslots.h"
#include "writeback/writeback.h"

namespace {

TReportState StateOf(TCellMark mark, const TCellState& state)
{
    switch (mark) {
    case TCellMark::None:
    case TCellMark::DiffersFromFile: // listed with the differences; the value itself was read
        if (!state.Instrument)
            return TReportState::NeverSent; // not read since Connect
        return state.Stage == TEditStage::Confirmed ? TReportState::Confirmed : TReportState::Read;
    case TCellMark::Unconfirmed:
        return TReportState::NotConfirmed;
    case TCellMark::Unsafe:
        return TReportState::NeverSent;
    case TCellMark::NotTaken:
        return TReportState::NotTaken;
    case TCellMark::NoAnswer:
        return TReportState::NoAnswer;
    case TCellMark::Overlong:
        return TReportState::Overlong;
    case TCellMark::LooksWrong:
        return TReportState::LooksWrong;
    }
    return TReportState::NotConfirmed;
}

// Confirmed only when a read showed the instrument holding what was sent.
TReportState WriteOutcome(const TCellState& state)
{
    if (state.Stage == TEditStage::NotTaken)
        return TReportState::NotTaken;
    if (state.Stage == TEditStage::Unanswered)
        return TReportState::NoAnswer;
    const bool holdsSent = state.Instrument && *state.Instrument == state.Sent && !state.Edit;
    return holdsSent && (state.Stage == TEditStage::Confirmed || state.Stage == TEditStage::None)
               ? TReportState::Confirmed
               : TReportState::NotConfirmed;
}

// After a compare in the window, what differs from the file now, as the cells show it.
void AddDifference(TReport& report, const TFileCompare& compare, int slot, const std::string& key,
                   const TCellState& state)
{
    if (!compare.Active())
        return;
    report.Compared = true;
    report.ComparedFile = compare.FileName().toStdString();
    if (!compare.Differs(slot, state.Instrument))
        return;
    report.Differences.push_back({key, TSettingsFile::Utf8Of(*state.Instrument),
                                  TSettingsFile::Utf8Of(*compare.FileValueOf(slot))});
}

} // namespace

TReport TCellsReport::Of(const TWriteBack& cells, const std::optional<TAdapterInfo>& adapter,
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
    for (std::size_t i = 0; i < TSettingKeys::All().size(); ++i) {
        const TSettingKey& key = TSettingKeys::All()[i];
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
        AddDifference(report, cells.Compared(), slot, key.Key, state);
    }
    return report;
}
