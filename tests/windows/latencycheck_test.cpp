// The adapter's latency timer read from its device parameters in the Wine prefix's registry,
// found by the COM port it is named for, and the advice it gives.
#include "ftdiregistry.h"
#include "serial/latencycheck.h"

#include <gtest/gtest.h>

TEST(LatencyCheck, TheTimerIsReadForTheAdapterOfThePort)
{
    const FtdiRegistryEntry slow("A10K1ABC", 41, 16);
    const FtdiRegistryEntry fast("B20K2DEF", 42, 1);
    const FtdiRegistryEntry unset("C30K3GHI", 43, FtdiRegistryEntry::NoTimer);
    FtdiRegistryEntry odd("D40K4JKL", 44, 16);
    odd.SetTimerText("16");
    const FtdiRegistryEntry twelve("E50K5MNO", 12, 2);
    ASSERT_TRUE(slow.Written() && fast.Written() && unset.Written() && odd.Written() &&
                twelve.Written());
    const TLatencyCheck check;
    const struct
    {
        const char* Device;
        std::optional<int> Timer;
    } cases[] = {
        {"COM41:", 16},
        {"COM42:", 1},
        {"com41", 16},
        {"\\\\.\\COM12", 2},
        {"COM43:", std::nullopt},
        {"COM44:", std::nullopt},
        {"COM45:", std::nullopt},
        {"NUL", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(check.TimerMs(c.Device), c.Timer) << c.Device;
}

// Above 2 ms the user is told, before the open as after it; 1 and 2 ms are fine.
TEST(LatencyCheck, ALongTimerIsToldWithTheStepsInDeviceManager)
{
    const FtdiRegistryEntry slow("A10K1ABC", 41, 16);
    const FtdiRegistryEntry fast("B20K2DEF", 42, 2);
    const TLatencyCheck check;
    const std::string told = "latency timer 16 ms: a full read takes about 3 s; set 1 ms under "
                             "Port Settings > Advanced in Device Manager";
    EXPECT_EQ(check.Advice("COM41:", false), told);
    EXPECT_EQ(check.AddedTo("Adapter: x", "COM41:"), "Adapter: x\n" + told);
    EXPECT_EQ(check.Advice("COM42:", true), "");
    EXPECT_EQ(check.AddedTo("Adapter: x", "COM42:"), "Adapter: x");
}
