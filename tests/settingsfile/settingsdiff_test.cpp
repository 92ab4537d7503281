// The comparison both faces ask: byte for byte, in the instrument's order, only what the file
// holds.
#include "settingsfile/settingsdiff.h"

#include <gtest/gtest.h>

namespace {

TEST(SettingsDiff, ListsWhatDiffersInTheInstrumentsOrder)
{
    const SettingList instrument{
        {"S0NAM", "Inlet"}, {"S0CAL0", "1.00"}, {"S1NAM", "Outlet"}, {"TH0R0", "10.0"}};
    const SettingList file{{"TH0R0", "10.0 "}, {"S0CAL0", "1.0"}, {"S0NAM", "Inlet"}};
    EXPECT_EQ(TSettingsDiff::Between(instrument, file),
              (std::vector<TSettingsDiff::Difference>{{"S0CAL0", "1.00", "1.0"},
                                                      {"TH0R0", "10.0", "10.0 "}}));
    EXPECT_TRUE(TSettingsDiff::Between(instrument, {}).empty());
    EXPECT_TRUE(TSettingsDiff::Between({}, file).empty());
}

} // namespace
