#include "serial/ft_portid.h"
#include "tests/serial/fakeftdi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using Log = std::vector<std::string>;

namespace {

FakeFtdiDevice Device(std::string description, int32_t comPort)
{
    FakeFtdiDevice device;
    device.Description = std::move(description);
    device.ComPort = comPort;
    return device;
}

// The three calls that look at one matching device through handle.
Log Queried(int index, FtHandle handle)
{
    const std::string h = std::to_string(handle);
    return {"open " + std::to_string(index), "query " + h, "close " + h};
}

Log Concat(std::initializer_list<Log> parts)
{
    Log all;
    for (const Log& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

constexpr FtHandle H1 = FakeFtdi::FirstHandle;
constexpr FtHandle H2 = FakeFtdi::FirstHandle + 1;

} // namespace

TEST(FindAdapterPort, NoDeviceGivesMinusOne)
{
    FakeFtdi ftdi;
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), -1);
    EXPECT_EQ(ftdi.Log, (Log{"create", "list 0"}));
}

TEST(FindAdapterPort, OneMatchingDeviceGivesItsNumber)
{
    FakeFtdi ftdi;
    ftdi.Devices = {Device("FT232R USB UART", 7)};
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), 7);
    EXPECT_EQ(ftdi.Log, Concat({{"create", "list 1"}, Queried(0, H1)}));
    EXPECT_EQ(ftdi.OpenCount(), 0u);
}

TEST(FindAdapterPort, MatchingIsCaseSensitive)
{
    FakeFtdi ftdi;
    ftdi.Devices = {Device("ft232r usb uart", 7), Device("Ft Serial", 8)};
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), -1);
    EXPECT_EQ(ftdi.Log, (Log{"create", "list 2"}));
}

TEST(FindAdapterPort, LastMatchWinsAndNonMatchingDevicesAreNeverOpened)
{
    FakeFtdi ftdi;
    ftdi.Devices = {Device("FT232R USB UART", 3), Device("CP2102 Bridge", 9),
                    Device("USB <-> Serial FT", 5), Device("Prolific", 8)};
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), 5);
    EXPECT_EQ(ftdi.Log, Concat({{"create", "list 4"}, Queried(0, H1), Queried(2, H2)}));
    EXPECT_EQ(ftdi.OpenCount(), 0u);
}

TEST(FindAdapterPort, EmptySearchTextMatchesNothing)
{
    FakeFtdi ftdi;
    ftdi.Devices = {Device("FT232R USB UART", 3), Device("", 4)};
    EXPECT_EQ(FindAdapterPort(ftdi, ""), -1);
    EXPECT_EQ(ftdi.Log, (Log{"create", "list 2"}));
}

TEST(FindAdapterPort, RepeatedLookupGivesTheSameNumber)
{
    FakeFtdi ftdi;
    ftdi.Devices = {Device("FT232R USB UART", 3), Device("FT230X Basic UART", 12)};
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), 12);
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), 12);
    EXPECT_EQ(ftdi.Log, Concat({{"create", "list 2"},
                                Queried(0, H1),
                                Queried(1, H2),
                                {"create", "list 2"},
                                Queried(0, H2 + 1),
                                Queried(1, H2 + 2)}));
    EXPECT_EQ(ftdi.OpenCount(), 0u);
}

TEST(FindAdapterPort, NegativeNumberIsTheResult)
{
    FakeFtdi ftdi;
    ftdi.Devices = {Device("FT232R", 3), Device("FT232R", -7)};
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), -7);
    ftdi.Devices = {Device("FT232R", -7), Device("FT232R", 3)};
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), 3);
}

TEST(FindAdapterPort, FailedOpenSkipsTheDevice)
{
    FakeFtdi ftdi;
    ftdi.Devices = {Device("FT232R", 3), Device("FT232R", 4)};
    ftdi.Devices[1].OpenFails = true;
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), 3);
    // No query or close with the already closed handle of device 0.
    EXPECT_EQ(ftdi.Log, Concat({{"create", "list 2"}, Queried(0, H1), {"open 1"}}));

    // Nor does the number of the earlier lookup come back.
    ftdi.Log.clear();
    ftdi.Devices = {Device("FT232R", 4)};
    ftdi.Devices[0].OpenFails = true;
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), -1);
    EXPECT_EQ(ftdi.Log, (Log{"create", "list 1", "open 0"}));
}

