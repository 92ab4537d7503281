// The timer as the FTDI driver keeps it on Windows: LatencyTimer in the device parameters of
// each adapter, under FTDIBUS\<USB identity and serial number>\<instance>, beside the PortName
// of its COM port. The key is readable without administrator rights.
#include "serial/latencycheck.h"

#include "serial/adapterlocator.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr const char* FtdiBusKey = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";

class TRegistryKey
{
public:
    TRegistryKey(HKEY parent, const std::string& name)
    {
        if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, &Key) != ERROR_SUCCESS)
            Key = nullptr;
    }
    ~TRegistryKey()
    {
        if (Key)
            RegCloseKey(Key);
    }
    TRegistryKey(const TRegistryKey&) = delete;
    TRegistryKey& operator=(const TRegistryKey&) = delete;

    explicit operator bool() const { return Key != nullptr; }
    HKEY Get() const { return Key; }

    std::vector<std::string> SubkeyNames() const
    {
        std::vector<std::string> names;
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = sizeof name;
            if (RegEnumKeyExA(Key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            names.emplace_back(name, length);
        }
        return names;
    }

    std::string Text(const char* value) const
    {
        char text[64] = {};
        DWORD type = 0;
        DWORD size = sizeof text - 1;
        if (RegQueryValueExA(Key, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
                ERROR_SUCCESS ||
            type != REG_SZ)
            return {};
        return std::string(text);
    }

    std::optional<int> Number(const char* value) const
    {
        DWORD number = 0;
        DWORD type = 0;
        DWORD size = sizeof number;
        if (RegQueryValueExA(Key, value, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD || number > 255)
            return std::nullopt;
        return static_cast<int>(number);
    }

private:
    HKEY Key = nullptr;
};

} // namespace

std::optional<int> TLatencyCheck::TimerMs(const std::string& devicePath) const
{
    const int32_t number = TAdapterLocator::ComPortNumber(devicePath);
    if (number < 1)
        return std::nullopt;
    const std::string portName = "COM" + std::to_string(number);
    const TRegistryKey bus(HKEY_LOCAL_MACHINE, FtdiBusKey);
    if (!bus)
        return std::nullopt;
    for (const std::string& device : bus.SubkeyNames()) {
        const TRegistryKey identity(bus.Get(), device);
        for (const std::string& instance : identity.SubkeyNames()) {
            const TRegistryKey parameters(identity.Get(), instance + "\\Device Parameters");
            if (parameters && _stricmp(parameters.Text("PortName").c_str(), portName.c_str()) == 0)
                return parameters.Number("LatencyTimer");
        }
    }
    return std::nullopt;
}
