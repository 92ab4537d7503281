#pragma once

#include "driver/dev_opt.h"
#include "driver/settingkeys.h"

#include <cstdint>

// Where the cells live in the cell table: sensor cell (k, r) in slot 10 + 10r + k (21 to 218),
// thermistor cell (k, r) in slot 220 + 10r + k (231 to 257).
constexpr int32_t SensorSlotBase = 10;
constexpr int32_t ThermistorSlotBase = 220;
constexpr int SensorRows = TSettingKeys::SensorRows;
constexpr int SensorColumns = TSettingKeys::SensorColumns;
constexpr int ThermistorRows = TSettingKeys::ThermistorRows;
constexpr int ThermistorColumns = TSettingKeys::ThermistorColumns;

// The cell table slot of a data cell, or -1 for a cell that no setting is bound to.
constexpr int SlotOf(int32_t gridId, int32_t col, int32_t row)
{
    if (gridId == GridSensor && col >= 1 && col <= SensorColumns && row >= 1 && row <= SensorRows)
        return SensorSlotBase + 10 * row + col;
    if (gridId == GridThermistor && col >= 1 && col <= ThermistorColumns && row >= 1 &&
        row <= ThermistorRows)
        return ThermistorSlotBase + 10 * row + col;
    return -1;
}
