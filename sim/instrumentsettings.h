#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

// The 181 settings the instrument holds, with plausible factory values. Kept in the order in
// which the configuration program reads them: sensor channels 0 to 19 with their eight fields
// each, then thermistor channels 0 to 2 with their seven fields each. Not thread-safe; the
// simulator guards it.
class TInstrumentSettings
{
public:
    static constexpr int SensorChannels = 20;
    static constexpr int ThermistorChannels = 3;
    static constexpr std::array<const char*, 8> SensorFields = {"NAM",  "FRP",  "CFRQ", "CAL0",
                                                                "CAL1", "CAL2", "CAL3", "THSEL"};
    static constexpr std::array<const char*, 7> ThermistorFields = {"NAM", "T0",  "R0", "STA",
                                                                    "STB", "STC", "STD"};
    static constexpr std::size_t KeyCount =
        SensorChannels * SensorFields.size() + ThermistorChannels * ThermistorFields.size();

    // Every setting at its factory value.
    TInstrumentSettings();

    // "S" + channel + field and "TH" + channel + field.
    static std::string SensorKey(int channel, const std::string& field);
    static std::string ThermistorKey(int channel, const std::string& field);

    // All keys in read order.
    static const std::vector<std::string>& Keys();

    bool Contains(const std::string& key) const;
    // The stored text; empty for an unknown key.
    std::string Value(const std::string& key) const;
    // Stores a value for a known key; an unknown key is refused (false) and not added.
    bool SetValue(const std::string& key, const std::string& value);

private:
    void Add(const std::string& key, const std::string& value);
    void AddSensorChannel(int channel);
    void AddThermistorChannel(int channel);

    std::vector<std::string> Values;
    std::unordered_map<std::string, std::size_t> Index;
};
