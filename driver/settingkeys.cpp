#include "driver/settingkeys.h"

#include "driver/dev_opt.h"
#include "serial/latencycheck.h"

#include <array>
#include <unordered_map>

// The latency advice estimates a full read from the number of its exchanges.
static_assert(TLatencyCheck::FullReadExchanges == TSettingKeys::Count);

namespace {

constexpr std::array<const char*, TSettingKeys::SensorColumns> SensorSuffixes = {
    "NAM", "FRP", "CFRQ", "CAL0", "CAL1", "CAL2", "CAL3", "THSEL"};
constexpr std::array<const char*, TSettingKeys::ThermistorColumns> ThermistorSuffixes = {
    "NAM", "T0", "R0", "STA", "STB", "STC", "STD"};

template <std::size_t N>
void AddGrid(std::vector<TSettingKey>& keys, int32_t gridId, const char* prefix, int rows,
             const std::array<const char*, N>& suffixes)
{
    for (int row = 1; row <= rows; ++row)
        for (std::size_t col = 1; col <= N; ++col)
            keys.push_back({prefix + std::to_string(row - 1) + suffixes[col - 1], gridId,
                            static_cast<int32_t>(col), row});
}

} // namespace

const std::vector<TSettingKey>& TSettingKeys::All()
{
    static const std::vector<TSettingKey> keys = [] {
        std::vector<TSettingKey> all;
        all.reserve(Count);
        AddGrid(all, GridSensor, "S", SensorRows, SensorSuffixes);
        AddGrid(all, GridThermistor, "TH", ThermistorRows, ThermistorSuffixes);
        return all;
    }();
    return keys;
}

int TSettingKeys::IndexOf(const std::string& key)
{
    static const std::unordered_map<std::string, int> index = [] {
        std::unordered_map<std::string, int> byKey;
        for (std::size_t i = 0; i < All().size(); ++i)
            byKey.emplace(All()[i].Key, static_cast<int>(i));
        return byKey;
    }();
    const auto found = index.find(key);
    return found == index.end() ? -1 : found->second;
}
