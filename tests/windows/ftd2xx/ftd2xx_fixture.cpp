// A stand-in for the FTDI library FTD2XX.DLL, for the tests only, never shipped: the five
// calls of the adapter search with the vendor's documented signatures and 64-bit node layout.
// It lists the devices the test writes into the environment variable FTD2XX_FIXTURE_DEVICES:
// entries "description|serial number|COM number[|open or query]" separated by ";", where a
// last field "open" makes FT_Open fail and "query" makes FT_GetComPortNumber fail. As the
// vendor's library, FT_Open fails while the device's COM port is open, in this process or
// another (the virtual COM port driver holds the device then); under Wine, which does not refuse
// a second open of a COM port, only a holder in this process is seen.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" {

typedef ULONG FT_STATUS;
typedef PVOID FT_HANDLE;

typedef struct _ft_device_list_info_node
{
    ULONG Flags;
    ULONG Type;
    ULONG ID;
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
} FT_DEVICE_LIST_INFO_NODE;

FT_STATUS WINAPI FT_CreateDeviceInfoList(LPDWORD lpdwNumDevs);
FT_STATUS WINAPI FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, LPDWORD lpdwNumDevs);
FT_STATUS WINAPI FT_Open(int deviceNumber, FT_HANDLE* pHandle);
FT_STATUS WINAPI FT_GetComPortNumber(FT_HANDLE ftHandle, LPLONG lpdwComPortNumber);
FT_STATUS WINAPI FT_Close(FT_HANDLE ftHandle);
// For the tests: how many devices are open now.
LONG WINAPI FixtureOpenDevices();
}

static_assert(sizeof(void*) != 8 || sizeof(FT_DEVICE_LIST_INFO_NODE) == 104,
              "the vendor's 64-bit node: a pointer-sized handle after 96 bytes");

