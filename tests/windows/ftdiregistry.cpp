#include "ftdiregistry.h"

#include <windows.h>

namespace {

const std::string BusKey = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\";

} // namespace

FtdiRegistryEntry::FtdiRegistryEntry(const std::string& serialNumber, int32_t port,
                                     int latencyTimer)
    : Identity("VID_0403+PID_6001+" + serialNumber + "A")
{
    HKEY key = nullptr;
    const std::string path = BusKey + Identity + "\\0000\\Device Parameters";
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    const std::string name = "COM" + std::to_string(port);
    Ok = RegSetValueExA(key, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                        static_cast<DWORD>(name.size() + 1)) == ERROR_SUCCESS;
    if (latencyTimer != NoTimer) {
        const DWORD timer = static_cast<DWORD>(latencyTimer);
        Ok = Ok &&
             RegSetValueExA(key, "LatencyTimer", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&timer), sizeof timer) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
}

FtdiRegistryEntry::~FtdiRegistryEntry()
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (BusKey + Identity).c_str());
}

void FtdiRegistryEntry::SetTimerText(const std::string& text)
{
    HKEY key = nullptr;
    const std::string path = BusKey + Identity + "\\0000\\Device Parameters";
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS) {
        Ok = false;
        return;
    }
    Ok = RegSetValueExA(key, "LatencyTimer", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
}
