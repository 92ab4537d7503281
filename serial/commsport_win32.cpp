// The port on the Win32 serial interface: the device opened exclusively, 8N1 without flow
// control and with DTR and RTS off, reads that return at once with what has arrived.
#include "serial/commsport_p.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

std::string FileErrorText(DWORD code)
{
    char text[32];
    std::snprintf(text, sizeof text, "File Error %lu", static_cast<unsigned long>(code));
    return text;
}

std::string SystemText(DWORD code)
{
    char text[256] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       text, static_cast<DWORD>(sizeof text), nullptr);
    std::string result(text, length);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
        result.pop_back();
    return result;
}

// Errors that a USB-serial adapter gives once it has been unplugged.
bool DeviceGoneError(DWORD code)
{
    return code == ERROR_ACCESS_DENIED || code == ERROR_BAD_COMMAND ||
           code == ERROR_DEVICE_NOT_CONNECTED || code == ERROR_GEN_FAILURE ||
           code == ERROR_FILE_NOT_FOUND || code == ERROR_INVALID_HANDLE;
}

TCommsPort::ErrorKind KindOf(DWORD openError)
{
    switch (openError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEVICE_NOT_CONNECTED:
        return TCommsPort::ErrorKind::NotFound;
    case ERROR_ACCESS_DENIED: // what a COM port that another program has open gives
    case ERROR_SHARING_VIOLATION:
        return TCommsPort::ErrorKind::InUse;
    default:
        return TCommsPort::ErrorKind::Other;
    }
}

DWORD MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
}

} // namespace

void TCommsPort::OpenNamed(const std::string& devicePath, int32_t baudRate)
{
    const HANDLE handle = CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        Handle.store(FailedHandle, std::memory_order_release);
        // The settings are not tried on the invalid handle: their refusal would replace the
        // diagnostic that says why the open failed.
        ErrorHook(KindOf(code), FileErrorText(code), 1, SystemText(code));
        return;
    }
    Lost.store(false, std::memory_order_release);
    Handle.store(handle, std::memory_order_release);
    ApplyLineSettings(baudRate);
}

void TCommsPort::ApplyLineSettings(int32_t baudRate)
{
    // Every member left at zero means: no parity, one stop bit, no flow control of any kind,
    // DTR and RTS held off.
    DCB& LineSettings = Backend->LineSettings;
    ZeroMemory(&LineSettings, sizeof LineSettings);
    LineSettings.DCBlength = sizeof(DCB);
    LineSettings.BaudRate = static_cast<DWORD>(baudRate);
    LineSettings.fBinary = 1;
    LineSettings.ByteSize = 8;

    const HANDLE handle = Handle.load(std::memory_order_acquire);
    if (!SetCommState(handle, &LineSettings)) {
        const DWORD code = GetLastError();
        // the device keeps its old settings
        ErrorHook(ErrorKind::SettingsRefused, "DCB error", 0, SystemText(code));
    }
    // Reads return at once with what has arrived; writes have no time limit.
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    SetCommTimeouts(handle, &timeouts);
}

void TCommsPort::ReleaseHandle()
{
    const HANDLE handle = Handle.exchange(ClosedHandle, std::memory_order_acq_rel);
    if (IsDevice(handle))
        CloseHandle(handle);
    Lost.store(false, std::memory_order_release);
}

void TCommsPort::AdoptHandle(PortHandle handle)
{
    ReleaseHandle();
    Handle.store(handle, std::memory_order_release);
}

void TCommsPort::WriteByte(uint8_t value)
{
    const HANDLE handle = Handle.load(std::memory_order_acquire);
    if (!IsDevice(handle))
        return;
    DWORD written = 0;
    if (!WriteFile(handle, &value, 1, &written, nullptr) && DeviceGoneError(GetLastError()))
        MarkLost();
}

int32_t TCommsPort::ReadByte(uint8_t* place)
{
    const HANDLE handle = Handle.load(std::memory_order_acquire);
    if (!IsDevice(handle))
        return 0;
    DWORD got = 0;
    if (!ReadFile(handle, place, 1, &got, nullptr) && DeviceGoneError(GetLastError()))
        MarkLost();
    return got == 1 ? 1 : 0;
}

TCommsPort::WaitResult TCommsPort::WaitReadable(int timeoutMs)
{
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    const HANDLE handle = Handle.load(std::memory_order_acquire);
    // Without overlapped transfers there is no waiting on the device itself: look at its
    // input queue in short steps until a byte is there or the time is up.
    for (;;) {
        DWORD errors = 0;
        COMSTAT status = {};
        if (!IsDevice(handle) || !ClearCommError(handle, &errors, &status)) {
            if (IsDevice(handle) && DeviceGoneError(GetLastError()))
                MarkLost();
            Sleep(MillisecondsLeft(deadline)); // never return at once: the caller may loop
            return WaitResult::Broken;
        }
        if (status.cbInQue > 0)
            return WaitResult::Readable;
        const DWORD left = MillisecondsLeft(deadline);
        if (left == 0)
            return WaitResult::TimedOut;
        Sleep(left < 2 ? left : 2);
    }
}

void TCommsPort::DiscardInput()
{
    const HANDLE handle = Handle.load(std::memory_order_acquire);
    if (IsDevice(handle))
        PurgeComm(handle, PURGE_RXCLEAR);
}

bool TCommsPort::DeviceExists(const std::string& devicePath)
{
    // "COM5:" and "\\.\COM5" both name the DOS device COM5.
    std::string name = devicePath;
    if (name.rfind("\\\\.\\", 0) == 0)
        name.erase(0, 4);
    if (!name.empty() && name.back() == ':')
        name.pop_back();
    char target[512];
    return QueryDosDeviceA(name.c_str(), target, sizeof target) != 0;
}
