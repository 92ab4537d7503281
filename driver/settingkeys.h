#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One setting of the instrument: its wire key and the table cell that shows it.
struct TSettingKey
{
    std::string Key; // "S" or "TH", the channel in decimal, the field suffix
    int32_t GridId;  // GridSensor or GridThermistor
    int32_t Col;     // from 1
    int32_t Row;     // from 1; the channel is Row - 1
};

// The instrument's settings as the program knows them.
class TSettingKeys
{
public:
    static constexpr int SensorRows = 20;
    static constexpr int SensorColumns = 8;
    static constexpr int ThermistorRows = 3;
    static constexpr int ThermistorColumns = 7;
    static constexpr int Count = SensorRows * SensorColumns + ThermistorRows * ThermistorColumns;

    // The tables' column headers, column 1 first, for the window and the report alike. The
    // thermistors' column 6 is headed by the digit zero, as the instrument's own documents do.
    static constexpr std::array<const char*, SensorColumns> SensorHeaders = {
        "Name", "Proc", "Mid Hz", "A", "B", "C", "D", "Therm#"};
    static constexpr std::array<const char*, ThermistorColumns> ThermistorHeaders = {
        "Name", "T0", "R0", "A", "B", "0", "D"};

    // All 181 in slot order: the sensor cells row by row, columns 1 to 8, then the thermistor
    // cells row by row, columns 1 to 7.
    static const std::vector<TSettingKey>& All();
    // The position of a key in All(), or -1 for a key the instrument does not have.
    static int IndexOf(const std::string& key);
};
