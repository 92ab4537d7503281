#include "sim/instrumentsettings.h"

#include <cstdio>

namespace {

const std::array<const char*, TInstrumentSettings::SensorChannels> SensorNames = {
    "Pressure 1", "Pressure 2", "Pressure 3", "Pressure 4", "Level A",  "Level B",  "Level C",
    "Level D",    "Flow 1",     "Flow 2",     "Strain 1",   "Strain 2", "Strain 3", "Strain 4",
    "Piezo 1",    "Piezo 2",    "Tilt X",     "Tilt Y",     "Spare 1",  "Spare 2"};

const std::array<const char*, 6> MiddleFrequencies = {"2500", "3150", "1600",
                                                      "2000", "800",  "1250"};

struct TThermistor
{
    const char* Name;
    const char* T0;
    const char* R0;
    const char* A;
    const char* B;
    const char* C;
    const char* D;
};

const std::array<TThermistor, TInstrumentSettings::ThermistorChannels> Thermistors = {{
    {"Water Temp", "25.0", "10000", "1.129241E-03", "2.341077E-04", "0.0", "8.775468E-08"},
    {"Air Temp", "25.0", "10000", "1.129241E-03", "2.341077E-04", "0.0", "8.775468E-08"},
    {"Case Temp", "25.0", "3000", "1.468000E-03", "2.383000E-04", "0.0", "1.007000E-07"},
}};

// Coefficients in the instrument's exponent notation, e.g. "-2.345E-03".
std::string Scientific(double value, int digits)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*E", digits, value);
    return text;
}

} // namespace

TInstrumentSettings::TInstrumentSettings()
{
    Values.reserve(KeyCount);
    for (int channel = 0; channel < SensorChannels; ++channel)
        AddSensorChannel(channel);
    for (int channel = 0; channel < ThermistorChannels; ++channel)
        AddThermistorChannel(channel);
}

std::string TInstrumentSettings::SensorKey(int channel, const std::string& field)
{
    return "S" + std::to_string(channel) + field;
}

std::string TInstrumentSettings::ThermistorKey(int channel, const std::string& field)
{
    return "TH" + std::to_string(channel) + field;
}

const std::vector<std::string>& TInstrumentSettings::Keys()
{
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> all;
        all.reserve(KeyCount);
        for (int channel = 0; channel < SensorChannels; ++channel)
            for (const char* field : SensorFields)
                all.push_back(SensorKey(channel, field));
        for (int channel = 0; channel < ThermistorChannels; ++channel)
            for (const char* field : ThermistorFields)
                all.push_back(ThermistorKey(channel, field));
        return all;
    }();
    return keys;
}

bool TInstrumentSettings::Contains(const std::string& key) const
{
    return Index.count(key) != 0;
}

std::string TInstrumentSettings::Value(const std::string& key) const
{
    const auto found = Index.find(key);
    return found == Index.end() ? std::string() : Values[found->second];
}

bool TInstrumentSettings::SetValue(const std::string& key, const std::string& value)
{
    const auto found = Index.find(key);
    if (found == Index.end())
        return false;
    Values[found->second] = value;
    return true;
}

void TInstrumentSettings::Add(const std::string& key, const std::string& value)
{
    Index.emplace(key, Values.size());
    Values.push_back(value);
}

void TInstrumentSettings::AddSensorChannel(int channel)
{
    const int thermistor = channel < 12 ? channel % ThermistorChannels : -1;
    const std::array<std::string, SensorFields.size()> values = {
        SensorNames[channel],
        std::to_string(channel % 3),
        MiddleFrequencies[channel % MiddleFrequencies.size()],
        Scientific(-12.5 + 1.25 * channel, 4),
        Scientific(1.0 + 0.01 * channel, 4),
        Scientific(-2.345E-03 * (1.0 + channel / 10.0), 3),
        channel % 4 == 0 ? std::string("0.0000E+00") : Scientific(4.1E-07 * channel, 3),
        std::to_string(thermistor)};
    for (std::size_t field = 0; field < SensorFields.size(); ++field)
        Add(SensorKey(channel, SensorFields[field]), values[field]);
}

void TInstrumentSettings::AddThermistorChannel(int channel)
{
    const TThermistor& t = Thermistors[channel];
    const std::array<const char*, ThermistorFields.size()> values = {t.Name, t.T0, t.R0, t.A,
                                                                     t.B,    t.C,  t.D};
    for (std::size_t field = 0; field < ThermistorFields.size(); ++field)
        Add(ThermistorKey(channel, ThermistorFields[field]), values[field]);
}
