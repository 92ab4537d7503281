// The settings table: the keys the configuration program reads, in its read order.
#include "sim/instrumentsettings.h"

#include <gtest/gtest.h>

#include <set>

TEST(InstrumentSettingsTest, KeysFollowTheReadOrder)
{
    const auto& keys = TInstrumentSettings::Keys();
    ASSERT_EQ(keys.size(), 181u);
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), keys.size());
    const std::vector<std::string> channel0 = {"S0NAM",  "S0FRP",  "S0CFRQ", "S0CAL0",
                                               "S0CAL1", "S0CAL2", "S0CAL3", "S0THSEL"};
    EXPECT_EQ(std::vector<std::string>(keys.begin(), keys.begin() + 8), channel0);
    EXPECT_EQ(keys[8], "S1NAM");
    EXPECT_EQ(keys[159], "S19THSEL");
    const std::vector<std::string> thermistor0 = {"TH0NAM", "TH0T0",  "TH0R0", "TH0STA",
                                                  "TH0STB", "TH0STC", "TH0STD"};
    EXPECT_EQ(std::vector<std::string>(keys.begin() + 160, keys.begin() + 167), thermistor0);
    EXPECT_EQ(keys.back(), "TH2STD");
}

TEST(InstrumentSettingsTest, EveryKeyHasAFactoryValue)
{
    const TInstrumentSettings settings;
    for (const std::string& key : TInstrumentSettings::Keys()) {
        EXPECT_TRUE(settings.Contains(key)) << key;
        EXPECT_FALSE(settings.Value(key).empty()) << key;
    }
    EXPECT_EQ(settings.Value("S0NAM"), "Pressure 1");
    EXPECT_EQ(settings.Value("S4NAM"), "Level A");
    EXPECT_EQ(settings.Value("S1CFRQ"), "3150");
    EXPECT_EQ(settings.Value("S0CAL1"), "1.0000E+00");
    EXPECT_EQ(settings.Value("S0CAL2"), "-2.345E-03");
    EXPECT_EQ(settings.Value("S19THSEL"), "-1");
    EXPECT_EQ(settings.Value("TH0T0"), "25.0");
    EXPECT_EQ(settings.Value("TH0R0"), "10000");
    EXPECT_EQ(settings.Value("TH0STA"), "1.129241E-03");
    EXPECT_EQ(settings.Value("TH1STD"), "8.775468E-08");
}

TEST(InstrumentSettingsTest, OnlyKnownKeysCanBeSet)
{
    TInstrumentSettings settings;
    EXPECT_TRUE(settings.SetValue("S7NAM", "Depth"));
    EXPECT_EQ(settings.Value("S7NAM"), "Depth");
    EXPECT_TRUE(settings.SetValue("S7NAM", ""));
    EXPECT_EQ(settings.Value("S7NAM"), "");

    // Near misses of real keys: wrong channel, prefix or case.
    for (const char* key : {"S20NAM", "TH3NAM", "s0NAM", "S0nam", "S00NAM", "", "S0"}) {
        EXPECT_FALSE(settings.SetValue(key, "x")) << key;
        EXPECT_FALSE(settings.Contains(key)) << key;
        EXPECT_EQ(settings.Value(key), "") << key;
    }
}