TEST(FindAdapterPort, FailedQueryClosesAndSkipsTheDevice)
{
    FakeFtdi ftdi;
    ftdi.Devices = {Device("FT232R", 3), Device("FT232R", 4)};
    ftdi.Devices[1].QueryFails = true;
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), 3);
    EXPECT_EQ(ftdi.Log, Concat({{"create", "list 2"}, Queried(0, H1), Queried(1, H2)}));
    EXPECT_EQ(ftdi.OpenCount(), 0u);

    ftdi.Devices = {Device("FT232R", 4)};
    ftdi.Devices[0].QueryFails = true;
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), -1);
    EXPECT_EQ(ftdi.OpenCount(), 0u);
}

TEST(FindAdapterPort, FailedListCallsUseNothingFromAnEarlierLookup)
{
    FakeFtdi ftdi;
    ftdi.Devices = {Device("FT232R", 3)};
    ASSERT_EQ(FindAdapterPort(ftdi, "FT"), 3);

    ftdi.Log.clear();
    ftdi.CreateFails = true;
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), -1);
    EXPECT_EQ(ftdi.Log, (Log{"create"}));

    ftdi.Log.clear();
    ftdi.CreateFails = false;
    ftdi.ListFails = true;
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), -1);
    EXPECT_EQ(ftdi.Log, (Log{"create", "list 1"}));
}

TEST(FindAdapterPort, OnlyTheFirstHundredDevicesAreLookedAt)
{
    FakeFtdi ftdi;
    for (int i = 0; i < 150; ++i) {
        ftdi.Devices.push_back(Device("FT232R", i + 1));
    }
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), 100);
    ASSERT_GE(ftdi.Log.size(), 2u);
    EXPECT_EQ(ftdi.Log[1], "list 100"); // the library was never offered room beyond the table
    EXPECT_EQ(std::count(ftdi.Log.begin(), ftdi.Log.end(), "open 99"), 1);
    EXPECT_EQ(std::count(ftdi.Log.begin(), ftdi.Log.end(), "open 100"), 0);
    EXPECT_EQ(ftdi.Log.size(), 2u + 3u * 100u);

    // A match beyond the first hundred alone is not found.
    ftdi.Log.clear();
    for (FakeFtdiDevice& device : ftdi.Devices) {
        device.Description = "other";
    }
    ftdi.Devices[120].Description = "FT232R";
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), -1);
    EXPECT_EQ(ftdi.Log, (Log{"create", "list 100"}));
}

TEST(FindAdapterPort, DescriptionEndsAtNulOrAfterSixtyFourBytes)
{
    FakeFtdi ftdi;
    ftdi.Devices = {Device(std::string(62, 'x') + "FT", 5)}; // all 64 bytes, no NUL
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), 5);

    // "F" in the last byte, and the bytes after the description (ftHandle) read "TTTT".
    ftdi.Devices = {Device(std::string(63, 'x') + "F", 5)};
    ftdi.Devices[0].NodeHandle = 0x54545454;
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), -1);

    ftdi.Devices = {Device(std::string("USB\0FT232R", 10), 5)};
    EXPECT_EQ(FindAdapterPort(ftdi, "FT"), -1);
    EXPECT_EQ(FindAdapterPort(ftdi, "USB"), 5);
}

TEST(FindAdapterPort, SearchTextIsMatchedAsExactBytes)
{
    FakeFtdi ftdi;
    ftdi.Devices = {Device("FT232R USB UART", 3), Device("FT230X Basic UART", 4)};
    EXPECT_EQ(FindAdapterPort(ftdi, "232R"), 3);
    EXPECT_EQ(FindAdapterPort(ftdi, "UART"), 4);
    EXPECT_EQ(FindAdapterPort(ftdi, "UART "), -1);
    EXPECT_EQ(FindAdapterPort(ftdi, "FT232R USB UART!"), -1);
}