namespace {

constexpr FT_STATUS FT_OK = 0;
constexpr FT_STATUS FT_INVALID_HANDLE = 1;
constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
constexpr int MaxDevices = 16;

struct Device
{
    char Description[64];
    char SerialNumber[16];
    LONG ComPort;
    bool OpenFails;
    bool QueryFails;
    bool Open;
};

Device Devices[MaxDevices];
int ListedCount = 0;

// Splits at the first separator; the rest follows the NUL written over it.
char* Split(char* text, char separator)
{
    char* at = text ? std::strchr(text, separator) : nullptr;
    if (!at)
        return nullptr;
    *at = '\0';
    return at + 1;
}

void CopyField(char* to, std::size_t size, const char* from)
{
    std::memset(to, 0, size);
    if (from)
        std::memcpy(to, from, std::min(std::strlen(from), size)); // a full field has no NUL
}

void ReadDevice(char* entry, Device& device)
{
    char* serial = Split(entry, '|');
    char* port = Split(serial, '|');
    char* failure = Split(port, '|');
    CopyField(device.Description, sizeof device.Description, entry);
    CopyField(device.SerialNumber, sizeof device.SerialNumber, serial);
    device.ComPort = port ? std::strtol(port, nullptr, 10) : -1;
    device.OpenFails = failure && std::strcmp(failure, "open") == 0;
    device.QueryFails = failure && std::strcmp(failure, "query") == 0;
    device.Open = false;
}

// Handles that need all 64 bits: a caller that keeps only 32 of them hands back another.
FT_HANDLE HandleOf(int index)
{
    return reinterpret_cast<FT_HANDLE>(static_cast<std::uintptr_t>(0x5AFE000000000000ull) +
                                       (static_cast<std::uintptr_t>(index) + 1) * 16);
}

Device* OpenDeviceOf(FT_HANDLE handle)
{
    for (int i = 0; i < ListedCount; ++i)
        if (HandleOf(i) == handle && Devices[i].Open)
            return &Devices[i];
    return nullptr;
}

// The identity of the device behind a handle (its inode under Wine), through ntdll, which every
// process has loaded; 0 when it cannot be told.
ULONGLONG DeviceIdentity(HANDLE handle)
{
    struct StatusBlock
    {
        LONG_PTR Status;
        ULONG_PTR Information;
    };
    using Query = LONG(WINAPI*)(HANDLE, StatusBlock*, PVOID, ULONG, int);
    static const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile")));
    constexpr int FileInternalInformation = 6;
    StatusBlock status{};
    LARGE_INTEGER index{};
    if (query == nullptr ||
        query(handle, &status, &index, sizeof index, FileInternalInformation) < 0)
        return 0;
    return static_cast<ULONGLONG>(index.QuadPart);
}

// Whether a serial-port handle of this process other than `own` reaches the same device. Wine
// lets a COM port be opened twice, sharing or not, so the rule is kept by looking at the
// process's own handles (small multiples of 4).
bool HeldInThisProcess(HANDLE own)
{
    const ULONGLONG identity = DeviceIdentity(own);
    if (identity == 0)
        return false;
    for (ULONG_PTR value = 4; value < 0x4000; value += 4) {
        const HANDLE handle = reinterpret_cast<HANDLE>(value);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (handle == own || GetFileType(handle) != FILE_TYPE_CHAR || !GetCommState(handle, &dcb))
            continue;
        if (DeviceIdentity(handle) == identity)
            return true;
    }
    return false;
}

// Whether someone holds the COM port: COM ports open exclusively, so a held one is refused by
// Windows; under Wine, a holder in this process is found among its handles.
bool ComPortHeld(LONG port)
{
    if (port < 1)
        return false;
    char name[32];
    wsprintfA(name, "\\\\.\\COM%ld", port);
    const HANDLE handle =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        const bool held = HeldInThisProcess(handle);
        CloseHandle(handle);
        return held;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

} // namespace

FT_STATUS WINAPI FT_CreateDeviceInfoList(LPDWORD lpdwNumDevs)
{
    if (!lpdwNumDevs)
        return FT_INVALID_PARAMETER;
    static char text[4096];
    const DWORD length = GetEnvironmentVariableA("FTD2XX_FIXTURE_DEVICES", text, sizeof text);
    ListedCount = 0;
    char* entry = length > 0 && length < sizeof text && text[0] ? text : nullptr;
    while (entry && ListedCount < MaxDevices) {
        char* next = Split(entry, ';');
        ReadDevice(entry, Devices[ListedCount++]);
        entry = next;
    }
    *lpdwNumDevs = static_cast<DWORD>(ListedCount);
    return FT_OK;
}

// As the vendor's library does: writes every listed device, whatever the caller's table holds.
FT_STATUS WINAPI FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, LPDWORD lpdwNumDevs)
{
    if (!pDest || !lpdwNumDevs)
        return FT_INVALID_PARAMETER;
    for (int i = 0; i < ListedCount; ++i) {
        FT_DEVICE_LIST_INFO_NODE& node = pDest[i];
        std::memset(&node, 0, sizeof node);
        node.Type = 5; // FT232R
        node.ID = 0x04036001;
        node.LocId = 0x100 + i;
        std::memcpy(node.SerialNumber, Devices[i].SerialNumber, sizeof node.SerialNumber);
        std::memcpy(node.Description, Devices[i].Description, sizeof node.Description);
        node.ftHandle = Devices[i].Open ? HandleOf(i) : nullptr;
    }
    *lpdwNumDevs = static_cast<DWORD>(ListedCount);
    return FT_OK;
}

FT_STATUS WINAPI FT_Open(int deviceNumber, FT_HANDLE* pHandle)
{
    if (!pHandle)
        return FT_INVALID_PARAMETER;
    if (deviceNumber < 0 || deviceNumber >= ListedCount)
        return FT_DEVICE_NOT_FOUND;
    Device& device = Devices[deviceNumber];
    if (device.OpenFails || device.Open || ComPortHeld(device.ComPort))
        return FT_DEVICE_NOT_OPENED;
    device.Open = true;
    *pHandle = HandleOf(deviceNumber);
    return FT_OK;
}

FT_STATUS WINAPI FT_GetComPortNumber(FT_HANDLE ftHandle, LPLONG lpdwComPortNumber)
{
    const Device* device = OpenDeviceOf(ftHandle);
    if (!device)
        return FT_INVALID_HANDLE;
    if (!lpdwComPortNumber)
        return FT_INVALID_PARAMETER;
    if (device->QueryFails)
        return FT_INVALID_HANDLE;
    *lpdwComPortNumber = device->ComPort;
    return FT_OK;
}

FT_STATUS WINAPI FT_Close(FT_HANDLE ftHandle)
{
    Device* device = OpenDeviceOf(ftHandle);
    if (!device)
        return FT_INVALID_HANDLE;
    device->Open = false;
    return FT_OK;
}

LONG WINAPI FixtureOpenDevices()
{
    LONG open = 0;
    for (int i = 0; i < ListedCount; ++i)
        open += Devices[i].Open ? 1 : 0;
    return open;
}
