// The adapter lookup over FTD2XX.DLL where the DLL is missing, as under Wine or on a machine
// without the vendor's driver: no adapter, no crash, and the lookup can be repeated.
#include "serial/ft_portid.h"
#include "serial/ftdilibrary.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

bool VendorDllPresent()
{
    const HMODULE module = LoadLibraryA("FTD2XX.DLL");
    if (!module)
        return false;
    FreeLibrary(module);
    return true;
}

class WithoutVendorDll : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (VendorDllPresent())
            GTEST_SKIP() << "FTD2XX.DLL is installed here";
    }
};

TEST_F(WithoutVendorDll, LookupFindsNoAdapter)
{
    EXPECT_EQ(FindAdapterPort("FT"), -1);
    EXPECT_EQ(FindAdapterPort(""), -1);
    EXPECT_EQ(FindAdapterPort("FT"), -1) << "a second lookup after the failed load";
}

TEST_F(WithoutVendorDll, LibraryCallsFailWithoutTouchingTheDll)
{
    TFtdiLibrary& library = SystemFtdiLibrary();
    uint32_t count = 7;
    EXPECT_NE(library.CreateDeviceInfoList(&count), FtOk);
    EXPECT_EQ(count, 0u);

    TFtDeviceListInfoNode nodes[2] = {};
    count = 2;
    EXPECT_NE(library.GetDeviceInfoList(nodes, &count), FtOk);
    EXPECT_EQ(count, 0u);

    FtHandle handle = 42;
    EXPECT_NE(library.Open(0, &handle), FtOk);
    EXPECT_EQ(handle, 42u) << "no handle is handed out";
    int32_t port = 5;
    EXPECT_NE(library.GetComPortNumber(handle, &port), FtOk);
    EXPECT_EQ(port, 5);
    EXPECT_NE(library.Close(handle), FtOk);
}

} // namespace
