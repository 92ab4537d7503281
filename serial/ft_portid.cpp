#include "serial/ft_portid.h"

#include "serial/ftdilibrary.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#ifdef _WIN32
#include "serial/ftdidll_win32.h"
#else
#include "serial/ftdisysfs_linux.h"
#endif

namespace {

constexpr uint32_t MaxDeviceNodes = 100;

TFtDeviceListInfoNode DeviceNodes[MaxDeviceNodes];
uint32_t DeviceCount = 0;
FtHandle AdapterHandle = 0;
int32_t AdapterComPort = 0;

// The description ends at its first NUL; a description filling all 64 bytes has none.
std::string_view DescriptionOf(const TFtDeviceListInfoNode& node)
{
    const char* text = node.Description;
    const void* nul = std::memchr(text, '\0', sizeof node.Description);
    const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text)
                                   : sizeof node.Description;
    return {text, length};
}

bool Matches(const TFtDeviceListInfoNode& node, const std::string& searchText)
{
    return !searchText.empty() && DescriptionOf(node).find(searchText) != std::string_view::npos;
}

// Fills DeviceNodes afresh and returns how many are valid. A failed call yields no devices
// rather than nodes or a count left from an earlier lookup; more than the table holds are cut
// off before the library is asked to write them.
uint32_t ReadDeviceList(TFtdiLibrary& library)
{
    std::memset(DeviceNodes, 0, sizeof DeviceNodes);
    DeviceCount = 0;
    if (library.CreateDeviceInfoList(&DeviceCount) != FtOk) {
        DeviceCount = 0;
        return 0;
    }
    DeviceCount = std::min(DeviceCount, MaxDeviceNodes);
    if (library.GetDeviceInfoList(DeviceNodes, &DeviceCount) != FtOk) {
        DeviceCount = 0;
        return 0;
    }
    DeviceCount = std::min(DeviceCount, MaxDeviceNodes);
    return DeviceCount;
}

// Opens, queries and closes device index. False when the open or the query failed: the
// query and the close then never see a stale handle, and no number from an earlier device
// stands in for this one.
bool QueryComPort(TFtdiLibrary& library, int32_t index, int32_t* port)
{
    FtHandle opened = 0;
    if (library.Open(index, &opened) != FtOk) {
        return false;
    }
    AdapterHandle = opened;
    AdapterComPort = -1;
    const bool queried = library.GetComPortNumber(AdapterHandle, &AdapterComPort) == FtOk;
    library.Close(AdapterHandle);
    if (!queried) {
        return false;
    }
    *port = AdapterComPort;
    return true;
}

} // namespace

TFtdiLibrary& SystemFtdiLibrary()
{
#ifdef _WIN32
    static TFtdiDll library;
#else
    static TFtdiSysfs library("/sys");
#endif
    return library;
}

int32_t FindAdapterPort(const std::string& searchText)
{
    return FindAdapterPort(SystemFtdiLibrary(), searchText);
}

int32_t FindAdapterPort(TFtdiLibrary& library, const std::string& searchText)
{
    int32_t result = -1;
    const uint32_t count = ReadDeviceList(library);
    for (uint32_t i = 0; i < count && i < MaxDeviceNodes; ++i) {
        if (!Matches(DeviceNodes[i], searchText)) {
            continue;
        }
        int32_t port = 0;
        if (QueryComPort(library, static_cast<int32_t>(i), &port)) {
            result = port;
        }
    }
    return result;
}
