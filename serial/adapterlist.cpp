#include "serial/adapterlist.h"

#include "serial/commsport.h"
#include "serial/ftdilibrary.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t MaxNodes = 100;

// A fixed text field ends at its first NUL, or fills the field.
template <std::size_t N> std::string FieldText(const char (&field)[N])
{
    const void* nul = std::memchr(field, '\0', N);
    const std::size_t length =
        nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : N;
    return std::string(field, length);
}

TAdapterInfo InfoFor(int32_t port, const TFtDeviceListInfoNode& node)
{
    TAdapterInfo adapter;
    adapter.PortNumber = port;
    adapter.DevicePath = TCommsPort::DeviceNameFor(port);
#ifdef _WIN32
    adapter.DisplayName = "COM " + std::to_string(port);
    adapter.PortOption = "COM" + std::to_string(port);
#else
    adapter.DisplayName = adapter.DevicePath;
    adapter.PortOption = adapter.DevicePath;
#endif
    adapter.Description = FieldText(node.Description);
    adapter.SerialNumber = FieldText(node.SerialNumber);
    return adapter;
}

} // namespace

// Matches as the adapter search does (exact bytes); adapters whose port cannot be learnt are
// left out, as the search leaves them out.
std::vector<TAdapterInfo> TAdapterList::Find(TFtdiLibrary& library, const std::string& searchText)
{
    std::vector<TAdapterInfo> found;
    if (searchText.empty())
        return found;
    uint32_t count = 0;
    if (library.CreateDeviceInfoList(&count) != FtOk)
        return found;
    std::vector<TFtDeviceListInfoNode> nodes(MaxNodes);
    count = std::min(count, MaxNodes);
    if (library.GetDeviceInfoList(nodes.data(), &count) != FtOk)
        return found;
    count = std::min(count, MaxNodes);
    for (uint32_t i = 0; i < count; ++i) {
        if (FieldText(nodes[i].Description).find(searchText) == std::string::npos)
            continue;
        FtHandle handle = 0;
        if (library.Open(static_cast<int32_t>(i), &handle) != FtOk)
            continue;
        int32_t port = -1;
        const bool queried = library.GetComPortNumber(handle, &port) == FtOk;
        library.Close(handle);
        if (queried && port >= 1)
            found.push_back(InfoFor(port, nodes[i]));
    }
    return found;
}

std::string TAdapterList::Describe(const TAdapterInfo& adapter)
{
    return "port " + std::to_string(adapter.PortNumber) + ", device " + adapter.DevicePath + ", " +
           Identity(adapter);
}

std::string TAdapterList::Identity(const TAdapterInfo& adapter)
{
    const std::string serial = adapter.SerialNumber.empty()
                                   ? std::string("no serial number")
                                   : "serial number " + adapter.SerialNumber;
    return "\"" + adapter.Description + "\", " + serial;
}
