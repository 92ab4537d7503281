// The adapter search over the stand-in FTD2XX.DLL: the five calls with the vendor's 64-bit
// node layout and handles, a failed open or query, a COM number of -1; and a library whose
// ordinals are shuffled, which is refused before any of its functions is called.
#include "serial/ft_portid.h"
#include "serial/ftdidll_win32.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>

namespace {

std::string WindowsPath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

const std::string Fixture = WindowsPath(FTD2XX_FIXTURE);
const std::string Shuffled = WindowsPath(FTD2XX_SHUFFLED);

class StandInDll : public ::testing::Test
{
protected:
    void TearDown() override { SetEnvironmentVariableA("FTD2XX_FIXTURE_DEVICES", nullptr); }

    static void List(const char* devices)
    {
        SetEnvironmentVariableA("FTD2XX_FIXTURE_DEVICES", devices);
    }

    // Devices the stand-in holds open now.
    static long OpenDevices()
    {
        const HMODULE module = LoadLibraryA(Fixture.c_str());
        using Count = LONG(WINAPI*)();
        const auto count = reinterpret_cast<Count>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "FixtureOpenDevices")));
        const long open = count ? count() : -1;
        FreeLibrary(module);
        return open;
    }

    TFtdiDll Dll{Fixture};
};

TEST_F(StandInDll, NodesArriveInTheVendorsLayout)
{
    List("FT232R USB UART|A10K1ABC|7;USB Serial Port|B20|4");
    uint32_t count = 0;
    ASSERT_EQ(Dll.CreateDeviceInfoList(&count), FtOk);
    ASSERT_EQ(count, 2u);
    TFtDeviceListInfoNode nodes[2] = {};
    ASSERT_EQ(Dll.GetDeviceInfoList(nodes, &count), FtOk);
    ASSERT_EQ(count, 2u);
    EXPECT_STREQ(nodes[0].Description, "FT232R USB UART");
    EXPECT_STREQ(nodes[0].SerialNumber, "A10K1ABC");
    EXPECT_STREQ(nodes[1].Description, "USB Serial Port");
    EXPECT_TRUE(Dll.Problem().empty()) << Dll.Problem();
}

// The stand-in's handles need 64 bits: a cut one is refused by the query and the close.
TEST_F(StandInDll, ListedAdapterGivesItsComPort)
{
    List("FT232R USB UART|A10K1ABC|7");
    EXPECT_EQ(FindAdapterPort(Dll, "FT"), 7);
    EXPECT_EQ(OpenDevices(), 0);
}

TEST_F(StandInDll, LastMatchingAdapterWins)
{
    List("FT232R USB UART|A1|3;USB Serial Port|B2|4;FT230X Basic UART|C3|9;ft232r|D4|5");
    EXPECT_EQ(FindAdapterPort(Dll, "FT"), 9);
    EXPECT_EQ(OpenDevices(), 0);
}

TEST_F(StandInDll, FailedOpenOrQueryLeavesTheEarlierAdapter)
{
    List("FT232R USB UART|A1|3;FT232R USB UART|B2|8|open;FT232R USB UART|C3|9|query");
    EXPECT_EQ(FindAdapterPort(Dll, "FT"), 3);
    EXPECT_EQ(OpenDevices(), 0);
}

TEST_F(StandInDll, NegativeComNumberOfTheLastAdapterIsTheResult)
{
    List("FT232R USB UART|A1|3;FT232R USB UART|B2|-1");
    EXPECT_EQ(FindAdapterPort(Dll, "FT"), -1);
}

TEST_F(StandInDll, ShuffledOrdinalsAreNeverCalled)
{
    List("FT232R USB UART|A1|3");
    TFtdiDll shuffled(Shuffled);
    EXPECT_EQ(FindAdapterPort(shuffled, "FT"), -1);
    const std::string problem = shuffled.Problem();
    EXPECT_NE(problem.find("does not export FT_CreateDeviceInfoList at ordinal 70"),
              std::string::npos)
        << problem;
    EXPECT_NE(problem.find("ftd2xx-shuffled"), std::string::npos) << "names the file: " << problem;
    EXPECT_EQ(FindAdapterPort(shuffled, "FT"), -1) << "and stays refused";
}

TEST_F(StandInDll, MissingLibrarySaysSo)
{
    TFtdiDll missing(WindowsPath(FTD2XX_FIXTURE) + ".missing");
    EXPECT_EQ(FindAdapterPort(missing, "FT"), -1);
    EXPECT_NE(missing.Problem().find("FTD2XX.DLL was not found"), std::string::npos)
        << missing.Problem();
}

} // namespace
